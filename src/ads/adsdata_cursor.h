// TAdsDataSet: the cursor class of the data-access layer. It binds the dataset framework's
// record-buffer protocol (db::TDataSet's hooks) to one engine cursor: a table handle or the
// handle of an SQL result cursor. TAdsTable and TAdsQuery derive from it and supply only
// OpenEngineCursor, the step that opens the engine cursor; fetching, counting, bookmarks,
// record numbers, ordering, field access and closing live here.
//
// The class is one concern spread over several files:
//   adsdata_cursor.cpp     opening and closing, the order (indexes), fetching, counting,
//                          record numbers, the public engine-handle operations
//   adsdata_buffers.cpp    the record-buffer layout, buffers, bookmarks, the state buffers
//   adsdata_dataset_fields.cpp  field definitions, field reads and writes, new-record images,
//                          blob streams
//   adsdata_unsupported.cpp     the members that exist only to fail
//   adsdata_locate.cpp     Locate, Lookup, the index choice and the OnFilterRecord scans
//   adsdata_keysearch.cpp  key buffers, SetKey..FindNearest, GotoCurrent, Post and Cancel
//   adsdata_editing.cpp    edit, insert, post, cancel, delete, record and table locks
//   adsdata_filters.cpp    Filter and Filtered on the engine, FindFirst..FindPrior
//   adsdata_scopes.cpp     Scoped, ScopeBegin and ScopeEnd
//   adsdata_ranges.cpp     SetRange and its companions (key buffers 1 to 4)
//   adsdata_master.cpp     MasterSource, MasterFields and the master-detail range
//   adsdata_maintenance.cpp     adding and deleting indexes, emptying, packing, deleting and
//                          creating the table
//
// Record buffer layout (ComputeBufferLayout), areas without gaps:
//   [0, musRecordSize)                 the engine record image, as AdsGetRecord delivers it
//   [musRecordSize, musBlobCacheOfs)   the calculated-field area (the base's)
//   [musBlobCacheOfs, musRecInfoOfs)   one TAdsBlobCache* per blob field, in blob order
//   [musRecInfoOfs, musBookmarkOfs)    record number (32-bit; -1 for a new record), flag byte
//   [musBookmarkOfs, musRecBufSize)    the engine bookmark (its first four bytes are the
//                                      record number)
//
// Handles: mlHandle is the table or cursor handle, mlActiveHandle the order (the active index,
// or mlHandle itself); both kNoAdsHandle while closed. The dataset owns mlHandle from open to
// close. Every engine answer goes through CheckAceResult except the tolerated codes named at
// each call.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ads/adsdata_blobs.h"
#include "ads/adsdata_field_conversion.h"
#include "ads/adsdata_fielddefs.h"
#include "ads/adsdata_keysearch.h"
#include "ads/adsdata_link.h"
#include "ads/adsdata_options.h"
#include "db/data_source.h"
#include "db/dataset.h"
#include "db/index_defs.h"
#include "rtl/string_list.h"
#include "varelum_engine.h"

namespace varelum::ads {

// A dataset's handles while it has none.
inline constexpr ADSHANDLE kNoAdsHandle = 0xFFFFFFFFu;

enum TAdsIndexTypes {
    ndxNone,
    ndxIndexName,
    ndxIndexField,
    ndxDefault,
};

enum TAdsSequencedLevel {
    slStandard,
    slExact,
};

class TAdsDataSet;

// The extra index files a dataset opens with its table: a sorted list without duplicates.
// While the dataset is open, adding a name opens the file at once and removing names closes
// them; while it is closed the list only records the names for the next open.
class TAdsIndexFiles {
  public:
    // "TAdsIndexFiles instances require a non-nil owner" without an owner.
    explicit TAdsIndexFiles(TAdsDataSet* owner);

    // Adds (a duplicate is dropped); returns the position.
    int Add(const std::string& name);
    void Delete(int index);
    void Clear();
    int Count() const { return static_cast<int>(FNames.size()); }
    const std::string& operator[](int index) const {
        return FNames.at(static_cast<std::size_t>(index));
    }
    // Position of the name (case-insensitive), or -1.
    int IndexOf(const std::string& name) const;

