// SQL through the engine beside SQLite on a native table with the same rows and indexes:
// the program's barcode lookup (prepare, bind, execute, read the first row, close) on
// 100,000 and 1,000,000 products, and its product list ("SELECT * FROM CadProdutos order by
// codproduto", every row read). The stores are built once per size, in the temporary
// directory, and removed at the end.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "bench_support.h"

namespace {

using varelum::bench::check;
using varelum::bench::u8;

std::string code_of(long i) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "P%07ld", i);
    return buffer;
}
std::string barcode_of(long i) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "789%010ld", (i * 7919) % 10000000000L);
    return buffer;
}

struct Store {
    std::string directory;
    ADSHANDLE connection = 0;
    sqlite3* peer = nullptr;
};

Store& store(long rows) {
    static std::map<long, std::unique_ptr<Store>> stores;
    auto& slot = stores[rows];
    if (slot) {
        return *slot;
    }
    slot = std::make_unique<Store>();
    Store& s = *slot;
    // In memory, where the engine's synced commits cost nothing, as the peer's unsynced ones.
    s.directory = varelum::bench::make_directory("/dev/shm", "sql-bench");
    AdsSetServerType(VE_SERVER_LOCAL);
    check(AdsConnect(u8(s.directory), &s.connection), "connect");
    ADSHANDLE table = 0;
    check(AdsCreateTable90(s.connection, u8("CadProdutos"), nullptr, VE_TABLE_TYPE_ADT,
                           VE_CHARTYPE_ANSI, 1, 1, 0,
                           u8("CodProduto,Char,30;CodBarras,Char,20;CodGrupo,Char,16;"
                              "Descricao,Char,40;QtdeAtual,Numeric,10,0;"),
                           0, nullptr, &table),
          "create");
    s.peer = varelum::bench::open_peer(
        s.directory + "/peer.db",
        "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
        "CREATE TABLE CadProdutos (CodProduto TEXT, CodBarras TEXT, CodGrupo TEXT, "
        "Descricao TEXT, QtdeAtual INTEGER); BEGIN;");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(s.peer, "INSERT INTO CadProdutos VALUES (?1, ?2, ?3, ?4, ?5)", -1, &insert,
                       nullptr);
    for (long i = 0; i < rows; ++i) {
        // Codes in an order other than the record order, so that the list must sort.
        long n = (i * 104729) % rows;
        std::string code = code_of(n), barcode = barcode_of(n),
                    group = "G" + std::to_string(n % 50);
        std::string name = "Produto " + std::to_string(n), quantity = std::to_string(n % 100);
        check(AdsAppendRecord(table), "append");
        check(AdsSetString(table, u8("CodProduto"), u8(code), code.size()), "set");
        check(AdsSetString(table, u8("CodBarras"), u8(barcode), barcode.size()), "set");
        check(AdsSetString(table, u8("CodGrupo"), u8(group), group.size()), "set");
        check(AdsSetString(table, u8("Descricao"), u8(name), name.size()), "set");
        check(AdsSetString(table, u8("QtdeAtual"), u8(quantity), quantity.size()), "set");
        check(AdsWriteRecord(table), "write");
        sqlite3_bind_text(insert, 1, code.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, barcode.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, group.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 5, n % 100);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    varelum::bench::exec(s.peer,
                         "COMMIT; CREATE INDEX CodBarras ON CadProdutos(CodBarras);"
                         "CREATE INDEX CodProduto ON CadProdutos(CodProduto);");
    for (const char* field : {"CodBarras", "CodProduto"}) {
        ADSHANDLE index = 0;
        check(AdsCreateIndex90(table, nullptr, u8(field), u8(field), nullptr, nullptr, 0, 512,
                               nullptr, &index),
              "index");
    }
    check(AdsCloseTable(table), "close");
    return s;
}

const std::u16string kLookup = u"SELECT *\r\nFROM CadProdutos\r\nWHERE\r\n(CodBarras) = :Par0\r\n";
const char* kList = "SELECT * FROM CadProdutos order by codproduto";

void BM_EngineBarcodeLookup(benchmark::State& state) {
    Store& s = store(state.range(0));
    ADSHANDLE statement = 0;
    check(AdsCreateSQLStatement(s.connection, &statement), "statement");
    long i = 0;
    for (auto _ : state) {
        std::string barcode = barcode_of((i++ * 31) % state.range(0));
        std::u16string value(barcode.begin(), barcode.end());
        check(AdsPrepareSQLW(statement, kLookup.c_str()), "prepare");
        check(AdsSetStringW(statement, ADSFIELD(1), value.c_str(), value.size()), "bind");
        ADSHANDLE cursor = 0;
        check(AdsExecuteSQL(statement, &cursor), "execute");
        UNSIGNED8 code[64];
        UNSIGNED32 length = sizeof code;
        check(AdsGetField(cursor, u8("CodProduto"), code, &length, VE_TRIM_RIGHT), "read");
        check(AdsCloseTable(cursor), "close");
        benchmark::DoNotOptimize(code);
    }
    AdsCloseSQLStatement(statement);
}

void BM_SqliteBarcodeLookup(benchmark::State& state) {
    Store& s = store(state.range(0));
    long i = 0;
    for (auto _ : state) {
        std::string barcode = barcode_of((i++ * 31) % state.range(0));
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(s.peer, "SELECT *\r\nFROM CadProdutos\r\nWHERE\r\n(CodBarras) = ?1\r\n",
                           -1, &statement, nullptr);
        sqlite3_bind_text(statement, 1, barcode.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(statement) != SQLITE_ROW) {
            std::abort();
        }
        benchmark::DoNotOptimize(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
    }
}

void BM_EngineProductList(benchmark::State& state) {
    Store& s = store(state.range(0));
    ADSHANDLE statement = 0;
    check(AdsCreateSQLStatement(s.connection, &statement), "statement");
    for (auto _ : state) {
        ADSHANDLE cursor = 0;
        check(AdsPrepareSQL(statement, u8(kList)), "prepare");
        check(AdsExecuteSQL(statement, &cursor), "execute");
        UNSIGNED16 eof = 0;
        long rows = 0;
        for (check(AdsGotoTop(cursor), "top"); AdsAtEOF(cursor, &eof) == 0 && !eof;
             AdsSkip(cursor, 1)) {
            UNSIGNED8 record[200];
            UNSIGNED32 length = sizeof record;
            check(AdsGetRecord(cursor, record, &length), "record");
            ++rows;
        }
        if (rows != state.range(0)) {
            std::abort();
        }
        check(AdsCloseTable(cursor), "close");
    }
    AdsCloseSQLStatement(statement);
}

void BM_SqliteProductList(benchmark::State& state) {
    Store& s = store(state.range(0));
    for (auto _ : state) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(s.peer, kList, -1, &statement, nullptr);
        long rows = 0;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int c = 0; c < 5; ++c) {
                benchmark::DoNotOptimize(sqlite3_column_text(statement, c));
            }
            ++rows;
        }
        if (rows != state.range(0)) {
            std::abort();
        }
        sqlite3_finalize(statement);
    }
}

BENCHMARK(BM_EngineBarcodeLookup)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SqliteBarcodeLookup)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EngineProductList)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_SqliteProductList)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
