// The boundary between Qt's event dispatch and the program's handlers. Every handler that a Qt
// event runs (a key, a click, a show, a close, a data-aware control's refresh) runs through
// RunEventHandler, so that no exception unwinds through Qt's own frames: one that escapes goes
// to the application's exception handler (db::ApplicationExceptionHandler, the same path as the
// errors of data-aware controls), which shows it in the error box or, for the silent abort,
// not at all.
#pragma once

#include <exception>
#include <functional>

namespace varelum::ui {

// Runs `handler` and answers whether it ran to its end. An exception escaping it is passed to
// the application's exception handler; with none installed it is rethrown (it then reaches
// the application's guard around the event dispatch).
bool RunEventHandler(const std::function<void()>& handler);

}  // namespace varelum::ui
