// Running a prepared SQLite statement to its end, the one way the engine does it: the engine
// failure a table module may leave from an earlier statement is cleared first, each row is
// handed over as it comes, and a failure becomes the statement's error (fail_from_sqlite).
#pragma once

#include <sqlite3.h>

#include <functional>

namespace varelum::engine::sql {

// Steps statement until SQLite answers that it is done, calling row (when given) for each row
// it answers on the way. Throws the statement's error; the statement is left for the caller
// to reset either way.
void step_to_end(sqlite3_stmt* statement, const std::function<void()>& row = {});

}  // namespace varelum::engine::sql
