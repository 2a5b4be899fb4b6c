// TDataSet, state and buffers: opening and closing, the dataset state, and the mechanics of
// the record-buffer window (sizing it, fetching into the spare buffer and rotating it into
// place, re-positioning the cursor on a buffer).
#include <algorithm>

#include "db/data_source.h"
#include "db/dataset.h"
#include "db/db_messages.h"

namespace varelum::db {

namespace {
TExceptionHandler& HandlerSlot() {
    static TExceptionHandler handler;
    return handler;
}
}  // namespace

void SetApplicationExceptionHandler(TExceptionHandler handler) {
    HandlerSlot() = std::move(handler);
}
const TExceptionHandler& ApplicationExceptionHandler() {
    return HandlerSlot();
}

TDataSet::TDataSet(rtl::TComponent* owner)
    : rtl::TComponent(owner), FFields(this), FFieldDefs(this) {}

TDataSet::~TDataSet() {
    // The hooks are gone with the derived part, so a concrete dataset closes itself in its own
    // destructor; here only the links are let go.
    while (!FDataSources.empty()) {
        FDataSources.back()->SetDataSet(nullptr);
    }
}

// --- Opening and closing ---------------------------------------------------------------------

void TDataSet::SetActive(bool value) {
    if (value) {
        Open();
    } else {
        Close();
    }
}

void TDataSet::Open() {
    if (FState != dsInactive) {
        return;
    }
    Fire(BeforeOpen, *this);
    FDefaultFields = FFields.Count() == 0;
    SetTempState(dsOpening);
    try {
        ActivateCursor();
        SetBufferCount(WantedBufferCount());
        ClearBuffers();
        FetchNextRecord();
        FetchNextRecords();
        FBOF = true;
    } catch (...) {
        CloseAfterFailure();
        throw;
    }
    FState = dsBrowse;
    FModified = false;
    DataEvent(deUpdateState);
    DataEvent(deDataSetChange);
    DoAfterOpen();
    if (!IsEmpty()) {
        Fire(AfterScroll, *this);
    }
}

void TDataSet::DoAfterOpen() {
    Fire(AfterOpen, *this);
}

void TDataSet::Close() {
    if (FState == dsInactive) {
        return;
    }
    Fire(BeforeClose, *this);
    SetState(dsInactive);
    FreeFieldBuffers();
    ReleaseAllBuffers();
    CloseEngineCursor();
    FModified = false;
    Fire(AfterClose, *this);
}

void TDataSet::CloseAfterFailure() {
    FState = dsInactive;
    try {
        FreeFieldBuffers();
        ReleaseAllBuffers();
        CloseEngineCursor();
    } catch (...) {
        // The failure that brought us here is the one the caller reports; a second failure
        // while tidying up would only hide it.
    }
    FModified = false;
    DataEvent(deUpdateState);
}

void TDataSet::CheckActive() const {
    if (!Active()) {
        DatabaseError(msg::SDataSetClosed, this);
    }
}

void TDataSet::CheckInactive() const {
    if (Active()) {
        DatabaseError(msg::SDataSetOpen, this);
    }
}

// --- State -----------------------------------------------------------------------------------

void TDataSet::SetState(TDataSetState state) {
    if (FState != state) {
        FState = state;
        FModified = false;
        DataEvent(deUpdateState);
    }
}

TDataSetState TDataSet::SetTempState(TDataSetState state) {
    TDataSetState previous = FState;
    FState = state;
    return previous;
}

void TDataSet::RestoreState(TDataSetState previous) {
    FState = previous;
}

// --- The window --------------------------------------------------------------------------------

TRecordBuffer TDataSet::ActiveBuffer() const {
    if (FBuffers.empty()) {
        return nullptr;
    }
    return FBuffers[static_cast<std::size_t>(FActiveRecord)];
}

TRecordBuffer TDataSet::SpareBuffer() const {
    if (FBuffers.empty()) {
        return nullptr;
    }
    return FBuffers[static_cast<std::size_t>(FRecordCount)];
}

int TDataSet::WantedBufferCount() const {
    int wanted = 1;
    for (const TDataSource* source : FDataSources) {
        for (const TDataLink* link : source->DataLinks()) {
            wanted = std::max(wanted, link->BufferCount());
        }
    }
    return wanted;
}

void TDataSet::UpdateBufferCount() {
    if (Active()) {
        SetBufferCount(WantedBufferCount());
    }
}

void TDataSet::AllocateBuffers(int count) {
    // One buffer more than the window: the spare.
    while (static_cast<int>(FBuffers.size()) < count + 1) {
        FBuffers.push_back(nullptr);
        FBuffers.back() = AllocateRecordBuffer();
    }
}

void TDataSet::ReleaseAllBuffers() {
    for (TRecordBuffer& buffer : FBuffers) {
        if (buffer != nullptr) {
            ReleaseRecordBuffer(buffer);
            buffer = nullptr;
        }
    }
    FBuffers.clear();
    FBufferCount = 0;
    FRecordCount = 0;
    FActiveRecord = 0;
    FCurrentRecord = -1;
    FBOF = FEOF = true;
}

void TDataSet::SetBufferCount(int count) {
    count = std::max(count, 1);
    if (count == FBufferCount) {
        return;
    }
    if (count > FBufferCount) {
        AllocateBuffers(count);
        FBufferCount = count;
        // Grow the window downwards first, then upwards when the end is reached.
        if (FRecordCount > 0 && FState != dsInsert) {
            FetchNextRecords();
            FActiveRecord += FetchPriorRecords();
        }
        return;
    }
    // Shrinking: keep the active record inside the window by dropping rows above it first.
    int drop = std::max(0, FActiveRecord - (count - 1));
    for (int i = 0; i < drop; ++i) {
        std::rotate(FBuffers.begin(), FBuffers.begin() + 1, FBuffers.begin() + FRecordCount + 1);
        --FRecordCount;
        --FActiveRecord;
        if (FCurrentRecord >= 0) {
            --FCurrentRecord;
        }
    }
    FRecordCount = std::min(FRecordCount, count);
    if (FCurrentRecord >= FRecordCount) {
        FCurrentRecord = -1;
    }
    while (static_cast<int>(FBuffers.size()) > count + 1) {
        ReleaseRecordBuffer(FBuffers.back());
        FBuffers.pop_back();
    }
    FBufferCount = count;
}

void TDataSet::ReleaseBufferWindow() {
    FReleasedBufferCount = FBufferCount;
    ReleaseAllBuffers();
}

void TDataSet::AllocateBufferWindow() {
    int count = std::max(FReleasedBufferCount, WantedBufferCount());
    AllocateBuffers(count);
    FBufferCount = count;
    ClearBuffers();
}

void TDataSet::ClearBuffers() {
    FRecordCount = 0;
    FActiveRecord = 0;
    FCurrentRecord = -1;
    FBOF = FEOF = true;
}

void TDataSet::ActivateFirstBuffer() {
    FRecordCount = 1;
    FActiveRecord = 0;
    FBOF = FEOF = false;
}

void TDataSet::RotateSpareTo(int index) {
    // The spare (just past the filled buffers) moves to index; the buffers from index on
    // move one place down.
    auto first = FBuffers.begin() + index;
    auto spare = FBuffers.begin() + FRecordCount;
    std::rotate(first, spare, spare + 1);
}

void TDataSet::RotateToSpare(int index) {
    // The reverse: the buffer at index becomes the spare again.
    auto first = FBuffers.begin() + index;
    auto spare = FBuffers.begin() + FRecordCount;
    std::rotate(first, first + 1, spare + 1);
}

void TDataSet::SetCurrentRecord(int index) {
    if (FCurrentRecord == index || index < 0 || FBuffers.empty()) {
        return;
    }
    TRecordBuffer buffer = FBuffers[static_cast<std::size_t>(index)];
    switch (ReadBookmarkFlag(buffer)) {
        case bfCurrent:
        case bfInserted:
            MoveToBuffer(buffer);
            break;
        case bfBOF:
            MoveToFirst();
            break;
        case bfEOF:
            MoveToLast();
            break;
    }
    FCurrentRecord = index;
}

void TDataSet::UpdateCursorPos() {
    if (FRecordCount > 0) {
        SetCurrentRecord(FActiveRecord);
    }
}

bool TDataSet::FetchNextRecord() {
    if (FRecordCount > 0) {
        SetCurrentRecord(FRecordCount - 1);
    }
    TGetResult result = FetchRecord(SpareBuffer(), gmNext, true);
    if (result != grOK) {
        CursorPosChanged();
        return false;
    }
    if (FRecordCount == 0) {
        ActivateFirstBuffer();
    } else if (FRecordCount < FBufferCount) {
        ++FRecordCount;
    } else {
        // The window is full: the top row leaves it and becomes the spare.
        std::rotate(FBuffers.begin(), FBuffers.begin() + 1, FBuffers.begin() + FRecordCount + 1);
    }
    FCurrentRecord = FRecordCount - 1;
    return true;
}

bool TDataSet::FetchPriorRecord() {
    if (FRecordCount > 0) {
        SetCurrentRecord(0);
    }
    TGetResult result = FetchRecord(SpareBuffer(), gmPrior, true);
    if (result != grOK) {
        CursorPosChanged();
        return false;
    }
    if (FRecordCount == 0) {
        ActivateFirstBuffer();
    } else {
        // The new row goes on top; when the window is full the bottom row becomes the spare.
        RotateSpareTo(0);
        if (FRecordCount < FBufferCount) {
            ++FRecordCount;
        }
    }
    FCurrentRecord = 0;
    return true;
}

int TDataSet::FetchNextRecords() {
    int fetched = 0;
    while (FRecordCount < FBufferCount && FetchNextRecord()) {
        ++fetched;
    }
    return fetched;
}

int TDataSet::FetchPriorRecords() {
    // Counts only rows added above rows already there (the shift of the active record).
    int added = 0;
    while (FRecordCount < FBufferCount) {
        bool hadRows = FRecordCount > 0;
        if (!FetchPriorRecord()) {
            break;
        }
        if (hadRows) {
            ++added;
        }
    }
    return added;
}

}  // namespace varelum::db
