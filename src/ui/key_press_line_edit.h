// TKeyPressLineEdit: a single-line text field that reports each typed character to OnKeyPress
// before it takes the character, as the code field's handler expects: Enter arrives as
// character 13, other control keys with their control characters (Backspace 8, Escape 27), and
// keys that type nothing are not reported. When OnKeyPress ends in an exception (reported by
// the event guard), the field does not take the character.
#pragma once

#include <QLineEdit>

#include <functional>

namespace varelum::ui {

class TKeyPressLineEdit final : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;

    std::function<void(char32_t key)> OnKeyPress;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace varelum::ui
