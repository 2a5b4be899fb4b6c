// The typed character of a key event: Enter and Return as the carriage return, else the first
// character of the event's text.
#include "ui/key_press_line_edit.h"

#include <QKeyEvent>
#include <QString>

#include "ui/event_guard.h"

namespace varelum::ui {

namespace {

constexpr char32_t CarriageReturn = 13;

// 0 when the key types nothing.
char32_t TypedCharacter(const QKeyEvent& event) {
    if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) {
        return CarriageReturn;
    }
    const QString text = event.text();
    if (text.isEmpty()) {
        return 0;
    }
    return static_cast<char32_t>(text.toUcs4().front());
}

}  // namespace

void TKeyPressLineEdit::keyPressEvent(QKeyEvent* event) {
    const char32_t key = TypedCharacter(*event);
    if (key != 0 && OnKeyPress && !RunEventHandler([this, key] { OnKeyPress(key); })) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace varelum::ui
