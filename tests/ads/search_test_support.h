// Helpers of the locate, key-search and editing tests: a fixture with tables of the store
// opened as TAdsTable, index tags created through the engine, a second engine connection that
// plays "another user" inside this process, a peer process (ads_lock_peer) for the same role
// across processes, and a check for engine functions that are not exported yet.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "ads/adstable_table.h"
#include "component_test_support.h"

namespace varelum::ads::test {

// The names of the given functions that the engine library of this run does not export.
inline std::string MissingEngineFunctions(std::initializer_list<const char*> names) {
    const char* path = std::getenv("VARELUM_ENGINE_LIBRARY");
    void* library = dlopen(path != nullptr ? path : "libvarelum-engine.so", RTLD_NOW);
    std::string missing;
    for (const char* name : names) {
        if (library == nullptr || dlsym(library, name) == nullptr) {
            missing += missing.empty() ? name : std::string(", ") + name;
        }
    }
    if (library != nullptr) {
        dlclose(library);
    }
    return missing;
}

// Skips the test while the engine lacks one of the functions.
#define VARELUM_REQUIRE_ENGINE(...)                                                              \
    do {                                                                                         \
        const std::string missing = ::varelum::ads::test::MissingEngineFunctions({__VA_ARGS__}); \
        if (!missing.empty()) {                                                                  \
            GTEST_SKIP() << "the engine does not export " << missing << " yet";                  \
        }                                                                                        \
    } while (false)

// What a peer process printed: its first line ("edited", "changed", "error CODE", ...) and
// the rest.
struct TPeerAnswer {
    std::string Status;
    std::string Detail;
};

// Runs ads_lock_peer with the arguments and returns what it printed.
inline TPeerAnswer RunLockPeer(const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return {"failure", "no pipe"};
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        std::vector<char*> argv;
        std::string program = VARELUM_ADS_LOCK_PEER;
        argv.push_back(program.data());
        std::vector<std::string> copies = arguments;
        for (std::string& argument : copies) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string output;
    char chunk[256];
    ssize_t count = 0;
    while ((count = read(pipeEnds[0], chunk, sizeof chunk)) > 0) {
        output.append(chunk, static_cast<std::size_t>(count));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    const std::size_t newline = output.find('\n');
    TPeerAnswer answer;
    answer.Status = output.substr(0, newline);
    if (newline != std::string::npos) {
        answer.Detail = output.substr(newline + 1);
        while (!answer.Detail.empty() && answer.Detail.back() == '\n') {
            answer.Detail.pop_back();
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        answer.Status = "failure (" + std::to_string(status) + ") " + answer.Status;
    }
    return answer;
}

class TDataSetFixture : public TStoreFixture {
  protected:
    // A table of the store "BALDERIM", named Tb + the table's base name, not yet open.
    static std::unique_ptr<TAdsTable> Table(const std::string& name) {
        auto table = std::make_unique<TAdsTable>();
        table->SetName("Tb" + name.substr(0, name.find('.')));
        table->SetDatabaseName("BALDERIM");
        table->SetTableName(name);
        return table;
    }

    // Opens a table on the fixture's own engine connection: another user of the table.
    ADSHANDLE OpenOnOtherConnection(const std::string& name) {
        ADSHANDLE table = 0;
        EXPECT_EQ(ace::AdsOpenTable90(Connection(), EngineText(name), nullptr, VE_TABLE_TYPE_ADT,
                                      VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                      EngineText(""), &table),
                  0u);
        return table;
    }

    // Whether another user could lock the record now (the lock is released again).
    bool OtherUserCanLock(const std::string& name, UNSIGNED32 record) {
        const ADSHANDLE table = OpenOnOtherConnection(name);
        const UNSIGNED32 result = ace::AdsLockRecord(table, record);
        if (result == 0) {
            ace::AdsUnlockRecord(table, record);
        }
        ace::AdsCloseTable(table);
        EXPECT_TRUE(result == 0 || result == VE_LOCK_REFUSED) << "lock answer " << result;
        return result == 0;
    }

    // Records of the table as another user counts them (deleted ones included while shown).
    UNSIGNED32 CountOnOtherConnection(const std::string& name) {
        const ADSHANDLE table = OpenOnOtherConnection(name);
        UNSIGNED32 count = 0;
        EXPECT_EQ(ace::AdsGetRecordCount(table, VE_IGNORE_FILTERS, &count), 0u);
        ace::AdsCloseTable(table);
        return count;
    }

    // A text field of record `record` as another user reads it (trimmed); "<null>" for null.
    std::string ReadOnOtherConnection(const std::string& name, UNSIGNED32 record,
                                      const std::string& field) {
        const ADSHANDLE table = OpenOnOtherConnection(name);
        std::string value;
        EXPECT_EQ(ace::AdsGotoRecord(table, record), 0u);
        UNSIGNED16 isNull = 0;
        EXPECT_EQ(ace::AdsIsNull(table, EngineText(field), &isNull), 0u);
        if (isNull) {
            value = "<null>";
        } else {
            UNSIGNED8 text[512] = {};
            UNSIGNED32 length = sizeof text - 1;
            EXPECT_EQ(ace::AdsGetField(table, EngineText(field), text, &length, VE_TRIM_RIGHT), 0u);
            value.assign(reinterpret_cast<const char*>(text), length);
        }
        ace::AdsCloseTable(table);
        return value;
    }

    // Creates an index tag on a table file (through a handle of the fixture's connection).
    void CreateIndex(const std::string& table, const std::string& tag, const std::string& expr,
                     UNSIGNED32 options = 0, const char* condition = nullptr) {
        const ADSHANDLE handle = OpenOnOtherConnection(table);
        ADSHANDLE index = 0;
        EXPECT_EQ(ace::AdsCreateIndex90(handle, nullptr, EngineText(tag), EngineText(expr),
                                        condition != nullptr ? EngineText(condition) : nullptr,
                                        nullptr, options, 0, nullptr, &index),
                  0u)
            << "creating index " << tag;
        ace::AdsCloseTable(handle);
    }

    // Whether the engine's whole raw key (AdsBuildRawKey100 with VE_KEY_WHOLE) of a compound
    // index ends after the last segment set, which a Locate or FindKey on its leading fields
    // needs; tried on index tag of table with only its first field set.
    bool WholeKeyEndsAtTheLastSegmentSet(const std::string& table, const std::string& tag,
                                         const std::string& firstField) {
        const ADSHANDLE handle = OpenOnOtherConnection(table);
        ADSHANDLE index = 0;
        UNSIGNED16 keyLength = 0;
        UNSIGNED8 key[4082] = {};
        UNSIGNED16 length = sizeof key;
        const bool ends =
            ace::AdsGetIndexHandle(handle, EngineText(tag), &index) == 0 &&
            ace::AdsInitRawKey(index) == 0 &&
            ace::AdsSetField(index, EngineText(firstField), EngineText("A"), 1) == 0 &&
            ace::AdsBuildRawKey100(index, key, &length, VE_KEY_WHOLE) == 0 &&
            ace::AdsGetKeyLength(index, &keyLength) == 0 && length < keyLength;
        ace::AdsCloseTable(handle);
        return ends;
    }
};

// Skips a test of the leading fields of a compound index while the engine's whole raw keys
// fill the segments not set with empty values (then such a key finds no record).
#define VARELUM_REQUIRE_WHOLE_KEY_OF_LEADING_SEGMENTS(table, tag, field)                    \
    do {                                                                                    \
        if (!WholeKeyEndsAtTheLastSegmentSet(table, tag, field)) {                          \
            GTEST_SKIP() << "the engine's whole raw key fills segments not set with empty " \
                            "values instead of ending after the last one set";              \
        }                                                                                   \
    } while (false)

// Sets the engine's process-wide "show deleted records" for one test.
class TScopedShowDeleted {
  public:
    explicit TScopedShowDeleted(bool show) {
        ace::AdsGetDeleted(&FPrevious);
        ace::AdsShowDeleted(show ? 1 : 0);
    }
    ~TScopedShowDeleted() { ace::AdsShowDeleted(FPrevious); }
    TScopedShowDeleted(const TScopedShowDeleted&) = delete;
    TScopedShowDeleted& operator=(const TScopedShowDeleted&) = delete;

  private:
    UNSIGNED16 FPrevious = 1;
};

}  // namespace varelum::ads::test
