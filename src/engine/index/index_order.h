// Key order over one index tag: the RecordOrder an index handle gives its table, bounded by
// the handle's scopes. Also the positioning that seeks need (the first entry at or after a
// key, the last entry before one) and the walk over the entries in scope that counts and key
// positions use.
//
// The order remembers the entry it returned last, so stepping from that record (the usual
// case) needs no key computation; from any other record the key is computed from its image.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/index/index_tag.h"
#include "engine/table/record_order.h"

namespace varelum::engine {

class TableFile;

class IndexOrder final : public RecordOrder {
  public:
    IndexOrder(const TableFile& file, std::shared_ptr<const IndexTag> tag);
    IndexOrder(const IndexOrder&) = delete;
    IndexOrder& operator=(const IndexOrder&) = delete;

    const IndexTag& tag() const { return *tag_; }

    // Scope bounds in stored key bytes: entries from `lower` on (nothing: from the first),
    // and entries below `limit` (nothing: to the last).
    void set_lower(std::optional<std::string> lower);
    void set_limit(std::optional<std::string> limit);

    StoredRecord first(const Snapshot& txn) override;
    StoredRecord last(const Snapshot& txn) override;
    StoredRecord after(const Snapshot& txn, std::uint32_t recno,
                       const std::uint8_t* image) override;
    StoredRecord before(const Snapshot& txn, std::uint32_t recno,
                        const std::uint8_t* image) override;
    bool contains(const Snapshot& txn, std::uint32_t recno, const std::uint8_t* image) override;

    // The first record in scope whose entry is at or after `key` (a key or key prefix).
    StoredRecord at_or_after(const Snapshot& txn, std::string_view key);
    // The last record in scope whose entry is before `key`.
    StoredRecord before_key(const Snapshot& txn, std::string_view key);
    // The entry of a record (whether or not its key is in the tag).
    std::string entry_of(const Snapshot& txn, std::uint32_t recno, const std::uint8_t* image);
    // The entry the order returned last (valid right after a move that found a record).
    const std::string& last_entry() const { return last_entry_; }
    // Calls visit(entry) for each entry in scope (every entry of the tag with whole_tag), in
    // order, until it answers false.
    void for_each_entry(const Snapshot& txn, const std::function<bool(std::string_view)>& visit,
                        bool whole_tag = false);
    // The stored record of an entry (VE_TABLE_CORRUPT when the record is missing).
    StoredRecord record_of(const Snapshot& txn, std::string_view entry);

  private:
    KeyCursor& cursor(const Snapshot& txn);
    // The record of the entry the cursor found, or none when there is none or it lies
    // beyond the scope.
    StoredRecord land(const Snapshot& txn, bool found);
    bool below_lower(std::string_view entry) const;
    bool at_or_past_limit(std::string_view entry) const;

    const TableFile& file_;
    std::shared_ptr<const IndexTag> tag_;
    std::optional<std::string> lower_;
    std::optional<std::string> limit_;
    std::unique_ptr<KeyCursor> cursor_;
    std::string last_entry_;
    std::uint32_t last_recno_ = 0;
    std::uint64_t last_txnid_ = 0;
};

}  // namespace varelum::engine
