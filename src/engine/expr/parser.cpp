// Recursive-descent parser with type checking at each node.
#include "engine/expr/parser.h"
#include "engine/expr/ascii.h"

#include <algorithm>
#include <charconv>

#include "engine/expr/expression_error.h"
#include "engine/expr/functions.h"
#include "engine/expr/lexer.h"
#include "engine/expr/record_value.h"
#include "engine/format/calendar.h"

namespace varelum::engine::expr {
namespace {

// Deeper nesting is refused rather than risking the stack on hostile input: kMaxDepth
// bounds the parser's recursion, kMaxTreeDepth the trees that long operator chains build
// (the evaluator recurses over them).
constexpr int kMaxDepth = 200;
constexpr std::uint32_t kMaxTreeDepth = 2000;

bool equals_ignore_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii::to_upper(a[i]) != ascii::to_upper(b[i])) {
            return false;
        }
    }
    return true;
}

std::string type_name(const Node& node) {
    return std::string(value_type_name(node.type.type));
}

class Parser {
  public:
    Parser(std::string_view text, std::span<const FieldDescriptor> fields,
           const CompileOptions& options)
        : text_(text), fields_(fields), options_(options), tokens_(tokenize(text)) {}

    std::unique_ptr<Node> parse() {
        if (peek().kind == TokenKind::End) {
            throw ExpressionError(ExpressionErrorCode::EmptyExpression, 0, "empty expression");
        }
        auto node = parse_or();
        if (peek().kind != TokenKind::End) {
            throw ExpressionError(ExpressionErrorCode::UnexpectedToken, peek().position,
                                  "unexpected " + describe(peek()));
        }
        return node;
    }

  private:
    const Token& peek(std::size_t ahead = 0) const {
        std::size_t i = std::min(index_ + ahead, tokens_.size() - 1);
        return tokens_[i];
    }

    const Token& advance() { return tokens_[index_ < tokens_.size() - 1 ? index_++ : index_]; }

    bool is_keyword(const Token& t, std::string_view word) const {
        return t.kind == TokenKind::Identifier && equals_ignore_case(t.text, word);
    }

    std::string describe(const Token& t) const {
        if (t.kind == TokenKind::End) {
            return "end of expression";
        }
        return "'" + std::string(text_.substr(t.position, t.length)) + "'";
    }

    [[noreturn]] void fail_expected(std::string_view what) const {
        const Token& t = peek();
        throw ExpressionError(t.kind == TokenKind::End ? ExpressionErrorCode::UnexpectedEnd
                                                       : ExpressionErrorCode::ExpectedToken,
                              t.position, "expected " + std::string(what));
    }

    void expect(TokenKind kind) {
        if (peek().kind != kind) {
            fail_expected(describe_token(kind));
        }
        advance();
    }

    struct DepthGuard {
        explicit DepthGuard(Parser& p) : parser(p) {
            if (++parser.depth_ > kMaxDepth) {
                throw ExpressionError(ExpressionErrorCode::TooComplex, parser.peek().position,
                                      "expression nested too deeply");
            }
        }
        ~DepthGuard() { --parser.depth_; }
        Parser& parser;
    };

    void set_depth(Node& node) const {
        std::uint32_t deepest = 0;
        for (const auto& child : node.children) {
            deepest = std::max(deepest, child->depth);
        }
        node.depth = deepest + 1;
        if (node.depth > kMaxTreeDepth) {
            throw ExpressionError(ExpressionErrorCode::TooComplex, node.position,
                                  "expression too complex");
        }
    }

    std::unique_ptr<Node> make_binary(Operator op, std::unique_ptr<Node> left,
                                      std::unique_ptr<Node> right, std::size_t op_position) {
        auto node = std::make_unique<Node>();
        node->kind = NodeKind::Binary;
        node->op = op;
        node->position = left->position;
        node->end = right->end;
        node->is_constant = left->is_constant && right->is_constant;
        node->type = binary_type(op, *left, *right, op_position);
        node->children.push_back(std::move(left));
        node->children.push_back(std::move(right));
        set_depth(*node);
        return node;
    }

    std::unique_ptr<Node> make_unary(Operator op, std::unique_ptr<Node> operand,
                                     std::size_t op_position) {
        ValueType wanted = op == Operator::Not ? ValueType::Logical : ValueType::Numeric;
        if (operand->type.type != wanted) {
            throw ExpressionError(ExpressionErrorCode::TypeMismatch, op_position,
                                  std::string(op == Operator::Not ? "NOT" : "unary sign") +
                                      " needs a " + std::string(value_type_name(wanted)) +
                                      " operand, not " + type_name(*operand));
        }
        auto node = std::make_unique<Node>();
        node->kind = NodeKind::Unary;
        node->op = op;
        node->position = op_position;
        node->end = operand->end;
        node->is_constant = operand->is_constant;
        node->type = {wanted, 0, false};
        node->children.push_back(std::move(operand));
        set_depth(*node);
        return node;
    }

