// A connection's transaction (see transaction.h).
#include "engine/txn/transaction.h"

#include <algorithm>
#include <exception>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/env/files.h"
#include "engine/format/checksum.h"
#include "engine/storage/table_store.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

constexpr int kRecordPart = -1;  // the record itself in the seen_ set; memo fields are >= 0

// One record's changes within one savepoint segment: its stored bytes before the first of
// them, the memo values they replaced, the fingerprint of what the last one stored, and
// whether the undo puts them back.
struct Segment {
    const UndoEntry* before = nullptr;
    std::vector<const UndoEntry*> memos;
    std::optional<std::uint32_t> written;
    bool undo = false;
};

bool is_deleted(std::string_view stored) {
    return !stored.empty() && (static_cast<std::uint8_t>(stored[0]) & kRecordDeleted) != 0;
}

std::string with_deleted_flag(std::string stored, bool deleted) {
    if (stored.empty()) {
        return stored;
    }
    auto status = static_cast<std::uint8_t>(stored[0]);
    stored[0] = static_cast<char>(deleted ? (status | kRecordDeleted) : (status & ~kRecordDeleted));
    return stored;
}

// Whether the record already holds what the segment's undo would leave: undone before (a
// rollback cut short), or its change never reached the table.
bool already_undone(const Segment& segment, const std::optional<std::string>& stored) {
    if (segment.before->before) {
        return stored && *stored == *segment.before->before;
    }
    if (!stored) {
        return true;  // the append never reached the table
    }
    return is_deleted(*stored) && segment.written &&
           stored_fingerprint(with_deleted_flag(*stored, false)) == *segment.written;
}

// Decides which of a record's segments the undo puts back, newest first, following what the
// record holds after each: a segment whose last write the record no longer holds was changed
// by someone else since (after the owner died), and neither it nor an older one is undone.
void choose_segments(std::optional<std::string> stored, std::vector<Segment>& segments,
                     bool fingerprinted) {
    for (auto segment = segments.rbegin(); segment != segments.rend(); ++segment) {
        bool ours = !fingerprinted || (stored && segment->written &&
                                       stored_fingerprint(*stored) == *segment->written);
        if (!ours) {
            if (already_undone(*segment, stored)) {
                continue;
            }
            return;
        }
        segment->undo = true;
        if (segment->before->before) {
            stored = segment->before->before;
        } else if (stored) {
            stored = with_deleted_flag(std::move(*stored), true);
        }
    }
}

// Puts one segment's record and memo values back, in write.
void undo_segment(WriteContext& write, std::uint32_t recno, const Segment& segment) {
    TableFile& file = write.file();
    const std::size_t length = file.schema().record_length() + 1;
    TableCounters& counters = write.counters();
    for (auto memo = segment.memos.rbegin(); memo != segment.memos.rend(); ++memo) {
        if ((*memo)->before) {
            write.put_memo(recno, (*memo)->field, *(*memo)->before);
        } else {
            write.remove_memo(recno, (*memo)->field);
        }
    }
    auto stored = write.record(recno);
    const bool was_deleted = stored && is_deleted(*stored);
    const std::optional<std::string>& before = segment.before->before;
    if (!before) {
        // Appended in the transaction: it stays, deleted, so that record numbers and AutoInc
        // values already handed out are never given twice.
        if (stored && stored->size() == length && !was_deleted) {
            std::string image(stored->substr(1));
            auto status = static_cast<std::uint8_t>((*stored)[0] | kRecordDeleted);
            write.put_record(recno, status, reinterpret_cast<const std::uint8_t*>(image.data()));
            counters.deleted_records += 1;
        }
        return;
    }
    if (before->size() != length) {
        fail(VE_TABLE_CORRUPT, "a before-image in the transaction journal of " + file.path() +
                                   " does not fit the table");
    }
    auto status = static_cast<std::uint8_t>((*before)[0]);
    bool deleted = (status & kRecordDeleted) != 0;
    write.put_record(recno, status, reinterpret_cast<const std::uint8_t*>(before->data() + 1));
    if (deleted && !was_deleted) {
        counters.deleted_records += 1;
    } else if (!deleted && was_deleted && counters.deleted_records > 0) {
        counters.deleted_records -= 1;
    }
}

}  // namespace

