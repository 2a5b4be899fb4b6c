// Transactions through the C ABI on real tables: commit keeps and rollback restores every
// change of every table (images, memo values, index keys, deleted marks), savepoints nest,
// changed records stay locked to the end, whole-table work is refused inside one, and a commit
// that fails rolls back before it answers.
#include <sys/wait.h>

#include <cerrno>

#include "engine/env/testing_hooks.h"
#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class Transactions : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        stock_ = create("Stock", "Code,Char,10;Qty,Integer;Note,Memo;");
        ASSERT_ADS_OK(AdsCreateIndex90(stock_, nullptr, u8("CODE"), u8("Code"), nullptr, nullptr, 0,
                                       0, nullptr, &code_));
        moves_ = create("Moves", "Code,Char,10;Qty,Integer;");
        append_row(stock_, {{"Code", "apple"}, {"Qty", "10"}, {"Note", "red"}});
        append_row(stock_, {{"Code", "pear"}, {"Qty", "20"}});
        append_row(stock_, {{"Code", "plum"}, {"Qty", "30"}, {"Note", "blue"}});
        ASSERT_ADS_OK(AdsDeleteRecord(stock_));  // plum starts deleted
        append_row(moves_, {{"Code", "apple"}, {"Qty", "1"}});
    }

    // Every record of the table: number, deleted mark, the fields and memo values as text.
    static std::string contents(ADSHANDLE table, const std::vector<const char*>& fields) {
        std::string all;
        EXPECT_ADS_OK(AdsGotoTop(table));
        while (!at_eof(table)) {
            UNSIGNED16 deleted = 0;
            AdsIsRecordDeleted(table, &deleted);
            all += std::to_string(recno(table)) + (deleted ? "*" : "") + ":";
            for (const char* field : fields) {
                all += text(table, field, VE_TRIM_RIGHT) + "|";
            }
            all += " ";
            if (AdsSkip(table, 1) != VE_SUCCESS) {
                return all + "<skip failed: " + last_error_text() + ">";
            }
        }
        return all;
    }
    std::string stock() const { return contents(stock_, {"Code", "Qty", "Note"}); }
    std::string moves() const { return contents(moves_, {"Code", "Qty"}); }

    static std::string check(ADSHANDLE table) {
        UNSIGNED8 report[4000] = {};
        UNSIGNED32 length = sizeof report;
        UNSIGNED32 rc = AdsCheckTable(table, VE_CHECK_MEMOS, report, &length);
        return rc == VE_SUCCESS ? reinterpret_cast<char*>(report) : last_error_text();
    }

    bool found(const char* code) const {
        UNSIGNED16 hit = 0;
        EXPECT_ADS_OK(AdsSeek(code_, u8(code), static_cast<UNSIGNED16>(std::strlen(code)),
                              VE_STRINGKEY, VE_HARDSEEK, &hit));
        return hit != 0;
    }

    // The transfer a shop does: stock goes down, a move is written, a note is changed, a
    // record is deleted, another recalled, a new product appended.
    void change_everything() {
        ASSERT_ADS_OK(AdsGotoRecord(stock_, 1));
        ASSERT_ADS_OK(AdsSetField(stock_, u8("Qty"), u8("7"), 1));
        ASSERT_ADS_OK(AdsSetField(stock_, u8("Code"), u8("apples"), 6));
        ASSERT_ADS_OK(AdsSetField(stock_, u8("Note"), u8("green"), 5));
        ASSERT_ADS_OK(AdsWriteRecord(stock_));
        ASSERT_ADS_OK(AdsGotoRecord(stock_, 2));
        ASSERT_ADS_OK(AdsDeleteRecord(stock_));
        ASSERT_ADS_OK(AdsGotoRecord(stock_, 3));
        ASSERT_ADS_OK(AdsRecallRecord(stock_));
        ASSERT_ADS_OK(AdsSetField(stock_, u8("Note"), u8(""), 0));
        ASSERT_ADS_OK(AdsWriteRecord(stock_));
        append_row(stock_, {{"Code", "kiwi"}, {"Qty", "5"}, {"Note", "new"}});
        append_row(moves_, {{"Code", "apple"}, {"Qty", "-3"}});
        ASSERT_ADS_OK(AdsGotoRecord(moves_, 1));
        ASSERT_ADS_OK(AdsSetField(moves_, u8("Qty"), u8("2"), 1));
        ASSERT_ADS_OK(AdsWriteRecord(moves_));
    }

    ADSHANDLE stock_ = 0;
    ADSHANDLE code_ = 0;
    ADSHANDLE moves_ = 0;
};

