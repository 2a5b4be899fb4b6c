// Passwords typed with echo off, or read from standard input (see password_prompt.h).
#include "password_prompt.h"

#include <sodium.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <optional>

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

// One line of standard input, a byte at a time from the descriptor: nothing is read past the
// line (a script's next line stays for the next question) and no buffer of a stream keeps it.
SecretBuffer read_raw_line() {
    SecretBuffer line;
    bool ended = false;
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ended = line.empty();
            break;
        }
        if (c == '\n') {
            break;
        }
        line.push_back(c);
    }
    if (ended) {
        throw StoreError("no password given: standard input ended");
    }
    return line;
}

SecretBuffer read_line(std::string_view prompt) {
    std::optional<SecretBuffer> line;
    if (on_terminal()) {
        std::cerr << prompt << std::flush;
        EchoOff quiet;
        line.emplace(read_raw_line());
        std::cerr << '\n';
    } else {
        line.emplace(read_raw_line());
    }
    if (!line->empty() && line->back() == '\r') {
        line->pop_back();
    }
    if (line->empty()) {
        throw StoreError("the password is empty");
    }
    return std::move(*line);
}

}  // namespace

SecretBuffer::SecretBuffer(std::size_t capacity) {
    text_.reserve(capacity);
}

SecretBuffer::~SecretBuffer() {
    wipe();
}

SecretBuffer::SecretBuffer(SecretBuffer&& other) noexcept : text_(std::move(other.text_)) {
    other.wipe();  // a short text was copied out of its own buffer, not taken
}

void SecretBuffer::append(std::string_view text) {
    if (text_.size() + text.size() > text_.capacity()) {
        throw StoreError("the password is too long");
    }
    text_.append(text);
}

void SecretBuffer::wipe() noexcept {
    sodium_memzero(text_.data(), text_.capacity());
    text_.clear();
}

SecretBuffer read_password(std::string_view prompt) {
    return read_line(prompt);
}

SecretBuffer read_new_password(std::string_view prompt) {
    SecretBuffer password = read_line(prompt);
    if (on_terminal() && read_line("Again: ").view() != password.view()) {
        throw StoreError("the two passwords differ");
    }
    return password;
}

SecretBuffer checked_password(const SecretBuffer& password) {
    if (password.view().find('"') != std::string_view::npos) {
        throw StoreError("a password cannot hold the character \"");
    }
    SecretBuffer engine_text;
    bool ascii = true;
    for (char c : password.view()) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii) {
        engine_text.append(password.view());  // the same bytes in both: no conversion to leave
        return engine_text;
    }
    // The conversion's own buffers are not wiped: a password of ASCII characters leaves none.
    std::string converted;
    try {
        converted = to_engine_text(password.view(), "password");
    } catch (const StoreError&) {
        throw StoreError("the password has characters that Windows-1252 cannot hold");
    }
    engine_text.append(converted);
    sodium_memzero(converted.data(), converted.capacity());
    return engine_text;
}

std::string checked_password(const std::string& password) {
    if (password.find('"') != std::string::npos) {
        throw StoreError("a password cannot hold the character \"");
    }
    return to_engine_text(password, "password");
}

}  // namespace varelum::store
