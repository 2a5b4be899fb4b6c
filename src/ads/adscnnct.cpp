// The connection component's construction, properties and setters, its paths, the server
// information it answers, and its list of attached datasets (see adscnnct.h).
#include "ads/adscnnct.h"

#include <algorithm>
#include <mutex>

#include "ads/ace.h"
#include "ads/ace_text.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "rtl/code_page.h"
#include "rtl/text.h"

namespace varelum::ads {

namespace {

// The engine takes date formats of at most this many characters.
constexpr std::size_t kMaxDateFormatLength = 11;
// Buffer sizes of the engine's answers.
constexpr UNSIGNED16 kDateFormatCapacity = 12;
constexpr UNSIGNED16 kServerNameCapacity = 255;

std::mutex gLoginDialogSync;
TAdsLoginDialog gLoginDialog;

void CheckConnectionCall(UNSIGNED32 result) {
    if (result != VE_SUCCESS) {
        throw adscnnct::AdsError(result);
    }
}

}  // namespace

void SetLoginDialog(TAdsLoginDialog dialog) {
    const std::lock_guard<std::mutex> lock(gLoginDialogSync);
    gLoginDialog = std::move(dialog);
}

TAdsLoginDialog LoginDialog() {
    const std::lock_guard<std::mutex> lock(gLoginDialogSync);
    return gLoginDialog;
}

// --- TAdsEncryptionOptions
// ------------------------------------------------------------------------

void TAdsEncryptionOptions::CheckNotConnected() const {
    if (FConnection.IsConnected()) {
        throw adscnnct::AdsConnectionError("Connection cannot be active when changing property.");
    }
}

void TAdsEncryptionOptions::SetFIPSMode(bool Value) {
    CheckNotConnected();
    FFIPSMode = Value;
}

void TAdsEncryptionOptions::SetTLSCipherSuite(TAdsTLSCipherSuites Value) {
    CheckNotConnected();
    FCipherSuites = Value;
}

void TAdsEncryptionOptions::SetTLSCertificate(const std::string& Value) {
    CheckNotConnected();
    FCertificate = Value;
}

void TAdsEncryptionOptions::SetTLSCommonName(const std::string& Value) {
    CheckNotConnected();
    FCommonName = Value;
}

void TAdsEncryptionOptions::SetDataEncryptionType(TAdsDataEncryptionType Value) {
    CheckNotConnected();
    FDataEncryptionType = Value;
}

void TAdsEncryptionOptions::SetDataDictionaryPassword(const std::string& Value) {
    CheckNotConnected();
    FDDPassword = Value;
}

// --- Construction
// ---------------------------------------------------------------------------------

TAdsConnection::TAdsConnection(rtl::TComponent* owner)
    : TAdsConnectionBase(owner),
      FEncryptionOptions(std::make_unique<TAdsEncryptionOptions>(*this)) {}

void TAdsConnection::CheckNotConnected(const char* propertyName) const {
    if (FConnected) {
        throw adscnnct::AdsConnectionError(std::string("The TAdsConnection.") + propertyName +
                                           " may not be changed when IsConnected is TRUE");
    }
}

// --- Where the connection goes ----------------------------------------------------------------

void TAdsConnection::SetAliasName(const std::string& Value) {
    CheckNotConnected("AliasName");
    FValidAlias = true;
    if (Value.empty()) {
        FAliasName.clear();
        mstrAliasPath.clear();
        meAliasTableType = ttAdsConnectUnspecified;
        return;
    }
    std::string path;
    TAdsConnectionTableTypes tableType = ttAdsConnectUnspecified;
    if (!LookupAlias(Value, path, tableType)) {
        FValidAlias = false;
        FAliasName = Value;
        mstrAliasPath.clear();
        meAliasTableType = ttAdsConnectUnspecified;
        return;
    }
    FConnectString.clear();
    FAliasName = Value;
    mstrAliasPath = path;
    meAliasTableType = tableType;
    FIsDictionaryConn = IsDictionaryPath(mstrAliasPath);

    TAdsTableTypes datasetType = ttAdsADT;
    if (Owner() == nullptr || !DataSetTableTypeOf(meAliasTableType, datasetType)) {
        return;
    }
    for (int i = 0; i < Owner()->ComponentCount(); ++i) {
        auto* dataset = dynamic_cast<TAdsDataSet*>(Owner()->Components(i));
        if (dataset != nullptr && dataset->AdsConnection() == this &&
            (dataset->DatabaseName().empty() || dataset->DatabaseName() == Name())) {
            dataset->SetTableType(datasetType);
        }
    }
}

void TAdsConnection::SetConnectPath(const std::string& Value) {
    CheckNotConnected("ConnectPath");
    FConnectString = Value;
    FIsDictionaryConn = IsDictionaryPath(Value);
    FAliasName.clear();
    mstrAliasPath.clear();
    meAliasTableType = ttAdsConnectUnspecified;
}

std::string TAdsConnection::GetConnectionWithDDPath() const {
    return FConnectString.empty() ? mstrAliasPath : FConnectString;
}

std::string TAdsConnection::GetConnectionPath() const {
    std::string path = GetConnectionWithDDPath();
    const std::size_t length = path.size();
    if (length <= 4 || path[length - 4] != '.' || rtl::SameText(path.substr(length - 3), "ADD")) {
        return path;
    }
    // The path names a file (a table or another dictionary's file): its directory is meant.
    if (const std::size_t slash = path.rfind('/'); slash != std::string::npos) {
        return path.substr(0, slash);
    }
    if (const std::size_t backslash = path.rfind('\\'); backslash != std::string::npos) {
        return path.substr(0, backslash);
    }
    return ".\\";
}

// --- Options
// --------------------------------------------------------------------------------------

void TAdsConnection::SetSQLTimeout(std::int32_t Value) {
    if (FConnected) {
        if (Value < 0) {
            throw rtl::ERangeError("Range check error");
        }
        CheckAceResult(nullptr,
                       ace::AdsSetSQLTimeout(FhConnection, static_cast<UNSIGNED32>(Value)));
    }
    FSQLTimeout = Value;
}

void TAdsConnection::SetApplicationID(const std::string& Value) {
    if (Value == FAppID) {
        return;
    }
    FAppID = Value;
    if (FConnected) {
        SendApplicationID();
    }
}

void TAdsConnection::SetExtraConnectString(const std::string& Value) {
    CheckNotConnected("ExtraConnectString");
    FExtraConnectString = Value;
}

void TAdsConnection::SetDateFormat(const std::string& Value) {
    const std::string engineFormat = rtl::Utf8ToAnsi(Value.substr(0, kMaxDateFormatLength));
    if (FConnected) {
        if (Value.empty()) {
            throw adscnnct::AdsConnectionError(
                "The TAdsConnection.DateFormat may not be set to an empty string when IsConnected "
                "is TRUE");
        }
        CheckAceResult(nullptr, ace::AdsSetDateFormat60(FhConnection, Text8(engineFormat)));
    } else if (!Value.empty()) {
        // Only the engine knows which formats it reads; ask it with the process-wide format
        // and put that back, whatever the answer.
        UNSIGNED8 saved[kDateFormatCapacity + 1] = {};
        UNSIGNED16 length = kDateFormatCapacity;
        const UNSIGNED32 savedResult = ace::AdsGetDateFormat(saved, &length);
        const UNSIGNED32 trial = ace::AdsSetDateFormat(Text8(engineFormat));
        if (savedResult == VE_SUCCESS) {
            // Putting back a format the engine gave out cannot be refused; if it were, the
            // engine would keep the tried one, which it accepts as well.
            static_cast<void>(ace::AdsSetDateFormat(saved));
        }
        if (trial != VE_SUCCESS) {
            throw adscnnct::AdsConnectionError("Unrecognized DateFormat String");
        }
    }
    FDateFormat = Value;
}

// --- Server information ---------------------------------------------------------------------

std::string TAdsConnection::ServerName() const {
    if (!FConnected) {
        if (ComponentState().Contains(rtl::csDesigning)) {
            return {};
        }
        throw adscnnct::AdsConnectionError("Must be connected to get database server name.");
    }
    UNSIGNED8 name[kServerNameCapacity + 1] = {};
    UNSIGNED16 length = kServerNameCapacity;
    CheckConnectionCall(ace::AdsGetServerName(FhConnection, name, &length));
    return rtl::AnsiToUtf8(std::string(reinterpret_cast<const char*>(name), length));
}

std::string TAdsConnection::ConnectionType() const {
    if (!FConnected) {
        return {};
    }
    UNSIGNED16 type = 0;
    CheckConnectionCall(ace::AdsGetConnectionType(FhConnection, &type));
    switch (type) {
        case VE_SERVER_LOCAL:
            return "Local";
        case VE_SERVER_REMOTE:
            return "Remote";
        case VE_SERVER_INTERNET:
            return "Internet";
        default:
            return {};
    }
}

bool TAdsConnection::IsConnectionAlive() const {
    if (!FConnected) {
        return false;
    }
    UNSIGNED16 alive = 0;
    CheckConnectionCall(ace::AdsIsConnectionAlive(FhConnection, &alive));
    return alive != 0;
}

// --- Attached datasets ------------------------------------------------------------------------

void TAdsConnection::AddTableToConnectList(TAdsDatabaseLink* table) {
    FTablesList.push_back(table);
}

void TAdsConnection::RemoveTableFromConnectList(TAdsDatabaseLink* table) {
    const auto found = std::find(FTablesList.begin(), FTablesList.end(), table);
    if (found != FTablesList.end()) {
        FTablesList.erase(found);
    }
}

void TAdsConnection::CloseCachedStatements() {
    // Every entry goes, also when the engine refuses to close one: a statement whose
    // connection is gone is gone with it.
    std::vector<TStmtInfo> statements;
    statements.swap(FStmtList);
    for (const TStmtInfo& statement : statements) {
        if (statement.StmtHandle != 0) {
            static_cast<void>(ace::AdsCloseSQLStatement(statement.StmtHandle));
        }
    }
}

// --- Events
// ---------------------------------------------------------------------------------------

void TAdsConnection::Fire(const TAdsConnectionNotifyEvent& event) {
    if (event) {
        event(*this);
    }
}

void TAdsConnection::DoAfterCommit() {
    Fire(AfterCommit);
}

void TAdsConnection::DoBeforeCommit() {
    Fire(BeforeCommit);
}

void TAdsConnection::DoAfterRollback() {
    Fire(AfterRollback);
}

void TAdsConnection::DoBeforeRollback() {
    Fire(BeforeRollback);
}

void TAdsConnection::DoOnConnect() {
    Fire(OnConnect);
}

void TAdsConnection::DoOnDisconnect() {
    Fire(OnDisconnect);
}

}  // namespace varelum::ads
