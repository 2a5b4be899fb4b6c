// The handle registry (see handles.h).
#include "engine/core/handles.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "engine/core/error.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

bool holds_handle(std::uint64_t word, std::uint32_t handle) {
    return HandleSlot::handle_of(word) == handle && (word & HandleSlot::kRegistered) != 0;
}

}  // namespace

HandleRegistry& HandleRegistry::instance() {
    static HandleRegistry* registry = new HandleRegistry;  // outlives every static user
    return *registry;
}

CallLock::CallLock() {
    HandleRegistry& registry = HandleRegistry::instance();
    std::lock_guard guard(registry.mutex_);
    handle_ = registry.take_slot(true);
    slot_ = registry.slot_at(handle_);
}

CallLock::~CallLock() {
    HandleRegistry& registry = HandleRegistry::instance();
    std::lock_guard guard(registry.mutex_);
    registry.free_slot(*slot_);
}

std::uint32_t HandleRegistry::take_slot(bool lockable) {
    std::uint32_t index = 0;
    if (!free_.empty()) {
        index = free_.back();
        free_.pop_back();
    } else {
        if (used_ == kSlots) {
            fail(VE_INTERNAL_ERROR, "the engine ran out of handles");
        }
        index = used_++;
        auto& chunk = chunks_[index >> kChunkBits];
        if (chunk.load(std::memory_order_relaxed) == nullptr) {
            chunk.store(new HandleSlot[kChunkSize], std::memory_order_release);  // never freed
        }
    }
    HandleSlot& slot = *slot_at(index);
    ++slot.generation;
    const std::uint32_t handle = (std::uint32_t{slot.generation} << kSlotBits) | index;
    slot.word.store((std::uint64_t{handle} << 32) | (lockable ? HandleSlot::kLockable : 0),
                    std::memory_order_release);
    return handle;
}

void HandleRegistry::free_slot(HandleSlot& slot) {
    const std::uint32_t index =
        HandleSlot::handle_of(slot.word.load(std::memory_order_relaxed)) & (kSlots - 1);
    // Any handle of the slot now fails its compare-and-swap, whatever the slot holds next.
    slot.word.store(0, std::memory_order_release);
    slot.object = nullptr;
    if (slot.generation < kLastGeneration) {
        free_.push_back(index);
    }
}

std::uint32_t HandleRegistry::add(std::shared_ptr<HandleObject> object) {
    CallLock* lock = object->call_lock();
    std::lock_guard guard(mutex_);
    std::uint32_t handle = 0;
    if (lock != nullptr) {
        handle = lock->handle_;
        if (lock->slot_->issued == (handle >> kSlotBits)) {
            fail(VE_INTERNAL_ERROR, "handle " + std::to_string(handle) + " registered twice");
        }
    } else {
        handle = take_slot(false);
    }
    HandleSlot& slot = *slot_at(handle);
    slot.object = object.get();
    slot.kind = object->kind();
    slot.issued = static_cast<std::uint16_t>(handle >> kSlotBits);
    object->handle_ = handle;
    slot.owner = std::move(object);
    slot.word.fetch_or(HandleSlot::kRegistered, std::memory_order_release);
    return handle;
}

void HandleRegistry::remove(std::uint32_t handle) {
    HandleSlot* slot = slot_at(handle);
    if (slot == nullptr) {
        return;
    }
    std::uint64_t word = slot->word.load(std::memory_order_acquire);
    do {
        if (!holds_handle(word, handle)) {
            return;  // closed already
        }
    } while (!slot->word.compare_exchange_weak(
        word, (word & ~HandleSlot::kRegistered) | HandleSlot::kDoomed, std::memory_order_acq_rel,
        std::memory_order_acquire));
    finish_if_unheld(*slot);
}

