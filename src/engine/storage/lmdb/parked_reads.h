// Read transactions parked between engine calls, and the process's reaper that ends those
// left idle.
//
// A table handle keeps its read transaction (and so its cursors' places) from one call to
// the next while nothing has been committed since, so that a walk pays no new transaction per
// record. A parked transaction keeps the pages of its snapshot from being reused once a
// writer replaces them, so the reaper, a thread of its own, ends every transaction that has
// stayed parked through one whole sweep: a handle left idle pins old pages for at most two
// sweep intervals (kSweepInterval), whatever the writers do meanwhile.
#pragma once

#include <lmdb.h>

#include <atomic>
#include <chrono>
#include <cstdint>

namespace varelum::engine {

class ParkedRead {
  public:
    static constexpr std::chrono::milliseconds kSweepInterval{100};

    enum State : int {
        kEnded,    // no snapshot: the next use renews the transaction
        kInCall,   // used by its handle's engine call
        kParked,   // between calls, still reading its snapshot
        kReaping,  // being ended by the reaper
    };

    ParkedRead();   // registers with the reaper
    ~ParkedRead();  // unregisters (after which the reaper never touches it)
    ParkedRead(const ParkedRead&) = delete;
    ParkedRead& operator=(const ParkedRead&) = delete;

    // Takes the transaction back for a call: true when it is still parked (its snapshot
    // intact), false when it was ended (by the reaper) and must be renewed.
    bool resume();
    // Marks it taken for a call after a renewal.
    void enter() { state_.store(kInCall, std::memory_order_release); }
    // Leaves it parked at the end of a call.
    void park();
    // Ends it for good (the caller then aborts or commits the transaction).
    void stop();
    bool in_call() const { return state_.load(std::memory_order_acquire) == kInCall; }
    bool parked() const { return state_.load(std::memory_order_acquire) == kParked; }

    // Ends at once every transaction of `env` parked in this process: called after a commit
    // to the file, which their snapshots no longer show and whose replaced pages they pin.
    static void end_parked(MDB_env* env);
    // Rises with every commit of this process (each one ends the parked transactions first):
    // a transaction whose call saw it rise must not be parked, its snapshot is not the latest.
    static std::uint64_t commits() { return commits_.load(std::memory_order_acquire); }

    // The transaction the reaper resets, set by the owner while in a call (the reaper reads
    // it only once it has taken the transaction from kParked).
    MDB_txn* txn = nullptr;
    // Its environment: a commit to any file compares it without taking the transaction, so
    // it is atomic (one seen late leaves that transaction to the reaper's next sweep).
    std::atomic<MDB_env*> env{nullptr};

  private:
    friend class ParkedReadReaper;
    // Called by the reaper under its lock: ends the transaction if it stayed parked since
    // the previous sweep (or at once when `now`).
    void sweep(bool now = false);

    static inline std::atomic<std::uint64_t> commits_{0};
    std::atomic<int> state_{kEnded};
    std::atomic<bool> idle_since_sweep_{false};
};

}  // namespace varelum::engine