  private:
    TAdsDataSet* mpoOwner;
    std::vector<std::string> FNames;
};

class TAdsDataSet : public db::TDataSet, public TAdsDatabaseLink {
  public:
    explicit TAdsDataSet(rtl::TComponent* owner = nullptr);
    ~TAdsDataSet() override;

    bool IsDataSetOpen() const override { return Active(); }

    // --- Engine handles
    // ---------------------------------------------------------------------------

    ADSHANDLE Handle() const { return mlHandle; }
    ADSHANDLE ActiveHandle() const { return mlActiveHandle; }
    // A handle handed in from outside (provider support): the next open adopts it.
    void SetActiveHandle(ADSHANDLE value) { mlActiveHandle = value; }
    ADSHANDLE GetAceTableHandle() const { return mlHandle; }
    ADSHANDLE GetAceOrderHandle() const { return mlActiveHandle; }
    // The active index, or kNoAdsHandle when the order is the table itself.
    ADSHANDLE GetAceIndexHandle() const;
    // AdsGetTableConnection of the handle; 0 when the engine answers 5023.
    ADSHANDLE GetAceConnectionHandle();
    // Puts the engine cursor on the active record; returns the engine's position before.
    ADSHANDLE AdsActiveRecord();
    // TAdsQuery forgets its statement; nothing here.
    virtual void InvalidateAceHandles() {}

    // --- Table properties ------------------------------------------------------------------------

    // Refused while open ("Cannot perform this operation on an open dataset", 5121) and when
    // it differs from the alias's or linked connection's table type ("The table type must
    // remain identical to the table type associated with the alias.", 5121).
    void SetTableType(TAdsTableTypes Value) override;
    // The engine table type used to open: 1 NTX, 2 CDX, 3 ADT, 4 VFP.
    UNSIGNED16 OpenTableType() const { return musOpenTableType; }
    // The engine table type of the open handle, as the engine reports it.
    UNSIGNED16 AceTableType() const { return musAceTableType; }
    // The engine character type of the open handle: 1 ANSI, 2 OEM.
    UNSIGNED16 OpenCharType() const { return musOpenCharType; }
    bool Exclusive() const { return mbExclusive; }
    bool ReadOnly() const { return mbReadOnly; }
    bool StoreActive() const { return FbStoreActive; }
    void SetStoreActive(bool value) { FbStoreActive = value; }
    TAdsTableOptions& AdsTableOptions() { return *mpoAdsTableOptions; }
    const TAdsTableOptions& AdsTableOptions() const { return *mpoAdsTableOptions; }
    TAdsIndexFiles& IndexFiles() { return *mpoIndexFiles; }
    // The record image length of the open handle.
    std::uint32_t RecordSize() const { return musRecordSize; }
    // "11.10.0.30 (ACE m.nnL)" from the engine's version.
    std::string Version() const;
    const std::string& InfoStructure() const { return mstrStruct; }
    void SetInfoStructure(std::string value) { mstrStruct = std::move(value); }
    // The collation passed to every open and statement: the options' AdsCollation, else the
    // name of the options' character type.
    std::string GetEffectiveCollation() const;
    // The open options and rights the engine reports for the handle.
    UNSIGNED32 TableOpenOptions() const { return mulTableOptions; }
    const TACEFieldDefs& ACEFieldDefs() const { return FACEFieldDefs; }

    // --- Order
    // ------------------------------------------------------------------------------------

    const std::string& IndexName() const { return mstrIndexName; }
    void SetIndexName(const std::string& value);
    const std::string& IndexFieldNames() const { return mstrIndexFieldNames; }
    void SetIndexFieldNames(const std::string& value);
    // The index definitions; an open dataset reads them again from the engine when they are
    // out of date (an index file or tag was added or removed).
    db::TIndexDefs& IndexDefs();
    void UpdateIndexDefs();
    const std::string& DefaultIndex() const { return mstrDefaultIndex; }
    TAdsIndexTypes ActiveIndexType() const { return meActiveIndexType; }
    void UpdateDefaultIndex();
    void GetIndexNames(std::vector<std::string>& list);

    bool Sequenced() const { return mbIsSequenced; }
    void SetSequenced(bool value) { mbIsSequenced = value; }
    TAdsSequencedLevel SequencedLevel() const { return meSeqLevel; }
    void SetSequencedLevel(TAdsSequencedLevel value) { meSeqLevel = value; }
    bool Scoped() const { return mbScoped; }