void HandleRegistry::finish_if_unheld(HandleSlot& slot) {
    std::uint64_t word = slot.word.load(std::memory_order_acquire);
    if ((word & HandleSlot::kDoomed) == 0) {
        return;
    }
    // A biased call holds the object without a mark in the word: the owner knows its own
    // calls; anyone else ends the bias first, so that none starts again, and waits for the
    // call that may be running.
    if ((word & HandleSlot::kLockable) != 0) {
        const std::uintptr_t owner = slot.bias_owner.load(std::memory_order_acquire);
        if (owner == current_thread_token()) {
            if (slot.owner_busy.load(std::memory_order_relaxed) != 0) {
                return;  // closed inside the owner's call: leave_biased finishes
            }
        } else if (owner != 0) {
            if (!revoke_bias(slot)) {
                return;  // kept for good rather than freed under a call that may hold it
            }
            wait_while_owner_busy(slot);
        }
    }
    do {
        if ((word & HandleSlot::kDoomed) == 0 ||
            (word & (HandleSlot::kPins | HandleSlot::kLocked)) != 0) {
            return;  // not removed, or the last hold lets it go later
        }
    } while (!slot.word.compare_exchange_weak(
        word, word & ~HandleSlot::kDoomed, std::memory_order_acq_rel, std::memory_order_acquire));
    std::shared_ptr<HandleObject> owner;  // let go outside the lock
    {
        std::lock_guard guard(mutex_);
        owner = std::move(slot.owner);
        if ((word & HandleSlot::kLockable) != 0) {
            slot.object = nullptr;  // the slot stays the object's call lock until it goes
        } else {
            free_slot(slot);
        }
    }
}

void HandleRegistry::lock_word(HandleSlot& slot, std::uint32_t handle, bool registered) {
    std::uint64_t word = slot.word.load(std::memory_order_relaxed);
    for (;;) {
        if (HandleSlot::handle_of(word) != handle ||
            (registered && (word & HandleSlot::kRegistered) == 0)) {
            instance().fail_look_up(handle);
        }
        if ((word & HandleSlot::kLocked) == 0) {
            if (slot.word.compare_exchange_weak(word, word | HandleSlot::kLocked,
                                                std::memory_order_acquire,
                                                std::memory_order_relaxed)) {
                settle_bias(slot);
                return;
            }
            continue;
        }
        if ((word & HandleSlot::kWaiters) == 0) {
            if (!slot.word.compare_exchange_weak(word, word | HandleSlot::kWaiters,
                                                 std::memory_order_relaxed,
                                                 std::memory_order_relaxed)) {
                continue;
            }
            word |= HandleSlot::kWaiters;
        }
        slot.word.wait(word, std::memory_order_relaxed);
        word = slot.word.load(std::memory_order_relaxed);
    }
}

void HandleRegistry::unlock_word(HandleSlot& slot) {
    const std::uint64_t word = slot.word.fetch_and(~(HandleSlot::kLocked | HandleSlot::kWaiters),
                                                   std::memory_order_acq_rel);
    if ((word & HandleSlot::kWaiters) != 0) {
        slot.word.notify_all();
    }
    if ((word & HandleSlot::kDoomed) != 0) {
        instance().finish_if_unheld(slot);
    }
}

void HandleRegistry::settle_bias(HandleSlot& slot) {
    const std::uintptr_t self = current_thread_token();
    std::uintptr_t owner = slot.bias_owner.load(std::memory_order_acquire);
    if (owner == 0) {
        // The first locker: no biased call can start meanwhile, as biasing needs the word.
        if (process_barrier_available()) {
            slot.bias_owner.compare_exchange_strong(owner, self, std::memory_order_release,
                                                    std::memory_order_relaxed);
        }
        return;
    }
    if (owner != self && !revoke_bias(slot)) {
        unlock_word(slot);
        fail(VE_INTERNAL_ERROR,
             "the system refused the memory barrier that sharing a table "
             "handle between threads needs");
    }
    // Also once revoked by someone else: the owner's call may still be running.
    wait_while_owner_busy(slot);
}

bool HandleRegistry::revoke_bias(HandleSlot& slot) {
    std::uintptr_t owner = slot.bias_owner.load(std::memory_order_acquire);
    for (;;) {
        if (owner == 0 || owner == HandleSlot::kBiasRevoked) {
            return true;
        }
        // Everyone who finds it revoking forces the barrier too: until one has returned, the
        // owner may not have seen the mark, nor its own mark have reached this thread.
        if (owner == HandleSlot::kBiasRevoking ||
            slot.bias_owner.compare_exchange_weak(owner, HandleSlot::kBiasRevoking,
                                                  std::memory_order_acq_rel,
                                                  std::memory_order_acquire)) {
            break;
        }
    }
    if (!process_barrier()) {
        return false;  // left revoking: every later locker tries again, and fails the same way
    }
    slot.bias_owner.store(HandleSlot::kBiasRevoked, std::memory_order_release);
    return true;
}

