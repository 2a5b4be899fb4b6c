// Open-file-description locks (see file_locks.h).
#include "engine/storage/file_locks.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "engine/core/error.h"
#include "engine/env/env.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

std::atomic<FileLocks::LockHook> lock_hook{nullptr};

}  // namespace

void FileLocks::set_lock_hook(LockHook hook) {
    lock_hook.store(hook);
}

template <typename GiveBack>
void FileLocks::after_new_lock(GiveBack give_back) {
    // Outside mutex_: the hook may lock and write other tables, and wait for their writers.
    LockHook hook = lock_hook.load();
    if (hook == nullptr) {
        return;
    }
    try {
        hook(path_);
    } catch (...) {
        give_back();
        throw;
    }
}

FileLocks::FileLocks(const std::string& path) : path_(path) {
    fd_ = env().open_file(path, O_RDWR);
    if (fd_ == -EACCES || fd_ == -EROFS) {
        fd_ = env().open_file(path, O_RDONLY);
    }
    if (fd_ < 0) {
        int error = -fd_;
        fd_ = -1;
        fail_errno("open", path, error);
    }
}

FileLocks::~FileLocks() {
    if (fd_ >= 0) {
        env().close_file(fd_);
    }
}

bool FileLocks::set_lock(short type, std::int64_t start, std::int64_t length) {
    int error = env().lock_range(fd_, type, start, length);
    if (error == 0) {
        return true;
    }
    if (error == EAGAIN || error == EACCES) {
        return false;
    }
    if (error == EBADF && type == F_WRLCK) {
        // A descriptor opened read-only cannot hold write locks.
        fail(VE_READ_ONLY, "the table file " + path_ + " cannot be written");
    }
    fail_errno("lock", path_, error);
}

void FileLocks::apply_open_lock() {
    short type = exclusive_opens_ > 0 ? F_WRLCK : shared_opens_ > 0 ? F_RDLCK : F_UNLCK;
    if (type == open_lock_) {
        return;
    }
    open_lock_ = -1;
    if (!set_lock(type, kOpenLockOffset, 1)) {
        fail(VE_TABLE_IN_USE, path_);
    }
    open_lock_ = type;
}

void FileLocks::add_open(bool exclusive) {
    std::lock_guard guard(mutex_);
    (exclusive ? exclusive_opens_ : shared_opens_) += 1;
    try {
        apply_open_lock();
    } catch (...) {
        (exclusive ? exclusive_opens_ : shared_opens_) -= 1;
        throw;
    }
}

void FileLocks::remove_open(bool exclusive) {
    std::lock_guard guard(mutex_);
    int& count = exclusive ? exclusive_opens_ : shared_opens_;
    if (count > 0) {
        --count;
    }
    // Going from exclusive to shared cannot conflict with anyone: nobody else could open.
    try {
        apply_open_lock();
    } catch (const EngineError&) {
        // Only a weaker lock was asked for; keeping the stronger one is harmless.
    }
    if (shared_opens_ + exclusive_opens_ == 0) {
        table_locked_ = false;
        records_.clear();
        set_lock(F_UNLCK, kRecordLockBase, kTableLockLength);
    }
}

int FileLocks::open_count() const {
    std::lock_guard guard(mutex_);
    return shared_opens_ + exclusive_opens_;
}

bool FileLocks::sole_user() {
    std::lock_guard guard(mutex_);
    if (exclusive_opens_ > 0) {
        return true;
    }
    open_lock_ = -1;
    bool alone = set_lock(F_WRLCK, kOpenLockOffset, 1);
    if (alone) {
        set_lock(F_RDLCK, kOpenLockOffset, 1);
    }
    return alone;
}

void FileLocks::lock_record(std::uint32_t recno) {
    if (!try_lock_record(recno)) {
        fail(VE_LOCK_REFUSED, "record " + std::to_string(recno) + " of " + path_);
    }
}

bool FileLocks::try_lock_record(std::uint32_t recno) {
    {
        std::lock_guard guard(mutex_);
        if (records_.count(recno) != 0) {
            return true;
        }
        // Under our own table lock the byte is ours already; taking it again would be a no-op.
        if (held_.count(recno) != 0 || table_locked_) {
            records_.insert(recno);
            return true;
        }
        if (!set_lock(F_WRLCK, kRecordLockBase + recno, 1)) {
            return false;
        }
        records_.insert(recno);
    }
    after_new_lock([&] { unlock_record(recno); });
    return true;
}

bool FileLocks::unlock_record(std::uint32_t recno) {
    std::lock_guard guard(mutex_);
    bool held = held_.count(recno) != 0;
    if (records_.erase(recno) == 0 && !held) {
        return false;
    }
    if (!table_locked_ && !held) {
        set_lock(F_UNLCK, kRecordLockBase + recno, 1);
    }
    return true;
}

bool FileLocks::holds_record(std::uint32_t recno) const {
    std::lock_guard guard(mutex_);
    return table_locked_ || records_.count(recno) != 0 || held_.count(recno) != 0;
}

void FileLocks::hold_for_transaction(std::uint32_t recno, bool appended) {
    {
        std::lock_guard guard(mutex_);
        if (held_.count(recno) != 0) {
            return;
        }
        if (table_locked_ || records_.count(recno) != 0) {
            held_.insert(recno);
            return;
        }
        if (!set_lock(F_WRLCK, kRecordLockBase + recno, 1)) {
            fail(VE_LOCK_REFUSED, "record " + std::to_string(recno) + " of " + path_);
        }
        held_.insert(recno);
    }
    if (!appended) {
        after_new_lock([&] {
            std::lock_guard guard(mutex_);
            held_.erase(recno);
            if (!table_locked_ && records_.count(recno) == 0) {
                set_lock(F_UNLCK, kRecordLockBase + recno, 1);
            }
        });
    }
}

void FileLocks::release_transaction_locks() {
    std::lock_guard guard(mutex_);
    for (std::uint32_t recno : held_) {
        if (!table_locked_ && records_.count(recno) == 0) {
            set_lock(F_UNLCK, kRecordLockBase + recno, 1);
        }
    }
    held_.clear();
}

void FileLocks::lock_table() {
    {
        std::lock_guard guard(mutex_);
        if (table_locked_) {
            return;
        }
        if (!set_lock(F_WRLCK, kRecordLockBase, kTableLockLength)) {
            fail(VE_LOCK_REFUSED, "the table " + path_);
        }
        table_locked_ = true;
    }
    after_new_lock([&] { unlock_table(); });
}

bool FileLocks::unlock_table() {
    std::lock_guard guard(mutex_);
    if (!table_locked_) {
        return false;
    }
    set_lock(F_UNLCK, kRecordLockBase, kTableLockLength);
    table_locked_ = false;
    // Unlocking the range dropped our record locks inside it too; nobody could take them
    // meanwhile, so taking them back cannot fail.
    for (std::uint32_t recno : records_) {
        set_lock(F_WRLCK, kRecordLockBase + recno, 1);
    }
    for (std::uint32_t recno : held_) {
        set_lock(F_WRLCK, kRecordLockBase + recno, 1);
    }
    return true;
}

bool FileLocks::holds_table() const {
    std::lock_guard guard(mutex_);
    return table_locked_;
}

std::vector<std::uint32_t> FileLocks::records() const {
    std::lock_guard guard(mutex_);
    return std::vector<std::uint32_t>(records_.begin(), records_.end());
}

}  // namespace varelum::engine
