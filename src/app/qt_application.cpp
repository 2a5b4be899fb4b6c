// The Qt realisation of the main loop: the guard around every dispatch, the queued quit request
// and the shell's message boxes.
#include "app/qt_application.h"

#include <QWidget>

#include <exception>

#include "ui/message_boxes.h"

namespace varelum::app {

namespace {

// Our own event type for the quit request, so that it waits its turn in the queue behind every
// event posted before it (QCoreApplication::exit would act at once, or not at all before exec()).
QEvent::Type QuitRequestEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

// In front of the modal dialog when one is open, else of the active window.
void TQtMessageBoxShower::ShowErrorBox(const std::string& caption, const std::string& text) {
    ui::TQtMessageBoxes().ShowError(caption, text);
}

// Application-modal with no parent: every window of the program is blocked, as there is no main
// window yet to attach the box to.
void TQtMessageBoxShower::ShowTaskModalErrorBox(const std::string& caption,
                                                const std::string& text) {
    ui::ShowModalMessageBox(nullptr, true, caption, text);
}

TQtApplication::TQtApplication(int& argc, char** argv, TMessageBoxShower& boxes)
    : QApplication(argc, argv), FApplication(boxes, *this) {}

TQtApplication::~TQtApplication() = default;

bool TQtApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    FApplication.Guard([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void TQtApplication::RunLoop() {
    if (!FApplication.Terminated()) {
        exec();
    }
}

bool TQtApplication::event(QEvent* event) {
    if (event->type() == QuitRequestEventType()) {
        FApplication.QuitRequestTaken();
        exit(0);
        return true;
    }
    return QApplication::event(event);
}

void TQtApplication::PostQuitRequest() {
    postEvent(this, new QEvent(QuitRequestEventType()));
}

void TQtApplication::CancelMouseCapture() {
    if (QWidget* grabber = QWidget::mouseGrabber()) {
        grabber->releaseMouse();
    }
    if (QWidget* popup = activePopupWidget()) {
        popup->close();
    }
}

}  // namespace varelum::app
