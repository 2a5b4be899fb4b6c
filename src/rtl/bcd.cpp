// TBcd and Currency. Every operation goes through the value's significant digits
// (detail::TDecimalDigits): normalising, rounding, comparing and formatting are digit-string
// work, so no value passes through binary floating point unless a double is asked for.
#include "rtl/bcd.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "rtl/decimal_layout.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace varelum::rtl {

using detail::TDecimalDigits;

namespace {

[[noreturn]] void ThrowOverflow() {
    throw ERangeError("BCD overflow");
}

TDecimalDigits ToDecimal(const TBcd& value) {
    TDecimalDigits d;
    std::string digits = value.Digits();
    std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) {
        return d;
    }
    d.Negative = value.IsNegative();
    d.Exponent = value.Precision() - value.Scale() - static_cast<int>(first);
    d.Digits = digits.substr(first);
    d.Digits.erase(d.Digits.find_last_not_of('0') + 1);
    return d;
}

// Exactly `precision` digits with `scale` decimals; false when the integer part is too long.
bool NormalizeDigits(TDecimalDigits d, int precision, int scale, TBcd& result) {
    if (precision < 1 || precision > TBcd::MaxDigits || scale < 0 || scale > precision) {
        return false;
    }
    detail::RoundDigits(d, d.Exponent + scale);
    if (!d.Digits.empty() && d.Exponent > precision - scale) {
        return false;
    }
    // The value × 10^scale as an integer, left-padded to the precision.
    std::string coefficient = d.Digits;
    if (!coefficient.empty()) {
        coefficient.append(static_cast<std::size_t>(d.Exponent + scale) - coefficient.size(), '0');
    }
    coefficient.insert(0, static_cast<std::size_t>(precision) - coefficient.size(), '0');
    result = TBcd(d.Negative, coefficient, scale);
    return true;
}

// The smallest BCD holding the digits; digits beyond 64 decimals are rounded away.
TBcd FromDecimal(TDecimalDigits d) {
    if (d.Digits.empty()) {
        return TBcd();
    }
    int integerDigits = std::max(0, d.Exponent);
    if (integerDigits > TBcd::MaxDigits) {
        ThrowOverflow();
    }
    int scale = std::max(0, static_cast<int>(d.Digits.size()) - d.Exponent);
    if (integerDigits + scale > TBcd::MaxDigits) {
        scale = TBcd::MaxDigits - integerDigits;
    }
    TBcd result;
    if (!NormalizeDigits(d, std::max(1, integerDigits + scale), scale, result)) {
        ThrowOverflow();  // rounding carried into one digit too many
    }
    return result;
}

// REQUIRES: d rounded to an integer.
bool DigitsToInt64(const TDecimalDigits& d, std::int64_t& value) {
    if (d.Digits.empty()) {
        value = 0;
        return true;
    }
    if (d.Exponent > 19) {
        return false;
    }
    std::uint64_t magnitude = 0;
    for (int i = 0; i < d.Exponent; ++i) {
        unsigned digit =
            i < static_cast<int>(d.Digits.size()) ? d.Digits[static_cast<std::size_t>(i)] - '0' : 0;
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            return false;
        }
        magnitude = magnitude * 10 + digit;
    }
    constexpr auto maxPositive =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (magnitude > maxPositive + (d.Negative ? 1 : 0)) {
        return false;
    }
    value = d.Negative ? static_cast<std::int64_t>(0 - magnitude)
                       : static_cast<std::int64_t>(magnitude);
    return true;
}

// Rounded to four decimals; false when out of the currency range.
bool TryBcdToCurrency(const TBcd& value, Currency& result) {
    TDecimalDigits d = ToDecimal(value);
    if (!d.Digits.empty()) {
        d.Exponent += 4;
    }
    detail::RoundDigits(d, d.Exponent);
    std::int64_t scaled = 0;
    if (!DigitsToInt64(d, scaled)) {
        return false;
    }
    result = Currency::FromScaled(scaled);
    return true;
}

}  // namespace

