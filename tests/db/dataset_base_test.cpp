// The dataset base through a scripted dataset: the order of hook calls and events of open,
// close, navigation and editing, the buffer window at sizes around the data's, BOF/EOF,
// bookmarks, failing hooks and the error events' retry loops.
#include <gtest/gtest.h>

#include <algorithm>

#include "db/scripted_dataset.h"
#include "rtl/exception.h"

namespace varelum::db {
namespace {

using testing::TRecordingLink;
using testing::TScriptedDataSet;
using Log = std::vector<std::string>;

// Only the entries of the log that are in `keep`, so that an order can be checked without
// the many fetches and buffer allocations around it.
Log Only(const Log& log, std::initializer_list<const char*> keep) {
    Log out;
    for (const std::string& entry : log) {
        for (const char* name : keep) {
            if (entry == name) {
                out.push_back(entry);
            }
        }
    }
    return out;
}

template <class F>
std::string MessageOf(F&& action) {
    try {
        action();
    } catch (const rtl::Exception& error) {
        return error.Message();
    }
    return "(no error)";
}

class DataSetBaseTest : public ::testing::Test {
  protected:
    Log log;
    TScriptedDataSet ds{log};
    TDataSource source;

    // Opens with a window of `window` rows (a data link asking for them).
    void OpenWith(int rows, int window, std::unique_ptr<TRecordingLink>& link) {
        ds.AddRows(rows);
        source.SetDataSet(&ds);
        link = std::make_unique<TRecordingLink>(linkLog, window);
        link->SetDataSource(&source);
        ds.Open();
        log.clear();
        linkLog.clear();
    }
    std::vector<int> WindowIds() const {
        std::vector<int> ids;
        for (int i = 0; i < ds.Filled(); ++i) {
            ids.push_back(ds.IdAt(i));
        }
        return ids;
    }
    Log linkLog;
};

// --- Open and close ------------------------------------------------------------------------------

TEST_F(DataSetBaseTest, OpenRunsItsStepsInOrder) {
    ds.AddRows(3);
    ds.LogFetches = true;
    ds.Open();
    Log expected = {"BeforeOpen",           "ActivateCursor",    "AllocateRecordBuffer",
                    "AllocateRecordBuffer", "FetchRecord(next)", "AfterOpen",
                    "AfterScroll"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_TRUE(ds.Active());
    EXPECT_TRUE(ds.Bof());
    EXPECT_FALSE(ds.Eof());
    EXPECT_EQ(ds.FieldByName("id").AsInteger(), 1);
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "row1");
}

TEST_F(DataSetBaseTest, OpenOfAnEmptySourceHasNoScrollAndBothEnds) {
    ds.Open();
    EXPECT_EQ(Only(log, {"AfterOpen", "AfterScroll"}), Log{"AfterOpen"});
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_TRUE(ds.Bof());
    EXPECT_TRUE(ds.Eof());
    EXPECT_TRUE(ds.FieldByName("ID").IsNull());
}

TEST_F(DataSetBaseTest, FailingActivateCursorLeavesTheDataSetClosed) {
    ds.AddRows(3);
    ds.Failures["ActivateCursor"] = 1;
    EXPECT_EQ(MessageOf([&] { ds.Open(); }), "ActivateCursor failed");
    EXPECT_EQ(log, (Log{"BeforeOpen", "ActivateCursor", "CloseEngineCursor"}));
    EXPECT_EQ(ds.State(), dsInactive);
    EXPECT_FALSE(ds.Active());
    // The next attempt opens normally.
    ds.Open();
    EXPECT_TRUE(ds.Active());
}

TEST_F(DataSetBaseTest, FailureWhileFillingTheWindowReleasesEveryBuffer) {
    ds.AddRows(3);
    ds.Failures["FetchRecord"] = 1;
    EXPECT_EQ(MessageOf([&] { ds.Open(); }), "FetchRecord failed");
    EXPECT_EQ(ds.State(), dsInactive);
    EXPECT_EQ(ds.LiveBuffers, 0);
    EXPECT_EQ(log.back(), "CloseEngineCursor");
}

TEST_F(DataSetBaseTest, CloseReleasesBuffersBeforeTheCursor) {
    ds.AddRows(3);
    ds.Open();
    log.clear();
    ds.Close();
    EXPECT_EQ(log, (Log{"BeforeClose", "ReleaseRecordBuffer", "ReleaseRecordBuffer",
                        "CloseEngineCursor", "AfterClose"}));
    EXPECT_EQ(ds.LiveBuffers, 0);
    EXPECT_EQ(MessageOf([&] { ds.Next(); }), "Cannot perform this operation on a closed dataset");
    EXPECT_EQ(ds.Fields().Count(), 0);  // default fields go with the cursor
}

TEST_F(DataSetBaseTest, PersistentFieldsStayAcrossCloseAndMustExistInTheSource) {
    ds.Fields().Add<TStringField>("NAME", 10);
    ds.AddRows(2);
    ds.Open();
    EXPECT_EQ(ds.Fields().Count(), 1);
    EXPECT_EQ(ds.FindField("ID"), nullptr);
    ds.Close();
    EXPECT_EQ(ds.Fields().Count(), 1);
    ds.Fields().Add<TIntegerField>("MISSING");
    EXPECT_EQ(MessageOf([&] { ds.Open(); }), "Field 'MISSING' not found");
    EXPECT_FALSE(ds.Active());
}

// --- The window ----------------------------------------------------------------------------------

TEST_F(DataSetBaseTest, WindowLargerThanTheData) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(3, 5, link);
    EXPECT_EQ(ds.Window(), 5);
    EXPECT_EQ(ds.Filled(), 3);
    EXPECT_EQ(WindowIds(), (std::vector<int>{1, 2, 3}));
    ds.Next();
    ds.Next();
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);
    EXPECT_FALSE(ds.Eof());
    ds.Next();
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);
    ds.Last();
    EXPECT_EQ(link->ActiveRecord(), 2);
    ds.First();
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 1);
}

