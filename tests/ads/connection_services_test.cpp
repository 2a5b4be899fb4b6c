// The services of an open TAdsConnection against the real engine, on a store in a temporary
// directory: Execute with its statement cache and parameter binding, the table-name lists,
// the server's time and the application id, adopting an engine connection opened elsewhere,
// the dictionary-only members on free tables, and the dataset's GetFiles.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adsdata_errors.h"
#include "ads/adstable_table.h"
#include "component_test_support.h"
#include "rtl/code_page.h"
#include "rtl/datetime.h"

namespace varelum::ads {
namespace {

using test::EngineText;
using test::TScopedEnvironment;
using test::TTempDirectory;

std::vector<std::string> Lines(const rtl::TStringList& list) {
    std::vector<std::string> lines;
    for (int i = 0; i < list.Count(); ++i) {
        lines.push_back(list[i]);
    }
    return lines;
}

class ConnectionServicesTest : public test::TStoreFixture {
  protected:
    ConnectionServicesTest() {
        FIni.WriteFile("ads.ini", "[Databases]\nPLAIN = " + DataPath() + "\nADTSTORE = " +
                                      DataPath() + ";A\nNTXSTORE = " + DataPath() + ";N\n");
    }

    std::unique_ptr<TAdsConnection> Connection(const std::string& name = "Conn") {
        auto connection = std::make_unique<TAdsConnection>(FForm.get());
        connection->SetName(name);
        connection->SetConnectPath(DataPath());
        return connection;
    }

    // The text of field of the first row of a SELECT run through the connection.
    static std::string FirstValue(TAdsConnection& connection, const std::string& sql,
                                  const char* field) {
        ADSHANDLE cursor = 0;
        connection.Execute(sql, nullptr, false, &cursor);
        EXPECT_NE(cursor, 0u);
        UNSIGNED8 value[256] = {};
        UNSIGNED32 length = 255;
        const UNSIGNED32 result =
            ace::AdsGetField(cursor, EngineText(field), value, &length, VE_TRIM_RIGHT);
        ace::AdsCloseTable(cursor);
        if (result != 0) {
            return "<" + std::to_string(result) + ">";
        }
        return rtl::AnsiToUtf8(std::string(reinterpret_cast<const char*>(value), length));
    }

    static bool HandleIsOpen(ADSHANDLE handle) {
        UNSIGNED16 type = 0;
        return ace::AdsGetHandleType(handle, &type) == 0;
    }

