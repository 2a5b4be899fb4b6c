// Progress and abort callbacks through the C ABI: long work reports how far it is and stops,
// keeping nothing, when a callback answers non-zero; SQL statements ask the abort callback.
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

// What the callbacks heard, and the percent at which they ask to stop (above 100: never).
std::vector<UNSIGNED16> gHeard;
std::vector<SIGNED64> gIds;
UNSIGNED16 gStopAt = 101;
int gAbortCalls = 0;
UNSIGNED32 gAbortAnswer = 0;

UNSIGNED32 Progress(UNSIGNED16 percent) {
    gHeard.push_back(percent);
    return percent >= gStopAt ? 1 : 0;
}

UNSIGNED32 Callback(UNSIGNED16 percent, UNSIGNED32 id) {
    gHeard.push_back(percent);
    gIds.push_back(id);
    return percent >= gStopAt ? 1 : 0;
}

UNSIGNED32 Callback64(UNSIGNED16 percent, SIGNED64 id) {
    gHeard.push_back(percent);
    gIds.push_back(id);
    return percent >= gStopAt ? 1 : 0;
}

UNSIGNED32 Abort() {
    ++gAbortCalls;
    return gAbortAnswer;
}

// Stops a statement at the gStopAfter-th question, whichever callback asks.
int gStopAfter = 0;
UNSIGNED32 AbortLater() {
    return ++gAbortCalls >= gStopAfter ? 1 : 0;
}
UNSIGNED32 CallbackLater(UNSIGNED16, UNSIGNED32) {
    return AbortLater();
}

class ProgressCallbacks : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        gHeard.clear();
        gIds.clear();
        gStopAt = 101;
        gAbortCalls = 0;
        gAbortAnswer = 0;
        make_stock();
    }
    void TearDown() override {
        AdsClearProgressCallback();
        AdsClearCallbackFunction();
        AdsClearSQLAbortFunc();
        AdsCloseTable(table_);
        EngineTest::TearDown();
    }

    // 600 records, every third deleted, with an index on Name; replaces the table there is.
    void make_stock() {
        if (table_ != 0) {
            AdsCloseTable(table_);
            std::filesystem::remove(dir_.file("Stock.adt"));
        }
        table_ = create("Stock.adt", "Id,Integer;Name,Char,20");
        for (int i = 1; i <= 600; ++i) {
            append_row(table_, {{"Id", std::to_string(i)}, {"Name", "item " + std::to_string(i)}});
            if (i % 3 == 0) {
                ASSERT_ADS_OK(AdsDeleteRecord(table_));
            }
        }
        ADSHANDLE index = 0;
        ASSERT_ADS_OK(AdsCreateIndex90(table_, nullptr, u8("NAME"), u8("Name"), nullptr, nullptr, 0,
                                       0, nullptr, &index));
        gHeard.clear();
    }

    UNSIGNED32 stored() {
        UNSIGNED32 count = 0;
        AdsGetRecordCount(table_, VE_IGNORE_FILTERS, &count);
        return count;
    }
    UNSIGNED16 indexes() {
        UNSIGNED16 count = 0;
        AdsGetNumIndexes(table_, &count);
        return count;
    }
    std::string check() {
        UNSIGNED8 report[4000] = {};
        UNSIGNED32 length = sizeof report;
        UNSIGNED32 rc = AdsCheckTable(table_, VE_CHECK_MEMOS, report, &length);
        return rc == VE_SUCCESS ? reinterpret_cast<char*>(report) : last_error_text();
    }

    ADSHANDLE table_ = 0;
};

struct LongWork {
    const char* name;
    std::function<UNSIGNED32(ADSHANDLE)> run;
    UNSIGNED32 records_after;
    UNSIGNED16 indexes_after;
};

const LongWork kLongWork[] = {
    {"pack", [](ADSHANDLE table) { return AdsPackTable(table); }, 400, 1},
    {"reindex", [](ADSHANDLE table) { return AdsReindex(table); }, 600, 1},
    {"index creation",
     [](ADSHANDLE table) {
         ADSHANDLE index = 0;
         return AdsCreateIndex90(table, nullptr, u8("ID"), u8("Id"), nullptr, nullptr, 0, 0,
                                 nullptr, &index);
     },
     600, 2},
};

