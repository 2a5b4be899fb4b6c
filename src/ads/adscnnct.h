// TAdsConnection: the connection component. A named, owned, non-visual component that opens one
// engine connection from a connection path or from an alias of ads.ini, and keeps the list of
// datasets attached to it (those whose DatabaseName names it).
//
// This is the component's core: AliasName (validated against ads.ini), ConnectPath,
// AdsServerTypes, connecting and disconnecting with the engine connection string, the list of
// attached datasets and the destruction rules. Login, encryption and transport options,
// transactions, statement caching and the other services of an open connection come later; a
// connection string is built only from the parts those properties leave (data source, FIPS,
// server type, alias table type).
#pragma once

#include <string>
#include <vector>

#include "ads/adsdata_registry.h"
#include "ads/adsset.h"

namespace varelum::ads {

class TAdsConnection : public TAdsConnectionBase {
  public:
    // Disconnected, no alias or path, AdsServerTypes empty; joins ConnectionRegistry.
    explicit TAdsConnection(rtl::TComponent* owner = nullptr);
    // Connected: closes every attached dataset, forgets its handles and its link to this
    // connection, and disconnects (an engine refusal other than 5024 is dropped here: a
    // destructor cannot raise). Not connected: the attached datasets just forget this
    // connection.
    ~TAdsConnection() override;

    // --- Where the connection goes ---------------------------------------------------------------

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
    // Refused while connected. Sets the path and forgets the alias.
    void SetConnectPath(const std::string& Value);

    TAdsServerTypes AdsServerTypes() const noexcept { return FAdsServerTypes; }
    void SetAdsServerTypes(TAdsServerTypes Value) { FAdsServerTypes = Value; }

    // ConnectPath when not empty, else the alias's path.
    std::string GetConnectionWithDDPath() const;
    // As GetConnectionWithDDPath, cut to its directory when it ends in a file name (a "." as
    // fourth character from the end, not of ".ADD").
    std::string GetConnectionPath() const override;
    TAdsConnectionTableTypes GetAdsTableType() const override { return meAliasTableType; }
    bool IsDictionaryConn() const noexcept { return FIsDictionaryConn; }

    // The engine connection string: "Data Source=<path, at most 255 characters>;FIPS=False;",
    // then "ServerType=LOCAL|REMOTE|INTERNET;" (the types present, in that order) when
    // AdsServerTypes is not empty, then "TableType=CDX|NTX|ADT|VFP;" when the alias gives one.
    std::string ConnectString() const;

    // --- Connecting ------------------------------------------------------------------------------

    bool IsConnected() const override { return FConnected; }
    // true connects (while the component is being read, only at Loaded), false disconnects.
    void SetIsConnected(bool Value);
    // Nothing when connected. An alias not found (again) raises AdsConnectionError
    // "TAdsConnection.AliasName is not valid"; no path at all "Must specify connection string
    // before getting a server connection."; an engine refusal EADSDatabaseError without a
    // dataset. Any failure leaves the component disconnected.
    void Connect() override;
    // Nothing when not connected. Closes the attached datasets (errors while closing are
    // dropped) and forgets their handles, then disconnects; an engine refusal raises
    // adscnnct::AdsError after the component has become disconnected.
    void Disconnect();
    // The engine handle while connected, else 0.
    ADSHANDLE ConnectionHandle() const override { return FConnected ? FhConnection : 0; }
    // The raw handle field, also when not connected.
    ADSHANDLE Handle() const noexcept { return FhConnection; }

    // Connects now when connecting was asked for while the component was being read.
    void Loaded() override;

    // --- Attached datasets -----------------------------------------------------------------------

    void AddTableToConnectList(TAdsDatabaseLink* table) override;
    void RemoveTableFromConnectList(TAdsDatabaseLink* table) override;
    int DataSetCount() const noexcept { return static_cast<int>(FTablesList.size()); }
    // REQUIRES: 0 <= index < DataSetCount().
    TAdsDatabaseLink* DataSets(int index) const { return FTablesList.at(index); }

  private:
    void CheckNotConnected(const char* propertyName) const;
    void OpenEngineConnection();
    // Closes each attached dataset and forgets its engine handles.
    void CloseAttachedDataSets(bool dropErrors);

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
    TAdsServerTypes FAdsServerTypes;
};

}  // namespace varelum::ads
