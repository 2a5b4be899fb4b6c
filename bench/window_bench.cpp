// The count's window on a shop of 1,000,000 products (varelum-store demo, made once per run in
// a temporary directory, or the store named by VARELUM_BENCH_STORE): the main window built from
// the program's stored layout over the real components and engine, on the offscreen platform.
//
// - StartUp: from reading the layout to the window shown with its product list open and every
//   pending event handled, so that the chooser answers the next key at once. Counters: when the
//   window was first painted, and the resident memory after the first start-up (this case runs
//   first in the process).
// - OpenCount: F2 with a password, which closes and opens the product list again.
// - FirstKey: the first key typed into the chooser right after the list was opened (F2).
// - The peers in the same run: the engine alone running the product list's statement (what
//   opening the list costs under the window), and the chooser as it was before: every row read
//   into a copy (ReadAllRows) and given to a QComboBox, with the first key typed into that.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ace_bench_support.h"
#include "ads/ace.h"
#include "ads/adsdata_registry.h"
#include "ads/adstable_query.h"
#include "app/application.h"
#include "app/program_layout.h"
#include "app/qt_top_level_windows.h"
#include "count/conferencia_estoque_ads_store.h"
#include "count/senha_acesso.h"
#include "ui/conferencia_estoque_window.h"
#include "ui/dataset_snapshot.h"
#include "ui/db_lookup_combo_box.h"
#include "ui/message_boxes.h"

namespace {

using namespace varelum;

constexpr const char* kProducts = "1000000";
constexpr std::uint16_t kF2 = 113;
constexpr std::uint16_t kF4 = 115;

std::string StoreDirectory() {
    static const std::string directory = [] {
        if (const char* given = std::getenv("VARELUM_BENCH_STORE"); given != nullptr && *given) {
            return std::string(given);
        }
        std::string pattern =
            (std::filesystem::temp_directory_path() / "varelum-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        const std::string command = std::string(VARELUM_STORE_TOOL) + " demo " + pattern +
                                    " --products " + kProducts + " > /dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cannot make the demo store in %s\n", pattern.c_str());
            std::abort();
        }
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(StoreDirectory(), ignored);
        });
        return pattern;
    }();
    return directory;
}

double ResidentMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0.0;
}

void Settle() {
    for (int turn = 0; turn < 3; ++turn) {
        QCoreApplication::processEvents();
    }
}

class TBoxes final : public app::TMessageBoxShower {
  public:
    void ShowErrorBox(const std::string&, const std::string& text) override { Report(text); }
    void ShowTaskModalErrorBox(const std::string&, const std::string& text) override {
        Report(text);
    }

  private:
    static void Report(const std::string& text) {
        std::fprintf(stderr, "error box: %s\n", text.c_str());
    }
};

class TNotices final : public ui::TMessageBoxes {
  public:
    void ShowNotice(const std::string&, const std::string& text) override {
        std::fprintf(stderr, "notice: %s\n", text.c_str());
    }
    void ShowError(const std::string&, const std::string& text) override {
        std::fprintf(stderr, "error: %s\n", text.c_str());
    }
};

class TLoop final : public app::TEventLoopHost {
  public:
    void PostQuitRequest() override {}
    void CancelMouseCapture() override {}
};

// The password dialog, answered at once with a demo employee's password.
class TAnsweredDialog final : public count::TSenhaAcessoDialog {
  public:
    void ShowModal() override {}
    std::string Password() const override { return "MARIA123"; }
};
class TAnsweredDialogs final : public count::TSenhaAcessoDialogFactory {
  public:
    std::unique_ptr<count::TSenhaAcessoDialog> CreateSenhaAcessoForm1() override {
        return std::make_unique<TAnsweredDialog>();
    }
};

// The program's main window over the store (without the single-instance guard, which would
// hold the program's instance name), shown.
class TCountWindow {
  public:
    TCountWindow() {
        const app::TLayoutServices services{FApplication, FWindows, {}, {}};
        rtl::TStoredLayout layout = app::ConferenciaEstoqueLayout(services);
        std::erase_if(layout.Components, [](const rtl::TStoredComponent& component) {
            return component.Name == "KrelOneInstance1";
        });
        FRoot = std::make_unique<rtl::TComponent>();
        FRoot->SetName(app::MainFormComponentName);
        rtl::TComponentReader::Read(*FRoot, layout);
        Components = app::FindConferenciaEstoqueComponents(*FRoot);
        FStore = std::make_unique<count::TConferenciaEstoqueAdsStore>(
            *Components.TbCadFuncionariosLojas, *Components.TbAuditoria, *Components.QyCadProdutos,
            *Components.Query1);
        Window = std::make_unique<ui::TConferenciaEstoqueWindow>(
            *FStore, FNotices, "Varelum", [] {}, &FDialogs);
        Window->show();
    }
    ~TCountWindow() {
        Window.reset();
        FStore.reset();
        FRoot.reset();
    }

    app::TConferenciaEstoqueComponents Components;
    std::unique_ptr<ui::TConferenciaEstoqueWindow> Window;

  private:
    TBoxes FBoxes;
    TLoop FLoop;
    app::TApplication FApplication{FBoxes, FLoop};
    app::TQtTopLevelWindows FWindows;
    TNotices FNotices;
    TAnsweredDialogs FDialogs;
    std::unique_ptr<rtl::TComponent> FRoot;
    std::unique_ptr<count::TConferenciaEstoqueAdsStore> FStore;
};

