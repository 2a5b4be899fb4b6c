// TAdsConnection against the real engine, on a store in a temporary directory: the defaults,
// the connection string for every property that changes it, the setters and their refusals,
// connecting and disconnecting with their events in order, the attached datasets (closed by a
// disconnect, reopened after a reconnect, sharing one handle), destruction, Loaded, the log-in
// step and the renaming that links datasets to a connection.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adstable_query.h"
#include "ads/adstable_table.h"
#include "component_test_support.h"
#include "db/dataset.h"
#include "rtl/component_reader.h"

namespace varelum::ads {
namespace {

using test::EngineText;
using test::TScopedEnvironment;
using test::TTempDirectory;

// Installs an application exception handler that keeps the messages it gets.
class TCollectedErrors {
  public:
    TCollectedErrors() {
        db::SetApplicationExceptionHandler([this](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                Messages.emplace_back(e.what());
            }
        });
    }
    ~TCollectedErrors() { db::SetApplicationExceptionHandler(nullptr); }
    TCollectedErrors(const TCollectedErrors&) = delete;
    TCollectedErrors& operator=(const TCollectedErrors&) = delete;

    std::vector<std::string> Messages;
};

class ConnectionTest : public test::TStoreFixture {
  protected:
    ConnectionTest() { WriteAdsIni(""); }

    // An ads.ini of our own with the aliases of every table-type letter, plus `extra` lines.
    void WriteAdsIni(const std::string& extra) {
        FIni.WriteFile("ads.ini",
                       "[Databases]\nBALDERIM = " + DataPath() + "\nADTSTORE = " + DataPath() +
                           ";A\nNTXSTORE = " + DataPath() + ";N\nCDXSTORE = " + DataPath() +
                           ";c\nVFPSTORE = " + DataPath() + ";V\n" + extra);
    }

    // A connection of the form on the store's directory.
    std::unique_ptr<TAdsConnection> Connection(const std::string& name = "Conn") {
        auto connection = std::make_unique<TAdsConnection>(FForm.get());
        connection->SetName(name);
        connection->SetConnectPath(DataPath());
        return connection;
    }

    std::unique_ptr<TAdsTable> Table(const std::string& name, const std::string& database,
                                     const std::string& tableName = "CadFuncionariosLojas.adt") {
        auto table = std::make_unique<TAdsTable>(FForm.get());
        table->SetName(name);
        table->SetDatabaseName(database);
        table->SetTableName(tableName);
        return table;
    }

    std::unique_ptr<TAdsQuery> Query(const std::string& name, const std::string& database) {
        auto query = std::make_unique<TAdsQuery>(FForm.get());
        query->SetName(name);
        query->SetDatabaseName(database);
        query->SQL().Add("SELECT * FROM CadFuncionariosLojas");
        return query;
    }

    void CreateStaff() { CreateStaffTable({{"1", "ANA"}, {"2", "BRUNO"}}); }

    // The engine's kind of a handle, or the error it answers for it.
    static UNSIGNED32 HandleState(ADSHANDLE handle) {
        UNSIGNED16 type = 0;
        const UNSIGNED32 result = ace::AdsGetHandleType(handle, &type);
        return result == 0 ? type : result;
    }

