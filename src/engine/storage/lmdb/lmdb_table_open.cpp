// Opening LMDB table files: writing a new file, validating a file before LMDB maps it, the
// process-wide registry that gives every open of one file the same LmdbTableFile (LMDB
// forbids opening one environment twice in a process) and keeps the files closed last open
// for their next open, and loading a file's header and fields (see lmdb_table_file.h).
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "engine/core/error.h"
#include "engine/env/env.h"
#include "engine/env/process_id.h"
#include "engine/storage/lmdb/lmdb_cursors.h"
#include "engine/storage/lmdb/lmdb_encoding.h"
#include "engine/storage/lmdb/lmdb_table_file.h"
#include "engine/storage/lmdb/page_check.h"
#include "engine/storage/lmdb/page_layout.h"
#include "engine/storage/lmdb/table_description.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

using namespace lmdb_encoding;
using page_layout::kLmdbDataVersion;
using page_layout::kLmdbMagic;

constexpr unsigned kMaxDatabases = 128;  // header, fields, indexes, records, memos, index tags
constexpr unsigned kMaxReaders = 1022;   // one per open table handle, across processes
// How often the page walk of a first open starts again because other processes' commits
// overwrote the header page of the snapshot it walks (each commit moves the snapshot on).
constexpr int kPageCheckAttempts = 8;

// Every commit waits for the disk: bulk work groups its writes in batches (WriteBatch) rather
// than running unsynced, which a power cut could turn into a damaged file. The header page is
// written unsynced and each commit then syncs the file (sync_committed): the same two waits
// as a synced header write, and a transaction's journalled writes may leave out the second,
// since their journal is on the disk before them and the transaction's commit syncs the file.
// Unsynced header writes cannot damage the file: LMDB writes the header only after the pages
// it points to are on the disk, so a power cut loses at most the last commits.
unsigned env_flags() {
    return MDB_NOSUBDIR | MDB_NOTLS | MDB_NOMETASYNC;
}

MDB_env* open_env(const std::string& path) {
    MDB_env* env = nullptr;
    check_mdb(mdb_env_create(&env), "prepare", path);
    mdb_env_set_maxdbs(env, kMaxDatabases);
    mdb_env_set_mapsize(env, table_size_limit());
    mdb_env_set_maxreaders(env, kMaxReaders);
    int rc = mdb_env_open(env, path.c_str(), env_flags(), 0664);
    if (rc != MDB_SUCCESS) {
        mdb_env_close(env);
        if (rc == ENOENT) {
            fail(VE_TABLE_NOT_FOUND, path);
        }
        if (rc == EACCES || rc == EROFS) {
            fail_errno("open", path, rc);
        }
        check_mdb(rc, "open", path);
    }
    // Reader slots of processes that died while reading would pin old pages for ever.
    int dead = 0;
    mdb_reader_check(env, &dead);
    return env;
}

// Refuses files that LMDB would misread: too short for its two meta pages, or without its
// magic number. LMDB itself would initialise an empty file as a new database.
void validate_file(const std::string& path, const FileStatus& info) {
    if (!info.regular()) {
        fail(VE_TABLE_CORRUPT, path + " is not a regular file");
    }
    if (info.size < 2 * 4096) {
        fail(VE_TABLE_CORRUPT, path + " is too short to be a table");
    }
    int fd = engine::env().open_file(path, O_RDONLY);
    if (fd < 0) {
        fail_errno("open", path, -fd);
    }
    // Both header pages: LMDB would take a damaged version word for a newer format.
    // (The page size is kept in the first header page, 40 bytes in.)
    std::uint32_t words[2][2] = {};
    std::uint32_t page_size = 0;
    for (off_t page = 0; page < 2; ++page) {
        std::uint8_t head[44] = {};
        if (engine::env().read_at(fd, head, sizeof head, page * page_size) ==
            static_cast<ssize_t>(sizeof head)) {
            std::memcpy(words[page], head + 16, sizeof words[page]);
            if (page == 0) {
                std::memcpy(&page_size, head + 40, sizeof page_size);
            }
        }
        if (page_size < 512 || page_size > 65536) {
            break;  // the page walk names this fault; the second page is not where it says
        }
    }
    engine::env().close_file(fd);
    if (words[0][0] != kLmdbMagic) {
        fail(VE_TABLE_CORRUPT, path + " is not a table file");
    }
    if (words[1][0] != kLmdbMagic || words[0][1] != kLmdbDataVersion ||
        words[1][1] != kLmdbDataVersion) {
        fail(VE_TABLE_CORRUPT, path + " has a damaged header page");
    }
}

// How many files the process keeps open after their last handle closed. Opening an
// environment costs far more than a statement on it, and SQL statements, the components'
// tables and varelum-store open and close the same few tables over and over.
constexpr std::size_t kKeptFiles = 8;

// The process-wide registry of open table files, keyed by device and inode.
struct Registry {
    std::mutex mutex;
    std::map<std::pair<dev_t, ino_t>, std::weak_ptr<LmdbTableFile>> files;
    // The files opened last, most recent first, held so that the next open finds them. A
    // kept file holds its data file open, so its inode cannot pass to another file.
    std::vector<std::shared_ptr<LmdbTableFile>> kept;
    pid_t pid = 0;

