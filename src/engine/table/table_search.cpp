// Searching a directory for table files (see table_search.h).
#include "engine/table/table_search.h"

#include "engine/core/error.h"
#include "engine/storage/table_store.h"
#include "engine/table/connection.h"
#include "varelum_engine.h"

namespace varelum::engine {

TableSearch::TableSearch(const Connection& connection, std::uint32_t connection_handle,
                         const std::string& pattern_utf8)
    : connection_handle_(connection_handle) {
    std::string pattern;
    for (const char c : pattern_utf8) {
        pattern.push_back(c == '\\' ? '/' : c);
    }
    const std::size_t slash = pattern.rfind('/');
    if (slash == std::string::npos) {
        collect(connection.store(), pattern);
        return;
    }
    // The directory part goes through the connection's own path rules, and is served by the
    // store that would serve a connection to it.
    const std::string directory = connection.resolve(slash == 0 ? "/" : pattern.substr(0, slash));
    std::unique_ptr<TableStore> elsewhere;
    try {
        elsewhere = make_table_store(directory, VE_SERVER_LOCAL);
    } catch (const EngineError&) {
        return;  // no such folder: nothing matches
    }
    collect(*elsewhere, pattern.substr(slash + 1));
}

void TableSearch::collect(const TableStore& store, const std::string& mask) {
    for (std::string& name : store.list(mask)) {
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
