// TAdsExtendedDataSet and TAdsExtendedTable: the direct engine operations of the datasets.
//
// Each member is named after the engine function it wraps and acts on the dataset's engine
// handles without going through the record buffers:
//   table  the table or cursor handle (kNoAdsHandle while closed),
//   index  the active index, or kNoAdsHandle without one,
//   order  the active index if there is one, else the table handle.
// A closed dataset hands kNoAdsHandle to the engine, whose error is raised; only the guards
// test the state first. Where the engine's position or view may have moved, the member ends
// with AdsExtendResync so that the buffers show the engine's record again.
//
// Guards: the browse guard (CheckBrowseMode: open, pending edits posted or cancelled) and the
// record guard (AdsActiveRecord: the engine on the record the dataset shows).
//
// Text crosses as 8-bit text in the system code page, cut to fixed sizes: names of fields,
// tags and indexes 128 characters, files and servers 260, keys and scopes 4082, dates 255,
// index expressions 510. Every answer goes through CheckAceResultIgnoreNoRecord (0 and 5068
// pass) unless a member names other codes it takes as answers.
//
// The class chain: TAdsDataSet → TAdsExtendedDataSet → TAdsExtendedTable → TAdsTable, and
// TAdsQuery on TAdsExtendedDataSet. Neither class holds state of its own.
//
// The members live in files by concern: adsfunc_support.cpp (guards, handles, conversions,
// resync), adsfunc_fields.cpp, adsfunc_navigation.cpp (moving, finding, record state and
// locks), adsfunc_filters.cpp, adsfunc_indexes.cpp, adsfunc_table.cpp (table, fields and
// expressions) and adsfunc_engine.cpp (engine-wide members).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata_cursor.h"

namespace varelum::ads {

// The enumerations carry the engine's own numbers, so a member passes them unchanged.
enum TAdsSeekTypes { stSOFT = 1, stHARD = 2 };
// Which bound of a scope (the table options' TAdsScopeOptions names the counting mode).
enum TAdsScopeBound { soTOP = 1, soBOTTOM = 2 };
enum TAdsFilenameOptions { foBASENAME = 1, foBASENAMEANDEXT = 2, foFULLPATHNAME = 3 };
enum TAdsBinaryTypes { btBINARY = 6, btIMAGE = 7 };
enum TAdsAOFCustomizeOptions { coADD = 1, coREMOVE = 2, coTOGGLE = 3 };
enum TAdsTrimOptions { optNONE = 0, optLTRIM = 1, optRTRIM = 2, optTRIM = 3 };
// Index options: a set of these bits.
enum TAdsIndexOption : std::uint32_t {
    optUNIQUE = 1,
    optCOMPOUND = 2,
    optCUSTOM = 4,
    optDESCENDING = 8,
    optUSERDEFINED = 16,
    optCANDIDATE = 2048,
    optBINARY = 4096,
};
using TAdsIndexOptions = std::uint32_t;

enum TAdsExpressionTypes { etLOGICAL, etNUMERIC, etDATE, etSTRING, etRAW };
enum TAdsMemoDataTypes { mdtMEMO, mdtBINARY, mdtIMAGE };
enum TAdsAOFOptimizeLevel { olFULL, olPART, olNONE };
enum TAdsHandleTypes { htTABLE, htINDEX };

// Engine answers as the enumerations above; unknown codes take the neutral value.
TAdsFieldTypes FieldTypeFromEngine(UNSIGNED16 code) noexcept;
TAdsExpressionTypes ExpressionTypeFromEngine(UNSIGNED16 code) noexcept;
TAdsMemoDataTypes MemoDataTypeFromEngine(UNSIGNED16 code) noexcept;
TAdsAOFOptimizeLevel OptimizeLevelFromEngine(UNSIGNED16 code) noexcept;
TAdsHandleTypes HandleTypeFromEngine(UNSIGNED16 code) noexcept;
// The engine's table type of a dataset table type: CDX 2, NTX 1, VFP 4, ADT and default 3.
UNSIGNED16 EngineTableType(TAdsTableTypes type) noexcept;

// Sizes the texts are cut to before they cross.
inline constexpr std::size_t kAdsNameLimit = 128;
inline constexpr std::size_t kAdsFileLimit = 260;
inline constexpr std::size_t kAdsKeyLimit = 4082;
inline constexpr std::size_t kAdsDateLimit = 255;
inline constexpr std::size_t kAdsCaptionLimit = 600;
inline constexpr std::size_t kAdsIndexExprLimit = 510;
inline constexpr std::size_t kAdsNoLimit = 0;

// The 8-bit engine text (system code page) of UTF-8 text, cut to limit characters (0: whole).
std::string AdsEngineText(const std::string& text, std::size_t limit);
inline const UNSIGNED8* AdsBytes(const std::string& text) {
    return reinterpret_cast<const UNSIGNED8*>(text.c_str());
}

// The engine's callbacks as the members hand them on: a percentage in, non-zero to stop.
using TAdsProgressCallback = UNSIGNED32 (*)(UNSIGNED16 usPercentDone);
using TAdsSQLAbortCallback = UNSIGNED32 (*)();
using TAdsCallbackFunction = UNSIGNED32 (*)(UNSIGNED16 usPercentDone, UNSIGNED32 ulCallbackID);
using TAdsCallbackFunction101 = UNSIGNED32 (*)(UNSIGNED16 usPercentDone, SIGNED64 qCallbackID);

class TAdsExtendedDataSet : public TAdsDataSet {
  public:
    explicit TAdsExtendedDataSet(rtl::TComponent* owner = nullptr) : TAdsDataSet(owner) {}