TEST_F(Transactions, CommitKeepsEveryChangeOfEveryTable) {
    ASSERT_ADS_OK(AdsBeginTransaction(connection_));
    change_everything();
    std::string changed_stock = stock();
    std::string changed_moves = moves();
    ASSERT_ADS_OK(AdsCommitTransaction(connection_));

    EXPECT_EQ(changed_stock, stock());
    EXPECT_EQ("1:apples|7|green| 2*:pear|20|| 3:plum|30|| 4:kiwi|5|new| ", stock());
    EXPECT_EQ("1:apple|2| 2:apple|-3| ", moves());
    EXPECT_EQ(changed_moves, moves());
    EXPECT_TRUE(found("apples"));
    EXPECT_TRUE(found("kiwi"));
    EXPECT_EQ("OK\n", check(stock_));
    EXPECT_EQ("OK\n", check(moves_));
}

TEST_F(Transactions, RollbackRestoresImagesMemosIndexKeysAndDeletedMarks) {
    std::string before_stock = stock();
    std::string before_moves = moves();
    ASSERT_ADS_OK(AdsBeginTransaction(connection_));
    change_everything();
    // A second change of the same record in the same transaction.
    ASSERT_ADS_OK(AdsGotoRecord(stock_, 1));
    ASSERT_ADS_OK(AdsSetField(stock_, u8("Note"), u8("yellow"), 6));
    ASSERT_ADS_OK(AdsWriteRecord(stock_));
    ASSERT_ADS_OK(AdsRollbackTransaction(connection_));

    // The appended records stay as deleted records; everything else is as it was.
    EXPECT_EQ(before_stock + "4*:kiwi|5|new| ", stock());
    EXPECT_EQ(before_moves + "2*:apple|-3| ", moves());
    EXPECT_TRUE(found("apple"));
    EXPECT_FALSE(found("apples"));
    EXPECT_EQ("OK\n", check(stock_));
    EXPECT_EQ("OK\n", check(moves_));
    UNSIGNED16 in = 1;
    ASSERT_ADS_OK(AdsInTransaction(connection_, &in));
    EXPECT_EQ(0, in);

    // The next append takes a new number: numbers handed out in the transaction stay used.
    append_row(stock_, {{"Code", "fig"}});
    EXPECT_EQ(5u, recno(stock_));
}

// A commit whose tables cannot be forced to the disk answers the error having rolled the
// transaction back: every table is as before it, and no journal is left for another process to
// replay later over what this one writes next.
TEST_F(Transactions, ACommitThatFailsRollsBackBeforeItAnswers) {
    const std::string before_stock = stock();
    const std::string before_moves = moves();
    ASSERT_ADS_OK(AdsBeginTransaction(connection_));
    change_everything();
    VarelumTestInstallFaults();
    struct RemoveFaults {
        ~RemoveFaults() { VarelumTestRemoveFaults(); }
    } remove_faults;
    VarelumTestFailSyncs(dir_.file("Moves.adt").c_str(), EIO, 0, 1);

    EXPECT_EQ(VE_FILE_ERROR, AdsCommitTransaction(connection_));
    EXPECT_NE(std::string::npos, last_error_text().find("rolled back")) << last_error_text();
    EXPECT_EQ(0, VarelumTestPendingFaults()) << "the commit never synced the table";
    UNSIGNED16 in = 1;
    ASSERT_ADS_OK(AdsInTransaction(connection_, &in));
    EXPECT_EQ(0, in);
    EXPECT_EQ(before_stock + "4*:kiwi|5|new| ", stock());
    EXPECT_EQ(before_moves + "2*:apple|-3| ", moves());
    EXPECT_FALSE(found("apples"));
    EXPECT_EQ("OK\n", check(stock_));
    EXPECT_EQ("OK\n", check(moves_));
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
        EXPECT_NE(".vtj", entry.path().extension()) << entry.path();
    }

    // What this process writes next stays when another process opens the table.
    ASSERT_ADS_OK(AdsGotoRecord(stock_, 1));
    ASSERT_ADS_OK(AdsSetField(stock_, u8("Qty"), u8("99"), 2));
    ASSERT_ADS_OK(AdsWriteRecord(stock_));
    pid_t child = fork();
    if (child == 0) {
        ADSHANDLE connection = 0;
        ADSHANDLE table = 0;
        SIGNED32 qty = 0;
        if (AdsConnect(u8(dir_.path()), &connection) != 0 ||
            AdsOpenTable90(connection, u8("Stock"), nullptr, 3, 1, 1, 1, 0, nullptr, &table) != 0 ||
            AdsGotoRecord(table, 1) != 0 || AdsGetLong(table, u8("Qty"), &qty) != 0) {
            _exit(90);
        }
        _exit(qty == 99 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(Transactions, ATransactionLeftOpenIsRolledBackAtDisconnect) {
    std::string before = stock();
    ADSHANDLE other = 0;
    ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &other));
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("Stock", &table, 0, other));
    ASSERT_ADS_OK(AdsBeginTransaction(other));
    ASSERT_ADS_OK(AdsGotoRecord(table, 1));
    ASSERT_ADS_OK(AdsSetField(table, u8("Code"), u8("gone"), 4));
    ASSERT_ADS_OK(AdsCloseTable(table));  // the pending change is written, in the transaction
    ASSERT_ADS_OK(AdsDisconnect(other));
    EXPECT_EQ(before, stock());
}

