// TMemTable: the in-memory dataset's hooks (rows in a vector, a cursor index over them),
// its blob streams, and searching by scanning the rows.
#include "db/mem_table.h"

#include <algorithm>
#include <cstring>

#include "db/db_messages.h"
#include "rtl/text.h"

namespace varelum::db {

// --- Blob streams
// ---------------------------------------------------------------------------------

// A stream over the blob slot of one record buffer: reads see the slot's value, writes
// change it at once; closing a stream that wrote tells the dataset the field changed.
class TMemTable::BlobStream : public TStream {
  public:
    BlobStream(TMemTable& table, TField& field, std::string* slot, std::uint8_t* hasValue,
               TBlobStreamMode mode)
        : FTable(table), FField(field), FSlot(slot), FHasValue(hasValue), FMode(mode) {
        if (mode == bmWrite && FSlot != nullptr) {
            FSlot->clear();
            *FHasValue = 0;
            FModified = true;
        }
    }
    ~BlobStream() override {
        if (!FModified) {
            return;
        }
        try {
            FTable.DataEvent(deFieldChange, &FField);
        } catch (...) {
            // A destructor cannot raise: the notice's failure goes to the application's
            // handler when there is one; the value itself is already written.
            FTable.ReportException(std::current_exception());
        }
    }

    std::size_t Read(void* buffer, std::size_t count) override {
        if (FSlot == nullptr || FPosition >= FSlot->size()) {
            return 0;
        }
        std::size_t n = std::min(count, FSlot->size() - FPosition);
        std::memcpy(buffer, FSlot->data() + FPosition, n);
        FPosition += n;
        return n;
    }
    std::size_t Write(const void* buffer, std::size_t count) override {
        CheckWritable();
        if (FPosition + count > FSlot->size()) {
            FSlot->resize(FPosition + count);
        }
        std::memcpy(FSlot->data() + FPosition, buffer, count);
        FPosition += count;
        Changed();
        return count;
    }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        std::int64_t base = origin == soBeginning ? 0
                            : origin == soCurrent ? static_cast<std::int64_t>(FPosition)
                                                  : Size();
        FPosition = static_cast<std::size_t>(std::max<std::int64_t>(0, base + offset));
        return static_cast<std::int64_t>(FPosition);
    }
    std::int64_t Size() const override {
        return FSlot == nullptr ? 0 : static_cast<std::int64_t>(FSlot->size());
    }
    void Truncate() override {
        CheckWritable();
        FSlot->resize(std::min(FPosition, FSlot->size()));
        Changed();
    }

  private:
    void CheckWritable() const {
        if (FMode == bmRead || FSlot == nullptr) {
            DatabaseError(msg::SBlobNotInEditMode, &FTable);
        }
    }
    void Changed() {
        *FHasValue = FSlot->empty() ? 0 : 1;
        FModified = true;
    }

    TMemTable& FTable;
    TField& FField;
    std::string* FSlot;
    std::uint8_t* FHasValue;
    TBlobStreamMode FMode;
    std::size_t FPosition = 0;
    bool FModified = false;
};

// --- Life
// ------------------------------------------------------------------------------------------

TMemTable::TMemTable(rtl::TComponent* owner) : TDataSet(owner) {}

TMemTable::~TMemTable() {
    try {
        Close();
    } catch (...) {
        // Closing runs the close events; a failing handler cannot stop the table going away.
    }
}

void TMemTable::CreateDataSet() {
    CheckInactive();
    if (FieldDefs().Empty() && Fields().Count() == 0) {
        DatabaseError(msg::SNoFieldDefs, this);
    }
    Open();
}

void TMemTable::EmptyDataSet() {
    CheckActive();
    if (State() == dsEdit || State() == dsInsert) {
        Cancel();
    }
    FRows.clear();
    FRowIndex.clear();
    FCursor = -1;
    Resync();
}

void TMemTable::CheckFilterSupported() const {
    if (Filtered() && !rtl::Trim(Filter()).empty()) {
        DatabaseError(msg::SFilterTextNotSupported, this);
    }
}