    ExprType binary_type(Operator op, const Node& l, const Node& r, std::size_t position) const {
        const ValueType a = l.type.type;
        const ValueType b = r.type.type;
        auto mismatch = [&](std::string_view what) -> ExprType {
            throw ExpressionError(ExpressionErrorCode::TypeMismatch, position,
                                  "type mismatch: " + std::string(what) + " of " + type_name(l) +
                                      " and " + type_name(r));
        };
        auto is_time = [](ValueType t) {
            return t == ValueType::Date || t == ValueType::Timestamp;
        };
        switch (op) {
            case Operator::And:
            case Operator::Or:
                if (a != ValueType::Logical || b != ValueType::Logical) {
                    return mismatch(op == Operator::And ? "AND" : "OR");
                }
                return {ValueType::Logical, 0, false};
            case Operator::Contains:
                if (a != ValueType::Character || b != ValueType::Character) {
                    return mismatch("'$'");
                }
                return {ValueType::Logical, 0, false};
            case Operator::Add:
                if (a == ValueType::Numeric && b == ValueType::Numeric) {
                    return {ValueType::Numeric, 0, false};
                }
                if (a == ValueType::Character && b == ValueType::Character) {
                    return {ValueType::Character, l.type.width + r.type.width,
                            l.type.case_insensitive || r.type.case_insensitive};
                }
                if (a == ValueType::Date && b == ValueType::Numeric) {
                    return {ValueType::Date, 0, false};
                }
                if (a == ValueType::Numeric && b == ValueType::Date) {
                    return {ValueType::Date, 0, false};
                }
                return mismatch("'+'");
            case Operator::Subtract:
                if (a == ValueType::Numeric && b == ValueType::Numeric) {
                    return {ValueType::Numeric, 0, false};
                }
                if (a == ValueType::Character && b == ValueType::Character) {
                    return {ValueType::Character, l.type.width + r.type.width,
                            l.type.case_insensitive || r.type.case_insensitive};
                }
                if (a == ValueType::Date && b == ValueType::Numeric) {
                    return {ValueType::Date, 0, false};
                }
                if (a == ValueType::Date && b == ValueType::Date) {
                    return {ValueType::Numeric, 0, false};
                }
                return mismatch("'-'");
            case Operator::Multiply:
            case Operator::Divide:
                if (a != ValueType::Numeric || b != ValueType::Numeric) {
                    return mismatch(op == Operator::Multiply ? "'*'" : "'/'");
                }
                return {ValueType::Numeric, 0, false};
            default:  // comparisons
                if (a != b && !(is_time(a) && is_time(b))) {
                    return mismatch("comparison");
                }
                return {ValueType::Logical, 0, false};
        }
    }

    std::unique_ptr<Node> parse_or() {
        DepthGuard guard(*this);
        auto left = parse_and();
        while (peek().kind == TokenKind::DotOr || is_keyword(peek(), "OR")) {
            std::size_t pos = advance().position;
            left = make_binary(Operator::Or, std::move(left), parse_and(), pos);
        }
        return left;
    }

    std::unique_ptr<Node> parse_and() {
        auto left = parse_not();
        while (peek().kind == TokenKind::DotAnd || is_keyword(peek(), "AND")) {
            std::size_t pos = advance().position;
            left = make_binary(Operator::And, std::move(left), parse_not(), pos);
        }
        return left;
    }

    std::unique_ptr<Node> parse_not() {
        DepthGuard guard(*this);
        const Token& t = peek();
        if (t.kind == TokenKind::DotNot || t.kind == TokenKind::Bang || is_keyword(t, "NOT")) {
            std::size_t pos = advance().position;
            return make_unary(Operator::Not, parse_not(), pos);
        }
        return parse_comparison();
    }

    std::optional<Operator> comparison_operator(TokenKind kind) const {
        switch (kind) {
            case TokenKind::Equal:
                return Operator::Equal;
            case TokenKind::ExactEqual:
                return Operator::ExactEqual;
            case TokenKind::NotEqual:
                return Operator::NotEqual;
            case TokenKind::Less:
                return Operator::Less;
            case TokenKind::LessEqual:
                return Operator::LessEqual;
            case TokenKind::Greater:
                return Operator::Greater;
            case TokenKind::GreaterEqual:
                return Operator::GreaterEqual;
            case TokenKind::Dollar:
                return Operator::Contains;
            default:
                return std::nullopt;
        }
    }

    std::unique_ptr<Node> parse_comparison() {
        auto left = parse_additive();
        while (auto op = comparison_operator(peek().kind)) {
            std::size_t pos = advance().position;
            left = make_binary(*op, std::move(left), parse_additive(), pos);
        }
        return left;
    }

