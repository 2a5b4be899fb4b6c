// Copies and conversions of tables, and memo values to and from files, through the C ABI: a
// copy holds exactly what its handle shows, in the handle's order, and a stopped or refused
// copy leaves nothing behind.
#include <filesystem>
#include <fstream>
#include <vector>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

UNSIGNED16 gStopAt = 101;
UNSIGNED16 gLastPercent = 0;

UNSIGNED32 StopAt(UNSIGNED16 percent) {
    gLastPercent = percent;
    return percent >= gStopAt ? 1 : 0;
}

class TableCopies : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        gStopAt = 101;
        table_ = create("Stock.adt", "Id,Integer;Name,Char,20;Price,Double;Notes,Memo");
        const char* names[] = {"pear", "apple", "quince", "fig", "banana", "cherry"};
        for (int i = 0; i < 6; ++i) {
            append_row(table_, {{"Id", std::to_string(i + 1)},
                                {"Name", names[i]},
                                {"Price", std::to_string(i) + ".25"},
                                {"Notes", std::string("about ") + names[i]}});
        }
        ADSHANDLE index = 0;
        ASSERT_ADS_OK(AdsCreateIndex90(table_, nullptr, u8("NAME"), u8("Name"), nullptr, nullptr, 0,
                                       0, nullptr, &index));
    }
    void TearDown() override {
        AdsClearProgressCallback();
        AdsCloseTable(table_);
        EngineTest::TearDown();
    }

    // "field;field;..." of each record of the table file, in record order.
    std::vector<std::string> rows(const std::string& name, const char* field) {
        ADSHANDLE copy = 0;
        EXPECT_ADS_OK(open(name, &copy));
        std::vector<std::string> out;
        UNSIGNED16 eof = 0;
        for (UNSIGNED32 rc = AdsGotoTop(copy);
             rc == VE_SUCCESS && AdsAtEOF(copy, &eof) == VE_SUCCESS && !eof;
             rc = AdsSkip(copy, 1)) {
            out.push_back(text(copy, field, VE_TRIM_RIGHT));
        }
        AdsCloseTable(copy);
        return out;
    }

    ADSHANDLE index_named(const char* name) {
        ADSHANDLE index = 0;
        EXPECT_ADS_OK(AdsGetIndexHandle(table_, u8(name), &index));
        return index;
    }

    ADSHANDLE table_ = 0;
};

TEST_F(TableCopies, ACopyOfAnIndexedTableUnderAFilterHoldsExactlyTheVisibleRecordsInKeyOrder) {
    ASSERT_ADS_OK(AdsSetAOF(table_, u8("Id >= 3"), VE_AOF_DYNAMIC));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 6));
    ASSERT_ADS_OK(AdsDeleteRecord(table_));
    AdsShowDeleted(0);
    const ADSHANDLE byName = index_named("NAME");
    ASSERT_ADS_OK(AdsCopyTable(byName, VE_RESPECT_FILTERS, u8("Visible")));
    EXPECT_EQ(rows("Visible.adt", "Name"), (std::vector<std::string>{"banana", "fig", "quince"}));
    EXPECT_EQ(rows("Visible.adt", "Notes"),
              (std::vector<std::string>{"about banana", "about fig", "about quince"}));
    EXPECT_EQ(rows("Visible.adt", "Price"), (std::vector<std::string>{"4.25", "3.25", "2.25"}));

    // Ignoring the filters copies every record the handle's order holds; in record order on
    // the table handle; deleted records stay hidden while they are hidden.
    ASSERT_ADS_OK(AdsCopyTable(table_, VE_IGNORE_FILTERS, u8("All.adt")));
    EXPECT_EQ(rows("All.adt", "Id"), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    AdsShowDeleted(1);
    ASSERT_ADS_OK(AdsCopyTable(table_, VE_IGNORE_FILTERS, u8("Whole.adt")));
    ADSHANDLE whole = 0;
    ASSERT_ADS_OK(open("Whole.adt", &whole));
    ASSERT_ADS_OK(AdsGotoRecord(whole, 6));
    UNSIGNED16 deleted = 0;
    ASSERT_ADS_OK(AdsIsRecordDeleted(whole, &deleted));
    EXPECT_EQ(deleted, 1) << "a copied record keeps its deleted flag";
    UNSIGNED16 indexes = 9;
    ASSERT_ADS_OK(AdsGetNumIndexes(whole, &indexes));
    EXPECT_EQ(indexes, 0) << "index tags are not copied";
    AdsCloseTable(whole);
}

