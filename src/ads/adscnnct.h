// TAdsConnection: the connection component. A named, owned, non-visual component that opens one
// engine connection from a connection path or from an alias of ads.ini, with log-in,
// encryption and transport options, and keeps the list of datasets attached to it (those whose
// DatabaseName names it, or whose AdsConnection is set to it).
//
// The class is one concern spread over a few files:
//   adscnnct.cpp            construction, the properties and their setters, the paths
//   adscnnct_string.cpp     the engine connection string
//   adscnnct_lifecycle.cpp  connecting (with the log-in step), disconnecting, destruction,
//                           Loaded, and the renaming that links datasets to the connection
//   adscnnct_transactions.cpp  transactions and savepoints with their events
//   adscnnct_services.cpp   SQL execution with the statement cache, name lists, dictionary
//                           properties, server time, the application id, adopting a handle
//
// Misuse (a property changed while connected, nothing to connect to) raises
// adscnnct::AdsConnectionError with a fixed sentence; a failed engine connect raises
// EADSDatabaseError without a dataset; a failed engine disconnect adscnnct::AdsError.
//
// Texts are UTF-8; the connection string goes to the engine as Windows-1252.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "ads/adsdata_registry.h"
#include "ads/adsset.h"
#include "db/params.h"
#include "rtl/datetime.h"
#include "rtl/string_list.h"

namespace varelum::ads {

class TAdsConnection;

// --- Enumerations (values in order from 0) ------------------------------------------------------

enum TAdsCompressionTypes {
    ccAdsCompressionNotSet,
    ccAdsCompressInternet,
    ccAdsCompressAlways,
    ccAdsCompressNever,
};

enum TAdsCommunicationType {
    ctAdsDefault,
    ctAdsUDPIP,
    ctAdsIPX,
    ctAdsTCPIP,
    ctAdsTLS,
};

enum TAdsTLSCipherSuite {
    tlsAES128SHA,
    tlsAES256SHA,
    tlsRC4MD5,
};

enum TAdsDataEncryptionType {
    etAdsDefault,
    etAdsAES128,
    etAdsAES256,
    etAdsRC4,
};

// A set of TAdsTLSCipherSuite (the TLSCipherSuite property).
class TAdsTLSCipherSuites {
  public:
    constexpr TAdsTLSCipherSuites() noexcept = default;
    constexpr TAdsTLSCipherSuites(std::initializer_list<TAdsTLSCipherSuite> suites) noexcept {
        for (const TAdsTLSCipherSuite suite : suites) {
            Include(suite);
        }
    }

    constexpr bool Contains(TAdsTLSCipherSuite suite) const noexcept {
        return (FBits & Bit(suite)) != 0;
    }
    constexpr bool Empty() const noexcept { return FBits == 0; }
    constexpr void Include(TAdsTLSCipherSuite suite) noexcept { FBits |= Bit(suite); }
    constexpr void Exclude(TAdsTLSCipherSuite suite) noexcept {
        FBits &= static_cast<unsigned>(~Bit(suite));
    }
    friend constexpr bool operator==(TAdsTLSCipherSuites, TAdsTLSCipherSuites) noexcept = default;

  private:
    static constexpr unsigned Bit(TAdsTLSCipherSuite suite) noexcept { return 1u << suite; }
    unsigned FBits = 0;
};

enum TAdsLinkOption {
    loGlobal,
    loAuthenticateActiveUser,
    loPathIsStatic,
};

// A set of TAdsLinkOption, given to CreateDDLink; the engine takes it as bits 1, 2 and 4.
class TAdsLinkOptions {
  public:
    constexpr TAdsLinkOptions() noexcept = default;
    constexpr TAdsLinkOptions(std::initializer_list<TAdsLinkOption> options) noexcept {
        for (const TAdsLinkOption option : options) {
            FBits |= 1u << option;
        }
    }
    constexpr bool Contains(TAdsLinkOption option) const noexcept {
        return (FBits & (1u << option)) != 0;
    }
    constexpr std::uint32_t Bits() const noexcept { return FBits; }

