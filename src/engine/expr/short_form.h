// The long and short forms of an expression text.
//
// The long form spells field names out ("Name = 'X' AND t->Code > 3"); the short form
// writes every field reference as "@n", its field number ("@2 = 'X' AND @1 > 3"). Both are
// valid expressions of the table. Everything but the field references (literals, blanks,
// operators, function names) is kept byte for byte, so code that scans literals in one form
// finds them unchanged in the other. long → short → long gives back the expression with
// each field written as its declared name (and without an alias).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "engine/format/field_type.h"

namespace varelum::engine::expr {

// Throws ExpressionError only for text that cannot be tokenized (an unterminated string);
// names that are no field are left as they stand (compiling the result reports them).
std::string expression_long_to_short(std::string_view text,
                                     std::span<const FieldDescriptor> fields);
// "@n" of an existing field becomes its name; other "@n" stay.
std::string expression_short_to_long(std::string_view text,
                                     std::span<const FieldDescriptor> fields);

}  // namespace varelum::engine::expr
