// TAdsDatabaseLink: DatabaseName and AdsConnection setters, GetDatabasePath and
// ConnectAndGetHandle (see adsdata_link.h for the contract).
//
// A DatabaseName is matched against connection Names, never against their AliasName: the
// stock-count window's datasets name the alias "BALDERIM", which its connection component
// also uses, and they resolve through ads.ini to one shared dynamic connection.
#include "ads/adsdata_link.h"

#include "ads/adsdata_errors.h"
#include "ads/adsdata_registry.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// The first connection named Value in the four passes of the search: with the dataset's Owner
// and the calling thread, the calling thread, the dataset's Owner, any. REQUIRES: the
// registry's lock.
TAdsConnectionBase* FindNamedConnection(const TConnectionRegistry& registry,
                                        const std::string& Value, const rtl::TComponent* owner) {
    const std::vector<TAdsConnectionBase*>& connections = registry.Items();
    const auto named = [&Value](const TAdsConnectionBase* connection) {
        return rtl::SameText(connection->Name(), Value);
    };
    for (TAdsConnectionBase* connection : connections) {
        if (named(connection) && connection->Owner() == owner &&
            connection->CreatedByCallingThread()) {
            return connection;
        }
    }
    for (TAdsConnectionBase* connection : connections) {
        if (named(connection) && connection->CreatedByCallingThread()) {
            return connection;
        }
    }
    for (TAdsConnectionBase* connection : connections) {
        if (named(connection) && connection->Owner() == owner) {
            return connection;
        }
    }
    for (TAdsConnectionBase* connection : connections) {
        if (connection->IsNamedBy(Value)) {
            return connection;
        }
    }
    return nullptr;
}

}  // namespace

TAdsDatabaseLink::TAdsDatabaseLink(rtl::TComponent& dataSetComponent)
    : FDataSetComponent(dataSetComponent) {
    CreatedDataSetRegistry().Add(this);
}

TAdsDatabaseLink::~TAdsDatabaseLink() {
    if (mpoAdsConnection != nullptr) {
        mpoAdsConnection->RemoveTableFromConnectList(this);
    }
    if (TDataSetRegistry* registry = DataSetRegistry()) {
        registry->Remove(this);
    }
}

void TAdsDatabaseLink::SetDatabaseName(const std::string& Value) {
    if (IsDataSetOpen()) {
        RaiseAdsComponentError(this, "Cannot perform this operation on an open dataset");
    }
    mbDisplayedPathNoExistsWarning = false;
    if (Value.empty()) {
        mstrDatabaseName.clear();
        mstrAliasPath.clear();
        // Takes over a linked connection's table type.
        (void)GetDatabasePath();
        return;
    }
    if (TConnectionRegistry* registry = ConnectionRegistry()) {
        const TConnectionRegistry::TLock lock = registry->Lock();
        if (TAdsConnectionBase* match =
                FindNamedConnection(*registry, Value, FDataSetComponent.Owner())) {
            mstrDatabaseName = Value;
            mstrAliasPath.clear();
            SetAdsConnection(match);
            return;
        }
    }
    mstrDatabaseName = Value;
    std::string aliasPath;
    TAdsTableTypes aliasType = meTableType;
    if (!HasPathSeparator(Value) && LookupAlias(Value, aliasPath, aliasType)) {
        mstrAliasPath = aliasPath;
        SetTableType(aliasType);
    } else {
        mstrAliasPath.clear();
    }
}

void TAdsDatabaseLink::SetAdsConnection(TAdsConnectionBase* Value) {
    if (IsDataSetOpen()) {
        RaiseAdsComponentError(this, "Table must not be Active.");
    }
    mbDisplayedPathNoExistsWarning = false;
    if (Value != mpoAdsConnection) {
        if (mpoAdsConnection != nullptr) {
            mpoAdsConnection->RemoveTableFromConnectList(this);
        }
        if (Value != nullptr) {
            Value->AddTableToConnectList(this);
        }
    }
    mpoAdsConnection = Value;
    (void)GetDatabasePath();
}

bool TAdsDatabaseLink::UsesConnection() const {
    return mstrDatabaseName.empty() ||
           (mpoAdsConnection != nullptr && mpoAdsConnection->IsNamedBy(mstrDatabaseName));
}

void TAdsDatabaseLink::FollowTableType(TAdsTableTypes tableType) {
    if (tableType != meTableType) {
        SetTableType(tableType);
    }
}

std::string TAdsDatabaseLink::GetDatabasePath() {
    std::string path;
    if (!mstrAliasPath.empty()) {
        path = mstrAliasPath;
    } else if (UsesConnection()) {
        if (mpoAdsConnection != nullptr) {
            path = mpoAdsConnection->GetConnectionPath();
            TAdsTableTypes connectionType = meTableType;
            if (DataSetTableTypeOf(mpoAdsConnection->GetAdsTableType(), connectionType)) {
                FollowTableType(connectionType);
            }
        }
    } else if (HasPathSeparator(mstrDatabaseName)) {
        path = mstrDatabaseName;
    } else {
        std::string aliasPath;
        TAdsTableTypes aliasType = meTableType;
        if (LookupAlias(mstrDatabaseName, aliasPath, aliasType)) {
            path = aliasPath;
            mstrAliasPath = aliasPath;
            FollowTableType(aliasType);
        } else {
            path = mstrDatabaseName;
        }
    }
    if (path.size() > 1 && IsSeparator(path.back())) {
        path.pop_back();
    }
    return path;
}

ADSHANDLE TAdsDatabaseLink::ConnectAndGetHandle() {
    if (mpoAdsConnection != nullptr) {
        mpoAdsConnection->Connect();
        return mpoAdsConnection->ConnectionHandle();
    }
    std::string path = GetDatabasePath();
    // A bare drive means its root directory, not the drive's current directory.
    if (path.size() == 2 && path[1] == ':') {
        path += '\\';
    }
    TDynamicConnList& connections = DynamicConnections();
    const ADSHANDLE found = connections.FindSameDatabasename(path);
    return found != 0 ? found : connections.Add(path);
}

}  // namespace varelum::ads
