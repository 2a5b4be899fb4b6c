// Numbers as text and back: integers in decimal and hexadecimal, floating-point values in the
// framework's general, exponent, fixed and number formats, with the decimal separator of a
// TFormatSettings. None of this depends on the C locale, which a toolkit may change.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/format_settings.h"

namespace varelum::rtl {

// --- Integers ---------------------------------------------------------------------------------

std::string IntToStr(std::int64_t value);

// Upper-case hexadecimal with at least `digits` digits; a negative value is shown in two's
// complement of 64 bits.
std::string IntToHex(std::int64_t value, int digits);

// Text → integer. Accepted: leading blanks, an optional sign, then decimal digits, or "$" or
// "0x" followed by hexadecimal digits; nothing after the number. A text that is not such a
// number, or whose value does not fit, raises EConvertError "''<text>'' is not a valid
// integer value".
int StrToInt(std::string_view text);
std::int64_t StrToInt64(std::string_view text);
bool TryStrToInt(std::string_view text, int& value) noexcept;
bool TryStrToInt64(std::string_view text, std::int64_t& value) noexcept;
int StrToIntDef(std::string_view text, int defaultValue) noexcept;

// --- Floating point ---------------------------------------------------------------------------

enum TFloatFormat {
    // Shortest of fixed and scientific, `precision` significant digits, trailing zeros
    // removed; scientific ("1.5E-7", "1E20") when the value needs more integer digits than
    // the precision or is below 0.0001.
    ffGeneral,
    // "d.dddE+ddd": `precision` significant digits, an exponent of at least `digits` digits.
    ffExponent,
    // Fixed point with exactly `digits` decimals, rounded to at most `precision` significant
    // digits (zeros fill the rest); ffGeneral when the integer part has more digits than the
    // precision.
    ffFixed,
    // As ffFixed, with thousand separators.
    ffNumber,
};

// precision is clamped to 1..17, digits to 0..18 (ffExponent: 0..4). NaN gives "NAN", the
// infinities "INF" and "-INF".
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings = FormatSettings());

// ffGeneral with 15 significant digits: 0.1 → "0.1", 1e20 → "1E20".
std::string FloatToStr(double value, const TFormatSettings& settings = FormatSettings());

// Text → double. Accepted: blanks around, an optional sign, digits with at most one decimal
// separator (settings.DecimalSeparator), an optional exponent "E" or "e" with a sign. Anything
// else, or a value out of range, raises EConvertError "''<text>'' is not a valid floating
// point value".
double StrToFloat(std::string_view text, const TFormatSettings& settings = FormatSettings());
bool TryStrToFloat(std::string_view text, double& value,
                   const TFormatSettings& settings = FormatSettings()) noexcept;

}  // namespace varelum::rtl
