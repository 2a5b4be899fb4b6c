// Index tags through the C ABI: each kind in both orders, conditions, nulls and duplicates,
// unique refusals, descriptions, index files beside the table, custom keys, and keys kept in
// step by every kind of write.
#include "index_test_support.h"

namespace varelum::engine::testing {
namespace {

using Recnos = std::vector<UNSIGNED32>;

class Indexes : public IndexTest {
  protected:
    void SetUp() override {
        IndexTest::SetUp();
        table_ = create("Fruit", "Name,Char,10;Qty,Integer;Born,Date;");
        append_row(table_, {{"Name", "pear"}, {"Qty", "3"}, {"Born", "02/01/2020"}});
        append_row(table_, {{"Name", "apple"}, {"Qty", "7"}, {"Born", "01/15/2020"}});
        append_row(table_, {{"Qty", "1"}});  // Name null
        append_row(table_, {{"Name", "fig"}, {"Qty", "7"}, {"Born", "03/01/2019"}});
        append_row(table_, {{"Name", "apple"}, {"Qty", "2"}});
    }
    ADSHANDLE table_ = 0;
};

TEST_F(Indexes, EachKindWalksItsKeyOrderBothWaysWithNullsFirstAndDuplicatesInRecordOrder) {
    struct Case {
        const char* expression;
        UNSIGNED32 options;
        Recnos order;
    };
    const Case cases[] = {
        {"Name", 0, {3, 2, 5, 4, 1}},
        {"Name", VE_INDEX_DESCENDING, {1, 4, 2, 5, 3}},
        {"Qty", 0, {3, 5, 1, 2, 4}},
        {"Qty", VE_INDEX_DESCENDING, {2, 4, 1, 5, 3}},
        {"Born", 0, {3, 5, 4, 2, 1}},
        {"Qty;Name", 0, {3, 5, 1, 2, 4}},
        {"UPPER(Name) + STR(Qty, 3)", 0, {3, 5, 2, 4, 1}},
        {"upper( Name );Qty", 0, {3, 5, 2, 4, 1}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        ADSHANDLE order = index(table_, "T" + std::to_string(n++), c.expression, c.options);
        EXPECT_EQ(c.order, walk(order, table_));
        Recnos back(c.order.rbegin(), c.order.rend());
        EXPECT_EQ(back, walk_back(order, table_));
    }
    // The table handle still walks in record order.
    EXPECT_EQ((Recnos{1, 2, 3, 4, 5}), walk(table_, table_));
}

TEST_F(Indexes, AConditionLeavesRecordsOutAndEditsMoveThemInAndOut) {
    ADSHANDLE order = index(table_, "BIG", "Name", 0, "Qty > 2");
    EXPECT_EQ((Recnos{2, 4, 1}), walk(order, table_));
    EXPECT_EQ(3u, count(order, VE_IGNORE_FILTERS));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 5));
    ASSERT_ADS_OK(AdsSetField(table_, u8("Qty"), u8("9"), 1));
    ASSERT_ADS_OK(AdsWriteRecord(table_));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 1));
    ASSERT_ADS_OK(AdsSetField(table_, u8("Qty"), u8("0"), 1));
    ASSERT_ADS_OK(AdsWriteRecord(table_));
    EXPECT_EQ((Recnos{2, 5, 4}), walk(order, table_));
    UNSIGNED8 condition[32];
    UNSIGNED16 length = sizeof condition;
    ASSERT_ADS_OK(AdsGetIndexCondition(order, condition, &length));
    EXPECT_EQ("Qty > 2", std::string(reinterpret_cast<char*>(condition), length));
}