TEST_F(Transactions, SavepointsNestThreeDeep) {
    auto qty = [&](UNSIGNED32 record) {
        AdsGotoRecord(stock_, record);
        SIGNED32 value = 0;
        AdsGetLong(stock_, u8("Qty"), &value);
        return value;
    };
    auto set_qty = [&](UNSIGNED32 record, SIGNED32 value) {
        ASSERT_ADS_OK(AdsGotoRecord(stock_, record));
        ASSERT_ADS_OK(AdsSetLong(stock_, u8("Qty"), value));
        ASSERT_ADS_OK(AdsWriteRecord(stock_));
    };
    ASSERT_ADS_OK(AdsBeginTransaction(connection_));
    set_qty(1, 11);
    ASSERT_ADS_OK(AdsCreateSavepoint(connection_, const_cast<UNSIGNED8*>(u8("one")), 0));
    set_qty(1, 12);
    set_qty(2, 21);
    ASSERT_ADS_OK(AdsCreateSavepoint(connection_, const_cast<UNSIGNED8*>(u8("two")), 0));
    set_qty(1, 13);
    ASSERT_ADS_OK(AdsCreateSavepoint(connection_, const_cast<UNSIGNED8*>(u8("three")), 0));
    set_qty(2, 22);
    append_row(moves_, {{"Code", "x"}});

    ASSERT_ADS_OK(AdsRollbackTransaction80(connection_, const_cast<UNSIGNED8*>(u8("TWO")), 0));
    EXPECT_EQ(12, qty(1));
    EXPECT_EQ(21, qty(2));
    EXPECT_EQ("1:apple|1| 2*:x|| ", moves());
    // Rolled back past: "three" is gone; "two" stays and can be rolled back to again.
    EXPECT_EQ(VE_UNKNOWN_SAVEPOINT,
              AdsRollbackTransaction80(connection_, const_cast<UNSIGNED8*>(u8("three")), 0));
    set_qty(2, 23);
    ASSERT_ADS_OK(AdsRollbackTransaction80(connection_, const_cast<UNSIGNED8*>(u8("two")), 0));
    EXPECT_EQ(21, qty(2));
    ASSERT_ADS_OK(AdsRollbackTransaction80(connection_, const_cast<UNSIGNED8*>(u8("one")), 0));
    EXPECT_EQ(11, qty(1));
    EXPECT_EQ(20, qty(2));
    UNSIGNED16 in = 0;
    ASSERT_ADS_OK(AdsInTransaction(connection_, &in));
    EXPECT_EQ(1, in);
    ASSERT_ADS_OK(AdsCommitTransaction(connection_));
    EXPECT_EQ(11, qty(1));
    EXPECT_EQ("OK\n", check(stock_));
}

