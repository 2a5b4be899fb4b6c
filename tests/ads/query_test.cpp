// TAdsQuery against the real engine: the parameter scan, the SQL lines and their change rules,
// the statement's life, the refusals, scripts, and the program's two queries (product list and
// code lookup) on a store that ads.ini knows as "BALDERIM", parameter binding as the engine
// receives it, counts of changed rows, scripts, verification and a master data source.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

#include "ads/adstable_query.h"
#include "ads/adstable_table.h"
#include "case_names.h"
#include "component_test_support.h"
#include "db/data_source.h"
#include "db/field.h"
#include "rtl/code_page.h"
#include "rtl/datetime.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

using test::EngineText;

// --- The parameter scan --------------------------------------------------------------------------

struct TScanCase {
    const char* Label;
    const char* Sql;
    std::vector<std::string> Names;
};

void PrintTo(const TScanCase& scanCase, std::ostream* out) {
    *out << scanCase.Label;
}

class ParameterScan : public ::testing::TestWithParam<TScanCase> {};

TEST_P(ParameterScan, FindsTheMarkersInOrder) {
    db::TParams params;
    ParseSqlParameters(GetParam().Sql, params);
    std::vector<std::string> names;
    for (int i = 0; i < params.Count(); ++i) {
        names.push_back(params[i].Name());
        EXPECT_EQ(params[i].DataType(), db::ftUnknown);
        EXPECT_TRUE(params[i].IsNull());
    }
    EXPECT_EQ(names, GetParam().Names) << GetParam().Sql;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParameterScan,
    ::testing::Values(TScanCase{"code lookup",
                                "SELECT *\r\nFROM CadProdutos\r\nWHERE\r\n(CodBarras) = :Par0\r\n",
                                {"Par0"}},
                      TScanCase{"semicolon ends", "a = :x;b", {"x"}},
                      TScanCase{"equals sign taken in", "a = :x=1 and b", {"x=1"}},
                      TScanCase{"single-quoted literal", "a = ':x' and b = :y", {"y"}},
                      TScanCase{"double-quoted literal", "a = \":x\"", {}},
                      TScanCase{"double colon", "a::int = :b", {"b"}},
                      TScanCase{"name used twice", "a = :p or b = :p", {"p", "p"}},
                      TScanCase{"comma and parenthesis end", "f(:a,:b)", {"a", "b"}},
                      TScanCase{"quoted name", "a = :\"my-name\" x", {"my-name"}},
                      TScanCase{"blank ends a quoted name", "a = :\"my name\"", {"my"}},
                      TScanCase{"empty name", "a = : b", {""}},
                      TScanCase{"unclosed literal", "a = 'open :x", {}},
                      TScanCase{"tab is no delimiter", "a = :x\tand", {"x\tand"}}),
    ReadableCaseName());

// --- SQL lines and parameters --------------------------------------------------------------------

class QueryTest : public test::TStoreFixture {
  protected:
    std::unique_ptr<TAdsQuery> Query(const std::string& name = "Query1") {
        auto query = std::make_unique<TAdsQuery>();
        query->SetName(name);
        query->SetDatabaseName("BALDERIM");
        return query;
    }

    static void SetLines(TAdsQuery& query, const std::vector<std::string>& lines) {
        query.Close();
        query.SQL().Clear();
        for (const std::string& line : lines) {
            query.SQL().Add(line);
        }
    }

    // The values of one column, walking the result from its first row; the cursor ends on
    // the first row again.
    static std::vector<std::string> Column(TAdsQuery& query, const std::string& field) {
        std::vector<std::string> values;
        for (query.First(); !query.Eof(); query.Next()) {
            values.push_back(query.FieldByName(field).AsString());
        }
        query.First();
        return values;
    }

    // Gives the product table the index tags of the demo store: unique CodProduto, CodBarras.
    void IndexProductTable() {
        ADSHANDLE table = 0;
        ASSERT_EQ(ace::AdsOpenTable90(Connection(), EngineText("CadProdutos.adt"), nullptr,
                                      VE_TABLE_TYPE_ADT, VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY,
                                      VE_RIGHTS_CHECK, 0, nullptr, &table),
                  0u);
        ADSHANDLE index = 0;
        EXPECT_EQ(ace::AdsCreateIndex90(table, nullptr, EngineText("CODPRODUTO"),
                                        EngineText("CodProduto"), nullptr, nullptr, VE_INDEX_UNIQUE,
                                        0, nullptr, &index),
                  0u);
        EXPECT_EQ(
            ace::AdsCreateIndex90(table, nullptr, EngineText("CODBARRAS"), EngineText("CodBarras"),
                                  nullptr, nullptr, 0, 0, nullptr, &index),
            0u);
        ace::AdsCloseTable(table);
    }

