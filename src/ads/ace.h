// ace: the data-access layer's one way into the store engine.
//
// The engine library (libvarelum-engine.so.0) is not linked. It is loaded at the first call of
// any engine function, and each function is looked up at its own first call and kept; so a
// program that never touches the store never needs the library. Every engine function of the
// C header has a stand-in here with the same name and signature, in namespace ace:
//
//     ADSHANDLE hConnect = 0;
//     CheckAceResult(nullptr, ace::AdsConnect(path, &hConnect));
//
// The stand-ins together are the function table: one slot per function, filled on demand.
// They return the engine's result code like the engine does; the only thing they throw is
// rtl::EExternalException, when the library or the function cannot be found (below).
//
// Where the library is looked for, in order, stopping at the first that loads:
//  1. the file named by the environment variable VARELUM_ENGINE_LIBRARY, when it is set and
//     not empty (and then only there: a wrong setting is reported, not worked around);
//  2. the library by its SONAME (libvarelum-engine.so.0) beside the running executable, then
//     in its ../lib;
//  3. the library by its SONAME through the dynamic loader's own search.
//
// Failures (no engine text is fetched; the next call tries again):
//  - the library cannot be loaded: EExternalException 0xC0FB007E
//    ("External exception C0FB007E");
//  - the library has no function of that name: EExternalException 0xC0FB007F.
//
// Thread-safe: loading and look-ups are serialised; a slot, once filled, is read lock-free.
#pragma once

#include <atomic>
#include <cstdint>

#include "varelum_engine.h"

// Functions the components call that the engine does not export yet (the engine header's
// introduction lists them). Declared here in the header's conventions so that their slots have
// a type; until the engine exports one, calling it raises "External exception C0FB007F" like
// any function the library lacks. A function the engine header comes to declare is deleted
// here: a different signature there would be a compile error, not a wrong call.
extern "C" {
// usOption 1 reads the null flag of the field into *pulFlag, 2 writes *pulFlag as the null
// flag, 3 writes it as the varchar flag, 4 reads the varchar flag; on the record image given.
UNSIGNED32 AdsAccessVfpSystemField(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                   UNSIGNED8* pucRecord, UNSIGNED16 usOption, UNSIGNED32* pulFlag);
}

namespace varelum::ads::ace {

// Exception codes of the two ways the engine can be unreachable.
inline constexpr std::uint32_t kEngineLibraryMissing = 0xC0FB007E;
inline constexpr std::uint32_t kEngineFunctionMissing = 0xC0FB007F;

// The address of the engine function `name`, loading the library first when it is not loaded
// yet. Throws rtl::EExternalException (kEngineLibraryMissing or kEngineFunctionMissing).
// Never returns null.
void* ResolveEngineFunction(const char* name);

// True once the engine library has been loaded in this process (it is never unloaded).
bool IsEngineLoaded() noexcept;

// One slot of the function table: callable like the engine function of signature Signature.
template <typename Signature>
class TAceFunction;

template <typename Result, typename... Args>
class TAceFunction<Result(Args...)> {
  public:
    constexpr explicit TAceFunction(const char* name) noexcept : FName(name) {}
    TAceFunction(const TAceFunction&) = delete;
    TAceFunction& operator=(const TAceFunction&) = delete;

    Result operator()(Args... args) const {
        Address address = FAddress.load(std::memory_order_acquire);
        if (address == nullptr) {
            address = reinterpret_cast<Address>(ResolveEngineFunction(FName));
            FAddress.store(address, std::memory_order_release);
        }
        return address(args...);
    }

    const char* Name() const noexcept { return FName; }

