// Statements reuse what the process already has open (table files, their index tags and the
// plans of statements it ran before): what they answer must follow every change of the files.
#include <cstdio>

#include "sql/sql_test_support.h"

namespace varelum::engine::testing {
namespace {

class Reuse : public SqlTest {
  protected:
    void SetUp() override {
        SqlTest::SetUp();
        make_products();
    }
    Rows codes(const std::string& where = "") {
        return rows(run("SELECT CodProduto FROM CadProdutos " + where + " ORDER BY CodProduto"));
    }
};

TEST_F(Reuse, ATableRecreatedInTheSameProcessIsTheNewOne) {
    EXPECT_EQ(4u, codes().size());
    // The file the query had open is kept open for the next statement; that must not keep
    // the process itself from creating the table anew.
    ADSHANDLE table = create("CadProdutos", "CodProduto,Char,30;Extra,Char,5;");
    ASSERT_NE(0u, table);
    append_row(table, {{"CodProduto", "NEW"}, {"Extra", "x"}});
    AdsCloseTable(table);
    EXPECT_EQ((Rows{{"NEW", "x"}}), rows(run("SELECT CodProduto, Extra FROM CadProdutos")));
}

TEST_F(Reuse, ATableFileReplacedBehindTheEngineIsReadAfresh) {
    EXPECT_EQ(4u, codes().size());
    ADSHANDLE other = create("Other", "CodProduto,Char,30;");
    append_row(other, {{"CodProduto", "FROM-OTHER"}});
    AdsCloseTable(other);
    // As another process's create does: the new file is renamed over the old one.
    ASSERT_EQ(0, std::rename(dir_.file("Other.adt").c_str(), dir_.file("CadProdutos.adt").c_str()));
    EXPECT_EQ((Rows{{"FROM-OTHER"}}), codes());
}

TEST_F(Reuse, AFileReplacedBetweenPrepareAndExecuteIsTheOneRead) {
    ADSHANDLE query = statement();
    ASSERT_ADS_OK(
        AdsPrepareSQL(query, u8("SELECT CodProduto FROM CadProdutos ORDER BY CodProduto")));
    ADSHANDLE other = create("Other", "CodProduto,Char,30;");
    append_row(other, {{"CodProduto", "FROM-OTHER"}});
    AdsCloseTable(other);
    // The prepare had the old file open and checked; the execute must look at the path again.
    ASSERT_EQ(0, std::rename(dir_.file("Other.adt").c_str(), dir_.file("CadProdutos.adt").c_str()));
    ADSHANDLE cursor = 0;
    ASSERT_ADS_OK(AdsExecuteSQL(query, &cursor));
    EXPECT_EQ((Rows{{"FROM-OTHER"}}), rows(cursor));
}

TEST_F(Reuse, ADroppedTableIsGoneAndCanBeMadeAgain) {
    EXPECT_EQ(4u, codes().size());
    EXPECT_EQ(VE_SUCCESS, run_code("DROP TABLE CadProdutos"));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("CadProdutos.adt")));
    EXPECT_NE(VE_SUCCESS, run_code("SELECT * FROM CadProdutos"));
    EXPECT_EQ(VE_SUCCESS, run_code("CREATE TABLE CadProdutos (CodProduto CHAR(10))"));
    EXPECT_EQ(VE_SUCCESS, run_code("INSERT INTO CadProdutos VALUES ('AGAIN')"));
    EXPECT_EQ((Rows{{"AGAIN"}}), codes());
}

TEST_F(Reuse, AScriptDropsTheTableItsQueryRead) {
    EXPECT_EQ(4u, codes().size());
    // The query's handles borrow the file the statement's check opened; the drop after it in
    // the same statement must find the file held by nothing.
    EXPECT_EQ(VE_SUCCESS, run_code("SELECT COUNT(*) FROM CadProdutos; DROP TABLE CadProdutos"))
        << last_text();
    EXPECT_FALSE(std::filesystem::exists(dir_.file("CadProdutos.adt")));
    EXPECT_EQ(VE_SUCCESS, run_code("CREATE TABLE CadProdutos (CodProduto CHAR(10))"));
    EXPECT_EQ(VE_SUCCESS, run_code("INSERT INTO CadProdutos VALUES ('AGAIN')"));
    EXPECT_EQ((Rows{{"AGAIN"}}), codes());
}

}  // namespace
}  // namespace varelum::engine::testing