TEST_F(DataSetBaseTest, WindowSmallerThanTheDataScrollsBothWays) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(10, 3, link);
    EXPECT_EQ(WindowIds(), (std::vector<int>{1, 2, 3}));
    std::vector<int> seen;
    while (!ds.Eof()) {
        seen.push_back(ds.FieldByName("ID").AsInteger());
        EXPECT_GE(link->ActiveRecord(), 0);
        EXPECT_LT(link->ActiveRecord(), 3);
        ds.Next();
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(WindowIds(), (std::vector<int>{8, 9, 10}));
    seen.clear();
    while (!ds.Bof()) {
        seen.push_back(ds.FieldByName("ID").AsInteger());
        ds.Prior();
    }
    EXPECT_EQ(seen, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(WindowIds(), (std::vector<int>{1, 2, 3}));
    // The link heard each shift of the window: seven down, seven up.
    int down = static_cast<int>(std::count(linkLog.begin(), linkLog.end(), "link:Scrolled(1)"));
    int up = static_cast<int>(std::count(linkLog.begin(), linkLog.end(), "link:Scrolled(-1)"));
    EXPECT_EQ(down, 7);
    EXPECT_EQ(up, 7);
}

TEST_F(DataSetBaseTest, MoveByCountsTheRowsItMoved) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(6, 2, link);
    EXPECT_EQ(ds.MoveBy(4), 4);
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 5);
    EXPECT_EQ(ds.MoveBy(5), 1);
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.MoveBy(-10), -5);
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 1);
}

TEST_F(DataSetBaseTest, LastFillsTheWindowUpwards) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(10, 4, link);
    ds.LogFetches = true;
    ds.Last();
    EXPECT_EQ(Only(log, {"BeforeScroll", "MoveToLast", "AfterScroll"}),
              (Log{"BeforeScroll", "MoveToLast", "AfterScroll"}));
    EXPECT_EQ(WindowIds(), (std::vector<int>{7, 8, 9, 10}));
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 10);
    EXPECT_TRUE(ds.Eof());
    EXPECT_FALSE(ds.Bof());
}

