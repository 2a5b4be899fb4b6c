// A memory barrier that one thread forces on every other thread of the process (Linux
// membarrier), so that a fast path run by one thread needs only a compiler barrier: the heavy
// side of the pair is paid by the rare thread that calls process_barrier(). Used by the biased
// call locks of the handle registry (core/handles.h).
#pragma once

#include <cstdint>

namespace varelum::engine {

// Whether process_barrier() can be relied on in this process. Asked once: false when the
// kernel lacks the expedited barrier, a sandbox refuses it, or the environment variable
// VARELUM_ENGINE_BIASED_LOCKS is "off" (for tests of the path without it).
bool process_barrier_available();

// Makes every thread of the process pass a full memory barrier before it returns: a thread
// running now is interrupted for it, one not running passes one when it is scheduled again.
// False when no barrier could be made (possible only where process_barrier_available() is
// false, or in a child process the kernel refuses it to).
bool process_barrier();

// A token of the calling thread, unique among the threads alive: the address of its
// thread-control block, read from a register without a call.
inline std::uintptr_t current_thread_token() {
    return reinterpret_cast<std::uintptr_t>(__builtin_thread_pointer());
}

}  // namespace varelum::engine
