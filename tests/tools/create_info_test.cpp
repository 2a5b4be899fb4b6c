// create and info: a table made from field text is described back field by field, with the
// field text that recreates it; an existing table is never replaced by accident.
#include "store_test_support.h"

namespace varelum::store::testing {
namespace {

class CreateInfoTest : public StoreToolTest {};

constexpr const char* kFields =
    "Name,Char,30;Code,Integer;Born,Date;Price,Numeric,10,2;Ok,Logical;Note,Memo;"
    "Rate,Double,4;Wide,NChar,12;Stamp,TimeStamp;Id,AutoInc;";

TEST_F(CreateInfoTest, InfoDescribesWhatCreateMade) {
    ToolResult created = ok({"create", "stock", kFields});
    EXPECT_NE(std::string::npos, created.out.find("stock.adt with 10 fields")) << created.out;

    ToolResult info = ok({"info", "stock.adt"});
    const std::vector<std::string> lines = lines_of(info.out);
    ASSERT_GE(lines.size(), 16u) << info.out;
    EXPECT_EQ("Table:    " + file("stock.adt").string(), lines[0]);
    EXPECT_EQ("Records:  0", lines[1]);
    EXPECT_EQ("Fields:   10", lines[3]);
    // Name, type, length and decimals of each field, in order.
    struct Row {
        std::string name, type, length, decimals;
    };
    const std::vector<Row> expected = {
        {"Name", "Char", "30", ""},      {"Code", "Integer", "4", ""},
        {"Born", "Date", "4", ""},       {"Price", "Numeric", "10", "2"},
        {"Ok", "Logical", "1", ""},      {"Note", "Memo", "", ""},
        {"Rate", "Double", "8", "4"},    {"Wide", "NChar", "12", ""},
        {"Stamp", "TimeStamp", "8", ""}, {"Id", "AutoInc", "4", ""},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        std::istringstream words(lines[5 + i]);
        std::vector<std::string> cells;
        for (std::string word; words >> word;) {
            cells.push_back(word);
        }
        std::vector<std::string> wanted = {std::to_string(i + 1), expected[i].name,
                                           expected[i].type};
        for (const std::string& extra : {expected[i].length, expected[i].decimals}) {
            if (!extra.empty()) {
                wanted.push_back(extra);
            }
        }
        EXPECT_EQ(wanted, cells) << lines[5 + i];
    }
    EXPECT_EQ(std::string("Definition: ") + kFields, lines[15]);

    // The definition recreates the same table.
    ok({"create", "copy", std::string(kFields)});
    std::string copy_info = ok({"info", "copy"}).out;
    EXPECT_EQ(lines_of(info.out).back(), lines_of(copy_info).back());
}

TEST_F(CreateInfoTest, InfoListsTheIndexes) {
    ok({"demo", "store", "--products", "3"});
    const std::vector<std::string> lines = lines_of(ok({"info", "store/CadProdutos"}).out);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ((std::vector<std::string>{"Indexes:  2", "  Tag         Keys  Expression",
                                        "  CodProduto     3  CodProduto  (unique)",
                                        "  CodBarras      3  CodBarras  (unique)"}),
              std::vector<std::string>(lines.end() - 4, lines.end()));
}

TEST_F(CreateInfoTest, CreateKeepsAnExistingTableUnlessToldToReplaceIt) {
    ok({"create", "t", "A,Integer;"});
    write_file(file("rows.csv"), "A\r\n1\r\n2\r\n");
    ok({"import", "t", "rows.csv"});

    ToolResult again = tool({"create", "t", "B,Char,5;"});
    EXPECT_ONE_LINE_FAILURE(again);
    EXPECT_NE(std::string::npos, again.err.find("exists already")) << again.err;
    EXPECT_EQ(2u, EngineView(file("t.adt")).count());

    ok({"create", "t.adt", "B,Char,5;", "--replace"});
    EngineView replaced(file("t.adt"));
    EXPECT_EQ(0u, replaced.count());
    EXPECT_EQ(std::vector<std::string>{"B"}, replaced.field_names());
}

TEST_F(CreateInfoTest, BadFieldTextIsRefusedWithTheOffendingPiece) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Name,Char;", "Name,Char"},
        {"Name,Text,10;", "unknown field type"},
        {"Price,Numeric,4,3;", "decimals"},
        {"", "field"},
    };
    for (const auto& [fields, expected] : cases) {
        SCOPED_TRACE(fields);
        ToolResult result = tool({"create", "bad", fields});
        EXPECT_ONE_LINE_FAILURE(result);
        EXPECT_NE(std::string::npos, result.err.find(expected)) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(file("bad.adt")));
}

}  // namespace
}  // namespace varelum::store::testing
