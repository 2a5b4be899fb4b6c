// The engine's field types as the tool sees them: the name each has in a field definition
// ("Char", "Integer", ...), whether a definition gives it a length or decimals, and how its
// values travel through a CSV cell.
#pragma once

#include <string>
#include <string_view>

#include "engine_table.h"

namespace varelum::store {

// How a field's values are written in a CSV cell.
enum class ValueKind {
    FixedText,  // Char, CIChar, NChar: padded by the engine, right-trimmed on export
    Text,       // Memo, VarChar, NMemo, VarCharFox, NVarChar: kept as they are
    Logical,    // true / false
    Integer,    // Integer, ShortInt, AutoInc, RowVersion
    Decimal,    // Numeric, Money: decimal text, at most the field's decimals
    Float,      // Double, CurDouble: shortest text that reads back as the same double
    Date,       // YYYY-MM-DD
    Time,       // HH:MM:SS.mmm
    TimeStamp,  // TimeStamp, ModTime: YYYY-MM-DD HH:MM:SS.mmm
    Bytes,      // Binary, Image, Raw, VarBinaryFox: hexadecimal digits
    Other,      // a type this tool does not know: exported as the engine's text
};

ValueKind value_kind(UNSIGNED16 type);

// AutoInc, RowVersion and ModTime: the engine sets their values itself, so an import leaves
// them alone.
bool is_engine_maintained(UNSIGNED16 type);

// "Char", "Integer", ... as a field definition spells the type; "type 19" for a code this
// tool does not know.
std::string type_name(UNSIGNED16 type);

// Whether a field definition gives the type a length (Char,30) or decimals (Numeric,10,2;
// Double,4).
bool definition_has_length(UNSIGNED16 type);
bool definition_has_decimals(UNSIGNED16 type);

// The piece of a field definition that recreates the field: "Name,Char,30;".
std::string field_definition(const FieldInfo& field);

// Whether text of the type is stored as 8-bit text in the table's code page (Char, Memo, ...),
// as UTF-16 (NChar, NVarChar, NMemo), or is no text at all.
bool is_code_page_text(UNSIGNED16 type);
bool is_unicode_text(UNSIGNED16 type);

}  // namespace varelum::store