    // AdsAtEOF and AdsAtBOF, then the dataset's first record at BOF, its last at EOF, or the
    // buffers re-read around the engine's current record.
    void AdsExtendResync();

    void AdsCacheRecords(std::int32_t usNumRecords);
    bool AdsCheckExistence(const std::string& strFilename);
    bool AdsIsServerLoaded(const std::string& strServer);
    // The engine's description; the version numbers and letter through the out parameters.
    std::string AdsGetVersion(std::uint32_t& ulMajor, std::uint32_t& ulMinor,
                              std::string& strLetter);
    bool AdsInTransaction();
    void AdsFlushFileBuffers();
    void AdsThreadExit();

    void AdsConvertTable(const std::string& strFile, TAdsTableTypes eTableType);
    void AdsCopyTable(const std::string& strFile);
    void AdsCopyTableContents(TAdsDataSet& oDestination);
    void AdsCopyTableStructure(const std::string& strFile);
    void AdsCreateIndex(const std::string& strFileName, const std::string& strTagName,
                        const std::string& strExpression, const std::string& strCondition,
                        const std::string& strWhile, TAdsIndexOptions setIndexOptions);

    void AdsEnableEncryption(const std::string& strPassword);
    void AdsDisableEncryption();
    bool AdsIsRecordEncrypted(std::int64_t ulRecNum);
    bool AdsIsTableEncrypted();
    bool AdsIsEncryptionEnabled();
    void AdsEncryptRecord();
    void AdsDecryptRecord();

    // The optimisation level of the optimised filter (olNONE without one); its text in
    // strFilter.
    TAdsAOFOptimizeLevel AdsGetAOFOptLevel(std::string& strFilter);
    void AdsRefreshAOF();
    std::int32_t AdsGetKeyCount();
    std::int32_t AdsGetKeyNum();
    double AdsGetRelKeyPos();
    void AdsSetRelKeyPos(double dPos);
    bool AdsIsRecordDeleted(std::int64_t ulRecNum);
    void AdsRecallRecord();

