// The registry that maps the engine's 32-bit handles to its objects: connections, tables,
// indexes, SQL statements and SQL cursors. Closing removes an object; a handle is never issued
// twice, so a closed handle is told apart from one never issued.
//
// A handle names a slot of a table that is never freed and the generation of that slot, so a
// look-up is an index and one atomic word per slot, without a lock or a map. The word carries
// the slot's current handle, whether it is registered, the momentary pins of look-ups and, for
// a table, the call lock of its engine calls: a walk's call takes the lock with one
// compare-and-swap and gives it back with one atomic and (on the thread the lock is biased
// to, below, with plain loads and stores), and holding it keeps the object alive. A removal
// never waits (but for the end of a bias, below): the object goes with the last hold on it.
//
// A table's call lock is biased to the first thread that takes it: while no other thread has
// needed it, that thread's calls mark themselves in owner_busy, a byte only it writes, with
// plain stores and a compiler barrier, and touch the word only to read it. The first other
// thread that locks the slot, or that would let its object go, revokes the bias for good: it
// marks the slot, forces a barrier on every thread of the process (env/process_barrier.h) and waits
// for a call the owner is in to end. The owner stores its mark and then reads the bias; the
// revoker stores its mark and then reads owner_busy, with a full barrier between on both sides
// (the owner's is the forced one), so one of them sees the other's mark: the owner gives up its
// way in, or the revoker waits for its call. Without the forced barrier nothing is biased.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "engine/env/process_barrier.h"

namespace varelum::engine {

// The values are AdsGetHandleType's answers.
enum class HandleKind : std::uint16_t {
    Connection = 1,
    Table = 2,
    Index = 3,
    Statement = 4,
    Cursor = 5,
    TableSearch = 6,
    DictionaryFind = 7,  // an enumeration of a data dictionary's objects
};

class HandleObject;

// One slot of the registry. Its word: the slot's handle in the upper half, then the flags
// below, then the count of pins.
struct HandleSlot {
    static constexpr std::uint64_t kRegistered = 1ull << 31;  // the handle is open
    static constexpr std::uint64_t kDoomed = 1ull << 30;      // removed; the last hold frees it
    static constexpr std::uint64_t kLocked = 1ull << 29;      // a call holds the object
    static constexpr std::uint64_t kWaiters = 1ull << 28;     // a caller waits for the lock
    static constexpr std::uint64_t kLockable = 1ull << 27;    // the slot is an object's call lock
    static constexpr std::uint64_t kPins = (1ull << 27) - 1;

    static std::uint32_t handle_of(std::uint64_t word) {
        return static_cast<std::uint32_t>(word >> 32);
    }

    // The thread the call lock is biased to (current_thread_token), 0 while none is, then
    // kBiasRevoking and kBiasRevoked when it ended. It only moves forward, also when the slot
    // is taken again, so no thread but the one named ever writes owner_busy.
    static constexpr std::uintptr_t kBiasRevoking = 1;  // the barrier is being forced
    static constexpr std::uintptr_t kBiasRevoked = 2;   // forced: no biased call starts again

    std::atomic<std::uint64_t> word{0};
    std::atomic<std::uintptr_t> bias_owner{0};
    // 1 while the bias owner is inside a call it entered without the word.
    std::atomic<std::uint8_t> owner_busy{0};
    // What the table's last call left (CallLock::publish), for answers that need no lock.
    std::atomic<std::uint8_t> table_flags{0};
    // Set while registered; read only under a hold.
    HandleObject* object = nullptr;
    HandleKind kind = HandleKind::Connection;
    // Owned by the registry's mutex.
    std::shared_ptr<HandleObject> owner;
    std::uint16_t generation = 0;  // of the slot's latest handle
    std::uint16_t issued = 0;      // the latest generation handed out as a handle
};

// The exclusion of one object's engine calls (a table's), kept in a registry slot that the
// object reserves for its life: a call through the object's handle takes it from the slot
// directly, other callers (an index handle's call, SQL) through the object.
class CallLock {
  public:
    CallLock();
    ~CallLock();
    CallLock(const CallLock&) = delete;
    CallLock& operator=(const CallLock&) = delete;

    void lock();  // waits while another thread holds it
    void unlock();
    // Leaves the object's state for HandleRegistry::table_flags; called with the lock held.
    void publish(std::uint8_t flags) { slot_->table_flags.store(flags, std::memory_order_release); }