void undo_entries(std::span<const UndoEntry> entries,
                  const std::vector<std::shared_ptr<TableFile>>& tables, bool fingerprinted) {
    for (std::uint32_t t = 0; t < tables.size(); ++t) {
        if (!tables[t]) {
            continue;  // a table deleted since
        }
        // The table's records and their segments, in the order the changes were made. A memo
        // or fingerprint entry belongs to the segment its record's before-image began (the
        // first change of a record in a segment always journals the record first).
        std::map<std::uint32_t, std::vector<Segment>> records;
        for (const UndoEntry& entry : entries) {
            if (entry.table != t) {
                continue;
            }
            std::vector<Segment>& segments = records[entry.recno];
            if (entry.kind == UndoEntry::Kind::Record) {
                segments.push_back(Segment{&entry, {}, std::nullopt, false});
            } else if (!segments.empty()) {
                if (entry.kind == UndoEntry::Kind::Memo) {
                    segments.back().memos.push_back(&entry);
                } else {
                    segments.back().written = entry.written;
                }
            }
        }
        if (records.empty()) {
            continue;
        }
        WriteContext write(*tables[t]);
        std::map<const UndoEntry*, const Segment*> by_start;
        for (auto& [recno, segments] : records) {
            auto stored = write.record(recno);
            choose_segments(stored ? std::optional<std::string>(*stored) : std::nullopt, segments,
                            fingerprinted);
            for (const Segment& segment : segments) {
                by_start.emplace(segment.before, &segment);
            }
        }
        // Newest first across records too, as the changes were made: a unique key one record
        // gave up and another took is given back in the right order.
        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
            auto found = by_start.find(&*entry);
            if (found != by_start.end() && found->second->undo) {
                undo_segment(write, entry->recno, *found->second);
            }
        }
        write.commit();
    }
}

Transaction::~Transaction() {
    if (!ended_) {
        try {
            rollback();
        } catch (const EngineError&) {
            // Nobody is left to tell: the journal stays on the disk and the next opener of
            // its tables rolls it back.
        }
    }
}

void Transaction::enlist(const std::shared_ptr<TableFile>& file,
                         const std::shared_ptr<TableLocks>& locks) {
    if (batching_ && batches_.count(file.get()) == 0) {
        // Begun before the handle's write transaction, which then nests in it.
        batches_.emplace(file.get(),
                         std::make_unique<WriteBatch>(*file, WriteBatch::kWritesPerCommit, this));
    }
    auto found = tables_.find(file.get());
    if (found != tables_.end()) {
        return;
    }
    Table table;
    table.file = file;
    table.locks = locks;
    table.index = static_cast<std::uint32_t>(files_.size());
    files_.push_back(file);
    tables_.emplace(file.get(), std::move(table));
}

Transaction::Table& Transaction::table_of(const TableFile& file) {
    auto found = tables_.find(&file);
    if (found == tables_.end()) {
        fail(VE_INTERNAL_ERROR, "a table joined the transaction without being enlisted");
    }
    return found->second;
}

JournalFile& Transaction::journal_for(const std::string& directory) {
    auto& journal = journals_[directory];
    if (!journal) {
        // The first folder's journal will hold the commit decision; every later one names it.
        std::optional<std::string> primary;
        if (primary_ != nullptr) {
            primary = primary_->path();
        }
        journal = std::make_unique<JournalFile>(directory, primary);
        if (primary_ == nullptr) {
            primary_ = journal.get();
        }
    }
    return *journal;
}

void Transaction::hold(const TableFile& file, std::uint32_t recno, bool appended) {
    table_of(file).locks->hold_for_transaction(recno, appended);
}

