// The engine's table of result codes and texts, and the per-thread last error.
#include "engine/core/error.h"

#include <cstring>

#include "varelum_engine.h"

namespace varelum::engine {
namespace {

struct CodeText {
    std::uint32_t code;
    const char* text;
};

// One table for every code the engine answers. Codes below 6000 keep the meaning the
// data-access components give them; the rest are this engine's own.
constexpr CodeText kCodeTexts[] = {
    {VE_SUCCESS, "No error."},
    {VE_BUFFER_TOO_SMALL, "The buffer is too small for the value."},
    {VE_INDEX_NOT_OPEN, "The index is not open."},
    {VE_NOT_APPLICABLE, "The operation does not apply to this object."},
    {VE_RECORD_NOT_FOUND, "The record was not found."},
    {VE_NO_CONNECTION, "The object has no connection."},
    {VE_NO_COLLATION, "The table has no collation."},
    {VE_LOCK_REFUSED, "The record or table is locked by another user."},
    {VE_NO_FILTER, "There is no filter."},
    {VE_NO_SCOPE, "There is no scope."},
    {VE_NO_KEY_POSITION, "The relative key position is not available."},
    {VE_PERMISSION_DENIED, "Permission is not granted."},
    {VE_NO_MORE_TABLES, "There are no more tables."},
    {VE_RECORD_NOT_LOCKED, "The record is not locked."},
    {VE_STATIC_VIEW, "The cursor is a static view and cannot be updated."},
    {VE_INDEX_ALREADY_OPEN, "The index is already open."},
    {VE_NO_CURRENT_RECORD, "There is no current record."},
    {VE_NOTHING_TO_CANCEL, "There is no pending update to cancel."},
    {VE_TABLE_NOT_LOCKED, "The table is not locked."},
    {VE_STATEMENT_GONE, "The SQL statement handle is no longer valid."},
    {VE_NO_ROW_COUNT, "The statement produced no count of affected rows."},
    {VE_COMPONENT_ERROR, "Error in the data-access components."},
    {VE_DICTIONARY_ONLY, "The object is not in the data dictionary."},
    {VE_DD_NO_MORE_OBJECTS, "There are no more objects in the data dictionary list."},
    {VE_DD_PROPERTY_NOT_SET, "The data dictionary property has no value."},
    {VE_RECORD_CHANGED, "Record was changed by another user."},
    {VE_SQL_ERROR, "SQL error."},
    {VE_NOT_IMPLEMENTED, "The function is not implemented by this engine yet."},
    {VE_INVALID_HANDLE, "The handle is not valid."},
    {VE_CLOSED_HANDLE, "The handle has been closed."},
    {VE_WRONG_HANDLE_KIND, "The handle is not of the kind this function needs."},
    {VE_INVALID_ARGUMENT, "An argument is missing or out of range."},
    {VE_INTERNAL_ERROR, "Internal engine error."},
    {VE_OUT_OF_MEMORY, "The engine ran out of memory."},
    {VE_PATH_NOT_FOUND, "The connection path does not exist or is not a directory."},
    {VE_SERVER_NOT_AVAILABLE, "The server types allowed do not include the local server."},
    {VE_NOT_SUPPORTED, "The operation is not supported by this engine."},
    {VE_INVALID_CONNECT_STRING, "The connection string is not valid."},
    {VE_INVALID_DATE_FORMAT, "The date format is not valid."},
    {VE_TABLE_NOT_FOUND, "The table file does not exist."},
    {VE_TABLE_IN_USE, "The table is in use by another user."},
    {VE_TABLE_CORRUPT, "The table file is damaged or is not a table."},
    {VE_TABLE_VERSION, "The table file was written by a newer engine."},
    {VE_FILE_ERROR, "A file operation failed."},
    {VE_READ_ONLY, "The table was opened read-only."},
    {VE_TABLE_FULL, "The table is full."},
    {VE_INVALID_FIELD_DEFINITION, "The field definition is not valid."},
    {VE_FIELD_NOT_FOUND, "The field was not found."},
    {VE_FIELD_TYPE_MISMATCH, "The operation does not apply to the field's type."},
    {VE_VALUE_NOT_CONVERTIBLE, "The value cannot be converted to the field's type."},
    {VE_VALUE_OUT_OF_RANGE, "The value does not fit the field."},
    {VE_FIELD_READ_ONLY, "The field is maintained by the engine and cannot be set."},
    {VE_NOT_EXCLUSIVE, "The table must be open by this handle alone."},
    {VE_NO_PENDING_APPEND, "There is no pending append."},
    {VE_INVALID_EXPRESSION, "The expression is not valid."},
    {VE_EXPRESSION_FAILED, "The expression could not be evaluated."},
    {VE_UNKNOWN_COLLATION, "The collation is not known."},
    {VE_INDEX_FILE_NOT_FOUND, "The index file does not exist or belongs to another table."},
    {VE_INDEX_EXISTS, "An index of that name exists already."},
    {VE_KEY_TOO_LONG, "The index key is longer than 480 bytes."},
    {VE_DUPLICATE_KEY, "The key exists already in a unique index."},
    {VE_INVALID_KEY, "The key is not valid for the index."},
    {VE_TOO_MANY_INDEXES, "The table cannot hold more index tags."},
    {VE_DATA_WOULD_BE_LOST, "The change would lose data of a field."},
    {VE_OPERATION_CANCELLED, "The operation was cancelled by a callback."},
    {VE_IN_TRANSACTION, "A transaction is active on the connection."},
    {VE_NO_TRANSACTION, "No transaction is active on the connection."},
    {VE_UNKNOWN_SAVEPOINT, "The transaction has no savepoint of that name."},
    {VE_UNFINISHED_TRANSACTION,
     "A process ended inside a transaction on this table, and its changes cannot be rolled "
     "back here (the directory or the table is read-only)."},
    {VE_LOGIN_FAILED, "The user name or password is not valid."},
    {VE_BOUND_TO_DICTIONARY,
     "The table belongs to a data dictionary; open it through a connection to that dictionary."},
    {VE_NOT_A_DICTIONARY, "The file is not a data dictionary."},
    {VE_DICTIONARY_EXISTS, "A file of that name exists already."},
    {VE_DD_OBJECT_EXISTS, "The data dictionary holds an object of that name already."},
};

}  // namespace

std::string error_text(std::uint32_t code) {
    for (const auto& entry : kCodeTexts) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return "Unknown error code " + std::to_string(code) + ".";
}

void fail(std::uint32_t code, std::string_view detail) {
    std::string text = error_text(code);
    if (!detail.empty()) {
        // "The table file does not exist.: x" reads badly; drop the period before a detail.
        if (!text.empty() && text.back() == '.') {
            text.pop_back();
        }
        text += ": ";
        text += detail;
    }
    throw EngineError(code, std::move(text));
}

void fail_errno(std::string_view operation, std::string_view path, int error_number) {
    std::string detail(operation);
    detail += " ";
    detail += path;
    detail += " (";
    detail += std::strerror(error_number);
    detail += ")";
    fail(error_number == ENOSPC ? VE_TABLE_FULL : VE_FILE_ERROR, detail);
}

namespace {

// Whether the calling thread's last error may hold anything. Every successful call clears the
// last error, so this is read on every call: initial-exec keeps it one load at a fixed offset
// from the thread pointer, where the thread-locals of a library loaded with dlopen otherwise
// cost a __tls_get_addr call (one byte of the static TLS that glibc keeps for such libraries).
thread_local bool error_set __attribute__((tls_model("initial-exec"))) = false;

}  // namespace

LastError& last_error() {
    thread_local LastError error;
    return error;
}

void set_last_error(std::uint32_t code, std::string text) {
    LastError& error = last_error();
    error.code = code;
    error.text = std::move(text);
    error_set = true;
}

void clear_last_error() {
    if (!error_set) {
        return;
    }
    LastError& error = last_error();
    error.code = 0;
    error.text.clear();
    error_set = false;
}

}  // namespace varelum::engine