  private:
    std::uint32_t FBits = 0;
};

// The items of a link description as the engine gives it: each piece ended by ";", without
// it. A last piece without ";" is not an item.
std::vector<std::string> LinkInfoItems(const std::string& strLinkInfo);

// --- Events
// ---------------------------------------------------------------------------------------

// A notification with its sender (AfterConnect, BeforeDisconnect, AfterCommit, ...).
using TAdsConnectionNotifyEvent = std::function<void(TAdsConnection& Sender)>;
// OnLogin: called with the two values empty; the handler fills them.
using TAdsDatabaseLoginEvent = std::function<void(TAdsConnection& AdsConnection,
                                                  std::string& Username, std::string& Password)>;

// The database log-in dialog of the process: shown with the database name, the user name
// (which may be changed) and the empty password (which may be filled); answers false when the
// user cancels. None is installed by default; a windowed program may install one. Without
// one, a connection that asks for a log-in uses its Password.
using TAdsLoginDialog = std::function<bool(const std::string& DatabaseName, std::string& UserName,
                                           std::string& Password)>;
void SetLoginDialog(TAdsLoginDialog dialog);
TAdsLoginDialog LoginDialog();

// --- TAdsEncryptionOptions
// ------------------------------------------------------------------------

// The encryption and TLS options of one connection, created with it and owned by it. Every
// setter is refused while the owning connection is connected (adscnnct::AdsConnectionError
// "Connection cannot be active when changing property.").
class TAdsEncryptionOptions {
  public:
    explicit TAdsEncryptionOptions(TAdsConnection& connection) : FConnection(connection) {}

    TAdsEncryptionOptions(const TAdsEncryptionOptions&) = delete;
    TAdsEncryptionOptions& operator=(const TAdsEncryptionOptions&) = delete;

    TAdsConnection& OwningConnection() const noexcept { return FConnection; }

    bool FIPSMode() const noexcept { return FFIPSMode; }
    void SetFIPSMode(bool Value);
    TAdsTLSCipherSuites TLSCipherSuite() const noexcept { return FCipherSuites; }
    void SetTLSCipherSuite(TAdsTLSCipherSuites Value);
    const std::string& TLSCertificate() const noexcept { return FCertificate; }
    void SetTLSCertificate(const std::string& Value);
    const std::string& TLSCommonName() const noexcept { return FCommonName; }
    void SetTLSCommonName(const std::string& Value);
    TAdsDataEncryptionType DataEncryptionType() const noexcept { return FDataEncryptionType; }
    void SetDataEncryptionType(TAdsDataEncryptionType Value);
    const std::string& DataDictionaryPassword() const noexcept { return FDDPassword; }
    void SetDataDictionaryPassword(const std::string& Value);

  private:
    // Adopting an engine connection stores its settings without the setters' refusal.
    friend class TAdsConnection;
    void CheckNotConnected() const;

    TAdsConnection& FConnection;
    std::string FDDPassword;
    std::string FCertificate;
    TAdsTLSCipherSuites FCipherSuites;
    std::string FCommonName;
    bool FFIPSMode = false;
    TAdsDataEncryptionType FDataEncryptionType = etAdsDefault;
};

// The table options given to the second form of Execute (engine values).
struct TAdsDatasetOptions {
    UNSIGNED16 musAdsLockType = 0;
    UNSIGNED16 musAdsCharType = 0;
    UNSIGNED16 musAdsRightsCheck = 0;
    UNSIGNED16 musAdsTableType = 0;
    std::string mstrCollation;
};

// One entry of the connection's cache of prepared statements.
struct TStmtInfo {
    std::int32_t HashCode = 0;
    ADSHANDLE StmtHandle = 0;  // 0 while not prepared
    std::string SQLText;
};

// --- TAdsConnection
// -------------------------------------------------------------------------------

class TAdsConnection : public TAdsConnectionBase {
  public:
    // Disconnected, every property at its default (LoginPrompt, StoreConnected and
    // CancelOnRollback true, the rest empty, false or zero); joins ConnectionRegistry and
    // records the calling thread.
    explicit TAdsConnection(rtl::TComponent* owner = nullptr);
    // Connected: closes every attached dataset, forgets its handles and its link to this
    // connection, closes the cached statements, disconnects (unless the handle is shared) and
    // fires OnDisconnect only. Not connected: the attached datasets forget this connection.
    // A destructor cannot raise: a dataset that fails to close, or an engine refusal other
    // than 5024 (the connection is gone already), goes to the application's exception handler
    // (db::ApplicationExceptionHandler) when one is installed.
    ~TAdsConnection() override;