TEST_F(Indexes, AUniqueIndexRefusesADuplicateAndChangesNothing) {
    ADSHANDLE order = index(table_, "QTY", "Qty", VE_INDEX_DESCENDING);
    (void)order;
    ADSHANDLE unique = 0;
    EXPECT_EQ(VE_DUPLICATE_KEY, AdsCreateIndex90(table_, nullptr, u8("U"), u8("Qty"), nullptr,
                                                 nullptr, VE_INDEX_UNIQUE, 0, nullptr, &unique));
    EXPECT_NE(std::string::npos, last_error_text().find("record"));
    EXPECT_EQ(VE_INDEX_NOT_OPEN, AdsGetIndexHandle(table_, u8("U"), &unique));
    unique = index(table_, "UNAME", "Name", VE_INDEX_UNIQUE, "!EMPTY(Name) .AND. Qty > 2");
    ASSERT_ADS_OK(AdsAppendRecord(table_));
    ASSERT_ADS_OK(AdsSetField(table_, u8("Name"), u8("fig"), 3));
    ASSERT_ADS_OK(AdsSetField(table_, u8("Qty"), u8("5"), 1));
    EXPECT_EQ(VE_DUPLICATE_KEY, AdsWriteRecord(table_));
    ASSERT_ADS_OK(AdsCancelUpdate(table_));
    EXPECT_EQ(5u, count(table_, VE_IGNORE_FILTERS));
    // An edit into a taken key is refused too, and leaves the record as it was.
    ASSERT_ADS_OK(AdsGotoRecord(table_, 1));
    ASSERT_ADS_OK(AdsSetField(table_, u8("Name"), u8("apple"), 5));
    EXPECT_EQ(VE_DUPLICATE_KEY, AdsWriteRecord(table_));
    ASSERT_ADS_OK(AdsCancelUpdate(table_));
    EXPECT_EQ("pear", text(table_, "Name", VE_TRIM_RIGHT));
    UNSIGNED32 rc = 0;
    EXPECT_EQ("OK", check_report(table_, &rc).substr(0, 2));
    EXPECT_EQ(VE_SUCCESS, rc);
}

TEST_F(Indexes, CreationRefusesFaultsWithClearCodes) {
    ADSHANDLE table = create("Wide", "Big,Char,500;Memo1,Memo;");
    ADSHANDLE handle = 0;
    EXPECT_EQ(VE_KEY_TOO_LONG, AdsCreateIndex90(table, nullptr, u8("B"), u8("Big"), nullptr,
                                                nullptr, 0, 0, nullptr, &handle));
    EXPECT_NE(std::string::npos, last_error_text().find("480"));
    EXPECT_EQ(VE_INVALID_EXPRESSION, AdsCreateIndex90(table, nullptr, u8("M"), u8("Memo1"), nullptr,
                                                      nullptr, 0, 0, nullptr, &handle));
    EXPECT_EQ(VE_INVALID_EXPRESSION, AdsCreateIndex90(table_, nullptr, u8("X"), u8("Name +"),
                                                      nullptr, nullptr, 0, 0, nullptr, &handle));
    EXPECT_NE(std::string::npos, last_error_text().find("position"));
    EXPECT_EQ(VE_INVALID_EXPRESSION,
              AdsCreateIndex90(table_, nullptr, u8("X"), u8("Name"), u8("Qty + 1"), nullptr, 0, 0,
                               nullptr, &handle));
    EXPECT_EQ(VE_UNKNOWN_COLLATION, AdsCreateIndex90(table_, nullptr, u8("X"), u8("Name"), nullptr,
                                                     nullptr, 0, 0, u8("KLINGON_XX"), &handle));
    // Only a text segment of a field list can be upper-cased.
    EXPECT_EQ(VE_INVALID_EXPRESSION,
              AdsCreateIndex90(table_, nullptr, u8("X"), u8("UPPER(Qty);Name"), nullptr, nullptr, 0,
                               0, nullptr, &handle));
    index(table_, "NAME", "Name");
    EXPECT_EQ(VE_INDEX_EXISTS, AdsCreateIndex90(table_, nullptr, u8("name"), u8("Qty"), nullptr,
                                                nullptr, 0, 0, nullptr, &handle));
}