    // Whether the engine answers the index questions on a result cursor of an indexed table.
    // It has answered them with 6001 ("The handle is not valid: handle 0"), which makes every
    // open of a query on such a table fail; the tests of indexed stores wait for the fix.
    bool EngineIndexesResultCursors() {
        ADSHANDLE statement = 0;
        ADSHANDLE cursor = 0;
        UNSIGNED16 count = 0;
        EXPECT_EQ(ace::AdsCreateSQLStatement(Connection(), &statement), 0u);
        EXPECT_EQ(
            ace::AdsExecuteSQLDirect(statement, EngineText("SELECT * FROM CadProdutos"), &cursor),
            0u);
        const UNSIGNED32 result = ace::AdsGetNumIndexes(cursor, &count);
        ace::AdsCloseTable(cursor);
        ace::AdsCloseSQLStatement(statement);
        return result != VE_INVALID_HANDLE;
    }

    // Products of (code, barcode, group, quantity); one code is another product's barcode.
    const std::vector<std::vector<const char*>> kProducts = {{"B2", "789002", "G1", "3.5"},
                                                             {"A1", "789001", "G1", "2"},
                                                             {"C3", "789003", "G2", "0"},
                                                             {"789001", "555", "G2", "1"}};
    const std::vector<std::string> kBarcodeLookup = {"SELECT *", "FROM CadProdutos", "WHERE",
                                                     "(CodBarras) = :Par0"};
    const std::vector<std::string> kCodeLookup = {"SELECT *", "FROM CadProdutos", "WHERE",
                                                  "(CodProduto) = :Par0"};
    const std::vector<std::string> kProductList = {"SELECT *", "FROM CadProdutos",
                                                   "order by codproduto"};
};

TEST_F(QueryTest, NewQueryDefaults) {
    TAdsQuery query;
    EXPECT_TRUE(query.ParamCheck());
    EXPECT_FALSE(query.RequestLive());
    EXPECT_FALSE(query.Prepared());
    EXPECT_EQ(query.StmtHandle(), kNoAdsHandle);
    EXPECT_EQ(query.RowsAffected(), 0);
    EXPECT_EQ(query.SourceTableType(), ttAdsADT);
    EXPECT_EQ(query.WaitCursor(), 0);
    EXPECT_FALSE(query.Local());
    EXPECT_EQ(query.UpdateMode(), upWhereAll);
}

TEST_F(QueryTest, LinesAddedOneByOneGiveTheCodeLookupParameter) {
    auto query = Query();
    SetLines(*query, kBarcodeLookup);
    ASSERT_EQ(query->ParamCount(), 1);
    EXPECT_EQ(query->Params()[0].Name(), "Par0");
    EXPECT_EQ(query->Params()[0].DataType(), db::ftUnknown);
    EXPECT_TRUE(query->Params()[0].IsNull());
    EXPECT_EQ(query->Text(), "SELECT *\r\nFROM CadProdutos\r\nWHERE\r\n(CodBarras) = :Par0\r\n");
}

TEST_F(QueryTest, AParameterKeepsItsValueWhileItsNameStays) {
    auto query = Query();
    SetLines(*query, {"SELECT * FROM t WHERE a = :A"});
    query->ParamByName("A").SetAsString("kept");
    query->SQL().Add("AND b = :B");
    ASSERT_EQ(query->ParamCount(), 2);
    EXPECT_EQ(query->Params()[0].AsString(), "kept");
    EXPECT_TRUE(query->Params()[1].IsNull());

    // The same text again changes nothing.
    rtl::TStringList same;
    same.SetText(query->Text());
    query->Params()[1].SetAsInteger(7);
    query->SetSQL(same);
    EXPECT_EQ(query->Params()[1].AsInteger(), 7);

    query->SetParamCheck(false);
    query->SQL().Add("AND c = :C");
    EXPECT_EQ(query->ParamCount(), 2) << "without ParamCheck the collection stays";
}