    // The master-detail link: the master's data source and the master fields (";"-separated).
    db::TDataSource* MasterSource() const { return mpoMasterLink->DataSource(); }
    // "Circular Data Link" (5121) for a source that leads back to this dataset; none also
    // empties MasterFields.
    void SetMasterSource(db::TDataSource* source);
    const std::string& MasterFields() const { return mstrMasterField; }
    void SetMasterFields(const std::string& names);
    db::TMasterDataLink& MasterLink() const { return *mpoMasterLink; }
    db::TDataSource* MasterDataSource() const override { return MasterSource(); }

    // --- The framework's questions --------------------------------------------------------------

    int RecordCount() const override;
    int RecNo() const override;
    void SetRecNo(int value) override;
    bool IsSequenced() const override { return mbIsSequenced; }
    bool CanModify() const override { return mbCanModify && !mbReadOnly; }
    bool BookmarkValid(const db::TBookmark& bookmark) override;
    int CompareBookmarks(const db::TBookmark& b1, const db::TBookmark& b2) override;
    // Copies the active record's image (RecordSize bytes) to buffer; false without one.
    bool GetCurrentRecord(db::TRecordBuffer buffer) override;
    std::unique_ptr<db::TStream> CreateBlobStream(db::TField& field,
                                                  db::TBlobStreamMode mode) override;
    std::unique_ptr<db::TField> CreateFieldOfType(db::TFieldType type) const override;
    // Check browse mode, then AdsFlushFileBuffers (its answer is not checked).
    void FlushBuffers();

    // --- Fields
    // -----------------------------------------------------------------------------------

    // Makes the memo or blob field of that name a binary blob field ("Table must be
    // Active.", "Invalid field name for the given table", "Invalid field type to begin with
    // to change to binary").
    void ADSSetFieldToBinary(const std::string& strFieldName);
    std::int32_t AdsBinaryFldLen() const { return mlBinaryFldLen; }
    void SetAdsBinaryFldLen(std::int32_t value) { mlBinaryFldLen = value; }

    // --- Virtual operations of the layer --------------------------------------------------------

    // The number kept with each buffer: the physical record number, or with Sequenced the
    // key number (slExact) or the count times the relative key position (slStandard).
    // `record` is the current record's number, already read with its bookmark.
    virtual std::uint32_t CurrentRecordNumber(std::uint32_t record);
    // The order handle, or kNoAdsHandle when it is the table handle; used by Locate.
    virtual ADSHANDLE SearchIndexHandle();
    // Moves a dataset's own default order to the front of a list of index handles.
    virtual void PromoteDefaultIndex(std::vector<ADSHANDLE>& list, int count);
    virtual std::int32_t LastAutoincVal() = 0;
    // The engine filter (an optimised or a plain filter, by AdsOptimizedFilters) from Filter;
    // an empty Filter clears it. Clearing a filter that is not there is no error.
    virtual void ApplyFilterToEngine();
    virtual void ClearEngineFilter();
    // The scope from ScopeBegin and ScopeEnd on the active index ("Cannot activate scope when
    // there is no active index." and "... when there is an active range.", 5121); clearing
    // removes both bounds, and nothing without an active index.
    virtual void ApplyScopeToEngine();
    virtual void ClearEngineScope();
    // Only on dictionary connections (TAdsTable); here it fails.
    virtual void RenameTable(const std::string& NewTableName);

    // Adds the names of the table files of the dataset's database ("*.adt" for an ADT
    // dataset, else "*.dbf") to list, in the engine's order. Nothing when the database path
    // is empty. Searches on the connection component (connecting it when needed), else on
    // the open table's connection, else on a connection opened for the search and closed
    // after it. EADSDatabaseError (this dataset, 5121) "Internal error getting connection
    // handle" without a connection; engine refusals raise through CheckAceResult.
    void GetFiles(rtl::TStringList& list);

    // --- Index and table maintenance (adsdata_maintenance.cpp) -----------------------------------
    // Each works on mlHandle when open, else on a temporary handle from OpenEngineCursor that
    // is closed again also on failure (a failing close reports its own error).

