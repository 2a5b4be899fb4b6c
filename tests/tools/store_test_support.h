// Helpers for the tests of varelum-store: running the real executable in a temporary
// directory and capturing what it says, reading and writing files, and opening the tables
// it made through the engine to look inside.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine_test_support.h"
#include "varelum_engine.h"

extern char** environ;

namespace varelum::store::testing {

using engine::testing::TempDir;
using engine::testing::u8;

struct ToolResult {
    int exit_code = -1;  // -1 when the tool did not exit normally (a crash)
    std::string out;
    std::string err;
};

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream input(path, std::ios::binary);
    std::ostringstream text;
    text << input.rdbuf();
    return text.str();
}

inline void write_file(const std::filesystem::path& path, const std::string& text) {
    std::ofstream output(path, std::ios::binary | std::ios::trunc);
    output << text;
}

// Where a running varelum-store writes its standard output and error.
inline std::filesystem::path tool_out_file(const std::filesystem::path& directory) {
    return directory / ".tool-out";
}
inline std::filesystem::path tool_err_file(const std::filesystem::path& directory) {
    return directory / ".tool-err";
}

// Starts varelum-store with the arguments in directory, its standard streams opened as
// `actions` says (destroyed here) and the "NAME=value" entries of `environment` added to this
// process's; answers its process id, or 0 (a test failure) when it could not be started.
inline pid_t spawn_tool(const std::filesystem::path& directory,
                        const std::vector<std::string>& arguments,
                        posix_spawn_file_actions_t& actions,
                        const std::vector<std::string>& environment = {}) {
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    std::vector<std::string> words = {VARELUM_STORE_EXECUTABLE};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> entries(environment);
    std::vector<char*> envp;
    for (std::string& entry : entries) {
        envp.push_back(entry.data());
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        envp.push_back(*entry);
    }
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, VARELUM_STORE_EXECUTABLE, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << VARELUM_STORE_EXECUTABLE;
        return 0;
    }
    return pid;
}

// Starts varelum-store with the arguments in directory, its output going to the files above
// and its standard input read from input, with the "NAME=value" entries of `environment`
// added to this process's; answers its process id, or 0 when it could not be started.
inline pid_t start_tool(const std::filesystem::path& directory,
                        const std::vector<std::string>& arguments,
                        const std::filesystem::path& input = "/dev/null",
                        const std::vector<std::string>& environment = {}) {
    const std::filesystem::path out = tool_out_file(directory);
    const std::filesystem::path err = tool_err_file(directory);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    return spawn_tool(directory, arguments, actions, environment);
}

// How long a test waits for one run of the tool: far more than any run takes, in the sanitizer
// build on a busy machine too, and less than the test's own time limit, so that a tool that
// hangs fails its test with what it said instead of stopping the whole suite.
inline constexpr std::chrono::minutes kToolDeadline{5};

// Waits for the tool started as pid and answers its wait status. One still running at the
// deadline fails the test and is stopped with SIGSEGV, on which the sanitizer build prints
// where it was to its standard error.
inline int wait_for_tool(pid_t pid, const std::vector<std::string>& arguments) {
    int status = 0;
    // The system call itself: this C library's header declares pidfd_open without C linkage.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        const auto deadline = std::chrono::steady_clock::now() + kToolDeadline;
        bool ended = false;
        while (!ended) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            pollfd exited{pidfd, POLLIN, 0};
            const int ready = poll(&exited, 1, static_cast<int>(left.count()));
            ended = ready > 0 || (ready < 0 && errno != EINTR);
        }
        close(pidfd);
        if (!ended) {
            std::string command = "varelum-store";
            for (const std::string& argument : arguments) {
                command += " " + argument;
            }
            ADD_FAILURE() << command << " did not end within " << kToolDeadline.count()
                          << " minutes and was stopped";
            kill(pid, SIGSEGV);
        }
    }
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Waits for a tool that start_tool started and collects what it said.
inline ToolResult finish_tool(const std::filesystem::path& directory, pid_t pid,
                              const std::vector<std::string>& arguments = {}) {
    ToolResult result;
    if (pid == 0) {
        return result;
    }
    const int status = wait_for_tool(pid, arguments);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = read_file(tool_out_file(directory));
    result.err = read_file(tool_err_file(directory));
    std::filesystem::remove(tool_out_file(directory));
    std::filesystem::remove(tool_err_file(directory));
    return result;
}

