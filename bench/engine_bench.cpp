// Store engine benchmarks on a table of 1,000,000 records: append, sequential skip and read,
// and goto-record, each beside raw LMDB doing the same work on the same kind of records in the
// same run (the storage floor); the walk also beside SQLite stepping through the same rows and
// reading their columns, the peer the engine's users would pick. Both sides keep their files in
// shared memory (/dev/shm), where the engine's synced commits cost no disk flush (raw LMDB runs
// with MDB_NOSYNC), so the numbers compare the engine's own work rather than the disk's.
#include <benchmark/benchmark.h>
#include <lmdb.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "varelum_engine.h"

namespace {

constexpr UNSIGNED32 kRecords = 1'000'000;
const char* kFields = "Id,Integer;Name,Char,30;Amount,Double,2;Born,Date;";
constexpr std::size_t kImageLength = 4 + 30 + 8 + 4;

const UNSIGNED8* u8(const char* text) {
    return reinterpret_cast<const UNSIGNED8*>(text);
}

void big_endian(UNSIGNED32 value, unsigned char* out) {
    out[0] = static_cast<unsigned char>(value >> 24);
    out[1] = static_cast<unsigned char>(value >> 16);
    out[2] = static_cast<unsigned char>(value >> 8);
    out[3] = static_cast<unsigned char>(value);
}

void check(UNSIGNED32 rc, const char* what) {
    if (rc != 0) {
        UNSIGNED32 code = 0;
        UNSIGNED8 text[600];
        UNSIGNED16 length = sizeof text;
        AdsGetLastError(&code, text, &length);
        fprintf(stderr, "%s failed: %u %s\n", what, code, text);
        abort();
    }
}

void check_mdb(int rc, const char* what) {
    if (rc != 0) {
        fprintf(stderr, "%s failed: %s\n", what, mdb_strerror(rc));
        abort();
    }
}

// One engine table and one raw LMDB database with the same records, built once.
struct Fixture {
    std::string dir;
    ADSHANDLE connection = 0;
    ADSHANDLE table = 0;
    MDB_env* env = nullptr;
    MDB_dbi dbi = 0;
    UNSIGNED32 raw_next = 1;
    sqlite3* peer = nullptr;

    Fixture() {
        char pattern[] = "/dev/shm/engine-bench-XXXXXX";  // memory: syncs cost nothing
        dir = mkdtemp(pattern);
        check(AdsConnect(u8(dir.c_str()), &connection), "connect");
        check(AdsCreateTable90(connection, u8("Bench"), nullptr, 3, 1, 1, 1, 0, u8(kFields), 0,
                               nullptr, &table),
              "create");
        for (UNSIGNED32 i = 1; i <= kRecords; ++i) {
            append_engine(i);
        }

        check_mdb(mdb_env_create(&env), "env");
        mdb_env_set_mapsize(env, std::size_t{8} << 30);
        mdb_env_set_maxdbs(env, 4);
        std::string raw = dir + "/raw.mdb";
        check_mdb(mdb_env_open(env, raw.c_str(), MDB_NOSUBDIR | MDB_NOTLS | MDB_NOSYNC, 0664),
                  "open raw");
        MDB_txn* txn = nullptr;
        check_mdb(mdb_txn_begin(env, nullptr, 0, &txn), "begin");
        check_mdb(mdb_dbi_open(txn, "records", MDB_CREATE, &dbi), "dbi");
        check_mdb(mdb_txn_commit(txn), "commit");
        for (UNSIGNED32 i = 1; i <= kRecords; ++i) {
            append_raw();
        }
        fill_peer();
    }

