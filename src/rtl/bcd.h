// Exact decimal numbers: TBcd (up to 64 digits with a precision and a scale) and Currency
// (four fixed decimals in a 64-bit integer). They carry the values of NUMERIC and MONEY fields
// without the rounding errors of binary floating point, and convert to and from text, double
// and each other. Rounding is always half away from zero (2.5 → 3, -2.5 → -3).
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/format_settings.h"
#include "rtl/number_text.h"

namespace varelum::rtl {

// A currency value: Scaled is the value × 10000 (12.34 is 123400).
struct Currency {
    static constexpr std::int64_t ScaleFactor = 10000;
    std::int64_t Scaled = 0;

    static constexpr Currency FromScaled(std::int64_t scaled) noexcept { return Currency{scaled}; }
    friend constexpr auto operator<=>(Currency, Currency) noexcept = default;
};

// A decimal number: Precision() digits, the last Scale() of which are decimals. The digits
// are kept as given (a value read from a NUMERIC(10,2) field keeps 10 digits, leading zeros
// included); comparison looks at the value only, so 1.5 equals 01.50.
class TBcd {
  public:
    static constexpr int MaxDigits = 64;

    // Zero: one digit, no decimals.
    TBcd() noexcept;

    // From the coefficient's digits, most significant first; the last `scale` are decimals.
    // Raises EConvertError for a character that is not a digit and ERangeError for more than
    // 64 digits, no digits, or a scale outside 0..digits.
    TBcd(bool negative, std::string_view digits, int scale);

    int Precision() const noexcept { return FPrecision; }
    int Scale() const noexcept { return FScale; }
    // Never true for zero.
    bool IsNegative() const noexcept { return FNegative; }
    bool IsZero() const noexcept;
    // REQUIRES: 0 <= index < Precision().
    int Digit(int index) const noexcept { return FDigits[static_cast<std::size_t>(index)]; }
    std::string Digits() const;

    TBcd operator-() const;

    friend std::strong_ordering operator<=>(const TBcd& a, const TBcd& b) noexcept;
    friend bool operator==(const TBcd& a, const TBcd& b) noexcept {
        return (a <=> b) == std::strong_ordering::equal;
    }

  private:
    unsigned char FDigits[MaxDigits] = {};
    std::uint8_t FPrecision = 1;
    std::uint8_t FScale = 0;
    bool FNegative = false;
};

// --- Text -------------------------------------------------------------------------------------

// Text → BCD: blanks around, an optional sign, digits with at most one decimal separator
// (settings.DecimalSeparator). Leading zeros are dropped; the decimals give the scale
// ("1.50" has precision 3 and scale 2). Raises EConvertError "''<text>'' is not a valid BCD
// value", also when more than 64 digits remain.
TBcd StrToBcd(std::string_view text, const TFormatSettings& settings = FormatSettings());
bool TryStrToBcd(std::string_view text, TBcd& value,
                 const TFormatSettings& settings = FormatSettings()) noexcept;

// The shortest text of the value: no leading zeros, no trailing decimal zeros, never an
// exponent ("-0.05", "12", "0").
std::string BcdToStr(const TBcd& value, const TFormatSettings& settings = FormatSettings());

// As FloatToStrF. ffFixed and ffNumber give exactly `digits` decimals, rounded from every
// digit of the value (the precision does not cut digits, since a BCD is exact); when the
// integer part has more than `precision` digits the result is in scientific form with that
// many significant digits (12345 with precision 4: "1.235E4"), as FloatToStrF's is.
// ffGeneral and ffExponent round to `precision` significant digits.
std::string BcdToStrF(const TBcd& value, TFloatFormat format, int precision, int digits,
                      const TFormatSettings& settings = FormatSettings());

// --- Precision and scale ----------------------------------------------------------------------

// The value with exactly `precision` digits and `scale` decimals, rounded to the scale. False
// (and ERangeError "BCD overflow" from NormalizeBcd) when its integer part does not fit in
// precision - scale digits. REQUIRES: 1 <= precision <= 64, 0 <= scale <= precision.
bool TryNormalizeBcd(const TBcd& value, int precision, int scale, TBcd& result) noexcept;
TBcd NormalizeBcd(const TBcd& value, int precision, int scale);

// --- Other types ------------------------------------------------------------------------------

TBcd IntegerToBcd(std::int64_t value);
// Rounded to an integer; ERangeError "BCD overflow" when it does not fit.
std::int64_t BcdToInt64(const TBcd& value);

// The value with 15 significant digits, as FloatToStr shows it (0.1 stays 0.1). ERangeError
// for NaN, the infinities and values with more than 64 integer digits; digits beyond 64
// decimals are rounded away.
TBcd DoubleToBcd(double value);
// The nearest double.
double BcdToDouble(const TBcd& value) noexcept;

// precision and decimals as for NormalizeBcd; the default is the MONEY field's form.
TBcd CurrencyToBcd(Currency value, int precision = 20, int decimals = 4);
// Rounded to four decimals; ERangeError "BCD overflow" when out of the currency range.
Currency BcdToCurrency(const TBcd& value);

// Rounded to four decimals; ERangeError for NaN, the infinities and values out of range.
Currency DoubleToCurrency(double value);
double CurrencyToDouble(Currency value) noexcept;

std::string CurrToStr(Currency value, const TFormatSettings& settings = FormatSettings());
// As StrToBcd, rounded to four decimals; EConvertError "''<text>'' is not a valid currency
// value" when it is not a number or out of range.
Currency StrToCurr(std::string_view text, const TFormatSettings& settings = FormatSettings());

}  // namespace varelum::rtl