    std::unique_ptr<rtl::TComponent> FForm = test::NamedOwner("Form1");
    TTempDirectory FIni;
    TScopedEnvironment FIniPath{"adsini_path", FIni.Path()};
};

// --- Execute ---------------------------------------------------------------------------------

TEST_F(ConnectionServicesTest, ExecuteConnectsRunsTextDirectlyAndCountsRows) {
    ace::AdsCloseTable(CreateTable("Itens", "Codigo,Char,10;Qtde,Integer;"));
    auto connection = Connection();
    EXPECT_EQ(connection->Execute("INSERT INTO Itens (Codigo, Qtde) VALUES ('A', 1)"), 1);
    EXPECT_TRUE(connection->IsConnected());
    connection->Execute("INSERT INTO Itens (Codigo, Qtde) VALUES ('B', 2)");
    EXPECT_EQ(connection->Execute("UPDATE Itens SET Qtde = Qtde + 1"), 2);
    EXPECT_TRUE(connection->CachedStatements().empty()) << "uncached statements are closed";

    // A cursor wanted: the result is 0 and the cursor is the caller's.
    ADSHANDLE cursor = 0;
    EXPECT_EQ(connection->Execute("SELECT * FROM Itens", nullptr, false, &cursor), 0);
    UNSIGNED32 rows = 0;
    ASSERT_EQ(ace::AdsGetRecordCount(cursor, VE_IGNORE_FILTERS, &rows), 0u);
    EXPECT_EQ(rows, 2u);
    ace::AdsCloseTable(cursor);

    // An engine refusal is an EADSDatabaseError without a dataset.
    try {
        connection->Execute("INSERT INTO Nada (X) VALUES (1)");
        FAIL() << "no error";
    } catch (const EADSDatabaseError& error) {
        EXPECT_NE(error.ACEErrorCode(), 0u);
        EXPECT_EQ(error.DataSetInstanceName(), "");
    }
}

TEST_F(ConnectionServicesTest, TheCachePreparesATextOnceAndTellsLetterCaseApart) {
    ace::AdsCloseTable(CreateTable("Itens", "Codigo,Char,10;"));
    auto connection = Connection();
    db::TParams params;
    params.CreateParam(db::ftString, "c").SetAsString("A");
    const std::string insert = "INSERT INTO Itens (Codigo) VALUES (:c)";
    EXPECT_EQ(connection->Execute(insert, &params, true), 1);
    ASSERT_EQ(connection->CachedStatements().size(), 1u);
    const TStmtInfo first = connection->CachedStatements()[0];
    EXPECT_NE(first.StmtHandle, 0u);
    EXPECT_EQ(first.SQLText, insert);
    EXPECT_EQ(first.HashCode, TAdsConnection::HashSQLText(insert));

    params[0].SetAsString("B");
    EXPECT_EQ(connection->Execute(insert, &params, true), 1);
    ASSERT_EQ(connection->CachedStatements().size(), 1u);
    EXPECT_EQ(connection->CachedStatements()[0].StmtHandle, first.StmtHandle);

    // The hash counts letter case, so the same text in other case is an entry of its own.
    const std::string lower = "insert into Itens (Codigo) values (:c)";
    EXPECT_NE(TAdsConnection::HashSQLText(lower), first.HashCode);
    connection->Execute(lower, &params, true);
    ASSERT_EQ(connection->CachedStatements().size(), 2u);
    EXPECT_NE(connection->CachedStatements()[1].StmtHandle, first.StmtHandle);

    // A cached statement that fails stays cached, prepared; without parameters the text runs
    // directly on it.
    params[0].SetAsString("C");
    EXPECT_EQ(connection->Execute(insert, nullptr, true), 1) << "runs the text, :c null";
    EXPECT_EQ(FirstValue(*connection, "SELECT COUNT(*) AS N FROM Itens", "N"), "4");

    // Disconnecting empties the cache and closes its statements.
    connection->Disconnect();
    EXPECT_TRUE(connection->CachedStatements().empty());
    EXPECT_FALSE(HandleIsOpen(first.StmtHandle));
}

TEST_F(ConnectionServicesTest, AFailedPrepareLeavesNoCacheEntryAndNoStatement) {
    auto connection = Connection();
    connection->Connect();
    for (int i = 0; i < 2; ++i) {
        EXPECT_THROW(connection->Execute("SELECT * FROM Nada", nullptr, true), EADSDatabaseError);
    }
    EXPECT_TRUE(connection->CachedStatements().empty());
}

TEST_F(ConnectionServicesTest, HashSQLText) {
    // Short texts: hash * 37 + unit from the first unit; long ones sample every length/8th
    // unit with * 39; 32-bit wrapping.
    EXPECT_EQ(TAdsConnection::HashSQLText(""), 0);
    EXPECT_EQ(TAdsConnection::HashSQLText("ab"), 97 * 37 + 98);
    EXPECT_EQ(TAdsConnection::HashSQLText("é"), 0xE9) << "one UTF-16 unit, not two bytes";
    // 16 units, step 2: the units at 0, 2, ..., 14 are "acegikmo".
    std::uint32_t expected = 0;
    for (const char c : std::string("acegikmo")) {
        expected = expected * 39u + static_cast<unsigned char>(c);
    }
    EXPECT_EQ(TAdsConnection::HashSQLText("abcdefghijklmnop"), static_cast<std::int32_t>(expected));
    EXPECT_NE(TAdsConnection::HashSQLText("SELECT 1"), TAdsConnection::HashSQLText("select 1"));
}

// Every parameter type, as the engine receives it: the value is stored through an INSERT and
// read back as the field's text.
TEST_F(ConnectionServicesTest, EveryParameterTypeReachesTheEngine) {
    ace::AdsCloseTable(CreateTable(
        "Tipos",
        "S,Char,20;I,Integer;L,Logical;F,Double;D,Date;T,Time;TS,TimeStamp;B,Binary;W,NChar,10;"
        "M,Memo;"));
    const rtl::TDateTime stamp = rtl::EncodeDate(2024, 2, 29) + rtl::EncodeTime(13, 45, 30, 250);
    const struct {
        db::TFieldType type;
        rtl::Variant value;
        const char* column;
        std::string expected;
    } cases[] = {
        {db::ftString, "Açúcar", "S", "Açúcar"},
        {db::ftSmallint, 12, "I", "12"},
        {db::ftInteger, -70000, "I", "-70000"},
        {db::ftAutoInc, 5, "I", "5"},
        {db::ftBCD, "42", "I", "42"},
        {db::ftMemo, "texto longo", "M", "texto longo"},
        {db::ftBoolean, true, "L", "T"},
        {db::ftBoolean, false, "L", "F"},
        {db::ftFloat, 2.5, "F", "2.50"},
        {db::ftCurrency, rtl::Currency::FromScaled(32500), "F", "3.25"},
        {db::ftDate, rtl::Variant::FromDateTime(stamp), "D", "02/29/2024"},
        {db::ftTime, rtl::Variant::FromDateTime(stamp), "T", "13:45:30.250"},
        {db::ftDateTime, rtl::Variant::FromDateTime(stamp), "TS", "02/29/2024 13:45:30.250"},
        {db::ftWideString, std::u16string(u"Ωmega"), "W", "?mega"},
        {db::ftWideMemo, std::u16string(u"memo"), "M", "memo"},
        {db::ftBytes, rtl::TBytes{'a', 'b', 0, 'c'}, "B", std::string("ab\0c", 4)},
        {db::ftBlob, rtl::TBytes{'x', 'y'}, "B", "xy"},
        {db::ftString, rtl::Variant::Null(), "S", ""},
        {db::ftFMTBcd, "9", "I", ""},  // no engine form: left unbound, so null
    };
    auto connection = Connection();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(db::FieldTypeName(c.type)) + " into " + c.column);
        connection->Execute("DELETE FROM Tipos");
        db::TParams params;
        params.CreateParam(c.type, "v").SetValue(c.value);
        EXPECT_EQ(connection->Execute(
                      std::string("INSERT INTO Tipos (") + c.column + ") VALUES (:v)", &params),
                  1);
        EXPECT_EQ(FirstValue(*connection, "SELECT * FROM Tipos", c.column), c.expected);
    }