TEST_F(DataSetBaseTest, GrowingAndShrinkingTheWindowKeepsTheActiveRecord) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(10, 2, link);
    ds.MoveBy(5);  // on 6
    link->SetBufferCount(5);
    EXPECT_EQ(ds.Window(), 5);
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 6);
    EXPECT_EQ(ds.Filled(), 5);
    link->SetBufferCount(1);
    EXPECT_EQ(ds.Window(), 1);
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 6);
    ds.Next();
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 7);
    EXPECT_EQ(ds.LiveBuffers, 2);
}

TEST_F(DataSetBaseTest, RelayoutReallocatesTheWholeWindowAroundTheRecord) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(10, 3, link);
    ds.MoveBy(4);  // on 5
    ds.Relayout();
    Log expected(4, "ReleaseRecordBuffer");
    expected.push_back("relayout");
    expected.insert(expected.end(), 4, "AllocateRecordBuffer");
    EXPECT_EQ(Only(log, {"ReleaseRecordBuffer", "relayout", "AllocateRecordBuffer"}), expected);
    EXPECT_EQ(ds.LiveBuffers, 4);
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 5);
    EXPECT_EQ(ds.Filled(), 3);
}

TEST_F(DataSetBaseTest, ResyncCentresOrFailsWhenExact) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(10, 5, link);
    ds.Cursor = 6;  // the cursor moved underneath (row 7)
    ds.Resync(rmExact | rmCenter);
    EXPECT_EQ(WindowIds(), (std::vector<int>{5, 6, 7, 8, 9}));
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 7);
    ds.Cursor = 10;  // past the end: no record there
    EXPECT_EQ(MessageOf([&] { ds.Resync(rmExact); }), "Record not found");
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 7);  // the window is intact
    ds.Cursor = 10;
    ds.Resync();  // not exact: falls back to the prior record
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 10);
}

// --- Bookmarks
// ------------------------------------------------------------------------------------

TEST_F(DataSetBaseTest, BookmarksReturnToTheirRecord) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(20, 3, link);
    ds.MoveBy(12);
    TBookmark mark = ds.GetBookmark();
    ASSERT_EQ(mark.size(), 4u);
    ds.First();
    log.clear();
    ds.GotoBookmark(mark);
    EXPECT_EQ(Only(log, {"BeforeScroll", "MoveToBookmark", "AfterScroll"}),
              (Log{"BeforeScroll", "MoveToBookmark", "AfterScroll"}));
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 13);
    // A bookmark of a row that is gone.
    ds.Rows.erase(ds.Rows.begin() + 12);
    ds.First();
    EXPECT_EQ(MessageOf([&] { ds.GotoBookmark(mark); }), "Record not found");
    EXPECT_EQ(ds.CompareBookmarks({}, {}), 0);
    EXPECT_EQ(ds.CompareBookmarks({}, mark), 1);
    EXPECT_EQ(ds.CompareBookmarks(mark, {}), -1);
}

// --- Editing
// --------------------------------------------------------------------------------------

const std::initializer_list<const char*> kEditingEntries = {"BeforeInsert",
                                                            "AfterInsert",
                                                            "BeforeEdit",
                                                            "AfterEdit",
                                                            "BeforePost",
                                                            "AfterPost",
                                                            "BeforeCancel",
                                                            "AfterCancel",
                                                            "BeforeDelete",
                                                            "AfterDelete",
                                                            "BeforeScroll",
                                                            "AfterScroll",
                                                            "OnNewRecord",
                                                            "PrepareRecordBuffer",
                                                            "BeginInsertRecord",
                                                            "BeginEditRecord",
                                                            "PostCurrentRecord",
                                                            "CancelCurrentRecord",
                                                            "DeleteCurrentRecord",
                                                            "AddRecordDirect(append)",
                                                            "AddRecordDirect(insert)"};

