// Field values to and from CSV cells (see cell_values.h). Each value goes through the engine
// call that takes it without loss: text as UTF-16, dates as Julian days, times as
// milliseconds, doubles as doubles; only decimals travel as text, checked here first so that
// the engine never rounds a value silently.
#include "cell_values.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "field_types.h"
#include "rtl/code_page.h"
#include "rtl/datetime.h"
#include "store_error.h"

namespace varelum::store {

namespace {

// A cell as a message quotes it: valid UTF-8 (other bytes become "?") and not too long.
std::string quoted_for_message(std::string_view cell) {
    constexpr std::size_t kMostShown = 40;
    std::string text(cell);
    if (!rtl::IsValidUtf8(text)) {
        for (char& c : text) {
            c = static_cast<unsigned char>(c) >= 0x80 ? '?' : c;
        }
    }
    std::u16string wide = rtl::Utf8ToUtf16(text);
    if (wide.size() > kMostShown) {
        text = rtl::Utf16ToUtf8(wide.substr(0, kMostShown)) + "...";
    }
    return "\"" + text + "\"";
}

[[noreturn]] void refuse(std::string_view cell, const std::string& why) {
    throw StoreError(quoted_for_message(cell) + " " + why);
}

// Engine refusals of a value carry the engine's text as the reason.
void check_value(UNSIGNED32 code, std::string_view cell) {
    if (code != VE_SUCCESS) {
        refuse(cell, "was refused: " + last_error_text() + " (" + std::to_string(code) + ")");
    }
}

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Reads exactly `count` digits at text[at...] into value.
bool read_digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!is_digit(text[i])) {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

std::string two_digits(int value) {
    return std::string{static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
}

// --- Text ---------------------------------------------------------------------------------

void set_text(const Table& table, const FieldInfo& field, std::string_view cell,
              UNSIGNED16 code_page) {
    if (!rtl::IsValidUtf8(cell)) {
        refuse(cell, "is not UTF-8 text (save the CSV file as UTF-8)");
    }
    std::u16string wide = rtl::Utf8ToUtf16(cell);
    std::size_t length = wide.size();
    if (is_code_page_text(field.type)) {
        const rtl::TCodePage page =
            code_page == VE_CHARTYPE_OEM ? rtl::TCodePage::Oem : rtl::TCodePage::Ansi;
        std::string stored = rtl::Utf8ToCodePage(cell, page);
        if (rtl::CodePageToUtf8(stored, page) != cell) {
            refuse(cell, std::string("has characters that ") +
                             (page == rtl::TCodePage::Oem ? "code page 850" : "Windows-1252") +
                             " cannot hold");
        }
        length = stored.size();
    }
    if (value_kind(field.type) == ValueKind::FixedText || definition_has_length(field.type)) {
        // The engine pads fixed fields with blanks, so trailing blanks never count. A blank is
        // one unit in every encoding here, so the count of the cell holds for the record too.
        std::size_t used = length;
        for (std::size_t i = cell.size(); i > 0 && cell[i - 1] == ' '; --i) {
            --used;
        }
        if (used > field.length) {
            refuse(cell, "has " + std::to_string(used) + " characters; the field holds " +
                             std::to_string(field.length));
        }
    }
    check_value(AdsSetStringW(table.handle(), field.id(), wide.data(),
                              static_cast<UNSIGNED32>(wide.size())),
                cell);
}

// --- Numbers ------------------------------------------------------------------------------

void set_logical(const Table& table, const FieldInfo& field, std::string_view cell) {
    std::string word;
    for (char c : trim_blanks(cell)) {
        word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    UNSIGNED16 value = 0;
    if (word == "true" || word == "t" || word == "1" || word == "yes" || word == "y") {
        value = 1;
    } else if (word != "false" && word != "f" && word != "0" && word != "no" && word != "n") {
        refuse(cell, "is not a logical value (true, false, T, F, 1 or 0)");
    }
    check_value(AdsSetLogical(table.handle(), field.id(), value), cell);
}

void set_integer(const Table& table, const FieldInfo& field, std::string_view cell) {
    std::string_view text = trim_blanks(cell);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || end != text.data() + text.size() || error == std::errc::invalid_argument) {
        refuse(cell, "is not a whole number");
    }
    if (field.type == VE_FIELD_SHORTINT) {
        if (error != std::errc() || value < std::numeric_limits<SIGNED16>::min() ||
            value > std::numeric_limits<SIGNED16>::max()) {
            refuse(cell, "does not fit a ShortInt field");
        }
        check_value(AdsSetShort(table.handle(), field.id(), static_cast<SIGNED16>(value)), cell);
        return;
    }
    if (error != std::errc() || value < std::numeric_limits<SIGNED32>::min() ||
        value > std::numeric_limits<SIGNED32>::max()) {
        refuse(cell, "does not fit an Integer field");
    }
    check_value(AdsSetLong(table.handle(), field.id(), static_cast<SIGNED32>(value)), cell);
}

void set_decimal(const Table& table, const FieldInfo& field, std::string_view cell) {
    std::string_view text = trim_blanks(cell);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    std::size_t at = !text.empty() && text.front() == '-' ? 1 : 0;
    std::size_t digits = 0;
    std::size_t decimals = 0;
    bool point = false;
    for (; at < text.size(); ++at) {
        if (text[at] == '.' && !point) {
            point = true;
        } else if (is_digit(text[at])) {
            ++(point ? decimals : digits);
        } else {
            refuse(cell, "is not a decimal number");
        }
    }
    if (digits + decimals == 0) {
        refuse(cell, "is not a decimal number");
    }
    const std::size_t allowed = field.type == VE_FIELD_MONEY ? 4 : field.decimals;
    if (decimals > allowed) {
        refuse(cell, "has " + std::to_string(decimals) + " decimals; the field keeps " +
                         std::to_string(allowed));
    }
    const std::string value(text);
    check_value(
        AdsSetField(table.handle(), field.id(), reinterpret_cast<const UNSIGNED8*>(value.data()),
                    static_cast<UNSIGNED32>(value.size())),
        cell);
}

void set_float(const Table& table, const FieldInfo& field, std::string_view cell) {
    std::string_view text = trim_blanks(cell);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || end != text.data() + text.size() || error != std::errc() ||
        !std::isfinite(value)) {
        refuse(cell, "is not a number");
    }
    check_value(AdsSetDouble(table.handle(), field.id(), value), cell);
}

std::string format_double(double value) {
    char text[64];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string();
}

// --- Dates and times ----------------------------------------------------------------------

// "YYYY-MM-DD HH:MM:SS[.mmm]" (or with "T" between date and time; the time may be left out).
void set_timestamp(const Table& table, const FieldInfo& field, std::string_view cell) {
    std::string_view text = trim_blanks(cell);
    std::size_t split = text.find_first_of(" T");
    std::optional<std::int32_t> julian = parse_date(text.substr(0, split));
    std::optional<std::int32_t> time =
        split == std::string_view::npos ? 0 : parse_time(trim_blanks(text.substr(split + 1)));
    if (!julian || !time) {
        refuse(cell, "is not a timestamp (YYYY-MM-DD HH:MM:SS.mmm)");
    }
    check_value(AdsSetJulian(table.handle(), field.id(), *julian), cell);
    check_value(AdsSetMilliseconds(table.handle(), field.id(), *time), cell);
}

// --- Bytes --------------------------------------------------------------------------------

int hex_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void set_bytes(const Table& table, const FieldInfo& field, std::string_view cell) {
    std::string_view text = trim_blanks(cell);
    if (text.size() % 2 != 0) {
        refuse(cell, "is not hexadecimal bytes (an odd number of digits)");
    }
    std::vector<UNSIGNED8> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int high = hex_value(text[i]);
        int low = hex_value(text[i + 1]);
        if (high < 0 || low < 0) {
            refuse(cell, "is not hexadecimal bytes");
        }
        bytes.push_back(static_cast<UNSIGNED8>(high * 16 + low));
    }
    if (field.type == VE_FIELD_RAW || field.type == VE_FIELD_VARBINARY_FOX) {
        if (bytes.size() > field.length) {
            refuse(cell, "has " + std::to_string(bytes.size()) + " bytes; the field holds " +
                             std::to_string(field.length));
        }
        if (field.type == VE_FIELD_RAW) {
            bytes.resize(field.length, 0);  // a Raw value always has the field's length
        }
        check_value(AdsSetFieldRaw(table.handle(), field.id(), bytes.data(),
                                   static_cast<UNSIGNED32>(bytes.size())),
                    cell);
        return;
    }
    const UNSIGNED16 binary_type =
        field.type == VE_FIELD_IMAGE ? VE_BINARY_IMAGE : VE_BINARY_BINARY;
    const auto size = static_cast<UNSIGNED32>(bytes.size());
    check_value(AdsSetBinary(table.handle(), field.id(), binary_type, size, 0, bytes.data(), size),
                cell);
}

std::string to_hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

// --- Reading values -----------------------------------------------------------------------

std::string context_of(const Table& table, const FieldInfo& field) {
    return "cannot read field " + field.name + " of " + display_name(table.path());
}

// Calls get(buffer, &length) with a buffer that grows until the value fits; get is an engine
// getter with the in/out length convention (VE_BUFFER_TOO_SMALL and the length needed).
template <typename Text, typename Get>
Text read_growing(const Table& table, const FieldInfo& field, Get get) {
    Text text(256, typename Text::value_type{});
    while (true) {
        auto length = static_cast<UNSIGNED32>(text.size());
        const UNSIGNED32 code = get(text.data(), &length);
        if (code == VE_BUFFER_TOO_SMALL && length >= text.size()) {
            text.assign(static_cast<std::size_t>(length) + 1, typename Text::value_type{});
            continue;
        }
        check(code, context_of(table, field));
        text.resize(length);
        return text;
    }
}

// The value as UTF-16 text, trimmed as asked.
std::u16string read_wide(const Table& table, const FieldInfo& field, UNSIGNED16 trim) {
    return read_growing<std::u16string>(table, field, [&](WCHAR* buffer, UNSIGNED32* length) {
        return AdsGetFieldW(table.handle(), field.id(), buffer, length, trim);
    });
}

// The value as the engine's 8-bit text (or bytes, for Raw and VarBinaryFox).
std::string read_bytes(const Table& table, const FieldInfo& field, UNSIGNED16 trim) {
    return read_growing<std::string>(table, field, [&](char* buffer, UNSIGNED32* length) {
        return AdsGetField(table.handle(), field.id(), reinterpret_cast<UNSIGNED8*>(buffer), length,
                           trim);
    });
}

std::string read_binary(const Table& table, const FieldInfo& field) {
    UNSIGNED32 length = 0;
    check(AdsGetBinaryLength(table.handle(), field.id(), &length), context_of(table, field));
    std::string bytes(length, '\0');
    UNSIGNED32 done = 0;
    while (done < length) {
        UNSIGNED32 part = length - done;
        check(AdsGetBinary(table.handle(), field.id(), done,
                           reinterpret_cast<UNSIGNED8*>(bytes.data() + done), &part),
              context_of(table, field));
        if (part == 0) {
            break;  // never loop on an engine that stops giving bytes
        }
        done += part;
    }
    bytes.resize(done);
    return bytes;
}

}  // namespace

