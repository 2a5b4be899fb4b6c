// Passwords typed with echo off, or read from standard input (see password_prompt.h).
#include "password_prompt.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "engine_table.h"
#include "store_error.h"

namespace varelum::store {
namespace {

// Turns the terminal's echo off while it lives, and back on however the reading ends.
class EchoOff {
  public:
    EchoOff() {
        if (::tcgetattr(STDIN_FILENO, &saved_) == 0) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~EchoOff() {
        if (active_) {
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    termios saved_{};
    bool active_ = false;
};

bool on_terminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

std::string read_line(std::string_view prompt) {
    std::string line;
    bool read = false;
    if (on_terminal()) {
        std::cerr << prompt << std::flush;
        EchoOff quiet;
        read = static_cast<bool>(std::getline(std::cin, line));
        std::cerr << '\n';
    } else {
        read = static_cast<bool>(std::getline(std::cin, line));
    }
    if (!read) {
        throw StoreError("no password given: standard input ended");
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.empty()) {
        throw StoreError("the password is empty");
    }
    return line;
}

}  // namespace

std::string read_password(std::string_view prompt) {
    return read_line(prompt);
}

std::string read_new_password(std::string_view prompt) {
    std::string password = read_line(prompt);
    if (on_terminal() && read_line("Again: ") != password) {
        throw StoreError("the two passwords differ");
    }
    return password;
}

std::string checked_password(const std::string& password) {
    if (password.find('"') != std::string::npos) {
        throw StoreError("a password cannot hold the character \"");
    }
    return to_engine_text(password, "password");
}

}  // namespace varelum::store
