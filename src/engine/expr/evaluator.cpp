// The tree-walking evaluator.
#include "engine/expr/evaluator.h"

#include "engine/expr/compare.h"
#include "engine/expr/expression_error.h"
#include "engine/expr/functions.h"
#include "engine/expr/record_value.h"

namespace varelum::engine::expr {
namespace {

// A record access for constant subtrees: there is no record to read.
class NoRecord final : public RecordAccess {
  public:
    explicit NoRecord(const ExpressionSettings& settings) : settings_(settings) {}
    std::span<const std::uint8_t> record_image() const override { return {}; }
    std::optional<std::string> read_blob(const FieldDescriptor&) const override {
        return std::nullopt;
    }
    const ExpressionSettings& settings() const override { return settings_; }

  private:
    const ExpressionSettings& settings_;
};

const Value& operand(const Node& node, const RecordAccess& record, Value& scratch) {
    if (node.kind == NodeKind::Literal) {
        return node.literal;
    }
    scratch = evaluate(node, record);
    return scratch;
}

Value add(const Node& node, Value a, const Value& b) {
    switch (node.type.type) {
        case ValueType::Numeric:
            return Value::numeric(a.number + b.number);
        case ValueType::Character: {
            bool ci = a.case_insensitive || b.case_insensitive;
            a.text += b.text;
            return Value::character(std::move(a.text), ci);
        }
        case ValueType::Date: {
            const Value& date = a.type == ValueType::Date ? a : b;
            const Value& days = a.type == ValueType::Date ? b : a;
            // The empty date stays empty: it is no day to count from.
            if (date.julian_day == 0) {
                return Value::date(0);
            }
            return Value::date(date.julian_day + static_cast<std::int32_t>(days.number));
        }
        default:
            return Value::null_of(node.type.type);
    }
}

Value subtract(const Node& node, Value a, const Value& b) {
    if (a.type == ValueType::Date && b.type == ValueType::Date) {
        if (a.julian_day == 0 || b.julian_day == 0) {
            return Value::numeric(0);
        }
        return Value::numeric(a.julian_day - b.julian_day);
    }
    switch (node.type.type) {
        case ValueType::Numeric:
            return Value::numeric(a.number - b.number);
        case ValueType::Character: {
            // 'AB  ' - 'CD' is 'ABCD  ': the left text's trailing blanks move to the end.
            bool ci = a.case_insensitive || b.case_insensitive;
            std::size_t kept = a.text.find_last_not_of(' ');
            kept = kept == std::string::npos ? 0 : kept + 1;
            std::size_t blanks = a.text.size() - kept;
            a.text.resize(kept);
            a.text += b.text;
            a.text.append(blanks, ' ');
            return Value::character(std::move(a.text), ci);
        }
        case ValueType::Date:
            if (a.julian_day == 0) {
                return Value::date(0);
            }
            return Value::date(a.julian_day - static_cast<std::int32_t>(b.number));
        default:
            return Value::null_of(node.type.type);
    }
}

Value evaluate_binary(const Node& node, const RecordAccess& record) {
    const Node& left_node = *node.children[0];
    const Node& right_node = *node.children[1];
    if (node.op == Operator::And) {
        if (!evaluate(left_node, record).logical) {
            return Value::boolean(false);
        }
        return Value::boolean(evaluate(right_node, record).logical);
    }
    if (node.op == Operator::Or) {
        if (evaluate(left_node, record).logical) {
            return Value::boolean(true);
        }
        return Value::boolean(evaluate(right_node, record).logical);
    }
    // Literals are read in place: a filter compares a field with a constant on every record.
    Value left_scratch;
    Value right_scratch;
    const Value& a = operand(left_node, record, left_scratch);
    const Value& b = operand(right_node, record, right_scratch);
    switch (node.op) {
        case Operator::Add:
            return add(node, a, b);
        case Operator::Subtract:
            return subtract(node, a, b);
        case Operator::Multiply:
            return Value::numeric(a.number * b.number);
        case Operator::Divide:
            if (b.number == 0.0) {
                throw ExpressionError(ExpressionErrorCode::DivisionByZero, right_node.position,
                                      "division by zero");
            }
            return Value::numeric(a.number / b.number);
        case Operator::Contains:
            return Value::boolean(text_contained(a, b, record.settings().code_page));
        default:
            return Value::boolean(compare_with(node.op, a, b, record.settings()));
    }
}

Value evaluate_call(const Node& node, const RecordAccess& record) {
    const FunctionInfo& function = *node.function;
    if (function.lazy) {  // IIF
        bool condition = evaluate(*node.children[0], record).logical;
        return evaluate(*node.children[condition ? 1 : 2], record);
    }
    std::vector<Value> arguments;
    arguments.reserve(node.children.size());
    for (const auto& child : node.children) {
        arguments.push_back(evaluate(*child, record));
    }
    return function.evaluate(arguments, record.settings(), node);
}

}  // namespace

Value evaluate(const Node& node, const RecordAccess& record) {
    switch (node.kind) {
        case NodeKind::Literal:
            return node.literal;
        case NodeKind::Field:
            return decode_field_value(node.field, record.record_image(), &record,
                                      record.settings().code_page);
        case NodeKind::Unary: {
            Value v = evaluate(*node.children[0], record);
            switch (node.op) {
                case Operator::Not:
                    return Value::boolean(!v.logical);
                case Operator::Negate:
                    return Value::numeric(-v.number);
                default:
                    return Value::numeric(v.number);
            }
        }
        case NodeKind::Binary:
            return evaluate_binary(node, record);
        case NodeKind::Call:
            return evaluate_call(node, record);
    }
    return Value::null_of(node.type.type);
}

Value evaluate_constant(const Node& node, const ExpressionSettings& settings) {
    NoRecord none(settings);
    return evaluate(node, none);
}

}  // namespace varelum::engine::expr
