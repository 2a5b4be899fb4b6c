// A TAdsConnection on a data dictionary against the real engine: the log-in (properties, the
// OnLogin callback, a wrong password), the dictionary's version and the user's groups, and
// the rights the dictionary grants reaching Edit, Append and a field write as 5054.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ads/adscnnct.h"
#include "ads/adsdata_errors.h"
#include "ads/adsdata_maintenance.h"
#include "ads/adstable_query.h"
#include "ads/adstable_table.h"
#include "component_test_support.h"

namespace varelum::ads {
namespace {

using test::EngineText;

constexpr const char* kAnaPassword = "ana;pw";

class DictionaryConnectionTest : public test::TStoreFixture {
  protected:
    void SetUp() override {
        TStoreFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        FDictionary = DataPath() + "/loja.add";
        ADSHANDLE admin = 0;
        ASSERT_EQ(
            ace::AdsDDCreate(EngineText(FDictionary), EngineText("adm"), EngineText(""), &admin),
            0u);
        for (const char* name : {"Produtos", "Auditoria"}) {
            ADSHANDLE table = 0;
            ASSERT_EQ(ace::AdsCreateTable90(admin, EngineText(name), nullptr, 0, VE_CHARTYPE_ANSI,
                                            VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                            EngineText("Codigo,Char,10;Qtde,Integer;"), 0,
                                            EngineText("ANSI"), &table),
                      0u);
            AppendRow(table, {{"Codigo", "A1"}, {"Qtde", "3"}});
            ace::AdsCloseTable(table);
        }
        ASSERT_EQ(ace::AdsDDCreateUserGroup(admin, EngineText("Caixas"), nullptr), 0u);
        ASSERT_EQ(ace::AdsDDCreateUser(admin, EngineText("Caixas"), EngineText("Ana"),
                                       EngineText(kAnaPassword), nullptr),
                  0u);
        ASSERT_EQ(ace::AdsDDGrantPermission(admin, EngineText("Produtos"), nullptr,
                                            EngineText("Caixas"), VE_DD_RIGHT_READ),
                  0u);
        ASSERT_EQ(
            ace::AdsDDGrantPermission(admin, EngineText("Auditoria"), nullptr, EngineText("Caixas"),
                                      VE_DD_RIGHT_READ | VE_DD_RIGHT_INSERT),
            0u);
        ace::AdsDisconnect(admin);

        FConnection = std::make_unique<TAdsConnection>(FForm.get());
        FConnection->SetName("Loja");
        FConnection->SetConnectPath(FDictionary);
        FConnection->SetLoginPrompt(false);
        FConnection->SetUsername("Ana");
        FConnection->SetPassword(kAnaPassword);
    }

    std::unique_ptr<TAdsTable> Table(const std::string& tableName) {
        auto table = std::make_unique<TAdsTable>(FForm.get());
        table->SetName("Tb" + tableName);
        table->SetDatabaseName("Loja");
        table->SetTableName(tableName);
        return table;
    }

    // An engine connection of the dictionary's administrator (0 when the log-in fails).
    ADSHANDLE AdminConnection() const {
        ADSHANDLE admin = 0;
        EXPECT_EQ(ace::AdsConnect101(
                      EngineText("Data Source=" + FDictionary + ";User ID=Admin;Password=\"adm\";"),
                      nullptr, &admin),
                  0u);
        return admin;
    }

    // The engine code of the EADSDatabaseError that body raises (0 when none), its message
    // in *message.
    template <typename Body>
    static UNSIGNED32 Refusal(Body&& body, std::string* message = nullptr) {
        try {
            body();
        } catch (const EADSDatabaseError& error) {
            if (message != nullptr) {
                *message = error.Message();
            }
            return error.ACEErrorCode();
        }
        return 0;
    }

