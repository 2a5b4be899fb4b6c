// Field values: every type through its text and typed calls, its record-image bytes and its
// null marker, after a write and a fresh read.
#include <cmath>
#include <cstring>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class FieldValues : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        table_ = create("Values",
                        "Flag,Logical;Amount,Numeric,10,2;Born,Date;Name,Char,8;Code,CIChar,4;"
                        "Ratio,Double,3;Count,Integer;Small,ShortInt;At,Time;Stamp,TimeStamp;"
                        "Id,AutoInc;Bytes,Raw,4;Price,CurDouble,2;Cash,Money;Version,RowVersion;"
                        "Changed,ModTime;Short,VarCharFox,6;Blob,VarBinaryFox,4;Wide,NChar,3;"
                        "WideVar,NVarChar,4;Compact,CompactDate;");
        ASSERT_ADS_OK(AdsGetRecordLength(table_, &record_length_));
    }
    void TearDown() override {
        AdsCloseTable(table_);
        EngineTest::TearDown();
    }

    std::vector<UNSIGNED8> record() {
        std::vector<UNSIGNED8> image(record_length_);
        UNSIGNED32 length = record_length_;
        EXPECT_ADS_OK(AdsGetRecord(table_, image.data(), &length));
        return image;
    }

    std::vector<UNSIGNED8> field_bytes(const char* name) {
        UNSIGNED32 offset = 0, length = 0;
        UNSIGNED16 type = 0;
        AdsGetFieldOffset(table_, u8(name), &offset);
        AdsGetFieldLength(table_, u8(name), &length);
        AdsGetFieldType(table_, u8(name), &type);
        if (type == VE_FIELD_NCHAR)
            length *= 2;
        if (type == VE_FIELD_NVARCHAR)
            length = length * 2 + 2;
        if (type == VE_FIELD_VARCHAR_FOX || type == VE_FIELD_VARBINARY_FOX)
            length += 2;
        auto image = record();
        return std::vector<UNSIGNED8>(image.begin() + offset, image.begin() + offset + length);
    }

    bool is_null(const char* name) {
        UNSIGNED16 flag = 7;
        EXPECT_ADS_OK(AdsIsNull(table_, u8(name), &flag));
        return flag != 0;
    }

    ADSHANDLE table_ = 0;
    UNSIGNED32 record_length_ = 0;
};

