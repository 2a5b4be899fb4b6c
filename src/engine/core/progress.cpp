// Progress reports and cancellation through the calling thread's callbacks (see progress.h).
#include "engine/core/progress.h"

#include <algorithm>

#include "engine/core/error.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

struct Callbacks {
    ProgressFunction progress = nullptr;
    CallbackFunction callback = nullptr;
    CallbackFunction64 callback64 = nullptr;
    std::int64_t callback_id = 0;
    AbortFunction abort = nullptr;
};

thread_local Callbacks tCallbacks;

using Work = Progress::Work;

thread_local Work* tWork = nullptr;

// Every registered progress callback hears the percent; the first non-zero answer cancels.
bool answer_stops(std::uint16_t percent) {
    const Callbacks& callbacks = tCallbacks;
    bool stop = false;
    if (callbacks.progress != nullptr) {
        stop = callbacks.progress(percent) != 0;
    }
    if (!stop && callbacks.callback != nullptr) {
        stop = callbacks.callback(percent, static_cast<std::uint32_t>(callbacks.callback_id)) != 0;
    }
    if (!stop && callbacks.callback64 != nullptr) {
        stop = callbacks.callback64(percent, callbacks.callback_id) != 0;
    }
    return stop;
}

void report(Work& work, int percent) {
    work.reported = percent;
    if (answer_stops(static_cast<std::uint16_t>(percent))) {
        fail(VE_OPERATION_CANCELLED, "a callback answered " + std::to_string(percent) +
                                         "% with a request to stop; nothing was changed");
    }
}

// The first step count at which the work is at more than `percent`.
std::uint64_t steps_beyond(const Work& work, int percent) {
    // done * 100 / total > percent  <=>  done > percent * total / 100
    return static_cast<std::uint64_t>(percent + 1) * work.total / 100 +
           ((static_cast<std::uint64_t>(percent + 1) * work.total) % 100 != 0 ? 1 : 0);
}

}  // namespace

void set_progress_function(ProgressFunction function) {
    tCallbacks.progress = function;
}

void set_callback_function(CallbackFunction function, std::uint32_t id) {
    tCallbacks.callback = function;
    tCallbacks.callback64 = nullptr;
    tCallbacks.callback_id = id;
}

void set_callback_function(CallbackFunction64 function, std::int64_t id) {
    tCallbacks.callback = nullptr;
    tCallbacks.callback64 = function;
    tCallbacks.callback_id = id;
}

void set_abort_function(AbortFunction function) {
    tCallbacks.abort = function;
}

bool abort_requestable() {
    const Callbacks& callbacks = tCallbacks;
    return callbacks.abort != nullptr || callbacks.callback != nullptr ||
           callbacks.callback64 != nullptr;
}

bool abort_requested() {
    const Callbacks& callbacks = tCallbacks;
    if (callbacks.abort != nullptr && callbacks.abort() != 0) {
        return true;
    }
    if (callbacks.callback != nullptr &&
        callbacks.callback(0, static_cast<std::uint32_t>(callbacks.callback_id)) != 0) {
        return true;
    }
    return callbacks.callback64 != nullptr && callbacks.callback64(0, callbacks.callback_id) != 0;
}

Progress::Progress(std::uint64_t total) : outermost_(tWork == nullptr) {
    if (!outermost_) {
        return;
    }
    work_.total = total;
    report(work_, 0);  // a refusal here leaves no current work behind
    work_.next_report = total == 0 ? 0 : steps_beyond(work_, 0);
    tWork = &work_;
}

Progress::~Progress() {
    if (outermost_) {
        tWork = nullptr;
    }
}

void Progress::finish() noexcept {
    if (!outermost_ || work_.reported == 100) {
        return;
    }
    work_.reported = 100;
    // The work is committed: whatever the callbacks answer, it stays done.
    (void)answer_stops(100);
}

void progress_step(std::uint64_t steps) {
    Work* work = tWork;
    if (work == nullptr) {
        return;
    }
    work->done += steps;
    if (work->done < work->next_report || work->reported == 100) {
        return;
    }
    // Below 100 until every counted step is done: an estimate that fell short must not say
    // "done" while the work still runs.
    int percent = work->done >= work->total
                      ? 100
                      : std::min(99, static_cast<int>(work->done * 100 / work->total));
    if (percent > work->reported) {
        report(*work, percent);
    }
    work->next_report = percent >= 99 ? work->total : steps_beyond(*work, percent);
}

}  // namespace varelum::engine
