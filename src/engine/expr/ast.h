// The syntax tree of a compiled expression, typed and bound to the table's fields.
//
// The parser builds it; the evaluator walks it; the filter optimiser reads it to find terms
// that an index can answer. Every node knows its result type, for texts also the width a key
// of it takes, and the span of source text it came from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/expr/value.h"
#include "engine/format/field_type.h"

namespace varelum::engine::expr {

struct FunctionInfo;

// The static type of an expression or a node.
struct ExprType {
    ValueType type = ValueType::Logical;
    // Character: the width in characters of the value as a key (the field's length for a
    // field, the sum for a concatenation, LEFT(x, 5) gives 5, …); 0 when it varies (memo
    // fields). Other types: 0.
    std::uint32_t width = 0;
    // Character values that compare without regard to case (from CIChar fields).
    bool case_insensitive = false;
};

enum class NodeKind : std::uint8_t { Literal, Field, Unary, Binary, Call };

enum class Operator : std::uint8_t {
    // Binary
    Add,
    Subtract,
    Multiply,
    Divide,
    Equal,       // =   governed by the exact setting for texts
    ExactEqual,  // ==  always whole values
    NotEqual,    // <> # !=
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    Contains,  // $   left is contained in right
    And,
    Or,
    // Unary
    Not,
    Negate,
    Plus,
};

bool is_comparison(Operator op);  // Equal … GreaterEqual (not Contains)

struct Node {
    NodeKind kind = NodeKind::Literal;
    ExprType type;
    std::size_t position = 0;  // first byte of the node's source text
    std::size_t end = 0;       // one past its last byte
    bool is_constant = true;   // no field is read below this node
    std::uint32_t depth = 1;   // levels of the subtree (bounded by the parser)

    Value literal;                                // Literal
    FieldDescriptor field;                        // Field: a copy, so the tree outlives the schema
    Operator op = Operator::Add;                  // Unary, Binary
    const FunctionInfo* function = nullptr;       // Call
    std::vector<std::unique_ptr<Node>> children;  // operands or arguments, in order
};

// The node in one canonical spelling: names of fields and functions upper-cased, one blank
// around binary operators, every binary and unary operation in parentheses, AND OR NOT for
// the logical operators, <> for every not-equal, strings in double quotes (single quotes
// when the text holds a double quote), dates as {^yyyy-mm-dd}. Two expressions that differ
// only in spelling give the same text, so an index's key expression and a filter term can be
// matched by comparing these texts.
std::string normalized_text(const Node& node);

}  // namespace varelum::engine::expr