TEST_F(DataSetBaseTest, AppendAndPostInOrder) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(3, 2, link);
    ds.Append();
    EXPECT_EQ(Only(log, kEditingEntries),
              (Log{"BeforeInsert", "BeforeScroll", "PrepareRecordBuffer", "BeginInsertRecord",
                   "OnNewRecord", "AfterInsert", "AfterScroll"}));
    EXPECT_EQ(ds.State(), dsInsert);
    EXPECT_TRUE(ds.Eof());
    EXPECT_TRUE(ds.FieldByName("ID").IsNull());
    ds.FieldByName("ID").SetAsInteger(4);
    ds.FieldByName("NAME").SetAsString("new");
    EXPECT_TRUE(ds.Modified());
    log.clear();
    ds.Post();
    EXPECT_EQ(Only(log, kEditingEntries), (Log{"BeforePost", "PostCurrentRecord", "AfterPost"}));
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.Rows.back().Name, "new");
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 4);
    EXPECT_EQ(WindowIds(), (std::vector<int>{3, 4}));
}

TEST_F(DataSetBaseTest, InsertGoesBeforeTheActiveRowAndCancelReturnsToIt) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(5, 3, link);
    ds.MoveBy(2);  // on 3
    log.clear();
    ds.Insert();
    EXPECT_EQ(Only(log, kEditingEntries),
              (Log{"BeforeInsert", "BeforeScroll", "PrepareRecordBuffer", "BeginInsertRecord",
                   "OnNewRecord", "AfterInsert", "AfterScroll"}));
    EXPECT_EQ(ds.State(), dsInsert);
    ds.FieldByName("ID").SetAsInteger(99);
    log.clear();
    ds.Cancel();
    EXPECT_EQ(
        Only(log, kEditingEntries),
        (Log{"BeforeCancel", "BeforeScroll", "CancelCurrentRecord", "AfterCancel", "AfterScroll"}));
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);
    EXPECT_EQ(ds.Rows.size(), 5u);

    ds.Insert();
    ds.FieldByName("ID").SetAsInteger(99);
    ds.Post();
    EXPECT_EQ(ds.Rows[2].Id, 99);
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 99);
    ds.Next();
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);
}

TEST_F(DataSetBaseTest, EditPostAndCancel) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(3, 1, link);
    ds.Next();
    ds.Edit();
    EXPECT_EQ(Only(log, kEditingEntries),
              (Log{"BeforeScroll", "AfterScroll", "BeforeEdit", "BeginEditRecord", "AfterEdit"}));
    ds.FieldByName("NAME").SetAsString("changed");
    ds.Post();
    EXPECT_EQ(ds.Rows[1].Name, "changed");
    ds.Edit();
    ds.FieldByName("NAME").SetAsString("dropped");
    ds.Cancel();
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "changed");
    EXPECT_EQ(ds.Rows[1].Name, "changed");
}

TEST_F(DataSetBaseTest, CheckBrowseModePostsChangesAndCancelsUntouchedEdits) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(3, 1, link);
    ds.Edit();
    log.clear();
    ds.Next();  // nothing changed: the edit is cancelled
    EXPECT_EQ(Only(log, {"PostCurrentRecord", "CancelCurrentRecord"}), Log{"CancelCurrentRecord"});
    ds.Edit();
    ds.FieldByName("NAME").SetAsString("x");
    log.clear();
    ds.Prior();
    EXPECT_EQ(Only(log, {"PostCurrentRecord", "CancelCurrentRecord"}), Log{"PostCurrentRecord"});
    EXPECT_EQ(ds.Rows[1].Name, "x");
}

TEST_F(DataSetBaseTest, DeleteInOrderAndResyncsOntoTheNextRow) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(4, 2, link);
    ds.Next();
    log.clear();
    ds.Delete();
    EXPECT_EQ(
        Only(log, kEditingEntries),
        (Log{"BeforeDelete", "BeforeScroll", "DeleteCurrentRecord", "AfterDelete", "AfterScroll"}));
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);
    ds.Last();
    ds.Delete();  // the last row: the window falls back to the prior one
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);
    ds.Delete();
    ds.Delete();
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_EQ(MessageOf([&] { ds.Delete(); }), "Cannot perform this operation on an empty dataset");
}