    // Renames the connection. Datasets of DataSetRegistry that named it by its old Name (or
    // Owner.Name) now name it by the new one, and a dataset of the same Owner name that names
    // the new Name is linked to it, through their DatabaseName setters; so a dataset read
    // before the connection it names is linked when the connection receives its Name. When a
    // dataset that would be renamed is open, nothing changes and EADSDatabaseError (that
    // dataset, 5121) "Cannot perform this operation on an open dataset" is raised.
    void SetName(std::string name) override;

    // --- Where the connection goes -------------------------------------------------------------

    const std::string& AliasName() const noexcept { return FAliasName; }
    // Refused while connected (AdsConnectionError "The TAdsConnection.AliasName may not be
    // changed when IsConnected is TRUE"). Empty: no alias (ConnectPath stays). Found in
    // ads.ini: ConnectPath is emptied, the alias's path and table type are kept, and the
    // datasets of the Owner linked to this connection (with an empty DatabaseName or this
    // connection's Name) follow the alias's table type. Not found: no error now; connecting
    // fails later unless ads.ini has the alias by then. May throw what LookupAlias throws.
    void SetAliasName(const std::string& Value);
    // Whether the last AliasName given was found in ads.ini (true while none was given).
    bool ValidAlias() const noexcept { return FValidAlias; }

    const std::string& ConnectPath() const noexcept { return FConnectString; }
    // Refused while connected. Sets the path (a directory or a dictionary file) and forgets
    // the alias.
    void SetConnectPath(const std::string& Value);

    // ConnectPath when not empty, else the alias's path.
    std::string GetConnectionWithDDPath() const;
    // As GetConnectionWithDDPath, cut to its directory when it ends in a file name (a "." as
    // fourth character from the end, not of ".ADD"); a bare file name gives ".\".
    std::string GetConnectionPath() const override;
    TAdsConnectionTableTypes GetAdsTableType() const override { return meAliasTableType; }
    bool IsDictionaryConn() const noexcept { return FIsDictionaryConn; }

    // The engine connection string: "Data Source=<path, at most 255 characters>;" and the
    // optional parts that the properties ask for, each "key=value;", in a fixed order (see
    // adscnnct_string.cpp). Values are inserted as they are; only the password is quoted.
    virtual std::string ConnectString() const;

    // --- Log-in, transport and options ---------------------------------------------------------

