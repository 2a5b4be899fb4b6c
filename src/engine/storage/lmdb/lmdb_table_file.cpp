// Table files in LMDB: snapshots, records, memo values and key trees, write batches, and the
// whole-table operations pack, zap and check (see lmdb_table_file.h and docs/table-format.md).
// Opening and creating files is in lmdb_table_open.cpp.
#include "engine/storage/lmdb/lmdb_table_file.h"

#include <fcntl.h>
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
#include "engine/storage/lmdb/lmdb_cursors.h"
#include "engine/storage/lmdb/lmdb_encoding.h"
#include "engine/storage/lmdb/table_description.h"
#include "varelum_engine.h"

namespace varelum::engine {

using namespace lmdb_encoding;

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
