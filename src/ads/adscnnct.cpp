// The connection component's core: alias and path, the connection string, connecting,
// disconnecting and the attached datasets.
#include "ads/adscnnct.h"

#include <algorithm>
#include <optional>

#include "ads/ace.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "rtl/code_page.h"

namespace varelum::ads {

namespace {

// The longest data source the connection string carries.
constexpr std::size_t kMaxDataSourceLength = 255;

std::string ConnectedMessage(const char* propertyName) {
    return std::string("The TAdsConnection.") + propertyName +
           " may not be changed when IsConnected is TRUE";
}

const char* TableTypeText(TAdsConnectionTableTypes type) {
    switch (type) {
        case ttAdsConnectCDX:
            return "CDX";
        case ttAdsConnectNTX:
            return "NTX";
        case ttAdsConnectADT:
            return "ADT";
        case ttAdsConnectVFP:
            return "VFP";
        case ttAdsConnectUnspecified:
            break;
    }
    return "ALIAS_TABLE_TYPE_NOT_SET";
}

std::string ServerTypeList(TAdsServerTypes types) {
    std::string list;
    if (types.Contains(stADS_LOCAL)) {
        list += "LOCAL|";
    }
    if (types.Contains(stADS_REMOTE)) {
        list += "REMOTE|";
    }
    if (types.Contains(stADS_AIS)) {
        list += "INTERNET|";
    }
    if (!list.empty()) {
        list.pop_back();
    }
    return list;
}

}  // namespace

TAdsConnection::TAdsConnection(rtl::TComponent* owner) : TAdsConnectionBase(owner) {}

TAdsConnection::~TAdsConnection() {
    if (FConnected) {
        try {
            CloseAttachedDataSets(false);
        } catch (...) {
            // A dataset that cannot close is still cut loose below; a destructor cannot raise.
        }
        for (TAdsDatabaseLink* table : FTablesList) {
            table->ClearAdsConnection();
        }
        FTablesList.clear();
        // A refusal (5024, the handle is gone already, or any other) leaves nothing to undo,
        // and a destructor has nobody to report it to.
        static_cast<void>(ace::AdsDisconnect(FhConnection));
        FhConnection = 0;
        FConnected = false;
    } else {
        for (TAdsDatabaseLink* table : FTablesList) {
            table->ClearAdsConnection();
        }
        FTablesList.clear();
    }
}

void TAdsConnection::CheckNotConnected(const char* propertyName) const {
    if (FConnected) {
        throw adscnnct::AdsConnectionError(ConnectedMessage(propertyName));
    }
}

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
    if (length <= 4 || path[length - 4] != '.') {
        return path;
    }
    std::string extension = path.substr(length - 3);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (extension == "ADD") {
        return path;
    }
    if (const std::size_t slash = path.rfind('/'); slash != std::string::npos) {
        return path.substr(0, slash);
    }
    if (const std::size_t backslash = path.rfind('\\'); backslash != std::string::npos) {
        return path.substr(0, backslash);
    }
    return ".\\";
}

std::string TAdsConnection::ConnectString() const {
    std::string text =
        "Data Source=" + GetConnectionWithDDPath().substr(0, kMaxDataSourceLength) + ";";
    text += "FIPS=False;";
    if (!FAdsServerTypes.Empty()) {
        text += "ServerType=" + ServerTypeList(FAdsServerTypes) + ";";
    }
    if (meAliasTableType != ttAdsConnectUnspecified) {
        text += std::string("TableType=") + TableTypeText(meAliasTableType) + ";";
    }
    return text;
}

void TAdsConnection::SetIsConnected(bool Value) {
    if (Value) {
        Connect();
    } else {
        Disconnect();
    }
}

void TAdsConnection::Connect() {
    if (FConnected) {
        return;
    }
    if (ComponentState().Contains(rtl::csReading)) {
        bConnectAfterLoad = true;
        return;
    }
    if (!FValidAlias) {
        SetAliasName(FAliasName);
        if (!FValidAlias) {
            throw adscnnct::AdsConnectionError("TAdsConnection.AliasName is not valid");
        }
    }
    if (GetConnectionWithDDPath().empty()) {
        throw adscnnct::AdsConnectionError(
            "Must specify connection string before getting a server connection.");
    }
    OpenEngineConnection();
    FConnected = true;
}

void TAdsConnection::OpenEngineConnection() {
    const std::string connectString = rtl::Utf8ToAnsi(ConnectString());
    ADSHANDLE handle = 0;
    CheckAceResult(nullptr,
                   ace::AdsConnect101(reinterpret_cast<const UNSIGNED8*>(connectString.c_str()),
                                      nullptr, &handle));
    FhConnection = handle;
}

void TAdsConnection::CloseAttachedDataSets(bool dropErrors) {
    for (TAdsDatabaseLink* table : FTablesList) {
        auto* dataset = dynamic_cast<TAdsDataSet*>(table);
        if (dataset == nullptr) {
            continue;
        }
        if (dropErrors) {
            try {
                dataset->Close();
            } catch (...) {
                // A dataset that fails to close must not keep the connection open.
            }
        } else {
            dataset->Close();
        }
        dataset->InvalidateAceHandles();
    }
}

void TAdsConnection::Disconnect() {
    if (!FConnected) {
        return;
    }
    CloseAttachedDataSets(true);
    // The error is built at once, while the engine's last error is still this call's.
    std::optional<adscnnct::AdsError> refusal;
    if (const UNSIGNED32 result = ace::AdsDisconnect(FhConnection); result != 0) {
        refusal.emplace(result);
    }
    FConnected = false;
    FhConnection = 0;
    if (refusal) {
        throw *refusal;
    }
}

void TAdsConnection::Loaded() {
    TAdsConnectionBase::Loaded();
    if (bConnectAfterLoad && !FConnected) {
        bConnectAfterLoad = false;
        Connect();
    }
}

void TAdsConnection::AddTableToConnectList(TAdsDatabaseLink* table) {
    FTablesList.push_back(table);
}

void TAdsConnection::RemoveTableFromConnectList(TAdsDatabaseLink* table) {
    const auto found = std::find(FTablesList.begin(), FTablesList.end(), table);
    if (found != FTablesList.end()) {
        FTablesList.erase(found);
    }
}

}  // namespace varelum::ads
