// varelum-store check TABLE: the engine's consistency check of a table file, memo and blob
// values and index tags included. Prints the engine's report; exit status 1 when the table is
// damaged, whether the check found it or the file could not even be opened as a table.
//
// The check runs in a child process. A table file is damaged in ways no reader foresees, and
// the storage library under the engine trusts its pages: a page of garbage in the middle of a
// file can crash the process that reads it. The child's crash is then a finding of the check
// ("damaged"), never a crash of the tool.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

#include "commands.h"
#include "engine_table.h"
#include "store_error.h"

namespace varelum::store {

namespace {

// What the child reports, as the first byte of its message on the pipe.
enum class Verdict : char { Consistent = 'C', Damaged = 'D', Failed = 'F' };

struct Finding {
    Verdict verdict = Verdict::Failed;
    std::string text;  // the report (Consistent, Damaged) or the error message (Failed)
};

// The line that names the index tags a passing check compared with the records; "" for a
// table without any.
std::string indexes_checked(const Table& table) {
    const std::vector<IndexInfo> indexes = table.indexes();
    if (indexes.empty()) {
        return {};
    }
    std::string names;
    for (const IndexInfo& index : indexes) {
        names += (names.empty() ? "" : ", ") + index.name;
    }
    return "  " + std::to_string(indexes.size()) +
           (indexes.size() == 1 ? " index agrees" : " indexes agree") +
           " with the records: " + names + "\n";
}

// The check itself, in this process.
Finding check_here(const std::filesystem::path& path) {
    try {
        Connection connection(path.parent_path());
        Table table = Table::open(connection, path, OpenMode::ReadOnly);
        std::string report(64 * 1024, '\0');
        while (true) {
            auto length = static_cast<UNSIGNED32>(report.size());
            const UNSIGNED32 code =
                AdsCheckTable(table.handle(), VE_CHECK_MEMOS,
                              reinterpret_cast<UNSIGNED8*>(report.data()), &length);
            if (code == VE_BUFFER_TOO_SMALL && length >= report.size()) {
                report.assign(static_cast<std::size_t>(length) + 1, '\0');
                continue;  // the report did not fit: check again with room for all of it
            }
            if (code != VE_SUCCESS && code != VE_TABLE_CORRUPT) {
                check(code, "cannot check " + path.string());
            }
            report.resize(length);
            std::string text = from_engine_text(report);
            if (code == VE_SUCCESS) {
                text += indexes_checked(table);
            }
            table.close();
            return {code == VE_SUCCESS ? Verdict::Consistent : Verdict::Damaged, text};
        }
    } catch (const StoreError& error) {
        // A file the engine cannot open as a table is a damaged table, as far as check goes.
        const bool damaged =
            error.engine_code() == VE_TABLE_CORRUPT || error.engine_code() == VE_TABLE_VERSION;
        return {damaged ? Verdict::Damaged : Verdict::Failed, error.what()};
    }
}

void write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // the parent is gone; nobody is left to tell
        }
        done += static_cast<std::size_t>(n);
    }
}

Finding check_in_child(const std::filesystem::path& path) {
    int fds[2];
    if (::pipe(fds) != 0) {
        throw StoreError(std::string("cannot start the check: ") + std::strerror(errno));
    }
    std::cout.flush();
    std::cerr.flush();
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw StoreError(std::string("cannot start the check: ") + std::strerror(errno));
    }
    if (child == 0) {
        ::close(fds[0]);
        // The child speaks through the pipe only; whatever a crash would print (a sanitizer's
        // report) must not break the tool's one-line messages.
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
        Finding finding = check_here(path);
        write_all(fds[1], static_cast<char>(finding.verdict) + finding.text);
        ::close(fds[1]);
        ::_exit(0);  // the parent's buffers and handlers are the parent's
    }
    ::close(fds[1]);
    std::string message;
    char buffer[4096];
    while (true) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        message.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (message.empty()) {
        // The child always reports unless the engine brought it down (a crash, or a sanitizer
        // stopping it at a bad read): the file is damaged beyond what the check can describe.
        const std::string how = WIFSIGNALED(status)
                                    ? std::string(strsignal(WTERMSIG(status)))
                                    : "exit status " + std::to_string(WEXITSTATUS(status));
        return {Verdict::Damaged,
                path.string() + ": reading the file crashed the engine (" + how + ")\n"};
    }
    return {static_cast<Verdict>(message[0]), message.substr(1)};
}

std::size_t count_lines(const std::string& text) {
    std::size_t lines = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines += (end == std::string::npos ? text.size() : end) > start ? 1 : 0;
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

}  // namespace

int run_check(const Arguments& arguments) {
    const auto path = table_file_path(arguments.at(0));
    const Finding finding = check_in_child(path);
    switch (finding.verdict) {
        case Verdict::Consistent:
            std::cout << path.string() << ": " << finding.text;
            return 0;
        case Verdict::Damaged: {
            std::cout << path.string() << ":\n" << finding.text;
            if (!finding.text.ends_with('\n')) {
                std::cout << "\n";
            }
            std::cout.flush();
            const std::size_t problems = std::max<std::size_t>(count_lines(finding.text), 1);
            std::cerr << kProgramName << ": " << path.string() << " is damaged (" << problems
                      << (problems == 1 ? " problem" : " problems") << " found)\n";
            return 1;
        }
        case Verdict::Failed:
            break;
    }
    throw StoreError(finding.text);
}

}  // namespace varelum::store