    std::string FDictionary;
    std::unique_ptr<rtl::TComponent> FForm = test::NamedOwner("Form1");
    std::unique_ptr<TAdsConnection> FConnection;
};

TEST_F(DictionaryConnectionTest, LogsInAndAnswersVersionAndGroups) {
    EXPECT_TRUE(FConnection->IsDictionaryConn());
    FConnection->Connect();
    EXPECT_EQ(FConnection->DDVersionMajor(), 1);
    EXPECT_EQ(FConnection->DDVersionMinor(), 0);
    ASSERT_EQ(FConnection->UserGroups().Count(), 1);
    EXPECT_EQ(FConnection->UserGroups()[0], "Caixas");
    EXPECT_EQ(FConnection->UserGroupsString(), "Caixas");
    rtl::TStringList procedures;
    FConnection->GetProcedureNames(&procedures);
    EXPECT_EQ(procedures.Count(), 0);
    FConnection->Disconnect();
    EXPECT_EQ(FConnection->DDVersionMajor(), 0);

    FConnection->SetPassword("errada");
    std::string message;
    EXPECT_EQ(Refusal([&] { FConnection->Connect(); }, &message), VE_LOGIN_FAILED);
    EXPECT_EQ(message.find("errada"), std::string::npos) << message;
    EXPECT_FALSE(FConnection->IsConnected());

    // The log-in callback gives the user and password.
    FConnection->SetLoginPrompt(true);
    FConnection->SetUsername("");
    FConnection->SetPassword("");
    FConnection->OnLogin = [](TAdsConnection&, std::string& user, std::string& password) {
        user = "Ana";
        password = kAnaPassword;
    };
    FConnection->Connect();
    EXPECT_EQ(FConnection->Username(), "Ana");
    EXPECT_EQ(FConnection->UserGroupsString(), "Caixas");
}

TEST_F(DictionaryConnectionTest, TheDictionarysRightsReachEditAppendAndPost) {
    auto products = Table("Produtos");
    products->Open();
    std::string message;
    EXPECT_EQ(Refusal([&] { products->Edit(); }, &message), 5054u);
    EXPECT_NE(message.find("Update permission not granted on this table."), std::string::npos)
        << message;
    EXPECT_EQ(Refusal([&] { products->Append(); }, &message), 5054u);
    EXPECT_NE(message.find("Insert permission not granted on this table."), std::string::npos)
        << message;

    auto audit = Table("Auditoria");
    audit->Open();
    audit->Append();
    audit->FieldByName("Codigo").SetAsString("B2");
    audit->Post();
    EXPECT_EQ(audit->RecordCount(), 2);
    EXPECT_EQ(Refusal([&] { audit->Edit(); }), 5054u);
}

TEST_F(DictionaryConnectionTest, RenameTableRenamesTheDictionarysTable) {
    FConnection->SetUsername("Admin");
    FConnection->SetPassword("adm");
    FConnection->Connect();
    auto products = Table("Produtos");
    products->RenameTable("Estoque");
    EXPECT_EQ(products->TableName(), "Estoque");
    products->Open();
    EXPECT_EQ(products->RecordCount(), 1);
    products->Close();
    // Without a dictionary connection there is nothing to rename.
    auto free = std::make_unique<TAdsTable>(FForm.get());
    free->SetDatabaseName(DataPath());
    free->SetTableName("Auditoria");
    std::string message;
    EXPECT_EQ(Refusal([&] { free->RenameTable("Outra"); }, &message), 5121u);
    EXPECT_NE(message.find("not supported on free tables"), std::string::npos) << message;
}

TEST_F(DictionaryConnectionTest, ProceduresAreListedAndRunThroughQueries) {
    const ADSHANDLE admin = AdminConnection();
    ASSERT_NE(admin, 0u);
    ASSERT_EQ(ace::AdsDDCreateProcedure(admin, EngineText("QtdeDe"), EngineText("Codigo,Char,10;"),
                                        EngineText("SELECT Qtde FROM Produtos WHERE Codigo = "
                                                   ":Codigo"),
                                        nullptr),
              0u);
    ASSERT_EQ(
        ace::AdsDDCreateProcedure(
            admin, EngineText("Registrar"), EngineText("Codigo,Char,10;Qtde,Integer;"),
            EngineText("INSERT INTO Auditoria (Codigo, Qtde) VALUES (:Codigo, :Qtde)"), nullptr),
        0u);
    ASSERT_EQ(ace::AdsDDCreateProcedure(admin, EngineText("Zerar"), EngineText(""),
                                        EngineText("UPDATE Produtos SET Qtde = 0"), nullptr),
              0u);
    ace::AdsDisconnect(admin);

    rtl::TStringList procedures;
    FConnection->GetProcedureNames(&procedures);
    ASSERT_EQ(procedures.Count(), 3);
    EXPECT_EQ(procedures[0], "QtdeDe");
    EXPECT_EQ(procedures[1], "Registrar");
    EXPECT_EQ(procedures[2], "Zerar");

    // A procedure with a result set, its argument a parameter of the query.
    TAdsQuery query(FForm.get());
    query.SetName("QyEstoque");
    query.SetDatabaseName("Loja");
    query.SQL().Add("EXECUTE PROCEDURE QtdeDe(:Codigo)");
    query.ParamByName("Codigo").SetAsString("A1");
    query.Open();
    EXPECT_EQ(query.RecordCount(), 1);
    EXPECT_EQ(query.FieldByName("Qtde").AsInteger(), 3);
    query.Close();

    // One without: the row it inserts is there, with Ana's insert right.
    TAdsQuery change(FForm.get());
    change.SetName("QyRegistro");
    change.SetDatabaseName("Loja");
    change.SQL().Add("EXECUTE PROCEDURE Registrar('B2', 7)");
    change.ExecSQL();
    auto audit = Table("Auditoria");
    audit->Open();
    EXPECT_EQ(audit->RecordCount(), 2);

    struct Case {
        const char* call;
        const char* reason;
    };
    const Case refused[] = {
        {"EXECUTE PROCEDURE Nada()", "no such procedure: Nada"},
        {"EXECUTE PROCEDURE Registrar('B3')", "Registrar takes 2 arguments, not 1"},
        // Ana may not update products, through a procedure no more than without one.
        {"EXECUTE PROCEDURE Zerar()", "Update permission not granted on this table."},
    };
    for (const Case& c : refused) {
        change.SQL().Clear();
        change.SQL().Add(c.call);
        std::string message;
        EXPECT_EQ(Refusal([&] { change.ExecSQL(); }, &message), VE_SQL_ERROR) << c.call;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    }
    query.Open();
    EXPECT_EQ(query.FieldByName("Qtde").AsInteger(), 3);
}

TEST_F(DictionaryConnectionTest, ADictionaryTableIsCreatedWithItsPrimaryKey) {
    FConnection->SetUsername("Admin");
    FConnection->SetPassword("adm");
    FConnection->Connect();
    auto made = Table("Clientes");
    made->FieldDefs().Add("Codigo", db::ftString, 10);
    made->FieldDefs().Add("Nome", db::ftString, 30);
    made->IndexDefs().Add("PorNome", "Nome", 0);
    made->IndexDefs().Add("PK", "Codigo", db::ixPrimary);
    made->CreateTable();

    UNSIGNED8 key[64] = {};
    UNSIGNED16 length = sizeof key;
    ASSERT_EQ(ace::AdsDDGetTableProperty(FConnection->Handle(), EngineText("Clientes"),
                                         VE_DD_TABLE_PRIMARY_KEY, key, &length),
              0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(key), length), "PK");
    // The primary key's index is unique: a second row with the same code is refused.
    made->Open();
    for (const char* nome : {"Ana", "Bia"}) {
        made->Append();
        made->FieldByName("Codigo").SetAsString("C1");
        made->FieldByName("Nome").SetAsString(nome);
        if (std::string(nome) == "Ana") {
            made->Post();
        } else {
            EXPECT_NE(Refusal([&] { made->Post(); }), 0u);
            made->Cancel();
        }
    }
    EXPECT_EQ(made->RecordCount(), 1);
    made->Close();

