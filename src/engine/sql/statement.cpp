// SQL statement handles: preparation, parameters and execution (see statement.h).
#include "engine/sql/statement.h"

#include <chrono>
#include <optional>

#include "engine/core/error.h"
#include "engine/core/progress.h"
#include "engine/core/text.h"
#include "engine/sql/ddl.h"
#include "engine/sql/result_cursor.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/statement_step.h"
#include "engine/sql/transaction_statement.h"
#include "engine/table/connection.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine::sql {
namespace {

// Interrupts a statement that runs past its deadline (AdsSetSQLTimeout) or that the calling
// thread's abort callback asks to stop; the callback is asked before the statement starts too,
// so that a short statement is stopped as surely as a long one.
class Deadline {
  public:
    Deadline(sqlite3* db, std::uint32_t seconds) : db_(db) {
        if (seconds > 0) {
            end_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        }
        if (abort_requestable() && abort_requested()) {
            fail_sql(NativeError::Cancelled, "the abort callback stopped the statement");
        }
        if (seconds > 0 || abort_requestable()) {
            // Every thousand virtual-machine steps: a few microseconds between looks.
            sqlite3_progress_handler(db_, 1000, &Deadline::check, this);
        }
    }
    ~Deadline() { sqlite3_progress_handler(db_, 0, nullptr, nullptr); }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

  private:
    static int check(void* self) {
        auto& deadline = *static_cast<Deadline*>(self);
        if (deadline.end_ && std::chrono::steady_clock::now() > *deadline.end_) {
            return 1;
        }
        if (abort_requested()) {
            // Reported as what it is, not as a timeout (the statement sees SQLITE_INTERRUPT).
            PendingEngineError& pending = pending_engine_error();
            pending.set = true;
            pending.code = VE_OPERATION_CANCELLED;
            pending.text = "the abort callback stopped the statement";
            return 1;
        }
        return 0;
    }
    sqlite3* db_;
    std::optional<std::chrono::steady_clock::time_point> end_;
};

bool names_row_number(const TableSchema& schema) {
    for (const char* name : {"rowid", "oid", "_rowid_"}) {
        if (schema.by_name(name) != nullptr) {
            return true;
        }
    }
    return false;
}

}  // namespace

Statement::Statement(std::shared_ptr<Connection> connection)
    : connection_(std::move(connection)), session_(SqlSession::of(connection_)) {}

Statement::Statement(std::shared_ptr<Connection> connection, const StatementSettings& settings)
    : connection_(std::move(connection)),
      session_(SqlSession::of(connection_)),
      settings_(settings),
      nested_(true) {}

Statement::~Statement() {
    // Prepared SQLite statements belong to the session's database: finalize them under its
    // lock (which a procedure's body statement runs under already).
    if (nested_) {
        recycle_parts();
        return;
    }
    std::lock_guard guard(session_->mutex());
    recycle_parts();
}

void Statement::recycle_parts() {
    for (Part& part : parts_) {
        if (part.generation == session_->generation()) {
            session_->recycle(std::move(part.prepared_sql), std::move(part.prepared));
        }
    }
    parts_.clear();
}

std::shared_ptr<Connection> Statement::connection() const {
    try {
        auto registered = HandleRegistry::instance().find(connection_->handle());
        if (registered.get() == connection_.get()) {
            return connection_;
        }
    } catch (const EngineError&) {
        // Gone: answered below.
    }
    fail(VE_STATEMENT_GONE, "its connection is closed");
}

void Statement::prepare_part(Part& part, bool row_numbers) {
    const std::string& sql = row_numbers ? part.plain->rowid_query : part.text.sql;
    part.prepared = session_->prepare(sql);
    part.prepared_sql = sql;
    part.generation = session_->generation();
}

void Statement::prepare(std::string_view text) {
    connection();
    script_.reset();
    recycle_parts();
    values_.clear();
    rows_affected_.reset();
    Script script = parse_script(text);
    std::vector<Part> parts;
    for (StatementText& statement : script.statements) {
        Part part;
        part.text = std::move(statement);
        switch (part.text.kind) {
            case StatementKind::Query:
                part.plain = plain_select(part.text);
                prepare_part(part, part.plain.has_value());
                break;
            case StatementKind::Change:
            case StatementKind::Other:
                prepare_part(part, false);
                break;
            case StatementKind::Transaction:
                check_transaction_statement(part.text);
                break;
            case StatementKind::Unsupported:
                fail_sql(NativeError::NotSupported,
                         "this engine runs queries, changes of rows, CREATE and DROP of tables "
                         "and indexes, and its procedures: " +
                             trim_blanks(part.text.sql));
            default:
                break;
        }
        parts.push_back(std::move(part));
    }
    if (parts.empty()) {
        fail_sql(NativeError::Syntax, "the statement is empty");
    }
    values_.assign(script.markers.size(), SqlValue::null());
    parts_ = std::move(parts);
    script_ = std::move(script);
}

