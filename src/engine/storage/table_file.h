// One table file as the layers above the storage see it: the header and the fields, the
// records by number, the memo values, and named ordered key trees (the index tags and their
// list), read through a snapshot and changed in a write transaction whose observers keep
// derived data in step. Nothing here names the storage library; storage/lmdb implements it
// (docs/table-format.md gives that implementation's file format field by field).
//
// Tables are found, opened, made and removed through a connection's TableStore
// (table_store.h). A process opens each file once: every handle on it shares one TableFile. Every
// change is one write transaction (WriteContext) that covers the record, its memo values and,
// through the WriteObserver hooks, every index key, so that data and indexes never disagree and a
// crash loses nothing that was committed.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/env/env.h"
#include "engine/record/schema.h"

namespace varelum::engine {

// Stored in every table file; never reuse a value. 1: no index tags; 2: may hold index tags
// (an engine that knows only version 1 would write records without keeping them in step);
// 3: records may carry a checksum (an older engine would take them for damaged); 4: may hold
// CompactDate fields (an older engine would call such a field damaged, not the file too new).
// A file carries the lowest version its content needs, so that every engine able to read it
// still opens it; kFormatVersion is the newest this engine reads.
constexpr std::uint32_t kIndexTagsFormatVersion = 2;
constexpr std::uint32_t kChecksumFormatVersion = 3;
constexpr std::uint32_t kCompactDateFormatVersion = 4;
constexpr std::uint32_t kFormatVersion = kCompactDateFormatVersion;
constexpr std::uint8_t kRecordDeleted = 0x01;  // status byte of a stored record

// The format version a file with these fields is written with: records with checksums, and
// the version that brought CompactDate when a field has that type.
std::uint32_t format_version_for(const TableSchema& schema);

// Everything a new table needs besides its fields.
struct TableOptions {
    std::uint16_t char_type = 1;  // 1 ANSI, 2 OEM
    std::uint16_t memo_block_size = 8;
    std::string collation;
};

// Engine-maintained counters, rewritten in the transaction of each write that changes them.
struct TableCounters {
    std::uint32_t next_record = 1;      // number the next appended record gets
    std::uint32_t next_autoinc = 1;     // value the next AutoInc gets
    std::uint64_t next_rowversion = 1;  // value the next written RowVersion gets
    std::uint32_t deleted_records = 0;  // records whose deleted flag is set
};

// A stored record as found: its number and its stored bytes (status byte, then the image),
// valid until the snapshot ends. recno 0: there is none.
struct StoredRecord {
    std::uint32_t recno = 0;
    std::string_view bytes;
};

// What one transaction sees of a table file: the committed state when it began, plus its
// own changes for a write transaction. Values read through it stay valid until it ends.
class Snapshot {
  public:
    virtual ~Snapshot() = default;
    // Equal ids, equal contents: handles compare them to tell whether what they read before
    // is still current.
    virtual std::uint64_t id() const = 0;
    // The storage's own transaction behind this snapshot (a write context answers the
    // transaction it wraps).
    virtual const Snapshot& transaction() const { return *this; }
};

// A table handle's read snapshot, begun at the start of each engine call and ended at its
// end, so that every call sees the file as it is then.
class ReadSnapshot : public Snapshot {
  public:
    virtual void begin() = 0;  // begins or renews; nothing when active
    virtual void end() = 0;    // ends, keeping what makes the next begin cheap
    virtual void close() = 0;  // ends and releases everything
    // Ends it keeping the key trees opened in it open (see TableFile::open_tree).
    virtual void commit() = 0;
    virtual bool active() const = 0;
};

// Names a key tree of a table file for as long as the file is open.
using TreeId = std::uint32_t;

// A position in a key tree, in byte order of the keys. Each move answers whether it found an
// entry; key() and value() are those of the entry found, valid until the snapshot ends.
class KeyCursor {
  public:
    virtual ~KeyCursor() = default;
    virtual bool first() = 0;
    virtual bool last() = 0;
    virtual bool seek(std::string_view key) = 0;  // the first entry at or after key
    virtual bool next() = 0;
    virtual bool prev() = 0;
    virtual std::string_view key() const = 0;
    virtual std::string_view value() const = 0;
    // Moves the cursor to another snapshot of the same tree (unpositioned), which is cheaper
    // than a new cursor.
    virtual void rebind(const Snapshot& snapshot) = 0;
};

// A position in the records, in record-number order.
class RecordCursor {
  public:
    virtual ~RecordCursor() = default;
    virtual StoredRecord first() = 0;
    virtual StoredRecord last() = 0;
    virtual StoredRecord at_or_after(std::uint32_t recno) = 0;
    virtual StoredRecord next() = 0;
    virtual StoredRecord prev() = 0;
    virtual void rebind(const Snapshot& snapshot) = 0;
    // The number of the record the cursor stands on in the snapshot it is bound to; 0 when
    // it stands on none (bound anew, or moved past an end).
    virtual std::uint32_t position() const = 0;
    // Steps over up to `count` records after the current one and hands each that verifies,
    // in order, to `take`; stops at the end and before the first record that does not verify
    // (left for a later read to report). Their checksums are computed side by side, which
    // costs less than one after another. Answers how many were handed over; the cursor is
    // left somewhere past them.
    virtual std::size_t read_ahead(std::size_t count,
                                   const std::function<void(const StoredRecord&)>& take) = 0;
};

class TableFile;
class WriteContext;

// Code that keeps derived data (index tags) in step with the records. Called inside the write
// transaction of every change; an exception aborts the whole transaction.
class WriteObserver {
  public:
    virtual ~WriteObserver() = default;
    // before: the stored image, or nullptr for a new record; after: the new image, or nullptr
    // when the record goes away (pack, zap). Deleted flags do not remove a record.
    virtual void record_changed(WriteContext& write, std::uint32_t recno,
                                const std::uint8_t* before, const std::uint8_t* after) = 0;
    // Records were renumbered or removed wholesale (pack, zap): rebuild from the records.
    // kept_from[i] is the old number of the record now numbered i + 1 (empty after zap).
    virtual void table_rebuilt(WriteContext& write, std::span<const std::uint32_t> kept_from) = 0;
    // The write transaction ended: committed, or aborted (after an error).
    virtual void write_ended(bool /*committed*/) {}
    // Adds one line per inconsistency of the derived data to `problem` (AdsCheckTable).
    virtual void check(const Snapshot& /*snapshot*/,
                       const std::function<void(const std::string&)>& /*problem*/) {}
};

// Told of every change a write transaction makes, before it makes it, so that the change can
// be undone later (a connection's transaction journal).
class UndoLog {
  public:
    virtual ~UndoLog() = default;
    // stored: the record as it is (status byte, then the image), nullopt for a new record.
    virtual void record_before(TableFile& file, std::uint32_t recno,
                               std::optional<std::string_view> stored) = 0;
    // value: the memo value as it is, nullopt when there is none. Told for every memo slot a
    // record change alters, before the record is stored.
    virtual void memo_before(TableFile& file, std::uint32_t recno, std::uint16_t field,
                             std::optional<std::string_view> value) = 0;
    // What a change told through record_before stores, once it is stored in the write.
    virtual void record_written(TableFile& file, std::uint32_t recno, std::uint8_t status,
                                const std::uint8_t* image) = 0;
    // The write transaction is about to commit: what was told must be on the disk first.
    virtual void make_durable() = 0;
};

// One write transaction on a table file, with the counters read at its start. Aborted at
// destruction unless committed. With an undo log, every change is told to it first.
class WriteContext : public Snapshot {
  public:
    explicit WriteContext(TableFile& file, UndoLog* undo = nullptr);
    ~WriteContext() override;  // tells the observers whether the transaction was committed
    WriteContext(const WriteContext&) = delete;
    WriteContext& operator=(const WriteContext&) = delete;
    TableFile& file() { return file_; }
    TableCounters& counters() { return counters_; }
    // Stores a record (status byte + image) and tells the observers.
    void put_record(std::uint32_t recno, std::uint8_t status, const std::uint8_t* image);
    // Removes a record and its memo values (pack, zap only).
    void remove_record(std::uint32_t recno);
    void put_memo(std::uint32_t recno, std::uint16_t field, std::string_view bytes);
    void remove_memo(std::uint32_t recno, std::uint16_t field);
    // The stored record, or nullopt.
    std::optional<std::string_view> record(std::uint32_t recno);
    void commit();  // writes the counters and commits
    // Raises the format version in the header to at least `version`; never lowers it.
    void require_format_version(std::uint32_t version);