TBcd::TBcd() noexcept = default;

TBcd::TBcd(bool negative, std::string_view digits, int scale) {
    if (digits.empty() || digits.size() > MaxDigits || scale < 0 ||
        scale > static_cast<int>(digits.size())) {
        throw ERangeError("Invalid BCD precision or scale");
    }
    bool nonZero = false;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        char c = digits[i];
        if (c < '0' || c > '9') {
            throw EConvertError("''" + std::string(digits) + "'' is not a valid BCD value");
        }
        FDigits[i] = static_cast<unsigned char>(c - '0');
        nonZero = nonZero || c != '0';
    }
    FPrecision = static_cast<std::uint8_t>(digits.size());
    FScale = static_cast<std::uint8_t>(scale);
    FNegative = negative && nonZero;
}

bool TBcd::IsZero() const noexcept {
    for (int i = 0; i < FPrecision; ++i) {
        if (FDigits[i] != 0) {
            return false;
        }
    }
    return true;
}

std::string TBcd::Digits() const {
    std::string digits(FPrecision, '0');
    for (int i = 0; i < FPrecision; ++i) {
        digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + FDigits[i]);
    }
    return digits;
}

TBcd TBcd::operator-() const {
    TBcd result = *this;
    result.FNegative = !FNegative && !IsZero();
    return result;
}

std::strong_ordering operator<=>(const TBcd& a, const TBcd& b) noexcept {
    TDecimalDigits x = ToDecimal(a);
    TDecimalDigits y = ToDecimal(b);
    if (x.Negative != y.Negative) {
        return x.Negative ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    std::strong_ordering magnitude = std::strong_ordering::equal;
    if (x.Digits.empty() || y.Digits.empty()) {
        magnitude = !x.Digits.empty() <=> !y.Digits.empty();
    } else if (x.Exponent != y.Exponent) {
        magnitude = x.Exponent <=> y.Exponent;
    } else {
        // Trailing zeros are gone, so a digit string that is a prefix of the other is smaller.
        int c = x.Digits.compare(y.Digits);
        magnitude = c <=> 0;
    }
    if (x.Negative) {
        return 0 <=> magnitude;
    }
    return magnitude;
}

bool TryStrToBcd(std::string_view text, TBcd& value, const TFormatSettings& settings) noexcept {
    text = TrimmedView(text);
    const std::size_t end = text.size();
    TDecimalDigits d;
    std::size_t i = 0;
    if (i < end && (text[i] == '-' || text[i] == '+')) {
        d.Negative = text[i] == '-';
        ++i;
    }
    std::string integerPart;
    std::string fraction;
    bool seenSeparator = false;
    for (; i < end; ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            (seenSeparator ? fraction : integerPart) += c;
        } else if (c == settings.DecimalSeparator && !seenSeparator) {
            seenSeparator = true;
        } else {
            return false;
        }
    }
    if (integerPart.empty() && fraction.empty()) {
        return false;
    }
    integerPart.erase(0, integerPart.find_first_not_of('0') == std::string::npos
                             ? integerPart.size()
                             : integerPart.find_first_not_of('0'));
    // The written decimals give the scale, unless that needs more than 64 digits.
    auto scale = static_cast<int>(fraction.size());
    auto precision = static_cast<int>(integerPart.size()) + scale;
    if (precision > TBcd::MaxDigits) {
        fraction.erase(fraction.find_last_not_of('0') + 1);
        scale = static_cast<int>(fraction.size());
        precision = static_cast<int>(integerPart.size()) + scale;
        if (precision > TBcd::MaxDigits) {
            return false;
        }
    }
    std::string digits = integerPart + fraction;
    if (digits.empty()) {
        digits = "0";
        precision = 1;
        scale = 0;
    }
    value = TBcd(d.Negative, digits, scale);
    return true;
}

TBcd StrToBcd(std::string_view text, const TFormatSettings& settings) {
    TBcd value;
    if (!TryStrToBcd(text, value, settings)) {
        throw EConvertError("''" + std::string(text) + "'' is not a valid BCD value");
    }
    return value;
}

