// A process that dies inside a transaction: the next process to open one of its tables, or to
// lock one of its records, rolls the transaction back first (or refuses to read when it
// cannot), no rollback undoes a change committed after the owner died, a commit over two
// folders killed anywhere is all or nothing, a copied folder recovers in its new place, and a
// hundred processes killed at random moments leave every table checked and holding all of a
// transaction or none of it.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "engine/env/testing_hooks.h"
#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

// Set in a child process: the SQL abort callback kills it at that question (0: never), and
// notes the first question asked once the statement has a journal in g_directory (it writes).
int g_kill_at_question = 0;
int g_questions = 0;
int g_first_writing_question = 0;
std::string g_directory;

UNSIGNED32 kill_at_question() {
    if (++g_questions == g_kill_at_question) {
        ::kill(::getpid(), SIGKILL);
    }
    if (g_first_writing_question == 0) {
        for (const auto& entry : std::filesystem::directory_iterator(g_directory)) {
            if (entry.path().extension() == ".vtj") {
                g_first_writing_question = g_questions;
            }
        }
    }
    return 0;
}

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(0, pipe(fds)); }
    ~Pipe() {
        close(fds[0]);
        close(fds[1]);
    }
    void send(char c) const { (void)!write(fds[1], &c, 1); }
    char receive() const {
        char c = 0;
        return read(fds[0], &c, 1) == 1 ? c : 0;
    }
};

class Recovery : public EngineTest {
  protected:
    // A child process that runs body on a connection of its own, then waits to be killed.
    template <typename Body>
    pid_t spawn_and_hang(const Pipe& to_parent, Body body) {
        pid_t pid = fork();
        if (pid == 0) {
            ADSHANDLE connection = 0;
            if (AdsConnect(u8(dir_.path()), &connection) != VE_SUCCESS || !body(connection)) {
                to_parent.send('E');
                _exit(90);
            }
            to_parent.send('R');
            for (;;) {
                pause();
            }
        }
        return pid;
    }
    static void kill_and_wait(pid_t pid) {
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
    }

    static ADSHANDLE open_on(ADSHANDLE connection, const char* name) {
        ADSHANDLE table = 0;
        AdsOpenTable90(connection, u8(name), nullptr, 3, 1, 1, 1, 0, nullptr, &table);
        return table;
    }

    // The visible records of the table: the fields as text, deleted records left out.
    static std::string visible(ADSHANDLE table, const std::vector<const char*>& fields) {
        std::string all;
        EXPECT_ADS_OK(AdsGotoTop(table));
        while (!at_eof(table)) {
            UNSIGNED16 deleted = 0;
            AdsIsRecordDeleted(table, &deleted);
            if (!deleted) {
                for (const char* field : fields) {
                    all += text(table, field, VE_TRIM_RIGHT) + "|";
                }
                all += " ";
            }
            if (AdsSkip(table, 1) != VE_SUCCESS) {
                return all + "<skip failed: " + last_error_text() + ">";
            }
        }
        return all;
    }

    static std::string check(ADSHANDLE table) {
        UNSIGNED8 report[4000] = {};
        UNSIGNED32 length = sizeof report;
        UNSIGNED32 rc = AdsCheckTable(table, VE_CHECK_MEMOS, report, &length);
        return rc == VE_SUCCESS ? reinterpret_cast<char*>(report) : last_error_text();
    }

    static std::vector<std::string> regular_journals(const std::string& directory) {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(directory)) {
            if (entry.path().extension() == ".vtj") {
                found.push_back(entry.path().string());
            }
        }
        return found;
    }
    std::vector<std::string> journals() const { return regular_journals(dir_.path()); }
};

