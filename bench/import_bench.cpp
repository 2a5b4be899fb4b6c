// Importing products, rows per second, on the disk of the temporary directory: the way
// varelum-store import writes (rows staged in shared memory, each batch of 4096 copied into the
// table in one synced engine batch) beside the engine's one-commit-per-row path in shared
// memory, where no commit waits for a disk (what import cost when it ran unsynced), a synced
// commit per row on the disk, and SQLite inserting the same rows in synced transactions of
// 4096 rows (synchronous=FULL, rollback journal), in the same run. Every table has the demo
// store's two unique index tags. Each iteration imports into a new table.
#include <cstdio>
#include <filesystem>
#include <string>

#include "batched_append.h"
#include "bench_support.h"
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

// Imports state.range(0) rows into a new table in a new directory in `parent` per iteration:
// batched as varelum-store import does, or one commit per row.
void import_runs(benchmark::State& state, const fs::path& parent, bool batched) {
    const fs::path directory = varelum::bench::make_directory(parent, "import-bench");
    Connection connection(directory);
    varelum::bench::run_counted(state, state.range(0), [&](int n) {
        state.PauseTiming();
        Table table = new_table(connection, directory, n);
        state.ResumeTiming();
        if (!batched) {
            for (long i = 0; i < state.range(0); ++i) {
                set_row(table, row_of(i));
            }
            return;
        }
        BatchedAppend batches(connection, table);
        for (long i = 0; i < state.range(0); ++i) {
            set_row(batches.staging(), row_of(i));
            if (batches.row_written()) {
                batches.send();
            }
        }
        batches.send();
    });
    fs::remove_all(directory);
}

// varelum-store import's way, into a table on the disk.
void BM_EngineImportInSyncedBatches(benchmark::State& state) {
    import_runs(state, fs::temp_directory_path(), true);
}

// One commit per row, in shared memory: no commit waits for a disk, as with the old unsynced
// import.
void BM_EngineImportRowByRowInMemory(benchmark::State& state) {
    import_runs(state, "/dev/shm", false);
}

// One synced commit per row, on the disk.
void BM_EngineImportRowByRowSynced(benchmark::State& state) {
    import_runs(state, fs::temp_directory_path(), false);
}

// The peer: SQLite, synced transactions of 4096 rows, on the disk.
void BM_SqliteImportInSyncedBatches(benchmark::State& state) {
    const fs::path directory =
        varelum::bench::make_directory(fs::temp_directory_path(), "import-bench");
    varelum::bench::run_counted(state, state.range(0), [&](int n) {
        state.PauseTiming();
        sqlite3* db = varelum::bench::open_peer(
            directory / ("peer" + std::to_string(n) + ".db"),
            "PRAGMA synchronous=FULL;"
            "CREATE TABLE Products (CodProduto TEXT, CodBarras TEXT, Descricao TEXT,"
            " QtdeAtual INTEGER);"
            "CREATE UNIQUE INDEX ByCode ON Products (CodProduto);"
            "CREATE UNIQUE INDEX ByBarcode ON Products (CodBarras);");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO Products VALUES (?1, ?2, ?3, ?4)", -1, &insert,
                           nullptr);
        state.ResumeTiming();
        varelum::bench::exec(db, "BEGIN");
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
                varelum::bench::exec(db, "COMMIT; BEGIN");
            }
        }
        varelum::bench::exec(db, "COMMIT");
        state.PauseTiming();
        sqlite3_finalize(insert);
        sqlite3_close(db);
        state.ResumeTiming();
    });
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