void ExpectRisingFromZeroToHundred(const std::vector<UNSIGNED16>& heard) {
    ASSERT_GE(heard.size(), 3u);
    EXPECT_EQ(heard.front(), 0);
    EXPECT_EQ(heard.back(), 100);
    for (std::size_t i = 1; i < heard.size(); ++i) {
        EXPECT_LT(heard[i - 1], heard[i]) << "at report " << i;
    }
}

TEST_F(ProgressCallbacks, LongWorkReportsItsPercentAndAStopKeepsNothing) {
    for (const LongWork& work : kLongWork) {
        SCOPED_TRACE(work.name);
        make_stock();
        ASSERT_ADS_OK(AdsRegisterProgressCallback(&Progress));
        gStopAt = 50;
        EXPECT_EQ(VE_OPERATION_CANCELLED, work.run(table_));
        EXPECT_NE(std::string::npos, last_error_text().find("cancelled")) << last_error_text();
        EXPECT_EQ(gHeard.back(), 50) << "stopped at the first answer that asked to";
        EXPECT_EQ(stored(), 600u);
        EXPECT_EQ(indexes(), 1);
        EXPECT_EQ("OK\n", check());

        gHeard.clear();
        gStopAt = 101;
        ASSERT_ADS_OK(work.run(table_));
        ExpectRisingFromZeroToHundred(gHeard);
        EXPECT_EQ(stored(), work.records_after);
        EXPECT_EQ(indexes(), work.indexes_after);
        EXPECT_EQ("OK\n", check());
        ASSERT_ADS_OK(AdsClearProgressCallback());
    }
}

TEST_F(ProgressCallbacks, AStopAtTheFirstReportLeavesAPackUntouched) {
    ASSERT_ADS_OK(AdsRegisterProgressCallback(&Progress));
    gStopAt = 0;
    EXPECT_EQ(VE_OPERATION_CANCELLED, AdsPackTable(table_));
    EXPECT_EQ(gHeard, std::vector<UNSIGNED16>{0});
    EXPECT_EQ(stored(), 600u);
    UNSIGNED16 deleted = 0;
    ASSERT_ADS_OK(AdsGotoRecord(table_, 3));
    ASSERT_ADS_OK(AdsIsRecordDeleted(table_, &deleted));
    EXPECT_EQ(deleted, 1) << "record 3 is still there, deleted";
    EXPECT_EQ("OK\n", check());
}

TEST_F(ProgressCallbacks, TheGeneralCallbackHearsItsIdAndClearingStopsTheCalls) {
    ASSERT_ADS_OK(AdsRegisterCallbackFunction(&Callback, 77));
    ASSERT_ADS_OK(AdsReindex(table_));
    ExpectRisingFromZeroToHundred(gHeard);
    ASSERT_FALSE(gIds.empty());
    EXPECT_EQ(gIds.front(), 77);

    gHeard.clear();
    gIds.clear();
    const SIGNED64 wide = SIGNED64{1} << 40;
    ASSERT_ADS_OK(AdsRegisterCallbackFunction101(&Callback64, wide));
    ASSERT_ADS_OK(AdsReindex(table_));
    ASSERT_FALSE(gIds.empty());
    EXPECT_EQ(gIds.back(), wide) << "the 64-bit id whole; it replaced the 32-bit callback";
    EXPECT_EQ(gHeard.size(), gIds.size());

    ASSERT_ADS_OK(AdsClearCallbackFunction());
    gHeard.clear();
    ASSERT_ADS_OK(AdsReindex(table_));
    EXPECT_TRUE(gHeard.empty());
}

TEST_F(ProgressCallbacks, ACallbackIsOnlyCalledForItsOwnThreadsWork) {
    ASSERT_ADS_OK(AdsRegisterProgressCallback(&Progress));
    gStopAt = 0;
    UNSIGNED32 elsewhere = 1;
    std::thread([&] { elsewhere = AdsReindex(table_); }).join();
    EXPECT_EQ(elsewhere, VE_SUCCESS);
    EXPECT_TRUE(gHeard.empty());
}

