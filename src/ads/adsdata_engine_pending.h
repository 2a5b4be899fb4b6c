// Engine functions the cursor and table classes call that the engine's C header does not
// declare yet: restructuring, encryption of a table, dictionary calls and the VFP system
// fields. They are called exactly like the slots of ace.h (same loading, same look-up),
// through the namespace ace_pending.
//
// Each is declared here with extern "C" linkage in the engine header's conventions. The
// declarations are never linked (only their types are used), but they make the compiler
// check them: once the engine header declares one of these functions, a different signature
// there is a compile error here, not a wrong call at run time. Once the header declares a
// function, its slot moves to ace.h; when none is left, this file goes.
//
// Until the engine exports a function, its slot answers VE_NOT_IMPLEMENTED (6000) and makes
// that the thread's last error, as the engine's own placeholders do, instead of raising
// "External exception C0FB007F".
//
// The index and SQL functions that used to wait here are ace's now. The names stay
// reachable as ace_pending::Name (using-declarations of the ace slots, below) so that code
// written against this file keeps compiling; new code calls ace:: directly.
#pragma once

#include "ads/ace.h"
#include "rtl/exception.h"
#include "varelum_engine.h"

extern "C" {
// Tables: restructuring, dictionary objects, VFP system fields.
UNSIGNED32 AdsRestructureTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                 const UNSIGNED8* pucAlias, UNSIGNED16 usTableType,
                                 UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                 UNSIGNED16 usCheckRights, const UNSIGNED8* pucAddFields,
                                 const UNSIGNED8* pucDeleteFields, const UNSIGNED8* pucChangeFields,
                                 const UNSIGNED8* pucCollation);
UNSIGNED32 AdsDDRenameObject(ADSHANDLE hDictionary, const UNSIGNED8* pucObjectName,
                             const UNSIGNED8* pucNewObjectName, UNSIGNED16 usObjectType,
                             UNSIGNED32 ulOptions);
UNSIGNED32 AdsDDGetTableProperty(ADSHANDLE hDictionary, const UNSIGNED8* pucTableName,
                                 UNSIGNED16 usPropertyID, void* pvProperty,
                                 UNSIGNED16* pusPropertyLen);
// usOption 1 reads the null flag of the field into *pulFlag, 2 writes *pulFlag as the null
// flag, 3 writes it as the varchar flag, 4 reads the varchar flag; on the record image given.
UNSIGNED32 AdsAccessVfpSystemField(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                   UNSIGNED8* pucRecord, UNSIGNED16 usOption, UNSIGNED32* pulFlag);
// Direct operations: copies and conversions (usFilterOption as for AdsGetRecordCount),
// blob files, transactions and the callbacks.
UNSIGNED32 AdsCopyTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption, const UNSIGNED8* pucFile);
UNSIGNED32 AdsConvertTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption, const UNSIGNED8* pucFile,
                           UNSIGNED16 usTableType);
UNSIGNED32 AdsCopyTableContents(ADSHANDLE hObjFrom, ADSHANDLE hTableTo, UNSIGNED16 usFilterOption);
UNSIGNED32 AdsCopyTableStructure(ADSHANDLE hTable, const UNSIGNED8* pucFile);
UNSIGNED32 AdsBinaryToFile(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                           const UNSIGNED8* pucFileName);
UNSIGNED32 AdsFileToBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16 usBinaryType,
                           const UNSIGNED8* pucFileName);
UNSIGNED32 AdsInTransaction(ADSHANDLE hConnect, UNSIGNED16* pbInTrans);
UNSIGNED32 AdsRegisterProgressCallback(UNSIGNED32 (*lpfnCallback)(UNSIGNED16 usPercent));
UNSIGNED32 AdsClearProgressCallback(void);
UNSIGNED32 AdsRegisterSQLAbortFunc(UNSIGNED32 (*lpfnCallback)(void));
UNSIGNED32 AdsClearSQLAbortFunc(void);
UNSIGNED32 AdsRegisterCallbackFunction(UNSIGNED32 (*lpfnCallback)(UNSIGNED16 usPercent,
                                                                  UNSIGNED32 ulCallbackID),
                                       UNSIGNED32 ulCallbackID);
UNSIGNED32 AdsRegisterCallbackFunction101(UNSIGNED32 (*lpfnCallback)(UNSIGNED16 usPercent,
                                                                     SIGNED64 qCallbackID),
                                          SIGNED64 qCallbackID);
UNSIGNED32 AdsClearCallbackFunction(void);
}

