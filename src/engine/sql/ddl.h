// The statements that create and drop engine tables and index tags. SQLite never sees them
// as such: CREATE TABLE is parsed by a scratch SQLite database (which accepts any type
// names) and its columns become engine fields; the others are read from their tokens.
//
// Column types: CHAR/CHARACTER/VARCHAR(n) Char, CICHAR(n), NCHAR(n), NVARCHAR(n),
// NUMERIC/DECIMAL(n[,d]), INTEGER/INT, SMALLINT/SHORTINT, BIGINT (Numeric 20), DOUBLE/FLOAT/
// REAL, CURDOUBLE, MONEY, LOGICAL/BOOLEAN/BIT, DATE, TIME, TIMESTAMP/DATETIME, AUTOINC/
// IDENTITY, MEMO/TEXT/CLOB, NMEMO, BLOB/BINARY/VARBINARY, IMAGE, RAW(n), ROWVERSION, MODTIME,
// and every type name of the engine's field text.
//
// CREATE INDEX and DROP INDEX make and delete engine index tags.
#pragma once

#include <memory>

#include "engine/sql/sql_text.h"

namespace varelum::engine {
class Connection;
}

namespace varelum::engine::sql {

class SqlSession;
struct StatementSettings;

void create_table(SqlSession& session, const StatementSettings& settings,
                  const StatementText& statement);
void drop_table(SqlSession& session, const std::shared_ptr<Connection>& connection,
                const StatementText& statement);

// CREATE [UNIQUE] INDEX [IF NOT EXISTS] name ON table (column [ASC|DESC], ...): a tag in the
// table's own file, over the field (one column) or the fields separated by ";"; descending
// when every column is DESC, refused (2112) when the directions are mixed. The session then
// registers the table again so that its statements use the new tag.
void create_index(SqlSession& session, const std::shared_ptr<Connection>& connection,
                  const StatementText& statement);
// DROP INDEX [IF EXISTS] [table.]name: without a table, the one table of the directory that
// has a tag of that name (2120 when several have). Needs the table open by nobody else.
void drop_index(SqlSession& session, const std::shared_ptr<Connection>& connection,
                const StatementText& statement);

}  // namespace varelum::engine::sql
