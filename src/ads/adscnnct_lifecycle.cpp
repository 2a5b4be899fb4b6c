// The connection component's life: connecting with its log-in step, disconnecting, the
// destructor, Loaded, and the renaming that links the datasets of the registry to a connection
// by its Name (see adscnnct.h).
//
// The order of the steps is part of the contract: events fire where users hook their own work
// (opening datasets after a connect, saving before a disconnect), and a failure before the
// engine connect leaves the component as it was, with no later event fired.
#include <algorithm>
#include <optional>
#include <utility>

#include "ads/ace.h"
#include "ads/ace_text.h"
#include "ads/adscnnct.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "db/dataset.h"
#include "rtl/code_page.h"
#include "rtl/text.h"

namespace varelum::ads {

namespace {

// The answers when the engine connection is gone already (closed elsewhere, or with the
// engine's own end); a destructor lets them pass, as there is nothing left to close.
bool ConnectionGone(UNSIGNED32 result) {
    return result == 5024 || result == VE_CLOSED_HANDLE;
}

// Hands an error that a destructor cannot raise to the application's exception handler; with
// none installed there is nobody left to tell, and the error is dropped.
void ReportFromDestructor(std::exception_ptr error) noexcept {
    try {
        if (const db::TExceptionHandler& handler = db::ApplicationExceptionHandler()) {
            handler(error);
        }
    } catch (...) {
        // The handler itself failed while reporting; a destructor must still finish.
    }
}

}  // namespace

// --- Connecting
// -----------------------------------------------------------------------------------

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
    FReadUserGroups = false;
    Fire(BeforeConnect);
    if (!FValidAlias) {
        // ads.ini may have the alias by now.
        SetAliasName(FAliasName);
        if (!FValidAlias) {
            throw adscnnct::AdsConnectionError("TAdsConnection.AliasName is not valid");
        }
    }
    if (GetConnectionWithDDPath().empty()) {
        throw adscnnct::AdsConnectionError(
            "Must specify connection string before getting a server connection.");
    }
    if (FGivenConnection != 0) {
        FhConnection = FGivenConnection;
    } else {
        OpenEngineConnection();
    }
    FConnected = true;
    if (!FAppID.empty()) {
        SendApplicationID();
    }
    if (FIsDictionaryConn) {
        // A copy: a dataset may leave the list while it reads.
        const std::vector<TAdsDatabaseLink*> tables = FTablesList;
        for (TAdsDatabaseLink* table : tables) {
            if (auto* dataset = dynamic_cast<TAdsDataSet*>(table)) {
                dataset->UpdateDefaultIndex();
            }
        }
    }
    Fire(AfterConnect);
    DoOnConnect();
}

void TAdsConnection::LogIn() {
    std::string user;
    std::string password;
    if (FLoginPrompt && FIsDictionaryConn) {
        if (OnLogin) {
            OnLogin(*this, user, password);
        } else {
            user = FUsername;
            if (const TAdsLoginDialog dialog = LoginDialog()) {
                if (!dialog(Name(), user, password)) {
                    throw rtl::EDatabaseError("Cannot connect to database '" + Name() + "'");
                }
            } else {
                password = FPassword;
            }
        }
        FUsername = user;
        // A designer must not keep a typed password in the stored form.
        if (!ComponentState().Contains(rtl::csDesigning)) {
            FPassword = password;
        }
    }
}

void TAdsConnection::OpenEngineConnection() {
    LogIn();
    const std::string connectString = rtl::Utf8ToAnsi(ConnectString());
    ADSHANDLE handle = 0;
    CheckAceResult(nullptr, ace::AdsConnect101(Text8(connectString), nullptr, &handle));
    FhConnection = handle;
}

// --- Disconnecting
// --------------------------------------------------------------------------------

void TAdsConnection::CloseAttachedDataSets() {
    // A copy: closing runs the datasets' events, which may detach or destroy datasets.
    const std::vector<TAdsDatabaseLink*> tables = FTablesList;
    for (TAdsDatabaseLink* table : tables) {
        if (std::find(FTablesList.begin(), FTablesList.end(), table) == FTablesList.end()) {
            continue;
        }
        auto* dataset = dynamic_cast<TAdsDataSet*>(table);
        if (dataset == nullptr) {
            continue;
        }
        try {
            dataset->Close();
        } catch (...) {
            // The connection closes regardless; the engine closes the dataset's table with it,
            // and the dataset's next engine call reports the closed handle.
        }
        dataset->InvalidateAceHandles();
    }
}