// --- Dates and times as text --------------------------------------------------------------

std::optional<std::int32_t> parse_date(std::string_view text) {
    int year = 0;
    int month = 0;
    int day = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !read_digits(text, 0, 4, year) ||
        !read_digits(text, 5, 2, month) || !read_digits(text, 8, 2, day)) {
        return std::nullopt;
    }
    rtl::TDateTime date = 0;
    if (!rtl::TryEncodeDate(year, month, day, date)) {
        return std::nullopt;
    }
    return rtl::DateToJulian(date);
}

std::optional<std::int32_t> parse_time(std::string_view text) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    if (text.size() < 5 || text[2] != ':' || !read_digits(text, 0, 2, hour) ||
        !read_digits(text, 3, 2, minute)) {
        return std::nullopt;
    }
    if (text.size() > 5) {
        if (text.size() < 8 || text[5] != ':' || !read_digits(text, 6, 2, second)) {
            return std::nullopt;
        }
        if (text.size() > 8) {
            // One to three digits of a second's fraction.
            const std::size_t digits = text.size() - 9;
            if (text[8] != '.' || digits < 1 || digits > 3 ||
                !read_digits(text, 9, digits, millisecond)) {
                return std::nullopt;
            }
            for (std::size_t i = digits; i < 3; ++i) {
                millisecond *= 10;
            }
        }
    }
    if (hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    return ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
}