void Transaction::record_before(TableFile& file, std::uint32_t recno,
                                std::optional<std::string_view> stored) {
    if (!seen_.emplace(&file, recno, kRecordPart).second) {
        return;
    }
    Table& table = table_of(file);
    if (table.journal == nullptr) {
        table.journal = &journal_for(parent_directory(file.path()));
    }
    table.journal->add_record(file, recno, stored);
    if (!stored) {
        appended_.emplace(&file, recno);
    }
    UndoEntry entry;
    entry.table = table.index;
    entry.recno = recno;
    if (stored) {
        entry.before = std::string(*stored);
    }
    entries_.push_back(std::move(entry));
}

void Transaction::memo_before(TableFile& file, std::uint32_t recno, std::uint16_t field,
                              std::optional<std::string_view> value) {
    // A record appended in this segment keeps its memo values when it is undone (it becomes
    // a deleted record whose image still names them).
    if (!seen_.emplace(&file, recno, field).second ||
        appended_.count(std::make_pair(&file, recno)) != 0) {
        return;
    }
    Table& table = table_of(file);
    if (table.journal == nullptr) {
        table.journal = &journal_for(parent_directory(file.path()));
    }
    table.journal->add_memo(file, recno, field, value);
    UndoEntry entry;
    entry.table = table.index;
    entry.recno = recno;
    entry.kind = UndoEntry::Kind::Memo;
    entry.field = field;
    if (value) {
        entry.before = std::string(*value);
    }
    entries_.push_back(std::move(entry));
}

void Transaction::record_written(TableFile& file, std::uint32_t recno, std::uint8_t status,
                                 const std::uint8_t* image) {
    Table& table = table_of(file);
    if (table.journal == nullptr) {
        table.journal = &journal_for(parent_directory(file.path()));
    }
    std::uint32_t fingerprint =
        crc32_of(image, file.schema().record_length(), crc32_of(&status, sizeof status));
    table.journal->add_written(file, recno, fingerprint);
    UndoEntry entry;
    entry.table = table.index;
    entry.recno = recno;
    entry.kind = UndoEntry::Kind::After;
    entry.written = fingerprint;
    entries_.push_back(std::move(entry));
}

void Transaction::make_durable() {
    for (auto& [directory, journal] : journals_) {
        journal->sync();
    }
}

void Transaction::begin_batching() {
    batching_ = true;
}

