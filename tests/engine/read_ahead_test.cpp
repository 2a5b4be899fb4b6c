// A forward walk in record-number order is served from records the handle read ahead: every
// skip must still land where a fresh read would, whatever was changed between two skips (by
// another handle, another connection, the handle itself), whatever the handle's filter,
// deleted-record setting or order was switched to, and with any number of records cached.
#include <algorithm>
#include <functional>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

constexpr int kRows = 30;

void rename(ADSHANDLE table, std::uint32_t recno, const std::string& name) {
    ASSERT_ADS_OK(AdsGotoRecord(table, recno));
    ASSERT_ADS_OK(AdsSetField(table, u8("Name"), u8(name), static_cast<UNSIGNED32>(name.size())));
    ASSERT_ADS_OK(AdsWriteRecord(table));
}

class ReadAheadTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        ADSHANDLE table = create("Walk", "Id,Integer;Name,Char,10;");
        for (int id = 1; id <= kRows; ++id) {
            append_row(table, {{"Id", std::to_string(id)}, {"Name", "n" + std::to_string(id)}});
        }
        AdsCloseTable(table);
    }

    ADSHANDLE open_walk(ADSHANDLE connection = 0) {
        ADSHANDLE table = 0;
        EXPECT_ADS_OK(open("Walk", &table, 0, connection));
        return table;
    }

    // The current record as "recno:name", read through the whole image, as a walk reads it.
    static std::string here(ADSHANDLE table) {
        UNSIGNED32 recno = 0;
        EXPECT_ADS_OK(AdsGetRecordNum(table, VE_IGNORE_FILTERS, &recno));
        UNSIGNED8 image[64];
        UNSIGNED32 length = sizeof image;
        EXPECT_ADS_OK(AdsGetRecord(table, image, &length));
        return std::to_string(recno) + ":" + text(table, "Name", VE_TRIM_RIGHT);
    }

    // Skips n times and answers where the handle stands.
    static std::string skip(ADSHANDLE table, int n = 1) {
        for (int i = 0; i < n; ++i) {
            EXPECT_ADS_OK(AdsSkip(table, 1));
        }
        UNSIGNED16 eof = 0;
        EXPECT_ADS_OK(AdsAtEOF(table, &eof));
        return eof ? "EOF" : here(table);
    }

    // The rest of the walk from the current record to the end.
    static std::vector<std::string> rest(ADSHANDLE table) {
        std::vector<std::string> seen;
        for (std::string at = skip(table); at != "EOF"; at = skip(table)) {
            seen.push_back(at);
        }
        return seen;
    }

    // What a fresh handle sees after record `after`, to the end.
    std::vector<std::string> fresh_rest(std::uint32_t after) {
        ADSHANDLE table = open_walk();
        EXPECT_ADS_OK(AdsGotoRecord(table, after));
        auto seen = rest(table);
        AdsCloseTable(table);
        return seen;
    }
};

// What another handle does to the table while the walker stands on record 3 with the records
// after it read ahead.
struct ChangeCase {
    const char* name;
    bool other_connection;
    std::function<void(ADSHANDLE)> change;
};

void PrintTo(const ChangeCase& change, std::ostream* out) {
    *out << change.name << (change.other_connection ? " by another connection" : "");
}

class ReadAheadChangeTest : public ReadAheadTest,
                            public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(ReadAheadChangeTest, AWalkSeesWhatAnotherHandleChangedBetweenTwoSkips) {
    AdsShowDeleted(0);
    ADSHANDLE walker = open_walk();
    ASSERT_ADS_OK(AdsGotoTop(walker));
    ASSERT_EQ("3:n3", skip(walker, 2));
    ASSERT_EQ("4:n4", skip(walker));  // served from what was read ahead

    ADSHANDLE connection = connection_;
    if (GetParam().other_connection) {
        ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &connection));
    }
    ADSHANDLE other = open_walk(connection);
    GetParam().change(other);
    AdsCloseTable(other);
    if (connection != connection_) {
        AdsDisconnect(connection);
    }

    EXPECT_EQ(fresh_rest(4), rest(walker));
    AdsCloseTable(walker);
}

