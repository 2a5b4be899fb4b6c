// Values between the engine's record images and SQLite.
//
// In SQL, text columns (Char, CIChar, VarCharFox, NChar, NVarChar, memos) are UTF-8 text
// without their trailing blanks; numbers are integers or reals; logicals 1 and 0; dates,
// times and timestamps ISO texts ("2024-03-01", "13:45:00", "2024-03-01 13:45:00.250"; the
// milliseconds only when not 0), which compare and order as the values do and which
// SQLite's date functions read; binary values blobs. Going back into a field, a text is
// converted by the field's type, a number into a date field is taken as a Julian day
// number as SQLite's julianday() gives it, and a null clears the field.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/format/code_page.h"
#include "engine/format/field_type.h"
#include "engine/record/record_image.h"

namespace varelum::engine {
class TableCursor;
}

namespace varelum::engine::sql {

// One value owned outside SQLite (a bound parameter, a row being materialised).
struct SqlValue {
    enum class Type { Null, Integer, Real, Text, Blob };
    Type type = Type::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes;  // Text: UTF-8; Blob: the bytes

    static SqlValue null() { return {}; }
    static SqlValue of_integer(std::int64_t value);
    static SqlValue of_real(double value);
    static SqlValue of_text(std::string utf8);
    static SqlValue of_blob(std::string bytes);
    static SqlValue of(sqlite3_value* value);  // a copy of SQLite's value
};

void bind_value(sqlite3_stmt* statement, int number, const SqlValue& value);

// ISO texts of dates and times (see above), and their reading: a date, optionally followed
// by "T" or a blank and a time; or a time alone (day 0). nullopt when it is neither.
std::string iso_date(std::int32_t julian);
std::string iso_time(std::int32_t milliseconds);
std::string iso_timestamp(std::int32_t julian, std::int32_t milliseconds);
struct DayAndTime {
    std::int32_t julian = 0;  // 0: a time alone
    std::int32_t milliseconds = 0;
};
std::optional<DayAndTime> parse_iso(std::string_view text);

// The SQL value of a field of the table's current record (memo values read through it).
SqlValue field_value(TableCursor& table, const FieldDescriptor& field);
// The same straight into SQLite's result.
void result_field(sqlite3_context* context, TableCursor& table, const FieldDescriptor& field);

// Writes `value` into the field of `image` (not memo types). Throws VE_VALUE_NOT_CONVERTIBLE,
// VE_VALUE_OUT_OF_RANGE or VE_FIELD_TYPE_MISMATCH.
void write_value(const FieldDescriptor& field, std::uint8_t* image, const SqlValue& value,
                 const TextContext& context);
// The stored bytes of a memo-type field for `value` (text in the table's code page, UTF-16LE
// for NMemo, bytes for binary fields); nullopt for null.
std::optional<std::string> memo_bytes(const FieldDescriptor& field, const SqlValue& value,
                                      format::CodePage page);

// Sets a field of the table's record buffer through the write path (its lock, its memo
// values). Fields the engine maintains (AutoInc, RowVersion) are left alone.
void store_field(TableCursor& table, const FieldDescriptor& field, const SqlValue& value);

}  // namespace varelum::engine::sql
