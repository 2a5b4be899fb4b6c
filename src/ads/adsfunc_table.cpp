// The table, its fields and expressions on the engine handles: counts, names, copies,
// conversions, packing, creating and encrypting tables, and evaluating expressions.
#include "ads/ace.h"
#include "ads/adsfunc.h"
#include "ads/adsset.h"

namespace varelum::ads {

namespace {

constexpr std::uint16_t kFieldNameCapacity = 129;
constexpr std::uint16_t kTableFileCapacity = 255;
constexpr std::uint16_t kStringExprCapacity = 4083;

}  // namespace

// --- Table and fields ----------------------------------------------------------------------------

std::int32_t TAdsExtendedTable::AdsGetRecordCount() {
    UNSIGNED16 option = 0;
    const ADSHANDLE handle = CountingHandle(option);
    UNSIGNED32 count = 0;
    Tolerate(ace::AdsGetRecordCount(handle, option, &count));
    return static_cast<std::int32_t>(count);
}

std::int32_t TAdsExtendedTable::AdsGetRecordLength() {
    UNSIGNED32 length = 0;
    Tolerate(ace::AdsGetRecordLength(TableHandle(), &length));
    return static_cast<std::int32_t>(length);
}

std::uint16_t TAdsExtendedTable::AdsGetNumFields() {
    UNSIGNED16 count = 0;
    Tolerate(ace::AdsGetNumFields(TableHandle(), &count));
    return count;
}

std::uint16_t TAdsExtendedTable::AdsGetTableMemoSize() {
    UNSIGNED16 size = 0;
    Tolerate(ace::AdsGetTableMemoSize(TableHandle(), &size));
    return size;
}

std::string TAdsExtendedTable::AdsGetFieldName(std::uint16_t usFieldNum) {
    return AskText(TGuard::None, kFieldNameCapacity, [&](UNSIGNED8* buffer, UNSIGNED16* length) {
        return ace::AdsGetFieldName(TableHandle(), usFieldNum, buffer, length);
    });
}

namespace {

// A field's property through the table handle, by field name (no guard).
template <typename Value, typename Call>
Value FieldProperty(ADSHANDLE table, const std::string& strFieldName, const Call& call,
                    const std::function<void(UNSIGNED32)>& check) {
    const std::string name = AdsEngineText(strFieldName, kAdsNameLimit);
    Value value{};
    check(call(table, AdsBytes(name), &value));
    return value;
}

}  // namespace

std::uint16_t TAdsExtendedTable::AdsGetFieldNum(const std::string& strFieldName) {
    return FieldProperty<UNSIGNED16>(TableHandle(), strFieldName, ace::AdsGetFieldNum,
                                     [&](UNSIGNED32 result) { Tolerate(result); });
}

std::int32_t TAdsExtendedTable::AdsGetFieldLength(const std::string& strFieldName) {
    return static_cast<std::int32_t>(
        FieldProperty<UNSIGNED32>(TableHandle(), strFieldName, ace::AdsGetFieldLength,
                                  [&](UNSIGNED32 result) { Tolerate(result); }));
}

std::uint16_t TAdsExtendedTable::AdsGetFieldDecimals(const std::string& strFieldName) {
    return FieldProperty<UNSIGNED16>(TableHandle(), strFieldName, ace::AdsGetFieldDecimals,
                                     [&](UNSIGNED32 result) { Tolerate(result); });
}

std::int32_t TAdsExtendedTable::AdsGetFieldOffset(const std::string& strFieldName) {
    return static_cast<std::int32_t>(
        FieldProperty<UNSIGNED32>(TableHandle(), strFieldName, ace::AdsGetFieldOffset,
                                  [&](UNSIGNED32 result) { Tolerate(result); }));
}

TAdsFieldTypes TAdsExtendedTable::AdsGetFieldType(const std::string& strFieldName) {
    return FieldTypeFromEngine(
        FieldProperty<UNSIGNED16>(TableHandle(), strFieldName, ace::AdsGetFieldType,
                                  [&](UNSIGNED32 result) { Tolerate(result); }));
}

std::string TAdsExtendedTable::AdsGetTableFileName(TAdsFilenameOptions eOption) {
    return AskText(TGuard::None, kTableFileCapacity, [&](UNSIGNED8* buffer, UNSIGNED16* length) {
        return ace::AdsGetTableFilename(TableHandle(), static_cast<UNSIGNED16>(eOption), buffer,
                                        length);
    });
}

std::int32_t TAdsExtendedTable::AdsGetHandleLong() {
    UNSIGNED32 value = 0;
    Tolerate(ace::AdsGetHandleLong(OrderHandle(), &value));
    return static_cast<std::int32_t>(value);
}

void TAdsExtendedTable::AdsSetHandleLong(std::int64_t ulHandle) {
    const UNSIGNED32 value = Unsigned(ulHandle);
    Tolerate(ace::AdsSetHandleLong(OrderHandle(), value));
}

TAdsHandleTypes TAdsExtendedTable::AdsGetHandleType(ADSHANDLE hObj) {
    UNSIGNED16 type = 0;
    Tolerate(ace::AdsGetHandleType(hObj, &type));
    return HandleTypeFromEngine(type);
}

bool TAdsExtendedDataSet::AdsInTransaction() {
    ADSHANDLE connection = 0;
    Tolerate(ace::AdsGetTableConnection(TableHandle(), &connection));
    return AskYesNo(TGuard::None, [&](UNSIGNED16* inTransaction) {
        return ace::AdsInTransaction(connection, inTransaction);
    });
}

void TAdsExtendedDataSet::AdsCacheRecords(std::int32_t usNumRecords) {
    const UNSIGNED32 count = Unsigned(usNumRecords);
    Tolerate(ace::AdsCacheRecords(TableHandle(), static_cast<UNSIGNED16>(count)));
}

void TAdsExtendedDataSet::AdsFlushFileBuffers() {
    Perform(TGuard::Browse, TAfter::None, [&] { return ace::AdsFlushFileBuffers(TableHandle()); });
}

void TAdsExtendedTable::AdsPackTable() {
    RunGuard(TGuard::Browse);
    Tolerate(ace::AdsPackTable(TableHandle()));
    AdsGotoTop();
}

void TAdsExtendedTable::AdsZapTable() {
    Perform(TGuard::Browse, TAfter::None, [&] { return ace::AdsZapTable(TableHandle()); });
}

// --- Copies and conversions ----------------------------------------------------------------------

namespace {

// The index when one is active, else the table: a copy follows the dataset's order and view.
ADSHANDLE CopySource(ADSHANDLE index, ADSHANDLE table) {
    return index != kNoAdsHandle ? index : table;
}

}  // namespace

void TAdsExtendedDataSet::AdsCopyTable(const std::string& strFile) {
    const std::string file = AdsEngineText(strFile, kAdsFileLimit);
    Perform(TGuard::Browse, TAfter::None, [&] {
        return ace::AdsCopyTable(CopySource(IndexHandle(), TableHandle()), CountingMode(),
                                 AdsBytes(file));
    });
}

void TAdsExtendedDataSet::AdsConvertTable(const std::string& strFile, TAdsTableTypes eTableType) {
    const std::string file = AdsEngineText(strFile, kAdsFileLimit);
    Perform(TGuard::Browse, TAfter::Resync, [&] {
        return ace::AdsConvertTable(CopySource(IndexHandle(), TableHandle()), CountingMode(),
                                    AdsBytes(file), EngineTableType(eTableType));
    });
}

void TAdsExtendedDataSet::AdsCopyTableContents(TAdsDataSet& oDestination) {
    Perform(TGuard::Browse, TAfter::None, [&] {
        return ace::AdsCopyTableContents(CopySource(IndexHandle(), TableHandle()),
                                         oDestination.GetAceTableHandle(), CountingMode());
    });
}

void TAdsExtendedDataSet::AdsCopyTableStructure(const std::string& strFile) {
    const std::string file = AdsEngineText(strFile, kAdsFileLimit);
    Tolerate(ace::AdsCopyTableStructure(TableHandle(), AdsBytes(file)));
}

void TAdsExtendedTable::AdsCreateTable(const std::string& strName, TAdsTableTypes eTableType,
                                       TAdsCharTypes eCharType, std::uint16_t usMemoSize,
                                       const std::string& strFields) {
    const ADSHANDLE connection = AdsConnection() != nullptr ? ConnectAndGetHandle() : 0;
    const std::string name = AdsEngineText(strName, kAdsFileLimit);
    const std::string fields = AdsEngineText(strFields, kAdsNoLimit);
    const std::string collation = AdsEngineText(GetEffectiveCollation(), kAdsNoLimit);
    ADSHANDLE table = 0;
    Tolerate(ace::AdsCreateTable90(connection, AdsBytes(name), nullptr, EngineTableType(eTableType),
                                   static_cast<UNSIGNED16>(eCharType + 1), VE_LOCK_PROPRIETARY,
                                   VE_RIGHTS_CHECK, usMemoSize, AdsBytes(fields), 0,
                                   AdsBytes(collation), &table));
    Tolerate(ace::AdsCloseTable(table));
}

// --- Encryption ----------------------------------------------------------------------------------

void TAdsExtendedTable::AdsEncryptTable() {
    Perform(TGuard::None, TAfter::Resync, [&] { return ace::AdsEncryptTable(TableHandle()); });
}

void TAdsExtendedTable::AdsDecryptTable() {
    Perform(TGuard::None, TAfter::Resync, [&] { return ace::AdsDecryptTable(TableHandle()); });
}

void TAdsExtendedDataSet::AdsEnableEncryption(const std::string& strPassword) {
    const std::string password = AdsEngineText(strPassword, kAdsNoLimit);
    Perform(TGuard::None, TAfter::Resync,
            [&] { return ace::AdsEnableEncryption(TableHandle(), AdsBytes(password)); });
}

void TAdsExtendedDataSet::AdsDisableEncryption() {
    Perform(TGuard::None, TAfter::Resync, [&] { return ace::AdsDisableEncryption(TableHandle()); });
}

bool TAdsExtendedDataSet::AdsIsTableEncrypted() {
    return AskYesNo(TGuard::None, [&](UNSIGNED16* answer) {
        return ace::AdsIsTableEncrypted(TableHandle(), answer);
    });
}

bool TAdsExtendedDataSet::AdsIsEncryptionEnabled() {
    return AskYesNo(TGuard::None, [&](UNSIGNED16* answer) {
        return ace::AdsIsEncryptionEnabled(TableHandle(), answer);
    });
}

bool TAdsExtendedDataSet::AdsIsRecordEncrypted(std::int64_t ulRecNum) {
    const UNSIGNED32 record = Unsigned(ulRecNum);
    return AskYesNo(TGuard::Record, [&](UNSIGNED16* answer) {
        if (record != 0 && State() != db::dsCalcFields) {
            const UNSIGNED32 moved = ace::AdsGotoRecord(TableHandle(), record);
            if (moved != VE_SUCCESS) {
                return moved;
            }
        }
        return ace::AdsIsRecordEncrypted(TableHandle(), answer);
    });
}

void TAdsExtendedDataSet::AdsEncryptRecord() {
    Perform(TGuard::BrowseRecord, TAfter::None,
            [&] { return ace::AdsEncryptRecord(TableHandle()); });
}

void TAdsExtendedDataSet::AdsDecryptRecord() {
    Perform(TGuard::BrowseRecord, TAfter::None,
            [&] { return ace::AdsDecryptRecord(TableHandle()); });
}

// --- Expressions ---------------------------------------------------------------------------------

bool TAdsExtendedTable::AdsEvalLogicalExpr(const std::string& strExpression) {
    const std::string expression = AdsEngineText(strExpression, kAdsNoLimit);
    return AskYesNo(TGuard::Record, [&](UNSIGNED16* answer) {
        return ace::AdsEvalLogicalExpr(TableHandle(), AdsBytes(expression), answer);
    });
}

double TAdsExtendedTable::AdsEvalNumericExpr(const std::string& strExpression) {
    AdsActiveRecord();
    const std::string expression = AdsEngineText(strExpression, kAdsNoLimit);
    double value = 0;
    Tolerate(ace::AdsEvalNumericExpr(TableHandle(), AdsBytes(expression), &value));
    return value;
}

std::string TAdsExtendedTable::AdsEvalStringExpr(const std::string& strExpression) {
    const std::string expression = AdsEngineText(strExpression, kAdsNoLimit);
    return AskText(TGuard::Record, kStringExprCapacity, [&](UNSIGNED8* buffer, UNSIGNED16* length) {
        return ace::AdsEvalStringExpr(TableHandle(), AdsBytes(expression), buffer, length);
    });
}

TAdsExpressionTypes TAdsExtendedTable::AdsEvalTestExpr(const std::string& strExpression) {
    AdsActiveRecord();
    const std::string expression = AdsEngineText(strExpression, kAdsNoLimit);
    UNSIGNED16 type = 0;
    Tolerate(ace::AdsEvalTestExpr(TableHandle(), AdsBytes(expression), &type));
    return ExpressionTypeFromEngine(type);
}

bool TAdsExtendedTable::AdsIsExprValid(const std::string& strExpression) {
    const std::string expression = AdsEngineText(strExpression, kAdsNoLimit);
    return AskYesNo(TGuard::Record, [&](UNSIGNED16* answer) {
        return ace::AdsIsExprValid(TableHandle(), AdsBytes(expression), answer);
    });
}

}  // namespace varelum::ads
