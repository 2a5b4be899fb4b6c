// Drives modal windows from inside their own loop: the script runs once the modal window is up
// (the first turn of its nested loop), and a watchdog ends any modal loop that a failing test
// would otherwise leave waiting for a user.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace varelum::ui::testing {

// How long a modal window may stay up before the watchdog closes it and fails the test.
inline constexpr int ModalWatchdogMs = 5000;

// Runs `script` on the modal widget as soon as one is shown (checked on each turn of the
// loop). Call it before the action that opens the modal window.
inline void WhenModalShown(std::function<void(QWidget&)> script) {
    auto* poll = new QTimer;
    auto elapsed = std::make_shared<int>(0);
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, [poll, elapsed, script = std::move(script)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            if (++*elapsed > ModalWatchdogMs) {
                ADD_FAILURE() << "no modal window was shown";
                poll->deleteLater();
                poll->stop();
            }
            return;
        }
        poll->stop();
        poll->deleteLater();
        // Keys and shortcuts go to the active window only, as on a desktop.
        EXPECT_TRUE(QTest::qWaitForWindowActive(modal));
        script(*modal);
    });
    poll->start();
}

// Closes every modal dialog still open after the watchdog time and fails the test, so that a
// broken expectation ends the test instead of hanging it. Returns a guard: destroy it (leave
// the scope) once the modal part of the test is over.
class TModalWatchdog {
  public:
    TModalWatchdog() {
        FTimer.setSingleShot(true);
        QObject::connect(&FTimer, &QTimer::timeout, [] {
            ADD_FAILURE() << "a modal window was still open; closing it";
            if (QWidget* modal = QApplication::activeModalWidget()) {
                if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                    dialog->done(QDialog::Rejected);
                } else {
                    modal->close();
                }
            }
        });
        FTimer.start(ModalWatchdogMs);
    }

  private:
    QTimer FTimer;
};

}  // namespace varelum::ui::testing