void Transaction::end_batching() {
    batching_ = false;
    // Each batch ends, also when one before it failed; the first failure is the one told.
    std::exception_ptr failure;
    for (auto& [file, batch] : batches_) {
        try {
            batch->finish();
        } catch (...) {
            if (!failure) {
                failure = std::current_exception();
            }
        }
    }
    batches_.clear();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void Transaction::end_batching_before_undo() {
    try {
        end_batching();
    } catch (const EngineError&) {
        // A batch that could not commit left nothing of itself in the file; the undo that
        // follows covers its writes either way.
    }
}

void Transaction::create_savepoint(const std::string& name) {
    Savepoint savepoint;
    savepoint.name = name;
    savepoint.entries = entries_.size();
    for (auto& [directory, journal] : journals_) {
        savepoint.marks.emplace(journal.get(), journal->mark());
    }
    savepoints_.push_back(std::move(savepoint));
    seen_.clear();
    appended_.clear();
}

bool Transaction::has_savepoint(const std::string& name) const {
    return std::any_of(savepoints_.begin(), savepoints_.end(),
                       [&](const Savepoint& savepoint) { return iequals(savepoint.name, name); });
}

void Transaction::release_savepoint(const std::string& name) {
    auto found = std::find_if(savepoints_.rbegin(), savepoints_.rend(),
                              [&](const Savepoint& s) { return iequals(s.name, name); });
    if (found == savepoints_.rend()) {
        fail(VE_UNKNOWN_SAVEPOINT, name);
    }
    savepoints_.resize(static_cast<std::size_t>(savepoints_.rend() - found) - 1);
}

void Transaction::rollback_to(const std::string& name) {
    auto found = std::find_if(savepoints_.rbegin(), savepoints_.rend(),
                              [&](const Savepoint& s) { return iequals(s.name, name); });
    if (found == savepoints_.rend()) {
        fail(VE_UNKNOWN_SAVEPOINT, name);
    }
    auto keep = static_cast<std::size_t>(savepoints_.rend() - found);  // up to and with it
    Savepoint& savepoint = savepoints_[keep - 1];
    end_batching_before_undo();
    undo_after(savepoint.entries);
    for (auto& [directory, journal] : journals_) {
        auto mark = savepoint.marks.find(journal.get());
        journal->truncate(mark != savepoint.marks.end() ? mark->second : journal->start());
    }
    savepoints_.resize(keep);
    seen_.clear();
    appended_.clear();
}

void Transaction::undo_after(std::size_t first) {
    if (first >= entries_.size()) {
        return;
    }
    // What is undone must be journalled first: a crash halfway through undoing leaves the
    // journal to finish it.
    make_durable();
    undo_entries(std::span<const UndoEntry>(entries_).subspan(first), files_);
    entries_.resize(first);
}

void Transaction::commit() {
    if (ended_) {
        fail(VE_NO_TRANSACTION);
    }
    try {
        end_batching();
        for (auto& [file, table] : tables_) {
            if (table.journal != nullptr) {
                table.file->flush();
            }
        }
        decide();
    } catch (const EngineError& failure) {
        // Not committed: undone here and now, so that no journal is left for another process
        // to replay over what this one writes next.
        std::string outcome = "; the transaction was rolled back";
        try {
            end_batching_before_undo();
            undo_after(0);
            discard_journals();
        } catch (const EngineError& also) {
            outcome = "; rolling the transaction back failed too (" + also.text() +
                      "), and it is rolled back when its tables are next opened or locked";
        }
        finish();
        throw EngineError(failure.code(), failure.text() + outcome);
    } catch (...) {
        finish();
        throw;
    }
    remove_journals();
    finish();
}

void Transaction::decide() {
    if (primary_ == nullptr) {
        return;  // nothing was written
    }
    std::vector<std::string> secondaries;
    for (auto& [directory, journal] : journals_) {
        if (journal.get() != primary_) {
            secondaries.push_back(journal->path());
        }
    }
    primary_->commit(secondaries);
}

void Transaction::rollback() {
    if (ended_) {
        fail(VE_NO_TRANSACTION);
    }
    try {
        end_batching_before_undo();
        undo_after(0);
        discard_journals();
    } catch (...) {
        // The journals stay on the disk, unlocked once closed: the next opener or locker of
        // their tables finishes the rollback.
        finish();
        throw;
    }
    finish();
}

void Transaction::discard_journals() {
    // The first folder's journal last: while it is there, the others are read as its.
    for (auto& [directory, journal] : journals_) {
        if (journal.get() != primary_) {
            journal->discard();
        }
    }
    if (primary_ != nullptr) {
        primary_->discard();
    }
}

void Transaction::remove_journals() noexcept {
    // After the decision: the other folders' journals are emptied for good before the one
    // holding the decision goes, since a journal whose decision is gone is read as rolled
    // back. One that cannot be emptied keeps the decision's journal, which recovery reads as
    // committed and clears.
    bool emptied = true;
    for (auto& [directory, journal] : journals_) {
        if (journal.get() != primary_) {
            try {
                journal->discard();
            } catch (const EngineError&) {
                emptied = false;
            }
        }
    }
    if (primary_ != nullptr && emptied) {
        primary_->remove();
    }
}

void Transaction::finish() {
    ended_ = true;
    batching_ = false;
    batches_.clear();  // already ended unless ending them failed
    journals_.clear();
    primary_ = nullptr;
    for (auto& [file, table] : tables_) {
        table.locks->release_transaction_locks();
    }
    tables_.clear();
    files_.clear();
    entries_.clear();
    savepoints_.clear();
    seen_.clear();
    appended_.clear();
}

}  // namespace varelum::engine
