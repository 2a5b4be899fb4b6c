// Transactions and savepoints of a TAdsConnection against the real engine, on a store in a
// temporary directory: a transaction over two tables committed and rolled back with its
// events in order, the attached datasets cancelled and refreshed by a rollback, the statement
// cache emptied at the end of a transaction, savepoints, and the refusals.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adsdata_errors.h"
#include "ads/adstable_table.h"
#include "component_test_support.h"
#include "db/field.h"
#include "rtl/exception.h"

namespace varelum::ads {
namespace {

using test::TScopedEnvironment;
using test::TTempDirectory;

class ConnectionTransactionsTest : public test::TStoreFixture {
  protected:
    void SetUp() override {
        test::TStoreFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        const ADSHANDLE items = CreateTable("Itens", "Codigo,Char,10;Qtde,Integer;");
        AppendRow(items, {{"Codigo", "A"}, {"Qtde", "1"}});
        ace::AdsCloseTable(items);
        ace::AdsCloseTable(CreateTable("Movimentos", "Codigo,Char,10;Qtde,Integer;"));

        FConnection = std::make_unique<TAdsConnection>(FForm.get());
        FConnection->SetName("Conn");
        FConnection->SetConnectPath(DataPath());
        const auto log = [this](const char* what) {
            return [this, what](TAdsConnection&) { FEvents.emplace_back(what); };
        };
        FConnection->BeforeCommit = log("BeforeCommit");
        FConnection->AfterCommit = log("AfterCommit");
        FConnection->BeforeRollback = log("BeforeRollback");
        FConnection->AfterRollback = log("AfterRollback");
        FItems = Table("TbItens", "Itens");
        FMoves = Table("TbMovimentos", "Movimentos");
        FConnection->Connect();
        FItems->Open();
        FMoves->Open();
    }

    std::unique_ptr<TAdsTable> Table(const std::string& name, const std::string& tableName) {
        auto table = std::make_unique<TAdsTable>(FForm.get());
        table->SetName(name);
        table->SetDatabaseName("Conn");
        table->SetTableName(tableName);
        table->AfterRefresh = [this, name](db::TDataSet&) {
            FEvents.push_back(name + " refreshed");
        };
        return table;
    }

    // Rows of the table as a statement of the connection sees them now (deleted ones not).
    int Count(const std::string& table) {
        ADSHANDLE cursor = 0;
        FConnection->Execute("SELECT * FROM " + table, nullptr, false, &cursor);
        UNSIGNED32 rows = 0;
        EXPECT_EQ(ace::AdsGetRecordCount(cursor, VE_IGNORE_FILTERS, &rows), 0u);
        ace::AdsCloseTable(cursor);
        return static_cast<int>(rows);
    }