    std::uint64_t id() const override { return transaction_->id(); }
    const Snapshot& transaction() const override { return *transaction_; }

  private:
    // Tells the undo log the memo values whose slots differ between the two images.
    void log_memos_before(std::uint32_t recno, const std::uint8_t* stored,
                          const std::uint8_t* image);

    TableFile& file_;
    UndoLog* undo_;
    std::unique_ptr<Snapshot> transaction_;
    TableCounters counters_;
    bool committed_ = false;
};

// Groups the writes this thread makes to one file into few commits, for bulk work (copies and
// loads): while it lives, each write transaction of the thread on the file is nested in the
// batch's own, and the batch commits, synced, after every `writes_per_commit` of them and when
// it finishes. A crash loses at most the writes since the batch last committed, never what was
// committed before; other connections see the writes a batch at a time. A write that fails
// takes back only itself. Batches of one thread on one file nest (the outer one commits).
// With a journal (the undo log of the transaction the writes belong to), the journal is made
// durable once before each of the batch's commits instead of before each write.
class WriteBatch {
  public:
    static constexpr std::size_t kWritesPerCommit = 4096;
    explicit WriteBatch(TableFile& file, std::size_t writes_per_commit = kWritesPerCommit,
                        UndoLog* journal = nullptr);
    // Commits what is left; a failure then is not reported (the error that ends the batch
    // early is already on its way), so bulk work calls finish() on its way out.
    ~WriteBatch();
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;
    // Commits what is left and ends the batch. Throws what the commit throws.
    void finish();
    // Whether the calling thread has a batch open on some file (its writes there are held
    // open meanwhile).
    static bool open_in_thread();