    db::TParams unknown;
    unknown.CreateParam(db::ftUnknown, "Quem").SetAsString("x");
    unknown[0].SetDataType(db::ftUnknown);  // a typed setter gives an undeclared type its own
    try {
        connection->Execute("INSERT INTO Tipos (S) VALUES (:Quem)", &unknown);
        FAIL() << "no error";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), 5121u);
        EXPECT_STREQ(error.what(),
                     "The field named: 'Quem' has the DataType of ftUnknown, which is invalid.");
    }
}

TEST_F(ConnectionServicesTest, TheSecondFormSetsTheTableOptionsAndWantsARowCount) {
    ace::AdsCloseTable(CreateTable("Itens", "Codigo,Char,10;"));
    auto connection = Connection();
    TAdsDatasetOptions options;
    options.musAdsTableType = VE_TABLE_TYPE_ADT;
    options.musAdsCharType = VE_CHARTYPE_ANSI;
    options.musAdsLockType = VE_LOCK_PROPRIETARY;
    options.musAdsRightsCheck = VE_RIGHTS_IGNORE;
    options.mstrCollation = "ANSI";
    EXPECT_EQ(connection->Execute(options, "INSERT INTO Itens (Codigo) VALUES ('A')"), 1);

    // A statement without a rows-affected count: 0 in the first form, an error in the second.
    const std::string create = "CREATE TABLE Novo (X CHAR(4))";
    EXPECT_EQ(connection->Execute(create), 0);
    EXPECT_THROW(connection->Execute(options, "CREATE TABLE Outro (X CHAR(4))"), EADSDatabaseError);

    options.musAdsTableType = 77;  // an option value the engine refuses
    EXPECT_THROW(connection->Execute(options, "SELECT * FROM Itens"), EADSDatabaseError);
}

