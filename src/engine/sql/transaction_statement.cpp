// Transaction statements and atomic statements (see transaction_statement.h).
#include "engine/sql/transaction_statement.h"

#include <initializer_list>
#include <string>

#include "engine/core/error.h"
#include "engine/sql/sql_error.h"
#include "engine/table/connection.h"
#include "engine/txn/transaction.h"
#include "varelum_engine.h"

namespace varelum::engine::sql {
namespace {

// A name no statement text can spell, so a caller's savepoint never meets it.
const std::string kStatementSavepoint = "\x01statement";

enum class Operation { Begin, Commit, Rollback, RollbackTo, Savepoint };

struct Command {
    Operation operation = Operation::Begin;
    std::string savepoint;
};

Command parse(const StatementText& statement) {
    std::vector<const Token*> tokens = significant(statement);
    std::size_t at = 1;
    auto skip_one_of = [&](std::initializer_list<const char*> words) {
        if (at < tokens.size()) {
            for (const char* word : words) {
                if (keyword(*tokens[at]) == word) {
                    ++at;
                    return true;
                }
            }
        }
        return false;
    };
    auto name = [&]() {
        if (at >= tokens.size() ||
            (tokens[at]->kind != TokenKind::Word && tokens[at]->kind != TokenKind::QuotedName &&
             tokens[at]->kind != TokenKind::String)) {
            fail_sql(NativeError::Syntax, "a savepoint name is missing: " + statement.sql);
        }
        return token_name(*tokens[at++]);
    };
    Command command;
    std::string first = tokens.empty() ? std::string() : keyword(*tokens[0]);
    if (first == "BEGIN") {
        skip_one_of({"TRANSACTION", "WORK"});
    } else if (first == "COMMIT") {
        command.operation = Operation::Commit;
        skip_one_of({"WORK", "TRANSACTION"});
    } else if (first == "ROLLBACK") {
        command.operation = Operation::Rollback;
        skip_one_of({"WORK", "TRANSACTION"});
        if (skip_one_of({"TO"})) {
            command.operation = Operation::RollbackTo;
            skip_one_of({"SAVEPOINT"});
            command.savepoint = name();
        }
    } else if (first == "SAVEPOINT") {
        command.operation = Operation::Savepoint;
        command.savepoint = name();
    }
    if (at < tokens.size()) {
        fail_sql(NativeError::Syntax,
                 "unexpected \"" + tokens[at]->text + "\" in " + statement.sql);
    }
    return command;
}

}  // namespace

void check_transaction_statement(const StatementText& statement) {
    parse(statement);
}

void run_transaction_statement(Connection& connection, const StatementText& statement) {
    Command command = parse(statement);
    switch (command.operation) {
        case Operation::Begin:
            connection.begin_transaction();
            return;
        case Operation::Commit:
            connection.commit_transaction();
            return;
        case Operation::Rollback:
            connection.rollback_transaction();
            return;
        case Operation::RollbackTo:
        case Operation::Savepoint:
            break;
    }
    Transaction* transaction = connection.transaction();
    if (transaction == nullptr) {
        fail(VE_NO_TRANSACTION);
    }
    if (command.operation == Operation::Savepoint) {
        transaction->create_savepoint(command.savepoint);
    } else {
        transaction->rollback_to(command.savepoint);
    }
}

AtomicStatement::AtomicStatement(Connection& connection) : connection_(connection) {
    if (Transaction* transaction = connection_.transaction()) {
        transaction->create_savepoint(kStatementSavepoint);
    } else {
        connection_.begin_transaction();
        own_transaction_ = true;
    }
    // A statement may write thousands of rows: they go in synced batches, each with one sync
    // of the journal, instead of two syncs a row.
    connection_.transaction()->begin_batching();
}

void AtomicStatement::finish() {
    // Ending the batches may fail (a full disk): the statement then fails and is undone.
    connection_.transaction()->end_batching();
    finished_ = true;
    if (own_transaction_) {
        connection_.commit_transaction();
    } else if (Transaction* transaction = connection_.transaction()) {
        transaction->release_savepoint(kStatementSavepoint);
    }
}

AtomicStatement::~AtomicStatement() {
    if (finished_) {
        return;
    }
    try {
        if (own_transaction_) {
            connection_.rollback_transaction();
        } else if (Transaction* transaction = connection_.transaction()) {
            if (transaction->has_savepoint(kStatementSavepoint)) {
                transaction->rollback_to(kStatementSavepoint);
                transaction->release_savepoint(kStatementSavepoint);
            }
        }
    } catch (const EngineError&) {
        // The statement's own error is the one to report; a journal that could not be
        // applied stays on the disk and is rolled back by the next opener of its tables.
    }
}

}  // namespace varelum::engine::sql