    void AdsRegisterProgressCallBack(TAdsProgressCallback callback);
    void AdsClearProgressCallback();
    void AdsRegisterSQLAbortFunc(TAdsSQLAbortCallback callback);
    void AdsClearSQLAbortFunc();
    void AdsRegisterCallbackFunction(TAdsCallbackFunction callback, std::int64_t ulCallbackID);
    void AdsRegisterCallbackFunction101(TAdsCallbackFunction101 callback, SIGNED64 qCallbackID);
    void AdsClearCallbackFunction();

  protected:
    // --- The shapes every member is made of
    enum class TGuard { None, Browse, Record, BrowseRecord };
    enum class TAfter { None, Resync, PropertyChange };

    // The guard, then the engine call checked (0 and 5068 pass), then the step after it.
    void Perform(TGuard guard, TAfter after, const std::function<UNSIGNED32()>& call);
    void RunGuard(TGuard guard);
    void RunAfter(TAfter after);
    void Tolerate(UNSIGNED32 result) const;

    ADSHANDLE TableHandle() const { return mlHandle; }
    ADSHANDLE IndexHandle() const { return GetAceIndexHandle(); }
    ADSHANDLE OrderHandle() const { return mlActiveHandle; }
    // The counting mode of the table options: 1 respecting filters, 3 scopes, else 2.
    UNSIGNED16 CountingMode() const;

    // A yes/no answer of the engine through handle-less call (guard and tolerance as
    // Perform).
    bool AskYesNo(TGuard guard, const std::function<UNSIGNED32(UNSIGNED16*)>& call);
    // Text of at most capacity bytes (terminator not counted) from the engine, as UTF-8.
    std::string AskText(TGuard guard, std::uint16_t capacity,
                        const std::function<UNSIGNED32(UNSIGNED8*, UNSIGNED16*)>& call);
    // A text the engine reports in two steps (length, then text): empty on 5037, a larger
    // buffer on 5005.
    std::string AskFilterText(const std::function<UNSIGNED32(void*, UNSIGNED32*)>& call, bool wide);

    // Range error before any engine call: a negative count, number, offset or id.
    static UNSIGNED32 Unsigned(std::int64_t value);
};

class TAdsExtendedTable : public TAdsExtendedDataSet {
  public:
    explicit TAdsExtendedTable(rtl::TComponent* owner = nullptr) : TAdsExtendedDataSet(owner) {}

    // --- Field values
    std::string AdsGetString(const std::string& strFieldName,
                             TAdsTrimOptions enumTrimOptions = optNONE);
    std::string AdsGetField(const std::string& strFieldName,
                            TAdsTrimOptions enumTrimOptions = optNONE);
    std::string AdsGetDate(const std::string& strFieldName);
    std::string AdsGetTime(const std::string& strFieldName);
    double AdsGetDouble(const std::string& strFieldName);
    std::int32_t AdsGetJulian(const std::string& strFieldName);
    std::int32_t AdsGetLong(const std::string& strFieldName);
    std::int16_t AdsGetShort(const std::string& strFieldName);
    std::int32_t AdsGetMilliseconds(const std::string& strFieldName);
    bool AdsGetLogical(const std::string& strFieldName);
    std::int32_t AdsGetMemoLength(const std::string& strFieldName);
    std::int32_t AdsGetBinaryLength(const std::string& strFieldName);
    TAdsMemoDataTypes AdsGetMemoDataType(const std::string& strFieldName);
    bool AdsIsEmpty(const std::string& strFieldName);
    // Fills pucBuf with up to ulBufLen bytes from ulOffSet on; returns the bytes delivered.
    std::int32_t AdsGetBinary(const std::string& strFieldName, std::int64_t ulOffSet,
                              std::uint8_t* pucBuf, std::int64_t ulBufLen);
    void AdsBinaryToFile(const std::string& strFieldName, const std::string& strFileName);
    void AdsImageToClipboard(const std::string& strFieldName);
    void AdsSetString(const std::string& strFieldName, const std::string& strValue);
    void AdsSetField(const std::string& strFieldName, const std::string& strValue);
    void AdsSetDate(const std::string& strFieldName, const std::string& strValue);
    void AdsSetTime(const std::string& strFieldName, const std::string& strValue);
    void AdsSetDouble(const std::string& strFieldName, double dValue);
    void AdsSetJulian(const std::string& strFieldName, std::int32_t lValue);
    void AdsSetLong(const std::string& strFieldName, std::int32_t lValue);
    void AdsSetShort(const std::string& strFieldName, std::int16_t sValue);
    void AdsSetMilliseconds(const std::string& strFieldName, std::int32_t lValue);
    void AdsSetLogical(const std::string& strFieldName, bool bValue);
    void AdsSetEmpty(const std::string& strFieldName);
    void AdsSetBinary(const std::string& strFieldName, TAdsBinaryTypes eBinaryType,
                      std::int64_t ulTotalLength, std::int64_t ulOffset, const std::uint8_t* pucBuf,
                      std::int64_t ulBufLength);
    void AdsFileToBinary(const std::string& strFieldName, TAdsBinaryTypes eBinaryType,
                         const std::string& strFileName);

