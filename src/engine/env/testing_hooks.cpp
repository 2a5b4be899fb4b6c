// The engine test build's hooks (see testing_hooks.h). The library also defines write,
// pwrite, writev, fsync, fdatasync and rename: the dynamic linker binds the storage library's
// calls to these before the C library's, so a FaultEnv fails the table file's own writes
// exactly where a full or failing disk would, and traces them. Without an installed FaultEnv
// they pass straight on.
#include "engine/env/testing_hooks.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <string_view>

#include "engine/env/fault_env.h"

#define VE_TEST_EXPORT __attribute__((visibility("default")))

using namespace varelum::engine;

namespace {

std::unique_ptr<FaultEnv>& faults() {
    static auto* instance = new std::unique_ptr<FaultEnv>;  // used until the process ends
    return *instance;
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

int write_error(int fd) {
    FaultEnv* env = installed_fault_env();
    return env != nullptr ? env->write_fault(fd) : 0;
}

int sync_error(int fd) {
    FaultEnv* env = installed_fault_env();
    return env != nullptr ? env->sync_fault(fd) : 0;
}

// What went through to the system, for the trace.
template <typename Result>
Result traced_write(int fd, Result result) {
    FaultEnv* env = installed_fault_env();
    if (env != nullptr && result >= 0) {
        env->trace_write(fd);
    }
    return result;
}

int traced_sync(int fd, int result) {
    FaultEnv* env = installed_fault_env();
    if (env != nullptr && result == 0) {
        env->trace_sync(fd);
    }
    return result;
}

// Preloaded into a program with VARELUM_TEST_TRACE set: trace it from its start.
__attribute__((constructor)) void trace_from_environment() {
    const char* path = std::getenv("VARELUM_TEST_TRACE");
    if (path == nullptr || *path == '\0') {
        return;
    }
    int output = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (output < 0) {
        return;  // the test finds no trace and says so
    }
    VarelumTestInstallFaults();
    faults()->start_trace(output);
}

}  // namespace

extern "C" {

VE_TEST_EXPORT void VarelumTestInstallFaults() {
    auto replacement = std::make_unique<FaultEnv>();
    install_env(replacement.get());
    faults() = std::move(replacement);  // the one before is no longer installed
}

VE_TEST_EXPORT void VarelumTestRemoveFaults() {
    install_env(nullptr);
    faults().reset();
}

VE_TEST_EXPORT void VarelumTestFailWrites(const char* path, int error, int skip, int count) {
    if (faults()) {
        faults()->fail_writes(path, error, skip, count);
    }
}

VE_TEST_EXPORT void VarelumTestFailSyncs(const char* path, int error, int skip, int count) {
    if (faults()) {
        faults()->fail_syncs(path, error, skip, count);
    }
}

VE_TEST_EXPORT void VarelumTestKillAtSync(int skip) {
    if (faults()) {
        faults()->kill_at_sync(skip);
    }
}

VE_TEST_EXPORT void VarelumTestRefuseWritableOpens(const char* path, int error) {
    if (faults()) {
        faults()->refuse_writable_opens(path, error);
    }
}

VE_TEST_EXPORT void VarelumTestFailPathCalls(const char* call, const char* path, int error,
                                             int skip, int count) {
    static const std::map<std::string_view, FaultEnv::PathCall> kCalls = {
        {"remove", FaultEnv::PathCall::Remove},
        {"rename", FaultEnv::PathCall::Rename},
        {"stat", FaultEnv::PathCall::Stat},
        {"list", FaultEnv::PathCall::List},
    };
    auto found = kCalls.find(call);
    if (faults() && found != kCalls.end()) {
        faults()->fail_calls(found->second, path, error, skip, count);
    }
}

VE_TEST_EXPORT void VarelumTestSetClock(std::int64_t seconds) {
    if (faults()) {
        if (seconds < 0) {
            faults()->set_clock(std::nullopt);
        } else {
            faults()->set_clock(Clock::time_point(std::chrono::seconds(seconds)));
        }
    }
}

VE_TEST_EXPORT void VarelumTestSetVariable(const char* name, const char* value) {
    if (faults()) {
        faults()->set_variable(name,
                               value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
}

VE_TEST_EXPORT int VarelumTestPendingFaults() {
    return faults() ? faults()->pending_faults() : 0;
}

VE_TEST_EXPORT void VarelumTestStartTrace() {
    if (faults()) {
        faults()->start_trace();
    }
}

VE_TEST_EXPORT const char* VarelumTestTrace() {
    static std::string text;
    text = faults() ? faults()->trace() : std::string();
    return text.c_str();
}

VE_TEST_EXPORT ssize_t write(int fd, const void* data, size_t size) {
    static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    if (int error = write_error(fd)) {
        errno = error;
        return -1;
    }
    return traced_write(fd, real(fd, data, size));
}

VE_TEST_EXPORT ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    static auto real = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    if (int error = write_error(fd)) {
        errno = error;
        return -1;
    }
    return traced_write(fd, real(fd, data, size, offset));
}

VE_TEST_EXPORT ssize_t writev(int fd, const struct iovec* parts, int count) {
    static auto real = next<ssize_t (*)(int, const struct iovec*, int)>("writev");
    if (int error = write_error(fd)) {
        errno = error;
        return -1;
    }
    return traced_write(fd, real(fd, parts, count));
}

VE_TEST_EXPORT int fsync(int fd) {
    static auto real = next<int (*)(int)>("fsync");
    if (int error = sync_error(fd)) {
        errno = error;
        return -1;
    }
    return traced_sync(fd, real(fd));
}

VE_TEST_EXPORT int fdatasync(int fd) {
    static auto real = next<int (*)(int)>("fdatasync");
    if (int error = sync_error(fd)) {
        errno = error;
        return -1;
    }
    return traced_sync(fd, real(fd));
}

VE_TEST_EXPORT int rename(const char* from, const char* to) {
    static auto real = next<int (*)(const char*, const char*)>("rename");
    int result = real(from, to);
    FaultEnv* env = installed_fault_env();
    if (env != nullptr && result == 0) {
        env->trace_rename(from, to);
    }
    return result;
}

}  // extern "C"
