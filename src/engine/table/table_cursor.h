// A table handle: one cursor over one table file, with its position, its record buffer
// (the current record's image with the caller's pending changes) and its pending append.
//
// Reading: every engine call renews the handle's read transaction, so it sees the file as
// committed by anyone up to then; the image of the current record is kept and reused while
// no transaction has been committed since it was read. Writing: field changes collect in the
// buffer and reach the file in one write transaction at AdsWriteRecord (or when the handle
// moves); changing an existing record needs its lock, taken implicitly when the connection
// does not hold it. Navigation follows a RecordOrder (record numbers for a table handle;
// an index handle supplies key order) and passes over records that are not visible.
//
// Callers hold the handle's lock (CallScope) for the whole of one engine call.
//
// States. A handle has a position and a buffer state; table_cursor.cpp names the function of
// each transition.
//
//   position   Bof | Eof          on a crack (place_); at_bof_/at_eof_ both set when no
//                                 visible record exists, whichever end was reached
//              Record(recno_)     on a stored record
//   buffer     Clean              image_ is the stored record as of snapshot loaded_txnid_ (when
//                                 loaded_), else read again on first use
//              Dirty              image_ holds the caller's changes to Record(recno_) (dirty_),
//                                 under the connection's lock of that record
//              Appending          image_ is a new record not yet stored (appending_; dirty_ too
//                                 once a field was set); the position before it is saved
//              Closed             every call fails with VE_CLOSED_HANDLE
//
//   open                    -> Record or Eof, Clean            (goto_top)
//   any move                   Dirty/Appending are written     (flush_pending -> write)
//                           -> Record, Clean                    (land)
//                           or Bof/Eof, Clean                   (land_on_crack)
//   Record, Clean           -> Dirty      on the first field set (image_for_change: takes the
//                                         record lock if the connection lacks it, reads anew)
//   any                     -> Appending  (append)
//   Appending               -> Appending  with its number and AutoInc fixed (reserve_append,
//                                         asked by record_number and lock_record(0))
//   Dirty                   -> Clean      (write, refresh, cancel; the implicit lock goes)
//   Appending               -> Record(new), Clean (write) | saved position (cancel)
//   any                     -> Closed     (close: pending changes written first)
//
// Invariants: implicit_lock_ is 0 or recno_ while Dirty, and 0 otherwise. loaded_ implies
// image_ and status_ are those stored for recno_ in snapshot loaded_txnid_. read_ is active
// only inside a call: CallScope ends it, so no snapshot pins old pages between calls.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/handles.h"
#include "engine/record/record_image.h"
#include "engine/table/record_cache.h"
#include "engine/table/record_order.h"

namespace varelum::engine {

class Connection;
class TableLocks;
class TableFile;

class RightsSource;

// The rights a data dictionary grants the handle's user (bits: 1 read, 2 update, 4 insert,
// 8 delete); a free table grants every right.
struct AccessRights {
    static constexpr std::uint8_t kRead = 1, kUpdate = 2, kInsert = 4, kDelete = 8;
    std::uint8_t table = kRead | kUpdate | kInsert | kDelete;
    std::vector<std::uint8_t> columns;  // by field number - 1; a field past the end: the table's
    std::uint8_t column(std::uint32_t number) const {
        return number >= 1 && number <= columns.size() ? columns[number - 1] : table;
    }
    // Where the rights come from when they may change while a handle is open (a dictionary's
    // grants), and the source's version they were read at; none for a free table.
    std::shared_ptr<const RightsSource> source;
    std::uint64_t version = 0;
};

// The grants behind a handle's rights, asked at the start of every call of the handle so that
// a right taken away stops the next call, not the next open.
class RightsSource {
  public:
    virtual ~RightsSource() = default;
    // A number that changes whenever the rights may have changed; cheap, read once per call.
    virtual std::uint64_t version() const = 0;
    // The rights on file as they stand now (source and version are the caller's to set).
    virtual AccessRights rights(const TableFile& file) const = 0;
};

struct OpenRequest {
    AccessRights rights;
    bool exclusive = false;
    bool read_only = false;
    std::uint32_t options = 0;  // as passed, answered by AdsGetTableOpenOptions
    std::uint16_t lock_type = 1;
    std::string collation;
    // A private result table of this process: no other process's transaction can be in it.
    bool scratch = false;
};

class TableCursor : public HandleObject {
  public:
    static constexpr HandleKind kKind = HandleKind::Table;
    // Opens the table at path through the connection's store. Throws what TableStore::open
    // throws, and VE_TABLE_IN_USE for exclusive conflicts. opened: the file at path as the same
    // engine call already opened and checked it, so that the path is not looked at again.
    static std::shared_ptr<TableCursor> open(std::shared_ptr<Connection> connection,
                                             const std::string& path, const OpenRequest& request,
                                             std::shared_ptr<TableFile> opened = nullptr);
    ~TableCursor() override;
    HandleKind kind() const override { return kKind; }
    CallLock* call_lock() override { return &call_lock_; }
    // What every call leaves in the handle's registry slot (CallLock::publish), so that
    // AdsAtEOF and AdsAtBOF on a table handle answer without taking its lock.
    static constexpr std::uint8_t kPublishedBof = 1, kPublishedEof = 2, kPublishedClosed = 4;

