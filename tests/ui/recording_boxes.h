// Test seams of the windows: message boxes that are recorded instead of shown, and an
// application exception handler that records what escaped the handlers (the silent abort
// apart), standing in for the shell's error box.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "db/dataset.h"
#include "rtl/exception.h"
#include "ui/message_boxes.h"

namespace varelum::ui::testing {

struct TShownBox {
    bool Error;
    std::string Caption;
    std::string Text;
};

class TRecordingBoxes final : public TMessageBoxes {
  public:
    void ShowNotice(const std::string& caption, const std::string& text) override {
        Boxes.push_back({false, caption, text});
    }
    void ShowError(const std::string& caption, const std::string& text) override {
        Boxes.push_back({true, caption, text});
    }
    std::vector<TShownBox> Boxes;
};

// Installs itself as the application's exception handler for its lifetime.
class TRecordingExceptionHandler {
  public:
    TRecordingExceptionHandler() {
        db::SetApplicationExceptionHandler([this](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const rtl::EAbort&) {
                ++Aborts;
            } catch (const std::exception& other) {
                Errors.push_back(other.what());
            }
        });
    }
    ~TRecordingExceptionHandler() { db::SetApplicationExceptionHandler(nullptr); }
    TRecordingExceptionHandler(const TRecordingExceptionHandler&) = delete;
    TRecordingExceptionHandler& operator=(const TRecordingExceptionHandler&) = delete;

    int Aborts = 0;
    std::vector<std::string> Errors;
};

}  // namespace varelum::ui::testing
