// Field values as CSV cells, both ways, by the field's type (field_types.h says which form
// each type takes). An empty cell is null. Text is UTF-8 in the cell and the table's code page
// (or UTF-16) in the record; a character the field cannot hold is refused, never replaced.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine_table.h"

namespace varelum::store {

// Sets the field of the table's current record (or pending append) from a cell. code_page is
// the table's character type (VE_CHARTYPE_...). Throws StoreError with the reason when the
// cell is no value of the field ("\"12x\" is not a whole number"); the caller adds where.
void set_cell(const Table& table, const FieldInfo& field, std::string_view cell,
              UNSIGNED16 code_page);

// The field of the table's current record as a cell ("" for null).
std::string get_cell(const Table& table, const FieldInfo& field);

// The forms of dates and times in cells, exposed for the tests and for the demo data.
std::optional<std::int32_t> parse_date(std::string_view text);  // Julian day
std::optional<std::int32_t> parse_time(std::string_view text);  // milliseconds
std::string format_date(std::int32_t julian);                   // YYYY-MM-DD
std::string format_time(std::int32_t milliseconds);             // HH:MM:SS.mmm

}  // namespace varelum::store
