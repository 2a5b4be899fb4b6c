// This process's top-level windows on Qt (offscreen platform): found by exact title, shown or
// hidden, with a handle that stays the same for a window and names no other once it is gone;
// restored, shown normally and raised through it; handle 0 and stale handles do nothing.
#include "app/qt_top_level_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <memory>

namespace varelum::app {
namespace {

// One application for the whole executable, gone before the static objects Qt relies on.
class TQtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { FApplication = std::make_unique<QApplication>(FArgc, FArgv); }
    void TearDown() override { FApplication.reset(); }

  private:
    int FArgc = 1;
    char FName[16] = "app_qt_windows";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QApplication> FApplication;
};

[[maybe_unused]] const auto* const Environment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

class QtTopLevelWindowsTest : public ::testing::Test {
  protected:
    static std::unique_ptr<QWidget> Window(const QString& title, bool shown = true) {
        auto window = std::make_unique<QWidget>();
        window->setWindowTitle(title);
        if (shown) {
            window->show();
        }
        return window;
    }

    TQtTopLevelWindows Windows;
};

TEST_F(QtTopLevelWindowsTest, FindsAWindowByItsExactTitleShownOrNot) {
    auto counting = Window("Conferência de Estoque");
    auto hidden = Window("Senha de acesso", false);

    const TWindowHandle found = Windows.FindWindowByTitle("Conferência de Estoque");
    ASSERT_NE(found, 0u);
    EXPECT_EQ(Windows.WidgetOf(found), counting.get());
    EXPECT_EQ(Windows.FindWindowByTitle("Conferência de Estoque"), found);

    const TWindowHandle hiddenFound = Windows.FindWindowByTitle("Senha de acesso");
    EXPECT_NE(hiddenFound, found);
    EXPECT_EQ(Windows.WidgetOf(hiddenFound), hidden.get());

    EXPECT_EQ(Windows.FindWindowByTitle("Conferência"), 0u);
    EXPECT_EQ(Windows.FindWindowByTitle("conferência de estoque"), 0u);
}

TEST_F(QtTopLevelWindowsTest, AnEmptyTitleFindsAWindowWithoutATitle) {
    auto titled = Window("Varelum");
    EXPECT_EQ(Windows.FindWindowByTitle(""), 0u);
    auto untitled = Window("");
    EXPECT_EQ(Windows.WidgetOf(Windows.FindWindowByTitle("")), untitled.get());
}

TEST_F(QtTopLevelWindowsTest, RestoresShowsNormallyAndRaisesAMinimizedWindow) {
    auto window = Window("Varelum");
    window->showMinimized();
    const TWindowHandle handle = Windows.FindWindowByTitle("Varelum");
    ASSERT_TRUE(Windows.IsMinimized(handle));

    Windows.Restore(handle);
    EXPECT_FALSE(Windows.IsMinimized(handle));

    window->showMaximized();
    Windows.ShowNormal(handle);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMaximized());
    EXPECT_FALSE(window->isMinimized());

    auto other = Window("Outra");
    other->activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), other.get());
    Windows.BringToFront(handle);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), window.get());
}

TEST_F(QtTopLevelWindowsTest, HiddenWindowsAreShownNormally) {
    auto window = Window("Varelum", false);
    const TWindowHandle handle = Windows.FindWindowByTitle("Varelum");
    Windows.ShowNormal(handle);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(QtTopLevelWindowsTest, NoWindowAndAWindowThatIsGoneAreLeftAlone) {
    for (const TWindowHandle none : {0u, 12345u}) {
        EXPECT_EQ(Windows.WidgetOf(none), nullptr);
        EXPECT_FALSE(Windows.IsMinimized(none));
        Windows.Restore(none);
        Windows.ShowNormal(none);
        Windows.BringToFront(none);
    }

    auto window = Window("Varelum");
    const TWindowHandle gone = Windows.FindWindowByTitle("Varelum");
    window.reset();
    EXPECT_EQ(Windows.WidgetOf(gone), nullptr);
    Windows.ShowNormal(gone);
    Windows.BringToFront(gone);

    // A new window under the same title gets a handle of its own.
    auto successor = Window("Varelum");
    const TWindowHandle next = Windows.FindWindowByTitle("Varelum");
    EXPECT_NE(next, gone);
    EXPECT_EQ(Windows.WidgetOf(gone), nullptr);
    EXPECT_EQ(Windows.WidgetOf(next), successor.get());
}

}  // namespace
}  // namespace varelum::app
