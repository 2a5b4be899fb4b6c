// Canonical spelling of expression trees.
#include "engine/expr/ast.h"

#include <charconv>

#include "engine/expr/functions.h"
#include "engine/format/calendar.h"
#include "engine/format/code_page.h"

namespace varelum::engine::expr {
namespace {

std::string_view operator_text(Operator op) {
    switch (op) {
        case Operator::Add:
            return "+";
        case Operator::Subtract:
            return "-";
        case Operator::Multiply:
            return "*";
        case Operator::Divide:
            return "/";
        case Operator::Equal:
            return "=";
        case Operator::ExactEqual:
            return "==";
        case Operator::NotEqual:
            return "<>";
        case Operator::Less:
            return "<";
        case Operator::LessEqual:
            return "<=";
        case Operator::Greater:
            return ">";
        case Operator::GreaterEqual:
            return ">=";
        case Operator::Contains:
            return "$";
        case Operator::And:
            return "AND";
        case Operator::Or:
            return "OR";
        case Operator::Not:
            return "NOT ";
        case Operator::Negate:
            return "-";
        case Operator::Plus:
            return "+";
    }
    return "?";
}

std::string number_text(double number) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::string literal_text(const Value& v) {
    switch (v.type) {
        case ValueType::Character: {
            if (v.text.find('"') == std::string::npos) {
                return "\"" + v.text + "\"";
            }
            if (v.text.find('\'') == std::string::npos) {
                return "'" + v.text + "'";
            }
            // Both quote characters: spell the double quotes out.
            std::string out = "(\"";
            for (char c : v.text) {
                out += c == '"' ? std::string("\" + CHR(34) + \"") : std::string(1, c);
            }
            return out + "\")";
        }
        case ValueType::Numeric:
            return number_text(v.number);
        case ValueType::Date: {
            if (v.julian_day <= 0) {
                return "{}";
            }
            std::string s = format::format_dtos(v.julian_day);
            return "{^" + s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + "}";
        }
        case ValueType::Logical:
            return v.logical ? ".T." : ".F.";
        case ValueType::Timestamp: {
            std::string date = literal_text(Value::date(v.julian_day));  // "{^yyyy-mm-dd}"
            if (v.julian_day <= 0) {
                return "{^0000-00-00 " + format::format_time(v.milliseconds) + "}";
            }
            return date.substr(0, date.size() - 1) + " " + format::format_time(v.milliseconds) +
                   "}";
        }
    }
    return "?";
}

}  // namespace

bool is_comparison(Operator op) {
    switch (op) {
        case Operator::Equal:
        case Operator::ExactEqual:
        case Operator::NotEqual:
        case Operator::Less:
        case Operator::LessEqual:
        case Operator::Greater:
        case Operator::GreaterEqual:
            return true;
        default:
            return false;
    }
}

std::string normalized_text(const Node& node) {
    switch (node.kind) {
        case NodeKind::Literal:
            return literal_text(node.literal);
        case NodeKind::Field:
            return format::to_upper(format::CodePage::Ansi1252, node.field.name);
        // Appended piece by piece: `"(" + std::string(...)` trips a false -Wrestrict in
        // GCC 12 at -O3, which -Werror turns into a failed build.
        case NodeKind::Unary: {
            std::string out = "(";
            out += operator_text(node.op);
            out += normalized_text(*node.children[0]);
            out += ")";
            return out;
        }
        case NodeKind::Binary: {
            std::string out = "(";
            out += normalized_text(*node.children[0]);
            out += " ";
            out += operator_text(node.op);
            out += " ";
            out += normalized_text(*node.children[1]);
            out += ")";
            return out;
        }
        case NodeKind::Call: {
            std::string out(node.function->name);
            out += "(";
            for (std::size_t i = 0; i < node.children.size(); ++i) {
                if (i > 0) {
                    out += ", ";
                }
                out += normalized_text(*node.children[i]);
            }
            return out + ")";
        }
    }
    return "?";
}

}  // namespace varelum::engine::expr
