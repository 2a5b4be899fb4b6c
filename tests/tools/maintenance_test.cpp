// pack, zap and check: removing deleted records, removing all records, and the consistency
// check on a good table and on damaged files (exit code 1 with a message, never a crash).
#include <fcntl.h>
#include <unistd.h>

#include "store_test_support.h"

namespace varelum::store::testing {
namespace {

class MaintenanceTest : public StoreToolTest {
  protected:
    // A table t.adt of five rows, N = 1..5.
    void make_table() {
        ok({"create", "t", "N,Integer;Name,Char,10;"});
        write_file(file("in.csv"), "N,Name\r\n1,a\r\n2,b\r\n3,c\r\n4,d\r\n5,e\r\n");
        ok({"import", "t", "in.csv"});
    }
    // Marks the records with these numbers deleted, through the engine.
    void delete_records(std::initializer_list<UNSIGNED32> records) {
        EngineView view(file("t.adt"), 0);
        for (UNSIGNED32 record : records) {
            ASSERT_EQ(VE_SUCCESS, AdsGotoRecord(view.table(), record));
            ASSERT_EQ(VE_SUCCESS, AdsDeleteRecord(view.table()));
        }
    }
};

TEST_F(MaintenanceTest, PackRemovesTheDeletedRecordsThatExportAndInfoLeaveOut) {
    make_table();
    delete_records({2, 4});
    EXPECT_NE(std::string::npos, ok({"info", "t"}).out.find("Records:  3 (and 2 marked deleted)"));
    EXPECT_EQ("N,Name\r\n1,a\r\n3,c\r\n5,e\r\n", ok({"export", "t"}).out);

    ToolResult packed = ok({"pack", "t"});
    EXPECT_NE(std::string::npos,
              packed.out.find("removed 2 records marked deleted; 3 records remain"))
        << packed.out;
    EXPECT_NE(std::string::npos, ok({"info", "t"}).out.find("Records:  3\n"));
    EXPECT_EQ("N,Name\r\n1,a\r\n3,c\r\n5,e\r\n", ok({"export", "t"}).out);
    // Packing renumbers: the old record 3 is record 2 now.
    EngineView view(file("t.adt"));
    ASSERT_EQ(VE_SUCCESS, AdsGotoRecord(view.table(), 2));
    EXPECT_EQ("c", view.text("Name"));
}

TEST_F(MaintenanceTest, ZapRemovesEveryRecordAndKeepsTheFields) {
    make_table();
    ToolResult zapped = ok({"zap", "t.adt"});
    EXPECT_NE(std::string::npos, zapped.out.find("removed 5 records")) << zapped.out;
    EngineView view(file("t.adt"));
    EXPECT_EQ(0u, view.count());
    EXPECT_EQ((std::vector<std::string>{"N", "Name"}), view.field_names());
}

TEST_F(MaintenanceTest, PackAndZapNeedTheTableToThemselves) {
    make_table();
    EngineView reader(file("t.adt"));  // another process has it open
    for (const char* command : {"pack", "zap"}) {
        SCOPED_TRACE(command);
        ToolResult result = tool({command, "t"});
        EXPECT_ONE_LINE_FAILURE(result);
        EXPECT_NE(std::string::npos, result.err.find("in use")) << result.err;
    }
    EXPECT_EQ(5u, reader.count());
}

TEST_F(MaintenanceTest, CheckPassesAGoodTable) {
    make_table();
    ToolResult result = ok({"check", "t"});
    EXPECT_EQ(file("t.adt").string() + ": OK\n", result.out);
}

TEST_F(MaintenanceTest, CheckFindsDamagedFilesWithoutCrashing) {
    // A table big enough to span many pages, then copies damaged in different ways.
    ok({"demo", "store", "--products", "1500"});
    const std::filesystem::path good = file("store") / "CadProdutos.adt";
    const std::string original = read_file(good);
    ASSERT_GT(original.size(), 200000u);

    struct Case {
        std::string name;
        std::string bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"truncated", original.substr(0, 5000)});
    cases.push_back({"empty", ""});
    cases.push_back({"garbage", std::string(100000, '\x5A')});
    for (std::size_t offset : {std::size_t{100000}, std::size_t{200000}}) {
        std::string damaged = original;
        for (std::size_t i = 0; i < 2000; ++i) {
            damaged[offset + i] = "GARBAGE"[i % 7];
        }
        cases.push_back({"garbage at " + std::to_string(offset), damaged});
    }
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        write_file(file("bad.adt"), test.bytes);
        std::filesystem::remove(file("bad.adt-lock"));
        ToolResult result = tool({"check", "bad"});
        EXPECT_ONE_LINE_FAILURE(result);
        EXPECT_NE(std::string::npos, result.err.find("bad.adt is damaged")) << result.err;
        EXPECT_TRUE(result.out.starts_with(file("bad.adt").string() + ":\n")) << result.out;
    }
    // The original is untouched by all this.
    EXPECT_EQ(0, tool({"check", good.string()}).exit_code);
}

TEST_F(MaintenanceTest, RecoverCopiesTheIntactRecordsAndNamesTheLostOnes) {
    ok({"demo", "store", "--products", "1500"});
    const std::filesystem::path good = file("store") / "CadProdutos.adt";
    const std::string original = read_file(good);

    ToolResult whole = ok({"recover", good.string(), file("whole").string()});
    EXPECT_NE(std::string::npos, whole.out.find("Recovered 1500 records")) << whole.out;
    EXPECT_NE(std::string::npos, whole.out.find("No record was lost.")) << whole.out;
    EXPECT_NE(std::string::npos, whole.err.find("recover: 100%")) << whole.err;
    EXPECT_EQ(0, tool({"check", "whole"}).exit_code);
    EXPECT_EQ(ok({"export", good.string()}).out, ok({"export", "whole"}).out);

    std::string damaged = original;
    for (std::size_t i = 0; i < 2000; ++i) {
        damaged[100000 + i] = "GARBAGE"[i % 7];
    }
    write_file(file("bad.adt"), damaged);
    ToolResult result = tool({"recover", "bad", "saved"});
    EXPECT_EQ(1, result.exit_code) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("Lost: ")) << result.out;
    EXPECT_EQ(0, tool({"check", "saved"}).exit_code);
    EXPECT_EQ(damaged, read_file(file("bad.adt"))) << "recover changed the damaged file";

    ToolResult again = tool({"recover", "bad", "saved"});
    EXPECT_ONE_LINE_FAILURE(again);
    EXPECT_NE(std::string::npos, again.err.find("exists already")) << again.err;
}

TEST_F(MaintenanceTest, CheckOfAMissingTableIsAnError) {
    ToolResult result = tool({"check", "missing"});
    EXPECT_ONE_LINE_FAILURE(result);
    EXPECT_NE(std::string::npos, result.err.find("does not exist")) << result.err;
}

}  // namespace
}  // namespace varelum::store::testing