INSTANTIATE_TEST_SUITE_P(Changes, ReadAheadChangeTest,
                         ::testing::ValuesIn(std::vector<ChangeCase>{
                             {"changed", false, [](ADSHANDLE t) { rename(t, 5, "changed"); }},
                             {"changed", true, [](ADSHANDLE t) { rename(t, 5, "changed"); }},
                             {"deleted", false,
                              [](ADSHANDLE t) {
                                  ASSERT_ADS_OK(AdsGotoRecord(t, 5));
                                  ASSERT_ADS_OK(AdsDeleteRecord(t));
                              }},
                             {"deleted", true,
                              [](ADSHANDLE t) {
                                  ASSERT_ADS_OK(AdsGotoRecord(t, 6));
                                  ASSERT_ADS_OK(AdsDeleteRecord(t));
                              }},
                             {"appended", true,
                              [](ADSHANDLE t) {
                                  ASSERT_ADS_OK(AdsAppendRecord(t));
                                  ASSERT_ADS_OK(AdsSetField(t, u8("Name"), u8("added"), 5));
                                  ASSERT_ADS_OK(AdsWriteRecord(t));
                              }},
                         }),
                         [](const auto& info) {
                             return std::string(info.param.name) +
                                    (info.param.other_connection ? "ByConnection" : "");
                         });

TEST_F(ReadAheadTest, AWalkNearTheEndSeesARecordAppendedMeanwhile) {
    ADSHANDLE walker = open_walk();
    ASSERT_ADS_OK(AdsGotoRecord(walker, kRows - 3));
    ASSERT_EQ("28:n28", skip(walker));
    ADSHANDLE other = open_walk();
    ASSERT_ADS_OK(AdsAppendRecord(other));
    ASSERT_ADS_OK(AdsSetField(other, u8("Name"), u8("added"), 5));
    ASSERT_ADS_OK(AdsWriteRecord(other));
    AdsCloseTable(other);
    EXPECT_EQ((std::vector<std::string>{"29:n29", "30:n30", "31:added"}), rest(walker));
    AdsCloseTable(walker);
}

TEST_F(ReadAheadTest, TheHandlesOwnWritesAreSeenByItsNextSkips) {
    ADSHANDLE walker = open_walk();
    ASSERT_ADS_OK(AdsGotoTop(walker));
    ASSERT_EQ("2:n2", skip(walker));
    // A pending change of the current record is written by the skip that leaves it.
    ASSERT_ADS_OK(AdsSetField(walker, u8("Name"), u8("mine"), 4));
    ASSERT_EQ("3:n3", skip(walker));
    ASSERT_ADS_OK(AdsDeleteRecord(walker));
    ASSERT_ADS_OK(AdsAppendRecord(walker));
    ASSERT_ADS_OK(AdsSetField(walker, u8("Name"), u8("last"), 4));
    ASSERT_ADS_OK(AdsWriteRecord(walker));
    ASSERT_ADS_OK(AdsGotoRecord(walker, 1));
    auto seen = rest(walker);
    ASSERT_EQ(static_cast<std::size_t>(kRows), seen.size());
    EXPECT_EQ("2:mine", seen[0]);
    EXPECT_EQ("3:n3", seen[1]);  // deleted records are shown (the fixture's setting)
    EXPECT_EQ("31:last", seen.back());
    AdsCloseTable(walker);
}