    TAdsServerTypes AdsServerTypes() const noexcept { return FAdsServerTypes; }
    void SetAdsServerTypes(TAdsServerTypes Value) { FAdsServerTypes = Value; }
    bool LoginPrompt() const noexcept { return FLoginPrompt; }
    void SetLoginPrompt(bool Value) { FLoginPrompt = Value; }
    const std::string& Username() const noexcept { return FUsername; }
    void SetUsername(const std::string& Value) { FUsername = Value; }
    const std::string& Password() const noexcept { return FPassword; }
    void SetPassword(const std::string& Value) { FPassword = Value; }
    bool MiddleTierConnection() const noexcept { return FMiddleTierConn; }
    void SetMiddleTierConnection(bool Value) { FMiddleTierConn = Value; }
    bool StoreConnected() const noexcept { return FbStoreConnected; }
    void SetStoreConnected(bool Value) { FbStoreConnected = Value; }
    bool StoredProcedureConnection() const noexcept { return FStoredProcConn; }
    void SetStoredProcedureConnection(bool Value) { FStoredProcConn = Value; }
    TAdsCompressionTypes Compression() const noexcept { return FAdsCompression; }
    void SetCompression(TAdsCompressionTypes Value) { FAdsCompression = Value; }
    TAdsCommunicationType CommunicationType() const noexcept { return FAdsCommunicationType; }
    void SetCommunicationType(TAdsCommunicationType Value) { FAdsCommunicationType = Value; }
    // Attached tables and queries open read-only.
    bool ReadOnly() const override { return FReadOnly; }
    void SetReadOnly(bool Value) { FReadOnly = Value; }
    bool CancelOnRollback() const noexcept { return FCancelOnRollback; }
    void SetCancelOnRollback(bool Value) { FCancelOnRollback = Value; }

    std::int32_t SQLTimeout() const noexcept { return FSQLTimeout; }
    // Stored; while connected also given to the engine connection (a negative value then
    // raises rtl::ERangeError "Range check error" and is not stored).
    void SetSQLTimeout(std::int32_t Value);

    const std::string& ApplicationID() const noexcept { return FAppID; }
    // Stored; while connected (and changed) also sent to the engine, as connecting does.
    void SetApplicationID(const std::string& Value);

    // The collation of the attached tables and statements that set none of their own.
    std::string AdsCollation() const override { return FAdsCollation; }
    void SetAdsCollation(const std::string& Value) { FAdsCollation = Value; }

    TAdsEncryptionOptions& EncryptionOptions() noexcept { return *FEncryptionOptions; }
    const TAdsEncryptionOptions& EncryptionOptions() const noexcept { return *FEncryptionOptions; }

    const std::string& ExtraConnectString() const noexcept { return FExtraConnectString; }
    // Refused while connected. Appended to the connection string as it stands.
    void SetExtraConnectString(const std::string& Value);

    const std::string& DateFormat() const noexcept { return FDateFormat; }
    // While connected: an empty Value is refused; any other goes to the engine connection
    // (its first 11 characters), whose refusal raises EADSDatabaseError. While not connected:
    // a non-empty Value is tried on the engine (the process's format is put back afterwards);
    // a refusal raises AdsConnectionError "Unrecognized DateFormat String".
    void SetDateFormat(const std::string& Value);

    // --- Connecting ----------------------------------------------------------------------------

    bool IsConnected() const override { return FConnected; }
    // true connects (while the component is being read, only at Loaded), false disconnects.
    void SetIsConnected(bool Value);
    // Nothing when connected. Fires BeforeConnect; an alias not found (again) raises
    // AdsConnectionError "TAdsConnection.AliasName is not valid", no path at all "Must specify
    // connection string before getting a server connection."; the log-in step may raise
    // rtl::EDatabaseError "Cannot connect to database '<Name>'"; an engine refusal raises
    // EADSDatabaseError without a dataset. Any of these leaves the component disconnected and
    // fires nothing more. Connected, it sends the ApplicationID, lets the datasets of a
    // dictionary re-read their default index, and fires AfterConnect, then OnConnect.
    void Connect() override;
    // Nothing when not connected. Fires BeforeDisconnect; closes every attached dataset in
    // attach order (an error while closing is dropped: the connection must close regardless)
    // and forgets its engine handles; closes the cached statements; disconnects from the
    // engine (unless the handle is shared); becomes disconnected; fires AfterDisconnect, then
    // OnDisconnect; and only then raises adscnnct::AdsError when the engine refused.
    void Disconnect();
    // The engine handle while connected, else 0.
    ADSHANDLE ConnectionHandle() const override { return FConnected ? FhConnection : 0; }
    // The raw handle field, also when not connected.
    ADSHANDLE Handle() const noexcept { return FhConnection; }

