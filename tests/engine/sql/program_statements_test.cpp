// The program's three statements as the components run them: the lines joined with CR LF,
// prepared with AdsPrepareSQLW, the parameter bound as number 1 with AdsSetStringW, the
// cursor read through the table calls.
#include "sql_test_support.h"

namespace varelum::engine::testing {
namespace {

const std::string kProductList = "SELECT *\r\nFROM CadProdutos\r\norder by codproduto\r\n";
const std::string kByBarcode = "SELECT *\r\nFROM CadProdutos\r\nWHERE\r\n(CodBarras) = :Par0\r\n";
const std::string kByCode = "SELECT *\r\nFROM CadProdutos\r\nWHERE\r\n(CodProduto) = :Par0\r\n";

class ProgramStatements : public SqlTest {
  protected:
    void SetUp() override {
        SqlTest::SetUp();
        make_products();
        query_ = statement();
        // The settings the components send before every execution.
        ASSERT_ADS_OK(AdsStmtSetTableLockType(query_, 1));
        ASSERT_ADS_OK(AdsStmtSetTableCollation(query_, u8("ANSI")));
        ASSERT_ADS_OK(AdsStmtSetTableRights(query_, 1));
        ASSERT_ADS_OK(AdsStmtSetTableReadOnly(query_, 1));
        ASSERT_ADS_OK(AdsStmtSetTableType(query_, 3));
        ASSERT_ADS_OK(AdsStmtConstrainUpdates(query_, 2));
        ASSERT_ADS_OK(AdsStmtReadAllColumns(query_, 2));
    }

    // Prepares, binds `code` as parameter 1 and executes; the cursor.
    ADSHANDLE lookup(const std::string& text, const std::string& code) {
        std::u16string sql = wide(text);
        EXPECT_ADS_OK(AdsPrepareSQLW(query_, sql.c_str()));
        std::u16string value = wide(code);
        EXPECT_ADS_OK(AdsSetStringW(query_, ADSFIELD(1), value.c_str(),
                                    static_cast<UNSIGNED32>(value.size())));
        ADSHANDLE cursor = 0;
        EXPECT_ADS_OK(AdsExecuteSQL(query_, &cursor));
        return cursor;
    }

    static UNSIGNED32 count(ADSHANDLE cursor) {
        UNSIGNED32 records = 0;
        EXPECT_ADS_OK(AdsGetRecordCount(cursor, VE_RESPECT_FILTERS, &records));
        return records;
    }

