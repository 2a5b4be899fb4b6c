// The handle registry (see handles.h).
#include "engine/core/handles.h"

#include "engine/core/error.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

// The handle a thread looked up last: a walk calls the engine on one handle over and over,
// and this answers it without the registry's lock. The weak pointer never keeps a closed
// object alive, and a removal of any handle makes it stale.
struct LastLookUp {
    std::uint32_t handle = 0;
    std::uint64_t removals = 0;
    std::weak_ptr<HandleObject> object;
};

thread_local LastLookUp last_look_up;

}  // namespace

HandleRegistry& HandleRegistry::instance() {
    static HandleRegistry* registry = new HandleRegistry;  // outlives every static user
    return *registry;
}

std::uint32_t HandleRegistry::add(std::shared_ptr<HandleObject> object) {
    std::lock_guard guard(mutex_);
    if (next_ == 0xFFFFFFF0u) {
        fail(VE_INTERNAL_ERROR, "the engine ran out of handles");
    }
    std::uint32_t handle = next_++;
    object->handle_ = handle;
    objects_.emplace(handle, std::move(object));
    return handle;
}

void HandleRegistry::remove(std::uint32_t handle) {
    std::shared_ptr<HandleObject> removed;  // destroyed outside the lock
    {
        std::lock_guard guard(mutex_);
        auto found = objects_.find(handle);
        if (found != objects_.end()) {
            removed = std::move(found->second);
            objects_.erase(found);
            removals_.fetch_add(1, std::memory_order_release);
        }
    }
}

std::shared_ptr<HandleObject> HandleRegistry::find(std::uint32_t handle) const {
    LastLookUp& last = last_look_up;
    const std::uint64_t removals = removals_.load(std::memory_order_acquire);
    if (last.handle == handle && last.removals == removals) {
        if (auto object = last.object.lock()) {
            return object;
        }
    }
    std::shared_ptr<HandleObject> object;
    {
        std::lock_guard guard(mutex_);
        object = find_locked(handle);
    }
    last.handle = handle;
    last.removals = removals;
    last.object = object;
    return object;
}

std::shared_ptr<HandleObject> HandleRegistry::find_locked(std::uint32_t handle) const {
    auto found = objects_.find(handle);
    if (found != objects_.end()) {
        return found->second;
    }
    if (handle >= kFirstHandle && handle < next_) {
        fail(VE_CLOSED_HANDLE, "handle " + std::to_string(handle));
    }
    fail(VE_INVALID_HANDLE, "handle " + std::to_string(handle));
}

std::shared_ptr<HandleObject> HandleRegistry::find(std::uint32_t handle,
                                                   std::initializer_list<HandleKind> kinds) const {
    auto object = find(handle);
    for (HandleKind kind : kinds) {
        if (object->kind() == kind) {
            return object;
        }
    }
    fail(VE_WRONG_HANDLE_KIND, "handle " + std::to_string(handle));
}

std::vector<std::shared_ptr<HandleObject>> HandleRegistry::all(HandleKind kind) const {
    std::lock_guard guard(mutex_);
    std::vector<std::shared_ptr<HandleObject>> result;
    for (const auto& [handle, object] : objects_) {
        if (object->kind() == kind) {
            result.push_back(object);
        }
    }
    return result;
}

}  // namespace varelum::engine