  private:
    friend class HandleRegistry;
    HandleSlot* slot_;
    std::uint32_t handle_;  // the handle the object gets when it is registered
    bool biased_ = false;   // how the holder took it; read and written only by the holder
};

// Objects are always owned by shared pointers, so one can hand out a pointer to itself even
// when it is not in the registry (a result cursor's inner table, for example).
class HandleObject : public std::enable_shared_from_this<HandleObject> {
  public:
    virtual ~HandleObject() = default;
    virtual HandleKind kind() const = 0;
    std::uint32_t handle() const { return handle_; }
    // The lock every engine call on the object holds; nullptr for objects that need none.
    virtual CallLock* call_lock() { return nullptr; }

  private:
    friend class HandleRegistry;
    std::uint32_t handle_ = 0;
};

class HandleRegistry {
  public:
    static HandleRegistry& instance();

    std::uint32_t add(std::shared_ptr<HandleObject> object);
    // Closes the handle at once; the object is let go when the last call holding it ends.
    void remove(std::uint32_t handle);
    // Throws VE_INVALID_HANDLE or VE_CLOSED_HANDLE.
    std::shared_ptr<HandleObject> find(std::uint32_t handle) const;
    // As find, and VE_WRONG_HANDLE_KIND unless the object is of one of the kinds.
    std::shared_ptr<HandleObject> find(std::uint32_t handle,
                                       std::initializer_list<HandleKind> kinds) const;
    template <typename T>
    std::shared_ptr<T> get(std::uint32_t handle) const {
        return std::static_pointer_cast<T>(find(handle, {T::kKind}));
    }
    std::vector<std::shared_ptr<HandleObject>> all(HandleKind kind) const;
    // The flags a table handle's last call published, read without pin or lock (the slot's
    // memory is never freed, and the handle is checked again after the read); false when the
    // handle is registered but has no call lock (not a table). Throws as find.
    bool table_flags(std::uint32_t handle, std::uint8_t& flags) const;

    // A handle held for the length of one engine call: the object stays alive (a removal
    // meanwhile takes effect when the hold ends).
    class Hold {
      public:
        Hold() = default;
        Hold(Hold&& other) noexcept
            : slot_(std::exchange(other.slot_, nullptr)), way_(other.way_) {}
        Hold& operator=(Hold&& other) noexcept {
            if (this != &other) {
                release();
                slot_ = std::exchange(other.slot_, nullptr);
                way_ = other.way_;
            }
            return *this;
        }
        ~Hold() { release(); }
        HandleObject* object() const { return slot_->object; }
        HandleKind kind() const { return slot_->kind; }
        // Whether the hold is the object's call lock too.
        bool locked() const { return way_ != Way::Pinned; }

      private:
        friend class HandleRegistry;
        enum class Way : std::uint8_t { Pinned, Locked, Biased };
        Hold(HandleSlot* slot, Way way) : slot_(slot), way_(way) {}
        void release();

        HandleSlot* slot_ = nullptr;
        Way way_ = Way::Pinned;
    };
    // Holds the handle for a call. An object with a call lock is held by taking that lock
    // (waiting for another thread's call on it), anything else by a pin. Throws as find.
    Hold enter(std::uint32_t handle, std::initializer_list<HandleKind> kinds) const;
    // Holds the handle by a pin only, for a caller that takes the object's lock itself.
    Hold pin(std::uint32_t handle, std::initializer_list<HandleKind> kinds) const;

  private:
    friend class CallLock;
    static constexpr unsigned kSlotBits = 16;
    static constexpr std::uint32_t kSlots = 1u << kSlotBits;
    static constexpr unsigned kChunkBits = 8;
    static constexpr std::uint32_t kChunkSize = 1u << kChunkBits;
    // Generations stop short of all bits set, so no handle is ever 0xFFFFFFFF, which the
    // components use for "no handle"; a slot whose generations are used up is never reused.
    static constexpr std::uint16_t kLastGeneration = 0xFFFE;

