// The cached process id (see process_id.h).
#include "engine/env/process_id.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>

namespace varelum::engine {
namespace {

// 0 until first asked.
std::atomic<pid_t> cached_process_id{0};

pid_t refresh_process_id() {
    const pid_t pid = ::getpid();
    cached_process_id.store(pid, std::memory_order_relaxed);
    return pid;
}

// Registered when the engine is loaded, before any of its callers can fork: the child's first
// act is to keep its own id. (The C library drops the handler if the engine is ever unloaded.)
const bool fork_handler_registered =
    ::pthread_atfork(nullptr, nullptr, [] { refresh_process_id(); }) == 0;

}  // namespace

pid_t current_process_id() {
    if (!fork_handler_registered) {
        return ::getpid();  // asked before the engine's initialisers ran, or no handler
    }
    const pid_t pid = cached_process_id.load(std::memory_order_relaxed);
    return pid != 0 ? pid : refresh_process_id();
}

}  // namespace varelum::engine
