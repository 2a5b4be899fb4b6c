// The application object: what the guard shows for each kind of exception, the quit request,
// and the start-failure report.
#include "app/application.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "app/recording_boxes.h"
#include "db/dataset.h"
#include "rtl/exception.h"

namespace varelum::app {
namespace {

using testing::TRecordingBoxes;
using testing::TRecordingLoop;

// A function of this executable, for a code address that the loader places in it.
void CodeOfThisModule() {}

class ApplicationTest : public ::testing::Test {
  protected:
    ApplicationTest() { Application.SetTitle("Varelum"); }

    TRecordingBoxes Boxes;
    TRecordingLoop Loop;
    TApplication Application{Boxes, Loop};
};

TEST_F(ApplicationTest, TheSilentAbortShowsNothing) {
    EXPECT_FALSE(Application.Guard([] { rtl::Abort(); }));
    EXPECT_TRUE(Boxes.Boxes.empty());
    EXPECT_EQ(Loop.CaptureCancels, 1);
}

TEST_F(ApplicationTest, ANoticeFollowedByTheSilentAbortShowsExactlyOneBox) {
    // What every rule violation of the count does: its notice, then the abort.
    Application.Guard([this] {
        Boxes.ShowErrorBox("Varelum", "Senha não existente!");
        rtl::Abort();
    });
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0].Text, "Senha não existente!");
}

struct TShownCase {
    const char* Name;
    std::function<void()> Raise;
    const char* Shown;
};

TEST_F(ApplicationTest, ShowsTheInnermostMessageUnderTheTitle) {
    const TShownCase cases[] = {
        {"framework exception", [] { throw rtl::EDatabaseError("Table not found"); },
         "Table not found."},
        {"message ending in !", [] { throw rtl::Exception("Pronto!"); }, "Pronto!"},
        {"standard exception", [] { throw std::runtime_error("disk full"); }, "disk full."},
        {"nested: the inner message wins",
         [] {
             try {
                 throw rtl::EConvertError("''2,5'' is not a valid integer value");
             } catch (...) {
                 std::throw_with_nested(rtl::Exception("outer"));
             }
         },
         "''2,5'' is not a valid integer value."},
        {"nested: an inner exception without a message leaves the outer one",
         [] {
             try {
                 throw rtl::Exception("");
             } catch (...) {
                 std::throw_with_nested(rtl::Exception("outer context"));
             }
         },
         "outer context."},
        {"not a std::exception", [] { throw 42; }, "Exception of unknown type."},
    };
    for (const TShownCase& c : cases) {
        Boxes.Boxes.clear();
        EXPECT_FALSE(Application.Guard(c.Raise)) << c.Name;
        ASSERT_EQ(Boxes.Boxes.size(), 1u) << c.Name;
        EXPECT_FALSE(Boxes.Boxes[0].TaskModal) << c.Name;
        EXPECT_EQ(Boxes.Boxes[0].Caption, "Varelum") << c.Name;
        EXPECT_EQ(Boxes.Boxes[0].Text, c.Shown) << c.Name;
    }
}

TEST_F(ApplicationTest, AnActionThatSucceedsShowsNothing) {
    bool ran = false;
    EXPECT_TRUE(Application.Guard([&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(Boxes.Boxes.empty());
    EXPECT_EQ(Loop.CaptureCancels, 0);
}

TEST_F(ApplicationTest, ReportsTheDataLayersExceptionsWhileItLives) {
    {
        TApplication application(Boxes, Loop);
        application.SetTitle("Varelum");
        application.Initialize();
        const db::TExceptionHandler& report = db::ApplicationExceptionHandler();
        ASSERT_TRUE(report);
        report(std::make_exception_ptr(rtl::EDatabaseError("Field 'QtdeAtual' not found")));
        report(std::make_exception_ptr(rtl::EAbort("Operation aborted")));
        ASSERT_EQ(Boxes.Boxes.size(), 1u);
        EXPECT_EQ(Boxes.Boxes[0].Caption, "Varelum");
        EXPECT_EQ(Boxes.Boxes[0].Text, "Field 'QtdeAtual' not found.");
    }
    EXPECT_FALSE(db::ApplicationExceptionHandler());
}

TEST_F(ApplicationTest, TerminateTakesEffectOnlyWhenTheLoopTakesTheRequest) {
    Application.Terminate();
    EXPECT_EQ(Loop.QuitRequests, 1);
    EXPECT_FALSE(Application.Terminated());
    Application.QuitRequestTaken();
    EXPECT_TRUE(Application.Terminated());
}

TEST_F(ApplicationTest, StartFailureNamesClassModuleAndMessage) {
    Application.ShowStartFailure(std::make_exception_ptr(rtl::EExternalException(0xC0FB007E)),
                                 reinterpret_cast<const void*>(&CodeOfThisModule));
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    const testing::TShownBox& box = Boxes.Boxes[0];
    EXPECT_TRUE(box.TaskModal);
    EXPECT_EQ(box.Caption, "Application Error");
    // The address lies in this test executable, so that is the module named.
    EXPECT_TRUE(box.Text.starts_with("Exception EExternalException in module app_shell_test at "))
        << box.Text;
    EXPECT_TRUE(box.Text.ends_with(".\r\nExternal exception C0FB007E.\r\n")) << box.Text;
}

}  // namespace
}  // namespace varelum::app
