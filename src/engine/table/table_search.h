// A search for the table files of a directory (AdsFindFirstTable and the calls after it): the
// names matching a mask, taken once when the search begins, handed out one at a time.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/handles.h"

namespace varelum::engine {

class Connection;
class TableStore;

class TableSearch : public HandleObject {
  public:
    static constexpr HandleKind kKind = HandleKind::TableSearch;

    // The names matching pattern, which is "directory/mask" ("\" as separator too; a relative
    // directory is the connection's), a bare mask in the connection's store, or empty (every
    // table of the connection's store). Throws VE_FILE_ERROR when the store cannot be listed.
    TableSearch(const Connection& connection, std::uint32_t connection_handle,
                const std::string& pattern_utf8);
    // Names found elsewhere (a dictionary's tables), each with the alias of the link it is
    // reached through (empty for none).
    struct Found {
        std::string link;
        std::string name;
    };
    TableSearch(std::uint32_t connection_handle, std::vector<Found> names);
    HandleKind kind() const override { return kKind; }

    std::uint32_t connection_handle() const { return connection_handle_; }
    // The name to hand out next (UTF-8), or none when every name was handed out.
    std::optional<std::string> current() const;
    // The link alias of that name (empty for a file or one of the dictionary's own tables).
    std::string current_link() const;
    // Moves on to the following name.
    void advance() { ++position_; }

  private:
    // Adds the names of store's tables that match mask.
    void collect(const TableStore& store, const std::string& mask);

    std::uint32_t connection_handle_;
    std::vector<Found> names_;
    std::size_t position_ = 0;
};

}  // namespace varelum::engine
