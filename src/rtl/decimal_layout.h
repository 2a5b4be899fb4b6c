// Internal to rtl: a number as a string of decimal digits and the layouts the framework's
// number formats give it (general, exponent, fixed, number). Floating-point values and BCD
// values both reduce to these digits, so that FloatToStrF and BcdToStrF format alike.
#pragma once

#include <string>

#include "rtl/format_settings.h"
#include "rtl/number_text.h"

namespace varelum::rtl::detail {

// value = 0.d1d2d3… × 10^Exponent, Digits without leading zeros; zero has no digits and is
// never negative.
struct TDecimalDigits {
    bool Negative = false;
    std::string Digits;
    int Exponent = 0;
};

// Keeps `keep` significant digits, rounding half away from zero (2.5 → 3, -0.125 → -0.13);
// trailing zeros are dropped. keep < 0 gives zero.
void RoundDigits(TDecimalDigits& value, int keep);

// The 17 significant digits that identify a finite double, trailing zeros dropped.
TDecimalDigits DoubleDigits(double value);

// Formats exact digits by the rules of TFloatFormat (number_text.h): precision in
// significant digits (at least 1), digits decimals (0..128; ffExponent: exponent digits 0..4).
std::string FormatDecimalDigits(TDecimalDigits exact, TFloatFormat format, int precision,
                                int digits, const TFormatSettings& settings);

}  // namespace varelum::rtl::detail
