// The program's product list on a store of 100,000 products: TAdsQuery opening
// "SELECT * FROM CadProdutos order by codproduto" through the alias and walking every row with
// Next, beside the engine's own cursor walk of the same statement (AdsExecuteSQL, then
// AdsGetRecord and AdsSkip on the result cursor) in the same run. The ratio of the two is what
// the dataset layer costs on top of the engine.
//
// Both sides reach the engine through ace, as the program does: the library is loaded from
// VARELUM_ENGINE_LIBRARY when set, else from beside the executable or its ../lib. The store is
// built once per run in a directory in shared memory (/dev/shm, where a synced commit costs no
// disk flush) twice: with the demo store's index tags (unique CodProduto,
// CodBarras) and without any, so that the list's order comes from a tag or from a sort.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ace_bench_support.h"
#include "ads/ace.h"
#include "ads/adstable_query.h"
#include "rtl/code_page.h"

namespace {

using namespace varelum;
using namespace varelum::ads;
using varelum::bench::Check;
using varelum::bench::Text8;

constexpr UNSIGNED32 kProducts = 100'000;
constexpr const char* kProductFields =
    "CodProduto,Char,20;CodBarras,Char,20;CodGrupo,Char,6;Descricao,Char,60;Unidade,Char,4;"
    "PrecoVenda,Numeric,12,2;QtdeAtual,Integer;Ativo,Logical;DataCadastro,Date;";
constexpr const char* kProductList = "SELECT *\r\nFROM CadProdutos\r\norder by codproduto\r\n";

void SetText(ADSHANDLE table, const char* field, const std::string& value) {
    Check(
        ace::AdsSetField(table, Text8(field), Text8(value), static_cast<UNSIGNED32>(value.size())),
        field);
}

// The product table, filled in a directory of its own; with the demo store's index tags
// (unique CodProduto, CodBarras) or without any.
void CreateProductTable(const std::string& directory, bool withIndexes) {
    ADSHANDLE connection = 0;
    Check(ace::AdsConnect(Text8(directory), &connection), "connect");
    ADSHANDLE table = 0;
    Check(ace::AdsCreateTable90(connection, Text8("CadProdutos.adt"), nullptr, VE_TABLE_TYPE_ADT,
                                VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                Text8(kProductFields), 0, nullptr, &table),
          "create");
    // Codes in an order unlike the append order, so that the list's order is its own.
    for (UNSIGNED32 i = 1; i <= kProducts; ++i) {
        char code[16];
        char barcode[16];
        char group[8];
        std::snprintf(code, sizeof code, "P%07u", (i * 7919u) % kProducts);
        std::snprintf(barcode, sizeof barcode, "789%09u", i);
        std::snprintf(group, sizeof group, "G%02u", i % 40);
        Check(ace::AdsAppendRecord(table), "append");
        SetText(table, "CodProduto", code);
        SetText(table, "CodBarras", barcode);
        SetText(table, "CodGrupo", group);
        SetText(table, "Descricao", std::string("Produto de teste numero ") + code);
        SetText(table, "Unidade", "UN");
        Check(ace::AdsSetDouble(table, Text8("PrecoVenda"), 9.9 + i % 100), "price");
        Check(ace::AdsSetLong(table, Text8("QtdeAtual"), static_cast<SIGNED32>(i % 25)), "qty");
        Check(ace::AdsSetLogical(table, Text8("Ativo"), 1), "active");
        Check(ace::AdsWriteRecord(table), "write");
    }
    if (withIndexes) {
        ADSHANDLE index = 0;
        Check(ace::AdsCreateIndex90(table, nullptr, Text8("CODPRODUTO"), Text8("CodProduto"),
                                    nullptr, nullptr, VE_INDEX_UNIQUE, 0, nullptr, &index),
              "index CodProduto");
        Check(ace::AdsCreateIndex90(table, nullptr, Text8("CODBARRAS"), Text8("CodBarras"), nullptr,
                                    nullptr, 0, 0, nullptr, &index),
              "index CodBarras");
    }
    Check(ace::AdsCloseTable(table), "close");
    Check(ace::AdsDisconnect(connection), "disconnect");
}

// Two stores of the same products, one with index tags and one without, each under an alias
// of ads.ini, and a connection to each for the engine-side walk. Index 1 is the one with tags.
struct TProductStores {
    std::string Directory;
    std::string Alias[2] = {"PLAIN", "BALDERIM"};
    ADSHANDLE Connection[2] = {0, 0};