TEST_F(Recovery, ADeadOwnersTransactionIsRolledBackByTheNextOpener) {
    ADSHANDLE table = create("Stock", "Code,Char,10;Qty,Integer;Note,Memo;");
    ADSHANDLE index = 0;
    ASSERT_ADS_OK(AdsCreateIndex90(table, nullptr, u8("CODE"), u8("Code"), nullptr, nullptr, 0, 0,
                                   nullptr, &index));
    append_row(table, {{"Code", "apple"}, {"Qty", "10"}, {"Note", "red"}});
    append_row(table, {{"Code", "pear"}, {"Qty", "20"}});
    const std::string before = visible(table, {"Code", "Qty", "Note"});
    ASSERT_ADS_OK(AdsCloseTable(table));

    Pipe to_parent;
    pid_t child = spawn_and_hang(to_parent, [](ADSHANDLE connection) {
        ADSHANDLE mine = open_on(connection, "Stock");
        return AdsBeginTransaction(connection) == 0 && AdsGotoRecord(mine, 1) == 0 &&
               AdsSetField(mine, u8("Code"), u8("apples"), 6) == 0 &&
               AdsSetField(mine, u8("Note"), u8("green"), 5) == 0 && AdsWriteRecord(mine) == 0 &&
               AdsGotoRecord(mine, 2) == 0 && AdsDeleteRecord(mine) == 0 &&
               AdsAppendRecord(mine) == 0 && AdsSetField(mine, u8("Code"), u8("kiwi"), 4) == 0 &&
               AdsWriteRecord(mine) == 0;
    });
    ASSERT_EQ('R', to_parent.receive());
    ASSERT_EQ(1u, journals().size());
    kill_and_wait(child);

    ASSERT_ADS_OK(open("Stock", &table));
    EXPECT_EQ(before, visible(table, {"Code", "Qty", "Note"}));
    EXPECT_EQ("OK\n", check(table));
    ASSERT_ADS_OK(AdsGetIndexHandle(table, u8("CODE"), &index));
    UNSIGNED16 found = 1;
    ASSERT_ADS_OK(AdsSeek(index, u8("apples"), 6, VE_STRINGKEY, VE_HARDSEEK, &found));
    EXPECT_EQ(0, found);
    EXPECT_TRUE(journals().empty());
}

// A station that had the table open all along changes a record that a process which died
// inside a transaction had changed (its record locks died with it): the dead transaction is
// rolled back before the station's change, which stays, for the next opener and also for a
// copy of the dead journal found late (as when a dying owner's journal outlives its record
// locks by a moment).
TEST_F(Recovery, AChangeCommittedAfterTheOwnerDiedIsNeverUndone) {
    ADSHANDLE table = create("Stock", "Code,Char,10;Note,Memo;");
    append_row(table, {{"Code", "apple"}, {"Note", "red"}});
    append_row(table, {{"Code", "pear"}});
    ASSERT_ADS_OK(AdsCloseTable(table));
    AdsCloseCachedTables(connection_);

    // The station opens the table now, and changes record 1 when told to.
    Pipe to_station;
    Pipe from_station;
    pid_t station = fork();
    if (station == 0) {
        ADSHANDLE connection = 0;
        ADSHANDLE mine = 0;
        if (AdsConnect(u8(dir_.path()), &connection) != VE_SUCCESS ||
            (mine = open_on(connection, "Stock")) == 0) {
            from_station.send('E');
            _exit(90);
        }
        from_station.send('R');
        if (to_station.receive() != 'G') {
            _exit(91);
        }
        bool ok = AdsGotoRecord(mine, 1) == 0 &&
                  AdsSetField(mine, u8("Code"), u8("station"), 7) == 0 &&
                  AdsSetField(mine, u8("Note"), u8("blue"), 4) == 0 && AdsWriteRecord(mine) == 0;
        from_station.send(ok ? 'C' : 'E');
        for (;;) {
            pause();
        }
    }
    ASSERT_EQ('R', from_station.receive());

    Pipe to_parent;
    pid_t owner = spawn_and_hang(to_parent, [](ADSHANDLE connection) {
        ADSHANDLE mine = open_on(connection, "Stock");
        return AdsBeginTransaction(connection) == 0 && AdsGotoRecord(mine, 1) == 0 &&
               AdsSetField(mine, u8("Code"), u8("half"), 4) == 0 &&
               AdsSetField(mine, u8("Note"), u8("half"), 4) == 0 && AdsWriteRecord(mine) == 0 &&
               AdsGotoRecord(mine, 2) == 0 && AdsSetField(mine, u8("Code"), u8("half"), 4) == 0 &&
               AdsWriteRecord(mine) == 0;
    });
    ASSERT_EQ('R', to_parent.receive());
    const auto journal = journals();
    ASSERT_EQ(1u, journal.size());
    const std::string dead_journal = read_file(journal[0]);
    kill_and_wait(owner);

    to_station.send('G');
    EXPECT_EQ('C', from_station.receive()) << "the station could not change the record";
    kill_and_wait(station);
    EXPECT_TRUE(journals().empty()) << "the station's lock did not roll the transaction back";

    ASSERT_ADS_OK(open("Stock", &table));
    EXPECT_EQ("station|blue| pear|| ", visible(table, {"Code", "Note"}));
    ASSERT_ADS_OK(AdsCloseTable(table));
    AdsCloseCachedTables(connection_);

    write_file(journal[0], dead_journal);
    ASSERT_ADS_OK(open("Stock", &table));
    EXPECT_EQ("station|blue| pear|| ", visible(table, {"Code", "Note"}));
    EXPECT_EQ("OK\n", check(table));
    EXPECT_TRUE(journals().empty());
}

