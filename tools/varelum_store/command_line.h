// The command line of varelum-store: the description of a command (its name, its arguments,
// its options and its help), the parsed arguments a command runs with, and the usage and help
// texts built from the command table. The table itself is in commands.cpp; adding a command is
// one entry there and one run function.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varelum::store {

inline constexpr std::string_view kProgramName = "varelum-store";

struct OptionSpec {
    std::string_view name;        // "--products"
    std::string_view value_name;  // "N"; empty for an option that takes no value
    std::string_view help;
};

class Arguments;

struct CommandSpec {
    std::string_view name;
    // The positional arguments in usage form: "TABLE FILE.csv", "[FILE.csv]" when optional.
    std::vector<std::string_view> arguments;
    std::vector<OptionSpec> options;
    std::string_view summary;  // one line for the command list
    std::string_view details;  // the rest of the command's help; may be empty
    // Runs the command: 0 on success, 1 for a finding such as a damaged table. Failures
    // throw StoreError.
    int (*run)(const Arguments& arguments);
};

// What a command gets from the command line, checked against its CommandSpec: the number of
// positional arguments and every option name and value.
class Arguments {
  public:
    Arguments(const CommandSpec& command, std::vector<std::string> positional,
              std::vector<std::pair<std::string, std::string>> options);

    const CommandSpec& command() const noexcept { return *command_; }
    std::size_t count() const noexcept { return positional_.size(); }
    // The i-th positional argument; "" past the last one given.
    const std::string& at(std::size_t i) const;

    bool has(std::string_view option) const;
    std::optional<std::string> value(std::string_view option) const;
    // The option's value as a whole number in [minimum, maximum], or fallback when it is not
    // given; UsageError for anything else.
    unsigned long number(std::string_view option, unsigned long fallback, unsigned long minimum,
                         unsigned long maximum) const;

  private:
    const CommandSpec* command_;
    std::vector<std::string> positional_;
    std::vector<std::pair<std::string, std::string>> options_;
};

// What the command line asks for.
struct Invocation {
    enum class Kind { Run, Help, Version };
    Kind kind = Kind::Help;
    const CommandSpec* command = nullptr;  // Run; for Help the command asked about, if any
    std::optional<Arguments> arguments;    // Run only
};

// Parses argv against the command table. Throws UsageError for an unknown command or option,
// a missing option value, or too few or too many arguments.
Invocation parse_command_line(int argc, const char* const* argv);

// "varelum-store import TABLE FILE.csv [--progress N]"
std::string usage_line(const CommandSpec& command);
// The whole help (no command) or one command's help.
std::string help_text(const CommandSpec* command);

// The command table, in the order the help lists it (commands.cpp).
const std::vector<CommandSpec>& command_table();

}  // namespace varelum::store
