// The caller's progress, general and SQL-abort callbacks (see core/progress.h for when the
// engine calls them).
#include "engine/api/guard.h"
#include "engine/core/progress.h"

using namespace varelum::engine;

VE_API UNSIGNED32 AdsRegisterProgressCallback(UNSIGNED32 (*lpfnCallback)(UNSIGNED16 usPercent)) {
    return guarded([&] { set_progress_function(lpfnCallback); });
}

VE_API UNSIGNED32 AdsClearProgressCallback(void) {
    return guarded([&] { set_progress_function(nullptr); });
}

VE_API UNSIGNED32 AdsRegisterSQLAbortFunc(UNSIGNED32 (*lpfnCallback)(void)) {
    return guarded([&] { set_abort_function(lpfnCallback); });
}

VE_API UNSIGNED32 AdsClearSQLAbortFunc(void) {
    return guarded([&] { set_abort_function(nullptr); });
}

VE_API UNSIGNED32 AdsRegisterCallbackFunction(UNSIGNED32 (*lpfnCallback)(UNSIGNED16 usPercent,
                                                                         UNSIGNED32 ulCallbackID),
                                              UNSIGNED32 ulCallbackID) {
    return guarded([&] { set_callback_function(lpfnCallback, ulCallbackID); });
}

VE_API UNSIGNED32 AdsRegisterCallbackFunction101(UNSIGNED32 (*lpfnCallback)(UNSIGNED16 usPercent,
                                                                            SIGNED64 qCallbackID),
                                                 SIGNED64 qCallbackID) {
    return guarded([&] { set_callback_function(lpfnCallback, qCallbackID); });
}

VE_API UNSIGNED32 AdsClearCallbackFunction(void) {
    return guarded([&] { set_callback_function(CallbackFunction{nullptr}, 0); });
}
