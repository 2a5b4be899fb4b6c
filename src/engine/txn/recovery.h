// Rolling back the transactions of processes that ended inside one: their journals lie beside
// the tables, unlocked. The engine calls this before a handle reads a table of the directory.
#pragma once

#include <string>

namespace varelum::engine {

class TableStore;

// Rolls back every journal in directory whose owner is gone. Cheap when the directory has not
// changed since the last look and held no journal then. Throws VE_UNFINISHED_TRANSACTION
// when a dead owner's journal cannot be rolled back by this process (a read-only directory
// or table), so that nobody reads half a transaction. The journals' tables are opened through
// store.
void recover_dead_transactions(TableStore& store, const std::string& directory);

}  // namespace varelum::engine