TEST_F(DataSetBaseTest, DeleteWhileInsertingCancels) {
    ds.AddRows(2);
    ds.Open();
    ds.Append();
    log.clear();
    ds.Delete();
    EXPECT_EQ(Only(log, {"CancelCurrentRecord", "DeleteCurrentRecord"}),
              Log{"CancelCurrentRecord"});
    EXPECT_EQ(ds.Rows.size(), 2u);
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 2);  // back on the last row
}

TEST_F(DataSetBaseTest, EditOfAnEmptyDataSetInserts) {
    ds.Open();
    ds.Edit();
    EXPECT_EQ(ds.State(), dsInsert);
    EXPECT_TRUE(ds.Bof());
}

TEST_F(DataSetBaseTest, AppendRecordAssignsValuesAfterOnNewRecord) {
    ds.AddRows(2);
    ds.Open();
    ds.OnNewRecord = [&](TDataSet& d) {
        log.push_back("OnNewRecord");
        d.FieldByName("NAME").SetAsString("default");
        d.FieldByName("ID").SetAsInteger(-1);
    };
    log.clear();
    ds.AppendRecord({rtl::Variant(7), rtl::Variant()});
    EXPECT_EQ(Only(log, kEditingEntries),
              (Log{"BeforeInsert", "BeforeScroll", "PrepareRecordBuffer", "OnNewRecord",
                   "AfterInsert", "BeforePost", "AddRecordDirect(append)", "AfterPost"}));
    EXPECT_EQ(ds.Rows.back().Id, 7);
    EXPECT_EQ(ds.Rows.back().Name, "default");  // Empty leaves the event's value
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 7);

    ds.First();
    ds.InsertRecord({rtl::Variant(0), rtl::Variant("first")});
    EXPECT_EQ(ds.Rows.front().Name, "first");
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "first");
}

TEST_F(DataSetBaseTest, FailedAppendRecordRestoresTheWindow) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(3, 3, link);
    ds.Failures["AddRecordDirect"] = 1;
    EXPECT_EQ(MessageOf([&] { ds.AppendRecord({rtl::Variant(9)}); }), "AddRecordDirect failed");
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(WindowIds(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 1);
}

TEST_F(DataSetBaseTest, AFailedAppendRecordCancelsWhatItsPostBegan) {
    for (const bool cancelFails : {false, true}) {
        SCOPED_TRACE(cancelFails ? "the cancel fails too" : "the cancel succeeds");
        std::unique_ptr<TRecordingLink> link;
        OpenWith(3, 3, link);
        ds.Failures["AddRecordDirect"] = 1;
        ds.Failures["CancelCurrentRecord"] = cancelFails ? 1 : 0;
        log.clear();
        // The record's own failure is the one reported, whatever the cancel does.
        EXPECT_EQ(MessageOf([&] { ds.AppendRecord({rtl::Variant(9)}); }), "AddRecordDirect failed");
        const Log hooks = Only(log, kEditingEntries);
        const auto added = std::find(hooks.begin(), hooks.end(), "AddRecordDirect(append)");
        ASSERT_NE(added, hooks.end());
        EXPECT_EQ(std::count(added, hooks.end(), "CancelCurrentRecord"), 1);
        EXPECT_EQ(ds.State(), dsBrowse);
        EXPECT_EQ(WindowIds(), (std::vector<int>{1, 2, 3}));
        ds.Close();
    }
}

TEST_F(DataSetBaseTest, ExceptionInOnNewRecordReturnsToBrowsing) {
    ds.AddRows(3);
    ds.Open();
    ds.Next();
    ds.OnNewRecord = [](TDataSet&) { throw rtl::EDatabaseError("no new rows today"); };
    EXPECT_EQ(MessageOf([&] { ds.Insert(); }), "no new rows today");
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 2);
    EXPECT_EQ(MessageOf([&] { ds.Append(); }), "no new rows today");
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);
}

