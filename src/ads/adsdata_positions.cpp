// TAdsDataSet's positions: record numbers (RecNo), record counts under the counting options,
// the engine's current record, and bookmarks (see adsdata_cursor.h).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include "ads/ace.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "rtl/exception.h"

namespace varelum::ads {
namespace {

constexpr UNSIGNED16 kIndexConditionCapacity = 510;
constexpr UNSIGNED32 kIndexFlagUnique = 1;

// An engine count returned through a signed property: 2^31 and above cannot be shown.
int CheckedCount(UNSIGNED32 value) {
    if (value > static_cast<UNSIGNED32>(INT32_MAX)) {
        throw rtl::ERangeError("Range check error");
    }
    return static_cast<int>(value);
}

}  // namespace

// --- Record numbers and counts ----------------------------------------------------------------

std::uint32_t TAdsDataSet::CurrentRecordNumber(std::uint32_t record) {
    if ((mstrIndexName.empty() && mstrIndexFieldNames.empty()) || !mbIsSequenced) {
        return record;
    }
    return SequencedRecordNumber(mlActiveHandle);
}

std::uint32_t TAdsDataSet::SequencedRecordNumber(ADSHANDLE index) {
    if (meSeqLevel == slExact) {
        UNSIGNED32 key = 0;
        Check(ace::AdsGetKeyNum(index, VE_RESPECT_FILTERS, &key));
        return key;
    }
    UNSIGNED32 count = 0;
    Check(ace::AdsGetRecordCount(mlHandle, VE_IGNORE_FILTERS, &count));
    double position = 0.0;
    const UNSIGNED32 result = ace::AdsGetRelKeyPos(index, &position);
    if (result == VE_NO_KEY_POSITION) {
        position = 0.0;
    } else {
        Check(result);
    }
    return static_cast<std::uint32_t>(std::trunc(double(count) * position));
}

int TAdsDataSet::RecNo() const {
    CheckActive();
    if (State() == db::dsCalcFields) {
        return static_cast<int>(BufferBookmarkRecord(CalcBuffer()));
    }
    if (IsEmpty()) {
        return 0;
    }
    return BufferRecordNumber(ActiveBuffer());
}

void TAdsDataSet::SetRecNo(int value) {
    CheckBrowseMode();
    if (value < 0) {
        throw rtl::ERangeError("Range check error");
    }
    DoBeforeScroll();
    const bool indexActive = mlActiveHandle != mlHandle;
    const auto target = static_cast<UNSIGNED32>(value);
    if (mbIsSequenced && meSeqLevel == slExact) {
        Check(ace::AdsGotoTop(mlActiveHandle));
        Check(ace::AdsSkip(mlActiveHandle, value - 1));
    } else if (indexActive) {
        UNSIGNED32 count = 0;
        Check(ace::AdsGetRecordCount(mlHandle, VE_IGNORE_FILTERS, &count));
        const double position = count == 0 ? 0.0 : std::min(1.0, double(value) / double(count));
        Check(ace::AdsSetRelKeyPos(mlActiveHandle, position));
    } else if (Filtered()) {
        Check(ace::AdsGotoTop(mlHandle));
        Check(ace::AdsSkip(mlHandle, value - 1));
    } else {
        UNSIGNED32 result = ace::AdsGotoRecord(mlHandle, target);
        if (mbIsSequenced && result == VE_RECORD_NOT_FOUND) {
            Check(ace::AdsGotoTop(mlHandle));
            result = ace::AdsSkip(mlHandle, value - 1);
        }
        Check(result);
    }
    Resync(db::rmCenter);
    DoAfterScroll();
}

int TAdsDataSet::RecordCount() const {
    CheckActive();
    UNSIGNED16 option = 0;
    const ADSHANDLE handle = CountingHandle(option);
    UNSIGNED32 count = 0;
    Check(ace::AdsGetRecordCount(handle, option, &count));
    return CheckedCount(count);
}

ADSHANDLE TAdsDataSet::CountingHandle(UNSIGNED16& option) const {
    option = VE_IGNORE_FILTERS;
    if (mpoAdsTableOptions->AdsFilterOptions() == RESPECT_WHEN_COUNTING) {
        option = VE_RESPECT_FILTERS;
    } else if (mpoAdsTableOptions->AdsScopeOptions() == RESPECT_SCOPES_WHEN_COUNTING) {
        option = VE_RESPECT_SCOPES;
    }
    ADSHANDLE handle = mlActiveHandle;
    if (option == VE_RESPECT_FILTERS && mlActiveHandle != mlHandle) {
        UNSIGNED32 flags = 0;
        Check(ace::AdsGetIndexFlags(mlActiveHandle, &flags));
        if (TableType() == ttAdsADT || (flags & kIndexFlagUnique) == 0) {
            UNSIGNED8 condition[kIndexConditionCapacity + 1] = {};
            UNSIGNED16 length = kIndexConditionCapacity;
            Check(ace::AdsGetIndexCondition(mlActiveHandle, condition, &length));
            if (condition[0] == 0 && !ActiveIndexHasScope()) {
                handle = mlHandle;
            }
        }
    }
    if (mpoAdsTableOptions->AdsFreshRecordCount()) {
        option = static_cast<UNSIGNED16>(option + VE_REFRESH_COUNT);
    }
    return handle;
}

ADSHANDLE TAdsDataSet::AdsActiveRecord() {
    CheckActive();
    if (State() == db::dsCalcFields) {
        return 0;
    }
    ADSHANDLE position = 0;
    Check(ace::AdsGetBookmark(mlHandle, &position));
    try {
        Check(ace::AdsGotoRecord(mlHandle, BufferBookmarkRecord(ActiveBuffer())));
    } catch (const EADSDatabaseError& error) {
        UNSIGNED16 atBeginning = 0;
        UNSIGNED16 atEnd = 0;
        const bool empty = error.ACEErrorCode() == VE_RECORD_NOT_FOUND &&
                           ace::AdsAtBOF(mlHandle, &atBeginning) == VE_SUCCESS &&
                           ace::AdsAtEOF(mlHandle, &atEnd) == VE_SUCCESS && atBeginning && atEnd;
        if (!empty) {
            throw;
        }
    }
    CursorPosChanged();
    return position;
}

// --- Bookmarks -----------------------------------------------------------------------------------

bool TAdsDataSet::BookmarkValid(const db::TBookmark& bookmark) {
    if (!Active() || bookmark.size() < sizeof(std::uint32_t)) {
        return false;
    }
    CursorPosChanged();
    std::uint32_t record = 0;
    std::memcpy(&record, bookmark.data(), sizeof record);
    if (ace::AdsGotoBookmark(mlHandle, record) != VE_SUCCESS) {
        return false;
    }
    UNSIGNED16 atEnd = 1;
    if (ace::AdsAtEOF(mlHandle, &atEnd) != VE_SUCCESS || atEnd) {
        return false;
    }
    if (TableType() == ttAdsCDX || TableType() == ttAdsNTX || TableType() == ttAdsVFP) {
        UNSIGNED16 deleted = 0;
        Check(ace::AdsIsRecordDeleted(mlHandle, &deleted));
        if (deleted) {
            UNSIGNED16 shown = 0;
            Check(ace::AdsGetDeleted(&shown));
            return shown != 0;
        }
    }
    return true;
}

int TAdsDataSet::CompareBookmarks(const db::TBookmark& b1, const db::TBookmark& b2) {
    if (const std::optional<int> empty = CompareEmptyBookmarks(b1, b2)) {
        return *empty;
    }
    SIGNED32 result = 0;
    Check(ace::AdsCompareBookmarks(b1.data(), b2.data(), &result));
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

bool TAdsDataSet::GetCurrentRecord(db::TRecordBuffer buffer) {
    if (IsEmpty() || ReadBookmarkFlag(ActiveBuffer()) != db::bfCurrent) {
        return false;
    }
    UpdateCursorPos();
    std::memcpy(buffer, ActiveBuffer(), musRecordSize);
    return true;
}

}  // namespace varelum::ads
