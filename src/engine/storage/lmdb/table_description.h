// The description a table file keeps of itself: the header value (magic, format version,
// options, record length, field count, collation), the field descriptions and the record
// counters, decoded from their stored bytes. The file's open reads them through LMDB; its
// salvage finds them in raw pages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/table_file.h"

namespace varelum::engine {

inline constexpr char kTableHeaderKey[] = "header";
inline constexpr char kTableCountersKey[] = "counters";

struct TableDescription {
    std::uint32_t format_version = 0;
    TableSchema schema;
    TableOptions options;
};

// Throws VE_TABLE_CORRUPT (naming path) for damaged bytes, VE_TABLE_VERSION for a newer format.
TableDescription decode_table_description(const std::string& path, std::string_view header,
                                          const std::vector<std::string_view>& fields);
// nullopt when the value is too short to hold them.
std::optional<TableCounters> decode_table_counters(std::string_view value);

}  // namespace varelum::engine
