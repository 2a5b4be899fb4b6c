// The long work of varelum-store on a terminal: pack, reindex, index creation, copy and import
// show a percent rising to 100 on one line that is erased at the end, and Ctrl-C stops them
// cleanly: exit status 130, one message, and the table as it was (import: whole batches only).
#include <signal.h>

#include "progress_display.h"
#include "sanitized_build.h"
#include "store_test_support.h"

namespace varelum::store::testing {
namespace {

// Enough that each piece of work reports many percents and is still under way when Ctrl-C
// comes.
constexpr int kProducts = varelum::testing::kSanitizedBuild ? 5000 : 50000;

class ProgressTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        store_ = new TempDir;
        ASSERT_EQ(0,
                  run_tool(store_->path(), {"demo", ".", "--products", std::to_string(kProducts)})
                      .exit_code);
        // Records marked deleted, for pack to remove (each its own synced write, so few).
        EngineView view(std::filesystem::path(store_->path()) / "CadProdutos.adt", 0);
        for (UNSIGNED32 record = 1; record <= kProducts; record += kProducts / 50) {
            ASSERT_EQ(VE_SUCCESS, AdsGotoRecord(view.table(), record));
            ASSERT_EQ(VE_SUCCESS, AdsDeleteRecord(view.table()));
        }
    }
    static void TearDownTestSuite() {
        delete store_;
        store_ = nullptr;
    }

    // A fresh copy of the store's product table in this test's own directory.
    void SetUp() override {
        std::filesystem::copy_file(std::filesystem::path(store_->path()) / "CadProdutos.adt",
                                   dir() / "CadProdutos.adt");
    }

    std::filesystem::path dir() const { return dir_.path(); }
    std::filesystem::path table() const { return dir() / "CadProdutos.adt"; }

    // Runs the work on a terminal and expects its percents 0..100, rising, the line erased.
    TerminalRun run_whole(const std::vector<std::string>& arguments, const std::string& label) {
        TerminalRun run = run_on_terminal(dir(), arguments, label, false);
        EXPECT_EQ(0, run.exit_code) << run.shown;
        const std::vector<int> seen = percents(run.shown, label);
        EXPECT_FALSE(seen.empty()) << run.shown;
        if (!seen.empty()) {
            EXPECT_EQ(0, seen.front()) << run.shown;
            EXPECT_EQ(100, seen.back()) << run.shown;
            EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << run.shown;
        }
        // Erased at the end: blanks over the last percent, and the cursor back at the start.
        const std::size_t last = run.shown.rfind("\r" + label + ": ");
        const std::size_t blank = run.shown.find("\r", last + 1);
        EXPECT_TRUE(blank != std::string::npos &&
                    run.shown.find_first_not_of(' ', blank + 1) != std::string::npos &&
                    run.shown[run.shown.find_first_not_of(' ', blank + 1)] == '\r')
            << run.shown;
        return run;
    }

    // Runs the work on a terminal and interrupts it once under way. A machine so busy that the
    // work ends before the signal lands gets another try (arguments_for numbers the tries).
    template <typename ArgumentsFor>
    TerminalRun run_interrupted(ArgumentsFor arguments_for, const std::string& label) {
        TerminalRun run;
        for (int attempt = 0; attempt < 3; ++attempt) {
            run = run_on_terminal(dir(), arguments_for(attempt), label, true);
            if (run.exit_code != 0) {
                break;
            }
        }
        EXPECT_EQ(kInterruptedExitCode, run.exit_code) << run.shown;
        EXPECT_NE(std::string::npos, run.shown.find("interrupted")) << run.shown;
        const std::vector<int> seen = percents(run.shown, label);
        EXPECT_TRUE(!seen.empty() && seen.back() < 100) << run.shown;
        return run;
    }

  private:
    static TempDir* store_;
    TempDir dir_;
};

TempDir* ProgressTest::store_ = nullptr;

TEST_F(ProgressTest, EngineWorkShowsItsPercentAndCtrlCKeepsNothing) {
    struct Case {
        std::string label;
        std::vector<std::string> arguments;
    };
    const std::vector<Case> cases = {
        {"pack", {"pack", "CadProdutos"}},
        {"reindex", {"reindex", "CadProdutos"}},
        {"index", {"index", "CadProdutos", "ByName", "Descricao"}},
        {"copy", {"copy", "CadProdutos", "Copia"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.label);
        const std::string before = read_file(table());
        TerminalRun stopped = run_interrupted(
            [&](int attempt) {
                std::vector<std::string> arguments = test.arguments;
                if (attempt > 0) {
                    // The try before went through: start again from the table as it was.
                    write_file(table(), before);
                    std::filesystem::remove(dir() / "Copia.adt");
                }
                return arguments;
            },
            test.label);
        EXPECT_NE(std::string::npos,
                  stopped.shown.find(": interrupted; nothing was changed (6080)"))
            << stopped.shown;
        EXPECT_TRUE(before == read_file(table())) << "the table changed";
        EXPECT_FALSE(std::filesystem::exists(dir() / "Copia.adt"));
        EXPECT_EQ(0, run_tool(dir(), {"check", "CadProdutos"}).exit_code);

        run_whole(test.arguments, test.label);
        EXPECT_EQ(0, run_tool(dir(), {"check", "CadProdutos"}).exit_code);
    }
    // The copy carries the records not marked deleted and the tags, built anew.
    const ToolResult info = run_tool(dir(), {"info", "Copia"});
    EXPECT_NE(std::string::npos, info.out.find("Indexes:  3")) << info.out;
    EXPECT_EQ(0, run_tool(dir(), {"check", "Copia"}).exit_code);
    EXPECT_EQ(run_tool(dir(), {"export", "CadProdutos"}).out,
              run_tool(dir(), {"export", "Copia"}).out);
}

TEST_F(ProgressTest, ImportShowsThePercentOfTheFileAndCtrlCKeepsWholeBatches) {
    const ToolResult exported = run_tool(dir(), {"export", "CadProdutos", "products.csv"});
    ASSERT_EQ(0, exported.exit_code) << exported.err;
    const std::string definition =
        "CodProduto,Char,20;CodBarras,Char,20;CodGrupo,Char,6;Descricao,Char,60;Unidade,Char,4;"
        "PrecoVenda,Numeric,12,2;QtdeAtual,Integer;Ativo,Logical;DataCadastro,Date;";
    ASSERT_EQ(0, run_tool(dir(), {"create", "t", definition}).exit_code);

    const TerminalRun stopped = run_interrupted(
        [&](int attempt) {
            if (attempt > 0) {
                EXPECT_EQ(0, run_tool(dir(), {"zap", "t"}).exit_code);
            }
            return std::vector<std::string>{"import", "t", "products.csv", "--batch", "1000"};
        },
        "import");
    EXPECT_NE(std::string::npos, stopped.shown.find("interrupted; ")) << stopped.shown;
    {
        EngineView view(dir() / "t.adt");
        EXPECT_EQ(0u, view.count() % 1000) << "whole batches only";
        EXPECT_NE(std::string::npos, stopped.shown.find(std::to_string(view.count()) +
                                                        " rows before it were imported"))
            << stopped.shown;
    }
    EXPECT_EQ(0, run_tool(dir(), {"check", "t"}).exit_code);

    ASSERT_EQ(0, run_tool(dir(), {"zap", "t"}).exit_code);
    run_whole({"import", "t", "products.csv"}, "import");
    EXPECT_EQ(run_tool(dir(), {"export", "CadProdutos"}).out, run_tool(dir(), {"export", "t"}).out);
}

}  // namespace
}  // namespace varelum::store::testing
