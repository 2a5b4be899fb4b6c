// Engine-wide direct operations: they use no handle of the dataset.
#include "ads/ace.h"
#include "ads/adsfunc.h"
#include "rtl/code_page.h"

namespace varelum::ads {

namespace {

constexpr std::uint16_t kVersionCapacity = 255;
constexpr std::uint16_t kErrorCapacity = 600;

}  // namespace

bool TAdsExtendedDataSet::AdsCheckExistence(const std::string& strFilename) {
    const std::string name = AdsEngineText(strFilename, kAdsFileLimit);
    return AskYesNo(TGuard::None, [&](UNSIGNED16* exists) {
        return ace::AdsCheckExistence(0, AdsBytes(name), exists);
    });
}

bool TAdsExtendedDataSet::AdsIsServerLoaded(const std::string& strServer) {
    const std::string name = AdsEngineText(strServer, kAdsFileLimit);
    UNSIGNED16 loaded = 0;
    // Only the answer counts: a server that cannot be asked is not loaded.
    (void)ace::AdsIsServerLoaded(AdsBytes(name), &loaded);
    return loaded != 0;
}

std::string TAdsExtendedDataSet::AdsGetVersion(std::uint32_t& ulMajor, std::uint32_t& ulMinor,
                                               std::string& strLetter) {
    UNSIGNED8 letter = 0;
    std::string description =
        AskText(TGuard::None, kVersionCapacity, [&](UNSIGNED8* buffer, UNSIGNED16* length) {
            return ace::AdsGetVersion(&ulMajor, &ulMinor, &letter, buffer, length);
        });
    strLetter = letter != 0 ? std::string(1, static_cast<char>(letter)) : std::string();
    return description;
}

void TAdsExtendedDataSet::AdsThreadExit() {
    Tolerate(ace::AdsThreadExit());
}

std::string TAdsExtendedTable::AdsGetErrorString(std::uint32_t ulErrorCode) {
    return AskText(TGuard::None, kErrorCapacity, [&](UNSIGNED8* buffer, UNSIGNED16* length) {
        return ace::AdsGetErrorString(ulErrorCode, buffer, length);
    });
}

std::uint32_t TAdsExtendedTable::AdsGetLastError(std::string& strError) {
    UNSIGNED32 code = 0;
    strError = AskText(TGuard::None, kErrorCapacity, [&](UNSIGNED8* buffer, UNSIGNED16* length) {
        return ace::AdsGetLastError(&code, buffer, length);
    });
    return code;
}

void TAdsExtendedTable::AdsShowError(const std::string& strCaption) {
    const std::string caption = AdsEngineText(strCaption, kAdsCaptionLimit);
    Tolerate(ace::AdsShowError(AdsBytes(caption)));
}

// --- Callbacks: handed to the engine unchanged -----------------------------------------------

void TAdsExtendedDataSet::AdsRegisterProgressCallBack(TAdsProgressCallback callback) {
    Tolerate(ace::AdsRegisterProgressCallback(callback));
}

void TAdsExtendedDataSet::AdsClearProgressCallback() {
    Tolerate(ace::AdsClearProgressCallback());
}

void TAdsExtendedDataSet::AdsRegisterSQLAbortFunc(TAdsSQLAbortCallback callback) {
    Tolerate(ace::AdsRegisterSQLAbortFunc(callback));
}

void TAdsExtendedDataSet::AdsClearSQLAbortFunc() {
    Tolerate(ace::AdsClearSQLAbortFunc());
}

void TAdsExtendedDataSet::AdsRegisterCallbackFunction(TAdsCallbackFunction callback,
                                                      std::int64_t ulCallbackID) {
    const UNSIGNED32 id = Unsigned(ulCallbackID);
    Tolerate(ace::AdsRegisterCallbackFunction(callback, id));
}

void TAdsExtendedDataSet::AdsRegisterCallbackFunction101(TAdsCallbackFunction101 callback,
                                                         SIGNED64 qCallbackID) {
    if (qCallbackID < 0) {
        Unsigned(qCallbackID);
    }
    Tolerate(ace::AdsRegisterCallbackFunction101(callback, qCallbackID));
}

void TAdsExtendedDataSet::AdsClearCallbackFunction() {
    Tolerate(ace::AdsClearCallbackFunction());
}

}  // namespace varelum::ads
