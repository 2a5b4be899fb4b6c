// Parsing the command line against the command table, and the usage and help texts (see
// command_line.h).
#include "command_line.h"

#include <charconv>

#include "store_error.h"

namespace varelum::store {

namespace {

bool is_optional(std::string_view argument) {
    return !argument.empty() && argument.front() == '[';
}

std::size_t required_count(const CommandSpec& command) {
    std::size_t count = 0;
    for (std::string_view argument : command.arguments) {
        count += is_optional(argument) ? 0 : 1;
    }
    return count;
}

const CommandSpec* find_command(std::string_view name) {
    for (const CommandSpec& command : command_table()) {
        if (command.name == name) {
            return &command;
        }
    }
    return nullptr;
}

const OptionSpec* find_option(const CommandSpec& command, std::string_view name) {
    for (const OptionSpec& option : command.options) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

bool is_help(std::string_view argument) {
    return argument == "--help" || argument == "-h";
}

std::string option_usage(const OptionSpec& option) {
    std::string text(option.name);
    if (!option.value_name.empty()) {
        text += " ";
        text += option.value_name;
    }
    return text;
}

}  // namespace

// --- Arguments ----------------------------------------------------------------------------

Arguments::Arguments(const CommandSpec& command, std::vector<std::string> positional,
                     std::vector<std::pair<std::string, std::string>> options)
    : command_(&command), positional_(std::move(positional)), options_(std::move(options)) {}

const std::string& Arguments::at(std::size_t i) const {
    static const std::string kNone;
    return i < positional_.size() ? positional_[i] : kNone;
}

bool Arguments::has(std::string_view option) const {
    for (const auto& [name, value] : options_) {
        if (name == option) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> Arguments::value(std::string_view option) const {
    // The last occurrence wins, as with most tools.
    std::optional<std::string> found;
    for (const auto& [name, value] : options_) {
        if (name == option) {
            found = value;
        }
    }
    return found;
}

unsigned long Arguments::number(std::string_view option, unsigned long fallback,
                                unsigned long minimum, unsigned long maximum) const {
    std::optional<std::string> text = value(option);
    if (!text) {
        return fallback;
    }
    unsigned long number = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
    if (text->empty() || error != std::errc() || end != text->data() + text->size() ||
        number < minimum || number > maximum) {
        throw UsageError(std::string(option) + " takes a whole number from " +
                             std::to_string(minimum) + " to " + std::to_string(maximum) +
                             ", not \"" + *text + "\"",
                         command_);
    }
    return number;
}

// --- Parsing ------------------------------------------------------------------------------

Invocation parse_command_line(int argc, const char* const* argv) {
    std::vector<std::string_view> words(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    Invocation invocation;
    if (words.empty()) {
        throw UsageError("no command given; try " + std::string(kProgramName) + " --help", nullptr);
    }
    if (is_help(words[0]) || words[0] == "help") {
        invocation.kind = Invocation::Kind::Help;
        if (words.size() > 1) {
            invocation.command = find_command(words[1]);
            if (invocation.command == nullptr) {
                throw UsageError("unknown command \"" + std::string(words[1]) + "\"; try " +
                                     std::string(kProgramName) + " --help",
                                 nullptr);
            }
        }
        return invocation;
    }
    if (words[0] == "--version") {
        invocation.kind = Invocation::Kind::Version;
        return invocation;
    }
    const CommandSpec* command = find_command(words[0]);
    if (command == nullptr) {
        throw UsageError(
            std::string(words[0].starts_with("-") ? "unknown option \"" : "unknown command \"") +
                std::string(words[0]) + "\"; try " + std::string(kProgramName) + " --help",
            nullptr);
    }

    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    bool options_ended = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string_view word = words[i];
        if (options_ended || !word.starts_with("--") || word.size() == 2) {
            if (word == "--" && !options_ended) {
                options_ended = true;  // everything after "--" is an argument
                continue;
            }
            if (!options_ended && is_help(word)) {
                invocation.kind = Invocation::Kind::Help;
                invocation.command = command;
                return invocation;
            }
            positional.emplace_back(word);
            continue;
        }
        if (is_help(word)) {
            invocation.kind = Invocation::Kind::Help;
            invocation.command = command;
            return invocation;
        }
        std::string_view name = word;
        std::optional<std::string> value;
        if (std::size_t equals = word.find('='); equals != std::string_view::npos) {
            name = word.substr(0, equals);
            value = std::string(word.substr(equals + 1));
        }
        const OptionSpec* option = find_option(*command, name);
        if (option == nullptr) {
            throw UsageError(std::string(command->name) + " has no option " + std::string(name),
                             command);
        }
        if (option->value_name.empty()) {
            if (value) {
                throw UsageError(std::string(name) + " takes no value", command);
            }
            value = std::string();
        } else if (!value) {
            if (i + 1 >= words.size()) {
                throw UsageError(
                    std::string(name) + " needs a value (" + std::string(option->value_name) + ")",
                    command);
            }
            value = std::string(words[++i]);
        }
        options.emplace_back(std::string(name), std::move(*value));
    }

    const std::size_t required = required_count(*command);
    if (positional.size() < required) {
        throw UsageError(std::string(command->name) + " needs " +
                             std::string(command->arguments[positional.size()]),
                         command);
    }
    // A last argument spelled "[NAME...]" may be given any number of times.
    const bool repeats_last =
        !command->arguments.empty() && command->arguments.back().ends_with("...]");
    if (positional.size() > command->arguments.size() && !repeats_last) {
        throw UsageError(std::string(command->name) + " takes " +
                             (command->arguments.empty()
                                  ? std::string("no arguments")
                                  : "at most " + std::to_string(command->arguments.size()) +
                                        " argument" + (command->arguments.size() == 1 ? "" : "s")) +
                             "; \"" + positional[command->arguments.size()] + "\" is one too many",
                         command);
    }
    invocation.kind = Invocation::Kind::Run;
    invocation.command = command;
    invocation.arguments.emplace(*command, std::move(positional), std::move(options));
    return invocation;
}

// --- Usage and help -----------------------------------------------------------------------

std::string usage_line(const CommandSpec& command) {
    std::string line = std::string(kProgramName) + " " + std::string(command.name);
    for (std::string_view argument : command.arguments) {
        line += " ";
        line += argument;
    }
    for (const OptionSpec& option : command.options) {
        line += " [" + option_usage(option) + "]";
    }
    return line;
}

std::string help_text(const CommandSpec* command) {
    std::string text;
    if (command != nullptr) {
        text += "Usage: " + usage_line(*command) + "\n\n";
        text += std::string(command->summary) + "\n";
        if (!command->details.empty()) {
            text += "\n" + std::string(command->details);
            if (!command->details.ends_with('\n')) {
                text += "\n";
            }
        }
        if (!command->options.empty()) {
            text += "\nOptions:\n";
            for (const OptionSpec& option : command->options) {
                std::string left = "  " + option_usage(option);
                left.resize(std::max<std::size_t>(left.size() + 2, 20), ' ');
                text += left + std::string(option.help) + "\n";
            }
        }
        return text;
    }
    text += "Usage: " + std::string(kProgramName) + " COMMAND [ARGUMENTS...]\n\n";
    text +=
        "The store tool of Varelum: creates tables and demo stores, imports and exports CSV,\n"
        "indexes, shows, packs, empties and checks tables of the store engine.\n\nCommands:\n";
    for (const CommandSpec& entry : command_table()) {
        text += "  " + usage_line(entry).substr(kProgramName.size() + 1) + "\n";
        text += "      " + std::string(entry.summary) + "\n";
    }
    text +=
        "\n"
        "TABLE is the path of a table file; \".adt\" is added when the name has no extension.\n"
        "FIELDS is the engine's field text, e.g. \"Name,Char,30;Code,Integer;Born,Date;\".\n"
        "\n"
        "CSV files are UTF-8, RFC 4180 (quotes, embedded commas and line breaks, doubled\n"
        "quotes; CR LF or LF). The first row names the fields. An empty cell is null. Values:\n"
        "  text (Char, Memo, NChar, ...)   as it is; Char fields are exported right-trimmed\n"
        "  Integer, Numeric, Money, Double decimal numbers with \".\" as the point\n"
        "  Logical                         true/false (also T/F, 1/0, yes/no on import)\n"
        "  Date                            YYYY-MM-DD\n"
        "  Time                            HH:MM:SS.mmm (HH:MM and HH:MM:SS on import)\n"
        "  TimeStamp                       YYYY-MM-DD HH:MM:SS.mmm\n"
        "  Binary, Image, Raw              hexadecimal digits\n"
        "AutoInc, RowVersion and ModTime values are exported; the engine sets them on import.\n"
        "\n"
        "Run \"" +
        std::string(kProgramName) +
        " help COMMAND\" for one command's help. Exit status: 0 on success, 1 on\n"
        "any error, with a one-line message on standard error.\n";
    return text;
}

}  // namespace varelum::store
