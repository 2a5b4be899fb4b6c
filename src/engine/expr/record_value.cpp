// Decoding ADT record-image fields into expression values.
#include "engine/expr/record_value.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "engine/expr/record_access.h"
#include "engine/format/calendar.h"
#include "engine/format/code_page.h"
#include "engine/format/field_image.h"

namespace varelum::engine::expr {
namespace {

std::uint16_t load_u16(const std::uint8_t* p) {
    return format::load_le<std::uint16_t>(p);
}

std::uint32_t load_u32(const std::uint8_t* p) {
    return format::load_le<std::uint32_t>(p);
}

std::uint64_t load_u64(const std::uint8_t* p) {
    return format::load_le<std::uint64_t>(p);
}

// An 8-bit text field: its bytes up to the first zero byte, padded back with blanks.
std::string padded_text(const std::uint8_t* p, std::size_t length, std::size_t used) {
    std::size_t n = 0;
    while (n < used && p[n] != 0) {
        ++n;
    }
    std::string text(reinterpret_cast<const char*>(p), n);
    text.resize(length, ' ');
    return text;
}

// UTF-16LE text of at most `characters` characters, up to the first zero, in Windows-1252.
std::string utf16_text(const std::uint8_t* p, std::size_t characters, format::CodePage page) {
    std::u16string units;
    units.reserve(characters);
    for (std::size_t i = 0; i < characters; ++i) {
        char16_t u = load_u16(p + 2 * i);
        if (u == 0) {
            break;
        }
        units.push_back(u);
    }
    return format::utf16_to_bytes(page, units);
}

}  // namespace

std::optional<ValueType> field_value_type(FieldType type) {
    switch (type) {
        case FieldType::Logical:
            return ValueType::Logical;
        case FieldType::Numeric:
        case FieldType::Double:
        case FieldType::Integer:
        case FieldType::ShortInt:
        case FieldType::AutoInc:
        case FieldType::CurDouble:
        case FieldType::Money:
        case FieldType::RowVersion:
            return ValueType::Numeric;
        case FieldType::Date:
        case FieldType::CompactDate:
            return ValueType::Date;
        case FieldType::Time:
        case FieldType::TimeStamp:
        case FieldType::ModTime:
            return ValueType::Timestamp;
        case FieldType::String:
        case FieldType::CIString:
        case FieldType::Memo:
        case FieldType::Binary:
        case FieldType::Image:
        case FieldType::VarChar:
        case FieldType::Raw:
        case FieldType::VarCharFox:
        case FieldType::VarBinaryFox:
        case FieldType::NChar:
        case FieldType::NVarChar:
        case FieldType::NMemo:
            return ValueType::Character;
        case FieldType::Reserved1:
        case FieldType::System:
            break;
    }
    return std::nullopt;
}

std::uint32_t field_text_width(const FieldDescriptor& field) {
    return format::is_memo_type(field.type) ? 0 : field.length;
}

Value decode_field_value(const FieldDescriptor& field, std::span<const std::uint8_t> image,
                         const RecordAccess* blobs, format::CodePage page) {
    std::optional<ValueType> type = field_value_type(field.type);
    if (!type) {
        throw std::invalid_argument("field " + field.name + " has a type no expression reads");
    }
    if (static_cast<std::size_t>(field.offset) + format::field_image_size(field) > image.size()) {
        throw std::invalid_argument("field " + field.name + " lies outside the record image");
    }
    if (format::is_null(field, image.data())) {
        Value null = Value::null_of(*type);
        null.case_insensitive = field.type == FieldType::CIString;
        if (*type == ValueType::Character) {
            null.text.assign(field_text_width(field), ' ');
        }
        return null;
    }
    const std::uint8_t* p = image.data() + field.offset;
    switch (field.type) {
        case FieldType::Logical: {
            return Value::boolean(format::logical_is_true(p[0]));
        }
        case FieldType::Numeric: {
            std::string_view text(reinterpret_cast<const char*>(p), field.length);
            // Text that is no number reads as 0, as the components read it.
            return Value::numeric(format::parse_decimal_text(text).value_or(0.0));
        }
        case FieldType::Double:
        case FieldType::CurDouble:
            return Value::numeric(std::bit_cast<double>(load_u64(p)));
        case FieldType::Integer:
        case FieldType::AutoInc:
            return Value::numeric(static_cast<std::int32_t>(load_u32(p)));
        case FieldType::ShortInt:
            return Value::numeric(static_cast<std::int16_t>(load_u16(p)));
        case FieldType::Money:
            return Value::numeric(static_cast<double>(static_cast<std::int64_t>(load_u64(p))) /
                                  10000.0);
        case FieldType::RowVersion:
            return Value::numeric(static_cast<double>(static_cast<std::int64_t>(load_u64(p))));
        case FieldType::Date:
            return Value::date(static_cast<std::int32_t>(load_u32(p)));
        case FieldType::CompactDate:
            return Value::date(format::compact_date_julian(p));
        case FieldType::Time:
            return Value::timestamp(0, static_cast<std::int32_t>(load_u32(p)));
        case FieldType::TimeStamp:
        case FieldType::ModTime:
            return Value::timestamp(static_cast<std::int32_t>(load_u32(p)),
                                    static_cast<std::int32_t>(load_u32(p + 4)));
        case FieldType::String:
        case FieldType::CIString:
            return Value::character(padded_text(p, field.length, field.length),
                                    field.type == FieldType::CIString);
        case FieldType::Raw:
            return Value::character(std::string(reinterpret_cast<const char*>(p), field.length));
        case FieldType::VarCharFox: {
            std::size_t used = std::min<std::size_t>(load_u16(p + field.length), field.length);
            return Value::character(padded_text(p, used, used));
        }
        case FieldType::VarBinaryFox: {
            std::size_t used = std::min<std::size_t>(load_u16(p + field.length), field.length);
            return Value::character(std::string(reinterpret_cast<const char*>(p), used));
        }
        case FieldType::NChar: {
            std::string text = utf16_text(p, field.length, page);
            text.resize(field.length, ' ');
            return Value::character(std::move(text));
        }
        case FieldType::NVarChar: {
            std::size_t used = std::min<std::size_t>(load_u16(p + field.length * 2), field.length);
            return Value::character(utf16_text(p, used, page));
        }
        case FieldType::Memo:
        case FieldType::Binary:
        case FieldType::Image:
        case FieldType::VarChar:
        case FieldType::NMemo: {
            std::optional<std::string> bytes;
            if (blobs != nullptr) {
                bytes = blobs->read_blob(field);
            }
            if (!bytes) {
                return Value::null_of(ValueType::Character);
            }
            if (field.type != FieldType::NMemo) {
                return Value::character(std::move(*bytes));
            }
            std::u16string units(bytes->size() / 2, u'\0');
            for (std::size_t i = 0; i < units.size(); ++i) {
                units[i] = load_u16(reinterpret_cast<const std::uint8_t*>(bytes->data()) + 2 * i);
            }
            return Value::character(format::utf16_to_bytes(page, units));
        }
        case FieldType::Reserved1:
        case FieldType::System:
            break;
    }
    return Value::null_of(*type);
}

}  // namespace varelum::engine::expr