    HandleSlot* slot_at(std::uint32_t handle) const {
        const std::uint32_t index = handle & (kSlots - 1);
        HandleSlot* chunk = chunks_[index >> kChunkBits].load(std::memory_order_acquire);
        return chunk == nullptr ? nullptr : chunk + (index & (kChunkSize - 1));
    }
    // Pins, or locks when the slot is a call lock and `lock`, the slot of a registered
    // handle; throws for a closed or unknown one.
    Hold hold_slot(std::uint32_t handle, bool lock) const;
    void check_kind(const Hold& hold, std::uint32_t handle,
                    std::initializer_list<HandleKind> kinds) const {
        for (HandleKind kind : kinds) {
            if (hold.kind() == kind) {
                return;
            }
        }
        fail_kind(handle);
    }
    [[noreturn]] static void fail_kind(std::uint32_t handle);
    [[noreturn]] void fail_look_up(std::uint32_t handle) const;
    // Takes a free slot with a new generation (under mutex_); answers its handle.
    std::uint32_t take_slot(bool lockable);
    void free_slot(HandleSlot& slot);  // under mutex_
    // Lets the object of a removed handle go once nothing holds it any more.
    void finish_if_unheld(HandleSlot& slot);
    static void lock_word(HandleSlot& slot, std::uint32_t handle, bool registered);
    static void unlock_word(HandleSlot& slot);
    static void unpin_word(HandleSlot& slot);
    // The bias owner's way into a call: true when the calling thread owns the slot's bias and
    // the slot is a call lock that still holds `handle` (registered, if asked); owner_busy then
    // marks the call until leave_biased.
    static bool enter_biased(HandleSlot& slot, std::uint32_t handle, bool registered);
    static void leave_biased(HandleSlot& slot);
    // After the lock word was taken: makes the first locker the bias owner, or ends another
    // thread's bias and waits for the call it is in. Throws, the word given back, only where
    // the kernel refuses the barrier that ending a bias needs.
    static void settle_bias(HandleSlot& slot);
    // Ends the slot's bias for good; a call its owner is in shows in owner_busy afterwards.
    // False when no barrier could be forced.
    static bool revoke_bias(HandleSlot& slot);
    static void wait_while_owner_busy(const HandleSlot& slot);

    mutable std::mutex mutex_;
    std::atomic<HandleSlot*> chunks_[kSlots / kChunkSize] = {};
    std::uint32_t used_ = 0;           // slots ever taken
    std::vector<std::uint32_t> free_;  // slots to take again
};

inline bool HandleRegistry::enter_biased(HandleSlot& slot, std::uint32_t handle, bool registered) {
    const std::uintptr_t self = current_thread_token();
    // A nested call by the owner takes the word, and waits there as a nested lock always did.
    if (slot.bias_owner.load(std::memory_order_relaxed) != self ||
        slot.owner_busy.load(std::memory_order_relaxed) != 0) {
        return false;
    }
    slot.owner_busy.store(1, std::memory_order_relaxed);
    // The mark before the bias is read again: the compiler keeps this order, and a revoker's
    // forced barrier stands in for the processor's fence (see the top of this file).
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const std::uint64_t word = slot.word.load(std::memory_order_acquire);
    if (slot.bias_owner.load(std::memory_order_relaxed) == self &&
        HandleSlot::handle_of(word) == handle && (word & HandleSlot::kLockable) != 0 &&
        (!registered || (word & HandleSlot::kRegistered) != 0)) {
        return true;
    }
    slot.owner_busy.store(0, std::memory_order_release);
    return false;
}

inline void HandleRegistry::leave_biased(HandleSlot& slot) {
    // Release: what the call did comes before whatever a revoker that sees 0 does next.
    slot.owner_busy.store(0, std::memory_order_release);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if ((slot.word.load(std::memory_order_relaxed) & HandleSlot::kDoomed) != 0) {
        instance().finish_if_unheld(slot);  // closed during the call
    }
}

inline void HandleRegistry::Hold::release() {
    if (slot_ != nullptr) {
        switch (way_) {
            case Way::Biased:
                leave_biased(*slot_);
                break;
            case Way::Locked:
                unlock_word(*slot_);
                break;
            case Way::Pinned:
                unpin_word(*slot_);
                break;
        }
        slot_ = nullptr;
    }
}

inline HandleRegistry::Hold HandleRegistry::enter(std::uint32_t handle,
                                                  std::initializer_list<HandleKind> kinds) const {
    if (HandleSlot* slot = slot_at(handle); slot != nullptr && enter_biased(*slot, handle, true)) {
        Hold hold(slot, Hold::Way::Biased);
        check_kind(hold, handle, kinds);
        return hold;
    }
    Hold hold = hold_slot(handle, true);
    check_kind(hold, handle, kinds);
    return hold;
}

inline void CallLock::lock() {
    if (HandleRegistry::enter_biased(*slot_, handle_, false)) {
        biased_ = true;
        return;
    }
    HandleRegistry::lock_word(*slot_, handle_, false);
    biased_ = false;
}

inline void CallLock::unlock() {
    if (biased_) {
        HandleRegistry::leave_biased(*slot_);
    } else {
        HandleRegistry::unlock_word(*slot_);
    }
}

}  // namespace varelum::engine
