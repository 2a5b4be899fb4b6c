// Compiling expressions and the facade over parser and evaluator.
#include "engine/expr/expression.h"

#include <algorithm>

#include "engine/expr/evaluator.h"

namespace varelum::engine::expr {
namespace {

void collect_fields(const Node& node, std::vector<std::uint16_t>& out) {
    if (node.kind == NodeKind::Field) {
        out.push_back(node.field.number);
    }
    for (const auto& child : node.children) {
        collect_fields(*child, out);
    }
}

}  // namespace

Expression::Expression(std::string text, std::unique_ptr<Node> root)
    : text_(std::move(text)), root_(std::move(root)) {
    collect_fields(*root_, fields_);
    std::sort(fields_.begin(), fields_.end());
    fields_.erase(std::unique(fields_.begin(), fields_.end()), fields_.end());
}

Expression Expression::compile(std::string_view text, std::span<const FieldDescriptor> fields,
                               const CompileOptions& options) {
    return Expression(std::string(text), parse_expression(text, fields, options));
}

Expression Expression::compile_condition(std::string_view text,
                                         std::span<const FieldDescriptor> fields,
                                         const CompileOptions& options) {
    Expression e = compile(text, fields, options);
    if (e.result_type().type != ValueType::Logical) {
        throw ExpressionError(ExpressionErrorCode::NotLogical, 0,
                              "expected a logical expression, not " +
                                  std::string(value_type_name(e.result_type().type)));
    }
    return e;
}

Value Expression::evaluate(const RecordAccess& record) const {
    return expr::evaluate(*root_, record);
}

bool Expression::evaluate_logical(const RecordAccess& record) const {
    return expr::evaluate(*root_, record).logical;
}

}  // namespace varelum::engine::expr
