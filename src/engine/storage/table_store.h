// Where a connection's tables live: the one interface through which everything above the
// storage finds, opens, creates, salvages, removes, renames and lists tables, makes private
// scratch tables for results, and takes record and table locks. A connection owns one store,
// made from its connection path and server types by make_table_store, the only place that
// decides which kind of store serves a path.
//
// A table is addressed by its location: for a folder store the table file's absolute,
// "/"-separated path as the store spells it (the name a caller typed is turned into one by
// locate or location_for_new). A location names a table only for as long as nothing replaces
// it; what a table *is* (for rights and bindings) is its identity, never the spelling.
//
// Implementations: storage/lmdb/folder_store.h (our table files in a folder of the local file
// system). An xBase store, a store on a database server and an encrypting layer over a
// store's records are further implementations; the layers above do not change for them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/env/env.h"
#include "engine/storage/table_file.h"

namespace varelum::engine {

// The locks of one connection on one table: its opens (shared or exclusive), record locks
// and the table lock. Locks belong to the connection that took them and end when it unlocks,
// closes the table or disconnects, and when its process ends.
class TableLocks {
  public:
    virtual ~TableLocks() = default;

    // One more open of the table by this connection; exclusive conflicts with every other
    // open of any connection. Throws VE_TABLE_IN_USE.
    virtual void add_open(bool exclusive) = 0;
    virtual void remove_open(bool exclusive) = 0;
    virtual int open_count() const = 0;
    // Whether this connection is the only one with the table open anywhere.
    virtual bool sole_user() = 0;

    // Throws VE_LOCK_REFUSED when another connection holds the record or the table lock.
    virtual void lock_record(std::uint32_t recno) = 0;
    // False when this connection does not hold it.
    virtual bool unlock_record(std::uint32_t recno) = 0;
    virtual bool holds_record(std::uint32_t recno) const = 0;
    // Throws VE_LOCK_REFUSED while another connection holds any record lock.
    virtual void lock_table() = 0;
    virtual bool unlock_table() = 0;
    virtual bool holds_table() const = 0;
    virtual std::vector<std::uint32_t> records() const = 0;
    // Tries a record lock without failing; false when refused.
    virtual bool try_lock_record(std::uint32_t recno) = 0;

    // Keeps the record locked for the connection's transaction until
    // release_transaction_locks(), whatever unlock_record says meanwhile. Throws
    // VE_LOCK_REFUSED when another connection holds it. appended: a record number just handed
    // out, locked inside the write that appends it.
    virtual void hold_for_transaction(std::uint32_t recno, bool appended) = 0;
    virtual void release_transaction_locks() = 0;
};

class TableStore {
  public:
    virtual ~TableStore() = default;

    // The store's own place as the connection names it (a folder: absolute, "/" separated).
    virtual const std::string& root() const = 0;
    // Whether the store can be reached now.
    virtual bool alive() const = 0;
    // Refuses a table type (the engine's numbers: 1 NTX, 2 CDX, 3 ADT, 4 VFP) that the store
    // does not serve. Throws VE_NOT_SUPPORTED.
    virtual void require_table_type(std::uint16_t type) const = 0;

    // Names and locations. A name is taken from the root unless it is absolute; "\" separates
    // like "/". The last part is matched by the store's own case rules.
    //
    // The location of the table a caller names, the store's default extension tried first
    // when the name has none; nullopt when there is no such table (nor anything else by
    // that name: a folder named like a table is found, and fails to open as "not a table").
    virtual std::optional<std::string> locate(const std::string& name) const = 0;
    // The location a new table of that name gets: the name with the store's default extension
    // added when it has none. Nothing is made.
    virtual std::string location_for_new(const std::string& name) const = 0;
    // What a caller is told a missing table was called (the default extension added).
    virtual std::string missing_name(const std::string& name) const = 0;
    // A table's name without the store's default extension (in any letter case), as a
    // dictionary registers it.
    virtual std::string without_default_extension(std::string_view name) const = 0;
    // Which table is at location now; nullopt when there is none.
    virtual std::optional<FileIdentity> identity(const std::string& location) const = 0;
    // The names (without folder) of the tables matching a file mask ("*" any run, "?" one
    // character, letters in any case), in byte order; the store's own work and lock files
    // are left out. Throws VE_FILE_ERROR when the store cannot be listed.
    virtual std::vector<std::string> list(std::string_view mask) const = 0;
    // The location of a name that list answered.
    virtual std::string listed_location(const std::string& name) const = 0;

    // Tables. Every open of one table in a process shares one TableFile.
    //
    // Throws VE_TABLE_NOT_FOUND, VE_TABLE_CORRUPT, VE_TABLE_VERSION, VE_FILE_ERROR.
    virtual std::shared_ptr<TableFile> open(const std::string& location) = 0;
    // Makes the table (replacing one that nobody has open), whole or not at all. Throws
    // VE_TABLE_IN_USE, VE_FILE_ERROR.
    virtual void create(const std::string& location, const TableSchema& schema,
                        const TableOptions& options) = 0;
    // Reads what is intact of a damaged table without trusting its structure (nothing is
    // written). Throws VE_TABLE_CORRUPT when not even its fields can be read,
    // VE_TABLE_NOT_FOUND, VE_FILE_ERROR.
    virtual SalvagedTable salvage(const std::string& location) = 0;
    // Deletes the table. REQUIRES: no handle has it open. A table already gone is no error.
    // Throws VE_FILE_ERROR.
    virtual void remove(const std::string& location) = 0;
    // Removes a table this process made and gives up on (an unfinished copy). REQUIRES: no
    // handle has it open. Errors are ignored: at worst a stray file stays.
    virtual void discard(const std::string& location) noexcept = 0;
    // Puts the table at `from` (made by this process, with no handle open) in the place of
    // the one at `to`, in one step: a crash leaves one or the other. Throws VE_FILE_ERROR.
    virtual void replace(const std::string& from, const std::string& to) = 0;
    // Whether this process has the table open by some handle.
    virtual bool open_in_process(const std::string& location) const = 0;
    // Lets go of a table the process keeps open only for a next open (after it was removed
    // or replaced, so that its space is given back).
    virtual void release_unused(const std::string& location) = 0;

    // A private table of this process for a result: never shared, never waits for the disk.
    // Its name goes when the ScratchTable does; the table itself when its last holder lets it
    // go (a handle opened on it meanwhile keeps it).
    class ScratchTable {
      public:
        virtual ~ScratchTable() = default;
        virtual const std::shared_ptr<TableFile>& file() const = 0;
        virtual const std::string& location() const = 0;
    };
    virtual std::unique_ptr<ScratchTable> create_scratch(const TableSchema& schema,
                                                         const TableOptions& options) = 0;
    // A location beside `location` for a table this process makes and then puts in its place
    // (replace) or discards; nobody else will choose it.
    virtual std::string staging_location(const std::string& location) const = 0;

    // This connection's locks on an open table (each connection keeps one per table).
    virtual std::shared_ptr<TableLocks> locks(const TableFile& file) = 0;
};

// The store that serves a connection path for a connection that may use the server types in
// the mask (VE_SERVER_...). Throws VE_SERVER_NOT_AVAILABLE when no allowed server type can serve
// the path (a folder is served by the engine in the calling process, the local server type),
// VE_PATH_NOT_FOUND when there is nothing to serve at the path.
std::unique_ptr<TableStore> make_table_store(const std::string& connection_path,
                                             std::uint16_t server_types);

}  // namespace varelum::engine
