// The real program, started as a process on the offscreen platform over a demo store in a
// temporary directory: a second copy hands over and ends, the first goes on and a later copy
// runs normally; a missing engine library ends the start with the "Application Error" box. The
// program reports its boxes and its window's showing on standard error there (nobody could
// answer a box), which is what these tests read. Each test starts its copies in an instance scope
// of its own, so that a copy the user is running meanwhile (which the fixture stands in for by
// holding the program's name in the user's scope) is neither found nor disturbed.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/named_system_object.h"
#include "app/program_layout.h"
#include "e2e/e2e_support.h"

namespace varelum::e2e {
namespace {

using namespace std::chrono_literals;

constexpr const char* WindowShown = "window shown: Conferência de Estoque";
// Long enough for a slow (sanitizer) build to load Qt, the engine and the store.
constexpr auto StartTimeout = 60s;

int Occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

class ProgramProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        const TProcessResult demo = RunProcess(VARELUM_STORE_TOOL, {"demo", Store.Path()});
        ASSERT_EQ(demo.ExitCode, 0) << demo.Err;
        // The user's own copy of the program, as far as the guard can tell: the program's name
        // held in the user's scope (or, when one really runs, already held by it).
        const TScopedEnvironment userScope(app::InstanceScopeVariable, std::nullopt);
        UsersCopy = app::CreateNamedSystemObject(app::TKrelOneInstance::NamePrefix +
                                                 std::to_string(app::ProgramIdApplication));
        ASSERT_TRUE(UsersCopy.Handle.Valid()) << "error " << UsersCopy.LastError;
    }

    std::vector<std::pair<std::string, std::string>> Environment() const {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        return {{"adsini_path", Store.Path()},
                {"QT_QPA_PLATFORM", "offscreen"},
                {"VARELUM_MESSAGE_BOXES", "stderr"},
                {app::InstanceScopeVariable,
                 std::string(test->name()) + "." + std::to_string(::getpid())}};
    }

    TTempDirectory Store;
    app::TNamedObjectResult UsersCopy;
};

TEST_F(ProgramProcess, ASecondCopyShowsItsWindowOnceAndEndsWhileTheFirstGoesOn) {
    TChildProcess first(VARELUM_PROGRAM, {}, Environment());
    ASSERT_TRUE(first.WaitForError(WindowShown, StartTimeout)) << first.Wait().Err;

    TChildProcess second(VARELUM_PROGRAM, {}, Environment());
    const TProcessResult& handedOver = second.Wait(StartTimeout);
    EXPECT_EQ(handedOver.ExitCode, 0) << handedOver.Err;
    EXPECT_EQ(Occurrences(handedOver.Err, WindowShown), 1) << handedOver.Err;
    EXPECT_EQ(handedOver.Err.find("error: "), std::string::npos) << handedOver.Err;

    // The first copy is untouched by it, and ends the ordinary way when asked to.
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(first.Running());
    first.Signal(SIGTERM);
    const TProcessResult& firstEnd = first.Wait(StartTimeout);
    EXPECT_EQ(firstEnd.ExitCode, 0) << firstEnd.Err;
    EXPECT_EQ(Occurrences(firstEnd.Err, WindowShown), 1) << firstEnd.Err;
    // Its first showing opened the staff table and the product list without an error box.
    EXPECT_EQ(firstEnd.Err.find("error: "), std::string::npos) << firstEnd.Err;

    // With the first gone, a new copy is the first again: it stays until it is asked to end.
    TChildProcess later(VARELUM_PROGRAM, {}, Environment());
    ASSERT_TRUE(later.WaitForError(WindowShown, StartTimeout)) << later.Wait().Err;
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(later.Running()) << later.Wait().Err;
    later.Signal(SIGTERM);
    EXPECT_EQ(later.Wait(StartTimeout).ExitCode, 0);
}

TEST_F(ProgramProcess, AStoreThatCannotBeReachedIsReportedAndTheWindowStays) {
    Store.WriteFile("ads.ini", "[Databases]\nOTHER = " + Store.Path() + "\n");
    TChildProcess program(VARELUM_PROGRAM, {}, Environment());
    // The window's first showing fails to open the staff table: one error box, then the window
    // is up and the loop runs as usual.
    ASSERT_TRUE(program.WaitForError(WindowShown, StartTimeout)) << program.Wait().Err;
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(program.Running());
    program.Signal(SIGTERM);
    const TProcessResult& result = program.Wait(StartTimeout);
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(Occurrences(result.Err, "error: Varelum: "), 1) << result.Err;
    EXPECT_NE(result.Err.find("BALDERIM"), std::string::npos) << result.Err;
    EXPECT_LT(result.Err.find("error: Varelum: "), result.Err.find(WindowShown)) << result.Err;
}

TEST_F(ProgramProcess, WithoutTheEngineLibraryTheStartFailsWithTheApplicationErrorBox) {
    std::vector<std::pair<std::string, std::string>> environment = Environment();
    environment.emplace_back("VARELUM_ENGINE_LIBRARY", Store / "missing/libvarelum-engine.so");
    TChildProcess program(VARELUM_PROGRAM, {}, environment);
    const TProcessResult& result = program.Wait(StartTimeout);

    EXPECT_EQ(result.ExitCode, 1) << result.Err;
    EXPECT_EQ(result.Err.find("window shown"), std::string::npos) << result.Err;
    const std::string box =
        "application error: Application Error: Exception EExternalException in module ";
    const std::size_t at = result.Err.find(box);
    ASSERT_NE(at, std::string::npos) << result.Err;
    const std::string line = result.Err.substr(at, result.Err.find('\n', at) - at);
    EXPECT_NE(line.find(" at "), std::string::npos) << line;
    EXPECT_NE(line.find("External exception C0FB007E."), std::string::npos) << line;
}

}  // namespace
}  // namespace varelum::e2e