void HandleRegistry::wait_while_owner_busy(const HandleSlot& slot) {
    // The owner's call may be long (a pack) and a bias ends once per handle: a few yields,
    // then sleeps growing to a millisecond. Acquire: the call's work comes before ours.
    for (unsigned round = 0; slot.owner_busy.load(std::memory_order_acquire) != 0; ++round) {
        if (round < 64) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::min(1000u, 16u << std::min(round - 64, 6u))));
        }
    }
}

void HandleRegistry::unpin_word(HandleSlot& slot) {
    const std::uint64_t word = slot.word.fetch_sub(1, std::memory_order_acq_rel);
    if ((word & HandleSlot::kDoomed) != 0) {
        instance().finish_if_unheld(slot);
    }
}

HandleRegistry::Hold HandleRegistry::hold_slot(std::uint32_t handle, bool lock) const {
    HandleSlot* slot = slot_at(handle);
    if (slot == nullptr) {
        fail_look_up(handle);
    }
    std::uint64_t word = slot->word.load(std::memory_order_acquire);
    if (lock && (word & HandleSlot::kLockable) != 0) {
        lock_word(*slot, handle, true);
        return Hold(slot, Hold::Way::Locked);
    }
    do {
        if (!holds_handle(word, handle)) {
            fail_look_up(handle);
        }
    } while (!slot->word.compare_exchange_weak(word, word + 1, std::memory_order_acquire,
                                               std::memory_order_acquire));
    return Hold(slot, Hold::Way::Pinned);
}

void HandleRegistry::fail_kind(std::uint32_t handle) {
    fail(VE_WRONG_HANDLE_KIND, "handle " + std::to_string(handle));
}

HandleRegistry::Hold HandleRegistry::pin(std::uint32_t handle,
                                         std::initializer_list<HandleKind> kinds) const {
    Hold hold = hold_slot(handle, false);
    check_kind(hold, handle, kinds);
    return hold;
}

bool HandleRegistry::table_flags(std::uint32_t handle, std::uint8_t& flags) const {
    HandleSlot* slot = slot_at(handle);
    if (slot == nullptr) {
        fail_look_up(handle);
    }
    const std::uint64_t before = slot->word.load(std::memory_order_acquire);
    if (!holds_handle(before, handle)) {
        fail_look_up(handle);
    }
    if ((before & HandleSlot::kLockable) == 0) {
        return false;
    }
    flags = slot->table_flags.load(std::memory_order_acquire);
    // Read after the flags: the same handle still registered means they were its own.
    if (!holds_handle(slot->word.load(std::memory_order_acquire), handle)) {
        fail_look_up(handle);
    }
    return true;
}

void HandleRegistry::fail_look_up(std::uint32_t handle) const {
    const std::uint32_t generation = handle >> kSlotBits;
    bool issued = false;
    if (HandleSlot* slot = slot_at(handle); slot != nullptr && generation != 0) {
        std::lock_guard guard(mutex_);
        issued = generation <= slot->issued;
    }
    fail(issued ? VE_CLOSED_HANDLE : VE_INVALID_HANDLE, "handle " + std::to_string(handle));
}

std::shared_ptr<HandleObject> HandleRegistry::find(std::uint32_t handle) const {
    Hold hold = hold_slot(handle, false);
    return hold.slot_->owner;
}

std::shared_ptr<HandleObject> HandleRegistry::find(std::uint32_t handle,
                                                   std::initializer_list<HandleKind> kinds) const {
    Hold hold = pin(handle, kinds);
    return hold.slot_->owner;
}

std::vector<std::shared_ptr<HandleObject>> HandleRegistry::all(HandleKind kind) const {
    std::lock_guard guard(mutex_);
    std::vector<std::shared_ptr<HandleObject>> result;
    for (std::uint32_t index = 0; index < used_; ++index) {
        const HandleSlot& slot = *slot_at(index);
        if ((slot.word.load(std::memory_order_acquire) & HandleSlot::kRegistered) != 0 &&
            slot.kind == kind && slot.owner != nullptr) {
            result.push_back(slot.owner);
        }
    }
    return result;
}

}  // namespace varelum::engine
