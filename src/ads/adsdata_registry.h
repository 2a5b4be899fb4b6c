// The process-wide lists of the data-access layer: every connection component
// (ConnectionRegistry), every dataset (DataSetRegistry), and the shared dynamic connections
// that datasets open for plain paths and aliases (DynamicConnections).
//
// TAdsConnectionBase is what datasets and the registry require of a connection component;
// TAdsConnection (the connection component) derives from it. A connection is in
// ConnectionRegistry from its construction to its destruction.
//
// Locks: each list has its own. Where both are needed, the dataset registry's lock is taken
// first and the connection registry's second (the renaming of a connection holds the first
// while the DatabaseName setters it runs take the second). Both are recursive, so a component
// created or destroyed by code that holds a lock on the same thread does not deadlock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "ads/adsdata_names.h"
#include "rtl/component.h"
#include "varelum_engine.h"

namespace varelum::ads {

class TAdsDatabaseLink;

// What the data-access layer needs of a connection component: a component (Name, Owner)
// that can connect and tells its handle, path and table type, and keeps its attached datasets.
class TAdsConnectionBase : public rtl::TComponent {
  public:
    // Adds the connection to ConnectionRegistry (creating the registry with its first member)
    // and records the calling thread as the creating one.
    explicit TAdsConnectionBase(rtl::TComponent* owner = nullptr);
    // Removes the connection from ConnectionRegistry.
    ~TAdsConnectionBase() override;

    // The id of the thread that created the component.
    std::int32_t ConnectionThreadID() const noexcept { return FThreadID; }
    bool CreatedByCallingThread() const noexcept;

    // Connects when not connected; throws when connecting fails.
    virtual void Connect() = 0;
    virtual bool IsConnected() const = 0;
    // The engine connection handle while connected, else 0.
    virtual ADSHANDLE ConnectionHandle() const = 0;
    // The directory (or dictionary) path the connection works on.
    virtual std::string GetConnectionPath() const = 0;
    // The table type of the connection's alias.
    virtual TAdsConnectionTableTypes GetAdsTableType() const = 0;
    // Attach and detach a dataset (the first occurrence; detaching an absent one does nothing).
    virtual void AddTableToConnectList(TAdsDatabaseLink* table) = 0;
    virtual void RemoveTableFromConnectList(TAdsDatabaseLink* table) = 0;
    // Whether the attached tables and queries open read-only.
    virtual bool ReadOnly() const { return false; }
    // The collation of the attached tables and statements that set none of their own; empty
    // when the connection gives none.
    virtual std::string AdsCollation() const { return {}; }

    // True when name is this connection's Name, or its Owner's Name + "." + its Name (the
    // latter only when it has an Owner), ignoring case.
    bool IsNamedBy(const std::string& name) const;

  private:
    std::int32_t FThreadID;
};

// A list of components with its own lock, in creation order.
template <typename T>
class TComponentRegistry {
  public:
    using TLock = std::unique_lock<std::recursive_mutex>;

    // Holds the registry's lock for as long as the result lives.
    TLock Lock() const { return TLock(FSync); }
    // REQUIRES: the caller holds Lock().
    const std::vector<T*>& Items() const noexcept { return FItems; }

    void Add(T* item) {
        TLock lock(FSync);
        FItems.push_back(item);
    }
    void Remove(T* item) {
        TLock lock(FSync);
        std::erase(FItems, item);
    }

  private:
    mutable std::recursive_mutex FSync;
    std::vector<T*> FItems;
};

using TConnectionRegistry = TComponentRegistry<TAdsConnectionBase>;
using TDataSetRegistry = TComponentRegistry<TAdsDatabaseLink>;

// The registries: null until their first member is created; afterwards they stay until the
// process ends.
TConnectionRegistry* ConnectionRegistry() noexcept;
TDataSetRegistry* DataSetRegistry() noexcept;

// The registries, created when they do not exist yet (for their members' constructors).
TConnectionRegistry& CreatedConnectionRegistry();
TDataSetRegistry& CreatedDataSetRegistry();

// One shared engine connection of the process, opened for a database path.
struct TDynamicConn {
    ADSHANDLE FhAceConn = 0;
    std::string FstrDatabasename;
};

// The shared connections that datasets without a connection component use: one per database
// path (compared ignoring case), opened at the first use of the path and kept until the list
// is destroyed.
class TDynamicConnList {
  public:
    TDynamicConnList() = default;
    // Disconnects every connection, in list order. An engine refusal is not raised: this runs
    // when the process ends, where nobody is left to handle it.
    ~TDynamicConnList();

    TDynamicConnList(const TDynamicConnList&) = delete;
    TDynamicConnList& operator=(const TDynamicConnList&) = delete;

    // Connects to strDatabasename (AdsConnect) and adds the connection; returns its handle.
    // Throws EADSDatabaseError (no dataset, the engine's code and text) when the engine
    // refuses; then nothing is added. Returns 0 (and disconnects again) when the entry cannot
    // be stored.
    ADSHANDLE Add(const std::string& strDatabasename);
    // The handle of the first connection opened for strDatabasename (ignoring case); 0 when
    // there is none.
    ADSHANDLE FindSameDatabasename(const std::string& strDatabasename) const noexcept;

    // A copy of the entries, in the order they were added.
    std::vector<TDynamicConn> Entries() const;

    // Disconnects every connection, in list order, and empties the list. An engine refusal is
    // not raised: this runs when the program ends, where nobody is left to handle it.
    void DisconnectAll() noexcept;

  private:
    std::vector<TDynamicConn> FItems;
    mutable std::mutex FSync;
};

// The process's dynamic connections. Created at its first use and never destroyed: a dynamic
// connection stays open until the program ends. The program's end calls
// DynamicConnections().DisconnectAll() after its components are destroyed and before the
// process exits. (Not from an exit handler: by then the engine's per-thread state is gone.)
// Connections still open when the process ends are closed by the operating system; nothing
// written is lost, as every engine write is durable at once.
TDynamicConnList& DynamicConnections();

}  // namespace varelum::ads