TEST_F(Indexes, TagsDescribeThemselves) {
    ADSHANDLE byname = index(table_, "ByName", "Name;Qty", VE_INDEX_DESCENDING);
    ADSHANDLE byexpr = index(table_, "ByExpr", "UPPER(Name)");
    UNSIGNED16 n = 0;
    ASSERT_ADS_OK(AdsGetNumIndexes(table_, &n));
    EXPECT_EQ(2, n);
    ADSHANDLE handles[1];
    UNSIGNED16 room = 1;
    EXPECT_EQ(VE_BUFFER_TOO_SMALL, AdsGetAllIndexes(table_, handles, &room));
    EXPECT_EQ(2, room);
    EXPECT_EQ(byname, handles[0]);
    ADSHANDLE found = 0;
    ASSERT_ADS_OK(AdsGetIndexHandle(table_, u8("BYEXPR"), &found));
    EXPECT_EQ(byexpr, found);
    ASSERT_ADS_OK(AdsGetIndexHandleByOrder(table_, 1, &found));
    EXPECT_EQ(byname, found);
    EXPECT_EQ(VE_INDEX_NOT_OPEN, AdsGetIndexHandle(table_, u8("nope"), &found));
    UNSIGNED16 segments = 0;
    ASSERT_ADS_OK(AdsGetNumSegments(byname, &segments));
    EXPECT_EQ(2, segments);
    UNSIGNED8 name[64];
    UNSIGNED16 length = sizeof name;
    ASSERT_ADS_OK(AdsGetSegmentFieldname(byname, 1, name, &length));
    EXPECT_STREQ("Qty", reinterpret_cast<char*>(name));
    ASSERT_ADS_OK(AdsGetNumSegments(byexpr, &segments));
    EXPECT_EQ(0, segments);
    UNSIGNED16 yes = 9;
    ASSERT_ADS_OK(AdsIsIndexDescending(byname, &yes));
    EXPECT_EQ(1, yes);
    ASSERT_ADS_OK(AdsIsIndexUnique(byname, &yes));
    EXPECT_EQ(0, yes);
    ASSERT_ADS_OK(AdsIsIndexCustom(byname, &yes));
    EXPECT_EQ(0, yes);
    EXPECT_EQ(VE_NOT_APPLICABLE, AdsIsIndexCustom(table_, &yes));
    UNSIGNED32 flags = 0;
    ASSERT_ADS_OK(AdsGetIndexFlags(byname, &flags));
    EXPECT_EQ(UNSIGNED32{VE_INDEX_DESCENDING | VE_INDEX_COMPOUND}, flags);
    UNSIGNED16 key_length = 0;
    ASSERT_ADS_OK(AdsGetKeyLength(byname, &key_length));
    EXPECT_EQ(1 + 10 + 1 + 8, key_length);
    UNSIGNED16 type = 0;
    ASSERT_ADS_OK(AdsGetKeyType(byexpr, &type));
    EXPECT_EQ(VE_EXPR_STRING, type);
    UNSIGNED16 handle_type = 0;
    ASSERT_ADS_OK(AdsGetHandleType(byexpr, &handle_type));
    EXPECT_EQ(VE_HANDLE_INDEX, handle_type);
    // Without a name: the order last moved through.
    ASSERT_ADS_OK(AdsGetIndexHandle(table_, nullptr, &found));
    EXPECT_EQ(0u, found);
    ASSERT_ADS_OK(AdsGotoTop(byexpr));
    ASSERT_ADS_OK(AdsGetIndexHandle(table_, nullptr, &found));
    EXPECT_EQ(byexpr, found);
    // Index handles die with their table handle.
    ASSERT_ADS_OK(AdsCloseTable(table_));
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsGotoTop(byexpr));
}

TEST_F(Indexes, TheTablesOwnTagsOpenWithItAndAFileOfItsOwnOpensOnRequest) {
    index(table_, "NAME", "Name");
    ADSHANDLE extra = index(table_, "QTY", "Qty", 0, "", "Extra");
    EXPECT_TRUE(std::filesystem::exists(dir_.file("Extra.adi")));
    ADSHANDLE other = 0;
    ASSERT_ADS_OK(open("Fruit", &other));
    UNSIGNED16 n = 0;
    ASSERT_ADS_OK(AdsGetNumIndexes(other, &n));
    EXPECT_EQ(1, n);
    ADSHANDLE opened[4];
    UNSIGNED16 room = 4;
    ASSERT_ADS_OK(AdsOpenIndex(other, u8("Extra.adi"), opened, &room));
    ASSERT_EQ(1, room);
    EXPECT_EQ((Recnos{3, 5, 1, 2, 4}), walk(opened[0], other));
    EXPECT_EQ(VE_INDEX_ALREADY_OPEN, AdsOpenIndex(other, u8("Extra"), opened, &room));
    ASSERT_ADS_OK(AdsCloseIndex(opened[0]));
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsGotoTop(opened[0]));
    EXPECT_EQ(VE_INDEX_FILE_NOT_FOUND, AdsOpenIndex(other, u8("Missing.adi"), opened, &room));
    // Closed or not, its keys follow every write.
    append_row(other, {{"Name", "kiwi"}, {"Qty", "0"}});
    EXPECT_EQ((Recnos{6, 3, 5, 1, 2, 4}), walk(extra, table_));
    UNSIGNED8 file[300];
    UNSIGNED16 length = sizeof file;
    ASSERT_ADS_OK(AdsGetIndexFilename(extra, VE_NAME_BASE_AND_EXTENSION, file, &length));
    EXPECT_STREQ("Extra.adi", reinterpret_cast<char*>(file));
    ASSERT_ADS_OK(AdsCloseTable(other));
}

