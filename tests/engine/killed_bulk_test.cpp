// Bulk work killed in the middle: a process appending many records through the batched copy,
// packing, reindexing or creating an index is killed with SIGKILL at random points. Each time
// the table must open cleanly, pass the check with its indexes, keep every record that was
// there before whole, and lose at most the batch being written.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <random>
#include <thread>

#include "engine_test_support.h"
#include "sanitized_build.h"

namespace varelum::engine::testing {
namespace {

// Enough records for several batches, few enough that every trial reads the whole table
// quickly in the sanitizer build too. There the killed process appends two batches and more
// instead of four, and each kind of work is killed twice instead of four times.
constexpr bool kSanitized = varelum::testing::kSanitizedBuild;
constexpr UNSIGNED32 kBefore = kSanitized ? 2000 : 6000;     // records before the bulk work
constexpr UNSIGNED32 kAppended = kSanitized ? 9000 : 20000;  // records the killed process appends
constexpr UNSIGNED32 kBatch = 4096;                          // writes per synced batch
constexpr int kTrials = kSanitized ? 2 : 4;                  // kills of each kind of work

UNSIGNED16 g_kill_at = 0;

UNSIGNED32 kill_at_percent(UNSIGNED16 percent) {
    if (percent >= g_kill_at) {
        ::kill(::getpid(), SIGKILL);
    }
    return 0;
}

// Rows of codes first.. first + count - 1: Code i, Name "name<i>".
std::string rows_select(UNSIGNED32 first, UNSIGNED32 count) {
    return "WITH RECURSIVE n(i) AS (SELECT " + std::to_string(first) +
           " UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(first + count - 1) +
           ") SELECT i AS Code, 'name' || i AS Name FROM n";
}

class KilledBulkWork : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        ADSHANDLE table = create("T", "Code,Integer;Name,Char,20;");
        ADSHANDLE unused = 0;
        ASSERT_ADS_OK(AdsCreateIndex90(table, nullptr, u8("ByCode"), u8("Code"), nullptr, nullptr,
                                       VE_INDEX_UNIQUE, 0, nullptr, &unused));
        ASSERT_ADS_OK(AdsCreateIndex90(table, nullptr, u8("ByName"), u8("UPPER(Name)"), nullptr,
                                       nullptr, 0, 0, nullptr, &unused));
        fill_by_sql(table, rows_select(1, kBefore));
        // Some deleted, so that a pack has work to do.
        for (UNSIGNED32 recno = 100; recno <= 1000; recno += 100) {
            ASSERT_ADS_OK(AdsGotoRecord(table, recno));
            ASSERT_ADS_OK(AdsDeleteRecord(table));
        }
        ASSERT_ADS_OK(AdsCloseTable(table));
    }

    // Runs work on table T in a child process (its own connection): killed at `percent` of the
    // work's progress when percent > 0, else after `delay` when one is given, else left to
    // end. Answers whether the child was killed.
    bool run_child(const std::function<void(ADSHANDLE connection, ADSHANDLE table)>& work,
                   UNSIGNED16 percent, std::optional<std::chrono::microseconds> delay,
                   UNSIGNED32 open_options = 0) {
        // The child must not share this process's open storage environment of the file.
        AdsCloseCachedTables(connection_);
        const pid_t child = ::fork();
        if (child == 0) {
            ADSHANDLE connection = 0;
            ADSHANDLE table = 0;
            if (AdsConnect(u8(dir_.path()), &connection) != VE_SUCCESS ||
                open("T", &table, open_options, connection) != VE_SUCCESS) {
                ::_exit(90);
            }
            if (percent > 0) {
                g_kill_at = percent;
                AdsRegisterProgressCallback(kill_at_percent);
            }
            work(connection, table);
            ::_exit(0);
        }
        EXPECT_NE(-1, child);
        if (percent == 0 && delay) {
            std::this_thread::sleep_for(*delay);
            ::kill(child, SIGKILL);
        }
        int status = 0;
        EXPECT_EQ(child, ::waitpid(child, &status, 0));
        EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0)
            << "the child failed: " << WEXITSTATUS(status);
        return WIFSIGNALED(status);
    }

    // The table opens and passes the check, its indexes included; answers the codes of its
    // records in record order (negative when deleted), each record read whole.
    std::vector<SIGNED32> sound_codes() {
        ADSHANDLE table = 0;
        std::vector<SIGNED32> found;
        EXPECT_ADS_OK(AdsShowDeleted(1));
        EXPECT_ADS_OK(open("T", &table));
        if (table == 0) {
            return found;
        }
        std::vector<UNSIGNED8> report(1 << 16);
        auto length = static_cast<UNSIGNED32>(report.size());
        EXPECT_ADS_OK(AdsCheckTable(table, 0, report.data(), &length))
            << std::string(reinterpret_cast<const char*>(report.data()), length);
        EXPECT_ADS_OK(AdsGotoTop(table));
        while (!at_eof(table)) {
            SIGNED32 code = 0;
            UNSIGNED16 deleted = 0;
            EXPECT_ADS_OK(AdsGetLong(table, u8("Code"), &code));
            EXPECT_ADS_OK(AdsIsRecordDeleted(table, &deleted));
            if (text(table, "Name", VE_TRIM_RIGHT) != "name" + std::to_string(code)) {
                ADD_FAILURE() << "record " << recno(table) << " is not whole";
                break;
            }
            found.push_back(deleted != 0 ? -code : code);
            EXPECT_ADS_OK(AdsSkip(table, 1));
        }
        EXPECT_ADS_OK(AdsCloseTable(table));
        EXPECT_ADS_OK(AdsShowDeleted(0));
        return found;
    }
};