std::string format_date(std::int32_t julian) {
    int year = 0;
    int month = 0;
    int day = 0;
    rtl::DecodeDate(rtl::JulianToDate(julian), year, month, day);
    std::string text = std::to_string(year);
    text.insert(0, text.size() < 4 ? 4 - text.size() : 0, '0');
    return text + "-" + two_digits(month) + "-" + two_digits(day);
}

std::string format_time(std::int32_t milliseconds) {
    const int ms = milliseconds % 1000;
    const int seconds = milliseconds / 1000;
    std::string fraction = std::to_string(ms);
    fraction.insert(0, 3 - fraction.size(), '0');
    return two_digits(seconds / 3600) + ":" + two_digits(seconds / 60 % 60) + ":" +
           two_digits(seconds % 60) + "." + fraction;
}

// --- Cells --------------------------------------------------------------------------------

void set_cell(const Table& table, const FieldInfo& field, std::string_view cell,
              UNSIGNED16 code_page) {
    if (cell.empty()) {
        check_value(AdsSetNull(table.handle(), field.id()), cell);
        return;
    }
    switch (value_kind(field.type)) {
        case ValueKind::FixedText:
        case ValueKind::Text:
            set_text(table, field, cell, code_page);
            return;
        case ValueKind::Logical:
            set_logical(table, field, cell);
            return;
        case ValueKind::Integer:
            set_integer(table, field, cell);
            return;
        case ValueKind::Decimal:
            set_decimal(table, field, cell);
            return;
        case ValueKind::Float:
            set_float(table, field, cell);
            return;
        case ValueKind::Date: {
            std::optional<std::int32_t> julian = parse_date(trim_blanks(cell));
            if (!julian) {
                refuse(cell, "is not a date (YYYY-MM-DD)");
            }
            check_value(AdsSetJulian(table.handle(), field.id(), *julian), cell);
            return;
        }
        case ValueKind::Time: {
            std::optional<std::int32_t> time = parse_time(trim_blanks(cell));
            if (!time) {
                refuse(cell, "is not a time (HH:MM:SS.mmm)");
            }
            check_value(AdsSetMilliseconds(table.handle(), field.id(), *time), cell);
            return;
        }
        case ValueKind::TimeStamp:
            set_timestamp(table, field, cell);
            return;
        case ValueKind::Bytes:
            set_bytes(table, field, cell);
            return;
        case ValueKind::Other:
            break;
    }
    refuse(cell, "cannot be imported into a field of type " + type_name(field.type));
}

