// Optimised and plain filters alone and together, optimised and not, with the level
// reported; counts that respect or ignore them; AOF kinds and customisation; locate; and
// expressions through the C ABI with their errors.
#include "index_test_support.h"

namespace varelum::engine::testing {
namespace {

using Recnos = std::vector<UNSIGNED32>;

class Filters : public IndexTest {
  protected:
    void SetUp() override {
        IndexTest::SetUp();
        table_ = create("Prod", "CodGrupo,Char,4;Name,Char,12;Qty,Integer;Notes,Memo;");
        const char* rows[][3] = {{"X", "Apple", "5"}, {"Y", "Banana", "0"}, {"X", "Cherry", "12"},
                                 {"XY", "Date", "3"}, {"", "Elder", "8"},   {"X", "Fig", "1"}};
        for (auto& row : rows) {
            append_row(table_, {{"CodGrupo", row[0]}, {"Name", row[1]}, {"Qty", row[2]}});
        }
        index(table_, "GRUPO", "CodGrupo");
        index(table_, "QTY", "Qty");
    }

    UNSIGNED16 level(std::string* residual = nullptr) {
        UNSIGNED16 result = 0;
        UNSIGNED8 text[256];
        UNSIGNED16 length = sizeof text;
        EXPECT_ADS_OK(AdsGetAOFOptLevel(table_, &result, text, &length));
        if (residual != nullptr) {
            *residual = std::string(reinterpret_cast<char*>(text), length);
        }
        return result;
    }

    ADSHANDLE table_ = 0;
};

TEST_F(Filters, AnAofIsAnsweredByIndexesWhereItsTermsAllowAndReportsItsLevel) {
    struct Case {
        const char* filter;
        bool exact;
        UNSIGNED16 level;
        Recnos shown;
    };
    const Case cases[] = {
        {"CodGrupo = 'X'", true, VE_OPTIMIZED_FULL, {1, 3, 6}},
        {"CodGrupo = 'X'", false, VE_OPTIMIZED_FULL, {1, 3, 4, 6}},  // a prefix when not exact
        {"CodGrupo = 'X' .AND. Qty > 2", true, VE_OPTIMIZED_FULL, {1, 3}},
        {"CodGrupo = 'Y' .OR. Qty >= 8", true, VE_OPTIMIZED_FULL, {2, 3, 5}},
        {"CodGrupo = 'X' AND Name > 'B'", true, VE_OPTIMIZED_PART, {3, 6}},
        {"Name > 'D'", true, VE_OPTIMIZED_NONE, {4, 5, 6}},
        {"EMPTY(CodGrupo)", true, VE_OPTIMIZED_NONE, {5}},
        {"CodGrupo <> 'X'", true, VE_OPTIMIZED_FULL, {2, 4, 5}},
        {"NOT (Qty < 5)", true, VE_OPTIMIZED_FULL, {1, 3, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        ASSERT_ADS_OK(AdsSetExact22(table_, c.exact));
        ASSERT_ADS_OK(AdsSetAOF(table_, u8(c.filter), VE_AOF_RESOLVE_NOW));
        std::string residual;
        EXPECT_EQ(c.level, level(&residual));
        EXPECT_EQ(c.level == VE_OPTIMIZED_FULL, residual.empty()) << residual;
        EXPECT_EQ(c.shown, walk(table_, table_));
        Recnos back(c.shown.rbegin(), c.shown.rend());
        EXPECT_EQ(back, walk_back(table_, table_));
        EXPECT_EQ(c.shown.size(), count(table_, VE_RESPECT_FILTERS));
        EXPECT_EQ(6u, count(table_, VE_IGNORE_FILTERS));
        // The same filter, not optimised, shows the same records.
        ASSERT_ADS_OK(AdsClearAOF(table_));
        ASSERT_ADS_OK(AdsSetFilter(table_, u8(c.filter)));
        EXPECT_EQ(c.shown, walk(table_, table_));
        ASSERT_ADS_OK(AdsClearFilter(table_));
    }
    EXPECT_EQ(VE_NO_FILTER, AdsClearAOF(table_));
    UNSIGNED16 none = 0;
    UNSIGNED16 length = 0;
    EXPECT_EQ(VE_NO_FILTER, AdsGetAOF(table_, nullptr, &length));
    EXPECT_EQ(VE_NO_FILTER, AdsGetAOFOptLevel(table_, &none, nullptr, nullptr));
}

TEST_F(Filters, AofAndPlainFilterTogetherThroughAnIndexOrder) {
    ADSHANDLE qty = 0;
    ASSERT_ADS_OK(AdsGetIndexHandle(table_, u8("QTY"), &qty));
    ASSERT_ADS_OK(AdsSetExact22(table_, 1));
    ASSERT_ADS_OK(AdsSetAOF(table_, u8("CodGrupo = 'X'"), 0));
    ASSERT_ADS_OK(AdsSetFilter(table_, u8("Qty < 10")));
    EXPECT_EQ((Recnos{6, 1}), walk(qty, table_));
    EXPECT_EQ(2u, count(qty, VE_RESPECT_FILTERS));
    EXPECT_EQ(6u, count(qty, VE_RESPECT_SCOPES));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 3));
    UNSIGNED16 visible = 1;
    ASSERT_ADS_OK(AdsIsRecordVisible(table_, &visible));
    EXPECT_EQ(0, visible);
    UNSIGNED8 text[64];
    UNSIGNED16 length = sizeof text;
    ASSERT_ADS_OK(AdsGetFilter(table_, text, &length));
    EXPECT_STREQ("Qty < 10", reinterpret_cast<char*>(text));
    std::u16string wide(32, u'\0');
    UNSIGNED32 wide_length = static_cast<UNSIGNED32>(wide.size());
    ASSERT_ADS_OK(AdsGetAOF100(table_, VE_FILTER_UTF16, wide.data(), &wide_length));
    EXPECT_EQ(u"CodGrupo = 'X'", wide.substr(0, wide_length));
    length = 3;
    EXPECT_EQ(VE_BUFFER_TOO_SMALL, AdsGetAOF(table_, text, &length));
    EXPECT_EQ(14, length);
}

TEST_F(Filters, DynamicKeySetAndFixedAofsAndCustomisation) {
    ASSERT_ADS_OK(AdsSetExact22(table_, 1));
    ASSERT_ADS_OK(AdsSetAOF(table_, u8("CodGrupo = 'X'"), VE_AOF_DYNAMIC));
    append_row(table_, {{"CodGrupo", "X"}, {"Name", "Grape"}, {"Qty", "4"}});
    EXPECT_EQ((Recnos{1, 3, 6, 7}), walk(table_, table_));
    // Key-set: the set stays; members that stop matching are hidden.
    ASSERT_ADS_OK(AdsSetAOF(table_, u8("CodGrupo = 'X'"), VE_AOF_KEYSET | VE_AOF_RESOLVE_NOW));
    append_row(table_, {{"CodGrupo", "X"}, {"Name", "Hazel"}, {"Qty", "4"}});
    ASSERT_ADS_OK(AdsGotoRecord(table_, 1));
    ASSERT_ADS_OK(AdsSetField(table_, u8("CodGrupo"), u8("Z"), 1));
    ASSERT_ADS_OK(AdsWriteRecord(table_));
    EXPECT_EQ((Recnos{3, 6, 7}), walk(table_, table_));
    ASSERT_ADS_OK(AdsRefreshAOF(table_));
    EXPECT_EQ((Recnos{3, 6, 7, 8}), walk(table_, table_));
    // Fixed: members stay shown whatever they hold.
    ASSERT_ADS_OK(AdsSetAOF(table_, u8("CodGrupo = 'X'"), VE_AOF_FIXED | VE_AOF_RESOLVE_NOW));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 3));
    ASSERT_ADS_OK(AdsSetField(table_, u8("CodGrupo"), u8("Z"), 1));
    ASSERT_ADS_OK(AdsWriteRecord(table_));
    EXPECT_EQ((Recnos{3, 6, 7, 8}), walk(table_, table_));
    const UNSIGNED32 toggled[] = {2, 6};
    ASSERT_ADS_OK(AdsCustomizeAOF(table_, 2, toggled, VE_AOF_TOGGLE_RECORD));
    EXPECT_EQ((Recnos{2, 3, 7, 8}), walk(table_, table_));
    UNSIGNED16 in = 0;
    ASSERT_ADS_OK(AdsIsRecordInAOF(table_, 2, &in));
    EXPECT_EQ(1, in);
    ASSERT_ADS_OK(AdsIsRecordInAOF(table_, 6, &in));
    EXPECT_EQ(0, in);
}

