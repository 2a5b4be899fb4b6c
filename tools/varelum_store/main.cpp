// varelum-store: the store tool. main() parses the command line against the command table,
// runs the command, and turns every failure into one line on standard error and exit code 1
// (130 for work the user interrupted, as shells report it).
#include <iostream>
#include <string>

#include "command_line.h"
#include "progress_display.h"
#include "store_error.h"
#include "varelum_engine.h"

namespace {

using varelum::store::kProgramName;

// Messages quote values from files, which may hold line breaks: the message stays one line.
std::string one_line(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t') {
            c = ' ';
        }
    }
    return text;
}

int fail(const std::string& message) {
    std::cout.flush();
    std::cerr << kProgramName << ": " << one_line(message) << std::endl;
    return 1;
}

std::string engine_version() {
    UNSIGNED32 major = 0;
    UNSIGNED32 minor = 0;
    UNSIGNED8 description[128] = {};
    UNSIGNED16 length = sizeof description;
    if (AdsGetVersion(&major, &minor, nullptr, description, &length) != VE_SUCCESS) {
        return "unknown";
    }
    return std::to_string(major) + "." + std::to_string(minor) + " (" +
           std::string(reinterpret_cast<const char*>(description), length) + ")";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace varelum::store;
    std::ios::sync_with_stdio(false);
    try {
        Invocation invocation = parse_command_line(argc, argv);
        switch (invocation.kind) {
            case Invocation::Kind::Help:
                std::cout << help_text(invocation.command);
                return 0;
            case Invocation::Kind::Version:
                std::cout << kProgramName << " " << engine_version() << "\n";
                return 0;
            case Invocation::Kind::Run:
                break;
        }
        // The engine shows records marked deleted by default; the tool never wants them
        // except where a command counts them on purpose.
        if (AdsShowDeleted(0) != VE_SUCCESS) {
            return fail("the engine refused its settings");
        }
        const int code = invocation.command->run(*invocation.arguments);
        std::cout.flush();
        return code;
    } catch (const UsageError& error) {
        std::string message = error.what();
        if (error.command() != nullptr) {
            message += " (usage: " + usage_line(*error.command()) + ")";
        }
        return fail(message);
    } catch (const StoreError& error) {
        const int code = fail(error.what());
        return error.engine_code() == VE_OPERATION_CANCELLED ? kInterruptedExitCode : code;
    } catch (const std::exception& error) {
        return fail(std::string("unexpected failure: ") + error.what());
    }
}
