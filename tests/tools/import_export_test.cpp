// import and export: CSV in, CSV out. Export after import gives back the same bytes for every
// field type, nulls, quotes, commas, line breaks and non-ASCII text; a bad row stops the
// import at its line, keeping the rows before it.
#include <signal.h>

#include <chrono>
#include <thread>

#include "store_test_support.h"

namespace varelum::store::testing {
namespace {

class ImportExportTest : public StoreToolTest {};

// Every field type whose values an import sets (AutoInc, RowVersion and ModTime are the
// engine's own; see EngineMaintainedColumnsAreLeftToTheEngine).
constexpr const char* kEveryType =
    "Name,Char,30;Nick,CIChar,10;Note,Memo;Bin,Binary;Pic,Image;Vc,VarChar;Dbl,Double;"
    "Int,Integer;Short,ShortInt;T,Time;Ts,TimeStamp;Rw,Raw,4;Cur,CurDouble;Cash,Money;"
    "Vcf,VarCharFox,12;Vbf,VarBinaryFox,6;Nc,NChar,8;Nvc,NVarChar,8;Nm,NMemo;Ok,Logical;"
    "Num,Numeric,10,2;Born,Date;";

// In the form export writes: CR LF, quotes only where needed, Char fields right-trimmed.
constexpr const char* kEveryTypeCsv =
    "Name,Nick,Note,Bin,Pic,Vc,Dbl,Int,Short,T,Ts,Rw,Cur,Cash,Vcf,Vbf,Nc,Nvc,Nm,Ok,Num,Born\r\n"
    "\"João, o \"\"Cód. Grupo\"\"\",ação,\"line 1\r\nline 2, with a comma\",00ff10,89504e47,"
    "várias palavras,0.1,-2147483647,-32767,23:59:59.999,2024-02-29 12:34:56.789,deadbeef,1.5,"
    "12.3400,até logo,0001ff,Łódź,日本語,\"naïve \"\"wide\"\"\",true,-12.50,2024-02-29\r\n"
    ",,,,,,,,,,,,,,,,,,,,,\r\n"
    "  Ana,b,x,,,y,1e+300,0,0,00:00:00.000,0001-01-01 00:00:00.000,00000001,-0.25,0.0000,"
    "x,,a,b,c,false,0.00,9999-12-31\r\n";

TEST_F(ImportExportTest, ExportAfterImportGivesBackTheSameCsv) {
    ok({"create", "every", kEveryType});
    write_file(file("in.csv"), kEveryTypeCsv);
    ToolResult imported = ok({"import", "every", "in.csv"});
    EXPECT_NE(std::string::npos, imported.err.find("Imported 3 rows")) << imported.err;

    ok({"export", "every", "out.csv"});
    EXPECT_EQ(kEveryTypeCsv, read_file(file("out.csv")));
    EXPECT_FALSE(std::filesystem::exists(file("out.csv.partial")));

    // 8-bit text is Windows-1252 in the table, whatever the CSV's UTF-8 was.
    EngineView view(file("every.adt"));
    ASSERT_EQ(VE_SUCCESS, AdsGotoTop(view.table()));
    EXPECT_EQ(
        "Jo\xE3o, o \"C\xF3"
        "d. Grupo\"",
        view.text("Name"));
    EXPECT_EQ("at\xE9 logo", view.text("Vcf"));
    // An empty cell is null, for every type.
    ASSERT_EQ(VE_SUCCESS, AdsSkip(view.table(), 1));
    for (const std::string& name : view.field_names()) {
        UNSIGNED16 null = 0;
        EXPECT_EQ(VE_SUCCESS, AdsIsNull(view.table(), u8(name), &null));
        EXPECT_EQ(1, null) << name;
    }
}

TEST_F(ImportExportTest, LargeMemoAndBinaryValuesRoundTrip) {
    ok({"create", "big", "Note,Memo;Blob,Binary;Wide,NMemo;"});
    std::string note;
    while (note.size() < 3 * 1024 * 1024) {
        note += "Cód. Grupo \"çà\", linha " + std::to_string(note.size()) + "\r\n";
    }
    std::string blob;
    for (int i = 0; i < 256 * 1024; ++i) {
        blob += "0123456789abcdef"[(i * 7) % 16];
        blob += "0123456789abcdef"[i % 16];
    }
    std::string quoted;
    for (char c : note) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    const std::string csv = "Note,Blob,Wide\r\n\"" + quoted + "\"," + blob + ",日本語\r\n";
    write_file(file("in.csv"), csv);
    ok({"import", "big", "in.csv"});
    ok({"export", "big", "out.csv"});
    EXPECT_TRUE(csv == read_file(file("out.csv")));
}

TEST_F(ImportExportTest, ImportTakesLineFeedsAByteOrderMarkAndHeadersInAnyOrderAndCase) {
    ok({"create", "t", "Name,Char,10;Born,Date;Qty,Integer;"});
    write_file(file("in.csv"), "\xEF\xBB\xBF born , NAME\n2020-01-05,Zé\n\n1999-12-31,\"a\nb\"\n");
    ok({"import", "t", "in.csv"});
    ok({"export", "t", "out.csv"});
    EXPECT_EQ("Name,Born,Qty\r\nZé,2020-01-05,\r\n\"a\nb\",1999-12-31,\r\n",
              read_file(file("out.csv")));
}

TEST_F(ImportExportTest, EngineMaintainedColumnsAreLeftToTheEngine) {
    ok({"create", "t", "Id,AutoInc;Name,Char,10;Changed,ModTime;"});
    write_file(file("in.csv"), "Id,Name\r\n77,a\r\n78,b\r\n");
    ToolResult imported = ok({"import", "t", "in.csv"});
    EXPECT_NE(std::string::npos, imported.err.find("the engine sets Id (AutoInc)")) << imported.err;
    const std::vector<std::string> lines = lines_of(ok({"export", "t"}).out);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("Id,Name,Changed", lines[0]);
    EXPECT_TRUE(lines[1].starts_with("1,a,20")) << lines[1];  // the engine stamped the time
    EXPECT_TRUE(lines[2].starts_with("2,b,20")) << lines[2];
}

TEST_F(ImportExportTest, ABadRowStopsTheImportAtItsLineAndKeepsTheRowsBefore) {
    // Three good rows on lines 2 to 5 (the second spans two lines), then the bad one on line
    // 6, then a good one that must not be imported.
    const std::string good =
        "Name,Qty,Born,Ok\r\nab,1,2024-01-01,T\r\n\"c\r\nd\",2,,F\r\ne,3,,\r\n";
    struct Case {
        std::string row;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"x,abc,,", "field Qty: \"abc\" is not a whole number"},
        {"x,99999999999,,", "field Qty: \"99999999999\" does not fit an Integer field"},
        {"toolong,1,,", "field Name: \"toolong\" has 7 characters; the field holds 5"},
        {"Łx,1,,", "field Name: \"Łx\" has characters that Windows-1252 cannot hold"},
        {"x,1,2024-02-30,", "field Born: \"2024-02-30\" is not a date (YYYY-MM-DD)"},
        {"x,1,,maybe", "field Ok: \"maybe\" is not a logical value"},
        {"Jo\xE3o,1,,", "field Name: \"Jo?o\" is not UTF-8 text (save the CSV file as UTF-8)"},
        {"x,1,,,extra", "5 values, but the header has 4"},
        {"x,1", "2 values, but the header has 4"},
        {"\"x,1,,", "a quoted value is never closed"},
        {"x\"y,1,,", "a quote inside a value that is not quoted"},
        {"\"x\"y,1,,", "text after the closing quote"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.row);
        ok({"create", "t", "Name,Char,5;Qty,Integer;Born,Date;Ok,Logical;", "--replace"});
        write_file(file("in.csv"), good + test.row + "\r\nz,4,,\r\n");
        ToolResult result = tool({"import", "t", "in.csv"});
        EXPECT_ONE_LINE_FAILURE(result);
        EXPECT_NE(std::string::npos, result.err.find("in.csv line 6")) << result.err;
        EXPECT_NE(std::string::npos, result.err.find(test.reason)) << result.err;
        EXPECT_NE(std::string::npos, result.err.find("3 rows before it were imported"))
            << result.err;
        EngineView view(file("t.adt"));
        EXPECT_EQ(3u, view.count());
        std::vector<std::string> names;
        view.each([&] { names.push_back(view.text("Name")); });
        EXPECT_EQ((std::vector<std::string>{"ab", "c\r\nd", "e"}), names);
    }
}

TEST_F(ImportExportTest, ARowTheTableRefusesStopsTheImportAtItsLineInAnyBatch) {
    // Rows go in by batches; a duplicate key is found only when its batch goes in, and must
    // still stop the import at its own line with exactly the rows before it kept.
    for (const char* batch : {"1", "3", "4", "100"}) {
        SCOPED_TRACE(batch);
        ok({"create", "t", "Code,Char,5;", "--replace"});
        ok({"index", "t", "Code", "Code", "--unique"});
        write_file(file("in.csv"), "Code\r\na\r\nb\r\nc\r\nd\r\nb\r\ne\r\n");
        ToolResult result = tool({"import", "t", "in.csv", "--batch", batch});
        EXPECT_ONE_LINE_FAILURE(result);
        EXPECT_NE(std::string::npos, result.err.find("in.csv line 6: the row was not written"))
            << result.err;
        EXPECT_NE(std::string::npos, result.err.find("4 rows before it were imported"))
            << result.err;
        EngineView view(file("t.adt"));
        std::vector<std::string> codes;
        view.each([&] { codes.push_back(view.text("Code")); });
        EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "d"}), codes);
    }
}

