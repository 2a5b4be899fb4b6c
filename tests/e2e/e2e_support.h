// Helpers of the end-to-end tests: a shop's store in a temporary directory (its ads.ini and its
// tables, made through the engine's C ABI or by `varelum-store demo`), and real processes of the
// program and the store tool whose output is kept.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ads/ace.h"
#include "ads/ads_test_support.h"
#include "varelum_engine.h"

extern char** environ;

namespace varelum::e2e {

// The data-access tests' temporary directories and scoped environment variables.
using ads::test::EngineText;
using ads::test::TScopedEnvironment;
using ads::test::TTempDirectory;

// A connection of the test itself to a store directory, for making and changing tables the way
// the shop's own tools do (the engine's C ABI, loaded like the components load it).
class TEngineConnection {
  public:
    explicit TEngineConnection(const std::string& directory) {
        const UNSIGNED32 result = ads::ace::AdsConnect(EngineText(directory), &FHandle);
        if (result != 0) {
            throw std::runtime_error("cannot connect to " + directory + ": " +
                                     std::to_string(result));
        }
    }
    ~TEngineConnection() { ads::ace::AdsDisconnect(FHandle); }
    TEngineConnection(const TEngineConnection&) = delete;
    TEngineConnection& operator=(const TEngineConnection&) = delete;

    ADSHANDLE Handle() const { return FHandle; }

  private:
    ADSHANDLE FHandle = 0;
};

// One record of a table: (field, text) pairs set with AdsSetField.
using TRow = std::vector<std::pair<std::string, std::string>>;

// An open table handle of the test, closed when destroyed.
class TEngineTable {
  public:
    // Creates the ADT table `name` (replacing one of that name) with the engine's field text.
    static TEngineTable Create(const TEngineConnection& connection, const std::string& name,
                               const std::string& fields) {
        ADSHANDLE handle = 0;
        const UNSIGNED32 result = ads::ace::AdsCreateTable90(
            connection.Handle(), EngineText(name), nullptr, VE_TABLE_TYPE_ADT, VE_CHARTYPE_ANSI,
            VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0, EngineText(fields), 0, EngineText(""),
            &handle);
        if (result != 0) {
            throw std::runtime_error("cannot create " + name + ": " + std::to_string(result));
        }
        return TEngineTable(handle);
    }
    static TEngineTable Open(const TEngineConnection& connection, const std::string& name) {
        ADSHANDLE handle = 0;
        const UNSIGNED32 result = ads::ace::AdsOpenTable90(
            connection.Handle(), EngineText(name), nullptr, VE_TABLE_TYPE_ADT, VE_CHARTYPE_ANSI,
            VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0, EngineText(""), &handle);
        if (result != 0) {
            throw std::runtime_error("cannot open " + name + ": " + std::to_string(result));
        }
        return TEngineTable(handle);
    }

    TEngineTable(TEngineTable&& other) noexcept : FHandle(std::exchange(other.FHandle, 0)) {}
    ~TEngineTable() {
        if (FHandle != 0) {
            ads::ace::AdsCloseTable(FHandle);
        }
    }

    ADSHANDLE Handle() const { return FHandle; }

    void Append(const TRow& row) const {
        Check(ads::ace::AdsAppendRecord(FHandle), "append");
        SetFields(row);
        Check(ads::ace::AdsWriteRecord(FHandle), "write");
    }

    // Changes fields of record `recordNumber` (counted from 1).
    void Change(std::uint32_t recordNumber, const TRow& row) const {
        Check(ads::ace::AdsGotoRecord(FHandle, recordNumber), "go to record");
        Check(ads::ace::AdsLockRecord(FHandle, recordNumber), "lock");
        SetFields(row);
        Check(ads::ace::AdsWriteRecord(FHandle), "write");
        Check(ads::ace::AdsUnlockRecord(FHandle, recordNumber), "unlock");
    }

    // An index tag on one field, named as the field; with VE_INDEX_UNIQUE records with the
    // same key are refused from then on.
    void CreateIndex(const std::string& field, UNSIGNED32 options = 0) const {
        ADSHANDLE index = 0;
        Check(
            ads::ace::AdsCreateIndex90(FHandle, nullptr, EngineText(field), EngineText(field),
                                       EngineText(""), EngineText(""), options, 0, nullptr, &index),
            "create index");
    }

  private:
    explicit TEngineTable(ADSHANDLE handle) : FHandle(handle) {}

    void SetFields(const TRow& row) const {
        for (const auto& [field, text] : row) {
            Check(ads::ace::AdsSetField(FHandle, EngineText(field), EngineText(text),
                                        static_cast<UNSIGNED32>(text.size())),
                  "set " + field);
        }
    }
    static void Check(UNSIGNED32 result, const std::string& what) {
        if (result != 0) {
            throw std::runtime_error(what + " failed: " + std::to_string(result));
        }
    }

