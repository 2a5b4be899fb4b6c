// Record-number order (see record_order.h).
#include "engine/table/record_order.h"

#include "engine/storage/lmdb.h"
#include "engine/storage/table_file.h"

namespace varelum::engine {

NaturalOrder::~NaturalOrder() {
    if (cursor_ != nullptr) {
        mdb_cursor_close(cursor_);
    }
}

MDB_cursor* NaturalOrder::cursor(MDB_txn* txn) {
    // A read-only cursor outlives its transaction and is renewed for the next one, which
    // spares an allocation per engine call.
    std::uint64_t id = mdb_txn_id(txn);
    if (cursor_ == nullptr) {
        check_mdb(mdb_cursor_open(txn, file_.records_db(), &cursor_), "read", file_.path());
    } else if (cursor_txn_ != txn || cursor_txnid_ != id) {
        check_mdb(mdb_cursor_renew(txn, cursor_), "read", file_.path());
    }
    cursor_txn_ = txn;
    cursor_txnid_ = id;
    return cursor_;
}

StoredRecord NaturalOrder::fetch(MDB_cursor_op op, std::uint32_t recno) {
    RecordKey key_bytes(recno);
    MDB_val key = key_bytes.val();
    MDB_val value;
    int rc = mdb_cursor_get(cursor_, &key, &value, op);
    if (rc == MDB_NOTFOUND) {
        return {};
    }
    check_mdb(rc, "read", file_.path());
    return StoredRecord{decode_record_key(key),
                        std::string_view(static_cast<const char*>(value.mv_data), value.mv_size)};
}

StoredRecord NaturalOrder::first(MDB_txn* txn) {
    cursor(txn);
    return fetch(MDB_FIRST, 0);
}

StoredRecord NaturalOrder::last(MDB_txn* txn) {
    cursor(txn);
    return fetch(MDB_LAST, 0);
}

StoredRecord NaturalOrder::after(MDB_txn* txn, std::uint32_t recno, const std::uint8_t*) {
    cursor(txn);
    if (recno == 0xFFFFFFFFu) {
        return {};
    }
    return fetch(MDB_SET_RANGE, recno + 1);
}

StoredRecord NaturalOrder::before(MDB_txn* txn, std::uint32_t recno, const std::uint8_t*) {
    cursor(txn);
    StoredRecord at = fetch(MDB_SET_RANGE, recno);
    if (at.recno == 0) {
        return fetch(MDB_LAST, 0);
    }
    return fetch(MDB_PREV, 0);
}

}  // namespace varelum::engine