    std::unique_ptr<rtl::TComponent> FForm = test::NamedOwner("Form1");
    TTempDirectory FIni;
    TScopedEnvironment FIniPath{"adsini_path", FIni.Path()};
};

// --- Creation and defaults
// ------------------------------------------------------------------------

TEST_F(ConnectionTest, ANewConnectionHasTheDefaultsAndJoinsTheRegistry) {
    TAdsConnection connection;
    EXPECT_EQ(connection.AliasName(), "");
    EXPECT_TRUE(connection.ValidAlias());
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(connection.ConnectPath(), "");
    EXPECT_EQ(connection.ConnectionHandle(), 0u);
    EXPECT_EQ(connection.Handle(), 0u);
    EXPECT_TRUE(connection.AdsServerTypes().Empty());
    EXPECT_TRUE(connection.LoginPrompt());
    EXPECT_EQ(connection.Username(), "");
    EXPECT_EQ(connection.Password(), "");
    EXPECT_FALSE(connection.MiddleTierConnection());
    EXPECT_TRUE(connection.StoreConnected());
    EXPECT_FALSE(connection.StoredProcedureConnection());
    EXPECT_EQ(connection.Compression(), ccAdsCompressionNotSet);
    EXPECT_EQ(connection.CommunicationType(), ctAdsDefault);
    EXPECT_FALSE(connection.ReadOnly());
    EXPECT_TRUE(connection.CancelOnRollback());
    EXPECT_EQ(connection.SQLTimeout(), 0);
    EXPECT_EQ(connection.ApplicationID(), "");
    EXPECT_EQ(connection.AdsCollation(), "");
    EXPECT_EQ(connection.ExtraConnectString(), "");
    EXPECT_EQ(connection.DateFormat(), "");
    EXPECT_FALSE(connection.IsDictionaryConn());
    EXPECT_EQ(connection.DataSetCount(), 0);
    EXPECT_EQ(connection.GetAdsTableType(), ttAdsConnectUnspecified);
    EXPECT_NE(connection.ConnectionThreadID(), 0);

    const TAdsEncryptionOptions& encryption = connection.EncryptionOptions();
    EXPECT_EQ(&encryption.OwningConnection(), &connection);
    EXPECT_FALSE(encryption.FIPSMode());
    EXPECT_TRUE(encryption.TLSCipherSuite().Empty());
    EXPECT_EQ(encryption.TLSCertificate(), "");
    EXPECT_EQ(encryption.TLSCommonName(), "");
    EXPECT_EQ(encryption.DataEncryptionType(), etAdsDefault);
    EXPECT_EQ(encryption.DataDictionaryPassword(), "");

    TConnectionRegistry* registry = ConnectionRegistry();
    ASSERT_NE(registry, nullptr);
    const auto lock = registry->Lock();
    EXPECT_EQ(registry->Items().back(), &connection);
}

// --- The connection string
// ------------------------------------------------------------------------

TEST_F(ConnectionTest, TheConnectionStringHasEachPartItsPropertiesAskForInOrder) {
    const std::string data = DataPath();
    struct Case {
        const char* what;
        std::function<void(TAdsConnection&)> set;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"a path alone", [](TAdsConnection&) {}, "Data Source=" + data + ";FIPS=False;"},
        {"the local server", [](TAdsConnection& c) { c.SetAdsServerTypes({stADS_LOCAL}); },
         "Data Source=" + data + ";FIPS=False;ServerType=LOCAL;"},
        {"every server type, local first",
         [](TAdsConnection& c) {
             c.SetAdsServerTypes({stADS_AIS, stADS_REMOTE, stADS_LOCAL});
         },
         "Data Source=" + data + ";FIPS=False;ServerType=LOCAL|REMOTE|INTERNET;"},
        {"remote and Internet",
         [](TAdsConnection& c) {
             c.SetAdsServerTypes({stADS_AIS, stADS_REMOTE});
         },
         "Data Source=" + data + ";FIPS=False;ServerType=REMOTE|INTERNET;"},
        {"a user of a dictionary, with a password",
         [](TAdsConnection& c) {
             c.SetConnectPath("/srv/store.add");
             c.SetUsername("ana");
             c.SetPassword("s;cret");
         },
         "Data Source=/srv/store.add;User ID=ana;Password=\"s;cret\";FIPS=False;"},
        {"a user of a dictionary, no password",
         [](TAdsConnection& c) {
             c.SetConnectPath("/srv/store.ADD");
             c.SetUsername("ana");
         },
         "Data Source=/srv/store.ADD;User ID=ana;FIPS=False;"},
        {"a password without a user",
         [](TAdsConnection& c) {
             c.SetConnectPath("/srv/store.add");
             c.SetPassword("secret");
         },
         "Data Source=/srv/store.add;FIPS=False;"},
        {"a user of free tables",
         [](TAdsConnection& c) {
             c.SetUsername("ana");
             c.SetPassword("secret");
         },
         "Data Source=" + data + ";FIPS=False;"},
        {"FIPS", [](TAdsConnection& c) { c.EncryptionOptions().SetFIPSMode(true); },
         "Data Source=" + data + ";FIPS=True;"},
        {"a dictionary password",
         [](TAdsConnection& c) { c.EncryptionOptions().SetDataDictionaryPassword("dd"); },
         "Data Source=" + data + ";FIPS=False;DDPassword=dd;"},
        {"AES128",
         [](TAdsConnection& c) { c.EncryptionOptions().SetDataEncryptionType(etAdsAES128); },
         "Data Source=" + data + ";FIPS=False;EncryptionType=AES128;"},
        {"AES256",
         [](TAdsConnection& c) { c.EncryptionOptions().SetDataEncryptionType(etAdsAES256); },
         "Data Source=" + data + ";FIPS=False;EncryptionType=AES256;"},
        {"RC4", [](TAdsConnection& c) { c.EncryptionOptions().SetDataEncryptionType(etAdsRC4); },
         "Data Source=" + data + ";FIPS=False;EncryptionType=RC4;"},
        {"a certificate",
         [](TAdsConnection& c) { c.EncryptionOptions().SetTLSCertificate("/etc/c.pem"); },
         "Data Source=" + data + ";FIPS=False;TLSCertificate=/etc/c.pem;"},
        {"a common name",
         [](TAdsConnection& c) { c.EncryptionOptions().SetTLSCommonName("store.local"); },
         "Data Source=" + data + ";FIPS=False;TLSCommonName=store.local;"},
        {"every cipher, in their order",
         [](TAdsConnection& c) {
             c.EncryptionOptions().SetTLSCipherSuite({tlsRC4MD5, tlsAES256SHA, tlsAES128SHA});
         },
         "Data Source=" + data + ";FIPS=False;TLSCiphers=AES128-SHA:AES256-SHA:RC4-MD5;"},
        {"two ciphers",
         [](TAdsConnection& c) {
             c.EncryptionOptions().SetTLSCipherSuite({tlsRC4MD5, tlsAES256SHA});
         },
         "Data Source=" + data + ";FIPS=False;TLSCiphers=AES256-SHA:RC4-MD5;"},
        {"UDP", [](TAdsConnection& c) { c.SetCommunicationType(ctAdsUDPIP); },
         "Data Source=" + data + ";FIPS=False;CommType=UDP_IP;"},
        {"IPX", [](TAdsConnection& c) { c.SetCommunicationType(ctAdsIPX); },
         "Data Source=" + data + ";FIPS=False;CommType=IPX;"},
        {"TCP", [](TAdsConnection& c) { c.SetCommunicationType(ctAdsTCPIP); },
         "Data Source=" + data + ";FIPS=False;CommType=TCP_IP;"},
        {"TLS", [](TAdsConnection& c) { c.SetCommunicationType(ctAdsTLS); },
         "Data Source=" + data + ";FIPS=False;CommType=TLS;"},
        {"compression for the Internet",
         [](TAdsConnection& c) { c.SetCompression(ccAdsCompressInternet); },
         "Data Source=" + data + ";FIPS=False;Compression=INTERNET;"},
        {"compression always", [](TAdsConnection& c) { c.SetCompression(ccAdsCompressAlways); },
         "Data Source=" + data + ";FIPS=False;Compression=ALWAYS;"},
        {"compression never", [](TAdsConnection& c) { c.SetCompression(ccAdsCompressNever); },
         "Data Source=" + data + ";FIPS=False;Compression=NEVER;"},
        {"an SQL timeout", [](TAdsConnection& c) { c.SetSQLTimeout(30); },
         "Data Source=" + data + ";FIPS=False;SQLTimeout=30;"},
        {"a middle tier", [](TAdsConnection& c) { c.SetMiddleTierConnection(true); },
         "Data Source=" + data + ";FIPS=False;IncrementUserCount=TRUE;"},
        {"stored procedures", [](TAdsConnection& c) { c.SetStoredProcedureConnection(true); },
         "Data Source=" + data + ";FIPS=False;StoredProcedureConnection=TRUE;"},
        {"a date format", [](TAdsConnection& c) { c.SetDateFormat("dd/MM/yyyy"); },
         "Data Source=" + data + ";FIPS=False;DateFormat=dd/MM/yyyy;"},
        {"an alias without a letter", [](TAdsConnection& c) { c.SetAliasName("BALDERIM"); },
         "Data Source=" + data + ";FIPS=False;"},
        {"an alias of letter A", [](TAdsConnection& c) { c.SetAliasName("ADTSTORE"); },
         "Data Source=" + data + ";FIPS=False;TableType=ADT;"},
        {"an alias of letter N", [](TAdsConnection& c) { c.SetAliasName("NTXSTORE"); },
         "Data Source=" + data + ";FIPS=False;TableType=NTX;"},
        {"an alias of letter c", [](TAdsConnection& c) { c.SetAliasName("CDXSTORE"); },
         "Data Source=" + data + ";FIPS=False;TableType=CDX;"},
        {"an alias of letter V", [](TAdsConnection& c) { c.SetAliasName("VFPSTORE"); },
         "Data Source=" + data + ";FIPS=False;TableType=VFP;"},
        {"an extra string, as it stands",
         [](TAdsConnection& c) { c.SetExtraConnectString("Colour=blue"); },
         "Data Source=" + data + ";FIPS=False;Colour=blue"},
        {"every part at once",
         [](TAdsConnection& c) {
             c.SetAliasName("NTXSTORE");
             c.SetConnectPath("/srv/store.add");  // the path wins and forgets the alias
             c.SetUsername("ana");
             c.SetPassword("pw");
             c.EncryptionOptions().SetFIPSMode(true);
             c.EncryptionOptions().SetDataDictionaryPassword("dd");
             c.EncryptionOptions().SetDataEncryptionType(etAdsAES256);
             c.EncryptionOptions().SetTLSCertificate("cert");
             c.EncryptionOptions().SetTLSCommonName("cn");
             c.EncryptionOptions().SetTLSCipherSuite({tlsAES128SHA});
             c.SetCommunicationType(ctAdsTLS);
             c.SetCompression(ccAdsCompressAlways);
             c.SetSQLTimeout(5);
             c.SetMiddleTierConnection(true);
             c.SetStoredProcedureConnection(true);
             c.SetAdsServerTypes({stADS_REMOTE});
             c.SetDateFormat("yyyy-MM-dd");
             c.SetExtraConnectString("Extra=1;");
         },
         "Data Source=/srv/store.add;User ID=ana;Password=\"pw\";FIPS=True;DDPassword=dd;"
         "EncryptionType=AES256;TLSCertificate=cert;TLSCommonName=cn;TLSCiphers=AES128-SHA;"
         "CommType=TLS;Compression=ALWAYS;SQLTimeout=5;IncrementUserCount=TRUE;"
         "StoredProcedureConnection=TRUE;ServerType=REMOTE;DateFormat=yyyy-MM-dd;Extra=1;"},
    };
    for (const Case& c : cases) {
        TAdsConnection connection;
        connection.SetConnectPath(data);
        c.set(connection);
        EXPECT_EQ(connection.ConnectString(), c.expected) << c.what;
    }
}

