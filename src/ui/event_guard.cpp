// The handler boundary: catch everything, hand it to the application's exception handler.
#include "ui/event_guard.h"

#include "db/dataset.h"

namespace varelum::ui {

bool RunEventHandler(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (...) {
        const db::TExceptionHandler& report = db::ApplicationExceptionHandler();
        if (!report) {
            throw;
        }
        report(std::current_exception());
        return false;
    }
}

}  // namespace varelum::ui