// Runs varelum-store with the arguments in directory, standard output and error captured.
inline ToolResult run_tool(const std::filesystem::path& directory,
                           const std::vector<std::string>& arguments) {
    return finish_tool(directory, start_tool(directory, arguments), arguments);
}

// Runs varelum-store with input as its standard input (the lines a user would type).
inline ToolResult run_tool_with_input(const std::filesystem::path& directory,
                                      const std::vector<std::string>& arguments,
                                      const std::string& input) {
    const std::filesystem::path input_file = directory / ".tool-in";
    write_file(input_file, input);
    ToolResult result =
        finish_tool(directory, start_tool(directory, arguments, input_file), arguments);
    std::filesystem::remove(input_file);
    return result;
}

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream input(text);
    for (std::string line; std::getline(input, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// A failure as the tool reports one: exit code 1 and exactly one line on standard error.
#define EXPECT_ONE_LINE_FAILURE(result)                                           \
    do {                                                                          \
        EXPECT_EQ(1, (result).exit_code) << (result).err;                         \
        EXPECT_EQ(1u, lines_of((result).err).size()) << (result).err;             \
        EXPECT_TRUE((result).err.starts_with("varelum-store: ")) << (result).err; \
    } while (false)

// A test with its own directory, where the tool runs.
class StoreToolTest : public ::testing::Test {
  protected:
    std::filesystem::path dir() const { return dir_.path(); }
    std::filesystem::path file(const std::string& name) const { return dir() / name; }
    ToolResult tool(const std::vector<std::string>& arguments) const {
        return run_tool(dir(), arguments);
    }
    // Runs the tool and expects success.
    ToolResult ok(const std::vector<std::string>& arguments) const {
        ToolResult result = tool(arguments);
        EXPECT_EQ(0, result.exit_code) << result.err;
        return result;
    }

  private:
    TempDir dir_;
};

// An engine connection and table handle on a file the tool made, for looking inside.
class EngineView {
  public:
    EngineView(const std::filesystem::path& table, UNSIGNED32 options = VE_OPEN_READONLY) {
        EXPECT_EQ(VE_SUCCESS, AdsConnect(u8(table.parent_path().string()), &connection_))
            << engine::testing::last_error_text();
        EXPECT_EQ(VE_SUCCESS,
                  AdsOpenTable90(connection_, u8(table.filename().string()), nullptr,
                                 VE_TABLE_TYPE_ADT, VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY,
                                 VE_RIGHTS_IGNORE, options, nullptr, &table_))
            << engine::testing::last_error_text();
    }
    ~EngineView() {
        if (table_ != 0) {
            AdsCloseTable(table_);
        }
        AdsDisconnect(connection_);
    }
    EngineView(const EngineView&) = delete;
    EngineView& operator=(const EngineView&) = delete;

    ADSHANDLE table() const { return table_; }

    std::vector<std::string> field_names() const {
        UNSIGNED16 count = 0;
        AdsGetNumFields(table_, &count);
        std::vector<std::string> names;
        for (UNSIGNED16 i = 1; i <= count; ++i) {
            UNSIGNED8 name[256] = {};
            UNSIGNED16 length = sizeof name;
            AdsGetFieldName(table_, i, name, &length);
            names.emplace_back(reinterpret_cast<const char*>(name), length);
        }
        return names;
    }
    UNSIGNED16 field_type(const std::string& name) const {
        UNSIGNED16 type = 0;
        EXPECT_EQ(VE_SUCCESS, AdsGetFieldType(table_, u8(name), &type)) << name;
        return type;
    }
    // The field of the current record as the engine's 8-bit text, right-trimmed.
    std::string text(const std::string& name) const {
        UNSIGNED8 value[1024] = {};
        UNSIGNED32 length = sizeof value;
        EXPECT_EQ(VE_SUCCESS, AdsGetField(table_, u8(name), value, &length, VE_TRIM_RIGHT))
            << name << ": " << engine::testing::last_error_text();
        return std::string(reinterpret_cast<const char*>(value), length);
    }
    UNSIGNED32 count() const {
        UNSIGNED32 records = 0;
        AdsGetRecordCount(table_, VE_IGNORE_FILTERS, &records);
        return records;
    }
    // Calls visit on every record, in record order.
    template <typename Visit>
    void each(Visit visit) const {
        AdsGotoTop(table_);
        for (UNSIGNED16 eof = 0; AdsAtEOF(table_, &eof) == VE_SUCCESS && eof == 0;
             AdsSkip(table_, 1)) {
            visit();
        }
    }

  private:
    ADSHANDLE connection_ = 0;
    ADSHANDLE table_ = 0;
};

// A test of the tool's work on the table t.adt, whose Integer field N holds each record's
// number, and on its index tags.
class NumberedTableTest : public StoreToolTest {
  protected:
    // The values of N in the key order of the tag.
    std::vector<int> key_order(const std::string& tag) const {
        EngineView view(file("t.adt"));
        ADSHANDLE index = 0;
        EXPECT_EQ(VE_SUCCESS, AdsGetIndexHandle(view.table(), u8(tag), &index)) << tag;
        std::vector<int> order;
        EXPECT_EQ(VE_SUCCESS, AdsGotoTop(index));
        for (UNSIGNED16 eof = 0; AdsAtEOF(view.table(), &eof) == VE_SUCCESS && eof == 0;
             AdsSkip(index, 1)) {
            SIGNED32 n = 0;
            EXPECT_EQ(VE_SUCCESS, AdsGetLong(view.table(), u8("N"), &n));
            order.push_back(n);
        }
        return order;
    }
};

// A pseudo-terminal for the tool's standard error, so that it shows its progress line.
class Terminal {
  public:
    Terminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(0, grantpt(master_));
        EXPECT_EQ(0, unlockpt(master_));
    }
    ~Terminal() { close(master_); }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    std::string device() const { return ptsname(master_); }

    // Reads what the tool wrote until `until` answers true for it or the tool closed the
    // terminal (it ended); three minutes at most, so a hanging tool fails the test instead of
    // stopping the suite. A whole import in the sanitizer build on a busy machine takes more
    // than one.
    template <typename Until>
    std::string read(Until until) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
        while (!until(text_) && std::chrono::steady_clock::now() < deadline) {
            pollfd ready{master_, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t got = ::read(master_, buffer, sizeof buffer);
            if (got <= 0) {
                break;  // EIO: every descriptor of the terminal is closed
            }
            text_.append(buffer, static_cast<std::size_t>(got));
        }
        return text_;
    }

  private:
    int master_ = -1;
    std::string text_;
};

// Starts the tool in directory with standard error on the terminal and standard output to
// tool_out_file.
inline pid_t start_on_terminal(const std::filesystem::path& directory, const Terminal& terminal,
                               const std::vector<std::string>& arguments) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, tool_out_file(directory).c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, terminal.device().c_str(), O_RDWR | O_NOCTTY, 0);
    return spawn_tool(directory, arguments, actions);
}

