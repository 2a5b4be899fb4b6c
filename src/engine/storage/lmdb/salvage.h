// The salvage of a damaged table file: its trees are followed from the newest sound header
// page with plain reads, every page checked for its own number, kind and bounds before it is
// read, and a damaged page is passed over with everything below it. Only what is reachable is
// read, so old copies of records in freed pages never come back; record images must match
// their checksum and memo values the checksum in their record.
#pragma once

#include <string>

#include "engine/storage/table_file.h"

namespace varelum::engine {

SalvagedTable salvage_lmdb_table_file(const std::string& path);

}  // namespace varelum::engine
