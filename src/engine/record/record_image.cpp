// Field bytes in the record image, by type (see record_image.h for the contract).
#include "engine/record/record_image.h"

#include <cmath>
#include <limits>

#include "engine/core/error.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

[[noreturn]] void type_mismatch(const FieldDescriptor& field, const char* what) {
    fail(VE_FIELD_TYPE_MISMATCH,
         field.name + " is a " + type_name(field.type) + " field, not " + what);
}

[[noreturn]] void not_convertible(const FieldDescriptor& field, std::string_view text) {
    // Built step by step: GCC 12 at -O3 misreads the one-expression concatenation (-Wrestrict).
    std::string detail = "\"";
    detail.append(text);
    detail.append("\" for the ");
    detail.append(type_name(field.type));
    detail.append(" field ");
    detail.append(field.name);
    fail(VE_VALUE_NOT_CONVERTIBLE, detail);
}

[[noreturn]] void out_of_range(const FieldDescriptor& field, std::string_view value) {
    fail(VE_VALUE_OUT_OF_RANGE, std::string(value) + " for the field " + field.name);
}

std::uint8_t* at(const FieldDescriptor& field, std::uint8_t* image) {
    return image + field.offset;
}
const std::uint8_t* at(const FieldDescriptor& field, const std::uint8_t* image) {
    return image + field.offset;
}

using format::used_length;

bool parse_decimal(std::string_view text, double& value) {
    std::optional<double> number = format::parse_decimal_text(text);
    value = number.value_or(0.0);
    return number.has_value();
}

using format::format_fixed;

void store_numeric(const FieldDescriptor& field, std::uint8_t* image, double value) {
    std::string text = format_fixed(value, field.decimals);
    if (text.size() > field.length) {
        out_of_range(field, text);
    }
    std::uint8_t* bytes = at(field, image);
    std::memset(bytes, ' ', field.length);
    std::memcpy(bytes + field.length - text.size(), text.data(), text.size());
}

std::int64_t checked_integer(const FieldDescriptor& field, double value) {
    double rounded = std::nearbyint(value);
    std::int64_t low, high;
    switch (field.type) {
        case FieldType::ShortInt:
            low = -32767;
            high = 32767;
            break;
        case FieldType::Integer:
            low = -2147483647;
            high = 2147483647;
            break;
        default:
            low = -922337203685477LL;
            high = 922337203685477LL;
            break;
    }
    if (!(rounded >= static_cast<double>(low) && rounded <= static_cast<double>(high))) {
        out_of_range(field, format_fixed(value, 0));
    }
    return static_cast<std::int64_t>(rounded);
}

std::string text_from_bytes(const std::uint8_t* bytes, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

// 8-bit bytes (in the table's code page) into a Char, CIChar, VarCharFox or VarBinaryFox field:
// padded with blanks, cut to the field's length, with the used length of the variable types.
void store_text_bytes(const FieldDescriptor& field, std::uint8_t* image, std::string_view stored) {
    std::uint8_t* bytes = at(field, image);
    std::size_t count = std::min<std::size_t>(stored.size(), field.length);
    std::memset(bytes, ' ', field.length);
    std::memcpy(bytes, stored.data(), count);
    if (field.type == FieldType::VarCharFox || field.type == FieldType::VarBinaryFox) {
        store_le<std::uint16_t>(bytes + field.length, static_cast<std::uint16_t>(count));
    }
}

// The connection's date format, or the engine's first one when the caller gave none.
const DateFormat& date_format_of(const TextContext& context) {
    static const DateFormat kDefault;
    return context.date_format ? *context.date_format : kDefault;
}

}  // namespace

std::vector<std::uint8_t> null_image(const TableSchema& schema) {
    std::vector<std::uint8_t> image(schema.record_length(), 0);
    for (const auto& field : schema.fields()) {
        set_null(field, image.data());
    }
    return image;
}

bool is_empty(const FieldDescriptor& field, const std::uint8_t* image) {
    if (is_null(field, image)) {
        return true;
    }
    if (!format::is_text_type(field.type)) {
        return false;
    }
    std::u16string text = field_text_utf16(field, image, TextContext{});
    return text.find_first_not_of(u" \0", 0, 2) == std::u16string::npos;
}

