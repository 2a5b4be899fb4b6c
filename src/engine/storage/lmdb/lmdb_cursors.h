// The snapshots and cursors of an LMDB table file: a handle's read transaction, a write
// context's transaction, a cursor over one sub-database and record-number order over the
// records. Cursors keep pointers into the file's path; they live no longer than the file.
#pragma once

#include <lmdb.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/lmdb/lmdb.h"
#include "engine/storage/lmdb/lmdb_encoding.h"
#include "engine/storage/lmdb/lmdb_table_file.h"

namespace varelum::engine {

// A handle's read transaction (see ReadSnapshot).
class LmdbRead final : public LmdbSnapshot {
  public:
    LmdbRead(MDB_env* env, const std::string& path, const std::atomic<std::uint64_t>& trees)
        : env_(env), path_(path), trees_(trees) {}
    MDB_txn* txn() const override { return txn_.get(); }
    void begin() override { txn_.begin(env_, path_, trees_.load(std::memory_order_acquire)); }
    void end() override { txn_.end(); }
    void close() override { txn_.close(); }
    void commit() override { txn_.commit(path_); }
    bool active() const override { return txn_.active(); }
    std::uint64_t renewals() const override { return txn_.renewals(); }

  private:
    MDB_env* env_;
    const std::string& path_;
    const std::atomic<std::uint64_t>& trees_;
    ReadTransaction txn_;
};

// The write transaction of a WriteContext (nested in a batch's when one is open).
class LmdbWrite final : public LmdbSnapshot {
  public:
    LmdbWrite(MDB_env* env, const std::string& path, MDB_txn* batch, bool synced)
        : txn_(env, path, batch, synced), in_batch_(batch != nullptr) {}
    bool in_batch() const { return in_batch_; }
    MDB_txn* txn() const override { return txn_.get(); }
    void begin() override {}
    void end() override {}
    void close() override {}
    void commit() override { txn_.commit(); }
    bool active() const override { return txn_.get() != nullptr; }

  private:
    WriteTransaction txn_;
    bool in_batch_;
};

// A cursor over one sub-database, kept across snapshots (renewed rather than reopened).
class LmdbKeyCursor final : public KeyCursor {
  public:
    LmdbKeyCursor(const Snapshot& snapshot, MDB_dbi dbi, const std::string& path,
                  const char* operation)
        : dbi_(dbi), path_(path), operation_(operation) {
        rebind(snapshot);
    }
    ~LmdbKeyCursor() override {
        if (cursor_ != nullptr) {
            mdb_cursor_close(cursor_);
        }
    }
    bool first() override { return move(MDB_FIRST); }
    bool last() override { return move(MDB_LAST); }
    bool seek(std::string_view key) override {
        key_ = lmdb_encoding::bytes_val(key);
        return move(MDB_SET_RANGE);
    }
    bool next() override { return move(MDB_NEXT); }
    bool prev() override { return move(MDB_PREV); }
    std::string_view key() const override { return lmdb_encoding::view_of(key_); }
    std::string_view value() const override { return lmdb_encoding::view_of(value_); }
    void rebind(const Snapshot& snapshot) override {
        // A read-only cursor outlives its transaction and is renewed for the next one, which
        // spares an allocation per engine call. (A write transaction's cursor must not outlive
        // its transaction: LMDB frees it at the transaction's end.)
        MDB_txn* txn = txn_of(snapshot);
        std::uint64_t id = mdb_txn_id(txn);
        std::uint64_t renewals =
            static_cast<const LmdbSnapshot&>(snapshot.transaction()).renewals();
        if (cursor_ == nullptr) {
            check_mdb(mdb_cursor_open(txn, dbi_, &cursor_), operation_, path_);
            positioned_ = false;
        } else if (txn != txn_ || id != txnid_ || renewals != renewals_) {
            check_mdb(mdb_cursor_renew(txn, cursor_), operation_, path_);
            positioned_ = false;
        }
        txn_ = txn;
        txnid_ = id;
        renewals_ = renewals;
    }
    // Whether the last move found an entry in the snapshot the cursor is still bound to.
    bool positioned() const { return positioned_; }

  private:
    bool move(MDB_cursor_op op) {
        positioned_ = false;
        int rc = mdb_cursor_get(cursor_, &key_, &value_, op);
        if (rc == MDB_NOTFOUND) {
            return false;
        }
        check_mdb(rc, operation_, path_);
        positioned_ = true;
        return true;
    }

    MDB_dbi dbi_;
    const std::string& path_;
    const char* operation_;
    MDB_cursor* cursor_ = nullptr;
    MDB_txn* txn_ = nullptr;
    std::uint64_t txnid_ = 0;
    std::uint64_t renewals_ = 0;
    bool positioned_ = false;
    MDB_val key_{};
    MDB_val value_{};
};

// Record-number order over the records sub-database.
class LmdbRecordCursor final : public RecordCursor {
  public:
    LmdbRecordCursor(const Snapshot& snapshot, MDB_dbi dbi, const std::string& path,
                     std::uint32_t length)
        : cursor_(snapshot, dbi, path, "read"), path_(path), length_(length) {}
    StoredRecord first() override { return found(cursor_.first()); }
    StoredRecord last() override { return found(cursor_.last()); }
    StoredRecord at_or_after(std::uint32_t recno) override {
        RecordKey key(recno);
        return found(cursor_.seek(std::string_view(reinterpret_cast<const char*>(key.bytes), 4)));
    }
    StoredRecord next() override { return found(cursor_.next()); }
    StoredRecord prev() override { return found(cursor_.prev()); }
    void rebind(const Snapshot& snapshot) override { cursor_.rebind(snapshot); }
    std::uint32_t position() const override {
        if (!cursor_.positioned()) {
            return 0;
        }
        std::string_view key = cursor_.key();
        MDB_val k{key.size(), const_cast<char*>(key.data())};
        return decode_record_key(k);
    }
    std::size_t read_ahead(std::size_t count,
                           const std::function<void(const StoredRecord&)>& take) override {
        ahead_recnos_.clear();
        ahead_bytes_.clear();
        while (ahead_recnos_.size() < count && cursor_.next()) {
            ahead_recnos_.push_back(position());
            ahead_bytes_.push_back(cursor_.value());
        }
        std::size_t good = lmdb_encoding::verified_prefix(ahead_bytes_, length_);
        for (std::size_t i = 0; i < good; ++i) {
            take(StoredRecord{ahead_recnos_[i], ahead_bytes_[i]});
        }
        return good;
    }

  private:
    StoredRecord found(bool any) {
        if (!any) {
            return {};
        }
        std::string_view key = cursor_.key();
        MDB_val k{key.size(), const_cast<char*>(key.data())};
        std::uint32_t recno = decode_record_key(k);
        return StoredRecord{recno,
                            lmdb_encoding::verified_record(cursor_.value(), length_, recno, path_)};
    }

    LmdbKeyCursor cursor_;
    const std::string& path_;
    std::uint32_t length_;
    // What read_ahead gathered, kept to spare an allocation per call.
    std::vector<std::uint32_t> ahead_recnos_;
    std::vector<std::string_view> ahead_bytes_;
};

}  // namespace varelum::engine