    // --- Moving and finding
    void AdsGotoTop();
    void AdsGotoBottom();
    void AdsGotoRecord(std::int64_t ulRecNum);
    void AdsGotoBookMark(std::int64_t hBookmark);
    void AdsSkip(std::int32_t lNumRecs);
    bool AdsSeek(const std::string& strKey, TAdsSeekTypes eSeekType);
    bool AdsSeekLast(const std::string& strKey);
    bool AdsLocate(const std::string& strExpression, bool bForward);
    bool AdsContinue();
    bool AdsLookupKey(const std::string& strTag, const std::string& strKey);
    std::int32_t AdsGetRecordNum();
    std::int32_t AdsGetBookMark();

    // --- Record state and locks
    void AdsAppendRecord();
    void AdsDeleteRecord();
    void AdsRefreshRecord();
    void AdsWriteRecord();
    // True when granted; false when another user holds it (5035) or there is no record.
    bool AdsLockRecord(std::int64_t ulRecNum);
    bool AdsLockTable();
    bool AdsUnlockRecord(std::int64_t ulRecNum);
    void AdsUnlockTable();
    bool AdsIsRecordLocked(std::int64_t ulRecNum);
    bool AdsIsTableLocked();
    std::int32_t AdsGetNumLocks();
    // The locked record numbers into the caller's array (its size is the capacity); returns
    // how many were written.
    std::int32_t AdsGetAllLocks(std::vector<std::uint32_t>& aulLocks);

    // --- Filters, scopes and optimised filters
    void AdsSetFilter(const std::string& strFilter);
    void AdsClearFilter();
    std::string AdsGetFilter();
    void AdsSetAOF(const std::string& strFilter);
    void AdsClearAOF();
    std::string AdsGetAOF();
    TAdsAOFOptimizeLevel AdsEvalAOF(const std::string& strFilter);
    void AdsCustomizeAOF(const std::vector<std::uint32_t>& pulRecords,
                         TAdsAOFCustomizeOptions eOption);
    bool AdsIsRecordInAOF(std::int64_t ulRecordNum);
    void AdsSetScope(TAdsScopeBound eScopeOption, const std::string& strScope);
    void AdsClearScope(TAdsScopeBound eScopeOption);
    void AdsClearAllScopes();
    std::string AdsGetScope(TAdsScopeBound eScopeOption);

