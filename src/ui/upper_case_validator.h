// A validator that turns letters into upper case as they are typed (or pasted) into a
// QLineEdit, leaving digits and every other character as they are: the code field of the main
// window and the password field of the password dialog both use it.
#pragma once

#include <QValidator>

namespace varelum::ui {

class TUpperCaseValidator final : public QValidator {
  public:
    explicit TUpperCaseValidator(QObject* parent = nullptr) : QValidator(parent) {}

    // Rewrites `input` in upper case and accepts it; the cursor stays where it was, as each
    // character maps to exactly one character.
    State validate(QString& input, int& pos) const override;
};

}  // namespace varelum::ui