TEST_F(QueryTest, PrepareAndUnprepareFlags) {
    auto query = Query();
    query->Prepare();
    EXPECT_TRUE(query->Prepared());
    EXPECT_EQ(query->RowsAffected(), -1);
    query->SQL().Add("SELECT 1");
    EXPECT_FALSE(query->Prepared()) << "an SQL change unprepares";
    query->SetPrepared(true);
    query->UnPrepare();
    EXPECT_FALSE(query->Prepared());
}

TEST_F(QueryTest, RefusalsBeforeTheEngineIsAsked) {
    TAdsQuery noDatabase;
    noDatabase.SQL().Add("SELECT * FROM CadProdutos");
    EXPECT_EQ(Message([&] { noDatabase.Open(); }),
              "The DatabaseName property has not been assigned a value.");
    EXPECT_EQ(Message([&] { noDatabase.SetSourceTableType(ttAdsNTX); }),
              "The TAdsQuery component does not support the NTX table type");
    EXPECT_EQ(noDatabase.SourceTableType(), ttAdsADT);
    EXPECT_EQ(Message([&] { noDatabase.Constraints(); }),
              "The property \"Constraints\" is not supported.");
    EXPECT_EQ(Message([&] { noDatabase.UpdateObject(); }),
              "The property \"UpdateObject\" is not supported.");

    db::TDataSource own;
    own.SetDataSet(&noDatabase);
    EXPECT_EQ(Message([&] { noDatabase.SetDataSource(&own); }), "Circular Data Link");
    EXPECT_EQ(noDatabase.DataSource(), nullptr);
}

TEST_F(QueryTest, AnNtxAliasMakesEveryOpenRaiseTheNtxMessage) {
    auto query = Query();
    query->SQL().Add("SELECT * FROM CadProdutos");
    // The alias's type letter reaches the query when the name is resolved.
    EXPECT_EQ(Message([&] {
                  query->SetDatabaseName("NTXSTORE");
                  query->Open();
              }),
              "Query1: The TAdsQuery component does not support the NTX table type");
    EXPECT_FALSE(query->Active());
}

TEST_F(QueryTest, AFailedScriptRestoresTheLines) {
    auto query = Query();
    SetLines(*query, {"  # a comment", "[section]", "SELECT * FROM Nowhere  "});
    const std::string before = query->Text();
    const std::string message = Message([&] { query->ExecSQLScript(); });
    EXPECT_EQ(message.rfind("ERROR IN SCRIPT: ", 0), 0u) << message;
    EXPECT_EQ(query->Text(), before);
}

// --- The program's statements --------------------------------------------------------------------

TEST_F(QueryTest, ProductListOpensOrderedAndCounts) {
    CreateProductTable(kProducts);
    auto query = Query("QyCadProdutos");
    SetLines(*query, kProductList);
    EXPECT_EQ(query->ParamCount(), 0);
    query->Open();
    EXPECT_EQ(query->RecordCount(), 4);
    EXPECT_EQ(query->FieldByName("CodProduto").AsString(), "789001");
    EXPECT_EQ(Column(*query, "CodProduto"), (std::vector<std::string>{"789001", "A1", "B2", "C3"}));
    EXPECT_EQ(Column(*query, "QtdeAtual"), (std::vector<std::string>{"1", "2", "3.5", "0"}));
    EXPECT_EQ(Column(*query, "CodGrupo"), (std::vector<std::string>{"G2", "G1", "G1", "G2"}));
    EXPECT_FALSE(query->CanModify()) << "not live: a read-only result";
    EXPECT_EQ(query->RowsAffected(), -1) << "a SELECT changes no rows";
}

TEST_F(QueryTest, ProductListAndLookupsOnTheDemoStoresIndexes) {
    CreateProductTable(kProducts);
    IndexProductTable();
    if (!EngineIndexesResultCursors()) {
        GTEST_SKIP() << "engine fault: index calls on a result cursor of an indexed table answer "
                        "6001 (handle 0)";
    }
    auto list = Query("QyCadProdutos");
    SetLines(*list, kProductList);
    list->Open();
    EXPECT_EQ(Column(*list, "CodProduto"), (std::vector<std::string>{"789001", "A1", "B2", "C3"}));

    auto lookup = Query();
    SetLines(*lookup, kBarcodeLookup);
    lookup->Params()[0].SetAsString("789001");
    lookup->Open();
    ASSERT_EQ(lookup->RecordCount(), 1);
    EXPECT_EQ(lookup->FieldByName("CodProduto").AsString(), "A1");
    SetLines(*lookup, kCodeLookup);
    lookup->Params()[0].SetAsString("C3");
    lookup->Open();
    ASSERT_EQ(lookup->RecordCount(), 1);
    EXPECT_EQ(lookup->FieldByName("CodBarras").AsString(), "789003");
}

