// The main window on the count's in-memory test store, shown and active, with recorded notices
// and a user's hands: key presses go where a keyboard sends them (the focused control), the
// password dialog is answered from inside its modal loop.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <string>

#include "count/test_store.h"
#include "ui/conferencia_estoque_window.h"
#include "ui/db_grid.h"
#include "ui/db_lookup_combo_box.h"
#include "ui/key_press_line_edit.h"
#include "ui/modal_script.h"
#include "ui/recording_boxes.h"
#include "ui/senha_acesso_window.h"
#include "ui/typing.h"

namespace varelum::ui::testing {

class WindowFixture : public ::testing::Test {
  public:
    void SetUp() override {
        Store.Products = {
            {"G01", "ABC123", "7891000100103", 3},
            {"G02", "XYZ9", "7891000200200", 2},
            {"G03", "ZERO1", "7891000300307", 0},
        };
        Store.Staff = {{"SENHA1", "JOSE DA SILVA"}, {"77", "ANA"}};
        Window = std::make_unique<TConferenciaEstoqueWindow>(Store, Boxes, "Varelum",
                                                             [this] { ++TerminateRequests; });
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
        Settle();
    }

    void TearDown() override { Window.reset(); }

    // Lets the controls catch up with the datasets (they read them after each event).
    static void Settle() {
        for (int turn = 0; turn < 3; ++turn) {
            QCoreApplication::processEvents();
        }
    }

    // Presses a key as the keyboard does: into the focused control, or the window itself.
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target != nullptr ? target : Window.get(), key, modifiers);
        Settle();
    }

    // F2 with the password typed into the dialog and OK clicked.
    void OpenCount(const QString& password) {
        TModalWatchdog watchdog;
        ++DialogsExpected;
        WhenModalShown([this, password](QWidget& modal) {
            auto* dialog = dynamic_cast<TSenhaAcessoWindow*>(&modal);
            ASSERT_NE(dialog, nullptr);
            ++DialogsShown;
            TypeText(dialog->Edit1(), password);
            QTest::mouseClick(dialog->BitBtn1(), Qt::LeftButton);
        });
        Press(Qt::Key_F2);
        // The desktop gives the window back its activation (and its focused control) once the
        // dialog has gone; the offscreen platform leaves that to the program.
        Window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    }

    // Picks a product in the chooser by typing its code (the list searches incrementally).
    void ChooseProduct(const QString& code) {
        Window->DBLookupComboBox1()->setFocus();
        QTest::keyClicks(Window->DBLookupComboBox1(), code);
        Settle();
    }

    // Types a code into the code field and ends it with Enter.
    void Read(const QString& code) {
        TypeText(Window->Edit1(), code);
        QTest::keyClick(Window->Edit1(), Qt::Key_Return);
        Settle();
    }

    void ClickFinalizar() {
        QTest::mouseClick(Window->SpeedButton1(), Qt::LeftButton);
        Settle();
    }

    std::vector<std::string> NoticeTexts() const {
        std::vector<std::string> texts;
        for (const TShownBox& box : Boxes.Boxes) {
            texts.push_back(box.Text);
        }
        return texts;
    }

    count::testing::TTestStore Store;
    TRecordingBoxes Boxes;
    TRecordingExceptionHandler Handler;
    std::unique_ptr<TConferenciaEstoqueWindow> Window;
    int TerminateRequests = 0;
    int DialogsExpected = 0;
    int DialogsShown = 0;
};

}  // namespace varelum::ui::testing
