// The long and short forms of expression texts.
#include <gtest/gtest.h>

#include "engine/expr/expr_test_support.h"
#include "engine/expr/short_form.h"

namespace varelum::engine::test {
namespace {

TEST(ShortForm, FieldsBecomeNumbersAndBack) {
    TestRecord record = product_record();
    const auto& f = record.fields();
    EXPECT_EQ(
        expr::expression_long_to_short("code = 'code' AND t->Qty > 1 .OR. UPPER(Name)='X'", f),
        "@1 = 'code' AND @4 > 1 .OR. UPPER(@2)='X'");
    EXPECT_EQ(expr::expression_short_to_long("@1 = 'code' AND @4 > 1 .OR. UPPER(@2)='X'", f),
              "Code = 'code' AND Qty > 1 .OR. UPPER(Name)='X'");
    // Names that are no field, and function names, stay as they are.
    EXPECT_EQ(expr::expression_long_to_short("Colour = 'a' AND LEFT(Code, 1) = 'b'", f),
              "Colour = 'a' AND LEFT(@1, 1) = 'b'");
    EXPECT_EQ(expr::expression_short_to_long("@99 = 1", f), "@99 = 1");
}

TEST(ShortForm, LiteralsAndSpacingSurviveByteForByte) {
    TestRecord record = product_record();
    const std::string text = "Code  =  \"Qty*\"  AND  CONTAINS(Note, 'abc*')";
    std::string shorter = expr::expression_long_to_short(text, record.fields());
    EXPECT_EQ(shorter, "@1  =  \"Qty*\"  AND  CONTAINS(@9, 'abc*')");
    EXPECT_EQ(expr::expression_short_to_long(shorter, record.fields()),
              "Code  =  \"Qty*\"  AND  CONTAINS(Note, 'abc*')");
}

TEST(ShortForm, RoundTripGivesAnEquivalentExpression) {
    TestRecord record = product_record();
    record.mutable_settings().exact = true;
    const char* samples[] = {
        "code = 'ABC123' and qty >= 7",
        "products->Price * QTY > 80 .AND. !EMPTY(note)",
        "IIF(Active, Name, Code) = 'widget'",
        "DTOS(Born) + STR(Small, 4) = '20201231 -12'",
    };
    for (const char* s : samples) {
        std::string shorter = expr::expression_long_to_short(s, record.fields());
        std::string longer = expr::expression_short_to_long(shorter, record.fields());
        expr::Expression original = expr::Expression::compile(s, record.fields());
        expr::Expression via_short = expr::Expression::compile(shorter, record.fields());
        expr::Expression back = expr::Expression::compile(longer, record.fields());
        EXPECT_EQ(back.normalized_text(), original.normalized_text()) << s;
        EXPECT_EQ(via_short.normalized_text(), original.normalized_text()) << s;
        EXPECT_TRUE(back.evaluate_logical(record)) << s;
    }
}

TEST(ShortForm, UnterminatedLiteralIsAnError) {
    TestRecord record = product_record();
    EXPECT_THROW(expr::expression_long_to_short("Code = 'abc", record.fields()),
                 expr::ExpressionError);
}

}  // namespace
}  // namespace varelum::engine::test
