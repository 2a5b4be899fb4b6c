// The operating system's Env and the installed-Env switch (see env.h).
#include "engine/env/env.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "engine/env/files.h"

namespace varelum::engine {
namespace {

std::atomic<Env*> installed{nullptr};

}  // namespace

int Env::open_file(const std::string& path, int flags, mode_t mode) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    return fd >= 0 ? fd : -errno;
}

void Env::close_file(int fd) {
    ::close(fd);
}

ssize_t Env::read_at(int fd, void* data, std::size_t size, off_t offset) {
    ssize_t got;
    do {
        got = ::pread(fd, data, size, offset);
    } while (got < 0 && errno == EINTR);
    return got >= 0 ? got : -errno;
}

ssize_t Env::write_at(int fd, const void* data, std::size_t size, off_t offset) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t put = ::pwrite(fd, static_cast<const char*>(data) + done, size - done,
                               offset + static_cast<off_t>(done));
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -errno;
        }
        done += static_cast<std::size_t>(put);
    }
    return static_cast<ssize_t>(done);
}

int Env::truncate_file(int fd, off_t size) {
    while (::ftruncate(fd, size) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

int Env::rename_file(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int Env::remove_file(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

namespace {

FileStatus status_of(const struct stat& info) {
    FileStatus status;
    status.identity = FileIdentity{info.st_dev, info.st_ino};
    status.kind = S_ISREG(info.st_mode)   ? FileStatus::Kind::Regular
                  : S_ISDIR(info.st_mode) ? FileStatus::Kind::Directory
                  : S_ISLNK(info.st_mode) ? FileStatus::Kind::SymbolicLink
                                          : FileStatus::Kind::Other;
    status.size = info.st_size;
    status.mode = info.st_mode & 07777;
    status.modified_ns =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    return status;
}

}  // namespace

int Env::stat_file(const std::string& path, FileStatus& status, bool follow_links) {
    struct stat info {};
    int result = follow_links ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
    if (result != 0) {
        return errno;
    }
    status = status_of(info);
    return 0;
}

int Env::stat_descriptor(int fd, FileStatus& status) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return errno;
    }
    status = status_of(info);
    return 0;
}

int Env::list_folder(const std::string& folder, std::vector<std::string>& names) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) {
        return errno;
    }
    names.clear();
    errno = 0;
    while (dirent* entry = ::readdir(dir.get())) {
        std::string_view name(entry->d_name);
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    return errno;
}

int Env::sync(int fd) {
    while (::fdatasync(fd) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

int Env::lock_range(int fd, short type, std::int64_t start, std::int64_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    lock.l_pid = 0;  // required for OFD locks
    while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

Clock::time_point Env::now() {
    return Clock::now();
}

std::optional<std::string> Env::variable(std::string_view name) {
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

Env& env() {
    static Env system;  // lives to the process end: used at exit
    Env* chosen = installed.load(std::memory_order_acquire);
    return chosen != nullptr ? *chosen : system;
}

void install_env(Env* replacement) {
    installed.store(replacement, std::memory_order_release);
}

LocalTime local_time(Clock::time_point when) {
    std::time_t seconds = Clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()) % 1000;
    if (ms.count() < 0) {
        ms += std::chrono::seconds(1);
    }
    LocalTime result;
    result.year = local.tm_year + 1900;
    result.month = local.tm_mon + 1;
    result.day = local.tm_mday;
    result.milliseconds = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 +
                          static_cast<std::int32_t>(ms.count());
    return result;
}

LocalTime local_now() {
    return local_time(env().now());
}

bool path_exists(const std::string& path) {
    FileStatus status;
    return env().stat_file(path, status, false) == 0;
}

bool is_folder(const std::string& path) {
    FileStatus status;
    return env().stat_file(path, status) == 0 && status.directory();
}

int sync_directory(const std::string& directory) {
    int fd = env().open_file(directory, O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        return -fd;
    }
    int error = env().sync(fd);
    env().close_file(fd);
    return error;
}

int replace_file(const std::string& path, const std::string& staging, std::string_view contents) {
    int fd = env().open_file(staging, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
        return -fd;
    }
    std::size_t written = 0;
    int error = 0;
    while (written < contents.size()) {
        ssize_t put = env().write_at(fd, contents.data() + written, contents.size() - written,
                                     static_cast<off_t>(written));
        if (put <= 0) {
            error = put < 0 ? static_cast<int>(-put) : EIO;
            break;
        }
        written += static_cast<std::size_t>(put);
    }
    if (error == 0) {
        error = env().sync(fd);
    }
    env().close_file(fd);
    if (error == 0) {
        error = env().rename_file(staging, path);
    }
    if (error != 0) {
        env().remove_file(staging);
        return error;
    }
    return sync_directory(parent_directory(path));
}

std::size_t table_size_limit() {
    constexpr std::size_t kDefault = std::size_t{64} << 30;
    constexpr std::size_t kLeast = std::size_t{1} << 20;
    auto text = env().variable("VARELUM_ENGINE_TABLE_LIMIT");
    if (!text || text->empty()) {
        return kDefault;
    }
    // Not a plain number of bytes: the setting is ignored, never a smaller table.
    if (text->find_first_not_of("0123456789") != std::string::npos || text->size() > 19) {
        return kDefault;
    }
    return std::max<std::size_t>(static_cast<std::size_t>(std::stoull(*text)), kLeast);
}

std::string temporary_directory() {
    if (auto configured = env().variable("TMPDIR"); configured && !configured->empty()) {
        return *configured;
    }
    if (::access("/dev/shm", W_OK | X_OK) == 0) {
        return "/dev/shm";
    }
    return "/tmp";
}

}  // namespace varelum::engine
