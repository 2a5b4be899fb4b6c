// Importing products, rows per second, on the disk of the temporary directory: the way
// varelum-store import writes (rows staged in shared memory, each batch of 4096 copied into the
// table in one synced engine batch) beside the engine's one-commit-per-row path in shared
// memory, where no commit waits for a disk (what import cost when it ran unsynced), a synced
// commit per row on the disk, and SQLite inserting the same rows in synced transactions of
// 4096 rows (synchronous=FULL, rollback journal), in the same run. Every table has the demo
// store's two unique index tags. Each iteration imports into a new table.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "batched_append.h"
#include "cell_values.h"
#include "engine_table.h"

namespace {

namespace fs = std::filesystem;
using varelum::store::BatchedAppend;
using varelum::store::Connection;
using varelum::store::OpenMode;
using varelum::store::Table;

constexpr const char* kFields =
    "CodProduto,Char,15;CodBarras,Char,14;Descricao,Char,40;"
    "QtdeAtual,Integer;";

struct Row {
    std::string code, barcode, name, quantity;
};

Row row_of(long i) {
    char code[24], barcode[24];
    std::snprintf(code, sizeof code, "P%09ld", i);
    std::snprintf(barcode, sizeof barcode, "789%010ld", (i * 7919) % 10000000000L);
    return {code, barcode, "Produto numero " + std::to_string(i), std::to_string(i % 100)};
}

fs::path make_directory(const fs::path& parent, const char* name) {
    std::string pattern = (parent / (std::string(name) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

// A new table with the two unique tags, in directory.
Table new_table(Connection& connection, const fs::path& directory, int n) {
    Table table =
        Table::create(connection, directory / ("Products" + std::to_string(n) + ".adt"), kFields);
    table.create_index("CodProduto", "CodProduto", VE_INDEX_UNIQUE);
    table.create_index("CodBarras", "CodBarras", VE_INDEX_UNIQUE);
    return table;
}

void set_row(const Table& table, const Row& row) {
    const auto& fields = table.fields();
    varelum::store::check(AdsAppendRecord(table.handle()), "append");
    varelum::store::set_cell(table, fields[0], row.code, VE_CHARTYPE_ANSI);
    varelum::store::set_cell(table, fields[1], row.barcode, VE_CHARTYPE_ANSI);
    varelum::store::set_cell(table, fields[2], row.name, VE_CHARTYPE_ANSI);
    varelum::store::set_cell(table, fields[3], row.quantity, VE_CHARTYPE_ANSI);
    varelum::store::check(AdsWriteRecord(table.handle()), "write");
}

// varelum-store import's way, into a table on the disk.
void BM_EngineImportInSyncedBatches(benchmark::State& state) {
    const fs::path directory = make_directory(fs::temp_directory_path(), "import-bench");
    Connection connection(directory);
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Table table = new_table(connection, directory, ++n);
        state.ResumeTiming();
        BatchedAppend batches(connection, table);
        for (long i = 0; i < state.range(0); ++i) {
            set_row(batches.staging(), row_of(i));
            if (batches.row_written()) {
                batches.send();
            }
        }
        batches.send();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    fs::remove_all(directory);
}

// One commit per row, in shared memory: no commit waits for a disk, as with the old unsynced
// import.
void BM_EngineImportRowByRowInMemory(benchmark::State& state) {
    const fs::path directory = make_directory("/dev/shm", "import-bench");
    Connection connection(directory);
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Table table = new_table(connection, directory, ++n);
        state.ResumeTiming();
        for (long i = 0; i < state.range(0); ++i) {
            set_row(table, row_of(i));
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    fs::remove_all(directory);
}

// One synced commit per row, on the disk.
void BM_EngineImportRowByRowSynced(benchmark::State& state) {
    const fs::path directory = make_directory(fs::temp_directory_path(), "import-bench");
    Connection connection(directory);
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Table table = new_table(connection, directory, ++n);
        state.ResumeTiming();
        for (long i = 0; i < state.range(0); ++i) {
            set_row(table, row_of(i));
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    fs::remove_all(directory);
}

void exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", error);
        std::abort();
    }
}

// The peer: SQLite, synced transactions of 4096 rows, on the disk.
void BM_SqliteImportInSyncedBatches(benchmark::State& state) {
    const fs::path directory = make_directory(fs::temp_directory_path(), "import-bench");
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3* db = nullptr;
        sqlite3_open((directory / ("peer" + std::to_string(++n) + ".db")).c_str(), &db);
        exec(db,
             "PRAGMA synchronous=FULL;"
             "CREATE TABLE Products (CodProduto TEXT, CodBarras TEXT, Descricao TEXT,"
             " QtdeAtual INTEGER);"
             "CREATE UNIQUE INDEX ByCode ON Products (CodProduto);"
             "CREATE UNIQUE INDEX ByBarcode ON Products (CodBarras);");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO Products VALUES (?1, ?2, ?3, ?4)", -1, &insert,
                           nullptr);
        state.ResumeTiming();
        exec(db, "BEGIN");
        for (long i = 0; i < state.range(0); ++i) {
            const Row row = row_of(i);
            sqlite3_bind_text(insert, 1, row.code.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 2, row.barcode.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 3, row.name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 4, static_cast<int>(i % 100));
            if (sqlite3_step(insert) != SQLITE_DONE) {
                std::abort();
            }
            sqlite3_reset(insert);
            if ((i + 1) % static_cast<long>(BatchedAppend::kDefaultRowsPerBatch) == 0) {
                exec(db, "COMMIT; BEGIN");
            }
        }
        exec(db, "COMMIT");
        state.PauseTiming();
        sqlite3_finalize(insert);
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    fs::remove_all(directory);
}

BENCHMARK(BM_EngineImportInSyncedBatches)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineImportRowByRowInMemory)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_EngineImportRowByRowSynced)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SqliteImportInSyncedBatches)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
