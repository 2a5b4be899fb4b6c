// What every table file implementation shares: the write context, the observers and the
// in-process bookkeeping of opens (see table_file.h). Files are kept by a table store's
// implementation (table_store.h).
#include "engine/storage/table_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "engine/core/error.h"
#include "engine/record/record_image.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

std::atomic<TableFile::OpenHook> hook{nullptr};
thread_local int batches_in_thread = 0;

}  // namespace

std::uint32_t format_version_for(const TableSchema& schema) {
    const auto& fields = schema.fields();
    const bool compact_dates = std::any_of(fields.begin(), fields.end(), [](const auto& field) {
        return field.type == FieldType::CompactDate;
    });
    return compact_dates ? kCompactDateFormatVersion : kChecksumFormatVersion;
}

WriteBatch::WriteBatch(TableFile& file, std::size_t writes_per_commit, UndoLog* journal)
    : file_(file) {
    file_.begin_batch(writes_per_commit, journal);
    ++batches_in_thread;
}

WriteBatch::~WriteBatch() {
    if (!finished_) {
        --batches_in_thread;
        try {
            file_.end_batch();
        } catch (...) {
            // Only reached while another error unwinds the bulk work; that one is reported.
        }
    }
}

void WriteBatch::finish() {
    if (!finished_) {
        finished_ = true;
        --batches_in_thread;
        file_.end_batch();
    }
}

bool WriteBatch::open_in_thread() {
    return batches_in_thread > 0;
}

WriteContext::WriteContext(TableFile& file, UndoLog* undo)
    : file_(file), undo_(undo), transaction_(file.begin_write(undo != nullptr)) {
    counters_ = file.read_counters(*transaction_);
}

WriteContext::~WriteContext() {
    for (const auto& observer : file_.observers()) {
        observer->write_ended(committed_);
    }
}

void WriteContext::require_format_version(std::uint32_t version) {
    file_.raise_format_version(*transaction_, version);
}

void WriteContext::put_record(std::uint32_t recno, std::uint8_t status, const std::uint8_t* image) {
    std::optional<std::string> before;
    if (!file_.observers().empty() || undo_ != nullptr) {
        auto stored = record(recno);
        if (undo_ != nullptr) {
            undo_->record_before(file_, recno, stored);
            if (stored) {
                log_memos_before(recno, reinterpret_cast<const std::uint8_t*>(stored->data()) + 1,
                                 image);
            }
        }
        if (stored) {
            before = std::string(stored->substr(1));
        }
    }
    file_.write_record(*transaction_, recno, status, image);
    if (undo_ != nullptr) {
        undo_->record_written(file_, recno, status, image);
    }
    for (const auto& observer : file_.observers()) {
        observer->record_changed(
            *this, recno, before ? reinterpret_cast<const std::uint8_t*>(before->data()) : nullptr,
            image);
    }
}

void WriteContext::remove_record(std::uint32_t recno) {
    file_.erase_record(*transaction_, recno);
}

void WriteContext::log_memos_before(std::uint32_t recno, const std::uint8_t* stored,
                                    const std::uint8_t* image) {
    // A memo value changes only with its slot in the image (which carries its checksum), and
    // it is read here while the stored image still vouches for it.
    for (const auto& field : file_.schema().fields()) {
        if (is_memo_type(field.type) &&
            std::memcmp(stored + field.offset, image + field.offset, kMemoSlotSize) != 0) {
            undo_->memo_before(file_, recno, field.number,
                               file_.memo(*transaction_, recno, field.number));
        }
    }
}

void WriteContext::put_memo(std::uint32_t recno, std::uint16_t field, std::string_view bytes) {
    file_.write_memo(*transaction_, recno, field, bytes);
}

void WriteContext::remove_memo(std::uint32_t recno, std::uint16_t field) {
    file_.erase_memo(*transaction_, recno, field);
}

std::optional<std::string_view> WriteContext::record(std::uint32_t recno) {
    return file_.record(*transaction_, recno);
}

void WriteContext::commit() {
    if (undo_ != nullptr && !file_.batch_journals(*undo_)) {
        undo_->make_durable();
    }
    file_.commit_write(*transaction_, counters_);
    committed_ = true;
}

void TableFile::add_observer(std::shared_ptr<WriteObserver> observer) {
    observers_.push_back(std::move(observer));
}

void TableFile::set_open_hook(OpenHook open_hook) {
    hook.store(open_hook);
}

TableFile::OpenHook TableFile::open_hook() {
    return hook.load();
}

void TableFile::add_open_handle(bool exclusive) {
    std::lock_guard guard(open_mutex_);
    if (exclusive_ || (exclusive && open_handles_ > 0)) {
        fail(VE_TABLE_IN_USE, path_);
    }
    ++open_handles_;
    exclusive_ = exclusive;
}

void TableFile::remove_open_handle(bool exclusive) {
    std::lock_guard guard(open_mutex_);
    if (open_handles_ > 0) {
        --open_handles_;
    }
    if (exclusive) {
        exclusive_ = false;
    }
}

int TableFile::open_handles() const {
    std::lock_guard guard(open_mutex_);
    return open_handles_;
}

TableFile::Census TableFile::census() const {
    std::unique_ptr<ReadSnapshot> snapshot = read_snapshot();
    snapshot->begin();
    Census census{stored_records(*snapshot), read_counters(*snapshot).deleted_records};
    snapshot->close();
    return census;
}

}  // namespace varelum::engine