    ADSHANDLE query_ = 0;
};

TEST_F(ProgramStatements, TheProductListComesInProductCodeOrderWithEveryColumn) {
    std::u16string sql = wide(kProductList);
    ASSERT_ADS_OK(AdsPrepareSQLW(query_, sql.c_str()));
    ADSHANDLE cursor = 0;
    ASSERT_ADS_OK(AdsExecuteSQL(query_, &cursor));
    ASSERT_NE(0u, cursor);
    UNSIGNED16 type = 0;
    ASSERT_ADS_OK(AdsGetHandleType(cursor, &type));
    EXPECT_EQ(VE_HANDLE_CURSOR, type);
    UNSIGNED16 live = 9;
    ASSERT_ADS_OK(AdsSqlPeekStatement(cursor, &live));
    EXPECT_EQ(0, live) << "a read-only request gives a cursor that cannot be modified";
    EXPECT_EQ(4u, count(cursor));
    UNSIGNED16 fields = 0;
    ASSERT_ADS_OK(AdsGetNumFields(cursor, &fields));
    EXPECT_EQ(5, fields);
    UNSIGNED16 quantity_type = 0;
    ASSERT_ADS_OK(AdsGetFieldType(cursor, u8("QtdeAtual"), &quantity_type));
    EXPECT_EQ(VE_FIELD_NUMERIC, quantity_type);
    Rows got = rows(cursor);
    ASSERT_EQ(4u, got.size());
    EXPECT_EQ((std::vector<std::string>{"P100", "P200", "P300", "P400"}),
              (std::vector<std::string>{got[0][0], got[1][0], got[2][0], got[3][0]}));
    EXPECT_EQ("Feijao", got[0][3]);
    EXPECT_EQ("5", got[0][4]);
    UNSIGNED32 affected = 0;
    EXPECT_EQ(VE_NO_ROW_COUNT, AdsGetRecordCount(query_, VE_IGNORE_FILTERS, &affected));
}

TEST_F(ProgramStatements, TheBarcodeLookupFindsTheProductThatHasTheCodeAsItsBarcode) {
    // P100 is one product's code and another's barcode: the barcode statement finds the one
    // with the barcode, so the product-code statement is not needed.
    ADSHANDLE cursor = lookup(kByBarcode, "P100");
    EXPECT_EQ(1u, count(cursor));
    EXPECT_EQ("P200", text(cursor, u8("CodProduto")));
    EXPECT_EQ("G1", text(cursor, u8("CodGrupo")));
    AdsCloseTable(cursor);

    cursor = lookup(kByBarcode, "7890000000004");
    EXPECT_EQ("P400", text(cursor, u8("CodProduto")));
    AdsCloseTable(cursor);
}

TEST_F(ProgramStatements, AnUnknownBarcodeGivesNoRowAndTheCodeStatementFindsTheProduct) {
    ADSHANDLE cursor = lookup(kByBarcode, "P300");
    EXPECT_EQ(0u, count(cursor));
    EXPECT_TRUE(at_eof(cursor));
    AdsCloseTable(cursor);

    cursor = lookup(kByCode, "P300");  // the same statement handle, as the program does
    EXPECT_EQ(1u, count(cursor));
    EXPECT_EQ("7890000000003", text(cursor, u8("CodBarras")));
    EXPECT_EQ("12", text(cursor, u8("QtdeAtual")));
    AdsCloseTable(cursor);
}

TEST_F(ProgramStatements, ACodeWithTrailingBlanksTypedByHandIsLookedUpAsTyped) {
    // The parameter keeps its blanks; Char columns compare with trailing blanks ignored, as
    // the engine's exact comparison does, so the product is found.
    ADSHANDLE cursor = lookup(kByCode, "P300   ");
    EXPECT_EQ(1u, count(cursor));
    EXPECT_EQ("P300", text(cursor, u8("CodProduto")));
    AdsCloseTable(cursor);

    // Leading blanks and other letters are other codes.
    cursor = lookup(kByCode, " P300");
    EXPECT_EQ(0u, count(cursor));
    AdsCloseTable(cursor);
    cursor = lookup(kByCode, "p300");
    EXPECT_EQ(0u, count(cursor));
    AdsCloseTable(cursor);
}

TEST_F(ProgramStatements, TheLookupCursorIsATableHandleOnTheRecord) {
    ADSHANDLE cursor = lookup(kByCode, "P400");
    UNSIGNED32 recno = 0;
    ASSERT_ADS_OK(AdsGetRecordNum(cursor, VE_IGNORE_FILTERS, &recno));
    EXPECT_EQ(4u, recno) << "the cursor's records are the table's own";
    UNSIGNED32 length = 0;
    ASSERT_ADS_OK(AdsGetRecordLength(cursor, &length));
    std::vector<UNSIGNED8> image(length);
    ASSERT_ADS_OK(AdsGetRecord(cursor, image.data(), &length));
    EXPECT_EQ("P400", std::string(reinterpret_cast<char*>(image.data()), 4));
    // Read-only: the cursor refuses changes.
    EXPECT_EQ(VE_READ_ONLY, AdsSetString(cursor, u8("Descricao"), u8("x"), 1));
    AdsCloseTable(cursor);
}

TEST_F(ProgramStatements, TablesAreNamedWithOrWithoutExtensionInAnyCaseAndQuoted) {
    for (const char* name :
         {"cadprodutos", "CADPRODUTOS.ADT", "\"CadProdutos.adt\"", "[cadProdutos]"}) {
        ADSHANDLE cursor = run(std::string("SELECT CodProduto FROM ") + name +
                               " WHERE CodGrupo = 'G1' ORDER BY 1");
        Rows got = rows(cursor);
        EXPECT_EQ((Rows{{"P200"}, {"P300"}}), got) << name;
    }
}

TEST_F(ProgramStatements, WithIndexesTheLookupsAndTheListUseThemAndGiveTheSameRows) {
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("CadProdutos", &table));
    for (const char* field : {"CodBarras", "CodProduto"}) {
        ADSHANDLE index = 0;
        ASSERT_ADS_OK(AdsCreateIndex90(table, nullptr, u8(field), u8(field), nullptr, nullptr, 0,
                                       512, nullptr, &index));
    }
    AdsCloseTable(table);
    auto plan = [&](const std::string& text) {
        Rows got = rows(run("EXPLAIN QUERY PLAN " + text));
        std::string details;
        for (const auto& row : got) {
            details += row.back() + ";";
        }
        return details;
    };
    EXPECT_NE(std::string::npos,
              plan("SELECT * FROM CadProdutos WHERE CodBarras = 'P100'").find("INDEX 2"));
    EXPECT_NE(std::string::npos,
              plan("SELECT * FROM CadProdutos ORDER BY CodProduto").find("INDEX 3"));
    EXPECT_EQ(std::string::npos,
              plan("SELECT * FROM CadProdutos ORDER BY CodProduto").find("ORDER BY"));

    ADSHANDLE cursor = lookup(kByBarcode, "P100");
    EXPECT_EQ((Rows{{"P200", "P100", "G1", "Acucar", "0"}}), rows(cursor));
    cursor = lookup(kByCode, "P300   ");
    EXPECT_EQ(1u, count(cursor));
    EXPECT_EQ("P300", text(cursor, u8("CodProduto")));
    AdsCloseTable(cursor);
    cursor = lookup(kByCode, "P999");
    EXPECT_EQ(0u, count(cursor));
    AdsCloseTable(cursor);
    std::u16string sql = wide(kProductList);
    ASSERT_ADS_OK(AdsPrepareSQLW(query_, sql.c_str()));
    ASSERT_ADS_OK(AdsExecuteSQL(query_, &cursor));
    Rows got = rows(cursor);
    ASSERT_EQ(4u, got.size());
    EXPECT_EQ("P100", got[0][0]);
    EXPECT_EQ("P400", got[3][0]);
    // A record deleted since the index was built is no row; a new one is.
    EXPECT_ADS_OK(run_code("DELETE FROM CadProdutos WHERE CodProduto = 'P200'"));
    EXPECT_ADS_OK(
        run_code("INSERT INTO CadProdutos (CodProduto, CodBarras) VALUES ('P050', 'P100')"));
    cursor = lookup(kByBarcode, "P100");
    EXPECT_EQ((Rows{{"P050", "P100", "", "", ""}}), rows(cursor));
}

}  // namespace
}  // namespace varelum::engine::testing
