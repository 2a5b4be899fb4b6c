// Numbers as text and back. Floating-point digits come from std::to_chars and text is read
// with std::from_chars: both are correctly rounded and, unlike printf and strtod, do not
// follow the C locale, which the window toolkit sets from the environment.
#include "rtl/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "rtl/exception.h"

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

// A value as its significant digits: value = 0.d1d2d3… × 10^Exponent. Zero has no digits.
struct DecimalDigits {
    bool Negative = false;
    std::string Digits;
    int Exponent = 0;
};

// Parses what std::to_chars wrote ("-1.2345e+03" or "-123.45") into DecimalDigits.
DecimalDigits FromChars(std::string_view text) {
    DecimalDigits result;
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') {
        result.Negative = true;
        ++i;
    }
    int integerDigits = 0;
    bool inFraction = false;
    for (; i < text.size() && text[i] != 'e'; ++i) {
        if (text[i] == '.') {
            inFraction = true;
            continue;
        }
        result.Digits += text[i];
        if (!inFraction) {
            ++integerDigits;
        }
    }
    int exponent = 0;
    if (i < text.size()) {
        std::from_chars(text.data() + i + 1 + (text[i + 1] == '+' ? 1 : 0),
                        text.data() + text.size(), exponent);
    }
    result.Exponent = integerDigits + exponent;
    // Leading zeros move the exponent ("0.05" is 0.5 × 10^-1).
    std::size_t firstNonZero = result.Digits.find_first_not_of('0');
    if (firstNonZero == std::string::npos) {
        result.Digits.clear();
        result.Exponent = 0;
        result.Negative = false;
        return result;
    }
    result.Digits.erase(0, firstNonZero);
    result.Exponent -= static_cast<int>(firstNonZero);
    return result;
}

// Keeps `keep` significant digits, rounding half away from zero on the decimal digits (as
// people round, and as the framework always has: 2.5 → 3, 0.125 → 0.13).
void RoundDigits(DecimalDigits& d, int keep) {
    if (keep >= static_cast<int>(d.Digits.size())) {
        return;
    }
    if (keep < 0) {
        d = DecimalDigits();
        return;
    }
    bool up = d.Digits[static_cast<std::size_t>(keep)] >= '5';
    d.Digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        std::size_t i = d.Digits.size();
        while (i > 0 && d.Digits[i - 1] == '9') {
            d.Digits[--i] = '0';
        }
        if (i == 0) {
            d.Digits.insert(d.Digits.begin(), '1');
            ++d.Exponent;
        } else {
            ++d.Digits[i - 1];
        }
    }
    std::size_t last = d.Digits.find_last_not_of('0');
    d.Digits.resize(last == std::string::npos ? 0 : last + 1);
    if (d.Digits.empty()) {
        d = DecimalDigits();
    }
}

// The 17 significant digits that identify a double; the formats round from these. Rounding
// the binary value directly would round 2.5 to even and 0.125 (exactly a tie) down.
DecimalDigits ExactDigits(double value) {
    char buffer[64];
    auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 16);
    return FromChars(std::string_view(buffer, static_cast<std::size_t>(written.ptr - buffer)));
}

DecimalDigits SignificantDigits(double value, int precision) {
    DecimalDigits d = ExactDigits(value);
    RoundDigits(d, precision);
    return d;
}

DecimalDigits RoundedToDecimals(double value, int decimals) {
    DecimalDigits d = ExactDigits(value);
    RoundDigits(d, d.Exponent + decimals);
    return d;
}

std::string ExponentText(int exponent, bool alwaysSign, int minimumDigits) {
    std::string digits = std::to_string(std::abs(exponent));
    if (static_cast<int>(digits.size()) < minimumDigits) {
        digits.insert(0, static_cast<std::size_t>(minimumDigits) - digits.size(), '0');
    }
    if (exponent < 0) {
        return "-" + digits;
    }
    return alwaysSign ? "+" + digits : digits;
}

std::string Scientific(const DecimalDigits& d, char separator, bool alwaysSign,
                       int exponentDigits) {
    std::string text = d.Negative ? "-" : "";
    text += d.Digits.empty() ? '0' : d.Digits[0];
    if (d.Digits.size() > 1) {
        text += separator;
        text.append(d.Digits, 1);
    }
    text += 'E';
    text += ExponentText(d.Digits.empty() ? 0 : d.Exponent - 1, alwaysSign, exponentDigits);
    return text;
}

// Lays out digits as fixed point with `decimals` decimals (zeros fill missing ones).
std::string FixedPoint(const DecimalDigits& d, int decimals, const TFormatSettings& settings,
                       bool thousands) {
    std::string integerPart;
    std::string fraction;
    if (d.Exponent <= 0) {
        integerPart = "0";
        fraction.assign(static_cast<std::size_t>(-d.Exponent), '0');
        fraction += d.Digits;
    } else {
        auto integerDigits = static_cast<std::size_t>(d.Exponent);
        integerPart = d.Digits.substr(0, std::min(integerDigits, d.Digits.size()));
        integerPart.resize(integerDigits, '0');
        if (d.Digits.size() > integerDigits) {
            fraction = d.Digits.substr(integerDigits);
        }
    }
    fraction.resize(static_cast<std::size_t>(decimals), '0');
    if (thousands && settings.ThousandSeparator != '\0') {
        for (auto pos = static_cast<std::ptrdiff_t>(integerPart.size()) - 3; pos > 0; pos -= 3) {
            integerPart.insert(static_cast<std::size_t>(pos), 1, settings.ThousandSeparator);
        }
    }
    std::string text = d.Negative && !d.Digits.empty() ? "-" : "";
    text += integerPart;
    if (decimals > 0) {
        text += settings.DecimalSeparator;
        text += fraction;
    }
    return text;
}

std::string General(double value, int precision, int exponentDigits,
                    const TFormatSettings& settings) {
    DecimalDigits d = SignificantDigits(value, precision);
    while (!d.Digits.empty() && d.Digits.back() == '0') {
        d.Digits.pop_back();
    }
    if (d.Digits.empty()) {
        return "0";
    }
    if (d.Exponent > precision || d.Exponent < -3) {
        return Scientific(d, settings.DecimalSeparator, false, exponentDigits);
    }
    int decimals = std::max(0, static_cast<int>(d.Digits.size()) - d.Exponent);
    return FixedPoint(d, decimals, settings, false);
}

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
    precision = std::clamp(precision, 1, 17);
    switch (format) {
        case ffGeneral:
            return General(value, precision, 0, settings);
        case ffExponent: {
            DecimalDigits d = SignificantDigits(value, precision);
            d.Digits.resize(static_cast<std::size_t>(precision), '0');
            return Scientific(d, settings.DecimalSeparator, true, std::clamp(digits, 0, 4));
        }
        case ffFixed:
        case ffNumber: {
            digits = std::clamp(digits, 0, 18);
            DecimalDigits d = SignificantDigits(value, precision);
            if (d.Exponent > precision) {
                return General(value, precision, 0, settings);
            }
            // When the decimals leave fewer places than the precision allows, round there.
            if (d.Exponent + digits < precision) {
                d = RoundedToDecimals(value, digits);
            }
            return FixedPoint(d, digits, settings, format == ffNumber);
        }
    }
    return General(value, precision, 0, settings);
}

std::string FloatToStr(double value, const TFormatSettings& settings) {
    return FloatToStrF(value, ffGeneral, 15, 0, settings);
}

bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings) noexcept {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') {
        --end;
    }
    // Rebuilt in the one form std::from_chars reads: "." as the point, no "+".
    std::string literal;
    std::size_t i = begin;
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
