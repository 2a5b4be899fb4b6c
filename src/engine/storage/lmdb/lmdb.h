// Thin RAII over LMDB: checked calls, transactions that abort unless committed, and the
// big-endian keys of the table file (record numbers sort as numbers).
#pragma once

#include <lmdb.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace varelum::engine {

// Throws the engine error matching an LMDB result (VE_TABLE_FULL for a full map,
// VE_TABLE_CORRUPT for damaged pages, VE_FILE_ERROR otherwise) unless rc is MDB_SUCCESS.
void check_mdb(int rc, std::string_view operation, std::string_view path);

// A write transaction; aborted at destruction unless committed.
class WriteTransaction {
  public:
    WriteTransaction(MDB_env* env, std::string_view path);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    MDB_txn* get() const { return txn_; }
    void commit();

  private:
    MDB_txn* txn_ = nullptr;
    std::string path_;
};

// A read-only transaction kept by a table handle: renewed at the start of each engine call
// and reset at its end, so that every call sees the file as it is then.
class ReadTransaction {
  public:
    ReadTransaction() = default;
    ~ReadTransaction();
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;
    void begin(MDB_env* env, std::string_view path);  // begins or renews
    void end();                                       // resets (keeps the reader slot)
    void close();                                     // aborts, releasing the reader slot
    // Commits: a transaction that opened sub-databases must, for their handles to stay open.
    void commit(std::string_view path);
    MDB_txn* get() const { return txn_; }
    bool active() const { return active_; }

  private:
    MDB_txn* txn_ = nullptr;
    bool active_ = false;
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
