// Locate and Lookup of TAdsDataSet against the real engine: the program's staff lookup by
// password, the choice between an index seek and an expression (which shows in which of two
// equal matches is found: the first in the index's order or in the table's), the options,
// quoting, null values, a search that finds nothing, searches beside filters the table
// already has, and the list helpers of the index choice.
#include <gtest/gtest.h>

#include <ostream>

#include "ads/adsdata_locate.h"
#include "case_names.h"
#include "db/field.h"
#include "rtl/datetime.h"
#include "rtl/exception.h"
#include "search_test_support.h"

namespace varelum::ads {
namespace {

using test::EngineText;

constexpr const char* kStaff = "CadFuncionariosLojas.adt";

// --- The list helpers ----------------------------------------------------------------------------

struct TCoverCase {
    const char* IndexFields;
    const char* KeyFields;
    bool Covered;
    const char* LastCovered;
};

void PrintTo(const TCoverCase& c, std::ostream* out) {
    *out << c.IndexFields << " for " << c.KeyFields << (c.Covered ? " covers" : " does not cover");
}

class IndexCoverTest : public ::testing::TestWithParam<TCoverCase> {};

TEST_P(IndexCoverTest, KeyFieldsMustBeTheLeadingFieldsOfTheIndex) {
    const TCoverCase& c = GetParam();
    std::string last = "(unchanged)";
    EXPECT_EQ(IndexCoversKeyFields(c.IndexFields, c.KeyFields, last), c.Covered)
        << c.IndexFields << " / " << c.KeyFields;
    EXPECT_EQ(last, c.Covered ? c.LastCovered : "(unchanged)");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IndexCoverTest,
    ::testing::Values(TCoverCase{"SENHA", "Senha", true, "SENHA"},
                      TCoverCase{"SENHA;CODFUNCIONARIO", "senha", true, "SENHA"},
                      TCoverCase{"A;B;C", "B;A", true, "B"},
                      TCoverCase{"A;B;C", "c;a;b", true, "C"}, TCoverCase{"A;B", "A;A", true, "A"},
                      TCoverCase{"A;B", " a ; b ", true, "B"}, TCoverCase{"A;B", "B", false, ""},
                      TCoverCase{"A;B;C", "A;C", false, ""}, TCoverCase{"A;B", "A;X", false, ""},
                      TCoverCase{"AB;B", "A", false, ""}, TCoverCase{"A;B", "", false, ""},
                      TCoverCase{"", "A", false, ""}),
    ReadableCaseName());

TEST(FieldListTest, PositionsAndItems) {
    EXPECT_EQ(FieldPositionInList("b", "A;B"), 2);
    EXPECT_EQ(FieldPositionInList("A", "AB;A"), 2);
    EXPECT_EQ(FieldPositionInList("AB", "A;B"), 0);
    EXPECT_EQ(FieldPositionInList("x", ""), 0);
    EXPECT_EQ(NthListItem(2, "A;B;C"), "B");
    EXPECT_EQ(NthListItem(4, "A;B;C"), "");
    EXPECT_EQ(NthListItem(0, "A;B;C"), "");
    EXPECT_EQ(FieldListItems(" A ;; B"), (std::vector<std::string>{"A", "B"}));
}

// --- Against the engine
// ----------------------------------------------------------------------------

// Staff rows where the password "X" occurs twice: record 1 (code 5) comes first in the table,
// record 2 (code 1) first in any index ordered by password and code.
class LocateTest : public test::TDataSetFixture {
  protected:
    void SetUp() override {
        test::TDataSetFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        const ADSHANDLE table = CreateTable(
            kStaff, "CodFuncionario,Integer;Senha,Char,20;NomeFuncionario,Char,60;Ativo,Logical");
        const std::vector<std::vector<const char*>> rows = {
            {"5", "X", "FIRST IN TABLE", "F"},  {"1", "X", "FIRST IN INDEX", "T"},
            {"3", "XY", "PREFIX", "T"},         {"4", "a\"b", "QUOTED", "T"},
            {"6", nullptr, "NO PASSWORD", "T"}, {"7", "1234", "MARIA DA SILVA", "T"}};
        for (const auto& row : rows) {
            AppendRow(table, {{"CodFuncionario", row[0]},
                              {"Senha", row[1]},
                              {"NomeFuncionario", row[2]},
                              {"Ativo", row[3]}});
        }
        ace::AdsCloseTable(table);
    }