    ~Fixture() {
        sqlite3_close(peer);
        AdsCloseTable(table);
        AdsDisconnect(connection);
        mdb_env_close(env);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    void append_engine(UNSIGNED32 i) {
        char name[32];
        int length = snprintf(name, sizeof name, "customer %u", i);
        check(AdsAppendRecord(table), "append");
        check(AdsSetLong(table, u8("Id"), static_cast<SIGNED32>(i)), "set id");
        check(AdsSetField(table, u8("Name"), u8(name), static_cast<UNSIGNED32>(length)),
              "set name");
        check(AdsSetDouble(table, u8("Amount"), i * 0.25), "set amount");
        check(AdsWriteRecord(table), "write");
    }

    // The same rows in a SQLite table (rollback journal, synced), filled in one transaction.
    void fill_peer() {
        const std::string path = dir + "/peer.db";
        if (sqlite3_open(path.c_str(), &peer) != SQLITE_OK) {
            fprintf(stderr, "sqlite: cannot open %s\n", path.c_str());
            abort();
        }
        auto exec = [&](const char* sql) {
            if (sqlite3_exec(peer, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
                fprintf(stderr, "sqlite: %s: %s\n", sql, sqlite3_errmsg(peer));
                abort();
            }
        };
        exec("CREATE TABLE Bench (Id INTEGER, Name TEXT, Amount REAL, Born INTEGER)");
        exec("BEGIN");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(peer, "INSERT INTO Bench VALUES (?, ?, ?, NULL)", -1, &insert, nullptr);
        for (UNSIGNED32 i = 1; i <= kRecords; ++i) {
            char name[32];
            int length = snprintf(name, sizeof name, "customer %u", i);
            sqlite3_bind_int(insert, 1, static_cast<int>(i));
            sqlite3_bind_text(insert, 2, name, length, SQLITE_TRANSIENT);
            sqlite3_bind_double(insert, 3, i * 0.25);
            if (sqlite3_step(insert) != SQLITE_DONE) {
                fprintf(stderr, "sqlite: insert: %s\n", sqlite3_errmsg(peer));
                abort();
            }
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        exec("COMMIT");
    }

    // The same work on raw LMDB: one transaction that stores a record of the same size under
    // the next big-endian number.
    void append_raw() {
        unsigned char key_bytes[4];
        big_endian(raw_next++, key_bytes);
        unsigned char value_bytes[1 + kImageLength] = {};
        snprintf(reinterpret_cast<char*>(value_bytes) + 5, 30, "customer %u", raw_next);
        MDB_txn* txn = nullptr;
        check_mdb(mdb_txn_begin(env, nullptr, 0, &txn), "begin");
        MDB_val key{4, key_bytes};
        MDB_val value{sizeof value_bytes, value_bytes};
        check_mdb(mdb_put(txn, dbi, &key, &value, 0), "put");
        check_mdb(mdb_txn_commit(txn), "commit");
    }
};

Fixture& fixture() {
    static Fixture* instance = new Fixture;  // built once per process, on first use
    return *instance;
}

void BM_EngineAppend(benchmark::State& state) {
    Fixture& f = fixture();
    UNSIGNED32 i = kRecords + 1;
    for (auto _ : state) {
        f.append_engine(i++);
    }
}

void BM_RawLmdbAppend(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        f.append_raw();
    }
}

// The two halves of a walk's step, shared by skip+read and the benchmarks of its parts so that
// the parts measure exactly what the whole does: the read of the current record, and the skip
// with its end test (back to the top at the end).
void read_current(ADSHANDLE table) {
    UNSIGNED8 image[256];
    UNSIGNED32 length = sizeof image;
    check(AdsGetRecord(table, image, &length), "get record");
    benchmark::DoNotOptimize(image);
}

void skip_or_wrap(ADSHANDLE table) {
    check(AdsSkip(table, 1), "skip");
    UNSIGNED16 eof = 0;
    AdsAtEOF(table, &eof);
    if (eof) {
        AdsGotoTop(table);
    }
}

void BM_EngineSkipAndRead(benchmark::State& state) {
    Fixture& f = fixture();
    check(AdsGotoTop(f.table), "top");
    for (auto _ : state) {
        read_current(f.table);
        skip_or_wrap(f.table);
    }
}

// The parts of skip+read, to show where its time goes: one engine call on a table handle
// that does no work of its own (the floor of every call), the read of a record already
// current, and the skip with its end test.
void BM_EngineCallOnly(benchmark::State& state) {
    Fixture& f = fixture();
    check(AdsGotoTop(f.table), "top");
    for (auto _ : state) {
        UNSIGNED32 recno = 0;
        check(AdsGetRecordNum(f.table, VE_IGNORE_FILTERS, &recno), "record number");
        benchmark::DoNotOptimize(recno);
    }
}

void BM_EngineReadOnly(benchmark::State& state) {
    Fixture& f = fixture();
    check(AdsGotoTop(f.table), "top");
    for (auto _ : state) {
        read_current(f.table);
    }
}

// The argument is the handle's read-ahead (AdsCacheRecords): 0 steps through the file on every
// skip, 10 is the default.
void BM_EngineSkipOnly(benchmark::State& state) {
    Fixture& f = fixture();
    check(AdsCacheRecords(f.table, static_cast<UNSIGNED16>(state.range(0))), "cache");
    check(AdsGotoTop(f.table), "top");
    for (auto _ : state) {
        skip_or_wrap(f.table);
    }
    check(AdsCacheRecords(f.table, 10), "cache");
}

void BM_RawLmdbSkipAndRead(benchmark::State& state) {
    Fixture& f = fixture();
    MDB_txn* txn = nullptr;
    MDB_cursor* cursor = nullptr;
    check_mdb(mdb_txn_begin(f.env, nullptr, MDB_RDONLY, &txn), "begin");
    check_mdb(mdb_cursor_open(txn, f.dbi, &cursor), "cursor");
    unsigned char image[256];
    MDB_val key, value;
    mdb_cursor_get(cursor, &key, &value, MDB_FIRST);
    for (auto _ : state) {
        std::memcpy(image, static_cast<char*>(value.mv_data) + 1, value.mv_size - 1);
        benchmark::DoNotOptimize(image);
        if (mdb_cursor_get(cursor, &key, &value, MDB_NEXT) != 0) {
            mdb_cursor_get(cursor, &key, &value, MDB_FIRST);
        }
    }
    mdb_cursor_close(cursor);
    mdb_txn_abort(txn);
}

// SQLite stepping through the same rows and reading every column of each, as a program that
// walks a table through SQLite does; back to the first row at the end.
void BM_SqliteStepAndRead(benchmark::State& state) {
    Fixture& f = fixture();
    sqlite3_stmt* walk = nullptr;
    sqlite3_prepare_v2(f.peer, "SELECT Id, Name, Amount, Born FROM Bench", -1, &walk, nullptr);
    for (auto _ : state) {
        int rc = sqlite3_step(walk);
        if (rc == SQLITE_DONE) {
            sqlite3_reset(walk);
            rc = sqlite3_step(walk);
        }
        if (rc != SQLITE_ROW) {
            fprintf(stderr, "sqlite: step: %s\n", sqlite3_errmsg(f.peer));
            abort();
        }
        benchmark::DoNotOptimize(sqlite3_column_int(walk, 0));
        benchmark::DoNotOptimize(sqlite3_column_text(walk, 1));
        benchmark::DoNotOptimize(sqlite3_column_double(walk, 2));
        benchmark::DoNotOptimize(sqlite3_column_int(walk, 3));
    }
    sqlite3_finalize(walk);
}

// Raw LMDB with what the engine does per call: a renewed read transaction and a cursor
// positioned again by key, so that the engine's own overhead shows apart from it.
void BM_RawLmdbSkipAndReadPerCallTransaction(benchmark::State& state) {
    Fixture& f = fixture();
    MDB_txn* txn = nullptr;
    MDB_cursor* cursor = nullptr;
    check_mdb(mdb_txn_begin(f.env, nullptr, MDB_RDONLY, &txn), "begin");
    check_mdb(mdb_cursor_open(txn, f.dbi, &cursor), "cursor");
    mdb_txn_reset(txn);
    unsigned char image[256];
    UNSIGNED32 current = 1;
    for (auto _ : state) {
        mdb_txn_renew(txn);
        mdb_cursor_renew(txn, cursor);
        unsigned char key_bytes[4];
        big_endian(current + 1, key_bytes);
        MDB_val key{4, key_bytes}, value;
        if (mdb_cursor_get(cursor, &key, &value, MDB_SET_RANGE) != 0) {
            mdb_cursor_get(cursor, &key, &value, MDB_FIRST);
        }
        const auto* k = static_cast<const unsigned char*>(key.mv_data);
        current =
            (UNSIGNED32{k[0]} << 24) | (UNSIGNED32{k[1]} << 16) | (UNSIGNED32{k[2]} << 8) | k[3];
        std::memcpy(image, static_cast<char*>(value.mv_data) + 1, value.mv_size - 1);
        benchmark::DoNotOptimize(image);
        mdb_txn_reset(txn);
    }
    mdb_cursor_close(cursor);
    mdb_txn_abort(txn);
}

void BM_EngineGotoRecord(benchmark::State& state) {
    Fixture& f = fixture();
    std::mt19937 random(42);
    std::uniform_int_distribution<UNSIGNED32> pick(1, kRecords);
    UNSIGNED8 image[256];
    for (auto _ : state) {
        check(AdsGotoRecord(f.table, pick(random)), "goto");
        UNSIGNED32 length = sizeof image;
        check(AdsGetRecord(f.table, image, &length), "get record");
        benchmark::DoNotOptimize(image);
    }
}

void BM_RawLmdbGotoRecord(benchmark::State& state) {
    Fixture& f = fixture();
    std::mt19937 random(42);
    std::uniform_int_distribution<UNSIGNED32> pick(1, kRecords);
    MDB_txn* txn = nullptr;
    check_mdb(mdb_txn_begin(f.env, nullptr, MDB_RDONLY, &txn), "begin");
    unsigned char image[256];
    for (auto _ : state) {
        unsigned char key_bytes[4];
        big_endian(pick(random), key_bytes);
        MDB_val key{4, key_bytes}, value;
        check_mdb(mdb_get(txn, f.dbi, &key, &value), "get");
        std::memcpy(image, static_cast<char*>(value.mv_data) + 1, value.mv_size - 1);
        benchmark::DoNotOptimize(image);
    }
    mdb_txn_abort(txn);
}

// A copy of the engine's table that no handle keeps open, so that every open of it is a first
// open in the process and walks its pages before use.
const std::string& closed_copy() {
    static const std::string path = [] {
        Fixture& f = fixture();
        std::string copy = f.dir + "/Closed.adt";
        std::filesystem::copy_file(f.dir + "/Bench.adt", copy);
        return copy;
    }();
    return path;
}

// The first open of the 1,000,000-record table: the page walk, the header and fields read,
// then the close that lets the next open be a first one again.
void BM_EngineFirstOpen(benchmark::State& state) {
    Fixture& f = fixture();
    const std::string& path = closed_copy();
    for (auto _ : state) {
        ADSHANDLE table = 0;
        check(
            AdsOpenTable90(f.connection, u8(path.c_str()), nullptr, 3, 1, 1, 1, 0, nullptr, &table),
            "open copy");
        AdsCloseTable(table);
        AdsCloseCachedTables(f.connection);  // or the process keeps the file for the next open
    }
}

// The same file opened by raw LMDB with the sub-database the records are in: the open
// without the page walk.
void BM_RawLmdbFirstOpen(benchmark::State& state) {
    const std::string& path = closed_copy();
    for (auto _ : state) {
        MDB_env* env = nullptr;
        check_mdb(mdb_env_create(&env), "env");
        mdb_env_set_mapsize(env, std::size_t{64} << 30);
        mdb_env_set_maxdbs(env, 128);
        check_mdb(mdb_env_open(env, path.c_str(), MDB_NOSUBDIR | MDB_NOTLS, 0664), "open copy");
        MDB_txn* txn = nullptr;
        MDB_dbi records = 0;
        check_mdb(mdb_txn_begin(env, nullptr, MDB_RDONLY, &txn), "begin");
        check_mdb(mdb_dbi_open(txn, "records", 0, &records), "dbi");
        mdb_txn_abort(txn);
        mdb_env_close(env);
    }
}

}  // namespace

BENCHMARK(BM_EngineFirstOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawLmdbFirstOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineAppend);
BENCHMARK(BM_RawLmdbAppend);
BENCHMARK(BM_EngineSkipAndRead);
BENCHMARK(BM_RawLmdbSkipAndRead);
BENCHMARK(BM_SqliteStepAndRead);
BENCHMARK(BM_RawLmdbSkipAndReadPerCallTransaction);
BENCHMARK(BM_EngineCallOnly);
BENCHMARK(BM_EngineReadOnly);
BENCHMARK(BM_EngineSkipOnly)->Arg(0)->Arg(10)->Arg(100);
BENCHMARK(BM_EngineGotoRecord);
BENCHMARK(BM_RawLmdbGotoRecord);

BENCHMARK_MAIN();
