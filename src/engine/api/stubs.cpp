// Placeholder definitions of the engine functions that are not written yet: each answers
// VE_NOT_IMPLEMENTED through the last-error path, so callers can link against the full API.
#include "varelum_engine.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

extern "C" {

VE_API UNSIGNED32 AdsGetLastError(UNSIGNED32* pulErrCode, UNSIGNED8* pucBuf,
                                  UNSIGNED16* pusBufLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetErrorString(UNSIGNED32 ulErrCode, UNSIGNED8* pucBuf,
                                    UNSIGNED16* pusBufLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetLastError(UNSIGNED32 ulErrCode, const UNSIGNED8* pucDetails) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsShowError(const UNSIGNED8* pucTitle) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsThreadExit(void) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsConnect(const UNSIGNED8* pucServerName, ADSHANDLE* phConnect) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsConnect101(const UNSIGNED8* pucConnectString, const ADSHANDLE* phOptions,
                                ADSHANDLE* phConnect) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsDisconnect(ADSHANDLE hConnect) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetConnectionType(ADSHANDLE hConnect, UNSIGNED16* pusConnectType) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetConnectionPath(ADSHANDLE hConnect, UNSIGNED8* pucPath, UNSIGNED16* pusLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsIsConnectionAlive(ADSHANDLE hConnect, UNSIGNED16* pbAlive) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetServerName(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetServerTime(ADSHANDLE hConnect, UNSIGNED8* pucDate, UNSIGNED16* pusDateLen,
                                   SIGNED32* plTime, UNSIGNED8* pucTime, UNSIGNED16* pusTimeLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsCheckExistence(ADSHANDLE hConnect, const UNSIGNED8* pucFileName,
                                    UNSIGNED16* pbExists) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetHandleType(ADSHANDLE hObj, UNSIGNED16* pusType) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetServerType(UNSIGNED16 usServerOptions) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetDateFormat(const UNSIGNED8* pucFormat) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetDateFormat(UNSIGNED8* pucFormat, UNSIGNED16* pusLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetDateFormat60(ADSHANDLE hConnect, const UNSIGNED8* pucFormat) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsShowDeleted(UNSIGNED16 bShowDeleted) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetDeleted(UNSIGNED16* pbShowDeleted) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetDecimals(UNSIGNED16 usDecimals) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetDecimals(UNSIGNED16* pusDecimals) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsCacheOpenTables(UNSIGNED16 usOpen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsCacheOpenCursors(UNSIGNED16 usOpen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsCacheRecords(ADSHANDLE hTable, UNSIGNED16 usNumRecords) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetNumOpenTables(UNSIGNED16* pusNum) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetVersion(UNSIGNED32* pulMajor, UNSIGNED32* pulMinor, UNSIGNED8* pucLetter,
                                UNSIGNED8* pucDesc, UNSIGNED16* pusDescLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsCreateTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                   const UNSIGNED8* pucDBObjName, UNSIGNED16 usTableType,
                                   UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                   UNSIGNED16 usCheckRights, UNSIGNED16 usMemoSize,
                                   const UNSIGNED8* pucFields, UNSIGNED32 ulOptions,
                                   const UNSIGNED8* pucCollation, ADSHANDLE* phTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsOpenTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                 const UNSIGNED8* pucAlias, UNSIGNED16 usTableType,
                                 UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                 UNSIGNED16 usCheckRights, UNSIGNED32 ulOptions,
                                 const UNSIGNED8* pucCollation, ADSHANDLE* phTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsCloseTable(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsCloseAllTables(void) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsDeleteTable(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsZapTable(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsPackTable(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetTableType(ADSHANDLE hTable, UNSIGNED16* pusType) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetTableCharType(ADSHANDLE hTable, UNSIGNED16* pusCharType) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetTableCollation(ADSHANDLE hTable, UNSIGNED8* pucCollation,
                                       UNSIGNED16* pusLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetTableOpenOptions(ADSHANDLE hTable, UNSIGNED32* pulOptions) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetTableFilename(ADSHANDLE hTable, UNSIGNED16 usOption, UNSIGNED8* pucName,
                                      UNSIGNED16* pusLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetTableConnection(ADSHANDLE hTable, ADSHANDLE* phConnect) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetRecordLength(ADSHANDLE hTable, UNSIGNED32* pulLength) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetNumFields(ADSHANDLE hTable, UNSIGNED16* pusCount) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetFieldName(ADSHANDLE hTable, UNSIGNED16 usFld, UNSIGNED8* pucName,
                                  UNSIGNED16* pusLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetFieldNum(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                 UNSIGNED16* pusNum) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetFieldType(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                  UNSIGNED16* pusType) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetFieldLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                    UNSIGNED32* pulLength) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetFieldDecimals(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                      UNSIGNED16* pusDecimals) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetFieldOffset(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                    UNSIGNED32* pulOffset) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsIsNullable(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                UNSIGNED16* pbNullable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetColumnPermissions(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                          UNSIGNED8* pucPermissions) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetTableMemoSize(ADSHANDLE hTable, UNSIGNED16* pusMemoSize) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetLastAutoinc(ADSHANDLE hObj, UNSIGNED32* pulAutoIncVal) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsCheckTable(ADSHANDLE hTable, UNSIGNED32 ulOptions, UNSIGNED8* pucReport,
                                UNSIGNED32* pulLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGotoTop(ADSHANDLE hObj) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGotoBottom(ADSHANDLE hObj) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGotoBOF(ADSHANDLE hObj) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGotoEOF(ADSHANDLE hObj) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSkip(ADSHANDLE hObj, SIGNED32 lRecs) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsAtEOF(ADSHANDLE hTable, UNSIGNED16* pbAtEOF) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsAtBOF(ADSHANDLE hTable, UNSIGNED16* pbAtBOF) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGotoRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetRecordNum(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulRec) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetRecordCount(ADSHANDLE hObj, UNSIGNED16 usFilterOption,
                                    UNSIGNED32* pulCount) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetBookmark(ADSHANDLE hObj, ADSHANDLE* phBookmark) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetBookmark60(ADSHANDLE hObj, UNSIGNED8* pucBookmark, UNSIGNED32* pulLength) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetBookmarkLength(ADSHANDLE hObj, UNSIGNED32* pulLength) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGotoBookmark(ADSHANDLE hTable, ADSHANDLE hBookmark) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGotoBookmark60(ADSHANDLE hObj, const UNSIGNED8* pucBookmark) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsCompareBookmarks(const UNSIGNED8* pucBookmark1, const UNSIGNED8* pucBookmark2,
                                      SIGNED32* plResult) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetRecord(ADSHANDLE hTable, UNSIGNED8* pucRec, UNSIGNED32* pulLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsClearRecordBuffer(ADSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetNullRecord(ADSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32* pulLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsRefreshRecord(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsIsRecordVisible(ADSHANDLE hObj, UNSIGNED16* pbVisible) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsIsRecordDeleted(ADSHANDLE hTable, UNSIGNED16* pbDeleted) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetRecordCRC(ADSHANDLE hTable, UNSIGNED32* pulCRC, UNSIGNED32 ulOptions) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetField(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                              UNSIGNED32* pulLen, UNSIGNED16 usOption) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetFieldW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, WCHAR* pwcBuf,
                               UNSIGNED32* pulLen, UNSIGNED16 usOption) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetString(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                               UNSIGNED32* pulLen, UNSIGNED16 usOption) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetStringW(ADSHANDLE hTable, const UNSIGNED8* pucFldName, WCHAR* pwcBuf,
                                UNSIGNED32* pulLen, UNSIGNED16 usOption) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetDataLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                   UNSIGNED32 ulOptions, UNSIGNED32* pulLength) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetDouble(ADSHANDLE hTable, const UNSIGNED8* pucFldName, double* pdValue) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetLong(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED32* plValue) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetShort(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED16* psValue) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetLogical(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                UNSIGNED16* pbValue) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetJulian(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED32* plDate) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetMilliseconds(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                     SIGNED32* plTime) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetDate(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                             UNSIGNED16* pusLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetTime(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                             UNSIGNED16* pusLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsIsEmpty(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbEmpty) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsIsNull(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbNull) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetMemoLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                   UNSIGNED32* pulLength) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetMemoDataType(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                     UNSIGNED16* pusType) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED32 ulOffset,
                               UNSIGNED8* pucBuf, UNSIGNED32* pulLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetBinaryLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                     UNSIGNED32* pulLength) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetField(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucBuf,
                              UNSIGNED32 ulLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetFieldW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const WCHAR* pwcBuf,
                               UNSIGNED32 ulLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetFieldRaw(ADSHANDLE hObj, const UNSIGNED8* pucFldName,
                                 const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetString(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucBuf,
                               UNSIGNED32 ulLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetStringW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const WCHAR* pwcBuf,
                                UNSIGNED32 ulLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetDouble(ADSHANDLE hObj, const UNSIGNED8* pucFldName, double dValue) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetLong(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lValue) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetShort(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED16 sValue) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetLogical(ADSHANDLE hObj, const UNSIGNED8* pucFldName, UNSIGNED16 bValue) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetJulian(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lDate) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetMilliseconds(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lTime) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetDate(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucValue,
                             UNSIGNED16 usLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetTime(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucValue,
                             UNSIGNED16 usLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetTimeStampRaw(ADSHANDLE hObj, const UNSIGNED8* pucFldName,
                                     const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetEmpty(ADSHANDLE hObj, const UNSIGNED8* pucFldName) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetNull(ADSHANDLE hObj, const UNSIGNED8* pucFldName) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsSetBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                               UNSIGNED16 usBinaryType, UNSIGNED32 ulTotalLength,
                               UNSIGNED32 ulOffset, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsConvertStringToJulian(const UNSIGNED8* pucJulian, UNSIGNED16 usLen,
                                           double* pdJulian) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsConvertJulianToString(double dJulian, UNSIGNED8* pucJulian,
                                           UNSIGNED16* pusLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsConvertDateToJulian(ADSHANDLE hConnect, const UNSIGNED8* pucDate,
                                         UNSIGNED16 usLen, double* pdJulian) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsAppendRecord(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsWriteRecord(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsDeleteRecord(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsRecallRecord(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsCancelUpdate(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsLockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsUnlockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsIsRecordLocked(ADSHANDLE hTable, UNSIGNED32 ulRec, UNSIGNED16* pbLocked) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetNumLocks(ADSHANDLE hTable, UNSIGNED16* pusNum) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsGetAllLocks(ADSHANDLE hTable, UNSIGNED32* aulLocks, UNSIGNED16* pusArrayLen) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsLockTable(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsUnlockTable(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsIsTableLocked(ADSHANDLE hTable, UNSIGNED16* pbLocked) {
    return VE_NOT_IMPLEMENTED;
}
VE_API UNSIGNED32 AdsFlushFileBuffers(ADSHANDLE hTable) {
    return VE_NOT_IMPLEMENTED;
}
}
