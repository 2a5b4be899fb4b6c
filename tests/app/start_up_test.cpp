// The start-up sequence: the order of its steps, a failing show handler, a failed start with its
// report and exit code, and a quit requested while the window is being built.
#include "app/start_up.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/program_modules.h"
#include "app/recording_boxes.h"
#include "count/conferencia_estoque.h"
#include "rtl/exception.h"

namespace varelum::app {
namespace {

using Log = std::vector<std::string>;

// A loop with a real queue: posted events run in order, each inside the guard, until the quit
// request is taken.
class TQueueLoop : public TEventLoopHost {
  public:
    void PostQuitRequest() override { Queue.push_back(nullptr); }
    void CancelMouseCapture() override {}

    void Run(TApplication& application) {
        while (!Queue.empty() && !application.Terminated()) {
            std::function<void()> event = Queue.front();
            Queue.pop_front();
            if (!event) {
                application.QuitRequestTaken();
            } else {
                application.Guard(event);
            }
        }
    }

    std::deque<std::function<void()>> Queue;
};

class TFakeMainForm : public TMainForm {
  public:
    TFakeMainForm(Log& log, std::function<void()> formShow) : FLog(log), FFormShow(formShow) {}
    ~TFakeMainForm() override { FLog.push_back("destroy window"); }

    std::string Caption() const override { return FCaption; }
    void SetCaption(const std::string& caption) override { FCaption = caption; }
    void CreateNativeWindow() override { FLog.push_back("native window"); }
    void Show() override {
        FLog.push_back("show");
        Shown = true;
        if (FFormShow) {
            FFormShow();
        }
    }

    bool Shown = false;

  private:
    Log& FLog;
    std::function<void()> FFormShow;
    std::string FCaption = "Conferência de Estoque";
};

class StartUpTest : public ::testing::Test {
  protected:
    TProgram Program(std::function<void(TApplication&)> construct = {},
                     std::function<void()> formShow = {}) {
        TProgram program;
        for (const char* name : {"rtl", "ConferenciaEstoque"}) {
            program.Modules.push_back(
                {name, [this, name] { Events.push_back(std::string("init ") + name); },
                 [this, name] { Events.push_back(std::string("final ") + name); }});
        }
        program.CreateMainForm = [this, construct, formShow](TApplication& application) {
            Events.push_back("create window");
            EXPECT_EQ(application.MainForm(), nullptr);
            EXPECT_EQ(application.Title(), "Varelum");
            EXPECT_TRUE(application.MainFormOnTaskBar());
            if (construct) {
                construct(application);
            }
            auto form = std::make_unique<TFakeMainForm>(Events, formShow);
            Form = form.get();
            return form;
        };
        program.RunLoop = [this] {
            Events.push_back("loop");
            EXPECT_EQ(Application.MainForm(), Form);
            Loop.Run(Application);
        };
        return program;
    }

    Log Events;
    testing::TRecordingBoxes Boxes;
    TQueueLoop Loop;
    TApplication Application{Boxes, Loop};
    TFakeMainForm* Form = nullptr;
};

TEST_F(StartUpTest, RunsTheStepsInOrderAndEndsWithExitCodeZero) {
    Loop.Queue.push_back([this] { Events.push_back("event"); });
    Loop.Queue.push_back([this] { Application.Terminate(); });
    Loop.Queue.push_back([this] { Events.push_back("event before the quit request"); });

    EXPECT_EQ(RunProgram(Application, Program()), ExitCodeSuccess);
    EXPECT_EQ(Events, (Log{"init rtl", "init ConferenciaEstoque", "create window", "native window",
                           "show", "loop", "event", "event before the quit request",
                           "final ConferenciaEstoque", "final rtl", "destroy window"}));
    EXPECT_TRUE(Boxes.Boxes.empty());
    EXPECT_EQ(Application.MainForm(), nullptr);
}

TEST_F(StartUpTest, AFailingShowHandlerIsReportedAndTheWindowStaysShown) {
    Loop.PostQuitRequest();
    bool shownWhenLoopRan = false;
    TProgram program =
        Program({}, [] { throw rtl::EDatabaseError("TbCadFuncionariosLojas: table not found"); });
    program.RunLoop = [&] {
        shownWhenLoopRan = Form->Shown;
        Loop.Run(Application);
    };

    EXPECT_EQ(RunProgram(Application, program), ExitCodeSuccess);
    EXPECT_TRUE(shownWhenLoopRan);
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_FALSE(Boxes.Boxes[0].TaskModal);
    EXPECT_EQ(Boxes.Boxes[0].Caption, "Varelum");
    EXPECT_EQ(Boxes.Boxes[0].Text, "TbCadFuncionariosLojas: table not found.");
}

TEST_F(StartUpTest, AFailedConstructionIsReportedAndEndsWithExitCodeOne) {
    const int exitCode = RunProgram(
        Application, Program([](TApplication&) { throw rtl::EExternalException(0xC0FB007E); }));

    EXPECT_EQ(exitCode, ExitCodeStartFailure);
    EXPECT_EQ(Events, (Log{"init rtl", "init ConferenciaEstoque", "create window",
                           "final ConferenciaEstoque", "final rtl"}));
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_TRUE(Boxes.Boxes[0].TaskModal);
    EXPECT_EQ(Boxes.Boxes[0].Caption, "Application Error");
    EXPECT_TRUE(Boxes.Boxes[0].Text.starts_with(
        "Exception EExternalException in module app_shell_test at "))
        << Boxes.Boxes[0].Text;
    EXPECT_TRUE(Boxes.Boxes[0].Text.ends_with(".\r\nExternal exception C0FB007E.\r\n"));
    EXPECT_EQ(Application.MainForm(), nullptr);
}

TEST_F(StartUpTest, AFailingModuleInitialisationFinalisesOnlyTheModulesBeforeIt) {
    TProgram program = Program();
    program.Modules[1].Initialize = [] { throw rtl::Exception("no lock"); };

    EXPECT_EQ(RunProgram(Application, program), ExitCodeStartFailure);
    EXPECT_EQ(Events, (Log{"init rtl", "final rtl"}));
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_TRUE(Boxes.Boxes[0].Text.ends_with(".\r\nno lock.\r\n"));
}

TEST_F(StartUpTest, AQuitRequestedDuringConstructionStillShowsTheWindowOnce) {
    // What a second copy does: its single-instance check asks for the end while the window is
    // being built; the window is still shown, then the loop leaves without any box.
    Loop.Queue.push_back([this] { Events.push_back("event queued at start"); });
    const int exitCode = RunProgram(
        Application, Program([](TApplication& application) { application.Terminate(); }));

    EXPECT_EQ(exitCode, ExitCodeSuccess);
    EXPECT_EQ(Events, (Log{"init rtl", "init ConferenciaEstoque", "create window", "native window",
                           "show", "loop", "event queued at start", "final ConferenciaEstoque",
                           "final rtl", "destroy window"}));
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(StartUpTest, TheProgramsModulesClearTheStoredEmployeeNameAtTheEnd) {
    TProgram program = Program();
    program.Modules = ProgramModules();
    Loop.PostQuitRequest();
    count::NomeConferente = "MARIA DA SILVA";
    EXPECT_EQ(RunProgram(Application, program), ExitCodeSuccess);
    EXPECT_EQ(count::NomeConferente, "");
}

}  // namespace
}  // namespace varelum::app