    std::unique_ptr<Node> parse_additive() {
        auto left = parse_multiplicative();
        while (peek().kind == TokenKind::Plus || peek().kind == TokenKind::Minus) {
            const Token& t = advance();
            Operator op = t.kind == TokenKind::Plus ? Operator::Add : Operator::Subtract;
            left = make_binary(op, std::move(left), parse_multiplicative(), t.position);
        }
        return left;
    }

    std::unique_ptr<Node> parse_multiplicative() {
        auto left = parse_unary();
        while (peek().kind == TokenKind::Star || peek().kind == TokenKind::Slash) {
            const Token& t = advance();
            Operator op = t.kind == TokenKind::Star ? Operator::Multiply : Operator::Divide;
            left = make_binary(op, std::move(left), parse_unary(), t.position);
        }
        return left;
    }

    std::unique_ptr<Node> parse_unary() {
        DepthGuard guard(*this);
        if (peek().kind == TokenKind::Minus || peek().kind == TokenKind::Plus) {
            const Token& t = advance();
            return make_unary(t.kind == TokenKind::Minus ? Operator::Negate : Operator::Plus,
                              parse_unary(), t.position);
        }
        return parse_primary();
    }

    std::unique_ptr<Node> literal(Value value, const Token& t, std::uint32_t width = 0) {
        auto node = std::make_unique<Node>();
        node->kind = NodeKind::Literal;
        node->type = {value.type, width, false};
        node->literal = std::move(value);
        node->position = t.position;
        node->end = t.position + t.length;
        return node;
    }

    std::unique_ptr<Node> field_node(const FieldDescriptor& field, std::size_t position,
                                     std::size_t end) {
        std::optional<ValueType> type = field_value_type(field.type);
        if (!type) {
            throw ExpressionError(ExpressionErrorCode::TypeMismatch, position,
                                  "field " + field.name + " cannot be used in an expression");
        }
        auto node = std::make_unique<Node>();
        node->kind = NodeKind::Field;
        node->field = field;
        node->position = position;
        node->end = end;
        node->is_constant = false;
        node->type = {*type, *type == ValueType::Character ? field_text_width(field) : 0,
                      field.type == FieldType::CIString};
        return node;
    }

    Value date_literal(const Token& t) const {
        std::string content = t.text;
        auto fail = [&]() -> Value {
            throw ExpressionError(ExpressionErrorCode::InvalidDate, t.position,
                                  "invalid date {" + content + "}");
        };
        bool has_digit = content.find_first_of("0123456789") != std::string::npos;
        if (!has_digit) {
            return Value::date(0);  // {}, {  /  /    }
        }
        std::size_t first = content.find_first_not_of(' ');
        if (content[first] != '^') {
            auto day =
                format::parse_date(content, options_.settings.date_format, options_.settings.epoch);
            return day ? Value::date(*day) : fail();
        }
        // {^yyyy-mm-dd} and {^yyyy-mm-dd hh:mm:ss}: independent of the date format.
        std::string rest = content.substr(first + 1);
        std::size_t blank = rest.find(' ', rest.find_first_not_of(' '));
        std::string date_part = rest.substr(0, blank);
        std::optional<std::int32_t> day;
        if (date_part.find_first_not_of(" 0-/.") == std::string::npos) {
            day = 0;  // {^0000-00-00 hh:mm:ss}: a time of day alone
        } else {
            day = format::parse_date(date_part, "yyyy-mm-dd", options_.settings.epoch);
        }
        if (!day) {
            return fail();
        }
        if (blank == std::string::npos) {
            return *day == 0 ? fail() : Value::date(*day);
        }
        auto time = format::parse_time(rest.substr(blank + 1));
        return time ? Value::timestamp(*day, *time) : fail();
    }