    ADSHANDLE FHandle = 0;
};

// --- Processes
// ------------------------------------------------------------------------------------

struct TProcessResult {
    int ExitCode = -1;  // -1 when it did not end by exit (a signal, or still running)
    std::string Out;
    std::string Err;
};

// A program started with extra environment variables, its standard output and error captured.
class TChildProcess {
  public:
    TChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                  const std::vector<std::pair<std::string, std::string>>& environment = {}) {
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

        std::vector<std::string> argumentTexts{program};
        argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& text : argumentTexts) {
            argv.push_back(text.data());
        }
        argv.push_back(nullptr);

        std::vector<std::string> environmentTexts;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            bool replaced = false;
            for (const auto& [name, value] : environment) {
                replaced = replaced || text.rfind(name + "=", 0) == 0;
            }
            if (!replaced) {
                environmentTexts.push_back(text);
            }
        }
        for (const auto& [name, value] : environment) {
            environmentTexts.push_back(name + "=" + value);
        }
        std::vector<char*> envp;
        for (std::string& text : environmentTexts) {
            envp.push_back(text.data());
        }
        envp.push_back(nullptr);

        const int spawned =
            posix_spawn(&FPid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        FOut = out[0];
        FErr = err[0];
        if (spawned != 0) {
            close(FOut);
            close(FErr);
            throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
        }
    }
    ~TChildProcess() {
        if (FPid > 0 && !FEnded) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
        close(FOut);
        close(FErr);
    }
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    pid_t Pid() const { return FPid; }

    // Reads output until standard error holds `text`; false when the process closed its output
    // or the time ran out first.
    bool WaitForError(const std::string& text, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (FResult.Err.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= deadline || !PipesOpen()) {
                return false;
            }
            ReadSome(std::chrono::milliseconds(100));
        }
        return true;
    }

    // Whether the process is still running.
    bool Running() {
        if (FEnded) {
            return false;
        }
        int status = 0;
        if (waitpid(FPid, &status, WNOHANG) == FPid) {
            Ended(status);
            return false;
        }
        return true;
    }

    void Signal(int signal) const { kill(FPid, signal); }

    // Waits for the end (killing the process after `timeout`) and answers its result.
    const TProcessResult& Wait(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (PipesOpen() && std::chrono::steady_clock::now() < deadline) {
            ReadSome(std::chrono::milliseconds(100));
        }
        if (Running()) {
            if (PipesOpen()) {
                kill(FPid, SIGKILL);
            }
            int status = 0;
            waitpid(FPid, &status, 0);
            Ended(status);
        }
        return FResult;
    }

  private:
    bool PipesOpen() const { return FOutOpen || FErrOpen; }

    // Reads what arrives within `timeout`.
    void ReadSome(std::chrono::milliseconds timeout) {
        pollfd ready[2] = {{FOutOpen ? FOut : -1, POLLIN, 0}, {FErrOpen ? FErr : -1, POLLIN, 0}};
        if (poll(ready, 2, static_cast<int>(timeout.count())) > 0) {
            Drain(ready[0], FOut, FOutOpen, FResult.Out);
            Drain(ready[1], FErr, FErrOpen, FResult.Err);
        }
    }
    static void Drain(const pollfd& ready, int descriptor, bool& open, std::string& into) {
        if (!open || (ready.revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            return;
        }
        char buffer[4096];
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got <= 0) {
            open = false;
            return;
        }
        into.append(buffer, static_cast<std::size_t>(got));
    }
    void Ended(int status) {
        FEnded = true;
        FResult.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t FPid = -1;
    int FOut = -1;
    int FErr = -1;
    bool FOutOpen = true;
    bool FErrOpen = true;
    bool FEnded = false;
    TProcessResult FResult;
};

// Runs a program to its end.
inline TProcessResult RunProcess(const std::string& program,
                                 const std::vector<std::string>& arguments,
                                 const std::vector<std::pair<std::string, std::string>>& env = {}) {
    TChildProcess child(program, arguments, env);
    return child.Wait();
}

// The rows of a CSV text without quoted line breaks: cells split at commas outside quotes,
// quotes removed.
inline std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::vector<std::string> cells(1);
        bool quoted = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    cells.back() += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
            } else if (c == ',' && !quoted) {
                cells.emplace_back();
            } else {
                cells.back() += c;
            }
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

// Today's date as the store tool writes dates: yyyy-mm-dd.
inline std::string TodayIso() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

}  // namespace varelum::e2e
