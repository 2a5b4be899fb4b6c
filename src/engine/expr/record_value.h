// Field values out of a record image as expression values: the decoding of each field type
// under the record-image rules of the format layer (engine/format/field_image.h), which the
// table storage and the field calls use too, so that a field means one thing everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/expr/value.h"
#include "engine/format/code_page.h"
#include "engine/format/field_type.h"

namespace varelum::engine::expr {

class RecordAccess;

// The expression type a field's values have; nothing for types no expression can read
// (Reserved1, System and unknown codes).
std::optional<ValueType> field_value_type(FieldType type);

// The width in characters of the text a Character field gives (0 for memo types, whose
// length varies).
std::uint32_t field_text_width(const FieldDescriptor& field);

// The field's value. Texts keep their padding to the field's width (LEN of a Char(10) field
// is 10) and are in the table's code page `page`, the code page of every text an expression
// on that table handles: 8-bit texts as stored, UTF-16 texts converted. Memo values come from
// `blobs->read_blob` (no record access: memo fields read as null). Null fields give
// Value::null_of(type). Throws std::invalid_argument for a field outside the image or of a
// type no expression can read.
Value decode_field_value(const FieldDescriptor& field, std::span<const std::uint8_t> image,
                         const RecordAccess* blobs = nullptr,
                         format::CodePage page = format::CodePage::Ansi1252);

}  // namespace varelum::engine::expr
