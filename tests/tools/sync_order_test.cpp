// varelum-store's bulk work reaches the disk in an order that survives a power cut. The tool
// runs with the engine's test build preloaded, which traces every write, sync and rename of
// files and folders into a file: each batch of an import or a demo is synced before the next
// begins, every new table and the rewritten ads.ini are synced before their rename and their
// folder after it.
#include "engine/sync_trace.h"
#include "store_test_support.h"

namespace varelum::store::testing {
namespace {

using engine::testing::Event;
using engine::testing::expect_synced_commits;
using engine::testing::expect_synced_replace;
using engine::testing::parse_trace;
using engine::testing::writes_and_syncs;

class SyncOrderTest : public StoreToolTest {
  protected:
    // Runs the tool with the engine's test build tracing it; answers the events.
    std::vector<Event> traced(const std::vector<std::string>& arguments) {
        const std::filesystem::path trace = file(".trace");
        std::filesystem::remove(trace);
        // The sanitizer build wants its runtime loaded first; the preloaded library carries
        // it too. The build's own options are kept.
        std::string sanitizer = "ASAN_OPTIONS=verify_asan_link_order=0";
        if (const char* options = std::getenv("ASAN_OPTIONS")) {
            sanitizer += std::string(":") + options;
        }
        ToolResult result =
            finish_tool(dir(), start_tool(dir(), arguments, "/dev/null",
                                          {"LD_PRELOAD=" VARELUM_ENGINE_TESTING_LIBRARY,
                                           "VARELUM_TEST_TRACE=" + trace.string(), sanitizer}));
        EXPECT_EQ(0, result.exit_code) << result.err;
        EXPECT_TRUE(std::filesystem::exists(trace)) << "the tool left no trace";
        return parse_trace(read_file(trace));
    }
};

TEST_F(SyncOrderTest, AnImportCommitsEachBatchSyncedBeforeTheNextBegins) {
    ok({"create", "T", "Code,Integer;Name,Char,20;"});
    ok({"index", "T", "ByCode", "Code", "--unique"});
    std::string csv = "Code,Name\n";
    for (int i = 1; i <= 3500; ++i) {
        csv += std::to_string(i) + ",name" + std::to_string(i) + "\n";
    }
    write_file(file("rows.csv"), csv);
    auto events = traced({"import", "T", "rows.csv", "--batch", "1000"});
    expect_synced_commits(writes_and_syncs(events, file("T.adt").string()), 4);
}

TEST_F(SyncOrderTest, ADemoSyncsItsTablesBatchesAndAdsIni) {
    const std::filesystem::path store = file("demo");
    auto events = traced({"demo", store.string(), "--products", "5000"});
    for (const char* table : {"CadProdutos.adt", "CadFuncionariosLojas.adt", "Auditoria.adt"}) {
        SCOPED_TRACE(table);
        expect_synced_replace(events, (store / table).string(), store.string());
    }
    expect_synced_replace(events, (store / "ads.ini").string(), store.string());

    // Every commit is synced once and nothing waits for the disk again after the last (no
    // flush, no empty last batch). 5,000 products are two batches of rows and the index tags
    // add a commit each: a commit per row would be thousands, one unsynced run a single one.
    // The staff are a few rows; the audit table is made empty, its file written only before
    // its rename.
    struct Case {
        const char* table;
        std::size_t fewest, most;  // commits
    };
    for (const Case& c : {Case{"CadProdutos.adt", 2, 2 + 4},
                          Case{"CadFuncionariosLojas.adt", 1, 100}, Case{"Auditoria.adt", 0, 0}}) {
        SCOPED_TRACE(c.table);
        const std::string letters = writes_and_syncs(events, (store / c.table).string());
        const auto commits =
            static_cast<std::size_t>(std::count(letters.begin(), letters.end(), 'W')) / 2;
        expect_synced_commits(letters, commits);
        EXPECT_GE(commits, c.fewest) << letters;
        EXPECT_LE(commits, c.most) << letters;
    }
}

}  // namespace
}  // namespace varelum::store::testing