    // Holds the handle for one engine call and ends its read transaction afterwards.
    class CallScope {
      public:
        // Use: a call that reads or changes the table, refused without the read right as the
        // handle's rights stand now. Close: closing the handle, which is never refused.
        enum class Purpose { Use, Close };
        explicit CallScope(TableCursor& table, Purpose purpose = Purpose::Use);
        // For a caller that holds the handle's lock already (taken through its handle); the
        // lock stays the caller's to give back.
        CallScope(TableCursor& table, std::adopt_lock_t);
        ~CallScope();
        CallScope(const CallScope&) = delete;
        CallScope& operator=(const CallScope&) = delete;

      private:
        TableCursor& table_;
        bool owns_lock_;
    };

    // What other engine parts keep per handle (its open indexes, filters, exact setting):
    // consulted for every record the handle visits, closed with the handle.
    class Extension {
      public:
        virtual ~Extension() = default;
        // Whether a stored record passes the handle's filters; called for records that are
        // visible otherwise (not deleted, or deleted records shown).
        virtual bool accepts(const StoredRecord& record) = 0;
        // Whether accepts() looks at more than the record (it then reads in the call's
        // snapshot).
        virtual bool filtering() const = 0;
        // The handle closes (its lock is held): release what hangs on it.
        virtual void closing() = 0;
    };
    Extension* extension() const { return extension_.get(); }
    void set_extension(std::unique_ptr<Extension> extension) { extension_ = std::move(extension); }
    // The order navigation follows from now on: an index order, or nullptr for record-number
    // order. The order must stay alive while it is set.
    void set_order(RecordOrder* order) { order_ = order != nullptr ? order : natural_.get(); }
    // Puts `order` in the place of record-number order as the handle's own order: an SQL
    // result cursor walks the rows of its query (and counts them, RecordOrder::count).
    void replace_natural_order(std::unique_ptr<RecordOrder> order) {
        natural_ = std::move(order);
        order_ = natural_.get();
        record_order_ = nullptr;
        cache_.clear();
    }
    RecordOrder& order() const { return *order_; }
    RecordOrder& natural_order() const { return *natural_; }
    // The handle's read transaction for this call (begun on first use).
    const Snapshot& read_txn() { return txn(); }

    // Writes pending changes and releases the handle's share of the file. Idempotent.
    void close();
    // Safe without the call lock: an index handle's call asks before it takes the lock (and
    // asks again under it).
    bool closed() const { return closed_.load(std::memory_order_acquire); }

    const TableSchema& schema() const;
    TableFile& file() const { return *file_; }
    const std::shared_ptr<TableFile>& shared_file() const { return file_; }
    const std::shared_ptr<Connection>& connection() const { return connection_; }
    const OpenRequest& request() const { return request_; }
    TextContext text_context() const;
    // The field a field argument names (a number below 65536 or an 8-bit name).
    const FieldDescriptor& field(const std::uint8_t* argument) const;

    // Navigation.
    void goto_top();
    void goto_bottom();
    void goto_bof();
    void goto_eof();
    void skip(std::int32_t count);
    void goto_record(std::uint32_t recno);  // VE_RECORD_NOT_FOUND leaves the handle on EOF
    bool at_bof() const { return at_bof_; }
    bool at_eof() const { return at_eof_; }
    std::uint32_t record_number();  // 0 on a crack; fixes a pending append's number
    std::uint32_t record_count();
    bool on_record() const { return place_ == Place::Record || appending_; }
    // How many records a forward walk in record-number order reads ahead (0: none).
    void set_cached_records(std::uint16_t records) { cache_.set_records(records); }

    // The current record. Throws VE_NO_CURRENT_RECORD on a crack.
    const std::vector<std::uint8_t>& image();
    bool deleted();
    bool visible();
    // A memo-type value of the current record (pending value included); nullopt when null.
    std::optional<std::string> memo(const FieldDescriptor& field);
    std::uint32_t memo_length(const FieldDescriptor& field);
    std::uint32_t crc(bool with_pending);

