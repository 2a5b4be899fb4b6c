// Exported functions: SQL statements, their settings and parameters, and result cursors.
// The work is in engine/sql; here are the handles, the text conversions at the boundary
// and the session lock every statement call holds.
#include "engine/api/guard.h"
#include "engine/core/text.h"
#include "engine/format/calendar.h"
#include "engine/record/record_image.h"
#include "engine/sql/result_cursor.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/statement.h"
#include "engine/sql/statement_calls.h"

using namespace varelum::engine;
using namespace varelum::engine::sql;

namespace {

// A statement that is gone (closed, or never issued) answers VE_STATEMENT_GONE, which the
// components tolerate when they close one.
std::shared_ptr<Statement> statement_of(ADSHANDLE handle) {
    std::shared_ptr<HandleObject> object;
    try {
        object = HandleRegistry::instance().find(handle);
    } catch (const EngineError&) {
        fail(VE_STATEMENT_GONE, "handle " + std::to_string(handle));
    }
    if (object->kind() != HandleKind::Statement) {
        fail(VE_WRONG_HANDLE_KIND, "handle " + std::to_string(handle) + " is no SQL statement");
    }
    return std::static_pointer_cast<Statement>(object);
}

// Runs body(statement) under the statement's session lock.
template <typename Body>
UNSIGNED32 with_statement(ADSHANDLE handle, Body&& body) noexcept {
    return guarded([&] {
        auto statement = statement_of(handle);
        std::lock_guard guard(statement->session().mutex());
        body(*statement);
    });
}

std::string text_of(const UNSIGNED8* text) {
    if (text == nullptr) {
        fail(VE_INVALID_ARGUMENT, "no statement text given");
    }
    return ansi_to_utf8(c_text(text));
}

std::string text_of(const WCHAR* text) {
    if (text == nullptr) {
        fail(VE_INVALID_ARGUMENT, "no statement text given");
    }
    return utf16_to_utf8(std::u16string_view(text));
}

// Executes and hands out the cursor (0 when the text yields none).
void execute_into(Statement& statement, ADSHANDLE* cursor_out) {
    if (cursor_out != nullptr) {
        *cursor_out = 0;
    }
    std::shared_ptr<ResultCursor> cursor = statement.execute(cursor_out != nullptr);
    if (cursor && cursor_out != nullptr) {
        *cursor_out = HandleRegistry::instance().add(cursor);
    }
}

template <typename Setter>
UNSIGNED32 set_setting(ADSHANDLE handle, UNSIGNED16 value, UNSIGNED16 low, UNSIGNED16 high,
                       Setter&& setter) noexcept {
    return with_statement(handle, [&](Statement& statement) {
        if (value < low || value > high) {
            fail(VE_INVALID_ARGUMENT, "setting " + std::to_string(value));
        }
        statement.connection();
        setter(statement.settings());
    });
}

}  // namespace

