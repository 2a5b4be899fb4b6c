// The id of the calling process without a system call. The C library no longer caches it, and
// the engine asks on every table open (to notice that it now runs in a forked child), so the
// answer is kept here and made afresh in the child by a fork handler.
#pragma once

#include <sys/types.h>

namespace varelum::engine {

// getpid(), answered from memory: right in the parent and, after fork(), in the child. A child
// made without fork's handlers (vfork, a raw clone) must only exec, as those require anyway.
pid_t current_process_id();

}  // namespace varelum::engine
