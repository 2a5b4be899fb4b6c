// The expression parser: text to a typed syntax tree bound to the table's fields.
//
// Precedence from loosest: OR, AND, NOT (also ! and .NOT.), comparisons (= == <> # != < <=
// > >= $), + and -, * and /, unary - and +. Field names compare without regard to case;
// "alias->field" is accepted when the alias is the table's (or no alias was given to
// check against); "@n" names field number n.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "engine/expr/ast.h"
#include "engine/expr/record_access.h"
#include "engine/format/field_type.h"

namespace varelum::engine::expr {

struct CompileOptions {
    // Date literals ({…}) are read with this date format; type rules of DTOC use its length.
    ExpressionSettings settings;
    // The table's alias; when not empty, "other->field" is refused.
    std::string table_alias;
};

// Throws ExpressionError (code and position) for any syntax or type error.
std::unique_ptr<Node> parse_expression(std::string_view text,
                                       std::span<const FieldDescriptor> fields,
                                       const CompileOptions& options);

// The field of that name (ASCII case-insensitive) in `fields`, or null.
const FieldDescriptor* find_field_by_name(std::span<const FieldDescriptor> fields,
                                          std::string_view name);
// The field with that 1-based number, or null.
const FieldDescriptor* find_field_by_number(std::span<const FieldDescriptor> fields,
                                            unsigned number);

}  // namespace varelum::engine::expr