// --- Application id, server time, cached tables ---------------------------------------------

TEST_F(ConnectionServicesTest, TheApplicationIdReachesTheEngineWhileConnected) {
    auto connection = Connection();
    connection->SetApplicationID("antes");
    EXPECT_EQ(connection->GetApplicationID(), "antes") << "stored while not connected";
    connection->Connect();
    EXPECT_EQ(connection->GetApplicationID(), "antes") << "sent by connecting";
    connection->SetApplicationID("Contagem 2");
    EXPECT_EQ(connection->GetApplicationID(), "Contagem 2");
    EXPECT_TRUE(connection->CachedStatements().empty());
}

TEST_F(ConnectionServicesTest, ServerTimeAndCachedTables) {
    auto connection = Connection();
    connection->CloseCachedTables();  // nothing while not connected
    EXPECT_FALSE(connection->IsConnected());
    const rtl::TDateTime before = rtl::Now();
    const rtl::TDateTime server = connection->GetServerTime();
    EXPECT_TRUE(connection->IsConnected()) << "connects first";
    // The server is this machine and tells whole seconds.
    EXPECT_GE(server, before - 1.0 / 86400);
    EXPECT_LE(server, rtl::Now() + 1.0 / 86400);
    connection->CloseCachedTables();
}

// --- Name lists ------------------------------------------------------------------------------

TEST_F(ConnectionServicesTest, TableNamesFollowTheMaskOrTheAliasTableType) {
    for (const char* name : {"Produtos", "Auditoria", "Avulsa"}) {
        ace::AdsCloseTable(CreateTable(name, "X,Char,2;"));
    }
    std::ofstream(DataPath() + "/antigo.dbf") << "x";

    const struct {
        const char* alias;  // empty: ConnectPath
        const char* mask;
        std::vector<std::string> expected;
    } cases[] = {
        {"", "*.adt", {"Auditoria.adt", "Avulsa.adt", "Produtos.adt"}},
        {"", "A*", {"Auditoria.adt", "Avulsa.adt", "antigo.dbf"}},
        {"", "?v*", {"Avulsa.adt"}},
        {"", "*.cdx", {}},
        {"PLAIN", "*.dbf", {"antigo.dbf"}},
        {"ADTSTORE", "*.dbf", {"Auditoria.adt", "Avulsa.adt", "Produtos.adt"}},
        {"NTXSTORE", "*.adt", {"antigo.dbf"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.alias) + " " + c.mask);
        TAdsConnection connection(nullptr);
        if (*c.alias != '\0') {
            connection.SetAliasName(c.alias);
        } else {
            connection.SetConnectPath(DataPath() + "/");
        }
        connection.Connect();
        rtl::TStringList names;
        connection.GetTableNames(&names, c.mask);
        EXPECT_EQ(Lines(names), c.expected);

        rtl::TStringList links;
        rtl::TStringList tables;
        connection.GetTableAndLinkNames(&links, &tables, c.mask);
        EXPECT_EQ(Lines(tables), c.expected);
        EXPECT_EQ(links.Count(), tables.Count()) << "one (empty) link alias per table";
        connection.GetTableAndLinkNames(nullptr, &tables, c.mask);
        EXPECT_EQ(tables.Count(), 2 * static_cast<int>(c.expected.size())) << "names add up";
        connection.GetTableNames(nullptr, c.mask);  // nothing without a list
    }
}

