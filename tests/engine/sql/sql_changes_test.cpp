// Changes through SQL: INSERT, UPDATE and DELETE through the engine's write path, seen at
// once by table handles, refused under another process's record lock; CREATE and DROP TABLE;
// live cursors whose edits reach the table.
#include <sys/wait.h>
#include <unistd.h>

#include "sql_test_support.h"

namespace varelum::engine::testing {
namespace {

class Changes : public SqlTest {
  protected:
    void SetUp() override {
        SqlTest::SetUp();
        table_ = create("Itens", "Id,AutoInc;Nome,Char,20;Qtde,Integer;Nota,Memo;");
        append_row(table_, {{"Nome", "um"}, {"Qtde", "1"}});
        append_row(table_, {{"Nome", "dois"}, {"Qtde", "2"}});
    }
    void TearDown() override {
        AdsCloseTable(table_);
        SqlTest::TearDown();
    }

    UNSIGNED32 affected(ADSHANDLE statement) {
        UNSIGNED32 count = 0;
        UNSIGNED32 rc = AdsGetRecordCount(statement, VE_IGNORE_FILTERS, &count);
        return rc == VE_SUCCESS ? count : 1000000 + rc;
    }

    UNSIGNED32 execute(ADSHANDLE statement, const std::string& text) {
        ADSHANDLE cursor = 0;
        UNSIGNED32 rc = AdsExecuteSQLDirect(statement, u8(text), &cursor);
        if (cursor != 0) {
            AdsCloseTable(cursor);
        }
        return rc;
    }

    ADSHANDLE table_ = 0;
};

TEST_F(Changes, InsertUpdateDeleteAreSeenAtOnceByATableHandle) {
    ADSHANDLE change = statement();
    ASSERT_ADS_OK(
        execute(change, "INSERT INTO Itens (Nome, Qtde, Nota) VALUES ('tres', 3, 'longa')"));
    EXPECT_EQ(1u, affected(change));
    UNSIGNED32 autoinc = 0;
    ASSERT_ADS_OK(AdsGetLastAutoinc(change, &autoinc));
    EXPECT_EQ(3u, autoinc);
    ASSERT_ADS_OK(AdsGotoBottom(table_));
    EXPECT_EQ("tres", text(table_, "Nome", VE_TRIM_RIGHT));
    EXPECT_EQ("3", text(table_, "Id"));
    EXPECT_EQ("longa", text(table_, "Nota"));

    ASSERT_ADS_OK(execute(change, "UPDATE Itens SET Qtde = Qtde * 10 WHERE Qtde >= 2"));
    EXPECT_EQ(2u, affected(change));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 2));
    EXPECT_EQ("20", text(table_, "Qtde"));
    EXPECT_EQ("dois", text(table_, "Nome", VE_TRIM_RIGHT)) << "columns not set stay";

    ASSERT_ADS_OK(execute(change, "DELETE FROM Itens WHERE Nome = 'um'"));
    EXPECT_EQ(1u, affected(change));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 1));
    UNSIGNED16 deleted = 0;
    ASSERT_ADS_OK(AdsIsRecordDeleted(table_, &deleted));
    EXPECT_EQ(1, deleted);
    EXPECT_EQ((Rows{{"dois"}, {"tres"}}), rows(run("SELECT Nome FROM Itens ORDER BY Id")));

    ASSERT_ADS_OK(execute(change, "UPDATE Itens SET Qtde = 0 WHERE Nome = 'nenhum'"));
    EXPECT_EQ(0u, affected(change));
    ASSERT_ADS_OK(execute(change, "SELECT * FROM Itens"));
    EXPECT_EQ(1000000u + VE_NO_ROW_COUNT, affected(change));
}

TEST_F(Changes, AChangeFromTheTableHandleIsSeenByTheNextQuery) {
    ASSERT_ADS_OK(AdsGotoTop(table_));
    ASSERT_ADS_OK(AdsSetString(table_, u8("Nome"), u8("UM"), 2));
    ASSERT_ADS_OK(AdsWriteRecord(table_));
    EXPECT_EQ((Rows{{"UM"}}), rows(run("SELECT Nome FROM Itens WHERE Id = 1")));
}

