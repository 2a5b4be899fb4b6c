// Scopes and ranges of TAdsDataSet against the real engine: scopes on text, number and date
// indexes and their refusals, ranges with inclusive and exclusive bounds, their exclusion of
// each other, CancelRange, and RecordCount under filter, scope and range with each counting
// option.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/field.h"
#include "range_test_support.h"

namespace varelum::ads {
namespace {

using test::kItems;

class ScopeTest : public test::TRangeFixture {};

struct TScopeCase {
    const char* Index;
    const char* Begin;
    const char* End;
    const char* Expected;
};

TEST_F(ScopeTest, ScopesBoundTextNumberAndDateIndexes) {
    const TScopeCase cases[] = {
        {"NOME", "PA", "PO", "PARAFUSADEIRA,PARAFUSO,PORCA"},
        {"NOME", "PR", "", "PREGO"},
        {"NOME", "", "B", "ARRUELA"},
        {"QTDE", "7", "20", "PORCA,PARAFUSO,ARRUELA"},
        {"QTDE", "11", "", "ARRUELA,PREGO"},
        {"DIA", "20240201", "20240229", "PARAFUSADEIRA,PORCA"},
        {"DIA", "", "01/31/2024", "PARAFUSO,ARRUELA"},
    };
    for (const TScopeCase& c : cases) {
        auto items = OpenItems(c.Index);
        items->SetScopeBegin(c.Begin);
        items->SetScopeEnd(c.End);
        items->SetScoped(true);
        EXPECT_TRUE(items->Scoped());
        EXPECT_EQ(Names(*items), c.Expected) << c.Index << " " << c.Begin << ".." << c.End;
        items->SetScoped(false);
        EXPECT_EQ(Names(*items).size(), 42u) << "all five again";
    }
}

TEST_F(ScopeTest, AScopeSetOnAClosedDatasetIsAppliedWhenItOpens) {
    auto items = Table(kItems);
    items->SetIndexName("QTDE");
    items->SetScopeBegin("10");
    items->SetScoped(true);
    items->Open();
    EXPECT_EQ(Names(*items), "PARAFUSO,ARRUELA,PREGO");
    // New bounds wait until the scope is set again.
    items->SetScopeBegin("20");
    EXPECT_EQ(Names(*items), "PARAFUSO,ARRUELA,PREGO");
    items->SetScoped(false);
    items->SetScoped(true);
    EXPECT_EQ(Names(*items), "ARRUELA,PREGO");
}

TEST_F(ScopeTest, RemovingAScopeKeepsTheRecordShownAndSettingOneKeepsAVisibleRecord) {
    auto items = OpenItems("NOME");
    items->SetScopeBegin("PA");
    items->SetScopeEnd("PO");
    items->SetScoped(true);
    items->Last();
    EXPECT_EQ(Name(*items), "PORCA");
    items->SetScoped(false);
    EXPECT_EQ(Name(*items), "PORCA");
    items->Next();
    EXPECT_EQ(Name(*items), "PREGO") << "the window goes on past the old scope";

    items->Prior();
    items->SetScoped(true);
    EXPECT_EQ(Name(*items), "PORCA") << "a record inside the scope stays";
    items->SetScoped(false);
    items->First();
    items->SetScoped(true);
    EXPECT_EQ(Name(*items), "PARAFUSADEIRA") << "one outside gives way to the first";
}

TEST_F(ScopeTest, AScopeNeedsAnIndexAndNoRange) {
    auto items = OpenItems();
    items->SetScopeBegin("P");
    EXPECT_EQ(Message([&] { items->SetScoped(true); }),
              "TbItens: Cannot activate scope when there is no active index.");
    EXPECT_FALSE(items->Scoped());

    items->SetIndexName("NOME");
    items->SetRange({"B"}, {"PO"});
    EXPECT_EQ(ErrorCode([&] { items->SetScoped(true); }), 5121u);
    EXPECT_EQ(Message([&] { items->SetScoped(true); }),
              "TbItens: Cannot activate scope when there is an active range.");
    EXPECT_FALSE(items->Scoped());
    items->CancelRange();
    items->SetScoped(true);
    EXPECT_EQ(Message([&] { items->SetRange({"A"}, {"Z"}); }),
              "TbItens: Cannot set range on table when there is an active scope.");
    EXPECT_EQ(Names(*items), "PARAFUSADEIRA,PARAFUSO,PORCA,PREGO");
}

TEST_F(ScopeTest, ScopeTextsUpTo4083CharactersAreAccepted) {
    auto items = Table(kItems);
    items->SetScopeBegin(std::string(4083, 'A'));
    EXPECT_EQ(items->ScopeBegin().size(), 4083u);
    EXPECT_EQ(Message([&] { items->SetScopeBegin(std::string(4084, 'A')); }),
              "TbItens: Scope text length exceeded 4082");
    EXPECT_EQ(Message([&] { items->SetScopeEnd(std::string(4084, 'A')); }),
              "TbItens: Scope text length exceeded 4082");
    EXPECT_EQ(items->ScopeStart().size(), 4083u) << "the refused text is not stored";
}

// --- Ranges ------------------------------------------------------------------------------------

class RangeTest : public test::TRangeFixture {};

TEST_F(RangeTest, SetRangeShowsTheRecordsBetweenItsBounds) {
    auto items = OpenItems("QTDE");
    items->SetRange({7}, {20});
    EXPECT_EQ(Names(*items), "PORCA,PARAFUSO,ARRUELA");
    items->SetIndexName("NOME");
    EXPECT_EQ(Names(*items), "ARRUELA,PARAFUSADEIRA,PARAFUSO,PORCA,PREGO")
        << "a new index has no range";
    items->SetRange({"PARAFUSO"}, {"PREGO"});
    EXPECT_EQ(Names(*items), "PARAFUSO,PORCA,PREGO");
}

TEST_F(RangeTest, ExclusiveBoundsLeaveTheirKeysOutOnAnAdtTable) {
    auto items = OpenItems("QTDE");
    items->SetRangeStart();
    items->FieldByName("Qtde").SetAsInteger(7);
    items->SetKeyExclusive(true);
    items->SetRangeEnd();
    items->FieldByName("Qtde").SetAsInteger(20);
    items->ApplyRange();
    EXPECT_EQ(Names(*items), "PARAFUSO,ARRUELA") << "start excluded, end included";

    items->EditRangeEnd();
    items->SetKeyExclusive(true);
    items->ApplyRange();
    EXPECT_EQ(Names(*items), "PARAFUSO");

    items->SetIndexName("NOME");
    items->SetRangeStart();
    items->FieldByName("Nome").SetAsString("PARAFUSADEIRA");
    items->SetKeyExclusive(true);
    items->SetRangeEnd();
    items->FieldByName("Nome").SetAsString("PREGO");
    items->SetKeyExclusive(true);
    items->ApplyRange();
    EXPECT_EQ(Names(*items), "PARAFUSO,PORCA");
}

TEST_F(RangeTest, AnUnchangedRangeIsNotAppliedAgain) {
    auto items = OpenItems("NOME");
    items->SetRange({"B"}, {"PORCA"});
    items->Next();
    EXPECT_EQ(Name(*items), "PARAFUSO");
    items->ApplyRange();
    EXPECT_EQ(Name(*items), "PARAFUSO") << "no change: the dataset stays where it is";
    items->SetRange({"B"}, {"PORCA"});
    EXPECT_EQ(Name(*items), "PARAFUSO");
    items->SetRange({"B"}, {"PO"});
    EXPECT_EQ(Name(*items), "PARAFUSADEIRA") << "a changed range goes to its first record";
}

TEST_F(RangeTest, CancelRangeKeepsTheRecordAndTheBoundsForApplyRange) {
    auto items = OpenItems("NOME");
    items->CancelRange();
    EXPECT_EQ(Name(*items), "ARRUELA") << "nothing to cancel";

    items->SetRange({"PARAFUSO"}, {"PORCA"});
    items->Last();
    items->CancelRange();
    EXPECT_EQ(Name(*items), "PORCA");
    EXPECT_EQ(Names(*items), "ARRUELA,PARAFUSADEIRA,PARAFUSO,PORCA,PREGO");
    items->ApplyRange();
    EXPECT_EQ(Names(*items), "PARAFUSO,PORCA") << "the bounds were kept";

    items->CancelRange();
    items->SetRange({}, {"B"});
    EXPECT_EQ(Names(*items), "ARRUELA") << "a range without a start has none";
}

TEST_F(RangeTest, CancelRangeRereadsTheWindowOnlyWhenThereWasARange) {
    auto items = OpenItems("NOME");
    // Another user changes the first record's quantity; the window still holds the old one.
    auto changeFirstQuantity = [&](const char* quantity) {
        const ADSHANDLE other = OpenOnOtherConnection(kItems);
        ASSERT_EQ(ace::AdsGotoRecord(other, 4), 0u);
        ASSERT_EQ(ace::AdsLockRecord(other, 4), 0u);
        ASSERT_EQ(ace::AdsSetField(other, test::EngineText("Qtde"), test::EngineText(quantity),
                                   static_cast<UNSIGNED32>(std::string(quantity).size())),
                  0u);
        ASSERT_EQ(ace::AdsWriteRecord(other), 0u);
        ace::AdsCloseTable(other);
    };
    ASSERT_EQ(Name(*items), "ARRUELA");
    changeFirstQuantity("21");
    items->CancelRange();
    EXPECT_EQ(items->FieldByName("Qtde").AsInteger(), 20) << "no range: nothing re-read";

    items->SetRange({"A"}, {"B"});
    changeFirstQuantity("22");
    items->CancelRange();
    EXPECT_EQ(Name(*items), "ARRUELA");
    EXPECT_EQ(items->FieldByName("Qtde").AsInteger(), 22) << "a range removed: the window re-read";
}

TEST_F(RangeTest, ARangeEditIsEndedByCancelWithoutChangingTheRange) {
    auto items = OpenItems("NOME");
    items->SetRange({"P"}, {"PP"});
    items->EditRangeStart();
    EXPECT_EQ(items->State(), db::dsSetKey);
    items->FieldByName("Nome").SetAsString("A");
    items->Cancel();
    EXPECT_EQ(items->State(), db::dsBrowse);
    items->ApplyRange();
    EXPECT_EQ(Names(*items), "PARAFUSADEIRA,PARAFUSO,PORCA");
}

// --- RecordCount ---------------------------------------------------------------------------

struct TCountCase {
    TAdsFilterOptions Filters;
    TAdsScopeOptions Scopes;
    int Filtered;
    int Scoped;
    int Ranged;
};

TEST_F(RangeTest, RecordCountUnderFilterScopeAndRangeFollowsTheCountingOptions) {
    const TCountCase cases[] = {
        {IGNORE_WHEN_COUNTING, IGNORE_SCOPES_WHEN_COUNTING, 5, 5, 5},
        {RESPECT_WHEN_COUNTING, IGNORE_SCOPES_WHEN_COUNTING, 2, 3, 2},
        {IGNORE_WHEN_COUNTING, RESPECT_SCOPES_WHEN_COUNTING, 5, 3, 2},
        {RESPECT_WHEN_COUNTING, RESPECT_SCOPES_WHEN_COUNTING, 2, 3, 2},
    };
    for (const TCountCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Filters) + "/" + std::to_string(c.Scopes));
        auto items = OpenItems("NOME");
        items->AdsTableOptions().SetAdsFilterOptions(c.Filters);
        items->AdsTableOptions().SetAdsScopeOptions(c.Scopes);
        items->SetFilter("Qtde >= 20");
        items->SetFiltered(true);
        EXPECT_EQ(items->RecordCount(), c.Filtered) << "filter";
        items->SetFiltered(false);

        items->SetScopeBegin("PA");
        items->SetScopeEnd("PO");
        items->SetScoped(true);
        EXPECT_EQ(items->RecordCount(), c.Scoped) << "scope";
        items->SetScoped(false);

        items->SetRange({"PARAFUSO"}, {"PORCA"});
        EXPECT_EQ(items->RecordCount(), c.Ranged) << "range";
        items->AdsTableOptions().SetAdsFreshRecordCount(true);
        EXPECT_EQ(items->RecordCount(), c.Ranged) << "range, fresh count";
    }
}

}  // namespace
}  // namespace varelum::ads
