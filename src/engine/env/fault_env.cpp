// Fault-injecting Env (see fault_env.h).
#include "engine/env/fault_env.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varelum::engine {
namespace {

// Set while FaultEnv::sync runs the real sync, so that the test build's hook on the system
// call does not count the same sync twice.
thread_local bool inside_env_sync = false;

// The path an open descriptor names, when it is a regular file or a folder (the trace leaves
// out terminals, pipes and sockets).
std::optional<std::string> traced_path(int fd, bool* folder = nullptr) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) {
        return std::nullopt;
    }
    if (folder != nullptr) {
        *folder = S_ISDIR(info.st_mode);
    }
    char path[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    ssize_t length = ::readlink(link.c_str(), path, sizeof path);
    if (length <= 0) {
        return std::nullopt;
    }
    return std::string(path, static_cast<std::size_t>(length));
}

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

void FaultEnv::fail_calls(PathCall call, const std::string& path, int error, int skip, int count) {
    std::lock_guard guard(mutex_);
    path_plans_[call] = PathPlan{path, error, skip, count};
}

int FaultEnv::path_fault(PathCall call, const std::string& path) {
    std::lock_guard guard(mutex_);
    auto found = path_plans_.find(call);
    if (found == path_plans_.end() || found->second.count <= 0 ||
        (!found->second.path.empty() && found->second.path != path)) {
        return 0;
    }
    PathPlan& plan = found->second;
    if (plan.skip > 0) {
        --plan.skip;
        return 0;
    }
    --plan.count;
    return plan.error;
}

int FaultEnv::rename_file(const std::string& from, const std::string& to) {
    if (int error = path_fault(PathCall::Rename, from)) {
        return error;
    }
    return Env::rename_file(from, to);
}

int FaultEnv::remove_file(const std::string& path) {
    if (int error = path_fault(PathCall::Remove, path)) {
        return error;
    }
    return Env::remove_file(path);
}

int FaultEnv::stat_file(const std::string& path, FileStatus& status, bool follow_links) {
    if (int error = path_fault(PathCall::Stat, path)) {
        return error;
    }
    return Env::stat_file(path, status, follow_links);
}

int FaultEnv::list_folder(const std::string& folder, std::vector<std::string>& names) {
    if (int error = path_fault(PathCall::List, folder)) {
        return error;
    }
    return Env::list_folder(folder, names);
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
    path_plans_.clear();
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
    if (syncs_before_kill_ == 0) {
        ::kill(::getpid(), SIGKILL);
    }
    if (syncs_before_kill_ > 0) {
        --syncs_before_kill_;
    }
    return take(syncs_, fd);
}

void FaultEnv::kill_at_sync(int skip) {
    std::lock_guard guard(mutex_);
    syncs_before_kill_ = skip;
}

int FaultEnv::pending_faults() const {
    std::lock_guard guard(mutex_);
    int pending = writes_.count + syncs_.count;
    for (const auto& [call, plan] : path_plans_) {
        pending += plan.count;
    }
    return pending;
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

void FaultEnv::start_trace(int output_fd) {
    std::lock_guard guard(mutex_);
    tracing_ = true;
    trace_output_.store(output_fd);
    trace_.clear();
    last_event_.clear();
}

std::string FaultEnv::trace() const {
    std::lock_guard guard(mutex_);
    return trace_;
}

void FaultEnv::add_event(std::string event) {
    int output = -1;
    {
        std::lock_guard guard(mutex_);
        if (!tracing_ || (event.starts_with("write ") && event == last_event_)) {
            return;  // more of the same file's write
        }
        event += '\n';
        trace_ += event;
        last_event_ = event.substr(0, event.size() - 1);
        output = trace_output_.load();
    }
    if (output >= 0) {
        // Outside the lock: this write comes back through the test build's hook.
        [[maybe_unused]] ssize_t written = ::write(output, event.data(), event.size());
    }
}

void FaultEnv::trace_write(int fd) {
    if (fd == trace_output_) {
        return;
    }
    if (std::optional<std::string> path = traced_path(fd)) {
        add_event("write " + *path);
    }
}

void FaultEnv::trace_sync(int fd) {
    bool folder = false;
    if (std::optional<std::string> path = traced_path(fd, &folder)) {
        add_event((folder ? "sync-folder " : "sync ") + *path);
    }
}

void FaultEnv::trace_rename(const char* from, const char* to) {
    add_event(std::string("rename ") + from + " " + to);
}

FaultEnv* installed_fault_env() {
    return dynamic_cast<FaultEnv*>(&env());
}

}  // namespace varelum::engine