std::string get_cell(const Table& table, const FieldInfo& field) {
    UNSIGNED16 null = 0;
    check(AdsIsNull(table.handle(), field.id(), &null), context_of(table, field));
    if (null != 0) {
        return {};
    }
    switch (value_kind(field.type)) {
        case ValueKind::FixedText:
            return rtl::Utf16ToUtf8(read_wide(table, field, VE_TRIM_RIGHT));
        case ValueKind::Text:
            return rtl::Utf16ToUtf8(read_wide(table, field, VE_TRIM_NONE));
        case ValueKind::Logical: {
            UNSIGNED16 value = 0;
            check(AdsGetLogical(table.handle(), field.id(), &value), context_of(table, field));
            return value != 0 ? "true" : "false";
        }
        case ValueKind::Float: {
            double value = 0;
            check(AdsGetDouble(table.handle(), field.id(), &value), context_of(table, field));
            return format_double(value);
        }
        case ValueKind::Date: {
            SIGNED32 julian = 0;
            check(AdsGetJulian(table.handle(), field.id(), &julian), context_of(table, field));
            return format_date(julian);
        }
        case ValueKind::Time: {
            SIGNED32 time = 0;
            check(AdsGetMilliseconds(table.handle(), field.id(), &time), context_of(table, field));
            return format_time(time);
        }
        case ValueKind::TimeStamp: {
            SIGNED32 julian = 0;
            SIGNED32 time = 0;
            check(AdsGetJulian(table.handle(), field.id(), &julian), context_of(table, field));
            check(AdsGetMilliseconds(table.handle(), field.id(), &time), context_of(table, field));
            return format_date(julian) + " " + format_time(time);
        }
        case ValueKind::Bytes:
            if (field.type == VE_FIELD_BINARY || field.type == VE_FIELD_IMAGE) {
                return to_hex(read_binary(table, field));
            }
            return to_hex(read_bytes(table, field, VE_TRIM_NONE));
        case ValueKind::Integer:
        case ValueKind::Decimal:
        case ValueKind::Other:
            break;
    }
    return from_engine_text(read_bytes(table, field, VE_TRIM_BOTH));
}

}  // namespace varelum::store
