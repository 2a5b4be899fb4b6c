// Rolling back the transactions of processes that ended inside one: their journals lie beside
// the tables, unlocked. The engine calls this before a handle reads a table of the directory,
// and after a connection newly locks a record or a table there, before it may change it: a
// dead owner's record locks die with it, so a lock granted where one of them was must not let
// its holder build on, or be undone by, half a transaction.
#pragma once

#include <string>

namespace varelum::engine {

class TableStore;

// Rolls back every journal in directory whose owner is gone (or, for a transaction whose
// commit decision is on the disk, finishes the commit). Cheap when the directory has not
// changed since the last look and held no journal of another process then. Throws
// VE_UNFINISHED_TRANSACTION when a dead owner's journal cannot be rolled back by this process
// (a read-only directory or table, or a batch of writes this thread has open), so that nobody
// reads or changes half a transaction. The journals' tables are opened through store.
void recover_dead_transactions(TableStore& store, const std::string& directory);

}  // namespace varelum::engine
