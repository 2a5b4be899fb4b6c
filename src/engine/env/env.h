// The engine's one seam to the operating system: the file calls the storage layer makes
// itself (open, read, sync, byte-range locks), the wall clock and the engine's settings from
// the process environment. Everything answers the operating system's way (a descriptor, a
// byte count or an errno value), so that the layers above decide what an error means.
//
// One Env is installed for the process; tests install a FaultEnv to make a disk fail or a
// clock stand still.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varelum::engine {

using Clock = std::chrono::system_clock;

// Which file a path named (its device and inode numbers): a path that shows other numbers now
// names another file, put there since. Two spellings of one file show the same numbers.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// What the file system says of one file.
struct FileStatus {
    enum class Kind { Regular, Directory, SymbolicLink, Other };
    FileIdentity identity;
    Kind kind = Kind::Other;
    off_t size = 0;
    mode_t mode = 0;               // permission bits
    std::int64_t modified_ns = 0;  // last change of the contents, nanoseconds since 1970
    bool regular() const { return kind == Kind::Regular; }
    bool directory() const { return kind == Kind::Directory; }
};

class Env {
  public:
    virtual ~Env() = default;

    // A descriptor of the file (close-on-exec), or -errno.
    virtual int open_file(const std::string& path, int flags, mode_t mode = 0);
    virtual void close_file(int fd);
    // Bytes read, or -errno.
    virtual ssize_t read_at(int fd, void* data, std::size_t size, off_t offset);
    // Bytes written (all of them unless the disk refused), or -errno.
    virtual ssize_t write_at(int fd, const void* data, std::size_t size, off_t offset);
    // Forces what was written through fd to the disk: 0, or an errno value.
    virtual int sync(int fd);
    // 0, or an errno value.
    virtual int truncate_file(int fd, off_t size);
    virtual int rename_file(const std::string& from, const std::string& to);
    virtual int remove_file(const std::string& path);
    // What the file at path is, following a symbolic link unless follow_links is false (the
    // link itself then answers): 0, or an errno value (ENOENT when there is nothing there).
    virtual int stat_file(const std::string& path, FileStatus& status, bool follow_links = true);
    // The same for an open descriptor.
    virtual int stat_descriptor(int fd, FileStatus& status);
    // The names of a folder's entries ("." and ".." left out), in no particular order: 0, or
    // an errno value.
    virtual int list_folder(const std::string& folder, std::vector<std::string>& names);
    // Sets (type F_RDLCK or F_WRLCK) or clears (F_UNLCK) an open-file-description lock on a
    // byte range without waiting: 0, or an errno value (EAGAIN when another holds it).
    virtual int lock_range(int fd, short type, std::int64_t start, std::int64_t length);

    virtual Clock::time_point now();
    // The process environment variable, or nullopt when it is unset.
    virtual std::optional<std::string> variable(std::string_view name);
};

// The Env in use: the installed one, else the operating system's.
Env& env();
// Installs env for the process (nullptr restores the operating system's). The caller keeps
// it alive while installed; not for use while other threads call the engine.
void install_env(Env* env);

// Whether anything is at path (a symbolic link counts, whatever it points to).
bool path_exists(const std::string& path);
// Whether path names a folder (through symbolic links).
bool is_folder(const std::string& path);

// Forces a directory's entries (a file created in it, a rename) to the disk, so that a power
// cut after a replace shows the new file or the old one, never neither: 0, or an errno value.
int sync_directory(const std::string& directory);

// Puts a file with these contents at path in one step: written to `staging` beside it, synced,
// renamed over path, and the folder synced, so that a crash leaves the old file or the new one,
// whole. 0, or the errno value of the step that failed (the staging file is then removed).
int replace_file(const std::string& path, const std::string& staging, std::string_view contents);

// A local date and time of day, broken down.
struct LocalTime {
    int year = 0, month = 0, day = 0;
    std::int32_t milliseconds = 0;  // since midnight
};
LocalTime local_time(Clock::time_point when);
// env().now() in local time: every timestamp the engine writes or answers comes from here.
LocalTime local_now();

// The engine's settings from the environment, read when asked.
// The most a table file may grow to: VARELUM_ENGINE_TABLE_LIMIT (bytes, at least 1 MiB), else
// 64 GiB. The storage reserves that much address space per open table and the file grows only
// as data is written, so the default costs nothing on a 64-bit machine; a smaller limit is for
// machines with little address space, and for tests of a full table.
std::size_t table_size_limit();
// Where temporary tables are made: $TMPDIR, else the shared-memory file system, else /tmp.
std::string temporary_directory();

}  // namespace varelum::engine