namespace varelum::engine::sql {

bool is_sql_statement(ADSHANDLE handle) noexcept {
    try {
        return HandleRegistry::instance().find(handle)->kind() == HandleKind::Statement;
    } catch (...) {
        return false;
    }
}

UNSIGNED32 bind_parameter(ADSHANDLE handle, const UNSIGNED8* parameter, SqlValue value) noexcept {
    return with_statement(handle, [&](Statement& statement) {
        statement.set_parameter(parameter, std::move(value));
    });
}

UNSIGNED32 bind_parameter_part(ADSHANDLE handle, const UNSIGNED8* parameter,
                               UNSIGNED32 total_length, UNSIGNED32 offset, const UNSIGNED8* bytes,
                               UNSIGNED32 length) noexcept {
    return with_statement(handle, [&](Statement& statement) {
        if (static_cast<std::uint64_t>(offset) + length > total_length ||
            (bytes == nullptr && length > 0)) {
            fail(VE_INVALID_ARGUMENT, "the part does not lie within the total length");
        }
        statement.set_parameter_part(parameter, total_length, offset, sized_text(bytes, length));
    });
}

UNSIGNED32 bind_wide_parameter(ADSHANDLE handle, const UNSIGNED8* parameter, const WCHAR* text,
                               UNSIGNED32 length) noexcept {
    return with_statement(handle, [&](Statement& statement) {
        if (text == nullptr && length > 0) {
            fail(VE_INVALID_ARGUMENT, "the value is missing");
        }
        std::u16string_view wide(text == nullptr ? u"" : text, length);
        statement.set_parameter(parameter, SqlValue::of_text(utf16_to_utf8(wide)));
    });
}

UNSIGNED32 bind_timestamp_parameter(ADSHANDLE handle, const UNSIGNED8* parameter,
                                    const UNSIGNED8* bytes, UNSIGNED32 length) noexcept {
    return with_statement(handle, [&](Statement& statement) {
        if (bytes == nullptr || length != 8) {
            fail(VE_INVALID_ARGUMENT, "a timestamp takes 8 bytes");
        }
        auto julian = load_le<std::int32_t>(bytes);
        auto ms = load_le<std::int32_t>(bytes + 4);
        if (julian != 0 && (ms < 0 || ms >= 86400000)) {
            fail(VE_VALUE_OUT_OF_RANGE, std::to_string(ms) + " milliseconds");
        }
        statement.set_parameter(parameter, julian == 0
                                               ? SqlValue::null()
                                               : SqlValue::of_text(iso_timestamp(julian, ms)));
    });
}

UNSIGNED32 bind_date_text(ADSHANDLE handle, const UNSIGNED8* parameter,
                          std::string_view text) noexcept {
    return with_statement(handle, [&](Statement& statement) {
        std::string trimmed = trim_blanks(text);
        if (trimmed.empty()) {
            statement.set_parameter(parameter, SqlValue::null());
            return;
        }
        DateFormat format = statement.connection()->date_format();
        auto julian = format.parse(trimmed);
        if (!julian) {
            fail(VE_VALUE_NOT_CONVERTIBLE,
                 "\"" + trimmed + "\" is no date in the format " + format.pattern());
        }
        statement.set_parameter(parameter, SqlValue::of_text(iso_date(*julian)));
    });
}

UNSIGNED32 bind_time_text(ADSHANDLE handle, const UNSIGNED8* parameter,
                          std::string_view text) noexcept {
    return with_statement(handle, [&](Statement& statement) {
        std::string trimmed = trim_blanks(text);
        if (trimmed.empty()) {
            statement.set_parameter(parameter, SqlValue::null());
            return;
        }
        auto ms = format::parse_time(trimmed);
        if (!ms) {
            fail(VE_VALUE_NOT_CONVERTIBLE, "\"" + trimmed + "\" is no time");
        }
        statement.set_parameter(parameter, SqlValue::of_text(iso_time(*ms)));
    });
}

UNSIGNED32 statement_rows_affected(ADSHANDLE handle, UNSIGNED32* count) noexcept {
    return with_statement(handle, [&](Statement& statement) {
        UNSIGNED32& result = out(count);
        statement.connection();
        if (!statement.rows_affected()) {
            fail(VE_NO_ROW_COUNT);
        }
        result = *statement.rows_affected();
    });
}

UNSIGNED32 statement_last_autoinc(ADSHANDLE handle, UNSIGNED32* value) noexcept {
    return with_statement(handle, [&](Statement& statement) {
        statement.connection();
        out(value) = statement.last_autoinc();
    });
}

}  // namespace varelum::engine::sql

