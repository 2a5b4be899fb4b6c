// Table files in LMDB: creation, validation on open, the process-wide environment registry,
// snapshots, records, memo values and key trees, and the whole-table operations pack, zap and
// check (see lmdb_table_file.h and docs/table-format.md).
#include "engine/storage/lmdb/lmdb_table_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <span>
#include <thread>
#include <utility>

#include "engine/core/error.h"
#include "engine/core/progress.h"
#include "engine/env/env.h"
#include "engine/env/process_id.h"
#include "engine/format/checksum.h"
#include "engine/record/record_image.h"
#include "engine/storage/file_locks.h"
#include "engine/storage/lmdb/page_check.h"
#include "engine/storage/lmdb/table_description.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

constexpr unsigned kMaxDatabases = 128;  // header, fields, indexes, records, memos, index tags
constexpr unsigned kMaxReaders = 1022;   // one per open table handle, across processes
constexpr char kHeaderMagic[8] = {'V', 'R', 'L', 'M', 'T', 'A', 'B', 'L'};
constexpr std::uint32_t kLmdbMagic = 0xBEEFC0DE;
constexpr std::uint32_t kLmdbDataVersion = 1;
constexpr char kHeaderKey[] = "header";
constexpr char kCountersKey[] = "counters";
constexpr std::size_t kRecordChecksumSize = 4;
// How often the page walk of a first open starts again because other processes' commits
// overwrote the header page of the snapshot it walks (each commit moves the snapshot on).
constexpr int kPageCheckAttempts = 8;

std::uint32_t checksum(const void* bytes, std::size_t size) {
    return crc32_of(bytes, size);
}

// The stored record without its checksum, after verifying it. Records written before
// checksums existed (status byte and image only) are answered as they are.
std::string_view verified_record(std::string_view stored, std::uint32_t length, std::uint32_t recno,
                                 const std::string& path) {
    if (stored.size() == length + 1) {
        return stored;
    }
    if (stored.size() != length + 1 + kRecordChecksumSize) {
        fail(VE_TABLE_CORRUPT, path + ": record " + std::to_string(recno) + " has " +
                                   std::to_string(stored.size()) + " bytes instead of " +
                                   std::to_string(length + 1 + kRecordChecksumSize));
    }
    auto expected =
        load_le<std::uint32_t>(reinterpret_cast<const std::uint8_t*>(stored.data()) + length + 1);
    if (checksum(stored.data(), length + 1) != expected) {
        fail(VE_TABLE_CORRUPT,
             path + ": record " + std::to_string(recno) + " does not match its checksum");
    }
    return stored.substr(0, length + 1);
}

// The stored records in `stored` that verify, in order, stopping at the first that does not
// (as verified_record, without throwing). The checksums are computed in a loop of their own,
// so the processor overlaps the records' independent computations.
std::size_t verified_prefix(std::span<std::string_view> stored, std::uint32_t length) {
    std::array<std::uint32_t, 16> sums{};
    std::size_t done = 0;
    while (done < stored.size()) {
        const std::size_t batch = std::min(sums.size(), stored.size() - done);
        for (std::size_t i = 0; i < batch; ++i) {
            const std::string_view record = stored[done + i];
            sums[i] = record.size() == length + 1 + kRecordChecksumSize
                          ? checksum(record.data(), length + 1)
                          : 0;
        }
        for (std::size_t i = 0; i < batch; ++i) {
            std::string_view& record = stored[done + i];
            if (record.size() == length + 1) {
                continue;  // written before checksums
            }
            if (record.size() != length + 1 + kRecordChecksumSize ||
                sums[i] != load_le<std::uint32_t>(
                               reinterpret_cast<const std::uint8_t*>(record.data()) + length + 1)) {
                return done + i;
            }
            record = record.substr(0, length + 1);
        }
        done += batch;
    }
    return done;
}

// A record's stored bytes (status byte and image) followed by their checksum.
std::string with_checksum(std::string_view record) {
    std::string stored(record);
    std::uint32_t sum = checksum(record.data(), record.size());
    stored.append(reinterpret_cast<const char*>(&sum), sizeof sum);
    return stored;
}

