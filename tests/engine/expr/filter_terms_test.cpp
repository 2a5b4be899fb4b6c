// The filter term splitter: which parts of a filter become index terms, with which
// operator, constant and null rule, and that the tree still evaluates like the filter.
#include <gtest/gtest.h>

#include "engine/expr/expr_test_support.h"
#include "engine/expr/filter_terms.h"

namespace varelum::engine::test {
namespace {

using expr::FilterNode;
using expr::TermOperator;

struct Split {
    expr::Expression filter;
    FilterNode tree;
};

Split split(const TestRecord& record, const std::string& text) {
    expr::CompileOptions options;
    options.settings = record.settings();
    Split s{expr::Expression::compile_condition(text, record.fields(), options), {}};
    s.tree = expr::split_filter(s.filter, record.settings());
    return s;
}

TEST(FilterTerms, SplitsAndOrTreesIntoTermsAndResiduals) {
    TestRecord record = product_record();
    record.mutable_settings().date_format = "dd/MM/yyyy";
    Split s = split(record,
                    "Code = 'X' AND (Qty > 10 .OR. UPPER(Name) == 'A') AND EMPTY(Note) AND "
                    "Born >= CTOD('01/02/2020') AND Qty * 2 > Price");
    ASSERT_EQ(s.tree.kind, FilterNode::Kind::And);
    ASSERT_EQ(s.tree.children.size(), 5u);
    EXPECT_EQ(expr::filter_node_text(s.tree),
              "(CODE = \"X\") AND ((QTY > 10) OR (UPPER(NAME) == \"A\")) AND "
              "(EMPTY(NOTE) = .T.) AND (BORN >= {^2020-02-01}) AND "
              "((QTY * 2) > PRICE)");

    const expr::FilterTerm& code = s.tree.children[0].term;
    EXPECT_EQ(code.key_text, "CODE");
    EXPECT_EQ(code.op, TermOperator::Equal);
    EXPECT_EQ(code.constant.text, "X");
    EXPECT_TRUE(code.prefix);  // exact is off
    EXPECT_FALSE(code.matches_null);

    const FilterNode& either = s.tree.children[1];
    ASSERT_EQ(either.kind, FilterNode::Kind::Or);
    EXPECT_EQ(either.children[1].term.key_text, "UPPER(NAME)");
    EXPECT_FALSE(either.children[1].term.prefix);  // == is whole-value

    EXPECT_EQ(s.tree.children[2].kind, FilterNode::Kind::Term);
    EXPECT_EQ(s.tree.children[2].term.key_text, "EMPTY(NOTE)");
    const expr::FilterTerm& born = s.tree.children[3].term;
    EXPECT_EQ(born.op, TermOperator::GreaterEqual);
    EXPECT_EQ(render(born.constant), "D:20200201");
    EXPECT_EQ(s.tree.children[4].kind, FilterNode::Kind::Residual);
}

TEST(FilterTerms, ConstantOnTheLeftIsMirrored) {
    TestRecord record = product_record();
    Split s = split(record, "10 < Qty");
    ASSERT_EQ(s.tree.kind, FilterNode::Kind::Term);
    EXPECT_EQ(s.tree.term.key_text, "QTY");
    EXPECT_EQ(s.tree.term.op, TermOperator::Greater);
    EXPECT_EQ(s.tree.term.constant.number, 10);
    // A text with the exact setting off asks "is Code a prefix of 'AB'": no index term.
    EXPECT_EQ(split(record, "'AB' = Code").tree.kind, FilterNode::Kind::Residual);
    record.mutable_settings().exact = true;
    Split exact = split(record, "'AB' <= Code");
    ASSERT_EQ(exact.tree.kind, FilterNode::Kind::Term);
    EXPECT_EQ(exact.tree.term.op, TermOperator::GreaterEqual);
    EXPECT_FALSE(exact.tree.term.prefix);
}

TEST(FilterTerms, NotIsPushedToTheLeaves) {
    TestRecord record = product_record();
    Split s = split(record, "NOT (Qty = 1 OR (Price < 2 AND !Active)) AND !('a' $ Code)");
    EXPECT_EQ(expr::filter_node_text(s.tree),
              "(QTY <> 1) AND ((PRICE >= 2) OR (ACTIVE = .T.)) AND (NOT (\"a\" $ CODE))");
    ASSERT_EQ(s.tree.kind, FilterNode::Kind::And);
    EXPECT_EQ(s.tree.children.size(), 3u);
    EXPECT_EQ(s.tree.children[2].kind, FilterNode::Kind::Residual);
    EXPECT_TRUE(s.tree.children[2].negated);
}

TEST(FilterTerms, MarksTermsThatNullsSatisfy) {
    TestRecord record = product_record();
    struct NullCase {
        const char* filter;
        bool matches_null;
    };
    const NullCase cases[] = {{"Qty = 0", true},    {"Qty > 0", false},
                              {"Qty < 1", true},    {"Qty <> 0", false},
                              {"Code = ''", true},  {"Code = 'A'", false},
                              {"Code < 'A'", true}, {"NOT Active", true},
                              {"Active", false},    {"Born < {^2000-01-01}", true}};
    for (const NullCase& c : cases) {
        Split s = split(record, c.filter);
        ASSERT_EQ(s.tree.kind, FilterNode::Kind::Term) << c.filter;
        EXPECT_EQ(s.tree.term.matches_null, c.matches_null) << c.filter;
    }
}

TEST(FilterTerms, TheTreeEvaluatesLikeTheFilter) {
    const char* filters[] = {
        "Code = 'ABC' AND Qty > 5",
        "NOT (Qty = 7 OR Price > 100)",
        "!(Active AND (NoQty = 0 OR 'x' $ Code))",
        "Qty > 1 AND Qty < 9 AND NOT (Born > {^2021-01-01} OR EMPTY(Name))",
        "Name = 'WID' OR Code == 'ABC123'",
    };
    for (bool exact : {false, true}) {
        TestRecord record = product_record();
        record.mutable_settings().exact = exact;
        for (const char* f : filters) {
            Split s = split(record, f);
            EXPECT_EQ(expr::evaluate_filter_node(s.tree, record), s.filter.evaluate_logical(record))
                << f << (exact ? " exact" : "");
        }
    }
}

}  // namespace
}  // namespace varelum::engine::test