TEST_F(QueryTest, AnEmptyProductTableGivesAnEmptyList) {
    CreateProductTable({});
    auto query = Query("QyCadProdutos");
    SetLines(*query, kProductList);
    query->Open();
    EXPECT_TRUE(query->Active());
    EXPECT_TRUE(query->IsEmpty());
    EXPECT_TRUE(query->Eof());
    EXPECT_EQ(query->RecordCount(), 0);
}

TEST_F(QueryTest, CodeLookupBindsTheTextAsParameterOne) {
    const std::string accented = rtl::Utf8ToAnsi("AÇÃO-1");
    std::vector<std::vector<const char*>> products = kProducts;
    products.push_back({accented.c_str(), "790", "G3", "4"});
    CreateProductTable(products);
    auto query = Query();
    // The program's road: the barcode first; the product code when no row comes back.
    auto lookup = [&](const std::string& code) -> std::string {
        SetLines(*query, kBarcodeLookup);
        query->Params()[0].SetAsString(code);
        query->Open();
        if (query->RecordCount() == 0) {
            SetLines(*query, kCodeLookup);
            query->Params()[0].SetAsString(code);
            query->Open();
        }
        return query->IsEmpty() ? "(none)" : query->FieldByName("CodProduto").AsString();
    };

    EXPECT_EQ(lookup("789001"), "A1") << "the barcode wins over the product code";
    EXPECT_EQ(query->Params()[0].DataType(), db::ftWideString);
    const ADSHANDLE statement = query->StmtHandle();
    EXPECT_EQ(lookup("A1"), "A1") << "no barcode A1: found by its code";
    EXPECT_EQ(lookup("555"), "789001");
    EXPECT_EQ(lookup("AÇÃO-1"), "AÇÃO-1") << "the text reaches the engine as UTF-16";
    EXPECT_EQ(lookup("a1"), "(none)") << "a character column compares with case";
    EXPECT_EQ(lookup("ZZ"), "(none)");
    EXPECT_EQ(query->StmtHandle(), statement) << "one statement serves every run";
    // The engine compares character columns without their trailing blanks, so a code typed
    // with blanks still finds its product (the count then sees that the texts differ).
    EXPECT_EQ(lookup("A1  "), "A1");
    EXPECT_EQ(query->Params()[0].AsString(), "A1  ");
}

// What the engine receives is the text as typed: length and characters.
TEST_F(QueryTest, TheTypedTextReachesTheEngineWhole) {
    CreateProductTable({{"A1", "789001", "G1", "2"}});
    auto query = Query();
    SetLines(*query, {"SELECT LENGTH(:Par0) AS Size, :Par1 AS Typed FROM CadProdutos"});
    for (const std::string text : {"A1  ", "  A1", "AÇÃO", "O'Neil", "x = :y"}) {
        query->Close();
        query->Params()[0].SetAsString(text);
        query->Params()[1].SetAsString(text);
        query->Open();
        EXPECT_EQ(query->FieldByName("Size").AsInteger(),
                  static_cast<int>(rtl::Utf8ToUtf16(text).size()))
            << text;
        EXPECT_EQ(query->FieldByName("Typed").AsString(), rtl::TrimRight(text)) << text;
    }
}

// --- Parameter binding ---------------------------------------------------------------------------

struct TBindCase {
    const char* Label;
    std::function<void(db::TParam&)> Give;
    // True of the one product exactly when the engine received the parameter as meant.
    const char* Condition;
};

void PrintTo(const TBindCase& bindCase, std::ostream* out) {
    *out << bindCase.Label;
}

class ParameterBinding : public test::TStoreFixture,
                         public ::testing::WithParamInterface<TBindCase> {};

