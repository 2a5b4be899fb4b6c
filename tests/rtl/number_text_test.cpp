// Numbers as text: integer parsing and its error text, the floating-point formats and
// parsing with a changed decimal separator.
#include "rtl/number_text.h"

#include <gtest/gtest.h>

#include <cmath>

#include "rtl/exception.h"

namespace varelum::rtl {
namespace {

TEST(NumberTextTest, StrToIntAcceptsDecimalAndHexadecimal) {
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {{"0", 0},
                          {"42", 42},
                          {"  -17", -17},
                          {"+5", 5},
                          {"$FF", 255},
                          {"0x1f", 31},
                          {"$FFFFFFFF", -1},
                          {"2147483647", 2147483647},
                          {"-2147483648", INT32_MIN}};
    for (const Case& c : cases) {
        EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
    }
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
}

TEST(NumberTextTest, StrToIntRejectsWithTheFrameworkMessage) {
    for (const char* text : {"", " ", "12a", "12 ", "-", "$", "1.5", "2147483648", "-2147483649",
                             "$100000000", "99999999999999999999"}) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("''") + text + "'' is not a valid integer value");
        }
    }
    EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
    EXPECT_EQ(StrToIntDef("x", -3), -3);
    int value = 9;
    EXPECT_FALSE(TryStrToInt("x", value));
    EXPECT_EQ(value, 9);
}

TEST(NumberTextTest, FloatToStrGeneral) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {{0, "0"},           {0.1, "0.1"},
                          {-2.5, "-2.5"},     {1e20, "1E20"},
                          {1.5e-7, "1.5E-7"}, {0.0001, "0.0001"},
                          {0.00001, "1E-5"},  {123456789012345.0, "123456789012345"},
                          {1e15, "1E15"},     {1.0 / 3, "0.333333333333333"}};
    for (const Case& c : cases) {
        EXPECT_EQ(FloatToStr(c.value), c.text) << c.value;
    }
    EXPECT_EQ(FloatToStr(std::nan("")), "NAN");
    EXPECT_EQ(FloatToStr(-INFINITY), "-INF");
}

TEST(NumberTextTest, FloatToStrFFixedAndNumber) {
    struct Case {
        double value;
        TFloatFormat format;
        int precision;
        int digits;
        const char* text;
    };
    const Case cases[] = {
        {12.345, ffFixed, 15, 2, "12.35"},   // 12.345 is stored just above: rounds up
        {-0.001, ffFixed, 15, 2, "0.00"},    // no negative zero
        {123.456, ffFixed, 4, 2, "123.50"},  // four significant digits, zeros after
        {99.995, ffFixed, 15, 2, "100.00"},
        {12345.0, ffFixed, 4, 0, "1.235E4"},  // more integer digits than the precision
        {0, ffFixed, 15, 3, "0.000"},
        {1234567.5, ffNumber, 15, 1, "1,234,567.5"},
        {-1234.0, ffNumber, 15, 0, "-1,234"},
        {1234.5, ffExponent, 4, 2, "1.235E+03"},
        {-0.00012, ffExponent, 3, 0, "-1.20E-4"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FloatToStrF(c.value, c.format, c.precision, c.digits), c.text) << c.value;
    }
}

TEST(NumberTextTest, StrToFloatHonoursTheDecimalSeparator) {
    TFormatSettings comma;
    comma.DecimalSeparator = ',';
    EXPECT_DOUBLE_EQ(StrToFloat("3,25", comma), 3.25);
    EXPECT_EQ(FloatToStr(3.25, comma), "3,25");
    EXPECT_THROW(StrToFloat("3.25", comma), EConvertError);
    EXPECT_DOUBLE_EQ(StrToFloat(" -1.5E3 "), -1500);
    EXPECT_DOUBLE_EQ(StrToFloat("+.5"), 0.5);
    EXPECT_DOUBLE_EQ(StrToFloat("7."), 7);
    for (const char* text : {"", "abc", "1e", "1.2.3", "inf", "nan", "0x10", "1e999", "- 1"}) {
        try {
            StrToFloat(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(),
                      std::string("''") + text + "'' is not a valid floating point value");
        }
    }
}

TEST(NumberTextTest, IntToHexPadsAndUsesUpperCase) {
    EXPECT_EQ(IntToHex(0xC0FB007F, 8), "C0FB007F");
    EXPECT_EQ(IntToHex(10, 4), "000A");
    EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(IntToStr(-12), "-12");
}

}  // namespace
}  // namespace varelum::rtl