TEST_F(ConnectionTest, TheDataSourceIsCutTo255Characters) {
    TAdsConnection connection;
    const std::string longPath = "/" + std::string(300, 'd');
    connection.SetConnectPath(longPath);
    EXPECT_EQ(connection.ConnectString(),
              "Data Source=" + longPath.substr(0, 255) + ";FIPS=False;");
    // Characters, not bytes: a character is never cut in half.
    const std::string accented = "/" + std::string(253, 'd') + "\xC3\xA9\xC3\xA9\xC3\xA9";
    connection.SetConnectPath(accented);
    EXPECT_EQ(connection.ConnectString(),
              "Data Source=/" + std::string(253, 'd') + "\xC3\xA9;FIPS=False;");
}

// --- Paths
// ----------------------------------------------------------------------------------------

TEST_F(ConnectionTest, TheConnectionPathIsTheDirectoryOfAFileButNotOfADictionary) {
    struct Case {
        std::string given;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/srv/store", "/srv/store"},
        {"/srv/store/", "/srv/store/"},
        {"/srv/store/staff.adt", "/srv/store"},
        {"C:\\store\\staff.dbf", "C:\\store"},
        {"/srv\\mixed/staff.adt", "/srv\\mixed"},
        {"staff.adt", ".\\"},
        {"/srv/store.add", "/srv/store.add"},
        {"/srv/store.Add", "/srv/store.Add"},
        {".adt", ".adt"},  // four characters: not a file name
    };
    for (const Case& c : cases) {
        TAdsConnection connection;
        connection.SetConnectPath(c.given);
        EXPECT_EQ(connection.GetConnectionWithDDPath(), c.given);
        EXPECT_EQ(connection.GetConnectionPath(), c.expected) << c.given;
    }
}