TEST_P(ParameterBinding, TheEngineReceivesTheValueAsItsTypeSays) {
    CreateProductTable({{"A1", "789001", "G1", "2"}});
    TAdsQuery query;
    query.SetName("Query1");
    query.SetDatabaseName("BALDERIM");
    query.SQL().Add(std::string("SELECT * FROM CadProdutos WHERE ") + GetParam().Condition);
    ASSERT_EQ(query.ParamCount(), 1);
    GetParam().Give(query.Params()[0]);
    query.Open();
    EXPECT_EQ(query.RecordCount(), 1) << GetParam().Condition;
}

void Typed(db::TParam& param, db::TFieldType type, const rtl::Variant& value) {
    param.SetValue(value);
    param.SetDataType(type);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ParameterBinding,
    ::testing::Values(
        TBindCase{"null of unknown type", [](db::TParam&) {}, ":p IS NULL"},
        TBindCase{"null of a text type", [](db::TParam& p) { p.SetDataType(db::ftWideString); },
                  ":p IS NULL"},
        TBindCase{"wide string", [](db::TParam& p) { p.SetAsString("Ação"); }, ":p = 'Ação'"},
        TBindCase{"8-bit string", [](db::TParam& p) { Typed(p, db::ftString, "Ação"); },
                  ":p = 'Ação'"},
        TBindCase{"empty text is a value", [](db::TParam& p) { p.SetAsString(""); },
                  ":p IS NOT NULL"},
        TBindCase{"integer as text", [](db::TParam& p) { p.SetAsInteger(7); }, ":p = '7'"},
        TBindCase{"smallint as text", [](db::TParam& p) { Typed(p, db::ftSmallint, -3); },
                  ":p = '-3'"},
        TBindCase{"autoinc as text", [](db::TParam& p) { Typed(p, db::ftAutoInc, 12); },
                  ":p = '12'"},
        TBindCase{"memo as text", [](db::TParam& p) { Typed(p, db::ftMemo, "long text"); },
                  ":p = 'long text'"},
        TBindCase{"wide memo", [](db::TParam& p) { Typed(p, db::ftWideMemo, "Ação"); },
                  ":p = 'Ação'"},
        TBindCase{"boolean", [](db::TParam& p) { p.SetAsBoolean(true); }, ":p = 1"},
        TBindCase{"false", [](db::TParam& p) { p.SetAsBoolean(false); }, ":p = 0"},
        TBindCase{"float", [](db::TParam& p) { p.SetAsFloat(1.5); }, ":p = 1.5"},
        TBindCase{"currency as double", [](db::TParam& p) { Typed(p, db::ftCurrency, 2.25); },
                  ":p = 2.25"},
        TBindCase{"date as Julian day 2451545",
                  [](db::TParam& p) { p.SetAsDate(rtl::EncodeDate(2000, 1, 1)); },
                  ":p = '2000-01-01'"},
        TBindCase{"date before 1899-12-30",
                  [](db::TParam& p) { p.SetAsDate(rtl::EncodeDate(1800, 3, 1)); },
                  ":p = '1800-03-01'"},
        TBindCase{"time as 43200000 ms",
                  [](db::TParam& p) {
                      Typed(p, db::ftTime,
                            rtl::Variant::FromDateTime(rtl::EncodeTime(12, 0, 0, 0)));
                  },
                  ":p = '12:00:00'"},
        TBindCase{"date-time",
                  [](db::TParam& p) {
                      p.SetAsDateTime(rtl::EncodeDate(2000, 1, 1) + rtl::EncodeTime(12, 0, 0, 250));
                  },
                  ":p = '2000-01-01 12:00:00.250'"},
        TBindCase{"date-time before 1899-12-30 keeps its time of day",
                  [](db::TParam& p) {
                      p.SetAsDateTime(rtl::EncodeDate(1899, 12, 29) - rtl::EncodeTime(6, 0, 0, 0));
                  },
                  ":p = '1899-12-29 06:00:00'"},
        TBindCase{
            "a time that rounds to 24:00 is the next midnight",
            [](db::TParam& p) { p.SetAsDateTime(rtl::EncodeDate(2000, 1, 1) + 0.9999999999); },
            ":p = '2000-01-02 00:00:00'"},
        TBindCase{"blob",
                  [](db::TParam& p) {
                      Typed(p, db::ftBlob, rtl::TBytes{1, 2, 0});
                  },
                  ":p = X'010200'"},
        TBindCase{"bytes", [](db::TParam& p) { Typed(p, db::ftBytes, rtl::TBytes{0xFF}); },
                  ":p = X'FF'"},
        TBindCase{"var bytes", [](db::TParam& p) { Typed(p, db::ftVarBytes, rtl::TBytes{7}); },
                  ":p = X'07'"},
        TBindCase{"FMTBcd is not bound", [](db::TParam& p) { Typed(p, db::ftFMTBcd, "1.5"); },
                  ":p IS NULL"}),
    ReadableCaseName());

