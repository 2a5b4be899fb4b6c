// A failing disk under the engine, through its C ABI: the engine's test build installs a
// fault-injecting environment that fails the table file's own writes and syncs with ENOSPC or
// EIO. Every operation must answer a clear code and text, keep what was committed before it,
// leave a table that passes its check, and let the next write succeed.
#include <cerrno>
#include <functional>

#include "engine/env/testing_hooks.h"
#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class Faults : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        VarelumTestInstallFaults();
        table_ = create("Stock", "Id,AutoInc;Name,Char,20;Notes,Memo;");
        for (const char* name : {"bolt", "nut", "washer"}) {
            append_row(table_, {{"Name", name}, {"Notes", std::string(name) + " notes"}});
        }
    }
    void TearDown() override {
        AdsCloseTable(table_);
        VarelumTestRemoveFaults();
        EngineTest::TearDown();
    }

    std::string path() const { return dir_.file("Stock.adt"); }

    // The names of the records, in record order, with deleted ones marked.
    std::string rows(ADSHANDLE table) {
        std::string out;
        UNSIGNED16 eof = 0;
        for (UNSIGNED32 rc = AdsGotoTop(table);
             rc == VE_SUCCESS && AdsAtEOF(table, &eof) == VE_SUCCESS && !eof;
             rc = AdsSkip(table, 1)) {
            UNSIGNED16 deleted = 0;
            AdsIsRecordDeleted(table, &deleted);
            out += text(table, "Name", VE_TRIM_RIGHT) + (deleted ? "*" : "") + ";";
        }
        return out;
    }

    std::string check() {
        UNSIGNED8 report[4000] = {};
        UNSIGNED32 length = sizeof report;
        UNSIGNED32 rc = AdsCheckTable(table_, VE_CHECK_MEMOS, report, &length);
        return rc == VE_SUCCESS ? reinterpret_cast<char*>(report) : last_error_text();
    }

    ADSHANDLE table_ = 0;
};

struct Operation {
    const char* name;
    std::function<UNSIGNED32(ADSHANDLE)> run;
    const char* rows_after;  // the table once the operation has succeeded
};

// Each operation starts on bolt, nut, washer (records 1 to 3) with nut deleted.
const Operation kOperations[] = {
    {"append",
     [](ADSHANDLE table) {
         UNSIGNED32 rc = AdsAppendRecord(table);
         if (rc == VE_SUCCESS) {
             rc = AdsSetString(table, u8("Name"), u8("screw"), 5);
         }
         if (rc == VE_SUCCESS) {
             rc = AdsSetString(table, u8("Notes"), u8("long screw"), 10);
         }
         return rc == VE_SUCCESS ? AdsWriteRecord(table) : rc;
     },
     "bolt;nut*;washer;screw;"},
    {"edit",
     [](ADSHANDLE table) {
         UNSIGNED32 rc = AdsGotoRecord(table, 3);
         if (rc == VE_SUCCESS) {
             rc = AdsSetString(table, u8("Name"), u8("spring washer"), 13);
         }
         return rc == VE_SUCCESS ? AdsWriteRecord(table) : rc;
     },
     "bolt;nut*;spring washer;"},
    {"index creation",
     [](ADSHANDLE table) {
         ADSHANDLE index = 0;
         return AdsCreateIndex90(table, nullptr, u8("NAME"), u8("Name"), nullptr, nullptr, 0, 0,
                                 nullptr, &index);
     },
     "bolt;nut*;washer;"},
    {"pack", [](ADSHANDLE table) { return AdsPackTable(table); }, "bolt;washer;"},
};

struct Failure {
    int error;
    UNSIGNED32 code;
    const char* text;  // part of the engine's error text
};

const Failure kFailures[] = {
    {ENOSPC, VE_TABLE_FULL, "No space left on device"},
    {EIO, VE_FILE_ERROR, "Input/output error"},
};

TEST_F(Faults, AFailedWriteAnswersClearlyKeepsTheTableAndTheNextWriteSucceeds) {
    ASSERT_ADS_OK(AdsGotoRecord(table_, 2));
    ASSERT_ADS_OK(AdsDeleteRecord(table_));
    const std::string before = rows(table_);
    ASSERT_EQ("bolt;nut*;washer;", before);
    for (const auto& failure : kFailures) {
        for (const auto& operation : kOperations) {
            SCOPED_TRACE(std::string(operation.name) + " failing with " +
                         std::strerror(failure.error));
            // Each case on its own copy of the table, with nut deleted.
            AdsCloseTable(table_);
            std::filesystem::remove(path());
            table_ = create("Stock", "Id,AutoInc;Name,Char,20;Notes,Memo;");
            for (const char* name : {"bolt", "nut", "washer"}) {
                append_row(table_, {{"Name", name}, {"Notes", std::string(name) + " notes"}});
            }
            ASSERT_ADS_OK(AdsGotoRecord(table_, 2));
            ASSERT_ADS_OK(AdsDeleteRecord(table_));

            VarelumTestFailWrites(path().c_str(), failure.error, 0, 1);
            EXPECT_EQ(failure.code, operation.run(table_));
            std::string error = last_error_text();
            EXPECT_NE(std::string::npos, error.find(failure.text)) << error;
            EXPECT_NE(std::string::npos, error.find("Stock.adt")) << error;
            EXPECT_EQ(0, VarelumTestPendingFaults()) << "the fault never hit the file";
            AdsCancelUpdate(table_);

            EXPECT_EQ(before, rows(table_));
            EXPECT_EQ("OK\n", check());
            UNSIGNED16 indexes = 0;
            AdsGetNumIndexes(table_, &indexes);
            EXPECT_EQ(0, indexes);

            EXPECT_ADS_OK(operation.run(table_));
            EXPECT_EQ(operation.rows_after, rows(table_));
            EXPECT_EQ("OK\n", check());
        }
    }
}

