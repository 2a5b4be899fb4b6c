// SQL errors: code 7200, "ERROR 7200:" and "NativeError = n;" in the text, a native number
// per kind of failure; statement handles that are gone.
#include "sql_test_support.h"

namespace varelum::engine::testing {
namespace {

class Errors : public SqlTest {
  protected:
    void SetUp() override {
        SqlTest::SetUp();
        make_products();
    }
};

TEST_F(Errors, EachKindOfFailureHasItsNativeNumber) {
    struct Case {
        const char* text;
        int native;
    };
    const Case cases[] = {
        {"SELEC * FROM CadProdutos", 2101},
        {"SELECT * FROM CadProdutos WHERE", 2101},
        {"SELECT * FROM Nenhuma", 2102},
        {"SELECT Nenhum FROM CadProdutos", 2103},
        {"SELECT nenhuma(CodProduto) FROM CadProdutos", 2104},
        {"EXECUTE PROCEDURE sp_nenhum()", 2104},
        {"INSERT INTO CadProdutos (CodProduto, QtdeAtual) VALUES ('X', 'muitos')", 2105},
        {"CREATE VIEW V AS SELECT * FROM CadProdutos", 2112},
        {"SELECT CodGrupo FROM CadProdutos a, CadProdutos b", 2114},
    };
    for (const auto& c : cases) {
        ADSHANDLE query = statement();
        ADSHANDLE cursor = 0;
        UNSIGNED32 rc = AdsPrepareSQL(query, u8(c.text));
        if (rc == VE_SUCCESS) {
            rc = AdsExecuteSQL(query, &cursor);
        }
        EXPECT_EQ(VE_SQL_ERROR, rc) << c.text;
        UNSIGNED32 code = 0;
        AdsGetLastError(&code, nullptr, nullptr);
        EXPECT_EQ(VE_SQL_ERROR, code) << c.text;
        std::string message = last_text();
        EXPECT_EQ(0u, message.find("ERROR 7200: ")) << message;
        EXPECT_EQ(c.native, last_native()) << c.text << ": " << message;
        if (cursor != 0) {
            AdsCloseTable(cursor);
        }
    }
}

TEST_F(Errors, TheExplanationFollowsTheNativeNumber) {
    EXPECT_EQ(VE_SQL_ERROR, run_code("SELECT * FROM Nenhuma"));
    EXPECT_EQ("ERROR 7200: Unknown table. NativeError = 2102; no such table: Nenhuma", last_text());
}

// A table name in SQL is a name within the connection's directory: a path that leads outside it
// is refused, whatever the statement, and nothing outside is created, changed or deleted.
TEST_F(Errors, ATableNameOutsideTheConnectionsDirectoryIsRefused) {
    TempDir elsewhere;
    ADSHANDLE other = 0;
    ASSERT_ADS_OK(AdsConnect(u8(elsewhere.path()), &other));
    ADSHANDLE outside_statement = 0;
    ASSERT_ADS_OK(AdsCreateSQLStatement(other, &outside_statement));
    ADSHANDLE none = 0;
    ASSERT_ADS_OK(
        AdsExecuteSQLDirect(outside_statement, u8("CREATE TABLE Alheia (Codigo Integer)"), &none));
    ASSERT_ADS_OK(AdsExecuteSQLDirect(outside_statement,
                                      u8("INSERT INTO Alheia (Codigo) VALUES (7)"), &none));
    AdsCloseSQLStatement(outside_statement);
    AdsDisconnect(other);
    const std::string alheia = elsewhere.file("Alheia");
    const std::string relative =
        "../" + std::filesystem::path(elsewhere.path()).filename().string();

    // The store's parent is shared with everything else on the machine, which may hold a
    // Nova.adt of its own: what counts is that the statements leave it as it was.
    const std::filesystem::path parents_nova =
        std::filesystem::path(dir_.path()).parent_path() / "Nova.adt";
    const bool parent_had_nova = std::filesystem::exists(parents_nova);

    const std::string statements[] = {
        "CREATE TABLE \"" + elsewhere.file("Nova") + "\" (Codigo Integer)",
        "CREATE TABLE \"" + relative + "/Nova\" (Codigo Integer)",
        "CREATE TABLE \"sub/../../Nova\" (Codigo Integer)",
        "DROP TABLE \"" + alheia + "\"",
        "DROP TABLE \"" + relative + "/Alheia.adt\"",
        "SELECT * FROM \"" + alheia + "\"",
        "INSERT INTO \"" + alheia + "\" (Codigo) VALUES (8)",
        "UPDATE \"" + alheia + "\" SET Codigo = 9",
        "DELETE FROM \"" + alheia + "\"",
        "CREATE INDEX PorCodigo ON \"" + alheia + "\" (Codigo)",
    };
    for (const std::string& text : statements) {
        EXPECT_EQ(VE_SQL_ERROR, run_code(text)) << text;
        EXPECT_EQ(2121, last_native()) << text << ": " << last_text();
        EXPECT_NE(std::string::npos, last_text().find("outside the database's folder"))
            << last_text();
    }
    EXPECT_FALSE(std::filesystem::exists(elsewhere.file("Nova.adt")));
    EXPECT_EQ(parent_had_nova, std::filesystem::exists(parents_nova));
    ASSERT_TRUE(std::filesystem::exists(elsewhere.file("Alheia.adt")));

    // Within the directory, a path of any spelling still names its table.
    EXPECT_ADS_OK(run_code("CREATE TABLE \"" + dir_.file("Nova") + "\" (Codigo Integer)"));
    EXPECT_ADS_OK(run_code("INSERT INTO \"./Nova\" (Codigo) VALUES (1)"));
    EXPECT_ADS_OK(run_code("DROP TABLE \"sub/../Nova\""));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("Nova.adt")));
}

