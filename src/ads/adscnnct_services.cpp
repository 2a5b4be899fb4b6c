// The connection component's services on an open connection: SQL execution with the cache of
// prepared statements, the lists of table and procedure names, the dictionary properties, the
// server's time, the application id and the adoption of an engine connection opened
// elsewhere (see adscnnct.h).
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "ads/ace.h"
#include "ads/ace_text.h"
#include "ads/adscnnct.h"
#include "ads/adsdata_errors.h"
#include "ads/adsdata_params.h"
#include "ads/adsdata_table_search.h"
#include "rtl/code_page.h"
#include "rtl/datetime.h"
#include "rtl/exception.h"
#include "rtl/number_text.h"
#include "rtl/text.h"

namespace varelum::ads {

namespace {

constexpr const char* kNoConnection = "No connection to database server.";
constexpr const char* kAlreadyConnected = "TAdsConnection already has a working connection";
constexpr const char* kNoPathFromHandle =
    "TAdsConnection cannot resolve the connection path from the given connection handle.";
// Buffer capacities of the engine's answers.
constexpr UNSIGNED16 kServerDateCapacity = 69;
constexpr UNSIGNED16 kServerTimeCapacity = 69;
constexpr UNSIGNED16 kJulianTextCapacity = 9;
constexpr UNSIGNED16 kPathCapacity = 260;
constexpr UNSIGNED32 kPropertyCapacity = 260;
constexpr UNSIGNED32 kApplicationIDCapacity = 301;
constexpr UNSIGNED16 kDDObjectNameCapacity = 200;
constexpr double kMillisecondsPerDay = 86400000.0;

const WCHAR* Text16(const std::u16string& text) {
    return reinterpret_cast<const WCHAR*>(text.c_str());
}

std::string FromText8(const UNSIGNED8* buffer, std::size_t length) {
    return rtl::AnsiToUtf8(std::string(reinterpret_cast<const char*>(buffer), length));
}

void CheckConnectionCall(UNSIGNED32 result) {
    if (result != VE_SUCCESS) {
        throw adscnnct::AdsError(result);
    }
}

// An engine statement closed when the scope ends, unless released.
class TStatementGuard {
  public:
    explicit TStatementGuard(ADSHANDLE statement = 0) noexcept : FHandle(statement) {}
    ~TStatementGuard() {
        if (FHandle != 0) {
            // Clean-up on the way out of a failure that is being raised already, or of a
            // statement whose answer has been read.
            static_cast<void>(ace::AdsCloseSQLStatement(FHandle));
        }
    }
    TStatementGuard(const TStatementGuard&) = delete;
    TStatementGuard& operator=(const TStatementGuard&) = delete;
    ADSHANDLE Handle() const noexcept { return FHandle; }
    ADSHANDLE Release() noexcept { return std::exchange(FHandle, 0); }

  private:
    ADSHANDLE FHandle;
};

// A text property of a connection.
std::string ConnectionTextProperty(ADSHANDLE connection, UNSIGNED16 property) {
    UNSIGNED8 buffer[kPropertyCapacity + 1] = {};
    UNSIGNED32 length = kPropertyCapacity;
    CheckConnectionCall(ace::AdsGetConnectionProperty(connection, property, buffer, &length));
    return FromText8(buffer, std::min<std::size_t>(length, kPropertyCapacity));
}

TAdsDataEncryptionType EncryptionTypeOf(const std::string& text) {
    const std::string upper = rtl::UpperCase(text);
    if (upper == "RC4") {
        return etAdsRC4;
    }
    if (upper == "AES128") {
        return etAdsAES128;
    }
    if (upper == "AES256") {
        return etAdsAES256;
    }
    return etAdsDefault;
}

TAdsTLSCipherSuites CipherSuitesOf(const std::string& text) {
    TAdsTLSCipherSuites suites;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(":;", start), text.size());
        const std::string_view name = std::string_view(text).substr(start, end - start);
        if (name == "AES128-SHA") {
            suites.Include(tlsAES128SHA);
        } else if (name == "AES256-SHA") {
            suites.Include(tlsAES256SHA);
        } else if (name == "RC4-MD5") {
            suites.Include(tlsRC4MD5);
        }
        start = end + 1;
    }
    return suites;
}

}  // namespace

void TAdsConnection::CheckConnected() const {
    if (!FConnected) {
        throw adscnnct::AdsConnectionError(kNoConnection);
    }
}