template <typename T>
T bytes_as(const std::vector<UNSIGNED8>& bytes, std::size_t at = 0) {
    T value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

TEST_F(FieldValues, ANewRecordHasEveryNullMarker) {
    ASSERT_ADS_OK(AdsAppendRecord(table_));
    EXPECT_EQ(' ', field_bytes("Flag")[0]);
    EXPECT_EQ(std::vector<UNSIGNED8>(10, 0), field_bytes("Amount"));
    EXPECT_EQ(std::vector<UNSIGNED8>(4, 0), field_bytes("Born"));
    EXPECT_EQ(std::vector<UNSIGNED8>(8, 0), field_bytes("Name"));
    EXPECT_EQ(0x00000020u, bytes_as<UNSIGNED32>(field_bytes("Ratio")));
    EXPECT_EQ(0x80000000u, bytes_as<UNSIGNED32>(field_bytes("Ratio"), 4));
    EXPECT_EQ(0x80000000u, bytes_as<UNSIGNED32>(field_bytes("Count")));
    EXPECT_EQ(0x8000u, bytes_as<UNSIGNED16>(field_bytes("Small")));
    EXPECT_EQ(0xFFFFFFFFu, bytes_as<UNSIGNED32>(field_bytes("At")));
    EXPECT_EQ(0, bytes_as<SIGNED32>(field_bytes("Stamp")));
    EXPECT_EQ(0u, bytes_as<UNSIGNED32>(field_bytes("Cash")));
    EXPECT_EQ(0x80000000u, bytes_as<UNSIGNED32>(field_bytes("Cash"), 4));
    EXPECT_EQ(0xFFFFu, bytes_as<UNSIGNED16>(field_bytes("Short"), 6));
    EXPECT_EQ(0xFFFFu, bytes_as<UNSIGNED16>(field_bytes("Blob"), 4));
    EXPECT_EQ(0xFFFFu, bytes_as<UNSIGNED16>(field_bytes("WideVar"), 8));
    EXPECT_EQ(std::vector<UNSIGNED8>(3, 0), field_bytes("Compact"));
    for (const char* name :
         {"Flag", "Amount", "Born", "Name", "Code", "Ratio", "Count", "Small", "At", "Stamp",
          "Bytes", "Price", "Cash", "Short", "Blob", "Wide", "WideVar", "Compact"}) {
        EXPECT_TRUE(is_null(name)) << name;
    }
    ASSERT_ADS_OK(AdsWriteRecord(table_));
    // The engine fills what it maintains.
    SIGNED32 id = 0;
    EXPECT_ADS_OK(AdsGetLong(table_, u8("Id"), &id));
    EXPECT_EQ(1, id);
    EXPECT_FALSE(is_null("Version"));
    EXPECT_FALSE(is_null("Changed"));
}

TEST_F(FieldValues, TextValuesRoundTripThroughEveryType) {
    struct Case {
        const char* field;
        std::string written;
        std::string read;  // AdsGetField with right trim
    };
    const std::vector<Case> cases = {
        {"Flag", "T", "T"},
        {"Flag", "n", "F"},
        {"Amount", "1234.5", "1234.50"},
        {"Amount", "-0.006", "-0.01"},
        {"Born", "03/26/2018", "03/26/2018"},
        {"Name", "ABC", "ABC"},
        {"Name", "much too long for it", "much too"},
        {"Code", "abcd", "abcd"},
        {"Ratio", "3.14159", "3.142"},
        {"Count", "-42", "-42"},
        {"Small", "32767", "32767"},
        {"At", "13:45:10", "13:45:10"},
        {"Stamp", "03/26/2018 08:30:00.250", "03/26/2018 08:30:00.250"},
        {"Price", "9.999", "10.00"},
        {"Cash", "12.3456", "12.3456"},
        {"Short", "abc", "abc"},
        {"Wide", "\xE7\xE3o", "\xE7\xE3o"},  // Windows-1252 "ção" into UTF-16
        {"WideVar", "ab", "ab"},
        {"Compact", "03/26/2018", "03/26/2018"},
        {"Compact", "12/31/9999", "12/31/9999"},
    };
    for (const auto& c : cases) {
        ASSERT_ADS_OK(AdsAppendRecord(table_));
        ASSERT_ADS_OK(AdsSetField(table_, u8(c.field), u8(c.written),
                                  static_cast<UNSIGNED32>(c.written.size())))
            << c.field << " " << c.written;
        ASSERT_ADS_OK(AdsWriteRecord(table_));
        ASSERT_ADS_OK(AdsGotoBottom(table_));
        EXPECT_EQ(c.read, text(table_, c.field, VE_TRIM_BOTH)) << c.field << " " << c.written;
        EXPECT_FALSE(is_null(c.field)) << c.field;
    }
}

TEST_F(FieldValues, ValuesAFieldCannotTakeAreRefusedAndChangeNothing) {
    struct Case {
        const char* field;
        std::string written;
        UNSIGNED32 code;
    };
    const std::vector<Case> cases = {
        {"Amount", "twelve", VE_VALUE_NOT_CONVERTIBLE},
        {"Amount", "123456789", VE_VALUE_OUT_OF_RANGE},
        {"Count", "1e12", VE_VALUE_OUT_OF_RANGE},
        {"Small", "40000", VE_VALUE_OUT_OF_RANGE},
        {"Born", "13/45/2018", VE_VALUE_NOT_CONVERTIBLE},
        {"Flag", "maybe", VE_VALUE_NOT_CONVERTIBLE},
        {"At", "25:00", VE_VALUE_NOT_CONVERTIBLE},
        {"Id", "5", VE_FIELD_READ_ONLY},
    };
    append_row(table_, {{"Amount", "1"},
                        {"Count", "1"},
                        {"Small", "1"},
                        {"Born", "01/01/2000"},
                        {"Flag", "T"},
                        {"At", "10:00"}});
    for (const auto& c : cases) {
        std::string before = text(table_, c.field);
        EXPECT_EQ(c.code, AdsSetField(table_, u8(c.field), u8(c.written),
                                      static_cast<UNSIGNED32>(c.written.size())))
            << c.field << " " << c.written;
        EXPECT_EQ(before, text(table_, c.field)) << c.field;
    }
    UNSIGNED16 locked = 1;
    EXPECT_ADS_OK(AdsIsRecordLocked(table_, 0, &locked));
    EXPECT_EQ(0, locked) << "a refused value must not leave an implicit lock";
    EXPECT_EQ(VE_FIELD_TYPE_MISMATCH, AdsSetDouble(table_, u8("Flag"), 1.5));
    EXPECT_EQ(VE_FIELD_TYPE_MISMATCH, AdsSetLogical(table_, u8("Count"), 1));
}

TEST_F(FieldValues, TypedCallsRoundTripAndMatchTheImageFormats) {
    ASSERT_ADS_OK(AdsAppendRecord(table_));
    EXPECT_ADS_OK(AdsSetLogical(table_, u8("Flag"), 1));
    EXPECT_ADS_OK(AdsSetDouble(table_, u8("Amount"), -12.345));
    EXPECT_ADS_OK(AdsSetJulian(table_, u8("Born"), 2415019));
    EXPECT_ADS_OK(AdsSetDouble(table_, u8("Ratio"), 0.125));
    EXPECT_ADS_OK(AdsSetLong(table_, u8("Count"), -2147483647));
    EXPECT_ADS_OK(AdsSetShort(table_, u8("Small"), -32767));
    EXPECT_ADS_OK(AdsSetMilliseconds(table_, u8("At"), 86399999));
    const UNSIGNED8 stamp[8] = {0x1C, 0x82, 0x25, 0x00, 0x00, 0x00, 0x00, 0x00};  // 2458140, 0 ms
    EXPECT_ADS_OK(AdsSetTimeStampRaw(table_, u8("Stamp"), stamp, 8));
    EXPECT_ADS_OK(AdsSetDouble(table_, u8("Cash"), 1.5));
    EXPECT_ADS_OK(AdsSetField(table_, u8("Bytes"), u8("\x01\x02"), 2));
    EXPECT_ADS_OK(AdsSetDate(table_, u8("Compact"), u8("12/10/2026"), 10));
    // Julian day 1 lies in 4713 BC, before any year a compact date holds.
    EXPECT_EQ(VE_VALUE_OUT_OF_RANGE, AdsSetJulian(table_, u8("Compact"), 1));
    ASSERT_ADS_OK(AdsWriteRecord(table_));

    EXPECT_EQ('T', field_bytes("Flag")[0]);
    auto amount = field_bytes("Amount");
    EXPECT_EQ("    -12.35", std::string(amount.begin(), amount.end()));  // right-aligned, "."
    EXPECT_EQ(2415019, bytes_as<SIGNED32>(field_bytes("Born")));
    EXPECT_EQ(0.125, bytes_as<double>(field_bytes("Ratio")));
    EXPECT_EQ(-2147483647, bytes_as<SIGNED32>(field_bytes("Count")));
    EXPECT_EQ(-32767, bytes_as<SIGNED16>(field_bytes("Small")));
    EXPECT_EQ(86399999, bytes_as<SIGNED32>(field_bytes("At")));
    EXPECT_EQ(2458140, bytes_as<SIGNED32>(field_bytes("Stamp")));
    EXPECT_EQ(15000, bytes_as<SIGNED64>(field_bytes("Cash")));
    EXPECT_EQ((std::vector<UNSIGNED8>{1, 2, 0, 0}), field_bytes("Bytes"));
    // Year 2026 in 15 bits, month 12 in 4, day 10 in 5, big-endian.
    EXPECT_EQ((std::vector<UNSIGNED8>{0x0F, 0xD5, 0x8A}), field_bytes("Compact"));

    double d = 0;
    SIGNED32 l = 0;
    SIGNED16 s = 0;
    UNSIGNED16 b = 0;
    EXPECT_ADS_OK(AdsGetDouble(table_, u8("Amount"), &d));
    EXPECT_DOUBLE_EQ(-12.35, d);
    EXPECT_ADS_OK(AdsGetJulian(table_, u8("Born"), &l));
    EXPECT_EQ(2415019, l);
    EXPECT_ADS_OK(AdsGetShort(table_, u8("Small"), &s));
    EXPECT_EQ(-32767, s);
    EXPECT_ADS_OK(AdsGetLogical(table_, u8("Flag"), &b));
    EXPECT_EQ(1, b);
    EXPECT_ADS_OK(AdsGetMilliseconds(table_, u8("Stamp"), &l));
    EXPECT_EQ(0, l);
    EXPECT_ADS_OK(AdsGetDouble(table_, u8("Cash"), &d));
    EXPECT_DOUBLE_EQ(1.5, d);
    UNSIGNED8 date[20];
    UNSIGNED16 length = sizeof date;
    EXPECT_ADS_OK(AdsGetDate(table_, u8("Born"), date, &length));
    EXPECT_STREQ("12/30/1899", reinterpret_cast<char*>(date));
    EXPECT_ADS_OK(AdsGetJulian(table_, u8("Compact"), &l));
    EXPECT_EQ(2415019 + 46366, l);  // 1899-12-30 + 46366 days is 2026-12-10
    length = sizeof date;
    EXPECT_ADS_OK(AdsGetTime(table_, u8("At"), date, &length));
    EXPECT_STREQ("23:59:59.999", reinterpret_cast<char*>(date));
    EXPECT_EQ(VE_FIELD_TYPE_MISMATCH, AdsGetLogical(table_, u8("Count"), &b));
}

TEST_F(FieldValues, WideTextKeepsCharactersThatHaveNoEightBitForm) {
    ASSERT_ADS_OK(AdsAppendRecord(table_));
    const WCHAR wide[] = u"\u20AC\u4E2Dx";  // euro sign, a CJK character, x
    EXPECT_ADS_OK(AdsSetFieldW(table_, u8("WideVar"), wide, 3));
    EXPECT_ADS_OK(AdsSetStringW(table_, u8("Wide"), wide, 3));
    ASSERT_ADS_OK(AdsWriteRecord(table_));
    WCHAR out[10] = {};
    UNSIGNED32 length = 10;
    EXPECT_ADS_OK(AdsGetFieldW(table_, u8("WideVar"), out, &length, VE_TRIM_NONE));
    EXPECT_EQ(3u, length);
    EXPECT_EQ(std::u16string(wide), std::u16string(out));
    length = 10;
    EXPECT_ADS_OK(AdsGetStringW(table_, u8("Wide"), out, &length, VE_TRIM_NONE));
    EXPECT_EQ(std::u16string(wide), std::u16string(out));
    auto bytes = field_bytes("WideVar");
    EXPECT_EQ(3u, bytes_as<UNSIGNED16>(bytes, 8));
    EXPECT_EQ(0x20ACu, bytes_as<UNSIGNED16>(bytes, 0));
}

TEST_F(FieldValues, NullsRoundTripThroughSetNullSetEmptyAndRawImages) {
    append_row(table_, {{"Name", "Alice"},
                        {"Count", "3"},
                        {"Short", "abc"},
                        {"Flag", "T"},
                        {"Ratio", "1"},
                        {"Stamp", "01/02/2003 04:05:06"}});
    for (const char* name : {"Name", "Count", "Short", "Flag", "Ratio", "Stamp"}) {
        EXPECT_FALSE(is_null(name)) << name;
        EXPECT_ADS_OK(AdsSetNull(table_, u8(name)));
    }
    ASSERT_ADS_OK(AdsWriteRecord(table_));
    for (const char* name : {"Name", "Count", "Short", "Flag", "Ratio", "Stamp"}) {
        EXPECT_TRUE(is_null(name)) << name;
        EXPECT_EQ("", text(table_, name)) << name;
    }
    // A record image copied field by field with the raw setter, null markers included,
    // gives the same image.
    append_row(table_, {{"Name", "Bob"}, {"Amount", "7.5"}, {"Short", "xy"}, {"Blob", "\x01"}});
    auto source = record();
    ASSERT_ADS_OK(AdsAppendRecord(table_));
    UNSIGNED16 count = 0;
    AdsGetNumFields(table_, &count);
    for (UNSIGNED16 n = 1; n <= count; ++n) {
        UNSIGNED16 type = 0;
        UNSIGNED32 offset = 0, length = 0;
        AdsGetFieldType(table_, ADSFIELD(n), &type);
        AdsGetFieldOffset(table_, ADSFIELD(n), &offset);
        AdsGetFieldLength(table_, ADSFIELD(n), &length);
        if (type == VE_FIELD_AUTOINC || type == VE_FIELD_ROWVERSION || type == VE_FIELD_MODTIME) {
            continue;
        }
        if (type == VE_FIELD_VARCHAR_FOX || type == VE_FIELD_VARBINARY_FOX) {
            UNSIGNED16 used = bytes_as<UNSIGNED16>(source, offset + length);
            EXPECT_ADS_OK(AdsSetFieldRaw(table_, ADSFIELD(n), source.data() + offset, used));
        } else if (type == VE_FIELD_NVARCHAR) {
            UNSIGNED16 used = bytes_as<UNSIGNED16>(source, offset + length * 2);
            EXPECT_ADS_OK(AdsSetFieldRaw(table_, ADSFIELD(n), source.data() + offset, used));
        } else {
            UNSIGNED32 bytes = type == VE_FIELD_NCHAR ? length * 2 : length;
            EXPECT_ADS_OK(AdsSetFieldRaw(table_, ADSFIELD(n), source.data() + offset, bytes));
        }
    }
    ASSERT_ADS_OK(AdsWriteRecord(table_));
    auto copy = record();
    for (UNSIGNED16 n = 1; n <= count; ++n) {
        UNSIGNED16 type = 0;
        UNSIGNED32 offset = 0;
        AdsGetFieldType(table_, ADSFIELD(n), &type);
        AdsGetFieldOffset(table_, ADSFIELD(n), &offset);
        if (type == VE_FIELD_AUTOINC || type == VE_FIELD_ROWVERSION || type == VE_FIELD_MODTIME) {
            continue;
        }
        UNSIGNED32 end = n < count ? 0 : record_length_;
        if (n < count) {
            AdsGetFieldOffset(table_, ADSFIELD(n + 1), &end);
        }
        EXPECT_TRUE(
            std::equal(source.begin() + offset, source.begin() + end, copy.begin() + offset))
            << "field " << n;
    }
}

TEST_F(FieldValues, ValuesSurviveClosingAndOpeningTheTable) {
    append_row(table_, {{"Name", "Keep"}, {"Amount", "99.99"}, {"Born", "12/31/1999"}});
    AdsCloseTable(table_);
    ASSERT_ADS_OK(open("Values", &table_));
    EXPECT_EQ("Keep    ", text(table_, "Name"));
    EXPECT_EQ("Keep", text(table_, "Name", VE_TRIM_BOTH));
    EXPECT_EQ("     99.99", text(table_, "Amount"));
    EXPECT_EQ("12/31/1999", text(table_, "Born"));
    UNSIGNED32 length = 0;
    EXPECT_ADS_OK(AdsGetDataLength(table_, u8("Name"), VE_TRIM_RIGHT, &length));
    EXPECT_EQ(4u, length);
    // A buffer too small gets what fits and the length it needs.
    UNSIGNED8 small[3];
    length = sizeof small;
    EXPECT_EQ(VE_BUFFER_TOO_SMALL, AdsGetField(table_, u8("Name"), small, &length, VE_TRIM_NONE));
    EXPECT_EQ(8u, length);
    EXPECT_STREQ("Ke", reinterpret_cast<char*>(small));
}

TEST_F(FieldValues, OemTablesKeepCodePage850AndTranslateAtTheBoundary) {
    ADSHANDLE oem = 0;
    ASSERT_ADS_OK(AdsCreateTable90(connection_, u8("Oem"), nullptr, 3, VE_CHARTYPE_OEM, 1, 1, 0,
                                   u8("Name,Char,4;"), 0, nullptr, &oem));
    const char ansi[] = "\xE7\xE3";  // "çã" in Windows-1252
    ASSERT_ADS_OK(AdsAppendRecord(oem));
    ASSERT_ADS_OK(AdsSetField(oem, u8("Name"), u8(ansi), 2));
    ASSERT_ADS_OK(AdsWriteRecord(oem));
    UNSIGNED8 image[4];
    UNSIGNED32 length = sizeof image;
    ASSERT_ADS_OK(AdsGetRecord(oem, image, &length));
    EXPECT_EQ(0x87, image[0]);  // "ç" in code page 850
    EXPECT_EQ(0xC6, image[1]);  // "ã"
    EXPECT_EQ(std::string(ansi), text(oem, "Name", VE_TRIM_RIGHT));
    AdsCloseTable(oem);
}

}  // namespace
}  // namespace varelum::engine::testing