void TAdsConnection::Disconnect() {
    if (!FConnected) {
        return;
    }
    FReadUserGroups = false;
    Fire(BeforeDisconnect);
    CloseAttachedDataSets();
    CloseCachedStatements();
    // The error is built at once, while the engine's last error is still this call's.
    std::optional<adscnnct::AdsError> refusal;
    if (FGivenConnection == 0) {
        if (const UNSIGNED32 result = ace::AdsDisconnect(FhConnection); result != VE_SUCCESS) {
            refusal.emplace(result);
        }
    }
    FConnected = false;
    FhConnection = 0;
    Fire(AfterDisconnect);
    DoOnDisconnect();
    if (refusal) {
        throw *refusal;
    }
}

// --- Destruction
// ----------------------------------------------------------------------------------

TAdsConnection::~TAdsConnection() {
    if (FConnected) {
        DestroyConnected();
    } else {
        for (TAdsDatabaseLink* table : FTablesList) {
            table->ClearAdsConnection();
        }
        FTablesList.clear();
    }
}

void TAdsConnection::DestroyConnected() noexcept {
    const std::vector<TAdsDatabaseLink*> tables = std::exchange(FTablesList, {});
    for (TAdsDatabaseLink* table : tables) {
        if (auto* dataset = dynamic_cast<TAdsDataSet*>(table)) {
            try {
                dataset->Close();
            } catch (...) {
                ReportFromDestructor(std::current_exception());
            }
            dataset->InvalidateAceHandles();
        }
        table->ClearAdsConnection();
    }
    try {
        CloseCachedStatements();
        if (FGivenConnection == 0) {
            const UNSIGNED32 result = ace::AdsDisconnect(FhConnection);
            if (result != VE_SUCCESS && !ConnectionGone(result)) {
                throw adscnnct::AdsError(result);
            }
        }
    } catch (...) {
        ReportFromDestructor(std::current_exception());
    }
    try {
        DoOnDisconnect();
    } catch (...) {
        ReportFromDestructor(std::current_exception());
    }
    FhConnection = 0;
    FConnected = false;
}

// --- Loading
// --------------------------------------------------------------------------------------

void TAdsConnection::Loaded() {
    TAdsConnectionBase::Loaded();
    if (!bConnectAfterLoad || FConnected) {
        return;
    }
    bConnectAfterLoad = false;
    if (!ComponentState().Contains(rtl::csDesigning)) {
        Connect();
        return;
    }
    try {
        Connect();
    } catch (...) {
        // A designer goes on loading the form; the user sees why the connection failed.
        if (const db::TExceptionHandler& handler = db::ApplicationExceptionHandler()) {
            handler(std::current_exception());
        }
    }
}

// --- Renaming
// -------------------------------------------------------------------------------------

void TAdsConnection::SetName(std::string name) {
    if (name == Name()) {
        return;
    }
    const std::string oldName = Name();
    RenameDataSets(oldName, name);
}

void TAdsConnection::RenameDataSets(const std::string& oldName, const std::string& newName) {
    TDataSetRegistry* registry = DataSetRegistry();
    if (registry == nullptr || Owner() == nullptr) {
        TAdsConnectionBase::SetName(newName);
        return;
    }
    const std::string ownerName = Owner()->Name();
    // The dataset registry's lock first; the DatabaseName setters take the connection
    // registry's second.
    const TDataSetRegistry::TLock lock = registry->Lock();

    // The new DatabaseName of each dataset concerned, in registry order.
    std::vector<std::pair<TAdsDatabaseLink*, std::string>> renames;
    for (TAdsDatabaseLink* dataset : registry->Items()) {
        const bool linkable =
            dataset->AdsConnection() == nullptr || dataset->AdsConnection() == this;
        if (!linkable) {
            continue;
        }
        const std::string& databaseName = dataset->DatabaseName();
        if (!oldName.empty()) {
            if (rtl::SameText(databaseName, oldName)) {
                renames.emplace_back(dataset, newName);
                continue;
            }
            if (rtl::SameText(databaseName, ownerName + "." + oldName)) {
                renames.emplace_back(dataset, ownerName + "." + newName);
                continue;
            }
        }
        const rtl::TComponent* datasetOwner = dataset->DataSetComponent().Owner();
        if (datasetOwner != nullptr &&
            rtl::SameText(ownerName + "." + newName, datasetOwner->Name() + "." + databaseName)) {
            renames.emplace_back(dataset, newName);
        }
    }

    // An open dataset refuses a new DatabaseName; refusing the whole rename keeps every
    // dataset naming the connection by the Name it has.
    for (const auto& [dataset, databaseName] : renames) {
        if (dataset->IsDataSetOpen()) {
            RaiseAdsComponentError(dataset, "Cannot perform this operation on an open dataset");
        }
    }
    TAdsConnectionBase::SetName(newName);
    for (const auto& [dataset, databaseName] : renames) {
        dataset->SetDatabaseName(databaseName);
    }
}

}  // namespace varelum::ads