    // Creates the index strName over strFields (";"-separated) with the framework's options;
    // AddIndexEx names the index file too. Index definitions are out of date afterwards.
    void AddIndex(const std::string& strName, const std::string& strFields,
                  db::TIndexOptions poOptions);
    void AddIndexEx(const std::string& strFileName, const std::string& strIndexName,
                    const std::string& strFields, db::TIndexOptions poOptions);
    // Open and exclusive only ("Table must be Active and Exclusive."); the active index is
    // refused ("Cannot delete the active index!").
    void DeleteIndex(const std::string& strName);
    // Removes every record, open or closed.
    void EmptyTable();
    // Removes deleted records of the open table; nothing when closed.
    void PackTable();
    // Deletes the table file; the dataset must be closed.
    void DeleteTable();
    // Creates the table from FieldDefs (or the persistent fields) and IndexDefs; closed only.
    void CreateTable() { InternalCreateTable(0); }
    void CreateTable(unsigned eOptions) { InternalCreateTable(eOptions); }
    virtual void InternalCreateTable(unsigned eOptions);

    // --- Members that exist only to fail (EADSDatabaseError 5121)
    // ---------------------------------

    [[noreturn]] int GetTableLevel() const;
    [[noreturn]] void SetTableLevel(int value);
    [[noreturn]] void* GetDBDatabase() const;
    [[noreturn]] void* GetDBHandle() const;
    [[noreturn]] void* GetDBLocale() const;
    [[noreturn]] void* GetDBSession() const;
    [[noreturn]] void* GetProvider() const;
    [[noreturn]] std::string GetSessionName() const;
    [[noreturn]] void SetSessionName(const std::string& value);
    [[noreturn]] bool GetCacheBlobs() const;
    [[noreturn]] void SetCacheBlobs(bool value);
    [[noreturn]] bool GetCachedUpdates() const;
    [[noreturn]] void SetCachedUpdates(bool value);
    [[noreturn]] bool GetExpIndex() const;
    [[noreturn]] void* GetLocale() const;
    [[noreturn]] void* GetUpdateObject() const;
    [[noreturn]] void SetUpdateObject(void* value);
    [[noreturn]] bool GetUpdatesPending() const;
    [[noreturn]] int GetUpdateRecordSet() const;
    [[noreturn]] void SetUpdateRecordSet(int value);
    [[noreturn]] virtual void BatchMove(db::TDataSet* source, int mode);
    [[noreturn]] void CheckOpen(int status);
    [[noreturn]] void ApplyUpdates();
    [[noreturn]] void CancelUpdates();
    [[noreturn]] void CommitUpdates();
    [[noreturn]] bool ConstraintsDisabled() const;
    [[noreturn]] void DisableConstraints();
    [[noreturn]] void EnableConstraints();
    [[noreturn]] void FetchAll();
    [[noreturn]] void GetIndexInfo();
    [[noreturn]] void RevertRecord();
    [[noreturn]] int UpdateStatus() const;

    // The layer's own error about this dataset (code 5121).
    [[noreturn]] void RaiseError(const std::string& text) const;
    // CheckAceResult about this dataset.
    void Check(UNSIGNED32 result) const;

  protected:
    // Opens the engine cursor and returns its handle: a table file (TAdsTable) or an executed
    // statement (TAdsQuery).
    virtual ADSHANDLE OpenEngineCursor() = 0;
    // The sequenced number of the current record in the order `index`: its key number
    // (slExact) or the count times its relative key position (slStandard).
    std::uint32_t SequencedRecordNumber(ADSHANDLE index);

    // --- Hooks of the dataset base
    // -----------------------------------------------------------------