void TMemTable::SetFiltered(bool value) {
    bool old = Filtered();
    TDataSet::SetFiltered(value);
    try {
        CheckFilterSupported();
    } catch (...) {
        TDataSet::SetFiltered(old);
        throw;
    }
    if (Active() && old != value) {
        First();
    }
}

void TMemTable::SetFilter(const std::string& text) {
    if (Filtered() && !rtl::Trim(text).empty()) {
        DatabaseError(msg::SFilterTextNotSupported, this);
    }
    TDataSet::SetFilter(text);
}

// --- Opening and layout ------------------------------------------------------------------------

void TMemTable::DescribeFields() {
    // The definitions are the user's; a table given only persistent fields takes its
    // definitions from them.
    if (!FieldDefs().Empty()) {
        return;
    }
    for (TField* field : Fields()) {
        if (field->FieldKind() == fkData) {
            TFieldDef& def = FieldDefs().Add(field->FieldName(), field->DataType(), field->Size(),
                                             field->Required());
            def.SetPrecision(field->Precision());
        }
    }
}

void TMemTable::ActivateCursor() {
    UpdateFieldDefs();
    if (FieldDefs().Empty()) {
        DatabaseError(msg::SNoFieldDefs, this);
    }
    CheckFilterSupported();
    if (DefaultFields()) {
        CreateFields();
    }
    BindFields(true);
    ComputeLayout();
    SetBookmarkSize(sizeof(std::uint32_t));
    FRows.clear();
    FRowIndex.clear();
    FNextId = 1;
    FCursor = -1;
    FCursorOpen = true;
}

void TMemTable::ComputeLayout() {
    const int count = FieldDefs().Count();
    FValueOffsets.assign(static_cast<std::size_t>(count), 0);
    FValueSizes.assign(static_cast<std::size_t>(count), 0);
    FBlobIndexOfDef.assign(static_cast<std::size_t>(count), -1);
    std::size_t offset = 0;
    FBlobCount = 0;
    for (int i = 0; i < count; ++i) {
        const TFieldDef& def = FieldDefs()[i];
        std::size_t size = 0;
        if (IsBlobType(def.DataType())) {
            FBlobIndexOfDef[static_cast<std::size_t>(i)] = FBlobCount++;
        } else {
            // A bound field's own size wins, so that its native values always fit.
            size = NativeDataSize(def.DataType(), def.Size());
            for (TField* field : Fields()) {
                if (field->FieldNo() == i + 1) {
                    size = std::max(size, field->DataSize());
                }
            }
        }
        FValueOffsets[static_cast<std::size_t>(i)] = offset;
        FValueSizes[static_cast<std::size_t>(i)] = size;
        offset += 1 + size;
    }
    FImageSize = offset;
    FBlobSlotsOffset = FImageSize + CalcFieldsSize();
    FInfoOffset = FBlobSlotsOffset + static_cast<std::size_t>(FBlobCount) * sizeof(std::string*);
    FBufferSize = FInfoOffset + sizeof(std::uint32_t) + 1;
}

void TMemTable::CloseEngineCursor() {
    FCursorOpen = false;
    FRows.clear();
    FRowIndex.clear();
    FCursor = -1;
    BindFields(false);
    DestroyFields();
}

// --- Buffers ------------------------------------------------------------------------------------

TRecordBuffer TMemTable::AllocateRecordBuffer() {
    auto* buffer = new std::uint8_t[FBufferSize]();
    for (int i = 0; i < FBlobCount; ++i) {
        BlobSlot(buffer, i) = new std::string();
    }
    return buffer;
}

void TMemTable::ReleaseRecordBuffer(TRecordBuffer& buffer) {
    for (int i = 0; i < FBlobCount; ++i) {
        delete BlobSlot(buffer, i);
    }
    delete[] buffer;
    buffer = nullptr;
}

std::string*& TMemTable::BlobSlot(TRecordBuffer buffer, int blobIndex) const {
    return *reinterpret_cast<std::string**>(
        buffer + FBlobSlotsOffset + static_cast<std::size_t>(blobIndex) * sizeof(std::string*));
}