TEST_F(ConnectionServicesTest, ListsAndTransactionQuestionsNeedAConnection) {
    auto connection = Connection();
    rtl::TStringList names;
    EXPECT_EQ(Message([&] { connection->GetTableNames(&names, "*.adt"); }),
              "No connection to database server.");
    EXPECT_EQ(Message([&] { connection->GetTableAndLinkNames(&names, &names, "*.adt"); }),
              "No connection to database server.");
    EXPECT_EQ(Message([&] { connection->GetTableNames(nullptr, "*.adt"); }),
              "No connection to database server.")
        << "refused before the list is looked at";
    EXPECT_FALSE(connection->IsConnected());
}

TEST_F(ConnectionServicesTest, DictionaryMembersOnFreeTables) {
    auto connection = Connection();
    EXPECT_EQ(connection->DDVersionMajor(), 0);
    EXPECT_EQ(connection->DDVersionMinor(), 0);
    rtl::TStringList procedures;
    connection->GetProcedureNames(&procedures);
    EXPECT_TRUE(connection->IsConnected()) << "connects first";
    EXPECT_EQ(procedures.Count(), 0);
    EXPECT_EQ(connection->DDVersionMajor(), 0);
    EXPECT_EQ(connection->UserGroups().Count(), 0);
    EXPECT_EQ(connection->UserGroupsString(), "");
}

TEST_F(ConnectionServicesTest, LinkOperationsOnFreeTables) {
    auto connection = Connection();
    // The handle goes to the engine as it is: not connected, the engine refuses it and the
    // component does not connect.
    EXPECT_THROW(connection->GetNumActiveDDLinks(), EADSDatabaseError);
    EXPECT_FALSE(connection->IsConnected());

    connection->SetIsConnected(true);
    EXPECT_EQ(connection->GetNumActiveDDLinks(), 0);
    rtl::TStringList items;
    items.Add("kept");
    connection->GetActiveDDLinkInfo(1, nullptr);  // nothing without a list, not even a call
    const auto refusal = [](const std::function<void()>& action) -> UNSIGNED32 {
        try {
            action();
        } catch (const EADSDatabaseError& error) {
            return error.ACEErrorCode();
        }
        return 0;
    };
    EXPECT_EQ(refusal([&] { connection->GetActiveDDLinkInfo(1, &items); }), 5132u);
    EXPECT_EQ(items.Count(), 1) << "a refused description adds nothing";
    EXPECT_EQ(refusal([&] {
                  connection->CreateDDLink("Other", DataPath() + "/other.add", "Admin", "secret",
                                           TAdsLinkOptions{loGlobal, loPathIsStatic});
              }),
              5132u);
    EXPECT_EQ(refusal([&] { connection->DropDDLink("Other", true); }), 5132u);
    EXPECT_TRUE(connection->IsConnected());
}

TEST_F(ConnectionServicesTest, LinkDescriptionsAreSplitAtEachSemicolon) {
    const struct {
        std::string info;
        std::vector<std::string> items;
    } cases[] = {
        {"Sales;/data/sales.add;Admin", {"Sales", "/data/sales.add"}},  // the last has no ";"
        {"Sales;/data/sales.add;Admin;", {"Sales", "/data/sales.add", "Admin"}},
        {"a;;b;", {"a", "", "b"}},
        {"", {}},
        {"alone", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LinkInfoItems(c.info), c.items) << c.info;
    }
    EXPECT_EQ(TAdsLinkOptions({loGlobal, loAuthenticateActiveUser, loPathIsStatic}).Bits(), 7u);
    EXPECT_EQ(TAdsLinkOptions{loPathIsStatic}.Bits(), 4u);
}

