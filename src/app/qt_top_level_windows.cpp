// Finding, restoring and raising this process's top-level Qt windows by title and handle.
#include "app/qt_top_level_windows.h"

#include <QApplication>
#include <QString>

namespace varelum::app {

TWindowHandle TQtTopLevelWindows::FindWindowByTitle(const std::string& title) {
    const QString wanted = QString::fromStdString(title);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isWindow() && widget->windowTitle() == wanted) {
            return HandleOf(widget);
        }
    }
    return 0;
}

bool TQtTopLevelWindows::IsMinimized(TWindowHandle window) {
    QWidget* widget = WidgetOf(window);
    return widget != nullptr && widget->isMinimized();
}

void TQtTopLevelWindows::Restore(TWindowHandle window) {
    if (QWidget* widget = WidgetOf(window)) {
        widget->setWindowState(widget->windowState() & ~Qt::WindowMinimized);
    }
}

void TQtTopLevelWindows::ShowNormal(TWindowHandle window) {
    if (QWidget* widget = WidgetOf(window)) {
        widget->showNormal();
    }
}

void TQtTopLevelWindows::BringToFront(TWindowHandle window) {
    if (QWidget* widget = WidgetOf(window)) {
        widget->raise();
        widget->activateWindow();
    }
}

QWidget* TQtTopLevelWindows::WidgetOf(TWindowHandle window) const {
    if (window == 0 || window > FIssued.size()) {
        return nullptr;
    }
    return FIssued[window - 1].data();
}

TWindowHandle TQtTopLevelWindows::HandleOf(QWidget* widget) {
    for (std::size_t index = 0; index < FIssued.size(); ++index) {
        if (FIssued[index] == widget) {
            return static_cast<TWindowHandle>(index + 1);
        }
    }
    FIssued.emplace_back(widget);
    return static_cast<TWindowHandle>(FIssued.size());
}

}  // namespace varelum::app