extern "C" {

VE_API UNSIGNED32 AdsCreateSQLStatement(ADSHANDLE hConnect, ADSHANDLE* phStatement) {
    return guarded([&] {
        ADSHANDLE& handle = out(phStatement);
        auto connection = connection_of(hConnect);
        auto statement = std::make_shared<Statement>(connection);
        statement->settings().timeout_seconds = connection->sql_timeout();
        handle = HandleRegistry::instance().add(statement);
    });
}

VE_API UNSIGNED32 AdsPrepareSQL(ADSHANDLE hStatement, const UNSIGNED8* pucSQL) {
    return with_statement(hStatement,
                          [&](Statement& statement) { statement.prepare(text_of(pucSQL)); });
}

VE_API UNSIGNED32 AdsPrepareSQLW(ADSHANDLE hStatement, const WCHAR* pwcSQL) {
    return with_statement(hStatement,
                          [&](Statement& statement) { statement.prepare(text_of(pwcSQL)); });
}

VE_API UNSIGNED32 AdsExecuteSQL(ADSHANDLE hStatement, ADSHANDLE* phCursor) {
    return with_statement(hStatement,
                          [&](Statement& statement) { execute_into(statement, phCursor); });
}

VE_API UNSIGNED32 AdsExecuteSQLDirect(ADSHANDLE hStatement, const UNSIGNED8* pucSQL,
                                      ADSHANDLE* phCursor) {
    return with_statement(hStatement, [&](Statement& statement) {
        statement.prepare(text_of(pucSQL));
        execute_into(statement, phCursor);
    });
}

VE_API UNSIGNED32 AdsExecuteSQLDirectW(ADSHANDLE hStatement, const WCHAR* pwcSQL,
                                       ADSHANDLE* phCursor) {
    return with_statement(hStatement, [&](Statement& statement) {
        statement.prepare(text_of(pwcSQL));
        execute_into(statement, phCursor);
    });
}

VE_API UNSIGNED32 AdsVerifySQL(ADSHANDLE hStatement, const UNSIGNED8* pucSQL) {
    return with_statement(hStatement,
                          [&](Statement& statement) { statement.verify(text_of(pucSQL)); });
}

VE_API UNSIGNED32 AdsVerifySQLW(ADSHANDLE hStatement, const WCHAR* pwcSQL) {
    return with_statement(hStatement,
                          [&](Statement& statement) { statement.verify(text_of(pwcSQL)); });
}

VE_API UNSIGNED32 AdsCloseSQLStatement(ADSHANDLE hStatement) {
    return guarded([&] {
        statement_of(hStatement);
        HandleRegistry::instance().remove(hStatement);
    });
}

VE_API UNSIGNED32 AdsGetSQLStmtParams(UNSIGNED8* pucStatement) {
    // The text is taken as it is: the engine numbers the markers when it prepares the
    // statement, in the order the components' own scan finds them.
    return guarded([&] {
        if (pucStatement == nullptr) {
            fail(VE_INVALID_ARGUMENT, "no statement text given");
        }
    });
}

VE_API UNSIGNED32 AdsSetSQLTimeout(ADSHANDLE hObj, UNSIGNED32 ulTimeout) {
    return guarded([&] {
        // A connection takes the timeout for the statements made on it from now on.
        if (HandleRegistry::instance().find(hObj)->kind() == HandleKind::Connection) {
            connection_of(hObj)->set_sql_timeout(ulTimeout);
            return;
        }
        auto statement = statement_of(hObj);
        std::lock_guard guard(statement->session().mutex());
        statement->connection();
        statement->settings().timeout_seconds = ulTimeout;
    });
}

VE_API UNSIGNED32 AdsStmtSetTableLockType(ADSHANDLE hStatement, UNSIGNED16 usLockType) {
    return set_setting(hStatement, usLockType, 0, 1,
                       [&](StatementSettings& settings) { settings.lock_type = usLockType; });
}

VE_API UNSIGNED32 AdsStmtSetTableCharType(ADSHANDLE hStatement, UNSIGNED16 usCharType) {
    return set_setting(hStatement, usCharType, VE_CHARTYPE_ANSI, VE_CHARTYPE_LAST,
                       [&](StatementSettings& settings) { settings.char_type = usCharType; });
}

VE_API UNSIGNED32 AdsStmtSetTableCollation(ADSHANDLE hStatement, const UNSIGNED8* pucCollation) {
    return with_statement(hStatement, [&](Statement& statement) {
        statement.connection();
        statement.settings().collation = std::string(c_text(pucCollation));
    });
}

VE_API UNSIGNED32 AdsStmtSetTableRights(ADSHANDLE hStatement, UNSIGNED16 usCheckRights) {
    return set_setting(hStatement, usCheckRights, 1, 2,
                       [&](StatementSettings& settings) { settings.rights = usCheckRights; });
}

VE_API UNSIGNED32 AdsStmtSetTableReadOnly(ADSHANDLE hStatement, UNSIGNED16 usReadOnly) {
    return set_setting(hStatement, usReadOnly, 0, 2,
                       [&](StatementSettings& settings) { settings.read_only = usReadOnly; });
}

VE_API UNSIGNED32 AdsStmtSetTableType(ADSHANDLE hStatement, UNSIGNED16 usTableType) {
    return with_statement(hStatement, [&](Statement& statement) {
        statement.connection();
        if (usTableType > VE_TABLE_TYPE_VFP) {
            fail(VE_INVALID_ARGUMENT, "table type " + std::to_string(usTableType));
        }
        // The type of the tables a statement opens; this engine serves ADT tables, so other
        // types are refused when a statement names a table, not here, where the components
        // pass their default.
        statement.settings().table_type = usTableType;
    });
}

VE_API UNSIGNED32 AdsStmtConstrainUpdates(ADSHANDLE hStatement, UNSIGNED16 usConstrain) {
    return set_setting(hStatement, usConstrain, 1, 2,
                       [&](StatementSettings& settings) { settings.constrain = usConstrain; });
}

VE_API UNSIGNED32 AdsStmtReadAllColumns(ADSHANDLE hStatement, UNSIGNED16 usReadColumns) {
    return set_setting(hStatement, usReadColumns, 1, 2, [&](StatementSettings& settings) {
        settings.read_all_columns = usReadColumns;
    });
}

VE_API UNSIGNED32 AdsStmtEnableEncryption(ADSHANDLE hStatement, const UNSIGNED8* pucPassword) {
    (void)pucPassword;
    return with_statement(hStatement, [&](Statement& statement) {
        statement.connection();
        fail(VE_NOT_SUPPORTED, "encrypted tables");
    });
}

VE_API UNSIGNED32 AdsStmtDisableEncryption(ADSHANDLE hStatement) {
    return with_statement(hStatement, [&](Statement& statement) { statement.connection(); });
}

VE_API UNSIGNED32 AdsStmtSetTablePassword(ADSHANDLE hStatement, const UNSIGNED8* pucTableName,
                                          const UNSIGNED8* pucPassword) {
    (void)pucTableName;
    (void)pucPassword;
    return with_statement(hStatement, [&](Statement& statement) {
        statement.connection();
        fail(VE_NOT_SUPPORTED, "encrypted tables");
    });
}

VE_API UNSIGNED32 AdsStmtClearTablePasswords(ADSHANDLE hStatement) {
    return with_statement(hStatement, [&](Statement& statement) { statement.connection(); });
}

VE_API UNSIGNED32 AdsSqlPeekStatement(ADSHANDLE hCursor, UNSIGNED16* pbLive) {
    return guarded([&] {
        UNSIGNED16& live = out(pbLive);
        live = HandleRegistry::instance().get<ResultCursor>(hCursor)->live() ? 1 : 0;
    });
}

}  // extern "C"
