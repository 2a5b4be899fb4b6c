// The stretch of a one-field index tag that holds every row an SQL comparison on its field
// can match.
//
// SQLite checks every row it is handed against the comparison again, so a stretch may hold
// more rows than match (an exclusive end, a timestamp on the bounding day) but never fewer.
// A value that gives no key (another type than the column compares by, a text that is no
// date for a date column) leaves that end open.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>

#include "engine/index/index_tag.h"
#include "engine/record/schema.h"

namespace varelum::engine::sql {

class TagRange {
  public:
    // Every entry of the tag.
    TagRange() = default;

    // Narrows the stretch to the rows whose field is at least (`upper` false) or at most
    // (`upper` true) `value` in the column's SQL order. A null value matches no row.
    void bound(const IndexTag& tag, const FieldDescriptor& field, sqlite3_value* value, bool upper);

    bool empty() const { return empty_; }
    bool unbounded() const { return start_.empty() && !stop_; }
    // The first key of the stretch in the tag's order; empty: the first entry.
    const std::string& start() const { return start_; }
    // Whether an entry's key (the record number taken off) is past the stretch.
    bool past_end(std::string_view key) const;

  private:
    std::string start_;
    std::optional<std::string> stop_;  // the last key inside
    bool empty_ = false;
};

}  // namespace varelum::engine::sql