TEST_F(Filters, FaultyFiltersAreRefusedWithThePosition) {
    EXPECT_EQ(VE_INVALID_EXPRESSION, AdsSetAOF(table_, u8("Qty +"), 0));
    EXPECT_NE(std::string::npos, last_error_text().find("position"));
    EXPECT_EQ(VE_INVALID_EXPRESSION, AdsSetFilter(table_, u8("Qty + 1")));
    EXPECT_EQ(VE_INVALID_EXPRESSION, AdsSetAOF(table_, u8("Nope = 1"), 0));
    UNSIGNED16 level = 0;
    ASSERT_ADS_OK(AdsEvalAOF(table_, u8("Qty = 3 AND Name = 'x'"), &level));
    EXPECT_EQ(VE_OPTIMIZED_PART, level);
}

TEST_F(Filters, LocateAndContinueFindMatchesInTheHandlesOrder) {
    UNSIGNED16 found = 0;
    ASSERT_ADS_OK(AdsLocate(table_, u8("Qty > 4"), 1, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ(1u, recno(table_));
    ASSERT_ADS_OK(AdsContinue(table_, &found));
    EXPECT_EQ(3u, recno(table_));
    ASSERT_ADS_OK(AdsContinue(table_, &found));
    EXPECT_EQ(5u, recno(table_));
    ASSERT_ADS_OK(AdsContinue(table_, &found));
    EXPECT_EQ(0, found);
    EXPECT_TRUE(at_eof(table_));
    ASSERT_ADS_OK(AdsLocate(table_, u8("Qty > 4"), 0, &found));
    EXPECT_EQ(5u, recno(table_));
    ADSHANDLE qty = 0;
    ASSERT_ADS_OK(AdsGetIndexHandle(table_, u8("QTY"), &qty));
    // Through the index handle the search follows key order.
    ASSERT_ADS_OK(AdsLocate(table_, u8("Qty > 6"), 1, &found));
    EXPECT_EQ(3u, recno(table_));
    ASSERT_ADS_OK(AdsLocate(qty, u8("Qty > 6"), 1, &found));
    EXPECT_EQ(5u, recno(table_));
    ASSERT_ADS_OK(AdsContinue(qty, &found));
    EXPECT_EQ(3u, recno(table_));
}

TEST_F(Filters, ExpressionsEvaluateOnTheCurrentRecord) {
    ASSERT_ADS_OK(AdsGotoRecord(table_, 3));
    double number = 0;
    ASSERT_ADS_OK(AdsEvalNumericExpr(table_, u8("Qty * 2 + 1"), &number));
    EXPECT_DOUBLE_EQ(25, number);
    UNSIGNED16 logical = 0;
    ASSERT_ADS_OK(
        AdsEvalLogicalExpr(table_, u8("Name = 'Ch' .AND. .NOT. EMPTY(CodGrupo)"), &logical));
    EXPECT_EQ(1, logical);
    ASSERT_ADS_OK(AdsSetExact22(table_, 1));
    UNSIGNED16 exact = 0;
    ASSERT_ADS_OK(AdsGetExact22(table_, &exact));
    EXPECT_EQ(1, exact);
    ASSERT_ADS_OK(AdsEvalLogicalExpr(table_, u8("Name = 'Ch'"), &logical));
    EXPECT_EQ(0, logical);
    UNSIGNED8 text[64];
    UNSIGNED16 length = sizeof text;
    ASSERT_ADS_OK(
        AdsEvalStringExpr(table_, u8("UPPER(TRIM(Name)) + '-' + STR(Qty, 3)"), text, &length));
    EXPECT_STREQ("CHERRY- 12", reinterpret_cast<char*>(text));
    length = sizeof text;
    ASSERT_ADS_OK(AdsEvalStringExpr(table_, u8("DTOS(CTOD('02/29/2024'))"), text, &length));
    EXPECT_STREQ("20240229", reinterpret_cast<char*>(text));
    struct TypeCase {
        const char* expression;
        UNSIGNED16 type;
    };
    for (TypeCase c : {TypeCase{"Qty", VE_EXPR_NUMERIC}, TypeCase{"Name", VE_EXPR_STRING},
                       TypeCase{"Qty > 1", VE_EXPR_LOGICAL}, TypeCase{"DATE()", VE_EXPR_DATE}}) {
        UNSIGNED16 type = 0;
        ASSERT_ADS_OK(AdsEvalTestExpr(table_, u8(c.expression), &type));
        EXPECT_EQ(c.type, type) << c.expression;
    }
    UNSIGNED16 valid = 9;
    ASSERT_ADS_OK(AdsIsExprValid(table_, u8("Qty > "), &valid));
    EXPECT_EQ(0, valid);
    ASSERT_ADS_OK(AdsIsExprValid(table_, u8("Qty > 1"), &valid));
    EXPECT_EQ(1, valid);
    EXPECT_EQ(VE_INVALID_EXPRESSION, AdsEvalNumericExpr(table_, u8("Name"), &number));
    EXPECT_EQ(VE_INVALID_EXPRESSION, AdsEvalNumericExpr(table_, u8("(Qty"), &number));
    EXPECT_NE(std::string::npos, last_error_text().find("position"));
    EXPECT_EQ(VE_EXPRESSION_FAILED, AdsEvalNumericExpr(table_, u8("Qty / 0"), &number));
    ASSERT_ADS_OK(AdsGotoEOF(table_));
    EXPECT_EQ(VE_NO_CURRENT_RECORD, AdsEvalNumericExpr(table_, u8("Qty"), &number));
}

TEST_F(Filters, LongAndShortFormsRoundTrip) {
    const char* long_form = "CodGrupo = 'X' AND Qty > 3 AND Name = \"Qty\"";
    UNSIGNED8 short_form[256], back[256];
    UNSIGNED32 length = sizeof short_form;
    ASSERT_ADS_OK(AdsExpressionLongToShort90(table_, u8(long_form), short_form, &length));
    std::string shortened(reinterpret_cast<char*>(short_form), length);
    EXPECT_EQ(std::string::npos, shortened.find("CodGrupo"));
    EXPECT_NE(std::string::npos, shortened.find("\"Qty\""));  // literals are kept
    UNSIGNED32 back_length = sizeof back;
    ASSERT_ADS_OK(AdsExpressionShortToLong90(table_, short_form, back, &back_length));
    EXPECT_EQ(long_form, std::string(reinterpret_cast<char*>(back), back_length));
    length = 4;
    EXPECT_EQ(VE_BUFFER_TOO_SMALL,
              AdsExpressionLongToShort90(table_, u8(long_form), short_form, &length));
}

}  // namespace
}  // namespace varelum::engine::testing