MDB_val text_val(const char* text) {
    return MDB_val{std::strlen(text), const_cast<char*>(text)};
}

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
void validate_file(const std::string& path, const struct stat& info) {
    if (!S_ISREG(info.st_mode)) {
        fail(VE_TABLE_CORRUPT, path + " is not a regular file");
    }
    if (info.st_size < 2 * 4096) {
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

std::string encode_header(const TableSchema& schema, const TableOptions& options) {
    std::string value(kHeaderMagic, sizeof kHeaderMagic);
    auto append = [&value](auto number) {
        value.append(reinterpret_cast<const char*>(&number), sizeof number);
    };
    append(format_version_for(schema));
    append(options.char_type);
    append(options.memo_block_size);
    append(schema.record_length());
    append(schema.field_count());
    append(static_cast<std::uint16_t>(options.collation.size()));
    value += options.collation;
    return value;
}

std::string encode_field(const FieldDescriptor& field) {
    std::string value;
    auto append = [&value](auto number) {
        value.append(reinterpret_cast<const char*>(&number), sizeof number);
    };
    append(static_cast<std::uint16_t>(field.type));
    append(field.length);
    append(field.decimals);
    append(std::uint16_t{0});  // flags, reserved
    append(static_cast<std::uint16_t>(field.name.size()));
    value += field.name;
    return value;
}

std::string encode_counters(const TableCounters& counters) {
    std::string value;
    auto append = [&value](auto number) {
        value.append(reinterpret_cast<const char*>(&number), sizeof number);
    };
    append(counters.next_record);
    append(counters.next_autoinc);
    append(counters.next_rowversion);
    append(counters.deleted_records);
    append(std::uint32_t{0});
    return value;
}

void put_value(MDB_txn* txn, MDB_dbi dbi, MDB_val key, std::string_view bytes,
               const std::string& path) {
    MDB_val value{bytes.size(), const_cast<char*>(bytes.data())};
    check_mdb(mdb_put(txn, dbi, &key, &value, 0), "write", path);
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

// A handle's read transaction (see ReadSnapshot).
class LmdbRead final : public LmdbSnapshot {
  public:
    LmdbRead(MDB_env* env, const std::string& path, const std::atomic<std::uint64_t>& trees)
        : env_(env), path_(path), trees_(trees) {}
    MDB_txn* txn() const override { return txn_.get(); }
    void begin() override { txn_.begin(env_, path_, trees_.load(std::memory_order_acquire)); }
    void end() override { txn_.end(); }
    void close() override { txn_.close(); }
    void commit() override { txn_.commit(path_); }
    bool active() const override { return txn_.active(); }
    std::uint64_t renewals() const override { return txn_.renewals(); }

  private:
    MDB_env* env_;
    const std::string& path_;
    const std::atomic<std::uint64_t>& trees_;
    ReadTransaction txn_;
};

// The write transaction of a WriteContext (nested in a batch's when one is open).
class LmdbWrite final : public LmdbSnapshot {
  public:
    LmdbWrite(MDB_env* env, const std::string& path, MDB_txn* batch, bool synced)
        : txn_(env, path, batch, synced), in_batch_(batch != nullptr) {}
    bool in_batch() const { return in_batch_; }
    MDB_txn* txn() const override { return txn_.get(); }
    void begin() override {}
    void end() override {}
    void close() override {}
    void commit() override { txn_.commit(); }
    bool active() const override { return txn_.get() != nullptr; }

  private:
    WriteTransaction txn_;
    bool in_batch_;
};

MDB_val bytes_val(std::string_view bytes) {
    return MDB_val{bytes.size(), const_cast<char*>(bytes.data())};
}

std::string_view view_of(const MDB_val& value) {
    return std::string_view(static_cast<const char*>(value.mv_data), value.mv_size);
}

// A cursor over one sub-database, kept across snapshots (renewed rather than reopened).
class LmdbKeyCursor final : public KeyCursor {
  public:
    LmdbKeyCursor(const Snapshot& snapshot, MDB_dbi dbi, const std::string& path,
                  const char* operation)
        : dbi_(dbi), path_(path), operation_(operation) {
        rebind(snapshot);
    }
    ~LmdbKeyCursor() override {
        if (cursor_ != nullptr) {
            mdb_cursor_close(cursor_);
        }
    }
    bool first() override { return move(MDB_FIRST); }
    bool last() override { return move(MDB_LAST); }
    bool seek(std::string_view key) override {
        key_ = bytes_val(key);
        return move(MDB_SET_RANGE);
    }
    bool next() override { return move(MDB_NEXT); }
    bool prev() override { return move(MDB_PREV); }
    std::string_view key() const override { return view_of(key_); }
    std::string_view value() const override { return view_of(value_); }
    void rebind(const Snapshot& snapshot) override {
        // A read-only cursor outlives its transaction and is renewed for the next one, which
        // spares an allocation per engine call. (A write transaction's cursor must not outlive
        // its transaction: LMDB frees it at the transaction's end.)
        MDB_txn* txn = txn_of(snapshot);
        std::uint64_t id = mdb_txn_id(txn);
        std::uint64_t renewals =
            static_cast<const LmdbSnapshot&>(snapshot.transaction()).renewals();
        if (cursor_ == nullptr) {
            check_mdb(mdb_cursor_open(txn, dbi_, &cursor_), operation_, path_);
            positioned_ = false;
        } else if (txn != txn_ || id != txnid_ || renewals != renewals_) {
            check_mdb(mdb_cursor_renew(txn, cursor_), operation_, path_);
            positioned_ = false;
        }
        txn_ = txn;
        txnid_ = id;
        renewals_ = renewals;
    }
    // Whether the last move found an entry in the snapshot the cursor is still bound to.
    bool positioned() const { return positioned_; }

  private:
    bool move(MDB_cursor_op op) {
        positioned_ = false;
        int rc = mdb_cursor_get(cursor_, &key_, &value_, op);
        if (rc == MDB_NOTFOUND) {
            return false;
        }
        check_mdb(rc, operation_, path_);
        positioned_ = true;
        return true;
    }

    MDB_dbi dbi_;
    const std::string& path_;
    const char* operation_;
    MDB_cursor* cursor_ = nullptr;
    MDB_txn* txn_ = nullptr;
    std::uint64_t txnid_ = 0;
    std::uint64_t renewals_ = 0;
    bool positioned_ = false;
    MDB_val key_{};
    MDB_val value_{};
};

// Record-number order over the records sub-database.
class LmdbRecordCursor final : public RecordCursor {
  public:
    LmdbRecordCursor(const Snapshot& snapshot, MDB_dbi dbi, const std::string& path,
                     std::uint32_t length)
        : cursor_(snapshot, dbi, path, "read"), path_(path), length_(length) {}
    StoredRecord first() override { return found(cursor_.first()); }
    StoredRecord last() override { return found(cursor_.last()); }
    StoredRecord at_or_after(std::uint32_t recno) override {
        RecordKey key(recno);
        return found(cursor_.seek(std::string_view(reinterpret_cast<const char*>(key.bytes), 4)));
    }
    StoredRecord next() override { return found(cursor_.next()); }
    StoredRecord prev() override { return found(cursor_.prev()); }
    void rebind(const Snapshot& snapshot) override { cursor_.rebind(snapshot); }
    std::uint32_t position() const override {
        if (!cursor_.positioned()) {
            return 0;
        }
        std::string_view key = cursor_.key();
        MDB_val k{key.size(), const_cast<char*>(key.data())};
        return decode_record_key(k);
    }
    std::size_t read_ahead(std::size_t count,
                           const std::function<void(const StoredRecord&)>& take) override {
        ahead_recnos_.clear();
        ahead_bytes_.clear();
        while (ahead_recnos_.size() < count && cursor_.next()) {
            ahead_recnos_.push_back(position());
            ahead_bytes_.push_back(cursor_.value());
        }
        std::size_t good = verified_prefix(ahead_bytes_, length_);
        for (std::size_t i = 0; i < good; ++i) {
            take(StoredRecord{ahead_recnos_[i], ahead_bytes_[i]});
        }
        return good;
    }

  private:
    StoredRecord found(bool any) {
        if (!any) {
            return {};
        }
        std::string_view key = cursor_.key();
        MDB_val k{key.size(), const_cast<char*>(key.data())};
        std::uint32_t recno = decode_record_key(k);
        return StoredRecord{recno, verified_record(cursor_.value(), length_, recno, path_)};
    }

    LmdbKeyCursor cursor_;
    const std::string& path_;
    std::uint32_t length_;
    // What read_ahead gathered, kept to spare an allocation per call.
    std::vector<std::uint32_t> ahead_recnos_;
    std::vector<std::string_view> ahead_bytes_;
};

}  // namespace

std::unique_ptr<Snapshot> LmdbTableFile::begin_write(bool journalled) {
    return std::make_unique<LmdbWrite>(env_, path_, in_batch() ? batch_ : nullptr, !journalled);
}

bool LmdbTableFile::in_batch() const {
    return batch_thread_.load(std::memory_order_acquire) == std::this_thread::get_id();
}

void LmdbTableFile::begin_batch(std::size_t writes_per_commit, UndoLog* journal) {
    if (in_batch()) {
        ++batch_depth_;  // the outer batch's journal stays the one synced
        return;
    }
    // Waits, like any writer, for another thread's or process's write to end.
    MDB_txn* txn = nullptr;
    check_mdb(mdb_txn_begin(env_, nullptr, 0, &txn), "begin writing", path_);
    batch_ = txn;
    batch_journal_ = journal;
    batch_depth_ = 1;
    batch_writes_ = 0;
    batch_limit_ = std::max<std::size_t>(writes_per_commit, 1);
    batch_thread_.store(std::this_thread::get_id(), std::memory_order_release);
}

void LmdbTableFile::end_batch() {
    if (!in_batch() || --batch_depth_ > 0) {
        return;
    }
    MDB_txn* txn = batch_;
    batch_ = nullptr;
    batch_thread_.store(std::thread::id(), std::memory_order_release);
    UndoLog* journal = std::exchange(batch_journal_, nullptr);
    if (txn == nullptr) {
        return;  // a full batch's commit failed and said so; nothing was begun after it
    }
    if (batch_writes_ == 0) {
        // Nothing written since the last full batch, which is on the disk already: committing
        // the empty transaction would only wait for the disk once more.
        mdb_txn_abort(txn);
        return;
    }
    commit_batch(txn, journal);
}

bool LmdbTableFile::batch_journals(const UndoLog& undo) const {
    return in_batch() && batch_ != nullptr && batch_journal_ == &undo;
}

void LmdbTableFile::commit_batch(MDB_txn* txn, UndoLog* journal) {
    if (journal != nullptr) {
        // The before-images of the batch's writes reach the disk before the writes do.
        try {
            journal->make_durable();
        } catch (...) {
            mdb_txn_abort(txn);
            throw;
        }
    }
    check_mdb(mdb_txn_commit(txn), "commit to", path_);  // frees txn also when it fails
    ParkedRead::end_parked(env_);
    sync_committed(env_, path_);
}

void LmdbTableFile::raise_format_version(Snapshot& transaction, std::uint32_t version) {
    MDB_txn* txn = txn_of(transaction);
    MDB_val key = text_val(kHeaderKey);
    MDB_val value;
    check_mdb(mdb_get(txn, meta_, &key, &value), "read", path_);
    std::string header(static_cast<const char*>(value.mv_data), value.mv_size);
    if (header.size() < 12 || load_le<std::uint32_t>(reinterpret_cast<const std::uint8_t*>(
                                  header.data() + 8)) >= version) {
        return;
    }
    std::memcpy(header.data() + 8, &version, sizeof version);
    put_value(txn, meta_, text_val(kHeaderKey), header, path_);
}

void LmdbTableFile::write_record(Snapshot& transaction, std::uint32_t recno, std::uint8_t status,
                                 const std::uint8_t* image) {
    const std::uint32_t length = schema_.record_length();
    RecordKey key(recno);
    MDB_val k = key.val();
    if (format_version_ < content_version_) {
        // The file now holds checksummed records, which an older engine would misread, and a
        // CompactDate field written before such files were marked gets its mark too.
        raise_format_version(transaction, content_version_);
    }
    MDB_val value{length + 1 + kRecordChecksumSize, nullptr};
    check_mdb(mdb_put(txn_of(transaction), records_, &k, &value, MDB_RESERVE), "write", path_);
    auto* target = static_cast<std::uint8_t*>(value.mv_data);
    target[0] = status;
    std::memcpy(target + 1, image, length);
    std::uint32_t sum = checksum(target, length + 1);
    std::memcpy(target + 1 + length, &sum, sizeof sum);
}

void LmdbTableFile::erase_record(Snapshot& transaction, std::uint32_t recno) {
    RecordKey key(recno);
    MDB_val k = key.val();
    int rc = mdb_del(txn_of(transaction), records_, &k, nullptr);
    if (rc != MDB_NOTFOUND) {
        check_mdb(rc, "write", path_);
    }
    for (const auto& field : schema_.fields()) {
        if (is_memo_type(field.type)) {
            erase_memo(transaction, recno, field.number);
        }
    }
}

void LmdbTableFile::write_memo(Snapshot& transaction, std::uint32_t recno, std::uint16_t field,
                               std::string_view bytes) {
    MemoKey key(recno, field);
    put_value(txn_of(transaction), memos_, key.val(), bytes, path_);
}

void LmdbTableFile::erase_memo(Snapshot& transaction, std::uint32_t recno, std::uint16_t field) {
    MemoKey key(recno, field);
    MDB_val k = key.val();
    int rc = mdb_del(txn_of(transaction), memos_, &k, nullptr);
    if (rc != MDB_NOTFOUND) {
        check_mdb(rc, "write", path_);
    }
}

void LmdbTableFile::commit_write(Snapshot& transaction, const TableCounters& counters) {
    put_value(txn_of(transaction), meta_, text_val(kCountersKey), encode_counters(counters), path_);
    auto& write = static_cast<LmdbWrite&>(transaction);
    write.commit();
    if (write.in_batch() && ++batch_writes_ >= batch_limit_) {
        // The batch is full: it goes to the disk and the next one begins.
        MDB_txn* txn = batch_;
        batch_ = nullptr;
        commit_batch(txn, batch_journal_);
        batch_writes_ = 0;
        check_mdb(mdb_txn_begin(env_, nullptr, 0, &txn), "begin writing", path_);
        batch_ = txn;
    }
}

std::unique_ptr<ReadSnapshot> LmdbTableFile::read_snapshot() const {
    return std::make_unique<LmdbRead>(env_, path_, trees_opened_);
}

std::optional<std::string_view> LmdbTableFile::record(const Snapshot& snapshot,
                                                      std::uint32_t recno) const {
    RecordKey key(recno);
    MDB_val k = key.val();
    MDB_val value;
    int rc = mdb_get(txn_of(snapshot), records_, &k, &value);
    if (rc == MDB_NOTFOUND) {
        return std::nullopt;
    }
    check_mdb(rc, "read", path_);
    return verified_record(view_of(value), schema_.record_length(), recno, path_);
}

std::unique_ptr<RecordCursor> LmdbTableFile::record_cursor(const Snapshot& snapshot) const {
    return std::make_unique<LmdbRecordCursor>(snapshot, records_, path_, schema_.record_length());
}

std::uint64_t LmdbTableFile::stored_records(const Snapshot& snapshot) const {
    return entries(snapshot, records_);
}

std::optional<std::string_view> LmdbTableFile::memo(const Snapshot& snapshot, std::uint32_t recno,
                                                    std::uint16_t field) const {
    MemoKey key(recno, field);
    MDB_val k = key.val();
    MDB_val value;
    int rc = mdb_get(txn_of(snapshot), memos_, &k, &value);
    if (rc == MDB_NOTFOUND) {
        return std::nullopt;
    }
    check_mdb(rc, "read", path_);
    // The record's marker carries the value's CRC-32: a value that does not match is damage.
    const FieldDescriptor* descriptor = schema_.by_number(field);
    std::optional<std::string_view> stored = record(snapshot, recno);
    if (descriptor == nullptr || !stored ||
        load_le<std::uint32_t>(reinterpret_cast<const std::uint8_t*>(stored->data()) + 1 +
                               descriptor->offset + 4) != checksum(value.mv_data, value.mv_size)) {
        fail(VE_TABLE_CORRUPT, path_ + ": record " + std::to_string(recno) + " field " +
                                   (descriptor ? descriptor->name : std::to_string(field)) +
                                   ": the value does not match its checksum");
    }
    return view_of(value);
}

const char* LmdbTableFile::reading(TreeId tree) const {
    return tree == records_ || tree == memos_ || tree == meta_ || tree == indexes_ ? "read"
                                                                                   : "read index";
}

const char* LmdbTableFile::writing(TreeId tree) const {
    return tree == records_ || tree == memos_ || tree == meta_ || tree == indexes_ ? "write"
                                                                                   : "write index";
}

std::optional<TreeId> LmdbTableFile::open_tree(const Snapshot& snapshot, const std::string& name,
                                               bool create) {
    MDB_dbi dbi = 0;
    int rc = mdb_dbi_open(txn_of(snapshot), name.c_str(), create ? MDB_CREATE : 0, &dbi);
    // A parked read transaction knows only the trees open when it began.
    trees_opened_.fetch_add(1, std::memory_order_release);
    if (rc == MDB_NOTFOUND && !create) {
        return std::nullopt;
    }
    if (rc == MDB_DBS_FULL) {
        fail(VE_TOO_MANY_INDEXES, path_);
    }
    check_mdb(rc, create ? "create index" : "open index", path_);
    return dbi;
}

void LmdbTableFile::drop_tree(TreeId tree) noexcept {
    MDB_txn* txn = nullptr;
    if (mdb_txn_begin(env_, nullptr, 0, &txn) == MDB_SUCCESS) {
        trees_opened_.fetch_add(1, std::memory_order_release);
        if (mdb_drop(txn, tree, 1) == MDB_SUCCESS) {
            if (mdb_txn_commit(txn) == MDB_SUCCESS) {
                static_cast<void>(mdb_env_sync(env_, 0));  // best effort, as the drop itself
            }
        } else {
            mdb_txn_abort(txn);
        }
    }
}

std::optional<std::string_view> LmdbTableFile::get(const Snapshot& snapshot, TreeId tree,
                                                   std::string_view key) const {
    MDB_val k = bytes_val(key);
    MDB_val value;
    int rc = mdb_get(txn_of(snapshot), tree, &k, &value);
    if (rc == MDB_NOTFOUND) {
        return std::nullopt;
    }
    check_mdb(rc, reading(tree), path_);
    return view_of(value);
}

std::unique_ptr<KeyCursor> LmdbTableFile::cursor(const Snapshot& snapshot, TreeId tree) const {
    return std::make_unique<LmdbKeyCursor>(snapshot, tree, path_, reading(tree));
}

std::uint64_t LmdbTableFile::entries(const Snapshot& snapshot, TreeId tree) const {
    MDB_stat stat;
    check_mdb(mdb_stat(txn_of(snapshot), tree, &stat), reading(tree), path_);
    return stat.ms_entries;
}

void LmdbTableFile::put(WriteContext& write, TreeId tree, std::string_view key,
                        std::string_view value, bool append) {
    MDB_val k = bytes_val(key);
    MDB_val v = bytes_val(value);
    check_mdb(mdb_put(txn_of(write), tree, &k, &v, append ? MDB_APPEND : 0), writing(tree), path_);
}

bool LmdbTableFile::remove(WriteContext& write, TreeId tree, std::string_view key) {
    MDB_val k = bytes_val(key);
    int rc = mdb_del(txn_of(write), tree, &k, nullptr);
    if (rc == MDB_NOTFOUND) {
        return false;
    }
    check_mdb(rc, writing(tree), path_);
    return true;
}

void LmdbTableFile::clear(WriteContext& write, TreeId tree) {
    check_mdb(mdb_drop(txn_of(write), tree, 0), writing(tree), path_);
}

void LmdbTableFile::create(const std::string& path, const TableSchema& schema,
                           const TableOptions& options) {
    if (open_in_process(path)) {
        fail(VE_TABLE_IN_USE, path);
    }
    release_kept(path);
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        FileLocks probe(path);
        if (!probe.sole_user()) {
            fail(VE_TABLE_IN_USE, path);
        }
    }
    std::size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string staging = directory + "/.creating-" + std::to_string(current_process_id()) + "-" +
                          path.substr(slash + 1);
    ::unlink(staging.c_str());
    ::unlink((staging + "-lock").c_str());
    MDB_env* env = open_env(staging);
    try {
        WriteTransaction txn(env, staging, nullptr, /*synced=*/false);  // flushed below
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
        check_mdb(mdb_env_sync(env, 1), "flush", path);
    } catch (...) {
        mdb_env_close(env);
        ::unlink(staging.c_str());
        ::unlink((staging + "-lock").c_str());
        throw;
    }
    mdb_env_close(env);
    // The new file gets a "-lock" file of its own before it takes the path: a process that
    // still has the old file open (a handle, or a file kept for its next open) goes on with
    // the old lock file, and the two files never share LMDB's lock state.
    if (::rename((staging + "-lock").c_str(), (path + "-lock").c_str()) != 0) {
        ::unlink((staging + "-lock").c_str());
    }
    if (::rename(staging.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(staging.c_str());
        fail_errno("create", path, error);
    }
    // The file was synced before the rename; the folder must be after it, or a power cut
    // could leave the old table, or none, in its place.
    if (int error = sync_directory(directory)) {
        fail_errno("create", path, error);
    }
}

std::shared_ptr<TableFile> LmdbTableFile::open(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            fail(VE_TABLE_NOT_FOUND, path);
        }
        fail_errno("open", path, errno);
    }
    Registry& reg = registry();
    std::shared_ptr<LmdbTableFile> no_longer_kept;
    std::vector<std::shared_ptr<LmdbTableFile>> replaced;
    std::lock_guard guard(reg.mutex);
    reg.forget_after_fork();
    auto key = std::make_pair(info.st_dev, info.st_ino);
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
    std::shared_ptr<LmdbTableFile> file(
        new LmdbTableFile(path, FileIdentity{info.st_dev, info.st_ino}, env));
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
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    Registry& reg = registry();
    std::lock_guard guard(reg.mutex);
    reg.forget_after_fork();
    return reg.in_use(std::make_pair(info.st_dev, info.st_ino));
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
    struct stat file_info {};
    if (::stat(path_.c_str(), &file_info) != 0 ||
        static_cast<std::uint64_t>(info.me_last_pgno + 1) * stat.ms_psize >
            static_cast<std::uint64_t>(file_info.st_size)) {
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

std::uint64_t LmdbTableFile::last_commit_id() const {
    MDB_envinfo info;
    mdb_env_info(env_, &info);
    return info.me_last_txnid;
}

TableCounters LmdbTableFile::read_counters(const Snapshot& snapshot) const {
    MDB_txn* txn = txn_of(snapshot);
    MDB_val key = text_val(kCountersKey);
    MDB_val value;
    int rc = mdb_get(txn, meta_, &key, &value);
    if (rc == MDB_NOTFOUND || (rc == MDB_SUCCESS && value.mv_size < 24)) {
        fail(VE_TABLE_CORRUPT, path_ + " has no record counters");
    }
    check_mdb(rc, "read", path_);
    return *decode_table_counters(view_of(value));
}

void LmdbTableFile::flush() {
    // The storage library writes through its own descriptor; syncing it is what its own
    // forced sync does, here through the engine's Env.
    mdb_filehandle_t fd = -1;
    check_mdb(mdb_env_get_fd(env_, &fd), "flush", path_);
    if (int error = engine::env().sync(fd)) {
        check_mdb(error, "flush", path_);
    }
}

void LmdbTableFile::set_durable(bool durable) {
    check_mdb(mdb_env_set_flags(env_, MDB_NOSYNC, durable ? 0 : 1), "open", path_);
}

void LmdbTableFile::zap() {
    WriteContext write(*this);
    check_mdb(mdb_drop(txn_of(write), records_, 0), "empty", path_);
    check_mdb(mdb_drop(txn_of(write), memos_, 0), "empty", path_);
    write.counters().next_record = 1;
    write.counters().deleted_records = 0;
    for (const auto& observer : observers()) {
        observer->table_rebuilt(write, {});
    }
    write.commit();
}

void LmdbTableFile::pack() {
    WriteContext write(*this);
    std::vector<std::uint32_t> live;
    std::vector<std::uint32_t> dead;
    {
        Cursor cursor(txn_of(write), records_, path_);
        MDB_val key, value;
        for (bool more = cursor.move(MDB_FIRST, &key, &value); more;
             more = cursor.move(MDB_NEXT, &key, &value)) {
            bool deleted = value.mv_size > 0 &&
                           (static_cast<const std::uint8_t*>(value.mv_data)[0] & kRecordDeleted);
            (deleted ? dead : live).push_back(decode_record_key(key));
            progress_step();
        }
    }
    for (std::uint32_t recno : dead) {
        write.remove_record(recno);
    }
    // A file from before record checksums gets them on every record it keeps.
    const bool upgrade = format_version_ < kChecksumFormatVersion;
    if (format_version_ < content_version_) {
        write.require_format_version(content_version_);
    }
    // Ascending order: each record moves down into a number already vacated.
    for (std::size_t i = 0; i < live.size(); ++i) {
        std::uint32_t from = live[i];
        auto to = static_cast<std::uint32_t>(i + 1);
        if (from == to) {
            if (upgrade) {
                RecordKey key(to);
                put_value(txn_of(write), records_, key.val(), with_checksum(*write.record(from)),
                          path_);
            }
            continue;
        }
        RecordKey key(to);
        put_value(txn_of(write), records_, key.val(), with_checksum(*write.record(from)), path_);
        for (const auto& field : schema_.fields()) {
            if (!is_memo_type(field.type)) {
                continue;
            }
            MemoKey memo(from, field.number);
            MDB_val mk = memo.val();
            MDB_val mv;
            int rc = mdb_get(txn_of(write), memos_, &mk, &mv);
            if (rc == MDB_SUCCESS) {
                std::string bytes(static_cast<const char*>(mv.mv_data), mv.mv_size);
                write.put_memo(to, field.number, bytes);
            } else if (rc != MDB_NOTFOUND) {
                check_mdb(rc, "read", path_);
            }
        }
        write.remove_record(from);
    }
    write.counters().next_record = static_cast<std::uint32_t>(live.size() + 1);
    write.counters().deleted_records = 0;
    for (const auto& observer : observers()) {
        observer->table_rebuilt(write, live);
    }
    write.commit();
}

bool LmdbTableFile::check(bool with_memos, std::string& report) const {
    std::size_t problems = 0;
    auto problem = [&](const std::string& line) {
        ++problems;
        if (problems <= 1000) {
            report += line;
            report += "\n";
        } else if (problems == 1001) {
            report += "(more problems not listed)\n";
        }
    };
    LmdbRead txn(env_, path_, trees_opened_);
    txn.begin();
    TableCounters counters = read_counters(txn);
    const std::uint32_t length = schema_.record_length();
    std::uint32_t deleted = 0;
    std::uint32_t highest = 0;
    std::set<std::int32_t> autoincs;
    const FieldDescriptor* autoinc = schema_.autoinc_field();
    std::set<std::pair<std::uint32_t, std::uint16_t>> memo_markers;
    {
        Cursor cursor(txn.txn(), records_, path_);
        MDB_val key, value;
        for (bool more = cursor.move(MDB_FIRST, &key, &value); more;
             more = cursor.move(MDB_NEXT, &key, &value)) {
            std::uint32_t recno = decode_record_key(key);
            std::string where = "record " + std::to_string(recno) + ": ";
            if (key.mv_size != 4 || recno == 0) {
                problem("a record key of " + std::to_string(key.mv_size) + " bytes is invalid");
                continue;
            }
            highest = recno;
            if (recno >= counters.next_record) {
                problem(where + "numbered beyond the next record number " +
                        std::to_string(counters.next_record));
            }
            try {
                verified_record(view_of(value), length, recno, path_);
            } catch (const EngineError& error) {
                problem(error.text());
                continue;
            }
            const auto* bytes = static_cast<const std::uint8_t*>(value.mv_data);
            if ((bytes[0] & ~kRecordDeleted) != 0) {
                problem(where + "has an unknown status byte");
            }
            deleted += (bytes[0] & kRecordDeleted) ? 1 : 0;
            const std::uint8_t* image = bytes + 1;
            if (autoinc != nullptr) {
                if (is_null(*autoinc, image)) {
                    problem(where + "has no AutoInc value");
                } else {
                    auto v = load_le<std::int32_t>(image + autoinc->offset);
                    if (!autoincs.insert(v).second) {
                        problem(where + "repeats the AutoInc value " + std::to_string(v));
                    }
                    if (static_cast<std::uint32_t>(v) >= counters.next_autoinc) {
                        problem(where + "has an AutoInc value beyond the counter");
                    }
                }
            }
            for (const auto& field : schema_.fields()) {
                if (is_memo_type(field.type) && memo_marker(field, image)) {
                    memo_markers.insert({recno, field.number});
                }
                if ((field.type == FieldType::VarCharFox || field.type == FieldType::VarBinaryFox ||
                     field.type == FieldType::NVarChar) &&
                    !is_null(field, image)) {
                    std::size_t word = format::field_image_size(field) - 2;
                    if (load_le<std::uint16_t>(image + field.offset + word) > field.length) {
                        problem(where + "field " + field.name + " has a used length too long");
                    }
                }
            }
        }
    }
    if (deleted != counters.deleted_records) {
        problem("the header counts " + std::to_string(counters.deleted_records) +
                " deleted records, the table holds " + std::to_string(deleted));
    }
    (void)highest;
    {
        Cursor cursor(txn.txn(), memos_, path_);
        MDB_val key, value;
        std::set<std::pair<std::uint32_t, std::uint16_t>> seen;
        for (bool more = cursor.move(MDB_FIRST, &key, &value); more;
             more = cursor.move(MDB_NEXT, &key, &value)) {
            std::uint32_t recno = decode_record_key(key);
            std::uint16_t number = decode_memo_field(key);
            std::string where = "memo of record " + std::to_string(recno) + " field " +
                                std::to_string(number) + ": ";
            const FieldDescriptor* field = schema_.by_number(number);
            if (key.mv_size != 6 || field == nullptr || !is_memo_type(field->type)) {
                problem(where + "belongs to no memo field");
                continue;
            }
            if (memo_markers.count({recno, number}) == 0) {
                problem(where + "has no marker in its record");
                continue;
            }
            seen.insert({recno, number});
            if (with_memos) {
                RecordKey rk(recno);
                MDB_val rkey = rk.val();
                MDB_val rvalue;
                if (mdb_get(txn.txn(), records_, &rkey, &rvalue) == MDB_SUCCESS &&
                    rvalue.mv_size >= length + 1) {
                    const auto* image = static_cast<const std::uint8_t*>(rvalue.mv_data) + 1;
                    auto stored = load_le<std::uint32_t>(image + field->offset + 4);
                    auto actual = checksum(value.mv_data, value.mv_size);
                    if (stored != actual) {
                        problem(where + "does not match its checksum");
                    }
                }
            }
        }
        for (const auto& marker : memo_markers) {
            if (seen.count(marker) == 0) {
                problem("record " + std::to_string(marker.first) + " field " +
                        std::to_string(marker.second) +
                        ": marked as having a memo that is missing");
            }
        }
    }
    for (const auto& observer : observers()) {
        observer->check(txn, problem);
    }
    txn.close();
    return problems == 0;
}

}  // namespace varelum::engine