// Notes when a widget is first painted.
class TFirstPaint final : public QObject {
  public:
    explicit TFirstPaint(QElapsedTimer& clock) : FClock(clock) {}
    double Seconds = -1.0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && Seconds < 0.0 && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            Seconds = static_cast<double>(FClock.nsecsElapsed()) / 1e9;
        }
        return false;
    }

  private:
    QElapsedTimer& FClock;
};

void OpenCount(TCountWindow& window) {
    window.Window->Form().FormKeyDown(kF2);
    Settle();
}

void TypeIntoChooser(TCountWindow& window, char key) {
    ui::TDBLookupComboBox& chooser = *window.Window->DBLookupComboBox1();
    chooser.setFocus();
    QTest::keyClick(&chooser, key);
    Settle();
}

void BM_StartUp(benchmark::State& state) {
    StoreDirectory();
    double drawn = 0.0;
    double resident = -1.0;
    for (auto _ : state) {
        QElapsedTimer clock;
        TFirstPaint firstPaint(clock);
        qApp->installEventFilter(&firstPaint);
        clock.start();
        auto window = std::make_unique<TCountWindow>();
        Settle();
        state.PauseTiming();
        qApp->removeEventFilter(&firstPaint);
        drawn += firstPaint.Seconds;
        if (resident < 0.0) {
            resident = ResidentMegabytes();
        }
        if (!window->Components.QyCadProdutos->Active()) {
            state.SkipWithError("the product list did not open");
        }
        window.reset();
        Settle();
        state.ResumeTiming();
    }
    state.counters["first_paint_s"] = drawn / static_cast<double>(state.iterations());
    state.counters["resident_MB"] = resident;
}

void BM_OpenCount(benchmark::State& state) {
    TCountWindow window;
    Settle();
    for (auto _ : state) {
        OpenCount(window);
        state.PauseTiming();
        if (!window.Components.QyCadProdutos->Active()) {
            state.SkipWithError("no count was opened");
        }
        window.Window->Form().FormKeyDown(kF4);
        Settle();
        state.ResumeTiming();
    }
}

void BM_FirstKey(benchmark::State& state) {
    TCountWindow window;
    Settle();
    const double before = ResidentMegabytes();
    for (auto _ : state) {
        state.PauseTiming();
        window.Window->Form().FormKeyDown(kF4);
        OpenCount(window);
        state.ResumeTiming();
        TypeIntoChooser(window, '0');
        state.PauseTiming();
        if (window.Window->DBLookupComboBox1()->Text().empty()) {
            state.SkipWithError("the first key chose nothing");
        }
        state.ResumeTiming();
    }
    state.counters["resident_growth_MB"] = ResidentMegabytes() - before;
    // A whole code from the middle of the list: what choosing far from the first row adds
    // (the engine's index of the places of the list's rows among it).
    // A new choice, after the keyboard interval.
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    for (char key : std::string("0500000")) {
        TypeIntoChooser(window, key);
    }
    state.counters["resident_after_mid_choice_MB"] = ResidentMegabytes();
    if (window.Window->DBLookupComboBox1()->Text() != "0500000") {
        state.SkipWithError("the whole code chose another product");
    }
}

// The peer: the engine alone running the product list's statement and closing its cursor.
void BM_ProductListStatement_Engine(benchmark::State& state) {
    using namespace varelum::ads;
    ADSHANDLE connection = 0;
    if (ace::AdsConnect(varelum::bench::Text8(StoreDirectory()), &connection) != 0) {
        state.SkipWithError("cannot connect");
        return;
    }
    for (auto _ : state) {
        ADSHANDLE statement = 0;
        ADSHANDLE cursor = 0;
        ace::AdsCreateSQLStatement(connection, &statement);
        const UNSIGNED32 result = ace::AdsExecuteSQLDirect(
            statement, varelum::bench::Text8("SELECT *\r\nFROM CadProdutos\r\norder by codproduto"),
            &cursor);
        if (result != 0) {
            state.SkipWithError("the statement failed");
        }
        ace::AdsCloseTable(cursor);
        ace::AdsCloseSQLStatement(statement);
    }
    ace::AdsDisconnect(connection);
}

// The peer: the chooser as it was, a copy of every row in a QComboBox, filled from the open
// product list; the counter is its first key.
void BM_CopyingChooser(benchmark::State& state) {
    TCountWindow window;
    Settle();
    db::TDataSet& products = *window.Components.QyCadProdutos;
    double firstKey = 0.0;
    for (auto _ : state) {
        QComboBox chooser;
        const ui::TDataSetSnapshot snapshot = ui::ReadAllRows(products, {"CodProduto"});
        QStringList texts;
        texts.reserve(static_cast<qsizetype>(snapshot.Rows.size()));
        for (const ui::TDataSetRow& row : snapshot.Rows) {
            texts.push_back(QString::fromStdString(row.Texts.front()));
        }
        chooser.addItems(texts);
        chooser.show();
        // The first key comes right after the list was loaded, as it did in the window.
        const auto start = std::chrono::steady_clock::now();
        QTest::keyClick(&chooser, '0');
        Settle();
        firstKey += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        chooser.hide();
        state.ResumeTiming();
    }
    state.counters["first_key_s"] = firstKey / static_cast<double>(state.iterations());
}

// Start-up first, so that its resident memory is the process's first start-up.
BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenCount)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FirstKey)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ProductListStatement_Engine)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CopyingChooser)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    ::setenv("adsini_path", StoreDirectory().c_str(), 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // As at the program's end: the shared connections go after the components.
    varelum::ads::DynamicConnections().DisconnectAll();
    return 0;
}
