// Real processes for the single-instance tests: a forked child that runs a body and ends with its
// result, and a pipe to talk to it. Children end with _exit, so that none of the test runner's
// exit handlers run twice.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace varelum::app::testing {

// What a child's body ends with when it throws.
inline constexpr int ChildExceptionExitCode = 99;
// How long a test waits for a child's word before it gives up.
inline constexpr std::chrono::milliseconds ChildTimeout{20000};

class TPipe {
  public:
    TPipe() {
        int ends[2];
        if (::pipe(ends) != 0) {
            throw std::runtime_error("pipe failed");
        }
        ReadEnd = ends[0];
        WriteEnd = ends[1];
    }
    ~TPipe() {
        CloseRead();
        CloseWrite();
    }
    TPipe(const TPipe&) = delete;
    TPipe& operator=(const TPipe&) = delete;

    void CloseRead() { CloseEnd(ReadEnd); }
    void CloseWrite() { CloseEnd(WriteEnd); }

    void Write(std::string_view text) const {
        while (!text.empty()) {
            const ssize_t written = ::write(WriteEnd, text.data(), text.size());
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return;
            }
            text.remove_prefix(static_cast<std::size_t>(written));
        }
    }

    // Up to `count` bytes: fewer when the write ends close first or nothing comes for `timeout`.
    std::string Read(std::size_t count, std::chrono::milliseconds timeout = ChildTimeout) const {
        std::string text;
        while (text.size() < count) {
            pollfd ready{ReadEnd, POLLIN, 0};
            const int polled = ::poll(&ready, 1, static_cast<int>(timeout.count()));
            if (polled < 0 && errno == EINTR) {
                continue;
            }
            if (polled <= 0) {
                break;
            }
            char buffer[256];
            const std::size_t wanted = std::min(sizeof buffer, count - text.size());
            const ssize_t got = ::read(ReadEnd, buffer, wanted);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            text.append(buffer, static_cast<std::size_t>(got));
        }
        return text;
    }

    // Everything until every write end has closed.
    std::string ReadAll(std::chrono::milliseconds timeout = ChildTimeout) const {
        return Read(static_cast<std::size_t>(-1), timeout);
    }

    int ReadEnd = -1;
    int WriteEnd = -1;

  private:
    static void CloseEnd(int& end) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
};

class TChildProcess {
  public:
    // Forks; the child runs `body` and ends with what it returns.
    explicit TChildProcess(const std::function<int()>& body) {
        FPid = ::fork();
        if (FPid < 0) {
            throw std::runtime_error("fork failed");
        }
        if (FPid == 0) {
            int code = ChildExceptionExitCode;
            try {
                code = body();
            } catch (...) {
            }
            ::_exit(code);
        }
    }
    // A child still running is killed, so that no test leaves one behind.
    ~TChildProcess() {
        if (Running()) {
            Kill(SIGKILL);
        }
        Wait();
    }
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    pid_t Pid() const { return FPid; }

    void Kill(int signal) const { ::kill(FPid, signal); }

    bool Running() {
        if (FReaped) {
            return false;
        }
        int status = 0;
        const pid_t ended = ::waitpid(FPid, &status, WNOHANG);
        if (ended == FPid) {
            Reaped(status);
        }
        return !FReaped;
    }

    // Waits for the end: the exit code, or 128 + the signal that ended the child.
    int Wait() {
        while (!FReaped) {
            int status = 0;
            const pid_t ended = ::waitpid(FPid, &status, 0);
            if (ended == FPid) {
                Reaped(status);
            } else if (errno != EINTR) {
                FReaped = true;
                FResult = -1;
            }
        }
        return FResult;
    }

  private:
    void Reaped(int status) {
        FReaped = true;
        FResult = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    pid_t FPid = -1;
    bool FReaped = false;
    int FResult = -1;
};

}  // namespace varelum::app::testing
