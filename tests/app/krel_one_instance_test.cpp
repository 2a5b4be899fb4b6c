// The single-instance guard with real processes: a first copy holds its name until it ends (also
// when it is killed), a later copy is told of it once, copies started at the same moment are
// ordered by the kernel, and the built-in hand-over ends the process with exit code 0. In-process
// cases cover the properties, the stored-layout order, the name and the window search.
#include "app/krel_one_instance.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/child_process.h"
#include "app/named_system_object.h"
#include "app/recording_boxes.h"
#include "app/start_up.h"
#include "rtl/component_reader.h"

namespace varelum::app {
namespace {

using testing::TChildProcess;
using testing::TPipe;

// A name of this test process's own, so that parallel runs and other tests never share one.
std::int32_t UniqueIdApplication() {
    static std::int32_t next = 0;
    return static_cast<std::int32_t>(::getpid()) * 100 + ++next;
}

// What a test's halt throws instead of ending the test process.
struct THalted {
    int ExitCode;
};

class TTestMainWindow : public TMainForm {
  public:
    std::string Caption() const override { return FCaption; }
    void SetCaption(const std::string& caption) override { FCaption = caption; }
    void CreateNativeWindow() override {}
    void Show() override { ++Shows; }

    int Shows = 0;

  private:
    std::string FCaption;
};

// Records every call, with the main window's caption at the time of the search.
class TRecordingWindows : public TTopLevelWindows {
  public:
    explicit TRecordingWindows(const TApplication& application) : FApplication(application) {}

    TWindowHandle FindWindowByTitle(const std::string& title) override {
        const TMainForm* mainForm = FApplication.MainForm();
        Calls.push_back("find '" + title + "' while titled '" +
                        (mainForm != nullptr ? mainForm->Caption() : "<no main window>") + "'");
        return Found;
    }
    bool IsMinimized(TWindowHandle window) override {
        Calls.push_back("minimized? " + std::to_string(window));
        return Minimized;
    }
    void Restore(TWindowHandle window) override {
        Calls.push_back("restore " + std::to_string(window));
    }
    void ShowNormal(TWindowHandle window) override {
        Calls.push_back("show normal " + std::to_string(window));
    }
    void BringToFront(TWindowHandle window) override {
        Calls.push_back("to front " + std::to_string(window));
    }

    TWindowHandle Found = 0;
    bool Minimized = false;
    std::vector<std::string> Calls;

  private:
    const TApplication& FApplication;
};

// The program's duplicate handler in its shape: a method of the window that ignores the previous
// copy's window and asks the main loop to end.
class TDuplicateHandlingForm {
  public:
    explicit TDuplicateHandlingForm(TApplication& application) : FApplication(application) {}

    void KrelOneInstance1Duplicated(rtl::TComponent* Sender, std::uint32_t PrevInstance) {
        Senders.push_back(Sender);
        PrevInstances.push_back(PrevInstance);
        FApplication.Terminate();
    }

    std::vector<rtl::TComponent*> Senders;
    std::vector<std::uint32_t> PrevInstances;

