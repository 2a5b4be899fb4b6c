// The program's modal message boxes: the notices of the count (a text, one OK button, the
// application title as caption) and the error box of the main loop (the same with the error
// icon). The window and the shell show them through TMessageBoxes, so that tests can record
// them instead of waiting for a user; TQtMessageBoxes shows them for real.
#pragma once

#include <string>

class QWidget;

namespace varelum::ui {

class TMessageBoxes {
  public:
    virtual ~TMessageBoxes() = default;

    // A notice: no icon, one OK button. Returns when the user has closed it.
    virtual void ShowNotice(const std::string& caption, const std::string& text) = 0;

    // An error box: the error icon, one OK button. Returns when the user has closed it.
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;
};

// Shows each box as an application-modal QMessageBox over the active window (none before the
// first window is shown): every window of the program is blocked while it is open.
class TQtMessageBoxes final : public TMessageBoxes {
  public:
    void ShowNotice(const std::string& caption, const std::string& text) override;
    void ShowError(const std::string& caption, const std::string& text) override;
};

// The box itself, for callers that pick their own parent: modal, one OK button, the error icon
// when `error` is set. Returns when the user has closed it.
void ShowModalMessageBox(QWidget* parent, bool error, const std::string& caption,
                         const std::string& text);

}  // namespace varelum::ui
