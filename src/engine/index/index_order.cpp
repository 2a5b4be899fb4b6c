// Key order over an index tag (see index_order.h).
#include "engine/index/index_order.h"

#include "engine/core/error.h"
#include "engine/index/index_catalog.h"
#include "engine/storage/table_file.h"
#include "varelum_engine.h"

namespace varelum::engine {

IndexOrder::IndexOrder(const TableFile& file, std::shared_ptr<const IndexTag> tag)
    : file_(file), tag_(std::move(tag)) {}

void IndexOrder::set_lower(std::optional<std::string> lower) {
    lower_ = std::move(lower);
}

void IndexOrder::set_limit(std::optional<std::string> limit) {
    limit_ = std::move(limit);
}

KeyCursor& IndexOrder::cursor(const Snapshot& txn) {
    if (cursor_ == nullptr) {
        cursor_ = file_.cursor(txn, tag_->tree());
    } else {
        cursor_->rebind(txn);
    }
    return *cursor_;
}

bool IndexOrder::below_lower(std::string_view entry) const {
    return lower_ && keys::compare_keys(entry, *lower_) < 0;
}

bool IndexOrder::at_or_past_limit(std::string_view entry) const {
    return limit_ && keys::compare_keys(entry, *limit_) >= 0;
}

StoredRecord IndexOrder::record_of(const Snapshot& txn, std::string_view entry) {
    std::uint32_t recno = keys::entry_record_number(entry);
    auto stored = file_.record(txn, recno);
    if (!stored) {
        fail(VE_TABLE_CORRUPT, "index " + tag_->name() + " of " + file_.path() +
                                   " holds a key of the missing record " + std::to_string(recno));
    }
    return StoredRecord{recno, *stored};
}

StoredRecord IndexOrder::land(const Snapshot& txn, bool found) {
    if (!found) {
        return {};
    }
    std::string_view entry = cursor_->key();
    if (below_lower(entry) || at_or_past_limit(entry) || entry.size() < keys::kRecordNumberLength) {
        return {};
    }
    StoredRecord record = record_of(txn, entry);
    last_entry_.assign(entry);
    last_recno_ = record.recno;
    last_txnid_ = txn.id();
    return record;
}

StoredRecord IndexOrder::first(const Snapshot& txn) {
    KeyCursor& c = cursor(txn);
    return land(txn, lower_ ? c.seek(*lower_) : c.first());
}

StoredRecord IndexOrder::last(const Snapshot& txn) {
    KeyCursor& c = cursor(txn);
    if (limit_) {
        return land(txn, c.seek(*limit_) ? c.prev() : c.last());
    }
    return land(txn, c.last());
}

std::string IndexOrder::entry_of(const Snapshot& txn, std::uint32_t recno,
                                 const std::uint8_t* image) {
    if (recno == last_recno_ && txn.id() == last_txnid_ && !last_entry_.empty()) {
        return last_entry_;
    }
    std::span<const std::uint8_t> bytes(image, file_.schema().record_length());
    return index_entry(tag_->key_ignoring_condition(bytes), recno);
}

StoredRecord IndexOrder::after(const Snapshot& txn, std::uint32_t recno,
                               const std::uint8_t* image) {
    std::string entry = entry_of(txn, recno, image);
    if (below_lower(entry)) {
        return first(txn);
    }
    KeyCursor& c = cursor(txn);
    bool found = c.seek(entry);
    if (found && c.key() == entry) {
        found = c.next();
    }
    return land(txn, found);
}

StoredRecord IndexOrder::before(const Snapshot& txn, std::uint32_t recno,
                                const std::uint8_t* image) {
    std::string entry = entry_of(txn, recno, image);
    if (at_or_past_limit(entry)) {
        return last(txn);
    }
    return before_key(txn, entry);
}

StoredRecord IndexOrder::before_key(const Snapshot& txn, std::string_view wanted) {
    KeyCursor& c = cursor(txn);
    return land(txn, c.seek(wanted) ? c.prev() : c.last());
}

StoredRecord IndexOrder::at_or_after(const Snapshot& txn, std::string_view wanted) {
    if (below_lower(wanted)) {
        return first(txn);
    }
    KeyCursor& c = cursor(txn);
    return land(txn, wanted.empty() ? c.first() : c.seek(wanted));
}

bool IndexOrder::contains(const Snapshot& txn, std::uint32_t recno, const std::uint8_t* image) {
    std::span<const std::uint8_t> bytes(image, file_.schema().record_length());
    if (!tag_->condition_holds(bytes)) {
        return false;
    }
    std::string entry = index_entry(tag_->key_ignoring_condition(bytes), recno);
    if (below_lower(entry) || at_or_past_limit(entry)) {
        return false;
    }
    if (tag_->definition().custom()) {
        return file_.get(txn, tag_->tree(), entry).has_value();
    }
    return true;
}

void IndexOrder::for_each_entry(const Snapshot& txn,
                                const std::function<bool(std::string_view)>& visit,
                                bool whole_tag) {
    KeyCursor& c = cursor(txn);
    for (bool found = lower_ && !whole_tag ? c.seek(*lower_) : c.first(); found; found = c.next()) {
        std::string_view entry = c.key();
        if ((!whole_tag && at_or_past_limit(entry)) || !visit(entry)) {
            return;
        }
    }
}

}  // namespace varelum::engine