    void ActivateCursor() override;
    bool CursorIsOpen() const override { return mlHandle != kNoAdsHandle; }
    void DescribeFields() override;
    void InitFieldDefs() override;
    void CloseEngineCursor() override;
    db::TRecordBuffer AllocateRecordBuffer() override;
    void ReleaseRecordBuffer(db::TRecordBuffer& buffer) override;
    db::TGetResult FetchRecord(db::TRecordBuffer buffer, db::TGetMode mode, bool doCheck) override;
    void MoveToFirst() override;
    void MoveToLast() override;
    void MoveToBuffer(db::TRecordBuffer buffer) override;
    void MoveToBookmark(const std::uint8_t* bookmark) override;
    void ReadBookmarkData(db::TRecordBuffer buffer, std::uint8_t* bookmark) const override;
    void WriteBookmarkData(db::TRecordBuffer buffer, const std::uint8_t* bookmark) override;
    db::TBookmarkFlag ReadBookmarkFlag(db::TRecordBuffer buffer) const override;
    void WriteBookmarkFlag(db::TRecordBuffer buffer, db::TBookmarkFlag flag) override;
    void PrepareRecordBuffer(db::TRecordBuffer buffer) override;
    void InitRecordImage(db::TRecordBuffer buffer) override;
    std::size_t RecordImageSize() const override { return musRecordSize; }
    void RereadCurrentRecord() override;
    // Record editing (adsdata_editing.cpp).
    void PostCurrentRecord() override;
    void DeleteCurrentRecord() override;
    void AddRecordDirect(db::TRecordBuffer buffer, bool append) override;
    bool GetFieldData(const db::TField& field, void* out) const override;
    void WriteFieldValue(db::TField& field, const void* value) override;
    db::TRecordBuffer StateRecordBuffer() const override;

    // --- Steps for descendants
    // ---------------------------------------------------------------------

    // The handle and counting option (filters, scopes, a fresh count) of the record count.
    ADSHANDLE CountingHandle(UNSIGNED16& option) const;
    // Reads the character type and collation the engine reports for handle into
    // musOpenCharType (and AdsCharType when the table has no collation of its own).
    void ReadTableCharType(ADSHANDLE handle);
    // Opens each IndexFiles entry on handle (database path + "\" + entry); on a failure the
    // handle is closed (its answer ignored) and the error goes on.
    void OpenIndexFilesOn(ADSHANDLE handle);
    // The open dataset's index handles for an IndexFiles entry.
    void OpenIndexFile(const std::string& name);
    void CloseIndexFile(const std::string& name);
    // The record number stored in a buffer's record information.
    std::int32_t BufferRecordNumber(db::TRecordBuffer buffer) const;
    // The first four bytes of a buffer's bookmark.
    std::uint32_t BufferBookmarkRecord(db::TRecordBuffer buffer) const;
    // The blob cache of a buffer for a blob field.
    TAdsBlobCache* BlobCache(db::TRecordBuffer buffer, int blobIndex) const;
    // AdsGetRecord, bookmark, memo markers and OEM text into buffer.
    void ReadRecordImage(db::TRecordBuffer buffer, std::uint32_t capacity, bool withCalcFields);
    TFieldConversionContext ConversionContext() const;
    // Marks the index definitions out of date (a property that affects them changed).
    void InvalidateIndexDefs() { mpoIndexDefs->SetUpdated(false); }
    // The table handle to read definitions from: mlHandle, or a temporary cursor.
    ADSHANDLE TemporaryOrOpenHandle(bool& temporary);
    // Runs body on mlHandle, or on a temporary cursor closed afterwards (also when body throws;
    // a failing close then reports its own error instead).
    void WithTableHandle(const std::function<void(ADSHANDLE)>& body);
    // Descendants that the linked connection's dictionary concerns.
    bool HasDictionaryConnection() const;
    // Whether the table's dictionary default index applies (not to SQL results).
    virtual bool UsesDefaultIndex() const { return true; }

    bool mbExclusive = false;
    bool mbReadOnly = false;
    UNSIGNED16 musOpenTableType = kAceTableADT;
    UNSIGNED16 musAceTableType = 0;
    UNSIGNED16 musOpenCharType = 0;
    bool mbCanModify = false;
    ADSHANDLE mlHandle = kNoAdsHandle;
    ADSHANDLE mlActiveHandle = kNoAdsHandle;
    std::string mstrDefaultIndex;

  private:
    friend class TAdsIndexFiles;
    friend class TAdsBlobStream;

