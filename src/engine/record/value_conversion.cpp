// Converting a field's value between table layouts (see value_conversion.h).
#include "engine/record/value_conversion.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>

#include "engine/core/error.h"

namespace varelum::engine {
namespace {

bool is_number_type(FieldType type) {
    switch (type) {
        case FieldType::Numeric:
        case FieldType::Double:
        case FieldType::Integer:
        case FieldType::ShortInt:
        case FieldType::CurDouble:
        case FieldType::Money:
        case FieldType::AutoInc:
            return true;
        default:
            return false;
    }
}

// 8-bit text in its table's code page (VarBinaryFox and Raw hold bytes, not text).
bool is_paged_text(FieldType type) {
    return type == FieldType::String || type == FieldType::CIString ||
           type == FieldType::VarCharFox;
}

bool is_integer_type(FieldType type) {
    return type == FieldType::Integer || type == FieldType::ShortInt || type == FieldType::AutoInc;
}

bool is_date_type(FieldType type) {
    return type == FieldType::Date || type == FieldType::CompactDate ||
           type == FieldType::TimeStamp || type == FieldType::ModTime;
}

bool has_time_of_day(FieldType type) {
    return type == FieldType::TimeStamp || type == FieldType::ModTime;
}

std::u16string right_trimmed(std::u16string text) {
    while (!text.empty() && text.back() == u' ') {
        text.pop_back();
    }
    return text;
}

// The text of a number as exact as the number is: integers whole, others the shortest text
// that reads back as the same double.
std::string number_text(const FieldDescriptor& field, const std::uint8_t* image) {
    if (is_integer_type(field.type)) {
        return std::to_string(field_integer(field, image));
    }
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, field_double(field, image));
    (void)error;  // 64 bytes hold every double
    return std::string(buffer, end);
}

// Why a value cannot be kept, or empty when it was written into the new image.
using Loss = std::string;

Loss store_number(const FieldDescriptor& target, std::uint8_t* image, double value, ValueFit fit) {
    if (fit == ValueFit::Nearest) {
        set_field_double(target, image, value);  // rounds to the field; throws out of range
        return {};
    }
    if (is_integer_type(target.type) && value != std::trunc(value)) {
        return "value " + format::format_fixed(value, 6) + " is no whole number";
    }
    try {
        set_field_double(target, image, value);
    } catch (const EngineError&) {
        return "value " + format::format_fixed(value, 6) + " is out of the new range";
    }
    const double stored = field_double(target, image);
    if (std::fabs(stored - value) > 1e-9 * std::max(1.0, std::fabs(value))) {
        return "value " + format::format_fixed(value, 6) + " would become " +
               format::format_fixed(stored, 6);
    }
    return {};
}

Loss store_text(const FieldDescriptor& target, std::uint8_t* image, std::u16string text,
                const TextContext& context, ValueFit fit) {
    if (fit == ValueFit::Exact && text.size() > target.length) {
        text = right_trimmed(std::move(text));
        if (text.size() > target.length) {
            return "text of " + std::to_string(text.size()) + " characters is longer than " +
                   std::to_string(target.length);
        }
    }
    set_field_utf16(target, image, text, context);  // cut to the field's length
    return {};
}

Loss store_date(const FieldDescriptor& source, const std::uint8_t* from,
                const FieldDescriptor& target, std::uint8_t* to, ValueFit fit) {
    const std::int32_t ms = has_time_of_day(source.type) ? field_milliseconds(source, from) : 0;
    set_field_julian(target, to, field_julian(source, from));
    if (has_time_of_day(target.type)) {
        set_field_milliseconds(target, to, ms);
    } else if (ms != 0 && fit == ValueFit::Exact) {
        return "the time of day would be lost";
    }
    return {};
}

}  // namespace

std::string convert_field_value(const FieldDescriptor& source, const std::uint8_t* from,
                                const FieldDescriptor& target, std::uint8_t* to,
                                const TextContext& from_context, const TextContext& to_context,
                                ValueFit fit) {
    if (source.type == target.type && source.length == target.length &&
        source.decimals == target.decimals) {
        std::memcpy(to + target.offset, from + source.offset, format::field_image_size(source));
        if (from_context.page != to_context.page && is_paged_text(target.type)) {
            // The same letters in the other table's page; ASCII bytes and null markers (zero
            // bytes) stay as they are.
            std::uint8_t* text = to + target.offset;
            const std::string recoded = format::recode(
                from_context.page, to_context.page,
                std::string_view(reinterpret_cast<const char*>(text), target.length));
            std::memcpy(text, recoded.data(), recoded.size());
        }
        return {};
    }
    if (is_null(source, from)) {
        set_null(target, to);
        return {};
    }
    if (is_number_type(source.type) && is_number_type(target.type)) {
        return store_number(target, to, field_double(source, from), fit);
    }
    if (is_date_type(source.type) && is_date_type(target.type)) {
        return store_date(source, from, target, to, fit);
    }
    std::u16string text = is_number_type(source.type)
                              ? utf8_to_utf16(number_text(source, from))
                              : field_text_utf16(source, from, from_context);
    if (format::is_text_type(target.type)) {
        return store_text(target, to, std::move(text), to_context, fit);
    }
    const std::string narrow =
        trim_blanks(format::utf16_to_bytes(format::CodePage::Ansi1252, text));
    if (narrow.empty()) {
        set_null(target, to);
        return {};
    }
    if (fit == ValueFit::Nearest) {
        set_field_text(target, to, narrow, to_context);  // throws what the field cannot take
        return {};
    }
    if (is_number_type(target.type)) {
        std::optional<double> value = format::parse_decimal_text(narrow);
        if (!value) {
            return "\"" + narrow + "\" is no number";
        }
        return store_number(target, to, *value, fit);
    }
    try {
        set_field_text(target, to, narrow, to_context);
    } catch (const EngineError&) {
        return "\"" + narrow + "\" has no " + type_name(target.type) + " value";
    }
    return {};
}

std::string convert_memo_value(const FieldDescriptor& source, std::string value,
                               const FieldDescriptor& target, const TextContext& from_context,
                               const TextContext& to_context) {
    const bool stored_alike = source.type == target.type && (source.type == FieldType::NMemo ||
                                                             is_binary_memo_type(source.type) ||
                                                             from_context.page == to_context.page);
    if (stored_alike) {
        return value;
    }
    return memo_stored_from_utf16(target, memo_text_utf16(source, value, from_context), to_context);
}

}  // namespace varelum::engine