// --- SQL -----------------------------------------------------------------------------------------

std::int32_t TAdsConnection::HashSQLText(const std::string& Text) {
    const std::u16string units = rtl::Utf8ToUtf16(Text);
    std::uint32_t hash = 0;
    const std::size_t length = units.size();
    if (length > 15) {
        // Long texts are sampled: eight characters spread over the text are enough to tell
        // the statements of one program apart, and cheap for long ones.
        const std::size_t step = length / 8;
        for (std::size_t i = 0; i < length; i += step) {
            hash = hash * 39u + units[i];
        }
    } else {
        for (const char16_t unit : units) {
            hash = hash * 37u + unit;
        }
    }
    return static_cast<std::int32_t>(hash);
}

std::int32_t TAdsConnection::Execute(const std::string& SQL, const db::TParams* Params, bool Cache,
                                     ADSHANDLE* Cursor) {
    return ExecuteStatement(nullptr, SQL, Params, Cache, Cursor);
}

std::int32_t TAdsConnection::Execute(const TAdsDatasetOptions& Options, const std::string& SQL,
                                     const db::TParams* Params, bool Cache, ADSHANDLE* Cursor) {
    return ExecuteStatement(&Options, SQL, Params, Cache, Cursor);
}

ADSHANDLE TAdsConnection::PrepareStatement(const TAdsDatasetOptions* Options,
                                           const std::string& SQL, bool wantCursor) {
    ADSHANDLE handle = 0;
    CheckAceResult(nullptr, ace::AdsCreateSQLStatement(FhConnection, &handle));
    // Closed again unless every step succeeds: a statement half set up is of no use.
    TStatementGuard statement(handle);
    if (wantCursor) {
        CheckAceResult(nullptr, ace::AdsStmtSetTableReadOnly(handle, 1));
    }
    if (Options != nullptr) {
        CheckAceResult(nullptr, ace::AdsStmtSetTableType(handle, Options->musAdsTableType));
        CheckAceResult(nullptr, ace::AdsStmtSetTableCharType(handle, Options->musAdsCharType));
        CheckAceResult(nullptr, ace::AdsStmtSetTableLockType(handle, Options->musAdsLockType));
        CheckAceResult(nullptr, ace::AdsStmtSetTableRights(handle, Options->musAdsRightsCheck));
    }
    const std::string collation = Options != nullptr ? Options->mstrCollation : FAdsCollation;
    if (!collation.empty()) {
        const std::string collation8 = rtl::Utf8ToAnsi(collation);
        CheckAceResult(nullptr, ace::AdsStmtSetTableCollation(handle, Text8(collation8)));
    }
    const std::u16string text = rtl::Utf8ToUtf16(SQL);
    CheckAceResult(nullptr, ace::AdsPrepareSQLW(handle, Text16(text)));
    return statement.Release();
}

std::int32_t TAdsConnection::ExecuteStatement(const TAdsDatasetOptions* Options,
                                              const std::string& SQL, const db::TParams* Params,
                                              bool Cache, ADSHANDLE* Cursor) {
    if (!FConnected) {
        Connect();
    }
    const bool wantCursor = Cursor != nullptr;
    std::optional<TStatementGuard> uncached;
    ADSHANDLE statement = 0;
    if (Cache) {
        const std::int32_t hash = HashSQLText(SQL);
        auto entry = std::find_if(FStmtList.begin(), FStmtList.end(), [&](const TStmtInfo& info) {
            return info.HashCode == hash && rtl::AnsiSameText(info.SQLText, SQL);
        });
        if (entry == FStmtList.end() || entry->StmtHandle == 0) {
            // An entry is only made for a statement that prepared: one that failed would
            // stay behind without a handle or text, matched by nothing, for every try.
            const ADSHANDLE prepared = PrepareStatement(Options, SQL, wantCursor);
            FStmtList.push_back(TStmtInfo{hash, prepared, SQL});
            statement = prepared;
        } else {
            statement = entry->StmtHandle;
        }
    } else {
        statement = PrepareStatement(Options, SQL, wantCursor);
        uncached.emplace(statement);
    }

    ADSHANDLE cursor = 0;
    if (Params != nullptr && Params->Count() > 0) {
        BindStatementParameters(nullptr, statement, *Params);
        CheckAceResult(nullptr, ace::AdsExecuteSQL(statement, wantCursor ? &cursor : nullptr));
    } else {
        const std::u16string text = rtl::Utf8ToUtf16(SQL);
        CheckAceResult(nullptr, ace::AdsExecuteSQLDirectW(statement, Text16(text),
                                                          wantCursor ? &cursor : nullptr));
    }
    if (wantCursor) {
        *Cursor = cursor;
        return 0;
    }
    UNSIGNED32 rows = 0;
    const UNSIGNED32 counted = ace::AdsGetRecordCount(statement, VE_IGNORE_FILTERS, &rows);
    if (counted == VE_NO_ROW_COUNT && Options == nullptr) {
        return 0;
    }
    CheckAceResult(nullptr, counted);
    if (rows > static_cast<UNSIGNED32>(INT32_MAX)) {
        throw rtl::ERangeError("Range check error");
    }
    return static_cast<std::int32_t>(rows);
}