void set_memo_marker(const FieldDescriptor& field, std::uint8_t* image, bool has_value,
                     std::uint32_t crc) {
    std::uint8_t* bytes = at(field, image);
    store_le<std::uint32_t>(bytes, has_value ? 0xFFFFFFFFu : 0u);
    store_le<std::uint32_t>(bytes + 4, has_value ? crc : 0u);
}

bool memo_marker(const FieldDescriptor& field, const std::uint8_t* image) {
    return load_le<std::uint32_t>(at(field, image)) != 0;
}

std::string field_text(const FieldDescriptor& field, const std::uint8_t* image,
                       const TextContext& context) {
    const std::uint8_t* bytes = at(field, image);
    if (is_null(field, image)) {
        return {};
    }
    switch (field.type) {
        case FieldType::Logical:
            return format::logical_is_true(bytes[0]) ? "T" : "F";
        case FieldType::Numeric:
            return text_from_bytes(bytes, field.length);
        case FieldType::String:
        case FieldType::CIString:
            return format::recode(context.page, format::CodePage::Ansi1252,
                                  text_from_bytes(bytes, field.length));
        case FieldType::VarCharFox:
            return format::recode(
                context.page, format::CodePage::Ansi1252,
                text_from_bytes(bytes,
                                std::min<std::size_t>(used_length(field, image), field.length)));
        case FieldType::VarBinaryFox:
            return text_from_bytes(bytes,
                                   std::min<std::size_t>(used_length(field, image), field.length));
        case FieldType::Raw:
            return text_from_bytes(bytes, field.length);
        case FieldType::NChar:
        case FieldType::NVarChar:
            return format::utf16_to_bytes(format::CodePage::Ansi1252,
                                          field_text_utf16(field, image, context));
        case FieldType::Date:
            return date_format_of(context).format(load_le<std::int32_t>(bytes));
        case FieldType::CompactDate: {
            // Bytes that hold no valid day read as no date, as they do in expressions.
            const std::int32_t julian = format::compact_date_julian(bytes);
            return julian == 0 ? std::string() : date_format_of(context).format(julian);
        }
        case FieldType::Time:
            return format::format_time(load_le<std::int32_t>(bytes));
        case FieldType::TimeStamp:
        case FieldType::ModTime:
            return date_format_of(context).format(load_le<std::int32_t>(bytes)) + " " +
                   format::format_time(load_le<std::int32_t>(bytes + 4), true);
        case FieldType::Double:
        case FieldType::CurDouble:
            return format_fixed(load_le<double>(bytes),
                                field.decimals > 0 ? field.decimals : context.decimals);
        case FieldType::Money:
            return format_fixed(load_le<std::int64_t>(bytes) / 10000.0, 4);
        case FieldType::Integer:
        case FieldType::ShortInt:
        case FieldType::AutoInc:
        case FieldType::RowVersion:
            return std::to_string(field_integer(field, image));
        default:
            type_mismatch(field, "a field with a text form");
    }
}

std::u16string field_text_utf16(const FieldDescriptor& field, const std::uint8_t* image,
                                const TextContext& context) {
    const std::uint8_t* bytes = at(field, image);
    if (field.type == FieldType::NChar || field.type == FieldType::NVarChar) {
        if (is_null(field, image)) {
            return {};
        }
        std::size_t count = field.type == FieldType::NChar
                                ? field.length
                                : std::min<std::size_t>(used_length(field, image), field.length);
        std::u16string text(count, u'\0');
        std::memcpy(text.data(), bytes, count * 2);
        return text;
    }
    if (field.type == FieldType::String || field.type == FieldType::CIString ||
        field.type == FieldType::VarCharFox) {
        // Straight from the table's code page, so OEM text loses nothing on the way.
        std::size_t count = field.type == FieldType::VarCharFox
                                ? std::min<std::size_t>(used_length(field, image), field.length)
                                : field.length;
        if (is_null(field, image)) {
            return {};
        }
        return format::bytes_to_utf16(context.page, text_from_bytes(bytes, count));
    }
    return format::bytes_to_utf16(format::CodePage::Ansi1252, field_text(field, image, context));
}

