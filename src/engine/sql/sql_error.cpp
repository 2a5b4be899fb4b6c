// SQL error texts and the classification of SQLite's and the engine's failures (see
// sql_error.h).
#include "engine/sql/sql_error.h"

#include <sqlite3.h>

#include "varelum_engine.h"

namespace varelum::engine::sql {
namespace {

struct Title {
    NativeError native;
    const char* text;
};

constexpr Title kTitles[] = {
    {NativeError::Syntax, "Syntax error"},
    {NativeError::UnknownTable, "Unknown table"},
    {NativeError::UnknownColumn, "Unknown column"},
    {NativeError::UnknownFunction, "Unknown function or procedure"},
    {NativeError::TypeMismatch, "Type mismatch"},
    {NativeError::Constraint, "Constraint violation"},
    {NativeError::LockRefused, "Lock refused"},
    {NativeError::TableInUse, "Table in use"},
    {NativeError::TableExists, "Table exists"},
    {NativeError::Parameter, "Parameter error"},
    {NativeError::ReadOnly, "Read-only"},
    {NativeError::NotSupported, "Not supported"},
    {NativeError::ValueOutOfRange, "Value out of range"},
    {NativeError::Ambiguous, "Ambiguous column name"},
    {NativeError::NotPrepared, "No statement prepared"},
    {NativeError::Engine, "Engine error"},
    {NativeError::Timeout, "Timeout"},
    {NativeError::Cancelled, "Cancelled"},
    {NativeError::IndexExists, "Index exists"},
    {NativeError::UnknownIndex, "Unknown index"},
    {NativeError::AmbiguousIndex, "Ambiguous index name"},
    {NativeError::OutsideStore, "Table outside the database"},
    {NativeError::PermissionDenied, "Permission denied"},
    {NativeError::UnknownLink, "Unknown link"},
    {NativeError::LinkLogInFailed, "Link log-in failed"},
    {NativeError::LinkedDictionaryMissing, "Linked dictionary missing"},
    {NativeError::Other, "SQL error"},
};

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

}  // namespace

std::string_view native_error_title(NativeError native) {
    for (const auto& title : kTitles) {
        if (title.native == native) {
            return title.text;
        }
    }
    return "SQL error";
}

void fail_sql(NativeError native, std::string_view explanation) {
    std::string text = "ERROR 7200: ";
    text += native_error_title(native);
    text += ". NativeError = ";
    text += std::to_string(static_cast<std::uint32_t>(native));
    text += "; ";
    text += explanation;
    throw EngineError(VE_SQL_ERROR, std::move(text));
}

NativeError classify_sqlite_error(int extended_code, std::string_view message) {
    if (contains(message, "no such table") || contains(message, "no such view")) {
        return NativeError::UnknownTable;
    }
    if (contains(message, "no such column") || contains(message, "has no column named")) {
        return NativeError::UnknownColumn;
    }
    if (contains(message, "no such function") || contains(message, "wrong number of arguments")) {
        return NativeError::UnknownFunction;
    }
    if (contains(message, "ambiguous column name")) {
        return NativeError::Ambiguous;
    }
    if (contains(message, "syntax error") || contains(message, "incomplete input") ||
        contains(message, "unrecognized token") || contains(message, "near \"")) {
        return NativeError::Syntax;
    }
    if (contains(message, "already exists")) {
        return NativeError::TableExists;
    }
    switch (extended_code & 0xFF) {
        case SQLITE_CONSTRAINT:
            return NativeError::Constraint;
        case SQLITE_MISMATCH:
            return NativeError::TypeMismatch;
        case SQLITE_RANGE:
            return NativeError::Parameter;
        case SQLITE_READONLY:
            return NativeError::ReadOnly;
        case SQLITE_TOOBIG:
            return NativeError::ValueOutOfRange;
        case SQLITE_INTERRUPT:
            return NativeError::Timeout;
        default:
            return NativeError::Other;
    }
}

NativeError classify_engine_error(std::uint32_t engine_code) {
    switch (engine_code) {
        case VE_LOCK_REFUSED:
            return NativeError::LockRefused;
        case VE_TABLE_IN_USE:
        case VE_NOT_EXCLUSIVE:
            return NativeError::TableInUse;
        case VE_TABLE_NOT_FOUND:
            return NativeError::UnknownTable;
        case VE_FIELD_NOT_FOUND:
            return NativeError::UnknownColumn;
        case VE_FIELD_TYPE_MISMATCH:
        case VE_VALUE_NOT_CONVERTIBLE:
            return NativeError::TypeMismatch;
        case VE_VALUE_OUT_OF_RANGE:
            return NativeError::ValueOutOfRange;
        case VE_READ_ONLY:
        case VE_FIELD_READ_ONLY:
        case VE_STATIC_VIEW:
            return NativeError::ReadOnly;
        case VE_INVALID_FIELD_DEFINITION:
            return NativeError::TypeMismatch;
        case VE_NOT_SUPPORTED:
            return NativeError::NotSupported;
        case VE_SQL_ERROR:
            return NativeError::Other;
        case VE_INDEX_EXISTS:
            return NativeError::IndexExists;
        case VE_OPERATION_CANCELLED:
            return NativeError::Cancelled;
        case VE_PERMISSION_DENIED:
        case VE_BOUND_TO_DICTIONARY:
            return NativeError::PermissionDenied;
        case VE_DICTIONARY_ONLY:
            return NativeError::UnknownTable;
#ifdef VE_DUPLICATE_KEY
        case VE_DUPLICATE_KEY:
            return NativeError::Constraint;
#endif
        default:
            // The index part's refusal of a duplicate key (and any later rule of a table)
            // names itself in its text; everything else is an engine failure.
            return NativeError::Engine;
    }
}

PendingEngineError& pending_engine_error() {
    thread_local PendingEngineError pending;
    return pending;
}

void fail_from_sqlite(sqlite3* db, int rc) {
    PendingEngineError& pending = pending_engine_error();
    if (pending.set) {
        pending.set = false;
        if (pending.code == VE_SQL_ERROR) {
            throw EngineError(VE_SQL_ERROR, std::move(pending.text));
        }
        NativeError native = classify_engine_error(pending.code);
        std::string lower = pending.text;
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (native == NativeError::Engine &&
            (contains(lower, "unique") || contains(lower, "duplicate"))) {
            native = NativeError::Constraint;
        }
        fail_sql(native, pending.text);
    }
    int extended = db != nullptr ? sqlite3_extended_errcode(db) : rc;
    std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    fail_sql(classify_sqlite_error(extended, message), message);
}

}  // namespace varelum::engine::sql
