// The dataset's list of the table files of its database (see TAdsDataSet::GetFiles).
#include "ads/ace.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "ads/adsdata_registry.h"
#include "ads/adsdata_table_search.h"
#include "rtl/code_page.h"

namespace varelum::ads {

namespace {

// A connection opened for one search and closed after it.
class TTemporaryConnection {
  public:
    TTemporaryConnection() = default;
    ~TTemporaryConnection() {
        if (FHandle != 0) {
            // Only reached after a failure that is being raised already.
            static_cast<void>(ace::AdsDisconnect(FHandle));
        }
    }
    TTemporaryConnection(const TTemporaryConnection&) = delete;
    TTemporaryConnection& operator=(const TTemporaryConnection&) = delete;

    ADSHANDLE* Place() noexcept { return &FHandle; }
    ADSHANDLE Handle() const noexcept { return FHandle; }
    ADSHANDLE Release() noexcept { return std::exchange(FHandle, 0); }

  private:
    ADSHANDLE FHandle = 0;
};

}  // namespace

void TAdsDataSet::GetFiles(rtl::TStringList& list) {
    const std::string path = GetNativeDatabasePath();
    if (path.empty()) {
        return;
    }
    const std::string mask = TableType() == ttAdsADT ? "*.adt" : "*.dbf";

    TTemporaryConnection temporary;
    ADSHANDLE connection = 0;
    if (TAdsConnectionBase* component = AdsConnection()) {
        if (!component->IsConnected()) {
            component->Connect();
        }
        connection = component->ConnectionHandle();
    } else {
        if (mlHandle != kNoAdsHandle) {
            const UNSIGNED32 result = ace::AdsGetTableConnection(mlHandle, &connection);
            if (result == VE_NO_CONNECTION) {
                connection = 0;
            } else {
                Check(result);
            }
        }
        if (connection == 0) {
            const std::string path8 = rtl::Utf8ToAnsi(GetDatabasePath());
            Check(ace::AdsConnect(reinterpret_cast<const UNSIGNED8*>(path8.c_str()),
                                  temporary.Place()));
            connection = temporary.Handle();
        }
    }
    if (connection == 0 || connection == kNoAdsHandle) {
        RaiseError("Internal error getting connection handle");
    }

    const std::string pattern = IsDictionaryPath(path) ? std::string() : path + "\\" + mask;
    FindTables(
        connection, pattern, false,
        [&list](const std::string&, const std::string& name) { list.Add(name); },
        [this](UNSIGNED32 result) { Check(result); });
    if (temporary.Handle() != 0) {
        Check(ace::AdsDisconnect(temporary.Release()));
    }
}

}  // namespace varelum::ads
