// Key order over an index tag (see index_order.h).
#include "engine/index/index_order.h"

#include <cstring>

#include "engine/core/error.h"
#include "engine/index/index_catalog.h"
#include "engine/storage/lmdb.h"
#include "engine/storage/table_file.h"
#include "varelum_engine.h"

namespace varelum::engine {

IndexOrder::IndexOrder(const TableFile& file, std::shared_ptr<const IndexTag> tag)
    : file_(file), tag_(std::move(tag)) {}

IndexOrder::~IndexOrder() {
    if (cursor_ != nullptr) {
        mdb_cursor_close(cursor_);
    }
}

void IndexOrder::set_lower(std::optional<std::string> lower) {
    lower_ = std::move(lower);
}

void IndexOrder::set_limit(std::optional<std::string> limit) {
    limit_ = std::move(limit);
}

MDB_cursor* IndexOrder::cursor(MDB_txn* txn) {
    std::uint64_t id = mdb_txn_id(txn);
    if (cursor_ == nullptr) {
        check_mdb(mdb_cursor_open(txn, tag_->dbi(), &cursor_), "read index", file_.path());
    } else if (cursor_txn_ != txn || cursor_txnid_ != id) {
        check_mdb(mdb_cursor_renew(txn, cursor_), "read index", file_.path());
    }
    cursor_txn_ = txn;
    cursor_txnid_ = id;
    return cursor_;
}

bool IndexOrder::below_lower(std::string_view entry) const {
    return lower_ && keys::compare_keys(entry, *lower_) < 0;
}

bool IndexOrder::at_or_past_limit(std::string_view entry) const {
    return limit_ && keys::compare_keys(entry, *limit_) >= 0;
}

StoredRecord IndexOrder::record_of(MDB_txn* txn, std::string_view entry) {
    std::uint32_t recno = keys::entry_record_number(entry);
    RecordKey key(recno);
    MDB_val k = key.val();
    MDB_val value;
    int rc = mdb_get(txn, file_.records_db(), &k, &value);
    if (rc == MDB_NOTFOUND) {
        fail(VE_TABLE_CORRUPT, "index " + tag_->name() + " of " + file_.path() +
                                   " holds a key of the missing record " + std::to_string(recno));
    }
    check_mdb(rc, "read", file_.path());
    return StoredRecord{recno,
                        std::string_view(static_cast<const char*>(value.mv_data), value.mv_size)};
}

StoredRecord IndexOrder::land(MDB_txn* txn, bool found, const MDB_val& key) {
    if (!found) {
        return {};
    }
    std::string_view entry(static_cast<const char*>(key.mv_data), key.mv_size);
    if (below_lower(entry) || at_or_past_limit(entry) || entry.size() < keys::kRecordNumberLength) {
        return {};
    }
    StoredRecord record = record_of(txn, entry);
    last_entry_.assign(entry);
    last_recno_ = record.recno;
    last_txnid_ = mdb_txn_id(txn);
    return record;
}

StoredRecord IndexOrder::first(MDB_txn* txn) {
    MDB_cursor* c = cursor(txn);
    MDB_val key{}, value{};
    int rc;
    if (lower_) {
        key = MDB_val{lower_->size(), lower_->data()};
        rc = mdb_cursor_get(c, &key, &value, MDB_SET_RANGE);
    } else {
        rc = mdb_cursor_get(c, &key, &value, MDB_FIRST);
    }
    if (rc != MDB_NOTFOUND) {
        check_mdb(rc, "read index", file_.path());
    }
    return land(txn, rc == MDB_SUCCESS, key);
}

StoredRecord IndexOrder::last(MDB_txn* txn) {
    MDB_cursor* c = cursor(txn);
    MDB_val key{}, value{};
    int rc = MDB_NOTFOUND;
    if (limit_) {
        key = MDB_val{limit_->size(), limit_->data()};
        rc = mdb_cursor_get(c, &key, &value, MDB_SET_RANGE);
        rc = rc == MDB_SUCCESS ? mdb_cursor_get(c, &key, &value, MDB_PREV)
                               : mdb_cursor_get(c, &key, &value, MDB_LAST);
    } else {
        rc = mdb_cursor_get(c, &key, &value, MDB_LAST);
    }
    if (rc != MDB_NOTFOUND) {
        check_mdb(rc, "read index", file_.path());
    }
    return land(txn, rc == MDB_SUCCESS, key);
}

std::string IndexOrder::entry_of(MDB_txn* txn, std::uint32_t recno, const std::uint8_t* image) {
    if (recno == last_recno_ && mdb_txn_id(txn) == last_txnid_ && !last_entry_.empty()) {
        return last_entry_;
    }
    std::span<const std::uint8_t> bytes(image, file_.schema().record_length());
    return index_entry(tag_->key_ignoring_condition(bytes), recno);
}

StoredRecord IndexOrder::after(MDB_txn* txn, std::uint32_t recno, const std::uint8_t* image) {
    std::string entry = entry_of(txn, recno, image);
    if (below_lower(entry)) {
        return first(txn);
    }
    MDB_cursor* c = cursor(txn);
    MDB_val key{entry.size(), entry.data()}, value{};
    int rc = mdb_cursor_get(c, &key, &value, MDB_SET_RANGE);
    if (rc == MDB_SUCCESS && key.mv_size == entry.size() &&
        std::memcmp(key.mv_data, entry.data(), entry.size()) == 0) {
        rc = mdb_cursor_get(c, &key, &value, MDB_NEXT);
    }
    if (rc != MDB_NOTFOUND) {
        check_mdb(rc, "read index", file_.path());
    }
    return land(txn, rc == MDB_SUCCESS, key);
}

StoredRecord IndexOrder::before(MDB_txn* txn, std::uint32_t recno, const std::uint8_t* image) {
    std::string entry = entry_of(txn, recno, image);
    if (at_or_past_limit(entry)) {
        return last(txn);
    }
    return before_key(txn, entry);
}

StoredRecord IndexOrder::before_key(MDB_txn* txn, std::string_view wanted) {
    MDB_cursor* c = cursor(txn);
    MDB_val key{wanted.size(), const_cast<char*>(wanted.data())}, value{};
    int rc = mdb_cursor_get(c, &key, &value, MDB_SET_RANGE);
    rc = rc == MDB_SUCCESS ? mdb_cursor_get(c, &key, &value, MDB_PREV)
                           : mdb_cursor_get(c, &key, &value, MDB_LAST);
    if (rc != MDB_NOTFOUND) {
        check_mdb(rc, "read index", file_.path());
    }
    return land(txn, rc == MDB_SUCCESS, key);
}

StoredRecord IndexOrder::at_or_after(MDB_txn* txn, std::string_view wanted) {
    if (below_lower(wanted)) {
        return first(txn);
    }
    MDB_cursor* c = cursor(txn);
    MDB_val key{wanted.size(), const_cast<char*>(wanted.data())}, value{};
    int rc = wanted.empty() ? mdb_cursor_get(c, &key, &value, MDB_FIRST)
                            : mdb_cursor_get(c, &key, &value, MDB_SET_RANGE);
    if (rc != MDB_NOTFOUND) {
        check_mdb(rc, "read index", file_.path());
    }
    return land(txn, rc == MDB_SUCCESS, key);
}

bool IndexOrder::contains(MDB_txn* txn, std::uint32_t recno, const std::uint8_t* image) {
    std::span<const std::uint8_t> bytes(image, file_.schema().record_length());
    if (!tag_->condition_holds(bytes)) {
        return false;
    }
    std::string entry = index_entry(tag_->key_ignoring_condition(bytes), recno);
    if (below_lower(entry) || at_or_past_limit(entry)) {
        return false;
    }
    if (tag_->definition().custom()) {
        MDB_val key{entry.size(), entry.data()}, value;
        int rc = mdb_get(txn, tag_->dbi(), &key, &value);
        if (rc != MDB_NOTFOUND) {
            check_mdb(rc, "read index", file_.path());
        }
        return rc == MDB_SUCCESS;
    }
    return true;
}

void IndexOrder::for_each_entry(MDB_txn* txn, const std::function<bool(std::string_view)>& visit,
                                bool whole_tag) {
    MDB_cursor* c = cursor(txn);
    MDB_val key{}, value{};
    int rc;
    if (lower_ && !whole_tag) {
        key = MDB_val{lower_->size(), lower_->data()};
        rc = mdb_cursor_get(c, &key, &value, MDB_SET_RANGE);
    } else {
        rc = mdb_cursor_get(c, &key, &value, MDB_FIRST);
    }
    while (rc == MDB_SUCCESS) {
        std::string_view entry(static_cast<const char*>(key.mv_data), key.mv_size);
        if ((!whole_tag && at_or_past_limit(entry)) || !visit(entry)) {
            return;
        }
        rc = mdb_cursor_get(c, &key, &value, MDB_NEXT);
    }
    if (rc != MDB_NOTFOUND) {
        check_mdb(rc, "read index", file_.path());
    }
}

}  // namespace varelum::engine
