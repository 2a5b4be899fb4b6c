// Changes through the engine beside SQLite on tables of 10,000 rows with an index, in the
// temporary directory: 1,000 single-record edits inside one transaction and outside any (each
// edit then its own durable write), and one UPDATE statement changing every row (atomic: its
// rows in synced batches, the journal synced before each); SQLite doing the same edits in one
// transaction and in autocommit, and the same UPDATE. Commits wait for the disk on both sides
// (the engine's default, SQLite's synchronous=FULL).
#include <memory>
#include <string>

#include "bench_support.h"

namespace {

using varelum::bench::check;
using varelum::bench::exec;
using varelum::bench::run_counted;
using varelum::bench::u8;

constexpr int kRows = 10000;  // in the table; an UPDATE statement changes them all
constexpr int kEdits = 1000;  // single-record edits, of the first rows

struct Store {
    std::filesystem::path directory;
    ADSHANDLE connection = 0;
    ADSHANDLE table = 0;
    sqlite3* peer = nullptr;
    sqlite3_stmt* update = nullptr;

    Store() {
        directory =
            varelum::bench::make_directory(std::filesystem::temp_directory_path(), "txn-bench");
        AdsSetServerType(VE_SERVER_LOCAL);
        check(AdsConnect(u8(directory), &connection), "connect");
        check(
            AdsCreateTable90(connection, u8("Stock"), nullptr, VE_TABLE_TYPE_ADT, VE_CHARTYPE_ANSI,
                             1, 1, 0, u8("Code,Char,10;Qty,Integer;"), 0, nullptr, &table),
            "create");
        ADSHANDLE index = 0;
        check(AdsCreateIndex90(table, nullptr, u8("CODE"), u8("Code"), nullptr, nullptr, 0, 0,
                               nullptr, &index),
              "index");
        // Filled through the engine's batched copy, as the peer in one transaction.
        const std::string rows =
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
            std::to_string(kRows) + ") SELECT 'P' || i AS Code, 0 AS Qty FROM n";
        ADSHANDLE statement = 0;
        check(AdsCreateSQLStatement(connection, &statement), "statement");
        ADSHANDLE cursor = 0;
        check(AdsExecuteSQLDirect(statement, u8(rows), &cursor), "rows");
        check(AdsCopyTableContents(cursor, table, VE_IGNORE_FILTERS), "fill");
        check(AdsCloseSQLStatement(statement), "close rows");
        peer = varelum::bench::open_peer(directory / "peer.db",
                                         "PRAGMA synchronous=FULL;"
                                         "CREATE TABLE Stock (Code TEXT, Qty INTEGER);"
                                         "CREATE INDEX Code ON Stock (Code);"
                                         "INSERT INTO Stock " +
                                             rows + ";");
        if (sqlite3_prepare_v2(peer, "UPDATE Stock SET Qty = ?1 WHERE rowid = ?2", -1, &update,
                               nullptr) != SQLITE_OK) {
            std::abort();
        }
    }
    ~Store() {
        sqlite3_finalize(update);
        sqlite3_close(peer);
        AdsCloseTable(table);
        AdsDisconnect(connection);
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
};

std::unique_ptr<Store>& store_slot() {
    static std::unique_ptr<Store> slot;
    return slot;
}

Store& store() {
    if (!store_slot()) {
        store_slot() = std::make_unique<Store>();
    }
    return *store_slot();
}

void engine_edits(Store& s, SIGNED32 value) {
    for (UNSIGNED32 record = 1; record <= kEdits; ++record) {
        check(AdsGotoRecord(s.table, record), "goto");
        check(AdsSetLong(s.table, u8("Qty"), value), "set");
        check(AdsWriteRecord(s.table), "edit");
    }
}

void peer_edits(Store& s, int value) {
    for (int row = 1; row <= kEdits; ++row) {
        sqlite3_bind_int(s.update, 1, value);
        sqlite3_bind_int(s.update, 2, row);
        if (sqlite3_step(s.update) != SQLITE_DONE) {
            std::abort();
        }
        sqlite3_reset(s.update);
    }
}

void BM_EngineEditsInOneTransaction(benchmark::State& state) {
    Store& s = store();
    run_counted(state, kEdits, [&](int n) {
        check(AdsBeginTransaction(s.connection), "begin");
        engine_edits(s, n);
        check(AdsCommitTransaction(s.connection), "commit");
    });
}
BENCHMARK(BM_EngineEditsInOneTransaction)->Unit(benchmark::kMillisecond);

void BM_EngineEditsOutsideTransactions(benchmark::State& state) {
    Store& s = store();
    run_counted(state, kEdits, [&](int n) { engine_edits(s, n); });
}
BENCHMARK(BM_EngineEditsOutsideTransactions)->Unit(benchmark::kMillisecond);

void BM_SqliteEditsInOneTransaction(benchmark::State& state) {
    Store& s = store();
    run_counted(state, kEdits, [&](int n) {
        exec(s.peer, "BEGIN");
        peer_edits(s, n);
        exec(s.peer, "COMMIT");
    });
}
BENCHMARK(BM_SqliteEditsInOneTransaction)->Unit(benchmark::kMillisecond);

void BM_SqliteEditsAutocommit(benchmark::State& state) {
    Store& s = store();
    run_counted(state, kEdits, [&](int n) { peer_edits(s, n); });
}
BENCHMARK(BM_SqliteEditsAutocommit)->Unit(benchmark::kMillisecond);

// One statement changing every row, durable when it returns.
void BM_EngineUpdateStatement(benchmark::State& state) {
    Store& s = store();
    ADSHANDLE statement = 0;
    check(AdsCreateSQLStatement(s.connection, &statement), "statement");
    run_counted(state, kRows, [&](int n) {
        ADSHANDLE cursor = 0;
        check(AdsExecuteSQLDirect(statement, u8("UPDATE Stock SET Qty = " + std::to_string(n)),
                                  &cursor),
              "update");
    });
    check(AdsCloseSQLStatement(statement), "close");
}
BENCHMARK(BM_EngineUpdateStatement)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SqliteUpdateStatement(benchmark::State& state) {
    Store& s = store();
    run_counted(state, kRows,
                [&](int n) { exec(s.peer, "UPDATE Stock SET Qty = " + std::to_string(n)); });
}
BENCHMARK(BM_SqliteUpdateStatement)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    // Closed while the engine's per-thread state lives, not by the exit handlers.
    store_slot().reset();
    benchmark::Shutdown();
    return 0;
}
