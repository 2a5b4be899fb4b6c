// What a table name means on a connection: on a dictionary connection a registered table is
// found by its name and opened with the rights its user is granted there, renewed at every
// call of the handle; a table file bound to a dictionary is refused on any other connection,
// so that its rights cannot be stepped around by opening the file as a free table. A table is
// its file, not a spelling of its path: another spelling, a symbolic link or a hard link of a
// registered table's file finds the registration and its rights, and a copy of the file is
// bound as its source was.
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
// components form it, is taken as its folder): the registration of that file, whatever the
// path's spelling, or a free table. Throws VE_DICTIONARY_ONLY for a plain name the dictionary
// does not hold, VE_PERMISSION_DENIED without the read right (also for a file bound to the
// dictionary that it does not register, such as a copy, to anyone but the administrator),
// VE_TABLE_NOT_FOUND. "link.table" names a table of a linked dictionary (dictionary_links.h)
// by its registered name only, opened with the rights of the link's log-in there; it also
// throws what opening the link throws. The binding of the file is checked in either case.
TableAccess dictionary_table_access(const Connection& connection, std::string_view name_utf8);
// The same for a dictionary session that is no connection's own: one opened through a link,
// which reaches the linked dictionary's registered tables by name only.
TableAccess dictionary_table_access(const DictionarySession& session, std::string_view name_utf8);

// Refuses a file that must not be opened as a table on this connection: a dictionary file,
// or a table bound to a dictionary other than the connection's. Throws VE_NOT_SUPPORTED
// (wrong way round: a dictionary is no table) or VE_BOUND_TO_DICTIONARY.
void check_table_binding(const TableFile& file, const Connection& connection);
// The same for a table reached through a dictionary session (nullptr: as a free table).
void check_table_binding(const TableFile& file, const DictionarySession* session);

// Refuses a change that only a dictionary's administrator makes to one of its tables
// (restructuring or deleting it, creating or deleting its index tags, making a table over
// it): `what` says which, as in "restructures". Nothing for a free table. Throws
// VE_BOUND_TO_DICTIONARY on a connection that is not to the table's dictionary,
// VE_PERMISSION_DENIED for a user who is not its administrator.
void require_table_administrator(const TableFile& file, const Connection& connection,
                                 std::string_view what);
// Before a new table file is made at path (create, copy, convert), replacing what is there:
// a dictionary file is never replaced, a dictionary's table only by its administrator.
// Throws VE_NOT_SUPPORTED, and what require_table_administrator throws.
void check_may_replace(const Connection& connection, const std::string& path);

}  // namespace varelum::engine
