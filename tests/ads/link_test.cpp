// Database-name resolution of a dataset: the DatabaseName and AdsConnection setters, the
// four-pass search of the connection registry, GetDatabasePath with aliases, connections and
// trailing separators, and ConnectAndGetHandle through a connection component.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "ads/adsdata_errors.h"
#include "ads/adsdata_link.h"
#include "ads/adsdata_registry.h"
#include "ads_test_support.h"

namespace varelum::ads {
namespace {

using test::TIsolatedAdsIni;
using test::TTempDirectory;
using test::TTestConnection;
using test::TTestDataSet;

class DatabaseNames : public ::testing::Test {
  protected:
    TTempDirectory FWork;
    TIsolatedAdsIni FIsolated{FWork};
};

// Builds a connection on another thread, so that it is not "created by the calling thread".
std::unique_ptr<TTestConnection> ConnectionFromAnotherThread(const std::string& name,
                                                             rtl::TComponent* owner,
                                                             const std::string& path) {
    std::unique_ptr<TTestConnection> connection;
    std::thread([&] { connection = std::make_unique<TTestConnection>(name, owner, path); }).join();
    return connection;
}

TEST_F(DatabaseNames, ANewDataSetHasNoNameAndTableTypeADT) {
    TTestDataSet dataSet;
    EXPECT_EQ(dataSet.DatabaseName(), "");
    EXPECT_EQ(dataSet.TableType(), ttAdsADT);
    EXPECT_EQ(dataSet.AdsConnection(), nullptr);
    EXPECT_EQ(dataSet.GetDatabasePath(), "");
}

TEST_F(DatabaseNames, DataSetsAndConnectionsAreRegisteredInCreationOrderForTheirLifetime) {
    auto first = std::make_unique<TTestDataSet>("A");
    auto second = std::make_unique<TTestDataSet>("B");
    TDataSetRegistry* dataSets = DataSetRegistry();
    ASSERT_NE(dataSets, nullptr);
    {
        const auto lock = dataSets->Lock();
        const auto& items = dataSets->Items();
        ASSERT_GE(items.size(), 2u);
        EXPECT_EQ(items[items.size() - 2], first.get());
        EXPECT_EQ(items.back(), second.get());
    }
    first.reset();
    {
        const auto lock = dataSets->Lock();
        EXPECT_EQ(std::count(dataSets->Items().begin(), dataSets->Items().end(), nullptr), 0);
        EXPECT_EQ(dataSets->Items().back(), second.get());
    }
    const TTestDataSet* gone = second.get();
    second.reset();
    {
        const auto lock = dataSets->Lock();
        EXPECT_EQ(std::find(dataSets->Items().begin(), dataSets->Items().end(), gone),
                  dataSets->Items().end());
    }

    auto connection = std::make_unique<TTestConnection>("AdsConnection1");
    TConnectionRegistry* connections = ConnectionRegistry();
    ASSERT_NE(connections, nullptr);
    {
        const auto lock = connections->Lock();
        EXPECT_EQ(connections->Items().back(), connection.get());
    }
    const TAdsConnectionBase* removed = connection.get();
    connection.reset();
    const auto lock = connections->Lock();
    EXPECT_EQ(std::find(connections->Items().begin(), connections->Items().end(), removed),
              connections->Items().end());
}

TEST_F(DatabaseNames, ANameDifferingOnlyInCaseLinksTheConnection) {
    const auto form = test::NamedOwner("Form1");
    TTestConnection connection("AdsConnection1", form.get(), FWork.Path());
    TTestDataSet dataSet("Table1", form.get());
    dataSet.SetDatabaseName("ADSCONNECTION1");
    EXPECT_EQ(dataSet.AdsConnection(), &connection);
    EXPECT_EQ(dataSet.DatabaseName(), "ADSCONNECTION1");
    EXPECT_EQ(dataSet.AliasPath(), "");
    ASSERT_EQ(connection.Tables().size(), 1u);
    EXPECT_EQ(connection.Tables()[0], &dataSet);
    EXPECT_EQ(dataSet.GetDatabasePath(), FWork.Path());
}

TEST_F(DatabaseNames, TheOwnersNameDotTheConnectionsNameLinksIt) {
    const auto form = test::NamedOwner("DataModule1");
    const auto otherForm = test::NamedOwner("Form2");
    TTestConnection connection("Conn", form.get(), FWork.Path());
    TTestDataSet dataSet("Table1", otherForm.get());
    dataSet.SetDatabaseName("datamodule1.CONN");
    EXPECT_EQ(dataSet.AdsConnection(), &connection);
    EXPECT_EQ(dataSet.GetDatabasePath(), FWork.Path());

    // Without an Owner there is no qualified name.
    TTestConnection orphan("Orphan", nullptr, FWork.Path());
    TTestDataSet other("Table2");
    other.SetDatabaseName(".Orphan");
    EXPECT_EQ(other.AdsConnection(), nullptr);
}

TEST_F(DatabaseNames, AliasNameOfAConnectionIsNeverMatched) {
    FWork.WriteFile("ads.ini", "[Databases]\nBALDERIM=" + FWork.Path() + "\n");
    TTestConnection connection("AdsConnection1", nullptr, FWork.Path());  // alias BALDERIM
    TTestDataSet dataSet;
    dataSet.SetDatabaseName("BALDERIM");
    EXPECT_EQ(dataSet.AdsConnection(), nullptr);
    EXPECT_EQ(dataSet.AliasPath(), FWork.Path());
}

TEST_F(DatabaseNames, SearchPrefersSameOwnerAndThreadThenThreadThenOwnerThenFirst) {
    // The dataset has no Owner, so the connections without one have "the same Owner". (Names
    // are unique per Owner, which rules out two of one Owner with the same Name.)
    const auto form2 = test::NamedOwner("Form2");
    const auto form3 = test::NamedOwner("Form3");
    // Created in this order; all named "Conn" in some case.
    auto otherOwnerElsewhere = ConnectionFromAnotherThread("Conn", form2.get(), "/a");
    auto sameOwnerElsewhere = ConnectionFromAnotherThread("conn", nullptr, "/b");
    auto otherOwnerHere = std::make_unique<TTestConnection>("CONN", form3.get(), "/c");
    auto sameOwnerHere = std::make_unique<TTestConnection>("Conn", nullptr, "/d");

    const auto resolve = [] {
        TTestDataSet dataSet("Table1");
        dataSet.SetDatabaseName("Conn");
        return dataSet.AdsConnection();
    };
    EXPECT_EQ(resolve(), sameOwnerHere.get());  // same Owner, this thread
    sameOwnerHere.reset();
    EXPECT_EQ(resolve(), otherOwnerHere.get());  // this thread
    otherOwnerHere.reset();
    EXPECT_EQ(resolve(), sameOwnerElsewhere.get());  // same Owner
    sameOwnerElsewhere.reset();
    EXPECT_EQ(resolve(), otherOwnerElsewhere.get());  // the first one
}

TEST_F(DatabaseNames, ADataSetsOwnerDecidesBetweenConnectionsOfThisThread) {
    const auto form1 = test::NamedOwner("Form1");
    const auto form2 = test::NamedOwner("Form2");
    TTestConnection ofForm2("Conn", form2.get(), "/form2");
    TTestConnection ofForm1("Conn", form1.get(), "/form1");
    TTestDataSet inForm1("Table1", form1.get());
    inForm1.SetDatabaseName("Conn");
    EXPECT_EQ(inForm1.AdsConnection(), &ofForm1);
    TTestDataSet inForm2("Table1", form2.get());
    inForm2.SetDatabaseName("Conn");
    EXPECT_EQ(inForm2.AdsConnection(), &ofForm2);
    // And the qualified name picks the other Owner's connection.
    TTestDataSet qualified("Table2", form2.get());
    qualified.SetDatabaseName("Form1.Conn");
    EXPECT_EQ(qualified.AdsConnection(), &ofForm1);
}

TEST_F(DatabaseNames, OfSeveralEqualCandidatesTheFirstCreatedWins) {
    TTestConnection first("Conn", nullptr, "/first");
    TTestConnection second("Conn", nullptr, "/second");
    TTestDataSet dataSet;
    dataSet.SetDatabaseName("Conn");
    EXPECT_EQ(dataSet.AdsConnection(), &first);
}

TEST_F(DatabaseNames, AdsConnectionSetterMovesTheDataSetBetweenConnectionLists) {
    TTestConnection first("First", nullptr, "/first");
    TTestConnection second("Second", nullptr, "/second");
    TTestDataSet dataSet;
    dataSet.SetAdsConnection(&first);
    dataSet.SetAdsConnection(&first);  // the same again attaches it only once
    EXPECT_EQ(first.Tables().size(), 1u);
    dataSet.SetAdsConnection(&second);
    EXPECT_TRUE(first.Tables().empty());
    ASSERT_EQ(second.Tables().size(), 1u);
    // DatabaseName empty: the connection set is the one used.
    EXPECT_EQ(dataSet.GetDatabasePath(), "/second");
    dataSet.SetAdsConnection(nullptr);
    EXPECT_TRUE(second.Tables().empty());
    EXPECT_EQ(dataSet.GetDatabasePath(), "");
}

TEST_F(DatabaseNames, ADestroyedDataSetLeavesItsConnectionsList) {
    TTestConnection connection("Conn", nullptr, "/c");
    {
        TTestDataSet dataSet;
        dataSet.SetDatabaseName("Conn");
        EXPECT_EQ(connection.Tables().size(), 1u);
    }
    EXPECT_TRUE(connection.Tables().empty());
}

TEST_F(DatabaseNames, TableTypeFollowsTheConnectionsTypeUnlessUnspecified) {
    TTestConnection ntx("Ntx", nullptr, "/ntx", ttAdsConnectNTX);
    TTestConnection unspecified("Plain", nullptr, "/plain", ttAdsConnectUnspecified);
    TTestDataSet dataSet;
    dataSet.SetDatabaseName("Ntx");
    EXPECT_EQ(dataSet.TableType(), ttAdsNTX);
    dataSet.SetDatabaseName("Plain");
    EXPECT_EQ(dataSet.TableType(), ttAdsNTX);  // unspecified leaves it
    TTestConnection vfp("Vfp", nullptr, "/vfp", ttAdsConnectVFP);
    dataSet.SetDatabaseName("Vfp");
    EXPECT_EQ(dataSet.TableType(), ttAdsVFP);
}

TEST_F(DatabaseNames, ANameNoConnectionHasKeepsTheConnectionButNotItsPath) {
    TTestConnection connection("Conn", nullptr, "/conn");
    TTestDataSet dataSet;
    dataSet.SetDatabaseName("Conn");
    dataSet.SetDatabaseName(FWork.Path() + "/other");
    EXPECT_EQ(dataSet.AdsConnection(), &connection);
    EXPECT_EQ(dataSet.GetDatabasePath(), FWork.Path() + "/other");
    dataSet.SetDatabaseName("");
    EXPECT_EQ(dataSet.GetDatabasePath(), "/conn");
}

TEST_F(DatabaseNames, DataSetsAliasTakesTheLetterSTableType) {
    FWork.WriteFile("ads.ini", "[Databases]\nLOJA=" + FWork.Path() +
                                   "/loja;n\nPLAIN=" + FWork.Path() + "/plain;z\n");
    TTestDataSet dataSet;
    dataSet.SetDatabaseName("loja");
    EXPECT_EQ(dataSet.AliasPath(), FWork.Path() + "/loja");
    EXPECT_EQ(dataSet.TableType(), ttAdsNTX);
    EXPECT_EQ(dataSet.GetDatabasePath(), FWork.Path() + "/loja");
    dataSet.SetDatabaseName("PLAIN");
    EXPECT_EQ(dataSet.TableType(), ttAdsADT);
}

TEST_F(DatabaseNames, TheAliasPathIsKeptUntilDatabaseNameIsSetAgain) {
    FWork.WriteFile("ads.ini", "[Databases]\nLOJA=/first\n");
    TTestDataSet dataSet;
    dataSet.SetDatabaseName("LOJA");
    FWork.WriteFile("ads.ini", "[Databases]\nLOJA=/second\n");
    EXPECT_EQ(dataSet.GetDatabasePath(), "/first");
    dataSet.SetDatabaseName("LOJA");
    EXPECT_EQ(dataSet.GetDatabasePath(), "/second");
}

TEST_F(DatabaseNames, AnAliasAddedLaterIsFoundByTheFirstGetDatabasePath) {
    TTestDataSet dataSet;
    dataSet.SetDatabaseName("LOJA");
    EXPECT_EQ(dataSet.AliasPath(), "");
    FWork.WriteFile("ads.ini", "[Databases]\nLOJA=/later;c\n");
    EXPECT_EQ(dataSet.GetDatabasePath(), "/later");
    EXPECT_EQ(dataSet.AliasPath(), "/later");
    EXPECT_EQ(dataSet.TableType(), ttAdsCDX);
}

TEST_F(DatabaseNames, APathIsNeverLookedUpAsAnAlias) {
    FWork.WriteFile("ads.ini", "[Databases]\n/data/loja=/elsewhere\n");
    TTestDataSet dataSet;
    dataSet.SetDatabaseName("/data/loja");
    EXPECT_EQ(dataSet.AliasPath(), "");
    EXPECT_EQ(dataSet.GetDatabasePath(), "/data/loja");
}

TEST_F(DatabaseNames, AnUnknownNameWithoutSeparatorIsAPathAsItStands) {
    TTestDataSet dataSet;
    dataSet.SetDatabaseName("Loja");
    EXPECT_EQ(dataSet.GetDatabasePath(), "Loja");
}

TEST_F(DatabaseNames, GetDatabasePathDropsOneTrailingSeparatorExceptFromASingleCharacter) {
    struct TRow {
        const char* DatabaseName;
        const char* Path;
    };
    const TRow rows[] = {
        {"/data/loja/", "/data/loja"},
        {"C:\\Dados\\", "C:\\Dados"},
        {"/", "/"},
        {"\\", "\\"},
        {"C:", "C:"},
        {"/data/loja", "/data/loja"},
    };
    for (const TRow& row : rows) {
        TTestDataSet dataSet;
        dataSet.SetDatabaseName(row.DatabaseName);
        EXPECT_EQ(dataSet.GetDatabasePath(), row.Path) << row.DatabaseName;
    }
    FWork.WriteFile("ads.ini", "[Databases]\nLOJA=/data/alias/\n");
    TTestDataSet aliased;
    aliased.SetDatabaseName("LOJA");
    EXPECT_EQ(aliased.GetDatabasePath(), "/data/alias");
    TTestConnection connection("Conn", nullptr, "/data/connection/");
    aliased.SetDatabaseName("Conn");
    EXPECT_EQ(aliased.GetDatabasePath(), "/data/connection");
}

TEST_F(DatabaseNames, SettersRefuseAnOpenDataSet) {
    TTestConnection connection("Conn", nullptr, "/conn");
    TTestDataSet dataSet("TbAuditoria");
    dataSet.SetDatabaseName("/data/loja");
    dataSet.SetDisplayedPathNoExistsWarning(true);
    dataSet.SetOpen(true);
    try {
        dataSet.SetDatabaseName("/data/other");
        FAIL() << "accepted on an open dataset";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), 5121u);
        EXPECT_EQ(error.Message(), "TbAuditoria: Cannot perform this operation on an open dataset");
    }
    try {
        dataSet.SetAdsConnection(&connection);
        FAIL() << "accepted on an open dataset";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), 5121u);
        EXPECT_EQ(error.Message(), "TbAuditoria: Table must not be Active.");
    }
    EXPECT_EQ(dataSet.DatabaseName(), "/data/loja");
    EXPECT_EQ(dataSet.AdsConnection(), nullptr);
    EXPECT_TRUE(dataSet.DisplayedPathNoExistsWarning());
    dataSet.SetOpen(false);
    dataSet.SetDatabaseName("/data/other");
    EXPECT_FALSE(dataSet.DisplayedPathNoExistsWarning());
}