TEST_F(TableCopies, AStoppedOrRefusedCopyLeavesNoFile) {
    ASSERT_ADS_OK(AdsRegisterProgressCallback(&StopAt));
    gStopAt = 50;
    EXPECT_EQ(VE_OPERATION_CANCELLED, AdsCopyTable(table_, VE_IGNORE_FILTERS, u8("Half.adt")));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("Half.adt")));
    EXPECT_EQ(VE_OPERATION_CANCELLED,
              AdsConvertTable(table_, VE_IGNORE_FILTERS, u8("Half.adt"), VE_TABLE_TYPE_ADT));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("Half.adt")));

    gStopAt = 101;
    EXPECT_EQ(VE_NOT_SUPPORTED,
              AdsConvertTable(table_, VE_IGNORE_FILTERS, u8("Other.dbf"), VE_TABLE_TYPE_CDX));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("Other.dbf")));
    EXPECT_NE(VE_SUCCESS, AdsCopyTable(table_, VE_IGNORE_FILTERS, u8("Stock.adt")))
        << "a table cannot be copied over itself";
    EXPECT_EQ(rows("Stock.adt", "Id").size(), 6u);

    ASSERT_ADS_OK(AdsConvertTable(table_, VE_IGNORE_FILTERS, u8("Converted"), VE_TABLE_TYPE_ADT));
    EXPECT_EQ(gLastPercent, 100);
    EXPECT_EQ(rows("Converted.adt", "Id").size(), 6u);
}

TEST_F(TableCopies, TheStructureAloneMakesAnEmptyTableOfTheSameFields) {
    ASSERT_ADS_OK(AdsCopyTableStructure(table_, u8("Empty")));
    ADSHANDLE empty = 0;
    ASSERT_ADS_OK(open("Empty.adt", &empty));
    UNSIGNED32 count = 9;
    ASSERT_ADS_OK(AdsGetRecordCount(empty, VE_IGNORE_FILTERS, &count));
    EXPECT_EQ(count, 0u);
    UNSIGNED16 fields = 0;
    ASSERT_ADS_OK(AdsGetNumFields(empty, &fields));
    EXPECT_EQ(fields, 4);
    UNSIGNED16 type = 0;
    ASSERT_ADS_OK(AdsGetFieldType(empty, u8("Notes"), &type));
    EXPECT_EQ(type, VE_FIELD_MEMO);
    AdsCloseTable(empty);
}

TEST_F(TableCopies, ContentsGoIntoAnotherTableByFieldNameAndAStopAppendsNothing) {
    ADSHANDLE target =
        create("Target.adt", "Seq,AutoInc;Name,Char,30;Id,Double;Notes,Memo;Kept,Char,5");
    ASSERT_ADS_OK(AdsSetAOF(table_, u8("Id <= 2"), VE_AOF_DYNAMIC));
    ASSERT_ADS_OK(AdsRegisterProgressCallback(&StopAt));
    gStopAt = 100;
    EXPECT_EQ(VE_OPERATION_CANCELLED, AdsCopyTableContents(table_, target, VE_RESPECT_FILTERS));
    UNSIGNED32 count = 9;
    ASSERT_ADS_OK(AdsGetRecordCount(target, VE_IGNORE_FILTERS, &count));
    EXPECT_EQ(count, 0u);

    gStopAt = 101;
    ASSERT_ADS_OK(AdsCopyTableContents(table_, target, VE_RESPECT_FILTERS));
    ASSERT_ADS_OK(AdsGetRecordCount(target, VE_IGNORE_FILTERS, &count));
    EXPECT_EQ(count, 2u);
    ASSERT_ADS_OK(AdsGotoRecord(target, 2));
    EXPECT_EQ(text(target, "Name", VE_TRIM_RIGHT), "apple");
    double id = 0;
    ASSERT_ADS_OK(AdsGetDouble(target, u8("Id"), &id));
    EXPECT_EQ(id, 2.0) << "an Integer read into a Double";
    EXPECT_EQ(text(target, "Notes"), "about apple");
    EXPECT_EQ(text(target, "Seq"), "2") << "the engine numbers the copies";
    UNSIGNED16 empty = 0;
    ASSERT_ADS_OK(AdsIsEmpty(target, u8("Kept"), &empty));
    EXPECT_EQ(empty, 1);
    EXPECT_NE(VE_SUCCESS, AdsCopyTableContents(target, target, VE_IGNORE_FILTERS));
    AdsCloseTable(target);
}

