// The functions of the expression language: their names, argument counts, type rules and
// evaluation.
//
// UPPER LOWER TRIM RTRIM LTRIM ALLTRIM SUBSTR LEFT RIGHT STR VAL DTOS DTOC CTOD CTOT CTOTS
// YEAR MONTH DAY EMPTY CHR IIF, and LEN SPACE PADL PADR AT ABS INT ROUND ISNULL DATE TODAY
// NOW CONTAINS. Null arguments count as the empty value of their type, except for EMPTY and
// ISNULL, which see the null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/expr/ast.h"
#include "engine/expr/record_access.h"
#include "engine/expr/value.h"

namespace varelum::engine::expr {

// The longest text SPACE, PADL and PADR build; a longer one is an evaluation error rather
// than an allocation that takes the process down.
inline constexpr std::size_t kMaxBuiltTextLength = 65535;

struct FunctionInfo {
    std::string_view name;  // upper case
    std::uint8_t min_arguments;
    std::uint8_t max_arguments;
    // IIF: the evaluator evaluates only the branch it takes.
    bool lazy;
    // Checks the typed arguments of `call` (throws ExpressionError TypeMismatch at the
    // offending argument) and gives the result type. `settings` are the compile-time ones.
    ExprType (*check)(const Node& call, const ExpressionSettings& settings);
    // Computes the result from the evaluated arguments (not called for lazy functions).
    Value (*evaluate)(std::vector<Value>& arguments, const ExpressionSettings& settings,
                      const Node& call);
};

// The function of that name (case-insensitive), or null.
const FunctionInfo* find_function(std::string_view name);

}  // namespace varelum::engine::expr
