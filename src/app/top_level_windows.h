// The top-level windows as the single-instance guard sees them: found by their title, restored,
// shown and brought to the front by a window handle. The toolkit realises it
// (qt_top_level_windows.h); a toolkit that can see only its own process's windows finds only
// those, which is enough, as the program's own duplicate handler ignores the window found.
#pragma once

#include <cstdint>
#include <string>

namespace varelum::app {

// A top-level window, as a 32-bit value; 0 is no window. A handle stays valid while its window
// exists; a call with 0 or with the handle of a window that is gone does nothing.
using TWindowHandle = std::uint32_t;

class TTopLevelWindows {
  public:
    virtual ~TTopLevelWindows() = default;

    // The first top-level window, of any kind and shown or not, whose title equals `title`
    // exactly (an empty title finds a window without a title); 0 when there is none.
    virtual TWindowHandle FindWindowByTitle(const std::string& title) = 0;

    virtual bool IsMinimized(TWindowHandle window) = 0;
    // Ends the window's minimized state.
    virtual void Restore(TWindowHandle window) = 0;
    // Shows the window in its normal state: neither minimized nor maximized.
    virtual void ShowNormal(TWindowHandle window) = 0;
    // Raises the window above the others and gives it the input focus.
    virtual void BringToFront(TWindowHandle window) = 0;
};

}  // namespace varelum::app