// The percents of the progress line with this label, in the order shown ("\rpack: 42%").
inline std::vector<int> percents(const std::string& shown, const std::string& what) {
    std::vector<int> found;
    const std::string label = "\r" + what + ": ";
    for (std::size_t at = shown.find(label); at != std::string::npos;
         at = shown.find(label, at + 1)) {
        const std::size_t digits = at + label.size();
        const std::size_t end = shown.find_first_not_of("0123456789", digits);
        // Only "42%": a line of the command's own may start with the same label.
        if (end != std::string::npos && end > digits && shown[end] == '%') {
            found.push_back(std::atoi(shown.c_str() + digits));
        }
    }
    return found;
}

// A run of the tool with its standard error on a terminal.
struct TerminalRun {
    int exit_code = -1;  // -1 when it did not exit normally
    std::string shown;   // what it wrote to the terminal
    std::string out;     // its standard output
};

// Runs the tool in directory with standard error on a terminal; with interrupt, sends it
// SIGINT as soon as its progress line with this label shows a percent (0 included: by then its
// handler is in place and the work has begun).
inline TerminalRun run_on_terminal(const std::filesystem::path& directory,
                                   const std::vector<std::string>& arguments,
                                   const std::string& label, bool interrupt) {
    Terminal terminal;
    const pid_t pid = start_on_terminal(directory, terminal, arguments);
    TerminalRun run;
    if (pid == 0) {
        return run;
    }
    if (interrupt) {
        terminal.read([&](const std::string& shown) { return !percents(shown, label).empty(); });
        EXPECT_EQ(0, kill(pid, SIGINT));
    }
    run.shown = terminal.read([](const std::string&) { return false; });
    const int status = wait_for_tool(pid, arguments);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = read_file(tool_out_file(directory));
    std::filesystem::remove(tool_out_file(directory));
    return run;
}

}  // namespace varelum::store::testing
