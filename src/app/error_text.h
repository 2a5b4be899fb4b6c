// The texts of the two error boxes of the application shell: the main loop's box for an
// exception that escaped an event handler, and the report of a start that failed while the main
// window was being built.
#pragma once

#include <string>

namespace varelum::app {

// The main loop's error box text: the message with "." appended when its last character's code
// is greater than that of "." (so "!" , ")" and "." itself end a text unchanged; a letter or a
// digit gets a "."). An empty message stays empty.
std::string ErrorBoxText(const std::string& message);

// "Exception <class> in module <module> at <address>.\r\n<message><dot>\r\n", where <dot> is "."
// unless the message already ends with "."; <address> is written as the framework writes a
// pointer: upper-case hexadecimal, zero-padded to the pointer's width.
std::string ApplicationErrorText(const std::string& className, const std::string& moduleName,
                                 const void* codeAddress, const std::string& message);

// The caption of the box that reports a failed start.
inline constexpr const char* ApplicationErrorCaption = "Application Error";

}  // namespace varelum::app