    // Connects now when connecting was asked for while the component was being read. A
    // failure propagates; in a designer it goes to the application's exception handler.
    void Loaded() override;

    // --- Server information --------------------------------------------------------------------

    // The engine's server name; empty when not connected in a designer, and otherwise refused
    // when not connected (AdsConnectionError "Must be connected to get database server name.").
    std::string ServerName() const;
    // "Local", "Remote" or "Internet"; empty when not connected.
    std::string ConnectionType() const;
    // False when not connected; otherwise the engine's answer.
    bool IsConnectionAlive() const;

    // The server's date and time. Connects first when not connected.
    rtl::TDateTime GetServerTime();
    // Lets the engine close the tables it keeps open for reuse; nothing when not connected.
    void CloseCachedTables();

    // --- Transactions --------------------------------------------------------------------------

    // Whether a transaction is active on the connection, and how many are (0 or 1). Both
    // refuse when not connected (AdsConnectionError "No connection to database server.").
    bool TransactionActive() const;
    std::int32_t TransactionCount() const;
    // Refused when not connected; an engine refusal (a transaction active already) raises
    // adscnnct::AdsError.
    void BeginTransaction();
    // BeforeCommit; the cached statements closed; the engine commits (a refusal raises
    // adscnnct::AdsError and fires nothing more); AfterCommit.
    void Commit();
    // BeforeRollback; the cached statements closed; with CancelOnRollback the pending edits
    // of the attached datasets cancelled, in attach order; the engine rolls back (a refusal
    // raises adscnnct::AdsError); the open attached datasets in browse state refreshed, so
    // they show the tables as they are again; AfterRollback.
    void Rollback();
    // An empty name is the plain Rollback, events included. Otherwise the changes after the
    // newest savepoint of that name are undone, without events, cancels or refreshes; an
    // unknown name raises EADSDatabaseError.
    void Rollback(const std::string& strSavepoint);
    // Marks a savepoint in the active transaction; outside one EADSDatabaseError.
    void CreateSavepoint(const std::string& strSavepoint);

    // --- SQL -----------------------------------------------------------------------------------

    // Runs SQL on this connection, connecting first when not connected, and returns the rows
    // it affected (0 when a cursor is wanted, or when the statement gives no count). With
    // Params holding a parameter, the prepared statement runs with them bound by number;
    // otherwise the text runs directly. With Cache the prepared statement is kept in FStmtList
    // (found again by HashSQLText and the text, ignoring case, so a text in another letter
    // case gets its own entry) until commit, rollback or disconnect; without, it is closed,
    // also after a failure. Cursor, when given, receives the result cursor's handle (0 when
    // the statement gives none); the caller then owns it. Engine refusals raise
    // EADSDatabaseError without a dataset; so does a parameter of type ftUnknown (5121).
    std::int32_t Execute(const std::string& SQL, const db::TParams* Params = nullptr,
                         bool Cache = false, ADSHANDLE* Cursor = nullptr);
    // As above, a new statement taking the table type, character type, lock type and rights
    // checking of Options, and its collation instead of AdsCollation; a statement that gives
    // no rows-affected count raises here.
    std::int32_t Execute(const TAdsDatasetOptions& Options, const std::string& SQL,
                         const db::TParams* Params = nullptr, bool Cache = false,
                         ADSHANDLE* Cursor = nullptr);
    // The cache's hash of an SQL text, over its UTF-16 units as they are (letter case counts).
    static std::int32_t HashSQLText(const std::string& Text);
    // The statement cache, in the order entries were made.
    const std::vector<TStmtInfo>& CachedStatements() const noexcept { return FStmtList; }

    // The application id as the engine connection knows it while connected; else the stored
    // one.
    std::string GetApplicationID();

    // --- Name lists and dictionary properties --------------------------------------------------

