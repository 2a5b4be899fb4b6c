// What the engine's benchmarks share: engine calls and SQLite statements that end the run with
// their error when they fail (a benchmark that measured a failure would mislead), temporary
// directories, and the loop that runs one case and counts the items it handled.
#pragma once

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "varelum_engine.h"

namespace varelum::bench {

// 8-bit text arguments; the char* form costs no copy inside a timed loop.
inline const UNSIGNED8* u8(const char* text) {
    return reinterpret_cast<const UNSIGNED8*>(text);
}

inline const UNSIGNED8* u8(const std::string& text) {
    return u8(text.c_str());
}

// Ends the run with the engine's last error when rc is not success.
inline void check(UNSIGNED32 rc, const char* what) {
    if (rc != 0) {
        UNSIGNED32 code = 0;
        UNSIGNED8 text[600] = {};
        UNSIGNED16 length = sizeof text;
        AdsGetLastError(&code, text, &length);
        std::fprintf(stderr, "%s: %u %s\n", what, code, reinterpret_cast<char*>(text));
        std::abort();
    }
}

// Runs SQL on the peer; ends the run with SQLite's message when it fails.
inline void exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s: %s\n", sql.c_str(), error != nullptr ? error : "?");
        std::abort();
    }
}

// Opens (creating) the peer's database at path and runs `setup` on it.
inline sqlite3* open_peer(const std::filesystem::path& path, const std::string& setup) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: cannot open %s\n", path.c_str());
        std::abort();
    }
    exec(db, setup);
    return db;
}

// A new directory "<name>-XXXXXX" in parent.
inline std::filesystem::path make_directory(const std::filesystem::path& parent,
                                            const std::string& name) {
    std::string pattern = (parent / (name + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

// Runs `run(n)` once per iteration (n = 1, 2, ...), counting `items` handled by each.
template <typename Run>
void run_counted(benchmark::State& state, std::int64_t items, Run run) {
    int n = 0;
    for (auto _ : state) {
        run(++n);
    }
    state.SetItemsProcessed(state.iterations() * items);
}

}  // namespace varelum::bench
