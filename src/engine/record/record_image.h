// The record image: the bytes of one record as AdsGetRecord delivers them, laid out by the
// table's schema, with the null markers of ADT tables. These functions read and write one
// field's bytes in every form the engine's getters and setters offer. Memo-type values live
// outside the image (storage/table_file.h); here only their marker slot is touched, and the
// text of a stored memo value read and made.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/dates.h"
#include "engine/core/text.h"
#include "engine/format/code_page.h"
#include "engine/format/field_image.h"
#include "engine/record/schema.h"

namespace varelum::engine {

// The image's rules (sizes, null markers, byte order) are the format layer's; the record
// layer adds the conversions of the field calls on top of them.
using format::is_binary_memo_type;
using format::is_memo_type;
using format::is_null;
using format::kMemoSlotSize;
using format::load_le;
using format::set_null;
using format::store_le;

// What text conversions need to know: the table's code page, the date format of the
// connection (a copy of its own, so that no other context can change it; none: the default
// format) and the number of decimals for doubles.
struct TextContext {
    format::CodePage page = format::CodePage::Ansi1252;
    std::optional<DateFormat> date_format;
    int decimals = 2;
};

std::vector<std::uint8_t> null_image(const TableSchema& schema);
// Null, or a text of blanks only (text types).
bool is_empty(const FieldDescriptor& field, const std::uint8_t* image);

// The marker slot of a memo-type field.
void set_memo_marker(const FieldDescriptor& field, std::uint8_t* image, bool has_value,
                     std::uint32_t crc);
bool memo_marker(const FieldDescriptor& field, const std::uint8_t* image);

// The value as 8-bit text (Windows-1252; see AdsGetField); not for memo types.
std::string field_text(const FieldDescriptor& field, const std::uint8_t* image,
                       const TextContext& context);
// The value as UTF-16 text: NChar and NVarChar as stored, every other type through
// field_text.
std::u16string field_text_utf16(const FieldDescriptor& field, const std::uint8_t* image,
                                const TextContext& context);
// Converts 8-bit text (Windows-1252) into the field. Throws VE_VALUE_NOT_CONVERTIBLE or
// VE_VALUE_OUT_OF_RANGE before any byte changes.
void set_field_text(const FieldDescriptor& field, std::uint8_t* image, std::string_view text,
                    const TextContext& context);
void set_field_utf16(const FieldDescriptor& field, std::uint8_t* image, std::u16string_view text,
                     const TextContext& context);
// A memo-type value as stored outside the image, and its text: Memo and VarChar keep 8-bit text
// of the table's code page, NMemo UTF-16, Binary and Image bytes that read as Windows-1252.
std::u16string memo_text_utf16(const FieldDescriptor& field, std::string_view stored,
                               const TextContext& context);
std::string memo_stored_from_utf16(const FieldDescriptor& field, std::u16string_view text,
                                   const TextContext& context);
// The field's image bytes as given (see AdsSetFieldRaw).
void set_field_raw(const FieldDescriptor& field, std::uint8_t* image, const std::uint8_t* bytes,
                   std::uint32_t length);

// Numeric access (null reads as 0); VE_FIELD_TYPE_MISMATCH for types without a number.
double field_double(const FieldDescriptor& field, const std::uint8_t* image);
std::int64_t field_integer(const FieldDescriptor& field, const std::uint8_t* image);
void set_field_double(const FieldDescriptor& field, std::uint8_t* image, double value);
void set_field_integer(const FieldDescriptor& field, std::uint8_t* image, std::int64_t value);
bool field_logical(const FieldDescriptor& field, const std::uint8_t* image);
void set_field_logical(const FieldDescriptor& field, std::uint8_t* image, bool value);
// Dates and times: Date, CompactDate, TimeStamp, ModTime carry a Julian day; Time, TimeStamp,
// ModTime milliseconds. Null reads as 0.
std::int32_t field_julian(const FieldDescriptor& field, const std::uint8_t* image);
std::int32_t field_milliseconds(const FieldDescriptor& field, const std::uint8_t* image);
void set_field_julian(const FieldDescriptor& field, std::uint8_t* image, std::int32_t julian);
void set_field_milliseconds(const FieldDescriptor& field, std::uint8_t* image, std::int32_t ms);

}  // namespace varelum::engine
