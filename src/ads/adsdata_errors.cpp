// The layer's exceptions and CheckAceResult (see adsdata_errors.h for the contract).
//
// EADSDatabaseError reads its dataset's context through the dataset's own operations, which
// may call the engine and fail in turn. ErrorInProgress keeps such a nested failure from
// raising or replacing the error being built; it is per thread, so errors built on different
// threads do not suppress each other.
#include "ads/adsdata_errors.h"

#include <charconv>
#include <cstdint>

#include "ads/ace.h"
#include "ads/adsdata_link.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

thread_local bool tErrorInProgress = false;

constexpr std::string_view kColumnMarker = "column \"";
constexpr std::size_t kColumnNameMaxLength = 900;
constexpr std::string_view kSqlErrorMarker = "ERROR 7200:";
constexpr std::string_view kNativeErrorMarker = "NATIVEERROR = ";
constexpr const char* kShowErrorCaption = "Ads Exception Error";

bool NamesColumn(UNSIGNED32 code) {
    return code >= 5147 && code <= 5149;
}

// The column named in an engine text: what follows `column "`, up to the next `"` and at most
// kColumnNameMaxLength characters; empty without the marker.
std::string ColumnNameFromText(const std::string& text) {
    const std::size_t marker = text.find(kColumnMarker);
    if (marker == std::string::npos) {
        return {};
    }
    std::string name = text.substr(marker + kColumnMarker.size(), kColumnNameMaxLength);
    const std::size_t quote = name.find('"');
    if (quote != std::string::npos) {
        name.resize(quote);
    }
    return name;
}

// The native SQL error code of an "ERROR 7200:" text, read after "NATIVEERROR = " up to ";" or
// the end; 0 when the text has no such number. A negative number keeps its 32-bit pattern, as
// the field is unsigned.
UNSIGNED32 SqlErrorCodeFromText(const std::string& text) {
    const std::string upper = rtl::UpperCase(text);
    if (upper.find(kSqlErrorMarker) == std::string::npos) {
        return 0;
    }
    const std::size_t marker = upper.find(kNativeErrorMarker);
    if (marker == std::string::npos) {
        return 0;
    }
    const std::size_t start = marker + kNativeErrorMarker.size();
    const std::size_t end = upper.find(';', start);
    const std::string number = rtl::Trim(
        std::string_view(upper).substr(start, end == std::string::npos ? end : end - start));
    std::int32_t value = 0;
    const char* first = number.data();
    const char* last = number.data() + number.size();
    const auto [stop, error] = std::from_chars(first, last, value);
    if (number.empty() || error != std::errc() || stop != last) {
        return 0;
    }
    return static_cast<UNSIGNED32>(value);
}

std::string EngineText(const UNSIGNED8* buffer) {
    return rtl::AnsiToUtf8(reinterpret_cast<const char*>(buffer));
}

void ShowEngineErrorDisplay() {
    // The display is the engine's last resort for an error whose text is lost; its own
    // failure has nowhere left to go.
    (void)ace::AdsShowError(reinterpret_cast<const UNSIGNED8*>(kShowErrorCaption));
}

}  // namespace

bool ErrorInProgress() noexcept {
    return tErrorInProgress;
}

EADSDatabaseError::EADSDatabaseError(TAdsDatabaseLink* oDataSet, UNSIGNED32 ulErrCode,
                                     const std::string& strMsg)
    : rtl::EDatabaseError(std::string()) {
    if (tErrorInProgress) {
        return;
    }
    tErrorInProgress = true;
    ulACEError = ulErrCode;
    try {
        GatherDataSetContext(oDataSet, strMsg);
    } catch (...) {
        // The error being built is the one to report; whatever failed while its context was
        // gathered is secondary and would only hide it.
    }
    // A nested EADSDatabaseError that was discarded above cleared the flag when destroyed;
    // that no longer matters, as the gathering is over.
    SetMessage(strDataSetInstanceName.empty() ? strMsg : strDataSetInstanceName + ": " + strMsg);
    tErrorInProgress = false;
}

void EADSDatabaseError::GatherDataSetContext(TAdsDatabaseLink* oDataSet,
                                             const std::string& strMsg) {
    if (oDataSet != nullptr) {
        const rtl::TComponent& component = oDataSet->DataSetComponent();
        strDataSetInstanceName = component.Name();
        if (const rtl::TComponent* owner = component.Owner()) {
            strDataSetInstanceOwner = owner->Name();
        }
        strDatabaseName = oDataSet->DatabaseName();
        strDatabasePath = oDataSet->GetDatabasePath();
        strTableName = oDataSet->TableName();
        if (NamesColumn(ulACEError)) {
            strColumnName = ColumnNameFromText(strMsg);
        }
    }
    ulSQLErrorCode = SqlErrorCodeFromText(strMsg);
}

EADSDatabaseError::~EADSDatabaseError() {
    tErrorInProgress = false;
}

TAceLastError GetAceLastError() {
    UNSIGNED8 text[kAdsErrorTextCapacity + 1] = {};
    UNSIGNED16 length = kAdsErrorTextCapacity;
    TAceLastError lastError;
    // The result only says whether the text was cut; the code and the (cut) text are valid
    // either way.
    (void)ace::AdsGetLastError(&lastError.Code, text, &length);
    text[kAdsErrorTextCapacity] = 0;
    lastError.Text = EngineText(text);
    return lastError;
}

void CheckAceResult(TAdsDatabaseLink* oDataSet, UNSIGNED32 ulResult) {
    if (ulResult == VE_SUCCESS || tErrorInProgress) {
        return;
    }
    const TAceLastError lastError = GetAceLastError();
    throw EADSDatabaseError(oDataSet, lastError.Code, lastError.Text);
}

void CheckAceResultIgnoreNoRecord(TAdsDatabaseLink* oDataSet, UNSIGNED32 ulResult) {
    if (ulResult == kAdsNoCurrentRecord) {
        return;
    }
    CheckAceResult(oDataSet, ulResult);
}

void RaiseAdsComponentError(TAdsDatabaseLink* oDataSet, const std::string& strMsg) {
    throw EADSDatabaseError(oDataSet, kAdsComponentError, strMsg);
}

namespace adscnnct {

AdsError::AdsError(UNSIGNED32 /*ulRetCode*/) : rtl::Exception(std::string()) {
    UNSIGNED8 text[kAdsErrorTextCapacity + 1] = {};
    UNSIGNED16 length = kAdsErrorTextCapacity;
    UNSIGNED32 code = 0;
    const UNSIGNED32 result = ace::AdsGetLastError(&code, text, &length);
    // A text that was cut (5005) is still the engine's text; only a refused call loses it.
    if (result != VE_SUCCESS && result != VE_BUFFER_TOO_SMALL) {
        ShowEngineErrorDisplay();
        return;
    }
    text[kAdsErrorTextCapacity] = 0;
    SetMessage(EngineText(text));
}

}  // namespace adscnnct

namespace adsset {

AdsError::AdsError(UNSIGNED32 ulRetCode) : rtl::Exception(std::string()) {
    UNSIGNED8 text[kAdsErrorTextCapacity + 1] = {};
    UNSIGNED16 length = kAdsErrorTextCapacity;
    const UNSIGNED32 result = ace::AdsGetErrorString(ulRetCode, text, &length);
    if (result != VE_SUCCESS && result != VE_BUFFER_TOO_SMALL) {
        ShowEngineErrorDisplay();
        return;
    }
    text[kAdsErrorTextCapacity] = 0;
    SetMessage(EngineText(text));
}

}  // namespace adsset

}  // namespace varelum::ads
