// The folder store (see folder_store.h).
#include "engine/storage/lmdb/folder_store.h"

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/env/files.h"
#include "engine/env/process_id.h"
#include "engine/storage/lmdb/lmdb_table_file.h"
#include "engine/storage/lmdb/salvage.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

constexpr std::string_view kTableExtension = ".adt";
constexpr std::string_view kDefaultMask = "*.adt";
// LMDB's own lock state beside each table file.
constexpr std::string_view kLockSuffix = "-lock";
// Work files start with a dot and are never listed: a table being made (with the maker's
// process id, as any process may make one), and a new table that will replace the one of its
// name (its maker holds that table exclusively, and removes one left by a crash).
constexpr std::string_view kCreatingPrefix = ".creating-";
constexpr std::string_view kStagingPrefix = ".staging-";

std::string lock_file_of(const std::string& path) {
    return path + std::string(kLockSuffix);
}

std::string file_name_of(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// Removes a table file with its lock file; the table file's errno, or 0. Without its table the
// lock file guards nothing, so one left behind is harmless.
int remove_table_files(const std::string& path) {
    int error = env().remove_file(path);
    env().remove_file(lock_file_of(path));
    return error == ENOENT ? 0 : error;
}

// A scratch table's name lasts as long as this object; the file itself as long as it is open.
class FolderScratch final : public TableStore::ScratchTable {
  public:
    FolderScratch(std::shared_ptr<TableFile> file, std::string location)
        : file_(std::move(file)), location_(std::move(location)) {}
    ~FolderScratch() override { remove_table_files(location_); }
    const std::shared_ptr<TableFile>& file() const override { return file_; }
    const std::string& location() const override { return location_; }

  private:
    std::shared_ptr<TableFile> file_;
    std::string location_;
};

// Renames the table file at `from` (with no handle open) to `to` with a lock file of its own,
// then syncs the folder. A failed rename or sync is reported as `operation` on `to` (the
// rename) or on the folder ("sync" for a replace; a new table reports both as its "create").
void put_in_place(const std::string& from, const std::string& to, std::string_view operation) {
    LmdbTableFile::release_kept(from);
    // The new file gets a lock file of its own before it takes the path: a process that still
    // has the old file open (a handle, or a file kept for its next open) goes on with the old
    // lock file, and the two files never share LMDB's lock state. Without it the new file
    // would take over the old one's lock file, so a failure here leaves everything as it was.
    const bool replacing = path_exists(to);
    if (int error = env().rename_file(lock_file_of(from), lock_file_of(to));
        error != 0 && error != ENOENT) {
        fail_errno(operation, to, error);
    }
    if (int error = env().rename_file(from, to); error != 0) {
        if (!replacing) {
            env().remove_file(lock_file_of(to));  // guards no table: none took the name
        }
        fail_errno(operation, to, error);
    }
    // The file was synced before the rename; the folder must be after it, or a power cut
    // could leave the old table, or none, in its place.
    const std::string folder = parent_directory(to);
    if (int error = sync_directory(folder); error != 0) {
        if (operation == "create") {
            fail_errno(operation, to, error);
        }
        fail_errno("sync", folder, error);
    }
}

}  // namespace

FolderStore::FolderStore(std::string folder) : folder_(std::move(folder)) {
    if (!is_folder(folder_)) {
        fail(VE_PATH_NOT_FOUND, folder_);
    }
}

bool FolderStore::alive() const {
    return is_folder(folder_);
}

void FolderStore::require_table_type(std::uint16_t type) const {
    if (type != VE_TABLE_TYPE_ADT) {
        fail(VE_NOT_SUPPORTED,
             "table type " + std::to_string(type) + " (only ADT tables, type 3, are served)");
    }
}

std::string FolderStore::path_of(const std::string& name) const {
    std::string spelled;
    for (char c : name) {
        spelled.push_back(c == '\\' ? '/' : c);
    }
    if (!spelled.empty() && spelled.front() == '/') {
        return normalize_path(spelled);
    }
    return normalize_path(folder_ + "/" + spelled);
}

std::optional<std::string> FolderStore::locate(const std::string& name) const {
    std::string path = path_of(name);
    if (!has_extension(path)) {
        std::string with_extension = find_file_any_case(path + std::string(kTableExtension));
        if (!with_extension.empty()) {
            return with_extension;
        }
    }
    std::string found = find_file_any_case(path);
    if (found.empty()) {
        return std::nullopt;
    }
    return found;
}

std::string FolderStore::location_for_new(const std::string& name) const {
    std::string path = path_of(name);
    if (!has_extension(path)) {
        path += kTableExtension;
    }
    return path;
}

std::string FolderStore::missing_name(const std::string& name) const {
    return location_for_new(name);
}