    // Keeps `file` as the most recent; answers the file no longer kept, to be released
    // outside the lock.
    std::shared_ptr<LmdbTableFile> keep(const std::shared_ptr<LmdbTableFile>& file) {
        std::erase(kept, file);
        kept.insert(kept.begin(), file);
        std::shared_ptr<LmdbTableFile> dropped;
        if (kept.size() > kKeptFiles) {
            dropped = std::move(kept.back());
            kept.pop_back();
        }
        return dropped;
    }

    // Stops keeping the files at `path` that no handle uses (a file replaced, deleted or about
    // to be created there): they are answered, to be released outside the lock. The old file
    // shares its "-lock" file with a new one at the path, and closing the old environment
    // later would drop the process's locks on it under the new one.
    std::vector<std::shared_ptr<LmdbTableFile>> release_kept(const std::string& path) {
        std::vector<std::shared_ptr<LmdbTableFile>> released;
        std::erase_if(kept, [&](std::shared_ptr<LmdbTableFile>& file) {
            if (file->path() != path || file.use_count() > 1) {
                return false;
            }
            released.push_back(std::move(file));
            return true;
        });
        return released;
    }

    // Whether a handle (not only this registry) holds the file.
    bool in_use(const std::pair<dev_t, ino_t>& key) const {
        auto found = files.find(key);
        if (found == files.end()) {
            return false;
        }
        auto file = found->second.lock();
        if (!file) {
            return false;
        }
        bool held_here = std::find(kept.begin(), kept.end(), file) != kept.end();
        return file.use_count() > (held_here ? 2 : 1);
    }

    // After fork the child must not touch the parent's environments: forget them (they are
    // never closed in the child, which LMDB requires).
    void forget_after_fork() {
        if (pid != current_process_id()) {
            for (auto& entry : files) {
                if (auto file = entry.second.lock()) {
                    new std::shared_ptr<TableFile>(file);  // keeps it from being closed here
                }
            }
            files.clear();
            for (auto& file : kept) {
                new std::shared_ptr<LmdbTableFile>(std::move(file));
            }
            kept.clear();
            pid = current_process_id();
        }
    }
};

Registry& registry() {
    static Registry* instance = new Registry;  // lives to the process end, used at exit
    return *instance;
}

}  // namespace

void LmdbTableFile::write_new(const std::string& path, const TableSchema& schema,
                              const TableOptions& options, bool durable) {
    MDB_env* env = open_env(path);
    try {
        WriteTransaction txn(env, path, nullptr, /*synced=*/false);  // flushed below
        MDB_dbi meta, fields, indexes, records, memos;
        check_mdb(mdb_dbi_open(txn.get(), "header", MDB_CREATE, &meta), "create", path);
        check_mdb(mdb_dbi_open(txn.get(), "fields", MDB_CREATE, &fields), "create", path);
        check_mdb(mdb_dbi_open(txn.get(), "indexes", MDB_CREATE, &indexes), "create", path);
        check_mdb(mdb_dbi_open(txn.get(), "records", MDB_CREATE, &records), "create", path);
        check_mdb(mdb_dbi_open(txn.get(), "memos", MDB_CREATE, &memos), "create", path);
        put_value(txn.get(), meta, text_val(kHeaderKey), encode_header(schema, options), path);
        put_value(txn.get(), meta, text_val(kCountersKey), encode_counters(TableCounters{}), path);
        for (const auto& field : schema.fields()) {
            std::uint8_t key[2] = {static_cast<std::uint8_t>(field.number >> 8),
                                   static_cast<std::uint8_t>(field.number)};
            put_value(txn.get(), fields, MDB_val{2, key}, encode_field(field), path);
        }
        txn.commit();
        if (durable) {
            check_mdb(mdb_env_sync(env, 1), "flush", path);
        }
    } catch (...) {
        mdb_env_close(env);
        throw;
    }
    mdb_env_close(env);
}

std::shared_ptr<TableFile> LmdbTableFile::open(const std::string& path) {
    FileStatus info;
    if (int error = engine::env().stat_file(path, info); error != 0) {
        if (error == ENOENT || error == ENOTDIR) {
            fail(VE_TABLE_NOT_FOUND, path);
        }
        fail_errno("open", path, error);
    }
    Registry& reg = registry();
    std::shared_ptr<LmdbTableFile> no_longer_kept;
    std::vector<std::shared_ptr<LmdbTableFile>> replaced;
    std::lock_guard guard(reg.mutex);
    reg.forget_after_fork();
    auto key = std::make_pair(info.identity.device, info.identity.inode);
    if (auto found = reg.files[key].lock()) {
        bool only_kept = found.use_count() == 2 &&
                         std::find(reg.kept.begin(), reg.kept.end(), found) != reg.kept.end();
        // A kept file renamed since answers to another path (its "-lock" file stays behind).
        if (!only_kept || (found->path() == path && found->reusable())) {
            no_longer_kept = reg.keep(found);
            return found;
        }
        // Kept only here, and renamed, refused by the storage library after a failed write or
        // opened under another size limit: the next open is a fresh one, which is what the
        // error told the caller to do.
        std::erase(reg.kept, found);
        replaced.push_back(std::move(found));
    }
    replaced = reg.release_kept(path);
    replaced.clear();  // closed before a new environment opens the same "-lock" file
    validate_file(path, info);
    MDB_env* env = open_env(path);
    std::shared_ptr<LmdbTableFile> file(new LmdbTableFile(path, info.identity, env));
    file->check_pages();
    file->load();
    if (OpenHook hook = open_hook()) {
        hook(*file);
    }
    reg.files[key] = file;
    no_longer_kept = reg.keep(file);
    return file;
}

