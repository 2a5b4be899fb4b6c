// Converting one field's value into a field of another table layout (another type, size or
// code page): the one rule that copying records between tables and restructuring a table
// share, so that a value reads the same after either.
#pragma once

#include <cstdint>
#include <string>

#include "engine/record/record_image.h"

namespace varelum::engine {

// What becomes of a value that its new field cannot hold exactly.
enum class ValueFit {
    // Nothing is approximated: the answer says why the value cannot be kept.
    Exact,
    // As a field setter takes a value: a text is cut to the field, a number rounded to its
    // decimals, the time of day dropped from a date; a value the field cannot take at all throws
    // VE_VALUE_NOT_CONVERTIBLE or VE_VALUE_OUT_OF_RANGE.
    Nearest,
};

// Sets field `target` of the image `to` from the value of field `source` of the image `from`.
// REQUIRES: neither field is a memo type (their values live outside the image).
// Fields alike in type and size take the bytes themselves (8-bit text recoded when the two
// contexts' code pages differ, as reading one and setting the other would); otherwise numbers
// go to numbers, dates to dates and timestamps, and texts to and from the other types through
// their text (an empty text becomes null). `from_context` reads the source's texts, `to_context`
// writes the target's. Returns an empty text when the value was kept (always, for
// ValueFit::Nearest), otherwise why it could not be; the target field's content is then
// unspecified.
std::string convert_field_value(const FieldDescriptor& source, const std::uint8_t* from,
                                const FieldDescriptor& target, std::uint8_t* to,
                                const TextContext& from_context, const TextContext& to_context,
                                ValueFit fit);

// The stored value of the memo-type field `source` as the memo-type field `target` keeps it:
// the bytes themselves where the two store alike, otherwise the same text (between code pages,
// and between 8-bit and UTF-16 memos) as reading one and setting the other would give; a
// character the target's code page lacks becomes '?', as its setter makes it.
std::string convert_memo_value(const FieldDescriptor& source, std::string value,
                               const FieldDescriptor& target, const TextContext& from_context,
                               const TextContext& to_context);

}  // namespace varelum::engine
