// The record-image rules: how many bytes each field type takes, its null marker and the
// encodings of the values that have more than one reader (logical bytes, compact dates,
// numeric text). Field calls, the expression evaluator, index keys and SQL read fields through
// these rules, so a field means one thing everywhere in the engine.
//
// Image formats (little-endian): Logical one character ('1','T','Y','t','y' true; a blank
// null); Numeric right-aligned text with "."; Date 32-bit Julian day; CompactDate 3 bytes of bit
// fields year(15) month(4) day(5), big-endian; String and CIString 8-bit text of the table's
// code page padded with blanks; Double and CurDouble IEEE 64-bit; Integer and AutoInc signed
// 32-bit; ShortInt signed 16-bit; Time 32-bit milliseconds; TimeStamp and ModTime 32-bit Julian
// day then 32-bit milliseconds; Raw bytes; Money signed 64-bit x 10000; RowVersion signed
// 64-bit; VarCharFox and VarBinaryFox bytes followed by a 16-bit used length; NChar UTF-16 text
// padded; NVarChar UTF-16 followed by a 16-bit used length in characters; memo types a slot of
// a 32-bit marker (0: no value) and the 32-bit CRC of the value kept outside the image.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "engine/format/coding.h"
#include "engine/format/field_type.h"

namespace varelum::engine::format {

// The marker slot of a memo-type field: "has a value" (0 or all bits set), then the CRC of the
// value, so that the image changes with the value.
constexpr std::uint32_t kMemoSlotSize = 8;
// The used-length word of a variable-length field that is null.
constexpr std::uint16_t kNullLength = 0xFFFF;

bool is_memo_type(FieldType type);         // Memo, Binary, Image, VarChar, NMemo: values kept apart
bool is_binary_memo_type(FieldType type);  // Binary, Image: bytes, not text
// Char, CIChar, VarCharFox, NChar, NVarChar: texts whose blanks are padding.
bool is_text_type(FieldType type);

// Bytes that a field takes in the record image (its declared length, doubled for the UTF-16
// types, plus the 16-bit used length of the variable types; memo types take their slot).
std::uint32_t field_image_size(const FieldDescriptor& field);

// The used length word of a VarCharFox, VarBinaryFox or NVarChar field.
std::uint16_t used_length(const FieldDescriptor& field, const std::uint8_t* image);

// Whether the field's bytes in `image` (the whole record) are its type's null marker, and
// writing that marker. Types no one can read (Reserved1, System) are always null.
bool is_null(const FieldDescriptor& field, const std::uint8_t* image);
void set_null(const FieldDescriptor& field, std::uint8_t* image);

// A Logical field's byte: true for '1', 'T', 'Y', 't', 'y'; anything else but a blank is false.
bool logical_is_true(std::uint8_t byte);
// The logical that a text's first character gives ("T", "Y", "1" / "F", "N", "0", any case).
std::optional<bool> logical_from_text(char first);

// A CompactDate field's bytes as a Julian day (0 when they hold no valid date), and a Julian
// day as those bytes: day 0 (no date) is all zero, the null marker. Storing answers false and
// writes nothing for a day outside the years 1 to 9999, which no date text can name either.
std::int32_t compact_date_julian(const std::uint8_t* bytes);
bool store_compact_date(std::int32_t julian, std::uint8_t* bytes);

// A number as text: blanks (and zero bytes) around it, an optional sign, digits with at most
// one ".", an optional exponent. Always "." whatever the process's locale. Nothing for text
// that is no finite number.
std::optional<double> parse_decimal_text(std::string_view text);
// Fixed-point text with `decimals` digits after "." (locale-independent); negative zero after
// rounding prints as zero.
std::string format_fixed(double value, int decimals);

}  // namespace varelum::engine::format