void TAdsConnection::SendApplicationID() {
    db::TParams params;
    params.CreateParam(db::ftString, "FAppID", db::ptInput).SetAsString(FAppID);
    Execute("execute procedure sp_setapplicationid(:FAppID)", &params, false, nullptr);
}

std::string TAdsConnection::GetApplicationID() {
    if (!FConnected) {
        return FAppID;
    }
    ADSHANDLE handle = 0;
    CheckAceResult(nullptr, ace::AdsCreateSQLStatement(FhConnection, &handle));
    const TStatementGuard statement(handle);
    ADSHANDLE cursor = 0;
    CheckAceResult(
        nullptr, ace::AdsExecuteSQLDirect(handle, Text8("execute procedure sp_getapplicationid( )"),
                                          &cursor));
    // The cursor is the statement's answer only; it is closed with the answer read.
    struct TCursorGuard {
        ADSHANDLE Handle;
        ~TCursorGuard() {
            if (Handle != 0) {
                static_cast<void>(ace::AdsCloseTable(Handle));
            }
        }
    } cursorGuard{cursor};
    UNSIGNED8 value[kApplicationIDCapacity + 1] = {};
    UNSIGNED32 length = kApplicationIDCapacity;
    CheckAceResult(nullptr,
                   ace::AdsGetField(cursor, Text8("ApplicationID"), value, &length, VE_TRIM_BOTH));
    return FromText8(value, std::min<UNSIGNED32>(length, kApplicationIDCapacity));
}

// --- Name lists ----------------------------------------------------------------------------------

std::string TAdsConnection::TableSearchPattern(const std::string& strFileMask) const {
    if (FIsDictionaryConn) {
        return {};
    }
    std::string directory = FConnectString.empty() ? mstrAliasPath : FConnectString;
    while (!directory.empty() && (directory.back() == '/' || directory.back() == '\\')) {
        directory.pop_back();
    }
    std::string mask;
    switch (meAliasTableType) {
        case ttAdsConnectUnspecified:
            mask = strFileMask;
            break;
        case ttAdsConnectADT:
            mask = "*.adt";
            break;
        default:
            mask = "*.dbf";
            break;
    }
    return directory + "\\" + mask;
}

void TAdsConnection::GetTableNames(rtl::TStringList* poList, const std::string& strFileMask) {
    CheckConnected();
    if (poList == nullptr) {
        return;
    }
    FindTables(
        FhConnection, TableSearchPattern(strFileMask), false,
        [poList](const std::string&, const std::string& name) { poList->Add(name); },
        [](UNSIGNED32 result) { throw adscnnct::AdsError(result); });
}

void TAdsConnection::GetTableAndLinkNames(rtl::TStringList* poLinkNames,
                                          rtl::TStringList* poTableNames,
                                          const std::string& strFileMask) {
    CheckConnected();
    FindTables(
        FhConnection, TableSearchPattern(strFileMask), true,
        [poLinkNames, poTableNames](const std::string& link, const std::string& name) {
            if (poLinkNames != nullptr) {
                poLinkNames->Add(link);
            }
            if (poTableNames != nullptr) {
                poTableNames->Add(name);
            }
        },
        [](UNSIGNED32 result) { throw adscnnct::AdsError(result); });
}

