// restructure: fields added, deleted, renamed and changed by the real executable, with the
// records (numbers and deleted flags too), memo values and index tags read back through the
// engine; each refusal is one line, exit code 1, and leaves the file byte for byte as it was;
// on a terminal the work shows its percent, and Ctrl-C stops it cleanly with nothing changed.
#include <signal.h>

#include "sanitized_build.h"
#include "store_test_support.h"

namespace varelum::store::testing {
namespace {

class RestructureCommandTest : public NumberedTableTest {
  protected:
    // t.adt of five records (N is the record number, record 2 marked deleted) with a memo
    // field and tags on Name, Qty and Born.
    void SetUp() override {
        ok({"create", "t", "N,Integer;Name,Char,10;Qty,Integer;Notes,Memo;Born,Date;"});
        write_file(file("in.csv"),
                   "N,Name,Qty,Notes,Born\r\n1,ana,5,first note,2001-02-03\r\n"
                   "2,edu,0,,2002-03-04\r\n3,bruno,7,\"line one\nline two\",\r\n"
                   "4,carla,2,,2004-05-06\r\n5,dora,3,last,2005-06-07\r\n");
        ok({"import", "t", "in.csv"});
        ok({"index", "t", "ByName", "Name"});
        ok({"index", "t", "ByQty", "Qty", "--descending"});
        ok({"index", "t", "ByBorn", "Born"});
        EngineView view(file("t.adt"), 0);
        ASSERT_EQ(VE_SUCCESS, AdsGotoRecord(view.table(), 2));
        ASSERT_EQ(VE_SUCCESS, AdsDeleteRecord(view.table()));
    }

    ToolResult restructure(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"restructure", "t"});
        return tool(arguments);
    }
};

TEST_F(RestructureCommandTest, ChangesFieldsAndKeepsRecordsMemosAndTags) {
    ToolResult result = restructure({"--add", "Brand,Char,8", "--delete", "Born", "--change",
                                     "Name,Title,Char,20;Qty,,Numeric,8,2"});
    ASSERT_EQ(0, result.exit_code) << result.err;
    EXPECT_EQ("", result.err);  // no progress lines where standard error is no terminal
    EXPECT_EQ("Restructured " + file("t.adt").string() +
                  ": 5 records kept, 2 indexes rebuilt.\n"
                  "Fields: N,Integer;Title,Char,20;Qty,Numeric,8,2;Notes,Memo;Brand,Char,8;\n"
                  "Index ByBorn was dropped: its key no longer fits the fields.\n",
              result.out);

    // Record numbers and the deleted flag are kept; the values are converted.
    EXPECT_EQ(
        "N,Title,Qty,Notes,Brand\r\n1,ana,5.00,first note,\r\n"
        "3,bruno,7.00,\"line one\nline two\",\r\n4,carla,2.00,,\r\n5,dora,3.00,last,\r\n",
        ok({"export", "t"}).out);
    {
        EngineView view(file("t.adt"));
        ASSERT_EQ(VE_SUCCESS, AdsGotoRecord(view.table(), 2));
        UNSIGNED16 deleted = 0;
        ASSERT_EQ(VE_SUCCESS, AdsIsRecordDeleted(view.table(), &deleted));
        EXPECT_EQ(1, deleted);
        EXPECT_EQ("edu", view.text("Title"));
        ASSERT_EQ(VE_SUCCESS, AdsGotoRecord(view.table(), 3));
        EXPECT_EQ("line one\nline two", view.text("Notes"));
    }
    // The tag on Name followed the rename; the descending one kept its order (the engine
    // shows the deleted record 2 here).
    EXPECT_EQ((std::vector<int>{1, 3, 4, 5, 2}), key_order("ByName"));
    EXPECT_EQ((std::vector<int>{3, 1, 5, 4, 2}), key_order("ByQty"));
    EXPECT_NE(std::string::npos, ok({"check", "t"}).out.find(": OK")) << "check";
}

TEST_F(RestructureCommandTest, LossyCutsWhatDoesNotFit) {
    ok({"restructure", "t", "--change", "Name,,Char,3,LOSSY"});
    EXPECT_EQ("N,Name\r\n1,ana\r\n3,bru\r\n4,car\r\n5,dor\r\n",
              ok({"sql", dir().string(), "SELECT N, Name FROM t ORDER BY N"}).out);
    EXPECT_EQ(0, tool({"check", "t"}).exit_code);
}

