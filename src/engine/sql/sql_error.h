// SQL errors: every failure of an SQL statement leaves the engine with code 7200 and a text
// of the form
//
//   ERROR 7200: Unknown table. NativeError = 2102; no such table: Produtos
//
// The components take the native number from the text after "NATIVEERROR = " (upper-cased,
// up to the ";"), so each kind of failure has a number of its own; the explanation after the
// ";" is SQLite's message, or the engine's text for failures of the engine's write path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/core/error.h"

struct sqlite3;

namespace varelum::engine::sql {

// The native numbers. Stored in no file, but callers test them: never renumber.
enum class NativeError : std::uint32_t {
    Syntax = 2101,            // the text is not a statement SQLite understands
    UnknownTable = 2102,      // no table file of that name in the connection's directory
    UnknownColumn = 2103,     // no column of that name in the tables of the statement
    UnknownFunction = 2104,   // no function or procedure of that name
    TypeMismatch = 2105,      // a value does not convert to its column's type
    Constraint = 2106,        // a unique index, or another rule of the table, refuses the row
    LockRefused = 2107,       // another user holds the record or table lock
    TableInUse = 2108,        // another user has the table open exclusively
    TableExists = 2109,       // CREATE TABLE of a table that exists
    Parameter = 2110,         // a parameter number or name the statement does not have
    ReadOnly = 2111,          // a change through a read-only cursor or table
    NotSupported = 2112,      // a statement kind this engine does not serve (views, triggers)
    ValueOutOfRange = 2113,   // a value too large for its column
    Ambiguous = 2114,         // a column name that more than one table of the statement has
    NotPrepared = 2115,       // executing or binding a statement that has no text
    Engine = 2116,            // any other failure of the engine under the statement
    Timeout = 2117,           // the statement ran longer than its timeout
    IndexExists = 2118,       // CREATE INDEX of a tag name the table has already
    UnknownIndex = 2119,      // DROP INDEX of a tag no table (or not the named table) has
    AmbiguousIndex = 2120,    // DROP INDEX without a table, of a tag several tables have
    OutsideStore = 2121,      // a table name that is a path outside the connection's directory
    Cancelled = 2122,         // the caller's abort callback stopped the statement
    PermissionDenied = 2123,  // the dictionary grants the user no such right on the table
    UnknownLink = 2124,       // "link.table" naming no link of the connection's dictionary
    LinkLogInFailed = 2125,   // the linked dictionary refuses the link's log-in
    LinkedDictionaryMissing = 2126,  // the link's dictionary does not exist (any more)
    Other = 2199,                    // any other SQLite failure
};

// "Unknown table", "Lock refused", ...
std::string_view native_error_title(NativeError native);

// Throws EngineError(VE_SQL_ERROR, "ERROR 7200: <title>. NativeError = <n>; <explanation>").
[[noreturn]] void fail_sql(NativeError native, std::string_view explanation);

// The native number of an SQLite failure, from its extended result code and message.
NativeError classify_sqlite_error(int extended_code, std::string_view message);

// The native number of an engine failure met while a statement ran (a lock refused, a
// value that does not convert, ...).
NativeError classify_engine_error(std::uint32_t engine_code);

// An engine failure raised inside SQLite (by the table module) travels through SQLite as its
// message; the module keeps the original here so that the statement reports the engine's
// own kind of failure. One per thread: SQLite runs a statement on the calling thread.
struct PendingEngineError {
    bool set = false;
    std::uint32_t code = 0;
    std::string text;
};
PendingEngineError& pending_engine_error();

// Throws the SQL error for the failure `rc` of `db`: the engine's failure kept by the module
// when there is one, otherwise SQLite's message.
[[noreturn]] void fail_from_sqlite(sqlite3* db, int rc);

}  // namespace varelum::engine::sql
