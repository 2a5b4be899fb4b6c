// The engine's answers for what this local engine does not have: a server to ask about, a
// clipboard, and encrypted tables; and the caller's own 32-bit value kept with a handle.
#include <map>
#include <mutex>

#include "engine/api/guard.h"

namespace varelum::engine {
namespace {

// Values set with AdsSetHandleLong, by handle; a handle is checked to be live on every call.
struct HandleValues {
    std::mutex mutex;
    std::map<ADSHANDLE, UNSIGNED32> values;
};

HandleValues& handle_values() {
    static HandleValues values;
    return values;
}

void require_table(ADSHANDLE hTable) {
    (void)table_of(hTable);
}

}  // namespace
}  // namespace varelum::engine

using namespace varelum::engine;

VE_API UNSIGNED32 AdsGetHandleLong(ADSHANDLE hObj, UNSIGNED32* pulVal) {
    return guarded([&] {
        (void)HandleRegistry::instance().find(hObj);
        UNSIGNED32& value = out(pulVal);
        HandleValues& values = handle_values();
        const std::lock_guard lock(values.mutex);
        const auto found = values.values.find(hObj);
        value = found != values.values.end() ? found->second : 0;
    });
}

VE_API UNSIGNED32 AdsSetHandleLong(ADSHANDLE hObj, UNSIGNED32 ulVal) {
    return guarded([&] {
        (void)HandleRegistry::instance().find(hObj);
        HandleValues& values = handle_values();
        const std::lock_guard lock(values.mutex);
        values.values[hObj] = ulVal;
    });
}

VE_API UNSIGNED32 AdsIsServerLoaded(const UNSIGNED8* pucServer, UNSIGNED16* pbLoaded) {
    return guarded([&] {
        (void)pucServer;
        // The engine runs inside the process: there is no server to be loaded.
        out(pbLoaded) = 0;
    });
}

VE_API UNSIGNED32 AdsImageToClipboard(ADSHANDLE hTable, const UNSIGNED8* pucFldName) {
    return guarded([&] {
        (void)pucFldName;
        require_table(hTable);
        fail(VE_NOT_SUPPORTED, "there is no clipboard on this platform");
    });
}

VE_API UNSIGNED32 AdsIsTableEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted) {
    return guarded([&] {
        require_table(hTable);
        out(pbEncrypted) = 0;
    });
}

VE_API UNSIGNED32 AdsIsEncryptionEnabled(ADSHANDLE hTable, UNSIGNED16* pbEnabled) {
    return guarded([&] {
        require_table(hTable);
        out(pbEnabled) = 0;
    });
}

VE_API UNSIGNED32 AdsIsRecordEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted) {
    return guarded([&] {
        require_table(hTable);
        out(pbEncrypted) = 0;
    });
}

namespace {

UNSIGNED32 encryption_not_supported(ADSHANDLE hTable) {
    return guarded([&] {
        require_table(hTable);
        fail(VE_NOT_SUPPORTED, "encrypted tables are not supported");
    });
}

}  // namespace

VE_API UNSIGNED32 AdsEnableEncryption(ADSHANDLE hTable, const UNSIGNED8* pucPassword) {
    (void)pucPassword;
    return encryption_not_supported(hTable);
}

VE_API UNSIGNED32 AdsDisableEncryption(ADSHANDLE hTable) {
    return encryption_not_supported(hTable);
}

VE_API UNSIGNED32 AdsEncryptTable(ADSHANDLE hTable) {
    return encryption_not_supported(hTable);
}

VE_API UNSIGNED32 AdsDecryptTable(ADSHANDLE hTable) {
    return encryption_not_supported(hTable);
}

VE_API UNSIGNED32 AdsEncryptRecord(ADSHANDLE hTable) {
    return encryption_not_supported(hTable);
}

VE_API UNSIGNED32 AdsDecryptRecord(ADSHANDLE hTable) {
    return encryption_not_supported(hTable);
}