TEST_F(QueryTest, ANameUsedTwiceIsBoundAsTwoNumbers) {
    CreateProductTable(kProducts);
    auto query = Query();
    SetLines(*query, {"SELECT * FROM CadProdutos WHERE CodProduto = :c OR CodBarras = :c",
                      "order by CodProduto"});
    ASSERT_EQ(query->ParamCount(), 2);
    query->Params()[0].SetAsString("C3");
    query->Params()[1].SetAsString("555");
    query->Open();
    EXPECT_EQ(Column(*query, "CodProduto"), (std::vector<std::string>{"789001", "C3"}));
}

TEST_F(QueryTest, ParametersThatCannotBeBoundStopTheRun) {
    CreateProductTable({{"A1", "789001", "G1", "2"}});
    auto query = Query();
    SetLines(*query, {"UPDATE CadProdutos SET CodGrupo = 'G9' WHERE :u IS NULL"});
    query->Params()[0].SetValue("x");
    query->Params()[0].SetDataType(db::ftUnknown);
    EXPECT_EQ(Message([&] { query->ExecSQL(); }),
              "Query1: The field named: 'u' has the DataType of ftUnknown, which is invalid.");
    query->Params()[0].SetAsDate(1e12);
    EXPECT_EQ(Message([&] { query->ExecSQL(); }), "Range check error");

    SetLines(*query, {"SELECT CodGrupo FROM CadProdutos"});
    query->Open();
    EXPECT_EQ(query->FieldByName("CodGrupo").AsString(), "G1") << "the update never ran";
}

// --- Statements, cursors and counts --------------------------------------------------------------

TEST_F(QueryTest, AStatementWithoutCursorRunsButCannotBeOpened) {
    CreateProductTable(kProducts);
    auto query = Query();
    SetLines(*query, {"UPDATE CadProdutos SET CodGrupo = 'G9' WHERE CodGrupo = 'G1'"});
    EXPECT_EQ(Message([&] { query->Open(); }),
              "Query1: The SQL statement did not generate a cursor handle.  Use TAdsQuery.ExecSQL "
              "to execute SQL statements that are not SELECT statements");
    EXPECT_FALSE(query->Active());
    EXPECT_EQ(query->Handle(), kNoAdsHandle);
    EXPECT_EQ(query->RowsAffected(), 2) << "the statement had run";

    SetLines(*query, {"SELECT CodGrupo FROM CadProdutos WHERE CodProduto = 'A1'"});
    query->Open();
    EXPECT_EQ(query->FieldByName("CodGrupo").AsString(), "G9");
}

struct TCountCase {
    const char* Label;
    const char* Sql;
    std::int32_t RowsAffected;
};

void PrintTo(const TCountCase& countCase, std::ostream* out) {
    *out << countCase.Label;
}

class RowsAffected : public test::TStoreFixture,
                     public ::testing::WithParamInterface<TCountCase> {};

TEST_P(RowsAffected, IsTheEnginesCountForTheStatement) {
    CreateProductTable(
        {{"A1", "789001", "G1", "2"}, {"B2", "789002", "G1", "3"}, {"C3", "789003", "G2", "0"}});
    TAdsQuery query;
    query.SetDatabaseName("BALDERIM");
    query.SQL().Add(GetParam().Sql);
    query.ExecSQL();
    EXPECT_EQ(query.RowsAffected(), GetParam().RowsAffected);
    EXPECT_FALSE(query.Active()) << "ExecSQL closes any cursor at once";
}

INSTANTIATE_TEST_SUITE_P(
    Statements, RowsAffected,
    ::testing::Values(
        TCountCase{"update of two", "UPDATE CadProdutos SET CodGrupo = 'G9' WHERE CodGrupo = 'G1'",
                   2},
        TCountCase{"update of none", "UPDATE CadProdutos SET QtdeAtual = 1 WHERE CodProduto = 'X'",
                   0},
        TCountCase{"delete", "DELETE FROM CadProdutos WHERE CodProduto = 'C3'", 1},
        TCountCase{"insert", "INSERT INTO CadProdutos (CodProduto, QtdeAtual) VALUES ('D4', 1)", 1},
        TCountCase{"select has no count", "SELECT * FROM CadProdutos", -1}),
    ReadableCaseName());