// A transaction over tables of two folders, its process killed at each of the syncs its commit
// waits for in turn: both folders show all of it or none of it, whichever is opened first.
TEST_F(Recovery, ATransactionOverTwoFoldersKilledAnywhereInItsCommitIsAllOrNothing) {
    TempDir other;
    const std::string far_table = other.file("Far.adt");
    auto first_code = [](ADSHANDLE table) {
        EXPECT_ADS_OK(AdsGotoRecord(table, 1));
        return text(table, "Code", VE_TRIM_RIGHT);
    };
    bool finished = false;
    for (int syncs = 0; !finished && syncs < 16; ++syncs) {
        SCOPED_TRACE("killed at sync " + std::to_string(syncs + 1) + " of the commit");
        for (const std::string& name : {std::string("Near"), far_table}) {
            ADSHANDLE table = create(name, "Code,Char,10;");
            append_row(table, {{"Code", "old"}});
            ASSERT_ADS_OK(AdsCloseTable(table));
        }
        AdsCloseCachedTables(connection_);

        Pipe to_parent;
        pid_t child = fork();
        if (child == 0) {
            ADSHANDLE connection = 0;
            if (AdsConnect(u8(dir_.path()), &connection) != VE_SUCCESS) {
                _exit(90);
            }
            ADSHANDLE near = open_on(connection, "Near");
            ADSHANDLE far = open_on(connection, far_table.c_str());
            bool ok = near != 0 && far != 0 && AdsBeginTransaction(connection) == 0;
            for (ADSHANDLE table : {near, far}) {
                ok = ok && AdsGotoRecord(table, 1) == 0 &&
                     AdsSetField(table, u8("Code"), u8("new"), 3) == 0 &&
                     AdsWriteRecord(table) == 0;
            }
            if (!ok) {
                to_parent.send('E');
                _exit(91);
            }
            VarelumTestInstallFaults();
            VarelumTestKillAtSync(syncs);
            to_parent.send(AdsCommitTransaction(connection) == VE_SUCCESS ? 'C' : 'E');
            _exit(0);
        }
        close(to_parent.fds[1]);
        to_parent.fds[1] = -1;
        char answer = to_parent.receive();
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_NE('E', answer);
        finished = answer == 'C';

        ADSHANDLE connection = 0;
        ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &connection));
        const bool near_first = syncs % 2 == 0;
        ADSHANDLE first = open_on(connection, near_first ? "Near" : far_table.c_str());
        ADSHANDLE second = open_on(connection, near_first ? far_table.c_str() : "Near");
        ASSERT_NE(0u, first * second) << last_error_text();
        const std::string seen = first_code(first) + "/" + first_code(second);
        if (finished) {
            EXPECT_EQ("new/new", seen);
        } else {
            EXPECT_TRUE(seen == "new/new" || seen == "old/old") << seen;
        }
        EXPECT_TRUE(journals().empty());
        EXPECT_TRUE(regular_journals(other.path()).empty());
        ASSERT_ADS_OK(AdsDisconnect(connection));
        AdsCloseCachedTables(connection_);
    }
    EXPECT_TRUE(finished) << "the commit never finished";
}