TEST_F(Errors, AStatementGoneAnswers5106) {
    ADSHANDLE query = 0;
    ASSERT_ADS_OK(AdsCreateSQLStatement(connection_, &query));
    UNSIGNED16 type = 0;
    ASSERT_ADS_OK(AdsGetHandleType(query, &type));
    EXPECT_EQ(VE_HANDLE_STATEMENT, type);
    ASSERT_ADS_OK(AdsCloseSQLStatement(query));
    EXPECT_EQ(VE_STATEMENT_GONE, AdsCloseSQLStatement(query));
    EXPECT_EQ(VE_STATEMENT_GONE, AdsPrepareSQL(query, u8("SELECT 1")));

    // A statement of a closed connection is gone too; its cursors with it.
    ADSHANDLE other = 0, statement_of_other = 0, cursor = 0;
    ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &other));
    ASSERT_ADS_OK(AdsCreateSQLStatement(other, &statement_of_other));
    ASSERT_ADS_OK(
        AdsExecuteSQLDirect(statement_of_other, u8("SELECT * FROM CadProdutos"), &cursor));
    ASSERT_ADS_OK(AdsDisconnect(other));
    ADSHANDLE again = 0;
    EXPECT_EQ(VE_STATEMENT_GONE, AdsExecuteSQL(statement_of_other, &again));
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsGotoTop(cursor));
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsCloseTable(cursor));       // closed with its connection
    EXPECT_ADS_OK(AdsCloseSQLStatement(statement_of_other));  // closing still frees it
}

TEST_F(Errors, ExecutingWithoutTextOrBindingOutOfRangeIsAnError) {
    ADSHANDLE query = statement();
    ADSHANDLE cursor = 0;
    EXPECT_EQ(VE_SQL_ERROR, AdsExecuteSQL(query, &cursor));
    EXPECT_EQ(2115, last_native());
    EXPECT_EQ(VE_SQL_ERROR, AdsSetLong(query, ADSFIELD(1), 1));
    ASSERT_ADS_OK(AdsPrepareSQL(query, u8("SELECT * FROM CadProdutos WHERE CodProduto = :a")));
    EXPECT_EQ(VE_SQL_ERROR, AdsSetString(query, u8("b"), u8("x"), 1));
    EXPECT_EQ(2110, last_native());
    EXPECT_ADS_OK(AdsSetString(query, u8(":a"), u8("P100"), 4));
    ASSERT_ADS_OK(AdsExecuteSQL(query, &cursor));
    EXPECT_EQ((Rows{{"P100", "7890000000001", "G2", "Feijao", "5"}}), rows(cursor));
}

TEST_F(Errors, VerifyChecksWithoutTakingTheText) {
    ADSHANDLE query = statement();
    ASSERT_ADS_OK(
        AdsPrepareSQL(query, u8("SELECT CodProduto FROM CadProdutos WHERE CodProduto = 'P100'")));
    EXPECT_ADS_OK(AdsVerifySQL(query, u8("SELECT * FROM CadProdutos")));
    EXPECT_EQ(VE_SQL_ERROR, AdsVerifySQL(query, u8("SELECT * FROM Nenhuma")));
    EXPECT_EQ(2102, last_native());
    ADSHANDLE cursor = 0;
    ASSERT_ADS_OK(AdsExecuteSQL(query, &cursor));
    EXPECT_EQ((Rows{{"P100"}}), rows(cursor));
}

}  // namespace
}  // namespace varelum::engine::testing