void TAdsConnection::GetProcedureNames(rtl::TStringList* poList) {
    if (!FConnected) {
        Connect();
    }
    // Only a dictionary keeps procedures.
    if (!FIsDictionaryConn || poList == nullptr) {
        return;
    }
    UNSIGNED8 name[kDDObjectNameCapacity + 1] = {};
    UNSIGNED16 length = kDDObjectNameCapacity;
    ADSHANDLE find = 0;
    // The find handle goes however the listing ends.
    auto close = [&] {
        if (find != 0) {
            ace::AdsDDFindClose(FhConnection, std::exchange(find, 0));
        }
    };
    try {
        UNSIGNED32 result = ace::AdsDDFindFirstObject(FhConnection, VE_DD_PROCEDURE_OBJECT,
                                                      Text8(""), name, &length, &find);
        while (result != VE_DD_NO_MORE_OBJECTS) {
            CheckAceResult(nullptr, result);
            poList->Add(FromText8(name, std::min(length, kDDObjectNameCapacity)));
            length = kDDObjectNameCapacity;
            result = ace::AdsDDFindNextObject(FhConnection, find, name, &length);
        }
    } catch (...) {
        close();
        throw;
    }
    close();
}

int TAdsConnection::DDVersion(UNSIGNED16 property) const {
    // A dictionary's version; free tables have none.
    if (!FConnected || !FIsDictionaryConn) {
        return 0;
    }
    UNSIGNED16 version = 0;
    UNSIGNED16 length = sizeof version;
    CheckAceResult(nullptr,
                   ace::AdsDDGetDatabaseProperty(FhConnection, property, &version, &length));
    return version;
}

int TAdsConnection::DDVersionMajor() const {
    return DDVersion(VE_DD_VERSION_MAJOR);
}

int TAdsConnection::DDVersionMinor() const {
    return DDVersion(VE_DD_VERSION_MINOR);
}

const rtl::TStringList& TAdsConnection::UserGroups() {
    if (!FReadUserGroups) {
        FUserGroups.Clear();
        FUserGroupsString.clear();
        if (FConnected && FIsDictionaryConn) {
            const std::string user = rtl::Utf8ToAnsi(FUsername);
            UNSIGNED16 length = 0;
            // Asked with no buffer first: the engine answers the length it needs (5005), or
            // 5138 for a user in no group.
            const UNSIGNED32 sized = ace::AdsDDGetUserProperty(
                FhConnection, Text8(user), VE_DD_USER_GROUP_MEMBERSHIP, nullptr, &length);
            if (sized != VE_BUFFER_TOO_SMALL && sized != VE_DD_PROPERTY_NOT_SET) {
                CheckAceResult(nullptr, sized);
            }
            if (sized != VE_DD_PROPERTY_NOT_SET && length != 0) {
                std::string buffer(length, '\0');
                CheckAceResult(nullptr, ace::AdsDDGetUserProperty(FhConnection, Text8(user),
                                                                  VE_DD_USER_GROUP_MEMBERSHIP,
                                                                  buffer.data(), &length));
                buffer.resize(std::strlen(buffer.c_str()));
                FUserGroupsString = rtl::AnsiToUtf8(buffer);
                std::size_t start = 0;
                while (start < FUserGroupsString.size()) {
                    std::size_t end = FUserGroupsString.find(';', start);
                    if (end == std::string::npos) {
                        end = FUserGroupsString.size();
                    }
                    FUserGroups.Add(FUserGroupsString.substr(start, end - start));
                    start = end + 1;
                }
            }
            FReadUserGroups = true;
        }
    }
    return FUserGroups;
}

const std::string& TAdsConnection::UserGroupsString() {
    UserGroups();
    return FUserGroupsString;
}

// --- Server information --------------------------------------------------------------------------

rtl::TDateTime TAdsConnection::GetServerTime() {
    if (!FConnected) {
        Connect();
    }
    UNSIGNED8 date[kServerDateCapacity + 1] = {};
    UNSIGNED16 dateLength = kServerDateCapacity;
    UNSIGNED8 timeText[kServerTimeCapacity + 1] = {};
    UNSIGNED16 timeLength = kServerTimeCapacity;
    SIGNED32 milliseconds = 0;
    CheckConnectionCall(ace::AdsGetServerTime(FhConnection, date, &dateLength, &milliseconds,
                                              timeText, &timeLength));
    double julian = 0;
    CheckConnectionCall(ace::AdsConvertDateToJulian(FhConnection, date, dateLength, &julian));
    UNSIGNED8 digits[kJulianTextCapacity + 1] = {};
    UNSIGNED16 digitsLength = kJulianTextCapacity;
    CheckConnectionCall(ace::AdsConvertJulianToString(julian, digits, &digitsLength));
    const std::string text(reinterpret_cast<const char*>(digits), digitsLength);
    const int year = rtl::StrToInt(text.substr(0, 4));
    const int month = rtl::StrToInt(text.substr(4, 2));
    const int day = rtl::StrToInt(text.substr(6, 2));
    return rtl::EncodeDate(year, month, day) + milliseconds / kMillisecondsPerDay;
}