void set_field_text(const FieldDescriptor& field, std::uint8_t* image, std::string_view text,
                    const TextContext& context) {
    std::uint8_t* bytes = at(field, image);
    switch (field.type) {
        case FieldType::String:
        case FieldType::CIString:
        case FieldType::VarCharFox:
            store_text_bytes(field, image,
                             format::recode(format::CodePage::Ansi1252, context.page, text));
            return;
        case FieldType::VarBinaryFox:
            store_text_bytes(field, image, text);
            return;
        case FieldType::Raw: {
            std::size_t count = std::min<std::size_t>(text.size(), field.length);
            std::memset(bytes, 0, field.length);
            std::memcpy(bytes, text.data(), count);
            return;
        }
        case FieldType::NChar:
        case FieldType::NVarChar:
            set_field_utf16(field, image, format::bytes_to_utf16(format::CodePage::Ansi1252, text),
                            context);
            return;
        default:
            break;
    }
    std::string trimmed = trim_blanks(text);
    if (trimmed.empty()) {
        set_null(field, image);
        return;
    }
    switch (field.type) {
        case FieldType::Logical: {
            std::optional<bool> truth = format::logical_from_text(trimmed[0]);
            if (!truth) {
                not_convertible(field, text);
            }
            bytes[0] = *truth ? 'T' : 'F';
            return;
        }
        case FieldType::Date:
        case FieldType::CompactDate: {
            auto julian = date_format_of(context).parse(trimmed);
            if (!julian) {
                not_convertible(field, text);
            }
            set_field_julian(field, image, *julian);
            return;
        }
        case FieldType::Time: {
            auto ms = format::parse_time(trimmed);
            if (!ms) {
                not_convertible(field, text);
            }
            store_le<std::int32_t>(bytes, *ms);
            return;
        }
        case FieldType::TimeStamp:
        case FieldType::ModTime: {
            std::size_t space = trimmed.find(' ');
            auto julian = date_format_of(context).parse(trimmed.substr(0, space));
            std::optional<std::int32_t> ms = 0;
            if (space != std::string::npos) {
                ms = format::parse_time(trimmed.substr(space + 1));
            }
            if (!julian || !ms) {
                not_convertible(field, text);
            }
            store_le<std::int32_t>(bytes, *julian);
            store_le<std::int32_t>(bytes + 4, *ms);
            return;
        }
        case FieldType::Numeric:
        case FieldType::Double:
        case FieldType::CurDouble:
        case FieldType::Money:
        case FieldType::Integer:
        case FieldType::ShortInt:
        case FieldType::AutoInc:
        case FieldType::RowVersion: {
            double value = 0;
            if (!parse_decimal(trimmed, value)) {
                not_convertible(field, text);
            }
            set_field_double(field, image, value);
            return;
        }
        default:
            type_mismatch(field, "a field with a text form");
    }
}

void set_field_utf16(const FieldDescriptor& field, std::uint8_t* image, std::u16string_view text,
                     const TextContext& context) {
    std::uint8_t* bytes = at(field, image);
    if (field.type == FieldType::NChar || field.type == FieldType::NVarChar) {
        std::size_t count = std::min<std::size_t>(text.size(), field.length);
        for (std::size_t i = 0; i < field.length; ++i) {
            store_le<char16_t>(bytes + 2 * i, u' ');
        }
        std::memcpy(bytes, text.data(), count * 2);
        if (field.type == FieldType::NVarChar) {
            store_le<std::uint16_t>(bytes + field.length * 2, static_cast<std::uint16_t>(count));
        }
        return;
    }
    if (field.type == FieldType::String || field.type == FieldType::CIString ||
        field.type == FieldType::VarCharFox) {
        // Into the table's code page directly, so that OEM text loses nothing on the way.
        store_text_bytes(field, image, format::utf16_to_bytes(context.page, text));
        return;
    }
    set_field_text(field, image, format::utf16_to_bytes(format::CodePage::Ansi1252, text), context);
}

std::u16string memo_text_utf16(const FieldDescriptor& field, std::string_view stored,
                               const TextContext& context) {
    if (field.type == FieldType::NMemo) {
        std::u16string text(stored.size() / 2, u'\0');
        std::memcpy(text.data(), stored.data(), text.size() * 2);
        return text;
    }
    return format::bytes_to_utf16(
        is_binary_memo_type(field.type) ? format::CodePage::Ansi1252 : context.page, stored);
}

std::string memo_stored_from_utf16(const FieldDescriptor& field, std::u16string_view text,
                                   const TextContext& context) {
    if (field.type == FieldType::NMemo) {
        return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    }
    return format::utf16_to_bytes(
        is_binary_memo_type(field.type) ? format::CodePage::Ansi1252 : context.page, text);
}

