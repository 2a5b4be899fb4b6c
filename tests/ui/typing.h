// Typing text into a widget key by key, as a keyboard would: one key press and release per
// character, each carrying the character as its text. Qt Test's keyClicks covers ASCII only;
// accented letters go out as keys without a key code of their own, as input methods send them.
#pragma once

#include <QString>
#include <QTest>
#include <QWidget>

namespace varelum::ui::testing {

inline void TypeText(QWidget* widget, const QString& text) {
    for (const QChar character : text) {
        if (character.unicode() < 0x80) {
            QTest::keyClick(widget, character.toLatin1());
        } else {
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(character),
                                Qt::NoModifier);
        }
    }
}

}  // namespace varelum::ui::testing
