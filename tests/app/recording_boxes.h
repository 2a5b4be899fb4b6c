// Test seams of the shell: a message-box shower that records every box instead of showing it,
// and an event-loop host that records quit requests and capture cancels.
#pragma once

#include <string>
#include <vector>

#include "app/application.h"

namespace varelum::app::testing {

struct TShownBox {
    bool TaskModal;
    std::string Caption;
    std::string Text;
};

class TRecordingBoxes : public TMessageBoxShower {
  public:
    void ShowErrorBox(const std::string& caption, const std::string& text) override {
        Boxes.push_back({false, caption, text});
    }
    void ShowTaskModalErrorBox(const std::string& caption, const std::string& text) override {
        Boxes.push_back({true, caption, text});
    }
    std::vector<TShownBox> Boxes;
};

class TRecordingLoop : public TEventLoopHost {
  public:
    void PostQuitRequest() override { ++QuitRequests; }
    void CancelMouseCapture() override { ++CaptureCancels; }
    int QuitRequests = 0;
    int CaptureCancels = 0;
};

}  // namespace varelum::app::testing
