// Field values between record images and native values: the null rules of ADT, VFP and DBF
// images and the conversion of every engine type both ways, on image bytes alone. The engine
// services the conversions need (DBF date text, VFP system flags) come from a small stand-in,
// since the engine opens only ADT tables.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "ads/adsdata_errors.h"
#include "ads/adsdata_field_conversion.h"
#include "rtl/bcd.h"
#include "rtl/datetime.h"

namespace varelum::ads {
namespace {

using db::TFieldType;

// Date text and VFP flags as the engine would answer them.
class TFakeImageEngine : public TRecordImageEngine {
  public:
    double StringToJulian(const std::uint8_t* text, std::uint16_t length) override {
        const std::string digits(reinterpret_cast<const char*>(text), length);
        if (digits.find_first_not_of(" 0") == std::string::npos) {
            return 0;
        }
        return rtl::DateToJulian(rtl::EncodeDate(std::stoi(digits.substr(0, 4)),
                                                 std::stoi(digits.substr(4, 2)),
                                                 std::stoi(digits.substr(6, 2))));
    }
    std::string JulianToString(double julian) override {
        int year = 0, month = 0, day = 0;
        rtl::DecodeDate(rtl::JulianToDate(static_cast<std::int32_t>(julian)), year, month, day);
        char text[16];
        std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
        return text;
    }
    std::uint32_t VfpSystemField(const TACEFieldDef& field, std::uint8_t*, std::uint16_t option,
                                 std::uint32_t flag) override {
        switch (option) {
            case 1:
                return NullFlags[field.FieldNumber()];
            case 2:
                NullFlags[field.FieldNumber()] = flag;
                return flag;
            case 3:
                VarcharFlags[field.FieldNumber()] = flag;
                return flag;
            default:
                return VarcharFlags[field.FieldNumber()];
        }
    }
    std::map<int, std::uint32_t> NullFlags;
    std::map<int, std::uint32_t> VarcharFlags;
};

// One field at offset 2 of a 64-byte image (the bytes around it must never change).
class FieldConversion : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kOffset = 2;

    TACEFieldDef Field(UNSIGNED16 type, std::uint32_t length, UNSIGNED16 decimals = 0,
                       bool nullable = true) {
        return TACEFieldDef("F", 1, kOffset, length, type, decimals, 7, nullable);
    }
    TFieldConversionContext Context(UNSIGNED16 tableType = kAceTableADT) {
        TFieldConversionContext context;
        context.AceTableType = tableType;
        context.DataSetIsAdt = tableType == kAceTableADT;
        context.Engine = &Engine;
        return context;
    }
    std::uint8_t* At() { return Image.data() + kOffset; }
    void SetBytes(const std::vector<std::uint8_t>& bytes) {
        std::memcpy(At(), bytes.data(), bytes.size());
    }
    template <typename T>
    void SetValue(T value) {
        std::memcpy(At(), &value, sizeof value);
    }
    template <typename T>
    T ValueAt(std::size_t offset = 0) {
        T value;
        std::memcpy(&value, At() + offset, sizeof value);
        return value;
    }
    std::string TextAt(std::size_t length) {
        return std::string(reinterpret_cast<char*>(At()), length);
    }