  private:
    using Address = Result (*)(Args...);
    const char* FName;
    mutable std::atomic<Address> FAddress{nullptr};
};

// Every engine function the components call. A function added to the engine's header is
// added here too, in the header's order.
// clang-format off
#define VARELUM_ACE_FUNCTIONS(X)                                                              \
    /* errors */                                                                              \
    X(AdsGetLastError) X(AdsGetErrorString) X(AdsSetLastError) X(AdsShowError)                \
    X(AdsThreadExit)                                                                          \
    /* connections and engine settings */                                                     \
    X(AdsConnect) X(AdsConnect101) X(AdsDisconnect) X(AdsGetConnectionType)                   \
    X(AdsGetConnectionPath) X(AdsIsConnectionAlive) X(AdsGetServerName) X(AdsGetServerTime)   \
    X(AdsCheckExistence) X(AdsGetHandleType) X(AdsSetServerType) X(AdsSetDateFormat)         \
    X(AdsGetDateFormat) X(AdsSetDateFormat60) X(AdsShowDeleted) X(AdsGetDeleted)              \
    X(AdsSetDecimals) X(AdsGetDecimals) X(AdsCacheOpenTables) X(AdsCacheOpenCursors)          \
    X(AdsCacheRecords) X(AdsGetNumOpenTables) X(AdsGetVersion)                                \
    X(AdsGetConnectionProperty) X(AdsCloseCachedTables)                                       \
    /* finding tables */                                                                      \
    X(AdsFindFirstTable) X(AdsFindNextTable) X(AdsFindFirstTable62) X(AdsFindNextTable62)     \
    X(AdsFindClose)                                                                           \
    /* dictionary links */                                                                    \
    X(AdsGetNumActiveLinks) X(AdsGetActiveLinkInfo) X(AdsDDCreateLink) X(AdsDDDropLink)       \
    /* tables */                                                                              \
    X(AdsCreateTable90) X(AdsOpenTable90) X(AdsCloseTable) X(AdsCloseAllTables)               \
    X(AdsDeleteTable) X(AdsZapTable) X(AdsPackTable) X(AdsRestructureTable90)                 \
    X(AdsGetTableType)                                                                        \
    X(AdsGetTableCharType) X(AdsGetTableCollation) X(AdsGetTableOpenOptions)                  \
    X(AdsGetTableFilename) X(AdsGetTableConnection) X(AdsGetRecordLength) X(AdsGetNumFields)  \
    X(AdsGetFieldName) X(AdsGetFieldNum) X(AdsGetFieldType) X(AdsGetFieldLength)              \
    X(AdsGetFieldDecimals) X(AdsGetFieldOffset) X(AdsIsNullable) X(AdsGetColumnPermissions)   \
    X(AdsGetTableMemoSize) X(AdsGetLastAutoinc) X(AdsCheckTable)                              \
    /* navigation */                                                                          \
    X(AdsGotoTop) X(AdsGotoBottom) X(AdsGotoBOF) X(AdsGotoEOF) X(AdsSkip) X(AdsAtEOF)         \
    X(AdsAtBOF) X(AdsGotoRecord) X(AdsGetRecordNum) X(AdsGetRecordCount) X(AdsGetBookmark)    \
    X(AdsGetBookmark60) X(AdsGetBookmarkLength) X(AdsGotoBookmark) X(AdsGotoBookmark60)       \
    X(AdsCompareBookmarks) X(AdsGetRecord) X(AdsClearRecordBuffer) X(AdsGetNullRecord)        \
    X(AdsRefreshRecord) X(AdsIsRecordVisible) X(AdsIsRecordDeleted) X(AdsGetRecordCRC)        \
    /* field values */                                                                        \
    X(AdsGetField) X(AdsGetFieldW) X(AdsGetString) X(AdsGetStringW) X(AdsGetDataLength)       \
    X(AdsGetDouble) X(AdsGetLong) X(AdsGetShort) X(AdsGetLogical) X(AdsGetJulian)             \
    X(AdsGetMilliseconds) X(AdsGetDate) X(AdsGetTime) X(AdsIsEmpty) X(AdsIsNull)              \
    X(AdsGetMemoLength) X(AdsGetMemoDataType) X(AdsGetBinary) X(AdsGetBinaryLength)           \
    X(AdsSetField) X(AdsSetFieldW) X(AdsSetFieldRaw) X(AdsSetString) X(AdsSetStringW)         \
    X(AdsSetDouble) X(AdsSetLong) X(AdsSetShort) X(AdsSetLogical) X(AdsSetJulian)             \
    X(AdsSetMilliseconds) X(AdsSetDate) X(AdsSetTime) X(AdsSetTimeStampRaw) X(AdsSetEmpty)    \
    X(AdsSetNull) X(AdsSetBinary) X(AdsConvertStringToJulian) X(AdsConvertJulianToString)     \
    X(AdsConvertDateToJulian)                                                                 \
    /* editing and locks */                                                                   \
    X(AdsAppendRecord) X(AdsWriteRecord) X(AdsDeleteRecord) X(AdsRecallRecord)                \
    X(AdsCancelUpdate) X(AdsLockRecord) X(AdsUnlockRecord) X(AdsIsRecordLocked)               \
    X(AdsGetNumLocks) X(AdsGetAllLocks) X(AdsLockTable) X(AdsUnlockTable)                     \
    X(AdsIsTableLocked) X(AdsFlushFileBuffers)                                                \
    /* index tags */                                                                          \
    X(AdsCreateIndex90) X(AdsOpenIndex) X(AdsCloseIndex) X(AdsCloseAllIndexes)                \
    X(AdsDeleteIndex) X(AdsReindex61) X(AdsReindex) X(AdsGetNumIndexes) X(AdsGetAllIndexes)   \
    X(AdsGetIndexHandle) X(AdsGetIndexHandleByOrder) X(AdsGetIndexName) X(AdsGetIndexExpr)    \
    X(AdsGetIndexCondition) X(AdsGetIndexFilename) X(AdsGetIndexPageSize) X(AdsGetIndexFlags) \
    X(AdsGetNumSegments) X(AdsGetSegmentFieldname) X(AdsIsIndexCompound) X(AdsIsIndexCustom)  \
    X(AdsIsIndexDescending) X(AdsIsIndexUnique) X(AdsIsIndexCandidate)                        \
    X(AdsIsIndexPrimaryKey) X(AdsGetKeyLength) X(AdsGetKeyType) X(AdsGetKeyCount)             \
    X(AdsGetKeyNum) X(AdsGetRelKeyPos) X(AdsSetRelKeyPos) X(AdsExtractKey)                    \
    X(AdsAddCustomKey) X(AdsDeleteCustomKey)                                                  \
    /* raw keys, seeks and scopes */                                                          \
    X(AdsInitRawKey) X(AdsBuildRawKey) X(AdsBuildRawKey100) X(AdsBuildKeyFromRecord)          \
    X(AdsStepIndexKey) X(AdsSeek) X(AdsSeekLast) X(AdsLookupKey) X(AdsSetScope)               \
    X(AdsGetScope) X(AdsClearScope) X(AdsClearAllScopes)                                      \
    /* filters, locate */                                                                     \
    X(AdsSetAOF100) X(AdsSetAOF) X(AdsGetAOF) X(AdsGetAOF100) X(AdsClearAOF) X(AdsRefreshAOF) \
    X(AdsGetAOFOptLevel100) X(AdsGetAOFOptLevel) X(AdsEvalAOF) X(AdsCustomizeAOF)             \
    X(AdsIsRecordInAOF) X(AdsSetFilter100) X(AdsSetFilter) X(AdsGetFilter) X(AdsClearFilter)  \
    X(AdsLocate) X(AdsContinue)                                                               \
    /* expressions */                                                                         \
    X(AdsEvalLogicalExpr) X(AdsEvalNumericExpr) X(AdsEvalStringExpr) X(AdsEvalTestExpr)       \
    X(AdsIsExprValid) X(AdsSetExact22) X(AdsGetExact22) X(AdsExpressionLongToShort90)         \
    X(AdsExpressionShortToLong90)                                                             \
    /* SQL statements and result cursors */                                                   \
    X(AdsCreateSQLStatement) X(AdsPrepareSQL) X(AdsPrepareSQLW) X(AdsExecuteSQL)              \
    X(AdsExecuteSQLDirect) X(AdsExecuteSQLDirectW) X(AdsVerifySQL) X(AdsVerifySQLW)           \
    X(AdsCloseSQLStatement) X(AdsGetSQLStmtParams) X(AdsSetSQLTimeout)                        \
    X(AdsStmtSetTableLockType) X(AdsStmtSetTableCharType) X(AdsStmtSetTableCollation)         \
    X(AdsStmtSetTableRights) X(AdsStmtSetTableReadOnly) X(AdsStmtSetTableType)                \
    X(AdsStmtConstrainUpdates) X(AdsStmtReadAllColumns) X(AdsStmtEnableEncryption)            \
    X(AdsStmtDisableEncryption) X(AdsStmtSetTablePassword) X(AdsStmtClearTablePasswords)      \
    X(AdsSqlPeekStatement)                                                                    \
    /* handles' own values, servers, clipboard, encryption */                                 \
    X(AdsGetHandleLong) X(AdsSetHandleLong) X(AdsIsServerLoaded) X(AdsImageToClipboard)       \
    X(AdsIsTableEncrypted) X(AdsIsEncryptionEnabled) X(AdsIsRecordEncrypted)                  \
    X(AdsEnableEncryption) X(AdsDisableEncryption) X(AdsEncryptTable) X(AdsDecryptTable)      \
    X(AdsEncryptRecord) X(AdsDecryptRecord)                                                   \
    /* copies and conversions of tables, memo values and files */                             \
    X(AdsCopyTable) X(AdsConvertTable) X(AdsCopyTableContents) X(AdsCopyTableStructure)       \
    X(AdsBinaryToFile) X(AdsFileToBinary)                                                     \
    /* data dictionaries */                                                                   \
    X(AdsDDRenameObject) X(AdsDDGetTableProperty) X(AdsDDGetDatabaseProperty)                 \
    X(AdsDDGetUserProperty) X(AdsDDFindFirstObject) X(AdsDDFindNextObject) X(AdsDDFindClose)  \
    /* a dictionary's administration, for programs on the components that manage one */      \
    X(AdsDDCreate) X(AdsDDCreateUser) X(AdsDDCreateUserGroup) X(AdsDDGrantPermission)         \
    X(AdsDDCreateProcedure) X(AdsDDDeleteProcedure)                                           \
    /* not exported by the engine yet (declared above) */                                     \
    X(AdsAccessVfpSystemField)                                                                \
    /* transactions and savepoints */                                                         \
    X(AdsInTransaction) X(AdsBeginTransaction) X(AdsCommitTransaction)                        \
    X(AdsRollbackTransaction) X(AdsRollbackTransaction80) X(AdsCreateSavepoint)               \
    X(AdsGetTransactionCount)                                                                 \
    /* progress and abort callbacks */                                                        \
    X(AdsRegisterProgressCallback) X(AdsClearProgressCallback) X(AdsRegisterSQLAbortFunc)     \
    X(AdsClearSQLAbortFunc) X(AdsRegisterCallbackFunction) X(AdsRegisterCallbackFunction101)  \
    X(AdsClearCallbackFunction)
// clang-format on

// The slots. decltype only reads the engine header's declaration; nothing here refers to the
// engine's symbols, so nothing links against the library.
#define VARELUM_ACE_SLOT(name) inline constinit TAceFunction<decltype(::name)> name{#name};
VARELUM_ACE_FUNCTIONS(VARELUM_ACE_SLOT)
#undef VARELUM_ACE_SLOT

}  // namespace varelum::ads::ace
