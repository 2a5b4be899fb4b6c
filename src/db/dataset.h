// TDataSet: the generic dataset base every dataset of Varelum derives from (the in-memory
// table here, the engine datasets of the data-access components).
//
// The base keeps the dataset state, a window of record buffers, the active record, BOF and
// EOF, the field objects and definitions, the data sources attached to it and the events.
// It knows nothing about where records come from: that is the dataset's, through the hooks
// (virtual member functions) below. The base runs the public operations in a fixed order of
// hook calls and events, which datasets rely on.
//
// The record-buffer contract:
// - A record buffer is an opaque block of bytes. The base never allocates one itself: it asks
//   AllocateRecordBuffer for each and gives each back through ReleaseRecordBuffer. It reads
//   and writes a buffer only through the hooks (FetchRecord fills it, the bookmark hooks read
//   and write its bookmark and flag, GetFieldData/WriteFieldValue convert field values), with
//   one exception: the calculated-field area, which starts RecordImageSize() bytes into the
//   buffer and is CalcFieldsSize() bytes long. In it, each calculated or lookup field owns,
//   at its Offset(), one "has value" byte followed by DataSize() bytes of native value.
// - The window holds BufferCount() buffers plus one spare: buffers [0, FilledBufferCount())
//   hold rows in cursor order, ActiveRecord() indexes the active one, and the spare is the
//   buffer just past the filled ones (SpareBuffer()); the base fetches into it and then
//   rotates it into place, and a dataset may use it as scratch between operations.
// - CurrentRecord() is the index of the buffer the cursor is known to sit on, -1 when
//   unknown. Before fetching next (prior) from a buffer, or before an editing hook, the base
//   re-positions the cursor on that buffer by its flag: MoveToBuffer for bfCurrent and
//   bfInserted, MoveToFirst for bfBOF, MoveToLast for bfEOF.
// - ActivateCursor must leave the cursor before the first record (the base then fetches
//   next), PostCurrentRecord must leave it on the posted record and DeleteCurrentRecord on a
//   record near the deleted one: the base then resynchronises the window around the cursor.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/db_types.h"
#include "db/field.h"
#include "db/field_defs.h"
#include "db/stream.h"
#include "rtl/component.h"
#include "rtl/exception.h"
#include "rtl/variant.h"

namespace varelum::db {

class TDataSource;
class TDataSet;

using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
// An error event: the failed operation's database error and the action, preset to daFail.
using TDataSetErrorEvent = std::function<void(TDataSet&, rtl::EDatabaseError&, TDataAction&)>;
using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

// Options of Resync: the cursor must sit exactly on a record (else "Record not found"), and
// the active record goes to the middle of the window.
enum TResyncOption : unsigned {
    rmExact = 1,
    rmCenter = 2,
};
using TResyncMode = unsigned;

// The process-wide handler of exceptions that escape data-aware controls (installed by the
// application; none by default). ReportException passes exceptions to it.
using TExceptionHandler = std::function<void(std::exception_ptr)>;
void SetApplicationExceptionHandler(TExceptionHandler handler);
const TExceptionHandler& ApplicationExceptionHandler();

class TDataSet : public rtl::TComponent {
  public:
    explicit TDataSet(rtl::TComponent* owner = nullptr);
    // The hooks are gone once a derived destructor has run, so every concrete dataset closes
    // itself (Close) in its own destructor.
    ~TDataSet() override;

    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    // --- Opening and closing -----------------------------------------------------------------

    // BeforeOpen; ActivateCursor; the window is sized and filled from the first record; state
    // dsBrowse; AfterOpen, then AfterScroll when a record is present. When ActivateCursor (or
    // filling the window) fails: state dsInactive, buffers released, CloseEngineCursor, and
    // the error propagates. Nothing happens when already open.
    void Open();
    // BeforeClose; state dsInactive; field buffers freed; buffers released;
    // CloseEngineCursor; AfterClose. Nothing happens when closed. Pending edits are dropped.
    void Close();
    bool Active() const { return FState != dsInactive && FState != dsOpening; }
    void SetActive(bool value);

    TDataSetState State() const { return FState; }
    bool Modified() const { return FModified; }

    // "Cannot perform this operation on a closed dataset" unless open.
    void CheckActive() const;
    // "Cannot perform this operation on an open dataset" when open.
    void CheckInactive() const;

    // --- Navigation ----------------------------------------------------------------------------

    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Moves the active record by distance rows; returns how many rows it moved. EOF (BOF)
    // is set when it tried to move past the last (first) row.
    int MoveBy(int distance);
    bool Bof() const { return FBOF; }
    bool Eof() const { return FEOF; }
    bool IsEmpty() const { return FActiveRecord >= FRecordCount; }

