// Several processes on one table: record and table locks between processes, locks dying
// with their process, interleaved appends, and a writer killed in the middle of its work.
#include <signal.h>
#include <sys/wait.h>

#include <set>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class Processes : public EngineTest {
  protected:
    // A child process that runs body on a connection of its own and exits with its result.
    template <typename Body>
    pid_t spawn(Body body) {
        pid_t pid = fork();
        if (pid == 0) {
            ADSHANDLE connection = 0;
            int status = 90;
            if (AdsConnect(u8(dir_.path()), &connection) == VE_SUCCESS) {
                status = body(connection);
            }
            _exit(status);
        }
        return pid;
    }
    static int wait_for(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
};

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(0, pipe(fds)); }
    ~Pipe() {
        close(fds[0]);
        close(fds[1]);
    }
    void send(char c) const { EXPECT_EQ(1, write(fds[1], &c, 1)); }
    char receive() const {
        char c = 0;
        return read(fds[0], &c, 1) == 1 ? c : 0;
    }
};

ADSHANDLE open_in_child(ADSHANDLE connection, const char* name) {
    ADSHANDLE table = 0;
    if (AdsOpenTable90(connection, u8(name), nullptr, 3, 1, 1, 1, 0, nullptr, &table) != 0) {
        _exit(91);
    }
    return table;
}

TEST_F(Processes, ARecordLockRefusesTheOtherProcessUntilUnlockedOrDead) {
    ADSHANDLE table = create("Shared", "Name,Char,10;");
    append_row(table, {{"Name", "one"}});
    append_row(table, {{"Name", "two"}});
    Pipe to_child, to_parent;
    pid_t child = spawn([&](ADSHANDLE connection) {
        ADSHANDLE mine = open_in_child(connection, "Shared");
        if (AdsLockRecord(mine, 1) != 0)
            return 1;
        to_parent.send('L');
        if (to_child.receive() != 'U')
            return 2;
        if (AdsUnlockRecord(mine, 1) != 0)
            return 3;
        if (AdsLockTable(mine) != 0)
            return 4;
        to_parent.send('T');
        to_child.receive();  // killed while waiting here
        return 0;
    });
    ASSERT_EQ('L', to_parent.receive());
    EXPECT_EQ(VE_LOCK_REFUSED, AdsLockRecord(table, 1));
    EXPECT_NE(std::string::npos, last_error_text().find("record 1"));
    ASSERT_ADS_OK(AdsGotoRecord(table, 1));
    EXPECT_EQ(VE_LOCK_REFUSED, AdsSetField(table, u8("Name"), u8("mine"), 4));
    EXPECT_EQ(VE_LOCK_REFUSED, AdsDeleteRecord(table));
    EXPECT_EQ(VE_LOCK_REFUSED, AdsLockTable(table));
    EXPECT_ADS_OK(AdsLockRecord(table, 2));  // other records stay free
    EXPECT_ADS_OK(AdsUnlockRecord(table, 2));
    EXPECT_EQ(VE_RECORD_NOT_LOCKED, AdsUnlockRecord(table, 2));

    to_child.send('U');
    ASSERT_EQ('T', to_parent.receive());
    EXPECT_EQ(VE_LOCK_REFUSED, AdsLockRecord(table, 1));
    EXPECT_EQ(VE_LOCK_REFUSED, AdsLockRecord(table, 2));
    kill(child, SIGKILL);
    EXPECT_EQ(-SIGKILL, wait_for(child));
    EXPECT_ADS_OK(AdsLockRecord(table, 1));
    EXPECT_ADS_OK(AdsLockTable(table));
    UNSIGNED16 locked = 0, count = 0;
    EXPECT_ADS_OK(AdsIsTableLocked(table, &locked));
    EXPECT_EQ(1, locked);
    EXPECT_ADS_OK(AdsGetNumLocks(table, &count));
    EXPECT_EQ(1, count);
    UNSIGNED32 locks[4];
    UNSIGNED16 capacity = 4;
    EXPECT_ADS_OK(AdsGetAllLocks(table, locks, &capacity));
    ASSERT_EQ(1, capacity);
    EXPECT_EQ(1u, locks[0]);
    EXPECT_ADS_OK(AdsUnlockTable(table));
    EXPECT_EQ(VE_TABLE_NOT_LOCKED, AdsUnlockTable(table));
    EXPECT_ADS_OK(AdsUnlockRecord(table, 1));
    AdsCloseTable(table);
}