    std::unique_ptr<TAdsTable> OpenStaff() {
        auto table = Table(kStaff);
        table->Open();
        return table;
    }

    static std::string Name(const TAdsTable& table) {
        return table.FieldByName("NomeFuncionario").AsString();
    }

    // The search left no filter of its own on the handle and the exact setting as it was.
    static void ExpectNothingLeftBehind(const TAdsTable& table, UNSIGNED16 exactBefore) {
        UNSIGNED16 length = 0;
        EXPECT_EQ(ace::AdsGetAOF(table.Handle(), nullptr, &length),
                  static_cast<UNSIGNED32>(VE_NO_FILTER));
        length = 0;
        EXPECT_EQ(ace::AdsGetFilter(table.Handle(), nullptr, &length),
                  static_cast<UNSIGNED32>(VE_NO_FILTER));
        UNSIGNED16 exact = 9;
        EXPECT_EQ(ace::AdsGetExact22(table.Handle(), &exact), 0u);
        EXPECT_EQ(exact, exactBefore);
    }

    static UNSIGNED16 Exact(const TAdsTable& table) {
        UNSIGNED16 exact = 9;
        EXPECT_EQ(ace::AdsGetExact22(table.Handle(), &exact), 0u);
        return exact;
    }
};

#define REQUIRE_FILTERS() \
    VARELUM_REQUIRE_ENGINE("AdsSetAOF100", "AdsGetAOF", "AdsClearAOF", "AdsSetExact22")
#define REQUIRE_INDEXES()                                                                       \
    VARELUM_REQUIRE_ENGINE("AdsCreateIndex90", "AdsGetNumIndexes", "AdsSeek", "AdsBuildRawKey", \
                           "AdsGetScope", "AdsIsIndexCustom")

TEST_F(LocateTest, StaffPasswordIsFoundByExpressionWithoutAnIndex) {
    REQUIRE_FILTERS();
    auto staff = OpenStaff();
    const UNSIGNED16 exact = Exact(*staff);
    int scrolls = 0;
    staff->AfterScroll = [&](db::TDataSet&) { ++scrolls; };
    EXPECT_TRUE(staff->Locate("Senha", "1234", 0));
    EXPECT_EQ(Name(*staff), "MARIA DA SILVA");
    EXPECT_EQ(staff->RecNo(), 6);
    EXPECT_EQ(scrolls, 1);
    ExpectNothingLeftBehind(*staff, exact);
    // Exact: a password is not found by its beginning.
    EXPECT_FALSE(staff->Locate("Senha", "12", 0));
    // The first match in the table's order.
    EXPECT_TRUE(staff->Locate("Senha", "X", 0));
    EXPECT_EQ(Name(*staff), "FIRST IN TABLE");
    staff->Next();
    EXPECT_EQ(Name(*staff), "FIRST IN INDEX") << "the window is whole around the match";
}

TEST_F(LocateTest, StaffPasswordIsSeekedThroughItsIndex) {
    REQUIRE_FILTERS();
    REQUIRE_INDEXES();
    CreateIndex(kStaff, "NOME", "NomeFuncionario");
    CreateIndex(kStaff, "SENHA", "Senha");
    auto staff = OpenStaff();
    const UNSIGNED16 exact = Exact(*staff);
    EXPECT_TRUE(staff->Locate("Senha", "1234", 0));
    EXPECT_EQ(Name(*staff), "MARIA DA SILVA");
    EXPECT_EQ(staff->RecNo(), 6);
    EXPECT_FALSE(staff->Locate("Senha", "12", 0)) << "the whole value is seeked";
    EXPECT_FALSE(staff->Locate("Senha", "1234 5", 0));
    EXPECT_EQ(Name(*staff), "MARIA DA SILVA");
    EXPECT_TRUE(staff->Locate("Senha", "X", 0));
    EXPECT_EQ(Name(*staff), "FIRST IN TABLE");
    ExpectNothingLeftBehind(*staff, exact);
}

// The descending index on the password shows which search ran: a partial search through it
// finds "XY" (PREFIX) before "X", the table's order finds record 1 (FIRST IN TABLE) first.
TEST_F(LocateTest, AFieldThatLeadsAnIndexUsesItBesideOtherIndexes) {
    REQUIRE_FILTERS();
    REQUIRE_INDEXES();
    CreateIndex(kStaff, "NOME", "NomeFuncionario");
    CreateIndex(kStaff, "CODIGO", "CodFuncionario");
    CreateIndex(kStaff, "SENHA_DESC", "Senha", VE_INDEX_DESCENDING);
    auto staff = OpenStaff();
    EXPECT_TRUE(staff->Locate("Senha", "X", db::loPartialKey));
    EXPECT_EQ(Name(*staff), "PREFIX");
}

TEST_F(LocateTest, TwoFieldsOfAnIndexInReverseOrderUseIt) {
    REQUIRE_FILTERS();
    REQUIRE_INDEXES();
    CreateIndex(kStaff, "ATIVO_SENHA", "Ativo;Senha", VE_INDEX_DESCENDING);
    auto staff = OpenStaff();
    EXPECT_TRUE(
        staff->Locate("Senha;Ativo", std::vector<rtl::Variant>{"X", true}, db::loPartialKey));
    EXPECT_EQ(Name(*staff), "PREFIX") << "the index's order, not FIRST IN INDEX of the table's";
}

// Record 2 (code 1) comes first in an index ordered by password and code: a Locate on the
// leading field of that index finds it, one in the table's order record 1.
TEST_F(LocateTest, LeadingSegmentsOfACompoundIndexInAnyOrderUseIt) {
    REQUIRE_FILTERS();
    REQUIRE_INDEXES();
    CreateIndex(kStaff, "SENHA_CODIGO", "Senha;CodFuncionario");
    CreateIndex(kStaff, "SENHA_ATIVO", "Senha;Ativo;CodFuncionario");
    VARELUM_REQUIRE_WHOLE_KEY_OF_LEADING_SEGMENTS(kStaff, "SENHA_CODIGO", "Senha");
    auto staff = OpenStaff();
    EXPECT_TRUE(staff->Locate("Senha", "X", 0));
    EXPECT_EQ(Name(*staff), "FIRST IN INDEX");
    EXPECT_TRUE(staff->Locate("Ativo;Senha", std::vector<rtl::Variant>{false, "X"}, 0));
    EXPECT_EQ(Name(*staff), "FIRST IN TABLE");
    EXPECT_TRUE(staff->Locate("Ativo;Senha", std::vector<rtl::Variant>{true, "X"}, 0));
    EXPECT_EQ(Name(*staff), "FIRST IN INDEX");
    EXPECT_FALSE(staff->Locate("Ativo;Senha", std::vector<rtl::Variant>{false, "XY"}, 0));
}

TEST_F(LocateTest, ASecondSegmentAloneNeverUsesTheIndex) {
    REQUIRE_FILTERS();
    REQUIRE_INDEXES();
    CreateIndex(kStaff, "CODIGO_SENHA", "CodFuncionario;Senha", VE_INDEX_DESCENDING);
    auto staff = OpenStaff();
    EXPECT_TRUE(staff->Locate("Senha", "X", db::loPartialKey));
    EXPECT_EQ(Name(*staff), "FIRST IN TABLE");
    EXPECT_TRUE(staff->Locate("Senha", "1234", 0));
    EXPECT_EQ(Name(*staff), "MARIA DA SILVA");
}

struct TOptionCase {
    const char* Value;
    db::TLocateOptions Options;
    bool Found;
    const char* Name;  // the record found
};

void PrintTo(const TOptionCase& c, std::ostream* out) {
    *out << c.Value << " options " << c.Options << (c.Found ? " finds " : " finds nothing, ")
         << c.Name;
}

class LocateOptionTest : public LocateTest, public ::testing::WithParamInterface<TOptionCase> {};

// With a descending index on the password: the exact and the partial search seek it (a
// partial one finds PREFIX first); a case-insensitive search on a narrow text always goes by
// expression, in the table's order.
TEST_P(LocateOptionTest, OptionsDecideBetweenIndexAndExpression) {
    REQUIRE_FILTERS();
    REQUIRE_INDEXES();
    CreateIndex(kStaff, "SENHA_DESC", "Senha", VE_INDEX_DESCENDING);
    auto staff = OpenStaff();
    const UNSIGNED16 exact = Exact(*staff);
    const TOptionCase& c = GetParam();
    staff->Last();
    EXPECT_EQ(staff->Locate("Senha", c.Value, c.Options), c.Found) << c.Value;
    EXPECT_EQ(Name(*staff), c.Name);
    ExpectNothingLeftBehind(*staff, exact);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocateOptionTest,
    ::testing::Values(TOptionCase{"1234", 0, true, "MARIA DA SILVA"},
                      TOptionCase{"x", 0, false, "MARIA DA SILVA"},
                      TOptionCase{"x", db::loCaseInsensitive, true, "FIRST IN TABLE"},
                      TOptionCase{"xy", db::loCaseInsensitive, true, "PREFIX"},
                      TOptionCase{"X", db::loPartialKey, true, "PREFIX"},
                      TOptionCase{"12", db::loPartialKey, true, "MARIA DA SILVA"},
                      TOptionCase{"x", db::loPartialKey | db::loCaseInsensitive, true,
                                  "FIRST IN TABLE"},
                      TOptionCase{"Z", db::loPartialKey, false, "MARIA DA SILVA"}),
    ReadableCaseName());

TEST_F(LocateTest, PartialSearchByExpressionTurnsExactOffOnlyForTheSearch) {
    REQUIRE_FILTERS();
    auto staff = OpenStaff();
    ASSERT_EQ(ace::AdsSetExact22(staff->Handle(), 1), 0u);
    EXPECT_TRUE(staff->Locate("NomeFuncionario", "MARIA", db::loPartialKey));
    EXPECT_EQ(Name(*staff), "MARIA DA SILVA");
    EXPECT_EQ(Exact(*staff), 1);
    EXPECT_FALSE(staff->Locate("NomeFuncionario", "MARIA", 0));
    EXPECT_EQ(Exact(*staff), 1);
}

TEST_F(LocateTest, QuotesAndNullValues) {
    REQUIRE_FILTERS();
    auto staff = OpenStaff();
    EXPECT_TRUE(staff->Locate("Senha", "a\"b", 0));
    EXPECT_EQ(Name(*staff), "QUOTED");
    staff->First();
    EXPECT_TRUE(staff->Locate("Senha", rtl::Variant::Null(), 0));
    EXPECT_EQ(Name(*staff), "NO PASSWORD");
    EXPECT_TRUE(staff->Locate("Senha;CodFuncionario", std::vector<rtl::Variant>{"X", 1}, 0));
    EXPECT_EQ(Name(*staff), "FIRST IN INDEX");
    EXPECT_TRUE(staff->Locate("Ativo;Senha", std::vector<rtl::Variant>{false, "X"}, 0));
    EXPECT_EQ(Name(*staff), "FIRST IN TABLE");
}

TEST_F(LocateTest, NullValueOnTheIndexPathSeeksTheEmptyKey) {
    REQUIRE_FILTERS();
    REQUIRE_INDEXES();
    CreateIndex(kStaff, "SENHA", "Senha");
    auto staff = OpenStaff();
    staff->Last();
    EXPECT_TRUE(staff->Locate("Senha", rtl::Variant::Null(), 0));
    EXPECT_EQ(Name(*staff), "NO PASSWORD");
    EXPECT_TRUE(staff->Locate("Senha", "a\"b", 0));
    EXPECT_EQ(Name(*staff), "QUOTED");
}

TEST_F(LocateTest, NothingFoundLeavesThePositionAndNoFilterBehind) {
    REQUIRE_FILTERS();
    auto staff = OpenStaff();
    staff->Next();
    staff->Next();
    const UNSIGNED16 exact = Exact(*staff);
    int scrolls = 0;
    staff->AfterScroll = [&](db::TDataSet&) { ++scrolls; };
    EXPECT_FALSE(staff->Locate("Senha", "NOBODY", 0));
    EXPECT_FALSE(staff->Locate("NomeFuncionario", "nobody", db::loCaseInsensitive));
    EXPECT_EQ(Name(*staff), "PREFIX");
    EXPECT_EQ(staff->RecNo(), 3);
    EXPECT_EQ(scrolls, 0);
    ExpectNothingLeftBehind(*staff, exact);
    staff->Next();
    EXPECT_EQ(Name(*staff), "QUOTED") << "the engine is back on the record shown";
}

TEST_F(LocateTest, UnknownFieldFailsBeforeTheSearch) {
    auto staff = OpenStaff();
    EXPECT_EQ(Message([&] { staff->Locate("Nope", "X", 0); }),
              "TbCadFuncionariosLojas: Field 'Nope' not found");
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(Name(*staff), "FIRST IN TABLE");
}

TEST_F(LocateTest, AnExistingAofGetsThePlainFilterBesideItAndKeepsIt) {
    REQUIRE_FILTERS();
    auto staff = OpenStaff();
    const std::u16string active = u"Ativo";
    ASSERT_EQ(
        ace::AdsSetAOF100(staff->Handle(), active.c_str(), VE_FILTER_UTF16 | VE_AOF_RESOLVE_LATER),
        0u);
    staff->First();
    EXPECT_TRUE(staff->Locate("Senha", "X", 0));
    EXPECT_EQ(Name(*staff), "FIRST IN INDEX") << "the table's AOF still hides record 1";
    UNSIGNED16 length = 0;
    EXPECT_EQ(ace::AdsGetAOF(staff->Handle(), nullptr, &length),
              static_cast<UNSIGNED32>(VE_BUFFER_TOO_SMALL))
        << "the AOF is kept";
    length = 0;
    EXPECT_EQ(ace::AdsGetFilter(staff->Handle(), nullptr, &length),
              static_cast<UNSIGNED32>(VE_NO_FILTER))
        << "the search's filter is gone";
}

TEST_F(LocateTest, WithAnAofAndAFilterTheRecordsAreWalkedFromTheTop) {
    REQUIRE_FILTERS();
    VARELUM_REQUIRE_ENGINE("AdsSetFilter100", "AdsEvalLogicalExpr");
    auto staff = OpenStaff();
    const std::u16string active = u"Ativo";
    const std::u16string notMaria = u"CodFuncionario <> 7";
    ASSERT_EQ(
        ace::AdsSetAOF100(staff->Handle(), active.c_str(), VE_FILTER_UTF16 | VE_AOF_RESOLVE_LATER),
        0u);
    ASSERT_EQ(ace::AdsSetFilter100(staff->Handle(), notMaria.c_str(), VE_FILTER_UTF16), 0u);
    staff->First();
    EXPECT_TRUE(staff->Locate("Senha", "XY", 0));
    EXPECT_EQ(Name(*staff), "PREFIX");
    EXPECT_FALSE(staff->Locate("Senha", "1234", 0)) << "the plain filter hides it";
    EXPECT_EQ(Name(*staff), "PREFIX");
    UNSIGNED16 length = 0;
    EXPECT_EQ(ace::AdsGetAOF(staff->Handle(), nullptr, &length),
              static_cast<UNSIGNED32>(VE_BUFFER_TOO_SMALL));
    length = 0;
    EXPECT_EQ(ace::AdsGetFilter(staff->Handle(), nullptr, &length),
              static_cast<UNSIGNED32>(VE_BUFFER_TOO_SMALL));
}

struct TBehaviorCase {
    TAdsLocateBehavior Behavior;
    const char* Name;
};

void PrintTo(const TBehaviorCase& c, std::ostream* out) {
    *out << c.Name;
}

class LocateBehaviorTest : public LocateTest,
                           public ::testing::WithParamInterface<TBehaviorCase> {};

TEST_P(LocateBehaviorTest, FindFirstTriesNoIndexButTheActiveOrder) {
    REQUIRE_FILTERS();
    REQUIRE_INDEXES();
    CreateIndex(kStaff, "SENHA_DESC", "Senha", VE_INDEX_DESCENDING);
    auto staff = Table(kStaff);
    staff->AdsTableOptions().SetAdsLocateBehavior(GetParam().Behavior);
    staff->Open();
    EXPECT_TRUE(staff->Locate("Senha", "X", db::loPartialKey));
    EXPECT_EQ(Name(*staff), GetParam().Name);
    staff->SetIndexName("SENHA_DESC");
    EXPECT_TRUE(staff->Locate("Senha", "X", db::loPartialKey));
    EXPECT_EQ(Name(*staff), "PREFIX") << "the active index is always tried";
}

INSTANTIATE_TEST_SUITE_P(Behaviors, LocateBehaviorTest,
                         ::testing::Values(TBehaviorCase{lbFastestPossible, "PREFIX"},
                                           TBehaviorCase{lbFindFirst, "FIRST IN TABLE"}),
                         ReadableCaseName());

// Indexes that show only some records, or keys other than the records', are never seeked in
// the place of the table: each of these descending indexes would find PREFIX first.
struct TUnusableCase {
    const char* Name;
    UNSIGNED32 Options;
    const char* Condition;
    bool Scoped;
};

void PrintTo(const TUnusableCase& c, std::ostream* out) {
    *out << c.Name;
}

class UnusableIndexTest : public LocateTest, public ::testing::WithParamInterface<TUnusableCase> {};

TEST_P(UnusableIndexTest, AnIndexThatIsNotUsableIsNotSeeked) {
    REQUIRE_FILTERS();
    REQUIRE_INDEXES();
    const TUnusableCase& c = GetParam();
    CreateIndex(kStaff, "SENHA_DESC", "Senha", VE_INDEX_DESCENDING | c.Options, c.Condition);
    auto staff = OpenStaff();
    if (c.Scoped) {
        ADSHANDLE index = 0;
        ASSERT_EQ(ace::AdsGetIndexHandle(staff->Handle(), EngineText("SENHA_DESC"), &index), 0u);
        ASSERT_EQ(ace::AdsSetScope(index, VE_BOTTOM, EngineText("A"), 1, VE_STRINGKEY), 0u);
    }
    EXPECT_TRUE(staff->Locate("Senha", "X", db::loPartialKey));
    EXPECT_EQ(Name(*staff), "FIRST IN TABLE");
}

INSTANTIATE_TEST_SUITE_P(Indexes, UnusableIndexTest,
                         ::testing::Values(TUnusableCase{"Condition", 0, "Ativo", false},
                                           TUnusableCase{"Custom", VE_INDEX_CUSTOM, nullptr, false},
                                           TUnusableCase{"Scope", 0, nullptr, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(LocateTest, AScopedActiveIndexIsTheOnlyCandidate) {
    REQUIRE_FILTERS();
    REQUIRE_INDEXES();
    CreateIndex(kStaff, "SENHA", "Senha");
    CreateIndex(kStaff, "CODIGO", "CodFuncionario");
    auto staff = Table(kStaff);
    staff->SetIndexName("CODIGO");
    staff->Open();
    ASSERT_EQ(ace::AdsSetScope(staff->ActiveHandle(), VE_TOP, EngineText("2"), 1, VE_STRINGKEY),
              0u);
    // The scope hides code 1; the password index is not tried, so the expression walks the
    // active order: code 3 (PREFIX) before code 5.
    EXPECT_TRUE(staff->Locate("Senha", "X", db::loPartialKey));
    EXPECT_EQ(Name(*staff), "PREFIX");
    EXPECT_TRUE(staff->Locate("CodFuncionario", 5, 0));
    EXPECT_EQ(Name(*staff), "FIRST IN TABLE");
    EXPECT_FALSE(staff->Locate("CodFuncionario", 1, 0)) << "outside the scope";
}

TEST_F(LocateTest, AValueOfTheWrongKindFailsBeforeTheSearch) {
    auto staff = OpenStaff();
    staff->Next();
    EXPECT_THROW(staff->Locate("CodFuncionario", "abc", 0), rtl::Exception);
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(Name(*staff), "FIRST IN INDEX");
    staff->Next();
    EXPECT_EQ(Name(*staff), "PREFIX");
}

TEST_F(LocateTest, OnFilterRecordIsConsultedByTheExpressionSearch) {
    REQUIRE_FILTERS();
    REQUIRE_INDEXES();
    CreateIndex(kStaff, "SENHA_DESC", "Senha", VE_INDEX_DESCENDING);
    auto staff = OpenStaff();
    staff->SetOnFilterRecord([](db::TDataSet& dataSet, bool& accept) {
        accept = dataSet.FieldByName("CodFuncionario").AsInteger() != 5;
    });
    staff->SetFiltered(true);
    staff->First();
    EXPECT_EQ(Name(*staff), "FIRST IN INDEX") << "the event hides record 1";
    staff->Last();
    EXPECT_TRUE(staff->Locate("Senha", "X", db::loPartialKey));
    EXPECT_EQ(Name(*staff), "FIRST IN INDEX") << "the table's order past what the event hides";
    EXPECT_FALSE(staff->Locate("CodFuncionario", 5, 0));
}

// Values of every kind become expression terms in the program's date format, which the
// engine is told to use too (as the engine-settings component does).
class LocateValueKindTest : public LocateTest {
  protected:
    void SetUp() override {
        LocateTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        UNSIGNED8 format[16] = {};
        UNSIGNED16 length = sizeof format - 1;
        ace::AdsGetDateFormat(format, &length);
        FEngineDateFormat.assign(reinterpret_cast<const char*>(format), length);
        ASSERT_EQ(ace::AdsSetDateFormat(EngineText("DD/MM/CCYY")), 0u);
        const ADSHANDLE table =
            CreateTable("Valores.adt",
                        "Nome,Char,10;Dia,Date;Quando,TimeStamp;Hora,Time;Valor,Numeric,10,2;"
                        "Preco,Double,2;Sim,Logical;Conta,Integer");
        AppendRow(table, {{"Nome", "ONE"},
                          {"Dia", "01/02/2026"},
                          {"Quando", "01/02/2026 08:30:00"},
                          {"Hora", "08:30:00"},
                          {"Valor", "12.50"},
                          {"Preco", "3.25"},
                          {"Sim", "T"},
                          {"Conta", "7"}});
        AppendRow(table, {{"Nome", "TWO"},
                          {"Dia", "02/01/2026"},
                          {"Quando", "02/01/2026 09:45:30"},
                          {"Hora", "09:45:30"},
                          {"Valor", "-1.00"},
                          {"Preco", "0.5"},
                          {"Sim", "F"},
                          {"Conta", "8"}});
        ace::AdsCloseTable(table);
    }
    void TearDown() override {
        if (!FEngineDateFormat.empty()) {
            ace::AdsSetDateFormat(EngineText(FEngineDateFormat));
        }
    }

    std::string FEngineDateFormat;
};

TEST_F(LocateValueKindTest, EveryKindOfValueIsFound) {
    REQUIRE_FILTERS();
    auto table = Table("Valores.adt");
    table->Open();
    const std::vector<std::pair<std::string, rtl::Variant>> searches = {
        {"Dia", rtl::Variant::FromDateTime(rtl::EncodeDate(2026, 1, 2))},
        {"Quando",
         rtl::Variant::FromDateTime(rtl::EncodeDate(2026, 1, 2) + rtl::EncodeTime(9, 45, 30, 0))},
        {"Hora", rtl::Variant::FromDateTime(rtl::EncodeTime(9, 45, 30, 0))},
        {"Valor", -1.0},
        {"Preco", 0.5},
        {"Sim", false},
        {"Conta", 8}};
    for (const auto& [field, value] : searches) {
        table->First();
        EXPECT_TRUE(table->Locate(field, value, 0)) << field;
        EXPECT_EQ(table->FieldByName("Nome").AsString(), "TWO") << field;
    }
}

TEST_F(LocateTest, AnExceptionInOnFilterRecordGoesToTheApplicationsHandler) {
    REQUIRE_FILTERS();
    auto staff = OpenStaff();
    // Filtered first: setting it goes to the first record, which would already ask the event.
    staff->SetFiltered(true);
    staff->SetOnFilterRecord([](db::TDataSet&, bool& accept) {
        accept = true;
        throw rtl::Exception("the event failed");
    });
    EXPECT_EQ(Message([&] { staff->Locate("Senha", "XY", 0); }), "the event failed");
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(Name(*staff), "FIRST IN TABLE");

    std::vector<std::string> reported;
    db::SetApplicationExceptionHandler([&](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            reported.push_back(e.what());
        }
    });
    const bool found = staff->Locate("Senha", "XY", 0);
    db::SetApplicationExceptionHandler(nullptr);
    EXPECT_TRUE(found) << "the record keeps the verdict it had";
    EXPECT_EQ(Name(*staff), "PREFIX");
    EXPECT_FALSE(reported.empty());
    EXPECT_EQ(reported.front(), "the event failed");
}

// --- Lookup ------------------------------------------------------------------------------------

TEST_F(LocateTest, LookupReturnsValuesWithoutMoving) {
    REQUIRE_FILTERS();
    auto staff = OpenStaff();
    staff->Next();
    EXPECT_EQ(staff->Lookup("Senha", "1234", "NomeFuncionario").AsString(), "MARIA DA SILVA");
    const rtl::Variant both = staff->Lookup("Senha", "XY", "CodFuncionario;NomeFuncionario");
    ASSERT_EQ(both.VarType(), rtl::varArray);
    EXPECT_EQ(both.AsArray().at(0).AsInteger(), 3);
    EXPECT_EQ(both.AsArray().at(1).AsString(), "PREFIX");
    EXPECT_TRUE(staff->Lookup("Senha", "NOBODY", "NomeFuncionario").IsNull());
    EXPECT_EQ(Name(*staff), "FIRST IN INDEX");
    staff->Next();
    EXPECT_EQ(Name(*staff), "PREFIX") << "the next move starts from the record shown";
}

TEST_F(LocateTest, LookupWithANullKeyAsksNothing) {
    auto staff = OpenStaff();
    EXPECT_TRUE(staff->Lookup("Nope", rtl::Variant::Null(), "Nope").IsNull());
}

}  // namespace
}  // namespace varelum::ads
