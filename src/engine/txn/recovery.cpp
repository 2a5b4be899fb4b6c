// Rolling back dead owners' journals (see recovery.h).
#include "engine/txn/recovery.h"

#include <fcntl.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "engine/core/error.h"
#include "engine/env/env.h"
#include "engine/env/files.h"
#include "engine/storage/table_store.h"
#include "engine/txn/journal_file.h"
#include "engine/txn/transaction.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            env().close_file(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

struct DirectoryState {
    std::int64_t modified_ns = -1;
    bool journals = false;
};

std::mutex directories_mutex;
std::map<std::string, DirectoryState> directories;

// Whether a dead owner's journal cannot be rolled back here, seen through a read-only look.
bool owner_alive_read_only(const std::string& path) {
    Descriptor fd(env().open_file(path, O_RDONLY));
    if (fd.get() < 0) {
        return -fd.get() == ENOENT;  // gone meanwhile: rolled back by someone else
    }
    return env().lock_range(fd.get(), F_RDLCK, 0, 0) == EAGAIN;
}

// Rolls back one journal unless its owner lives; true when it is still there afterwards.
bool recover_journal(TableStore& store, const std::string& path) {
    Descriptor fd(env().open_file(path, O_RDWR));
    if (fd.get() < 0) {
        int error = -fd.get();
        if (error == ENOENT) {
            return false;
        }
        if ((error == EACCES || error == EROFS || error == EPERM) && owner_alive_read_only(path)) {
            return true;
        }
        fail(VE_UNFINISHED_TRANSACTION, path);
    }
    int error = env().lock_range(fd.get(), F_WRLCK, 0, 0);
    if (error == EAGAIN || error == EACCES) {
        return true;  // its owner lives: its changes are visible as it makes them
    }
    if (error != 0) {
        fail_errno("lock the transaction journal", path, error);
    }
    JournalContents contents = JournalFile::read(fd.get(), path);
    if (!contents.entries.empty()) {
        try {
            std::vector<std::shared_ptr<TableFile>> tables;
            for (const auto& table : contents.tables) {
                try {
                    tables.push_back(store.open(table));
                } catch (const EngineError& missing) {
                    if (missing.code() != VE_TABLE_NOT_FOUND) {
                        throw;
                    }
                    tables.push_back(nullptr);  // deleted since: nothing of it to undo
                }
            }
            undo_entries(contents.entries, tables);
        } catch (const EngineError& failure) {
            fail(VE_UNFINISHED_TRANSACTION, path + ": " + failure.text());
        }
    }
    // Emptied first, so that a crash before the name goes leaves nothing to undo twice.
    error = env().truncate_file(fd.get(), 0);
    if (error == 0) {
        error = env().sync(fd.get());
    }
    if (error != 0) {
        fail_errno("empty the transaction journal", path, error);
    }
    env().remove_file(path);
    return false;
}

}  // namespace

void recover_dead_transactions(TableStore& store, const std::string& directory) {
    FileStatus info;
    if (env().stat_file(directory, info) != 0) {
        return;  // opening the table answers for a missing directory
    }
    std::lock_guard guard(directories_mutex);
    DirectoryState& state = directories[directory];
    if (state.modified_ns == info.modified_ns && !state.journals) {
        return;
    }
    bool remaining = false;
    for (const auto& path : regular_files_with_extension(directory, JournalFile::kExtension)) {
        // This process's own journals are alive as long as it is; it rolls them back itself.
        if (!JournalFile::own(path)) {
            remaining = recover_journal(store, path) || remaining;
        }
    }
    state.modified_ns = info.modified_ns;
    state.journals = remaining;
}

}  // namespace varelum::engine