    // Editing. image_for_change takes the implicit lock and marks the buffer changed.
    std::uint8_t* image_for_change(const FieldDescriptor& field);
    void set_memo(const FieldDescriptor& field, std::optional<std::string> value);
    void append();
    void write();
    void cancel();
    void refresh();
    void set_deleted(bool deleted);
    bool pending() const { return dirty_ || appending_; }
    std::uint32_t last_autoinc() const { return last_autoinc_; }
    // Fixes the number (and AutoInc value) of a pending append in a transaction of its own.
    void reserve_append();

    // Locks (through the connection's TableLocks of this table).
    TableLocks& locks() const { return *locks_; }
    void lock_record(std::uint32_t recno);
    void unlock_record(std::uint32_t recno);

    // Whole-table operations; each needs the table open by this handle alone.
    void zap();
    void pack();
    void require_sole_use();
    // For AdsDeleteTable: writable and open by this handle alone.
    void require_writable_for_delete() {
        require_writable();
        require_right(AccessRights::kDelete, nullptr);
        require_sole_use();
    }

  private:
    enum class Place { Bof, Eof, Record };

    TableCursor(std::shared_ptr<Connection> connection, std::shared_ptr<TableFile> file,
                std::shared_ptr<TableLocks> locks, OpenRequest request);
    const Snapshot& txn();
    void end_call();
    void check_stored(const StoredRecord& record) const;  // throws VE_TABLE_CORRUPT
    bool is_visible(const StoredRecord& record) const;
    // Makes a stored record, read in the snapshot with that id, the current one.
    void land(const StoredRecord& record, std::uint64_t snapshot);
    void land(const StoredRecord& record) { land(record, read_->id()); }
    // The id of what a read now sees: the call's snapshot once begun, else the last commit.
    std::uint64_t latest_snapshot() const {
        return read_->active() ? read_->id() : file_->last_commit_id();
    }
    // The next visible record after the current one when the read-ahead holds it (recno 0
    // otherwise, the cache's walk unchanged); `snapshot` answers the id it was read in.
    StoredRecord cached_step(std::uint64_t& snapshot);
    void land_on_crack(bool at_end);
    void load_current();
    void flush_pending();  // writes pending changes before a move
    void discard_changes();
    void release_implicit_lock();
    void require_writable() const;
    // Throws VE_PERMISSION_DENIED unless the handle's user has the right on the table (and on
    // the field, when one is given).
    void require_right(std::uint8_t right, const FieldDescriptor* field) const;
    // Renews the handle's rights from their source when it changed since; throws
    // VE_PERMISSION_DENIED when they no longer hold the read right.
    void refresh_rights();
    void stamp_engine_fields(std::uint8_t* image, class WriteContext& write);
    // The connection's transaction with this file enlisted in it; nullptr outside one.
    class Transaction* joined_transaction();

    std::shared_ptr<Connection> connection_;
    std::shared_ptr<TableFile> file_;
    std::shared_ptr<TableLocks> locks_;
    OpenRequest request_;
    std::unique_ptr<RecordOrder> natural_;
    RecordOrder* order_ = nullptr;
    // The handle's record-number order while it is its own (not an SQL result's rows): the
    // only order the read-ahead serves.
    NaturalOrder* record_order_ = nullptr;
    RecordCache cache_;
    std::unique_ptr<Extension> extension_;
    CallLock call_lock_;
    std::unique_ptr<ReadSnapshot> read_;
    std::atomic<bool> closed_{false};  // written under the call lock

    Place place_ = Place::Bof;
    std::uint32_t recno_ = 0;
    bool at_bof_ = true;
    bool at_eof_ = true;

    std::vector<std::uint8_t> image_;
    std::uint8_t status_ = 0;
    // The status byte and image as stored, for the extension's look at the current record;
    // kept so that asking whether a record is visible (once per row a dataset reads) does
    // not allocate.
    std::string visible_scratch_;
    bool loaded_ = false;
    std::uint64_t loaded_txnid_ = 0;

    bool dirty_ = false;
    std::map<std::uint16_t, std::optional<std::string>> pending_memos_;
    std::uint32_t implicit_lock_ = 0;

    bool appending_ = false;
    std::uint32_t reserved_recno_ = 0;
    Place saved_place_ = Place::Bof;
    std::uint32_t saved_recno_ = 0;
    std::uint32_t last_autoinc_ = 0;
};

}  // namespace varelum::engine
