// Table handles: navigation, the record buffer, editing and record locks (see
// table_cursor.h).
#include "engine/table/table_cursor.h"
#include "engine/format/calendar.h"
#include "engine/format/code_page.h"

#include "engine/core/error.h"
#include "engine/core/settings.h"
#include "engine/env/env.h"
#include "engine/env/files.h"
#include "engine/format/checksum.h"
#include "engine/storage/table_file.h"
#include "engine/storage/table_store.h"
#include "engine/table/connection.h"
#include "engine/txn/recovery.h"
#include "engine/txn/transaction.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

std::uint32_t crc_of(const void* bytes, std::size_t length) {
    return crc32_of(bytes, length);
}

}  // namespace

// Opening: the file's in-process open count and the connection's open lock are taken in
// that order and given back in reverse on failure, so that a refused exclusive open leaves
// neither behind.
std::shared_ptr<TableCursor> TableCursor::open(std::shared_ptr<Connection> connection,
                                               const std::string& path, const OpenRequest& request,
                                               std::shared_ptr<TableFile> opened) {
    // A process that died inside a transaction left it half done: undone before anyone reads.
    if (!request.scratch) {
        recover_dead_transactions(connection->store(), parent_directory(path));
    }
    std::shared_ptr<TableFile> file = opened ? std::move(opened) : connection->store().open(path);
    file->add_open_handle(request.exclusive);
    std::shared_ptr<TableLocks> locks;
    try {
        locks = connection->store().locks(*file);
        locks->add_open(request.exclusive);
    } catch (...) {
        file->remove_open_handle(request.exclusive);
        throw;
    }
    std::shared_ptr<TableCursor> table(
        new TableCursor(connection, std::move(file), std::move(locks), request));
    connection->add_table(table);
    CallScope scope(*table);
    table->goto_top();
    return table;
}

TableCursor::TableCursor(std::shared_ptr<Connection> connection, std::shared_ptr<TableFile> file,
                         std::shared_ptr<TableLocks> locks, OpenRequest request)
    : connection_(std::move(connection)),
      file_(std::move(file)),
      locks_(std::move(locks)),
      request_(std::move(request)),
      natural_(std::make_unique<NaturalOrder>(*file_)),
      order_(natural_.get()),
      record_order_(static_cast<NaturalOrder*>(natural_.get())),
      cache_(std::size_t{file_->schema().record_length()} + 1),
      read_(file_->read_snapshot()) {}

TableCursor::~TableCursor() {
    try {
        close();
    } catch (const EngineError&) {
        // A handle dropped without AdsCloseTable has nobody to report to.
    }
}

TableCursor::CallScope::CallScope(TableCursor& table, Purpose purpose)
    : table_(table), owns_lock_(true) {
    table.call_lock_.lock();
    try {
        if (table.closed()) {
            fail(VE_CLOSED_HANDLE, "handle " + std::to_string(table.handle()));
        }
        if (purpose == Purpose::Use) {
            table.refresh_rights();
        }
    } catch (...) {
        table.call_lock_.unlock();
        throw;
    }
}

TableCursor::CallScope::CallScope(TableCursor& table, std::adopt_lock_t)
    : table_(table), owns_lock_(false) {
    if (table.closed()) {
        fail(VE_CLOSED_HANDLE, "handle " + std::to_string(table.handle()));
    }
    table.refresh_rights();
}

TableCursor::CallScope::~CallScope() {
    table_.end_call();
    if (owns_lock_) {
        table_.call_lock_.unlock();  // last: it may let the handle's object go
    }
}

