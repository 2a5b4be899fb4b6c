// TDataSet, editing: Edit, Insert, Append, Post, Cancel, Delete, InsertRecord and
// AppendRecord in their fixed orders of events and hooks, the retry loops of the error events,
// CheckBrowseMode, UpdateRecord and ClearFields.
#include "db/dataset.h"
#include "db/db_messages.h"

namespace varelum::db {

void TDataSet::CheckCanModify() const {
    if (!CanModify()) {
        DatabaseError(msg::SDataSetReadOnly, this);
    }
}

void TDataSet::RunWithRetry(const TDataSetErrorEvent& onError, void (TDataSet::*hook)()) {
    for (;;) {
        try {
            if (FRecordCount > 0 && FCurrentRecord != FActiveRecord) {
                SetCurrentRecord(FActiveRecord);
            }
            (this->*hook)();
            return;
        } catch (rtl::EDatabaseError& error) {
            if (!onError) {
                throw;
            }
            TDataAction action = daFail;
            onError(*this, error, action);
            if (action == daFail) {
                throw;
            }
            if (action == daAbort) {
                rtl::Abort();
            }
            // daRetry: run the step again.
        }
    }
}

void TDataSet::Edit() {
    if (FState == dsEdit || FState == dsInsert) {
        return;
    }
    CheckActive();
    if (FRecordCount == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    Fire(BeforeEdit, *this);
    CheckParentState();
    RunWithRetry(OnEditError, &TDataSet::BeginEditRecord);
    GetCalcFields(ActiveBuffer());
    SetState(dsEdit);
    DataEvent(deRecordChange);
    Fire(AfterEdit, *this);
}

void TDataSet::BeginInsertAppend() {
    CheckBrowseMode();
    CheckCanModify();
    Fire(BeforeInsert, *this);
    CheckParentState();
    Fire(BeforeScroll, *this);
}

void TDataSet::EndInsertAppend() {
    SetState(dsInsert);
    try {
        NewRecord();
    } catch (...) {
        RecoverFromFailedInsert();
        throw;
    }
    FModified = false;
    DataEvent(deDataSetChange);
    Fire(AfterInsert, *this);
    Fire(AfterScroll, *this);
}

void TDataSet::RecoverFromFailedInsert() {
    // Back to browsing, with the window read again around the record the insert began on.
    try {
        CursorPosChanged();
        UpdateCursorPos();
        FreeFieldBuffers();
        SetState(dsBrowse);
        Resync();
    } catch (...) {
        // The failure of the new record is the one to report; if the window cannot be read
        // again, it is left empty rather than showing a row that is not there.
        FState = dsBrowse;
        ClearBuffers();
        DataEvent(deDataSetChange);
    }
}

void TDataSet::Insert() {
    BeginInsertAppend();
    bool hadRows = FRecordCount > 0;
    TBookmark bookmark;
    if (hadRows) {
        bookmark.resize(FBookmarkSize);
        ReadBookmarkData(ActiveBuffer(), bookmark.data());
    }
    // The new row takes the active place; the rows from there move down one, the last one
    // leaving a full window.
    RotateSpareTo(FActiveRecord);
    if (FRecordCount < FBufferCount) {
        ++FRecordCount;
    }
    if (FCurrentRecord >= FActiveRecord) {
        // The buffer the cursor sits on moved down with the others.
        FCurrentRecord = FCurrentRecord + 1 < FRecordCount ? FCurrentRecord + 1 : -1;
    }
    try {
        TRecordBuffer buffer = ActiveBuffer();
        PrepareRecordBuffer(buffer);
        if (hadRows) {
            WriteBookmarkData(buffer, bookmark.data());
        } else {
            WriteBookmarkFlag(buffer, bfBOF);
        }
        BeginInsertRecord();
    } catch (...) {
        RecoverFromFailedInsert();
        throw;
    }
    EndInsertAppend();
}

void TDataSet::Append() {
    BeginInsertAppend();
    ClearBuffers();
    try {
        TRecordBuffer buffer = FBuffers[0];
        PrepareRecordBuffer(buffer);
        WriteBookmarkFlag(buffer, bfEOF);
        FRecordCount = 1;
        FBOF = false;
        FetchPriorRecords();
        FActiveRecord = FRecordCount - 1;
        BeginInsertRecord();
    } catch (...) {
        RecoverFromFailedInsert();
        throw;
    }
    EndInsertAppend();
}

void TDataSet::Post() {
    UpdateRecord();
    if (FState != dsEdit && FState != dsInsert) {
        return;
    }
    DataEvent(deCheckBrowseMode);
    Fire(BeforePost, *this);
    RunWithRetry(OnPostError, &TDataSet::PostCurrentRecord);
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync();
    Fire(AfterPost, *this);
}

void TDataSet::Cancel() {
    if (FState != dsEdit && FState != dsInsert) {
        return;
    }
    DataEvent(deCheckBrowseMode);
    Fire(BeforeCancel, *this);
    bool wasInsert = FState == dsInsert;
    if (wasInsert) {
        Fire(BeforeScroll, *this);
    }
    UpdateCursorPos();
    CancelCurrentRecord();
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync();
    Fire(AfterCancel, *this);
    if (wasInsert) {
        Fire(AfterScroll, *this);
    }
}

void TDataSet::Delete() {
    CheckActive();
    if (FState == dsInsert || FState == dsSetKey) {
        Cancel();
        return;
    }
    if (FRecordCount == 0) {
        DatabaseError(msg::SDataSetEmpty, this);
    }
    CheckCanModify();
    DataEvent(deCheckBrowseMode);
    Fire(BeforeDelete, *this);
    Fire(BeforeScroll, *this);
    RunWithRetry(OnDeleteError, &TDataSet::DeleteCurrentRecord);
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync();
    Fire(AfterDelete, *this);
    Fire(AfterScroll, *this);
}

void TDataSet::InsertRecord(const std::vector<rtl::Variant>& values) {
    InsertOrAppendRecord(values, false);
}

void TDataSet::AppendRecord(const std::vector<rtl::Variant>& values) {
    InsertOrAppendRecord(values, true);
}

void TDataSet::InsertOrAppendRecord(const std::vector<rtl::Variant>& values, bool append) {
    BeginInsertAppend();
    if (!append) {
        UpdateCursorPos();
    }
    DisableControls();
    try {
        // The spare takes the active place without growing the window; undone on failure.
        RotateSpareTo(FActiveRecord);
        CursorPosChanged();
        try {
            TRecordBuffer buffer = ActiveBuffer();
            PrepareRecordBuffer(buffer);
            FState = dsInsert;
            try {
                NewRecord();
                Fire(AfterInsert, *this);
                std::size_t count =
                    std::min(values.size(), static_cast<std::size_t>(FFields.Count()));
                for (std::size_t i = 0; i < count; ++i) {
                    if (!values[i].IsEmpty()) {
                        FFields[static_cast<int>(i)].SetAsVariant(values[i]);
                    }
                }
                Fire(BeforePost, *this);
                AddRecordDirect(buffer, append);
            } catch (...) {
                // The record is dropped unposted: the descendant discards whatever its post
                // had begun for it (an engine append), as Cancel would.
                try {
                    CancelCurrentRecord();
                } catch (...) {
                    // The failure of the record itself is the one to report.
                }
                FreeFieldBuffers();
                FState = dsBrowse;
                FModified = false;
                throw;
            }
            FreeFieldBuffers();
            FState = dsBrowse;
            FModified = false;
        } catch (...) {
            RotateToSpare(FActiveRecord);
            CursorPosChanged();
            throw;
        }
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
    Resync();
    Fire(AfterPost, *this);
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode);
    switch (FState) {
        case dsEdit:
        case dsInsert:
            UpdateRecord();
            if (FModified) {
                Post();
            } else {
                Cancel();
            }
            break;
        case dsSetKey:
            Post();
            break;
        default:
            break;
    }
}

void TDataSet::UpdateRecord() {
    switch (FState) {
        case dsEdit:
        case dsInsert:
        case dsSetKey:
        case dsCalcFields:
        case dsFilter:
        case dsNewValue:
        case dsInternalCalc:
            DataEvent(deUpdateRecord);
            return;
        default:
            DatabaseError(msg::SNotEditing, this);
    }
}

void TDataSet::ClearFields() {
    if (FState != dsEdit && FState != dsInsert && FState != dsSetKey) {
        DatabaseError(msg::SNotEditing, this);
    }
    DataEvent(deCheckBrowseMode);
    FreeFieldBuffers();
    TRecordBuffer buffer = StateRecordBuffer();
    InitRecordImage(buffer);
    if (FState != dsSetKey) {
        GetCalcFields(buffer);
    }
    DataEvent(deRecordChange);
}

void TDataSet::NewRecord() {
    Fire(OnNewRecord, *this);
}

void TDataSet::FreeFieldBuffers() {
    for (TField* field : FFields) {
        field->FValidatingActive = false;
        field->FValidating = nullptr;
    }
}

}  // namespace varelum::db
