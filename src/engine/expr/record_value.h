// Field values out of an ADT record image: the null markers and the decoding of each field
// type into an expression Value. The table storage and the index key builder use the same
// functions, so that a field means one thing everywhere in the engine.
//
// Image formats (little-endian): Logical one character ('1','T','Y','t','y' true; blank null);
// Numeric right-aligned text with "."; Date 32-bit Julian day; CompactDate 3 bytes of bit
// fields year(15) month(4) day(5), big-endian; String and CIString 8-bit text padded with
// blanks; Double and CurDouble IEEE 64-bit; Integer and AutoInc signed 32-bit; ShortInt
// signed 16-bit; Time 32-bit milliseconds; TimeStamp and ModTime 32-bit Julian day then
// 32-bit milliseconds; Raw bytes; Money signed 64-bit × 10000; RowVersion signed 64-bit;
// VarCharFox and VarBinaryFox bytes followed by a 16-bit used length; NChar UTF-16 text
// padded; NVarChar UTF-16 followed by a 16-bit used length in characters; memo types a 32-bit
// marker (0: no value) whose value the record access reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/expr/value.h"
#include "engine/record/field_type.h"

namespace varelum::engine::expr {

class RecordAccess;

// Bytes the field takes in the record image, its used-length word included.
std::size_t field_image_size(const FieldDescriptor& field);

// The expression type a field's values have; nothing for types no expression can read
// (Reserved1, System and unknown codes).
std::optional<ValueType> field_value_type(FieldType type);

bool is_memo_type(FieldType type);  // Memo, Binary, Image, VarChar, NMemo

// The width in characters of the text a Character field gives (0 for memo types, whose
// length varies).
std::uint32_t field_text_width(const FieldDescriptor& field);

// True when the field's bytes in `image` are the ADT null marker of its type.
// REQUIRES: image holds the field (offset + field_image_size <= image.size()).
bool is_raw_value_null(const FieldDescriptor& field, std::span<const std::uint8_t> image);

// The field's value. Texts keep their padding to the field's width (LEN of a Char(10) field
// is 10); UTF-16 texts are converted to Windows-1252. Memo values come from
// `blobs->read_blob` (no record access: memo fields read as null). Null fields give
// Value::null_of(type). Throws std::invalid_argument for a field outside the image or of a
// type no expression can read.
Value decode_field_value(const FieldDescriptor& field, std::span<const std::uint8_t> image,
                         const RecordAccess* blobs = nullptr);

// The number in a Numeric field's text (blanks around it allowed); nothing when it is no
// number.
std::optional<double> parse_numeric_text(std::string_view text);

}  // namespace varelum::engine::expr
