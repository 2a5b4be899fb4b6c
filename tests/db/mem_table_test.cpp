// TMemTable: the in-memory lists of the count (created from two string definitions, appended
// to, counted, emptied, closed), row order, cutting of long texts, iteration, bookmarks,
// editing and deleting, searching, filtering, blobs and calculated fields.
#include <gtest/gtest.h>

#include "db/data_source.h"
#include "db/field_types.h"
#include "db/mem_table.h"
#include "rtl/exception.h"

namespace varelum::db {
namespace {

template <class F>
std::string MessageOf(F&& action) {
    try {
        action();
    } catch (const rtl::Exception& error) {
        return error.Message();
    }
    return "(no error)";
}

// The count program's list of reads.
class ReadsListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reads.FieldDefs().Add("codgrupo", ftString, 16);
        reads.FieldDefs().Add("codproduto", ftString, 30);
        reads.CreateDataSet();
    }
    void AddRead(const std::string& group, const std::string& product) {
        reads.Append();
        reads.FieldByName("codgrupo").SetAsString(group);
        reads.FieldByName("codproduto").SetAsString(product);
        reads.Post();
    }
    std::vector<std::string> Products() {
        std::vector<std::string> out;
        reads.First();
        while (!reads.Eof()) {
            out.push_back(reads.FieldByName("CODPRODUTO").AsString());
            reads.Next();
        }
        return out;
    }
    TMemTable reads;
};

TEST_F(ReadsListTest, RowsKeepTheOrderOfAppending) {
    EXPECT_EQ(reads.RecordCount(), 0);
    EXPECT_TRUE(reads.IsEmpty());
    AddRead("01", "P3");
    AddRead("01", "P1");
    AddRead("02", "P2");
    EXPECT_EQ(reads.RecordCount(), 3);
    EXPECT_EQ(Products(), (std::vector<std::string>{"P3", "P1", "P2"}));
    // The same code again is another row: the list counts reads.
    AddRead("01", "P1");
    EXPECT_EQ(reads.RecordCount(), 4);
    EXPECT_EQ(reads.FieldByName("codproduto").AsString(), "P1");
    EXPECT_EQ(reads.RecNo(), 4);
}

TEST_F(ReadsListTest, LongTextIsCutToTheFieldWidth) {
    AddRead(std::string(20, 'G'), std::string(40, 'p'));
    EXPECT_EQ(reads.FieldByName("codgrupo").AsString(), std::string(16, 'G'));
    EXPECT_EQ(reads.FieldByName("codproduto").AsString(), std::string(30, 'p'));
    AddRead("AÇÃO", "café");  // Windows-1252 holds these
    EXPECT_EQ(reads.FieldByName("codgrupo").AsString(), "AÇÃO");
    EXPECT_EQ(reads.FieldByName("codproduto").AsString(), "café");
}

TEST_F(ReadsListTest, EmptyAndCloseForgetTheRows) {
    AddRead("01", "P1");
    AddRead("01", "P2");
    reads.EmptyDataSet();
    EXPECT_EQ(reads.RecordCount(), 0);
    EXPECT_TRUE(reads.Eof());
    AddRead("03", "P9");
    EXPECT_EQ(reads.RecordCount(), 1);
    reads.Close();
    EXPECT_EQ(MessageOf([&] { (void)reads.RecordCount(); }),
              "Cannot perform this operation on a closed dataset");
    reads.Open();
    EXPECT_EQ(reads.RecordCount(), 0);
    EXPECT_EQ(reads.Fields().Count(), 2);
}

TEST_F(ReadsListTest, TheGridsDataSourceHearsEveryAppend) {
    TDataSource source;
    source.SetDataSet(&reads);
    int changes = 0;
    source.OnDataChange = [&](TDataSource&, TField*) { ++changes; };
    AddRead("01", "P1");
    EXPECT_GT(changes, 0);
    int before = changes;
    reads.EmptyDataSet();
    EXPECT_GT(changes, before);
}

TEST(MemTableCreateTest, CreateNeedsDefinitionsOrFields) {
    TMemTable table;
    EXPECT_EQ(MessageOf([&] { table.CreateDataSet(); }),
              "No fields defined. Cannot create dataset");
    table.Fields().Add<TStringField>("name", 8);
    table.Fields().Add<TIntegerField>("qty");
    table.CreateDataSet();
    EXPECT_EQ(table.FieldDefs().Count(), 2);
    table.AppendRecord({rtl::Variant("abc"), rtl::Variant(3)});
    EXPECT_EQ(table.FieldByName("qty").AsInteger(), 3);
    EXPECT_EQ(MessageOf([&] { table.CreateDataSet(); }),
              "Cannot perform this operation on an open dataset");
}

class MemTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        table.FieldDefs().Add("id", ftInteger);
        table.FieldDefs().Add("name", ftString, 10);
        table.CreateDataSet();
        for (int i = 1; i <= 5; ++i) {
            table.AppendRecord({rtl::Variant(i), rtl::Variant("n" + std::to_string(i))});
        }
        table.First();
    }
    std::vector<int> Ids() {
        std::vector<int> out;
        TBookmark mark = table.GetBookmark();
        for (table.First(); !table.Eof(); table.Next()) {
            out.push_back(table.FieldByName("id").AsInteger());
        }
        table.GotoBookmark(mark);
        return out;
    }
    TMemTable table;
};

TEST_F(MemTableTest, InsertGoesBeforeTheActiveRowDeleteMovesToTheNext) {
    table.MoveBy(2);  // on 3
    table.Insert();
    table.FieldByName("id").SetAsInteger(30);
    table.Post();
    EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 30, 3, 4, 5}));
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 30);
    table.Delete();
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 3);
    table.Last();
    table.Delete();
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 4);
    EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 4}));
    table.First();
    table.Insert();
    table.FieldByName("id").SetAsInteger(0);
    table.Post();
    EXPECT_EQ(Ids(), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(MemTableTest, EditChangesOnlyThatRowAndCancelRestores) {
    table.MoveBy(1);
    table.Edit();
    table.FieldByName("name").SetAsString("second");
    table.Post();
    table.Edit();
    table.FieldByName("name").SetAsString("nope");
    table.Cancel();
    EXPECT_EQ(table.FieldByName("name").AsString(), "second");
    EXPECT_EQ(table.Lookup("id", rtl::Variant(2), "name").AsString(), "second");
    EXPECT_EQ(table.Lookup("id", rtl::Variant(3), "name").AsString(), "n3");
}

TEST_F(MemTableTest, CancelOfAnAppendLandsOnTheLastRow) {
    table.MoveBy(1);
    table.Append();
    table.FieldByName("id").SetAsInteger(6);
    table.Cancel();
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 5);
    EXPECT_EQ(table.RecordCount(), 5);
}

TEST_F(MemTableTest, BookmarksSurviveInsertsAndFailForDeletedRows) {
    table.MoveBy(3);  // on 4
    TBookmark four = table.GetBookmark();
    table.First();
    TBookmark one = table.GetBookmark();
    table.Insert();
    table.FieldByName("id").SetAsInteger(0);
    table.Post();
    table.GotoBookmark(four);
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 4);
    EXPECT_TRUE(table.BookmarkValid(four));
    EXPECT_LT(table.CompareBookmarks(one, four), 0);
    EXPECT_GT(table.CompareBookmarks(four, one), 0);
    table.Delete();
    EXPECT_FALSE(table.BookmarkValid(four));
    EXPECT_EQ(MessageOf([&] { table.GotoBookmark(four); }), "Record not found");
}

TEST_F(MemTableTest, LocateFindsTheFirstMatch) {
    table.AppendRecord({rtl::Variant(7), rtl::Variant("N3")});
    EXPECT_TRUE(table.Locate("name", rtl::Variant("n3"), 0));
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 3);
    EXPECT_TRUE(table.Locate("name", rtl::Variant("N3"), 0));
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 7);
    EXPECT_TRUE(table.Locate("NAME", rtl::Variant("N"), loPartialKey | loCaseInsensitive));
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 1);
    EXPECT_TRUE(table.Locate("id;name", rtl::Variant(std::vector<rtl::Variant>{5, "n5"}), 0));
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 5);
    EXPECT_FALSE(table.Locate("id", rtl::Variant(42), 0));
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 5);  // did not move
    EXPECT_TRUE(table.Lookup("id", rtl::Variant(42), "name").IsNull());
    EXPECT_EQ(MessageOf([&] { table.Locate("nope", rtl::Variant(1), 0); }),
              "Field 'nope' not found");
}

TEST_F(MemTableTest, OnFilterRecordHidesRows) {
    table.SetOnFilterRecord(
        [](TDataSet& d, bool& accept) { accept = d.FieldByName("id").AsInteger() % 2 == 1; });
    table.SetFiltered(true);
    EXPECT_EQ(Ids(), (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(table.RecordCount(), 3);
    table.Last();
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 5);
    table.Prior();
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 3);
    table.SetFiltered(false);
    EXPECT_EQ(table.RecordCount(), 5);
    table.SetFilter("id > 2");
    EXPECT_EQ(MessageOf([&] { table.SetFiltered(true); }), "Filter expressions are not supported");
    EXPECT_FALSE(table.Filtered());
}