    // Adds the names of the tables of the connection's directory that match strFileMask (when
    // the alias gives no table type; "*.adt" for ADT aliases, "*.dbf" for the others) to
    // poList, in the engine's order (byte order of the names). Nothing without a list.
    // AdsConnectionError "No connection to database server." when not connected; an engine
    // refusal raises adscnnct::AdsError.
    void GetTableNames(rtl::TStringList* poList, const std::string& strFileMask = "");
    // As GetTableNames, adding each name's dictionary link alias to poLinkNames and the name
    // to poTableNames, each when given.
    void GetTableAndLinkNames(rtl::TStringList* poLinkNames, rtl::TStringList* poTableNames,
                              const std::string& strFileMask = "");
    // The stored procedures of a dictionary connection; connects first. A connection to free
    // tables adds nothing.
    void GetProcedureNames(rtl::TStringList* poList);
    // The version of the connection's dictionary; 0 unless connected to one.
    int DDVersionMajor() const;
    int DDVersionMinor() const;
    // The groups of the dictionary user, read once per connect; empty for free tables.
    const rtl::TStringList& UserGroups();
    const std::string& UserGroupsString();

    // --- Dictionary links --------------------------------------------------------------------
    // The engine handle is passed as it is, also when not connected (the engine then refuses
    // it). A connection to free tables has no links: the count is 0 and the other three raise
    // EADSDatabaseError 5132. On a dictionary connection a link, once made, is active when a
    // statement of the connection has used it ("alias.table").

    // The number of dictionary links the connection has used.
    int GetNumActiveDDLinks();
    // Adds the items of the description of active link iLinkNum to poList; nothing without a
    // list.
    void GetActiveDDLinkInfo(int iLinkNum, rtl::TStringList* poList);
    void CreateDDLink(const std::string& strLinkAlias, const std::string& strLinkedDDPath,
                      const std::string& strUserName, const std::string& strPassword,
                      TAdsLinkOptions Options);
    void DropDDLink(const std::string& strLinkedDD, bool bDropGlobal);

    // --- Adopting an engine connection ---------------------------------------------------------

    // Takes over a connection opened elsewhere: its path becomes ConnectPath, its user,
    // password, server type, encryption and transport settings become this component's, and
    // the component connects. Shared (bShareHandle), the handle itself is used and never
    // disconnected here; otherwise a connection of its own is opened with those settings.
    // AdsConnectionError "TAdsConnection already has a working connection" when connected or
    // holding a handle; "TAdsConnection cannot resolve the connection path from the given
    // connection handle." when the engine gives no path for it.
    void SetHandle(ADSHANDLE hConnection, bool bShareHandle);
    // Forgets a shared handle: the component then disconnects or reconnects on its own.
    void ClearHandle() noexcept { FGivenConnection = 0; }
    // A new connection sharing hConnection. Created with new: Owner (when given) owns it,
    // otherwise the caller. Nothing is left behind when adopting fails.
    static TAdsConnection* CreateWithHandle(rtl::TComponent* Owner, ADSHANDLE Handle);
    // A new connection of its own, opened like hConnection, named strName, without a log-in
    // prompt.
    static TAdsConnection* CreateFromHandle(rtl::TComponent* Owner, ADSHANDLE Handle,
                                            const std::string& strName);

    // --- Attached datasets ---------------------------------------------------------------------

    void AddTableToConnectList(TAdsDatabaseLink* table) override;
    void RemoveTableFromConnectList(TAdsDatabaseLink* table) override;
    int DataSetCount() const noexcept { return static_cast<int>(FTablesList.size()); }
    // REQUIRES: 0 <= index < DataSetCount().
    TAdsDatabaseLink* DataSets(int index) const { return FTablesList.at(index); }

    // Closes every cached statement and empties the cache.
    void CloseCachedStatements();

    // --- Events --------------------------------------------------------------------------------