TEST_F(QueryTest, AnUpdateRunByExecSqlIsSeenByAnOpenTable) {
    CreateProductTable({{"A1", "789001", "G1", "2"}, {"B2", "789002", "G1", "3"}});
    TAdsTable table;
    table.SetName("TbCadProdutos");
    table.SetDatabaseName("BALDERIM");
    table.SetTableName("CadProdutos.adt");
    table.Open();
    ASSERT_EQ(table.FieldByName("CodProduto").AsString(), "A1");
    EXPECT_EQ(table.FieldByName("QtdeAtual").AsFloat(), 2.0);

    auto query = Query();
    SetLines(*query, {"UPDATE CadProdutos SET QtdeAtual = QtdeAtual + 10, CodGrupo = 'G5'",
                      "WHERE CodProduto = 'A1'"});
    query->ExecSQL();
    EXPECT_EQ(query->RowsAffected(), 1);

    table.Refresh();
    EXPECT_EQ(table.FieldByName("QtdeAtual").AsFloat(), 12.0);
    EXPECT_EQ(table.FieldByName("CodGrupo").AsString(), "G5");
    table.Next();
    EXPECT_EQ(table.FieldByName("QtdeAtual").AsFloat(), 3.0) << "the other row is untouched";
}

struct TLiveCase {
    const char* Label;
    const char* Sql;
    bool RequestLive;
    bool CanModify;
};

void PrintTo(const TLiveCase& liveCase, std::ostream* out) {
    *out << liveCase.Label;
}

class LiveCursor : public test::TStoreFixture, public ::testing::WithParamInterface<TLiveCase> {};

TEST_P(LiveCursor, TheEngineSaysWhetherTheCursorCanBeModified) {
    CreateProductTable({{"A1", "789001", "G1", "2"}});
    TAdsQuery query;
    query.SetDatabaseName("BALDERIM");
    query.SetRequestLive(GetParam().RequestLive);
    query.SQL().Add(GetParam().Sql);
    query.Open();
    EXPECT_EQ(query.CanModify(), GetParam().CanModify);
    EXPECT_EQ(query.FieldByName("CodProduto").AsString(), "A1");
}

INSTANTIATE_TEST_SUITE_P(
    Requests, LiveCursor,
    ::testing::Values(TLiveCase{"read-only asked", "SELECT * FROM CadProdutos", false, false},
                      TLiveCase{"live asked", "SELECT * FROM CadProdutos", true, true},
                      TLiveCase{"live asked of a static result",
                                "SELECT CodProduto, QtdeAtual * 2 AS Twice FROM CadProdutos", true,
                                false}),
    ReadableCaseName());

TEST_F(QueryTest, TheStatementIsMadeOnceAndOutlivesCloses) {
    CreateProductTable(kProducts);
    auto query = Query();
    SetLines(*query, kProductList);
    query->Open();
    const ADSHANDLE statement = query->StmtHandle();
    UNSIGNED16 type = 0;
    ASSERT_EQ(ace::AdsGetHandleType(statement, &type), 0u);
    EXPECT_EQ(type, VE_HANDLE_STATEMENT);
    query->Close();
    EXPECT_FALSE(query->Prepared());
    EXPECT_EQ(query->StmtHandle(), statement) << "the statement outlives the close";
    query->Open();
    EXPECT_EQ(query->StmtHandle(), statement);
    EXPECT_TRUE(query->Prepared());

    // While the cursor is open the statement is not to be touched.
    const std::string open = "Query1: Cannot perform this operation on an open dataset";
    EXPECT_EQ(Message([&] { query->AdsCloseSQLStatement(); }), open);
    EXPECT_EQ(Message([&] { query->Prepare(); }), open);
    EXPECT_EQ(Message([&] { query->UnPrepare(); }), open);
    EXPECT_EQ(Message([&] { query->ExecSQL(); }), open);
    EXPECT_TRUE(query->Active());

    query->Close();
    query->AdsCloseSQLStatement();
    EXPECT_EQ(query->StmtHandle(), kNoAdsHandle);
    EXPECT_NE(ace::AdsGetHandleType(statement, &type), 0u) << "the engine's statement is gone";
    query->Open();
    EXPECT_NE(query->StmtHandle(), kNoAdsHandle) << "the next open makes a new one";
    EXPECT_EQ(query->RecordCount(), 4);
}

