// Internal to rtl: laying out decimal digits in the framework's number formats. The caller
// gives the exact digits of its value (17 significant digits of a double, every digit of a
// BCD); rounding happens here, once, half away from zero.
#include "rtl/decimal_layout.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string_view>

namespace varelum::rtl::detail {

void RoundDigits(TDecimalDigits& d, int keep) {
    if (keep >= static_cast<int>(d.Digits.size())) {
        return;
    }
    if (keep < 0) {
        d = TDecimalDigits();
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
        d = TDecimalDigits();
    }
}

namespace {

// Parses what std::to_chars wrote ("-1.2345e+03") into digits.
TDecimalDigits FromChars(std::string_view text) {
    TDecimalDigits result;
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
    result.Digits.erase(result.Digits.find_last_not_of('0') + 1);
    return result;
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

std::string Scientific(const TDecimalDigits& d, char separator, bool alwaysSign,
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

// Fixed point with exactly `decimals` decimals; zeros fill the digits that are missing.
std::string FixedPoint(const TDecimalDigits& d, int decimals, const TFormatSettings& settings,
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

std::string General(TDecimalDigits d, int precision, const TFormatSettings& settings) {
    RoundDigits(d, precision);
    if (d.Digits.empty()) {
        return "0";
    }
    if (d.Exponent > precision || d.Exponent < -3) {
        return Scientific(d, settings.DecimalSeparator, false, 0);
    }
    int decimals = std::max(0, static_cast<int>(d.Digits.size()) - d.Exponent);
    return FixedPoint(d, decimals, settings, false);
}

}  // namespace

// The 17 significant digits that identify a double; the formats round from these. Rounding
// the binary value directly would round 2.5 to even and 0.125 (exactly a tie) down.
TDecimalDigits DoubleDigits(double value) {
    char buffer[64];
    auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 16);
    return FromChars(std::string_view(buffer, static_cast<std::size_t>(written.ptr - buffer)));
}

std::string FormatDecimalDigits(TDecimalDigits exact, TFloatFormat format, int precision,
                                int digits, const TFormatSettings& settings) {
    precision = std::max(precision, 1);
    switch (format) {
        case ffExponent: {
            TDecimalDigits d = exact;
            RoundDigits(d, precision);
            d.Digits.resize(static_cast<std::size_t>(precision), '0');
            return Scientific(d, settings.DecimalSeparator, true, std::clamp(digits, 0, 4));
        }
        case ffFixed:
        case ffNumber: {
            digits = std::clamp(digits, 0, 128);
            TDecimalDigits d = exact;
            RoundDigits(d, precision);
            if (d.Exponent > precision) {
                return General(exact, precision, settings);
            }
            // When the decimals leave fewer places than the precision allows, round there.
            if (d.Exponent + digits < precision) {
                d = exact;
                RoundDigits(d, d.Exponent + digits);
            }
            return FixedPoint(d, digits, settings, format == ffNumber);
        }
        case ffGeneral:
            break;
    }
    return General(exact, precision, settings);
}

}  // namespace varelum::rtl::detail