TEST_F(Indexes, KeysFollowDeletesRecallsPackZapAndReindex) {
    ADSHANDLE order = index(table_, "NAME", "Name");
    ADSHANDLE born = index(table_, "BORN", "Born", VE_INDEX_DESCENDING, "!EMPTY(Born)");
    ASSERT_ADS_OK(AdsGotoRecord(table_, 2));
    ASSERT_ADS_OK(AdsDeleteRecord(table_));
    ASSERT_ADS_OK(AdsShowDeleted(0));
    EXPECT_EQ((Recnos{3, 5, 4, 1}), walk(order, table_));
    EXPECT_EQ(4u, count(order, VE_RESPECT_FILTERS));
    ASSERT_ADS_OK(AdsPackTable(table_));
    // Records 3, 4, 5 became 2, 3, 4.
    EXPECT_EQ((Recnos{2, 4, 3, 1}), walk(order, table_));
    EXPECT_EQ((Recnos{1, 3}), walk(born, table_));
    UNSIGNED32 rc = 0;
    EXPECT_EQ("OK", check_report(table_, &rc).substr(0, 2));
    ASSERT_ADS_OK(AdsReindex61(table_, 0));
    EXPECT_EQ((Recnos{2, 4, 3, 1}), walk(order, table_));
    ASSERT_ADS_OK(AdsZapTable(table_));
    EXPECT_EQ(Recnos{}, walk(order, table_));
    append_row(table_, {{"Name", "b"}});
    append_row(table_, {{"Name", "a"}});
    EXPECT_EQ((Recnos{2, 1}), walk(order, table_));
    EXPECT_EQ("OK", check_report(table_, &rc).substr(0, 2));
    EXPECT_EQ(VE_SUCCESS, rc);
    ASSERT_ADS_OK(AdsDeleteIndex(born));
    UNSIGNED16 n = 0;
    ASSERT_ADS_OK(AdsGetNumIndexes(table_, &n));
    EXPECT_EQ(1, n);
}

TEST_F(Indexes, ACustomIndexHoldsOnlyTheKeysAddedToItAndEditsMoveThem) {
    ADSHANDLE custom = index(table_, "PICK", "Name", VE_INDEX_CUSTOM);
    EXPECT_EQ(Recnos{}, walk(custom, table_));
    for (UNSIGNED32 r : {4u, 1u}) {
        ASSERT_ADS_OK(AdsGotoRecord(table_, r));
        ASSERT_ADS_OK(AdsAddCustomKey(custom));
    }
    EXPECT_EQ((Recnos{4, 1}), walk(custom, table_));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 1));
    ASSERT_ADS_OK(AdsSetField(table_, u8("Name"), u8("cherry"), 6));
    ASSERT_ADS_OK(AdsWriteRecord(table_));
    EXPECT_EQ((Recnos{1, 4}), walk(custom, table_));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 4));
    ASSERT_ADS_OK(AdsDeleteCustomKey(custom));
    EXPECT_EQ((Recnos{1}), walk(custom, table_));
    UNSIGNED16 yes = 0;
    ASSERT_ADS_OK(AdsIsIndexCustom(custom, &yes));
    EXPECT_EQ(1, yes);
    UNSIGNED32 rc = 0;
    EXPECT_EQ("OK", check_report(table_, &rc).substr(0, 2));
}

TEST_F(Indexes, KeyNumbersAndRelativePositions) {
    ADSHANDLE order = index(table_, "NAME", "Name");
    ASSERT_ADS_OK(AdsGotoRecord(table_, 4));  // fig: the 4th of 5 keys
    UNSIGNED32 key = 0;
    ASSERT_ADS_OK(AdsGetKeyNum(order, VE_IGNORE_FILTERS, &key));
    EXPECT_EQ(4u, key);
    double position = 0;
    ASSERT_ADS_OK(AdsGetRelKeyPos(order, &position));
    EXPECT_EQ(4u, static_cast<UNSIGNED32>(5 * position));
    ASSERT_ADS_OK(AdsSetRelKeyPos(order, 2.0 / 5));
    EXPECT_EQ(2u, recno(table_));
    ASSERT_ADS_OK(AdsSetRelKeyPos(order, 1.0));
    EXPECT_EQ(1u, recno(table_));
    UNSIGNED32 keys = 0;
    ASSERT_ADS_OK(AdsGetKeyCount(order, VE_IGNORE_FILTERS, &keys));
    EXPECT_EQ(5u, keys);
    ADSHANDLE none = index(table_, "NONE", "Name", 0, "Qty > 100");
    EXPECT_EQ(VE_NO_KEY_POSITION, AdsGetRelKeyPos(none, &position));
}

}  // namespace
}  // namespace varelum::engine::testing