TEST_F(Processes, LocksBelongToTheConnectionNotTheProcess) {
    ADSHANDLE table = create("Shared", "Name,Char,10;");
    append_row(table, {{"Name", "one"}});
    ADSHANDLE same_connection = 0, other_connection = 0, other_table = 0;
    ASSERT_ADS_OK(open("Shared", &same_connection));
    ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &other_connection));
    ASSERT_ADS_OK(open("Shared", &other_table, 0, other_connection));
    ASSERT_ADS_OK(AdsLockRecord(table, 1));
    EXPECT_ADS_OK(AdsLockRecord(same_connection, 1));
    EXPECT_EQ(VE_LOCK_REFUSED, AdsLockRecord(other_table, 1));
    // Closing the connection's last handle on the file releases its locks.
    AdsCloseTable(table);
    EXPECT_EQ(VE_LOCK_REFUSED, AdsLockRecord(other_table, 1));
    AdsCloseTable(same_connection);
    EXPECT_ADS_OK(AdsLockRecord(other_table, 1));
    AdsDisconnect(other_connection);
}

TEST_F(Processes, AChangeLocksItsRecordUntilItIsWritten) {
    ADSHANDLE table = create("Shared", "Name,Char,10;");
    append_row(table, {{"Name", "one"}});
    ADSHANDLE other_connection = 0, other_table = 0;
    ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &other_connection));
    ASSERT_ADS_OK(open("Shared", &other_table, 0, other_connection));
    ASSERT_ADS_OK(AdsGotoRecord(table, 1));
    ASSERT_ADS_OK(AdsSetField(table, u8("Name"), u8("two"), 3));
    EXPECT_EQ(VE_LOCK_REFUSED, AdsLockRecord(other_table, 1));
    ASSERT_ADS_OK(AdsGotoRecord(other_table, 1));
    EXPECT_EQ(VE_LOCK_REFUSED, AdsSetField(other_table, u8("Name"), u8("three"), 5));
    ASSERT_ADS_OK(AdsWriteRecord(table));
    EXPECT_ADS_OK(AdsSetField(other_table, u8("Name"), u8("three"), 5));
    EXPECT_EQ(VE_LOCK_REFUSED, AdsSetField(table, u8("Name"), u8("four"), 4));
    EXPECT_ADS_OK(AdsCancelUpdate(other_table));
    EXPECT_ADS_OK(AdsSetField(table, u8("Name"), u8("four"), 4));
    EXPECT_ADS_OK(AdsWriteRecord(table));
    EXPECT_EQ("four", text(other_table, "Name", VE_TRIM_RIGHT));
    AdsCloseTable(table);
    AdsDisconnect(other_connection);
}

// A walk keeps its snapshot between calls while nothing is committed; whatever another
// connection commits between two steps (in this process or another) the next step sees.
TEST_F(Processes, AWalkSeesWhatOthersCommitBetweenItsSteps) {
    ADSHANDLE table = create("Walk", "Name,Char,10;");
    for (const char* name : {"a", "b", "c"}) {
        append_row(table, {{"Name", name}});
    }
    // Changes record 3 and appends a fourth through a connection of its own.
    auto change = [](ADSHANDLE connection) {
        ADSHANDLE other = 0;
        if (AdsOpenTable90(connection, u8("Walk"), nullptr, 3, 1, 1, 1, 0, nullptr, &other) != 0 ||
            AdsGotoRecord(other, 3) != 0 || AdsSetString(other, u8("Name"), u8("C"), 1) != 0 ||
            AdsWriteRecord(other) != 0 || AdsAppendRecord(other) != 0 ||
            AdsSetString(other, u8("Name"), u8("d"), 1) != 0 || AdsWriteRecord(other) != 0) {
            return 1;
        }
        AdsCloseTable(other);
        return 0;
    };
    for (bool other_process : {false, true}) {
        SCOPED_TRACE(other_process ? "another process" : "another connection of this process");
        ASSERT_ADS_OK(AdsZapTable(table));
        for (const char* name : {"a", "b", "c"}) {
            append_row(table, {{"Name", name}});
        }
        ASSERT_ADS_OK(AdsGotoTop(table));
        ASSERT_ADS_OK(AdsSkip(table, 1));
        EXPECT_EQ("b", text(table, "Name", VE_TRIM_BOTH));
        if (other_process) {
            ASSERT_EQ(0, wait_for(spawn(change)));
        } else {
            ADSHANDLE connection = 0;
            ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &connection));
            EXPECT_EQ(0, change(connection));
            AdsDisconnect(connection);
        }
        ASSERT_ADS_OK(AdsSkip(table, 1));
        EXPECT_EQ("C", text(table, "Name", VE_TRIM_BOTH));
        ASSERT_ADS_OK(AdsSkip(table, 1));
        EXPECT_EQ("d", text(table, "Name", VE_TRIM_BOTH));
        ASSERT_ADS_OK(AdsSkip(table, 1));
        EXPECT_TRUE(at_eof(table));
    }
    AdsCloseTable(table);
}

