// Parked read transactions and their reaper (see parked_reads.h).
#include "engine/storage/lmdb/parked_reads.h"

#include <pthread.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/env/process_id.h"

namespace varelum::engine {

class ParkedReadReaper {
  public:
    static ParkedReadReaper& instance() {
        static auto* reaper = [] {
            auto* made = new ParkedReadReaper;  // used by handles until the process ends
            // A child forked while the reaper held its lock would find it locked for ever.
            ::pthread_atfork([] { instance().mutex_.lock(); }, [] { instance().mutex_.unlock(); },
                             [] { instance().mutex_.unlock(); });
            return made;
        }();
        return *reaper;
    }

    void add(ParkedRead* read) {
        std::lock_guard guard(mutex_);
        reads_.push_back(read);
        // One thread per process; a forked child has none of its parent's threads.
        if (started_for_ != current_process_id()) {
            started_for_ = current_process_id();
            std::thread([this] { run(); }).detach();
        }
    }

    void remove(ParkedRead* read) {
        std::lock_guard guard(mutex_);
        std::erase(reads_, read);
    }

    void end_parked(MDB_env* env) {
        std::lock_guard guard(mutex_);
        for (ParkedRead* read : reads_) {
            if (read->env.load(std::memory_order_relaxed) == env) {
                read->sweep(true);
            }
        }
    }

  private:
    [[noreturn]] void run() {
        for (;;) {
            std::this_thread::sleep_for(ParkedRead::kSweepInterval);
            std::lock_guard guard(mutex_);
            for (ParkedRead* read : reads_) {
                read->sweep();
            }
        }
    }

    std::mutex mutex_;
    std::vector<ParkedRead*> reads_;
    pid_t started_for_ = 0;
};

ParkedRead::ParkedRead() {
    ParkedReadReaper::instance().add(this);
}

ParkedRead::~ParkedRead() {
    ParkedReadReaper::instance().remove(this);
}

bool ParkedRead::resume() {
    int expected = kParked;
    if (state_.compare_exchange_strong(expected, kInCall, std::memory_order_acquire)) {
        idle_since_sweep_.store(false, std::memory_order_relaxed);
        return true;
    }
    while (expected == kReaping) {
        std::this_thread::yield();
        expected = state_.load(std::memory_order_acquire);
    }
    return false;
}

void ParkedRead::park() {
    idle_since_sweep_.store(false, std::memory_order_relaxed);
    state_.store(kParked, std::memory_order_release);
}

void ParkedRead::stop() {
    for (;;) {
        int state = state_.load(std::memory_order_acquire);
        if (state == kReaping) {
            std::this_thread::yield();
            continue;
        }
        if (state_.compare_exchange_weak(state, kEnded, std::memory_order_acq_rel)) {
            return;
        }
    }
}

void ParkedRead::end_parked(MDB_env* env) {
    commits_.fetch_add(1, std::memory_order_acq_rel);
    ParkedReadReaper::instance().end_parked(env);
}

void ParkedRead::sweep(bool now) {
    if (state_.load(std::memory_order_acquire) != kParked) {
        return;
    }
    if (!idle_since_sweep_.exchange(true, std::memory_order_relaxed) && !now) {
        return;  // parked since this sweep only: ended at the next one if still idle
    }
    int expected = kParked;
    if (state_.compare_exchange_strong(expected, kReaping, std::memory_order_acquire)) {
        // Its reader slot goes; the transaction object stays for a cheap renewal.
        mdb_txn_reset(txn);
        state_.store(kEnded, std::memory_order_release);
    }
}

}  // namespace varelum::engine
