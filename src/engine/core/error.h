// Engine errors: the exception that carries a result code and text inside the engine, the one
// table of codes and their English texts, and the calling thread's last error.
//
// Inside the engine every failure is an EngineError; the exported functions (api/guard.h)
// turn it into a result code and the thread's last error, so nothing crosses the C ABI.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace varelum::engine {

class EngineError : public std::exception {
  public:
    EngineError(std::uint32_t code, std::string text) : code_(code), text_(std::move(text)) {}
    std::uint32_t code() const noexcept { return code_; }
    const std::string& text() const noexcept { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

  private:
    std::uint32_t code_;
    std::string text_;
};

// The standard English text of a code ("Unknown error code n." for codes not in the table).
std::string error_text(std::uint32_t code);

// Throws EngineError(code, standard text, followed by ": detail" when a detail is given).
[[noreturn]] void fail(std::uint32_t code, std::string_view detail = {});

// Throws VE_FILE_ERROR (or VE_TABLE_FULL for ENOSPC) with the operation, path and errno text.
[[noreturn]] void fail_errno(std::string_view operation, std::string_view path, int error_number);

// The calling thread's last error; code 0 means the last call succeeded.
struct LastError {
    std::uint32_t code = 0;
    std::string text;
};
LastError& last_error();
void set_last_error(std::uint32_t code, std::string text);
void clear_last_error();

}  // namespace varelum::engine
