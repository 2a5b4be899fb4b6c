// The folder store: a connection's tables as our table files (storage/lmdb) in a folder of the
// local file system, with their record and table locks as byte-range locks on the files
// (storage/file_locks.h). Every file-system call goes through env(), so that tests can make
// any of them fail.
//
// A table "Name" is the file "Name.adt"; LMDB keeps its lock state in "Name.adt-lock" beside
// it. Names match the folder's entries without regard to ASCII letter case, the spelling on
// disk first. Tables are made under a hidden staging name (".creating-PID-Name.adt") and
// renamed into place, so that a reader never meets half a table.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "engine/storage/file_locks.h"
#include "engine/storage/table_store.h"

namespace varelum::engine {

class FolderStore final : public TableStore {
  public:
    // folder: absolute, "/" separated. Throws VE_PATH_NOT_FOUND unless it names a folder.
    explicit FolderStore(std::string folder);

    const std::string& root() const override { return folder_; }
    bool alive() const override;
    void require_table_type(std::uint16_t type) const override;

    std::optional<std::string> locate(const std::string& name) const override;
    std::string location_for_new(const std::string& name) const override;
    std::string missing_name(const std::string& name) const override;
    std::string without_default_extension(std::string_view name) const override;
    std::optional<FileIdentity> identity(const std::string& location) const override;
    std::vector<std::string> list(std::string_view mask) const override;
    std::string listed_location(const std::string& name) const override;

    std::shared_ptr<TableFile> open(const std::string& location) override;
    void create(const std::string& location, const TableSchema& schema,
                const TableOptions& options) override;
    SalvagedTable salvage(const std::string& location) override;
    void remove(const std::string& location) override;
    void discard(const std::string& location) noexcept override;
    void replace(const std::string& from, const std::string& to) override;
    bool open_in_process(const std::string& location) const override;
    void release_unused(const std::string& location) override;

    std::unique_ptr<ScratchTable> create_scratch(const TableSchema& schema,
                                                 const TableOptions& options) override;
    std::string staging_location(const std::string& location) const override;

    std::shared_ptr<TableLocks> locks(const TableFile& file) override;

  private:
    // A name as a path: from the folder unless absolute, "\" read as "/".
    std::string path_of(const std::string& name) const;

    std::string folder_;
    mutable std::mutex mutex_;
    std::map<std::string, std::weak_ptr<FileLocks>> locks_;  // by table path
};

}  // namespace varelum::engine