    std::unique_ptr<rtl::TComponent> FForm = test::NamedOwner("Form1");
    TTempDirectory FIni;
    TScopedEnvironment FIniPath{"adsini_path", FIni.Path()};
    std::unique_ptr<TAdsConnection> FConnection;
    std::unique_ptr<TAdsTable> FItems;
    std::unique_ptr<TAdsTable> FMoves;
    std::vector<std::string> FEvents;
};

TEST_F(ConnectionTransactionsTest, ATransactionOverTwoTablesCommitsWithItsEvents) {
    EXPECT_FALSE(FConnection->TransactionActive());
    EXPECT_EQ(FConnection->TransactionCount(), 0);
    FConnection->BeginTransaction();
    EXPECT_TRUE(FConnection->TransactionActive());
    EXPECT_EQ(FConnection->TransactionCount(), 1);

    FItems->Edit();
    FItems->FieldByName("Qtde").SetAsInteger(5);
    FItems->Post();
    db::TParams params;
    params.CreateParam(db::ftString, "c").SetAsString("A");
    FConnection->Execute("INSERT INTO Movimentos (Codigo, Qtde) VALUES (:c, 4)", &params, true);
    EXPECT_EQ(FConnection->CachedStatements().size(), 1u);

    FConnection->Commit();
    EXPECT_EQ(FEvents, (std::vector<std::string>{"BeforeCommit", "AfterCommit"}));
    EXPECT_TRUE(FConnection->CachedStatements().empty()) << "a commit empties the cache";
    EXPECT_FALSE(FConnection->TransactionActive());
    EXPECT_EQ(Count("Movimentos"), 1);
    FItems->Refresh();
    EXPECT_EQ(FItems->FieldByName("Qtde").AsInteger(), 5);
}

TEST_F(ConnectionTransactionsTest, ARollbackCancelsEditsUndoesBothTablesAndRefreshes) {
    FConnection->BeginTransaction();
    FItems->Edit();
    FItems->FieldByName("Qtde").SetAsInteger(9);
    FItems->Post();
    FConnection->Execute("INSERT INTO Movimentos (Codigo, Qtde) VALUES ('A', 8)", nullptr, true);
    FMoves->Refresh();
    FEvents.clear();
    // An edit still pending when the transaction is rolled back.
    FMoves->Append();
    FMoves->FieldByName("Codigo").SetAsString("B");

    FConnection->Rollback();
    EXPECT_EQ(FEvents, (std::vector<std::string>{"BeforeRollback", "TbItens refreshed",
                                                 "TbMovimentos refreshed", "AfterRollback"}));
    EXPECT_EQ(FMoves->State(), db::dsBrowse) << "the pending append was cancelled";
    EXPECT_EQ(FItems->FieldByName("Qtde").AsInteger(), 1) << "shows the table as it is again";
    EXPECT_TRUE(FConnection->CachedStatements().empty()) << "a rollback empties the cache";
    EXPECT_EQ(Count("Movimentos"), 0);
    EXPECT_FALSE(FConnection->TransactionActive());

    // Without CancelOnRollback a pending edit is left to its owner; a dataset that is not in
    // browse state is not refreshed.
    FConnection->SetCancelOnRollback(false);
    FConnection->BeginTransaction();
    FItems->Edit();
    FItems->FieldByName("Qtde").SetAsInteger(3);
    FEvents.clear();
    FConnection->Rollback();
    EXPECT_EQ(FItems->State(), db::dsEdit);
    EXPECT_EQ(FEvents, (std::vector<std::string>{"BeforeRollback", "TbMovimentos refreshed",
                                                 "AfterRollback"}));
    FItems->Cancel();
}

TEST_F(ConnectionTransactionsTest, SavepointsRollBackPartOfATransactionWithoutEvents) {
    FConnection->BeginTransaction();
    FConnection->Execute("INSERT INTO Movimentos (Codigo, Qtde) VALUES ('A', 1)");
    FConnection->CreateSavepoint("Meio");
    FConnection->Execute("INSERT INTO Movimentos (Codigo, Qtde) VALUES ('B', 2)");
    EXPECT_EQ(Count("Movimentos"), 2);

    FConnection->Rollback("Meio");
    EXPECT_TRUE(FEvents.empty()) << "no events, cancels or refreshes";
    EXPECT_TRUE(FConnection->TransactionActive());
    EXPECT_EQ(Count("Movimentos"), 1);
    EXPECT_THROW(FConnection->Rollback("Nenhum"), EADSDatabaseError);

    // An empty name is the plain rollback, events included.
    FConnection->Rollback("");
    EXPECT_EQ(FEvents.front(), "BeforeRollback");
    EXPECT_EQ(FEvents.back(), "AfterRollback");
    EXPECT_FALSE(FConnection->TransactionActive());
    EXPECT_EQ(Count("Movimentos"), 0);
    EXPECT_THROW(FConnection->CreateSavepoint("Fora"), EADSDatabaseError) << "no transaction";
}

TEST_F(ConnectionTransactionsTest, EngineRefusalsAndADisconnectedComponent) {
    // The engine refuses; nothing after the refusal fires.
    EXPECT_THROW(FConnection->Commit(), adscnnct::AdsError);
    EXPECT_EQ(FEvents, std::vector<std::string>{"BeforeCommit"});
    FConnection->BeginTransaction();
    EXPECT_THROW(FConnection->BeginTransaction(), adscnnct::AdsError);
    FConnection->Rollback();

    FConnection->Disconnect();
    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"TransactionActive", [&] { FConnection->TransactionActive(); }},
        {"TransactionCount", [&] { FConnection->TransactionCount(); }},
        {"BeginTransaction", [&] { FConnection->BeginTransaction(); }},
        {"Commit", [&] { FConnection->Commit(); }},
        {"Rollback", [&] { FConnection->Rollback(); }},
        {"Rollback to a savepoint", [&] { FConnection->Rollback("Meio"); }},
        {"CreateSavepoint", [&] { FConnection->CreateSavepoint("Meio"); }},
    };
    FEvents.clear();
    for (const auto& [name, operation] : operations) {
        try {
            operation();
            ADD_FAILURE() << name << ": no error";
        } catch (const adscnnct::AdsConnectionError& error) {
            EXPECT_STREQ(error.what(), "No connection to database server.") << name;
        }
    }
    EXPECT_TRUE(FEvents.empty());
    EXPECT_FALSE(FConnection->IsConnected());
}

}  // namespace
}  // namespace varelum::ads