  private:
    TApplication& FApplication;
};

rtl::TStoredProperty StoredActive(bool value) {
    return rtl::StoredProperty<TKrelOneInstance>(
        "Active", value,
        [](TKrelOneInstance& guard, const rtl::Variant& v) { guard.SetActive(v.AsBoolean()); });
}

rtl::TStoredProperty StoredIdApplication(std::int32_t value) {
    return rtl::StoredProperty<TKrelOneInstance>(
        "IdApplication", value, [](TKrelOneInstance& guard, const rtl::Variant& v) {
            guard.SetIdApplication(v.AsInteger());
        });
}

rtl::TStoredProperty StoredOnVerify(TKrelVerifyEvent handler) {
    return rtl::StoredProperty<TKrelOneInstance>(
        "OnVerify", "Verify",
        [handler](TKrelOneInstance& guard, const rtl::Variant&) { guard.SetOnVerify(handler); });
}

rtl::TStoredProperty StoredOnDuplicated(TKrelDuplicatedEvent handler) {
    return rtl::StoredProperty<TKrelOneInstance>(
        "OnDuplicated", "KrelOneInstance1Duplicated",
        [handler](TKrelOneInstance& guard, const rtl::Variant&) {
            guard.SetOnDuplicated(handler);
        });
}

// One copy of the program as its guard sees it: the application object, the top-level windows,
// the main window's component root that KrelOneInstance1 is read into, and the window's
// duplicate handler.
class TProgramCopy {
  public:
    // Reads KrelOneInstance1 with these stored properties, as building the main window does; its
    // check runs when loading ends, while no main window is registered (unless a test registered
    // one).
    TKrelOneInstance& Read(std::vector<rtl::TStoredProperty> properties) {
        const rtl::TComponentFactory create = [this](rtl::TComponent& owner) {
            Guard = new TKrelOneInstance(&owner, Application, Windows, Halt);
            return static_cast<rtl::TComponent*>(Guard);
        };
        rtl::TStoredLayout layout;
        layout.Components.push_back({"KrelOneInstance1", create, std::move(properties), {}});
        rtl::TComponentReader::Read(Window, layout);
        return *Guard;
    }

    // The program's KrelOneInstance1: its IdApplication (2000 in the program) and the window's
    // duplicate handler.
    TKrelOneInstance& ReadAsTheProgram(std::int32_t idApplication) {
        return Read({StoredIdApplication(idApplication),
                     StoredOnDuplicated(std::bind_front(
                         &TDuplicateHandlingForm::KrelOneInstance1Duplicated, &Form))});
    }

    void RegisterMainWindow(const std::string& caption) {
        MainWindow.SetCaption(caption);
        Application.RegisterMainForm(MainWindow);
    }

    int DuplicateCalls() const { return static_cast<int>(Form.Senders.size()); }

    testing::TRecordingBoxes Boxes;
    testing::TRecordingLoop Loop;
    TApplication Application{Boxes, Loop};
    TRecordingWindows Windows{Application};
    // The built-in hand-over's end; by default it throws instead of ending the test process.
    TProgramHalt Halt = [](int exitCode) { throw THalted{exitCode}; };
    TTestMainWindow MainWindow;
    TDuplicateHandlingForm Form{Application};
    // Last, so that it goes first: its guard uses the members above.
    rtl::TComponent Window;
    TKrelOneInstance* Guard = nullptr;
};

// What a copy in a process of its own reports after its check.
constexpr char ReportFirstCopy = 'F';
constexpr char ReportDuplicate = 'D';
constexpr char ReportConfused = '?';

// A copy of the program in a process of its own: it checks as the program does, reports
// ReportFirstCopy (holding the name) or ReportDuplicate (told once, asked to end the loop), and
// then runs on until Stop, or a signal, ends it. With `startTogether` it checks only once that
// pipe's write ends have all closed. Given another `user`, it becomes that user first (which
// takes root) and reports nothing when it cannot.
class TCopyProcess {
  public:
    explicit TCopyProcess(std::int32_t idApplication, TPipe* startTogether = nullptr,
                          uid_t user = ::getuid())
        : FChild([this, idApplication, startTogether, user] {
              FStop.CloseWrite();
              FReports.CloseRead();
              if (user != ::getuid() &&
                  (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0)) {
                  return 3;
              }
              if (startTogether != nullptr) {
                  startTogether->CloseWrite();
                  startTogether->ReadAll();
              }
              TProgramCopy copy;
              TKrelOneInstance& guard = copy.ReadAsTheProgram(idApplication);
              const bool holds = guard.HoldsInstanceName(guard.InstanceName());
              char report = ReportConfused;
              if (holds && copy.DuplicateCalls() == 0) {
                  report = ReportFirstCopy;
              } else if (!holds && copy.DuplicateCalls() == 1 && copy.Loop.QuitRequests == 1) {
                  report = ReportDuplicate;
              }
              FReports.Write(std::string(1, report));
              FStop.Read(1, std::chrono::hours(1));
              return 0;
          }) {}

    // The copy's report; empty when none came in time.
    std::string Report() { return FReports.Read(1); }

    // Lets the copy end on its own; returns its exit code.
    int Stop() {
        FStop.Write("x");
        return FChild.Wait();
    }

