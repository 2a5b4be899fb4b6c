// The program's message boxes: the count's notices, the main loop's error box and the report of
// a failed start, shown as Qt message boxes on a desktop.
//
// Where nobody can answer a box, it must not wait forever: on Qt's offscreen or minimal
// platform, or when the environment variable VARELUM_MESSAGE_BOXES is "stderr", every box is
// written to standard error as one line and returns at once:
//
//   notice: <caption>: <text>
//   error: <caption>: <text>
//   application error: <caption>: <text>
//
// (line breaks of the text written as "\n"), so that a test can run the real program and read
// what it would have shown. The same switch makes the main window report its first showing
// (ReportWindowShown).
#pragma once

#include <string>

#include "app/application.h"
#include "ui/message_boxes.h"

namespace varelum::app {

inline constexpr const char* MessageBoxesVariable = "VARELUM_MESSAGE_BOXES";

// Whether boxes go to standard error now (the switch above). REQUIRES: a QApplication exists
// when the platform is to be looked at.
bool MessageBoxesToStandardError();

// Writes "window shown: <title>" to standard error when boxes go there; nothing otherwise.
void ReportWindowShown(const std::string& title);

class TProgramMessageBoxes final : public ui::TMessageBoxes, public TMessageBoxShower {
  public:
    void ShowNotice(const std::string& caption, const std::string& text) override;
    void ShowError(const std::string& caption, const std::string& text) override;
    void ShowErrorBox(const std::string& caption, const std::string& text) override;
    void ShowTaskModalErrorBox(const std::string& caption, const std::string& text) override;
};

}  // namespace varelum::app
