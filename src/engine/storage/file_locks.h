// Record, table and open locks of one engine connection on one table file, as Linux
// open-file-description byte-range locks (F_OFD_SETLK) on the table file itself: the
// TableLocks of the stores that keep tables in local files.
//
// Each (connection, file) pair opens the file once more, so the kernel tells connections
// apart even inside one process, and drops every lock of a process that dies. The ranges lie
// far beyond any file size and never touch LMDB's own lock file, whose POSIX locks closing
// any descriptor of it would drop.
//
//   open byte      kOpenLockOffset                 read lock per open, write lock exclusive
//   record n       kRecordLockBase + n             write lock
//   table lock     [kRecordLockBase, +2^32 + 1)    write lock over every record byte
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/table_store.h"

namespace varelum::engine {

constexpr std::int64_t kOpenLockOffset = std::int64_t{1} << 61;
constexpr std::int64_t kRecordLockBase = std::int64_t{1} << 62;
constexpr std::int64_t kTableLockLength = (std::int64_t{1} << 32) + 1;

class FileLocks final : public TableLocks {
  public:
    explicit FileLocks(const std::string& path);  // opens its own descriptor of the file
    ~FileLocks() override;                        // closing it releases every lock
    FileLocks(const FileLocks&) = delete;
    FileLocks& operator=(const FileLocks&) = delete;

    // One more open of the file by this connection; exclusive conflicts with every other
    // open of any connection. Throws VE_TABLE_IN_USE.
    void add_open(bool exclusive) override;
    void remove_open(bool exclusive) override;
    int open_count() const override;
    // Whether this connection's descriptor is the only one with the file open anywhere:
    // tries the exclusive open lock and gives it back unless the connection opened exclusively.
    bool sole_user() override;

    // Throws VE_LOCK_REFUSED when another connection holds the record or the table lock.
    void lock_record(std::uint32_t recno) override;
    // False when this connection does not hold it.
    bool unlock_record(std::uint32_t recno) override;
    bool holds_record(std::uint32_t recno) const override;
    void lock_table() override;  // VE_LOCK_REFUSED while another connection holds any record lock
    bool unlock_table() override;
    bool holds_table() const override;
    std::vector<std::uint32_t> records() const override;
    // Tries a record lock without failing; false when refused.
    bool try_lock_record(std::uint32_t recno) override;

    // Keeps the record locked for the connection's transaction until
    // release_transaction_locks(), whatever unlock_record says meanwhile. Throws
    // VE_LOCK_REFUSED when another connection holds it. appended: a record number just handed
    // out, locked inside the write that appends it (the lock hook is not run).
    void hold_for_transaction(std::uint32_t recno, bool appended) override;
    void release_transaction_locks() override;

    // Runs with the path of the table file each time a connection newly takes a record or
    // the table lock from the kernel, before the caller may change what it covers: a lock
    // that a dead process held may have been free only since it died (the transaction layer
    // rolls back what that process left half done). When it throws, the lock is given back
    // and the failure is the caller's. Set once, before the first lock.
    using LockHook = void (*)(const std::string& path);
    static void set_lock_hook(LockHook hook);

  private:
    bool set_lock(short type, std::int64_t start, std::int64_t length);
    // Runs the lock hook for a lock just taken; give_back undoes the lock if the hook throws.
    template <typename GiveBack>
    void after_new_lock(GiveBack give_back);
    void apply_open_lock();

    mutable std::mutex mutex_;
    int fd_ = -1;
    std::string path_;
    int shared_opens_ = 0;
    int exclusive_opens_ = 0;
    // The open lock this descriptor holds now (-1: not known), so that a second handle on
    // the file asks the kernel for nothing.
    short open_lock_ = -1;
    bool table_locked_ = false;
    std::set<std::uint32_t> records_;
    std::set<std::uint32_t> held_;  // records the connection's transaction changed
};

}  // namespace varelum::engine
