// Engine functions of Locate and key search that ace.h does not list yet: raw keys, seeks,
// scopes, optimised and plain filters, the exact setting and expression evaluation. They are
// called like the slots of ace.h, through namespace ace_pending, with the same rule as the
// other pending slots (adsdata_engine_pending.h): a function the engine does not export yet
// answers VE_NOT_IMPLEMENTED (6000) as the thread's last error instead of raising.
//
// The declarations repeat the engine header's; a signature that differs from the header's is
// a compile error here. Once the engine's committed header declares them all, these slots
// move to ace.h and this file goes.
#pragma once

#include "ads/adsdata_engine_pending.h"
#include "varelum_engine.h"

extern "C" {
// Index questions.
UNSIGNED32 AdsIsIndexCustom(ADSHANDLE hIndex, UNSIGNED16* pbCustom);
UNSIGNED32 AdsGetKeyLength(ADSHANDLE hIndex, UNSIGNED16* pusKeyLength);

// Raw keys, seeks and scopes.
UNSIGNED32 AdsInitRawKey(ADSHANDLE hIndex);
UNSIGNED32 AdsBuildRawKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen);
UNSIGNED32 AdsBuildRawKey100(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen,
                             UNSIGNED32 ulOptions);
UNSIGNED32 AdsBuildKeyFromRecord(ADSHANDLE hIndex, const UNSIGNED8* pucRecBuffer,
                                 UNSIGNED32 ulRecordLen, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen);
UNSIGNED32 AdsSeek(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                   UNSIGNED16 usDataType, UNSIGNED16 usSeekType, UNSIGNED16* pbFound);
UNSIGNED32 AdsGetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope,
                       UNSIGNED16* pusBufLen);

// Filters, the exact setting, expressions.
UNSIGNED32 AdsSetAOF100(ADSHANDLE hTable, const void* pvFilter, UNSIGNED32 ulOptions);
UNSIGNED32 AdsGetAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen);
UNSIGNED32 AdsClearAOF(ADSHANDLE hTable);
UNSIGNED32 AdsSetFilter100(ADSHANDLE hTable, const void* pvFilter, UNSIGNED32 ulOptions);
UNSIGNED32 AdsGetFilter(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen);
UNSIGNED32 AdsClearFilter(ADSHANDLE hTable);
UNSIGNED32 AdsSetExact22(ADSHANDLE hObj, UNSIGNED16 bExact);
UNSIGNED32 AdsGetExact22(ADSHANDLE hObj, UNSIGNED16* pbExact);
UNSIGNED32 AdsEvalLogicalExpr(ADSHANDLE hTable, const UNSIGNED8* pucExpr, UNSIGNED16* pbResult);
}

namespace varelum::ads::ace_pending {

// clang-format off
#define VARELUM_ACE_SEARCH_PENDING_FUNCTIONS(X)                                               \
    X(AdsIsIndexCustom) X(AdsGetKeyLength)                                                    \
    X(AdsInitRawKey) X(AdsBuildRawKey) X(AdsBuildRawKey100) X(AdsBuildKeyFromRecord)          \
    X(AdsSeek) X(AdsGetScope)                                                                 \
    X(AdsSetAOF100) X(AdsGetAOF) X(AdsClearAOF) X(AdsSetFilter100) X(AdsGetFilter)            \
    X(AdsClearFilter) X(AdsSetExact22) X(AdsGetExact22) X(AdsEvalLogicalExpr)
// clang-format on

#define VARELUM_ACE_SEARCH_PENDING_SLOT(name) \
    inline constinit TPendingAceFunction<decltype(::name)> name{#name};
VARELUM_ACE_SEARCH_PENDING_FUNCTIONS(VARELUM_ACE_SEARCH_PENDING_SLOT)
#undef VARELUM_ACE_SEARCH_PENDING_SLOT

}  // namespace varelum::ads::ace_pending