void set_field_raw(const FieldDescriptor& field, std::uint8_t* image, const std::uint8_t* bytes,
                   std::uint32_t length) {
    std::uint8_t* target = at(field, image);
    switch (field.type) {
        case FieldType::VarCharFox:
        case FieldType::VarBinaryFox:
        case FieldType::NVarChar: {
            std::size_t unit = field.type == FieldType::NVarChar ? 2 : 1;
            if (length == format::kNullLength) {
                set_null(field, image);
                return;
            }
            std::size_t count = std::min<std::size_t>(length, field.length);
            // Padding as the text setters leave it: blanks (UTF-16 blanks for NVarChar).
            for (std::size_t i = 0; i < field.length; ++i) {
                if (unit == 2) {
                    store_le<char16_t>(target + 2 * i, u' ');
                } else {
                    target[i] = ' ';
                }
            }
            if (bytes != nullptr) {
                std::memcpy(target, bytes, count * unit);
            }
            store_le<std::uint16_t>(target + field.length * unit,
                                    static_cast<std::uint16_t>(count));
            return;
        }
        default: {
            std::size_t size = format::field_image_size(field);
            std::size_t count = std::min<std::size_t>(length, size);
            if (bytes != nullptr) {
                std::memcpy(target, bytes, count);
            }
            if (count < size) {
                std::memset(target + count, 0, size - count);
            }
            return;
        }
    }
}

double field_double(const FieldDescriptor& field, const std::uint8_t* image) {
    const std::uint8_t* bytes = at(field, image);
    if (is_null(field, image)) {
        if (field.type == FieldType::Logical || is_memo_type(field.type) ||
            field.type == FieldType::Raw || field.type == FieldType::VarBinaryFox) {
            type_mismatch(field, "a number");
        }
        return 0;
    }
    switch (field.type) {
        case FieldType::Double:
        case FieldType::CurDouble:
            return load_le<double>(bytes);
        case FieldType::Money:
            return static_cast<double>(load_le<std::int64_t>(bytes)) / 10000.0;
        case FieldType::Integer:
        case FieldType::ShortInt:
        case FieldType::AutoInc:
        case FieldType::RowVersion:
            return static_cast<double>(field_integer(field, image));
        case FieldType::Date:
            return load_le<std::int32_t>(bytes);
        case FieldType::CompactDate:
            return format::compact_date_julian(bytes);
        case FieldType::Time:
            return load_le<std::int32_t>(bytes);
        case FieldType::Numeric:
        case FieldType::String:
        case FieldType::CIString:
        case FieldType::VarCharFox:
        case FieldType::NChar:
        case FieldType::NVarChar: {
            double value = 0;
            std::string text = field_text(field, image, TextContext{});
            if (!parse_decimal(text, value)) {
                if (trim_blanks(text).empty()) {
                    return 0;
                }
                not_convertible(field, text);
            }
            return value;
        }
        default:
            type_mismatch(field, "a number");
    }
}

std::int64_t field_integer(const FieldDescriptor& field, const std::uint8_t* image) {
    const std::uint8_t* bytes = at(field, image);
    switch (field.type) {
        case FieldType::Integer:
        case FieldType::AutoInc:
            return is_null(field, image) ? 0 : load_le<std::int32_t>(bytes);
        case FieldType::ShortInt:
            return is_null(field, image) ? 0 : load_le<std::int16_t>(bytes);
        case FieldType::RowVersion:
            return is_null(field, image) ? 0 : load_le<std::int64_t>(bytes);
        case FieldType::Logical:
            return field_logical(field, image) ? 1 : 0;
        default: {
            double value = field_double(field, image);
            return static_cast<std::int64_t>(std::trunc(value));
        }
    }
}

void set_field_double(const FieldDescriptor& field, std::uint8_t* image, double value) {
    std::uint8_t* bytes = at(field, image);
    if (!std::isfinite(value)) {
        out_of_range(field, "a value that is not a finite number");
    }
    switch (field.type) {
        case FieldType::Double:
        case FieldType::CurDouble:
            store_le(bytes, value);
            return;
        case FieldType::Numeric:
            store_numeric(field, image, value);
            return;
        case FieldType::Money: {
            double scaled = std::nearbyint(value * 10000.0);
            if (!(std::fabs(scaled) < 9.2e18)) {
                out_of_range(field, format_fixed(value, 4));
            }
            store_le<std::int64_t>(bytes, static_cast<std::int64_t>(scaled));
            return;
        }
        case FieldType::Integer:
        case FieldType::AutoInc:
            store_le<std::int32_t>(bytes, static_cast<std::int32_t>(checked_integer(field, value)));
            return;
        case FieldType::ShortInt:
            store_le<std::int16_t>(bytes, static_cast<std::int16_t>(checked_integer(field, value)));
            return;
        case FieldType::RowVersion:
            store_le<std::int64_t>(bytes, checked_integer(field, value));
            return;
        case FieldType::String:
        case FieldType::CIString:
        case FieldType::VarCharFox:
        case FieldType::NChar:
        case FieldType::NVarChar:
            set_field_text(field, image, format_fixed(value, field.decimals), TextContext{});
            return;
        default:
            type_mismatch(field, "a number");
    }
}