void TMemTable::ReadBookmarkData(TRecordBuffer buffer, std::uint8_t* bookmark) const {
    std::memcpy(bookmark, buffer + FInfoOffset, sizeof(std::uint32_t));
}

void TMemTable::WriteBookmarkData(TRecordBuffer buffer, const std::uint8_t* bookmark) {
    std::memcpy(buffer + FInfoOffset, bookmark, sizeof(std::uint32_t));
}

TBookmarkFlag TMemTable::ReadBookmarkFlag(TRecordBuffer buffer) const {
    return static_cast<TBookmarkFlag>(buffer[FInfoOffset + sizeof(std::uint32_t)]);
}

void TMemTable::WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
    buffer[FInfoOffset + sizeof(std::uint32_t)] = flag;
}

std::uint32_t TMemTable::RowIdOf(TRecordBuffer buffer) const {
    std::uint32_t id = 0;
    std::memcpy(&id, buffer + FInfoOffset, sizeof id);
    return id;
}

void TMemTable::InitRecordImage(TRecordBuffer buffer) {
    std::memset(buffer, 0, FImageSize);
    for (int i = 0; i < FBlobCount; ++i) {
        BlobSlot(buffer, i)->clear();
    }
}

void TMemTable::RowToBuffer(const Row& row, TRecordBuffer buffer) const {
    std::memcpy(buffer, row.Image.data(), FImageSize);
    for (int i = 0; i < FBlobCount; ++i) {
        *BlobSlot(buffer, i) = row.Blobs[static_cast<std::size_t>(i)];
    }
    std::memcpy(buffer + FInfoOffset, &row.Id, sizeof row.Id);
    buffer[FInfoOffset + sizeof(std::uint32_t)] = bfCurrent;
}

void TMemTable::BufferToRow(TRecordBuffer buffer, Row& row) const {
    row.Image.assign(buffer, buffer + FImageSize);
    row.Blobs.resize(static_cast<std::size_t>(FBlobCount));
    for (int i = 0; i < FBlobCount; ++i) {
        row.Blobs[static_cast<std::size_t>(i)] = *BlobSlot(buffer, i);
    }
}

// --- The cursor
// -------------------------------------------------------------------------------------

int TMemTable::IndexOfRow(std::uint32_t id) const {
    auto found = FRowIndex.find(id);
    return found == FRowIndex.end() ? -1 : found->second;
}

void TMemTable::ReindexFrom(int position) {
    for (int i = std::max(position, 0); i < static_cast<int>(FRows.size()); ++i) {
        FRowIndex[FRows[static_cast<std::size_t>(i)].Id] = i;
    }
}

TGetResult TMemTable::FetchRecord(TRecordBuffer buffer, TGetMode mode, bool) {
    const int rowCount = static_cast<int>(FRows.size());
    if (mode == gmNext && FCursor < rowCount) {
        ++FCursor;
    } else if (mode == gmPrior && FCursor >= 0) {
        --FCursor;
    }
    for (;;) {
        if (FCursor >= rowCount) {
            FCursor = rowCount;
            return grEOF;
        }
        if (FCursor < 0) {
            FCursor = -1;
            return grBOF;
        }
        RowToBuffer(FRows[static_cast<std::size_t>(FCursor)], buffer);
        GetCalcFields(buffer);
        if (!Filtered() || RecordPassesFilterEvent(buffer)) {
            return grOK;
        }
        if (mode == gmCurrent) {
            return grError;
        }
        FCursor += mode == gmNext ? 1 : -1;
    }
}

void TMemTable::MoveToBuffer(TRecordBuffer buffer) {
    std::uint8_t bookmark[sizeof(std::uint32_t)];
    ReadBookmarkData(buffer, bookmark);
    MoveToBookmark(bookmark);
}

void TMemTable::MoveToBookmark(const std::uint8_t* bookmark) {
    std::uint32_t id = 0;
    std::memcpy(&id, bookmark, sizeof id);
    int index = IndexOfRow(id);
    // A row that is gone leaves the cursor past the end, where no record is current.
    FCursor = index >= 0 ? index : static_cast<int>(FRows.size());
}

