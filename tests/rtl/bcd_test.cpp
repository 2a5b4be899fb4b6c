// BCD and currency: text both ways with a changed decimal separator, fixed-point formatting
// with precision and digits (the form NUMERIC fields are written in), normalising to a
// precision and scale, and the conversions to currency, integers and doubles at their edges.
#include "rtl/bcd.h"

#include <gtest/gtest.h>

#include "rtl/exception.h"

namespace varelum::rtl {
namespace {

TEST(BcdTest, TextRoundTripsAndKeepsTheScale) {
    struct Case {
        const char* text;
        int precision;
        int scale;
        const char* shortest;
    };
    const Case cases[] = {{"1.50", 3, 2, "1.5"}, {"-12.345", 5, 3, "-12.345"},
                          {"007", 1, 0, "7"},    {"0.05", 2, 2, "0.05"},
                          {"0", 1, 0, "0"},      {"-0.00", 2, 2, "0"},
                          {" +42 ", 2, 0, "42"}, {".5", 1, 1, "0.5"},
                          {"5.", 1, 0, "5"},     {"0.00001", 5, 5, "0.00001"}};
    for (const Case& c : cases) {
        TBcd value = StrToBcd(c.text);
        EXPECT_EQ(value.Precision(), c.precision) << c.text;
        EXPECT_EQ(value.Scale(), c.scale) << c.text;
        EXPECT_EQ(BcdToStr(value), c.shortest) << c.text;
    }
    EXPECT_FALSE(StrToBcd("-0").IsNegative());
    std::string sixtyFour(64, '9');
    EXPECT_EQ(BcdToStr(StrToBcd(sixtyFour)), sixtyFour);
    EXPECT_EQ(StrToBcd("1." + std::string(70, '0')).Precision(), 1);  // zeros dropped to fit
    for (const char* text : {"", "-", "1,5", "1.2.3", "1e5", "abc", "--1"}) {
        try {
            StrToBcd(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("''") + text + "'' is not a valid BCD value");
        }
    }
    EXPECT_THROW(StrToBcd(std::string(65, '1')), EConvertError);
}

TEST(BcdTest, DecimalSeparator) {
    TFormatSettings comma;
    comma.DecimalSeparator = ',';
    TBcd value = StrToBcd("-1234,5", comma);
    EXPECT_EQ(BcdToStr(value, comma), "-1234,5");
    EXPECT_EQ(BcdToStr(value), "-1234.5");
    EXPECT_EQ(BcdToStrF(value, ffFixed, 10, 2, comma), "-1234,50");
    comma.ThousandSeparator = '.';
    EXPECT_EQ(BcdToStrF(value, ffNumber, 10, 2, comma), "-1.234,50");
    EXPECT_THROW(StrToBcd("1.5", comma), EConvertError);
}

TEST(BcdTest, FixedFormatWithPrecisionAndDigits) {
    struct Case {
        const char* value;
        int precision;
        int digits;
        const char* text;
    };
    const Case cases[] = {
        {"12.345", 3, 2, "12.35"},  // half away from zero
        {"-12.345", 3, 2, "-12.35"},
        {"12.344", 3, 2, "12.34"},
        {"9.995", 3, 2, "10.00"},  // rounding carries into a new integer digit
        {"0.004", 3, 2, "0.00"},
        {"-0.004", 3, 2, "0.00"},  // no negative zero
        {"7", 4, 0, "7"},
        {"2.5", 4, 0, "3"},
        {"-2.5", 4, 0, "-3"},
        {"123.4", 3, 2, "123.40"},
        {"12345", 4, 0, "1.235E4"},  // more integer digits than the precision
        {"123456789012345678901234567890.125", 40, 2,
         "123456789012345678901234567890.13"},  // beyond a double's digits, still exact
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BcdToStrF(StrToBcd(c.value), ffFixed, c.precision, c.digits), c.text) << c.value;
    }
    EXPECT_EQ(BcdToStrF(StrToBcd("1234.5"), ffGeneral, 3, 0), "1.23E3");
    EXPECT_EQ(BcdToStrF(StrToBcd("1234.5"), ffExponent, 3, 2), "1.23E+03");
}

TEST(BcdTest, NormaliseToPrecisionAndScale) {
    TBcd value = NormalizeBcd(StrToBcd("-3.14159"), 5, 2);
    EXPECT_EQ(value.Precision(), 5);
    EXPECT_EQ(value.Scale(), 2);
    EXPECT_EQ(value.Digits(), "00314");
    EXPECT_TRUE(value.IsNegative());
    EXPECT_EQ(BcdToStr(NormalizeBcd(StrToBcd("99.995"), 5, 2)), "100");
    EXPECT_THROW(NormalizeBcd(StrToBcd("99.995"), 4, 2), ERangeError);
    TBcd result;
    EXPECT_FALSE(TryNormalizeBcd(StrToBcd("1000"), 3, 0, result));
    EXPECT_TRUE(TryNormalizeBcd(StrToBcd("0.001"), 2, 2, result));
    EXPECT_TRUE(result.IsZero());
}

TEST(BcdTest, ComparisonLooksAtTheValueOnly) {
    EXPECT_EQ(StrToBcd("1.5"), StrToBcd("01.50"));
    EXPECT_EQ(StrToBcd("0"), StrToBcd("-0.000"));
    EXPECT_LT(StrToBcd("-2"), StrToBcd("-1.99"));
    EXPECT_LT(StrToBcd("1.5"), StrToBcd("1.51"));
    EXPECT_GT(StrToBcd("10"), StrToBcd("9.999"));
    EXPECT_LT(StrToBcd("-0.1"), StrToBcd("0"));
    EXPECT_LT(StrToBcd("0"), StrToBcd("0.001"));
    EXPECT_EQ(-StrToBcd("2.5"), StrToBcd("-2.5"));
}

TEST(BcdTest, CurrencyConversions) {
    EXPECT_EQ(BcdToCurrency(StrToBcd("12.34")).Scaled, 123400);
    EXPECT_EQ(BcdToCurrency(StrToBcd("-0.00005")).Scaled, -1);  // half away from zero
    EXPECT_EQ(BcdToCurrency(StrToBcd("0.00004")).Scaled, 0);
    EXPECT_EQ(BcdToCurrency(StrToBcd("922337203685477.5807")).Scaled, INT64_MAX);
    EXPECT_EQ(BcdToCurrency(StrToBcd("-922337203685477.5808")).Scaled, INT64_MIN);
    EXPECT_THROW(BcdToCurrency(StrToBcd("922337203685477.5808")), ERangeError);

    TBcd money = CurrencyToBcd(Currency::FromScaled(-123456));
    EXPECT_EQ(money.Precision(), 20);
    EXPECT_EQ(money.Scale(), 4);
    EXPECT_EQ(BcdToStr(money), "-12.3456");
    EXPECT_EQ(BcdToStr(CurrencyToBcd(Currency::FromScaled(INT64_MIN))), "-922337203685477.5808");
    EXPECT_THROW(CurrencyToBcd(Currency::FromScaled(123456), 3, 2), ERangeError);

    EXPECT_EQ(CurrToStr(Currency::FromScaled(50)), "0.005");
    EXPECT_EQ(StrToCurr("1.00005").Scaled, 10001);
    EXPECT_THROW(StrToCurr("x"), EConvertError);
    EXPECT_THROW(StrToCurr("1e3"), EConvertError);
    EXPECT_EQ(DoubleToCurrency(1.00005).Scaled, 10001);  // decimal, not binary, rounding
    EXPECT_EQ(DoubleToCurrency(0.29).Scaled, 2900);
    EXPECT_DOUBLE_EQ(CurrencyToDouble(Currency::FromScaled(25)), 0.0025);
    EXPECT_THROW(DoubleToCurrency(1e300), ERangeError);
}

TEST(BcdTest, IntegerAndDoubleConversions) {
    EXPECT_EQ(BcdToStr(IntegerToBcd(INT64_MIN)), "-9223372036854775808");
    EXPECT_EQ(BcdToInt64(IntegerToBcd(INT64_MAX)), INT64_MAX);
    EXPECT_EQ(BcdToInt64(StrToBcd("2.5")), 3);
    EXPECT_EQ(BcdToInt64(StrToBcd("-2.5")), -3);
    EXPECT_THROW(BcdToInt64(StrToBcd("9223372036854775808")), ERangeError);

    EXPECT_EQ(BcdToStr(DoubleToBcd(0.1)), "0.1");
    EXPECT_EQ(BcdToStr(DoubleToBcd(-1234.5678)), "-1234.5678");
    EXPECT_EQ(BcdToStr(DoubleToBcd(1e20)), "100000000000000000000");
    EXPECT_EQ(BcdToStr(DoubleToBcd(1.5e-7)), "0.00000015");
    EXPECT_TRUE(DoubleToBcd(0.0).IsZero());
    EXPECT_THROW(DoubleToBcd(1e70), ERangeError);
    EXPECT_THROW(DoubleToBcd(std::numeric_limits<double>::quiet_NaN()), ERangeError);
    EXPECT_DOUBLE_EQ(BcdToDouble(StrToBcd("-1234.5678")), -1234.5678);
    EXPECT_DOUBLE_EQ(BcdToDouble(StrToBcd("0.001")), 0.001);
    EXPECT_EQ(BcdToDouble(TBcd()), 0.0);
}

TEST(BcdTest, ConstructionFromDigits) {
    TBcd value(true, "012345", 2);
    EXPECT_EQ(BcdToStr(value), "-123.45");
    EXPECT_EQ(value.Digit(1), 1);
    EXPECT_THROW(TBcd(false, "12a", 0), EConvertError);
    EXPECT_THROW(TBcd(false, "12", 3), ERangeError);
    EXPECT_THROW(TBcd(false, "", 0), ERangeError);
    EXPECT_THROW(TBcd(false, std::string(65, '1'), 0), ERangeError);
}

}  // namespace
}  // namespace varelum::rtl
