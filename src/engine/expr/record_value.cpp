// Decoding ADT record-image fields into expression values.
#include "engine/expr/record_value.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "engine/expr/date_time.h"
#include "engine/expr/record_access.h"
#include "engine/expr/windows1252.h"

namespace varelum::engine::expr {
namespace {

std::uint16_t load_u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t load_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t load_u64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(load_u32(p)) |
           (static_cast<std::uint64_t>(load_u32(p + 4)) << 32);
}

bool all_zero(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
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
std::string utf16_text(const std::uint8_t* p, std::size_t characters) {
    std::u16string units;
    units.reserve(characters);
    for (std::size_t i = 0; i < characters; ++i) {
        char16_t u = load_u16(p + 2 * i);
        if (u == 0) {
            break;
        }
        units.push_back(u);
    }
    return utf16_to_1252(units);
}

}  // namespace

bool is_memo_type(FieldType type) {
    switch (type) {
        case FieldType::Memo:
        case FieldType::Binary:
        case FieldType::Image:
        case FieldType::VarChar:
        case FieldType::NMemo:
            return true;
        default:
            return false;
    }
}

std::size_t field_image_size(const FieldDescriptor& field) {
    switch (field.type) {
        case FieldType::NChar:
            return field.length * 2;
        case FieldType::NVarChar:
            return field.length * 2 + 2;
        case FieldType::VarCharFox:
        case FieldType::VarBinaryFox:
            return field.length + 2;
        default:
            return is_memo_type(field.type) ? std::max<std::size_t>(field.length, 4) : field.length;
    }
}

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
    return is_memo_type(field.type) ? 0 : field.length;
}

bool is_raw_value_null(const FieldDescriptor& field, std::span<const std::uint8_t> image) {
    const std::uint8_t* p = image.data() + field.offset;
    switch (field.type) {
        case FieldType::Logical:
            return p[0] == ' ';
        case FieldType::Numeric:
        case FieldType::Date:
        case FieldType::String:
        case FieldType::CompactDate:
        case FieldType::Raw:
        case FieldType::CIString:
            return all_zero(p, field.length);
        case FieldType::NChar:
            return all_zero(p, field.length * 2);
        case FieldType::Memo:
        case FieldType::Binary:
        case FieldType::Image:
        case FieldType::VarChar:
        case FieldType::NMemo:
            return load_u32(p) == 0;
        case FieldType::Double:
        case FieldType::CurDouble:
            return load_u32(p) == 0x00000020u && load_u32(p + 4) == 0x80000000u;
        case FieldType::Money:
        case FieldType::RowVersion:
            return load_u32(p) == 0 && load_u32(p + 4) == 0x80000000u;
        case FieldType::Integer:
            return load_u32(p) == 0x80000000u;
        case FieldType::ShortInt:
            return load_u16(p) == 0x8000u;
        case FieldType::Time:
        case FieldType::AutoInc:
            return load_u32(p) == 0xFFFFFFFFu;
        case FieldType::TimeStamp:
        case FieldType::ModTime:
            return load_u32(p) == 0;
        case FieldType::VarCharFox:
        case FieldType::VarBinaryFox:
            return load_u16(p + field.length) == 0xFFFFu;
        case FieldType::NVarChar:
            return load_u16(p + field.length * 2) == 0xFFFFu;
        case FieldType::Reserved1:
        case FieldType::System:
            break;
    }
    return true;
}

Value decode_field_value(const FieldDescriptor& field, std::span<const std::uint8_t> image,
                         const RecordAccess* blobs) {
    std::optional<ValueType> type = field_value_type(field.type);
    if (!type) {
        throw std::invalid_argument("field " + field.name + " has a type no expression reads");
    }
    if (static_cast<std::size_t>(field.offset) + field_image_size(field) > image.size()) {
        throw std::invalid_argument("field " + field.name + " lies outside the record image");
    }
    if (is_raw_value_null(field, image)) {
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
            char c = static_cast<char>(p[0]);
            return Value::boolean(c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y');
        }
        case FieldType::Numeric: {
            std::string_view text(reinterpret_cast<const char*>(p), field.length);
            // Text that is no number reads as 0, as the components read it.
            return Value::numeric(parse_numeric_text(text).value_or(0.0));
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
        case FieldType::CompactDate: {
            unsigned bits =
                (static_cast<unsigned>(p[0]) << 16) | (static_cast<unsigned>(p[1]) << 8) | p[2];
            int year = static_cast<int>(bits >> 9);
            int month = static_cast<int>((bits >> 5) & 0x0F);
            int day = static_cast<int>(bits & 0x1F);
            return Value::date(
                is_valid_civil_date(year, month, day) ? julian_from_civil(year, month, day) : 0);
        }
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
            std::string text = utf16_text(p, field.length);
            text.resize(field.length, ' ');
            return Value::character(std::move(text));
        }
        case FieldType::NVarChar: {
            std::size_t used = std::min<std::size_t>(load_u16(p + field.length * 2), field.length);
            return Value::character(utf16_text(p, used));
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
            return Value::character(utf16_to_1252(units));
        }
        case FieldType::Reserved1:
        case FieldType::System:
            break;
    }
    return Value::null_of(*type);
}

std::optional<double> parse_numeric_text(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\0')) {
        ++begin;
    }
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\0')) {
        --end;
    }
    std::string_view t = text.substr(begin, end - begin);
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        ++i;
    }
    bool digits = false;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
        ++i;
        digits = true;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            ++i;
            digits = true;
        }
    }
    if (!digits || i != t.size()) {
        return std::nullopt;
    }
    // from_chars, not strtod: the host program may run under a locale whose decimal
    // separator is a comma, and record images always use ".".
    std::size_t skip = !t.empty() && t[0] == '+' ? 1 : 0;
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(t.data() + skip, t.data() + t.size(), value);
    if (ec != std::errc() || ptr != t.data() + t.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace varelum::engine::expr