TEST_F(Transactions, MisplacedCallsAnswerClearCodes) {
    auto* name = const_cast<UNSIGNED8*>(u8("sp"));
    UNSIGNED32 count = 9;
    ASSERT_ADS_OK(AdsGetTransactionCount(connection_, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(VE_NO_TRANSACTION, AdsCommitTransaction(connection_));
    EXPECT_EQ(VE_NO_TRANSACTION, AdsRollbackTransaction(connection_));
    EXPECT_EQ(VE_NO_TRANSACTION, AdsRollbackTransaction80(connection_, name, 0));
    EXPECT_EQ(VE_NO_TRANSACTION, AdsCreateSavepoint(connection_, name, 0));
    EXPECT_NE(std::string::npos, last_error_text().find("No transaction is active"));

    ASSERT_ADS_OK(AdsBeginTransaction(connection_));
    ASSERT_ADS_OK(AdsGetTransactionCount(connection_, &count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(VE_IN_TRANSACTION, AdsBeginTransaction(connection_));
    EXPECT_EQ(VE_UNKNOWN_SAVEPOINT, AdsRollbackTransaction80(connection_, name, 0));
    EXPECT_EQ(VE_INVALID_ARGUMENT, AdsCreateSavepoint(connection_, name, 1));
    EXPECT_EQ(VE_INVALID_ARGUMENT,
              AdsCreateSavepoint(connection_, const_cast<UNSIGNED8*>(u8("")), 0));

    // Work that cannot be undone record by record is refused, and changes nothing.
    EXPECT_EQ(VE_IN_TRANSACTION, AdsZapTable(moves_));
    EXPECT_EQ(VE_IN_TRANSACTION, AdsPackTable(stock_));
    ADSHANDLE index = 0;
    EXPECT_EQ(VE_IN_TRANSACTION, AdsCreateIndex90(stock_, nullptr, u8("QTY"), u8("Qty"), nullptr,
                                                  nullptr, 0, 0, nullptr, &index));
    EXPECT_EQ(VE_IN_TRANSACTION, AdsReindex61(stock_, 0));
    EXPECT_EQ(VE_IN_TRANSACTION, AdsDeleteIndex(code_));
    ASSERT_ADS_OK(AdsRollbackTransaction(connection_));
    EXPECT_EQ("1:apple|1| ", moves());
    EXPECT_EQ(VE_INVALID_HANDLE, AdsBeginTransaction(123456));
}

// Locks of changed records hold to the end of the transaction, for another connection of
// this process and for another process, whatever the unlock calls say.
TEST_F(Transactions, ChangedRecordsStayLockedUntilTheEnd) {
    ADSHANDLE other = 0;
    ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &other));
    ADSHANDLE theirs = 0;
    ASSERT_ADS_OK(open("Stock", &theirs, 0, other));
    auto other_process_can_lock = [&](UNSIGNED32 record) {
        pid_t child = fork();
        if (child == 0) {
            ADSHANDLE connection = 0;
            ADSHANDLE table = 0;
            if (AdsConnect(u8(dir_.path()), &connection) != 0 ||
                AdsOpenTable90(connection, u8("Stock"), nullptr, 3, 1, 1, 1, 0, nullptr, &table) !=
                    0) {
                _exit(90);
            }
            UNSIGNED32 rc = AdsLockRecord(table, record);
            _exit(rc == VE_SUCCESS ? 0 : rc == VE_LOCK_REFUSED ? 1 : 91);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_NE(90, WEXITSTATUS(status));
        EXPECT_NE(91, WEXITSTATUS(status));
        return WEXITSTATUS(status) == 0;
    };

    ASSERT_ADS_OK(AdsBeginTransaction(connection_));
    ASSERT_ADS_OK(AdsGotoRecord(stock_, 1));
    ASSERT_ADS_OK(AdsLockRecord(stock_, 1));
    ASSERT_ADS_OK(AdsSetField(stock_, u8("Qty"), u8("9"), 1));
    ASSERT_ADS_OK(AdsWriteRecord(stock_));
    ASSERT_ADS_OK(AdsUnlockRecord(stock_, 1));
    ASSERT_ADS_OK(AdsGotoRecord(stock_, 2));
    ASSERT_ADS_OK(AdsDeleteRecord(stock_));
    append_row(stock_, {{"Code", "kiwi"}});

    for (UNSIGNED32 record : {1u, 2u, 4u}) {
        EXPECT_EQ(VE_LOCK_REFUSED, AdsLockRecord(theirs, record)) << record;
        EXPECT_FALSE(other_process_can_lock(record)) << record;
    }
    EXPECT_EQ(VE_LOCK_REFUSED, AdsLockTable(theirs));
    // Others see the changes as they are made, but cannot change those records.
    ASSERT_ADS_OK(AdsGotoRecord(theirs, 1));
    EXPECT_EQ("9", text(theirs, "Qty", VE_TRIM_BOTH));
    EXPECT_EQ(VE_LOCK_REFUSED, AdsSetField(theirs, u8("Qty"), u8("1"), 1));
    // Record 3 was not changed: it is anyone's.
    EXPECT_TRUE(other_process_can_lock(3));

    ASSERT_ADS_OK(AdsCommitTransaction(connection_));
    EXPECT_TRUE(other_process_can_lock(1));
    ASSERT_ADS_OK(AdsLockRecord(theirs, 2));
    ASSERT_ADS_OK(AdsDisconnect(other));
}

}  // namespace
}  // namespace varelum::engine::testing