void TableCursor::close() {
    if (closed()) {
        return;
    }
    std::exception_ptr failure;
    try {
        flush_pending();
    } catch (...) {
        failure = std::current_exception();
    }
    release_implicit_lock();
    if (extension_) {
        extension_->closing();
        extension_.reset();
    }
    read_->close();
    order_ = nullptr;
    record_order_ = nullptr;
    cache_.clear();
    natural_.reset();
    locks_->remove_open(request_.exclusive);
    file_->remove_open_handle(request_.exclusive);
    connection_->remove_table(this);
    closed_.store(true, std::memory_order_release);
    call_lock_.publish(kPublishedClosed);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

const TableSchema& TableCursor::schema() const {
    return file_->schema();
}

TextContext TableCursor::text_context() const {
    TextContext context;
    context.page = format::code_page_of_char_type(file_->options().char_type);
    context.date_format = connection_->date_format();
    context.decimals = EngineSettings::instance().decimals();
    return context;
}

const FieldDescriptor& TableCursor::field(const std::uint8_t* argument) const {
    if (argument == nullptr) {
        fail(VE_INVALID_ARGUMENT, "no field given");
    }
    auto value = reinterpret_cast<std::uintptr_t>(argument);
    const FieldDescriptor* found = nullptr;
    std::string name;
    if (value <= VE_MAX_FIELD_NUMBER) {
        found = schema().by_number(static_cast<std::uint32_t>(value));
        name = "number " + std::to_string(value);
    } else {
        name = std::string(c_text(argument));
        found = schema().by_name(name);
    }
    if (found == nullptr) {
        fail(VE_FIELD_NOT_FOUND, name);
    }
    return *found;
}

const Snapshot& TableCursor::txn() {
    read_->begin();
    return *read_;
}

void TableCursor::end_call() {
    read_->end();
    call_lock_.publish(static_cast<std::uint8_t>((at_bof_ ? kPublishedBof : 0) |
                                                 (at_eof_ ? kPublishedEof : 0) |
                                                 (closed() ? kPublishedClosed : 0)));
}

void TableCursor::check_stored(const StoredRecord& record) const {
    if (record.bytes.size() != schema().record_length() + 1) {
        fail(VE_TABLE_CORRUPT, "record " + std::to_string(record.recno) + " of " + file_->path() +
                                   " has the wrong length");
    }
}

bool TableCursor::is_visible(const StoredRecord& record) const {
    check_stored(record);
    bool deleted = (static_cast<std::uint8_t>(record.bytes[0]) & kRecordDeleted) != 0;
    if (deleted && !EngineSettings::instance().show_deleted()) {
        return false;
    }
    return extension_ == nullptr || extension_->accepts(record);
}

void TableCursor::land(const StoredRecord& record, std::uint64_t snapshot) {
    place_ = Place::Record;
    recno_ = record.recno;
    at_bof_ = at_eof_ = false;
    status_ = static_cast<std::uint8_t>(record.bytes[0]);
    image_.assign(reinterpret_cast<const std::uint8_t*>(record.bytes.data()) + 1,
                  reinterpret_cast<const std::uint8_t*>(record.bytes.data()) + record.bytes.size());
    loaded_ = true;
    loaded_txnid_ = snapshot;
}

// Position -> Bof or Eof. Whether any visible record exists decides whether both flags are
// set, which the components read as "the table is empty".
void TableCursor::land_on_crack(bool at_end) {
    place_ = at_end ? Place::Eof : Place::Bof;
    recno_ = 0;
    loaded_ = false;
    at_eof_ = at_end;
    at_bof_ = !at_end;
    // On a table with no visible record both flags are set, whichever end was reached.
    StoredRecord first = order_->first(txn());
    while (first.recno != 0 && !is_visible(first)) {
        first = order_->after(txn(), first.recno,
                              reinterpret_cast<const std::uint8_t*>(first.bytes.data()) + 1);
    }
    if (first.recno == 0) {
        at_eof_ = at_bof_ = true;
    }
}

void TableCursor::goto_top() {
    flush_pending();
    StoredRecord record = order_->first(txn());
    while (record.recno != 0 && !is_visible(record)) {
        record = order_->after(txn(), record.recno,
                               reinterpret_cast<const std::uint8_t*>(record.bytes.data()) + 1);
    }
    if (record.recno == 0) {
        land_on_crack(true);
    } else {
        land(record);
    }
}

void TableCursor::goto_bottom() {
    flush_pending();
    StoredRecord record = order_->last(txn());
    while (record.recno != 0 && !is_visible(record)) {
        record = order_->before(txn(), record.recno,
                                reinterpret_cast<const std::uint8_t*>(record.bytes.data()) + 1);
    }
    if (record.recno == 0) {
        land_on_crack(true);
    } else {
        land(record);
    }
}

void TableCursor::goto_bof() {
    flush_pending();
    land_on_crack(false);
}

void TableCursor::goto_eof() {
    flush_pending();
    land_on_crack(true);
}

void TableCursor::skip(std::int32_t count) {
    flush_pending();
    // A skip of 0 is a re-read of the current record: callers use it to see others' writes.
    if (count == 0) {
        if (place_ == Place::Record) {
            loaded_ = false;
            load_current();
        }
        return;
    }
    bool forward = count > 0;
    std::int64_t steps = forward ? count : -static_cast<std::int64_t>(count);
    for (std::int64_t i = 0; i < steps; ++i) {
        if ((forward && place_ == Place::Eof) || (!forward && place_ == Place::Bof)) {
            return;  // already on the crack at that end
        }
        if (forward) {
            std::uint64_t snapshot = 0;
            StoredRecord cached = cached_step(snapshot);
            if (cached.recno != 0) {
                land(cached, snapshot);
                continue;
            }
        }
        StoredRecord record;
        if (place_ == Place::Record) {
            txn();  // first: the current record is then checked against this call's snapshot
            load_current();
            record = forward ? order_->after(txn(), recno_, image_.data())
                             : order_->before(txn(), recno_, image_.data());
        } else {
            record = forward ? order_->first(txn()) : order_->last(txn());
        }
        while (record.recno != 0 && !is_visible(record)) {
            const auto* image = reinterpret_cast<const std::uint8_t*>(record.bytes.data()) + 1;
            record = forward ? order_->after(txn(), record.recno, image)
                             : order_->before(txn(), record.recno, image);
        }
        if (record.recno == 0) {
            land_on_crack(forward);
            return;
        }
        land(record);
        if (forward && order_ == record_order_ && cache_.enabled()) {
            record_order_->read_ahead(txn(), recno_, cache_);
        }
    }
}

StoredRecord TableCursor::cached_step(std::uint64_t& snapshot) {
    if (place_ != Place::Record || order_ != record_order_ || !cache_.enabled()) {
        return {};
    }
    // A filter reads in the call's snapshot: then the cache serves only when it was filled
    // in that very snapshot, so the filter and the record agree.
    if (extension_ != nullptr && extension_->filtering()) {
        txn();
    }
    snapshot = latest_snapshot();
    std::size_t mark = cache_.mark();
    StoredRecord record = cache_.after(snapshot, recno_);
    while (record.recno != 0 && !is_visible(record)) {
        record = cache_.after(snapshot, record.recno);
    }
    if (record.recno == 0) {
        cache_.rewind(mark);  // the step goes through the file, from the current record
    }
    return record;
}

void TableCursor::goto_record(std::uint32_t recno) {
    flush_pending();
    if (recno == 0) {
        land_on_crack(true);
        return;
    }
    auto stored = file_->record(txn(), recno);
    if (!stored) {
        land_on_crack(true);
        fail(VE_RECORD_NOT_FOUND, "record " + std::to_string(recno));
    }
    StoredRecord record{recno, *stored};
    check_stored(record);
    land(record);
}

std::uint32_t TableCursor::record_number() {
    if (appending_) {
        reserve_append();
        return reserved_recno_;
    }
    return place_ == Place::Record ? recno_ : 0;
}

std::uint32_t TableCursor::record_count() {
    if (auto counted = natural_->count(txn())) {
        return *counted;
    }
    auto count = static_cast<std::uint32_t>(file_->stored_records(txn()));
    if (!EngineSettings::instance().show_deleted()) {
        TableCounters counters = file_->read_counters(txn());
        count -= std::min(count, counters.deleted_records);
    }
    return count;
}

// Makes image_ current for Record(recno_) in the buffer state Clean; Dirty and Appending keep
// the caller's version.
void TableCursor::load_current() {
    if (appending_ || dirty_) {
        return;  // the buffer holds the caller's version of the record
    }
    if (place_ != Place::Record) {
        fail(VE_NO_CURRENT_RECORD);
    }
    // In a call whose snapshot is open, that snapshot was the latest when the call took it;
    // otherwise the file says what was committed last.
    if (loaded_ && loaded_txnid_ == latest_snapshot()) {
        return;
    }
    auto stored = file_->record(txn(), recno_);
    if (!stored) {
        std::uint32_t lost = recno_;
        land_on_crack(true);
        fail(VE_RECORD_NOT_FOUND, "record " + std::to_string(lost) + " is gone");
    }
    StoredRecord record{recno_, *stored};
    check_stored(record);
    land(record);
}

const std::vector<std::uint8_t>& TableCursor::image() {
    if (!on_record()) {
        fail(VE_NO_CURRENT_RECORD);
    }
    load_current();
    return image_;
}

bool TableCursor::deleted() {
    if (appending_) {
        return false;
    }
    image();
    return (status_ & kRecordDeleted) != 0;
}

bool TableCursor::visible() {
    if (deleted() && !EngineSettings::instance().show_deleted()) {
        return false;
    }
    if (appending_) {
        return true;
    }
    visible_scratch_.assign(1, static_cast<char>(status_));
    visible_scratch_.append(reinterpret_cast<const char*>(image_.data()), image_.size());
    StoredRecord record{recno_, visible_scratch_};
    return order_->contains(txn(), recno_, image_.data()) &&
           (extension_ == nullptr || extension_->accepts(record));
}

std::optional<std::string> TableCursor::memo(const FieldDescriptor& field) {
    const auto& current = image();
    auto pending = pending_memos_.find(field.number);
    if (pending != pending_memos_.end()) {
        return pending->second;
    }
    if (appending_ || !memo_marker(field, current.data())) {
        return std::nullopt;
    }
    auto value = file_->memo(txn(), recno_, field.number);
    if (!value) {
        return std::string();  // the marker outlived its value; check reports it
    }
    return std::string(*value);
}

std::uint32_t TableCursor::memo_length(const FieldDescriptor& field) {
    const auto& current = image();
    auto pending = pending_memos_.find(field.number);
    if (pending != pending_memos_.end()) {
        return pending->second ? static_cast<std::uint32_t>(pending->second->size()) : 0;
    }
    if (appending_ || !memo_marker(field, current.data())) {
        return 0;
    }
    auto value = file_->memo(txn(), recno_, field.number);
    return value ? static_cast<std::uint32_t>(value->size()) : 0;
}

std::uint32_t TableCursor::crc(bool with_pending) {
    const auto& current = image();
    if (with_pending || appending_) {
        return crc_of(current.data(), current.size());
    }
    auto stored = file_->record(txn(), recno_);
    if (!stored) {
        fail(VE_RECORD_NOT_FOUND, "record " + std::to_string(recno_));
    }
    return crc_of(reinterpret_cast<const std::uint8_t*>(stored->data()) + 1, stored->size() - 1);
}

void TableCursor::require_writable() const {
    if (request_.read_only) {
        fail(VE_READ_ONLY, file_->path());
    }
}

void TableCursor::refresh_rights() {
    AccessRights& rights = request_.rights;
    if (!rights.source) {
        return;
    }
    // The version first: a change while the rights are read shows as a new version next call.
    const std::uint64_t version = rights.source->version();
    if (version != rights.version) {
        std::shared_ptr<const RightsSource> source = rights.source;
        rights = source->rights(*file_);
        rights.source = std::move(source);
        rights.version = version;
    }
    if ((rights.table & AccessRights::kRead) == 0) {
        throw EngineError(VE_PERMISSION_DENIED, "Read permission not granted on this table.");
    }
}

void TableCursor::require_right(std::uint8_t right, const FieldDescriptor* field) const {
    const AccessRights& rights = request_.rights;
    const char* what = right == AccessRights::kUpdate   ? "Update"
                       : right == AccessRights::kInsert ? "Insert"
                                                        : "Delete";
    // The texts are those the components report for the same refusals.
    if ((rights.table & right) == 0) {
        throw EngineError(VE_PERMISSION_DENIED,
                          std::string(what) + " permission not granted on this table.");
    }
    if (field != nullptr && (rights.column(field->number) & right) == 0) {
        throw EngineError(
            VE_PERMISSION_DENIED,
            std::string(what) + " permission not granted on this field: " + field->name + ".");
    }
}

std::uint8_t* TableCursor::image_for_change(const FieldDescriptor& field) {
    require_writable();
    require_right(appending_ ? AccessRights::kInsert : AccessRights::kUpdate, &field);
    if (!on_record()) {
        fail(VE_NO_CURRENT_RECORD);
    }
    if (!appending_ && !dirty_) {
        if (!locks_->holds_record(recno_)) {
            locks_->lock_record(recno_);
            implicit_lock_ = recno_;
            // Someone may have written the record between our read and our lock: start the
            // change from the version the lock now protects.
            read_->end();
            loaded_ = false;
        }
        load_current();
    }
    dirty_ = true;
    return image_.data();
}

void TableCursor::set_memo(const FieldDescriptor& field, std::optional<std::string> value) {
    std::uint8_t* target = image_for_change(field);
    std::uint32_t checksum = value ? crc_of(value->data(), value->size()) : 0;
    set_memo_marker(field, target, value.has_value(), checksum);
    pending_memos_[field.number] = std::move(value);
}

void TableCursor::append() {
    require_writable();
    require_right(AccessRights::kInsert, nullptr);
    flush_pending();
    saved_place_ = place_;
    saved_recno_ = recno_;
    appending_ = true;
    reserved_recno_ = 0;
    image_ = null_image(schema());
    status_ = 0;
    pending_memos_.clear();
    dirty_ = false;
    loaded_ = false;
}

// Appending: fixes the new record's number (and AutoInc value) in a commit of its own, so
// that the number a caller was told stays the record's even if another process appends
// before the record is written. A number reserved and then cancelled is never reused.
void TableCursor::reserve_append() {
    if (!appending_ || reserved_recno_ != 0) {
        return;
    }
    WriteContext write(*file_);
    TableCounters& counters = write.counters();
    if (counters.next_record >= 0xFFFFFFF0u) {
        fail(VE_TABLE_FULL, "no record numbers are left in " + file_->path());
    }
    std::uint32_t recno = counters.next_record++;
    std::int32_t autoinc = 0;
    if (const FieldDescriptor* field = schema().autoinc_field()) {
        autoinc = static_cast<std::int32_t>(counters.next_autoinc++);
        store_le(image_.data() + field->offset, autoinc);
    }
    write.commit();
    reserved_recno_ = recno;
    if (schema().autoinc_field() != nullptr) {
        last_autoinc_ = static_cast<std::uint32_t>(autoinc);
    }
}

void TableCursor::stamp_engine_fields(std::uint8_t* image, WriteContext& write) {
    for (const auto& field : schema().fields()) {
        if (field.type == FieldType::RowVersion) {
            store_le<std::int64_t>(image + field.offset,
                                   static_cast<std::int64_t>(write.counters().next_rowversion++));
        } else if (field.type == FieldType::ModTime) {
            LocalTime now = local_now();
            store_le(image + field.offset, format::julian_from_civil(now.year, now.month, now.day));
            store_le(image + field.offset + 4, now.milliseconds);
        }
    }
}

// Appending -> Record(new), Clean; Dirty -> Clean. Each is one write transaction covering
// the record, its memo values and (through the file's observers) its index keys.
void TableCursor::write() {
    if (appending_) {
        require_writable();
        std::vector<std::uint8_t> image = image_;
        Transaction* transaction = joined_transaction();
        WriteContext write(*file_, transaction);
        TableCounters& counters = write.counters();
        std::uint32_t recno = reserved_recno_;
        std::uint32_t autoinc = last_autoinc_;
        if (recno == 0) {
            if (counters.next_record >= 0xFFFFFFF0u) {
                fail(VE_TABLE_FULL, "no record numbers are left in " + file_->path());
            }
            recno = counters.next_record++;
            if (const FieldDescriptor* field = schema().autoinc_field()) {
                autoinc = counters.next_autoinc++;
                store_le(image.data() + field->offset, static_cast<std::int32_t>(autoinc));
            }
        }
        if (transaction != nullptr) {
            transaction->hold(*file_, recno, /*appended=*/true);
        }
        stamp_engine_fields(image.data(), write);
        write.put_record(recno, 0, image.data());
        for (const auto& [number, value] : pending_memos_) {
            if (value) {
                write.put_memo(recno, number, *value);
            }
        }
        write.commit();
        appending_ = false;
        dirty_ = false;
        pending_memos_.clear();
        image_ = std::move(image);
        place_ = Place::Record;
        recno_ = recno;
        at_bof_ = at_eof_ = false;
        status_ = 0;
        loaded_ = false;
        last_autoinc_ = autoinc;
        return;
    }
    if (!dirty_) {
        return;
    }
    require_writable();
    std::vector<std::uint8_t> image = image_;
    Transaction* transaction = joined_transaction();
    // Held before the write: a transaction keeps every record it changed locked to its end,
    // whatever the caller unlocks meanwhile.
    if (transaction != nullptr) {
        transaction->hold(*file_, recno_);
    }
    WriteContext write(*file_, transaction);
    // The deleted flag is the file's, not the buffer's: another handle of this connection
    // may have deleted or recalled the record since it was read.
    auto stored = write.record(recno_);
    if (!stored) {
        fail(VE_RECORD_NOT_FOUND, "record " + std::to_string(recno_) + " is gone");
    }
    auto status = static_cast<std::uint8_t>((*stored)[0]);
    stamp_engine_fields(image.data(), write);
    write.put_record(recno_, status, image.data());
    for (const auto& [number, value] : pending_memos_) {
        if (value) {
            write.put_memo(recno_, number, *value);
        } else {
            write.remove_memo(recno_, number);
        }
    }
    write.commit();
    dirty_ = false;
    pending_memos_.clear();
    image_ = std::move(image);
    loaded_ = false;
    release_implicit_lock();
}

void TableCursor::flush_pending() {
    if (pending()) {
        write();
    }
}

void TableCursor::discard_changes() {
    dirty_ = false;
    pending_memos_.clear();
    loaded_ = false;
    release_implicit_lock();
}

void TableCursor::release_implicit_lock() {
    if (implicit_lock_ != 0) {
        locks_->unlock_record(implicit_lock_);
        implicit_lock_ = 0;
    }
}

// Appending -> the saved position; Dirty -> Clean. A number the append reserved stays used.
void TableCursor::cancel() {
    if (appending_) {
        appending_ = false;
        pending_memos_.clear();
        dirty_ = false;
        loaded_ = false;
        if (saved_place_ == Place::Record) {
            try {
                goto_record(saved_recno_);
            } catch (const EngineError&) {
                // The record before the append is gone; the handle is left on EOF.
            }
        } else {
            land_on_crack(saved_place_ == Place::Eof);
        }
        return;
    }
    if (dirty_) {
        discard_changes();
        return;
    }
    fail(VE_NOTHING_TO_CANCEL);
}

void TableCursor::refresh() {
    if (appending_) {
        return;
    }
    if (place_ != Place::Record) {
        fail(VE_NO_CURRENT_RECORD);
    }
    discard_changes();
    load_current();
}

void TableCursor::set_deleted(bool deleted) {
    require_writable();
    require_right(AccessRights::kDelete, nullptr);
    flush_pending();
    if (place_ != Place::Record) {
        fail(VE_NO_CURRENT_RECORD);
    }
    bool took_lock = false;
    if (!locks_->holds_record(recno_)) {
        locks_->lock_record(recno_);
        took_lock = true;
    }
    try {
        Transaction* transaction = joined_transaction();
        if (transaction != nullptr) {
            transaction->hold(*file_, recno_);
        }
        WriteContext write(*file_, transaction);
        auto stored = write.record(recno_);
        if (!stored) {
            fail(VE_RECORD_NOT_FOUND, "record " + std::to_string(recno_) + " is gone");
        }
        auto status = static_cast<std::uint8_t>((*stored)[0]);
        bool was_deleted = (status & kRecordDeleted) != 0;
        if (was_deleted != deleted) {
            std::string image(stored->substr(1));
            status = static_cast<std::uint8_t>(deleted ? (status | kRecordDeleted)
                                                       : (status & ~kRecordDeleted));
            if (deleted) {
                write.counters().deleted_records += 1;
            } else if (write.counters().deleted_records > 0) {
                write.counters().deleted_records -= 1;
            }
            write.put_record(recno_, status, reinterpret_cast<const std::uint8_t*>(image.data()));
            write.commit();
        }
    } catch (...) {
        if (took_lock) {
            locks_->unlock_record(recno_);
        }
        throw;
    }
    if (took_lock) {
        locks_->unlock_record(recno_);
    }
    loaded_ = false;
}

void TableCursor::lock_record(std::uint32_t recno) {
    if (recno == 0) {
        if (appending_) {
            reserve_append();
            return;  // a pending append is nobody else's to lock
        }
        if (place_ != Place::Record) {
            fail(VE_NO_CURRENT_RECORD);
        }
        recno = recno_;
    } else if (!(place_ == Place::Record && recno == recno_)) {
        if (!file_->record(txn(), recno)) {
            fail(VE_RECORD_NOT_FOUND, "record " + std::to_string(recno));
        }
    }
    locks_->lock_record(recno);
    if (implicit_lock_ == recno) {
        implicit_lock_ = 0;  // now the caller's lock, kept after the write
    }
}

void TableCursor::unlock_record(std::uint32_t recno) {
    if (recno == 0) {
        if (place_ != Place::Record) {
            fail(VE_NO_CURRENT_RECORD);
        }
        recno = recno_;
    }
    if (dirty_ && place_ == Place::Record && recno == recno_) {
        write();
    }
    if (!locks_->unlock_record(recno)) {
        fail(VE_RECORD_NOT_LOCKED, "record " + std::to_string(recno));
    }
    if (implicit_lock_ == recno) {
        implicit_lock_ = 0;
    }
}

void TableCursor::require_sole_use() {
    if (file_->open_handles() != 1 || !locks_->sole_user()) {
        fail(VE_NOT_EXCLUSIVE, file_->path());
    }
}

Transaction* TableCursor::joined_transaction() {
    Transaction* transaction = connection_->transaction();
    if (transaction != nullptr) {
        transaction->enlist(file_, locks_);
    }
    return transaction;
}

void TableCursor::zap() {
    connection_->require_no_transaction("emptying a table");
    require_writable();
    require_right(AccessRights::kDelete, nullptr);
    require_sole_use();
    appending_ = false;
    discard_changes();
    file_->zap();
    read_->end();
    goto_top();
}

void TableCursor::pack() {
    connection_->require_no_transaction("packing a table");
    require_writable();
    require_right(AccessRights::kDelete, nullptr);
    require_sole_use();
    flush_pending();
    file_->pack();
    read_->end();
    goto_top();
}

}  // namespace varelum::engine