  private:
    TableFile& file_;
    bool finished_ = false;
};

// What could be read of a damaged table file without trusting its structure
// (TableFile::salvage): every record whose image and memo values verify, with its number.
struct SalvagedTable {
    TableSchema schema;
    TableOptions options;
    TableCounters counters;  // as stored, or raised to follow the records found
    std::map<std::uint32_t, std::string> records;  // status byte + image
    std::map<std::pair<std::uint32_t, std::uint16_t>, std::string> memos;
    std::vector<std::pair<std::string, std::string>> index_list;  // key, value
    std::vector<std::uint32_t> lost;  // numbers below next_record without an intact record
    // The newest commit's tree list was damaged: this is the table as the commit before left it.
    bool previous_commit = false;
};

class TableFile {
  public:
    virtual ~TableFile() = default;
    TableFile(const TableFile&) = delete;
    TableFile& operator=(const TableFile&) = delete;

    const std::string& path() const { return path_; }
    const FileIdentity& identity() const { return identity_; }
    const TableSchema& schema() const { return schema_; }
    const TableOptions& options() const { return options_; }

    // Snapshots and transactions.
    virtual std::unique_ptr<ReadSnapshot> read_snapshot() const = 0;
    // Id of the last committed transaction of the file, by any process; cheap (no system
    // call), so handles use it to tell whether what they read before is still current.
    virtual std::uint64_t last_commit_id() const = 0;
    virtual TableCounters read_counters(const Snapshot& snapshot) const = 0;
    virtual void flush() = 0;  // forces the file to disk
    // Whether commits wait for the disk (a private scratch table need not).
    virtual void set_durable(bool durable) = 0;

    // Records and memo values.
    virtual std::optional<std::string_view> record(const Snapshot& snapshot,
                                                   std::uint32_t recno) const = 0;
    virtual std::unique_ptr<RecordCursor> record_cursor(const Snapshot& snapshot) const = 0;
    // The number of stored records (deleted ones included).
    virtual std::uint64_t stored_records(const Snapshot& snapshot) const = 0;
    virtual std::optional<std::string_view> memo(const Snapshot& snapshot, std::uint32_t recno,
                                                 std::uint16_t field) const = 0;