// --- Editing
// -------------------------------------------------------------------------------------------

void TMemTable::NewRecord() {
    for (TField* field : Fields()) {
        std::string expression = rtl::Trim(field->DefaultExpression());
        if (!expression.empty() && field->FieldKind() == fkData) {
            field->SetAsString(rtl::AnsiDequotedStr(expression, '\''));
        }
    }
    TDataSet::NewRecord();
}

void TMemTable::InsertRowFromBuffer(TRecordBuffer buffer, int position) {
    position = std::clamp(position, 0, static_cast<int>(FRows.size()));
    Row row;
    row.Id = FNextId++;
    BufferToRow(buffer, row);
    FRows.insert(FRows.begin() + position, std::move(row));
    ReindexFrom(position);
    std::uint32_t id = FRows[static_cast<std::size_t>(position)].Id;
    std::memcpy(buffer + FInfoOffset, &id, sizeof id);
    WriteBookmarkFlag(buffer, bfCurrent);
    FCursor = position;
}

void TMemTable::PostCurrentRecord() {
    CheckRequiredFields();
    TRecordBuffer buffer = ActiveBuffer();
    if (State() == dsEdit) {
        int index = IndexOfRow(RowIdOf(buffer));
        if (index < 0) {
            DatabaseError(msg::SRecordNotFound, this);
        }
        BufferToRow(buffer, FRows[static_cast<std::size_t>(index)]);
        FCursor = index;
        return;
    }
    // A new row goes where the insert began: before the row that was active, at the start
    // of an empty table, or at the end after Append.
    int position = static_cast<int>(FRows.size());
    switch (ReadBookmarkFlag(buffer)) {
        case bfBOF:
            position = 0;
            break;
        case bfEOF:
            break;
        default:
            if (int index = IndexOfRow(RowIdOf(buffer)); index >= 0) {
                position = index;
            }
            break;
    }
    InsertRowFromBuffer(buffer, position);
}

void TMemTable::AddRecordDirect(TRecordBuffer buffer, bool append) {
    CheckRequiredFields();
    InsertRowFromBuffer(buffer, append ? static_cast<int>(FRows.size()) : FCursor);
}

void TMemTable::DeleteCurrentRecord() {
    int index = IndexOfRow(RowIdOf(ActiveBuffer()));
    if (index < 0) {
        DatabaseError(msg::SRecordNotFound, this);
    }
    FRowIndex.erase(FRows[static_cast<std::size_t>(index)].Id);
    FRows.erase(FRows.begin() + index);
    ReindexFrom(index);
    // The following row becomes current (past the end when the last one went).
    FCursor = index;
}

// --- Field values
// ---------------------------------------------------------------------------------------

bool TMemTable::GetFieldData(const TField& field, void* out) const {
    TRecordBuffer buffer = StateRecordBuffer();
    if (buffer == nullptr) {
        return false;
    }
    if (field.FieldNo() <= 0) {
        return GetCalcFieldData(field, buffer, out);
    }
    auto def = static_cast<std::size_t>(field.FieldNo() - 1);
    const std::uint8_t* slot = buffer + FValueOffsets[def];
    bool hasValue = slot[0] != 0;
    if (hasValue && out != nullptr && FBlobIndexOfDef[def] < 0) {
        std::memcpy(out, slot + 1, std::min(field.DataSize(), FValueSizes[def]));
    }
    return hasValue;
}

