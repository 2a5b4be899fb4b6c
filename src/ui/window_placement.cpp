// Centring on the screen's available area (without panels and docks). Before the window is
// first shown its frame is not known yet; the client size stands in for it then.
#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace varelum::ui {

void CentreOnScreen(QWidget& window) {
    QScreen* screen = window.screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    const QRect available = screen->availableGeometry();
    QRect frame = window.frameGeometry();
    if (!window.isVisible()) {
        frame.setSize(window.size());
    }
    frame.moveCenter(available.center());
    window.move(frame.topLeft());
}

}  // namespace varelum::ui