    TProductStores() {
        char pattern[] = "/dev/shm/ads-query-bench-XXXXXX";  // memory: syncs cost nothing
        Directory = mkdtemp(pattern);
        std::ofstream ini(Directory + "/ads.ini");
        ini << "[Databases]\n";
        for (int indexed = 0; indexed < 2; ++indexed) {
            const std::string path = Directory + "/" + Alias[indexed];
            std::filesystem::create_directory(path);
            CreateProductTable(path, indexed == 1);
            ini << Alias[indexed] << " = " << path << "\n";
            Check(ace::AdsConnect(Text8(path), &Connection[indexed]), "connect");
        }
        setenv("adsini_path", Directory.c_str(), 1);
    }
};

TProductStores& Stores() {
    static TProductStores* stores = new TProductStores;
    return *stores;
}

void ExpectAllRows(benchmark::State& state, UNSIGNED32 rows) {
    if (rows != kProducts) {
        state.SkipWithError("the walk did not see every product");
    }
}

// The program's way: close, empty the lines, add them one by one, open, walk with Next.
void BM_AdsQueryOpenAndWalkProductList(benchmark::State& state) {
    TProductStores& stores = Stores();
    TAdsQuery query;
    query.SetName("QyCadProdutos");
    query.SetDatabaseName(stores.Alias[state.range(0)]);
    for (auto _ : state) {
        query.Close();
        query.SQL().Clear();
        query.SQL().Add("SELECT *");
        query.SQL().Add("FROM CadProdutos");
        query.SQL().Add("order by codproduto");
        try {
            query.Open();
        } catch (const std::exception& error) {
            // Reported in the run's output; the other benchmarks go on.
            state.SkipWithError(error.what());
            break;
        }
        UNSIGNED32 rows = 0;
        while (!query.Eof()) {
            ++rows;
            query.Next();
        }
        ExpectAllRows(state, rows);
    }
    query.Close();
    state.SetItemsProcessed(state.iterations() * kProducts);
}

// The engine's own walk of the same statement on one kept statement handle: prepare, execute,
// then a copy of each record image and a skip, until EOF.
void BM_EngineExecuteAndSkipProductList(benchmark::State& state) {
    TProductStores& stores = Stores();
    ADSHANDLE statement = 0;
    Check(ace::AdsCreateSQLStatement(stores.Connection[state.range(0)], &statement), "statement");
    Check(ace::AdsStmtSetTableReadOnly(statement, 1), "read-only");
    const std::u16string text = rtl::Utf8ToUtf16(kProductList);
    std::vector<UNSIGNED8> record(4096);
    for (auto _ : state) {
        Check(ace::AdsPrepareSQLW(statement, reinterpret_cast<const WCHAR*>(text.c_str())),
              "prepare");
        ADSHANDLE cursor = 0;
        Check(ace::AdsExecuteSQL(statement, &cursor), "execute");
        Check(ace::AdsGotoTop(cursor), "top");
        UNSIGNED32 rows = 0;
        UNSIGNED16 eof = 0;
        Check(ace::AdsAtEOF(cursor, &eof), "eof");
        while (eof == 0) {
            UNSIGNED32 length = static_cast<UNSIGNED32>(record.size());
            Check(ace::AdsGetRecord(cursor, record.data(), &length), "record");
            benchmark::DoNotOptimize(record.data());
            ++rows;
            Check(ace::AdsSkip(cursor, 1), "skip");
            Check(ace::AdsAtEOF(cursor, &eof), "eof");
        }
        Check(ace::AdsCloseTable(cursor), "close cursor");
        ExpectAllRows(state, rows);
    }
    Check(ace::AdsCloseSQLStatement(statement), "close statement");
    state.SetItemsProcessed(state.iterations() * kProducts);
}

}  // namespace

// Argument 1: the table has the demo store's index tags; 0: none.
BENCHMARK(BM_AdsQueryOpenAndWalkProductList)
    ->ArgName("indexed")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineExecuteAndSkipProductList)
    ->ArgName("indexed")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