// Fields of another type or size take a value as its field setter would (the conversion a
// restructure makes too): a number keeps its own digits as text, a text is cut to the field, a
// number rounded to it, a timestamp gives its date; a text that is no value of the new type
// refuses the copy.
TEST_F(TableCopies, ContentsOfOtherTypesAreConvertedAsAFieldSetterTakesThem) {
    ADSHANDLE from =
        create("Mixed.adt", "Price,Double;Name,Char,12;Count,Double;Seen,TimeStamp;Code,Char,6");
    append_row(from, {{"Price", "1.5"},
                      {"Name", "much longer"},
                      {"Count", "2.6"},
                      {"Seen", "12/10/2026 10:30:00"},
                      {"Code", "12"}});
    ADSHANDLE to = create("Narrow.adt",
                          "Price,Char,10;Name,Char,4;Count,Integer;Seen,Date;Code,"
                          "Integer");
    ASSERT_ADS_OK(AdsCopyTableContents(from, to, VE_IGNORE_FILTERS));
    ASSERT_ADS_OK(AdsGotoTop(to));
    EXPECT_EQ(text(to, "Price", VE_TRIM_RIGHT), "1.5");
    EXPECT_EQ(text(to, "Name"), "much");
    EXPECT_EQ(text(to, "Count"), "3");
    EXPECT_EQ(text(to, "Seen"), "12/10/2026");
    EXPECT_EQ(text(to, "Code"), "12");

    ASSERT_ADS_OK(AdsAppendRecord(from));
    ASSERT_ADS_OK(AdsSetField(from, u8("Code"), u8("abc"), 3));
    ASSERT_ADS_OK(AdsWriteRecord(from));
    EXPECT_EQ(VE_VALUE_NOT_CONVERTIBLE, AdsCopyTableContents(from, to, VE_IGNORE_FILTERS));
    const std::string error = last_error_text();
    EXPECT_NE(error.find("\"abc\" for the Integer field Code (record 2 of the source)"),
              std::string::npos)
        << error;
    UNSIGNED32 count = 0;
    ASSERT_ADS_OK(AdsGetRecordCount(to, VE_IGNORE_FILTERS, &count));
    EXPECT_EQ(count, 2u) << "the records before the one refused stay";
    AdsCloseTable(to);
    AdsCloseTable(from);
}

TEST_F(TableCopies, AMemoValueGoesToAFileAndAFileIntoABinaryField) {
    ADSHANDLE blobs = create("Blobs.adt", "Id,Integer;Data,Binary;Name,Char,5");
    const std::string bytes("\x00\x01\xFFpicture\r\n", 12);
    const std::string in = dir_.file("in.bin");
    std::ofstream(in, std::ios::binary) << bytes;
    ASSERT_ADS_OK(AdsAppendRecord(blobs));
    ASSERT_ADS_OK(AdsFileToBinary(blobs, u8("Data"), VE_BINARY_BINARY, u8(in)));
    ASSERT_ADS_OK(AdsWriteRecord(blobs));
    const std::string out = dir_.file("out.bin");
    ASSERT_ADS_OK(AdsBinaryToFile(blobs, u8("Data"), u8(out)));
    std::ifstream read(out, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(read), {}), bytes);

    EXPECT_EQ(VE_FIELD_TYPE_MISMATCH, AdsBinaryToFile(blobs, u8("Name"), u8(out)));
    EXPECT_EQ(VE_FILE_ERROR,
              AdsFileToBinary(blobs, u8("Data"), VE_BINARY_BINARY, u8(dir_.file("missing.bin"))));
    EXPECT_EQ(VE_FILE_ERROR, AdsBinaryToFile(blobs, u8("Data"), u8(dir_.file("no/such/dir/x"))));
    UNSIGNED32 length = 0;
    ASSERT_ADS_OK(AdsGetBinaryLength(blobs, u8("Data"), &length));
    EXPECT_EQ(length, bytes.size()) << "a failed read changes nothing";
    AdsCloseTable(blobs);
}

}  // namespace
}  // namespace varelum::engine::testing
