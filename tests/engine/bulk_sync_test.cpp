// Bulk work reaches the disk in an order that survives a power cut: the engine's test build
// traces every write, sync and rename of files and folders, and each bulk path is checked
// against it. A batch's pages are synced before the next batch writes, nothing is left
// unsynced when the call returns, and a new file is synced before it is renamed into place
// and its folder after.
#include <functional>
#include <vector>

#include "engine/env/testing_hooks.h"
#include "engine_test_support.h"
#include "sync_trace.h"

namespace varelum::engine::testing {
namespace {

constexpr UNSIGNED32 kBatch = 4096;  // writes per synced commit of the engine's batches

class BulkSync : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        VarelumTestInstallFaults();
        table_ = create("T", "Code,Integer;Name,Char,20;");
        ADSHANDLE index = 0;
        ASSERT_ADS_OK(AdsCreateIndex90(table_, nullptr, u8("ByCode"), u8("Code"), nullptr, nullptr,
                                       VE_INDEX_UNIQUE, 0, nullptr, &index));
    }
    void TearDown() override {
        AdsCloseTable(table_);
        VarelumTestRemoveFaults();
        EngineTest::TearDown();
    }

    // Rows with codes first.. first + count - 1.
    static std::string rows_select(UNSIGNED32 first, UNSIGNED32 count) {
        return "WITH RECURSIVE n(i) AS (SELECT " + std::to_string(first) +
               " UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(first + count - 1) +
               ") SELECT i AS Code, 'name' || i AS Name FROM n";
    }

    // What `work` did to the disk.
    std::vector<Event> traced(const std::function<void()>& work) {
        VarelumTestStartTrace();
        work();
        std::string text = VarelumTestTrace();
        return parse_trace(text);
    }

    std::string path() const { return dir_.file("T.adt"); }

    ADSHANDLE table_ = 0;
};

// A copy that ends exactly on a full batch has nothing left to commit, nor to wait for.
TEST_F(BulkSync, ACopyIntoATableCommitsEachBatchSyncedBeforeTheNextBegins) {
    struct Case {
        UNSIGNED32 rows;
        std::size_t commits;
    };
    UNSIGNED32 first = 1;
    for (const Case& copy : {Case{kBatch, 1}, Case{2 * kBatch + 500, 3}}) {
        SCOPED_TRACE(copy.rows);
        auto events = traced([&] { fill_by_sql(table_, rows_select(first, copy.rows)); });
        expect_synced_commits(writes_and_syncs(events, path()), copy.commits);
        first += copy.rows;
    }
}

TEST_F(BulkSync, PackReindexIndexCreationAndRecoveryCommitOnlySynced) {
    fill_by_sql(table_, rows_select(1, 3000));
    for (UNSIGNED32 recno = 10; recno <= 3000; recno += 10) {
        ASSERT_ADS_OK(AdsGotoRecord(table_, recno));
        ASSERT_ADS_OK(AdsDeleteRecord(table_));
    }
    struct Case {
        const char* name;
        std::string path;     // of the file written
        std::size_t commits;  // each synced once, and no wait after the last
        std::function<UNSIGNED32()> run;
    };
    const Case cases[] = {
        {"index creation", path(), 1,
         [&] {
             ADSHANDLE index = 0;
             return AdsCreateIndex90(table_, nullptr, u8("ByName"), u8("UPPER(Name)"), nullptr,
                                     nullptr, 0, 0, nullptr, &index);
         }},
        {"reindex", path(), 1, [&] { return AdsReindex(table_); }},
        {"pack", path(), 1, [&] { return AdsPackTable(table_); }},
        // The records (one batch), the index list, the tags built.
        {"recovery into a new file", dir_.file("R.adt"), 3,
         [&] {
             UNSIGNED32 kept = 0, lost_length = 0, state = 0;
             return AdsRecoverTable(connection_, u8("T"), u8("R"), &kept, nullptr, &lost_length,
                                    &state);
         }},
    };
    for (const Case& work : cases) {
        SCOPED_TRACE(work.name);
        auto events = traced([&] { ASSERT_ADS_OK(work.run()); });
        expect_synced_commits(writes_and_syncs(events, work.path), work.commits);
    }
}