TEST_F(ImportExportTest, AHeaderThatDoesNotFitTheTableImportsNothing) {
    ok({"create", "t", "Name,Char,5;Qty,Integer;"});
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Name,Nope\r\na,1\r\n", "in.csv line 1: t.adt has no field \"Nope\""},
        {"Name,qty,NAME\r\na,1,b\r\n", "in.csv line 1: the field Name is named twice"},
        {"", "in.csv is empty"},
        {"\r\n\r\n", "in.csv is empty"},
    };
    for (const auto& [csv, expected] : cases) {
        SCOPED_TRACE(csv);
        write_file(file("in.csv"), csv);
        ToolResult result = tool({"import", "t", "in.csv"});
        EXPECT_ONE_LINE_FAILURE(result);
        EXPECT_NE(std::string::npos, result.err.find(expected)) << result.err;
        EXPECT_EQ(0u, EngineView(file("t.adt")).count());
    }
    ToolResult missing = tool({"import", "t", "missing.csv"});
    EXPECT_ONE_LINE_FAILURE(missing);
    EXPECT_NE(std::string::npos, missing.err.find("cannot read missing.csv")) << missing.err;
}

TEST_F(ImportExportTest, ImportReportsProgressEveryNRowsAndAtTheEnd) {
    ok({"create", "t", "N,Integer;"});
    std::string csv = "N\r\n";
    for (int i = 1; i <= 25; ++i) {
        csv += std::to_string(i) + "\r\n";
    }
    write_file(file("in.csv"), csv);
    ToolResult result = ok({"import", "t", "in.csv", "--progress", "10"});
    EXPECT_EQ((std::vector<std::string>{"import: 10 rows", "import: 20 rows",
                                        "Imported 25 rows into " + file("t.adt").string() + "."}),
              lines_of(result.err));
}

