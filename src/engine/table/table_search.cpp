// Searching a directory for table files (see table_search.h).
#include "engine/table/table_search.h"

#include "engine/env/files.h"
#include "engine/table/connection.h"

namespace varelum::engine {

namespace {

constexpr const char* kDefaultMask = "*.adt";

}  // namespace

TableSearch::TableSearch(const Connection& connection, std::uint32_t connection_handle,
                         const std::string& pattern_utf8)
    : connection_handle_(connection_handle) {
    std::string pattern;
    for (const char c : pattern_utf8) {
        pattern.push_back(c == '\\' ? '/' : c);
    }
    const std::size_t slash = pattern.rfind('/');
    std::string directory = connection.path();
    std::string mask = pattern;
    if (slash != std::string::npos) {
        // The directory part goes through the connection's own path rules.
        directory = connection.resolve(slash == 0 ? "/" : pattern.substr(0, slash));
        mask = pattern.substr(slash + 1);
    }
    if (mask.empty()) {
        mask = kDefaultMask;
    }
    for (std::string& name : regular_files_matching(directory, mask)) {
        names_.push_back({std::string(), std::move(name)});
    }
}

TableSearch::TableSearch(std::uint32_t connection_handle, std::vector<Found> names)
    : connection_handle_(connection_handle), names_(std::move(names)) {}

std::optional<std::string> TableSearch::current() const {
    if (position_ >= names_.size()) {
        return std::nullopt;
    }
    return names_[position_].name;
}

std::string TableSearch::current_link() const {
    return position_ < names_.size() ? names_[position_].link : std::string();
}

}  // namespace varelum::engine
