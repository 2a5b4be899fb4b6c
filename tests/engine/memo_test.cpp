// Memo and blob values: 0 bytes, a few bytes, several megabytes; null versus empty.
#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class Memos : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        table_ = create("Memos", "Id,Integer;Notes,Memo;Data,Binary;Wide,NMemo;");
    }
    void TearDown() override {
        AdsCloseTable(table_);
        EngineTest::TearDown();
    }
    std::string binary(const char* field) {
        UNSIGNED32 length = 0;
        EXPECT_ADS_OK(AdsGetBinaryLength(table_, u8(field), &length));
        std::string value(length, '\0');
        UNSIGNED32 got = length;
        EXPECT_ADS_OK(
            AdsGetBinary(table_, u8(field), 0, reinterpret_cast<UNSIGNED8*>(value.data()), &got));
        EXPECT_EQ(length, got);
        return value;
    }
    ADSHANDLE table_ = 0;
};

TEST_F(Memos, ValuesOfEverySizeRoundTripAfterReopening) {
    std::string big(6 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 131) % 256);
    }
    const std::vector<std::string> values = {std::string(), "a few bytes", big};
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_ADS_OK(AdsAppendRecord(table_));
        ASSERT_ADS_OK(AdsSetLong(table_, u8("Id"), static_cast<SIGNED32>(i)));
        ASSERT_ADS_OK(AdsSetBinary(table_, u8("Data"), VE_BINARY_BINARY,
                                   static_cast<UNSIGNED32>(values[i].size()), 0,
                                   reinterpret_cast<const UNSIGNED8*>(values[i].data()),
                                   static_cast<UNSIGNED32>(values[i].size())));
        std::string text = values[i].substr(0, 1000);
        for (char& c : text) {
            c = static_cast<char>('a' + static_cast<unsigned char>(c) % 26);
        }
        ASSERT_ADS_OK(
            AdsSetField(table_, u8("Notes"), u8(text), static_cast<UNSIGNED32>(text.size())));
        ASSERT_ADS_OK(AdsWriteRecord(table_));
    }
    AdsCloseTable(table_);
    ASSERT_ADS_OK(open("Memos", &table_));
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_ADS_OK(AdsGotoRecord(table_, static_cast<UNSIGNED32>(i + 1)));
        EXPECT_EQ(values[i], binary("Data")) << "record " << i + 1;
        UNSIGNED16 is_null = 1, is_empty = 0;
        EXPECT_ADS_OK(AdsIsNull(table_, u8("Data"), &is_null));
        EXPECT_EQ(0, is_null) << "an empty value is not null";
        EXPECT_ADS_OK(AdsIsEmpty(table_, u8("Data"), &is_empty));
        EXPECT_EQ(values[i].empty() ? 1 : 0, is_empty);
        UNSIGNED32 length = 0;
        EXPECT_ADS_OK(AdsGetMemoLength(table_, u8("Notes"), &length));
        EXPECT_EQ(std::min<std::size_t>(values[i].size(), 1000), length);
    }
    UNSIGNED8 report[100];
    UNSIGNED32 length = sizeof report;
    EXPECT_ADS_OK(AdsCheckTable(table_, VE_CHECK_MEMOS, report, &length));
}

TEST_F(Memos, TheRecordImageMarksWhetherAValueExists) {
    append_row(table_, {{"Notes", "text"}});
    UNSIGNED32 offset = 0, length = 0;
    AdsGetFieldOffset(table_, u8("Notes"), &offset);
    AdsGetRecordLength(table_, &length);
    std::vector<UNSIGNED8> image(length);
    ASSERT_ADS_OK(AdsGetRecord(table_, image.data(), &length));
    UNSIGNED32 marker = 0;
    std::memcpy(&marker, image.data() + offset, 4);
    EXPECT_EQ(0xFFFFFFFFu, marker);
    AdsGetFieldOffset(table_, u8("Data"), &offset);
    std::memcpy(&marker, image.data() + offset, 4);
    EXPECT_EQ(0u, marker);
    UNSIGNED16 is_null = 0;
    EXPECT_ADS_OK(AdsIsNull(table_, u8("Data"), &is_null));
    EXPECT_EQ(1, is_null);

    EXPECT_ADS_OK(AdsSetNull(table_, u8("Notes")));
    EXPECT_ADS_OK(AdsWriteRecord(table_));
    EXPECT_ADS_OK(AdsIsNull(table_, u8("Notes"), &is_null));
    EXPECT_EQ(1, is_null);
    UNSIGNED8 report[200];
    UNSIGNED32 report_length = sizeof report;
    EXPECT_ADS_OK(AdsCheckTable(table_, VE_CHECK_MEMOS, report, &report_length));
}

TEST_F(Memos, TextMemosReadAsTextAndInPartsAndWideMemosKeepUnicode) {
    append_row(table_, {{"Notes", "  padded text  "}});
    EXPECT_EQ("  padded text  ", text(table_, "Notes"));
    EXPECT_EQ("padded text", text(table_, "Notes", VE_TRIM_BOTH));
    UNSIGNED32 length = 0;
    EXPECT_ADS_OK(AdsGetDataLength(table_, u8("Notes"), VE_TRIM_NONE, &length));
    EXPECT_EQ(15u, length);
    UNSIGNED8 part[6];
    length = 6;
    EXPECT_ADS_OK(AdsGetBinary(table_, u8("Notes"), 2, part, &length));
    EXPECT_EQ("padded", std::string(reinterpret_cast<char*>(part), length));
    UNSIGNED16 type = 0;
    EXPECT_ADS_OK(AdsGetMemoDataType(table_, u8("Notes"), &type));
    EXPECT_EQ(VE_MEMO_TEXT, type);
    EXPECT_ADS_OK(AdsGetMemoDataType(table_, u8("Data"), &type));
    EXPECT_EQ(VE_BINARY_BINARY, type);

    // A value sent in parts, out of order.
    EXPECT_ADS_OK(AdsSetBinary(table_, u8("Data"), VE_BINARY_BINARY, 6, 3, u8("def"), 3));
    EXPECT_ADS_OK(AdsSetBinary(table_, u8("Data"), VE_BINARY_BINARY, 6, 0, u8("abc"), 3));
    EXPECT_ADS_OK(AdsWriteRecord(table_));
    EXPECT_EQ("abcdef", binary("Data"));
    EXPECT_EQ(VE_INVALID_ARGUMENT,
              AdsSetBinary(table_, u8("Data"), VE_BINARY_BINARY, 2, 1, u8("xyz"), 3));

    const WCHAR wide[] = u"\u4E2D\u6587 text";
    EXPECT_ADS_OK(AdsSetFieldW(table_, u8("Wide"), wide, 7));
    EXPECT_ADS_OK(AdsWriteRecord(table_));
    WCHAR out[20] = {};
    UNSIGNED32 chars = 20;
    EXPECT_ADS_OK(AdsGetFieldW(table_, u8("Wide"), out, &chars, VE_TRIM_NONE));
    EXPECT_EQ(std::u16string(wide), std::u16string(out));
    EXPECT_ADS_OK(AdsGetMemoLength(table_, u8("Wide"), &chars));
    EXPECT_EQ(7u, chars);
    EXPECT_EQ(VE_FIELD_TYPE_MISMATCH, AdsGetMemoLength(table_, u8("Id"), &chars));
}

}  // namespace
}  // namespace varelum::engine::testing
