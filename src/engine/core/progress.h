// Long work (pack, reindex, index creation, copy, convert) tells the caller how far it is, and
// long SQL statements ask whether to go on: through the callbacks the calling thread
// registered (AdsRegisterProgressCallback, AdsRegisterCallbackFunction[101],
// AdsRegisterSQLAbortFunc). A callback answering non-zero stops the work with
// VE_OPERATION_CANCELLED, thrown from inside its write transaction, so nothing of it is kept.
//
// Callbacks belong to the thread that registered them: work runs on the calling thread, and a
// callback is never called from another thread's work.
#pragma once

#include <cstdint>

namespace varelum::engine {

using ProgressFunction = std::uint32_t (*)(std::uint16_t percent);
using CallbackFunction = std::uint32_t (*)(std::uint16_t percent, std::uint32_t id);
using CallbackFunction64 = std::uint32_t (*)(std::uint16_t percent, std::int64_t id);
using AbortFunction = std::uint32_t (*)();

// Registrations of the calling thread; null clears. The two forms of the general callback
// share one place: the last one registered is the one called.
void set_progress_function(ProgressFunction function);
void set_callback_function(CallbackFunction function, std::uint32_t id);
void set_callback_function(CallbackFunction64 function, std::int64_t id);
void set_abort_function(AbortFunction function);

// Whether the calling thread has anything registered that SQL statements must consult.
bool abort_requestable();
// Asks the SQL abort function and the general callback (with percent 0: a statement does not
// know how far it is) whether to stop; true when one of them answers non-zero.
bool abort_requested();

// One piece of long work on the calling thread, of `total` steps (any unit). While it lives,
// progress_step() counts towards it; a Progress made while another lives adds nothing of its
// own (the outer one's total includes the inner work). Reports 0 when made.
class Progress {
  public:
    explicit Progress(std::uint64_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // The work is done and kept: reports 100 if it has not been reported yet (the answer no
    // longer matters).
    void finish() noexcept;

    struct Work {
        std::uint64_t total = 0;
        std::uint64_t done = 0;
        std::uint64_t next_report = 0;  // the step count at which the percent changes next
        int reported = -1;              // the last percent reported
    };

  private:
    Work work_;
    bool outermost_;
};

// Counts `steps` done of the thread's current work (nothing when there is none); reports each
// new whole percent below 100, and 100 once every step is done. Throws VE_OPERATION_CANCELLED
// when a callback answers non-zero.
void progress_step(std::uint64_t steps = 1);

}  // namespace varelum::engine