// --- Adopting an engine connection -----------------------------------------------------------

class AdoptedConnectionTest : public ConnectionServicesTest {
  protected:
    void SetUp() override {
        ConnectionServicesTest::SetUp();
        const std::string text = "Data Source=" + DataPath() +
                                 ";User ID=ana;Password=segredo;FIPS=True;EncryptionType=AES128;"
                                 "TLSCertificate=/etc/loja.pem;TLSCiphers=\"AES256-SHA;RC4-MD5\";"
                                 "TLSCommonName=loja;CommType=TCP_IP;";
        ASSERT_EQ(ace::AdsConnect101(EngineText(text), nullptr, &FEngineConnection), 0u);
    }
    void TearDown() override {
        if (FEngineConnection != 0) {
            ace::AdsDisconnect(FEngineConnection);
        }
    }

    static void ExpectAdoptedSettings(const TAdsConnection& connection, const std::string& path) {
        EXPECT_EQ(connection.ConnectPath(), path);
        EXPECT_EQ(connection.Username(), "ana");
        EXPECT_EQ(connection.Password(), "segredo");
        EXPECT_TRUE(connection.AdsServerTypes().Contains(stADS_LOCAL));
        EXPECT_FALSE(connection.AdsServerTypes().Contains(stADS_REMOTE));
        const TAdsEncryptionOptions& encryption = connection.EncryptionOptions();
        EXPECT_TRUE(encryption.FIPSMode());
        EXPECT_EQ(encryption.DataEncryptionType(), etAdsAES128);
        EXPECT_EQ(encryption.TLSCertificate(), "/etc/loja.pem");
        EXPECT_EQ(encryption.TLSCommonName(), "loja");
        EXPECT_EQ(encryption.TLSCipherSuite(), (TAdsTLSCipherSuites{tlsAES256SHA, tlsRC4MD5}));
        EXPECT_EQ(connection.CommunicationType(), ctAdsTCPIP);
    }

    ADSHANDLE FEngineConnection = 0;
};

TEST_F(AdoptedConnectionTest, ASharedHandleIsUsedAndNeverDisconnected) {
    ace::AdsCloseTable(CreateTable("Itens", "Codigo,Char,10;"));
    TAdsConnection* connection = TAdsConnection::CreateWithHandle(FForm.get(), FEngineConnection);
    EXPECT_EQ(connection->Owner(), FForm.get());
    EXPECT_TRUE(connection->IsConnected());
    EXPECT_EQ(connection->ConnectionHandle(), FEngineConnection);
    ExpectAdoptedSettings(*connection, DataPath());
    EXPECT_EQ(connection->Execute("INSERT INTO Itens (Codigo) VALUES ('A')"), 1);

    EXPECT_EQ(Message([&] { connection->SetHandle(FEngineConnection, true); }),
              "TAdsConnection already has a working connection");
    connection->Disconnect();
    EXPECT_TRUE(HandleIsOpen(FEngineConnection)) << "a shared handle stays the owner's";
    EXPECT_EQ(Message([&] { connection->SetHandle(FEngineConnection, true); }),
              "TAdsConnection already has a working connection")
        << "still holding the shared handle";
    connection->Connect();
    EXPECT_EQ(connection->ConnectionHandle(), FEngineConnection);
    connection->Disconnect();

    // Cleared, the component opens a connection of its own with the adopted settings.
    connection->ClearHandle();
    connection->Connect();
    EXPECT_NE(connection->ConnectionHandle(), FEngineConnection);
    const ADSHANDLE own = connection->ConnectionHandle();
    delete connection;
    EXPECT_FALSE(HandleIsOpen(own));
    EXPECT_TRUE(HandleIsOpen(FEngineConnection));
}

