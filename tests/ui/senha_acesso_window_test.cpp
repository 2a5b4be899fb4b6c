// The password dialog as a user meets it: real key presses into the real widgets, inside the
// dialog's own modal loop.
#include "ui/senha_acesso_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "ui/modal_script.h"
#include "ui/typing.h"

namespace varelum::ui {
namespace {

using testing::TModalWatchdog;
using testing::TypeText;
using testing::WhenModalShown;

TEST(SenhaAcessoWindowTest, HasItsCaptionControlsAndNoTitleBarButtons) {
    TSenhaAcessoWindow dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Senha de Acesso"));
    EXPECT_EQ(dialog.size(), QSize(SenhaAcessoClientWidth, SenhaAcessoClientHeight));
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinMaxButtonsHint);

    EXPECT_EQ(dialog.Label1()->text(), QStringLiteral("Senha:"));
    EXPECT_EQ(dialog.Label1()->pos(), QPoint(14, 25));
    EXPECT_EQ(dialog.Edit1()->geometry(), QRect(54, 17, 120, 22));
    EXPECT_EQ(dialog.Edit1()->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(QFontInfo(dialog.Edit1()->font()).fixedPitch());
    EXPECT_EQ(dialog.BitBtn1()->text(), QStringLiteral("&OK"));
    EXPECT_EQ(dialog.BitBtn1()->geometry(), QRect(96, 47, 75, 25));
    EXPECT_FALSE(dialog.BitBtn1()->icon().isNull());
    EXPECT_FALSE(dialog.BitBtn1()->isDefault());
    EXPECT_FALSE(dialog.BitBtn1()->autoDefault());
}

TEST(SenhaAcessoWindowTest, ShowsStarsAndKeepsLettersInUpperCase) {
    TModalWatchdog watchdog;
    TSenhaAcessoWindow dialog;
    WhenModalShown([&](QWidget& modal) {
        EXPECT_EQ(&modal, &dialog);
        EXPECT_EQ(QApplication::focusWidget(), dialog.Edit1());
        TypeText(dialog.Edit1(), QStringLiteral("ab1-zé"));
        EXPECT_EQ(dialog.Edit1()->displayText(), QStringLiteral("******"));
        QTest::mouseClick(dialog.BitBtn1(), Qt::LeftButton);
    });
    dialog.ShowModal();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Password(), "AB1-ZÉ");
}

TEST(SenhaAcessoWindowTest, EnterEscapeAndCloseRequestsDoNotCloseIt) {
    TModalWatchdog watchdog;
    TSenhaAcessoWindow dialog;
    WhenModalShown([&](QWidget&) {
        QTest::keyClicks(dialog.Edit1(), QStringLiteral("x"));
        QTest::keyClick(dialog.Edit1(), Qt::Key_Return);
        QTest::keyClick(dialog.Edit1(), Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(dialog.Edit1(), Qt::Key_Escape);
        EXPECT_FALSE(dialog.close());
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.Edit1()->text(), QStringLiteral("X"));
        // Alt+O presses the OK button, the one way out.
        QTest::keyClick(dialog.Edit1(), Qt::Key_O, Qt::AltModifier);
    });
    dialog.ShowModal();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Password(), "X");
}

TEST(SenhaAcessoWindowTest, EachShowingStartsBlankAndAnEmptyPasswordIsAllowed) {
    TModalWatchdog watchdog;
    TSenhaAcessoWindow dialog;
    WhenModalShown([&](QWidget&) {
        QTest::keyClicks(dialog.Edit1(), QStringLiteral("senha"));
        QTest::mouseClick(dialog.BitBtn1(), Qt::LeftButton);
    });
    dialog.ShowModal();
    ASSERT_EQ(dialog.Password(), "SENHA");

    WhenModalShown([&](QWidget&) {
        EXPECT_TRUE(dialog.Edit1()->text().isEmpty());
        QTest::mouseClick(dialog.BitBtn1(), Qt::LeftButton);
    });
    dialog.ShowModal();
    EXPECT_EQ(dialog.Password(), "");
}

TEST(SenhaAcessoWindowTest, FactoryMakesANewDialogForEveryAttempt) {
    TSenhaAcessoWindowFactory factory;
    const auto first = factory.CreateSenhaAcessoForm1();
    const auto second = factory.CreateSenhaAcessoForm1();
    EXPECT_NE(first.get(), second.get());
}

}  // namespace
}  // namespace varelum::ui
