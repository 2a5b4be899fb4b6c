// Values as text, for answers that are texts whatever the expression's type (the engine's
// string evaluation of an expression, the text of a key value).
#pragma once

#include <string>

#include "engine/expr/record_access.h"
#include "engine/expr/value.h"

namespace varelum::engine::expr {

// Character: the text as it is. Numeric: the shortest text that reads back as the same
// number ("12.5", "-3", "1e+20"), "." as decimal point. Date: in the settings' date format
// (DTOC). Logical: "T" or "F". Timestamp: the date as DTOC, a blank and "HH:MM:SS" with
// ".mmm" when the milliseconds are not 0; a time of day alone gives only the time.
std::string value_text(const Value& value, const ExpressionSettings& settings);

}  // namespace varelum::engine::expr
