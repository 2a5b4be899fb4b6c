// Thin RAII over LMDB: checked calls, transactions that abort unless committed, and the
// big-endian keys of the table file (record numbers sort as numbers).
#pragma once

#include <lmdb.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/storage/lmdb/parked_reads.h"

namespace varelum::engine {

// Throws the engine error matching an LMDB result (VE_TABLE_FULL for a full map,
// VE_TABLE_CORRUPT for damaged pages, VE_FILE_ERROR otherwise) unless rc is MDB_SUCCESS.
void check_mdb(int rc, std::string_view operation, std::string_view path);

// Makes the last commit of env durable (its header page too): every file is opened with the
// header write unsynced, which keeps the file whole on a power cut but may lose the last
// commits until this runs. A no-op for a file opened without syncs (a private scratch table).
void sync_committed(MDB_env* env, std::string_view path);

// A write transaction (nested in parent when given); aborted at destruction unless committed.
// A commit waits for the disk, unless `synced` is false: the caller then holds its own synced
// record of the change (a transaction journal) and syncs the file later.
class WriteTransaction {
  public:
    WriteTransaction(MDB_env* env, std::string_view path, MDB_txn* parent = nullptr,
                     bool synced = true);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    MDB_txn* get() const { return txn_; }
    void commit();

  private:
    MDB_txn* txn_ = nullptr;
    MDB_env* env_ = nullptr;
    bool nested_ = false;
    bool synced_ = true;
    std::string path_;
};

// A read-only transaction kept by a table handle. Each engine call begins it and ends it:
// a call sees the file as last committed when it begins, and between calls the transaction
// stays parked (parked_reads.h) so that the next call, when nothing was committed meanwhile,
// goes on in the same snapshot with its cursors where they were.
class ReadTransaction {
  public:
    ReadTransaction() = default;
    ~ReadTransaction();
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;
    // Begins, renews, or takes the parked snapshot back when it is still the latest and the
    // file's open trees (counted by `trees`, which rises with each one opened) are the same.
    void begin(MDB_env* env, std::string_view path, std::uint64_t trees = 0);
    void end();    // parks it
    void close();  // aborts, releasing the reader slot
    // Commits: a transaction that opened sub-databases must, for their handles to stay open.
    void commit(std::string_view path);
    MDB_txn* get() const { return txn_; }
    bool active() const { return parked_.in_call(); }
    // Rises with every renewal: cursors kept from before must be renewed too.
    std::uint64_t renewals() const { return renewals_; }

  private:
    MDB_txn* txn_ = nullptr;
    MDB_env* env_ = nullptr;
    std::uint64_t renewals_ = 0;
    std::uint64_t trees_ = 0;
    std::uint64_t commits_at_begin_ = 0;  // ParkedRead::commits() when the call took it
    ParkedRead parked_;
};

// An LMDB cursor closed at destruction.
class Cursor {
  public:
    Cursor(MDB_txn* txn, MDB_dbi dbi, std::string_view path);
    ~Cursor();
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;
    // Positions with op; false when there is no such entry.
    bool move(MDB_cursor_op op, MDB_val* key, MDB_val* value);
    MDB_cursor* get() const { return cursor_; }

  private:
    MDB_cursor* cursor_ = nullptr;
    std::string path_;
};

struct RecordKey {
    std::uint8_t bytes[4];
    explicit RecordKey(std::uint32_t recno);
    MDB_val val() { return MDB_val{sizeof bytes, bytes}; }
};

struct MemoKey {
    std::uint8_t bytes[6];
    MemoKey(std::uint32_t recno, std::uint16_t field);
    MDB_val val() { return MDB_val{sizeof bytes, bytes}; }
};

std::uint32_t decode_record_key(const MDB_val& key);
std::uint16_t decode_memo_field(const MDB_val& key);

}  // namespace varelum::engine