TEST_F(AdoptedConnectionTest, AnUnsharedHandleIsCopiedIntoAConnectionOfItsOwn) {
    std::unique_ptr<TAdsConnection> connection(
        TAdsConnection::CreateFromHandle(nullptr, FEngineConnection, "Copia"));
    EXPECT_EQ(connection->Name(), "Copia");
    EXPECT_FALSE(connection->LoginPrompt());
    EXPECT_TRUE(connection->IsConnected());
    EXPECT_NE(connection->ConnectionHandle(), FEngineConnection);
    ExpectAdoptedSettings(*connection, DataPath());
    const ADSHANDLE own = connection->ConnectionHandle();
    connection->Disconnect();
    EXPECT_FALSE(HandleIsOpen(own));
    EXPECT_TRUE(HandleIsOpen(FEngineConnection));
}

TEST_F(AdoptedConnectionTest, AHandleWithoutAPathIsRefusedAndNothingIsLeftBehind) {
    ADSHANDLE closed = 0;
    ASSERT_EQ(ace::AdsConnect(EngineText(DataPath()), &closed), 0u);
    ace::AdsDisconnect(closed);
    TAdsConnection connection(nullptr);
    EXPECT_EQ(Message([&] { connection.SetHandle(closed, true); }),
              "TAdsConnection cannot resolve the connection path from the given connection "
              "handle.");
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(connection.ConnectPath(), "");
    const int before = FForm->ComponentCount();
    EXPECT_THROW(TAdsConnection::CreateWithHandle(FForm.get(), closed),
                 adscnnct::AdsConnectionError);
    EXPECT_EQ(FForm->ComponentCount(), before);
}

// --- The dataset's GetFiles --------------------------------------------------------------------

TEST_F(ConnectionServicesTest, GetFilesListsTheTablesOfTheDatasetsDatabase) {
    ace::AdsCloseTable(CreateTable("Produtos", "X,Char,2;"));
    ace::AdsCloseTable(CreateTable("Auditoria", "X,Char,2;"));
    std::ofstream(DataPath() + "/antigo.dbf") << "x";
    const std::vector<std::string> tables = {"Auditoria.adt", "Produtos.adt"};

    // Through a connection component, which is connected for it.
    auto connection = Connection();
    TAdsTable viaConnection(FForm.get());
    viaConnection.SetDatabaseName("Conn");
    rtl::TStringList names;
    viaConnection.GetFiles(names);
    EXPECT_EQ(Lines(names), tables);
    EXPECT_TRUE(connection->IsConnected());

    // By path, closed: a connection of its own for the search, closed after it.
    TAdsTable byPath(FForm.get());
    byPath.SetDatabaseName(DataPath());
    names.Clear();
    byPath.GetFiles(names);
    EXPECT_EQ(Lines(names), tables);

    // Open: on its table's connection; an NTX dataset lists the .dbf files.
    byPath.SetTableName("Produtos");
    byPath.Open();
    names.Clear();
    byPath.GetFiles(names);
    EXPECT_EQ(Lines(names), tables);
    byPath.Close();
    byPath.SetTableType(ttAdsNTX);
    names.Clear();
    byPath.GetFiles(names);
    EXPECT_EQ(Lines(names), std::vector<std::string>{"antigo.dbf"});

    // No database: nothing; a missing directory: the engine's refusal, for this dataset.
    TAdsTable nowhere(FForm.get());
    nowhere.SetName("Nenhum");
    names.Clear();
    nowhere.GetFiles(names);
    EXPECT_EQ(names.Count(), 0);
    nowhere.SetDatabaseName(DataPath() + "/falta");
    try {
        nowhere.GetFiles(names);
        FAIL() << "no error";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), static_cast<UNSIGNED32>(VE_PATH_NOT_FOUND));
        EXPECT_EQ(error.DataSetInstanceName(), "Nenhum");
    }
}

}  // namespace
}  // namespace varelum::ads
