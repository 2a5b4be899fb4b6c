// A memo or binary value of a table handle's current record, to and from a file of its own.
#pragma once

#include <string>

#include "engine/format/field_image.h"

namespace varelum::engine {

class TableCursor;

// Writes the current record's value of the memo-type field into the file at path, replaced
// whole (an empty value makes an empty file) as env's replace_file puts it, so that a failed
// write or a crash leaves the old file or the new one, never half of one. Throws VE_FILE_ERROR
// (or what the operating system's error means, a full disk for one).
void write_memo_to_file(TableCursor& table, const FieldDescriptor& field, const std::string& path);

// Makes the bytes of the file at path the memo-type field's value in the record buffer,
// written by the next write like any change. Throws VE_FILE_ERROR; nothing changes then.
void read_memo_from_file(TableCursor& table, const FieldDescriptor& field, const std::string& path);

}  // namespace varelum::engine
