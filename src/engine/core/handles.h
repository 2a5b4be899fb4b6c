// The registry that maps the engine's 32-bit handles to its objects: connections, tables,
// and later indexes, SQL statements and SQL cursors. Closing removes an object; a handle is
// never issued twice, so a closed handle is told apart from one never issued.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

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

// Objects are always owned by shared pointers, so one can hand out a pointer to itself even
// when it is not in the registry (a result cursor's inner table, for example).
class HandleObject : public std::enable_shared_from_this<HandleObject> {
  public:
    virtual ~HandleObject() = default;
    virtual HandleKind kind() const = 0;
    std::uint32_t handle() const { return handle_; }

  private:
    friend class HandleRegistry;
    std::uint32_t handle_ = 0;
};

class HandleRegistry {
  public:
    static HandleRegistry& instance();

    std::uint32_t add(std::shared_ptr<HandleObject> object);
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

  private:
    // Handles start high enough not to pass for small numbers, and never reach all bits set,
    // which the components use for "no handle".
    static constexpr std::uint32_t kFirstHandle = 0x1001;
    std::shared_ptr<HandleObject> find_locked(std::uint32_t handle) const;
    mutable std::mutex mutex_;
    // Rises with every removal: a thread's remembered look-up (handles.cpp) is good only
    // while it has not risen since.
    std::atomic<std::uint64_t> removals_{0};
    std::uint32_t next_ = kFirstHandle;
    std::unordered_map<std::uint32_t, std::shared_ptr<HandleObject>> objects_;
};

}  // namespace varelum::engine
