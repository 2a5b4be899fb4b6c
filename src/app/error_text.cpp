// The shell's error-box texts: the period rule of the main loop and the start-failure report.
#include "app/error_text.h"

#include <cstdint>
#include <cstdio>

namespace varelum::app {

std::string ErrorBoxText(const std::string& message) {
    // Compared as unsigned bytes: the last byte of a multi-byte UTF-8 character is at least
    // 0x80, just as that character's code is greater than that of ".".
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

std::string ApplicationErrorText(const std::string& className, const std::string& moduleName,
                                 const void* codeAddress, const std::string& message) {
    char address[2 * sizeof(std::uintptr_t) + 1];
    std::snprintf(address, sizeof address, "%0*jX", static_cast<int>(2 * sizeof(std::uintptr_t)),
                  static_cast<std::uintmax_t>(reinterpret_cast<std::uintptr_t>(codeAddress)));
    const char* dot = !message.empty() && message.back() == '.' ? "" : ".";
    return "Exception " + className + " in module " + moduleName + " at " + address + ".\r\n" +
           message + dot + "\r\n";
}

}  // namespace varelum::app