TEST_F(ConnectionTest, AliasAndPathReplaceEachOther) {
    TAdsConnection connection;
    connection.SetConnectPath("/elsewhere");
    connection.SetAliasName("NTXSTORE");
    EXPECT_EQ(connection.ConnectPath(), "");
    EXPECT_EQ(connection.GetConnectionWithDDPath(), DataPath());
    EXPECT_EQ(connection.GetAdsTableType(), ttAdsConnectNTX);

    // An empty alias keeps the path, a path forgets the alias.
    connection.SetConnectPath("/srv/store.add");
    EXPECT_EQ(connection.AliasName(), "");
    EXPECT_EQ(connection.GetAdsTableType(), ttAdsConnectUnspecified);
    EXPECT_TRUE(connection.IsDictionaryConn());
    connection.SetAliasName("");
    EXPECT_EQ(connection.ConnectPath(), "/srv/store.add");
}

TEST_F(ConnectionTest, AnAliasTypeReachesTheOwnersDataSetsOnTheConnection) {
    auto connection = Connection();
    auto linked = Table("TbLinked", "Conn");
    auto unnamed = Table("TbUnnamed", "");
    unnamed->SetAdsConnection(connection.get());
    auto other = Table("TbOther", "BALDERIM");
    connection->SetAliasName("NTXSTORE");
    EXPECT_EQ(linked->TableType(), ttAdsNTX);
    EXPECT_EQ(unnamed->TableType(), ttAdsNTX);
    EXPECT_EQ(other->TableType(), ttAdsADT) << "not on this connection";
}

// --- Setters and their refusals
// -------------------------------------------------------------------

TEST_F(ConnectionTest, WhileConnectedTheConnectionsWhereaboutsAndOptionsAreRefused) {
    auto connection = Connection();
    connection->SetExtraConnectString("Colour=blue;");
    connection->Connect();
    ASSERT_TRUE(connection->IsConnected());
    struct Case {
        std::function<void()> change;
        std::string expected;
    };
    TAdsEncryptionOptions& encryption = connection->EncryptionOptions();
    const std::string active = "Connection cannot be active when changing property.";
    const std::vector<Case> cases = {
        {[&] { connection->SetAliasName("BALDERIM"); },
         "The TAdsConnection.AliasName may not be changed when IsConnected is TRUE"},
        {[&] { connection->SetConnectPath("/other"); },
         "The TAdsConnection.ConnectPath may not be changed when IsConnected is TRUE"},
        {[&] { connection->SetExtraConnectString(""); },
         "The TAdsConnection.ExtraConnectString may not be changed when IsConnected is TRUE"},
        {[&] { connection->SetDateFormat(""); },
         "The TAdsConnection.DateFormat may not be set to an empty string when IsConnected is "
         "TRUE"},
        {[&] { encryption.SetFIPSMode(true); }, active},
        {[&] { encryption.SetTLSCipherSuite({tlsRC4MD5}); }, active},
        {[&] { encryption.SetTLSCertificate("c"); }, active},
        {[&] { encryption.SetTLSCommonName("n"); }, active},
        {[&] { encryption.SetDataEncryptionType(etAdsRC4); }, active},
        {[&] { encryption.SetDataDictionaryPassword("p"); }, active},
    };
    const std::string before = connection->ConnectString();
    for (const Case& c : cases) {
        EXPECT_EQ(Message(c.change), c.expected);
    }
    EXPECT_EQ(connection->ConnectString(), before) << "nothing changed";
    EXPECT_EQ(connection->ConnectPath(), DataPath());
    connection->Disconnect();
    encryption.SetFIPSMode(true);
    EXPECT_TRUE(encryption.FIPSMode());
}

TEST_F(ConnectionTest, ADateFormatIsTriedOnTheEngineBeforeItIsKept) {
    UNSIGNED8 format[16] = {};
    UNSIGNED16 length = sizeof format;
    ASSERT_EQ(ace::AdsSetDateFormat(EngineText("dd/MM/yyyy")), 0u);

    TAdsConnection connection;
    connection.SetConnectPath(DataPath());
    connection.SetDateFormat("yyyy-MM-dd");
    EXPECT_EQ(connection.DateFormat(), "yyyy-MM-dd");
    EXPECT_EQ(Message([&] { connection.SetDateFormat("QQ"); }), "Unrecognized DateFormat String");
    EXPECT_EQ(connection.DateFormat(), "yyyy-MM-dd");
    connection.SetDateFormat("");
    EXPECT_EQ(connection.DateFormat(), "");
    ASSERT_EQ(ace::AdsGetDateFormat(format, &length), 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(format), "DD/MM/YYYY")
        << "the process's format is put back";

    // Connected, the format goes to the connection itself.
    connection.SetDateFormat("dd.MM.yyyy");
    connection.Connect();
    double julian = 0;
    EXPECT_EQ(ace::AdsConvertDateToJulian(connection.ConnectionHandle(), EngineText("30.12.1899"),
                                          10, &julian),
              0u)
        << "connected with the format of the connection string";
    EXPECT_EQ(julian, 2415019);
    connection.SetDateFormat("CCYY-MM-DD");
    EXPECT_EQ(ace::AdsConvertDateToJulian(connection.ConnectionHandle(), EngineText("1899-12-30"),
                                          10, &julian),
              0u);
    EXPECT_EQ(julian, 2415019);
    try {
        connection.SetDateFormat("QQ");
        ADD_FAILURE() << "the engine took a format without a day";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), VE_INVALID_DATE_FORMAT);
    }
    EXPECT_EQ(connection.DateFormat(), "CCYY-MM-DD");
}

