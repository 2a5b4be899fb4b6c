// Data sources and data links told of each change of their dataset: activity, state and
// editing, record and field changes, scrolling, check-browse-mode and update-data notices,
// disabled controls, and the master link of a detail dataset.
#include <gtest/gtest.h>

#include <algorithm>

#include "db/mem_table.h"
#include "db/scripted_dataset.h"

namespace varelum::db {
namespace {

using testing::TRecordingLink;
using testing::TScriptedDataSet;
using Log = std::vector<std::string>;

Log LinkEntries(const Log& log) {
    Log out;
    std::copy_if(log.begin(), log.end(), std::back_inserter(out), [](const std::string& e) {
        return e.rfind("link:", 0) == 0 || e.rfind("src:", 0) == 0;
    });
    return out;
}

class DataLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ds.AddRows(5);
        source.SetDataSet(&ds);
        source.OnDataChange = [this](TDataSource&, TField* field) {
            log.push_back("src:DataChange(" + (field ? field->FieldName() : std::string()) + ")");
        };
        source.OnStateChange = [this](TDataSource& s) {
            log.push_back("src:State(" + std::to_string(s.State()) + ")");
        };
        link.SetDataSource(&source);
    }
    Log log;
    TScriptedDataSet ds{log};
    TDataSource source;
    TRecordingLink link{log, 2};
};

TEST_F(DataLinkTest, OpenAndCloseAreAnnounced) {
    ds.Open();
    EXPECT_TRUE(link.Active());
    EXPECT_EQ(LinkEntries(log),
              (Log{"link:Active", "src:State(1)", "link:DataSetChanged", "src:DataChange()"}));
    EXPECT_EQ(ds.Filled(), 2);  // the window follows the link's wish
    log.clear();
    ds.Close();
    EXPECT_FALSE(link.Active());
    EXPECT_EQ(LinkEntries(log), (Log{"link:Inactive", "src:State(0)"}));
}

TEST_F(DataLinkTest, EditingFieldChangesAndPostAreAnnounced) {
    ds.Open();
    log.clear();
    ds.Edit();
    EXPECT_EQ(LinkEntries(log), (Log{"link:CheckBrowseMode", "link:Editing", "src:State(2)",
                                     "link:RecordChanged()", "src:DataChange()"}));
    log.clear();
    ds.FieldByName("NAME").SetAsString("x");
    EXPECT_EQ(LinkEntries(log), (Log{"link:RecordChanged(NAME)", "src:DataChange(NAME)"}));
    log.clear();
    ds.Post();
    EXPECT_EQ(LinkEntries(log), (Log{"link:UpdateData", "link:CheckBrowseMode", "link:NotEditing",
                                     "src:State(1)", "link:DataSetChanged", "src:DataChange()"}));
    EXPECT_FALSE(link.Editing());
}

TEST_F(DataLinkTest, ScrollingInsideAndPastTheLinksRows) {
    ds.Open();
    log.clear();
    ds.Next();  // inside the two rows
    EXPECT_EQ(LinkEntries(log),
              (Log{"link:CheckBrowseMode", "link:Scrolled(0)", "src:DataChange()"}));
    EXPECT_EQ(link.ActiveRecord(), 1);
    log.clear();
    ds.Next();  // the window shifts by one
    EXPECT_EQ(LinkEntries(log),
              (Log{"link:CheckBrowseMode", "link:Scrolled(1)", "src:DataChange()"}));
    EXPECT_EQ(link.ActiveRecord(), 1);
    EXPECT_EQ(link.RecordCount(), 2);
    link.SetActiveRecord(0);
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 2);
}

TEST_F(DataLinkTest, ALinkWithFewerRowsThanTheWindowFollowsTheActiveRecord) {
    TRecordingLink wide(log, 4);
    wide.SetDataSource(&source);
    ds.Open();
    EXPECT_EQ(ds.Window(), 4);
    ds.MoveBy(3);
    EXPECT_EQ(wide.ActiveRecord(), 3);
    EXPECT_EQ(link.ActiveRecord(), 1);  // its two rows are the window's last two
    ds.MoveBy(-3);
    EXPECT_EQ(link.ActiveRecord(), 0);
    wide.SetDataSource(nullptr);
    EXPECT_EQ(ds.Window(), 2);
}

