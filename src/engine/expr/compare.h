// Comparison of expression values: the rules of = == <> < <= > >= and $.
//
// Texts: with the exact setting on, and always for ==, whole values are compared with
// trailing blanks ignored; with it off, the right-hand text is compared with as many
// characters of the left (so 'ABC' = 'AB' and an empty right-hand text matches everything),
// for the ordering operators as for =. Texts compare without regard to case when either
// side is case-insensitive (a CIChar field). Dates compare with timestamps as midnight of
// their day. A null compares as the empty value of its type.
#pragma once

#include "engine/expr/ast.h"
#include "engine/expr/record_access.h"
#include "engine/expr/value.h"

namespace varelum::engine::expr {

enum class TextMatch {
    Whole,   // exact on, or ==
    Prefix,  // exact off
};

// Three-way comparison (<0, 0, >0). REQUIRES: both of one type, or a date and a timestamp.
int compare_values(const Value& left, const Value& right, TextMatch match,
                   const StringCollation& collation);

// The result of comparison operator `op` (is_comparison(op)) under `settings`.
bool compare_with(Operator op, const Value& left, const Value& right,
                  const ExpressionSettings& settings);

// left $ right: the left text occurs in the right one.
bool text_contained(const Value& left, const Value& right, format::CodePage page);

}  // namespace varelum::engine::expr