    void ActivateOrder();
    // ActivateOrder for an order a setter has just chosen; on failure the old name, fields and
    // kind are put back before the error goes on.
    void ActivateOrderOrRestore(const std::string& oldName, const std::string& oldFields,
                                TAdsIndexTypes oldType);
    // An open dataset on a new order: the master's range on it, and the window read again.
    void ResyncInNewOrder();
    ADSHANDLE FindIndexForFields(const std::string& names);
    void ComputeBufferLayout();
    db::TGetResult FetchVisibleRecord(db::TRecordBuffer buffer, db::TGetMode mode);
    void ClearBlobCaches(db::TRecordBuffer buffer);
    bool IsBlobValueNull(const TACEFieldDef& def, const db::TField& field,
                         db::TRecordBuffer buffer) const;
    void DescribeOneField(ADSHANDLE handle, UNSIGNED16 number);
    void DescribeHandle(ADSHANDLE handle);
    void ApplyDefaultExpression(const TACEFieldDef& def, db::TField& field,
                                db::TRecordBuffer buffer);
    bool ActiveIndexIsSegmentOf(const db::TField& field);
    std::uint32_t BookmarkLengthOfOrder();
    void AllocateKeyBuffers();
    void FreeKeyBuffers();

    TACEFieldDefs FACEFieldDefs;
    std::vector<std::uint8_t> FOldRecordBuffer;
    TAdsIndexTypes meActiveIndexType = ndxNone;
    // Offsets inside a record buffer; 32-bit, since a wide record plus its blob slots and
    // bookmark can pass 65535 bytes.
    std::uint32_t musBlobCacheOfs = 0;
    std::uint32_t musBookmarkOfs = 0;
    std::string mstrIndexFieldNames;
    std::unique_ptr<db::TIndexDefs> mpoIndexDefs;
    std::string mstrIndexName;
    std::array<std::unique_ptr<TAdsKeyBuffer>, kAdsKeyBufferCount> mapKeyBuffers;
    TAdsKeyBuffer* mpstKeyBuffer = nullptr;
    std::string mstrMasterField;
    std::unique_ptr<db::TMasterDataLink> mpoMasterLink;
    std::uint32_t musRecBufSize = 0;
    std::uint32_t musRecInfoOfs = 0;
    std::uint32_t musRecordSize = 0;
    UNSIGNED32 mulTableOptions = 0;
    bool mbScoped = false;
    std::string mstrScopeEnd;
    std::string mstrScopeStart;
    std::string mstrStruct;
    std::string strBinaryFieldName;
    std::int32_t mlBinaryFldLen = 0;
    bool mbIsSequenced = false;
    UNSIGNED32 mulSavedCRC = 0;
    std::unique_ptr<TAdsTableOptions> mpoAdsTableOptions;
    std::unique_ptr<TAdsIndexFiles> mpoIndexFiles;
    // Index handles opened for each IndexFiles entry while open.
    std::vector<std::pair<std::string, std::vector<ADSHANDLE>>> FOpenIndexFiles;
    bool FbStoreActive = true;
    TAdsSequencedLevel meSeqLevel = slStandard;
    // The engine services of the conversions, on mlHandle.
    mutable TAceRecordImageEngine FImageEngine;
    // ==== Locate, key search and editing: adsdata_locate.cpp, adsdata_keysearch.cpp and
    // ==== adsdata_editing.cpp ==================================================================
  public:
    // --- Locate and Lookup
    // The first record, in the order of the index seeked or of the active order, whose
    // KeyFields (";"-separated) hold KeyValues (one value, or an array with one per field).
    // loCaseInsensitive compares texts without regard to case, loPartialKey takes text values
    // as prefixes. Found: the dataset is on that record. Not found: the dataset and the engine
    // stay where they were, and no filter or exact setting of the search is left behind.
    // "Field '%s' not found" for an unknown name.
    bool Locate(std::string_view KeyFields, const rtl::Variant& KeyValues,
                db::TLocateOptions Options) override;
    // The values of ResultFields (one value, or an array for several names) in the first
    // record that Locate without options would find; Null when none matches or KeyValues is
    // Null (then the engine is not asked). The active record does not change.
    rtl::Variant Lookup(std::string_view KeyFields, const rtl::Variant& KeyValues,
                        std::string_view ResultFields) override;

