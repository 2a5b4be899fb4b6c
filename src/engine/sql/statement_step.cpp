// Running a statement to its end (see statement_step.h).
#include "engine/sql/statement_step.h"

#include "engine/sql/sql_error.h"

namespace varelum::engine::sql {

void step_to_end(sqlite3_stmt* statement, const std::function<void()>& row) {
    pending_engine_error() = PendingEngineError{};
    for (;;) {
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE) {
            return;
        }
        if (rc != SQLITE_ROW) {
            fail_from_sqlite(sqlite3_db_handle(statement), rc);
        }
        if (row) {
            row();
        }
    }
}

}  // namespace varelum::engine::sql
