// Index and filter benchmarks on a table of 1,000,000 products: a hard seek by barcode beside
// raw LMDB finding the same key in a sub-database of barcode keys (the floor), and the
// optimised filter CodGrupo = 'X' (answered by its index) beside the same condition evaluated
// record by record as a plain filter, each counting the 10,000 records that pass. Both sides
// keep their files in shared memory (/dev/shm), where a synced commit costs no disk flush.
#include <benchmark/benchmark.h>
#include <lmdb.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "bench_support.h"

namespace {

using varelum::bench::check;
using varelum::bench::make_directory;
using varelum::bench::u8;

constexpr UNSIGNED32 kProducts = 1'000'000;
const char* kFields = "CodGrupo,Char,4;CodProduto,Char,15;Barcode,Char,14;Qty,Integer;";

void check_mdb(int rc, const char* what) {
    if (rc != 0) {
        fprintf(stderr, "%s failed: %s\n", what, mdb_strerror(rc));
        abort();
    }
}

std::string barcode(UNSIGNED32 i) {
    char text[16];
    snprintf(text, sizeof text, "789%011llu", static_cast<unsigned long long>(i) * 7919ull);
    return text;
}

struct Fixture {
    std::string dir;
    ADSHANDLE connection = 0, table = 0, by_barcode = 0;
    MDB_env* env = nullptr;
    MDB_dbi keys = 0, records = 0;

    Fixture() {
        dir = make_directory("/dev/shm", "index-bench");  // memory: syncs cost nothing
        check(AdsConnect(u8(dir.c_str()), &connection), "connect");
        check(AdsCreateTable90(connection, u8("Products"), nullptr, 3, 1, 1, 1, 0, u8(kFields), 0,
                               nullptr, &table),
              "create");
        check_mdb(mdb_env_create(&env), "env");
        mdb_env_set_mapsize(env, std::size_t{8} << 30);
        mdb_env_set_maxdbs(env, 4);
        std::string raw = dir + "/raw.mdb";
        check_mdb(mdb_env_open(env, raw.c_str(), MDB_NOSUBDIR | MDB_NOTLS | MDB_NOSYNC, 0664),
                  "open raw");
        MDB_txn* txn = nullptr;
        check_mdb(mdb_txn_begin(env, nullptr, 0, &txn), "begin");
        check_mdb(mdb_dbi_open(txn, "keys", MDB_CREATE, &keys), "dbi");
        check_mdb(mdb_dbi_open(txn, "records", MDB_CREATE, &records), "dbi");
        for (UNSIGNED32 i = 1; i <= kProducts; ++i) {
            char group[8], code[16];
            snprintf(group, sizeof group, i % 100 == 0 ? "X" : "G%02u", i % 100);
            snprintf(code, sizeof code, "P%09u", i);
            std::string bar = barcode(i);
            check(AdsAppendRecord(table), "append");
            check(AdsSetField(table, u8("CodGrupo"), u8(group), UNSIGNED32(strlen(group))), "grp");
            check(AdsSetField(table, u8("CodProduto"), u8(code), UNSIGNED32(strlen(code))), "code");
            check(AdsSetField(table, u8("Barcode"), u8(bar.c_str()), UNSIGNED32(bar.size())),
                  "bar");
            check(AdsSetLong(table, u8("Qty"), SIGNED32(i % 50)), "qty");
            check(AdsWriteRecord(table), "write");
            // The peer: the barcode key with the record number, and a record of the same size.
            unsigned char number[4] = {UNSIGNED8(i >> 24), UNSIGNED8(i >> 16), UNSIGNED8(i >> 8),
                                       UNSIGNED8(i)};
            std::string key = bar + std::string(reinterpret_cast<char*>(number), 4);
            MDB_val k{key.size(), key.data()}, v{0, nullptr};
            check_mdb(mdb_put(txn, keys, &k, &v, 0), "put key");
            unsigned char image[1 + 37] = {};
            MDB_val rk{4, number}, rv{sizeof image, image};
            check_mdb(mdb_put(txn, records, &rk, &rv, MDB_APPEND), "put record");
        }
        check_mdb(mdb_txn_commit(txn), "commit");
        check(AdsCreateIndex90(table, nullptr, u8("BARCODE"), u8("Barcode"), nullptr, nullptr, 0, 0,
                               nullptr, &by_barcode),
              "index barcode");
        ADSHANDLE by_group = 0;
        check(AdsCreateIndex90(table, nullptr, u8("GRUPO"), u8("CodGrupo"), nullptr, nullptr, 0, 0,
                               nullptr, &by_group),
              "index group");
        check(AdsSetExact22(table, 1), "exact");
    }
};

Fixture& fixture() {
    static Fixture* instance = new Fixture;
    return *instance;
}

void BM_EngineHardSeekByBarcode(benchmark::State& state) {
    Fixture& f = fixture();
    std::mt19937 random(42);
    for (auto _ : state) {
        std::string key = barcode(random() % kProducts + 1);
        UNSIGNED16 found = 0;
        check(AdsSeek(f.by_barcode, u8(key.c_str()), UNSIGNED16(key.size()), VE_STRINGKEY,
                      VE_HARDSEEK, &found),
              "seek");
        if (!found) {
            abort();
        }
    }
}

void BM_RawLmdbRangeLookupByBarcode(benchmark::State& state) {
    Fixture& f = fixture();
    std::mt19937 random(42);
    MDB_txn* txn = nullptr;
    check_mdb(mdb_txn_begin(f.env, nullptr, MDB_RDONLY, &txn), "begin");
    mdb_txn_reset(txn);
    for (auto _ : state) {
        std::string key = barcode(random() % kProducts + 1);
        check_mdb(mdb_txn_renew(txn), "renew");
        MDB_cursor* cursor = nullptr;
        check_mdb(mdb_cursor_open(txn, f.keys, &cursor), "cursor");
        MDB_val k{key.size(), key.data()}, v;
        check_mdb(mdb_cursor_get(cursor, &k, &v, MDB_SET_RANGE), "range");
        MDB_val rk{4, static_cast<char*>(k.mv_data) + key.size()}, rv;
        check_mdb(mdb_get(txn, f.records, &rk, &rv), "record");
        benchmark::DoNotOptimize(rv.mv_data);
        mdb_cursor_close(cursor);
        mdb_txn_reset(txn);
    }
    mdb_txn_abort(txn);
}

void BM_EngineOptimisedAofCount(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        check(AdsSetAOF(f.table, u8("CodGrupo = 'X'"), 0), "aof");
        UNSIGNED32 count = 0;
        check(AdsGetRecordCount(f.table, VE_RESPECT_FILTERS, &count), "count");
        if (count != kProducts / 100) {
            abort();
        }
        check(AdsClearAOF(f.table), "clear");
    }
}

void BM_EngineRecordByRecordFilterCount(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        check(AdsSetFilter(f.table, u8("CodGrupo = 'X'")), "filter");
        UNSIGNED32 count = 0;
        check(AdsGetRecordCount(f.table, VE_RESPECT_FILTERS, &count), "count");
        if (count != kProducts / 100) {
            abort();
        }
        check(AdsClearFilter(f.table), "clear");
    }
}

}  // namespace

BENCHMARK(BM_EngineHardSeekByBarcode);
BENCHMARK(BM_RawLmdbRangeLookupByBarcode);
BENCHMARK(BM_EngineOptimisedAofCount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineRecordByRecordFilterCount)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