namespace varelum::ads::ace_pending {

// A slot of a function the engine may not export yet: like ace::TAceFunction, except that a
// missing function answers VE_NOT_IMPLEMENTED (set as the last error) instead of raising. A
// missing library still raises "External exception C0FB007E".
template <typename Signature>
class TPendingAceFunction;

template <typename... Args>
class TPendingAceFunction<UNSIGNED32(Args...)> {
  public:
    constexpr explicit TPendingAceFunction(const char* name) noexcept : FSlot(name) {}

    UNSIGNED32 operator()(Args... args) const {
        try {
            return FSlot(args...);
        } catch (const rtl::EExternalException& error) {
            if (error.ExceptionCode() != ace::kEngineFunctionMissing) {
                throw;
            }
        }
        return ace::AdsSetLastError(VE_NOT_IMPLEMENTED,
                                    reinterpret_cast<const UNSIGNED8*>("not implemented"));
    }

  private:
    ace::TAceFunction<UNSIGNED32(Args...)> FSlot;
};

// clang-format off
#define VARELUM_ACE_PENDING_FUNCTIONS(X)                                                      \
    X(AdsRestructureTable90) X(AdsDDRenameObject) X(AdsDDGetTableProperty)                    \
    X(AdsAccessVfpSystemField) X(AdsCopyTable) X(AdsConvertTable) X(AdsCopyTableContents)     \
    X(AdsCopyTableStructure) X(AdsBinaryToFile) X(AdsFileToBinary) X(AdsInTransaction)        \
    X(AdsRegisterProgressCallback) X(AdsClearProgressCallback) X(AdsRegisterSQLAbortFunc)     \
    X(AdsClearSQLAbortFunc) X(AdsRegisterCallbackFunction) X(AdsRegisterCallbackFunction101)  \
    X(AdsClearCallbackFunction)

// The functions that moved to ace.h, under their old qualified names.
#define VARELUM_ACE_MOVED_FUNCTIONS(X)                                                        \
    X(AdsGetNumIndexes) X(AdsGetAllIndexes) X(AdsGetIndexHandle) X(AdsGetIndexName)           \
    X(AdsGetIndexExpr) X(AdsGetIndexCondition) X(AdsGetIndexPageSize) X(AdsGetIndexFlags)     \
    X(AdsGetNumSegments) X(AdsGetSegmentFieldname) X(AdsIsIndexDescending)                    \
    X(AdsIsIndexUnique) X(AdsIsIndexCandidate) X(AdsIsIndexPrimaryKey) X(AdsOpenIndex)        \
    X(AdsCloseIndex)                                                                          \
    X(AdsGetKeyNum) X(AdsGetRelKeyPos) X(AdsSetRelKeyPos)                                     \
    X(AdsCreateSQLStatement) X(AdsPrepareSQLW) X(AdsExecuteSQL) X(AdsVerifySQLW)              \
    X(AdsCloseSQLStatement) X(AdsGetSQLStmtParams) X(AdsSetSQLTimeout)                        \
    X(AdsStmtSetTableLockType) X(AdsStmtSetTableCollation) X(AdsStmtSetTableRights)           \
    X(AdsStmtSetTableReadOnly) X(AdsStmtSetTableType) X(AdsStmtConstrainUpdates)              \
    X(AdsStmtReadAllColumns) X(AdsStmtEnableEncryption) X(AdsStmtDisableEncryption)           \
    X(AdsStmtSetTablePassword) X(AdsStmtClearTablePasswords) X(AdsSqlPeekStatement)          \
    X(AdsIsTableEncrypted) X(AdsIsEncryptionEnabled) X(AdsEnableEncryption)                   \
    X(AdsGetHandleLong) X(AdsSetHandleLong) X(AdsIsServerLoaded) X(AdsImageToClipboard)       \
    X(AdsDisableEncryption) X(AdsEncryptTable) X(AdsDecryptTable) X(AdsIsRecordEncrypted)     \
    X(AdsEncryptRecord) X(AdsDecryptRecord)
// clang-format on

#define VARELUM_ACE_PENDING_SLOT(name) \
    inline constinit TPendingAceFunction<decltype(::name)> name{#name};
VARELUM_ACE_PENDING_FUNCTIONS(VARELUM_ACE_PENDING_SLOT)
#undef VARELUM_ACE_PENDING_SLOT

#define VARELUM_ACE_MOVED_NAME(name) using ace::name;
VARELUM_ACE_MOVED_FUNCTIONS(VARELUM_ACE_MOVED_NAME)
#undef VARELUM_ACE_MOVED_NAME

}  // namespace varelum::ads::ace_pending