    std::unique_ptr<Node> parse_primary() {
        const Token& t = peek();
        switch (t.kind) {
            case TokenKind::Number: {
                advance();
                double value = 0.0;
                auto [ptr, ec] =
                    std::from_chars(t.text.data(), t.text.data() + t.text.size(), value);
                if (ec != std::errc() || ptr != t.text.data() + t.text.size()) {
                    throw ExpressionError(ExpressionErrorCode::InvalidNumber, t.position,
                                          "invalid number '" + t.text + "'");
                }
                return literal(Value::numeric(value), t);
            }
            case TokenKind::String:
                advance();
                return literal(Value::character(t.text), t,
                               static_cast<std::uint32_t>(t.text.size()));
            case TokenKind::Date:
                advance();
                return literal(date_literal(t), t);
            case TokenKind::True:
            case TokenKind::False:
                advance();
                return literal(Value::boolean(t.kind == TokenKind::True), t);
            case TokenKind::FieldNumber: {
                advance();
                unsigned number = static_cast<unsigned>(std::stoul(t.text));
                const FieldDescriptor* field = find_field_by_number(fields_, number);
                if (field == nullptr) {
                    throw ExpressionError(ExpressionErrorCode::UnknownField, t.position,
                                          "no field number " + t.text);
                }
                return field_node(*field, t.position, t.position + t.length);
            }
            case TokenKind::LeftParen: {
                advance();
                auto inner = parse_or();
                if (peek().kind != TokenKind::RightParen) {
                    fail_expected("')'");
                }
                const Token& close = advance();
                inner->position = t.position;
                inner->end = close.position + 1;
                return inner;
            }
            case TokenKind::Identifier:
                return parse_name();
            case TokenKind::End:
                throw ExpressionError(ExpressionErrorCode::UnexpectedEnd, t.position,
                                      "unexpected end of expression");
            default:
                throw ExpressionError(ExpressionErrorCode::UnexpectedToken, t.position,
                                      "unexpected " + describe(t));
        }
    }

    std::unique_ptr<Node> parse_name() {
        const Token name = advance();
        if (peek().kind == TokenKind::LeftParen) {
            return parse_call(name);
        }
        if (peek().kind == TokenKind::Arrow) {
            advance();
            if (!options_.table_alias.empty() &&
                !equals_ignore_case(name.text, options_.table_alias)) {
                throw ExpressionError(ExpressionErrorCode::UnknownAlias, name.position,
                                      "unknown alias " + name.text);
            }
            if (peek().kind != TokenKind::Identifier) {
                fail_expected("a field name after '->'");
            }
            const Token field_token = advance();
            const FieldDescriptor* field = find_field_by_name(fields_, field_token.text);
            if (field == nullptr) {
                throw ExpressionError(ExpressionErrorCode::UnknownField, field_token.position,
                                      "unknown field " + field_token.text);
            }
            return field_node(*field, name.position, field_token.position + field_token.length);
        }
        const FieldDescriptor* field = find_field_by_name(fields_, name.text);
        if (field == nullptr) {
            throw ExpressionError(ExpressionErrorCode::UnknownField, name.position,
                                  "unknown field " + name.text);
        }
        return field_node(*field, name.position, name.position + name.length);
    }

    std::unique_ptr<Node> parse_call(const Token& name) {
        const FunctionInfo* function = find_function(name.text);
        if (function == nullptr) {
            throw ExpressionError(ExpressionErrorCode::UnknownFunction, name.position,
                                  "unknown function " + name.text);
        }
        expect(TokenKind::LeftParen);
        auto node = std::make_unique<Node>();
        node->kind = NodeKind::Call;
        node->function = function;
        node->position = name.position;
        if (peek().kind != TokenKind::RightParen) {
            while (true) {
                node->children.push_back(parse_or());
                if (peek().kind != TokenKind::Comma) {
                    break;
                }
                advance();
            }
        }
        if (peek().kind != TokenKind::RightParen) {
            fail_expected("')'");
        }
        node->end = advance().position + 1;
        const std::size_t count = node->children.size();
        if (count < function->min_arguments || count > function->max_arguments) {
            std::string wanted = function->min_arguments == function->max_arguments
                                     ? std::to_string(function->min_arguments)
                                     : std::to_string(function->min_arguments) + " to " +
                                           std::to_string(function->max_arguments);
            throw ExpressionError(ExpressionErrorCode::WrongArgumentCount, name.position,
                                  std::string(function->name) + " takes " + wanted + " argument" +
                                      (wanted == "1" ? "" : "s") + ", not " +
                                      std::to_string(count));
        }
        for (const auto& child : node->children) {
            node->is_constant = node->is_constant && child->is_constant;
        }
        node->type = function->check(*node, options_.settings);
        set_depth(*node);
        return node;
    }

    std::string_view text_;
    std::span<const FieldDescriptor> fields_;
    const CompileOptions& options_;
    std::vector<Token> tokens_;
    std::size_t index_ = 0;
    int depth_ = 0;
};

}  // namespace

const FieldDescriptor* find_field_by_name(std::span<const FieldDescriptor> fields,
                                          std::string_view name) {
    for (const FieldDescriptor& f : fields) {
        if (equals_ignore_case(f.name, name)) {
            return &f;
        }
    }
    return nullptr;
}

const FieldDescriptor* find_field_by_number(std::span<const FieldDescriptor> fields,
                                            unsigned number) {
    for (const FieldDescriptor& f : fields) {
        if (f.number == number) {
            return &f;
        }
    }
    return nullptr;
}

std::unique_ptr<Node> parse_expression(std::string_view text,
                                       std::span<const FieldDescriptor> fields,
                                       const CompileOptions& options) {
    return Parser(text, fields, options).parse();
}

}  // namespace varelum::engine::expr