TEST_F(Changes, ARecordLockOfAnotherProcessRefusesTheChange) {
    int to_child[2], to_parent[2];
    ASSERT_EQ(0, pipe(to_child));
    ASSERT_EQ(0, pipe(to_parent));
    pid_t child = fork();
    if (child == 0) {
        ADSHANDLE connection = 0, table = 0;
        int status = 90;
        if (AdsConnect(u8(dir_.path()), &connection) == VE_SUCCESS &&
            AdsOpenTable90(connection, u8("Itens"), nullptr, 3, 1, 1, 1, 0, nullptr, &table) ==
                VE_SUCCESS &&
            AdsLockRecord(table, 2) == VE_SUCCESS) {
            status = 0;
        }
        char signal = static_cast<char>(status == 0 ? 'L' : 'F');
        (void)!write(to_parent[1], &signal, 1);
        (void)!read(to_child[0], &signal, 1);
        _exit(status);
    }
    char signal = 0;
    ASSERT_EQ(1, read(to_parent[0], &signal, 1));
    ASSERT_EQ('L', signal);
    ADSHANDLE change = statement();
    EXPECT_EQ(VE_SQL_ERROR, execute(change, "UPDATE Itens SET Qtde = 5 WHERE Id = 2"));
    EXPECT_EQ(2107, last_native()) << last_text();
    EXPECT_EQ(VE_SQL_ERROR, execute(change, "DELETE FROM Itens WHERE Id = 2"));
    EXPECT_EQ(2107, last_native()) << last_text();
    // Other records are free.
    EXPECT_ADS_OK(execute(change, "UPDATE Itens SET Qtde = 5 WHERE Id = 1"));
    signal = 'Q';
    ASSERT_EQ(1, write(to_child[1], &signal, 1));
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_ADS_OK(execute(change, "UPDATE Itens SET Qtde = 5 WHERE Id = 2"));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 2));
    EXPECT_EQ("5", text(table_, "Qtde"));
    for (int fd : {to_child[0], to_child[1], to_parent[0], to_parent[1]}) {
        close(fd);
    }
}

TEST_F(Changes, CreateAndDropTable) {
    ADSHANDLE ddl = statement();
    ASSERT_ADS_OK(execute(ddl,
                          "CREATE TABLE Novos (Codigo CHAR(10), Valor NUMERIC(8,2), "
                          "Dia DATE, Ativo LOGICAL, N INTEGER, Texto MEMO, Id AUTOINC)"));
    EXPECT_EQ(1000000u + VE_NO_ROW_COUNT, affected(ddl));
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("Novos", &table));
    UNSIGNED16 type = 0;
    UNSIGNED32 length = 0;
    ASSERT_ADS_OK(AdsGetFieldType(table, u8("Valor"), &type));
    EXPECT_EQ(VE_FIELD_NUMERIC, type);
    ASSERT_ADS_OK(AdsGetFieldLength(table, u8("Codigo"), &length));
    EXPECT_EQ(10u, length);
    ASSERT_ADS_OK(AdsGetFieldType(table, u8("Id"), &type));
    EXPECT_EQ(VE_FIELD_AUTOINC, type);
    ASSERT_ADS_OK(execute(ddl,
                          "INSERT INTO Novos (Codigo, Valor, Dia, Ativo) "
                          "VALUES ('a', 1.25, '2024-02-29', 1)"));
    ASSERT_ADS_OK(AdsGotoTop(table));
    EXPECT_EQ("1.25", text(table, "Valor", VE_TRIM_BOTH));
    EXPECT_EQ("02/29/2024", text(table, "Dia"));
    EXPECT_EQ("T", text(table, "Ativo"));

    EXPECT_EQ(VE_SQL_ERROR, execute(ddl, "DROP TABLE Novos"));
    EXPECT_EQ(2108, last_native()) << "open by a table handle: " << last_text();
    AdsCloseTable(table);
    EXPECT_EQ(VE_SQL_ERROR, execute(ddl, "CREATE TABLE novos (X CHAR(1))"));
    EXPECT_EQ(2109, last_native());
    EXPECT_ADS_OK(execute(ddl, "CREATE TABLE IF NOT EXISTS novos (X CHAR(1))"));
    ASSERT_ADS_OK(execute(ddl, "DROP TABLE novos"));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("Novos.adt")));
    EXPECT_EQ(VE_SQL_ERROR, execute(ddl, "SELECT * FROM Novos"));
    EXPECT_EQ(2102, last_native());
    EXPECT_ADS_OK(execute(ddl, "DROP TABLE IF EXISTS Novos"));
    // A table made again under the same name is seen with its new fields.
    ASSERT_ADS_OK(execute(ddl, "CREATE TABLE Novos (Outro INTEGER)"));
    ASSERT_ADS_OK(execute(ddl, "INSERT INTO Novos VALUES (7)"));
    EXPECT_EQ((Rows{{"7"}}), rows(run("SELECT Outro FROM Novos")));
}

TEST_F(Changes, ALiveCursorWritesToTheTable) {
    ADSHANDLE query = statement();
    ASSERT_ADS_OK(AdsStmtSetTableReadOnly(query, 2));
    ASSERT_ADS_OK(AdsPrepareSQL(query, u8("SELECT * FROM Itens WHERE Qtde > 1")));
    ADSHANDLE cursor = 0;
    ASSERT_ADS_OK(AdsExecuteSQL(query, &cursor));
    UNSIGNED16 live = 0;
    ASSERT_ADS_OK(AdsSqlPeekStatement(cursor, &live));
    EXPECT_EQ(1, live);
    ASSERT_ADS_OK(AdsSetString(cursor, u8("Nome"), u8("DOIS"), 4));
    ASSERT_ADS_OK(AdsWriteRecord(cursor));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 2));
    EXPECT_EQ("DOIS", text(table_, "Nome", VE_TRIM_RIGHT));
    AdsCloseTable(cursor);
}

}  // namespace
}  // namespace varelum::engine::testing
