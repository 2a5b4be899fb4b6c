// Value comparison under the exact setting and the text collation.
#include "engine/expr/compare.h"

#include "engine/format/code_page.h"

namespace varelum::engine::expr {
namespace {

int three_way(double a, double b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

int three_way(std::int64_t a, std::int64_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

std::int64_t instant(const Value& v) {
    std::int64_t ms = v.type == ValueType::Timestamp ? v.milliseconds : 0;
    return static_cast<std::int64_t>(v.julian_day) * kMillisecondsPerDay + ms;
}

}  // namespace

int compare_values(const Value& left, const Value& right, TextMatch match,
                   const StringCollation& collation) {
    switch (left.type) {
        case ValueType::Character: {
            const bool ci = left.case_insensitive || right.case_insensitive;
            std::string_view l = left.text;
            if (match == TextMatch::Prefix) {
                if (right.text.empty()) {
                    return 0;
                }
                l = l.substr(0, right.text.size());
            }
            return collation.compare(l, right.text, ci);
        }
        case ValueType::Numeric:
            return three_way(left.number, right.number);
        case ValueType::Logical:
            return static_cast<int>(left.logical) - static_cast<int>(right.logical);
        case ValueType::Date:
        case ValueType::Timestamp:
            return three_way(instant(left), instant(right));
    }
    return 0;
}

bool compare_with(Operator op, const Value& left, const Value& right,
                  const ExpressionSettings& settings) {
    const TextMatch match =
        op == Operator::ExactEqual || settings.exact ? TextMatch::Whole : TextMatch::Prefix;
    const int c = compare_values(left, right, match, settings.text_collation());
    switch (op) {
        case Operator::Equal:
        case Operator::ExactEqual:
            return c == 0;
        case Operator::NotEqual:
            return c != 0;
        case Operator::Less:
            return c < 0;
        case Operator::LessEqual:
            return c <= 0;
        case Operator::Greater:
            return c > 0;
        case Operator::GreaterEqual:
            return c >= 0;
        default:
            return false;
    }
}

bool text_contained(const Value& left, const Value& right, format::CodePage page) {
    if (left.case_insensitive || right.case_insensitive) {
        return format::to_upper(page, right.text).find(format::to_upper(page, left.text)) !=
               std::string::npos;
    }
    return right.text.find(left.text) != std::string::npos;
}

}  // namespace varelum::engine::expr
