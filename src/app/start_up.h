// The program's start-up, run and end, in the fixed order: initialise the modules, set up the
// application object, build and register the main window, show it, run the loop, finalise the
// modules, destroy the window. A failure while the window is being built is reported as a
// failed start (exit code 1); every other end is exit code 0.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"

namespace varelum::app {

inline constexpr const char* ApplicationTitle = "Varelum";
inline constexpr int ExitCodeSuccess = 0;
inline constexpr int ExitCodeStartFailure = 1;

// One module of the program with its start and end steps (either may be empty).
struct TProgramModule {
    std::string Name;
    std::function<void()> Initialize;
    std::function<void()> Finalize;
};

struct TProgram {
    // In link order: initialised first to last, finalised last to first.
    std::vector<TProgramModule> Modules;

    // Builds the main window with all its components and runs their after-load steps; the
    // application has no registered main window while this runs.
    std::function<std::unique_ptr<TMainForm>(TApplication&)> CreateMainForm;

    // The main loop: dispatches events (each inside the application's guard) and returns once it
    // has taken the quit request.
    std::function<void()> RunLoop;
};

// Runs the program and returns its exit code.
//  1. Initialises the modules in order.
//  2-4. Initialises the application, sets the task-bar flag and the title "Varelum".
//  5-7. Builds the main window, creates its native window and registers it. An exception from
//       steps 1 to 7 is shown by TApplication::ShowStartFailure; the modules initialised so far
//       are finalised and the result is ExitCodeStartFailure.
//  8. Shows the window inside the guard: a failing show handler is reported in the error box,
//     the window stays shown and the loop starts as usual.
//  9. Runs the loop.
// 10. Finalises the modules in reverse order, unregisters and destroys the window, and returns
//     ExitCodeSuccess.
int RunProgram(TApplication& application, const TProgram& program);

}  // namespace varelum::app