    TAdsConnectionNotifyEvent BeforeConnect;
    TAdsConnectionNotifyEvent AfterConnect;
    TAdsConnectionNotifyEvent OnConnect;
    TAdsConnectionNotifyEvent BeforeDisconnect;
    TAdsConnectionNotifyEvent AfterDisconnect;
    TAdsConnectionNotifyEvent OnDisconnect;
    TAdsConnectionNotifyEvent BeforeCommit;
    TAdsConnectionNotifyEvent AfterCommit;
    TAdsConnectionNotifyEvent BeforeRollback;
    TAdsConnectionNotifyEvent AfterRollback;
    TAdsDatabaseLoginEvent OnLogin;

  protected:
    virtual void DoAfterCommit();
    virtual void DoBeforeCommit();
    virtual void DoAfterRollback();
    virtual void DoBeforeRollback();
    virtual void DoOnConnect();
    virtual void DoOnDisconnect();
    // Log-in and the engine connect; the handle goes to FhConnection.
    virtual void OpenEngineConnection();
    // Sends the ApplicationID to the engine connection.
    virtual void SendApplicationID();

  private:
    void CheckNotConnected(const char* propertyName) const;
    // AdsConnectionError "No connection to database server." unless connected.
    void CheckConnected() const;
    // Both forms of Execute; Options null for the first.
    std::int32_t ExecuteStatement(const TAdsDatasetOptions* Options, const std::string& SQL,
                                  const db::TParams* Params, bool Cache, ADSHANDLE* Cursor);
    // A new prepared statement for SQL with the settings of the form of Execute.
    ADSHANDLE PrepareStatement(const TAdsDatasetOptions* Options, const std::string& SQL,
                               bool wantCursor);
    // A 16-bit version property of the connection's dictionary; 0 unless connected to one.
    int DDVersion(UNSIGNED16 property) const;
    // The directory and mask GetTableNames searches: empty for a dictionary.
    std::string TableSearchPattern(const std::string& strFileMask) const;
    // Reads the adopted connection's settings into the properties.
    void AdoptSettings(ADSHANDLE hConnection);
    void Fire(const TAdsConnectionNotifyEvent& event);
    // The log-in step: the user and password the engine connect uses.
    void LogIn();
    // Closes each attached dataset and forgets its engine handles, in attach order.
    void CloseAttachedDataSets();
    // The destructor's part while connected.
    void DestroyConnected() noexcept;
    void RenameDataSets(const std::string& oldName, const std::string& newName);

    std::string FAliasName;
    bool FValidAlias = true;
    bool FConnected = false;
    std::string FConnectString;
    ADSHANDLE FhConnection = 0;
    std::vector<TAdsDatabaseLink*> FTablesList;
    bool bConnectAfterLoad = false;
    std::string mstrAliasPath;
    TAdsConnectionTableTypes meAliasTableType = ttAdsConnectUnspecified;
    bool FIsDictionaryConn = false;
    bool FLoginPrompt = true;
    std::string FUsername;
    std::string FPassword;
    TAdsServerTypes FAdsServerTypes;
    std::vector<TStmtInfo> FStmtList;
    bool FMiddleTierConn = false;
    bool FStoredProcConn = false;
    bool FbStoreConnected = true;
    TAdsCompressionTypes FAdsCompression = ccAdsCompressionNotSet;
    TAdsCommunicationType FAdsCommunicationType = ctAdsDefault;
    bool FReadOnly = false;
    // A handle adopted from elsewhere and shared: never disconnected here; 0 when none.
    ADSHANDLE FGivenConnection = 0;
    rtl::TStringList FUserGroups;
    std::string FUserGroupsString;
    bool FReadUserGroups = false;
    bool FCancelOnRollback = true;
    std::int32_t FSQLTimeout = 0;
    std::string FAppID;
    std::string FAdsCollation;
    std::unique_ptr<TAdsEncryptionOptions> FEncryptionOptions;
    std::string FExtraConnectString;
    std::string FDateFormat;
};

}  // namespace varelum::ads