    // --- Key search on the active index
    // Enter dsSetKey on the lookup key; SetKey clears it first, EditKey keeps the last key.
    // "Index is not set." (5121) without an active index. Post ends the key edit keeping the
    // key, Cancel ends it restoring the key as it was before.
    void SetKey();
    void EditKey();
    // Seeks the lookup key exactly (a hard seek on the whole key). Found: the dataset is on
    // that record. Not found: back on the record it showed, or on the last (first) record when
    // it was at its end (beginning). Posts a pending key edit first.
    bool GotoKey();
    // Seeks the (partial) lookup key softly: the dataset goes to the first record at or after
    // it. Found() tells whether that record begins with the key.
    void GotoNearest();
    // The lookup key from values in index-field order, then GotoKey (GotoNearest). "An index
    // must be active to perform this operation. Set the IndexName property." and "Too many
    // values given for current index" (5121).
    bool FindKey(const std::vector<rtl::Variant>& values);
    void FindNearest(const std::vector<rtl::Variant>& values);
    // The edited key buffer's Exclusive and FieldCount; only in dsSetKey ("Dataset not in edit
    // mode" otherwise).
    bool KeyExclusive() const;
    void SetKeyExclusive(bool value);
    std::int16_t KeyFieldCount() const;
    void SetKeyFieldCount(std::int16_t value);
    // Key length of the active index in bytes (0 without one).
    std::uint16_t KeySize() const;
    // Number of segments of the active index (0 without one).
    int IndexFieldCount() const;
    // Puts this dataset on the record another dataset of the same table shows ("Tables are
    // not the same" when their locations or table names differ).
    void GotoCurrent(TAdsDataSet& other);

    // The base's Post and Cancel, then the end of a key edit (keeping, restoring the key).
    void Post() override;
    void Cancel() override;

    // --- Table locks
    // While active and not exclusive: locks (unlocks) the whole table for this dataset's
    // connection. Unlocking a table that is not locked is no error.
    void LockTable();
    void UnlockTable();

  protected:
    // --- Index tests of the search (false without an active index)
    bool ActiveIndexHasScope() const;
    bool ActiveIndexHasCondition() const;
    bool ActiveIndexIsUnique() const;
    bool ActiveIndexIsCustom() const;
    // Whether the index can be seeked for Locate: no scope, no condition, not custom, and not
    // unique on a table that is not ADT.
    bool IndexUsableForSearch(ADSHANDLE index) const;
    // The ";"-separated upper-cased fields of the active order's index definition
    // (IndexFieldNames as it stands for a field-list order); empty without an index.
    std::string ActiveIndexFieldNames();
    // OnFilterRecord's verdict on a buffer (dsFilter for the call). An exception from the
    // event goes to the application's handler when one is installed, else it propagates.
    bool CallFilterRecordEvent(db::TRecordBuffer buffer);
    // From the current engine record on, forward or backward, the first record that
    // OnFilterRecord accepts; false at the end. "Expected OnFilterRecord event." (5121).
    bool ScanWithFilterEvent(bool forward);
    // The field object of segment s (from 0) of the active index.
    db::TField& FieldForSegment(int segment);

    // --- Key buffers
    // The key buffer of a role, reset first when it has not been since open.
    TAdsKeyBuffer& KeyBuffer(int index);
    // Not modified, not exclusive, no fields given, every length entry not set, the record
    // image the engine's empty record.
    void ResetKeyBuffer(TAdsKeyBuffer& buffer);
    // Begins (ends) editing key buffer index in dsSetKey.
    void BeginKeyEdit(int index, bool clear);
    void EndKeyEdit(bool keep);
    // The key buffer index reset and filled from values in index-field order.
    void LoadKeyValues(int index, const std::vector<rtl::Variant>& values);
    // The raw key of key buffer index on the active index (whole, or partial), into key
    // (capacity length in, key length out).
    void BuildKeyFromBuffer(int index, bool partial, std::uint8_t* key, std::uint16_t& length);

    // --- Editing hooks
    void BeginEditRecord() override;
    void BeginInsertRecord() override;
    void CancelCurrentRecord() override;
    // Rights check and master values, then the base's OnNewRecord.
    void NewRecord() override;

