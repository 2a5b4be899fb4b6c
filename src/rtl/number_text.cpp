// Numbers as text and back. Floating-point digits come from std::to_chars and text is read
// with std::from_chars: both are correctly rounded and, unlike printf and strtod, do not
// follow the C locale, which the window toolkit sets from the environment.
#include "rtl/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "rtl/decimal_layout.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace varelum::rtl {

namespace {

// --- Integers ---

// Reads the magnitude and its form; false when the text is not an integer literal.
bool ParseIntegerLiteral(std::string_view text, bool& negative, bool& hexadecimal,
                         std::uint64_t& magnitude) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    hexadecimal = false;
    if (i < text.size() && text[i] == '$') {
        hexadecimal = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hexadecimal = true;
        i += 2;
    }
    if (i == text.size()) {
        return false;
    }
    magnitude = 0;
    const std::uint64_t base = hexadecimal ? 16 : 10;
    for (; i < text.size(); ++i) {
        char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (hexadecimal && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (hexadecimal && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / base) {
            return false;
        }
        magnitude = magnitude * base + digit;
    }
    return true;
}

// Decimal literals must fit the signed range; hexadecimal ones are bit patterns of the
// target width ("$FFFFFFFF" is -1 as a 32-bit integer).
template <typename Int>
bool ParseInteger(std::string_view text, Int& value) {
    bool negative = false;
    bool hexadecimal = false;
    std::uint64_t magnitude = 0;
    if (!ParseIntegerLiteral(text, negative, hexadecimal, magnitude)) {
        return false;
    }
    using Unsigned = std::make_unsigned_t<Int>;
    if (hexadecimal) {
        if (magnitude > std::numeric_limits<Unsigned>::max()) {
            return false;
        }
        auto bits = static_cast<Unsigned>(magnitude);
        value = static_cast<Int>(negative ? static_cast<Unsigned>(0u - bits) : bits);
        return true;
    }
    const auto limit = static_cast<std::uint64_t>(std::numeric_limits<Int>::max());
    if (magnitude > limit + (negative ? 1 : 0)) {
        return false;
    }
    value = negative ? static_cast<Int>(0 - static_cast<std::int64_t>(magnitude - 1) - 1)
                     : static_cast<Int>(magnitude);
    return true;
}

[[noreturn]] void ThrowInvalidInteger(std::string_view text) {
    throw EConvertError("''" + std::string(text) + "'' is not a valid integer value");
}

// --- Floating point ---

[[noreturn]] void ThrowInvalidFloat(std::string_view text) {
    throw EConvertError("''" + std::string(text) + "'' is not a valid floating point value");
}

}  // namespace

std::string IntToStr(std::int64_t value) {
    return std::to_string(value);
}

std::string IntToHex(std::int64_t value, int digits) {
    char buffer[17];
    auto written =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::uint64_t>(value), 16);
    std::string text(buffer, written.ptr);
    for (char& c : text) {
        c = static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
    }
    if (static_cast<int>(text.size()) < digits) {
        text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    }
    return text;
}

bool TryStrToInt(std::string_view text, int& value) noexcept {
    return ParseInteger(text, value);
}

bool TryStrToInt64(std::string_view text, std::int64_t& value) noexcept {
    return ParseInteger(text, value);
}

int StrToInt(std::string_view text) {
    int value = 0;
    if (!TryStrToInt(text, value)) {
        ThrowInvalidInteger(text);
    }
    return value;
}

std::int64_t StrToInt64(std::string_view text) {
    std::int64_t value = 0;
    if (!TryStrToInt64(text, value)) {
        ThrowInvalidInteger(text);
    }
    return value;
}

int StrToIntDef(std::string_view text, int defaultValue) noexcept {
    int value = 0;
    return TryStrToInt(text, value) ? value : defaultValue;
}

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings) {
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    // 17 significant digits identify a double; more would only show binary noise.
    return detail::FormatDecimalDigits(detail::DoubleDigits(value), format,
                                       std::clamp(precision, 1, 17), std::clamp(digits, 0, 18),
                                       settings);
}

std::string FloatToStr(double value, const TFormatSettings& settings) {
    return FloatToStrF(value, ffGeneral, 15, 0, settings);
}

bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings) noexcept {
    text = TrimmedView(text);
    const std::size_t end = text.size();
    // Rebuilt in the one form std::from_chars reads: "." as the point, no "+".
    std::string literal;
    std::size_t i = 0;
    if (i < end && (text[i] == '-' || text[i] == '+')) {
        if (text[i] == '-') {
            literal += '-';
        }
        ++i;
    }
    int mantissaDigits = 0;
    bool seenPoint = false;
    for (; i < end; ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            literal += c;
            ++mantissaDigits;
        } else if (c == settings.DecimalSeparator && !seenPoint) {
            literal += '.';
            seenPoint = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0) {
        return false;
    }
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        literal += 'e';
        ++i;
        if (i < end && (text[i] == '-' || text[i] == '+')) {
            literal += text[i];
            ++i;
        }
        int exponentDigits = 0;
        for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
            literal += text[i];
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return false;
        }
    }
    if (i != end) {
        return false;
    }
    double parsed = 0;
    auto result = std::from_chars(literal.data(), literal.data() + literal.size(), parsed);
    if (result.ec != std::errc() || result.ptr != literal.data() + literal.size()) {
        return false;
    }
    value = parsed;
    return true;
}

double StrToFloat(std::string_view text, const TFormatSettings& settings) {
    double value = 0;
    if (!TryStrToFloat(text, value, settings)) {
        ThrowInvalidFloat(text);
    }
    return value;
}

}  // namespace varelum::rtl
