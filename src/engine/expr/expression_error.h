// The one exception type of the expression language: a code, the 0-based byte offset in the
// expression text where the fault lies, and a message that quotes both.
//
// The engine's C ABI turns it into a result code and the last-error text; inside the engine
// it travels as an exception like every other error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace varelum::engine::expr {

// Stable within the engine; the C ABI maps them to its own result codes.
enum class ExpressionErrorCode : std::uint16_t {
    UnexpectedCharacter = 1,  // a character that starts no token
    UnterminatedString = 2,   // a quote with no closing quote
    InvalidNumber = 3,
    InvalidDate = 4,          // a {…} date literal that is no date
    UnexpectedToken = 5,      // a token where it cannot stand
    UnexpectedEnd = 6,        // the text ended inside an expression
    ExpectedToken = 7,        // a specific token is missing ("expected ')'")
    UnknownField = 8,         // a name that is no field of the table
    UnknownFunction = 9,      // a call of no known function
    WrongArgumentCount = 10,  // a known function with too few or too many arguments
    TypeMismatch = 11,        // operands or arguments of the wrong type
    UnknownAlias = 12,        // alias->field with an alias that is not the table's
    TooComplex = 13,          // nesting deeper than the parser allows
    DivisionByZero = 14,      // at evaluation
    StringTooLong = 15,       // a constructed text beyond kMaxStringLength, at evaluation
    EmptyExpression = 16,     // nothing but blanks
    NotLogical = 17,          // a filter or condition whose result is not logical
};

class ExpressionError : public std::runtime_error {
  public:
    // The message reads "Expression error at position <position>: <detail>".
    ExpressionError(ExpressionErrorCode code, std::size_t position, const std::string& detail);

    ExpressionErrorCode code() const { return code_; }
    std::size_t position() const { return position_; }  // 0-based byte offset in the text
    const std::string& detail() const { return detail_; }

  private:
    ExpressionErrorCode code_;
    std::size_t position_;
    std::string detail_;
};

}  // namespace varelum::engine::expr