TEST_F(ConnectionTest, AnSQLTimeoutIsSentToAConnectedEngine) {
    auto connection = Connection();
    connection->SetSQLTimeout(-1);  // only stored while disconnected
    connection->SetSQLTimeout(0);
    connection->Connect();
    connection->SetSQLTimeout(20);
    EXPECT_EQ(connection->SQLTimeout(), 20);
    EXPECT_THROW(connection->SetSQLTimeout(-5), rtl::ERangeError);
    EXPECT_EQ(connection->SQLTimeout(), 20);
}

// --- Connecting
// -----------------------------------------------------------------------------------

// Records the events of a connection and of datasets, in order.
class TEventLog {
  public:
    void Watch(TAdsConnection& connection) {
        connection.BeforeConnect = Recorder("BeforeConnect");
        connection.AfterConnect = Recorder("AfterConnect");
        connection.OnConnect = Recorder("OnConnect");
        connection.BeforeDisconnect = Recorder("BeforeDisconnect");
        connection.AfterDisconnect = Recorder("AfterDisconnect");
        connection.OnDisconnect = Recorder("OnDisconnect");
    }
    void Watch(db::TDataSet& dataset) {
        dataset.AfterClose = [this](db::TDataSet& d) {
            Events.push_back(d.Name() + ".AfterClose");
        };
    }
    std::vector<std::string> Take() { return std::exchange(Events, {}); }

    std::vector<std::string> Events;

  private:
    TAdsConnectionNotifyEvent Recorder(const char* name) {
        return [this, name](TAdsConnection&) { Events.emplace_back(name); };
    }
};

TEST_F(ConnectionTest, ConnectAndDisconnectFireTheirEventsInOrder) {
    CreateStaff();
    auto connection = Connection();
    auto table = Table("TbStaff", "Conn");
    TEventLog log;
    log.Watch(*connection);
    log.Watch(*table);

    connection->Connect();
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"BeforeConnect", "AfterConnect", "OnConnect"}));
    EXPECT_TRUE(connection->IsConnected());
    EXPECT_NE(connection->ConnectionHandle(), 0u);
    EXPECT_EQ(connection->Handle(), connection->ConnectionHandle());
    EXPECT_EQ(test::EngineConnectionPath(connection->ConnectionHandle()), DataPath());
    connection->Connect();
    EXPECT_TRUE(log.Take().empty()) << "connecting again does nothing";

    table->Open();
    connection->Disconnect();
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"BeforeDisconnect", "TbStaff.AfterClose",
                                                    "AfterDisconnect", "OnDisconnect"}));
    EXPECT_FALSE(connection->IsConnected());
    EXPECT_EQ(connection->ConnectionHandle(), 0u);
    EXPECT_EQ(connection->Handle(), 0u);
    connection->Disconnect();
    EXPECT_TRUE(log.Take().empty()) << "disconnecting again does nothing";

    connection->SetIsConnected(true);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"BeforeConnect", "AfterConnect", "OnConnect"}));
    connection->SetIsConnected(false);
    EXPECT_EQ(log.Take(),
              (std::vector<std::string>{"BeforeDisconnect", "AfterDisconnect", "OnDisconnect"}));
}

TEST_F(ConnectionTest, AFailedConnectStaysDisconnectedAndFiresNothingAfterBeforeConnect) {
    struct Case {
        const char* what;
        std::function<void(TAdsConnection&)> set;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"no path", [](TAdsConnection&) {},
         "Must specify connection string before getting a server connection."},
        {"an unknown alias", [](TAdsConnection& c) { c.SetAliasName("NOWHERE"); },
         "TAdsConnection.AliasName is not valid"},
        {"a missing directory",
         [this](TAdsConnection& c) { c.SetConnectPath(DataPath() + "/missing"); }, "(engine)"},
        {"no local server", [](TAdsConnection& c) { c.SetAdsServerTypes({stADS_REMOTE}); },
         "(engine)"},
    };
    for (const Case& c : cases) {
        TAdsConnection connection;
        if (std::string(c.what) != "no path") {
            connection.SetConnectPath(DataPath());
        }
        c.set(connection);
        TEventLog log;
        log.Watch(connection);
        bool engineRefused = false;
        try {
            connection.Connect();
            ADD_FAILURE() << c.what << ": connected";
        } catch (const EADSDatabaseError& error) {
            engineRefused = true;
            EXPECT_NE(error.ACEErrorCode(), 0u) << c.what;
            EXPECT_EQ(error.DataSetInstanceName(), "") << c.what;
        } catch (const adscnnct::AdsConnectionError& error) {
            EXPECT_EQ(error.Message(), c.expected) << c.what;
        }
        EXPECT_EQ(engineRefused, c.expected == "(engine)") << c.what;
        EXPECT_FALSE(connection.IsConnected()) << c.what;
        EXPECT_EQ(connection.ConnectionHandle(), 0u) << c.what;
        EXPECT_EQ(log.Take(), std::vector<std::string>{"BeforeConnect"}) << c.what;
    }
}