TEST_F(RestructureCommandTest, RefusalsAreOneLineAndLeaveTheFileAsItWas) {
    const std::string before = read_file(file("t.adt"));
    struct Case {
        std::vector<std::string> arguments;  // after "restructure t"
        std::string message;                 // part of the one line on standard error
    };
    const std::vector<Case> cases = {
        // bruno, record 3, is the first name longer than four; ana fits.
        {{"--change", "Name,,Char,4"}, "field Name, record 3: text of 5 characters"},
        {{"--change", "Notes,,Integer"}, "field Notes, record 1: no conversion from Memo"},
        {{"--delete", "Nope"}, "Nope"},
        {{"--change", "Nope,Other"}, "Nope"},
        {{"--add", "Name,Char,5"}, "Name"},
        {{"--add", "Extra,Char"}, "Extra"},
        {{"--delete", "N;Name;Qty;Notes;Born"}, "no fields"},
        {{}, "nothing to change"},
        {{"--add", " ; "}, "--add needs field texts"},
        {{"--add", "Peso\xCE\xA9,Char,5"}, "Windows-1252"},  // an omega
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.message);
        ToolResult result = restructure(test.arguments);
        EXPECT_ONE_LINE_FAILURE(result);
        EXPECT_NE(std::string::npos, result.err.find(test.message)) << result.err;
        EXPECT_TRUE(before == read_file(file("t.adt"))) << "the file changed";
    }
    // Nothing is left beside the table either.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"in.csv", "t.adt", "t.adt-lock"}), names);
}

TEST_F(RestructureCommandTest, RefusedWhileTheTableIsOpenAndWhenItIsMissing) {
    {
        EngineView reader(file("t.adt"));  // as another process would hold it
        ToolResult result = restructure({"--add", "Brand,Char,8"});
        EXPECT_ONE_LINE_FAILURE(result);
        EXPECT_NE(std::string::npos, result.err.find("in use")) << result.err;
    }
    ToolResult missing = tool({"restructure", "missing", "--add", "Brand,Char,8"});
    EXPECT_ONE_LINE_FAILURE(missing);
    EXPECT_NE(std::string::npos, missing.err.find("missing.adt")) << missing.err;
}

TEST(RestructureCommandProgressTest, ShowsItsPercentOnATerminalAndStopsCleanlyOnCtrlC) {
    // Enough for many percents, and for the restructure to be under way when Ctrl-C comes.
    const std::string products = varelum::testing::kSanitizedBuild ? "5000" : "50000";
    TempDir directory;
    const std::filesystem::path dir = directory.path();
    ASSERT_EQ(0, run_tool(dir, {"demo", ".", "--products", products}).exit_code);
    const std::filesystem::path table = dir / "CadProdutos.adt";
    const std::vector<std::string> arguments = {"restructure", "CadProdutos", "--change",
                                                "Descricao,,Char,80"};
    {
        Terminal terminal;
        const pid_t pid = start_on_terminal(dir, terminal, arguments);
        const std::string shown = terminal.read([](const std::string&) { return false; });
        const int status = wait_for_tool(pid, arguments);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
        const std::vector<int> seen = percents(shown, "restructure");
        ASSERT_GE(seen.size(), 10u) << shown;
        EXPECT_EQ(0, seen.front());
        EXPECT_EQ(100, seen.back());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << shown;
        // The line is blanked at the end, so the terminal shows no stale percent.
        EXPECT_TRUE(shown.ends_with("\r")) << shown;
        EXPECT_NE(std::string::npos,
                  read_file(tool_out_file(dir)).find(products + " records kept"));
    }

    const std::string before = read_file(table);
    Terminal terminal;
    const pid_t pid = start_on_terminal(dir, terminal, arguments);
    // Interrupted once it is under way, well before the end.
    terminal.read([](const std::string& shown) {
        const std::vector<int> seen = percents(shown, "restructure");
        return !seen.empty() && seen.back() >= 1;
    });
    ASSERT_EQ(0, kill(pid, SIGINT));
    const std::string shown = terminal.read([](const std::string&) { return false; });
    const int status = wait_for_tool(pid, arguments);
    ASSERT_TRUE(WIFEXITED(status)) << shown;
    EXPECT_EQ(130, WEXITSTATUS(status)) << shown;
    EXPECT_NE(std::string::npos, shown.find("varelum-store: cannot restructure " + table.string() +
                                            ": interrupted; nothing was changed (6080)"))
        << shown;
    EXPECT_LT(percents(shown, "restructure").back(), 100) << shown;
    EXPECT_TRUE(before == read_file(table)) << "the file changed";
    EXPECT_EQ(0, run_tool(dir, {"check", "CadProdutos"}).exit_code);
}

}  // namespace
}  // namespace varelum::store::testing
