// A connection's transaction: every change of every table the connection writes is applied to
// the table file at once, its before-image first going to the undo journal of the table's
// directory with a fingerprint of what the change wrote (synced before the change commits).
// Each changed record stays locked for the connection until the transaction ends. Commit syncs
// the touched tables and then makes one durable decision, a commit record in the journal of
// the first folder the transaction wrote (the journals of other folders name that one), before
// the journals go; rollback applies the before-images backwards (records, memo values, and
// through the files' observers their index keys; a record appended in the transaction becomes
// a deleted record). Savepoints nest: rolling back to one undoes what came after it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/storage/table_file.h"
#include "engine/txn/journal_file.h"

namespace varelum::engine {

class TableLocks;

// Applies undo entries backwards to the tables they name (one write transaction per table).
// Records that did not exist before are marked deleted, keeping their image. A record is put
// back only while it holds what the entries say the transaction wrote last: one that holds
// something else was changed by someone else since (after its owner died), and it and its
// memo values are left as they are. fingerprinted false: entries of an older journal, without
// fingerprints, put back as they stand.
void undo_entries(std::span<const UndoEntry> entries,
                  const std::vector<std::shared_ptr<TableFile>>& tables, bool fingerprinted = true);

class Transaction final : public UndoLog {
  public:
    Transaction() = default;
    ~Transaction() override;  // rolls back what was not committed
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // A table handle is about to change records of file: the transaction keeps the file and
    // the connection's locks on it until it ends.
    void enlist(const std::shared_ptr<TableFile>& file, const std::shared_ptr<TableLocks>& locks);
    // The record is about to change: it stays locked until the end. Throws VE_LOCK_REFUSED.
    // appended: a number just handed out, inside the write that appends it (no dead owner's
    // transaction can hold it, and nothing is looked for meanwhile).
    void hold(const TableFile& file, std::uint32_t recno, bool appended = false);

    // UndoLog.
    void record_before(TableFile& file, std::uint32_t recno,
                       std::optional<std::string_view> stored) override;
    void memo_before(TableFile& file, std::uint32_t recno, std::uint16_t field,
                     std::optional<std::string_view> value) override;
    void record_written(TableFile& file, std::uint32_t recno, std::uint8_t status,
                        const std::uint8_t* image) override;
    void make_durable() override;

    // A savepoint of that name (case-insensitive) after every change so far; one of the same
    // name made before is kept but is no longer found by name.
    void create_savepoint(const std::string& name);
    // Undoes the changes after the savepoint; it and the transaction stay. Throws
    // VE_UNKNOWN_SAVEPOINT.
    void rollback_to(const std::string& name);
    bool has_savepoint(const std::string& name) const;
    // Forgets the newest savepoint of that name and those after it, keeping their changes.
    void release_savepoint(const std::string& name);

    // While batching (one statement that may write many rows), the writes to each table are
    // grouped in synced batches, the journals made durable once before each batch commits
    // rather than once per write. end_batching commits what is left; commit and every
    // rollback end batching first, so nothing is undone or forgotten that is not yet on the
    // disk. The batches belong to the calling thread.
    void begin_batching();
    void end_batching();

    // Both end the transaction and release its locks, also when they fail. A commit that
    // fails before its decision is on the disk rolls the transaction back first and throws
    // the failure, its text saying so (or that the rollback failed too, when its journals are
    // left for recovery); once the decision is on the disk the transaction is committed, and
    // a journal that could not be removed holds that decision.
    void commit();
    void rollback();
    bool ended() const { return ended_; }

  private:
    struct Table {
        std::shared_ptr<TableFile> file;
        std::shared_ptr<TableLocks> locks;
        JournalFile* journal = nullptr;
        std::uint32_t index = 0;
    };
    struct Savepoint {
        std::string name;
        std::size_t entries = 0;
        std::map<JournalFile*, JournalFile::Mark> marks;
    };

    Table& table_of(const TableFile& file);
    JournalFile& journal_for(const std::string& directory);
    void end_batching_before_undo();
    void undo_after(std::size_t first);
    void decide();
    void discard_journals();
    void remove_journals() noexcept;
    void finish();

    std::map<const TableFile*, Table> tables_;
    std::vector<std::shared_ptr<TableFile>> files_;                 // by Table::index
    std::map<std::string, std::unique_ptr<JournalFile>> journals_;  // by directory
    JournalFile* primary_ = nullptr;  // the first journal: where the commit decision goes
    std::vector<UndoEntry> entries_;
    std::vector<Savepoint> savepoints_;
    // What the current savepoint segment has journalled already: only the oldest image of a
    // record or value in a segment is needed to undo it.
    std::set<std::tuple<const TableFile*, std::uint32_t, int>> seen_;
    std::set<std::pair<const TableFile*, std::uint32_t>> appended_;
    bool batching_ = false;
    std::map<const TableFile*, std::unique_ptr<WriteBatch>> batches_;
    bool ended_ = false;
};

}  // namespace varelum::engine
