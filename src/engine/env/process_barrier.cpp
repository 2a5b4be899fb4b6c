// The process-wide memory barrier (see process_barrier.h), on Linux's membarrier system call.
#include "engine/env/process_barrier.h"

#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "engine/env/env.h"

namespace varelum::engine {
namespace {

int membarrier(int command) {
    return static_cast<int>(syscall(__NR_membarrier, command, 0, 0));
}

bool register_expedited() {
    return membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0;
}

}  // namespace

bool process_barrier_available() {
    // The expedited barrier interrupts only the CPUs that run this process's threads, but the
    // kernel grants it only to a process that registered for it first.
    static const bool available = [] {
        if (env().variable("VARELUM_ENGINE_BIASED_LOCKS") == "off") {
            return false;
        }
        const int commands = membarrier(MEMBARRIER_CMD_QUERY);
        return commands > 0 && (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0 &&
               register_expedited();
    }();
    return available;
}

bool process_barrier() {
    if (membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0) {
        return true;
    }
    // A child process inherits the registration with the parent's memory today; should a
    // kernel ever refuse it after fork (EPERM), register the child and try again.
    if (errno == EPERM && register_expedited() &&
        membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0) {
        return true;
    }
    // The system-wide barrier needs no registration; it waits for every CPU, so it is slow,
    // but a revocation happens at most once per table handle.
    return membarrier(MEMBARRIER_CMD_GLOBAL) == 0;
}

}  // namespace varelum::engine
