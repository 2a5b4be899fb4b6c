// An SQL statement handle: its settings, its text (a script of one or more statements), the
// values bound to its parameters, and the execution that gives a result cursor or a count
// of the rows changed.
//
// Parameters are numbered over the whole text in order of appearance (sql_text.h) and bound
// by number, or by name (every marker of that name); an unbound parameter is null. The text
// is checked when it is prepared, so that a syntax error or an unknown table surfaces at
// AdsPrepareSQL; execution prepares again only what a change of the tables made stale.
//
// A statement belongs to its connection: once the connection is closed every call answers
// VE_STATEMENT_GONE. Calls on one statement are serialised by the session's lock.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/handles.h"
#include "engine/sql/sql_session.h"
#include "engine/sql/sql_text.h"
#include "engine/sql/sql_value.h"

namespace varelum::engine {
class Connection;
struct DictObject;
}  // namespace varelum::engine

namespace varelum::engine::sql {

class ResultCursor;

// The AdsStmtSet... settings, remembered as given.
struct StatementSettings {
    std::uint16_t lock_type = 1;
    std::uint16_t char_type = 1;  // of tables the statement creates
    std::string collation;        // of tables the statement creates
    std::uint16_t rights = 1;
    std::uint16_t read_only = 0;  // 1: cursors cannot be modified; 2: a live cursor is asked
    std::uint16_t table_type = 3;
    std::uint16_t constrain = 2;
    std::uint16_t read_all_columns = 2;
    std::uint32_t timeout_seconds = 0;  // 0: none
};

class Statement : public HandleObject {
  public:
    static constexpr HandleKind kKind = HandleKind::Statement;
    explicit Statement(std::shared_ptr<Connection> connection);
    ~Statement() override;
    HandleKind kind() const override { return kKind; }

    // The connection and its session; VE_STATEMENT_GONE once the connection is closed.
    std::shared_ptr<Connection> connection() const;
    SqlSession& session() const { return *session_; }
    StatementSettings& settings() { return settings_; }

    // Takes new text (UTF-8), checks it and forgets earlier values and results.
    void prepare(std::string_view text);
    // Checks text without taking it.
    void verify(std::string_view text);
    bool prepared() const { return script_.has_value(); }

    // The parameter a field argument names: a number (1-based), or a marker name (with or
    // without its colon), which stands for every marker of that name.
    void set_parameter(const std::uint8_t* argument, SqlValue value);
    // Part of a binary value, as AdsSetBinary sends it.
    void set_parameter_part(const std::uint8_t* argument, std::uint32_t total, std::uint32_t offset,
                            std::string_view bytes);
    std::size_t parameter_count() const;

    // Runs the prepared text. Returns the result cursor of the last query when `want_cursor`
    // (nullptr when the text yields none).
    std::shared_ptr<ResultCursor> execute(bool want_cursor);

    // The rows the last execution inserted, updated or deleted; nullopt when it changed
    // none by such a statement (queries, DDL, procedures).
    std::optional<std::uint32_t> rows_affected() const { return rows_affected_; }
    // The AutoInc value of the last row the statement inserted; 0 before any.
    std::uint32_t last_autoinc() const { return last_autoinc_; }

  private:
    struct Part {
        StatementText text;
        std::optional<PlainSelect> plain;
        PreparedStatement prepared;  // the query itself, or its row-number form when plain
        std::string prepared_sql;    // the text `prepared` was made from
        std::uint64_t generation = 0;
    };

    // Gives the parts' prepared statements back to the session for the next use of their text.
    void recycle_parts();
    std::vector<std::size_t> parameters_named(const std::uint8_t* argument) const;
    void prepare_part(Part& part, bool row_numbers);
    void bind(sqlite3_stmt* statement) const;
    std::shared_ptr<ResultCursor> run_query(Part& part, bool want_cursor);
    void run_change(Part& part);
    std::shared_ptr<ResultCursor> run_procedure(Part& part, bool want_cursor);
    // The values of a procedure call's arguments (SQL text, markers bound from this
    // statement's values).
    std::vector<SqlValue> procedure_arguments(const std::string& arguments);
    std::shared_ptr<ResultCursor> run_dictionary_procedure(const DictObject& procedure,
                                                           std::vector<SqlValue> arguments,
                                                           bool want_cursor);

    // A procedure's body: runs under the lock and deadline its caller holds.
    Statement(std::shared_ptr<Connection> connection, const StatementSettings& settings);

    std::shared_ptr<Connection> connection_;
    std::shared_ptr<SqlSession> session_;
    StatementSettings settings_;
    std::optional<Script> script_;
    std::vector<Part> parts_;
    std::vector<SqlValue> values_;  // by parameter number - 1
    std::optional<std::uint32_t> rows_affected_;
    std::uint32_t last_autoinc_ = 0;
    bool nested_ = false;
};

}  // namespace varelum::engine::sql
