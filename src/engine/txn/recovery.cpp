// Rolling back dead owners' journals (see recovery.h).
#include "engine/txn/recovery.h"

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>

#include "engine/core/error.h"
#include "engine/env/env.h"
#include "engine/env/files.h"
#include "engine/storage/file_locks.h"
#include "engine/storage/table_file.h"
#include "engine/storage/table_store.h"
#include "engine/txn/journal_file.h"
#include "engine/txn/transaction.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

class Descriptor {
  public:
    Descriptor() = default;
    ~Descriptor() { reset(-1); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) {
            env().close_file(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

struct DirectoryState {
    std::int64_t modified_ns = -1;
    std::int64_t looked_ns = 0;  // when the last look began
    bool journals = false;
};

std::mutex directories_mutex;
std::map<std::string, DirectoryState> directories;

// The wall clock as the file system stamps times (not the engine's clock, which a test may stop).
std::int64_t wall_clock_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A folder's time moves in the file system's clock ticks, so a journal made in the same tick
// as a change just before a look leaves it unchanged: a look is trusted only once it began
// well after the folder's last change.
constexpr std::int64_t kTickMarginNs = 50'000'000;

// Whether a dead owner's journal cannot be rolled back here, seen through a read-only look.
bool owner_alive_read_only(const std::string& path) {
    Descriptor fd;
    fd.reset(env().open_file(path, O_RDONLY));
    if (fd.get() < 0) {
        return -fd.get() == ENOENT;  // gone meanwhile: rolled back by someone else
    }
    return env().lock_range(fd.get(), F_RDLCK, 0, 0) == EAGAIN;
}

enum class Claim {
    Gone,  // no such journal (any more)
    Held,  // its owner lives, or another process is recovering it
    Ours,  // opened for writing and locked by this call
};

// Opens the journal at path and takes its lock as its owner held it. Throws
// VE_UNFINISHED_TRANSACTION when a dead owner's journal cannot be written by this process.
Claim claim(const std::string& path, Descriptor& fd) {
    fd.reset(env().open_file(path, O_RDWR));
    if (fd.get() < 0) {
        int error = -fd.get();
        if (error == ENOENT) {
            return Claim::Gone;
        }
        if ((error == EACCES || error == EROFS || error == EPERM) && owner_alive_read_only(path)) {
            return Claim::Held;
        }
        fail(VE_UNFINISHED_TRANSACTION, path);
    }
    int error = env().lock_range(fd.get(), F_WRLCK, 0, 0);
    if (error == EAGAIN || error == EACCES) {
        return Claim::Held;
    }
    if (error != 0) {
        fail_errno("lock the transaction journal", path, error);
    }
    return Claim::Ours;
}

// Emptied first, so that a crash before the name goes leaves nothing to undo twice.
void empty_and_remove(const Descriptor& fd, const std::string& path) {
    int error = env().truncate_file(fd.get(), 0);
    if (error == 0) {
        error = env().sync(fd.get());
    }
    if (error != 0) {
        fail_errno("empty the transaction journal", path, error);
    }
    env().remove_file(path);
}

// store: the connection's, or nullptr when recovery runs for a lock, which knows only the
// table's path: a store for the journal's own folder is made then.
void undo_journal(TableStore* store, const JournalContents& contents, const std::string& path) {
    if (WriteBatch::open_in_thread()) {
        // Its tables may be among those the batch holds open for writing; undoing them inside
        // the batch would tie the rollback to the batch's fate.
        fail(VE_UNFINISHED_TRANSACTION,
             path + ": a process ended inside a transaction; try again after this statement");
    }
    try {
        std::unique_ptr<TableStore> made;
        if (store == nullptr) {
            made = make_table_store(parent_directory(path), VE_SERVER_LOCAL);
            store = made.get();
        }
        std::vector<std::shared_ptr<TableFile>> tables;
        for (const auto& table : contents.tables) {
            try {
                tables.push_back(store->open(table));
            } catch (const EngineError& missing) {
                if (missing.code() != VE_TABLE_NOT_FOUND) {
                    throw;
                }
                tables.push_back(nullptr);  // deleted since: nothing of it to undo
            }
        }
        undo_entries(contents.entries, tables, contents.fingerprinted);
    } catch (const EngineError& failure) {
        fail(VE_UNFINISHED_TRANSACTION, path + ": " + failure.text());
    }
}

// Rolls back (or finishes committing) one journal unless its owner lives; true when it is
// still there afterwards.
bool recover_journal(TableStore* store, const std::string& path) {
    Descriptor fd;
    switch (claim(path, fd)) {
        case Claim::Gone:
            return false;
        case Claim::Held:
            return true;
        case Claim::Ours:
            break;
    }
    JournalContents contents = JournalFile::read(fd.get(), path);
    bool undo = !contents.entries.empty();
    Descriptor primary;  // held locked until this journal is settled
    if (contents.primary) {
        // A second folder of the transaction: the decision is the first folder's.
        switch (claim(*contents.primary, primary)) {
            case Claim::Gone:
                break;  // rolled back there (it goes only after every other folder's journal)
            case Claim::Held:
                return true;  // its owner's last moments, or its own recovery: next time
            case Claim::Ours:
                undo = undo && !JournalFile::read(primary.get(), *contents.primary).committed;
                break;
        }
    } else if (contents.committed) {
        // The decision was made: the other folders' journals go, undone nowhere, before this
        // one, which tells them apart from a rolled-back transaction's until then.
        undo = false;
        for (const auto& secondary : contents.secondaries) {
            Descriptor other;
            switch (claim(secondary, other)) {
                case Claim::Gone:
                    continue;
                case Claim::Held:
                    return true;
                case Claim::Ours:
                    empty_and_remove(other, secondary);
                    break;
            }
        }
    }
    if (undo) {
        undo_journal(store, contents, path);
    }
    empty_and_remove(fd, path);
    return false;
}

// A connection newly holds a lock of the table at path: a dead owner's transaction there is
// rolled back before the lock's holder can change what the owner held.
void recover_in(TableStore* store, const std::string& directory);

void recover_before_change(const std::string& path) {
    recover_in(nullptr, parent_directory(path));
}

[[maybe_unused]] const bool kLockHookInstalled = [] {
    FileLocks::set_lock_hook(&recover_before_change);
    return true;
}();

void recover_in(TableStore* store, const std::string& directory) {
    const std::int64_t looked_ns = wall_clock_ns();
    FileStatus info;
    if (env().stat_file(directory, info) != 0) {
        return;  // opening the table answers for a missing directory
    }
    {
        std::lock_guard guard(directories_mutex);
        const DirectoryState& state = directories[directory];
        if (state.modified_ns == info.modified_ns && !state.journals &&
            info.modified_ns + kTickMarginNs < state.looked_ns) {
            return;
        }
    }
    // Not under the mutex: recovery waits for the tables' writers, and a thread that holds a
    // table's writes open may ask for a lock meanwhile. Two threads recovering one journal
    // are kept apart by its lock.
    bool remaining = false;
    for (const auto& path : regular_files_with_extension(directory, JournalFile::kExtension)) {
        // This process's own journals are alive as long as it is; it rolls them back itself.
        if (!JournalFile::own(path)) {
            remaining = recover_journal(store, path) || remaining;
        }
    }
    std::lock_guard guard(directories_mutex);
    directories[directory] = DirectoryState{info.modified_ns, looked_ns, remaining};
}

}  // namespace

void recover_dead_transactions(TableStore& store, const std::string& directory) {
    recover_in(&store, directory);
}

}  // namespace varelum::engine