TEST_F(ImportExportTest, ExportWritesToStandardOutputWithoutAFile) {
    ok({"create", "t", "Name,Char,10;Qty,Integer;"});
    write_file(file("in.csv"), "Name,Qty\r\n\"a,b\",1\r\nc,\r\n");
    ok({"import", "t", "in.csv"});
    ToolResult result = ok({"export", "t"});
    EXPECT_EQ("Name,Qty\r\n\"a,b\",1\r\nc,\r\n", result.out);
    EXPECT_NE(std::string::npos, result.err.find("Exported 2 records")) << result.err;

    ToolResult nowhere = tool({"export", "t", "no/such/dir/out.csv"});
    EXPECT_ONE_LINE_FAILURE(nowhere);
    EXPECT_FALSE(std::filesystem::exists(file("no")));
}

// The values of row i (from 1) of the large CSV below.
std::string big_code(int i) {
    return "C" + std::to_string(1000000 + i);
}
std::string big_name(int i) {
    return "Produto numero " + std::to_string(i * 7919 % 100003);
}

TEST_F(ImportExportTest, AKilledImportLeavesASoundTableWithAWholePrefixOfTheRows) {
    ok({"create", "t", "N,Integer;Code,Char,12;Name,Char,40;Born,Date;"});
    ok({"index", "t", "Code", "Code", "--unique"});
    ok({"index", "t", "ByName", "UPPER(Name)"});
    constexpr int kRows = 200000;  // far more than are written before the kill
    std::string csv = "N,Code,Name,Born\r\n";
    for (int i = 1; i <= kRows; ++i) {
        csv += std::to_string(i) + "," + big_code(i) + "," + big_name(i) + ",2024-02-" +
               std::to_string(10 + i % 19) + "\r\n";
    }
    write_file(file("big.csv"), csv);

    constexpr UNSIGNED32 kBatch = 500;
    const pid_t child =
        start_tool(dir(), {"import", "t", "big.csv", "--progress", "500", "--batch", "500"});
    ASSERT_NE(0, child);
    // The progress lines the import has finished writing.
    auto progress = [&] {
        const std::string said = read_file(tool_err_file(dir()));
        return said.substr(0, said.rfind('\n') + 1);
    };
    // Killed once it has said that rows went in, in the middle of writing more.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (progress().find("import: ") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(0, ::kill(child, SIGKILL));
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status)) << "the import ended before it was killed";
    // The last count it reported: every one of those appends had returned.
    std::size_t reported = 0;
    for (const std::string& line : lines_of(progress())) {
        if (line.starts_with("import: ")) {
            reported = std::stoul(line.substr(8));
        }
    }
    ASSERT_GE(reported, 500u);

    ToolResult checked = ok({"check", "t"});
    EXPECT_NE(std::string::npos, checked.out.find(": OK\n  2 indexes agree with the records"))
        << checked.out;
    EngineView view(file("t.adt"));
    const UNSIGNED32 count = view.count();
    // Whole synced batches: at most the one being written when killed is lost.
    EXPECT_EQ(0u, count % kBatch) << count;
    EXPECT_GE(count + kBatch, reported);
    EXPECT_LT(count, static_cast<UNSIGNED32>(kRows));
    // The rows in the table are the first rows of the file, each whole.
    int expected = 0;
    bool all_whole = true;
    view.each([&] {
        ++expected;
        SIGNED32 n = 0;
        AdsGetLong(view.table(), u8("N"), &n);
        const bool whole = n == expected && view.text("Code") == big_code(expected) &&
                           view.text("Name") == big_name(expected) && !view.text("Born").empty();
        if (!whole && all_whole) {
            ADD_FAILURE() << "record " << expected << " is not row " << expected << " whole";
        }
        all_whole = all_whole && whole;
    });
    EXPECT_EQ(count, static_cast<UNSIGNED32>(expected));
    // And the import can go on from where it stopped: the unique index holds every code once.
    std::string rest = "N,Code,Name,Born\r\n";
    for (int i = expected + 1; i <= expected + 3; ++i) {
        rest += std::to_string(i) + "," + big_code(i) + "," + big_name(i) + ",\r\n";
    }
    write_file(file("rest.csv"), rest + "1," + big_code(1) + ",again,\r\n");
    ToolResult again = tool({"import", "t", "rest.csv"});
    EXPECT_ONE_LINE_FAILURE(again);
    EXPECT_NE(std::string::npos, again.err.find("line 5: the row was not written")) << again.err;
    EXPECT_NE(std::string::npos, again.err.find("3 rows before it were imported")) << again.err;
    EXPECT_EQ(0, tool({"check", "t"}).exit_code);
}

}  // namespace
}  // namespace varelum::store::testing