TEST_F(BulkSync, ANewTableIsSyncedBeforeItsRenameAndItsFolderAfter) {
    fill_by_sql(table_, rows_select(1, 100));
    auto create_new = [&](const char* fields) {
        ADSHANDLE table = 0;
        UNSIGNED32 rc = AdsCreateTable90(connection_, u8("New"), nullptr, VE_TABLE_TYPE_ADT,
                                         VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                         u8(fields), 0, u8("ANSI"), &table);
        AdsCloseTable(table);
        return rc;
    };
    struct Case {
        const char* name;
        std::string path;
        std::function<UNSIGNED32()> run;
    };
    const Case cases[] = {
        {"creation", dir_.file("New.adt"), [&] { return create_new("A,Char,5;"); }},
        {"replacement by creation", dir_.file("New.adt"), [&] { return create_new("B,Integer;"); }},
        {"copy into a new table", dir_.file("Copy.adt"),
         [&] { return AdsCopyTable(table_, VE_IGNORE_FILTERS, u8(dir_.file("Copy.adt"))); }},
        {"restructure", dir_.file("New.adt"),
         [&] {
             AdsCloseCachedTables(connection_);
             return AdsRestructureTable90(connection_, u8("New"), nullptr, VE_TABLE_TYPE_ADT,
                                          VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK,
                                          u8("C,Char,8;"), nullptr, nullptr, nullptr);
         }},
    };
    for (const Case& work : cases) {
        SCOPED_TRACE(work.name);
        auto events = traced([&] { ASSERT_ADS_OK(work.run()); });
        expect_synced_replace(events, work.path, dir_.path());
    }
}

TEST_F(BulkSync, AnIndexFileIsSyncedBeforeItsRenameAndItsFolderAfter) {
    fill_by_sql(table_, rows_select(1, 100));
    auto events = traced([&] {
        ADSHANDLE index = 0;
        ASSERT_ADS_OK(AdsCreateIndex90(table_, u8("Extra.adi"), u8("ByName"), u8("Name"), nullptr,
                                       nullptr, 0, 0, nullptr, &index));
    });
    expect_synced_replace(events, dir_.file("Extra.adi"), dir_.path());
    expect_synced_commits(writes_and_syncs(events, path()), 1);
}

// A statement changing many rows runs in a transaction of its own: its journal must be on the
// disk before each batch of rows is, and synced once per batch, not once per row.
TEST_F(BulkSync, AStatementWritingManyRowsSyncsItsJournalOnceBeforeEachBatch) {
    const UNSIGNED32 rows = 2 * kBatch + 500;
    fill_by_sql(table_, rows_select(1, rows));
    struct Case {
        const char* sql;
        UNSIGNED32 rows;  // that it writes
    };
    const Case cases[] = {
        {"INSERT INTO T (Code, Name) SELECT Code + 100000, Name FROM T", rows},
        {"UPDATE T SET Name = 'changed'", 2 * rows},
        {"DELETE FROM T WHERE Code > 0", 2 * rows},
    };
    for (const auto& [sql, written] : cases) {
        SCOPED_TRACE(sql);
        ADSHANDLE statement = 0;
        ASSERT_ADS_OK(AdsCreateSQLStatement(connection_, &statement));
        auto events = traced([&] {
            ADSHANDLE cursor = 0;
            ASSERT_ADS_OK(AdsExecuteSQLDirect(statement, u8(sql), &cursor));
        });
        ASSERT_ADS_OK(AdsCloseSQLStatement(statement));

        bool journal_unsynced = false;
        std::size_t journal_syncs = 0, table_runs = 0;
        for (const Event& event : events) {
            const bool journal = event.path.ends_with(".vtj");
            if (journal && event.kind == "write") {
                journal_unsynced = true;
            } else if (journal && event.kind == "sync") {
                journal_unsynced = false;
                ++journal_syncs;
            } else if (event.path == path() && event.kind == "write") {
                EXPECT_FALSE(journal_unsynced) << "rows reached the table before their journal";
                ++table_runs;
            }
        }
        // Each batch (the last one partial) synced: its pages and header, and the journal
        // once before it; the commit of the statement's transaction adds a sync of the table
        // and one to empty the journal.
        const std::size_t batches = (written + kBatch - 1) / kBatch;
        std::string expected;
        for (std::size_t i = 0; i < batches; ++i) {
            expected += "WSWS";
        }
        EXPECT_EQ(expected + "S", writes_and_syncs(events, path()));
        EXPECT_EQ(2 * batches, table_runs);
        EXPECT_LE(journal_syncs, batches + 2);
    }
}

}  // namespace
}  // namespace varelum::engine::testing