    // A free table of the dictionary's folder keeps no primary key: its index stays as
    // defined and nothing is asked of the dictionary.
    auto free = Table("Avulsa");
    free->FieldDefs().Add("Codigo", db::ftString, 10);
    free->IndexDefs().Add("PK", "Codigo", db::ixPrimary);
    free->CreateTable(ctFreeTable);
    length = sizeof key;
    EXPECT_EQ(ace::AdsDDGetTableProperty(FConnection->Handle(), EngineText("Avulsa"),
                                         VE_DD_TABLE_PRIMARY_KEY, key, &length),
              VE_DICTIONARY_ONLY);
}

TEST_F(DictionaryConnectionTest, ATablesDefaultIndexOrdersItAsADS_DEFAULT) {
    const ADSHANDLE admin = AdminConnection();
    ASSERT_NE(admin, 0u);
    for (const char* text :
         {"INSERT INTO Produtos (Codigo, Qtde) VALUES ('C3', 1), ('B2', 2)",
          "CREATE INDEX PorCodigo ON Produtos (Codigo)", "CREATE INDEX PorQtde ON Produtos (Qtde)",
          "EXECUTE PROCEDURE sp_ModifyTableProperty('Produtos', 'TABLE_DEFAULT_INDEX', "
          "'PorCodigo', 'NO_VALIDATE', NULL)"}) {
        ADSHANDLE statement = 0;
        ASSERT_EQ(ace::AdsCreateSQLStatement(admin, &statement), 0u);
        EXPECT_EQ(ace::AdsExecuteSQLDirect(statement, EngineText(text), nullptr), 0u) << text;
        ace::AdsCloseSQLStatement(statement);
    }
    ace::AdsDisconnect(admin);

    // Named before the connection is made, the table learns its default index at the connect.
    auto products = Table("Produtos");
    EXPECT_EQ(products->IndexName(), "");
    FConnection->Connect();
    EXPECT_EQ(products->DefaultIndex(), "PorCodigo");
    EXPECT_EQ(products->IndexName(), "ADS_DEFAULT");
    std::vector<std::string> indexes;
    products->GetIndexNames(indexes);
    EXPECT_EQ(indexes, (std::vector<std::string>{"PorCodigo", "PorQtde", "ADS_DEFAULT"}));

    // The rows come in the default index's order, not in the order they were written.
    products->Open();
    std::vector<std::string> order;
    for (products->First(); !products->Eof(); products->Next()) {
        order.push_back(products->FieldByName("Codigo").AsString());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"A1", "B2", "C3"}));
    products->SetIndexName("PorQtde");
    products->First();
    EXPECT_EQ(products->FieldByName("Codigo").AsString(), "C3");
    products->SetIndexName("ADS_DEFAULT");
    products->First();
    EXPECT_EQ(products->FieldByName("Codigo").AsString(), "A1");
    products->Close();

    // A table without a default index: ADS_DEFAULT is let go when the table is named, and the
    // list of indexes does not offer it.
    auto audit = Table("Auditoria");
    EXPECT_EQ(audit->DefaultIndex(), "");
    EXPECT_EQ(audit->IndexName(), "");
    audit->SetIndexName("ADS_DEFAULT");
    audit->SetTableName("Auditoria");
    EXPECT_EQ(audit->IndexName(), "");
    audit->GetIndexNames(indexes);
    EXPECT_TRUE(indexes.empty());
}

}  // namespace
}  // namespace varelum::ads