    // --- Indexes
    void AdsOpenIndex(const std::string& strIndexName);
    // A tag that is not open is opened first, so that its file can be closed.
    void AdsCloseIndex(const std::string& strTag);
    void AdsCloseAllIndexes();
    void AdsDeleteIndex(const std::string& strTag);
    void AdsReindex();
    void AdsAddCustomKey(const std::string& strTag);
    void AdsDeleteCustomKey(const std::string& strTag);
    ADSHANDLE AdsGetIndexHandle(const std::string& strIndexOrder);
    ADSHANDLE AdsGetIndexHandleByOrder(std::uint16_t usOrderNum);
    // The name of the given index, or of the active one when hIndexHandle is 0.
    std::string AdsGetIndexName(ADSHANDLE hIndexHandle);
    // IndexName := the name of that order's index; order 0 clears IndexName.
    void AdsSetIndexByOrder(std::uint16_t usOrderNum);
    std::string AdsGetIndexCondition();
    std::string AdsGetIndexExpr();
    std::string AdsGetIndexFileName(TAdsFilenameOptions eOption);
    std::uint16_t AdsGetKeyLength();
    TAdsExpressionTypes AdsGetKeyType();
    bool AdsIsIndexCompound();
    bool AdsIsIndexCustom();
    bool AdsIsIndexDescending();
    bool AdsIsIndexUnique();
    std::uint16_t AdsGetNumIndexes();
    std::int32_t AdsGetAllIndexes(std::vector<ADSHANDLE>& ahIndexes);
    // One character per key byte.
    std::string AdsExtractKey();

    // --- Table, fields and expressions
    std::int32_t AdsGetRecordCount();
    std::int32_t AdsGetRecordLength();
    std::uint16_t AdsGetNumFields();
    std::uint16_t AdsGetTableMemoSize();
    std::string AdsGetFieldName(std::uint16_t usFieldNum);
    std::uint16_t AdsGetFieldNum(const std::string& strFieldName);
    std::int32_t AdsGetFieldLength(const std::string& strFieldName);
    std::uint16_t AdsGetFieldDecimals(const std::string& strFieldName);
    std::int32_t AdsGetFieldOffset(const std::string& strFieldName);
    TAdsFieldTypes AdsGetFieldType(const std::string& strFieldName);
    std::string AdsGetTableFileName(TAdsFilenameOptions eOption);
    std::int32_t AdsGetHandleLong();
    void AdsSetHandleLong(std::int64_t ulHandle);
    TAdsHandleTypes AdsGetHandleType(ADSHANDLE hObj);
    void AdsPackTable();
    void AdsZapTable();
    // Creates the table file and closes it at once; needs no open dataset.
    void AdsCreateTable(const std::string& strName, TAdsTableTypes eTableType,
                        TAdsCharTypes eCharType, std::uint16_t usMemoSize,
                        const std::string& strFields);
    void AdsEncryptTable();
    void AdsDecryptTable();
    bool AdsEvalLogicalExpr(const std::string& strExpression);
    double AdsEvalNumericExpr(const std::string& strExpression);
    std::string AdsEvalStringExpr(const std::string& strExpression);
    TAdsExpressionTypes AdsEvalTestExpr(const std::string& strExpression);
    bool AdsIsExprValid(const std::string& strExpression);

    // --- Engine-wide
    std::string AdsGetErrorString(std::uint32_t ulErrorCode);
    std::uint32_t AdsGetLastError(std::string& strError);
    void AdsShowError(const std::string& strCaption);

  private:
    // The record guard, then call(table, field name, &value).
    template <typename Value, typename Call>
    Value ReadFieldValue(const std::string& strFieldName, const Call& call);
    // The value as text of at most capacity characters (the record guard has run).
    std::string ReadFieldText(const std::string& engineName, std::uint32_t capacity, bool wide,
                              TAdsTrimOptions trim);
    // The browse guard, then a seek by UTF-16 key (at most 4082 characters), then the resync.
    bool SeekKey(const std::string& strKey,
                 const std::function<UNSIGNED32(const UNSIGNED8*, UNSIGNED16*)>& call);
    // The browse and record guards, the write, then AdsExtendResync.
    void WriteFieldValue(const std::string& strFieldName,
                         const std::function<UNSIGNED32(const UNSIGNED8*)>& call);
    ADSHANDLE TagHandle(const std::string& strTag);
};

}  // namespace varelum::ads
