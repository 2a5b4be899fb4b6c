// What a table name means on a connection: on a dictionary connection a registered table is
// found by its name and opened with the rights its user is granted there; a table file bound
// to a dictionary is refused on any other connection, so that its rights cannot be stepped
// around by opening the file as a free table.
#pragma once

#include <string>
#include <string_view>

#include "engine/table/table_cursor.h"

namespace varelum::engine {

class Connection;
class TableFile;
struct DictionarySession;

struct TableAccess {
    std::string path;  // the table file
    AccessRights rights;
};

// The table a name opens on a dictionary connection: a registered table by its name (with or
// without ".adt"), else a file by path (a path inside the dictionary file's own name, as the
// components form it, is taken as its folder). Throws VE_DICTIONARY_ONLY for a plain name the
// dictionary does not hold, VE_PERMISSION_DENIED without the read right, VE_TABLE_NOT_FOUND.
// "link.table" names a table of a linked dictionary (dictionary_links.h), opened with the
// rights of the link's log-in there; it also throws what opening the link throws. The
// binding of the file is checked in either case.
TableAccess dictionary_table_access(const Connection& connection, std::string_view name_utf8);
// The same for a dictionary session that is no connection's own: one opened through a link.
TableAccess dictionary_table_access(const DictionarySession& session, std::string_view name_utf8);

// Refuses a file that must not be opened as a table on this connection: a dictionary file,
// or a table bound to a dictionary other than the connection's. Throws VE_NOT_A_DICTIONARY
// (wrong way round: a dictionary is no table) or VE_BOUND_TO_DICTIONARY.
void check_table_binding(const TableFile& file, const Connection& connection);
// The same for a table reached through a dictionary session (nullptr: as a free table).
void check_table_binding(const TableFile& file, const DictionarySession* session);

}  // namespace varelum::engine
