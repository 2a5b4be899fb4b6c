// The file-system calls a table store makes by name (remove, rename, status, listing) failing
// under the engine, through its C ABI: each failure at each point of a table removal, a
// restructure, a new table and an open ends in a clear error, leaves the table as it was and
// no work file behind, and the same call succeeds once the disk behaves.
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>

#include "engine/env/testing_hooks.h"
#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class StoreFaults : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        VarelumTestInstallFaults();
        ADSHANDLE table = create("Stock", "Name,Char,20;Notes,Memo;");
        for (const char* name : {"bolt", "nut", "washer"}) {
            append_row(table, {{"Name", name}, {"Notes", std::string(name) + " notes"}});
        }
        AdsCloseTable(table);
    }
    void TearDown() override {
        VarelumTestRemoveFaults();
        EngineTest::TearDown();
    }

    // The folder's entries, in byte order: the engine's work files show as what they are.
    std::string entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        std::string out;
        for (const auto& name : names) {
            out += name + ";";
        }
        return out;
    }

    // The table's fields and names, or the error opening it gave.
    std::string contents() {
        ADSHANDLE table = 0;
        if (open("Stock", &table) != VE_SUCCESS) {
            return "open failed: " + last_error_text();
        }
        UNSIGNED16 fields = 0;
        AdsGetNumFields(table, &fields);
        std::string out = std::to_string(fields) + " fields:";
        UNSIGNED16 eof = 0;
        for (UNSIGNED32 rc = AdsGotoTop(table);
             rc == VE_SUCCESS && AdsAtEOF(table, &eof) == VE_SUCCESS && !eof;
             rc = AdsSkip(table, 1)) {
            out += text(table, "Name", VE_TRIM_RIGHT) + ";";
        }
        AdsCloseTable(table);
        return out;
    }
};

// Runs `work` with the n-th call of kind `call` (on any path) failing with EIO, for n = 0, 1,
// ... until the work succeeds; `failed` checks what each failure left. Answers how many
// points of failure there were.
int fail_each_call(const char* call, const std::function<UNSIGNED32()>& work,
                   const std::function<void(UNSIGNED32 rc)>& failed) {
    for (int skip = 0; skip < 50; ++skip) {
        VarelumTestFailPathCalls(call, "", EIO, skip, 1);
        const UNSIGNED32 rc = work();
        const bool spent = VarelumTestPendingFaults() == 0;
        VarelumTestFailPathCalls(call, "", 0, 0, 0);
        if (rc == VE_SUCCESS) {
            // A failure the work may pass over (a stray file it could not remove) ends it too:
            // the work is done.
            return skip;
        }
        SCOPED_TRACE(std::string(call) + " number " + std::to_string(skip + 1) + " failing");
        EXPECT_TRUE(spent) << "the work failed by itself: " << last_error_text();
        failed(rc);
    }
    ADD_FAILURE() << "the work never ran clean";
    return 0;
}

TEST_F(StoreFaults, AFailedRemovalLeavesTheTableWholeAndTheDeleteSucceedsAfterwards) {
    const std::string before = entries();
    int points = fail_each_call(
        "remove",
        [&] {
            ADSHANDLE table = 0;
            UNSIGNED32 rc = open("Stock", &table);
            if (rc != VE_SUCCESS) {
                return rc;
            }
            return AdsDeleteTable(table);  // closes the handle, then removes the files
        },
        [&](UNSIGNED32 rc) {
            EXPECT_EQ(VE_FILE_ERROR, rc);
            EXPECT_NE(std::string::npos, last_error_text().find("Stock.adt")) << last_error_text();
            EXPECT_EQ("2 fields:bolt;nut;washer;", contents());
            EXPECT_EQ(before, entries());
        });
    EXPECT_GE(points, 1);
    ADSHANDLE table = 0;
    EXPECT_EQ(VE_TABLE_NOT_FOUND, open("Stock", &table));
}

TEST_F(StoreFaults, ARestructureWhoseRenameFailsKeepsTheOldTableAndLeavesNoWorkFile) {
    const std::string before = entries();
    int points = fail_each_call(
        "rename",
        [&] {
            return AdsRestructureTable90(connection_, u8("Stock"), nullptr, VE_TABLE_TYPE_ADT,
                                         VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK,
                                         u8("Price,Money;"), nullptr, nullptr, u8("ANSI"));
        },
        [&](UNSIGNED32 rc) {
            EXPECT_EQ(VE_FILE_ERROR, rc);
            EXPECT_EQ("2 fields:bolt;nut;washer;", contents());
            EXPECT_EQ(before, entries());
        });
    EXPECT_GE(points, 1);
    EXPECT_EQ("3 fields:bolt;nut;washer;", contents());
}

TEST_F(StoreFaults, ANewTableWhoseRenameFailsIsNotThereAndLeavesNoWorkFile) {
    const std::string before = entries();
    int points = fail_each_call(
        "rename",
        [&] {
            ADSHANDLE table = 0;
            UNSIGNED32 rc = AdsCreateTable90(connection_, u8("Fresh"), nullptr, VE_TABLE_TYPE_ADT,
                                             VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK,
                                             0, u8("Id,Integer;"), 0, u8("ANSI"), &table);
            if (rc == VE_SUCCESS) {
                AdsCloseTable(table);
            }
            return rc;
        },
        [&](UNSIGNED32 rc) {
            EXPECT_EQ(VE_FILE_ERROR, rc);
            EXPECT_EQ(before, entries());
        });
    EXPECT_GE(points, 1);
    EXPECT_NE(std::string::npos, entries().find("Fresh.adt;"));
}

TEST_F(StoreFaults, AFailedStatusOnOpenIsAClearErrorAndTheNextOpenSucceeds) {
    fail_each_call(
        "stat",
        [&] {
            ADSHANDLE table = 0;
            UNSIGNED32 rc = open("Stock", &table);
            if (rc == VE_SUCCESS) {
                AdsCloseTable(table);
            }
            return rc;
        },
        [&](UNSIGNED32 rc) {
            EXPECT_NE(VE_SUCCESS, rc);
            EXPECT_FALSE(last_error_text().empty());
        });
    EXPECT_EQ("2 fields:bolt;nut;washer;", contents());
}

TEST_F(StoreFaults, AFolderThatCannotBeListedIsAnErrorNotAnEmptyFolder) {
    UNSIGNED8 name[256] = {};
    UNSIGNED16 length = sizeof name;
    ADSHANDLE search = 0;
    VarelumTestFailPathCalls("list", "", EIO, 0, 1);
    EXPECT_EQ(VE_FILE_ERROR, AdsFindFirstTable(connection_, u8(""), name, &length, &search));
    EXPECT_NE(std::string::npos, last_error_text().find("Input/output error")) << last_error_text();
    EXPECT_EQ(0u, search);

    length = sizeof name;
    ASSERT_ADS_OK(AdsFindFirstTable(connection_, u8(""), name, &length, &search));
    EXPECT_EQ("Stock.adt", std::string(reinterpret_cast<char*>(name), length));
    EXPECT_ADS_OK(AdsFindClose(connection_, search));
}

}  // namespace
}  // namespace varelum::engine::testing
