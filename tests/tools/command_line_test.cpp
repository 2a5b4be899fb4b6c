// The command line of varelum-store: help, and every kind of bad argument answered with exit
// code 1 and one line on standard error.
#include "store_test_support.h"

namespace varelum::store::testing {
namespace {

class CommandLineTest : public StoreToolTest {};

TEST_F(CommandLineTest, HelpListsEveryCommandWithItsArguments) {
    ToolResult help = ok({"--help"});
    for (const char* usage :
         {"create TABLE FIELDS", "info TABLE", "import TABLE FILE.csv", "export TABLE [FILE.csv]",
          "pack TABLE", "zap TABLE", "check TABLE", "demo DIR [--products N]",
          "index TABLE TAG EXPR [--unique] [--descending] [--for COND]"}) {
        EXPECT_NE(std::string::npos, help.out.find(usage)) << usage;
    }
    EXPECT_TRUE(help.err.empty());

    ToolResult one = ok({"help", "import"});
    EXPECT_TRUE(one.out.starts_with("Usage: varelum-store import TABLE FILE.csv")) << one.out;
    EXPECT_NE(std::string::npos, one.out.find("--progress N"));
    EXPECT_EQ(one.out, ok({"import", "--help"}).out);
    // Import's one line on what a killed import and a power cut do to the table.
    EXPECT_NE(std::string::npos, one.out.find("a killed import keeps its rows")) << one.out;

    ToolResult index = ok({"help", "index"});
    EXPECT_TRUE(index.out.starts_with(
        "Usage: varelum-store index TABLE TAG EXPR [--unique] [--descending] [--for COND]\n"))
        << index.out;
}

TEST_F(CommandLineTest, BadArgumentsGiveOneLineAndExitCodeOne) {
    struct Case {
        std::vector<std::string> arguments;
        std::string expected;  // a part of the message
    };
    const std::vector<Case> cases = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command \"frobnicate\""},
        {{"--frobnicate"}, "unknown option \"--frobnicate\""},
        {{"help", "frobnicate"}, "unknown command \"frobnicate\""},
        {{"create", "t"}, "create needs FIELDS (usage: varelum-store create TABLE FIELDS"},
        {{"info"}, "info needs TABLE"},
        {{"info", "a", "b"}, "\"b\" is one too many"},
        {{"export", "a", "b.csv", "c"}, "\"c\" is one too many"},
        {{"import", "t", "f.csv", "--fast"}, "import has no option --fast"},
        {{"demo", "d", "--products"}, "--products needs a value (N)"},
        {{"demo", "d", "--products", "many"}, "--products takes a whole number from 0 to 10000000"},
        {{"demo", "d", "--products=-1"}, "not \"-1\""},
        {{"demo", "d", "--products", "10000001"}, "from 0 to 10000000"},
        {{"demo", "d", "--replace=yes"}, "--replace takes no value"},
        {{"import", "t", "f.csv", "--progress", "0"}, "--progress takes a whole number"},
    };
    for (const Case& test : cases) {
        std::string joined;
        for (const std::string& word : test.arguments) {
            joined += word + " ";
        }
        SCOPED_TRACE(joined);
        ToolResult result = tool(test.arguments);
        EXPECT_ONE_LINE_FAILURE(result);
        EXPECT_NE(std::string::npos, result.err.find(test.expected)) << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
    // Nothing was made by any of them.
    EXPECT_FALSE(std::filesystem::exists(file("d")));
}

TEST_F(CommandLineTest, DoubleDashEndsTheOptions) {
    // A table whose name starts with dashes can still be named.
    ok({"create", "--", "--odd", "A,Integer;"});
    EXPECT_TRUE(std::filesystem::exists(file("--odd.adt")));
}

TEST_F(CommandLineTest, EngineFailuresAreOneLineToo) {
    ToolResult missing = tool({"info", "nothere"});
    EXPECT_ONE_LINE_FAILURE(missing);
    EXPECT_NE(std::string::npos, missing.err.find("nothere.adt")) << missing.err;
    EXPECT_NE(std::string::npos, missing.err.find("(6020)")) << missing.err;

    ToolResult no_directory = tool({"info", "no/such/dir/t"});
    EXPECT_ONE_LINE_FAILURE(no_directory);
    EXPECT_NE(std::string::npos, no_directory.err.find("cannot connect")) << no_directory.err;
}

}  // namespace
}  // namespace varelum::store::testing
