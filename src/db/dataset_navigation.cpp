// TDataSet, navigation: First, Last, MoveBy (Next, Prior), Resync and Refresh, moving the
// window over the cursor through FetchRecord and the positioning hooks.
#include <algorithm>
#include <optional>

#include "db/dataset.h"
#include "db/db_messages.h"

namespace varelum::db {

void TDataSet::First() {
    CheckBrowseMode();
    Fire(BeforeScroll, *this);
    ClearBuffers();
    try {
        MoveToFirst();
        FetchNextRecord();
        FetchNextRecords();
    } catch (...) {
        FBOF = true;
        DataEvent(deDataSetChange);
        throw;
    }
    FBOF = true;
    DataEvent(deDataSetChange);
    Fire(AfterScroll, *this);
}

void TDataSet::Last() {
    CheckBrowseMode();
    Fire(BeforeScroll, *this);
    ClearBuffers();
    try {
        MoveToLast();
        FetchPriorRecord();
        FetchPriorRecords();
    } catch (...) {
        FEOF = true;
        FActiveRecord = std::max(FRecordCount - 1, 0);
        DataEvent(deDataSetChange);
        throw;
    }
    FEOF = true;
    FActiveRecord = std::max(FRecordCount - 1, 0);
    DataEvent(deDataSetChange);
    Fire(AfterScroll, *this);
}

int TDataSet::MoveBy(int distance) {
    CheckBrowseMode();
    int moved = 0;
    Fire(BeforeScroll, *this);
    if ((distance > 0 && !FEOF) || (distance < 0 && !FBOF)) {
        FBOF = false;
        FEOF = false;
        int oldRecordCount = FRecordCount;
        int shift = 0;  // rows the window moved down (positive) or up (negative)
        try {
            while (distance > 0) {
                if (FActiveRecord < FRecordCount - 1) {
                    ++FActiveRecord;
                } else {
                    bool full = FRecordCount == FBufferCount;
                    if (!FetchNextRecord()) {
                        FEOF = true;
                        break;
                    }
                    if (full) {
                        ++shift;
                    } else {
                        ++FActiveRecord;
                    }
                }
                --distance;
                ++moved;
            }
            while (distance < 0) {
                if (FActiveRecord > 0) {
                    --FActiveRecord;
                } else {
                    if (!FetchPriorRecord()) {
                        FBOF = true;
                        break;
                    }
                    --shift;
                }
                ++distance;
                --moved;
            }
        } catch (...) {
            DataEvent(deDataSetChange);
            throw;
        }
        if (FRecordCount != oldRecordCount) {
            DataEvent(deDataSetChange);
        } else {
            DataEvent(deDataSetScroll, nullptr, shift);
        }
    }
    Fire(AfterScroll, *this);
    return moved;
}

void TDataSet::Resync(TResyncMode mode) {
    CheckActive();
    TRecordBuffer spare = SpareBuffer();
    if ((mode & rmExact) != 0) {
        CursorPosChanged();
        if (FetchRecord(spare, gmCurrent, false) != grOK) {
            DatabaseError(msg::SRecordNotFound, this);
        }
    } else if (FetchRecord(spare, gmCurrent, false) != grOK &&
               FetchRecord(spare, gmNext, false) != grOK &&
               FetchRecord(spare, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange);
        return;
    }
    // The cursor's record becomes the only row, then the window is refilled around it: as
    // many rows above as keep the active row where it was on screen (or in the middle).
    int above = (mode & rmCenter) != 0 ? (FBufferCount - 1) / 2 : FActiveRecord;
    std::swap(FBuffers[0], FBuffers[static_cast<std::size_t>(FRecordCount)]);
    ActivateFirstBuffer();
    FCurrentRecord = 0;
    try {
        int added = 0;
        while (added < above && FetchPriorRecord()) {
            ++added;
        }
        FActiveRecord = added;
        FetchNextRecords();
        FActiveRecord += FetchPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange);
        throw;
    }
    DataEvent(deDataSetChange);
}

void TDataSet::Refresh() {
    Fire(BeforeRefresh, *this);
    CheckBrowseMode();
    UpdateCursorPos();
    RereadCurrentRecord();
    Resync();
    Fire(AfterRefresh, *this);
}

// --- Bookmarks ---------------------------------------------------------------------------------

TBookmark TDataSet::GetBookmark() const {
    if ((FState != dsBrowse && FState != dsEdit && FState != dsInsert) || IsEmpty() ||
        FBookmarkSize == 0) {
        return {};
    }
    TRecordBuffer buffer = ActiveBuffer();
    TBookmarkFlag flag = ReadBookmarkFlag(buffer);
    if (flag != bfCurrent && flag != bfInserted) {
        return {};
    }
    TBookmark bookmark(FBookmarkSize);
    ReadBookmarkData(buffer, bookmark.data());
    return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) {
        return;
    }
    CheckBrowseMode();
    Fire(BeforeScroll, *this);
    MoveToBookmark(bookmark.data());
    Resync(rmExact | rmCenter);
    Fire(AfterScroll, *this);
}

bool TDataSet::BookmarkValid(const TBookmark&) {
    return false;
}

std::optional<int> TDataSet::CompareEmptyBookmarks(const TBookmark& b1, const TBookmark& b2) {
    if (b1.empty() && b2.empty()) {
        return 0;
    }
    if (b1.empty()) {
        return 1;
    }
    if (b2.empty()) {
        return -1;
    }
    return std::nullopt;
}

int TDataSet::CompareBookmarks(const TBookmark& b1, const TBookmark& b2) {
    if (const std::optional<int> empty = CompareEmptyBookmarks(b1, b2)) {
        return *empty;
    }
    if (b1 == b2) {
        return 0;
    }
    return b1 < b2 ? -1 : 1;
}

// --- Counting, position, searching: datasets that can answer override ---------------------------

bool TDataSet::FindFilteredRecord(bool, bool) {
    DatabaseError(msg::SCapabilityNotSupported, this);
}

bool TDataSet::GetCurrentRecord(TRecordBuffer) {
    return false;
}

int TDataSet::RecordCount() const {
    return -1;
}
int TDataSet::RecNo() const {
    return -1;
}
void TDataSet::SetRecNo(int) {}

bool TDataSet::Locate(std::string_view, const rtl::Variant&, TLocateOptions) {
    DatabaseError(msg::SCapabilityNotSupported, this);
}

rtl::Variant TDataSet::Lookup(std::string_view, const rtl::Variant&, std::string_view) {
    DatabaseError(msg::SCapabilityNotSupported, this);
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField&, TBlobStreamMode) {
    DatabaseError(msg::SCapabilityNotSupported, this);
}

}  // namespace varelum::db