TEST_F(MemTableTest, RecNoMovesToAPosition) {
    table.SetRecNo(4);
    EXPECT_EQ(table.FieldByName("id").AsInteger(), 4);
    EXPECT_EQ(table.RecNo(), 4);
    table.Append();
    EXPECT_EQ(table.RecNo(), 0);  // a new row has no position yet
    table.Cancel();
}

TEST(MemTableBlobTest, MemoAndBlobValuesRoundTrip) {
    TMemTable table;
    table.FieldDefs().Add("id", ftInteger);
    table.FieldDefs().Add("notes", ftMemo);
    table.FieldDefs().Add("wide", ftWideMemo);
    table.FieldDefs().Add("data", ftBlob);
    table.CreateDataSet();
    EXPECT_EQ(table.BlobFieldCount(), 3);
    std::string text(5000, 'x');
    text += "ção";
    table.Append();
    table.FieldByName("id").SetAsInteger(1);
    table.FieldByName("notes").SetAsString(text);
    table.FieldByName("wide").SetAsString("日本語");
    table.FieldByName("data").SetAsString(std::string("\0\1\2", 3));
    table.Post();
    table.Append();
    table.FieldByName("id").SetAsInteger(2);
    table.Post();
    table.First();
    EXPECT_EQ(table.FieldByName("notes").AsString(), text);
    EXPECT_EQ(table.FieldByName("wide").AsString(), "日本語");
    EXPECT_EQ(table.FieldByName("data").AsString(), std::string("\0\1\2", 3));
    EXPECT_FALSE(table.FieldByName("notes").IsNull());
    table.Next();
    EXPECT_TRUE(table.FieldByName("notes").IsNull());
    EXPECT_EQ(table.FieldByName("notes").AsString(), "");
    EXPECT_EQ(MessageOf([&] { table.FieldByName("notes").SetAsString("no"); }),
              "Cannot modify a blob field outside edit mode");
    // A write-mode stream empties the value at once; Clear makes it null.
    table.First();
    table.Edit();
    table.CreateBlobStream(table.FieldByName("notes"), bmWrite);
    EXPECT_TRUE(table.FieldByName("notes").IsNull());
    table.Cancel();
    EXPECT_EQ(table.FieldByName("notes").AsString(), text);
}

TEST(MemTableCalcTest, CalculatedAndLookupFields) {
    TMemTable products;
    products.FieldDefs().Add("code", ftString, 5);
    products.FieldDefs().Add("title", ftString, 20);
    products.CreateDataSet();
    products.AppendRecord({rtl::Variant("A"), rtl::Variant("Apple")});
    products.AppendRecord({rtl::Variant("B"), rtl::Variant("Banana")});

    TMemTable reads;
    reads.Fields().Add<TStringField>("code", 5);
    reads.Fields().Add<TIntegerField>("qty");
    TStringField& title = reads.Fields().Add<TStringField>("title", 20);
    title.SetFieldKind(fkLookup);
    title.SetLookupDataSet(&products);
    title.SetKeyFields("code");
    title.SetLookupKeyFields("code");
    title.SetLookupResultField("title");
    TIntegerField& twice = reads.Fields().Add<TIntegerField>("twice");
    twice.SetFieldKind(fkCalculated);
    reads.OnCalcFields = [](TDataSet& d) {
        d.FieldByName("twice").SetAsInteger(d.FieldByName("qty").AsInteger() * 2);
    };
    reads.CreateDataSet();
    EXPECT_EQ(reads.FieldDefs().Count(), 2);  // only the data fields
    reads.AppendRecord({rtl::Variant("B"), rtl::Variant(4)});
    EXPECT_EQ(title.AsString(), "Banana");
    EXPECT_EQ(twice.AsInteger(), 8);
    reads.AppendRecord({rtl::Variant("Z"), rtl::Variant(1)});
    EXPECT_TRUE(title.IsNull());
    reads.First();
    EXPECT_EQ(title.AsString(), "Banana");
}

TEST(MemTableDefaultsTest, DefaultExpressionsFillNewRows) {
    TMemTable table;
    table.Fields().Add<TStringField>("status", 10).SetDefaultExpression("'OPEN'");
    table.Fields().Add<TIntegerField>("qty").SetDefaultExpression("1");
    table.CreateDataSet();
    table.Append();
    EXPECT_EQ(table.FieldByName("status").AsString(), "OPEN");
    EXPECT_EQ(table.FieldByName("qty").AsInteger(), 1);
    table.Post();
    EXPECT_EQ(table.RecordCount(), 1);
}

}  // namespace
}  // namespace varelum::db
