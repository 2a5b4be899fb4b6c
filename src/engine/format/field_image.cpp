// Field sizes, null markers and shared encodings of the record image (see field_image.h).
#include "engine/format/field_image.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "engine/format/calendar.h"

namespace varelum::engine::format {
namespace {

constexpr std::uint32_t kNullInteger = 0x80000000u;
constexpr std::uint16_t kNullShort = 0x8000u;
constexpr std::uint32_t kNullTime = 0xFFFFFFFFu;
constexpr std::uint64_t kNullDouble = 0x8000000000000020ull;  // 0x00000020, then 0x80000000
constexpr std::int64_t kNullInt64 = std::numeric_limits<std::int64_t>::min();

bool all_zero(const std::uint8_t* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool is_memo_type(FieldType type) {
    return type == FieldType::Memo || type == FieldType::Binary || type == FieldType::Image ||
           type == FieldType::VarChar || type == FieldType::NMemo;
}

bool is_binary_memo_type(FieldType type) {
    return type == FieldType::Binary || type == FieldType::Image;
}

bool is_text_type(FieldType type) {
    return type == FieldType::String || type == FieldType::CIString ||
           type == FieldType::VarCharFox || type == FieldType::NChar || type == FieldType::NVarChar;
}

std::uint32_t field_image_size(const FieldDescriptor& field) {
    switch (field.type) {
        case FieldType::VarCharFox:
        case FieldType::VarBinaryFox:
            return field.length + 2;
        case FieldType::NChar:
            return field.length * 2;
        case FieldType::NVarChar:
            return field.length * 2 + 2;
        default:
            return is_memo_type(field.type) ? kMemoSlotSize : field.length;
    }
}

std::uint16_t used_length(const FieldDescriptor& field, const std::uint8_t* image) {
    std::size_t word = field.type == FieldType::NVarChar ? field.length * 2 : field.length;
    return load_le<std::uint16_t>(image + field.offset + word);
}

bool is_null(const FieldDescriptor& field, const std::uint8_t* image) {
    const std::uint8_t* bytes = image + field.offset;
    switch (field.type) {
        case FieldType::Logical:
            // Only a blank: byte 0 is no marker of this type (it reads as false).
            return bytes[0] == ' ';
        case FieldType::Double:
        case FieldType::CurDouble:
            return load_le<std::uint64_t>(bytes) == kNullDouble;
        case FieldType::Integer:
            return load_le<std::uint32_t>(bytes) == kNullInteger;
        case FieldType::ShortInt:
            return load_le<std::uint16_t>(bytes) == kNullShort;
        case FieldType::Time:
        case FieldType::AutoInc:
            return load_le<std::uint32_t>(bytes) == kNullTime;
        case FieldType::TimeStamp:
        case FieldType::ModTime:
            return load_le<std::int32_t>(bytes) == 0;
        case FieldType::Money:
        case FieldType::RowVersion:
            return load_le<std::int64_t>(bytes) == kNullInt64;
        case FieldType::VarCharFox:
        case FieldType::VarBinaryFox:
        case FieldType::NVarChar:
            return used_length(field, image) == kNullLength;
        case FieldType::Memo:
        case FieldType::Binary:
        case FieldType::Image:
        case FieldType::VarChar:
        case FieldType::NMemo:
            return load_le<std::uint32_t>(bytes) == 0;
        case FieldType::Numeric:
        case FieldType::Date:
        case FieldType::String:
        case FieldType::CompactDate:
        case FieldType::Raw:
        case FieldType::CIString:
        case FieldType::NChar:
            return all_zero(bytes, field_image_size(field));
        case FieldType::Reserved1:
        case FieldType::System:
            break;
    }
    return true;
}

void set_null(const FieldDescriptor& field, std::uint8_t* image) {
    std::uint8_t* bytes = image + field.offset;
    switch (field.type) {
        case FieldType::Logical:
            bytes[0] = ' ';
            break;
        case FieldType::Double:
        case FieldType::CurDouble:
            store_le(bytes, kNullDouble);
            break;
        case FieldType::Integer:
            store_le(bytes, kNullInteger);
            break;
        case FieldType::ShortInt:
            store_le(bytes, kNullShort);
            break;
        case FieldType::Time:
        case FieldType::AutoInc:
            store_le(bytes, kNullTime);
            break;
        case FieldType::TimeStamp:
        case FieldType::ModTime:
            store_le<std::int32_t>(bytes, 0);
            store_le(bytes + 4, kNullTime);
            break;
        case FieldType::Money:
        case FieldType::RowVersion:
            store_le(bytes, kNullInt64);
            break;
        case FieldType::VarCharFox:
        case FieldType::VarBinaryFox:
        case FieldType::NVarChar: {
            std::size_t word = field_image_size(field) - 2;
            std::memset(bytes, 0, word);
            store_le(bytes + word, kNullLength);
            break;
        }
        default:
            std::memset(bytes, 0, field_image_size(field));
            break;
    }
}

bool logical_is_true(std::uint8_t byte) {
    return byte == 'T' || byte == 't' || byte == 'Y' || byte == 'y' || byte == '1';
}

std::optional<bool> logical_from_text(char first) {
    if (logical_is_true(static_cast<std::uint8_t>(first))) {
        return true;
    }
    if (first == 'F' || first == 'f' || first == 'N' || first == 'n' || first == '0') {
        return false;
    }
    return std::nullopt;
}

std::int32_t compact_date_julian(const std::uint8_t* bytes) {
    unsigned bits =
        (static_cast<unsigned>(bytes[0]) << 16) | (static_cast<unsigned>(bytes[1]) << 8) | bytes[2];
    int year = static_cast<int>(bits >> 9);
    int month = static_cast<int>((bits >> 5) & 0x0F);
    int day = static_cast<int>(bits & 0x1F);
    return is_valid_civil_date(year, month, day) ? julian_from_civil(year, month, day) : 0;
}

bool store_compact_date(std::int32_t julian, std::uint8_t* bytes) {
    if (julian == 0) {
        std::memset(bytes, 0, 3);
        return true;
    }
    if (julian < 0) {
        return false;
    }
    const CivilDate date = civil_from_julian(julian);
    if (!is_valid_civil_date(date.year, date.month, date.day)) {
        return false;
    }
    const auto bits = (static_cast<unsigned>(date.year) << 9) |
                      (static_cast<unsigned>(date.month) << 5) | static_cast<unsigned>(date.day);
    bytes[0] = static_cast<std::uint8_t>(bits >> 16);
    bytes[1] = static_cast<std::uint8_t>(bits >> 8);
    bytes[2] = static_cast<std::uint8_t>(bits);
    return true;
}

std::optional<double> parse_decimal_text(std::string_view text) {
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
    if (digits && i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        std::size_t exponent = i + 1;
        if (exponent < t.size() && (t[exponent] == '-' || t[exponent] == '+')) {
            ++exponent;
        }
        std::size_t first = exponent;
        while (exponent < t.size() && t[exponent] >= '0' && t[exponent] <= '9') {
            ++exponent;
        }
        if (exponent > first) {
            i = exponent;
        }
    }
    if (!digits || i != t.size()) {
        return std::nullopt;
    }
    // from_chars, not strtod: the host program may run under a locale whose decimal separator
    // is a comma, and record images always use ".".
    std::size_t skip = t[0] == '+' ? 1 : 0;
    double value = 0.0;
    auto [ptr, error] = std::from_chars(t.data() + skip, t.data() + t.size(), value);
    if (error != std::errc() || ptr != t.data() + t.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string format_fixed(double value, int decimals) {
    char text[400];
    auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    std::string out = error == std::errc() ? std::string(text, end) : std::string("0");
    if (!out.empty() && out[0] == '-' && out.find_first_not_of("-0.") == std::string::npos) {
        out.erase(0, 1);  // no "-0.00"
    }
    return out;
}

}  // namespace varelum::engine::format
