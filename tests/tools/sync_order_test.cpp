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

    // 5,000 products are two batches of rows; the index tags add a commit each. A commit per
    // row would be thousands, one unsynced run at the end a single one.
    const std::string products = writes_and_syncs(events, (store / "CadProdutos.adt").string());
    const auto write_runs =
        static_cast<std::size_t>(std::count(products.begin(), products.end(), 'W'));
    EXPECT_EQ('S', products.empty() ? '?' : products.back()) << products;
    EXPECT_GE(write_runs, 2u * 2u) << products;
    EXPECT_LE(write_runs, 2u * (2u + 4u)) << products;
}

}  // namespace
}  // namespace varelum::store::testing