TEST_F(ConnectionTest, AnUnknownAliasConnectsOnceAdsIniHasIt) {
    TAdsConnection connection;
    connection.SetAliasName("LATER");
    EXPECT_FALSE(connection.ValidAlias());
    EXPECT_EQ(connection.AliasName(), "LATER");
    EXPECT_EQ(Message([&] { connection.Connect(); }), "TAdsConnection.AliasName is not valid");
    EXPECT_FALSE(connection.IsConnected());

    WriteAdsIni("LATER = " + DataPath() + ";A\n");
    connection.Connect();
    EXPECT_TRUE(connection.IsConnected());
    EXPECT_TRUE(connection.ValidAlias());
    EXPECT_EQ(connection.GetAdsTableType(), ttAdsConnectADT);
    EXPECT_EQ(test::EngineConnectionPath(connection.ConnectionHandle()), DataPath());
}

TEST_F(ConnectionTest, ServerInformationAnswersOnlyWhileConnected) {
    auto connection = Connection();
    EXPECT_EQ(Message([&] { (void)connection->ServerName(); }),
              "Must be connected to get database server name.");
    EXPECT_EQ(connection->ConnectionType(), "");
    EXPECT_FALSE(connection->IsConnectionAlive());
    connection->SetDesigning(true);
    EXPECT_EQ(connection->ServerName(), "");
    connection->SetDesigning(false);

    connection->Connect();
    EXPECT_FALSE(connection->ServerName().empty());
    EXPECT_EQ(connection->ConnectionType(), "Local");
    EXPECT_TRUE(connection->IsConnectionAlive());
}

TEST_F(ConnectionTest, AnApplicationIdIsSentWhenConnecting) {
    auto connection = Connection();
    connection->SetApplicationID("Varelum count");
    connection->Connect();

    ADSHANDLE statement = 0;
    ASSERT_EQ(ace::AdsCreateSQLStatement(connection->ConnectionHandle(), &statement), 0u);
    ADSHANDLE cursor = 0;
    ASSERT_EQ(ace::AdsExecuteSQLDirect(
                  statement, EngineText("execute procedure sp_getapplicationid()"), &cursor),
              0u);
    UNSIGNED8 id[64] = {};
    UNSIGNED32 length = sizeof id;
    EXPECT_EQ(ace::AdsGetField(cursor, EngineText("ApplicationID"), id, &length, VE_TRIM_RIGHT),
              0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(id), "Varelum count");
    ace::AdsCloseSQLStatement(statement);
}

// --- The log-in step
// ------------------------------------------------------------------------------

TEST_F(ConnectionTest, ADictionaryLogsInThroughOnLoginAndKeepsWhatItGave) {
    TAdsConnection connection;
    connection.SetName("Dict");
    connection.SetConnectPath(DataPath() + "/store.add");
    connection.SetUsername("typed");
    connection.SetPassword("stored");
    int calls = 0;
    connection.OnLogin = [&](TAdsConnection& sender, std::string& user, std::string& password) {
        ++calls;
        EXPECT_EQ(&sender, &connection);
        EXPECT_EQ(user, "") << "the handler starts from empty values";
        EXPECT_EQ(password, "");
        user = "ana";
        password = "p;w";
    };
    // The engine has no dictionaries yet: the connect fails after the log-in.
    EXPECT_THROW(connection.Connect(), EADSDatabaseError);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(connection.Username(), "ana");
    EXPECT_EQ(connection.Password(), "p;w");
    EXPECT_EQ(connection.ConnectString(),
              "Data Source=" + DataPath() + "/store.add;User ID=ana;Password=\"p;w\";FIPS=False;");

    // Without a prompt, and for free tables, nobody is asked.
    connection.SetLoginPrompt(false);
    EXPECT_THROW(connection.Connect(), EADSDatabaseError);
    connection.SetLoginPrompt(true);
    connection.SetConnectPath(DataPath());
    connection.Connect();
    EXPECT_EQ(calls, 1);
}

TEST_F(ConnectionTest, TheLoginDialogGetsTheNameAndUserAndCanRefuse) {
    TAdsConnection connection;
    connection.SetName("Dict");
    connection.SetConnectPath(DataPath() + "/store.add");
    connection.SetUsername("ana");
    connection.SetPassword("stored");

    std::vector<std::string> shown;
    bool accept = false;
    SetLoginDialog([&](const std::string& database, std::string& user, std::string& password) {
        shown.push_back(database + "/" + user + "/" + password);
        user = "bia";
        password = "typed";
        return accept;
    });
    EXPECT_EQ(Message([&] { connection.Connect(); }), "Cannot connect to database 'Dict'");
    EXPECT_EQ(connection.Username(), "ana") << "a cancelled log-in changes nothing";
    accept = true;
    EXPECT_THROW(connection.Connect(), EADSDatabaseError);
    EXPECT_EQ(connection.Username(), "bia");
    EXPECT_EQ(connection.Password(), "typed");
    SetLoginDialog(nullptr);
    EXPECT_EQ(shown, (std::vector<std::string>{"Dict/ana/", "Dict/ana/"}));

    // Without a dialog the stored password is used.
    EXPECT_THROW(connection.Connect(), EADSDatabaseError);
    EXPECT_EQ(connection.Password(), "typed");
    EXPECT_NE(connection.ConnectString().find("Password=\"typed\""), std::string::npos);
}

// --- Attached datasets
// ----------------------------------------------------------------------------

