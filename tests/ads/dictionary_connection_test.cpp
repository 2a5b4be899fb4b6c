// A TAdsConnection on a data dictionary against the real engine: the log-in (properties, the
// OnLogin callback, a wrong password), the dictionary's version and the user's groups, and
// the rights the dictionary grants reaching Edit, Append and a field write as 5054.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ads/adscnnct.h"
#include "ads/adsdata_errors.h"
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

}  // namespace
}  // namespace varelum::ads
