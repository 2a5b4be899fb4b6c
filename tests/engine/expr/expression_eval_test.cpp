// Evaluation of every operator and function on a hand-built record: values, the exact
// setting, case-insensitive texts, nulls and the edge values of the functions.
#include <gtest/gtest.h>

#include <ostream>

#include "case_names.h"

#include "engine/expr/expr_test_support.h"

namespace varelum::engine::test {
namespace {

struct Case {
    const char* expression;
    const char* expected;  // render() of the result
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << "\"" << c.expression << "\" gives " << c.expected;
}

class Evaluation : public ::testing::TestWithParam<Case> {};

TEST_P(Evaluation, GivesTheExpectedValue) {
    TestRecord record = product_record();
    record.mutable_settings().date_format = "dd/MM/yyyy";
    EXPECT_EQ(render(eval(record, GetParam().expression)), GetParam().expected)
        << GetParam().expression;
}

// Operators and literals.
INSTANTIATE_TEST_SUITE_P(
    Operators, Evaluation,
    ::testing::Values(
        Case{"1 + 2 * 3", "N:7"}, Case{"(1 + 2) * 3", "N:9"}, Case{"-Qty + +2", "N:-5"},
        Case{"7 / 2", "N:3.5"}, Case{".5 + 1.", "N:1.5"}, Case{"Price * Qty", "N:87.5"},
        Case{"Stock", "N:-3.5"}, Case{"Small", "N:-12"}, Case{"'ab' + \"cd\"", "C:'abcd'"},
        Case{"'ab  ' - 'cd'", "C:'abcd  '"}, Case{"Code + '|'", "C:'ABC123    |'"},
        Case{"TRIM(Code) - '|'", "C:'ABC123|'"}, Case{"Born + 1", "D:20210101"},
        Case{"1 + Born", "D:20210101"}, Case{"Born - 366", "D:20191231"},
        Case{"Born - {01/12/2020}", "N:30"}, Case{"{^2021-02-03}", "D:20210203"},
        Case{"{}", "D:empty"}, Case{"{^2021-02-03 04:05:06}", "T:20210203 04:05:06"},
        Case{".T. .AND. .F.", "L:F"}, Case{".t. .or. .f.", "L:T"},
        Case{".TRUE. AND .NOT. .FALSE.", "L:T"}, Case{"!Active", "L:F"},
        Case{"NOT Active OR Qty = 7", "L:T"}, Case{"not (Qty = 7) and Active", "L:F"},
        Case{"Qty = 7.AND.Price > 12", "L:T"}, Case{"Qty <> 7", "L:F"}, Case{"Qty # 6", "L:T"},
        Case{"Qty != 7", "L:F"}, Case{"Qty < 8 AND Qty <= 7 AND Qty > 6 AND Qty >= 7", "L:T"},
        Case{"Born = {31/12/2020}", "L:T"}, Case{"Born < Stamp", "L:T"},
        Case{"Born = CTOD('31/12/2020')", "L:T"},
        Case{"Stamp > CTOTS('31/12/2020 10:29:59')", "L:T"}, Case{"'BC' $ Code", "L:T"},
        Case{"'bc' $ Code", "L:F"}, Case{"'dge' $ Name", "L:T"}, Case{"'' $ Code", "L:T"},
        Case{"Active = .T.", "L:T"}, Case{".F. < .T.", "L:T"},
        Case{"t->Qty + product->Price", "N:19.5"}, Case{"@4 * 2", "N:14"}),
    ReadableCaseName());

// Functions, with the edge values that matter.
INSTANTIATE_TEST_SUITE_P(
    Functions, Evaluation,
    ::testing::Values(
        Case{"UPPER('abc\xE9\xFF')", "C:'ABC\xC9\x9F'"}, Case{"LOWER(Code)", "C:'abc123    '"},
        Case{"TRIM('  a  ')", "C:'  a'"}, Case{"RTRIM(Code)", "C:'ABC123'"},
        Case{"LTRIM('  a  ')", "C:'a  '"}, Case{"ALLTRIM('  a  ')", "C:'a'"},
        Case{"ALLTRIM('    ')", "C:''"}, Case{"SUBSTR('abcdef', 2, 3)", "C:'bcd'"},
        Case{"SUBSTR('abcdef', 4)", "C:'def'"}, Case{"SUBSTR('abc', 5, 2)", "C:''"},
        Case{"SUBSTR('abc', 2, 10)", "C:'bc'"}, Case{"SUBSTR('abc', 0, 2)", "C:'ab'"},
        Case{"SUBSTR('abc', 2, -1)", "C:''"}, Case{"LEFT('abc', 2)", "C:'ab'"},
        Case{"LEFT('abc', 9)", "C:'abc'"}, Case{"LEFT('abc', -1)", "C:''"},
        Case{"RIGHT('abc', 2)", "C:'bc'"}, Case{"RIGHT('abc', 0)", "C:''"},
        Case{"STR(12.5)", "C:'        13'"}, Case{"STR(-12.5)", "C:'       -13'"},
        Case{"STR(12.345, 8, 2)", "C:'   12.35'"}, Case{"STR(2.675, 5, 2)", "C:' 2.68'"},
        Case{"STR(123456, 3)", "C:'***'"}, Case{"STR(7, 1)", "C:'7'"},
        Case{"STR(-0.001, 5, 2)", "C:' 0.00'"}, Case{"STR(Qty, 0)", "C:'7'"},
        Case{"VAL('12.5')", "N:12.5"}, Case{"VAL('  -3.25abc')", "N:-3.25"},
        Case{"VAL('junk')", "N:0"}, Case{"VAL('')", "N:0"}, Case{"VAL('1,5')", "N:1"},
        Case{"DTOS(Born)", "C:'20201231'"}, Case{"DTOS(NoDate)", "C:'        '"},
        Case{"DTOS(CTOD(''))", "C:'        '"}, Case{"DTOS(Stamp)", "C:'20201231'"},
        Case{"DTOC(Born)", "C:'31/12/2020'"}, Case{"DTOC(NoDate)", "C:'  /  /    '"},
        Case{"CTOD('1/2/2021')", "D:20210201"}, Case{"CTOD('31/02/2021')", "D:empty"},
        Case{"CTOD('junk')", "D:empty"}, Case{"CTOD('01/02/30')", "D:19300201"},
        Case{"CTOT('10:20:30')", "T:0 10:20:30"}, Case{"CTOT('01:02 PM')", "T:0 13:02:00"},
        Case{"CTOT('25:00')", "T:0 00:00:00"},
        Case{"CTOTS('31/12/2020 23:59:59.5')", "T:20201231 23:59:59.500"},
        Case{"CTOTS('31/12/2020')", "T:20201231 00:00:00"},
        Case{"YEAR(Born) * 10000 + MONTH(Born) * 100 + DAY(Born)", "N:20201231"},
        Case{"YEAR(NoDate)", "N:0"}, Case{"MONTH(Stamp)", "N:12"}, Case{"EMPTY(Blank)", "L:T"},
        Case{"EMPTY('   ')", "L:T"}, Case{"EMPTY(Code)", "L:F"}, Case{"EMPTY(0)", "L:T"},
        Case{"EMPTY(NoDate)", "L:T"}, Case{"EMPTY(NoQty)", "L:T"}, Case{"EMPTY(Flag)", "L:T"},
        Case{"EMPTY(Note)", "L:F"}, Case{"ISNULL(NoQty)", "L:T"}, Case{"ISNULL(Qty)", "L:F"},
        Case{"ISNULL(Blank)", "L:T"}, Case{"CHR(65) + CHR(256 + 66)", "C:'AB'"},
        Case{"IIF(Qty > 5, 'big', 'small')", "C:'big'"}, Case{"IIF(Qty > 50, 1, 2)", "N:2"},
        Case{"IIF(.T., 1, 1 / 0)", "N:1"}, Case{"LEN(Code)", "N:10"},
        Case{"LEN(TRIM(Code))", "N:6"}, Case{"SPACE(3) + '|'", "C:'   |'"},
        Case{"SPACE(-2)", "C:''"}, Case{"PADL('ab', 4)", "C:'  ab'"},
        Case{"PADR('ab', 4, '*')", "C:'ab**'"}, Case{"PADL('abcdef', 3)", "C:'def'"},
        Case{"AT('C1', Code)", "N:3"}, Case{"AT('zz', Code)", "N:0"},
        Case{"ABS(-2.5) + INT(-2.7) + ROUND(2.45, 1)", "N:3"},
        Case{"CONTAINS(Note, 'MEMO hel*')", "L:T"}, Case{"CONTAINS(Note, 'other')", "L:F"},
        Case{"Note", "C:'hello memo'"},
        Case{"Wide",
             "C:'\xC7"
             "af\xE9  '"},
        Case{"UPPER(Wide) = '\xC7"
             "AF\xC9'",
             "L:T"},
        Case{"YEAR(DATE()) > 2000 AND YEAR(TODAY()) > 2000 AND NOW() > Stamp", "L:T"}),
    ReadableCaseName());

// Nulls compare as the empty value of their type.
INSTANTIATE_TEST_SUITE_P(Nulls, Evaluation,
                         ::testing::Values(Case{"NoQty", "null N:0"},
                                           Case{"Blank", "null C:'     '"},
                                           Case{"NoQty = 0", "L:T"}, Case{"NoQty + 1", "N:1"},
                                           Case{"NoDate < Born", "L:T"}, Case{"Flag", "null L:F"},
                                           Case{"Blank = ''", "L:T"},
                                           Case{"Blank + 'x'", "C:'     x'"},
                                           Case{"ISNULL(NoQty + 1)", "L:F"}),
                         ReadableCaseName());

struct ExactCase {
    const char* expression;
    bool exact_on;
    bool expected;
};

void PrintTo(const ExactCase& c, std::ostream* out) {
    *out << "\"" << c.expression << "\" exact " << (c.exact_on ? "on" : "off") << " is "
         << (c.expected ? "true" : "false");
}

class ExactSetting : public ::testing::TestWithParam<ExactCase> {};

TEST_P(ExactSetting, DecidesTextEquality) {
    TestRecord record = product_record();
    record.mutable_settings().exact = GetParam().exact_on;
    // The setting in force at evaluation counts, not the one at compile time.
    expr::Expression e = expr::Expression::compile(GetParam().expression, record.fields());
    EXPECT_EQ(e.evaluate_logical(record), GetParam().expected)
        << GetParam().expression << (GetParam().exact_on ? " exact on" : " exact off");
}

INSTANTIATE_TEST_SUITE_P(
    BothWays, ExactSetting,
    ::testing::Values(
        ExactCase{"Code = 'ABC'", false, true}, ExactCase{"Code = 'ABC'", true, false},
        ExactCase{"Code = 'ABC123'", true, true}, ExactCase{"Code = 'ABC123   '", true, true},
        ExactCase{"Code = ''", false, true}, ExactCase{"Code = ''", true, false},
        ExactCase{"'ABC' = Code", false, false}, ExactCase{"Code = 'ABC123XYZ'", false, false},
        ExactCase{"Code = 'ABC '", false, false}, ExactCase{"Code == 'ABC'", false, false},
        ExactCase{"Code == 'ABC123'", false, true}, ExactCase{"Code <> 'ABC'", false, false},
        ExactCase{"Code <> 'ABC'", true, true},
        ExactCase{"Code >= 'ABC' AND Code <= 'ABC'", false, true},
        ExactCase{"Code > 'ABC'", true, true}, ExactCase{"Code > 'ABC'", false, false},
        ExactCase{"Code < 'ABD'", false, true},
        // CIChar: either side case-insensitive makes the comparison so.
        ExactCase{"Name = 'WIDGET'", true, true}, ExactCase{"'widget' == Name", false, true},
        ExactCase{"Name = 'wid'", false, true}, ExactCase{"Code = 'abc123'", true, false},
        ExactCase{"UPPER(Name) = 'WIDGET'", true, true},
        ExactCase{"LOWER(Name) = 'WIDGET'", true, false},
        ExactCase{"TRIM(Name) + 'X' = 'WIDGETx'", true, true}),
    ReadableCaseName());

TEST(ExpressionEvaluation, DivisionByZeroIsAnErrorAtTheDivisor) {
    TestRecord record = product_record();
    try {
        eval(record, "Qty / (Qty - 7)");
        FAIL() << "no error";
    } catch (const expr::ExpressionError& e) {
        EXPECT_EQ(e.code(), expr::ExpressionErrorCode::DivisionByZero);
        EXPECT_EQ(e.position(), 6u);
        EXPECT_STREQ(e.what(), "Expression error at position 6: division by zero");
    }
}

TEST(ExpressionEvaluation, BuiltTextsHaveALimit) {
    TestRecord record = product_record();
    EXPECT_THROW(eval(record, "SPACE(100000000)"), expr::ExpressionError);
    EXPECT_EQ(eval(record, "LEN(SPACE(65535))").number, 65535);
}

TEST(ExpressionEvaluation, DateFormatDecidesDtocAndCtod) {
    TestRecord record = product_record();
    record.mutable_settings().date_format = "MM/dd/ccyy";
    EXPECT_EQ(render(eval(record, "DTOC(Born)")), "C:'12/31/2020'");
    EXPECT_EQ(render(eval(record, "CTOD('02/01/2021')")), "D:20210201");
    record.mutable_settings().date_format = "yyyy.MM.dd";
    EXPECT_EQ(render(eval(record, "DTOC(Born)")), "C:'2020.12.31'");
    EXPECT_EQ(render(eval(record, "CTOD('2021.02.01')")), "D:20210201");
    record.mutable_settings().date_format = "ddMMyy";
    EXPECT_EQ(render(eval(record, "DTOC(Born)")), "C:'311220'");
    EXPECT_EQ(render(eval(record, "CTOD('010299')")), "D:19990201");
    record.mutable_settings().epoch = 1950;
    EXPECT_EQ(render(eval(record, "CTOD('010249')")), "D:20490201");
}

TEST(ExpressionEvaluation, EveryTypeHasItsResultType) {
    TestRecord record = product_record();
    struct TypeCase {
        const char* text;
        expr::ValueType type;
        std::uint32_t width;
        bool ci;
    };
    const TypeCase cases[] = {
        {"Code", expr::ValueType::Character, 10, false},
        {"Name", expr::ValueType::Character, 20, true},
        {"Code + Name", expr::ValueType::Character, 30, true},
        {"UPPER(Name)", expr::ValueType::Character, 20, false},
        {"LEFT(Code, 4)", expr::ValueType::Character, 4, false},
        {"SUBSTR(Code, 3, 2)", expr::ValueType::Character, 2, false},
        {"SUBSTR(Code, 3)", expr::ValueType::Character, 8, false},
        {"STR(Qty, 6)", expr::ValueType::Character, 6, false},
        {"STR(Qty)", expr::ValueType::Character, 10, false},
        {"DTOS(Born)", expr::ValueType::Character, 8, false},
        {"DTOC(Born)", expr::ValueType::Character, 10, false},
        {"Note", expr::ValueType::Character, 0, false},
        {"IIF(Active, Code, 'x')", expr::ValueType::Character, 10, false},
        {"Price", expr::ValueType::Numeric, 0, false},
        {"Born", expr::ValueType::Date, 0, false},
        {"Stamp", expr::ValueType::Timestamp, 0, false},
        {"Active", expr::ValueType::Logical, 0, false},
    };
    for (const TypeCase& c : cases) {
        expr::Expression e = expr::Expression::compile(c.text, record.fields());
        EXPECT_EQ(e.result_type().type, c.type) << c.text;
        EXPECT_EQ(e.result_type().width, c.width) << c.text;
        EXPECT_EQ(e.result_type().case_insensitive, c.ci) << c.text;
    }
}

TEST(ExpressionEvaluation, ReportsTheFieldsItReads) {
    TestRecord record = product_record();
    expr::Expression e =
        expr::Expression::compile("qty > 1 AND CODE = 'A' OR @4 < Price", record.fields());
    EXPECT_EQ(e.referenced_fields(), (std::vector<std::uint16_t>{1, 3, 4}));
    EXPECT_FALSE(e.is_single_field());
    EXPECT_TRUE(expr::Expression::compile("code", record.fields()).is_single_field());
}

}  // namespace
}  // namespace varelum::engine::test
