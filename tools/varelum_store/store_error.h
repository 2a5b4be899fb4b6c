// The two kinds of failure of varelum-store. StoreError is anything that stops a command (an
// engine error, a bad CSV row, a file that cannot be written); UsageError is a command line
// that names no valid command or gives it the wrong arguments. main() turns either into one
// line on standard error and exit code 1.
#pragma once

#include <stdexcept>
#include <string>

namespace varelum::store {

class StoreError : public std::runtime_error {
  public:
    // engine_code: the engine's result code when the engine refused something, else 0.
    explicit StoreError(const std::string& message, unsigned engine_code = 0)
        : std::runtime_error(message), engine_code_(engine_code) {}

    unsigned engine_code() const noexcept { return engine_code_; }

  private:
    unsigned engine_code_;
};

struct CommandSpec;

class UsageError : public std::runtime_error {
  public:
    // command: the command whose usage line goes with the message; nullptr for none.
    UsageError(const std::string& message, const CommandSpec* command)
        : std::runtime_error(message), command_(command) {}

    const CommandSpec* command() const noexcept { return command_; }

  private:
    const CommandSpec* command_;
};

}  // namespace varelum::store
