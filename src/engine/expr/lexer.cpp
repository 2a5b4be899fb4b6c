// The expression tokenizer.
#include "engine/expr/lexer.h"
#include "engine/expr/ascii.h"

#include "engine/expr/expression_error.h"

namespace varelum::engine::expr {
namespace {

bool is_name_start(char c) {
    return ascii::is_alpha(c) || c == '_';
}

bool is_name_char(char c) {
    return ascii::is_alnum(c) || c == '_';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::string upper_ascii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = ascii::to_upper(c);
    }
    return out;
}

}  // namespace

std::vector<Token> tokenize(std::string_view text) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    auto push = [&](TokenKind kind, std::size_t start, std::size_t length, std::string t = {}) {
        tokens.push_back({kind, start, length, std::move(t)});
    };
    while (i < text.size()) {
        const char c = text[i];
        const std::size_t start = i;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (is_name_start(c)) {
            while (i < text.size() && is_name_char(text[i])) {
                ++i;
            }
            push(TokenKind::Identifier, start, i - start,
                 std::string(text.substr(start, i - start)));
            continue;
        }
        if (is_digit(c) || (c == '.' && i + 1 < text.size() && is_digit(text[i + 1]))) {
            while (i < text.size() && is_digit(text[i])) {
                ++i;
            }
            // "1.AND." is the number 1 followed by .AND., not the number "1.".
            if (i < text.size() && text[i] == '.' &&
                !(i + 1 < text.size() && ascii::is_alpha(text[i + 1]))) {
                ++i;
                while (i < text.size() && is_digit(text[i])) {
                    ++i;
                }
            }
            if (i < text.size() && is_name_start(text[i])) {
                throw ExpressionError(
                    ExpressionErrorCode::InvalidNumber, start,
                    "invalid number '" + std::string(text.substr(start, i - start + 1)) + "'");
            }
            push(TokenKind::Number, start, i - start, std::string(text.substr(start, i - start)));
            continue;
        }
        if (c == '.') {
            // .T. .F. .AND. .OR. .NOT. and friends.
            std::size_t j = i + 1;
            while (j < text.size() && ascii::is_alpha(text[j])) {
                ++j;
            }
            if (j > i + 1 && j < text.size() && text[j] == '.') {
                std::string word = upper_ascii(text.substr(i + 1, j - i - 1));
                TokenKind kind = TokenKind::End;
                if (word == "T" || word == "TRUE" || word == "Y") {
                    kind = TokenKind::True;
                } else if (word == "F" || word == "FALSE" || word == "N") {
                    kind = TokenKind::False;
                } else if (word == "AND") {
                    kind = TokenKind::DotAnd;
                } else if (word == "OR") {
                    kind = TokenKind::DotOr;
                } else if (word == "NOT") {
                    kind = TokenKind::DotNot;
                }
                if (kind != TokenKind::End) {
                    i = j + 1;
                    push(kind, start, i - start);
                    continue;
                }
            }
            throw ExpressionError(ExpressionErrorCode::UnexpectedCharacter, start,
                                  "unexpected character '.'");
        }
        if (c == '"' || c == '\'') {
            std::size_t close = text.find(c, i + 1);
            if (close == std::string_view::npos) {
                throw ExpressionError(ExpressionErrorCode::UnterminatedString, start,
                                      std::string("unterminated string, expected ") + c);
            }
            push(TokenKind::String, start, close + 1 - start,
                 std::string(text.substr(i + 1, close - i - 1)));
            i = close + 1;
            continue;
        }
        if (c == '{') {
            std::size_t close = text.find('}', i + 1);
            if (close == std::string_view::npos) {
                throw ExpressionError(ExpressionErrorCode::InvalidDate, start,
                                      "unterminated date, expected '}'");
            }
            push(TokenKind::Date, start, close + 1 - start,
                 std::string(text.substr(i + 1, close - i - 1)));
            i = close + 1;
            continue;
        }
        if (c == '@') {
            std::size_t j = i + 1;
            while (j < text.size() && is_digit(text[j])) {
                ++j;
            }
            if (j == i + 1 || j - i > 6) {
                throw ExpressionError(ExpressionErrorCode::UnexpectedCharacter, start,
                                      "expected a field number after '@'");
            }
            push(TokenKind::FieldNumber, start, j - start,
                 std::string(text.substr(i + 1, j - i - 1)));
            i = j;
            continue;
        }
        auto next_is = [&](char n) { return i + 1 < text.size() && text[i + 1] == n; };
        switch (c) {
            case '(':
                push(TokenKind::LeftParen, start, 1);
                break;
            case ')':
                push(TokenKind::RightParen, start, 1);
                break;
            case ',':
                push(TokenKind::Comma, start, 1);
                break;
            case '+':
                push(TokenKind::Plus, start, 1);
                break;
            case '-':
                if (next_is('>')) {
                    push(TokenKind::Arrow, start, 2);
                    ++i;
                } else {
                    push(TokenKind::Minus, start, 1);
                }
                break;
            case '*':
                push(TokenKind::Star, start, 1);
                break;
            case '/':
                push(TokenKind::Slash, start, 1);
                break;
            case '$':
                push(TokenKind::Dollar, start, 1);
                break;
            case '#':
                push(TokenKind::NotEqual, start, 1);
                break;
            case '=':
                if (next_is('=')) {
                    push(TokenKind::ExactEqual, start, 2);
                    ++i;
                } else {
                    push(TokenKind::Equal, start, 1);
                }
                break;
            case '!':
                if (next_is('=')) {
                    push(TokenKind::NotEqual, start, 2);
                    ++i;
                } else {
                    push(TokenKind::Bang, start, 1);
                }
                break;
            case '<':
                if (next_is('>')) {
                    push(TokenKind::NotEqual, start, 2);
                    ++i;
                } else if (next_is('=')) {
                    push(TokenKind::LessEqual, start, 2);
                    ++i;
                } else {
                    push(TokenKind::Less, start, 1);
                }
                break;
            case '>':
                if (next_is('=')) {
                    push(TokenKind::GreaterEqual, start, 2);
                    ++i;
                } else {
                    push(TokenKind::Greater, start, 1);
                }
                break;
            default: {
                static constexpr char kHex[] = "0123456789ABCDEF";
                const auto byte = static_cast<unsigned char>(c);
                std::string shown = ascii::is_print(c)
                                        ? std::string(1, c)
                                        : std::string("\\x") + kHex[byte >> 4] + kHex[byte & 0x0F];
                throw ExpressionError(ExpressionErrorCode::UnexpectedCharacter, start,
                                      "unexpected character '" + shown + "'");
            }
        }
        ++i;
    }
    push(TokenKind::End, text.size(), 0);
    return tokens;
}

