// Recovering a damaged table: every record whose image and memo values verify is copied with
// its number into a new table file with the same fields, options and index tags; the damaged
// file is only read. It sits with the index layer because it rebuilds the new file's tags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varelum::engine {

class TableStore;

struct RecoveredTable {
    std::uint32_t kept = 0;
    std::vector<std::uint32_t> lost;  // record numbers
    bool index_tags_kept = true;      // false: their descriptions were damaged, none was made
    bool previous_commit = false;     // recovered as the commit before the last left the table
};

// Reads the table at damaged and writes the new table at path, both through store; path must
// not exist. On any
// failure no new file is left. Reports progress (core/progress.h). Throws VE_TABLE_CORRUPT
// when nothing can be recovered, VE_INVALID_ARGUMENT when path exists, VE_OPERATION_CANCELLED.
RecoveredTable recover_table(TableStore& store, const std::string& damaged,
                             const std::string& path);

// "3, 7-9, 12": record numbers as ascending runs.
std::string record_ranges(const std::vector<std::uint32_t>& numbers);

}  // namespace varelum::engine
