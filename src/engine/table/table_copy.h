// Copying records out of a table: into a new table file with the same fields, or appended to
// another open table field by field name. The caller chooses the records (those a handle
// shows, in its order). Both report their progress (core/progress.h) and keep nothing when
// told to stop.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varelum::engine {

class TableCursor;
class TableFile;

// Marks in a table file's index list that say what the file belongs to (the data dictionary
// it is bound to, dict/table_binding.h) start with this; they travel with the file's records
// wherever those are written anew. Never change it: stored in files.
inline constexpr std::string_view kBelongingMarkPrefix = "#bound-to-";

// Copies the marks of what a table file belongs to (kBelongingMarkPrefix) into another file,
// in one write. Every step that writes a table's records into a new file (copy, convert,
// restructure, recover) does so before the first record, so that the new file belongs where
// its records came from even when the step stops half way.
void copy_file_marks(const TableFile& from, TableFile& to);

// Writes the records of source (by number, in that order, renumbered from 1) with their
// deleted flags and memo values into a new table file at path with the source's fields,
// options and marks (copy_file_marks), in one write transaction: the copy appears whole, or
// (on any failure, a stop too) no file is left. Index tags are not copied. REQUIRES: the
// caller holds source's CallScope.
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
