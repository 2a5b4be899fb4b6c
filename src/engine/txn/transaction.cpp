// A connection's transaction (see transaction.h).
#include "engine/txn/transaction.h"

#include <algorithm>
#include <exception>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/env/files.h"
#include "engine/storage/table_store.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

constexpr int kRecordPart = -1;  // the record itself in the seen_ set; memo fields are >= 0

}  // namespace

void undo_entries(std::span<const UndoEntry> entries,
                  const std::vector<std::shared_ptr<TableFile>>& tables) {
    for (std::uint32_t t = 0; t < tables.size(); ++t) {
        if (!tables[t]) {
            continue;  // a table deleted since
        }
        bool touched = std::any_of(entries.begin(), entries.end(),
                                   [&](const UndoEntry& entry) { return entry.table == t; });
        if (!touched) {
            continue;
        }
        TableFile& file = *tables[t];
        const std::size_t length = file.schema().record_length() + 1;
        WriteContext write(file);
        TableCounters& counters = write.counters();
        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
            if (entry->table != t) {
                continue;
            }
            if (entry->memo) {
                if (entry->before) {
                    write.put_memo(entry->recno, entry->field, *entry->before);
                } else {
                    write.remove_memo(entry->recno, entry->field);
                }
                continue;
            }
            auto stored = write.record(entry->recno);
            bool was_deleted = stored && !stored->empty() &&
                               (static_cast<std::uint8_t>((*stored)[0]) & kRecordDeleted) != 0;
            if (!entry->before) {
                // Appended in the transaction: it stays, deleted, so that record numbers and
                // AutoInc values already handed out are never given twice.
                if (stored && stored->size() == length && !was_deleted) {
                    std::string image(stored->substr(1));
                    auto status = static_cast<std::uint8_t>((*stored)[0] | kRecordDeleted);
                    write.put_record(entry->recno, status,
                                     reinterpret_cast<const std::uint8_t*>(image.data()));
                    counters.deleted_records += 1;
                }
                continue;
            }
            if (entry->before->size() != length) {
                fail(VE_TABLE_CORRUPT, "a before-image in the transaction journal of " +
                                           file.path() + " does not fit the table");
            }
            auto status = static_cast<std::uint8_t>((*entry->before)[0]);
            bool deleted = (status & kRecordDeleted) != 0;
            write.put_record(entry->recno, status,
                             reinterpret_cast<const std::uint8_t*>(entry->before->data() + 1));
            if (deleted && !was_deleted) {
                counters.deleted_records += 1;
            } else if (!deleted && was_deleted && counters.deleted_records > 0) {
                counters.deleted_records -= 1;
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
        journal = std::make_unique<JournalFile>(directory);
    }
    return *journal;
}

void Transaction::hold(const TableFile& file, std::uint32_t recno) {
    table_of(file).locks->hold_for_transaction(recno);
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
    entry.memo = true;
    entry.field = field;
    if (value) {
        entry.before = std::string(*value);
    }
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
        journal->truncate(mark != savepoint.marks.end() ? mark->second : JournalFile::start());
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
        discard_journals();
    } catch (...) {
        finish();
        throw;
    }
    finish();
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
        // The journals stay on the disk, unlocked once closed: the next opener of their
        // tables finishes the rollback.
        finish();
        throw;
    }
    finish();
}

void Transaction::discard_journals() {
    for (auto& [directory, journal] : journals_) {
        journal->discard();
    }
}

void Transaction::finish() {
    ended_ = true;
    batching_ = false;
    batches_.clear();  // already ended unless ending them failed
    journals_.clear();
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