void Statement::verify(std::string_view text) {
    connection();
    Script script = parse_script(text);
    if (script.statements.empty()) {
        fail_sql(NativeError::Syntax, "the statement is empty");
    }
    for (const StatementText& statement : script.statements) {
        if (statement.kind == StatementKind::Query || statement.kind == StatementKind::Change ||
            statement.kind == StatementKind::Other) {
            session_->prepare(statement.sql);
        } else if (statement.kind == StatementKind::Transaction) {
            check_transaction_statement(statement);
        } else if (statement.kind == StatementKind::Unsupported) {
            fail_sql(NativeError::NotSupported, trim_blanks(statement.sql));
        }
    }
}

std::size_t Statement::parameter_count() const {
    return script_ ? script_->markers.size() : 0;
}

std::vector<std::size_t> Statement::parameters_named(const std::uint8_t* argument) const {
    if (!script_) {
        fail_sql(NativeError::NotPrepared, "the statement has no text; prepare it first");
    }
    if (argument == nullptr) {
        fail(VE_INVALID_ARGUMENT, "no parameter given");
    }
    auto value = reinterpret_cast<std::uintptr_t>(argument);
    if (value <= VE_MAX_FIELD_NUMBER) {
        if (value == 0 || value > script_->markers.size()) {
            fail_sql(NativeError::Parameter, "the statement has " +
                                                 std::to_string(script_->markers.size()) +
                                                 " parameters, not " + std::to_string(value));
        }
        return {static_cast<std::size_t>(value - 1)};
    }
    std::string name = ansi_to_utf8(c_text(argument));
    if (!name.empty() && name.front() == ':') {
        name.erase(0, 1);
    }
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < script_->markers.size(); ++i) {
        if (iequals(script_->markers[i], name)) {
            found.push_back(i);
        }
    }
    if (found.empty()) {
        fail_sql(NativeError::Parameter, "the statement has no parameter named " + name);
    }
    return found;
}

void Statement::set_parameter(const std::uint8_t* argument, SqlValue value) {
    connection();
    for (std::size_t index : parameters_named(argument)) {
        values_[index] = value;
    }
}

void Statement::set_parameter_part(const std::uint8_t* argument, std::uint32_t total,
                                   std::uint32_t offset, std::string_view bytes) {
    connection();
    for (std::size_t index : parameters_named(argument)) {
        SqlValue& value = values_[index];
        if (value.type != SqlValue::Type::Blob) {
            value = SqlValue::of_blob(std::string());
        }
        value.bytes.resize(total, '\0');
        std::copy(bytes.begin(), bytes.end(), value.bytes.begin() + offset);
    }
}

void Statement::bind(sqlite3_stmt* statement) const {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    int count = sqlite3_bind_parameter_count(statement);
    for (int number = 1; number <= count; ++number) {
        if (static_cast<std::size_t>(number) <= values_.size()) {
            bind_value(statement, number, values_[static_cast<std::size_t>(number) - 1]);
        }
    }
}