TEST_F(ReadAheadTest, EveryCacheSizeGivesTheSameWalk) {
    ADSHANDLE editor = open_walk();
    for (std::uint32_t recno : {2u, 3u, 9u, 10u, 11u, 12u, 25u}) {
        ASSERT_ADS_OK(AdsGotoRecord(editor, recno));
        ASSERT_ADS_OK(AdsDeleteRecord(editor));
    }
    for (UNSIGNED16 show : {0, 1}) {
        AdsShowDeleted(show);
        std::vector<std::string> expected;
        for (UNSIGNED16 records : {0, 1, 10, 100}) {
            ADSHANDLE walker = open_walk();
            ASSERT_ADS_OK(AdsCacheRecords(walker, records));
            ASSERT_ADS_OK(AdsGotoTop(walker));
            std::vector<std::string> seen{here(walker)};
            for (std::string at = skip(walker); at != "EOF"; at = skip(walker)) {
                seen.push_back(at);
                if (at == "14:n14") {  // a change halfway, into what was read ahead
                    rename(editor, 16, "edited");
                }
            }
            if (expected.empty()) {
                expected = seen;
            }
            EXPECT_EQ(expected, seen) << records << " records cached, deleted shown " << show;
            rename(editor, 16, "n16");
            AdsCloseTable(walker);
        }
        EXPECT_NE(expected.end(), std::find(expected.begin(), expected.end(), "16:edited"));
    }
    AdsCloseTable(editor);
}

TEST_F(ReadAheadTest, FilterDeletedSettingAndOrderChangedMidWalk) {
    ADSHANDLE walker = open_walk();
    ADSHANDLE index = 0;
    ASSERT_ADS_OK(AdsCreateIndex90(walker, nullptr, u8("ByName"), u8("Name"), u8(""), u8(""),
                                   VE_INDEX_DESCENDING, 0, nullptr, &index));
    ASSERT_ADS_OK(AdsGotoTop(walker));
    ASSERT_EQ("3:n3", skip(walker, 2));

    ASSERT_ADS_OK(AdsSetFilter(walker, u8("Id > 10 .AND. Id <> 12")));
    EXPECT_EQ("11:n11", skip(walker));
    EXPECT_EQ("13:n13", skip(walker));
    ASSERT_ADS_OK(AdsClearFilter(walker));
    EXPECT_EQ("14:n14", skip(walker));

    ADSHANDLE editor = open_walk();
    ASSERT_ADS_OK(AdsGotoRecord(editor, 15));
    ASSERT_ADS_OK(AdsDeleteRecord(editor));
    AdsCloseTable(editor);
    AdsShowDeleted(0);
    EXPECT_EQ("16:n16", skip(walker));
    AdsShowDeleted(1);

    // A skip through the index moves in key order ("n16" falls to "n15"); the table handle
    // then goes on in record order from where that left it.
    ASSERT_ADS_OK(AdsSkip(index, 1));
    EXPECT_EQ("15:n15", here(walker));
    EXPECT_EQ("16:n16", skip(walker));
    EXPECT_EQ("17:n17", skip(walker));
    AdsCloseTable(walker);
}

TEST_F(ReadAheadTest, PackAndZapInTheMiddleOfAWalk) {
    ADSHANDLE walker = open_walk();
    ASSERT_ADS_OK(AdsGotoTop(walker));
    ASSERT_EQ("2:n2", skip(walker));
    for (std::uint32_t recno : {1u, 3u, 4u}) {
        ASSERT_ADS_OK(AdsGotoRecord(walker, recno));
        ASSERT_ADS_OK(AdsDeleteRecord(walker));
    }
    ASSERT_ADS_OK(AdsGotoRecord(walker, 2));
    ASSERT_EQ("5:n5", skip(walker, 3));
    ASSERT_ADS_OK(AdsGotoRecord(walker, 2));
    ASSERT_ADS_OK(AdsPackTable(walker));  // renumbers: n2 is 1, n5 is 2, ...
    EXPECT_EQ("1:n2", here(walker));
    EXPECT_EQ("2:n5", skip(walker));
    EXPECT_EQ("3:n6", skip(walker));
    ASSERT_ADS_OK(AdsZapTable(walker));
    EXPECT_EQ("EOF", skip(walker));
    AdsCloseTable(walker);
}

}  // namespace
}  // namespace varelum::engine::testing
