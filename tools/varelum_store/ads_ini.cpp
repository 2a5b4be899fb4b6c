// The alias writer for ads.ini (see ads_ini.h).
#include "ads_ini.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "rtl/profile_text.h"
#include "rtl/text.h"
#include "store_error.h"

namespace varelum::store {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSection = "Databases";

// fsync of a file or folder: 0, or the errno value of the failure.
int sync_to_disk(const fs::path& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int failed = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return failed;
}

std::vector<std::string> read_lines(const fs::path& path) {
    std::vector<std::string> lines;
    if (!fs::exists(path)) {
        return lines;
    }
    std::ifstream input(path, std::ios::binary);
    if (!input) {
        throw StoreError("cannot read " + path.string() + ": " + std::strerror(errno));
    }
    std::string line;
    while (std::getline(input, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

void set_ads_ini_alias(const fs::path& path, std::string_view alias, std::string_view value) {
    std::vector<std::string> lines = read_lines(path);
    const std::string entry = std::string(alias) + " = " + std::string(value);

    // The lines read by the same rules as the components read them, so that the entry written
    // here is the one they find.
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += '\n';
    }
    const std::vector<rtl::TProfileLine> profile = rtl::ReadProfileLines(text);
    if (std::optional<std::size_t> existing = rtl::FindProfileEntry(profile, kSection, alias)) {
        lines[*existing] = entry;
    } else if (std::optional<std::size_t> header = rtl::FindProfileSection(profile, kSection)) {
        // After the section's last line that is not blank.
        std::size_t section_end = *header + 1;
        for (std::size_t i = *header + 1;
             i < profile.size() && profile[i].Kind != rtl::TProfileLineKind::Section; ++i) {
            if (!rtl::TrimmedView(lines[i]).empty()) {
                section_end = i + 1;
            }
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(section_end), entry);
    } else {
        if (!lines.empty() && !rtl::TrimmedView(lines.back()).empty()) {
            lines.emplace_back();
        }
        lines.push_back("[" + std::string(kSection) + "]");
        lines.push_back(entry);
    }

    fs::path partial = path;
    partial += ".partial";
    {
        std::ofstream output(partial, std::ios::binary | std::ios::trunc);
        for (const std::string& line : lines) {
            output << line << "\n";
        }
        output.close();
        if (!output) {
            std::error_code ignored;
            fs::remove(partial, ignored);
            throw StoreError("cannot write " + path.string() + ": " + std::strerror(errno));
        }
    }
    // The new text reaches the disk before it replaces the old, and the folder after: a power
    // cut leaves the old file or the new one, never an empty one.
    if (int failed = sync_to_disk(partial, O_RDONLY)) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw StoreError("cannot write " + path.string() + ": " + std::strerror(failed));
    }
    std::error_code error;
    fs::rename(partial, path, error);
    if (error) {
        throw StoreError("cannot write " + path.string() + ": " + error.message());
    }
    fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (int failed = sync_to_disk(folder, O_RDONLY | O_DIRECTORY)) {
        throw StoreError("cannot write " + path.string() + ": " + std::strerror(failed));
    }
}

}  // namespace varelum::store
