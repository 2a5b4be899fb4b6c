// Restructuring a table: fields added, deleted and changed while records, memo values and
// index tags are kept. The work builds a complete new file beside the table and puts it in the
// table's place with one rename, so a table is always either the old one or the new one.
// It sits with the index layer because it builds the new file's index tags.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/table/connection.h"

namespace varelum::engine {

// The three field texts of AdsRestructureTable90 (their syntax is in varelum_engine.h).
struct RestructureRequest {
    std::string add_fields;
    std::string delete_fields;
    std::string change_fields;
};

// Restructures the table file at path, which must be closed everywhere (it is opened
// exclusively through the connection for the whole work). Throws VE_FIELD_NOT_FOUND,
// VE_INVALID_FIELD_DEFINITION, VE_DATA_WOULD_BE_LOST (naming the field and the first record),
// VE_OPERATION_CANCELLED, VE_TABLE_IN_USE and what opening and writing tables throw; on any
// failure the table is left exactly as it was.
void restructure_table(const std::shared_ptr<Connection>& connection, const std::string& path,
                       const RestructureRequest& request);

}  // namespace varelum::engine