    std::vector<std::uint8_t> Image = std::vector<std::uint8_t>(64, 0xAB);
    TFakeImageEngine Engine;
};

// --- Null rules -------------------------------------------------------------------------------

struct TNullCase {
    const char* Name;
    UNSIGNED16 Type;
    std::uint32_t Length;
    std::vector<std::uint8_t> NullBytes;  // what a null of the type looks like
};

void PrintTo(const TNullCase& c, std::ostream* out) {
    *out << c.Name;
}

class AdtNullRule : public FieldConversion, public ::testing::WithParamInterface<TNullCase> {};

// Every ADT type: its null bytes read as null, and writing null produces them.
TEST_P(AdtNullRule, NullBytesReadAsNullAndWritingNullProducesThem) {
    const TNullCase& c = GetParam();
    const TACEFieldDef field = Field(c.Type, c.Length);
    SetBytes(c.NullBytes);
    EXPECT_TRUE(IsRawValueNull(field, Image.data(), Context()));

    std::vector<std::uint8_t> other(c.NullBytes.size(), 0x31);
    SetBytes(other);
    EXPECT_FALSE(IsRawValueNull(field, Image.data(), Context()));

    ConvertNativeToField(field, db::ftUnknown, nullptr, Image.data(), Context());
    EXPECT_EQ(std::vector<std::uint8_t>(At(), At() + c.NullBytes.size()), c.NullBytes);
    EXPECT_EQ(Image[0], 0xAB);
    EXPECT_EQ(Image[1], 0xAB);
}

const std::vector<std::uint8_t> kZero4 = {0, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    EveryType, AdtNullRule,
    ::testing::Values(
        TNullCase{"Logical", VE_FIELD_LOGICAL, 1, {' '}},
        TNullCase{"Numeric", VE_FIELD_NUMERIC, 5, {0, 0, 0, 0, 0}},
        TNullCase{"Date", VE_FIELD_DATE, 4, kZero4},
        TNullCase{"String", VE_FIELD_STRING, 3, {0, 0, 0}},
        TNullCase{"CIString", VE_FIELD_CISTRING, 3, {0, 0, 0}},
        TNullCase{"CompactDate", VE_FIELD_COMPACTDATE, 3, {0, 0, 0}},
        TNullCase{"Raw", VE_FIELD_RAW, 2, {0, 0}}, TNullCase{"NChar", VE_FIELD_NCHAR, 4, kZero4},
        TNullCase{"Memo", VE_FIELD_MEMO, 4, kZero4},
        TNullCase{"Double", VE_FIELD_DOUBLE, 8, {0x20, 0, 0, 0, 0, 0, 0, 0x80}},
        TNullCase{"CurDouble", VE_FIELD_CURDOUBLE, 8, {0x20, 0, 0, 0, 0, 0, 0, 0x80}},
        TNullCase{"Money", VE_FIELD_MONEY, 8, {0, 0, 0, 0, 0, 0, 0, 0x80}},
        TNullCase{"RowVersion", VE_FIELD_ROWVERSION, 8, {0, 0, 0, 0, 0, 0, 0, 0x80}},
        TNullCase{"Integer", VE_FIELD_INTEGER, 4, {0, 0, 0, 0x80}},
        TNullCase{"ShortInt", VE_FIELD_SHORTINT, 2, {0, 0x80}},
        TNullCase{"Time", VE_FIELD_TIME, 4, {0xFF, 0xFF, 0xFF, 0xFF}},
        TNullCase{"AutoInc", VE_FIELD_AUTOINC, 4, {0xFF, 0xFF, 0xFF, 0xFF}},
        TNullCase{"TimeStamp", VE_FIELD_TIMESTAMP, 8, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
        TNullCase{"ModTime", VE_FIELD_MODTIME, 8, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FieldConversion, AdtVariableLengthTypesAreNullByTheirLengthWord) {
    for (UNSIGNED16 type : {VE_FIELD_VARCHAR_FOX, VE_FIELD_VARBINARY_FOX, VE_FIELD_NVARCHAR}) {
        const TACEFieldDef field = Field(type, 4);
        ConvertNativeToField(field, db::ftUnknown, nullptr, Image.data(), Context());
        EXPECT_EQ(ValueAt<std::uint16_t>(4), 0xFFFF) << type;
        EXPECT_TRUE(IsRawValueNull(field, Image.data(), Context())) << type;
        SetValue<std::uint32_t>(0x20202020);
        EXPECT_TRUE(IsRawValueNull(field, Image.data(), Context())) << "bytes do not matter";
        std::uint16_t used = 2;
        std::memcpy(At() + 4, &used, 2);
        EXPECT_FALSE(IsRawValueNull(field, Image.data(), Context())) << type;
    }
}

TEST_F(FieldConversion, ReservedAndUnknownTypesAreAlwaysNull) {
    SetBytes({'x', 'y', 'z', 'w'});
    for (UNSIGNED16 type : {UNSIGNED16{0}, UNSIGNED16{19}, UNSIGNED16{25}, UNSIGNED16{40}}) {
        EXPECT_TRUE(IsRawValueNull(Field(type, 4), Image.data(), Context())) << type;
    }
}

TEST_F(FieldConversion, DbfNullRules) {
    const TFieldConversionContext cdx = Context(kAceTableCDX);
    // Integers and doubles of DBF tables have no null.
    SetBytes({0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(IsRawValueNull(Field(VE_FIELD_INTEGER, 4), Image.data(), cdx));
    EXPECT_FALSE(IsRawValueNull(Field(VE_FIELD_DOUBLE, 8), Image.data(), cdx));
    // A TIMESTAMP-typed field of a DBF table is always null.
    SetBytes({1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_TRUE(IsRawValueNull(Field(VE_FIELD_TIMESTAMP, 8), Image.data(), cdx));
    // Text is null when blank or zero.
    SetBytes({' ', 0, ' '});
    EXPECT_TRUE(IsRawValueNull(Field(VE_FIELD_STRING, 3), Image.data(), cdx));
    SetBytes({' ', 'a', ' '});
    EXPECT_FALSE(IsRawValueNull(Field(VE_FIELD_STRING, 3), Image.data(), cdx));
    // An 8-digit date is null when blank; a 4-byte one when 0.
    SetBytes(std::vector<std::uint8_t>(8, ' '));
    EXPECT_TRUE(IsRawValueNull(Field(VE_FIELD_DATE, 8), Image.data(), cdx));
    SetValue<std::int32_t>(0);
    EXPECT_TRUE(IsRawValueNull(Field(VE_FIELD_DATE, 4), Image.data(), cdx));
    // Writing null blanks text, zeroes numbers.
    ConvertNativeToField(Field(VE_FIELD_STRING, 3), db::ftString, nullptr, Image.data(), cdx);
    EXPECT_EQ(TextAt(3), "   ");
    ConvertNativeToField(Field(VE_FIELD_INTEGER, 4), db::ftInteger, nullptr, Image.data(), cdx);
    EXPECT_EQ(ValueAt<std::int32_t>(), 0);
}

TEST_F(FieldConversion, VfpNullFlagDecidesForNullableFields) {
    const TFieldConversionContext vfp = Context(kAceTableVFP);
    const TACEFieldDef integer = Field(VE_FIELD_INTEGER, 4, 0, true);
    SetValue<std::int32_t>(7);
    EXPECT_FALSE(IsRawValueNull(integer, Image.data(), vfp));
    ConvertNativeToField(integer, db::ftInteger, nullptr, Image.data(), vfp);
    EXPECT_EQ(ValueAt<std::int32_t>(), 0);
    EXPECT_EQ(Engine.NullFlags[1], 0xFFFFFFFFu);
    EXPECT_TRUE(IsRawValueNull(integer, Image.data(), vfp));
    const std::int32_t five = 5;
    ConvertNativeToField(integer, db::ftInteger, &five, Image.data(), vfp);
    EXPECT_EQ(Engine.NullFlags[1], 0u);
    EXPECT_FALSE(IsRawValueNull(integer, Image.data(), vfp));
    // A field that is not nullable never asks for the flag.
    Engine.NullFlags[1] = 1;
    EXPECT_FALSE(IsRawValueNull(Field(VE_FIELD_INTEGER, 4, 0, false), Image.data(), vfp));
    // Blank logicals are null by their bytes.
    SetBytes({' '});
    EXPECT_TRUE(IsRawValueNull(Field(VE_FIELD_LOGICAL, 1, 0, false), Image.data(), vfp));
}

// --- Values both ways ----------------------------------------------------------------------------

TEST_F(FieldConversion, StringReadsRightTrimmedAndBlanksAreAnEmptyValue) {
    const TACEFieldDef field = Field(VE_FIELD_STRING, 6);
    char out[8] = {};
    SetBytes({'A', 'B', 'C', ' ', ' ', ' '});
    ConvertFieldToNative(field, Image.data(), db::ftString, out, Context());
    EXPECT_STREQ(out, "ABC");
    SetBytes(std::vector<std::uint8_t>(6, ' '));
    EXPECT_FALSE(IsRawValueNull(field, Image.data(), Context()));
    ConvertFieldToNative(field, Image.data(), db::ftString, out, Context());
    EXPECT_STREQ(out, "");
}

TEST_F(FieldConversion, EmptyTextIsNullUnlessSpacesArePreserved) {
    const TACEFieldDef field = Field(VE_FIELD_STRING, 4);
    ConvertNativeToField(field, db::ftString, "", Image.data(), Context());
    EXPECT_TRUE(IsRawValueNull(field, Image.data(), Context()));

    TFieldConversionContext preserve = Context();
    preserve.PreserveSpaces = true;
    ConvertNativeToField(field, db::ftString, "", Image.data(), preserve);
    EXPECT_EQ(TextAt(4), "    ");
    EXPECT_FALSE(IsRawValueNull(field, Image.data(), Context()));

    ConvertNativeToField(field, db::ftString, "ABCDEFG", Image.data(), Context());
    EXPECT_EQ(TextAt(4), "ABCD");
    EXPECT_EQ(Image[kOffset + 4], 0xAB) << "a long text is cut to the field";
    ConvertNativeToField(field, db::ftString, "x", Image.data(), Context());
    EXPECT_EQ(TextAt(4), "x   ");
}

TEST_F(FieldConversion, AdtDateIsAJulianDay) {
    const TACEFieldDef field = Field(VE_FIELD_DATE, 4);
    SetValue<std::int32_t>(2415019);
    std::int32_t day = 0;
    ConvertFieldToNative(field, Image.data(), db::ftDate, &day, Context());
    EXPECT_EQ(day, 693594);
    EXPECT_EQ(rtl::DayNumberToDate(day), 0.0);
    SetValue<std::int32_t>(0);
    ConvertNativeToField(field, db::ftDate, &day, Image.data(), Context());
    EXPECT_EQ(ValueAt<std::int32_t>(), 2415019);
}

TEST_F(FieldConversion, DbfDateIsEightDigitsThroughTheEngine) {
    const TACEFieldDef field = Field(VE_FIELD_DATE, 8);
    const std::int32_t day = rtl::DateToDayNumber(rtl::EncodeDate(2000, 1, 1));
    ConvertNativeToField(field, db::ftDate, &day, Image.data(), Context(kAceTableCDX));
    EXPECT_EQ(TextAt(8), "20000101");
    std::int32_t back = 0;
    ConvertFieldToNative(field, Image.data(), db::ftDate, &back, Context(kAceTableCDX));
    EXPECT_EQ(back, day);
}

TEST_F(FieldConversion, DateTextLongerThanTheFieldIsRefused) {
    const TACEFieldDef field = Field(VE_FIELD_DATE, 6);
    SetBytes({1, 2, 3, 4, 5, 6});
    const std::int32_t day = 730000;
    try {
        ConvertNativeToField(field, db::ftDate, &day, Image.data(), Context(kAceTableCDX));
        FAIL() << "no error";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), 5121u);
        EXPECT_STREQ(error.what(), "Something's wrong with ADS date functions");
    }
    EXPECT_EQ(ValueAt<std::uint8_t>(5), 6) << "nothing written";
}

TEST_F(FieldConversion, TimeStampIsJulianDayAndMilliseconds) {
    const TACEFieldDef field = Field(VE_FIELD_TIMESTAMP, 8);
    const double value = rtl::DateTimeToMilliseconds(rtl::EncodeDate(2018, 3, 26));
    ConvertNativeToField(field, db::ftDateTime, &value, Image.data(), Context());
    EXPECT_EQ(ValueAt<std::int32_t>(0), 2458204);
    EXPECT_EQ(ValueAt<std::int32_t>(4), 0);

    const double withTime = value + 45296789.0;  // 12:34:56.789
    ConvertNativeToField(field, db::ftDateTime, &withTime, Image.data(), Context());
    double back = 0;
    ConvertFieldToNative(field, Image.data(), db::ftDateTime, &back, Context());
    EXPECT_EQ(back, withTime);
    // VFP time stamps keep whole seconds.
    ConvertFieldToNative(field, Image.data(), db::ftDateTime, &back, Context(kAceTableVFP));
    EXPECT_EQ(back, value + 45297000.0);
    // A day before the engine's first day reads as 0, never negative.
    SetValue<std::int64_t>(0);
    SetValue<std::int32_t>(-5);
    ConvertFieldToNative(field, Image.data(), db::ftDateTime, &back, Context());
    EXPECT_EQ(back, 0.0);
}

TEST_F(FieldConversion, IntegerNullMarkerAndValues) {
    const TACEFieldDef field = Field(VE_FIELD_INTEGER, 4);
    SetValue<std::uint32_t>(0x80000000u);
    EXPECT_TRUE(IsRawValueNull(field, Image.data(), Context()));
    const std::int32_t value = -42;
    ConvertNativeToField(field, db::ftInteger, &value, Image.data(), Context());
    std::int32_t back = 0;
    ConvertFieldToNative(field, Image.data(), db::ftInteger, &back, Context());
    EXPECT_EQ(back, -42);
}

TEST_F(FieldConversion, LogicalTrueSpellings) {
    const TACEFieldDef field = Field(VE_FIELD_LOGICAL, 1);
    for (char c : std::string("1TYty")) {
        SetBytes({static_cast<std::uint8_t>(c)});
        std::int16_t value = 0;
        ConvertFieldToNative(field, Image.data(), db::ftBoolean, &value, Context());
        EXPECT_EQ(value, -1) << c;
    }
    for (char c : std::string("0FNfn?")) {
        SetBytes({static_cast<std::uint8_t>(c)});
        std::int16_t value = 1;
        ConvertFieldToNative(field, Image.data(), db::ftBoolean, &value, Context());
        EXPECT_EQ(value, 0) << c;
    }
    const std::int16_t yes = -1, no = 0;
    ConvertNativeToField(field, db::ftBoolean, &yes, Image.data(), Context());
    EXPECT_EQ(TextAt(1), "T");
    ConvertNativeToField(field, db::ftBoolean, &no, Image.data(), Context());
    EXPECT_EQ(TextAt(1), "F");
}

TEST_F(FieldConversion, NumericAsBcdReadsAndWritesRightAlignedText) {
    const TACEFieldDef field = Field(VE_FIELD_NUMERIC, 6, 2);
    SetBytes({' ', ' ', '1', '2', '.', '5'});
    rtl::TBcd value;
    ConvertFieldToNative(field, Image.data(), db::ftBCD, &value, Context());
    EXPECT_EQ(rtl::BcdToStr(value), "12.5");

    const rtl::TBcd written = rtl::StrToBcd("1.5");
    ConvertNativeToField(field, db::ftBCD, &written, Image.data(), Context());
    EXPECT_EQ(TextAt(6), "  1.50");
    const rtl::TBcd negative = rtl::StrToBcd("-99.99");
    ConvertNativeToField(field, db::ftBCD, &negative, Image.data(), Context());
    EXPECT_EQ(TextAt(6), "-99.99");
}

TEST_F(FieldConversion, NumericUsesTheLocaleDecimalSeparatorBetweenTextAndBcd) {
    rtl::TFormatSettings comma;
    comma.DecimalSeparator = ',';
    TFieldConversionContext context = Context();
    context.Format = &comma;
    const TACEFieldDef field = Field(VE_FIELD_NUMERIC, 8, 2);
    const rtl::TBcd written = rtl::StrToBcd("3,25", comma);
    ConvertNativeToField(field, db::ftBCD, &written, Image.data(), context);
    EXPECT_EQ(TextAt(8), "    3.25");
    rtl::TBcd back;
    ConvertFieldToNative(field, Image.data(), db::ftBCD, &back, context);
    EXPECT_EQ(back, written);
}

TEST_F(FieldConversion, NumericOutOfRangeWritesNothing) {
    const TACEFieldDef field = Field(VE_FIELD_NUMERIC, 5, 2);
    SetBytes({'a', 'b', 'c', 'd', 'e'});
    for (const char* text : {"123.45", "1000"}) {
        const rtl::TBcd value = rtl::StrToBcd(text);
        try {
            ConvertNativeToField(field, db::ftBCD, &value, Image.data(), Context());
            FAIL() << text;
        } catch (const EADSDatabaseError& error) {
            EXPECT_STREQ(error.what(), "Numeric out of range.");
            EXPECT_EQ(error.ACEErrorCode(), 5121u);
        }
        EXPECT_EQ(TextAt(5), "abcde");
    }
    const double huge = 1e30;
    EXPECT_THROW(ConvertNativeToField(Field(VE_FIELD_NUMERIC, 10, 0), db::ftFloat, &huge,
                                      Image.data(), Context()),
                 EADSDatabaseError);
}

TEST_F(FieldConversion, NumericAsFloatAndSmallint) {
    const TACEFieldDef field = Field(VE_FIELD_NUMERIC, 10, 3);
    const double pi = 3.14159;
    ConvertNativeToField(field, db::ftFloat, &pi, Image.data(), Context(kAceTableCDX));
    EXPECT_EQ(TextAt(10), "     3.142");
    double back = 0;
    ConvertFieldToNative(field, Image.data(), db::ftFloat, &back, Context(kAceTableCDX));
    EXPECT_DOUBLE_EQ(back, 3.142);

    const TACEFieldDef small = Field(VE_FIELD_NUMERIC, 4, 0);
    const std::int16_t value = -12;
    ConvertNativeToField(small, db::ftSmallint, &value, Image.data(), Context());
    EXPECT_EQ(TextAt(4), " -12");
    std::int16_t smallBack = 0;
    ConvertFieldToNative(small, Image.data(), db::ftSmallint, &smallBack, Context());
    EXPECT_EQ(smallBack, -12);
}

TEST_F(FieldConversion, NumericTextThatDoesNotParseKeepsTheReadersBuffer) {
    const TACEFieldDef field = Field(VE_FIELD_NUMERIC, 4, 1);
    SetBytes({'x', '.', '?', '!'});
    double out = 99.0;
    ConvertFieldToNative(field, Image.data(), db::ftFloat, &out, Context());
    EXPECT_EQ(out, 99.0);
}

TEST_F(FieldConversion, MoneyAndRowVersionAsBcd) {
    const TACEFieldDef money = Field(VE_FIELD_MONEY, 8);
    const rtl::TBcd amount = rtl::StrToBcd("12.3456");
    ConvertNativeToField(money, db::ftBCD, &amount, Image.data(), Context());
    EXPECT_EQ(ValueAt<std::int64_t>(), 123456);
    rtl::TBcd back;
    ConvertFieldToNative(money, Image.data(), db::ftBCD, &back, Context());
    EXPECT_EQ(back, amount);
    EXPECT_EQ(back.Scale(), 4);

    const TACEFieldDef version = Field(VE_FIELD_ROWVERSION, 8);
    SetValue<std::int64_t>(9007199254740993);
    ConvertFieldToNative(version, Image.data(), db::ftBCD, &back, Context());
    EXPECT_EQ(rtl::BcdToStr(back), "9007199254740993");
}

TEST_F(FieldConversion, CompactDatePacksYearMonthDay) {
    const TACEFieldDef field = Field(VE_FIELD_COMPACTDATE, 3);
    const std::int32_t day = rtl::DateToDayNumber(rtl::EncodeDate(2024, 12, 31));
    ConvertNativeToField(field, db::ftDate, &day, Image.data(), Context());
    const unsigned packed = (unsigned{At()[0]} << 16) | (unsigned{At()[1]} << 8) | At()[2];
    EXPECT_EQ(packed >> 9, 2024u);
    EXPECT_EQ((packed >> 5) & 0xF, 12u);
    EXPECT_EQ(packed & 0x1F, 31u);
    std::int32_t back = 0;
    ConvertFieldToNative(field, Image.data(), db::ftDate, &back, Context());
    EXPECT_EQ(back, day);
}

TEST_F(FieldConversion, WideTextFields) {
    const TACEFieldDef nchar = Field(VE_FIELD_NCHAR, 8);  // four characters
    const std::u16string text = u"A\u00e7";
    ConvertNativeToField(nchar, db::ftWideString, text.c_str(), Image.data(), Context());
    char16_t out[5] = {};
    ConvertFieldToNative(nchar, Image.data(), db::ftWideString, out, Context());
    EXPECT_EQ(std::u16string(out), text);
    EXPECT_EQ(ValueAt<char16_t>(4), u' ') << "padded with UTF-16 blanks";
    ConvertNativeToField(nchar, db::ftWideString, u"", Image.data(), Context());
    EXPECT_TRUE(IsRawValueNull(nchar, Image.data(), Context()));

    const TACEFieldDef nvarchar = Field(VE_FIELD_NVARCHAR, 8);
    ConvertNativeToField(nvarchar, db::ftWideString, u"xyz  ", Image.data(), Context());
    EXPECT_EQ(ValueAt<std::uint16_t>(8), 4) << "the count is cut to the field";
    ConvertFieldToNative(nvarchar, Image.data(), db::ftWideString, out, Context());
    EXPECT_EQ(std::u16string(out), u"xyz");
}

TEST_F(FieldConversion, FoxVariableLengthValuesOnAdt) {
    const TACEFieldDef varchar = Field(VE_FIELD_VARCHAR_FOX, 6);
    ConvertNativeToField(varchar, db::ftString, "ab ", Image.data(), Context());
    EXPECT_EQ(ValueAt<std::uint16_t>(6), 3);
    char out[8];
    ConvertFieldToNative(varchar, Image.data(), db::ftString, out, Context());
    EXPECT_STREQ(out, "ab");

    const TACEFieldDef varbinary = Field(VE_FIELD_VARBINARY_FOX, 6);
    const std::uint8_t value[] = {3, 0, 0, 1, 2};
    ConvertNativeToField(varbinary, db::ftVarBytes, value, Image.data(), Context());
    EXPECT_EQ(ValueAt<std::uint16_t>(6), 3);
    std::uint8_t back[8] = {};
    ConvertFieldToNative(varbinary, Image.data(), db::ftVarBytes, back, Context());
    EXPECT_EQ(back[0], 3);
    EXPECT_EQ(back[2], 0);
    EXPECT_EQ(back[3], 1);
    EXPECT_EQ(back[4], 2);
}

TEST_F(FieldConversion, FoxVarcharOnVfpKeepsItsLengthInTheLastByte) {
    const TFieldConversionContext vfp = Context(kAceTableVFP);
    const TACEFieldDef varchar = Field(VE_FIELD_VARCHAR_FOX, 6, 0, false);
    ConvertNativeToField(varchar, db::ftString, "abc", Image.data(), vfp);
    EXPECT_EQ(ValueAt<std::uint8_t>(5), 3);
    EXPECT_EQ(Engine.VarcharFlags[1], 0u);
    char out[8];
    ConvertFieldToNative(varchar, Image.data(), db::ftString, out, vfp);
    EXPECT_STREQ(out, "abc");
    ConvertNativeToField(varchar, db::ftString, "abcdef", Image.data(), vfp);
    EXPECT_EQ(Engine.VarcharFlags[1], 0xFFFFFFFFu) << "full length";
    ConvertFieldToNative(varchar, Image.data(), db::ftString, out, vfp);
    EXPECT_STREQ(out, "abcdef");
}

TEST_F(FieldConversion, MemoTypesConvertNothing) {
    SetValue<std::uint32_t>(0xFFFFFFFFu);
    char out[4] = {'k', 'e', 'p', 't'};
    ConvertFieldToNative(Field(VE_FIELD_MEMO, 4), Image.data(), db::ftMemo, out, Context());
    EXPECT_EQ(std::string(out, 4), "kept");
    ConvertNativeToField(Field(VE_FIELD_MEMO, 4), db::ftMemo, "x", Image.data(), Context());
    EXPECT_EQ(ValueAt<std::uint32_t>(), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace varelum::ads