TEST_F(QueryTest, AStatementLostBehindTheQuerysBackIsAnInvalidConnection) {
    CreateProductTable(kProducts);
    auto query = Query();
    SetLines(*query, kProductList);
    query->Open();
    query->Close();
    ASSERT_EQ(ace::AdsCloseSQLStatement(query->StmtHandle()), 0u);
    EXPECT_EQ(Message([&] { query->Open(); }),
              "Query1: Internal Error: invalid connection handle.");
    EXPECT_FALSE(query->Active());
    // Forgetting the statement and its connection lets the query start afresh.
    query->AdsCloseSQLStatement();
    query->Open();
    EXPECT_EQ(query->RecordCount(), 4);
}

// --- Scripts and verification --------------------------------------------------------------------

TEST_F(QueryTest, AScriptRunsItsStatementsAndKeepsItsLines) {
    CreateProductTable(kProducts);
    auto query = Query();
    SetLines(*query, {"# every group becomes G7", "  UPDATE CadProdutos SET CodGrupo = 'G7';  ",
                      "[then]", "DELETE FROM CadProdutos WHERE CodProduto = 'C3'"});
    const std::string before = query->Text();
    query->ExecSQLScript();
    EXPECT_EQ(query->Text(), before);

    SetLines(*query, kProductList);
    query->Open();
    EXPECT_EQ(Column(*query, "CodGrupo"), (std::vector<std::string>{"G7", "G7", "G7"}));
}

TEST_F(QueryTest, VerifySqlChecksTheTextWithoutRunningIt) {
    CreateProductTable(kProducts);
    auto query = Query();
    SetLines(*query, {"UPDATE CadProdutos SET CodGrupo = 'G7'"});
    query->VerifySQL();

    SetLines(*query, {"SELECT Nothing FROM CadProdutos"});
    const std::string before = query->Text();
    const std::string message = Message([&] { query->VerifySQL(); });
    EXPECT_EQ(message.rfind("ERROR IN SCRIPT: ", 0), 0u) << message;
    EXPECT_NE(message.find("7200"), std::string::npos) << message;
    EXPECT_EQ(query->Text(), before);

    SetLines(*query, kProductList);
    query->Open();
    EXPECT_EQ(Column(*query, "CodGrupo"), (std::vector<std::string>{"G2", "G1", "G1", "G2"}))
        << "verifying ran nothing";
}

// --- A master data source ------------------------------------------------------------------------

TEST_F(QueryTest, AMasterGivesTheParametersAndReopensTheQueryOnEachRow) {
    CreateProductTable(kProducts);
    const ADSHANDLE groups = CreateTable("Grupos.adt", "CodGrupo,Char,16;Nome,Char,20");
    AppendRow(groups, {{"CodGrupo", "G1"}, {"Nome", "Um"}});
    AppendRow(groups, {{"CodGrupo", "G2"}, {"Nome", "Dois"}});
    ace::AdsCloseTable(groups);

    TAdsTable master;
    master.SetName("TbGrupos");
    master.SetDatabaseName("BALDERIM");
    master.SetTableName("Grupos.adt");
    master.Open();
    db::TDataSource source;
    source.SetDataSet(&master);

    auto query = Query();
    SetLines(*query,
             {"SELECT * FROM CadProdutos WHERE CodGrupo = :CodGrupo", "order by CodProduto"});
    query->SetDataSource(&source);
    query->Open();
    EXPECT_EQ(Column(*query, "CodProduto"), (std::vector<std::string>{"A1", "B2"}));

    master.Next();
    EXPECT_TRUE(query->Active());
    EXPECT_EQ(Column(*query, "CodProduto"), (std::vector<std::string>{"789001", "C3"}));

    std::vector<db::TField*> masterFields;
    std::vector<db::TField*> detailFields;
    query->GetDetailLinkFields(masterFields, detailFields);
    ASSERT_EQ(masterFields.size(), 1u);
    EXPECT_EQ(masterFields[0], &master.FieldByName("CodGrupo"));
    ASSERT_EQ(detailFields.size(), 1u);
    EXPECT_EQ(detailFields[0], &query->FieldByName("CodGrupo"));
}

}  // namespace
}  // namespace varelum::ads
