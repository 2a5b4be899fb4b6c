// A compiled expression: the public face of the expression language.
//
//   Expression e = Expression::compile("UPPER(Name) = 'SMITH' .AND. Born < {01/01/1990}",
//                                      table_fields, options);
//   if (e.evaluate_logical(record)) …
//
// Compile once, evaluate on many records. An Expression holds copies of the field
// descriptors it reads, so it outlives the span it was compiled against; it is immutable
// after compile and may be evaluated from several threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/ast.h"
#include "engine/expr/expression_error.h"
#include "engine/expr/parser.h"
#include "engine/expr/record_access.h"
#include "engine/expr/value.h"

namespace varelum::engine::expr {

class Expression {
  public:
    // Parses and type-checks `text` against the table's fields. Throws ExpressionError with
    // the code and the 0-based position of the fault.
    static Expression compile(std::string_view text, std::span<const FieldDescriptor> fields,
                              const CompileOptions& options = {});
    // The same, for a filter or condition: a result that is not logical is an error
    // (NotLogical at position 0).
    static Expression compile_condition(std::string_view text,
                                        std::span<const FieldDescriptor> fields,
                                        const CompileOptions& options = {});

    const std::string& text() const { return text_; }
    const ExprType& result_type() const { return root_->type; }
    // The numbers of the fields the expression reads, ascending, each once.
    const std::vector<std::uint16_t>& referenced_fields() const { return fields_; }
    // True when the expression is a single field reference (a plain field index).
    bool is_single_field() const { return root_->kind == NodeKind::Field; }
    const Node& root() const { return *root_; }
    // The canonical spelling (see normalized_text(const Node&)).
    std::string normalized_text() const { return expr::normalized_text(*root_); }

    Value evaluate(const RecordAccess& record) const;
    // REQUIRES: result_type().type == ValueType::Logical.
    bool evaluate_logical(const RecordAccess& record) const;

  private:
    Expression(std::string text, std::unique_ptr<Node> root);

    std::string text_;
    std::unique_ptr<Node> root_;
    std::vector<std::uint16_t> fields_;
};

}  // namespace varelum::engine::expr