TEST_F(Faults, AFailedWriteLosesNothingForAnotherHandleOrAfterReopening) {
    ADSHANDLE other = 0;
    ASSERT_ADS_OK(open("Stock", &other));
    VarelumTestFailWrites(path().c_str(), EIO, 0, 1);
    ASSERT_ADS_OK(AdsGotoRecord(table_, 1));
    ASSERT_ADS_OK(AdsSetString(table_, u8("Name"), u8("anchor"), 6));
    EXPECT_EQ(VE_FILE_ERROR, AdsWriteRecord(table_));
    AdsCancelUpdate(table_);
    EXPECT_EQ("bolt;nut;washer;", rows(other));
    ASSERT_ADS_OK(AdsGotoRecord(other, 1));
    EXPECT_EQ("bolt notes", text(other, "Notes"));
    AdsCloseTable(other);
    AdsCloseTable(table_);
    table_ = 0;
    ASSERT_ADS_OK(open("Stock", &table_));
    EXPECT_EQ("bolt;nut;washer;", rows(table_));
    EXPECT_EQ("OK\n", check());
}

TEST_F(Faults, AFailedSyncOfACommitIsAnErrorAndTheNextCommitSucceeds) {
    VarelumTestFailSyncs(path().c_str(), EIO, 0, 1);
    ASSERT_ADS_OK(AdsAppendRecord(table_));
    ASSERT_ADS_OK(AdsSetString(table_, u8("Name"), u8("rivet"), 5));
    EXPECT_EQ(VE_FILE_ERROR, AdsWriteRecord(table_));
    EXPECT_NE(std::string::npos, last_error_text().find("Input/output error")) << last_error_text();
    EXPECT_EQ(0, VarelumTestPendingFaults());
    AdsCancelUpdate(table_);
    EXPECT_EQ("bolt;nut;washer;", rows(table_));
    EXPECT_EQ("OK\n", check());
    append_row(table_, {{"Name", "rivet"}});
    EXPECT_EQ("bolt;nut;washer;rivet;", rows(table_));
}

TEST_F(Faults, ATableWhoseFileCannotGrowIsFullAndKeepsItsRecords) {
    // The disk fills while rows are appended: every row before the full one stays, the full
    // one is refused as "table full", and once there is room again appending goes on.
    VarelumTestFailWrites(path().c_str(), ENOSPC, 0, 1000000);
    ASSERT_ADS_OK(AdsAppendRecord(table_));
    ASSERT_ADS_OK(AdsSetString(table_, u8("Notes"), u8(std::string(20000, 'x')), 20000));
    EXPECT_EQ(VE_TABLE_FULL, AdsWriteRecord(table_));
    EXPECT_NE(std::string::npos, last_error_text().find("The table is full")) << last_error_text();
    AdsCancelUpdate(table_);
    EXPECT_EQ(VE_TABLE_FULL, AdsDeleteRecord(table_));  // every write is refused while full
    EXPECT_EQ("bolt;nut;washer;", rows(table_));
    EXPECT_EQ("OK\n", check());
    VarelumTestFailWrites(path().c_str(), 0, 0, 0);
    append_row(table_, {{"Name", "rivet"}, {"Notes", std::string(20000, 'x')}});
    EXPECT_EQ("bolt;nut;washer;rivet;", rows(table_));
    EXPECT_EQ("OK\n", check());
}

