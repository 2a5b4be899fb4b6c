// A read transaction parked between calls must not pin the file's old pages for long: a
// commit in the process ends it at once, and left idle the reaper ends it by itself.
#include "engine/storage/lmdb/parked_reads.h"

#include <gtest/gtest.h>
#include <lmdb.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace varelum::engine {
namespace {

class ParkedReads : public ::testing::Test {
  protected:
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

}  // namespace
}  // namespace varelum::engine
