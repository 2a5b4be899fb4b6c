// Values as text.
#include "engine/expr/value_text.h"

#include <charconv>

#include "engine/format/calendar.h"

namespace varelum::engine::expr {

std::string value_text(const Value& value, const ExpressionSettings& settings) {
    switch (value.type) {
        case ValueType::Character:
            return value.text;
        case ValueType::Numeric: {
            char buffer[64];
            auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value.number);
            return ec == std::errc() ? std::string(buffer, end) : std::string("0");
        }
        case ValueType::Date:
            return format::format_date(value.julian_day, settings.date_format);
        case ValueType::Logical:
            return value.logical ? "T" : "F";
        case ValueType::Timestamp:
            if (value.julian_day == 0) {
                return format::format_time(value.milliseconds);
            }
            return format::format_date(value.julian_day, settings.date_format) + " " +
                   format::format_time(value.milliseconds);
    }
    return {};
}

}  // namespace varelum::engine::expr