    // Re-reads the window around the cursor's record (centred with rmCenter). With rmExact
    // the cursor must sit on a record, else "Record not found"; otherwise the current, next
    // or prior record is taken, and with none the window empties.
    void Resync(TResyncMode mode = 0);
    // BeforeRefresh; check browse mode; re-position on the active record; RereadCurrentRecord;
    // Resync; AfterRefresh.
    void Refresh();

    // --- Bookmarks -------------------------------------------------------------------------------

    // The active record's bookmark; empty when there is no record to mark.
    TBookmark GetBookmark() const;
    void GotoBookmark(const TBookmark& bookmark);
    TBookmark Bookmark() const { return GetBookmark(); }
    void SetBookmark(const TBookmark& bookmark) { GotoBookmark(bookmark); }
    // Base: false. Datasets that can check a bookmark override.
    virtual bool BookmarkValid(const TBookmark& bookmark);
    // Both empty 0, only the first empty 1, only the second empty -1; base: byte order.
    virtual int CompareBookmarks(const TBookmark& b1, const TBookmark& b2);
    std::size_t BookmarkSize() const { return FBookmarkSize; }

    // --- Editing ---------------------------------------------------------------------------------

    void Edit();
    void Insert();
    void Append();
    virtual void Post();
    virtual void Cancel();
    void Delete();
    // Insert (append) a record with the values assigned to the fields in field order; an
    // Empty variant leaves a field as the new-record step set it, Null clears it.
    void InsertRecord(const std::vector<rtl::Variant>& values);
    void AppendRecord(const std::vector<rtl::Variant>& values);
    // Posts (or, when nothing was changed, cancels) a pending edit; posts a key edit.
    void CheckBrowseMode();
    // Asks the controls to write their pending edits into the fields.
    void UpdateRecord();
    // Clears every field of the record being edited.
    void ClearFields();
    virtual bool CanModify() const { return true; }
    // "Cannot modify a read-only dataset" unless CanModify.
    void CheckCanModify() const;

    // --- Fields
    // ------------------------------------------------------------------------------------

    TFields& Fields() { return FFields; }
    const TFields& Fields() const { return FFields; }
    TFieldDefs& FieldDefs() { return FFieldDefs; }
    const TFieldDefs& FieldDefs() const { return FFieldDefs; }
    TField* FindField(std::string_view name) const { return FFields.FindField(name); }
    // "Field '%s' not found" when there is none.
    TField& FieldByName(std::string_view name) const;
    // The values of the fields named (";"-separated): one value, or an array for several.
    rtl::Variant FieldValues(std::string_view names) const;
    void SetFieldValues(std::string_view names, const rtl::Variant& value);
    // The dataset's field objects, in order, for the names (";"-separated).
    std::vector<TField*> GetFieldList(std::string_view names) const;
    // Creates (or, when given, recreates) the field definitions from the source now.
    void UpdateFieldDefs();
    // True while the field objects were created from the definitions at open.
    bool DefaultFields() const { return FDefaultFields; }
    // A new field object for a field definition's type; datasets override to use their own
    // field classes.
    virtual std::unique_ptr<TField> CreateFieldOfType(TFieldType type) const;
    // Calculated-field area size and number of blob fields, counted when fields are bound.
    std::size_t CalcFieldsSize() const { return FCalcFieldsSize; }
    int BlobFieldCount() const { return FBlobFieldCount; }

    // A stream over a blob field's value in the active record (or the state's buffer).
    virtual std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode);

    // --- Searching -------------------------------------------------------------------------------

    // Base: "Capability not supported".
    virtual bool Locate(std::string_view keyFields, const rtl::Variant& keyValues,
                        TLocateOptions options);
    virtual rtl::Variant Lookup(std::string_view keyFields, const rtl::Variant& keyValues,
                                std::string_view resultFields);

    // The first (last, next, prior) record that the filter accepts, through
    // FindFilteredRecord; true when one was found (Found() tells the same afterwards).
    bool FindFirst() { return FindFilteredRecord(true, true); }
    bool FindLast() { return FindFilteredRecord(true, false); }
    bool FindNext() { return FindFilteredRecord(false, true); }
    bool FindPrior() { return FindFilteredRecord(false, false); }
    // Whether the last search (FindFirst..FindPrior, or a dataset's key search) found a record.
    bool Found() const { return FFound; }

    // Copies the active record's image into buffer when it is a record of the cursor; base:
    // false. Datasets that can override.
    virtual bool GetCurrentRecord(TRecordBuffer buffer);

    // --- Counting and position -------------------------------------------------------------------