TEST_F(ConnectionTest, TwoDataSetsShareTheConnectionsHandle) {
    CreateStaff();
    auto connection = Connection();
    auto table = Table("TbStaff", "Conn");
    auto query = Query("QyStaff", "conn");  // names compare without regard to case
    EXPECT_EQ(connection->DataSetCount(), 2);
    EXPECT_EQ(connection->DataSets(0), table.get());
    EXPECT_EQ(connection->DataSets(1), query.get());

    table->Open();
    EXPECT_TRUE(connection->IsConnected()) << "opening a dataset connects its connection";
    query->Open();
    EXPECT_EQ(table->GetAceConnectionHandle(), connection->ConnectionHandle());
    EXPECT_EQ(query->GetAceConnectionHandle(), connection->ConnectionHandle());
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(query->RecordCount(), 2);

    // Detaching leaves the others.
    table->Close();
    table->SetAdsConnection(nullptr);
    EXPECT_EQ(connection->DataSetCount(), 1);
    connection->RemoveTableFromConnectList(table.get());  // not attached: nothing happens
    EXPECT_EQ(connection->DataSets(0), query.get());
}

TEST_F(ConnectionTest, ADisconnectClosesTheDataSetsWhichReopenAfterAReconnect) {
    CreateStaff();
    auto connection = Connection();
    auto table = Table("TbStaff", "Conn");
    auto query = Query("QyStaff", "Conn");
    table->Open();
    query->Open();
    const ADSHANDLE tableHandle = table->Handle();
    const ADSHANDLE statement = query->StmtHandle();
    ASSERT_NE(statement, kNoAdsHandle);

    connection->Disconnect();
    EXPECT_FALSE(table->Active());
    EXPECT_FALSE(query->Active());
    EXPECT_EQ(HandleState(tableHandle), VE_CLOSED_HANDLE);
    EXPECT_EQ(query->StmtHandle(), kNoAdsHandle) << "the query forgot its statement";
    EXPECT_EQ(connection->DataSetCount(), 2) << "the datasets stay attached";

    table->Open();
    query->Open();
    EXPECT_TRUE(connection->IsConnected());
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(query->RecordCount(), 2);
    EXPECT_EQ(query->GetAceConnectionHandle(), connection->ConnectionHandle());
}

TEST_F(ConnectionTest, ADataSetThatFailsToCloseDoesNotKeepTheConnectionOpen) {
    CreateStaff();
    auto connection = Connection();
    auto stubborn = Table("TbStubborn", "Conn");
    auto query = Query("QyStaff", "Conn");
    stubborn->Open();
    query->Open();
    const ADSHANDLE stubbornHandle = stubborn->Handle();
    stubborn->BeforeClose = [](db::TDataSet&) { throw rtl::Exception("not now"); };

    connection->Disconnect();
    EXPECT_FALSE(connection->IsConnected());
    EXPECT_EQ(connection->ConnectionHandle(), 0u);
    EXPECT_FALSE(query->Active()) << "the datasets after it are closed too";
    EXPECT_EQ(query->StmtHandle(), kNoAdsHandle);
    EXPECT_EQ(HandleState(stubbornHandle), VE_CLOSED_HANDLE)
        << "the engine closed the table with its connection";
    stubborn->BeforeClose = nullptr;
    stubborn->Close();
}

TEST_F(ConnectionTest, DestroyingAConnectedConnectionClosesAndCutsLooseItsDataSets) {
    CreateStaff();
    auto connection = Connection();
    auto table = Table("TbStaff", "Conn");
    auto query = Query("QyStaff", "Conn");
    TEventLog log;
    log.Watch(*connection);
    log.Watch(*table);
    table->Open();
    query->Open();
    const ADSHANDLE handle = connection->ConnectionHandle();
    log.Take();

    connection.reset();
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"TbStaff.AfterClose", "OnDisconnect"}))
        << "no Before or After events while destroyed";
    EXPECT_FALSE(table->Active());
    EXPECT_FALSE(query->Active());
    EXPECT_EQ(table->AdsConnection(), nullptr);
    EXPECT_EQ(query->AdsConnection(), nullptr);
    EXPECT_EQ(HandleState(handle), VE_CLOSED_HANDLE);
}

TEST_F(ConnectionTest, DestroyingAConnectionWhoseEngineConnectionIsGoneReportsNothing) {
    TCollectedErrors errors;
    auto connection = Connection();
    auto table = Table("TbStaff", "Conn");
    connection->Connect();
    ASSERT_EQ(ace::AdsDisconnect(connection->ConnectionHandle()), 0u);
    connection.reset();
    EXPECT_TRUE(errors.Messages.empty());
    EXPECT_EQ(table->AdsConnection(), nullptr);
}

TEST_F(ConnectionTest, DestroyingADisconnectedConnectionCutsLooseItsDataSets) {
    auto connection = Connection();
    auto table = Table("TbStaff", "Conn");
    EXPECT_EQ(table->AdsConnection(), connection.get());
    connection.reset();
    EXPECT_EQ(table->AdsConnection(), nullptr);
}

TEST_F(ConnectionTest, AReadOnlyConnectionOpensItsTablesReadOnly) {
    CreateStaff();
    auto connection = Connection();
    connection->SetReadOnly(true);
    auto table = Table("TbStaff", "Conn");
    table->Open();
    EXPECT_FALSE(table->CanModify());
    EXPECT_NE(table->TableOpenOptions() & VE_OPEN_READONLY, 0u);
    table->Close();
    EXPECT_TRUE(table->ReadOnly()) << "the table stays read-only after it closes";
}

// --- Loading and renaming
// -------------------------------------------------------------------------