void LmdbTableFile::release_kept(const std::string& path) {
    Registry& reg = registry();
    std::vector<std::shared_ptr<LmdbTableFile>> released;
    std::lock_guard guard(reg.mutex);
    reg.forget_after_fork();
    released = reg.release_kept(path);
}

bool LmdbTableFile::reusable() const {
    MDB_envinfo info;
    mdb_env_info(env_, &info);
    if (info.me_mapsize != table_size_limit()) {
        return false;
    }
    MDB_txn* txn = nullptr;
    if (mdb_txn_begin(env_, nullptr, MDB_RDONLY, &txn) != MDB_SUCCESS) {
        return false;
    }
    mdb_txn_abort(txn);
    return true;
}

bool LmdbTableFile::open_in_process(const std::string& path) {
    FileStatus info;
    if (engine::env().stat_file(path, info) != 0) {
        return false;
    }
    Registry& reg = registry();
    std::lock_guard guard(reg.mutex);
    reg.forget_after_fork();
    return reg.in_use(std::make_pair(info.identity.device, info.identity.inode));
}

LmdbTableFile::LmdbTableFile(std::string path, FileIdentity identity, MDB_env* env)
    : TableFile(std::move(path), identity), env_(env) {}

LmdbTableFile::~LmdbTableFile() {
    if (batch_ != nullptr) {
        mdb_txn_abort(batch_);  // only when a batch's owner ended without ending it
    }
    if (env_ != nullptr) {
        mdb_env_close(env_);
    }
}

void LmdbTableFile::check_pages() {
    // The read transaction pins its snapshot, so no commit of another process reuses the
    // pages while they are walked.
    ReadTransaction txn;
    for (int attempt = 0; attempt < kPageCheckAttempts; ++attempt) {
        txn.begin(env_, path_);
        if (check_page_structure(path_, mdb_txn_id(txn.get())) == PageCheck::sound) {
            return;
        }
        txn.end();
    }
    fail(VE_FILE_ERROR, path_ + " changes too fast to be checked; open it again");
}

void LmdbTableFile::load() {
    // LMDB maps pages up to its last page number; a file cut short would fault on access.
    MDB_envinfo info;
    MDB_stat stat;
    mdb_env_info(env_, &info);
    mdb_env_stat(env_, &stat);
    FileStatus file_info;
    if (engine::env().stat_file(path_, file_info) != 0 ||
        static_cast<std::uint64_t>(info.me_last_pgno + 1) * stat.ms_psize >
            static_cast<std::uint64_t>(file_info.size)) {
        fail(VE_TABLE_CORRUPT, path_ + " is truncated");
    }
    ReadTransaction txn;
    txn.begin(env_, path_);
    auto open_db = [&](const char* name, MDB_dbi& dbi) {
        int rc = mdb_dbi_open(txn.get(), name, 0, &dbi);
        if (rc == MDB_NOTFOUND || rc == MDB_INCOMPATIBLE) {
            fail(VE_TABLE_CORRUPT, path_ + " is not a table file (no " + name + ")");
        }
        check_mdb(rc, "open", path_);
    };
    open_db("header", meta_);
    open_db("fields", fields_);
    open_db("indexes", indexes_);
    open_db("records", records_);
    open_db("memos", memos_);

    MDB_val key = text_val(kHeaderKey);
    MDB_val value;
    int rc = mdb_get(txn.get(), meta_, &key, &value);
    if (rc == MDB_NOTFOUND) {
        fail(VE_TABLE_CORRUPT, path_ + " has no table header");
    }
    check_mdb(rc, "read", path_);
    const std::string_view header = view_of(value);
    std::vector<std::string_view> field_values;
    Cursor cursor(txn.get(), fields_, path_);
    MDB_val fkey, fvalue;
    for (bool more = cursor.move(MDB_FIRST, &fkey, &fvalue); more;
         more = cursor.move(MDB_NEXT, &fkey, &fvalue)) {
        field_values.push_back(view_of(fvalue));
    }
    TableDescription description = decode_table_description(path_, header, field_values);
    format_version_ = description.format_version;
    options_ = std::move(description.options);
    schema_ = std::move(description.schema);
    content_version_ = format_version_for(schema_);
    txn.commit(path_);
}

}  // namespace varelum::engine
