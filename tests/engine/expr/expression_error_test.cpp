// Compile errors: each kind with its code, the 0-based position of the fault and the
// message text.
#include <gtest/gtest.h>

#include <ostream>

#include "case_names.h"

#include "engine/expr/expr_test_support.h"

namespace varelum::engine::test {
namespace {

struct ErrorCase {
    const char* expression;
    expr::ExpressionErrorCode code;
    std::size_t position;
    const char* message;
};

void PrintTo(const ErrorCase& c, std::ostream* out) {
    *out << "\"" << c.expression << "\" fails at " << c.position;
}

class CompileError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CompileError, NamesCodeAndPosition) {
    TestRecord record = product_record();
    expr::CompileOptions options;
    options.table_alias = "products";
    try {
        expr::Expression::compile(GetParam().expression, record.fields(), options);
        FAIL() << GetParam().expression << " compiled";
    } catch (const expr::ExpressionError& e) {
        EXPECT_EQ(e.code(), GetParam().code) << GetParam().expression << ": " << e.what();
        EXPECT_EQ(e.position(), GetParam().position) << GetParam().expression << ": " << e.what();
        EXPECT_EQ(std::string(e.what()), GetParam().message) << GetParam().expression;
    }
}

using Code = expr::ExpressionErrorCode;

INSTANTIATE_TEST_SUITE_P(
    Syntax, CompileError,
    ::testing::Values(ErrorCase{"(Qty + 1", Code::UnexpectedEnd, 8,
                                "Expression error at position 8: expected ')'"},
                      ErrorCase{"UPPER(Code, 'x'", Code::UnexpectedEnd, 15,
                                "Expression error at position 15: expected ')'"},
                      ErrorCase{"Qty + 1) = 2", Code::UnexpectedToken, 7,
                                "Expression error at position 7: unexpected ')'"},
                      ErrorCase{"Code = 'abc", Code::UnterminatedString, 7,
                                "Expression error at position 7: unterminated string, expected '"},
                      ErrorCase{"Qty = 7 ? 1", Code::UnexpectedCharacter, 8,
                                "Expression error at position 8: unexpected character '?'"},
                      ErrorCase{"Qty = 12abc", Code::InvalidNumber, 6,
                                "Expression error at position 6: invalid number '12a'"},
                      ErrorCase{"Born = {31/31/2020}", Code::InvalidDate, 7,
                                "Expression error at position 7: invalid date {31/31/2020}"},
                      ErrorCase{"Qty = 1 AND", Code::UnexpectedEnd, 11,
                                "Expression error at position 11: unexpected end of expression"},
                      ErrorCase{"Qty = .X.", Code::UnexpectedCharacter, 6,
                                "Expression error at position 6: unexpected character '.'"},
                      ErrorCase{"   ", Code::EmptyExpression, 0,
                                "Expression error at position 0: empty expression"},
                      ErrorCase{"Qty = , 1", Code::UnexpectedToken, 6,
                                "Expression error at position 6: unexpected ','"},
                      ErrorCase{"@99 = 1", Code::UnknownField, 0,
                                "Expression error at position 0: no field number 99"}),
    ReadableCaseName());

INSTANTIATE_TEST_SUITE_P(
    Names, CompileError,
    ::testing::Values(ErrorCase{"Qty = 1 AND Colour = 'red'", Code::UnknownField, 12,
                                "Expression error at position 12: unknown field Colour"},
                      ErrorCase{"FROB(Code)", Code::UnknownFunction, 0,
                                "Expression error at position 0: unknown function FROB"},
                      ErrorCase{"other->Code = 'x'", Code::UnknownAlias, 0,
                                "Expression error at position 0: unknown alias other"},
                      ErrorCase{"products->Nope = 'x'", Code::UnknownField, 10,
                                "Expression error at position 10: unknown field Nope"},
                      ErrorCase{
                          "SUBSTR(Code)", Code::WrongArgumentCount, 0,
                          "Expression error at position 0: SUBSTR takes 2 to 3 arguments, not 1"},
                      ErrorCase{"DATE(1)", Code::WrongArgumentCount, 0,
                                "Expression error at position 0: DATE takes 0 arguments, not 1"}),
    ReadableCaseName());

INSTANTIATE_TEST_SUITE_P(
    Types, CompileError,
    ::testing::Values(
        ErrorCase{
            "Code = 1", Code::TypeMismatch, 5,
            "Expression error at position 5: type mismatch: comparison of Character and Numeric"},
        ErrorCase{"Qty + 'a'", Code::TypeMismatch, 4,
                  "Expression error at position 4: type mismatch: '+' of Numeric and Character"},
        ErrorCase{"Code * 2", Code::TypeMismatch, 5,
                  "Expression error at position 5: type mismatch: '*' of Character and Numeric"},
        ErrorCase{"Qty AND Active", Code::TypeMismatch, 4,
                  "Expression error at position 4: type mismatch: AND of Numeric and Logical"},
        ErrorCase{"NOT Qty", Code::TypeMismatch, 0,
                  "Expression error at position 0: NOT needs a Logical operand, not Numeric"},
        ErrorCase{
            "-Code", Code::TypeMismatch, 0,
            "Expression error at position 0: unary sign needs a Numeric operand, not Character"},
        ErrorCase{
            "UPPER(Qty)", Code::TypeMismatch, 6,
            "Expression error at position 6: argument 1 of UPPER must be Character, not Numeric"},
        ErrorCase{
            "SUBSTR(Code, 'x')", Code::TypeMismatch, 13,
            "Expression error at position 13: argument 2 of SUBSTR must be Numeric, not Character"},
        ErrorCase{
            "DTOS(Code)", Code::TypeMismatch, 5,
            "Expression error at position 5: argument 1 of DTOS must be Date or Timestamp, not "
            "Character"},
        ErrorCase{"IIF(Active, 1, 'a')", Code::TypeMismatch, 15,
                  "Expression error at position 15: the branches of IIF must have one type, not "
                  "Numeric and Character"},
        ErrorCase{"Born + Born", Code::TypeMismatch, 5,
                  "Expression error at position 5: type mismatch: '+' of Date and Date"},
        ErrorCase{"Qty $ Code", Code::TypeMismatch, 4,
                  "Expression error at position 4: type mismatch: '$' of Numeric and Character"}),
    ReadableCaseName());

TEST(CompileErrors, ConditionMustBeLogical) {
    TestRecord record = product_record();
    EXPECT_NO_THROW(expr::Expression::compile_condition("Qty > 1", record.fields()));
    try {
        expr::Expression::compile_condition("Qty + 1", record.fields());
        FAIL();
    } catch (const expr::ExpressionError& e) {
        EXPECT_EQ(e.code(), expr::ExpressionErrorCode::NotLogical);
    }
}

TEST(CompileErrors, DeepNestingIsRefusedNotACrash) {
    TestRecord record = product_record();
    std::string deep(5000, '(');
    deep += "1" + std::string(5000, ')');
    EXPECT_THROW(expr::Expression::compile(deep, record.fields()), expr::ExpressionError);
    std::string signs(5000, '-');
    EXPECT_THROW(expr::Expression::compile(signs + "1", record.fields()), expr::ExpressionError);
    std::string chain = "Qty = 0";
    for (int i = 1; i < 5000; ++i) {
        chain += " OR Qty = " + std::to_string(i);
    }
    EXPECT_THROW(expr::Expression::compile(chain, record.fields()), expr::ExpressionError);
    // A long but reasonable filter compiles.
    std::string ok = "Qty = 0";
    for (int i = 1; i < 500; ++i) {
        ok += " OR Qty = " + std::to_string(i);
    }
    EXPECT_TRUE(expr::Expression::compile(ok, record.fields()).evaluate_logical(record));
}

TEST(CompileErrors, FieldNamesAndKeywordsIgnoreCase) {
    TestRecord record = product_record();
    EXPECT_TRUE(eval(record, "qty = 7 and CODE = 'ABC' .and. Products->QTY = 7").logical);
}

TEST(NormalizedText, SpellsEquivalentExpressionsAlike) {
    TestRecord record = product_record();
    auto normal = [&](const char* text) {
        return expr::Expression::compile(text, record.fields()).normalized_text();
    };
    EXPECT_EQ(normal("upper(name)"), "UPPER(NAME)");
    EXPECT_EQ(normal("UPPER( t->Name )"), normal("upper(@2)"));
    EXPECT_EQ(normal("code+name"), "(CODE + NAME)");
    EXPECT_EQ(normal("Qty # 1 .and. !Active"), "((QTY <> 1) AND (NOT ACTIVE))");
    EXPECT_EQ(normal("Code = 'a\"b'"), "(CODE = 'a\"b')");
    EXPECT_EQ(normal("Born = {^2020-01-02}"), "(BORN = {^2020-01-02})");
    EXPECT_EQ(normal("Qty = 1.50"), "(QTY = 1.5)");
    EXPECT_EQ(normal("Code = 'a' + \"'\" + '\"'"), "(CODE = ((\"a\" + \"'\") + '\"'))");
    // The canonical text compiles to the same canonical text.
    const char* samples[] = {"LEFT(Code, 3) + DTOS(Born)", "Stamp > {^2020-01-02 03:04:05}",
                             "IIF(Active, -Qty, Price / 2) >= 3 OR 'x' $ Name"};
    for (const char* s : samples) {
        std::string once = normal(s);
        EXPECT_EQ(normal(once.c_str()), once) << s;
    }
}

}  // namespace
}  // namespace varelum::engine::test