void TAdsConnection::CloseCachedTables() {
    if (FConnected) {
        CheckConnectionCall(ace::AdsCloseCachedTables(FhConnection));
    }
}

// --- Adopting an engine connection ---------------------------------------------------------------

void TAdsConnection::AdoptSettings(ADSHANDLE hConnection) {
    FUsername = ConnectionTextProperty(hConnection, VE_CONNECTION_PROP_USERNAME);
    FPassword = ConnectionTextProperty(hConnection, VE_CONNECTION_PROP_PASSWORD);
    UNSIGNED16 type = 0;
    CheckConnectionCall(ace::AdsGetConnectionType(hConnection, &type));
    if ((type & VE_SERVER_REMOTE) != 0) {
        FAdsServerTypes.Include(stADS_REMOTE);
    }
    if ((type & VE_SERVER_LOCAL) != 0) {
        FAdsServerTypes.Include(stADS_LOCAL);
    }
    if ((type & VE_SERVER_INTERNET) != 0) {
        FAdsServerTypes.Include(stADS_AIS);
    }
    // Stored directly: the encryption options' setters refuse while connected, and these
    // values describe a connection that exists already.
    TAdsEncryptionOptions& options = *FEncryptionOptions;
    options.FDataEncryptionType =
        EncryptionTypeOf(ConnectionTextProperty(hConnection, VE_CONNECTION_PROP_ENCRYPTION_TYPE));
    options.FCertificate = ConnectionTextProperty(hConnection, VE_CONNECTION_PROP_TLS_CERTIFICATE);
    options.FCipherSuites =
        CipherSuitesOf(ConnectionTextProperty(hConnection, VE_CONNECTION_PROP_TLS_CIPHERS));
    options.FCommonName = ConnectionTextProperty(hConnection, VE_CONNECTION_PROP_TLS_COMMON_NAME);
    UNSIGNED16 fips = 0;
    UNSIGNED32 fipsLength = sizeof fips;
    CheckConnectionCall(
        ace::AdsGetConnectionProperty(hConnection, VE_CONNECTION_PROP_FIPS, &fips, &fipsLength));
    options.FFIPSMode = fips != 0;
    UNSIGNED32 comm = 0;
    UNSIGNED32 commLength = sizeof comm;
    CheckConnectionCall(ace::AdsGetConnectionProperty(hConnection, VE_CONNECTION_PROP_COMM_TYPE,
                                                      &comm, &commLength));
    if (comm == VE_COMM_TCP_IP) {
        FAdsCommunicationType = ctAdsTCPIP;
    } else if (comm == VE_COMM_TLS) {
        FAdsCommunicationType = ctAdsTLS;
    }
}

void TAdsConnection::SetHandle(ADSHANDLE hConnection, bool bShareHandle) {
    if (FConnected || FGivenConnection != 0) {
        throw adscnnct::AdsConnectionError(kAlreadyConnected);
    }
    UNSIGNED8 path[kPathCapacity + 1] = {};
    UNSIGNED16 length = kPathCapacity;
    if (ace::AdsGetConnectionPath(hConnection, path, &length) != VE_SUCCESS) {
        throw adscnnct::AdsConnectionError(kNoPathFromHandle);
    }
    SetConnectPath(FromText8(path, std::min<UNSIGNED16>(length, kPathCapacity)));
    AdoptSettings(hConnection);
    if (bShareHandle) {
        FGivenConnection = hConnection;
    }
    Connect();
}

TAdsConnection* TAdsConnection::CreateWithHandle(rtl::TComponent* Owner, ADSHANDLE Handle) {
    auto connection = std::make_unique<TAdsConnection>(Owner);
    connection->SetHandle(Handle, true);
    return connection.release();
}

TAdsConnection* TAdsConnection::CreateFromHandle(rtl::TComponent* Owner, ADSHANDLE Handle,
                                                 const std::string& strName) {
    auto connection = std::make_unique<TAdsConnection>(Owner);
    connection->SetLoginPrompt(false);
    connection->SetHandle(Handle, false);
    connection->SetName(strName);
    return connection.release();
}

}  // namespace varelum::ads
