// Fault-injecting Env (see fault_env.h).
#include "engine/env/fault_env.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace varelum::engine {
namespace {

// Set while FaultEnv::sync runs the real sync, so that the test build's hook on the system
// call does not count the same sync twice.
thread_local bool inside_env_sync = false;

}  // namespace

FaultEnv::Plan FaultEnv::plan_for(const std::string& path, int error, int skip, int count) {
    Plan plan;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return plan;  // nothing to fail
    }
    plan.device = info.st_dev;
    plan.inode = info.st_ino;
    plan.error = error;
    plan.skip = skip;
    plan.count = count;
    return plan;
}

void FaultEnv::fail_writes(const std::string& path, int error, int skip, int count) {
    Plan plan = plan_for(path, error, skip, count);
    std::lock_guard guard(mutex_);
    writes_ = plan;
}

void FaultEnv::fail_syncs(const std::string& path, int error, int skip, int count) {
    Plan plan = plan_for(path, error, skip, count);
    std::lock_guard guard(mutex_);
    syncs_ = plan;
}

void FaultEnv::refuse_writable_opens(const std::string& path, int error) {
    Plan plan = error != 0 ? plan_for(path, error, 0, 1) : Plan{};
    std::lock_guard guard(mutex_);
    writable_opens_ = plan;
}

void FaultEnv::set_clock(std::optional<Clock::time_point> when) {
    std::lock_guard guard(mutex_);
    clock_ = when;
}

void FaultEnv::set_variable(const std::string& name, std::optional<std::string> value) {
    std::lock_guard guard(mutex_);
    if (value) {
        variables_[name] = std::move(*value);
    } else {
        variables_.erase(name);
    }
}

void FaultEnv::clear() {
    std::lock_guard guard(mutex_);
    writes_ = Plan{};
    syncs_ = Plan{};
    writable_opens_ = Plan{};
    clock_.reset();
    variables_.clear();
}

std::optional<std::string> FaultEnv::variable(std::string_view name) {
    {
        std::lock_guard guard(mutex_);
        auto found = variables_.find(name);
        if (found != variables_.end()) {
            return found->second;
        }
    }
    return Env::variable(name);
}

int FaultEnv::take(Plan& plan, int fd) {
    if (!plan.armed()) {
        return 0;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_dev != plan.device || info.st_ino != plan.inode) {
        return 0;
    }
    if (plan.skip > 0) {
        --plan.skip;
        return 0;
    }
    --plan.count;
    return plan.error;
}

int FaultEnv::write_fault(int fd) {
    std::lock_guard guard(mutex_);
    return take(writes_, fd);
}

int FaultEnv::sync_fault(int fd) {
    if (inside_env_sync) {
        return 0;
    }
    std::lock_guard guard(mutex_);
    return take(syncs_, fd);
}

int FaultEnv::pending_faults() const {
    std::lock_guard guard(mutex_);
    return writes_.count + syncs_.count;
}

int FaultEnv::open_file(const std::string& path, int flags, mode_t mode) {
    if ((flags & O_ACCMODE) != O_RDONLY) {
        Plan refused;
        {
            std::lock_guard guard(mutex_);
            refused = writable_opens_;
        }
        struct stat info {};
        if (refused.armed() && ::stat(path.c_str(), &info) == 0 && info.st_dev == refused.device &&
            info.st_ino == refused.inode) {
            return -refused.error;
        }
    }
    return Env::open_file(path, flags, mode);
}

int FaultEnv::sync(int fd) {
    if (int error = sync_fault(fd)) {
        return error;
    }
    inside_env_sync = true;
    int result = Env::sync(fd);
    inside_env_sync = false;
    return result;
}

Clock::time_point FaultEnv::now() {
    {
        std::lock_guard guard(mutex_);
        if (clock_) {
            return *clock_;
        }
    }
    return Env::now();
}

FaultEnv* installed_fault_env() {
    return dynamic_cast<FaultEnv*>(&env());
}

}  // namespace varelum::engine
