// Index files beside a table. A tag created with a file name of its own keeps its keys in the
// table file like every tag (so every write keeps it in step, and a crash cannot part table
// and index), and belongs to that index file: it is open only on handles that opened the file
// (AdsOpenIndex). The file itself is a small text file in the table's directory naming the
// table and the file's tags, so that it can be found, listed and moved with the table.
//
//   VRLMINDX 1
//   table Products.adt
//   tag BARCODE
#pragma once

#include <string>

namespace varelum::engine {

class TableCursor;

// The name with ".adi" added when it has no extension.
std::string index_file_name(const std::string& name);
// The full path of an index file of the table (file_name empty: the table file itself).
std::string index_file_path(const TableCursor& table, const std::string& file_name);
// Writes the index file listing the table's tags of that file, or removes it when none is
// left. Throws VE_FILE_ERROR.
void write_index_file(TableCursor& table, const std::string& file_name);
// Checks that the index file at `name` (relative to the table's directory unless absolute)
// exists and belongs to the table. Throws VE_INDEX_FILE_NOT_FOUND.
void verify_index_file(const TableCursor& table, const std::string& name);

}  // namespace varelum::engine
