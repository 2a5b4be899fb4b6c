// Statements and transactions: every changing statement is atomic on its own, inside an
// explicit transaction too, and BEGIN / COMMIT / ROLLBACK / SAVEPOINT through SQL act on the
// connection's transaction, which table handles of the connection share.
#include "sql_test_support.h"

namespace varelum::engine::testing {
namespace {

class SqlTransactions : public SqlTest {
  protected:
    void SetUp() override {
        SqlTest::SetUp();
        table_ = create("Itens", "Code,Char,6;Qty,Integer;Note,Memo;");
        ADSHANDLE index = 0;
        ASSERT_ADS_OK(AdsCreateIndex90(table_, nullptr, u8("CODE"), u8("Code"), nullptr, nullptr,
                                       VE_INDEX_UNIQUE, 0, nullptr, &index));
        for (int i = 1; i <= 10; ++i) {
            append_row(table_, {{"Code", "r" + std::to_string(i)},
                                {"Qty", std::to_string(i)},
                                {"Note", "n" + std::to_string(i)}});
        }
        ASSERT_ADS_OK(AdsCloseTable(table_));
    }

    Rows all() { return rows(run("SELECT Code, Qty, Note FROM Itens ORDER BY Qty")); }
    bool in_transaction() {
        UNSIGNED16 in = 0;
        EXPECT_ADS_OK(AdsInTransaction(connection_, &in));
        return in != 0;
    }

    ADSHANDLE table_ = 0;
};

TEST_F(SqlTransactions, AStatementThatFailsOnItsTenthRowChangesNoRow) {
    Rows before = all();
    // Rows 1..9 become c1..c9 and the tenth c1 again, which the unique index refuses.
    const std::string update =
        "UPDATE Itens SET Code = CASE WHEN Qty = 10 THEN 'c1' ELSE 'c' || Qty END, "
        "Note = 'changed'";
    EXPECT_EQ(VE_SQL_ERROR, run_code(update));
    EXPECT_EQ(before, all());
    EXPECT_FALSE(in_transaction());

    // The same inside an explicit transaction: the statement is undone, the transaction and
    // the work before the statement stay.
    run("BEGIN TRANSACTION");
    run("UPDATE Itens SET Note = 'kept' WHERE Code = 'r1'");
    EXPECT_EQ(VE_SQL_ERROR, run_code(update));
    EXPECT_TRUE(in_transaction());
    Rows expected = before;
    expected[0][2] = "kept";
    EXPECT_EQ(expected, all());
    run("COMMIT WORK");
    EXPECT_EQ(expected, all());
    EXPECT_EQ(Rows{{"1"}}, rows(run("SELECT COUNT(*) FROM Itens WHERE Code = 'r1'")));
}

TEST_F(SqlTransactions, TransactionStatementsActOnTheConnectionsTransaction) {
    run("BEGIN TRANSACTION");
    EXPECT_TRUE(in_transaction());
    run("INSERT INTO Itens (Code, Qty) VALUES ('new', 11)");
    run("SAVEPOINT first");
    run("DELETE FROM Itens WHERE Qty < 5");
    run("SAVEPOINT second");
    run("UPDATE Itens SET Note = 'x'");
    run("ROLLBACK TO SAVEPOINT first");
    EXPECT_EQ(Rows{{"11"}}, rows(run("SELECT COUNT(*) FROM Itens")));
    EXPECT_EQ(VE_UNKNOWN_SAVEPOINT, run_code("ROLLBACK WORK TO second"));
    // A table handle of the connection writes into the same transaction.
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("Itens", &table));
    ASSERT_ADS_OK(AdsGotoRecord(table, 2));
    ASSERT_ADS_OK(AdsSetField(table, u8("Qty"), u8("200"), 3));
    ASSERT_ADS_OK(AdsWriteRecord(table));
    run("ROLLBACK");
    EXPECT_FALSE(in_transaction());
    EXPECT_EQ(Rows{{"0"}}, rows(run("SELECT COUNT(*) FROM Itens WHERE Qty > 10")));
    AdsCloseTable(table);

    run("BEGIN");
    run("DELETE FROM Itens WHERE Qty = 1");
    run("COMMIT");
    EXPECT_EQ(Rows{{"9"}}, rows(run("SELECT COUNT(*) FROM Itens")));
}

TEST_F(SqlTransactions, MisplacedOrMalformedTransactionStatementsAreRefused) {
    struct Case {
        const char* text;
        UNSIGNED32 code;
    };
    const Case outside[] = {
        {"COMMIT", VE_NO_TRANSACTION},       {"ROLLBACK WORK", VE_NO_TRANSACTION},
        {"SAVEPOINT s", VE_NO_TRANSACTION},  {"ROLLBACK TO SAVEPOINT s", VE_NO_TRANSACTION},
        {"SAVEPOINT", VE_SQL_ERROR},         {"BEGIN TRANSACTION now", VE_SQL_ERROR},
        {"COMMIT everything", VE_SQL_ERROR},
    };
    for (const Case& c : outside) {
        EXPECT_EQ(c.code, run_code(c.text)) << c.text;
    }
    run("BEGIN TRANSACTION");
    const Case inside[] = {
        {"BEGIN TRANSACTION", VE_IN_TRANSACTION},
        {"ROLLBACK TO SAVEPOINT nowhere", VE_UNKNOWN_SAVEPOINT},
        {"CREATE INDEX QTY ON Itens (Qty)", VE_IN_TRANSACTION},
        {"DROP TABLE Itens", VE_IN_TRANSACTION},
    };
    for (const Case& c : inside) {
        EXPECT_EQ(c.code, run_code(c.text)) << c.text;
    }
    run("ROLLBACK");
    EXPECT_EQ(Rows{{"10"}}, rows(run("SELECT COUNT(*) FROM Itens")));
}

}  // namespace
}  // namespace varelum::engine::testing
