// The data-access layer's exceptions, and CheckAceResult, which stands between every engine
// call and its caller.
//
// EADSDatabaseError is the database error of the layer: engine failures and the layer's own
// failures (code 5121 and a fixed English sentence) both become one, carrying the engine's
// code, an SQL error code when the engine text names one, and the identity of the dataset
// concerned. The connection component and the engine-settings component have smaller
// exceptions of their own, which carry only a message: adscnnct::AdsError and
// adscnnct::AdsConnectionError, adsset::AdsError and adsset::AdsSettingsError. (The two
// AdsError classes share their name; each lives in its component's namespace.)
//
// Engine texts are Windows-1252; every message here is UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/exception.h"
#include "varelum_engine.h"

namespace varelum::ads {

class TAdsDatabaseLink;

// Codes that the layer itself gives its errors.
inline constexpr UNSIGNED32 kAdsComponentError = VE_COMPONENT_ERROR;      // 5121
inline constexpr UNSIGNED32 kAdsPermissionDenied = VE_PERMISSION_DENIED;  // 5054
inline constexpr UNSIGNED32 kAdsRecordChanged = VE_RECORD_CHANGED;        // 5186
// The engine answer "no current record", which CheckAceResultIgnoreNoRecord lets pass.
inline constexpr UNSIGNED32 kAdsNoCurrentRecord = VE_NO_CURRENT_RECORD;  // 5068

// The capacity, in characters, of the text buffers that engine error texts are read into.
inline constexpr UNSIGNED16 kAdsErrorTextCapacity = 600;

// The per-thread flag that is set while an EADSDatabaseError gathers its context. While it is
// set, CheckAceResult does not raise and a new EADSDatabaseError is built empty, so a failure
// inside the gathering (for instance while the database path is worked out) neither raises
// nor replaces the error being built. False at thread start.
bool ErrorInProgress() noexcept;

class EADSDatabaseError : public rtl::EDatabaseError {
  public:
    // An error about oDataSet (may be null) with code ulErrCode and text strMsg (UTF-8).
    // When a dataset is given, its Name, its owner's Name, DatabaseName, database path
    // (GetDatabasePath) and TableName are recorded; any failure while they are gathered is
    // discarded and the error is built with what was gathered. For codes 5147 to 5149 the
    // column named after `column "` in the text becomes ColumnName. SQLErrorCode is the
    // number after "NATIVEERROR = " in a text that also contains "ERROR 7200:" (either in any
    // case), 0 when there is none or it is no number. The message is the dataset's Name, ": "
    // and the text, or the text alone when there is no dataset or its Name is empty.
    // Built while ErrorInProgress() is set on this thread, the error is empty: no message,
    // code 0, no fields.
    EADSDatabaseError(TAdsDatabaseLink* oDataSet, UNSIGNED32 ulErrCode, const std::string& strMsg);
    EADSDatabaseError(const EADSDatabaseError&) = default;
    EADSDatabaseError& operator=(const EADSDatabaseError&) = default;
    // Clears ErrorInProgress on the destroying thread.
    ~EADSDatabaseError() override;

    UNSIGNED32 ACEErrorCode() const noexcept { return ulACEError; }
    UNSIGNED32 SQLErrorCode() const noexcept { return ulSQLErrorCode; }
    const std::string& DataSetInstanceName() const noexcept { return strDataSetInstanceName; }
    const std::string& DataSetInstanceOwner() const noexcept { return strDataSetInstanceOwner; }
    const std::string& DatabaseName() const noexcept { return strDatabaseName; }
    const std::string& DatabasePath() const noexcept { return strDatabasePath; }
    const std::string& TableName() const noexcept { return strTableName; }
    const std::string& ColumnName() const noexcept { return strColumnName; }

    const char* ClassName() const noexcept override { return "EADSDatabaseError"; }

  private:
    void GatherDataSetContext(TAdsDatabaseLink* oDataSet, const std::string& strMsg);

    UNSIGNED32 ulACEError = 0;
    UNSIGNED32 ulSQLErrorCode = 0;
    std::string strDataSetInstanceName;
    std::string strDataSetInstanceOwner;
    std::string strDatabaseName;
    std::string strDatabasePath;
    std::string strTableName;
    std::string strColumnName;
};

// Returns when ulResult is 0. Otherwise, unless ErrorInProgress() is set on this thread (then
// it returns too), fetches the engine's last error and raises EADSDatabaseError about
// oDataSet (may be null) with the code and text that the engine reports as its last error,
// not ulResult.
void CheckAceResult(TAdsDatabaseLink* oDataSet, UNSIGNED32 ulResult);

// As CheckAceResult, except that 5068 (no current record) also passes.
void CheckAceResultIgnoreNoRecord(TAdsDatabaseLink* oDataSet, UNSIGNED32 ulResult);

// Raises the layer's own error: EADSDatabaseError about oDataSet with code 5121 and the
// fixed sentence strMsg.
[[noreturn]] void RaiseAdsComponentError(TAdsDatabaseLink* oDataSet, const std::string& strMsg);

// The engine's last error of this thread: its code and its text (UTF-8; empty when the engine
// has none). A text longer than the buffer comes back cut.
struct TAceLastError {
    UNSIGNED32 Code = 0;
    std::string Text;
};
TAceLastError GetAceLastError();

// The connection component's exceptions.
namespace adscnnct {

// A failed engine call of the connection component. The message is the text of the
// engine's last error; the code given is not kept. When the text cannot be fetched, the
// engine's error display (AdsShowError) is called with "Ads Exception Error" and the message
// is empty.
class AdsError : public rtl::Exception {
  public:
    explicit AdsError(UNSIGNED32 ulRetCode);
    const char* ClassName() const noexcept override { return "AdsError"; }
};

// Misuse of a connection component; the message is the fixed sentence given.
class AdsConnectionError : public rtl::Exception {
  public:
    explicit AdsConnectionError(const std::string& acMsg) : rtl::Exception(acMsg) {}
    const char* ClassName() const noexcept override { return "AdsConnectionError"; }
};

}  // namespace adscnnct

// The engine-settings component's exceptions.
namespace adsset {

// A failed engine call of the settings component. The message is the engine's text for
// ulRetCode (AdsGetErrorString); the code is not kept. When the text cannot be fetched, the
// engine's error display (AdsShowError) is called with "Ads Exception Error" and the message
// is empty.
class AdsError : public rtl::Exception {
  public:
    explicit AdsError(UNSIGNED32 ulRetCode);
    const char* ClassName() const noexcept override { return "AdsError"; }
};

// A value the settings component refuses by itself; the message is the fixed sentence given.
class AdsSettingsError : public rtl::Exception {
  public:
    explicit AdsSettingsError(const std::string& acMsg) : rtl::Exception(acMsg) {}
    const char* ClassName() const noexcept override { return "AdsSettingsError"; }
};

}  // namespace adsset

}  // namespace varelum::ads