    TChildProcess& Child() { return FChild; }

  private:
    TPipe FStop;
    TPipe FReports;
    TChildProcess FChild;  // after the pipes: the child uses them
};

// Whether some process holds `name` now.
bool NameIsTaken(const std::string& name) {
    return CreateNamedSystemObject(name).LastError == ErrorAlreadyExists;
}

std::string ProgramName(std::int32_t idApplication) {
    return "one_instance_" + std::to_string(idApplication);
}

TEST(KrelOneInstanceTest, StartsActiveWithIdApplicationZeroAndNoHandlers) {
    TProgramCopy copy;
    TKrelOneInstance guard(nullptr, copy.Application, copy.Windows, {});
    EXPECT_TRUE(guard.Active());
    EXPECT_EQ(guard.IdApplication(), 0);
    EXPECT_FALSE(guard.OnVerify());
    EXPECT_FALSE(guard.OnDuplicated());
    EXPECT_EQ(guard.InstanceName(), "one_instance_0");
}

TEST(KrelOneInstanceTest, FirstCopyHoldsTheNameAndALaterCopyIsToldOnceAndEndsItsLoop) {
    const std::int32_t id = UniqueIdApplication();
    TCopyProcess first(id);
    ASSERT_EQ(first.Report(), std::string(1, ReportFirstCopy));

    TProgramCopy second;
    second.Windows.Found = 77;
    TKrelOneInstance& guard = second.ReadAsTheProgram(id);
    ASSERT_EQ(second.DuplicateCalls(), 1);
    EXPECT_EQ(second.Form.Senders[0], &guard);
    EXPECT_EQ(second.Form.PrevInstances[0], 77u);
    EXPECT_EQ(second.Loop.QuitRequests, 1);
    EXPECT_FALSE(guard.HoldsInstanceName(ProgramName(id)));
    // No main window yet: nothing to rename, and the search is for an empty title.
    EXPECT_EQ(second.Windows.Calls,
              (std::vector<std::string>{"find '' while titled '<no main window>'"}));
    EXPECT_TRUE(second.Boxes.Boxes.empty());

    // The first copy goes on untouched, still holding its name.
    EXPECT_TRUE(first.Child().Running());
    EXPECT_TRUE(NameIsTaken(ProgramName(id)));
    EXPECT_EQ(first.Stop(), 0);

    TProgramCopy next;
    TKrelOneInstance& nextGuard = next.ReadAsTheProgram(id);
    EXPECT_EQ(next.DuplicateCalls(), 0);
    EXPECT_TRUE(nextGuard.HoldsInstanceName(ProgramName(id)));
}

// A user of the machine other than the one running the tests; any id will do, for a process
// running as root may become any user.
constexpr uid_t OtherUser = 64123;

TEST(KrelOneInstanceTest, TwoUsersOfOneMachineEachRunTheirOwnCopy) {
    if (::geteuid() != 0 || ::getuid() == OtherUser) {
        GTEST_SKIP() << "running a copy as another user takes root";
    }
    const std::int32_t id = UniqueIdApplication();
    TCopyProcess mine(id);
    ASSERT_EQ(mine.Report(), std::string(1, ReportFirstCopy));
    TCopyProcess theirs(id, nullptr, OtherUser);
    EXPECT_EQ(theirs.Report(), std::string(1, ReportFirstCopy))
        << "another user's copy is not kept from starting";

    // Each user still gets one.
    TCopyProcess theirSecond(id, nullptr, OtherUser);
    EXPECT_EQ(theirSecond.Report(), std::string(1, ReportDuplicate));
    TCopyProcess mySecond(id);
    EXPECT_EQ(mySecond.Report(), std::string(1, ReportDuplicate));

    for (TCopyProcess* copy : {&mine, &theirs, &theirSecond, &mySecond}) {
        EXPECT_EQ(copy->Stop(), 0);
    }
}

TEST(KrelOneInstanceTest, AKilledFirstCopyLeavesNoNameBehind) {
    const std::int32_t id = UniqueIdApplication();
    TCopyProcess first(id);
    ASSERT_EQ(first.Report(), std::string(1, ReportFirstCopy));
    first.Child().Kill(SIGKILL);
    EXPECT_EQ(first.Child().Wait(), 128 + SIGKILL);

    TCopyProcess next(id);
    EXPECT_EQ(next.Report(), std::string(1, ReportFirstCopy));
    EXPECT_EQ(next.Stop(), 0);
}

TEST(KrelOneInstanceTest, CopiesStartedAtTheSameMomentHaveExactlyOneFirst) {
    static constexpr int Copies = 6;
    const std::int32_t id = UniqueIdApplication();
    TPipe startTogether;
    std::vector<std::unique_ptr<TCopyProcess>> copies;
    for (int i = 0; i < Copies; ++i) {
        copies.push_back(std::make_unique<TCopyProcess>(id, &startTogether));
    }
    startTogether.CloseWrite();

    std::string reports;
    for (auto& copy : copies) {
        reports += copy->Report();
    }
    EXPECT_EQ(std::count(reports.begin(), reports.end(), ReportFirstCopy), 1) << reports;
    EXPECT_EQ(std::count(reports.begin(), reports.end(), ReportDuplicate), Copies - 1) << reports;
    for (auto& copy : copies) {
        EXPECT_EQ(copy->Stop(), 0);
    }
}

TEST(KrelOneInstanceTest, OnVerifyAnsweringFalseCreatesAndLooksUpNothing) {
    const std::int32_t id = UniqueIdApplication();
    std::vector<bool> continueOnEntry;
    const auto refuse = [&continueOnEntry](rtl::TComponent*, bool& Continue) {
        continueOnEntry.push_back(Continue);
        Continue = false;
    };

    // Any number of copies run, and none of them takes the name.
    std::vector<std::unique_ptr<TProgramCopy>> copies;
    for (int i = 0; i < 3; ++i) {
        copies.push_back(std::make_unique<TProgramCopy>());
        copies.back()->Read(
            {StoredIdApplication(id), StoredOnVerify(refuse),
             StoredOnDuplicated(std::bind_front(&TDuplicateHandlingForm::KrelOneInstance1Duplicated,
                                                &copies.back()->Form))});
        EXPECT_EQ(copies.back()->DuplicateCalls(), 0);
        EXPECT_TRUE(copies.back()->Windows.Calls.empty());
    }
    EXPECT_EQ(continueOnEntry, (std::vector<bool>{true, true, true}));
    EXPECT_FALSE(NameIsTaken(ProgramName(id)));

    // Nor does a refused check look up a name that a first copy holds.
    TCopyProcess first(id);
    ASSERT_EQ(first.Report(), std::string(1, ReportFirstCopy));
    TProgramCopy refused;
    refused.Read({StoredIdApplication(id), StoredOnVerify(refuse),
                  StoredOnDuplicated(std::bind_front(
                      &TDuplicateHandlingForm::KrelOneInstance1Duplicated, &refused.Form))});
    EXPECT_EQ(refused.DuplicateCalls(), 0);
    EXPECT_EQ(first.Stop(), 0);
}

TEST(KrelOneInstanceTest, OnVerifyIsAskedWithTheComponentAndMayLetTheCheckGoOn) {
    const std::int32_t id = UniqueIdApplication();
    std::vector<rtl::TComponent*> senders;
    TProgramCopy copy;
    TKrelOneInstance& guard = copy.Read(
        {StoredIdApplication(id), StoredOnVerify([&senders](rtl::TComponent* Sender, bool&) {
             senders.push_back(Sender);
         })});
    EXPECT_EQ(senders, (std::vector<rtl::TComponent*>{&guard}));
    EXPECT_TRUE(guard.HoldsInstanceName(ProgramName(id)));
}

TEST(KrelOneInstanceTest, StoredActiveChecksOnceWhenLoadingEndsWithTheWholeLayoutApplied) {
    const std::int32_t id = UniqueIdApplication();
    std::vector<std::string> namesChecked;
    TProgramCopy copy;
    TKrelOneInstance* guard = nullptr;
    guard = &copy.Read({StoredActive(true), StoredIdApplication(id),
                        StoredOnVerify([&](rtl::TComponent* Sender, bool&) {
                            namesChecked.push_back(
                                static_cast<TKrelOneInstance*>(Sender)->InstanceName());
                        })});
    EXPECT_EQ(namesChecked, (std::vector<std::string>{ProgramName(id)}));
    EXPECT_TRUE(guard->HoldsInstanceName(ProgramName(id)));
}

TEST(KrelOneInstanceTest, ActiveFalseWhenLoadingEndsChecksNothingUntilSetTrueAtRunTime) {
    const std::int32_t id = UniqueIdApplication();
    int verifications = 0;
    TProgramCopy copy;
    TKrelOneInstance& guard =
        copy.Read({StoredActive(false), StoredIdApplication(id),
                   StoredOnVerify([&verifications](rtl::TComponent*, bool&) { ++verifications; }),
                   StoredOnDuplicated(std::bind_front(
                       &TDuplicateHandlingForm::KrelOneInstance1Duplicated, &copy.Form))});
    EXPECT_EQ(verifications, 0);
    EXPECT_FALSE(guard.Active());
    EXPECT_FALSE(NameIsTaken(ProgramName(id)));

    guard.SetActive(true);
    EXPECT_EQ(verifications, 1);
    EXPECT_TRUE(guard.HoldsInstanceName(ProgramName(id)));
    EXPECT_TRUE(NameIsTaken(ProgramName(id)));

    // Checking again, the first copy does not take its own name for a previous copy's.
    guard.SetActive(true);
    EXPECT_EQ(verifications, 2);
    EXPECT_EQ(copy.DuplicateCalls(), 0);
    EXPECT_TRUE(guard.HoldsInstanceName(ProgramName(id)));

    // Another component of the same process under the same name is a later copy.
    TProgramCopy other;
    other.ReadAsTheProgram(id);
    EXPECT_EQ(other.DuplicateCalls(), 1);
}

TEST(KrelOneInstanceTest, InDesignNothingIsChecked) {
    const std::int32_t id = UniqueIdApplication();
    int verifications = 0;
    TProgramCopy copy;
    copy.Window.SetDesigning(true);
    TKrelOneInstance& guard =
        copy.Read({StoredIdApplication(id),
                   StoredOnVerify([&verifications](rtl::TComponent*, bool&) { ++verifications; })});
    guard.SetActive(true);
    guard.SetActive(false);
    guard.SetActive(true);
    EXPECT_EQ(verifications, 0);
    EXPECT_FALSE(NameIsTaken(ProgramName(id)));
}

struct TNameCase {
    const char* Label;
    const char* Caption;  // null: no registered main window
    bool NegativeId;
    std::string Expected(std::int32_t id) const {
        return std::string("one_instance_") + (Caption != nullptr ? Caption : "") +
               std::to_string(id);
    }
};

void PrintTo(const TNameCase& c, std::ostream* out) {
    *out << c.Label;
}

class KrelOneInstanceNameTest : public ::testing::TestWithParam<TNameCase> {};

TEST_P(KrelOneInstanceNameTest, TheNameIsHeldForTheUser) {
    const TNameCase& nameCase = GetParam();
    const std::int32_t id = nameCase.NegativeId ? -UniqueIdApplication() : UniqueIdApplication();
    TProgramCopy copy;
    if (nameCase.Caption != nullptr) {
        copy.RegisterMainWindow(nameCase.Caption);
    }
    TKrelOneInstance& guard = copy.ReadAsTheProgram(id);
    const std::string expected = nameCase.Expected(id);
    EXPECT_EQ(guard.InstanceName(), expected);
    EXPECT_TRUE(guard.HoldsInstanceName(expected));

    TPipe answer;
    TChildProcess elsewhere([&] {
        answer.Write(NameIsTaken(expected) ? "taken" : "free");
        return 0;
    });
    answer.CloseWrite();
    EXPECT_EQ(answer.ReadAll(), "taken");
    EXPECT_EQ(elsewhere.Wait(), 0);
}

INSTANTIATE_TEST_SUITE_P(Names, KrelOneInstanceNameTest,
                         ::testing::Values(TNameCase{"NoMainWindow", nullptr, false},
                                           TNameCase{"NegativeId", nullptr, true},
                                           TNameCase{"Caption", "Conferência de Estoque", false},
                                           TNameCase{"CaptionAndNegativeId", "Loja 7", true},
                                           TNameCase{"EmptyCaption", "", false}),
                         [](const ::testing::TestParamInfo<TNameCase>& info) {
                             return info.param.Label;
                         });

TEST(KrelOneInstanceTest, TheProgramsNameIsTheIdAloneWhileNoMainWindowIsRegistered) {
    TProgramCopy copy;
    TKrelOneInstance& guard = copy.Read({StoredActive(false), StoredIdApplication(2000)});
    EXPECT_EQ(guard.InstanceName(), "one_instance_2000");
    copy.RegisterMainWindow("Varelum");
    EXPECT_EQ(guard.InstanceName(), "one_instance_Varelum2000");
}

TEST(KrelOneInstanceTest, ALaterCopySearchesWithItsOwnTitleHiddenAndPutsItBack) {
    const std::string caption = "Estoque " + std::to_string(::getpid());
    const std::int32_t id = UniqueIdApplication();
    TProgramCopy first;
    first.RegisterMainWindow(caption);
    first.ReadAsTheProgram(id);
    ASSERT_EQ(first.DuplicateCalls(), 0);

    TProgramCopy second;
    second.RegisterMainWindow(caption);
    second.Windows.Found = 5;
    second.ReadAsTheProgram(id);
    EXPECT_EQ(second.Windows.Calls,
              (std::vector<std::string>{"find '" + caption + "' while titled '_temp_app_title'"}));
    EXPECT_EQ(second.MainWindow.Caption(), caption);
    EXPECT_EQ(second.Form.PrevInstances, (std::vector<std::uint32_t>{5}));
}

TEST(KrelOneInstanceTest, ANameThatCannotBeCreatedTurnsTheGuardOffSilently) {
    const std::int32_t id = UniqueIdApplication();
    TCopyProcess first(id);
    ASSERT_EQ(first.Report(), std::string(1, ReportFirstCopy));

    // No descriptor can be opened, so the named object cannot be created.
    TChildProcess starved([id] {
        // What a copy did: told of a duplicate, searched windows, showed boxes, asked to end, held
        // the name.
        const auto runCopy = [](std::int32_t idApplication) {
            TProgramCopy copy;
            TKrelOneInstance& guard = copy.ReadAsTheProgram(idApplication);
            return std::vector<int>{
                copy.DuplicateCalls(), static_cast<int>(copy.Windows.Calls.size()),
                static_cast<int>(copy.Boxes.Boxes.size()), copy.Loop.QuitRequests,
                guard.HoldsInstanceName(ProgramName(idApplication))};
        };
        // Once with descriptors to spare: the sanitizers' type checks need one the first time
        // they meet a type, and would otherwise fail the starved run below.
        if (runCopy(UniqueIdApplication()) != std::vector<int>{0, 0, 0, 0, 1}) {
            return 1;
        }
        const rlimit none{0, 0};
        if (::setrlimit(RLIMIT_NOFILE, &none) != 0) {
            return 2;
        }
        return runCopy(id) == std::vector<int>{0, 0, 0, 0, 0} ? 0 : 3;
    });
    EXPECT_EQ(starved.Wait(), 0);
    EXPECT_EQ(first.Stop(), 0);
}

struct THandOverCase {
    const char* Label;
    bool Minimized;
    std::vector<std::string> Calls;
};

void PrintTo(const THandOverCase& c, std::ostream* out) {
    *out << c.Label;
}

class KrelOneInstanceHandOverTest : public ::testing::TestWithParam<THandOverCase> {};

TEST_P(KrelOneInstanceHandOverTest, WithoutOnDuplicatedTheWindowFoundIsRaisedAndTheProcessHalts) {
    const std::int32_t id = UniqueIdApplication();
    TProgramCopy first;
    first.ReadAsTheProgram(id);

    TProgramCopy second;
    second.Windows.Found = 9;
    second.Windows.Minimized = GetParam().Minimized;
    try {
        second.Read({StoredIdApplication(id)});
        FAIL() << "the hand-over did not halt";
    } catch (const THalted& halted) {
        EXPECT_EQ(halted.ExitCode, 0);
    }
    EXPECT_EQ(second.Windows.Calls, GetParam().Calls);
    EXPECT_EQ(second.Loop.QuitRequests, 0);
}

INSTANTIATE_TEST_SUITE_P(
    HandOver, KrelOneInstanceHandOverTest,
    ::testing::Values(THandOverCase{"Minimized",
                                    true,
                                    {"find '' while titled '<no main window>'", "minimized? 9",
                                     "restore 9", "show normal 9", "to front 9"}},
                      THandOverCase{"NotMinimized",
                                    false,
                                    {"find '' while titled '<no main window>'", "minimized? 9",
                                     "show normal 9", "to front 9"}}),
    [](const ::testing::TestParamInfo<THandOverCase>& info) { return info.param.Label; });

TEST(KrelOneInstanceTest, TheBuiltInHandOverEndsTheProcessWithExitCodeZeroAfterFinalisation) {
    const std::int32_t id = UniqueIdApplication();
    TCopyProcess first(id);
    ASSERT_EQ(first.Report(), std::string(1, ReportFirstCopy));

    TPipe journal;
    TChildProcess second([&] {
        journal.CloseRead();
        const auto note = [&journal](const char* text) { journal.Write(text); };
        const std::vector<TProgramModule> modules{
            {"rtl", {}, [&] { note("final rtl;"); }},
            {"db", {}, [&] { throw std::runtime_error("db's end failed"); }},
            {"ConferenciaEstoque", {}, [&] { note("final ConferenciaEstoque;"); }},
        };
        // Output still in a buffer when the process ends must not be lost.
        ::dup2(journal.WriteEnd, STDOUT_FILENO);
        std::fputs("buffered;", stdout);
        TProgramCopy copy;
        copy.Halt = [&modules](int exitCode) { HaltProgram(modules, exitCode); };
        // No window is found (PrevInstance 0): the window calls do nothing, and the process
        // still ends.
        copy.Read({StoredIdApplication(id)});
        note("ran on;");
        return 3;
    });
    journal.CloseWrite();
    EXPECT_EQ(journal.ReadAll(), "final ConferenciaEstoque;final rtl;buffered;");
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_EQ(first.Stop(), 0);
}

// The program's whole start as a later copy: the check runs while the window is being built,
// the window is still registered and shown once, and the loop ends at its first turn with exit
// code 0. The first copy goes on.
TEST(KrelOneInstanceTest, ALaterCopyOfTheProgramShowsItsWindowOnceAndEndsWithExitCodeZero) {
    const std::int32_t id = UniqueIdApplication();
    TCopyProcess first(id);
    ASSERT_EQ(first.Report(), std::string(1, ReportFirstCopy));

    TProgramCopy second;
    std::vector<std::string> events;
    TTestMainWindow* window = nullptr;
    TProgram program;
    program.Modules = {{"ConferenciaEstoque", {}, [&] { events.push_back("finalised"); }}};
    program.CreateMainForm = [&](TApplication&) -> std::unique_ptr<TMainForm> {
        second.ReadAsTheProgram(id);
        events.push_back("built with " + std::to_string(second.DuplicateCalls()) +
                         " duplicate call");
        auto form = std::make_unique<TTestMainWindow>();
        window = form.get();
        return form;
    };
    program.RunLoop = [&] {
        events.push_back("shown " + std::to_string(window->Shows) + " time");
        if (second.Loop.QuitRequests > 0) {
            second.Application.QuitRequestTaken();
            events.push_back("quit taken");
        }
    };
    EXPECT_EQ(RunProgram(second.Application, program), ExitCodeSuccess);
    EXPECT_EQ(events, (std::vector<std::string>{"built with 1 duplicate call", "shown 1 time",
                                                "quit taken", "finalised"}));
    EXPECT_TRUE(first.Child().Running());
    EXPECT_EQ(first.Stop(), 0);
}

}  // namespace
}  // namespace varelum::app
