// The registries and the dynamic connections (see adsdata_registry.h for the contract).
//
// The lists are created on first use and deliberately never destroyed: components may be
// destroyed by static destructors in any order at process end, and must still find their
// registry then. For the same reason the dynamic connections are not disconnected by a
// destructor or exit handler of ours: those run after the engine's per-thread error state
// has been destroyed, and an engine call from there touches freed memory.
#include "ads/adsdata_registry.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <new>

#include "ads/ace.h"
#include "ads/adsdata_errors.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

std::int32_t CallingThreadID() noexcept {
    return static_cast<std::int32_t>(syscall(SYS_gettid));
}

template <typename Registry>
Registry& CreatedRegistry(std::atomic<Registry*>& slot) {
    static std::mutex creation;
    Registry* registry = slot.load(std::memory_order_acquire);
    if (registry == nullptr) {
        std::lock_guard<std::mutex> guard(creation);
        registry = slot.load(std::memory_order_acquire);
        if (registry == nullptr) {
            registry = new Registry();
            slot.store(registry, std::memory_order_release);
        }
    }
    return *registry;
}

std::atomic<TConnectionRegistry*> gConnectionRegistry{nullptr};
std::atomic<TDataSetRegistry*> gDataSetRegistry{nullptr};

TDynamicConnList* gDynamicConnections = nullptr;
std::once_flag gDynamicConnectionsCreated;

}  // namespace

// --- TAdsConnectionBase ---------------------------------------------------------------------

TAdsConnectionBase::TAdsConnectionBase(rtl::TComponent* owner)
    : rtl::TComponent(owner), FThreadID(CallingThreadID()) {
    CreatedConnectionRegistry().Add(this);
}

TAdsConnectionBase::~TAdsConnectionBase() {
    if (TConnectionRegistry* registry = ConnectionRegistry()) {
        registry->Remove(this);
    }
}

bool TAdsConnectionBase::CreatedByCallingThread() const noexcept {
    return FThreadID == CallingThreadID();
}

bool TAdsConnectionBase::IsNamedBy(const std::string& name) const {
    if (rtl::SameText(name, Name())) {
        return true;
    }
    return Owner() != nullptr && rtl::SameText(name, Owner()->Name() + "." + Name());
}

// --- Registries -------------------------------------------------------------------------------

TConnectionRegistry* ConnectionRegistry() noexcept {
    return gConnectionRegistry.load(std::memory_order_acquire);
}

TDataSetRegistry* DataSetRegistry() noexcept {
    return gDataSetRegistry.load(std::memory_order_acquire);
}

TConnectionRegistry& CreatedConnectionRegistry() {
    return CreatedRegistry(gConnectionRegistry);
}

TDataSetRegistry& CreatedDataSetRegistry() {
    return CreatedRegistry(gDataSetRegistry);
}

// --- TDynamicConnList ---------------------------------------------------------------------------

TDynamicConnList::~TDynamicConnList() {
    DisconnectAll();
}

void TDynamicConnList::DisconnectAll() noexcept {
    std::lock_guard<std::mutex> guard(FSync);
    for (const TDynamicConn& entry : FItems) {
        try {
            CheckAceResult(nullptr, ace::AdsDisconnect(entry.FhAceConn));
        } catch (...) {
            // The process is ending: a connection the engine will not close is closed by the
            // operating system, and there is no caller left to tell.
        }
    }
    FItems.clear();
}

ADSHANDLE TDynamicConnList::Add(const std::string& strDatabasename) {
    std::lock_guard<std::mutex> guard(FSync);
    const std::string path = rtl::Utf8ToAnsi(strDatabasename);
    ADSHANDLE hConnect = 0;
    CheckAceResult(nullptr,
                   ace::AdsConnect(reinterpret_cast<const UNSIGNED8*>(path.c_str()), &hConnect));
    try {
        FItems.push_back(TDynamicConn{hConnect, strDatabasename});
    } catch (const std::bad_alloc&) {
        // Without an entry nobody would ever disconnect it.
        (void)ace::AdsDisconnect(hConnect);
        return 0;
    }
    return hConnect;
}

ADSHANDLE TDynamicConnList::FindSameDatabasename(
    const std::string& strDatabasename) const noexcept {
    std::lock_guard<std::mutex> guard(FSync);
    for (const TDynamicConn& entry : FItems) {
        if (rtl::SameText(entry.FstrDatabasename, strDatabasename)) {
            return entry.FhAceConn;
        }
    }
    return 0;
}

std::vector<TDynamicConn> TDynamicConnList::Entries() const {
    std::lock_guard<std::mutex> guard(FSync);
    return FItems;
}

TDynamicConnList& DynamicConnections() {
    std::call_once(gDynamicConnectionsCreated,
                   [] { gDynamicConnections = new TDynamicConnList(); });
    return *gDynamicConnections;
}

}  // namespace varelum::ads
