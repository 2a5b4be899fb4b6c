// Reading a password for varelum-store. A password is never taken from the command line,
// where every user of the machine sees it in the process list, and never echoed or printed:
// on a terminal it is typed with echo off; otherwise (a script) it is one line of standard
// input.
#pragma once

#include <string>
#include <string_view>

namespace varelum::store {

// Asks for a password with prompt (on standard error, only on a terminal). StoreError when
// standard input ends before a line or the password is empty.
std::string read_password(std::string_view prompt);

// As read_password, for a new password: on a terminal it is asked twice and must match.
std::string read_new_password(std::string_view prompt);

// A dictionary password as the engine's 8-bit text. It goes to the engine inside a quoted
// connection-string value, which cannot hold a double quote; such a password could never log
// in, so it is refused (StoreError) when it is set.
std::string checked_password(const std::string& password);

}  // namespace varelum::store