TEST_F(DataLinkTest, DisabledControlsHearOneChangeAtTheEnd) {
    ds.Open();
    log.clear();
    ds.DisableControls();
    ds.Next();
    ds.Next();
    ds.Edit();
    ds.FieldByName("NAME").SetAsString("y");
    ds.Post();
    EXPECT_TRUE(LinkEntries(log).empty());
    ds.EnableControls();
    EXPECT_EQ(LinkEntries(log), (Log{"link:DataSetChanged", "src:DataChange()"}));
}

TEST_F(DataLinkTest, ADisabledDataSourcePassesNothing) {
    ds.Open();
    source.SetEnabled(false);
    EXPECT_FALSE(link.Active());
    log.clear();
    ds.Next();
    EXPECT_TRUE(LinkEntries(log).empty());
    source.SetEnabled(true);
    EXPECT_TRUE(link.Active());
}

TEST_F(DataLinkTest, AutoEditThroughTheLink) {
    ds.Open();
    EXPECT_TRUE(link.Edit());
    EXPECT_EQ(ds.State(), dsEdit);
    ds.Cancel();
    source.SetAutoEdit(false);
    EXPECT_FALSE(link.Edit());
    EXPECT_EQ(ds.State(), dsBrowse);
}

TEST_F(DataLinkTest, DestroyingEitherSideUnlinks) {
    {
        TDataSource temporary;
        TRecordingLink other(log, 7);
        temporary.SetDataSet(&ds);
        other.SetDataSource(&temporary);
        ds.Open();
        EXPECT_EQ(ds.Window(), 7);
    }
    EXPECT_EQ(ds.DataSources().size(), 1u);
    EXPECT_EQ(ds.Window(), 2);
    {
        TScriptedDataSet gone(log);
        gone.AddRows(1);
        TDataSource s;
        s.SetDataSet(&gone);
        link.SetDataSource(&s);
        gone.Open();
        EXPECT_TRUE(link.Active());
        link.SetDataSource(nullptr);
    }
    EXPECT_FALSE(link.Active());
}

TEST(MasterDataLinkTest, DetailHearsOfMasterMovesAndClose) {
    TMemTable master;
    master.FieldDefs().Add("code", ftInteger);
    master.CreateDataSet();
    for (int i = 1; i <= 3; ++i) {
        master.AppendRecord({rtl::Variant(i)});
    }
    TMemTable detail;
    detail.FieldDefs().Add("code", ftInteger);
    detail.CreateDataSet();

    TDataSource masterSource;
    masterSource.SetDataSet(&master);
    TMasterDataLink masterLink(&detail);
    std::vector<int> changes;
    int disables = 0;
    masterLink.OnMasterChange = [&] {
        changes.push_back(masterLink.Fields().front()->AsInteger());
    };
    masterLink.OnMasterDisable = [&] { ++disables; };
    masterLink.SetFieldNames("CODE");
    masterLink.SetDataSource(&masterSource);
    disables = 0;
    ASSERT_EQ(masterLink.Fields().size(), 1u);
    master.First();
    master.Next();
    EXPECT_EQ(changes, (std::vector<int>{3, 1, 2}));  // linked on the last; First; Next
    EXPECT_EQ(masterLink.DetailDataSet(), &detail);

    // A detail edit is posted before the master moves.
    detail.Append();
    detail.FieldByName("code").SetAsInteger(2);
    master.Next();
    EXPECT_EQ(detail.State(), dsBrowse);
    EXPECT_EQ(detail.RecordCount(), 1);

    master.Close();
    EXPECT_EQ(disables, 1);
    EXPECT_TRUE(masterLink.Fields().empty());
}

TEST(DataSourceTest, CircularMasterChainsAreDetected) {
    TMemTable a;
    TDataSource sourceOfA;
    sourceOfA.SetDataSet(&a);
    EXPECT_TRUE(a.IsLinkedTo(&sourceOfA));
    TMemTable b;
    TDataSource sourceOfB;
    sourceOfB.SetDataSet(&b);
    EXPECT_FALSE(a.IsLinkedTo(&sourceOfB));
    EXPECT_FALSE(a.IsLinkedTo(nullptr));
}

}  // namespace
}  // namespace varelum::db
