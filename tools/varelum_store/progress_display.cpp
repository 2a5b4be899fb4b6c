// The progress line and the interrupt flag of the tool's long work (see progress_display.h).
#include "progress_display.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace varelum::store {

namespace {

volatile sig_atomic_t g_interrupted = 0;
ProgressDisplay* g_current = nullptr;

extern "C" void mark_interrupted(int) {
    g_interrupted = 1;
}

// Plain write(2): the line is short and must not wait in a buffer behind other output.
void write_error(const std::string& text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, left);
        if (written <= 0) {
            return;  // a progress line that cannot be shown is no reason to stop the work
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

}  // namespace

// The engine calls this on the thread doing the work; non-zero stops it.
UNSIGNED32 engine_progress(UNSIGNED16 percent) {
    if (g_current == nullptr) {
        return 0;
    }
    if (g_current->percent_ == ProgressDisplay::Percent::Engine) {
        return g_current->report(percent) ? 1 : 0;
    }
    return ProgressDisplay::interrupted() ? 1 : 0;
}

ProgressDisplay::ProgressDisplay(std::string what, Percent percent)
    : what_(std::move(what)), percent_(percent), terminal_(::isatty(STDERR_FILENO) == 1) {
    if (g_current != nullptr) {
        throw std::logic_error("one progress display at a time");
    }
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = mark_interrupted;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &old_int_);
    ::sigaction(SIGTERM, &action, &old_term_);
    g_current = this;
    // Per thread in the engine; the tool does all its work on the main thread.
    AdsRegisterProgressCallback(engine_progress);
}

ProgressDisplay::~ProgressDisplay() {
    AdsClearProgressCallback();
    g_current = nullptr;
    ::sigaction(SIGINT, &old_int_, nullptr);
    ::sigaction(SIGTERM, &old_term_, nullptr);
    erase();
}

bool ProgressDisplay::report(unsigned percent) {
    if (terminal_ && static_cast<int>(percent) != shown_) {
        write_error("\r" + what_ + ": " + std::to_string(percent) + "%");
        shown_ = static_cast<int>(percent);
    }
    return interrupted();
}

void ProgressDisplay::print_line(const std::string& line) {
    const int shown = shown_;
    erase();
    write_error(line + "\n");
    if (shown >= 0) {
        report(static_cast<unsigned>(shown));
    }
}

bool ProgressDisplay::interrupted() noexcept {
    return g_interrupted != 0;
}

void ProgressDisplay::erase() {
    if (shown_ >= 0) {
        // Blank the line, so that the command's own message starts on a clean one.
        write_error("\r" + std::string(what_.size() + 6, ' ') + "\r");
        shown_ = -1;
    }
}

}  // namespace varelum::store
