// The guard on Qt's real event loop (offscreen platform): an exception escaping any event handler
// is shown once and the loop goes on; the silent abort shows nothing; a window whose show handler
// fails stays shown; the quit request waits its turn in the queue.
#include "app/qt_application.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "app/recording_boxes.h"
#include "rtl/exception.h"

namespace varelum::app {
namespace {

testing::TRecordingBoxes* Boxes = nullptr;
TQtApplication* QtApplication = nullptr;

// One application for the whole executable, as Qt allows only one at a time.
class TQtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        Boxes = new testing::TRecordingBoxes;
        QtApplication = new TQtApplication(FArgc, FArgv, *Boxes);
        QtApplication->Application().SetTitle("Varelum");
    }
    void TearDown() override {
        delete QtApplication;
        delete Boxes;
    }

  private:
    int FArgc = 1;
    char FName[16] = "app_qt_loop";
    char* FArgv[2] = {FName, nullptr};
};

[[maybe_unused]] const auto* const Environment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

// An object whose handler for one event type runs the given action.
class TActingObject : public QObject {
  public:
    static QEvent::Type ActionEvent() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    explicit TActingObject(std::function<void()> action) : FAction(std::move(action)) {}

    bool event(QEvent* event) override {
        if (event->type() == ActionEvent()) {
            FAction();
            return true;
        }
        return QObject::event(event);
    }

  private:
    std::function<void()> FAction;
};

class TFailingShowWidget : public QWidget {
  protected:
    void showEvent(QShowEvent*) override { throw rtl::EDatabaseError("QyCadProdutos: no table"); }
};

class QtApplicationTest : public ::testing::Test {
  protected:
    void SetUp() override { Boxes->Boxes.clear(); }
};

TEST_F(QtApplicationTest, AnExceptionFromAHandlerIsShownOnceUnderTheTitle) {
    TActingObject failing([] { throw rtl::Exception("Cannot open table"); });
    QEvent event(TActingObject::ActionEvent());
    EXPECT_FALSE(QCoreApplication::sendEvent(&failing, &event));
    ASSERT_EQ(Boxes->Boxes.size(), 1u);
    EXPECT_EQ(Boxes->Boxes[0].Caption, "Varelum");
    EXPECT_EQ(Boxes->Boxes[0].Text, "Cannot open table.");
}

TEST_F(QtApplicationTest, ANoticeFollowedByTheSilentAbortShowsExactlyOneBox) {
    TActingObject notifying([] {
        Boxes->ShowErrorBox("Varelum", "Já existe uma conferência em aberto!");
        rtl::Abort();
    });
    QEvent event(TActingObject::ActionEvent());
    QCoreApplication::sendEvent(&notifying, &event);
    ASSERT_EQ(Boxes->Boxes.size(), 1u);
    EXPECT_EQ(Boxes->Boxes[0].Text, "Já existe uma conferência em aberto!");
}

TEST_F(QtApplicationTest, AWindowWhoseShowHandlerFailsStaysShown) {
    TFailingShowWidget window;
    window.show();
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(Boxes->Boxes.size(), 1u);
    EXPECT_EQ(Boxes->Boxes[0].Text, "QyCadProdutos: no table.");
}

// Last in this file: once the quit request has been taken the application stays terminated.
TEST_F(QtApplicationTest, TheLoopGoesOnAfterAFailureAndStopsWhenItTakesTheQuitRequest) {
    std::vector<std::string> ran;
    TActingObject failing([&] {
        ran.push_back("failing");
        throw rtl::Exception("first");
    });
    TActingObject next([&] { ran.push_back("next"); });
    TActingObject afterQuit([&] { ran.push_back("after quit"); });
    TActingObject quitting([&] {
        ran.push_back("quit requested");
        QtApplication->Application().Terminate();
        EXPECT_FALSE(QtApplication->Application().Terminated());
    });

    QCoreApplication::postEvent(&failing, new QEvent(TActingObject::ActionEvent()));
    QCoreApplication::postEvent(&quitting, new QEvent(TActingObject::ActionEvent()));
    QCoreApplication::postEvent(&next, new QEvent(TActingObject::ActionEvent()));
    QtApplication->RunLoop();
    // The quit request went into the queue behind "next", so "next" still ran.
    EXPECT_EQ(ran, (std::vector<std::string>{"failing", "quit requested", "next"}));
    EXPECT_TRUE(QtApplication->Application().Terminated());
    ASSERT_EQ(Boxes->Boxes.size(), 1u);
    EXPECT_EQ(Boxes->Boxes[0].Text, "first.");

    // The loop has ended; running it again does nothing.
    QCoreApplication::postEvent(&afterQuit, new QEvent(TActingObject::ActionEvent()));
    QtApplication->RunLoop();
    EXPECT_EQ(ran.size(), 3u);
    QCoreApplication::removePostedEvents(&afterQuit);
}

}  // namespace
}  // namespace varelum::app
