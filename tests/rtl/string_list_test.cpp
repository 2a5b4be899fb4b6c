// TStringList: the text form (CR LF after every line; any line end when set), the change
// notices in their order and count, updates, and index errors.
#include "rtl/string_list.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace varelum::rtl {
namespace {

// Records the notices a list sends, as "<" for OnChanging and ">" for OnChange.
struct NoticeLog {
    explicit NoticeLog(TStringList& list) {
        list.OnChanging = [this] { Log += '<'; };
        list.OnChange = [this, &list] {
            Log += '>';
            CountsSeen.push_back(list.Count());
        };
    }
    std::string Log;
    std::vector<int> CountsSeen;
};

TEST(StringListTest, TextJoinsEveryLineWithCrLf) {
    TStringList sql;
    EXPECT_EQ(sql.Text(), "");
    for (const char* line : {"SELECT *", "FROM CadProdutos", "WHERE", "(CodBarras) = :Par0"}) {
        sql.Add(line);
    }
    EXPECT_EQ(sql.Text(), "SELECT *\r\nFROM CadProdutos\r\nWHERE\r\n(CodBarras) = :Par0\r\n");
}

TEST(StringListTest, SetTextSplitsAtAnyLineEnd) {
    struct Case {
        const char* text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"one", {"one"}},
        {"one\r\n", {"one"}},
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"\r\n", {""}},
        {"a\n\r", {"a", ""}},  // LF then a lone CR: two line ends
        {"x\r", {"x"}},
    };
    for (const Case& c : cases) {
        TStringList list;
        list.SetText(c.text);
        EXPECT_EQ(list.Lines(), c.lines) << c.text;
    }
}

TEST(StringListTest, EachChangeNotifiesOnceBeforeAndAfter) {
    TStringList list;
    NoticeLog notices(list);
    list.Add("a");
    list.Add("b");
    list.Insert(0, "z");
    list.SetStrings(1, "A");
    list.Delete(2);
    EXPECT_EQ(notices.Log, "<><><><><>");
    EXPECT_EQ(notices.CountsSeen, (std::vector<int>{1, 2, 3, 3, 2}));
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"z", "A"}));
    list.Clear();
    list.Clear();  // already empty: nothing changes, nothing is told
    EXPECT_EQ(notices.Log, "<><><><><><>");
}

TEST(StringListTest, SetTextAndUpdatesNotifyOnce) {
    TStringList list;
    list.Add("old");
    NoticeLog notices(list);
    list.SetText("SELECT *\r\nFROM CadProdutos\r\nWHERE\r\n(CodProduto) = :Par0");
    EXPECT_EQ(notices.Log, "<>");
    EXPECT_EQ(notices.CountsSeen, std::vector<int>{4});

    list.BeginUpdate();
    list.BeginUpdate();
    list.Add("x");
    list.Delete(0);
    list.EndUpdate();
    EXPECT_EQ(notices.Log, "<><");  // still inside the outer update
    list.EndUpdate();
    EXPECT_EQ(notices.Log, "<><>");
    EXPECT_EQ(list.UpdateCount(), 0);

    TStringList other;
    other.Add("1");
    other.Add("2");
    list.Assign(other);
    EXPECT_EQ(notices.Log, "<><><>");
    EXPECT_TRUE(list.Equals(other));
}

TEST(StringListTest, AFailingHandlerLeavesTheListConsistent) {
    TStringList list;
    list.Add("keep");
    list.OnChanging = [] { throw std::runtime_error("refused"); };
    EXPECT_THROW(list.Add("new"), std::runtime_error);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_THROW(list.SetText("a\nb"), std::runtime_error);
    EXPECT_EQ(list.UpdateCount(), 0);
    EXPECT_EQ(list.Lines(), std::vector<std::string>{"keep"});
}

TEST(StringListTest, IndexErrorsAndSearch) {
    TStringList list;
    list.SetText("Alpha\nBeta");
    try {
        (void)list[2];
        FAIL();
    } catch (const EStringListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (2)");
    }
    EXPECT_THROW(list.Delete(-1), EStringListError);
    EXPECT_THROW(list.Insert(3, "x"), EStringListError);
    list.Insert(2, "Gamma");  // inserting at the end is allowed
    EXPECT_EQ(list.IndexOf("BETA"), 1);
    list.CaseSensitive = true;
    EXPECT_EQ(list.IndexOf("BETA"), -1);
    EXPECT_EQ(list.IndexOf("Gamma"), 2);
    list.AddStrings(list);  // from itself
    EXPECT_EQ(list.Count(), 6);

    TStringList copy = list;  // lines only, not the handlers
    EXPECT_TRUE(copy.Equals(list));
    EXPECT_FALSE(copy.OnChange);
}

}  // namespace
}  // namespace varelum::rtl
