// The running executable's directory, read from /proc/self/exe (see process_paths.h).
#include "ads/process_paths.h"

#include <unistd.h>

#include <vector>

namespace varelum::ads {

std::string ExecutableDirectory() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    // A result that fills the buffer may have been cut: better no directory than a wrong one.
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) {
        return {};
    }
    const std::string path(buffer.data(), static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace varelum::ads