TEST_F(ProgressCallbacks, TheSqlAbortCallbackCancelsALongUpdate) {
    ADSHANDLE statement = 0;
    ASSERT_ADS_OK(AdsCreateSQLStatement(connection_, &statement));
    ASSERT_ADS_OK(AdsRegisterSQLAbortFunc(&Abort));
    gAbortAnswer = 1;
    ADSHANDLE cursor = 0;
    UNSIGNED32 rc = AdsExecuteSQLDirect(
        statement, u8("UPDATE Stock SET Name = 'changed' WHERE Id > 0"), &cursor);
    EXPECT_EQ(rc, VE_SQL_ERROR);
    EXPECT_NE(std::string::npos, last_error_text().find("Cancelled")) << last_error_text();
    EXPECT_GE(gAbortCalls, 1);
    for (UNSIGNED32 record : {1u, 2u, 599u}) {
        ASSERT_ADS_OK(AdsGotoRecord(table_, record));
        EXPECT_EQ(text(table_, "Name", VE_TRIM_RIGHT), "item " + std::to_string(record));
    }

    gAbortAnswer = 0;
    ASSERT_ADS_OK(AdsExecuteSQLDirect(
        statement, u8("UPDATE Stock SET Name = 'changed' WHERE Id > 0"), &cursor));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 599));
    EXPECT_EQ(text(table_, "Name", VE_TRIM_RIGHT), "changed");
    ASSERT_ADS_OK(AdsClearSQLAbortFunc());
    AdsCloseSQLStatement(statement);
}

TEST_F(ProgressCallbacks, AnUpdateStoppedAnywhereChangesNoRow) {
    // Stopped at the 1st, 2nd, 4th, ... question until it runs whole, the statement is stopped
    // before it writes, while it writes and after; every stop must leave every row as it was.
    ADSHANDLE statement = 0;
    ASSERT_ADS_OK(AdsCreateSQLStatement(connection_, &statement));
    for (const bool general : {false, true}) {
        SCOPED_TRACE(general ? "general callback" : "SQL abort callback");
        if (general) {
            ASSERT_ADS_OK(AdsClearSQLAbortFunc());
            ASSERT_ADS_OK(AdsRegisterCallbackFunction(&CallbackLater, 7));
        } else {
            ASSERT_ADS_OK(AdsRegisterSQLAbortFunc(&AbortLater));
        }
        const std::string changed = general ? "second" : "first";
        auto names = [&] {
            std::vector<std::string> all;
            for (UNSIGNED32 record = 1; record <= 600; ++record) {
                EXPECT_EQ(AdsGotoRecord(table_, record), VE_SUCCESS);
                all.push_back(text(table_, "Name", VE_TRIM_RIGHT));
            }
            return all;
        };
        const std::vector<std::string> before = names();
        int stops = 0;
        for (gStopAfter = 1;; gStopAfter *= 2) {
            gAbortCalls = 0;
            ADSHANDLE cursor = 0;
            const UNSIGNED32 rc = AdsExecuteSQLDirect(
                statement, u8("UPDATE Stock SET Name = '" + changed + "' WHERE Id > 0"), &cursor);
            if (rc == VE_SUCCESS) {
                break;
            }
            ASSERT_EQ(rc, VE_SQL_ERROR) << last_error_text();
            ++stops;
            EXPECT_TRUE(names() == before) << "stopped at question " << gStopAfter;
            ASSERT_LT(gStopAfter, 1 << 20) << "never ran whole";
        }
        EXPECT_GE(stops, 2);
        ASSERT_ADS_OK(AdsGotoRecord(table_, 599));
        EXPECT_EQ(text(table_, "Name", VE_TRIM_RIGHT), changed);
    }
    AdsCloseSQLStatement(statement);
}

}  // namespace
}  // namespace varelum::engine::testing
