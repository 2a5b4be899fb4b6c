// LMDB wrappers (see lmdb.h).
#include "engine/storage/lmdb/lmdb.h"

#include "engine/core/error.h"
#include "engine/format/coding.h"
#include "varelum_engine.h"

namespace varelum::engine {

void check_mdb(int rc, std::string_view operation, std::string_view path) {
    if (rc == MDB_SUCCESS) {
        return;
    }
    std::string detail(operation);
    detail += " ";
    detail += path;
    detail += " (";
    detail += mdb_strerror(rc);
    detail += ")";
    switch (rc) {
        case MDB_MAP_FULL:
        case MDB_TXN_FULL:
        case ENOSPC:
            fail(VE_TABLE_FULL, detail);
        case MDB_CORRUPTED:
        case MDB_INVALID:
        case MDB_PAGE_NOTFOUND:
        case MDB_BAD_TXN:
        case MDB_INCOMPATIBLE:
            fail(VE_TABLE_CORRUPT, detail);
        case MDB_VERSION_MISMATCH:
            fail(VE_TABLE_VERSION, detail);
        case MDB_PANIC:
            // LMDB refuses the file for the rest of the process after its header page could
            // not be written; what was committed is intact once the file is opened afresh.
            fail(VE_FILE_ERROR, detail + "; close the table on every handle and open it again");
        case ENOMEM:
            fail(VE_OUT_OF_MEMORY, detail);
        default:
            fail(VE_FILE_ERROR, detail);
    }
}

void sync_committed(MDB_env* env, std::string_view path) {
    check_mdb(mdb_env_sync(env, 0), "commit to", path);
}

WriteTransaction::WriteTransaction(MDB_env* env, std::string_view path, MDB_txn* parent,
                                   bool synced)
    : env_(env), nested_(parent != nullptr), synced_(synced), path_(path) {
    check_mdb(mdb_txn_begin(env, parent, 0, &txn_), "begin writing", path_);
}

WriteTransaction::~WriteTransaction() {
    if (txn_ != nullptr) {
        mdb_txn_abort(txn_);
    }
}

void WriteTransaction::commit() {
    MDB_txn* txn = txn_;
    txn_ = nullptr;  // a failed commit frees the transaction too
    check_mdb(mdb_txn_commit(txn), "commit to", path_);
    if (!nested_) {  // a nested commit changes nothing another snapshot could see
        ParkedRead::end_parked(env_);
        if (synced_) {
            sync_committed(env_, path_);
        }
    }
}

ReadTransaction::~ReadTransaction() {
    close();
}

void ReadTransaction::begin(MDB_env* env, std::string_view path, std::uint64_t trees) {
    if (parked_.in_call()) {
        return;
    }
    commits_at_begin_ = ParkedRead::commits();  // before the snapshot is found the latest
    if (txn_ != nullptr && parked_.resume()) {
        MDB_envinfo info;
        mdb_env_info(env, &info);
        if (info.me_last_txnid == mdb_txn_id(txn_) && trees == trees_) {
            return;  // nothing committed since it was parked: the same snapshot
        }
        mdb_txn_reset(txn_);
    }
    trees_ = trees;
    env_ = env;
    if (txn_ == nullptr) {
        check_mdb(mdb_txn_begin(env, nullptr, MDB_RDONLY, &txn_), "begin reading", path);
    } else {
        int rc = mdb_txn_renew(txn_);
        if (rc != MDB_SUCCESS) {
            mdb_txn_abort(txn_);
            txn_ = nullptr;
            check_mdb(mdb_txn_begin(env, nullptr, MDB_RDONLY, &txn_), "begin reading", path);
        }
    }
    ++renewals_;
    parked_.txn = txn_;
    parked_.env.store(env, std::memory_order_relaxed);
    parked_.enter();
}

void ReadTransaction::end() {
    if (!parked_.in_call()) {
        return;
    }
    // A snapshot that a commit of this process has passed during the call (the handle's own
    // write, often) is not parked: it would pin the pages that commit replaced, and is renewed
    // anyway. One passed by another process's commit is found stale by the next call, or ended
    // by the reaper if the handle stays idle.
    if (ParkedRead::commits() != commits_at_begin_) {
        mdb_txn_reset(txn_);
        parked_.stop();
        return;
    }
    parked_.park();
}

void ReadTransaction::close() {
    parked_.stop();
    if (txn_ != nullptr) {
        mdb_txn_abort(txn_);
        txn_ = nullptr;
    }
}

void ReadTransaction::commit(std::string_view path) {
    parked_.stop();
    MDB_txn* txn = txn_;
    txn_ = nullptr;
    if (txn != nullptr) {
        check_mdb(mdb_txn_commit(txn), "open", path);
    }
}

Cursor::Cursor(MDB_txn* txn, MDB_dbi dbi, std::string_view path) : path_(path) {
    check_mdb(mdb_cursor_open(txn, dbi, &cursor_), "read", path_);
}

Cursor::~Cursor() {
    if (cursor_ != nullptr) {
        mdb_cursor_close(cursor_);
    }
}

bool Cursor::move(MDB_cursor_op op, MDB_val* key, MDB_val* value) {
    int rc = mdb_cursor_get(cursor_, key, value, op);
    if (rc == MDB_NOTFOUND) {
        return false;
    }
    check_mdb(rc, "read", path_);
    return true;
}

RecordKey::RecordKey(std::uint32_t recno) {
    format::put_big_endian32(bytes, recno);
}

MemoKey::MemoKey(std::uint32_t recno, std::uint16_t field) {
    RecordKey record(recno);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = record.bytes[i];
    }
    bytes[4] = static_cast<std::uint8_t>(field >> 8);
    bytes[5] = static_cast<std::uint8_t>(field);
}

std::uint32_t decode_record_key(const MDB_val& key) {
    if (key.mv_size < 4) {
        return 0;
    }
    return format::big_endian32(key.mv_data);
}

std::uint16_t decode_memo_field(const MDB_val& key) {
    const auto* b = static_cast<const std::uint8_t*>(key.mv_data);
    if (key.mv_size < 6) {
        return 0;
    }
    return static_cast<std::uint16_t>((b[4] << 8) | b[5]);
}

}  // namespace varelum::engine
