// TMemTable: a dataset whose rows live in memory, on the same hooks as every other dataset.
//
// It is made from field definitions (or from persistent fields when there are none) by
// CreateDataSet or Open, keeps its rows in the order they were added (Append adds at the end,
// Insert before the active row), and forgets them when it closes: nothing is ever saved.
// Values are held in the fields' native formats, so a text longer than its string field is
// kept cut to the field's width. OnFilterRecord filters rows while Filtered is set; filter
// expressions (Filter) are not supported.
//
// Record buffer layout: the record image (per field definition, one "has value" byte and the
// native value), the calculated-field area, one slot per blob field holding the blob value,
// and the record information (32-bit row id, the bookmark, then the bookmark flag).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/dataset.h"

namespace varelum::db {

class TMemTable : public TDataSet {
  public:
    explicit TMemTable(rtl::TComponent* owner = nullptr);
    ~TMemTable() override;

    // Opens a new, empty table from the field definitions (or the persistent fields).
    // "No fields defined. Cannot create dataset" without either.
    void CreateDataSet();
    // Removes every row (a pending edit is cancelled first).
    void EmptyDataSet();

    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value) { FReadOnly = value; }

    bool CanModify() const override { return !FReadOnly; }
    // Rows (those OnFilterRecord accepts while Filtered). Requires an open table.
    int RecordCount() const override;
    // The active row's position among all rows, from 1; 0 without an active row.
    int RecNo() const override;
    void SetRecNo(int value) override;
    bool BookmarkValid(const TBookmark& bookmark) override;
    int CompareBookmarks(const TBookmark& b1, const TBookmark& b2) override;
    bool Locate(std::string_view keyFields, const rtl::Variant& keyValues,
                TLocateOptions options) override;
    rtl::Variant Lookup(std::string_view keyFields, const rtl::Variant& keyValues,
                        std::string_view resultFields) override;
    std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode) override;
    void SetFiltered(bool value) override;
    void SetFilter(const std::string& text) override;

  protected:
    void ActivateCursor() override;
    bool CursorIsOpen() const override { return FCursorOpen; }
    void DescribeFields() override;
    void CloseEngineCursor() override;
    TRecordBuffer AllocateRecordBuffer() override;
    void ReleaseRecordBuffer(TRecordBuffer& buffer) override;
    TGetResult FetchRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
    void MoveToFirst() override { FCursor = -1; }
    void MoveToLast() override { FCursor = static_cast<int>(FRows.size()); }
    void MoveToBuffer(TRecordBuffer buffer) override;
    void MoveToBookmark(const std::uint8_t* bookmark) override;
    void ReadBookmarkData(TRecordBuffer buffer, std::uint8_t* bookmark) const override;
    void WriteBookmarkData(TRecordBuffer buffer, const std::uint8_t* bookmark) override;
    TBookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) const override;
    void WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
    void InitRecordImage(TRecordBuffer buffer) override;
    std::size_t RecordImageSize() const override { return FImageSize; }
    void PostCurrentRecord() override;
    void DeleteCurrentRecord() override;
    void AddRecordDirect(TRecordBuffer buffer, bool append) override;
    bool GetFieldData(const TField& field, void* out) const override;
    void WriteFieldValue(TField& field, const void* value) override;
    void NewRecord() override;

  private:
    class BlobStream;
    struct Row {
        std::uint32_t Id = 0;
        std::vector<std::uint8_t> Image;
        std::vector<std::string> Blobs;
    };

    void ComputeLayout();
    void CheckFilterSupported() const;
    std::uint32_t RowIdOf(TRecordBuffer buffer) const;
    // Index of the row with the id, or -1.
    int IndexOfRow(std::uint32_t id) const;
    std::string*& BlobSlot(TRecordBuffer buffer, int blobIndex) const;
    void RowToBuffer(const Row& row, TRecordBuffer buffer) const;
    void BufferToRow(TRecordBuffer buffer, Row& row) const;
    // Adds the buffer's record as a new row at position; the cursor goes onto it.
    void InsertRowFromBuffer(TRecordBuffer buffer, int position);
    void ReindexFrom(int position);
    // Index of the first row at or after start whose key fields hold the values, or -1.
    int FindRow(const std::vector<TField*>& keyFields, const rtl::Variant& keyValues,
                TLocateOptions options, TRecordBuffer scratch);
    bool RowVisible(int index, TRecordBuffer scratch);

    bool FCursorOpen = false;
    bool FReadOnly = false;
    std::vector<Row> FRows;
    std::unordered_map<std::uint32_t, int> FRowIndex;
    std::uint32_t FNextId = 1;
    int FCursor = -1;  // -1: before the first row; FRows.size(): after the last

    // Layout, by field definition (index = field number - 1).
    std::vector<std::size_t> FValueOffsets;  // offset of the "has value" byte
    std::vector<std::size_t> FValueSizes;    // native value bytes after it
    std::vector<int> FBlobIndexOfDef;        // blob slot of a blob definition, else -1
    std::size_t FImageSize = 0;
    std::size_t FBlobSlotsOffset = 0;
    std::size_t FInfoOffset = 0;
    std::size_t FBufferSize = 0;
    int FBlobCount = 0;
};

}  // namespace varelum::db
