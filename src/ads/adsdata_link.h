// TAdsDatabaseLink: the dataset's side of database-name resolution, the link from a dataset
// to the engine connection it opens its table or statement on.
//
// Every dataset class of the layer derives from it besides its dataset base (TAdsDataSet
// derives from db::TDataSet and TAdsDatabaseLink) and hands it the dataset component itself,
// whose Name and Owner the link reads, and its open state (IsDataSetOpen). The link holds the
// resolution state (DatabaseName, the alias path found in ads.ini, AdsConnection, TableType,
// TableName) and implements the DatabaseName and AdsConnection setters, GetDatabasePath and
// ConnectAndGetHandle:
//
//  - DatabaseName names a connection component (its Name, or its Owner's Name "." its Name,
//    ignoring case), an alias of ads.ini, or a path;
//  - a dataset with a connection component uses that connection; any other dataset shares the
//    process-wide dynamic connection of its path (DynamicConnections), opened at its first use.
//
// A link is in DataSetRegistry from its construction to its destruction.
//
// Texts are UTF-8; paths go to the engine as Windows-1252.
#pragma once

#include <string>

#include "ads/adsdata_names.h"
#include "rtl/component.h"
#include "varelum_engine.h"

namespace varelum::ads {

class TAdsConnectionBase;

class TAdsDatabaseLink {
  public:
    // dataSetComponent is the dataset itself (it must outlive the link, as a base or member of
    // the same object does). Adds the dataset to DataSetRegistry (creating the registry with
    // its first member).
    explicit TAdsDatabaseLink(rtl::TComponent& dataSetComponent);
    // Detaches from the connection component, if any, and leaves DataSetRegistry.
    virtual ~TAdsDatabaseLink();

    TAdsDatabaseLink(const TAdsDatabaseLink&) = delete;
    TAdsDatabaseLink& operator=(const TAdsDatabaseLink&) = delete;

    // --- The dataset ---------------------------------------------------------------------------

    // The dataset component: its Name and Owner identify it in errors and in the search.
    rtl::TComponent& DataSetComponent() const noexcept { return FDataSetComponent; }
    // True while the dataset is open (active); supplied by the dataset class.
    virtual bool IsDataSetOpen() const = 0;

    // --- Resolution ----------------------------------------------------------------------------

    const std::string& DatabaseName() const noexcept { return mstrDatabaseName; }
    // The DatabaseName setter. Throws EADSDatabaseError (this dataset, code 5121) "Cannot
    // perform this operation on an open dataset" while the dataset is open. Otherwise: an
    // empty value clears the name and the alias path; a value that names a connection
    // component links the dataset to it (searching ConnectionRegistry under its lock: first a
    // connection of the dataset's Owner created by the calling thread, then one created by the
    // calling thread, then one of the same Owner, then any, each in creation order); else a
    // value without a path separator that ads.ini knows as an alias takes the alias path and
    // its table type; else the value is a path. The AdsConnection is kept unless a connection
    // matched.
    virtual void SetDatabaseName(const std::string& Value);

    TAdsConnectionBase* AdsConnection() const noexcept { return mpoAdsConnection; }
    // The AdsConnection setter: detaches from the current connection and attaches to Value
    // (null: none) when they differ. Throws EADSDatabaseError (this dataset, code 5121) "Table
    // must not be Active." while the dataset is open.
    virtual void SetAdsConnection(TAdsConnectionBase* Value);

    // Forgets the connection component without detaching from it: for that component's
    // destruction, which sets each dataset still attached to it to none.
    void ClearAdsConnection() noexcept { mpoAdsConnection = nullptr; }

    // The path in force: the alias path when there is one; the connection's path when the
    // connection is used (DatabaseName empty, or naming the connection set), empty when it is
    // used but none is set; DatabaseName itself when it has a separator or ads.ini does not
    // know it; otherwise the alias's path (kept as the alias path from now on). TableType
    // follows the connection's or the alias's table type where they give one. A trailing "/"
    // or "\" is removed from a result longer than one character. May throw what LookupAlias
    // throws.
    std::string GetDatabasePath();
    std::string GetNativeDatabasePath() { return GetDatabasePath(); }

    // The engine connection handle to open tables and statements on. With a connection
    // component: connects it when needed and returns its ConnectionHandle. Otherwise the
    // dynamic connection of GetDatabasePath() (a path of two characters ending in ":", a
    // drive, gets "\" appended),
    // opened now when the path has none yet. Throws EADSDatabaseError (no dataset) with the
    // engine's text when the engine refuses to connect. Callers treat 0 and -1 as no
    // connection.
    ADSHANDLE ConnectAndGetHandle();

    // The alias path found in ads.ini for DatabaseName; empty when none.
    const std::string& AliasPath() const noexcept { return mstrAliasPath; }

    TAdsTableTypes TableType() const noexcept { return meTableType; }
    // The TableType setter. The dataset class overrides it when the type matters beyond this
    // field (for instance to refuse a change while open); resolution changes the type only
    // through it.
    virtual void SetTableType(TAdsTableTypes Value) { meTableType = Value; }

    const std::string& TableName() const noexcept { return mstrTableName; }
    void SetTableName(const std::string& Value) { mstrTableName = Value; }

    // Cleared whenever DatabaseName or AdsConnection is set: the dataset has not warned yet
    // that its path does not exist.
    bool DisplayedPathNoExistsWarning() const noexcept { return mbDisplayedPathNoExistsWarning; }
    void SetDisplayedPathNoExistsWarning(bool value) noexcept {
        mbDisplayedPathNoExistsWarning = value;
    }

  protected:
    // The fields that resolution reads and writes; the dataset's other parts use them too.
    std::string mstrDatabaseName;
    std::string mstrAliasPath;
    TAdsConnectionBase* mpoAdsConnection = nullptr;
    TAdsTableTypes meTableType = ttAdsADT;
    std::string mstrTableName;
    bool mbDisplayedPathNoExistsWarning = false;

  private:
    rtl::TComponent& FDataSetComponent;

    // True when the connection set (if any) is the one GetDatabasePath uses.
    bool UsesConnection() const;
    void FollowTableType(TAdsTableTypes tableType);
};

}  // namespace varelum::ads
