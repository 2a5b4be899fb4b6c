// Dictionary links through a TAdsConnection on a data dictionary, against the real engine:
// CreateDDLink, the linked tables in GetTableAndLinkNames and in a query, the active link's
// description, DropDDLink, and a link the linked dictionary refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "ads/adscnnct.h"
#include "ads/adsdata_errors.h"
#include "ads/adstable_query.h"
#include "ads/adstable_table.h"
#include "component_test_support.h"

namespace varelum::ads {
namespace {

using test::EngineText;

constexpr const char* kAdminPassword = "adm";
constexpr const char* kReaderPassword = "leitor;pw";

// The shop's dictionary, whose administrator the component logs in as, and the stock's, where
// Leitor may read Saldos; each in a folder of its own.
class DictionaryLinksTest : public test::TStoreFixture {
  protected:
    void SetUp() override {
        TStoreFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        std::filesystem::create_directories(DataPath() + "/loja");
        std::filesystem::create_directories(DataPath() + "/estoque");
        FShop = DataPath() + "/loja/loja.add";
        FStock = DataPath() + "/estoque/estoque.add";
        MakeDictionary(FShop, "Produtos", {{"A1", "Agua"}, {"B2", "Bolo"}});
        ADSHANDLE stock = MakeDictionary(FStock, "Saldos", {{"A1", "5"}});
        ASSERT_EQ(ace::AdsDDCreateUser(stock, nullptr, EngineText("Leitor"),
                                       EngineText(kReaderPassword), nullptr),
                  0u);
        ASSERT_EQ(ace::AdsDDGrantPermission(stock, EngineText("Saldos"), nullptr,
                                            EngineText("Leitor"), VE_DD_RIGHT_READ),
                  0u);
        ace::AdsDisconnect(stock);

        FConnection = std::make_unique<TAdsConnection>(FForm.get());
        FConnection->SetName("Loja");
        FConnection->SetConnectPath(FShop);
        FConnection->SetLoginPrompt(false);
        FConnection->SetUsername("Admin");
        FConnection->SetPassword(kAdminPassword);
        FConnection->Connect();
    }

    // A dictionary with one table of (Codigo, Valor) rows; its administrator's connection.
    ADSHANDLE MakeDictionary(const std::string& path, const char* table,
                             const std::vector<test::TFieldText>& rows) {
        ADSHANDLE admin = 0;
        EXPECT_EQ(
            ace::AdsDDCreate(EngineText(path), EngineText(kAdminPassword), EngineText(""), &admin),
            0u);
        ADSHANDLE handle = 0;
        EXPECT_EQ(ace::AdsCreateTable90(admin, EngineText(table), nullptr, 0, VE_CHARTYPE_ANSI,
                                        VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                        EngineText("Codigo,Char,10;Valor,Char,10;"), 0,
                                        EngineText("ANSI"), &handle),
                  0u);
        for (const auto& [code, value] : rows) {
            AppendRow(handle, {{"Codigo", code.c_str()}, {"Valor", value}});
        }
        ace::AdsCloseTable(handle);
        return admin;
    }

    // The rows of a query on the connection, as "Codigo|Valor|Saldo" texts.
    std::vector<std::string> Rows(const std::string& sql) {
        TAdsQuery query(FForm.get());
        query.SetAdsConnection(FConnection.get());
        query.SQL().Add(sql);
        query.Open();
        std::vector<std::string> rows;
        for (query.First(); !query.Eof(); query.Next()) {
            rows.push_back(query.FieldByName("Codigo").AsString() + "|" +
                           query.FieldByName("Nome").AsString() + "|" +
                           query.FieldByName("Saldo").AsString());
        }
        return rows;
    }

    std::string FShop, FStock;
    std::unique_ptr<rtl::TComponent> FForm = test::NamedOwner("Form1");
    std::unique_ptr<TAdsConnection> FConnection;
};

TEST_F(DictionaryLinksTest, ALinkIsMadeUsedDescribedAndDropped) {
    FConnection->CreateDDLink("Estoque", "../estoque/estoque.add", "Leitor", kReaderPassword,
                              TAdsLinkOptions{loGlobal});
    EXPECT_EQ(FConnection->GetNumActiveDDLinks(), 0);

    rtl::TStringList links, tables;
    FConnection->GetTableAndLinkNames(&links, &tables);
    ASSERT_EQ(tables.Count(), 2);
    EXPECT_EQ(links[0], "");
    EXPECT_EQ(tables[0], "Produtos");
    EXPECT_EQ(links[1], "Estoque");
    EXPECT_EQ(tables[1], "Saldos");

    EXPECT_EQ(Rows("SELECT p.Codigo, p.Valor AS Nome, s.Valor AS Saldo FROM Produtos p "
                   "JOIN Estoque.Saldos s ON s.Codigo = p.Codigo"),
              (std::vector<std::string>{"A1|Agua|5"}));
    ASSERT_EQ(FConnection->GetNumActiveDDLinks(), 1);
    rtl::TStringList info;
    FConnection->GetActiveDDLinkInfo(1, &info);
    ASSERT_EQ(info.Count(), 3);
    EXPECT_EQ(info[0], "Estoque");
    EXPECT_EQ(info[1], FStock);
    EXPECT_EQ(info[2], "Leitor");

    FConnection->DropDDLink("Estoque", true);
    EXPECT_EQ(FConnection->GetNumActiveDDLinks(), 0);
    try {
        Rows("SELECT Codigo, Valor AS Nome, Valor AS Saldo FROM Estoque.Saldos");
        ADD_FAILURE() << "a dropped link still reached its tables";
    } catch (const EADSDatabaseError& error) {
        EXPECT_NE(error.Message().find("NativeError = 2124"), std::string::npos) << error.Message();
    }
}

TEST_F(DictionaryLinksTest, ALinkTheLinkedDictionaryRefusesIsNotMade) {
    try {
        FConnection->CreateDDLink("Estoque", FStock, "Leitor", "errada", TAdsLinkOptions{});
        ADD_FAILURE() << "a link with a wrong password was made";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), VE_LOGIN_FAILED);
        EXPECT_EQ(error.Message().find("errada"), std::string::npos) << error.Message();
    }
    rtl::TStringList links, tables;
    FConnection->GetTableAndLinkNames(&links, &tables);
    EXPECT_EQ(tables.Count(), 1);
    try {
        FConnection->DropDDLink("Estoque", true);
        ADD_FAILURE() << "a link that was never made was dropped";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), VE_DICTIONARY_ONLY);
    }
}

TEST_F(DictionaryLinksTest, ATableOfALinkedDictionaryOpensByItsLinkedName) {
    FConnection->CreateDDLink("Estoque", FStock, "Leitor", kReaderPassword,
                              TAdsLinkOptions{loGlobal});
    TAdsTable balances(FForm.get());
    balances.SetName("TbSaldos");
    balances.SetDatabaseName("Loja");
    balances.SetTableName("Estoque.Saldos");
    balances.Open();
    EXPECT_EQ(balances.FieldByName("Codigo").AsString(), "A1");
    EXPECT_EQ(balances.FieldByName("Valor").AsString(), "5");
    EXPECT_EQ(FConnection->GetNumActiveDDLinks(), 1);
    balances.Close();
}

}  // namespace
}  // namespace varelum::ads
