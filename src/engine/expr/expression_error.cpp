// The expression language's exception: code, position and the formatted message.
#include "engine/expr/expression_error.h"

namespace varelum::engine::expr {

ExpressionError::ExpressionError(ExpressionErrorCode code, std::size_t position,
                                 const std::string& detail)
    : std::runtime_error("Expression error at position " + std::to_string(position) + ": " +
                         detail),
      code_(code),
      position_(position),
      detail_(detail) {}

}  // namespace varelum::engine::expr