    // Base: -1 (not known). Datasets that can count override.
    virtual int RecordCount() const;
    virtual int RecNo() const;
    virtual void SetRecNo(int value);
    virtual bool IsSequenced() const { return true; }

    // --- Filters
    // -----------------------------------------------------------------------------------

    const std::string& Filter() const { return FFilterText; }
    virtual void SetFilter(const std::string& text);
    bool Filtered() const { return FFiltered; }
    // Base: checks browse mode and re-positions when active, then stores the flag.
    virtual void SetFiltered(bool value);
    const TFilterRecordEvent& OnFilterRecord() const { return FOnFilterRecord; }
    virtual void SetOnFilterRecord(TFilterRecordEvent handler);

    // --- Controls
    // ------------------------------------------------------------------------------------

    // While disabled (nested), no notice reaches the data sources; EnableControls sends one
    // state notice when the state changed meanwhile and one data-set-changed notice.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return FDisableCount > 0; }
    // The data sources attached to this dataset (for detecting circular links).
    const std::vector<TDataSource*>& DataSources() const { return FDataSources; }
    // True when the data source, or the chain of masters it leads to, reaches this dataset.
    bool IsLinkedTo(const TDataSource* source) const;
    // The data source of this dataset's master (detail datasets); base: none.
    virtual TDataSource* MasterDataSource() const { return nullptr; }

    // Sends the notice to the data sources (and their links); datasets override to react to
    // their own notices. field: the field of deFieldChange, deRecordChange and deFocusControl;
    // distance: the window shift of deDataSetScroll. deFieldChange marks the dataset modified
    // and fires the field's OnChange.
    virtual void DataEvent(TDataEvent event, TField* field = nullptr, int distance = 0);

    // --- Events
    // --------------------------------------------------------------------------------------

    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;
    TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

    // --- Temporary states (key edits, calculations, filter tests)
    // ----------------------------------

    // Switches to the state without any notice and returns the previous one.
    TDataSetState SetTempState(TDataSetState state);
    void RestoreState(TDataSetState previous);

    // Called when an exception escapes a data-aware control: passes it to the application's
    // handler when one is installed and answers true; false means the caller re-raises.
    virtual bool ReportException(std::exception_ptr error);

  protected:
    // CompareBookmarks' answer when either bookmark is empty (an empty one sorts after every
    // other); no answer when both mark records, which each dataset compares its own way.
    static std::optional<int> CompareEmptyBookmarks(const TBookmark& b1, const TBookmark& b2);

    // --- Hooks: the dataset implements these
    // ------------------------------------------------------

    // Opens the cursor: update field definitions, create fields when DefaultFields(), bind
    // them (BindFields), set the bookmark size, leave the cursor before the first record.
    virtual void ActivateCursor() = 0;
    // Whether the cursor exists, so that field definitions can be read without opening.
    virtual bool CursorIsOpen() const = 0;
    // Fills FieldDefs() from the source.
    virtual void DescribeFields() = 0;
    // Called to update the field definitions of a dataset whose cursor is not open; base:
    // DescribeFields. A dataset that must open its source first overrides.
    virtual void InitFieldDefs();
    // Releases the cursor (and unbinds or destroys fields as it bound them). Must tolerate a
    // partly opened cursor: it also runs after ActivateCursor failed.
    virtual void CloseEngineCursor() = 0;

    virtual TRecordBuffer AllocateRecordBuffer() = 0;
    virtual void ReleaseRecordBuffer(TRecordBuffer& buffer) = 0;

    // Moves by mode and reads the record there into the buffer (calculating its fields).
    // grBOF/grEOF: no record in that direction; grError: the record cannot be shown.
    virtual TGetResult FetchRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;
    // Before the first, after the last record.
    virtual void MoveToFirst() = 0;
    virtual void MoveToLast() = 0;
    // Onto the record of a buffer flagged bfCurrent or bfInserted.
    virtual void MoveToBuffer(TRecordBuffer buffer) = 0;
    // Onto the bookmarked record (BookmarkSize() bytes).
    virtual void MoveToBookmark(const std::uint8_t* bookmark) = 0;