void TMemTable::WriteFieldValue(TField& field, const void* value) {
    CheckFieldWrite(field, value);
    TRecordBuffer buffer = StateRecordBuffer();
    if (buffer == nullptr) {
        DatabaseError(msg::SNotEditing, this);
    }
    if (field.FieldNo() <= 0) {
        SetCalcFieldData(field, buffer, value);
    } else {
        auto def = static_cast<std::size_t>(field.FieldNo() - 1);
        std::uint8_t* slot = buffer + FValueOffsets[def];
        std::size_t size = FValueSizes[def];
        int blob = FBlobIndexOfDef[def];
        if (blob >= 0) {
            // Blob values are written through streams; a null clears the value.
            if (value == nullptr) {
                BlobSlot(buffer, blob)->clear();
                slot[0] = 0;
            }
        } else {
            std::memset(slot + 1, 0, size);
            slot[0] = value != nullptr ? 1 : 0;
            if (value != nullptr) {
                std::memcpy(slot + 1, value, std::min(size, field.DataSize()));
            }
        }
    }
    TDataSetState state = State();
    if (state != dsCalcFields && state != dsFilter && state != dsNewValue) {
        DataEvent(deFieldChange, &field);
    }
}

std::unique_ptr<TStream> TMemTable::CreateBlobStream(TField& field, TBlobStreamMode mode) {
    if (!field.IsBlob() || field.FieldNo() <= 0) {
        DatabaseErrorFmt(msg::SNotABlobField, {field.DisplayName()}, this);
    }
    if (mode != bmRead && State() != dsEdit && State() != dsInsert) {
        DatabaseError(msg::SBlobNotInEditMode, this);
    }
    TRecordBuffer buffer = StateRecordBuffer();
    auto def = static_cast<std::size_t>(field.FieldNo() - 1);
    std::string* slot = buffer != nullptr ? BlobSlot(buffer, FBlobIndexOfDef[def]) : nullptr;
    std::uint8_t* hasValue = buffer != nullptr ? buffer + FValueOffsets[def] : nullptr;
    return std::make_unique<BlobStream>(*this, field, slot, hasValue, mode);
}

// --- Counting, position, bookmarks
// ---------------------------------------------------------------------------

bool TMemTable::RowVisible(int index, TRecordBuffer scratch) {
    RowToBuffer(FRows[static_cast<std::size_t>(index)], scratch);
    GetCalcFields(scratch);
    return !Filtered() || RecordPassesFilterEvent(scratch);
}

int TMemTable::RecordCount() const {
    CheckActive();
    if (!Filtered() || !OnFilterRecord()) {
        return static_cast<int>(FRows.size());
    }
    // Counting asks the filter of every row; the count does not move the window.
    auto& self = const_cast<TMemTable&>(*this);
    TRecordBuffer scratch = self.AllocateRecordBuffer();
    int count = 0;
    try {
        for (int i = 0; i < static_cast<int>(FRows.size()); ++i) {
            if (self.RowVisible(i, scratch)) {
                ++count;
            }
        }
    } catch (...) {
        self.ReleaseRecordBuffer(scratch);
        throw;
    }
    self.ReleaseRecordBuffer(scratch);
    return count;
}

int TMemTable::RecNo() const {
    CheckActive();
    if (IsEmpty() || ReadBookmarkFlag(ActiveBuffer()) != bfCurrent) {
        return 0;
    }
    int index = IndexOfRow(RowIdOf(ActiveBuffer()));
    return index < 0 ? 0 : index + 1;
}

void TMemTable::SetRecNo(int value) {
    CheckBrowseMode();
    if (value < 1 || value > static_cast<int>(FRows.size()) || value == RecNo()) {
        return;
    }
    DoBeforeScroll();
    FCursor = value - 1;
    CursorPosChanged();
    Resync(rmCenter);
    DoAfterScroll();
}

bool TMemTable::BookmarkValid(const TBookmark& bookmark) {
    if (!Active() || bookmark.size() != sizeof(std::uint32_t)) {
        return false;
    }
    std::uint32_t id = 0;
    std::memcpy(&id, bookmark.data(), sizeof id);
    return IndexOfRow(id) >= 0;
}

int TMemTable::CompareBookmarks(const TBookmark& b1, const TBookmark& b2) {
    if (b1.empty() || b2.empty()) {
        return TDataSet::CompareBookmarks(b1, b2);
    }
    std::uint32_t id1 = 0;
    std::uint32_t id2 = 0;
    std::memcpy(&id1, b1.data(), sizeof id1);
    std::memcpy(&id2, b2.data(), sizeof id2);
    int p1 = IndexOfRow(id1);
    int p2 = IndexOfRow(id2);
    return p1 < p2 ? -1 : (p1 > p2 ? 1 : 0);
}

