// The alias writer for ads.ini (see ads_ini.h).
#include "ads_ini.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "rtl/text.h"
#include "store_error.h"

namespace varelum::store {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSection = "Databases";

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

// The name of a "[Name]" line, or nothing for any other line.
std::optional<std::string> section_name(const std::string& line) {
    std::string_view text = rtl::TrimmedView(line);
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') {
        return std::nullopt;
    }
    return rtl::Trim(text.substr(1, text.size() - 2));
}

bool is_entry_of(const std::string& line, std::string_view key) {
    const std::size_t equals = line.find('=');
    return equals != std::string::npos && rtl::SameText(rtl::Trim(line.substr(0, equals)), key);
}

}  // namespace

void set_ads_ini_alias(const fs::path& path, std::string_view alias, std::string_view value) {
    std::vector<std::string> lines = read_lines(path);
    const std::string entry = std::string(alias) + " = " + std::string(value);

    bool in_section = false;
    std::optional<std::size_t> section_end;  // where a new entry of the section goes
    bool done = false;
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
        if (std::optional<std::string> name = section_name(lines[i])) {
            in_section = rtl::SameText(*name, kSection);
            if (in_section) {
                section_end = i + 1;
            }
            continue;
        }
        if (!in_section) {
            continue;
        }
        if (is_entry_of(lines[i], alias)) {
            lines[i] = entry;
            done = true;
        } else if (!rtl::TrimmedView(lines[i]).empty()) {
            section_end = i + 1;
        }
    }
    if (!done) {
        if (section_end) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*section_end), entry);
        } else {
            if (!lines.empty() && !rtl::TrimmedView(lines.back()).empty()) {
                lines.emplace_back();
            }
            lines.push_back("[" + std::string(kSection) + "]");
            lines.push_back(entry);
        }
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
    std::error_code error;
    fs::rename(partial, path, error);
    if (error) {
        throw StoreError("cannot write " + path.string() + ": " + error.message());
    }
}

}  // namespace varelum::store
