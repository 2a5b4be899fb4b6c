// Splitting a filter into the terms an index can answer.
//
// A filter such as  Code = 'X' AND (Price > 10 OR UPPER(Name) = 'A') AND EMPTY(Notes)
// becomes a tree of AND and OR nodes over terms "<expression> <op> <constant>". The filter
// optimiser looks each term's key_text up among the table's index key expressions
// (normalised the same way): a term with an index is resolved to record numbers through
// it; a term without one, and every Residual, is evaluated record by record. NOT is pushed
// down to the leaves (De Morgan, and a negated term takes the opposite operator).
//
// Semantics the optimiser must keep, so that the indexed result equals evaluation:
// - `prefix` (texts compared with the exact setting off): the constant matches the first
//   characters of the key: Equal means "starts with", Greater means "after every key that
//   starts with the constant", and so on; an empty constant matches every key.
// - Whole-text terms compare the constant padded with blanks to the key's width; a constant
//   longer than the key width (ignoring trailing blanks) equals no key.
// - `matches_null`: a null key value satisfies the term (nulls compare as the empty value),
//   so the keys of null values (the null marker) belong to the result too.
// - Case-insensitive keys (CIChar) compare without regard to case; an index over such a key
//   is built with case-folded weights.
#pragma once

#include <string>
#include <vector>

#include "engine/expr/ast.h"
#include "engine/expr/expression.h"
#include "engine/expr/record_access.h"
#include "engine/expr/value.h"

namespace varelum::engine::expr {

enum class TermOperator { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

struct FilterTerm {
    const Node* key = nullptr;  // the side that reads fields
    std::string key_text;       // normalized_text(*key)
    TermOperator op = TermOperator::Equal;
    Value constant;  // of the key's type
    bool prefix = false;
    bool matches_null = false;
    // To evaluate the term record by record: the node it came from (a comparison, or a
    // logical expression compared with .T.), negated when `negated`.
    const Node* source = nullptr;
    bool negated = false;
};

struct FilterNode {
    enum class Kind { And, Or, Term, Residual };
    Kind kind = Kind::Residual;
    std::vector<FilterNode> children;  // And, Or: two or more
    FilterTerm term;                   // Term
    const Node* residual = nullptr;    // Residual: a logical subtree …
    bool negated = false;              // … whose value is negated when set
};

// The term tree of a logical expression. The nodes point into `filter`'s tree, which must
// outlive the result. Constant parts (literals, CTOD('…'), DATE()) are evaluated now with
// `settings`, which must also be the settings the filter will be evaluated under.
// REQUIRES: filter.result_type().type == ValueType::Logical.
FilterNode split_filter(const Expression& filter, const ExpressionSettings& settings);

// Evaluates a node of the tree (any kind) record by record.
bool evaluate_filter_node(const FilterNode& node, const RecordAccess& record);

// A readable text of a node, for the unoptimised part of a filter:
// "(UPPER(NAME) = \"A\") AND NOT EMPTY(NOTES)".
std::string filter_node_text(const FilterNode& node);

}  // namespace varelum::engine::expr