std::string describe_token(TokenKind kind) {
    switch (kind) {
        case TokenKind::Identifier:
            return "a name";
        case TokenKind::FieldNumber:
            return "a field number";
        case TokenKind::Number:
            return "a number";
        case TokenKind::String:
            return "a string";
        case TokenKind::Date:
            return "a date";
        case TokenKind::True:
            return "'.T.'";
        case TokenKind::False:
            return "'.F.'";
        case TokenKind::DotAnd:
            return "'.AND.'";
        case TokenKind::DotOr:
            return "'.OR.'";
        case TokenKind::DotNot:
            return "'.NOT.'";
        case TokenKind::LeftParen:
            return "'('";
        case TokenKind::RightParen:
            return "')'";
        case TokenKind::Comma:
            return "','";
        case TokenKind::Plus:
            return "'+'";
        case TokenKind::Minus:
            return "'-'";
        case TokenKind::Star:
            return "'*'";
        case TokenKind::Slash:
            return "'/'";
        case TokenKind::Equal:
            return "'='";
        case TokenKind::ExactEqual:
            return "'=='";
        case TokenKind::NotEqual:
            return "'<>'";
        case TokenKind::Less:
            return "'<'";
        case TokenKind::LessEqual:
            return "'<='";
        case TokenKind::Greater:
            return "'>'";
        case TokenKind::GreaterEqual:
            return "'>='";
        case TokenKind::Dollar:
            return "'$'";
        case TokenKind::Bang:
            return "'!'";
        case TokenKind::Arrow:
            return "'->'";
        case TokenKind::End:
            return "end of expression";
    }
    return "a token";
}

}  // namespace varelum::engine::expr
