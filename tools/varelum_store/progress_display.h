// How far the tool's long work is (pack, reindex, index creation, restructure, copy), shown
// through the engine's progress callback, and Ctrl-C turned into a clean stop: while a
// ProgressDisplay lives, SIGINT and SIGTERM only mark the work interrupted, the callback then
// answers "stop", and the engine ends the work with VE_OPERATION_CANCELLED, keeping nothing of
// it. Killing the tool in the middle of an engine call would be safe too, but a clean stop
// also says so and closes the table.
//
// The percent is written to standard error only when that is a terminal, as one line
// rewritten in place ("pack: 42%") and erased at the end, so that logs and the output a
// script reads stay exactly what the command reports.
#pragma once

#include <signal.h>

#include <string>

#include "varelum_engine.h"

namespace varelum::store {

class ProgressDisplay {
  public:
    // Whose percent the line shows: the engine's (one engine call does the work), or the
    // tool's own through report() (a loop of engine calls, such as import, where each call
    // would start its own 0..100). Either way the engine's callback stops engine work once
    // the user interrupted it.
    enum class Percent { Engine, Tool };

    // what: the line's label ("pack", "restructure"). One display at a time.
    explicit ProgressDisplay(std::string what, Percent percent = Percent::Engine);
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // Shows percent (0..100) for work the tool drives itself; answers whether the user asked
    // the work to stop. The engine's callback goes through here too.
    bool report(unsigned percent);
    // Writes a line of its own to standard error (the progress line is drawn again at the
    // next percent).
    void print_line(const std::string& line);
    // Whether SIGINT or SIGTERM came since the display was made.
    static bool interrupted() noexcept;

  private:
    friend UNSIGNED32 engine_progress(UNSIGNED16 percent);
    void erase();

    std::string what_;
    Percent percent_;
    bool terminal_ = false;
    int shown_ = -1;  // the percent on the line now; -1 when nothing is shown
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
};

// The engine's progress callback while a display lives.
UNSIGNED32 engine_progress(UNSIGNED16 percent);

// The exit status of a command stopped by Ctrl-C or SIGTERM, as shells report an
// interrupted command (128 + SIGINT).
inline constexpr int kInterruptedExitCode = 130;

}  // namespace varelum::store