TEST_F(Processes, AppendsFromTwoProcessesInterleaveWithoutLossOrDuplicates) {
    ADSHANDLE table = create("Log", "Id,AutoInc;Who,Char,1;Seq,Integer;");
    AdsCloseTable(table);
    constexpr int kRows = 150;
    auto writer = [&](const char* who) {
        return [this, who](ADSHANDLE connection) {
            ADSHANDLE mine = open_in_child(connection, "Log");
            for (int i = 0; i < kRows; ++i) {
                if (AdsAppendRecord(mine) != 0 || AdsSetField(mine, u8("Who"), u8(who), 1) != 0 ||
                    AdsSetLong(mine, u8("Seq"), i) != 0 || AdsWriteRecord(mine) != 0) {
                    return 1;
                }
            }
            return 0;
        };
    };
    pid_t a = spawn(writer("A"));
    pid_t b = spawn(writer("B"));
    EXPECT_EQ(0, wait_for(a));
    EXPECT_EQ(0, wait_for(b));

    ASSERT_ADS_OK(open("Log", &table));
    UNSIGNED32 count = 0;
    EXPECT_ADS_OK(AdsGetRecordCount(table, VE_IGNORE_FILTERS, &count));
    EXPECT_EQ(2u * kRows, count);
    std::set<UNSIGNED32> numbers;
    std::set<SIGNED32> ids;
    std::map<std::string, std::vector<SIGNED32>> sequences;
    AdsGotoTop(table);
    while (!at_eof(table)) {
        numbers.insert(recno(table));
        SIGNED32 id = 0, seq = 0;
        AdsGetLong(table, u8("Id"), &id);
        AdsGetLong(table, u8("Seq"), &seq);
        ids.insert(id);
        sequences[text(table, "Who")].push_back(seq);
        AdsSkip(table, 1);
    }
    ASSERT_EQ(2u * kRows, numbers.size());
    EXPECT_EQ(1u, *numbers.begin());
    EXPECT_EQ(2u * kRows, *numbers.rbegin());
    EXPECT_EQ(2u * kRows, ids.size());
    for (const char* who : {"A", "B"}) {
        std::vector<SIGNED32> expected(kRows);
        for (int i = 0; i < kRows; ++i)
            expected[i] = i;
        EXPECT_EQ(expected, sequences[who]) << who;
    }
    UNSIGNED8 report[100];
    UNSIGNED32 length = sizeof report;
    EXPECT_ADS_OK(AdsCheckTable(table, VE_CHECK_MEMOS, report, &length));
    AdsCloseTable(table);
}

