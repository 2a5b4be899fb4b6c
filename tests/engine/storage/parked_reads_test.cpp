// A read transaction parked between calls must not pin the file's old pages for long: a
// commit in the process ends it at once, and left idle the reaper ends it by itself.
#include "engine/storage/lmdb/parked_reads.h"

#include "engine/storage/lmdb/lmdb.h"

#include <gtest/gtest.h>
#include <lmdb.h>
#include <stdlib.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace varelum::engine {
namespace {

class ParkedReads : public ::testing::Test {
  protected:
    // Read transactions of the file that hold a snapshot (and so pin its pages).
    int snapshots_held() const {
        int held = 0;
        mdb_reader_list(
            env_,
            [](const char* line, void* count) {
                char pid[32], thread[32], txnid[32];
                if (std::sscanf(line, "%31s %31s %31s", pid, thread, txnid) == 3 &&
                    std::isdigit(static_cast<unsigned char>(txnid[0]))) {
                    ++*static_cast<int*>(count);
                }
                return 0;
            },
            &held);
        return held;
    }

    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "parked-XXXXXX").string();
        directory_ = mkdtemp(pattern.data());
        ASSERT_EQ(0, mdb_env_create(&env_));
        ASSERT_EQ(
            0, mdb_env_open(env_, (directory_ + "/t.mdb").c_str(), MDB_NOSUBDIR | MDB_NOTLS, 0664));
        MDB_txn* txn = nullptr;
        ASSERT_EQ(0, mdb_txn_begin(env_, nullptr, MDB_RDONLY, &txn));
        read_.txn = txn;
        read_.env = env_;
        read_.enter();
    }
    void TearDown() override {
        read_.stop();
        mdb_txn_abort(read_.txn);
        mdb_env_close(env_);
        std::filesystem::remove_all(directory_);
    }

    std::string directory_;
    MDB_env* env_ = nullptr;
    ParkedRead read_;
};

TEST_F(ParkedReads, ATransactionParkedByAHandleIsTakenBackWithItsSnapshot) {
    read_.park();
    EXPECT_TRUE(read_.parked());
    EXPECT_TRUE(read_.resume());
    EXPECT_TRUE(read_.in_call());
}

TEST_F(ParkedReads, ACommitToTheFileEndsParkedTransactionsButNotOnesInACall) {
    ParkedRead::end_parked(env_);
    EXPECT_TRUE(read_.in_call()) << "a call in progress keeps its snapshot";
    read_.park();
    ParkedRead::end_parked(env_);
    EXPECT_FALSE(read_.parked());
    EXPECT_FALSE(read_.resume()) << "an ended transaction must be renewed";
    EXPECT_EQ(0, mdb_txn_renew(read_.txn));
    read_.enter();
}

TEST_F(ParkedReads, AnIdleParkedTransactionIsEndedByTheReaper) {
    read_.park();
    // Ended after one to two sweeps; the deadline only guards against a reaper that never
    // comes, whatever the load of the machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (read_.parked() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(read_.parked());
    EXPECT_FALSE(read_.resume());
    EXPECT_EQ(0, mdb_txn_renew(read_.txn));
    read_.enter();
}

// A handle's read transaction between calls: parked when nothing was committed meanwhile, so
// the next call takes the same snapshot back without a renewal; not parked when this process
// committed while the call held it (the snapshot would pin the pages that commit replaced).
TEST_F(ParkedReads, ACallsSnapshotIsParkedUnlessThisProcessCommittedDuringTheCall) {
    ReadTransaction read;
    read.begin(env_, "t.mdb");
    read.end();
    const std::uint64_t renewals = read.renewals();
    read.begin(env_, "t.mdb");
    EXPECT_EQ(renewals, read.renewals()) << "nothing committed: the parked snapshot is taken back";

    MDB_txn* write = nullptr;
    ASSERT_EQ(0, mdb_txn_begin(env_, nullptr, 0, &write));
    MDB_dbi dbi = 0;
    ASSERT_EQ(0, mdb_dbi_open(write, nullptr, 0, &dbi));
    char key[] = "k", value[] = "v";
    MDB_val k{1, key}, v{1, value};
    ASSERT_EQ(0, mdb_put(write, dbi, &k, &v, 0));
    ASSERT_EQ(0, mdb_txn_commit(write));
    ParkedRead::end_parked(env_);  // as every commit of the engine does
    const int before = snapshots_held();
    read.end();
    EXPECT_EQ(before - 1, snapshots_held()) << "the passed snapshot is let go, not parked";

    read.begin(env_, "t.mdb");
    EXPECT_EQ(renewals + 1, read.renewals()) << "renewed: the commit's snapshot is seen";
    MDB_envinfo info;
    mdb_env_info(env_, &info);
    EXPECT_EQ(info.me_last_txnid, mdb_txn_id(read.get()));
    read.end();
}

}  // namespace
}  // namespace varelum::engine
