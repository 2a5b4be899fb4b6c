// Result cursors: what a query gives back, as a handle that every table-handle call accepts
// (AdsGetHandleType answers VE_HANDLE_CURSOR; guard.h's table_of hands out its table).
//
// Two representations:
// - A row list over the source table, for a plain single-table "SELECT * ... [WHERE]
//   [ORDER BY]": a table handle on the table itself walking the record numbers the query
//   gave, in its order. Fields, record images, record numbers and bookmarks are the
//   table's own. Opened writable when the statement asked for a live cursor: edits then
//   reach the table at once (AdsSqlPeekStatement says live); read-only otherwise.
// - A static table for every other query: the rows are written once into a table file of
//   their own (in the temporary directory, unlinked as soon as it is open, so nothing is
//   left behind), whose fields take type and length from the source columns, or from the
//   values of computed columns. Always read-only.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/handles.h"
#include "engine/table/record_order.h"
#include "engine/table/table_cursor.h"

namespace varelum::engine {
class Connection;
class TableCursor;
}  // namespace varelum::engine

namespace varelum::engine::sql {

class SqlSession;

class ResultCursor : public HandleObject {
  public:
    static constexpr HandleKind kKind = HandleKind::Cursor;
    ~ResultCursor() override;
    HandleKind kind() const override { return kKind; }

    const std::shared_ptr<TableCursor>& table() const { return table_; }
    // Whether edits through the cursor reach the table (AdsSqlPeekStatement).
    bool live() const { return live_; }

    // The handle a row list reads through, opened before the query runs: the query's own
    // scans then find the file and its locks open. Edits through it have the rights of the
    // statement's table (what the dictionary grants the user). opened: the file at path as
    // this engine call already found it, if it did (see TableCursor::open).
    static std::shared_ptr<TableCursor> open_table(const std::shared_ptr<Connection>& connection,
                                                   const std::string& path, bool writable,
                                                   const AccessRights& rights,
                                                   std::shared_ptr<TableFile> opened = nullptr);
    // A row list over `table` (from open_table), in the order given.
    static std::shared_ptr<ResultCursor> over_rows(std::shared_ptr<TableCursor> table,
                                                   std::vector<std::uint32_t> records,
                                                   bool writable);
    // Runs `statement` (bound, not yet stepped) to its end and keeps its rows in a table of
    // their own. Column types come from the session's tables where a column is a table's.
    static std::shared_ptr<ResultCursor> materialize(SqlSession& session,
                                                     const std::shared_ptr<Connection>& connection,
                                                     sqlite3_stmt* statement);

  private:
    ResultCursor() = default;

    std::shared_ptr<TableCursor> table_;
    bool live_ = false;
};

}  // namespace varelum::engine::sql