// The codes of the records as SetUp leaves them.
std::vector<SIGNED32> codes_before() {
    std::vector<SIGNED32> codes;
    for (UNSIGNED32 i = 1; i <= kBefore; ++i) {
        const auto code = static_cast<SIGNED32>(i);
        codes.push_back(i % 100 == 0 && i <= 1000 ? -code : code);
    }
    return codes;
}

// Appends kAppended rows with codes from first on, as an import does: one copy, written in
// synced batches.
std::function<void(ADSHANDLE, ADSHANDLE)> append_from(SIGNED32 first) {
    return [first](ADSHANDLE connection, ADSHANDLE table) {
        ADSHANDLE statement = 0;
        ADSHANDLE cursor = 0;
        if (AdsCreateSQLStatement(connection, &statement) != VE_SUCCESS ||
            AdsExecuteSQLDirect(statement,
                                u8(rows_select(static_cast<UNSIGNED32>(first), kAppended)),
                                &cursor) != VE_SUCCESS ||
            AdsCopyTableContents(cursor, table, VE_IGNORE_FILTERS) != VE_SUCCESS) {
            ::_exit(91);
        }
    };
}

TEST_F(KilledBulkWork, AnAppendKilledAnywhereKeepsEveryRecordBeforeAndLosesAtMostItsLastBatch) {
    std::vector<SIGNED32> expected = codes_before();
    // Once to the end, to learn how long the work takes on this machine.
    const auto start = std::chrono::steady_clock::now();
    SIGNED32 next = kBefore + 1;
    EXPECT_FALSE(run_child(append_from(next), 0, std::nullopt));
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    for (UNSIGNED32 i = 0; i < kAppended; ++i) {
        expected.push_back(next++);
    }
    ASSERT_EQ(expected, sound_codes());

    std::mt19937 random(15);
    for (int trial = 0; trial < kTrials; ++trial) {
        const std::chrono::microseconds delay(
            std::uniform_int_distribution<std::int64_t>(0, took.count() * 3 / 4)(random));
        SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " us");
        const bool killed = run_child(append_from(next), 0, delay);
        const std::vector<SIGNED32> found = sound_codes();
        ASSERT_GE(found.size(), expected.size());
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), found.begin()))
            << "a record that was there before changed";
        const std::size_t appended = found.size() - expected.size();
        if (killed && appended != kAppended) {
            EXPECT_EQ(0u, appended % kBatch) << appended << " records kept: not whole batches";
        } else {
            EXPECT_EQ(kAppended, appended);
        }
        for (std::size_t i = expected.size(); i < found.size(); ++i) {
            ASSERT_EQ(next, found[i]) << "record " << i + 1 << " is not the next row";
            ++next;
        }
        next += static_cast<SIGNED32>(kAppended - appended);  // codes never used again
        expected = found;
    }
}

TEST_F(KilledBulkWork, PackReindexAndIndexCreationKilledAnywhereLeaveTheOldTableOrTheNewOne) {
    std::mt19937 random(16);
    auto percent = [&] {
        return static_cast<UNSIGNED16>(std::uniform_int_distribution<int>(1, 99)(random));
    };
    const std::vector<SIGNED32> before = codes_before();
    std::vector<SIGNED32> packed;
    for (SIGNED32 code : before) {
        if (code > 0) {
            packed.push_back(code);
        }
    }
    for (int trial = 0; trial < kTrials; ++trial) {
        const UNSIGNED16 at = percent();
        SCOPED_TRACE("pack killed at " + std::to_string(at) + "%");
        EXPECT_TRUE(run_child([](ADSHANDLE, ADSHANDLE table) { AdsPackTable(table); }, at,
                              std::nullopt, VE_OPEN_EXCLUSIVE));
        const std::vector<SIGNED32> found = sound_codes();
        EXPECT_TRUE(found == before || found == packed) << found.size() << " records";
        if (found == packed) {
            break;  // nothing is left to pack
        }
    }
    for (int trial = 0; trial < kTrials; ++trial) {
        const UNSIGNED16 at = percent();
        SCOPED_TRACE("reindex killed at " + std::to_string(at) + "%");
        const std::vector<SIGNED32> expected = sound_codes();
        EXPECT_TRUE(run_child([](ADSHANDLE, ADSHANDLE table) { AdsReindex(table); }, at,
                              std::nullopt, VE_OPEN_EXCLUSIVE));
        EXPECT_EQ(expected, sound_codes());
    }
    for (int trial = 0; trial < kTrials; ++trial) {
        const UNSIGNED16 at = percent();
        SCOPED_TRACE("index creation killed at " + std::to_string(at) + "%");
        const std::vector<SIGNED32> expected = sound_codes();
        EXPECT_TRUE(run_child(
            [](ADSHANDLE, ADSHANDLE table) {
                ADSHANDLE index = 0;
                AdsCreateIndex90(table, nullptr, u8("ByNameCode"), u8("Name;Code"), nullptr,
                                 nullptr, 0, 0, nullptr, &index);
            },
            at, std::nullopt));
        EXPECT_EQ(expected, sound_codes());
    }
}

}  // namespace
}  // namespace varelum::engine::testing