void set_field_integer(const FieldDescriptor& field, std::uint8_t* image, std::int64_t value) {
    switch (field.type) {
        case FieldType::RowVersion:
            store_le<std::int64_t>(at(field, image), value);
            return;
        case FieldType::Money:
            if (value > 922337203685477LL || value < -922337203685477LL) {
                out_of_range(field, std::to_string(value));
            }
            store_le<std::int64_t>(at(field, image), value * 10000);
            return;
        default:
            set_field_double(field, image, static_cast<double>(value));
            return;
    }
}

bool field_logical(const FieldDescriptor& field, const std::uint8_t* image) {
    if (field.type != FieldType::Logical) {
        type_mismatch(field, "a logical");
    }
    return format::logical_is_true(at(field, image)[0]);
}

void set_field_logical(const FieldDescriptor& field, std::uint8_t* image, bool value) {
    if (field.type != FieldType::Logical) {
        type_mismatch(field, "a logical");
    }
    at(field, image)[0] = value ? 'T' : 'F';
}

std::int32_t field_julian(const FieldDescriptor& field, const std::uint8_t* image) {
    if (field.type == FieldType::CompactDate) {
        return format::compact_date_julian(at(field, image));  // null: all zero, no valid day
    }
    if (field.type != FieldType::Date && field.type != FieldType::TimeStamp &&
        field.type != FieldType::ModTime) {
        type_mismatch(field, "a date");
    }
    return is_null(field, image) ? 0 : load_le<std::int32_t>(at(field, image));
}

std::int32_t field_milliseconds(const FieldDescriptor& field, const std::uint8_t* image) {
    if (is_null(field, image)) {
        if (field.type != FieldType::Time && field.type != FieldType::TimeStamp &&
            field.type != FieldType::ModTime) {
            type_mismatch(field, "a time");
        }
        return 0;
    }
    switch (field.type) {
        case FieldType::Time:
            return load_le<std::int32_t>(at(field, image));
        case FieldType::TimeStamp:
        case FieldType::ModTime:
            return load_le<std::int32_t>(at(field, image) + 4);
        default:
            type_mismatch(field, "a time");
    }
}

void set_field_julian(const FieldDescriptor& field, std::uint8_t* image, std::int32_t julian) {
    std::uint8_t* bytes = at(field, image);
    switch (field.type) {
        case FieldType::Date:
            store_le(bytes, julian);
            return;
        case FieldType::CompactDate:
            if (!format::store_compact_date(julian, bytes)) {
                out_of_range(field, "Julian day " + std::to_string(julian));
            }
            return;
        case FieldType::TimeStamp:
        case FieldType::ModTime: {
            bool was_null = is_null(field, image);
            store_le(bytes, julian);
            if (was_null || julian == 0) {
                store_le<std::int32_t>(bytes + 4, julian == 0 ? -1 : 0);
            }
            return;
        }
        default:
            type_mismatch(field, "a date");
    }
}

void set_field_milliseconds(const FieldDescriptor& field, std::uint8_t* image, std::int32_t ms) {
    if (ms < 0 || ms >= 86400000) {
        out_of_range(field, std::to_string(ms) + " milliseconds");
    }
    std::uint8_t* bytes = at(field, image);
    switch (field.type) {
        case FieldType::Time:
            store_le(bytes, ms);
            return;
        case FieldType::TimeStamp:
        case FieldType::ModTime:
            if (is_null(field, image)) {
                // A time without a date has no day to belong to.
                fail(VE_VALUE_NOT_CONVERTIBLE,
                     "set the date of " + field.name + " before its time of day");
            }
            store_le(bytes + 4, ms);
            return;
        default:
            type_mismatch(field, "a time");
    }
}

}  // namespace varelum::engine
