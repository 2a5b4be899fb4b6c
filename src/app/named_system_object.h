// A named object of the user's own with the first-creator-wins property, the single-instance
// guard's stand-in for a session-local named kernel semaphore: an abstract-namespace Unix domain
// socket bound to the name within the user's scope (the address carries the user id). Whoever
// binds a name first holds it for as long as the socket stays open; every later attempt, from
// any process of the same user, learns that the name exists, while another user's processes
// bind a name of their own. The kernel drops the name when its last descriptor closes, which
// includes the end of the holding process however it ends (exit, crash, SIGKILL), so a dead copy
// never leaves a stale name behind.
//
// The abstract namespace belongs to the network namespace: processes that share one (the
// normal case on a desktop, across all users) share the addresses, which is why the user id is
// part of each. The kernel keeps the names of each socket type apart; these objects are stream
// sockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varelum::app {

// The system's answer "an object of that name already exists".
inline constexpr std::uint32_t ErrorAlreadyExists = 183;

// The most bytes an abstract socket name can have on Linux (the socket address's path less its
// leading zero byte).
inline constexpr std::size_t MaxAbstractNameLength = 107;

// An owned handle of a named system object (a socket descriptor), closed when destroyed.
class TSystemHandle {
  public:
    TSystemHandle() noexcept = default;
    explicit TSystemHandle(int descriptor) noexcept : FDescriptor(descriptor) {}
    ~TSystemHandle() { Close(); }

    TSystemHandle(TSystemHandle&& other) noexcept : FDescriptor(other.Release()) {}
    TSystemHandle& operator=(TSystemHandle&& other) noexcept;
    TSystemHandle(const TSystemHandle&) = delete;
    TSystemHandle& operator=(const TSystemHandle&) = delete;

    bool Valid() const noexcept { return FDescriptor >= 0; }
    int Descriptor() const noexcept { return FDescriptor; }

    // Closes the handle now; a named object whose last handle this was is gone afterwards.
    void Close() noexcept;

    // Gives up ownership: the descriptor stays open and is no longer closed by this object.
    int Release() noexcept;

  private:
    int FDescriptor = -1;
};

struct TNamedObjectResult {
    // Valid unless the creation failed. With ErrorAlreadyExists it is a handle that does not
    // hold the name (the caller closes it); with 0 it holds the name while it stays open.
    TSystemHandle Handle;
    // 0: created, this handle holds the name. ErrorAlreadyExists: the name was taken already,
    // by this or any other process. Anything else: the creation failed (the errno of the
    // failing call) and Handle is not valid.
    std::uint32_t LastError = 0;
};

// Creates the named object of this process's user, or learns that it exists. The name may be
// any bytes; its address is SystemObjectAddress(name). The handle is not inherited
// by programs this process starts (close-on-exec); a child made by fork alone shares it.
TNamedObjectResult CreateNamedSystemObject(std::string_view name);

// A scope of names of one's own inside the user's: a process started with this variable set
// holds and finds names only among the processes started with the same value. Tests give each
// run a scope of its own, so that a copy of the program the user is running holds no name they
// use, and theirs none of the user's. Unset or empty: the user's scope alone.
inline constexpr const char* InstanceScopeVariable = "VARELUM_INSTANCE_SCOPE";
// The most bytes of a scope that go into addresses as they are; a longer one goes in as the 16
// hexadecimal digits of its digest.
inline constexpr std::size_t MaxInstanceScopeLength = 32;

// The start of every address of this process's user: "user_", the real user id in decimal, "/",
// and the scope of InstanceScopeVariable followed by "/" when one is set.
std::string UserScope();

// The abstract socket name that stands for `name`: UserScope() followed by the name when that
// fits, else by the name's first bytes, "~" and sixteen hexadecimal digits of a 64-bit hash of
// the whole name, so that long names stay distinct and every process maps a name alike.
std::string SystemObjectAddress(std::string_view name);

}  // namespace varelum::app
