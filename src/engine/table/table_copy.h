// Copying records out of a table: into a new table file with the same fields, or appended to
// another open table field by field name. The caller chooses the records (those a handle
// shows, in its order). Both report their progress (core/progress.h) and keep nothing when
// told to stop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varelum::engine {

class TableCursor;

// Writes the records of source (by number, in that order, renumbered from 1) with their
// deleted flags and memo values into a new table file at path with the source's fields and
// options, in one write transaction: the copy appears whole, or (on any failure, a stop too)
// no file is left. Index tags are not copied. REQUIRES: the caller holds source's CallScope.
void copy_to_new_table(TableCursor& source, const std::vector<std::uint32_t>& records,
                       const std::string& path);

// Appends the records of from (by number, in that order) to the table to: each field of to
// takes the value of from's field of the same name, as its field setter would
// (record/value_conversion.h), text recoded between the two tables' code pages; memo values go
// between memo types only, converted alike; AutoInc, RowVersion and
// ModTime fields are filled by the engine. Progress is reported while the records are read,
// before any is appended, so that a stop keeps nothing; a record that fails keeps those
// appended before it. REQUIRES: the caller holds both handles' CallScopes; from and to are
// different handles.
void append_records(TableCursor& from, const std::vector<std::uint32_t>& records, TableCursor& to);

}  // namespace varelum::engine