// --- Failing editing hooks and the error events
// ------------------------------------------------------

TEST_F(DataSetBaseTest, PostErrorRetryRunsThePostAgain) {
    ds.AddRows(1);
    ds.Open();
    ds.Edit();
    ds.FieldByName("NAME").SetAsString("kept");
    ds.Failures["PostCurrentRecord"] = 2;
    std::vector<std::string> errors;
    ds.OnPostError = [&](TDataSet&, rtl::EDatabaseError& error, TDataAction& action) {
        EXPECT_EQ(action, daFail);
        errors.push_back(error.Message());
        action = daRetry;
    };
    log.clear();
    ds.Post();
    EXPECT_EQ(errors, (Log{"PostCurrentRecord failed", "PostCurrentRecord failed"}));
    EXPECT_EQ(std::count(log.begin(), log.end(), "PostCurrentRecord"), 3);
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.Rows[0].Name, "kept");
}

TEST_F(DataSetBaseTest, PostErrorFailAndAbortLeaveTheEditOpen) {
    ds.AddRows(1);
    ds.Open();
    ds.Append();
    ds.FieldByName("ID").SetAsInteger(5);
    ds.Failures["PostCurrentRecord"] = 1;
    EXPECT_EQ(MessageOf([&] { ds.Post(); }), "PostCurrentRecord failed");
    EXPECT_EQ(ds.State(), dsInsert);
    EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 5);  // the values are still there

    ds.Failures["PostCurrentRecord"] = 1;
    ds.OnPostError = [](TDataSet&, rtl::EDatabaseError&, TDataAction& action) { action = daAbort; };
    EXPECT_THROW(ds.Post(), rtl::EAbort);
    EXPECT_EQ(ds.State(), dsInsert);
    EXPECT_EQ(Only(log, {"AfterPost"}).size(), 0u);
    ds.Post();
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.Rows.size(), 2u);
}

TEST_F(DataSetBaseTest, EditAndDeleteErrorsGoThroughTheirEvents) {
    ds.AddRows(2);
    ds.Open();
    ds.Failures["BeginEditRecord"] = 1;
    int editErrors = 0;
    ds.OnEditError = [&](TDataSet&, rtl::EDatabaseError&, TDataAction& action) {
        ++editErrors;
        action = daRetry;
    };
    ds.Edit();
    EXPECT_EQ(editErrors, 1);
    EXPECT_EQ(ds.State(), dsEdit);
    ds.Cancel();

    ds.Failures["DeleteCurrentRecord"] = 1;
    EXPECT_EQ(MessageOf([&] { ds.Delete(); }), "DeleteCurrentRecord failed");
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.Rows.size(), 2u);
    ds.Failures["DeleteCurrentRecord"] = 1;
    ds.OnDeleteError = [](TDataSet&, rtl::EDatabaseError&, TDataAction& action) {
        action = daRetry;
    };
    ds.Delete();
    EXPECT_EQ(ds.Rows.size(), 1u);
}

TEST_F(DataSetBaseTest, FailedEditStartStaysBrowsing) {
    ds.AddRows(1);
    ds.Open();
    ds.Failures["BeginEditRecord"] = 1;
    EXPECT_EQ(MessageOf([&] { ds.Edit(); }), "BeginEditRecord failed");
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(Only(log, {"AfterEdit"}).size(), 0u);
}

TEST_F(DataSetBaseTest, RetryLoopRepositionsOnTheActiveRecord) {
    std::unique_ptr<TRecordingLink> link;
    OpenWith(5, 5, link);  // the cursor sits on row 5, the last one fetched
    ds.MoveBy(2);          // row 3: inside the window, no fetch
    ds.Edit();
    EXPECT_EQ(Only(log, {"MoveToBuffer", "BeginEditRecord"}),
              (Log{"MoveToBuffer", "BeginEditRecord"}));
    EXPECT_EQ(ds.Cursor, 2);
    ds.FieldByName("NAME").SetAsString("third");
    ds.Post();
    EXPECT_EQ(ds.Rows[2].Name, "third");
}

