// An Env for tests that makes the disk fail and the clock stand still: the next writes or
// syncs of one file fail with a chosen errno (ENOSPC, EIO, ...), after a number that succeed,
// opens of one file for writing are refused as file permissions would refuse them (which
// do not bind the superuser, so a test running as root cannot use chmod for it), and the
// removal, renaming, status or listing of one path fails. It also
// keeps a trace of the writes, syncs and renames of files and folders in the order they
// happen, so that a test can see that data reaches the disk before what depends on it.
//
// The storage library writes table files through its own descriptors, so the engine's test
// build routes every write and sync of the process through write_fault and sync_fault as
// well (env/testing_hooks.cpp); the fault then happens where a full disk would hit.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "engine/env/env.h"

namespace varelum::engine {

class FaultEnv : public Env {
  public:
    // The calls on a path by name that fail_calls can make fail.
    enum class PathCall { Remove, Rename, Stat, List };
    // Calls of this kind on path (a rename's source; a listing's folder), spelled exactly as
    // the engine passes it, or on any path when it is empty: `skip` more succeed, then `count`
    // fail with error.
    void fail_calls(PathCall call, const std::string& path, int error, int skip = 0, int count = 1);
    // Writes to the file at path: `skip` more succeed, then `count` fail with error.
    void fail_writes(const std::string& path, int error, int skip = 0, int count = 1);
    // Syncs of the file at path: `skip` more succeed, then `count` fail with error.
    void fail_syncs(const std::string& path, int error, int skip = 0, int count = 1);
    // The process kills itself (SIGKILL) when it asks for a sync after `skip` more syncs of
    // any file or folder, before that sync runs: a crash between two steps that each wait for
    // the disk. Negative: never.
    void kill_at_sync(int skip);
    // Opens of the file at path for writing fail with error (0: they succeed again); opens
    // for reading are not touched.
    void refuse_writable_opens(const std::string& path, int error);
    // Stops the clock at `when` (nullopt lets it run again).
    void set_clock(std::optional<Clock::time_point> when);
    // Answers `value` for the environment variable `name` (nullopt: the process's own again).
    void set_variable(const std::string& name, std::optional<std::string> value);
    void clear();

    // Starts the trace afresh. With output_fd >= 0 each event is also written there as a line
    // as it happens (so a process that dies leaves its trace behind).
    void start_trace(int output_fd = -1);
    // The events since start_trace, one line each: "write PATH", "sync PATH", "sync-folder
    // PATH", "rename FROM TO". Writes that follow each other to one file are one event.
    std::string trace() const;
    // The test build's hooks report here what went through to the system (only regular files
    // and folders are traced; the trace's own output is not).
    void trace_write(int fd);
    void trace_sync(int fd);
    void trace_rename(const char* from, const char* to);

    // The errno a write or sync through fd must fail with, or 0 (and counts it).
    int write_fault(int fd);
    int sync_fault(int fd);
    // Faults armed but not yet spent.
    int pending_faults() const;

    int open_file(const std::string& path, int flags, mode_t mode = 0) override;
    int sync(int fd) override;
    int rename_file(const std::string& from, const std::string& to) override;
    int remove_file(const std::string& path) override;
    int stat_file(const std::string& path, FileStatus& status, bool follow_links = true) override;
    int list_folder(const std::string& folder, std::vector<std::string>& names) override;
    Clock::time_point now() override;
    std::optional<std::string> variable(std::string_view name) override;

  private:
    struct Plan {
        dev_t device = 0;
        ino_t inode = 0;
        int error = 0;
        int skip = 0;
        int count = 0;
        bool armed() const { return count > 0; }
    };
    struct PathPlan {
        std::string path;
        int error = 0;
        int skip = 0;
        int count = 0;
    };
    void add_event(std::string event);
    // The errno the call on path must fail with, or 0 (and counts it).
    int path_fault(PathCall call, const std::string& path);

    static Plan plan_for(const std::string& path, int error, int skip, int count);
    int take(Plan& plan, int fd);

    mutable std::mutex mutex_;
    Plan writes_;
    Plan syncs_;
    Plan writable_opens_;
    std::map<PathCall, PathPlan> path_plans_;
    int syncs_before_kill_ = -1;
    std::optional<Clock::time_point> clock_;
    std::map<std::string, std::string, std::less<>> variables_;
    bool tracing_ = false;
    std::atomic<int> trace_output_{-1};
    std::string trace_;
    std::string last_event_;
};

// The installed Env when it is a FaultEnv, else nullptr.
FaultEnv* installed_fault_env();

}  // namespace varelum::engine
