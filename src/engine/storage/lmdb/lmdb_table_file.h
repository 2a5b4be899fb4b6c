// The table file kept in LMDB: one environment (MDB_NOSUBDIR) at the table's path holding the
// header, the field descriptions, the records, the memo values, the index list and one
// sub-database per index tag (docs/table-format.md gives the format field by field).
//
// A process opens each file once: open finds the file's environment in a process-wide
// registry keyed by device and inode, so every handle on the file shares one MDB_env (LMDB
// forbids opening one environment twice in a process).
#pragma once

#include <lmdb.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "engine/storage/lmdb/lmdb.h"
#include "engine/storage/table_file.h"

namespace varelum::engine {

// A snapshot of an LMDB table file: a read transaction kept by a handle, or the write
// transaction of a WriteContext (whose begin, end and close do nothing).
class LmdbSnapshot : public ReadSnapshot {
  public:
    virtual MDB_txn* txn() const = 0;
    std::uint64_t id() const override { return mdb_txn_id(txn()); }
    // Rises whenever txn() is renewed (a read transaction); cursors bound to it before must
    // be renewed then, even when the snapshot id is the same.
    virtual std::uint64_t renewals() const { return 0; }
};

class LmdbTableFile final : public TableFile {
  public:
    // Writes a new, empty table file at path (which nobody may use yet: the folder store
    // writes it under a staging name and renames it into place), synced unless not durable.
    // Throws VE_FILE_ERROR.
    static void write_new(const std::string& path, const TableSchema& schema,
                          const TableOptions& options, bool durable = true);
    // The process's file at path, opened and validated on first use (see TableStore::open).
    static std::shared_ptr<TableFile> open(const std::string& path);
    // Whether a handle of this process has the file at path open.
    static bool open_in_process(const std::string& path);
    // Closes the file at path if the process keeps it open only for a next open.
    static void release_kept(const std::string& path);

    ~LmdbTableFile() override;

    std::unique_ptr<ReadSnapshot> read_snapshot() const override;
    std::uint64_t last_commit_id() const override;
    TableCounters read_counters(const Snapshot& snapshot) const override;
    void flush() override;
    void set_durable(bool durable) override;

    std::optional<std::string_view> record(const Snapshot& snapshot,
                                           std::uint32_t recno) const override;
    std::unique_ptr<RecordCursor> record_cursor(const Snapshot& snapshot) const override;
    std::uint64_t stored_records(const Snapshot& snapshot) const override;
    std::optional<std::string_view> memo(const Snapshot& snapshot, std::uint32_t recno,
                                         std::uint16_t field) const override;

    TreeId index_list() const override { return indexes_; }
    std::optional<TreeId> open_tree(const Snapshot& snapshot, const std::string& name,
                                    bool create) override;
    void drop_tree(TreeId tree) noexcept override;
    std::optional<std::string_view> get(const Snapshot& snapshot, TreeId tree,
                                        std::string_view key) const override;
    std::unique_ptr<KeyCursor> cursor(const Snapshot& snapshot, TreeId tree) const override;
    std::uint64_t entries(const Snapshot& snapshot, TreeId tree) const override;
    void put(WriteContext& write, TreeId tree, std::string_view key, std::string_view value,
             bool append) override;
    bool remove(WriteContext& write, TreeId tree, std::string_view key) override;
    void clear(WriteContext& write, TreeId tree) override;

    void zap() override;
    void pack() override;
    bool check(bool with_memos, std::string& report) const override;

  protected:
    std::unique_ptr<Snapshot> begin_write(bool journalled) override;
    void begin_batch(std::size_t writes_per_commit, UndoLog* journal) override;
    void end_batch() override;
    bool batch_journals(const UndoLog& undo) const override;
    void commit_write(Snapshot& transaction, const TableCounters& counters) override;
    void write_record(Snapshot& transaction, std::uint32_t recno, std::uint8_t status,
                      const std::uint8_t* image) override;
    void erase_record(Snapshot& transaction, std::uint32_t recno) override;
    void write_memo(Snapshot& transaction, std::uint32_t recno, std::uint16_t field,
                    std::string_view bytes) override;
    void erase_memo(Snapshot& transaction, std::uint32_t recno, std::uint16_t field) override;
    void raise_format_version(Snapshot& transaction, std::uint32_t version) override;

  private:
    LmdbTableFile(std::string path, FileIdentity identity, MDB_env* env);
    void load();
    // Whether a file kept open can serve a new open: opened under the size limit now in force,
    // and still taking transactions (the storage library refuses every one after a failed
    // write of its own header).
    bool reusable() const;
    // What an error reading or writing a tree is called: index trees by that name.
    const char* reading(TreeId tree) const;
    const char* writing(TreeId tree) const;

    // Walks the file's pages before anything reads it through LMDB (page_check.h).
    void check_pages();

    // Whether the calling thread has a batch open on the file.
    bool in_batch() const;
    // Commits a batch's transaction, the journal (if any) made durable first; on failure the
    // transaction is gone and nothing of it reached the file.
    void commit_batch(MDB_txn* txn, UndoLog* journal);

    MDB_env* env_ = nullptr;
    // The open write batch (WriteBatch): its transaction, the thread that owns it (only that
    // thread reads the other members), how deeply batches nest, the writes since its
    // last commit and the journal made durable before each commit.
    MDB_txn* batch_ = nullptr;
    UndoLog* batch_journal_ = nullptr;
    std::atomic<std::thread::id> batch_thread_{};
    int batch_depth_ = 0;
    std::size_t batch_writes_ = 0, batch_limit_ = 0;
    std::uint32_t format_version_ = 0;  // as loaded: below 3, records may lack checksums
    // The version the fields need (format_version_for); a write raises the file to it.
    std::uint32_t content_version_ = kChecksumFormatVersion;
    // Rises whenever a tree is opened or dropped: read transactions parked before then must
    // be renewed to see it.
    std::atomic<std::uint64_t> trees_opened_{0};
    MDB_dbi meta_ = 0, fields_ = 0, indexes_ = 0, records_ = 0, memos_ = 0;
};

// The LMDB transaction behind a snapshot of an LmdbTableFile.
inline MDB_txn* txn_of(const Snapshot& snapshot) {
    return static_cast<const LmdbSnapshot&>(snapshot.transaction()).txn();
}

}  // namespace varelum::engine
