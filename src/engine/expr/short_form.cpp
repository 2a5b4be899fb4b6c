// Long/short form conversion over the token stream.
#include "engine/expr/short_form.h"
#include "engine/expr/ascii.h"

#include <string>

#include "engine/expr/lexer.h"
#include "engine/expr/parser.h"

namespace varelum::engine::expr {
namespace {

bool is_operator_word(const Token& t) {
    if (t.kind != TokenKind::Identifier || t.text.size() > 3) {
        return false;
    }
    std::string upper;
    for (char c : t.text) {
        upper.push_back(ascii::to_upper(c));
    }
    return upper == "AND" || upper == "OR" || upper == "NOT";
}

}  // namespace

std::string expression_long_to_short(std::string_view text,
                                     std::span<const FieldDescriptor> fields) {
    std::vector<Token> tokens = tokenize(text);
    std::string out;
    std::size_t copied = 0;  // text before this offset is already in `out`
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind != TokenKind::Identifier || is_operator_word(t) ||
            tokens[i + 1].kind == TokenKind::LeftParen) {
            continue;
        }
        std::size_t end = t.position + t.length;
        const Token* name = &t;
        if (tokens[i + 1].kind == TokenKind::Arrow && i + 2 < tokens.size() &&
            tokens[i + 2].kind == TokenKind::Identifier) {
            name = &tokens[i + 2];
            end = name->position + name->length;
        }
        const FieldDescriptor* field = find_field_by_name(fields, name->text);
        if (field == nullptr) {
            continue;
        }
        out.append(text.substr(copied, t.position - copied));
        out += "@" + std::to_string(field->number);
        copied = end;
        if (name != &t) {
            i += 2;
        }
    }
    out.append(text.substr(copied));
    return out;
}

std::string expression_short_to_long(std::string_view text,
                                     std::span<const FieldDescriptor> fields) {
    std::vector<Token> tokens = tokenize(text);
    std::string out;
    std::size_t copied = 0;
    for (const Token& t : tokens) {
        if (t.kind != TokenKind::FieldNumber) {
            continue;
        }
        const FieldDescriptor* field =
            find_field_by_number(fields, static_cast<unsigned>(std::stoul(t.text)));
        if (field == nullptr) {
            continue;
        }
        out.append(text.substr(copied, t.position - copied));
        out += field->name;
        copied = t.position + t.length;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace varelum::engine::expr
