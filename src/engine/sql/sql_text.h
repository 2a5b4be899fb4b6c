// The statement text as the engine receives it, made ready for SQLite: split into
// statements at ";", parameter markers numbered, `SELECT TOP n` turned into LIMIT, and the
// statement kinds the engine handles itself (DDL, procedures) told apart.
//
// Parameter markers are numbered in order of appearance over the whole text, each
// occurrence its own number, as the components number them: ":name", ":"quoted name"",
// "?" (digits after it are ignored) and "@name" become "?n". A colon inside a quoted
// literal or a comment, and "::", are no marker.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varelum::engine::sql {

enum class TokenKind { Space, Word, Number, String, QuotedName, Marker, Punct };

struct Token {
    TokenKind kind = TokenKind::Space;
    std::string text;        // as written (a marker: as rewritten, "?n")
    int depth = 0;           // parentheses open before it
    std::size_t marker = 0;  // the 1-based parameter number of a marker
};

enum class StatementKind {
    Query,   // SELECT, WITH, VALUES: may give a cursor
    Change,  // INSERT, UPDATE, DELETE, REPLACE
    CreateTable,
    CreateIndex,
    DropTable,
    DropIndex,
    Procedure,    // EXECUTE PROCEDURE name(arguments)
    Transaction,  // BEGIN, COMMIT, ROLLBACK, SAVEPOINT: the connection's transaction
    Unsupported,  // CREATE VIEW, CREATE TRIGGER, ATTACH, ...: the engine's tables only
    Other,        // anything else SQLite may run (PRAGMA, EXPLAIN, ...)
};

struct StatementText {
    std::string sql;  // for SQLite
    std::vector<Token> tokens;
    StatementKind kind = StatementKind::Other;
};

struct Script {
    std::vector<StatementText> statements;  // without empty ones
    std::vector<std::string> markers;       // the name of parameter n at index n - 1 ("" for ?)
};

// Parses UTF-8 statement text. Never fails: SQLite judges the syntax.
Script parse_script(std::string_view text);

// The upper-cased ASCII text of a word token; empty for other tokens.
std::string keyword(const Token& token);

// The name a Word, QuotedName or String token spells, quotes removed.
std::string token_name(const Token& token);

// A plain single-table query "SELECT * FROM t [alias] [WHERE ...] [ORDER BY ...] [LIMIT ...]"
// (or "SELECT t.* ..."), whose rows are the table's own records in full.
struct PlainSelect {
    std::string table;        // the table's name as spelled, quotes removed
    std::string rowid_query;  // the same query giving only each row's record number
};
std::optional<PlainSelect> plain_select(const StatementText& statement);

// The statement's significant tokens (no spaces or comments).
std::vector<const Token*> significant(const StatementText& statement);

}  // namespace varelum::engine::sql
