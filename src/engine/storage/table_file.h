// One table file: an LMDB environment (MDB_NOSUBDIR) at the table's path holding the header,
// the field descriptions, the records and the memo values in named sub-databases
// (docs/table-format.md gives the format field by field).
//
// A process opens each file once: TableFile::open finds the file's environment in a
// process-wide registry keyed by device and inode, so every handle on the file shares one
// MDB_env (LMDB forbids opening one environment twice in a process). Every change is one
// write transaction (WriteTransaction) that covers the record, its memo values and, through
// the WriteObserver hooks, every index key, so that data and indexes never disagree and a
// crash loses nothing that was committed.
#pragma once

#include <lmdb.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/record/schema.h"
#include "engine/storage/lmdb.h"

namespace varelum::engine {

// Stored in every table file; never reuse a value. 1: no index tags; 2: may hold index tags
// (an engine that knows only version 1 would write records without keeping them in step).
constexpr std::uint32_t kFormatVersion = 2;
constexpr std::uint8_t kRecordDeleted = 0x01;  // status byte of a stored record

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
    virtual void check(MDB_txn* /*txn*/,
                       const std::function<void(const std::string&)>& /*problem*/) {}
};

class TableFile;

// One write transaction on a table file, with the counters read at its start.
class WriteContext {
  public:
    explicit WriteContext(TableFile& file);
    ~WriteContext();  // tells the observers whether the transaction was committed
    WriteContext(const WriteContext&) = delete;
    WriteContext& operator=(const WriteContext&) = delete;
    TableFile& file() { return file_; }
    MDB_txn* txn() { return txn_.get(); }
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
    // Raises the format version in the header to at least `version` (index tags need 2).
    void require_format_version(std::uint32_t version);

  private:
    TableFile& file_;
    WriteTransaction txn_;
    TableCounters counters_;
    bool committed_ = false;
};

class TableFile {
  public:
    // Creates the file (replacing one that nobody has open). Atomic: the table appears whole
    // or not at all. Throws VE_TABLE_IN_USE, VE_FILE_ERROR.
    static void create(const std::string& path, const TableSchema& schema,
                       const TableOptions& options);
    // The process's TableFile of the file at path, opened and validated on first use.
    // Throws VE_TABLE_NOT_FOUND, VE_TABLE_CORRUPT, VE_TABLE_VERSION, VE_FILE_ERROR.
    static std::shared_ptr<TableFile> open(const std::string& path);
    // Whether this process has the file open (by any handle).
    static bool open_in_process(const std::string& path);

    ~TableFile();
    TableFile(const TableFile&) = delete;
    TableFile& operator=(const TableFile&) = delete;

    const std::string& path() const { return path_; }
    const TableSchema& schema() const { return schema_; }
    const TableOptions& options() const { return options_; }
    MDB_env* env() const { return env_; }
    MDB_dbi records_db() const { return records_; }
    MDB_dbi memos_db() const { return memos_; }
    MDB_dbi meta_db() const { return meta_; }
    MDB_dbi indexes_db() const { return indexes_; }
    // Id of the last committed transaction of the file, by any process; cheap (no system
    // call), so handles use it to tell whether what they read before is still current.
    std::uint64_t last_txnid() const;
    TableCounters read_counters(MDB_txn* txn) const;
    void flush();  // forces the file to disk

    void add_observer(std::shared_ptr<WriteObserver> observer);
    // Called once for every file when the process first opens it, before any handle uses it:
    // the index machinery attaches its observer here. Set once, before the first open.
    using OpenHook = void (*)(TableFile& file);
    static void set_open_hook(OpenHook hook);
    const std::vector<std::shared_ptr<WriteObserver>>& observers() const { return observers_; }

    // In-process bookkeeping of opens, for exclusive opens and for operations that need the
    // table alone (the kernel locks tell connections apart; these tell handles apart).
    void add_open_handle(bool exclusive);  // throws VE_TABLE_IN_USE
    void remove_open_handle(bool exclusive);
    int open_handles() const;

    // Removes every record and memo; the counters restart except AutoInc and RowVersion,
    // which keep rising so that values never repeat.
    void zap();
    // Removes deleted records and renumbers the rest 1..n in order.
    void pack();
    // Consistency check; appends one line per problem to report. True when consistent.
    bool check(bool with_memos, std::string& report) const;

  private:
    TableFile(std::string path, MDB_env* env);
    void load();

    std::string path_;
    MDB_env* env_ = nullptr;
    MDB_dbi meta_ = 0, fields_ = 0, indexes_ = 0, records_ = 0, memos_ = 0;
    TableSchema schema_;
    TableOptions options_;
    std::vector<std::shared_ptr<WriteObserver>> observers_;
    mutable std::mutex open_mutex_;
    int open_handles_ = 0;
    bool exclusive_ = false;
};

}  // namespace varelum::engine