// --- Messages
// -------------------------------------------------------------------------------------------

TEST_F(DataSetBaseTest, FrameworkMessages) {
    ds.AddRows(1);
    EXPECT_EQ(MessageOf([&] { ds.First(); }), "Cannot perform this operation on a closed dataset");
    ds.Open();
    EXPECT_EQ(MessageOf([&] { ds.CheckInactive(); }),
              "Cannot perform this operation on an open dataset");
    EXPECT_EQ(MessageOf([&] { ds.Post(); }), "Dataset not in edit mode");
    EXPECT_EQ(MessageOf([&] { ds.FieldByName("ID").SetAsInteger(3); }), "Dataset not in edit mode");
    EXPECT_EQ(MessageOf([&] { ds.FieldByName("Price"); }), "Field 'Price' not found");
    ds.SetName("Orders");
    EXPECT_EQ(MessageOf([&] { ds.FieldByName("Price"); }), "Orders: Field 'Price' not found");
    ds.SetName("");
    ds.ReadOnly = true;
    EXPECT_EQ(MessageOf([&] { ds.Edit(); }), "Cannot modify a read-only dataset");
    EXPECT_EQ(MessageOf([&] { ds.Append(); }), "Cannot modify a read-only dataset");
    EXPECT_EQ(MessageOf([&] { ds.Delete(); }), "Cannot modify a read-only dataset");
    ds.ReadOnly = false;
    ds.Close();
    ds.Fields().Add<TIntegerField>("ID").SetReadOnly(true);
    ds.Fields().Add<TStringField>("NAME", 10).SetRequired(true);
    ds.Open();
    ds.Edit();
    EXPECT_EQ(MessageOf([&] { ds.FieldByName("ID").SetAsInteger(3); }),
              "Field 'ID' cannot be modified");
    ds.FieldByName("NAME").Clear();
    EXPECT_EQ(MessageOf([&] { ds.Post(); }), "Field 'NAME' must have a value");
    EXPECT_EQ(ds.State(), dsEdit);
    ds.FieldByName("NAME").SetDisplayLabel("Name of row");
    EXPECT_EQ(MessageOf([&] { ds.Post(); }), "Field 'Name of row' must have a value");
}

TEST_F(DataSetBaseTest, RefreshRereadsAndResyncs) {
    ds.AddRows(3);
    ds.Open();
    ds.Next();
    ds.Rows[1].Name = "outside";
    log.clear();
    ds.Refresh();
    EXPECT_EQ(Only(log, {"BeforeRefresh", "MoveToBuffer", "RereadCurrentRecord", "AfterRefresh"}),
              (Log{"BeforeRefresh", "RereadCurrentRecord", "AfterRefresh"}));
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "outside");
}

TEST_F(DataSetBaseTest, CalculatedFieldsAreComputedPerRecordAndFollowEdits) {
    ds.Fields().Add<TIntegerField>("ID");
    ds.Fields().Add<TStringField>("NAME", 10);
    TIntegerField& twice = ds.Fields().Add<TIntegerField>("TWICE");
    twice.SetFieldKind(fkCalculated);
    int calls = 0;
    ds.OnCalcFields = [&](TDataSet& d) {
        ++calls;
        EXPECT_EQ(d.State(), dsCalcFields);
        d.FieldByName("TWICE").SetAsInteger(d.FieldByName("ID").AsInteger() * 2);
    };
    ds.AddRows(3);
    ds.Open();
    EXPECT_EQ(ds.CalcFieldsSize(), twice.DataSize() + 1);
    EXPECT_EQ(twice.AsInteger(), 2);
    ds.Next();
    EXPECT_EQ(twice.AsInteger(), 4);
    ds.Edit();
    ds.FieldByName("ID").SetAsInteger(10);
    EXPECT_EQ(twice.AsInteger(), 20);
    EXPECT_GT(calls, 0);
    EXPECT_EQ(MessageOf([&] { twice.SetAsInteger(1); }), "Field 'TWICE' cannot be modified");
}

}  // namespace
}  // namespace varelum::db