// A folder copied elsewhere after its transaction's process was killed: the copy rolls back
// its own tables, and the old folder is left as it was, to recover in its own place.
TEST_F(Recovery, AFolderCopiedAfterAKillRecoversInItsNewPlaceAndLeavesTheOldAlone) {
    ADSHANDLE table = create("Stock", "Code,Char,10;");
    append_row(table, {{"Code", "apple"}});
    ASSERT_ADS_OK(AdsCloseTable(table));
    AdsCloseCachedTables(connection_);
    Pipe to_parent;
    pid_t child = spawn_and_hang(to_parent, [](ADSHANDLE connection) {
        ADSHANDLE mine = open_on(connection, "Stock");
        return AdsBeginTransaction(connection) == 0 && AdsGotoRecord(mine, 1) == 0 &&
               AdsSetField(mine, u8("Code"), u8("half"), 4) == 0 && AdsWriteRecord(mine) == 0;
    });
    ASSERT_EQ('R', to_parent.receive());
    kill_and_wait(child);
    ASSERT_EQ(1u, journals().size());

    TempDir copy;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
        const std::string name = entry.path().filename().string();
        if (!name.ends_with("-lock")) {
            std::filesystem::copy_file(entry.path(), copy.file(name));
        }
    }
    const std::string old_file = read_file(dir_.file("Stock.adt"));
    ADSHANDLE elsewhere = 0;
    ASSERT_ADS_OK(AdsConnect(u8(copy.path()), &elsewhere));
    ASSERT_ADS_OK(open("Stock", &table, 0, elsewhere));
    EXPECT_EQ("apple| ", visible(table, {"Code"}));
    EXPECT_TRUE(regular_journals(copy.path()).empty());
    ASSERT_ADS_OK(AdsDisconnect(elsewhere));

    EXPECT_EQ(1u, journals().size());
    EXPECT_TRUE(old_file == read_file(dir_.file("Stock.adt"))) << "the old folder was changed";
    ASSERT_ADS_OK(open("Stock", &table));
    EXPECT_EQ("apple| ", visible(table, {"Code"}));
    EXPECT_TRUE(journals().empty());
}