std::string FolderStore::without_default_extension(std::string_view name) const {
    if (name.size() > kTableExtension.size() &&
        to_upper_ascii(name.substr(name.size() - kTableExtension.size())) ==
            to_upper_ascii(kTableExtension)) {
        return std::string(name.substr(0, name.size() - kTableExtension.size()));
    }
    return std::string(name);
}

std::optional<FileIdentity> FolderStore::identity(const std::string& location) const {
    FileStatus status;
    if (env().stat_file(location, status) != 0) {
        return std::nullopt;
    }
    return status.identity;
}

std::vector<std::string> FolderStore::list(std::string_view mask) const {
    if (mask.empty()) {
        mask = kDefaultMask;
    }
    std::vector<std::string> entries;
    if (int error = env().list_folder(folder_, entries); error != 0) {
        fail_errno("list", folder_, error);
    }
    std::sort(entries.begin(), entries.end());
    std::vector<std::string> names;
    for (const std::string& name : entries) {
        const bool own_lock_file =
            name.size() > kLockSuffix.size() && name.ends_with(kLockSuffix) &&
            std::binary_search(entries.begin(), entries.end(),
                               name.substr(0, name.size() - kLockSuffix.size()));
        const bool work_file = name.front() == '.';
        if (own_lock_file || work_file || !matches_file_mask(name, mask)) {
            continue;
        }
        FileStatus status;
        if (env().stat_file(listed_location(name), status) == 0 && status.regular()) {
            names.push_back(name);
        }
    }
    return names;
}

std::string FolderStore::listed_location(const std::string& name) const {
    return (folder_ == "/" ? "" : folder_) + "/" + name;
}

std::shared_ptr<TableFile> FolderStore::open(const std::string& location) {
    return LmdbTableFile::open(location);
}

void FolderStore::create(const std::string& location, const TableSchema& schema,
                         const TableOptions& options) {
    if (LmdbTableFile::open_in_process(location)) {
        fail(VE_TABLE_IN_USE, location);
    }
    LmdbTableFile::release_kept(location);
    if (identity(location)) {
        FileLocks probe(location);
        if (!probe.sole_user()) {
            fail(VE_TABLE_IN_USE, location);
        }
    }
    const std::string staging = parent_directory(location) + "/" + std::string(kCreatingPrefix) +
                                std::to_string(current_process_id()) + "-" + file_name_of(location);
    remove_table_files(staging);
    try {
        LmdbTableFile::write_new(staging, schema, options);
    } catch (...) {
        remove_table_files(staging);
        throw;
    }
    try {
        put_in_place(staging, location, "create");
    } catch (...) {
        remove_table_files(staging);
        throw;
    }
}

SalvagedTable FolderStore::salvage(const std::string& location) {
    return salvage_lmdb_table_file(location);
}

void FolderStore::remove(const std::string& location) {
    release_unused(location);
    if (int error = remove_table_files(location)) {
        fail_errno("delete", location, error);
    }
}

void FolderStore::discard(const std::string& location) noexcept {
    try {
        release_unused(location);
    } catch (...) {
        // Nothing is kept open then; the files go all the same.
    }
    remove_table_files(location);
}

void FolderStore::replace(const std::string& from, const std::string& to) {
    put_in_place(from, to, "rename");
}

bool FolderStore::open_in_process(const std::string& location) const {
    return LmdbTableFile::open_in_process(location);
}

void FolderStore::release_unused(const std::string& location) {
    LmdbTableFile::release_kept(location);
}

std::unique_ptr<TableStore::ScratchTable> FolderStore::create_scratch(const TableSchema& schema,
                                                                      const TableOptions& options) {
    static std::atomic<std::uint64_t> counter{0};
    const std::string location = normalize_path(temporary_directory()) + "/varelum-result-" +
                                 std::to_string(current_process_id()) + "-" +
                                 std::to_string(++counter) + std::string(kTableExtension);
    LmdbTableFile::write_new(location, schema, options, /*durable=*/false);
    try {
        std::shared_ptr<TableFile> file = LmdbTableFile::open(location);
        // A result is private to this process and gone with it: never wait for the disk.
        file->set_durable(false);
        return std::make_unique<FolderScratch>(std::move(file), location);
    } catch (...) {
        remove_table_files(location);
        throw;
    }
}

std::string FolderStore::staging_location(const std::string& location) const {
    return parent_directory(location) + "/" + std::string(kStagingPrefix) + file_name_of(location);
}

std::shared_ptr<TableLocks> FolderStore::locks(const TableFile& file) {
    std::lock_guard guard(mutex_);
    auto& slot = locks_[file.path()];
    if (auto existing = slot.lock()) {
        return existing;
    }
    auto created = std::make_shared<FileLocks>(file.path());
    slot = created;
    return created;
}

}  // namespace varelum::engine
