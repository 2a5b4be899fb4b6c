// The stock-count window's datasets and connection, in the order its stored form creates
// them: four datasets named "BALDERIM" resolve through ads.ini and share one dynamic
// connection; the connection component, whose AliasName is "BALDERIM", is never connected.
// Its own executable, because it starts before any connection component exists.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ads/adsdata_link.h"
#include "ads/adsdata_registry.h"
#include "ads_test_support.h"

namespace varelum::ads {
namespace {

using test::EngineConnectionPath;
using test::TIsolatedAdsIni;
using test::TTempDirectory;
using test::TTestConnection;
using test::TTestDataSet;

TEST(WorkedExample, TheWindowsDataSetsShareOneDynamicConnectionToTheAliasPath) {
    TTempDirectory work;
    TIsolatedAdsIni isolated(work);
    const std::string store = work.MakeDirectory("balderim");
    work.WriteFile("ads.ini", "[Databases]\nBALDERIM=" + store + "\n");
    const auto form = test::NamedOwner("ConferenciaEstoqueForm1");

    // 1. The first dataset is named before any connection component exists.
    TTestDataSet tbCadFuncionariosLojas("TbCadFuncionariosLojas", form.get());
    ASSERT_EQ(ConnectionRegistry(), nullptr);
    tbCadFuncionariosLojas.SetDatabaseName("BALDERIM");
    EXPECT_EQ(tbCadFuncionariosLojas.AliasPath(), store);
    EXPECT_EQ(tbCadFuncionariosLojas.TableType(), ttAdsADT);
    EXPECT_EQ(tbCadFuncionariosLojas.AdsConnection(), nullptr);

    // 2. The connection component (alias "BALDERIM") is created; no dataset names it.
    TTestConnection adsConnection1("AdsConnection1", form.get(), store);
    ASSERT_NE(ConnectionRegistry(), nullptr);

    // 3. The other datasets search the registry, find no connection of that Name, and
    //    resolve the alias like the first.
    TTestDataSet query1("Query1", form.get());
    TTestDataSet tbAuditoria("TbAuditoria", form.get());
    TTestDataSet qyCadProdutos("QyCadProdutos", form.get());
    for (TTestDataSet* dataSet : {&query1, &tbAuditoria, &qyCadProdutos}) {
        dataSet->SetDatabaseName("BALDERIM");
        EXPECT_EQ(dataSet->AdsConnection(), nullptr);
        EXPECT_EQ(dataSet->AliasPath(), store);
        EXPECT_EQ(dataSet->GetDatabasePath(), store);
    }
    EXPECT_TRUE(adsConnection1.Tables().empty());

    if (!test::EngineCanConnect()) {
        GTEST_SKIP() << "the engine does not implement AdsConnect yet";
    }
    // 4. The staff table opens first: a dynamic connection to the alias path.
    EXPECT_EQ(DynamicConnections().FindSameDatabasename(store), 0u);
    const ADSHANDLE hConnect = tbCadFuncionariosLojas.ConnectAndGetHandle();
    ASSERT_NE(hConnect, 0u);
    EXPECT_EQ(std::filesystem::weakly_canonical(EngineConnectionPath(hConnect)),
              std::filesystem::weakly_canonical(store));

    // 5. The others share the handle; the connection component is never connected.
    for (TTestDataSet* dataSet : {&query1, &tbAuditoria, &qyCadProdutos}) {
        EXPECT_EQ(dataSet->ConnectAndGetHandle(), hConnect);
    }
    EXPECT_FALSE(adsConnection1.IsConnected());
    EXPECT_EQ(adsConnection1.ConnectCalls(), 0);
    ASSERT_EQ(DynamicConnections().Entries().size(), 1u);
    EXPECT_EQ(DynamicConnections().Entries()[0].FstrDatabasename, store);
}

TEST(WorkedExample, WithoutAnAliasEntryTheNameItselfIsThePath) {
    TTempDirectory work;
    TIsolatedAdsIni isolated(work);
    work.MakeDirectory("BALDERIM");
    TTestDataSet dataSet("TbCadFuncionariosLojas");
    dataSet.SetDatabaseName("BALDERIM");
    EXPECT_EQ(dataSet.AliasPath(), "");
    EXPECT_EQ(dataSet.GetDatabasePath(), "BALDERIM");
    if (!test::EngineCanConnect()) {
        GTEST_SKIP() << "the engine does not implement AdsConnect yet";
    }
    // Relative to the working directory, where the test made it.
    const ADSHANDLE hConnect = dataSet.ConnectAndGetHandle();
    ASSERT_NE(hConnect, 0u);
    EXPECT_EQ(std::filesystem::weakly_canonical(EngineConnectionPath(hConnect)),
              std::filesystem::weakly_canonical(work / "BALDERIM"));
}

}  // namespace
}  // namespace varelum::ads