rtl::TStoredLayout LayoutWithTableBeforeConnection(const std::string& path, bool connected) {
    rtl::TStoredLayout layout;
    layout.Components.push_back(
        {"TbStaff",
         rtl::Factory<TAdsTable>(),
         {rtl::StoredProperty<TAdsTable>(
              "DatabaseName", "StoreConnection",
              [](TAdsTable& t, const rtl::Variant& v) { t.SetDatabaseName(v.AsString()); }),
          rtl::StoredProperty<TAdsTable>(
              "TableName", "CadFuncionariosLojas.adt",
              [](TAdsTable& t, const rtl::Variant& v) { t.SetTableName(v.AsString()); })},
         {}});
    layout.Components.push_back(
        {"StoreConnection",
         rtl::Factory<TAdsConnection>(),
         {rtl::StoredProperty<TAdsConnection>(
              "ConnectPath", path,
              [](TAdsConnection& c, const rtl::Variant& v) { c.SetConnectPath(v.AsString()); }),
          rtl::StoredProperty<TAdsConnection>(
              "IsConnected", connected,
              [](TAdsConnection& c, const rtl::Variant& v) { c.SetIsConnected(v.AsBoolean()); })},
         {}});
    return layout;
}

TEST_F(ConnectionTest, ADataSetReadBeforeItsConnectionIsLinkedWhenTheConnectionIsNamed) {
    CreateStaff();
    auto form = test::NamedOwner("Form2");
    rtl::TComponentReader::Read(*form, LayoutWithTableBeforeConnection(DataPath(), true));
    auto* table = dynamic_cast<TAdsTable*>(form->FindComponent("TbStaff"));
    auto* connection = dynamic_cast<TAdsConnection*>(form->FindComponent("StoreConnection"));
    ASSERT_NE(table, nullptr);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(table->AdsConnection(), connection);
    EXPECT_EQ(connection->DataSetCount(), 1);
    EXPECT_TRUE(connection->IsConnected()) << "the stored IsConnected connects at Loaded";
    table->Open();
    EXPECT_EQ(table->GetAceConnectionHandle(), connection->ConnectionHandle());
}

TEST_F(ConnectionTest, AConnectionThatCannotConnectAtLoadedFailsTheRead) {
    auto form = test::NamedOwner("Form2");
    EXPECT_THROW(rtl::TComponentReader::Read(
                     *form, LayoutWithTableBeforeConnection(DataPath() + "/missing", true)),
                 EADSDatabaseError);
}

TEST_F(ConnectionTest, InADesignerAFailedConnectAtLoadedIsReportedAndLoadingGoesOn) {
    TCollectedErrors errors;
    auto form = test::NamedOwner("Form2");
    form->SetDesigning(true);
    // The designing flag reaches the components as they are created: set it in the factory.
    rtl::TStoredLayout layout = LayoutWithTableBeforeConnection(DataPath() + "/missing", true);
    layout.Components[1].Create = [](rtl::TComponent& owner) -> rtl::TComponent* {
        auto* connection = new TAdsConnection(&owner);
        connection->SetDesigning(true);
        return connection;
    };
    rtl::TComponentReader::Read(*form, layout);
    ASSERT_EQ(errors.Messages.size(), 1u);
    auto* connection = dynamic_cast<TAdsConnection*>(form->FindComponent("StoreConnection"));
    ASSERT_NE(connection, nullptr);
    EXPECT_FALSE(connection->IsConnected());
}

TEST_F(ConnectionTest, RenamingAConnectionRenamesTheDataSetsThatNameIt) {
    auto connection = Connection("Conn1");
    auto byName = Table("TbByName", "conn1");
    auto byOwner = Table("TbByOwner", "Form1.Conn1");
    auto elsewhere = Table("TbElsewhere", "BALDERIM");
    auto other = Connection("Other");
    auto onOther = Table("TbOnOther", "Other");

    connection->SetName("Conn2");
    EXPECT_EQ(connection->Name(), "Conn2");
    EXPECT_EQ(byName->DatabaseName(), "Conn2");
    EXPECT_EQ(byOwner->DatabaseName(), "Form1.Conn2");
    EXPECT_EQ(byName->AdsConnection(), connection.get());
    EXPECT_EQ(byOwner->AdsConnection(), connection.get());
    EXPECT_EQ(byName->GetDatabasePath(), DataPath());
    EXPECT_EQ(elsewhere->DatabaseName(), "BALDERIM");
    EXPECT_EQ(onOther->DatabaseName(), "Other");
    EXPECT_EQ(onOther->AdsConnection(), other.get());

    // A dataset that already names the new Name is linked by the renaming.
    auto waiting = Table("TbWaiting", "Conn3");
    EXPECT_EQ(waiting->AdsConnection(), nullptr);
    connection->SetName("Conn3");
    EXPECT_EQ(waiting->AdsConnection(), connection.get());
    EXPECT_EQ(connection->DataSetCount(), 3);
}

TEST_F(ConnectionTest, RenamingIsRefusedWhileADataSetThatNamesTheConnectionIsOpen) {
    CreateStaff();
    auto connection = Connection("Conn1");
    auto table = Table("TbStaff", "Conn1");
    table->Open();
    EXPECT_EQ(Message([&] { connection->SetName("Conn2"); }),
              "TbStaff: Cannot perform this operation on an open dataset");
    EXPECT_EQ(connection->Name(), "Conn1");
    EXPECT_EQ(table->DatabaseName(), "Conn1");
    table->Close();
    connection->SetName("Conn2");
    EXPECT_EQ(table->DatabaseName(), "Conn2");
}

}  // namespace
}  // namespace varelum::ads
