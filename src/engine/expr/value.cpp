// Construction and emptiness of expression values.
#include "engine/expr/value.h"

#include <algorithm>

namespace varelum::engine::expr {

std::string_view value_type_name(ValueType type) {
    switch (type) {
        case ValueType::Character:
            return "Character";
        case ValueType::Numeric:
            return "Numeric";
        case ValueType::Date:
            return "Date";
        case ValueType::Logical:
            return "Logical";
        case ValueType::Timestamp:
            return "Timestamp";
    }
    return "Unknown";
}

Value Value::character(std::string text, bool case_insensitive) {
    Value v;
    v.type = ValueType::Character;
    v.text = std::move(text);
    v.case_insensitive = case_insensitive;
    return v;
}

Value Value::numeric(double number) {
    Value v;
    v.type = ValueType::Numeric;
    v.number = number;
    return v;
}

Value Value::date(std::int32_t julian_day) {
    Value v;
    v.type = ValueType::Date;
    v.julian_day = julian_day;
    return v;
}

Value Value::timestamp(std::int32_t julian_day, std::int32_t milliseconds) {
    Value v;
    v.type = ValueType::Timestamp;
    v.julian_day = julian_day;
    v.milliseconds = milliseconds;
    return v;
}

Value Value::boolean(bool logical) {
    Value v;
    v.type = ValueType::Logical;
    v.logical = logical;
    return v;
}

Value Value::null_of(ValueType type) {
    Value v;
    v.type = type;
    v.is_null = true;
    return v;
}

bool Value::is_empty() const {
    if (is_null) {
        return true;
    }
    switch (type) {
        case ValueType::Character:
            return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
        case ValueType::Numeric:
            return number == 0.0;
        case ValueType::Date:
            return julian_day == 0;
        case ValueType::Logical:
            return !logical;
        case ValueType::Timestamp:
            return julian_day == 0 && milliseconds == 0;
    }
    return true;
}

}  // namespace varelum::engine::expr
