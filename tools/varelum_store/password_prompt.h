// Reading a password for varelum-store. A password is never taken from the command line,
// where every user of the machine sees it in the process list, and never echoed or printed:
// on a terminal it is typed with echo off; otherwise (a script) it is one line of standard
// input. It is read straight from the descriptor (no stream buffer keeps a copy) into memory
// that is wiped when it goes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varelum::store {

// Text that holds a password: its room is reserved once, so that it never moves and leaves a
// copy behind, and it is wiped (sodium_memzero) when it is destroyed or moved from.
class SecretBuffer {
  public:
    // The most a password read here may take, in bytes.
    static constexpr std::size_t kPasswordCapacity = 1024;

    explicit SecretBuffer(std::size_t capacity = kPasswordCapacity);
    ~SecretBuffer();
    SecretBuffer(SecretBuffer&& other) noexcept;
    SecretBuffer& operator=(SecretBuffer&&) = delete;
    SecretBuffer(const SecretBuffer&) = delete;
    SecretBuffer& operator=(const SecretBuffer&) = delete;

    // Adds text; StoreError when it would not fit the room reserved.
    void append(std::string_view text);
    void push_back(char c) { append(std::string_view(&c, 1)); }
    void pop_back() { text_.pop_back(); }
    std::string_view view() const { return text_; }
    const char* c_str() const { return text_.c_str(); }
    bool empty() const { return text_.empty(); }
    char back() const { return text_.back(); }

  private:
    void wipe() noexcept;
    std::string text_;
};

// Asks for a password with prompt (on standard error, only on a terminal). StoreError when
// standard input ends before a line or the password is empty.
SecretBuffer read_password(std::string_view prompt);

// As read_password, for a new password: on a terminal it is asked twice and must match.
SecretBuffer read_new_password(std::string_view prompt);

// A dictionary password as the engine's 8-bit text. It goes to the engine inside a quoted
// connection-string value, which cannot hold a double quote; such a password could never log
// in, so it is refused (StoreError) when it is set.
SecretBuffer checked_password(const SecretBuffer& password);
// The same for a password the program holds as plain text (the demo's, which are no secret).
std::string checked_password(const std::string& password);

}  // namespace varelum::store
