// Moving, finding, record state and locks on the engine handles.
#include "ads/adsfunc.h"
#include "rtl/code_page.h"

namespace varelum::ads {

// --- Moving and finding --------------------------------------------------------------------------

void TAdsExtendedTable::AdsGotoTop() {
    Perform(TGuard::Browse, TAfter::Resync, [&] { return ace::AdsGotoTop(OrderHandle()); });
}

void TAdsExtendedTable::AdsGotoBottom() {
    Perform(TGuard::Browse, TAfter::Resync, [&] { return ace::AdsGotoBottom(OrderHandle()); });
}

void TAdsExtendedTable::AdsGotoRecord(std::int64_t ulRecNum) {
    const UNSIGNED32 record = Unsigned(ulRecNum);
    Perform(TGuard::Browse, TAfter::Resync,
            [&] { return ace::AdsGotoRecord(TableHandle(), record); });
}

void TAdsExtendedTable::AdsGotoBookMark(std::int64_t hBookmark) {
    const UNSIGNED32 bookmark = Unsigned(hBookmark);
    Perform(TGuard::Browse, TAfter::Resync,
            [&] { return ace::AdsGotoBookmark(TableHandle(), bookmark); });
}

void TAdsExtendedTable::AdsSkip(std::int32_t lNumRecs) {
    Perform(TGuard::BrowseRecord, TAfter::Resync,
            [&] { return ace::AdsSkip(OrderHandle(), lNumRecs); });
}

bool TAdsExtendedTable::SeekKey(
    const std::string& strKey,
    const std::function<UNSIGNED32(const UNSIGNED8*, UNSIGNED16*)>& call) {
    std::u16string key = rtl::Utf8ToUtf16(strKey);
    if (key.size() > kAdsKeyLimit) {
        key.resize(kAdsKeyLimit);
    }
    UNSIGNED16 found = 0;
    Perform(TGuard::Browse, TAfter::Resync,
            [&] { return call(reinterpret_cast<const UNSIGNED8*>(key.c_str()), &found); });
    return found != 0;
}

bool TAdsExtendedTable::AdsSeek(const std::string& strKey, TAdsSeekTypes eSeekType) {
    return SeekKey(strKey, [&](const UNSIGNED8* key, UNSIGNED16* found) {
        return ace::AdsSeek(IndexHandle(), key, VE_KEY_ZERO_TERMINATED, VE_WSTRINGKEY,
                            static_cast<UNSIGNED16>(eSeekType), found);
    });
}

bool TAdsExtendedTable::AdsSeekLast(const std::string& strKey) {
    return SeekKey(strKey, [&](const UNSIGNED8* key, UNSIGNED16* found) {
        return ace::AdsSeekLast(IndexHandle(), key, VE_KEY_ZERO_TERMINATED, VE_WSTRINGKEY, found);
    });
}

bool TAdsExtendedTable::AdsLocate(const std::string& strExpression, bool bForward) {
    const std::string expression = AdsEngineText(strExpression, kAdsNoLimit);
    UNSIGNED16 found = 0;
    Perform(TGuard::BrowseRecord, TAfter::Resync, [&] {
        return ace::AdsLocate(TableHandle(), AdsBytes(expression), bForward ? 1 : 0, &found);
    });
    return found != 0;
}

bool TAdsExtendedTable::AdsContinue() {
    UNSIGNED16 found = 0;
    Perform(TGuard::BrowseRecord, TAfter::Resync,
            [&] { return ace::AdsContinue(TableHandle(), &found); });
    return found != 0;
}

bool TAdsExtendedTable::AdsLookupKey(const std::string& strTag, const std::string& strKey) {
    const ADSHANDLE index = TagHandle(strTag);
    const std::string key = AdsEngineText(strKey, kAdsKeyLimit);
    return AskYesNo(TGuard::None, [&](UNSIGNED16* found) {
        return ace::AdsLookupKey(index, AdsBytes(key), static_cast<UNSIGNED16>(key.size()),
                                 VE_STRINGKEY, found);
    });
}

void TAdsExtendedDataSet::AdsSetRelKeyPos(double dPos) {
    Perform(TGuard::Browse, TAfter::Resync,
            [&] { return ace::AdsSetRelKeyPos(IndexHandle(), dPos); });
}

double TAdsExtendedDataSet::AdsGetRelKeyPos() {
    AdsActiveRecord();
    double position = 0;
    Tolerate(ace::AdsGetRelKeyPos(IndexHandle(), &position));
    return position;
}

std::int32_t TAdsExtendedTable::AdsGetRecordNum() {
    // While inserting, the shown record is not in the engine yet: no guard.
    if (State() != db::dsInsert) {
        AdsActiveRecord();
    }
    const UNSIGNED16 option = AdsTableOptions().AdsFilterOptions() == RESPECT_WHEN_COUNTING
                                  ? VE_RESPECT_FILTERS
                                  : VE_IGNORE_FILTERS;
    UNSIGNED32 record = 0;
    Tolerate(ace::AdsGetRecordNum(TableHandle(), option, &record));
    return static_cast<std::int32_t>(record);
}

std::int32_t TAdsExtendedTable::AdsGetBookMark() {
    AdsActiveRecord();
    ADSHANDLE bookmark = 0;
    Tolerate(ace::AdsGetBookmark(TableHandle(), &bookmark));
    return static_cast<std::int32_t>(bookmark);
}

// --- Record state --------------------------------------------------------------------------------

void TAdsExtendedTable::AdsAppendRecord() {
    Perform(TGuard::Browse, TAfter::Resync, [&] { return ace::AdsAppendRecord(TableHandle()); });
}

void TAdsExtendedTable::AdsDeleteRecord() {
    Perform(TGuard::BrowseRecord, TAfter::Resync,
            [&] { return ace::AdsDeleteRecord(TableHandle()); });
}

void TAdsExtendedDataSet::AdsRecallRecord() {
    Perform(TGuard::BrowseRecord, TAfter::Resync,
            [&] { return ace::AdsRecallRecord(TableHandle()); });
}

void TAdsExtendedTable::AdsRefreshRecord() {
    Perform(TGuard::BrowseRecord, TAfter::Resync,
            [&] { return ace::AdsRefreshRecord(TableHandle()); });
}

void TAdsExtendedTable::AdsWriteRecord() {
    Perform(TGuard::BrowseRecord, TAfter::Resync,
            [&] { return ace::AdsWriteRecord(TableHandle()); });
}

bool TAdsExtendedDataSet::AdsIsRecordDeleted(std::int64_t ulRecNum) {
    const UNSIGNED32 record = Unsigned(ulRecNum);
    return AskYesNo(TGuard::Record, [&](UNSIGNED16* deleted) {
        if (record != 0) {
            const UNSIGNED32 moved = ace::AdsGotoRecord(TableHandle(), record);
            if (moved != VE_SUCCESS) {
                return moved;
            }
        }
        return ace::AdsIsRecordDeleted(TableHandle(), deleted);
    });
}

// --- Locks ---------------------------------------------------------------------------------------

namespace {

// A lock refused because another user holds it, or asked for on no record, is an answer.
bool LockGranted(UNSIGNED32 result) {
    return result != VE_LOCK_REFUSED && result != VE_NO_CURRENT_RECORD;
}

}  // namespace

bool TAdsExtendedTable::AdsLockRecord(std::int64_t ulRecNum) {
    const UNSIGNED32 record = Unsigned(ulRecNum);
    RunGuard(record == 0 ? TGuard::BrowseRecord : TGuard::Browse);
    const UNSIGNED32 result = ace::AdsLockRecord(TableHandle(), record);
    if (!LockGranted(result)) {
        return false;
    }
    Tolerate(result);
    AdsExtendResync();
    return true;
}

bool TAdsExtendedTable::AdsLockTable() {
    RunGuard(TGuard::Browse);
    const UNSIGNED32 result = ace::AdsLockTable(TableHandle());
    if (!LockGranted(result)) {
        return false;
    }
    Tolerate(result);
    AdsExtendResync();
    return true;
}

bool TAdsExtendedTable::AdsUnlockRecord(std::int64_t ulRecNum) {
    const UNSIGNED32 record = Unsigned(ulRecNum);
    RunGuard(record == 0 ? TGuard::BrowseRecord : TGuard::Browse);
    const UNSIGNED32 result = ace::AdsUnlockRecord(TableHandle(), record);
    if (result != VE_RECORD_NOT_LOCKED) {
        Tolerate(result);
    }
    return true;
}

void TAdsExtendedTable::AdsUnlockTable() {
    RunGuard(TGuard::Browse);
    const UNSIGNED32 result = ace::AdsUnlockTable(TableHandle());
    if (result != VE_TABLE_NOT_LOCKED) {
        Tolerate(result);
    }
}

bool TAdsExtendedTable::AdsIsRecordLocked(std::int64_t ulRecNum) {
    const UNSIGNED32 record = Unsigned(ulRecNum);
    return AskYesNo(record == 0 ? TGuard::Record : TGuard::None, [&](UNSIGNED16* locked) {
        return ace::AdsIsRecordLocked(TableHandle(), record, locked);
    });
}

bool TAdsExtendedTable::AdsIsTableLocked() {
    return AskYesNo(TGuard::None, [&](UNSIGNED16* locked) {
        return ace::AdsIsTableLocked(TableHandle(), locked);
    });
}

std::int32_t TAdsExtendedTable::AdsGetNumLocks() {
    UNSIGNED16 count = 0;
    Tolerate(ace::AdsGetNumLocks(TableHandle(), &count));
    return count;
}

std::int32_t TAdsExtendedTable::AdsGetAllLocks(std::vector<std::uint32_t>& aulLocks) {
    UNSIGNED16 count = static_cast<UNSIGNED16>(std::min<std::size_t>(aulLocks.size(), 0xFFFF));
    Tolerate(ace::AdsGetAllLocks(TableHandle(), aulLocks.data(), &count));
    return count;
}

}  // namespace varelum::ads
