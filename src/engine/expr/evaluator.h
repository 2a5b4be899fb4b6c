// Evaluation of a typed expression tree on one record.
#pragma once

#include "engine/expr/ast.h"
#include "engine/expr/record_access.h"
#include "engine/expr/value.h"

namespace varelum::engine::expr {

// The value of `node` on the current record of `record`. Throws ExpressionError for
// division by zero and texts beyond kMaxBuiltTextLength; the record access's own errors
// pass through.
Value evaluate(const Node& node, const RecordAccess& record);

// The value of a subtree that reads no field (node.is_constant).
Value evaluate_constant(const Node& node, const ExpressionSettings& settings);

}  // namespace varelum::engine::expr