TEST_F(DatabaseNames, AMalformedAdsIniFailsTheSetterWithAClearError) {
    FWork.WriteFile("ads.ini", "[Databases]\nthis is not an entry\n");
    TTestDataSet dataSet;
    EXPECT_THROW(dataSet.SetDatabaseName("BALDERIM"), EADSDatabaseError);
    // A path needs no ads.ini.
    EXPECT_NO_THROW(dataSet.SetDatabaseName("/data/loja"));
}

TEST_F(DatabaseNames, ConnectAndGetHandleConnectsTheConnectionComponent) {
    if (!test::EngineCanConnect()) {
        GTEST_SKIP() << "the engine does not implement AdsConnect yet";
    }
    TTestConnection connection("Conn", nullptr, FWork.Path());
    TTestDataSet dataSet;
    dataSet.SetDatabaseName("Conn");
    EXPECT_FALSE(connection.IsConnected());
    const ADSHANDLE hConnect = dataSet.ConnectAndGetHandle();
    EXPECT_TRUE(connection.IsConnected());
    EXPECT_EQ(hConnect, connection.ConnectionHandle());
    EXPECT_NE(hConnect, 0u);
    EXPECT_EQ(dataSet.ConnectAndGetHandle(), hConnect);
    // No dynamic connection was opened for it.
    EXPECT_EQ(DynamicConnections().FindSameDatabasename(FWork.Path()), 0u);
}

}  // namespace
}  // namespace varelum::ads