  private:
    bool FindMatchingRecord(std::string_view KeyFields, const rtl::Variant& KeyValues,
                            db::TLocateOptions Options);
    ADSHANDLE ChooseSearchIndex(std::string_view KeyFields, const std::vector<db::TField*>& fields,
                                db::TLocateOptions Options, std::string& lastCovered);
    bool SeekKeyFields(ADSHANDLE index, const std::vector<db::TField*>& fields,
                       db::TLocateOptions Options, const std::string& lastCovered);
    bool SearchByExpression(const std::vector<db::TField*>& fields, db::TLocateOptions Options);
    std::string BuildFilterString(const std::vector<db::TField*>& fields, bool caseInsensitive);
    bool LocateLocally(const std::string& expression);
    bool SeekWithFilterEvent(const std::uint8_t* key, std::uint16_t length, UNSIGNED16 keyType);
    void RequireKeyEditState() const;
    // The engine field of a data field; none for calculated and lookup fields.
    const TACEFieldDef* EngineFieldOf(const db::TField& field) const;
    void WriteModifiedFields(db::TRecordBuffer buffer);
    void FlushBlobCaches(db::TRecordBuffer buffer);
    bool IsPessimisticLocking() const;
    bool IsOptimisticLocking() const;
    // ==== end of locate, key search and editing
    // ===================================================

    // ==== Filters, scopes, ranges and the master-detail range: adsdata_filters.cpp,
    // ==== adsdata_scopes.cpp, adsdata_ranges.cpp, adsdata_master.cpp ==========================
  public:
    // --- Filters
    // Stores the text; an active, filtered dataset applies it at once and goes to its first
    // record. When the engine refuses it, the previous text and filter stay.
    void SetFilter(const std::string& text) override;
    // Stores the flag and applies (clears) the engine filter; an active dataset goes to its
    // first record. When the engine refuses the filter, the flag stays as it was.
    void SetFiltered(bool value) override;
    // The engine's option word of an optimised filter from AdsAOFType and
    // AdsAOFResolveImmediate.
    UNSIGNED32 AofOptions() const;
    // The engine text of Filter and whether its texts compare exactly: a quoted literal that
    // ends in "*" (and is not only asterisks) loses it and makes the comparison a prefix
    // match; CONTAINS(...) is left as written.
    std::pair<std::string, bool> TranslateFilterText() const;

    // --- Scopes
    // Activates (removes) the scope on the active index; an inactive dataset only stores the
    // flag, which open applies. Removing keeps the record shown.
    void SetScoped(bool value);
    const std::string& ScopeBegin() const { return mstrScopeStart; }
    const std::string& ScopeStart() const { return mstrScopeStart; }
    const std::string& ScopeEnd() const { return mstrScopeEnd; }
    // Stored only; an active scope keeps its bounds until Scoped is set again. "Scope text
    // length exceeded 4082" (5121) past 4083 characters.
    void SetScopeBegin(const std::string& text);
    void SetScopeEnd(const std::string& text);

    // --- Ranges on the active index
    // Edit the range start (end) in dsSetKey: Set... from an empty key, Edit... from the last.
    void SetRangeStart();
    void SetRangeEnd();
    void EditRangeStart();
    void EditRangeEnd();
    // The range from values in index-field order, applied.
    void SetRange(const std::vector<rtl::Variant>& startValues,
                  const std::vector<rtl::Variant>& endValues);
    // Sets the edited bounds on the engine and goes to the first record; bounds equal to those
    // applied last make no engine call. "Cannot set range on table when there is an active
    // scope." (5121).
    void ApplyRange();
    // Removes the range and keeps the record shown; the edited bounds stay for ApplyRange.
    void CancelRange();

  protected:
    bool FindFilteredRecord(bool restart, bool forward) override;
    // Re-applies the master range once the dataset is open.
    void DoAfterOpen() override;
    // Whether the engine's scopes changed.
    bool ApplyRangeScopes();
    bool ClearRange();
    // The detail's range on the master's current values (leading segments of the index).
    void ApplyMasterRange();
    void LoadMasterKey(const std::vector<db::TField*>& masterFields);
    void DropMasterRange() { CancelRange(); }

  private:
    // Sets one range bound from key buffer `edited` (1 or 2) and records it in `applied` (3 or
    // 4); an edited bound without values removes the bound.
    void SetRangeBound(int edited, int applied, UNSIGNED16 bound, SIGNED16 step);
    // ==== end of filters, scopes, ranges and the master-detail range ==========================
};

}  // namespace varelum::ads