TEST_F(Faults, AWriteFailingAnywhereInACommitLosesNothingOnceTheTableIsOpenedAgain) {
    // The first writes of a commit are its pages, a later one the storage's own header page;
    // after a failed header write the storage refuses the file until it is opened afresh.
    for (int skip = 0; skip < 4; ++skip) {
        SCOPED_TRACE("failing write " + std::to_string(skip + 1) + " of the commit");
        VarelumTestFailWrites(path().c_str(), EIO, skip, 1);
        ASSERT_ADS_OK(AdsGotoRecord(table_, 1));
        ASSERT_ADS_OK(AdsSetString(table_, u8("Name"), u8("anchor"), 6));
        UNSIGNED32 rc = AdsWriteRecord(table_);
        if (rc != VE_SUCCESS) {
            EXPECT_EQ(VE_FILE_ERROR, rc);
            EXPECT_NE(std::string::npos, last_error_text().find("Input/output error"))
                << last_error_text();
            AdsCancelUpdate(table_);
            VarelumTestFailWrites(path().c_str(), 0, 0, 0);
            // Either the table reads on, or it says how to get it back.
            UNSIGNED32 after = AdsGotoRecord(table_, 2);
            if (after != VE_SUCCESS) {
                EXPECT_EQ(VE_FILE_ERROR, after);
                EXPECT_NE(std::string::npos, last_error_text().find("open it again"))
                    << last_error_text();
            }
        }
        VarelumTestFailWrites(path().c_str(), 0, 0, 0);
        ASSERT_ADS_OK(AdsCloseTable(table_));
        ASSERT_ADS_OK(open("Stock", &table_));
        EXPECT_EQ(rc == VE_SUCCESS ? "anchor;nut;washer;" : "bolt;nut;washer;", rows(table_));
        EXPECT_EQ("OK\n", check());
        ASSERT_ADS_OK(AdsGotoRecord(table_, 1));
        ASSERT_ADS_OK(AdsSetString(table_, u8("Name"), u8("bolt"), 4));
        EXPECT_ADS_OK(AdsWriteRecord(table_));
    }
}

TEST_F(Faults, ATableAtItsSizeLimitIsFullAndKeepsItsRecords) {
    VarelumTestSetVariable("VARELUM_ENGINE_TABLE_LIMIT", "1048576");
    ADSHANDLE small = create("Small", "Name,Char,10;Notes,Memo;");
    const std::string notes(20000, 'n');
    int appended = 0;
    UNSIGNED32 rc = VE_SUCCESS;
    while (appended < 200) {
        ASSERT_ADS_OK(AdsAppendRecord(small));
        std::string name = std::to_string(appended);
        ASSERT_ADS_OK(
            AdsSetString(small, u8("Name"), u8(name), static_cast<UNSIGNED32>(name.size())));
        ASSERT_ADS_OK(AdsSetString(small, u8("Notes"), u8(notes), 20000));
        rc = AdsWriteRecord(small);
        if (rc != VE_SUCCESS) {
            break;
        }
        ++appended;
    }
    ASSERT_EQ(VE_TABLE_FULL, rc) << "a table of 1 MiB took 200 memos of 20,000 bytes";
    EXPECT_NE(std::string::npos, last_error_text().find("The table is full")) << last_error_text();
    EXPECT_NE(std::string::npos, last_error_text().find("Small.adt")) << last_error_text();
    AdsCancelUpdate(small);
    EXPECT_GT(appended, 10);
    UNSIGNED32 count = 0;
    ASSERT_ADS_OK(AdsGetRecordCount(small, VE_IGNORE_FILTERS, &count));
    EXPECT_EQ(static_cast<UNSIGNED32>(appended), count);
    ASSERT_ADS_OK(AdsGotoBottom(small));
    EXPECT_EQ(notes, text(small, "Notes"));

    // With room again (the limit lifted, the table opened afresh) appending goes on.
    ASSERT_ADS_OK(AdsCloseTable(small));
    VarelumTestSetVariable("VARELUM_ENGINE_TABLE_LIMIT", nullptr);
    ASSERT_ADS_OK(open("Small", &small));
    append_row(small, {{"Name", "more"}, {"Notes", notes}});
    ASSERT_ADS_OK(AdsGetRecordCount(small, VE_IGNORE_FILTERS, &count));
    EXPECT_EQ(static_cast<UNSIGNED32>(appended + 1), count);
    UNSIGNED8 report[1000] = {};
    UNSIGNED32 length = sizeof report;
    EXPECT_ADS_OK(AdsCheckTable(small, VE_CHECK_MEMOS, report, &length));
    EXPECT_STREQ("OK\n", reinterpret_cast<char*>(report));
    AdsCloseTable(small);
}

TEST_F(Faults, TheEnginesClockStampsModificationTimes) {
    ADSHANDLE stamped = create("Stamped", "Name,Char,10;Changed,ModTime;");
    std::tm when{};
    when.tm_year = 2025 - 1900;
    when.tm_mon = 6;
    when.tm_mday = 4;
    when.tm_hour = 9;
    when.tm_min = 30;
    when.tm_isdst = -1;
    VarelumTestSetClock(static_cast<std::int64_t>(std::mktime(&when)));
    append_row(stamped, {{"Name", "a"}});
    EXPECT_EQ("07/04/2025 09:30:00.000", text(stamped, "Changed").substr(0, 23));
    VarelumTestSetClock(-1);
    AdsCloseTable(stamped);
}

}  // namespace
}  // namespace varelum::engine::testing
