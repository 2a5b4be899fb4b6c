// The virtual-table module that presents engine table files to SQLite.
//
// "CREATE VIRTUAL TABLE name USING engine_table('/path/Produtos.adt')" declares one column per
// field, of the affinity its values have (sql_value.h) and, for character fields, the
// collation of the engine's exact comparison: VE_CHAR ignores trailing blanks, VE_CICHAR
// also letter case (CIChar fields). The record number is the rowid. Reading goes through a
// table handle of the session's connection per scan, so an exclusive open elsewhere refuses
// it and each scan sees the file as committed when it began; records marked deleted are
// never rows. INSERT, UPDATE and DELETE go through a writing handle of the connection: the
// engine's record locks (VE_LOCK_REFUSED becomes the SQL error "Lock refused"), AutoInc
// values, index keys and the other rules of a table hold.
#pragma once

#include <sqlite3.h>

namespace varelum::engine::sql {

class SqlSession;

inline constexpr const char* kModuleName = "engine_table";
inline constexpr const char* kCharCollation = "VE_CHAR";
inline constexpr const char* kCaseFreeCollation = "VE_CICHAR";

// Registers the module (with `session` as its client data) and the collations on `db`.
void register_table_module(sqlite3* db, SqlSession* session);

}  // namespace varelum::engine::sql
