// TAdsQuery against the real engine: the parameter scan, the SQL lines and their change rules,
// the statement's life, the refusals, scripts, and the program's two queries (product list and
// code lookup) on a store that ads.ini knows as "BALDERIM". Tests that need the engine's SQL
// skip while the engine answers its statement calls with "not implemented".
#include <gtest/gtest.h>

#include <memory>

#include "ads/adsdata_engine_pending.h"
#include "ads/adstable_query.h"
#include "component_test_support.h"
#include "db/data_source.h"
#include "db/field.h"
#include "rtl/datetime.h"

namespace varelum::ads {
namespace {

using test::EngineText;

// --- The parameter scan --------------------------------------------------------------------------

struct TScanCase {
    const char* Sql;
    std::vector<std::string> Names;
};

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
    ::testing::Values(TScanCase{"SELECT *\r\nFROM CadProdutos\r\nWHERE\r\n(CodBarras) = :Par0\r\n",
                                {"Par0"}},
                      TScanCase{"a = :x;b", {"x"}}, TScanCase{"a = :x=1 and b", {"x=1"}},
                      TScanCase{"a = ':x' and b = :y", {"y"}}, TScanCase{"a = \":x\"", {}},
                      TScanCase{"a::int = :b", {"b"}}, TScanCase{"a = :p or b = :p", {"p", "p"}},
                      TScanCase{"f(:a,:b)", {"a", "b"}},
                      TScanCase{"a = :\"my-name\" x", {"my-name"}},
                      TScanCase{"a = :\"my name\"", {"my"}}, TScanCase{"a = : b", {""}},
                      TScanCase{"a = 'open :x", {}}, TScanCase{"a = :x\tand", {"x\tand"}}));

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

    // Whether the engine runs SQL statements yet.
    bool EngineHasSql() {
        ADSHANDLE statement = 0;
        const UNSIGNED32 result = ace_pending::AdsCreateSQLStatement(Connection(), &statement);
        if (result == VE_SUCCESS) {
            ace_pending::AdsCloseSQLStatement(statement);
        }
        return result != VE_NOT_IMPLEMENTED;
    }

    static std::string Message(const std::function<void()>& action) {
        try {
            action();
        } catch (const std::exception& error) {
            return error.what();
        }
        return "(no error)";
    }

    const std::vector<std::string> kBarcodeLookup = {"SELECT *", "FROM CadProdutos", "WHERE",
                                                     "(CodBarras) = :Par0"};
    const std::vector<std::string> kCodeLookup = {"SELECT *", "FROM CadProdutos", "WHERE",
                                                  "(CodProduto) = :Par0"};
    const std::vector<std::string> kProductList = {"SELECT *", "FROM CadProdutos",
                                                   "order by codproduto"};
};

#define SKIP_WITHOUT_ENGINE_SQL()                                         \
    do {                                                                  \
        if (!EngineHasSql()) {                                            \
            GTEST_SKIP() << "the engine does not run SQL statements yet"; \
        }                                                                 \
    } while (false)

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

// --- Statements the engine runs ------------------------------------------------------------------

TEST_F(QueryTest, ProductListOpensOrderedAndCounts) {
    SKIP_WITHOUT_ENGINE_SQL();
    CreateProductTable({{"B2", "789002", "G1", "3"}, {"A1", "789001", "G1", "2"}});
    auto query = Query("QyCadProdutos");
    SetLines(*query, kProductList);
    query->Open();
    EXPECT_EQ(query->RecordCount(), 2);
    EXPECT_EQ(query->FieldByName("CodProduto").AsString(), "A1");
    EXPECT_EQ(query->FieldByName("QtdeAtual").AsString(), "2");
    query->Next();
    EXPECT_EQ(query->FieldByName("CodProduto").AsString(), "B2");
    EXPECT_FALSE(query->CanModify()) << "not live: a read-only result";
}

TEST_F(QueryTest, CodeLookupBindsTheTextAsParameterOne) {
    SKIP_WITHOUT_ENGINE_SQL();
    CreateProductTable({{"A1", "789001", "G1", "2"}, {"789001", "555", "G2", "1"}});
    auto query = Query();
    SetLines(*query, kBarcodeLookup);
    query->Params()[0].SetDataType(db::ftWideString);
    query->Params()[0].SetAsString("789001");
    query->Open();
    ASSERT_EQ(query->RecordCount(), 1);
    EXPECT_EQ(query->FieldByName("CodProduto").AsString(), "A1")
        << "the barcode wins over the product code";
    const ADSHANDLE statement = query->StmtHandle();

    SetLines(*query, kCodeLookup);
    query->Params()[0].SetAsString("789001 ");
    query->Open();
    EXPECT_EQ(query->StmtHandle(), statement) << "the statement is kept between runs";
    EXPECT_EQ(query->RecordCount(), 0) << "the typed text is not trimmed";
}

TEST_F(QueryTest, AStatementWithoutCursorRunsButCannotBeOpened) {
    SKIP_WITHOUT_ENGINE_SQL();
    CreateProductTable({{"A1", "789001", "G1", "2"}});
    auto query = Query();
    SetLines(*query, {"UPDATE CadProdutos SET CodGrupo = 'G9'"});
    EXPECT_EQ(Message([&] { query->Open(); }),
              "Query1: The SQL statement did not generate a cursor handle.  Use TAdsQuery.ExecSQL "
              "to execute SQL statements that are not SELECT statements");
    EXPECT_FALSE(query->Active());
    SetLines(*query, {"SELECT CodGrupo FROM CadProdutos"});
    query->Open();
    EXPECT_EQ(query->FieldByName("CodGrupo").AsString(), "G9") << "the update had run";
    query->Close();
    SetLines(*query, {"UPDATE CadProdutos SET CodGrupo = 'G8'"});
    query->ExecSQL();
    EXPECT_EQ(query->RowsAffected(), 1);
}

TEST_F(QueryTest, ParameterTypesBindAsTheTableSays) {
    SKIP_WITHOUT_ENGINE_SQL();
    CreateProductTable({{"A1", "789001", "G1", "2"}});
    auto query = Query();
    SetLines(*query, {"SELECT * FROM CadProdutos WHERE :u IS NULL AND :d IS NOT NULL AND "
                      ":g IS NULL"});
    query->Params()[1].SetAsDate(rtl::EncodeDate(2000, 1, 1));
    query->Params()[2].SetDataType(db::ftFMTBcd);
    query->Params()[2].SetAsString("1.5");
    query->Open();
    EXPECT_EQ(query->RecordCount(), 1) << "null binds empty, a FMTBcd parameter is not bound";
    query->Close();
    query->Params()[0].SetAsString("x");
    query->Params()[0].SetDataType(db::ftUnknown);
    EXPECT_EQ(Message([&] { query->Open(); }),
              "Query1: The field named: 'u' has the DataType of ftUnknown, which is invalid.");
}

}  // namespace
}  // namespace varelum::ads
