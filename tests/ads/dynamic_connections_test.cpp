// The shared dynamic connections against the real engine: one per path ignoring case, the
// "C:" drive root, a failed connect leaving no entry, and disconnecting when the list ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ads/ace.h"
#include "ads/adsdata_errors.h"
#include "ads/adsdata_link.h"
#include "ads/adsdata_registry.h"
#include "ads_test_support.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

using test::EngineConnectionPath;
using test::TIsolatedAdsIni;
using test::TTempDirectory;
using test::TTestDataSet;

class DynamicConnectionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::EngineCanConnect()) {
            GTEST_SKIP() << "the engine does not implement AdsConnect yet";
        }
    }

    static std::string Canonical(const std::string& path) {
        return std::filesystem::weakly_canonical(path).string();
    }

    TTempDirectory FWork;
    TIsolatedAdsIni FIsolated{FWork};
};

TEST_F(DynamicConnectionsTest, TwoDataSetsWhosePathsDifferInCaseShareOneConnection) {
    const std::string store = FWork.MakeDirectory("Store");
    TTestDataSet first("TbAuditoria");
    TTestDataSet second("QyCadProdutos");
    first.SetDatabaseName(store);
    // The upper-case directory does not exist: sharing means the engine never sees it.
    second.SetDatabaseName(FWork.Path() + "/STORE/");
    const ADSHANDLE hFirst = first.ConnectAndGetHandle();
    ASSERT_NE(hFirst, 0u);
    EXPECT_EQ(second.ConnectAndGetHandle(), hFirst);
    EXPECT_EQ(first.ConnectAndGetHandle(), hFirst);
    EXPECT_EQ(Canonical(EngineConnectionPath(hFirst)), Canonical(store));
    int entries = 0;
    for (const TDynamicConn& entry : DynamicConnections().Entries()) {
        entries += rtl::SameText(entry.FstrDatabasename, store) ? 1 : 0;
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(DynamicConnectionsTest, ADriveLikeNameConnectsToThatDrivesRoot) {
    // On this platform "C:\" is the directory "C:" of the working directory.
    const std::string drive = FWork.MakeDirectory("C:");
    TTestDataSet dataSet;
    dataSet.SetDatabaseName("C:");
    EXPECT_EQ(dataSet.GetDatabasePath(), "C:");
    const ADSHANDLE hConnect = dataSet.ConnectAndGetHandle();
    ASSERT_NE(hConnect, 0u);
    EXPECT_EQ(DynamicConnections().FindSameDatabasename("C:\\"), hConnect);
    EXPECT_EQ(DynamicConnections().FindSameDatabasename("C:"), 0u);
    EXPECT_EQ(Canonical(EngineConnectionPath(hConnect)), Canonical(drive));
    // "C:\" given directly loses its separator and comes back to the same connection.
    TTestDataSet root;
    root.SetDatabaseName("c:\\");
    EXPECT_EQ(root.ConnectAndGetHandle(), hConnect);
}

TEST_F(DynamicConnectionsTest, AFailedConnectLeavesNoEntryAndTheNextOpenTriesAgain) {
    const std::string missing = FWork / "not-yet";
    TTestDataSet dataSet("TbCadFuncionariosLojas");
    dataSet.SetDatabaseName(missing);
    try {
        dataSet.ConnectAndGetHandle();
        FAIL() << "connected to a missing directory";
    } catch (const EADSDatabaseError& error) {
        // Raised without a dataset: the engine's text alone.
        EXPECT_EQ(error.DataSetInstanceName(), "");
        EXPECT_NE(error.ACEErrorCode(), 0u);
        EXPECT_FALSE(error.Message().empty());
        EXPECT_NE(error.Message().rfind("TbCadFuncionariosLojas", 0), 0u);
    }
    EXPECT_EQ(DynamicConnections().FindSameDatabasename(missing), 0u);
    std::filesystem::create_directory(missing);
    const ADSHANDLE hConnect = dataSet.ConnectAndGetHandle();
    EXPECT_NE(hConnect, 0u);
    EXPECT_EQ(DynamicConnections().FindSameDatabasename(missing), hConnect);
}

TEST_F(DynamicConnectionsTest, AnAliasAndItsPathShareTheConnection) {
    const std::string store = FWork.MakeDirectory("loja");
    FWork.WriteFile("ads.ini", "[Databases]\nBALDERIM=" + store + "/\n");
    TTestDataSet byAlias;
    byAlias.SetDatabaseName("BALDERIM");
    TTestDataSet byPath;
    byPath.SetDatabaseName(store);
    EXPECT_EQ(byAlias.ConnectAndGetHandle(), byPath.ConnectAndGetHandle());
}

TEST_F(DynamicConnectionsTest, AListDisconnectsItsConnectionsInOrderWhenItEnds) {
    const std::string first = FWork.MakeDirectory("one");
    const std::string second = FWork.MakeDirectory("two");
    ADSHANDLE hFirst = 0;
    ADSHANDLE hSecond = 0;
    {
        TDynamicConnList list;
        hFirst = list.Add(first);
        hSecond = list.Add(second);
        ASSERT_NE(hFirst, 0u);
        ASSERT_NE(hSecond, hFirst);
        EXPECT_EQ(list.FindSameDatabasename(FWork.Path() + "/ONE"), hFirst);
        ASSERT_EQ(list.Entries().size(), 2u);
        EXPECT_EQ(list.Entries()[0].FstrDatabasename, first);
        UNSIGNED16 type = 0;
        EXPECT_EQ(ace::AdsGetConnectionType(hFirst, &type), 0u);
        EXPECT_EQ(type, VE_SERVER_LOCAL);
    }
    UNSIGNED16 type = 0;
    EXPECT_EQ(ace::AdsGetConnectionType(hFirst, &type), VE_CLOSED_HANDLE);
    EXPECT_EQ(ace::AdsGetConnectionType(hSecond, &type), VE_CLOSED_HANDLE);
}

TEST_F(DynamicConnectionsTest, FindSameDatabasenameOfAnUnknownPathIsZero) {
    TDynamicConnList list;
    EXPECT_EQ(list.FindSameDatabasename("/nowhere"), 0u);
    EXPECT_EQ(list.FindSameDatabasename(""), 0u);
}

}  // namespace
}  // namespace varelum::ads
