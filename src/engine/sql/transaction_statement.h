// The statements that act on the connection's transaction (BEGIN TRANSACTION, COMMIT [WORK],
// ROLLBACK [WORK] [TO [SAVEPOINT] name], SAVEPOINT name), and the atomicity of every other
// statement that changes rows: it runs in a transaction of its own, or under a savepoint of
// the connection's transaction, and a failure undoes all it did.
#pragma once

#include <memory>

#include "engine/sql/sql_text.h"

namespace varelum::engine {
class Connection;
}

namespace varelum::engine::sql {

// Checks the statement's form; throws an SQL syntax error for anything else.
void check_transaction_statement(const StatementText& statement);
void run_transaction_statement(Connection& connection, const StatementText& statement);

// Makes one statement atomic: begun before it runs; finish() after it succeeded keeps its
// changes; destroyed without finish() (it failed) undoes them. Its writes go in synced
// batches (Transaction::begin_batching) until then.
class AtomicStatement {
  public:
    explicit AtomicStatement(Connection& connection);
    ~AtomicStatement();
    AtomicStatement(const AtomicStatement&) = delete;
    AtomicStatement& operator=(const AtomicStatement&) = delete;
    void finish();

  private:
    Connection& connection_;
    bool own_transaction_ = false;
    bool finished_ = false;
};

}  // namespace varelum::engine::sql
