// 1,000 single-record edits through the engine inside one transaction and outside any (each
// edit then its own durable write), beside SQLite doing the same edits in one transaction and
// in autocommit, on tables of 1,000 rows with an index, in the temporary directory. Commits
// wait for the disk on both sides (the engine's default, SQLite's synchronous=FULL).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "varelum_engine.h"

namespace {

constexpr int kRows = 1000;

const UNSIGNED8* u8(const std::string& text) {
    return reinterpret_cast<const UNSIGNED8*>(text.c_str());
}

void check(UNSIGNED32 rc, const char* what) {
    if (rc != 0) {
        UNSIGNED32 code = 0;
        UNSIGNED8 text[600] = {};
        UNSIGNED16 length = sizeof text;
        AdsGetLastError(&code, text, &length);
        std::fprintf(stderr, "%s: %u %s\n", what, code, reinterpret_cast<char*>(text));
        std::abort();
    }
}

void check_sqlite(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::abort();
    }
}

struct Store {
    std::string directory;
    ADSHANDLE connection = 0;
    ADSHANDLE table = 0;
    sqlite3* peer = nullptr;
    sqlite3_stmt* update = nullptr;

    Store() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "txn-bench-XXXXXX").string();
        directory = mkdtemp(pattern.data());
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
        sqlite3_open((directory + "/peer.db").c_str(), &peer);
        check_sqlite(sqlite3_exec(peer,
                                  "PRAGMA synchronous=FULL;"
                                  "CREATE TABLE Stock (Code TEXT, Qty INTEGER);"
                                  "CREATE INDEX Code ON Stock (Code); BEGIN;",
                                  nullptr, nullptr, nullptr),
                     peer, "peer schema");
        for (int i = 1; i <= kRows; ++i) {
            std::string code = "P" + std::to_string(i);
            check(AdsAppendRecord(table), "append");
            check(AdsSetField(table, u8("Code"), u8(code), static_cast<UNSIGNED32>(code.size())),
                  "code");
            check(AdsSetLong(table, u8("Qty"), 0), "qty");
            check(AdsWriteRecord(table), "write");
            std::string insert = "INSERT INTO Stock VALUES ('" + code + "', 0)";
            check_sqlite(sqlite3_exec(peer, insert.c_str(), nullptr, nullptr, nullptr), peer,
                         "peer insert");
        }
        check_sqlite(sqlite3_exec(peer, "COMMIT", nullptr, nullptr, nullptr), peer, "peer fill");
        check_sqlite(sqlite3_prepare_v2(peer, "UPDATE Stock SET Qty = ?1 WHERE rowid = ?2", -1,
                                        &update, nullptr),
                     peer, "peer prepare");
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

Store& store() {
    static Store instance;
    return instance;
}

void engine_edits(Store& s, SIGNED32 value) {
    for (UNSIGNED32 record = 1; record <= kRows; ++record) {
        check(AdsGotoRecord(s.table, record), "goto");
        check(AdsSetLong(s.table, u8("Qty"), value), "set");
        check(AdsWriteRecord(s.table), "edit");
    }
}

void peer_edits(Store& s, int value) {
    for (int row = 1; row <= kRows; ++row) {
        sqlite3_bind_int(s.update, 1, value);
        sqlite3_bind_int(s.update, 2, row);
        check_sqlite(sqlite3_step(s.update), s.peer, "peer edit");
        sqlite3_reset(s.update);
    }
}

void BM_EngineEditsInOneTransaction(benchmark::State& state) {
    Store& s = store();
    SIGNED32 value = 0;
    for (auto _ : state) {
        check(AdsBeginTransaction(s.connection), "begin");
        engine_edits(s, ++value);
        check(AdsCommitTransaction(s.connection), "commit");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_EngineEditsInOneTransaction)->Unit(benchmark::kMillisecond);

void BM_EngineEditsOutsideTransactions(benchmark::State& state) {
    Store& s = store();
    SIGNED32 value = 0;
    for (auto _ : state) {
        engine_edits(s, ++value);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_EngineEditsOutsideTransactions)->Unit(benchmark::kMillisecond);

void BM_SqliteEditsInOneTransaction(benchmark::State& state) {
    Store& s = store();
    int value = 0;
    for (auto _ : state) {
        check_sqlite(sqlite3_exec(s.peer, "BEGIN", nullptr, nullptr, nullptr), s.peer, "begin");
        peer_edits(s, ++value);
        check_sqlite(sqlite3_exec(s.peer, "COMMIT", nullptr, nullptr, nullptr), s.peer, "commit");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SqliteEditsInOneTransaction)->Unit(benchmark::kMillisecond);

void BM_SqliteEditsAutocommit(benchmark::State& state) {
    Store& s = store();
    int value = 0;
    for (auto _ : state) {
        peer_edits(s, ++value);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SqliteEditsAutocommit)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
