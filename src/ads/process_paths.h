// Where the running process is: the directory of its executable. Used to find the files that
// are installed beside the program (the engine library, ads.ini).
#pragma once

#include <string>

namespace varelum::ads {

// The absolute directory of the running executable, without a trailing "/"; empty when the
// operating system does not tell.
std::string ExecutableDirectory();

}  // namespace varelum::ads