// --- Searching
// ---------------------------------------------------------------------------------------------

namespace {

bool TextMatches(const std::string& value, const std::string& key, TLocateOptions options) {
    if ((options & loPartialKey) != 0) {
        if (key.size() > value.size()) {
            return false;
        }
        std::string_view head(value.data(), key.size());
        return (options & loCaseInsensitive) != 0 ? rtl::AnsiSameText(head, key) : head == key;
    }
    return (options & loCaseInsensitive) != 0 ? rtl::AnsiSameText(value, key) : value == key;
}

bool ValueMatches(const TField& field, const rtl::Variant& key, TLocateOptions options) {
    if (key.IsNull() || key.IsEmpty()) {
        return field.IsNull();
    }
    if (field.IsNull()) {
        return false;
    }
    switch (field.DataType()) {
        case ftString:
        case ftWideString:
        case ftMemo:
        case ftWideMemo:
            return TextMatches(field.AsString(), key.AsString(), options);
        default:
            return field.AsVariant() == key;
    }
}

}  // namespace

int TMemTable::FindRow(const std::vector<TField*>& keyFields, const rtl::Variant& keyValues,
                       TLocateOptions options, TRecordBuffer scratch) {
    TRecordBuffer previous = FilterBuffer();
    int found = -1;
    try {
        for (int i = 0; i < static_cast<int>(FRows.size()) && found < 0; ++i) {
            if (!RowVisible(i, scratch)) {
                continue;
            }
            SetFilterBuffer(scratch);
            TTempState searching(*this, dsFilter);
            bool all = true;
            for (std::size_t k = 0; k < keyFields.size() && all; ++k) {
                bool isArray = keyValues.VarType() == rtl::varArray;
                const rtl::Variant& key =
                    keyFields.size() == 1 && !isArray ? keyValues : keyValues.AsArray().at(k);
                all = ValueMatches(*keyFields[k], key, options);
            }
            if (all) {
                found = i;
            }
        }
    } catch (...) {
        SetFilterBuffer(previous);
        throw;
    }
    SetFilterBuffer(previous);
    return found;
}

bool TMemTable::Locate(std::string_view keyFields, const rtl::Variant& keyValues,
                       TLocateOptions options) {
    CheckBrowseMode();
    std::vector<TField*> fields = GetFieldList(keyFields);
    int found = FindRow(fields, keyValues, options, SpareBuffer());
    if (found < 0) {
        return false;
    }
    DoBeforeScroll();
    FCursor = found;
    CursorPosChanged();
    Resync(rmExact | rmCenter);
    DoAfterScroll();
    return true;
}

rtl::Variant TMemTable::Lookup(std::string_view keyFields, const rtl::Variant& keyValues,
                               std::string_view resultFields) {
    CheckBrowseMode();
    if (keyValues.IsNull()) {
        return rtl::Variant::Null();
    }
    std::vector<TField*> fields = GetFieldList(keyFields);
    std::vector<TField*> results = GetFieldList(resultFields);
    TRecordBuffer scratch = SpareBuffer();
    int found = FindRow(fields, keyValues, 0, scratch);
    if (found < 0) {
        return rtl::Variant::Null();
    }
    RowToBuffer(FRows[static_cast<std::size_t>(found)], scratch);
    GetCalcFields(scratch);
    TRecordBuffer previous = FilterBuffer();
    SetFilterBuffer(scratch);
    rtl::Variant value;
    try {
        TTempState reading(*this, dsFilter);
        if (results.size() == 1) {
            value = results.front()->AsVariant();
        } else {
            std::vector<rtl::Variant> values;
            for (TField* field : results) {
                values.push_back(field->AsVariant());
            }
            value = rtl::Variant(std::move(values));
        }
    } catch (...) {
        SetFilterBuffer(previous);
        throw;
    }
    SetFilterBuffer(previous);
    return value;
}

}  // namespace varelum::db
