// Tokens of the expression language, with their byte positions in the text.
//
// Names (fields, functions, AND/OR/NOT) are Identifier tokens; the parser tells them apart.
// "@n" is a reference to field number n, the form fields take in the short form of an
// expression.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace varelum::engine::expr {

enum class TokenKind {
    Identifier,
    FieldNumber,  // @n
    Number,
    String,  // text holds the characters between the quotes
    Date,    // text holds the characters between { and }
    True,    // .T. .TRUE. .Y.
    False,   // .F. .FALSE. .N.
    DotAnd,  // .AND.
    DotOr,   // .OR.
    DotNot,  // .NOT.
    LeftParen,
    RightParen,
    Comma,
    Plus,
    Minus,
    Star,
    Slash,
    Equal,       // =
    ExactEqual,  // ==
    NotEqual,    // <> # !=
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    Dollar,  // $
    Bang,    // !
    Arrow,   // ->
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::size_t position = 0;  // 0-based byte offset of the token's first character
    std::size_t length = 0;    // bytes of source text the token spans
    std::string text;          // the name, the number's digits or the literal's content
};

// The tokens of `text`, ending with an End token at text.size(). Throws ExpressionError on a
// character that starts no token, an unterminated literal or a malformed number.
std::vector<Token> tokenize(std::string_view text);

// How a token is named in messages ("')'", "end of expression", …).
std::string describe_token(TokenKind kind);

}  // namespace varelum::engine::expr