std::shared_ptr<ResultCursor> Statement::run_query(Part& part, bool want_cursor) {
    if (part.plain && want_cursor) {
        const TableEntry* entry = session_->table(part.plain->table);
        if (entry != nullptr && !names_row_number(entry->schema)) {
            if (part.generation != session_->generation() || part.prepared.get() == nullptr) {
                prepare_part(part, true);
                entry = session_->table(part.plain->table);
            }
            bind(part.prepared.get());
            const bool writable = settings_.read_only != 1;
            std::shared_ptr<TableCursor> table;
            try {
                table = ResultCursor::open_table(connection_, entry->path, writable, entry->rights,
                                                 session_->checked_file(entry->path));
            } catch (const EngineError& error) {
                fail_sql(classify_engine_error(error.code()), error.text());
            }
            std::vector<std::uint32_t> records;
            step_to_end(part.prepared.get(), [&] {
                records.push_back(
                    static_cast<std::uint32_t>(sqlite3_column_int64(part.prepared.get(), 0)));
            });
            sqlite3_reset(part.prepared.get());
            try {
                return ResultCursor::over_rows(std::move(table), std::move(records), writable);
            } catch (const EngineError& error) {
                fail_sql(classify_engine_error(error.code()), error.text());
            }
        }
        // A table with a column named like the row number: the general way below.
        part.plain.reset();
        part.prepared = PreparedStatement();
    }
    if (part.plain || part.prepared.get() == nullptr || part.generation != session_->generation()) {
        part.plain.reset();
        prepare_part(part, false);
    }
    sqlite3_stmt* statement = part.prepared.get();
    bind(statement);
    if (want_cursor && sqlite3_column_count(statement) > 0) {
        try {
            auto cursor = ResultCursor::materialize(*session_, connection_, statement);
            sqlite3_reset(statement);
            return cursor;
        } catch (const EngineError& error) {
            sqlite3_reset(statement);
            if (error.code() == VE_SQL_ERROR) {
                throw;
            }
            fail_sql(classify_engine_error(error.code()), error.text());
        }
    }
    try {
        step_to_end(statement);
    } catch (...) {
        sqlite3_reset(statement);
        throw;
    }
    sqlite3_reset(statement);
    return nullptr;
}

void Statement::run_change(Part& part) {
    if (part.prepared.get() == nullptr || part.generation != session_->generation()) {
        prepare_part(part, false);
    }
    sqlite3_stmt* statement = part.prepared.get();
    bind(statement);
    session_->last_autoinc = 0;
    try {
        step_to_end(statement);  // past the rows of a RETURNING clause
    } catch (...) {
        sqlite3_reset(statement);
        throw;
    }
    sqlite3_reset(statement);
    rows_affected_ =
        rows_affected_.value_or(0) + static_cast<std::uint32_t>(sqlite3_changes(session_->db()));
    if (session_->last_autoinc != 0) {
        last_autoinc_ = session_->last_autoinc;
    }
}

std::shared_ptr<ResultCursor> Statement::execute(bool want_cursor) {
    std::shared_ptr<Connection> connection = this->connection();
    if (!script_) {
        fail_sql(NativeError::NotPrepared, "the statement has no text; prepare it first");
    }
    rows_affected_.reset();
    SqlSession::CheckedFiles checked = session_->refresh();
    // A procedure's body runs within its caller's deadline.
    std::optional<Deadline> deadline;
    if (!nested_) {
        deadline.emplace(session_->db(), settings_.timeout_seconds);
    }
    std::shared_ptr<ResultCursor> cursor;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        Part& part = parts_[i];
        bool last = i + 1 == parts_.size();
        if (part.text.kind != StatementKind::Query) {
            // Only a query's handles borrow the checked files: a part that may make, drop or
            // replace a table file must find none of them held by the session.
            checked.release();
        }
        switch (part.text.kind) {
            case StatementKind::Query:
            case StatementKind::Other: {
                auto result = run_query(part, want_cursor && last);
                if (result) {
                    cursor = std::move(result);
                }
                break;
            }
            case StatementKind::Change: {
                // A statement that fails on its tenth row leaves the first nine unchanged.
                AtomicStatement atomic(*connection);
                run_change(part);
                atomic.finish();
                break;
            }
            case StatementKind::Transaction:
                run_transaction_statement(*connection, part.text);
                break;
            case StatementKind::CreateTable:
                create_table(*session_, settings_, part.text);
                break;
            case StatementKind::DropTable:
                connection->require_no_transaction("dropping a table");
                drop_table(*session_, connection, part.text);
                break;
            case StatementKind::CreateIndex:
                connection->require_no_transaction("making an index");
                create_index(*session_, connection, part.text);
                break;
            case StatementKind::DropIndex:
                connection->require_no_transaction("deleting an index");
                drop_index(*session_, connection, part.text);
                break;
            case StatementKind::Procedure: {
                auto result = run_procedure(part, want_cursor && last);
                if (result) {
                    cursor = std::move(result);
                }
                break;
            }
            case StatementKind::Unsupported:
                fail_sql(NativeError::NotSupported, trim_blanks(part.text.sql));
        }
    }
    return cursor;
}

}  // namespace varelum::engine::sql
