// What the value setters and the record-count and AutoInc calls do when they are handed an
// SQL statement handle instead of a table: the statement takes a parameter value (by
// number, as the components bind them, or by name), gives its rows affected, or the AutoInc
// value of its last insert. The field, navigation and table API files ask is_sql_statement
// first and hand such calls here; everything else stays theirs.
#pragma once

#include <string_view>

#include "engine/sql/sql_value.h"
#include "varelum_engine.h"

namespace varelum::engine::sql {

// Whether the handle is a statement (a cheap registry look-up; never fails).
bool is_sql_statement(ADSHANDLE handle) noexcept;

// Binds a value to the parameter(s) `parameter` names. Result codes as every engine call.
UNSIGNED32 bind_parameter(ADSHANDLE statement, const UNSIGNED8* parameter, SqlValue value) noexcept;
// AdsSetBinary on a statement: a part of a binary parameter.
UNSIGNED32 bind_parameter_part(ADSHANDLE statement, const UNSIGNED8* parameter,
                               UNSIGNED32 total_length, UNSIGNED32 offset, const UNSIGNED8* bytes,
                               UNSIGNED32 length) noexcept;
// A text from UTF-16 (AdsSetFieldW, AdsSetStringW).
UNSIGNED32 bind_wide_parameter(ADSHANDLE statement, const UNSIGNED8* parameter, const WCHAR* text,
                               UNSIGNED32 length) noexcept;
// A timestamp from 8 bytes: Julian day, then milliseconds (AdsSetTimeStampRaw).
UNSIGNED32 bind_timestamp_parameter(ADSHANDLE statement, const UNSIGNED8* parameter,
                                    const UNSIGNED8* bytes, UNSIGNED32 length) noexcept;
// A date or time parameter from the statement connection's date format text.
UNSIGNED32 bind_date_text(ADSHANDLE statement, const UNSIGNED8* parameter,
                          std::string_view text) noexcept;
UNSIGNED32 bind_time_text(ADSHANDLE statement, const UNSIGNED8* parameter,
                          std::string_view text) noexcept;
// AdsGetRecordCount on a statement: the rows its last execution changed; VE_NO_ROW_COUNT
// (5117) when it produced no such count.
UNSIGNED32 statement_rows_affected(ADSHANDLE statement, UNSIGNED32* count) noexcept;
// AdsGetLastAutoinc on a statement.
UNSIGNED32 statement_last_autoinc(ADSHANDLE statement, UNSIGNED32* value) noexcept;

}  // namespace varelum::engine::sql