    // Key trees: the list of index tags (index_list()) and one tree per tag. A tree opened
    // or created in a write transaction that is aborted is closed again and must be opened
    // anew; one opened in a read snapshot stays open when the snapshot is committed.
    virtual TreeId index_list() const = 0;
    // nullopt when there is no such tree and create is false. Throws VE_TOO_MANY_INDEXES
    // when the file holds no more trees.
    virtual std::optional<TreeId> open_tree(const Snapshot& snapshot, const std::string& name,
                                            bool create) = 0;
    // Removes an emptied tree for good, in a transaction of its own; best effort (an empty
    // tree left behind is harmless).
    virtual void drop_tree(TreeId tree) noexcept = 0;
    virtual std::optional<std::string_view> get(const Snapshot& snapshot, TreeId tree,
                                                std::string_view key) const = 0;
    virtual std::unique_ptr<KeyCursor> cursor(const Snapshot& snapshot, TreeId tree) const = 0;
    virtual std::uint64_t entries(const Snapshot& snapshot, TreeId tree) const = 0;
    // append: the key sorts after every key of the tree (a faster put when filling in order).
    virtual void put(WriteContext& write, TreeId tree, std::string_view key, std::string_view value,
                     bool append = false) = 0;
    // False when there was no such key.
    virtual bool remove(WriteContext& write, TreeId tree, std::string_view key) = 0;
    virtual void clear(WriteContext& write, TreeId tree) = 0;

    void add_observer(std::shared_ptr<WriteObserver> observer);
    // Called once for every file when the process first opens it, before any handle uses it:
    // the index machinery attaches its observer here. Set once, before the first open.
    using OpenHook = void (*)(TableFile& file);
    static void set_open_hook(OpenHook hook);
    static OpenHook open_hook();
    const std::vector<std::shared_ptr<WriteObserver>>& observers() const { return observers_; }

    // In-process bookkeeping of opens, for exclusive opens and for operations that need the
    // table alone (the kernel locks tell connections apart; these tell handles apart).
    void add_open_handle(bool exclusive);  // throws VE_TABLE_IN_USE
    void remove_open_handle(bool exclusive);
    int open_handles() const;

    // The records stored now (deleted ones included) and how many of them are deleted, as
    // committed when asked: for sizing long work, which may find a little more or less.
    struct Census {
        std::uint64_t records = 0;
        std::uint64_t deleted = 0;
    };
    Census census() const;

    // Removes every record and memo; the counters restart except AutoInc and RowVersion,
    // which keep rising so that values never repeat.
    virtual void zap() = 0;
    // Removes deleted records and renumbers the rest 1..n in order.
    virtual void pack() = 0;
    // Consistency check; appends one line per problem to report. True when consistent.
    virtual bool check(bool with_memos, std::string& report) const = 0;

  protected:
    TableFile(std::string path, FileIdentity identity)
        : path_(std::move(path)), identity_(identity) {}

    // What a WriteContext asks of its file.
    friend class WriteContext;
    friend class WriteBatch;
    // journalled: the writer's undo log holds the change, synced, before the commit.
    virtual std::unique_ptr<Snapshot> begin_write(bool journalled) = 0;
    virtual void begin_batch(std::size_t writes_per_commit, UndoLog* journal) = 0;
    virtual void end_batch() = 0;  // commits; the batch is over also when this throws
    // Whether the calling thread's writes on the file are in a batch that makes this undo log
    // durable before it commits them (so the writes need not each do it).
    virtual bool batch_journals(const UndoLog& undo) const = 0;
    virtual void commit_write(Snapshot& transaction, const TableCounters& counters) = 0;
    virtual void write_record(Snapshot& transaction, std::uint32_t recno, std::uint8_t status,
                              const std::uint8_t* image) = 0;
    virtual void erase_record(Snapshot& transaction, std::uint32_t recno) = 0;
    virtual void write_memo(Snapshot& transaction, std::uint32_t recno, std::uint16_t field,
                            std::string_view bytes) = 0;
    virtual void erase_memo(Snapshot& transaction, std::uint32_t recno, std::uint16_t field) = 0;
    virtual void raise_format_version(Snapshot& transaction, std::uint32_t version) = 0;

    std::string path_;
    FileIdentity identity_;
    TableSchema schema_;
    TableOptions options_;

  private:
    std::vector<std::shared_ptr<WriteObserver>> observers_;
    mutable std::mutex open_mutex_;
    int open_handles_ = 0;
    bool exclusive_ = false;
};

}  // namespace varelum::engine