    virtual void ReadBookmarkData(TRecordBuffer buffer, std::uint8_t* bookmark) const = 0;
    virtual void WriteBookmarkData(TRecordBuffer buffer, const std::uint8_t* bookmark) = 0;
    virtual TBookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) const = 0;
    virtual void WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;

    // A buffer for a new record; base: InitRecordImage, calculated area cleared, flag
    // bfInserted. Datasets that override call the base first.
    virtual void PrepareRecordBuffer(TRecordBuffer buffer);
    // Clears a buffer's record image to an empty record (new records, ClearFields).
    virtual void InitRecordImage(TRecordBuffer buffer) = 0;
    // Bytes of the record image: where the calculated-field area starts.
    virtual std::size_t RecordImageSize() const = 0;

    // Editing hooks: Edit, Insert/Append, Post, Cancel, Delete, Refresh and
    // InsertRecord/AppendRecord call them (inside the retry loops where there is one).
    virtual void BeginEditRecord() {}
    virtual void BeginInsertRecord() {}
    virtual void PostCurrentRecord() = 0;
    virtual void CancelCurrentRecord() {}
    virtual void DeleteCurrentRecord() = 0;
    virtual void RereadCurrentRecord() {}
    virtual void AddRecordDirect(TRecordBuffer buffer, bool append) = 0;

    // True when the field has a value in the state's buffer; the value is copied in its
    // native format when out is given.
    virtual bool GetFieldData(const TField& field, void* out) const = 0;
    // Writes the native value (null for none) into the state's buffer.
    virtual void WriteFieldValue(TField& field, const void* value) = 0;

    // The new-record step of Insert/Append: base fires OnNewRecord. Datasets that fill new
    // records (master values, rights checks) override and call the base last.
    virtual void NewRecord();
    // The master-detail parent check of Edit and Insert; base: nothing.
    virtual void CheckParentState() {}
    // Drops per-field pending values (validation buffers); called before leaving an edit.
    virtual void FreeFieldBuffers();
    // The buffer that field reads and writes use in the current state; base: the active
    // buffer in dsBrowse/dsBlockRead (when there is a record), dsEdit, dsInsert, dsNewValue;
    // the calculation buffer in dsCalcFields; the filter buffer in dsFilter; none otherwise.
    virtual TRecordBuffer StateRecordBuffer() const;

    // --- Services for datasets -------------------------------------------------------------------

    // Creates one field object per field definition (of the class CreateFieldOfType gives).
    void CreateFields();
    // Destroys the field objects created at open (default fields); persistent ones stay.
    void DestroyFields();
    // Binding: data fields get their field numbers from the definitions ("Field '%s' not
    // found" for a persistent field without one), calculated and lookup fields their offsets
    // in the calculated area, blob fields their blob indexes. Unbinding clears them.
    void BindFields(bool binding);

    // Calculated fields: clears the buffer's calculated area, computes lookup fields and
    // fires OnCalcFields with the buffer as calculation buffer (state dsCalcFields).
    void GetCalcFields(TRecordBuffer buffer);
    void ClearCalcArea(TRecordBuffer buffer);
    bool HasCalculatedFields() const { return FCalcFieldCount > 0; }
    // Reads and writes a calculated or lookup field's slot in the buffer's calculated area.
    bool GetCalcFieldData(const TField& field, TRecordBuffer buffer, void* out) const;
    void SetCalcFieldData(const TField& field, TRecordBuffer buffer, const void* value);

    // The checks of a field write, in order: a state that allows writing ("Dataset not in edit
    // mode"), a read-only field outside dsSetKey, dsFilter and dsCalcFields, or a calculated or
    // lookup field outside dsCalcFields ("Field '%s' cannot be modified"), and in dsEdit and
    // dsInsert the field's validation of the new value.
    void CheckFieldWrite(TField& field, const void* value);
    // The first required, writable data field without a value gets the focus and the post
    // fails with "Field '%s' must have a value".
    void CheckRequiredFields();
    // OnFilterRecord's verdict on a buffer (state dsFilter, filter buffer = buffer); true
    // when no handler is set.
    bool RecordPassesFilterEvent(TRecordBuffer buffer);

    // The search behind FindFirst..FindPrior: from the first (last) record when restart,
    // else from the active one, forward or backward. Base: "Capability not supported".
    virtual bool FindFilteredRecord(bool restart, bool forward);
    void SetFound(bool value) { FFound = value; }
    // Points the calculation buffer (the buffer field reads and writes use in dsCalcFields)
    // at buffer, for a dataset that reads a record outside the window.
    void SetCalcBuffer(TRecordBuffer buffer) { FCalcBuffer = buffer; }

    // Fires AfterOpen once the window is filled; a dataset that must act after that (a detail
    // setting its master range) overrides it and calls this first.
    virtual void DoAfterOpen();
    // Fire BeforeScroll and AfterScroll (for datasets' own moves: Locate, RecNo).
    void DoBeforeScroll();
    void DoAfterScroll();

    void SetState(TDataSetState state);
    void SetModified(bool value) { FModified = value; }
    void SetBookmarkSize(std::size_t size) { FBookmarkSize = size; }
    void SetFilterBuffer(TRecordBuffer buffer) { FFilterBuffer = buffer; }
    TRecordBuffer FilterBuffer() const { return FFilterBuffer; }
    TRecordBuffer CalcBuffer() const { return FCalcBuffer; }

    // The window.
    int BufferCount() const { return FBufferCount; }
    int FilledBufferCount() const { return FRecordCount; }
    int ActiveRecord() const { return FActiveRecord; }
    int CurrentRecord() const { return FCurrentRecord; }
    TRecordBuffer Buffer(int index) const { return FBuffers[static_cast<std::size_t>(index)]; }
    TRecordBuffer ActiveBuffer() const;
    TRecordBuffer SpareBuffer() const;
    // The cursor's position is no longer known (an operation moved it).
    void CursorPosChanged() { FCurrentRecord = -1; }
    // Re-positions the cursor on the buffer at index (by its flag), unless known to be there.
    void SetCurrentRecord(int index);
    // Re-positions on the active record when there is one.
    void UpdateCursorPos();
    // Empties the window (no filled buffers, BOF and EOF set).
    void ClearBuffers();
    // For a dataset whose buffer layout changes while open: ReleaseBufferWindow gives every
    // buffer back (the window is empty), the dataset lays its buffers out anew, and
    // AllocateBufferWindow allocates the window again at its former size (empty); the caller
    // then resynchronises.
    void ReleaseBufferWindow();
    void AllocateBufferWindow();
    // The close steps after a failure while opening or rebuilding: state dsInactive, buffers
    // released, CloseEngineCursor. Errors of these steps are dropped (the first one counts).
    void CloseAfterFailure();

    // Called when the attached data links' wishes for buffers changed.
    void UpdateBufferCount();

  private:
    friend class TField;
    friend class TFieldDefs;
    friend class TDataSource;
    friend class TDataLink;

    // Window mechanics (dataset_buffers.cpp).
    void SetBufferCount(int count);
    void AllocateBuffers(int count);
    void ReleaseAllBuffers();
    bool FetchNextRecord();
    bool FetchPriorRecord();
    int FetchNextRecords();
    int FetchPriorRecords();
    void ActivateFirstBuffer();
    int WantedBufferCount() const;
    void RotateSpareTo(int index);
    void RotateToSpare(int index);

    // Editing helpers (dataset_editing.cpp).
    void BeginInsertAppend();
    void EndInsertAppend();
    void RecoverFromFailedInsert();
    void RunWithRetry(const TDataSetErrorEvent& onError, void (TDataSet::*hook)());
    void InsertOrAppendRecord(const std::vector<rtl::Variant>& values, bool append);

    // Events (dataset_events.cpp).
    static void Fire(const TDataSetNotifyEvent& event, TDataSet& dataSet);
    void CalculateLookupFields();

    void AttachDataSource(TDataSource* source);
    void DetachDataSource(TDataSource* source);

    TDataSetState FState = dsInactive;
    bool FModified = false;
    bool FBOF = true;
    bool FEOF = true;
    bool FDefaultFields = false;
    bool FFound = false;
    int FReleasedBufferCount = 0;

    std::vector<TRecordBuffer> FBuffers;  // BufferCount + 1 while open (the spare last)
    int FBufferCount = 0;
    int FRecordCount = 0;
    int FActiveRecord = 0;
    int FCurrentRecord = -1;
    std::size_t FBookmarkSize = 0;

    TRecordBuffer FCalcBuffer = nullptr;
    TRecordBuffer FFilterBuffer = nullptr;
    std::size_t FCalcFieldsSize = 0;
    int FCalcFieldCount = 0;
    int FBlobFieldCount = 0;

    TFields FFields;
    TFieldDefs FFieldDefs;

    std::string FFilterText;
    bool FFiltered = false;
    TFilterRecordEvent FOnFilterRecord;

    std::vector<TDataSource*> FDataSources;
    int FDisableCount = 0;
    TDataSetState FDisableState = dsInactive;
    bool FEventsSwallowed = false;
};

// Runs a dataset state switch for one scope: SetTempState on construction, RestoreState on
// destruction (also when an exception leaves the scope).
class TTempState {
  public:
    TTempState(TDataSet& dataSet, TDataSetState state)
        : FDataSet(dataSet), FPrevious(dataSet.SetTempState(state)) {}
    ~TTempState() { FDataSet.RestoreState(FPrevious); }
    TTempState(const TTempState&) = delete;
    TTempState& operator=(const TTempState&) = delete;

  private:
    TDataSet& FDataSet;
    TDataSetState FPrevious;
};

}  // namespace varelum::db
