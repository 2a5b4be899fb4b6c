// The small value types of the dataset framework: dataset states, field types and kinds,
// fetch modes and results, bookmark flags, data events and the error-event actions.
//
// Everything here is shared by the dataset base, the field classes, data links and every
// dataset built on the base (the in-memory table, the engine datasets of the components).
#pragma once

#include <cstdint>
#include <vector>

namespace varelum::db {

// The dataset's state. dsInactive..dsInsert are the user-visible ones; the others are
// entered by the base or a dataset for the duration of one step (key edits, calculations,
// filter tests, reading old or new values).
enum TDataSetState {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
    dsOldValue,
    dsCurValue,
    dsBlockRead,
    dsInternalCalc,
    dsOpening,
};

// The dataset field types. The native value format of each (what GetFieldData delivers and
// WriteFieldValue takes) is listed at TField::DataSize.
enum TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftWideString,
    ftFMTBcd,
    ftWideMemo,
};

// The English name of a field type ("String", "Integer", ...), used in messages.
const char* FieldTypeName(TFieldType type);

// True for the types whose values live outside the record image (read through blob streams).
constexpr bool IsBlobType(TFieldType type) {
    return type == ftBlob || type == ftMemo || type == ftWideMemo;
}

// Where a field's value comes from: the record (data), OnCalcFields (calculated), another
// dataset (lookup), or the dataset itself computing it into the record (internal calc).
enum TFieldKind {
    fkData,
    fkCalculated,
    fkLookup,
    fkInternalCalc,
};

// How FetchRecord moves before it reads: stay, next record, prior record.
enum TGetMode {
    gmCurrent,
    gmNext,
    gmPrior,
};

// What FetchRecord achieved.
enum TGetResult {
    grOK,
    grBOF,
    grEOF,
    grError,
};

// The flag each record buffer carries: a record of the cursor (current), the positions
// before the first and after the last record, or a new record already added to the cursor.
enum TBookmarkFlag : std::uint8_t {
    bfCurrent = 0,
    bfBOF = 1,
    bfEOF = 2,
    bfInserted = 3,
};

// What an OnPostError, OnEditError or OnDeleteError handler asks for: re-raise the error,
// end the operation with the silent abort, or run the failed step again.
enum TDataAction {
    daFail,
    daAbort,
    daRetry,
};

// Notices a dataset sends to its data sources and their links.
enum TDataEvent {
    deFieldChange,      // info: the field whose value changed
    deRecordChange,     // info: the field, or none for the whole record
    deDataSetChange,    // the window's contents changed
    deDataSetScroll,    // distance: how many rows the window shifted
    deLayoutChange,     // fields were added, removed or re-bound
    deUpdateRecord,     // controls: write pending edits into the fields
    deUpdateState,      // the dataset's state (or Active) changed
    deCheckBrowseMode,  // controls: the dataset is about to leave an edit
    dePropertyChange,   // a dataset property that affects definitions changed
    deFieldListChange,  // the field list was rebuilt
    deFocusControl,     // info: the field whose control should take the focus
    deDisabledStateChange,
};

// Modes of a blob stream.
enum TBlobStreamMode {
    bmRead,
    bmWrite,
    bmReadWrite,
};

// Options of Locate: values compared without regard to case, values as prefixes.
enum TLocateOption : unsigned {
    loCaseInsensitive = 1,
    loPartialKey = 2,
};
using TLocateOptions = unsigned;

// Options of an index definition.
enum TIndexOption : unsigned {
    ixPrimary = 1,
    ixUnique = 2,
    ixDescending = 4,
    ixCaseInsensitive = 8,
    ixExpression = 16,
    ixNonMaintained = 32,
};
using TIndexOptions = unsigned;

// A record buffer: an opaque block of bytes that the dataset allocates and lays out.
using TRecordBuffer = std::uint8_t*;

// A bookmark: the dataset's bookmark bytes for one record, held by value. Empty means none.
using TBookmark = std::vector<std::uint8_t>;

}  // namespace varelum::db