// Statements whose rows fill several of the engine's synced batches, killed at points spread
// over their run (by their own SQL abort callback, which a statement asks every so often):
// the next opener rolls the statement back, and the table is exactly as before it.
TEST_F(Recovery, AStatementOfSeveralBatchesKilledAnywhereLeavesTheTableAsBefore) {
    constexpr UNSIGNED32 kRows = 9000;  // more than two batches of the engine's 4096 writes
    const std::string fill =
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(kRows) + ") SELECT i AS Code, 'name' || i AS Name FROM n";
    auto fresh_table = [&] {
        ADSHANDLE table = create("T", "Code,Integer;Name,Char,20;");
        ADSHANDLE index = 0;
        EXPECT_ADS_OK(AdsCreateIndex90(table, nullptr, u8("CODE"), u8("Code"), nullptr, nullptr,
                                       VE_INDEX_UNIQUE, 0, nullptr, &index));
        fill_by_sql(table, fill);
        std::string rows = visible(table, {"Code", "Name"});
        EXPECT_ADS_OK(AdsCloseTable(table));
        // The child must not share this process's open storage environment of the file.
        AdsCloseCachedTables(connection_);
        return rows;
    };
    // Runs sql in a child killed at its kill_at-th question (0: left to finish); answers the
    // questions it was asked and the first once it wrote when it finished, or -1 when it was
    // killed.
    auto run_child = [&](const std::string& sql, int kill_at) {
        Pipe to_parent;
        pid_t child = fork();
        if (child == 0) {
            ADSHANDLE connection = 0;
            ADSHANDLE statement = 0;
            ADSHANDLE cursor = 0;
            g_kill_at_question = kill_at;
            g_directory = dir_.path();
            if (AdsConnect(u8(dir_.path()), &connection) != VE_SUCCESS ||
                AdsRegisterSQLAbortFunc(&kill_at_question) != VE_SUCCESS ||
                AdsCreateSQLStatement(connection, &statement) != VE_SUCCESS ||
                AdsExecuteSQLDirect(statement, u8(sql), &cursor) != VE_SUCCESS) {
                _exit(90);
            }
            const int answer[2] = {g_questions, g_first_writing_question};
            (void)!write(to_parent.fds[1], answer, sizeof answer);
            _exit(0);
        }
        close(to_parent.fds[1]);
        to_parent.fds[1] = -1;
        std::pair<int, int> questions{-1, -1};
        int answer[2] = {};
        if (read(to_parent.fds[0], answer, sizeof answer) == sizeof answer) {
            questions = {answer[0], answer[1]};
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(questions.first >= 0 || (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL))
            << "the child failed with status " << status;
        return questions;
    };

    for (const char* sql : {"UPDATE T SET Name = 'changed'",
                            "INSERT INTO T (Code, Name) SELECT Code + 100000, Name FROM T",
                            "DELETE FROM T WHERE Code > 0"}) {
        SCOPED_TRACE(sql);
        fresh_table();
        const auto [questions, writing] = run_child(sql, 0);
        ASSERT_GT(writing, 0) << "no question while the statement wrote";
        ASSERT_GT(questions - writing, 10) << "the statement asks its abort callback too seldom";
        // Killed before its first write, and at four points while it writes its batches.
        for (int fifth = writing > 2 ? 0 : 1; fifth <= 4; ++fifth) {
            const int kill_at =
                fifth == 0 ? writing / 2 : writing + (questions - writing) * fifth / 5;
            SCOPED_TRACE("killed at question " + std::to_string(kill_at));
            const std::string before = fresh_table();
            ASSERT_EQ(-1, run_child(sql, kill_at).first);
            EXPECT_EQ(fifth == 0 ? 0u : 1u, journals().size());

            ADSHANDLE table = 0;
            ASSERT_ADS_OK(open("T", &table));
            EXPECT_TRUE(visible(table, {"Code", "Name"}) == before);
            EXPECT_EQ("OK\n", check(table));
            EXPECT_TRUE(journals().empty());
            ASSERT_ADS_OK(AdsCloseTable(table));
        }
    }
}

TEST_F(Recovery, AnOpenerThatCannotWriteRefusesToReadHalfATransaction) {
    ADSHANDLE table = create("Stock", "Code,Char,10;");
    append_row(table, {{"Code", "apple"}});
    ASSERT_ADS_OK(AdsCloseTable(table));
    Pipe to_parent;
    pid_t child = spawn_and_hang(to_parent, [](ADSHANDLE connection) {
        ADSHANDLE mine = open_on(connection, "Stock");
        return AdsBeginTransaction(connection) == 0 && AdsGotoRecord(mine, 1) == 0 &&
               AdsSetField(mine, u8("Code"), u8("half"), 4) == 0 && AdsWriteRecord(mine) == 0;
    });
    ASSERT_EQ('R', to_parent.receive());
    kill_and_wait(child);
    auto journal = journals();
    ASSERT_EQ(1u, journal.size());
    // The engine is refused the journal as file permissions would refuse it; chmod cannot show
    // that here, since permissions do not bind the superuser the suite may run as.
    VarelumTestInstallFaults();
    struct RemoveFaults {
        ~RemoveFaults() { VarelumTestRemoveFaults(); }
    } remove_faults;
    VarelumTestRefuseWritableOpens(journal[0].c_str(), EACCES);

    EXPECT_EQ(VE_UNFINISHED_TRANSACTION, open("Stock", &table, VE_OPEN_READONLY));
    EXPECT_NE(std::string::npos, last_error_text().find(journal[0])) << last_error_text();
    EXPECT_EQ(journal, journals()) << "the journal must stay for an opener that can write";

    VarelumTestRefuseWritableOpens(journal[0].c_str(), 0);
    ASSERT_ADS_OK(open("Stock", &table, VE_OPEN_READONLY));
    EXPECT_EQ("apple| ", visible(table, {"Code"}));
    EXPECT_TRUE(journals().empty());
}

// The transaction of trial k over three tables: edits (a memo and indexed fields among them),
// appends, deletes and a recall. Answers false when a call fails.
bool transfer(ADSHANDLE connection, ADSHANDLE goods, ADSHANDLE counts, ADSHANDLE names, int k) {
    std::string n = std::to_string(k);
    auto set = [](ADSHANDLE table, const char* field, const std::string& value) {
        return AdsSetField(table, u8(field), u8(value), static_cast<UNSIGNED32>(value.size())) == 0;
    };
    bool ok = AdsBeginTransaction(connection) == 0;
    ok = ok && AdsGotoRecord(goods, 1) == 0 && set(goods, "Name", "r" + n) &&
         set(goods, "Note", "note " + n) && AdsWriteRecord(goods) == 0;
    ok = ok && AdsAppendRecord(goods) == 0 && set(goods, "Name", "t" + n) &&
         set(goods, "Note", "memo " + n) && AdsWriteRecord(goods) == 0;
    ok = ok && AdsGotoTop(counts) == 0;
    while (ok) {
        UNSIGNED16 eof = 0;
        AdsAtEOF(counts, &eof);
        if (eof) {
            break;
        }
        UNSIGNED32 number = 0;
        UNSIGNED16 deleted = 0;
        AdsGetRecordNum(counts, VE_IGNORE_FILTERS, &number);
        AdsIsRecordDeleted(counts, &deleted);
        if (number == 1) {
            ok = set(counts, "Qty", n) && AdsWriteRecord(counts) == 0;
        } else if (!deleted) {
            ok = AdsDeleteRecord(counts) == 0;
        }
        ok = ok && AdsSkip(counts, 1) == 0;
    }
    ok = ok && AdsAppendRecord(counts) == 0 && set(counts, "Qty", n) && AdsWriteRecord(counts) == 0;
    ok = ok && AdsGotoRecord(names, 1) == 0 && set(names, "Name", "n" + n) &&
         AdsWriteRecord(names) == 0 && AdsGotoRecord(names, 2) == 0 &&
         ((k % 2) != 0 ? AdsDeleteRecord(names) : AdsRecallRecord(names)) == 0;
    return ok && AdsCommitTransaction(connection) == 0;
}

// What the three tables show when the trials in `committed` (the last of them `last`) are
// all that committed.
std::string expected(const std::set<int>& committed) {
    int last = committed.empty() ? 0 : *committed.rbegin();
    std::string c = std::to_string(last);
    std::string goods = "r" + c + "|note " + c + "| ";
    for (int j : committed) {
        goods += "t" + std::to_string(j) + "|memo " + std::to_string(j) + "| ";
    }
    std::string counts = c + "| " + (last > 0 ? c + "| " : "");
    std::string names = "n" + c + "| " + ((last % 2) != 0 ? "" : "second| ");
    return goods + "/ " + counts + "/ " + names;
}

TEST_F(Recovery, AHundredProcessesKilledInsideATransactionLeaveAllOrNothing) {
    ADSHANDLE goods = create("Goods", "Name,Char,12;Note,Memo;");
    ADSHANDLE counts = create("Counts", "Qty,Integer;");
    ADSHANDLE names = create("Names", "Name,Char,12;");
    for (auto [table, tag] : {std::pair{goods, "GNAME"}, std::pair{names, "NNAME"}}) {
        ADSHANDLE index = 0;
        ASSERT_ADS_OK(AdsCreateIndex90(table, nullptr, u8(tag), u8("Name"), nullptr, nullptr, 0, 0,
                                       nullptr, &index));
    }
    append_row(goods, {{"Name", "r0"}, {"Note", "note 0"}});
    append_row(counts, {{"Qty", "0"}});
    append_row(names, {{"Name", "n0"}});
    append_row(names, {{"Name", "second"}});
    for (ADSHANDLE table : {goods, counts, names}) {
        ASSERT_ADS_OK(AdsCloseTable(table));
    }

    // One trial: a child runs the transaction; killed after `delay` unless it finished.
    // Answers whether commit had returned.
    auto run = [&](int k, std::chrono::microseconds delay, std::chrono::microseconds* took) {
        Pipe to_parent;
        pid_t child = fork();
        if (child == 0) {
            ADSHANDLE connection = 0;
            if (AdsConnect(u8(dir_.path()), &connection) != 0) {
                _exit(90);
            }
            ADSHANDLE g = open_on(connection, "Goods");
            ADSHANDLE c = open_on(connection, "Counts");
            ADSHANDLE n = open_on(connection, "Names");
            to_parent.send('S');
            bool ok = transfer(connection, g, c, n, k);
            to_parent.send(ok ? 'C' : 'E');
            for (;;) {
                pause();
            }
        }
        EXPECT_EQ('S', to_parent.receive());
        auto start = std::chrono::steady_clock::now();
        char answer = 0;
        if (took != nullptr) {
            answer = to_parent.receive();
            *took = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - start);
            kill_and_wait(child);
        } else {
            std::this_thread::sleep_for(delay);
            kill_and_wait(child);
            close(to_parent.fds[1]);
            to_parent.fds[1] = -1;
            answer = to_parent.receive();
        }
        EXPECT_NE('E', answer) << "trial " << k << " failed inside the child";
        return answer == 'C';
    };

    std::set<int> committed;
    std::chrono::microseconds duration{};
    ASSERT_TRUE(run(1, {}, &duration));
    committed.insert(1);

    // Every tenth trial runs to its end, measuring again how long a transaction takes, so
    // the moments stay spread over the whole transaction however busy the machine is.
    std::mt19937 random(20261210);
    int rolled_back = 0;
    for (int k = 2; k <= 101; ++k) {
        bool returned = false;
        if (k % 10 == 0) {
            returned = run(k, {}, &duration);
            EXPECT_TRUE(returned) << "trial " << k;
        } else {
            std::uniform_int_distribution<std::int64_t> moment(0, duration.count() * 6 / 5);
            returned = run(k, std::chrono::microseconds(moment(random)), nullptr);
        }
        ADSHANDLE connection = 0;
        ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &connection));
        ADSHANDLE g = open_on(connection, "Goods");
        ADSHANDLE c = open_on(connection, "Counts");
        ADSHANDLE n = open_on(connection, "Names");
        ASSERT_NE(0u, g * c * n) << last_error_text();
        std::string seen =
            visible(g, {"Name", "Note"}) + "/ " + visible(c, {"Qty"}) + "/ " + visible(n, {"Name"});
        std::set<int> with = committed;
        with.insert(k);
        if (seen == expected(with)) {
            committed = with;
        } else {
            EXPECT_FALSE(returned) << "trial " << k << ": committed, but rolled back";
            ASSERT_EQ(expected(committed), seen) << "trial " << k << ": half a transaction";
            ++rolled_back;
        }
        for (ADSHANDLE table : {g, c, n}) {
            ASSERT_EQ("OK\n", check(table)) << "trial " << k;
        }
        ADSHANDLE tag = 0;
        ASSERT_ADS_OK(AdsGetIndexHandle(g, u8("GNAME"), &tag));
        std::string key = "t" + std::to_string(k);
        UNSIGNED16 found = 0;
        ASSERT_ADS_OK(AdsSeek(tag, u8(key), static_cast<UNSIGNED16>(key.size()), VE_STRINGKEY,
                              VE_HARDSEEK, &found));
        UNSIGNED16 deleted = 0;
        if (found) {
            AdsIsRecordDeleted(g, &deleted);
        }
        EXPECT_EQ(committed.count(k) != 0, found && !deleted) << "trial " << k;
        ASSERT_ADS_OK(AdsDisconnect(connection));
    }
    // The moments must have hit inside transactions to show anything.
    EXPECT_GT(rolled_back, 0);
    EXPECT_GE(committed.size(), 11u);
}

}  // namespace
}  // namespace varelum::engine::testing