TEST_F(Processes, AWriterKilledMidwayLeavesEveryReturnedAppend) {
    ADSHANDLE table = create("Import", "Id,AutoInc;Name,Char,20;Notes,Memo;");
    AdsCloseTable(table);
    Pipe progress;
    pid_t child = spawn([&](ADSHANDLE connection) {
        ADSHANDLE mine = open_in_child(connection, "Import");
        for (UNSIGNED32 i = 1;; ++i) {
            std::string name = "row " + std::to_string(i);
            std::string notes(100 + i % 300, static_cast<char>('a' + i % 26));
            if (AdsAppendRecord(mine) != 0 ||
                AdsSetField(mine, u8("Name"), u8(name), static_cast<UNSIGNED32>(name.size())) !=
                    0 ||
                AdsSetField(mine, u8("Notes"), u8(notes), static_cast<UNSIGNED32>(notes.size())) !=
                    0 ||
                AdsWriteRecord(mine) != 0) {
                return 1;
            }
            if (write(progress.fds[1], &i, sizeof i) != sizeof i)
                return 2;
        }
    });
    UNSIGNED32 done = 0;
    while (done < 300) {
        ASSERT_EQ(static_cast<ssize_t>(sizeof done), read(progress.fds[0], &done, sizeof done));
    }
    kill(child, SIGKILL);
    EXPECT_EQ(-SIGKILL, wait_for(child));
    close(progress.fds[1]);
    progress.fds[1] = -1;
    UNSIGNED32 more = 0;
    while (read(progress.fds[0], &more, sizeof more) == sizeof more) {
        done = more;
    }

    ASSERT_ADS_OK(open("Import", &table));
    UNSIGNED8 report[2000];
    UNSIGNED32 length = sizeof report;
    EXPECT_ADS_OK(AdsCheckTable(table, VE_CHECK_MEMOS, report, &length)) << report;
    UNSIGNED32 count = 0;
    EXPECT_ADS_OK(AdsGetRecordCount(table, VE_IGNORE_FILTERS, &count));
    EXPECT_GE(count, done);
    EXPECT_LE(count, done + 1);  // at most the append that was under way
    for (UNSIGNED32 i = 1; i <= done; ++i) {
        ASSERT_ADS_OK(AdsGotoRecord(table, i));
        ASSERT_EQ("row " + std::to_string(i), text(table, "Name", VE_TRIM_RIGHT));
        UNSIGNED32 memo = 0;
        AdsGetMemoLength(table, u8("Notes"), &memo);
        ASSERT_EQ(100 + i % 300, memo);
    }
    AdsCloseTable(table);
}

TEST_F(Processes, AWalkSeesWhatAnotherProcessChangedBetweenTwoSkips) {
    ADSHANDLE table = create("Shared", "Name,Char,10;");
    for (int i = 1; i <= 20; ++i) {
        append_row(table, {{"Name", "n" + std::to_string(i)}});
    }
    ASSERT_ADS_OK(AdsGotoTop(table));
    ASSERT_ADS_OK(AdsSkip(table, 1));
    ASSERT_ADS_OK(AdsSkip(table, 1));  // on record 3, the records after it read ahead
    pid_t child = spawn([&](ADSHANDLE connection) {
        ADSHANDLE mine = open_in_child(connection, "Shared");
        if (AdsGotoRecord(mine, 4) != 0 || AdsSetField(mine, u8("Name"), u8("changed"), 7) != 0 ||
            AdsWriteRecord(mine) != 0)
            return 1;
        if (AdsGotoRecord(mine, 5) != 0 || AdsDeleteRecord(mine) != 0)
            return 2;
        if (AdsAppendRecord(mine) != 0 || AdsSetField(mine, u8("Name"), u8("added"), 5) != 0 ||
            AdsWriteRecord(mine) != 0)
            return 3;
        return 0;
    });
    ASSERT_EQ(0, wait_for(child));
    AdsShowDeleted(0);
    std::vector<std::string> seen;
    UNSIGNED16 eof = 0;
    while (AdsSkip(table, 1) == VE_SUCCESS && AdsAtEOF(table, &eof) == VE_SUCCESS && !eof) {
        seen.push_back(text(table, "Name", VE_TRIM_RIGHT));
    }
    std::vector<std::string> expected{"changed"};
    for (int i = 6; i <= 20; ++i) {
        expected.push_back("n" + std::to_string(i));
    }
    expected.push_back("added");
    EXPECT_EQ(expected, seen);
    AdsCloseTable(table);
}

}  // namespace
}  // namespace varelum::engine::testing