std::string BcdToStr(const TBcd& value, const TFormatSettings& settings) {
    TDecimalDigits d = ToDecimal(value);
    if (d.Digits.empty()) {
        return "0";
    }
    int decimals = std::max(0, static_cast<int>(d.Digits.size()) - d.Exponent);
    // A precision beyond every digit: nothing is rounded.
    return detail::FormatDecimalDigits(d, ffFixed, 2 * TBcd::MaxDigits + 1, decimals, settings);
}

std::string BcdToStrF(const TBcd& value, TFloatFormat format, int precision, int digits,
                      const TFormatSettings& settings) {
    TDecimalDigits d = ToDecimal(value);
    precision = std::clamp(precision, 1, TBcd::MaxDigits);
    if ((format == ffFixed || format == ffNumber) && d.Exponent <= precision) {
        return detail::FormatDecimalDigits(d, format, 2 * TBcd::MaxDigits + 1, digits, settings);
    }
    return detail::FormatDecimalDigits(d, format, precision, digits, settings);
}

bool TryNormalizeBcd(const TBcd& value, int precision, int scale, TBcd& result) noexcept {
    return NormalizeDigits(ToDecimal(value), precision, scale, result);
}

TBcd NormalizeBcd(const TBcd& value, int precision, int scale) {
    TBcd result;
    if (!TryNormalizeBcd(value, precision, scale, result)) {
        ThrowOverflow();
    }
    return result;
}

TBcd IntegerToBcd(std::int64_t value) {
    std::string text = std::to_string(value);
    bool negative = text[0] == '-';
    return TBcd(negative, std::string_view(text).substr(negative ? 1 : 0), 0);
}

std::int64_t BcdToInt64(const TBcd& value) {
    TDecimalDigits d = ToDecimal(value);
    detail::RoundDigits(d, d.Exponent);
    std::int64_t result = 0;
    if (!DigitsToInt64(d, result)) {
        ThrowOverflow();
    }
    return result;
}

TBcd DoubleToBcd(double value) {
    if (!std::isfinite(value)) {
        throw ERangeError("Cannot convert " + FloatToStr(value) + " to BCD");
    }
    TDecimalDigits d = detail::DoubleDigits(value);
    detail::RoundDigits(d, 15);
    return FromDecimal(d);
}

double BcdToDouble(const TBcd& value) noexcept {
    TDecimalDigits d = ToDecimal(value);
    if (d.Digits.empty()) {
        return 0;
    }
    std::string text = (d.Negative ? "-0." : "0.") + d.Digits + "e" + std::to_string(d.Exponent);
    double result = 0;
    std::from_chars(text.data(), text.data() + text.size(), result);
    return result;
}

TBcd CurrencyToBcd(Currency value, int precision, int decimals) {
    TDecimalDigits d = ToDecimal(IntegerToBcd(value.Scaled));
    if (!d.Digits.empty()) {
        d.Exponent -= 4;
    }
    TBcd result;
    if (!NormalizeDigits(d, precision, decimals, result)) {
        ThrowOverflow();
    }
    return result;
}

Currency BcdToCurrency(const TBcd& value) {
    Currency result;
    if (!TryBcdToCurrency(value, result)) {
        ThrowOverflow();
    }
    return result;
}

Currency DoubleToCurrency(double value) {
    return BcdToCurrency(DoubleToBcd(value));
}

double CurrencyToDouble(Currency value) noexcept {
    return static_cast<double>(value.Scaled) / Currency::ScaleFactor;
}

std::string CurrToStr(Currency value, const TFormatSettings& settings) {
    return BcdToStr(CurrencyToBcd(value), settings);
}

Currency StrToCurr(std::string_view text, const TFormatSettings& settings) {
    TBcd value;
    Currency result;
    if (!TryStrToBcd(text, value, settings) || !TryBcdToCurrency(value, result)) {
        throw EConvertError("''" + std::string(text) + "'' is not a valid currency value");
    }
    return result;
}

}  // namespace varelum::rtl
