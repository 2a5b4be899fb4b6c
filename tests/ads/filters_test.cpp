// Filters of TAdsDataSet against the real engine: the filter text's prefix literals, optimised
// and plain filters and the switch between them, Filtered on a closed dataset, the put-back of
// a refused filter, and FindFirst..FindPrior on filtered and unfiltered datasets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ads/adsdata_filters.h"
#include "db/field.h"
#include "range_test_support.h"

namespace varelum::ads {
namespace {

using test::kItems;

// --- The filter text ------------------------------------------------------------------------

struct TLiteralCase {
    const char* Text;
    const char* Expected;
    bool Exact;
};

TEST(FilterText, LiteralsEndingInAnAsteriskBecomePrefixesOutsideContains) {
    const TLiteralCase cases[] = {
        {"Name = 'abc*'", "Name = 'abc'", false},
        {"Name = \"abc*\"", "Name = \"abc\"", false},
        {"Name = 'a*c'", "Name = 'a*c'", true},
        {"Name = '*'", "Name = '*'", true},
        {"Name = '***'", "Name = '***'", true},
        {"Name = '**x*'", "Name = '**x'", false},
        {"CONTAINS(Notes, 'abc*')", "CONTAINS(Notes, 'abc*')", true},
        {"contains  (Notes, 'a(b*') AND Name = 'x*'", "contains  (Notes, 'a(b*') AND Name = 'x'",
         false},
        {"Name = 'it\"s*' OR Code = \"o'k*\"", "Name = 'it\"s' OR Code = \"o'k\"", false},
        {"Name = 'abc*' AND Code = 'd*'", "Name = 'abc' AND Code = 'd'", false},
        {"Qty * 2 > 4", "Qty * 2 > 4", true},
        // An unclosed call is scanned as ordinary text.
        {"CONTAINS(Notes, 'a*'", "CONTAINS(Notes, 'a'", false},
    };
    for (const TLiteralCase& c : cases) {
        std::string text = c.Text;
        EXPECT_EQ(RemovePrefixAsterisks(text), c.Exact) << c.Text;
        EXPECT_EQ(text, c.Expected) << c.Text;
    }
}

TEST(FilterText, SkipParenthesizedFindsTheClosingParenthesis) {
    const std::string text = "(a, (b), ')', \"(\", [x)]) tail";
    EXPECT_EQ(SkipParenthesized(text, 0, text.size()), text.find(" tail") - 1);
    EXPECT_EQ(SkipParenthesized(text, 1, text.size()), 1u) << "not at a parenthesis";
    EXPECT_EQ(SkipParenthesized(text, 0, 10), 0u) << "the end comes first";
    const std::string open = "(a, 'b)";
    EXPECT_EQ(SkipParenthesized(open, 0, open.size()), 0u) << "a quote left open";
}

// --- Filters on the engine ------------------------------------------------------------------

class FilterTest : public test::TRangeFixture {};

TEST_F(FilterTest, ATrailingAsteriskFindsAPrefixAndContainsKeepsItsOwn) {
    auto items = OpenItems();
    items->SetFilter("Nome = 'PARAF*'");
    items->SetFiltered(true);
    EXPECT_EQ(Names(*items), "PARAFUSO,PARAFUSADEIRA");
    UNSIGNED16 exact = 1;
    ASSERT_EQ(ace::AdsGetExact22(items->Handle(), &exact), 0u);
    EXPECT_EQ(exact, 0) << "a prefix literal compares inexactly";

    items->SetFilter("Nome = 'PARAF'");
    EXPECT_EQ(Names(*items), "") << "without the asterisk the whole value must match";

    items->SetFilter("CONTAINS(Notas, 'inox*')");
    EXPECT_EQ(Names(*items), "PARAFUSO,PORCA");
    items->SetFilter("Nome = '*'");
    EXPECT_EQ(Names(*items), "") << "a literal of asterisks only is sent as it stands";
}

TEST_F(FilterTest, OptimisedAndPlainFiltersShowTheSameRecordsAndSwitchWhileOpen) {
    const std::string filter = "Qtde >= 7 AND Nome <> 'PREGO'";
    auto optimised = OpenItems("QTDE");
    optimised->SetFilter(filter);
    optimised->SetFiltered(true);
    auto plain = OpenItems("QTDE");
    plain->AdsTableOptions().SetAdsOptimizedFilters(false);
    plain->SetFilter(filter);
    plain->SetFiltered(true);
    EXPECT_EQ(Names(*optimised), "PORCA,PARAFUSO,ARRUELA");
    EXPECT_EQ(Names(*plain), Names(*optimised));
    EXPECT_TRUE(HasAof(*optimised));
    EXPECT_FALSE(HasPlainFilter(*optimised));
    EXPECT_FALSE(HasAof(*plain));
    EXPECT_TRUE(HasPlainFilter(*plain));

    optimised->First();
    optimised->Next();
    optimised->AdsTableOptions().SetAdsOptimizedFilters(false);
    EXPECT_FALSE(HasAof(*optimised));
    EXPECT_TRUE(HasPlainFilter(*optimised));
    EXPECT_EQ(optimised->FieldByName("Nome").AsString(), "PORCA") << "back on the first record";
    EXPECT_EQ(Names(*optimised), "PORCA,PARAFUSO,ARRUELA");
    optimised->AdsTableOptions().SetAdsOptimizedFilters(true);
    EXPECT_TRUE(HasAof(*optimised));
    EXPECT_FALSE(HasPlainFilter(*optimised));
    EXPECT_EQ(Names(*optimised), "PORCA,PARAFUSO,ARRUELA");

    optimised->SetFiltered(false);
    EXPECT_FALSE(HasAof(*optimised));
    EXPECT_EQ(Names(*optimised), "PARAFUSADEIRA,PORCA,PARAFUSO,ARRUELA,PREGO");
}

TEST_F(FilterTest, APrefixLiteralOutsideAsciiFindsItsRecords) {
    auto items = OpenItems();
    items->Append();
    items->FieldByName("Codigo").SetAsInteger(6);
    items->FieldByName("Nome").SetAsString("AÇÚCAR CRISTAL");
    items->Post();
    for (const bool optimised : {true, false}) {
        items->AdsTableOptions().SetAdsOptimizedFilters(optimised);
        items->SetFilter("Nome = 'AÇÚ*'");
        items->SetFiltered(true);
        EXPECT_EQ(Names(*items), "AÇÚCAR CRISTAL") << (optimised ? "optimised" : "plain");
        items->SetFiltered(false);
    }
}

TEST_F(FilterTest, SwitchingTheFilterKindWithoutAFilterOnlyStoresIt) {
    auto items = OpenItems();
    items->SetFilter("Qtde > 10");
    items->AdsTableOptions().SetAdsOptimizedFilters(false);
    EXPECT_FALSE(HasAof(*items));
    EXPECT_FALSE(HasPlainFilter(*items));
    items->SetFiltered(true);
    EXPECT_TRUE(HasPlainFilter(*items));
    EXPECT_FALSE(HasAof(*items));
}

TEST_F(FilterTest, AFilterSetOnAClosedDatasetIsAppliedWhenItOpens) {
    auto items = Table(kItems);
    items->SetFilter("Nome = 'P*'");
    items->SetFiltered(true);
    EXPECT_EQ(items->Handle(), kNoAdsHandle);
    items->Open();
    EXPECT_TRUE(HasAof(*items));
    EXPECT_EQ(Names(*items), "PARAFUSO,PARAFUSADEIRA,PREGO,PORCA");
    items->Close();
    EXPECT_TRUE(items->Filtered()) << "the flag survives close";
    items->AdsTableOptions().SetAdsOptimizedFilters(false);
    items->Open();
    EXPECT_TRUE(HasPlainFilter(*items));
    EXPECT_EQ(Names(*items), "PARAFUSO,PARAFUSADEIRA,PREGO,PORCA");
}

TEST_F(FilterTest, AFilterTheEngineRefusesLeavesTheDatasetAsItWas) {
    auto items = OpenItems();
    items->SetFilter("Nome = ");
    EXPECT_NE(ErrorCode([&] { items->SetFiltered(true); }), 0u);
    EXPECT_FALSE(items->Filtered());
    EXPECT_EQ(Names(*items), "PARAFUSO,PARAFUSADEIRA,PREGO,ARRUELA,PORCA");

    items->SetFilter("Qtde > 10");
    items->SetFiltered(true);
    EXPECT_NE(ErrorCode([&] { items->SetFilter("Qtde >"); }), 0u);
    EXPECT_EQ(items->Filter(), "Qtde > 10") << "the previous text stays";
    EXPECT_TRUE(items->Filtered());
    EXPECT_EQ(Names(*items), "PREGO,ARRUELA");
}

// --- FindFirst .. FindPrior --------------------------------------------------------------------

TEST_F(FilterTest, FindCallsSearchWithTheFilterTextAndLeaveNoFilterBehind) {
    auto items = OpenItems("NOME");
    items->SetFilter("Qtde < 20");
    ASSERT_FALSE(items->Filtered());
    EXPECT_TRUE(items->FindFirst());
    EXPECT_EQ(Name(*items), "PARAFUSADEIRA");
    EXPECT_FALSE(HasAof(*items)) << "the search's filter is gone";
    EXPECT_TRUE(items->FindNext());
    EXPECT_EQ(Name(*items), "PARAFUSO");
    EXPECT_TRUE(items->FindNext());
    EXPECT_EQ(Name(*items), "PORCA");
    EXPECT_FALSE(items->FindNext());
    EXPECT_FALSE(items->Found());
    EXPECT_EQ(Name(*items), "PORCA") << "no match leaves the record";
    EXPECT_TRUE(items->FindLast());
    EXPECT_EQ(Name(*items), "PORCA");
    EXPECT_TRUE(items->FindPrior());
    EXPECT_EQ(Name(*items), "PARAFUSO");
    EXPECT_FALSE(HasAof(*items));
    EXPECT_EQ(Names(*items), "ARRUELA,PARAFUSADEIRA,PARAFUSO,PORCA,PREGO") << "nothing hidden";

    items->SetFilter("");
    EXPECT_TRUE(items->FindLast()) << "an empty text finds any record";
    EXPECT_EQ(Name(*items), "PREGO");
}

TEST_F(FilterTest, FindCallsOnAFilteredDatasetAskOnFilterRecordToo) {
    auto items = OpenItems("NOME");
    items->SetFilter("Nome = 'P*'");
    items->SetFiltered(true);
    items->SetOnFilterRecord([](db::TDataSet& dataSet, bool& accept) {
        accept = dataSet.FieldByName("Qtde").AsInteger() != 3;
    });
    EXPECT_TRUE(items->FindFirst());
    EXPECT_EQ(Name(*items), "PARAFUSO");
    EXPECT_TRUE(items->FindNext());
    EXPECT_EQ(Name(*items), "PORCA");
    EXPECT_TRUE(HasAof(*items)) << "the dataset's own filter stays";
}

}  // namespace
}  // namespace varelum::ads
