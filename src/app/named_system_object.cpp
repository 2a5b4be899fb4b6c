// Named system objects as abstract-namespace Unix domain sockets: bind() is the kernel's atomic
// first-creator-wins test, and EADDRINUSE its "already exists".
#include "app/named_system_object.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace varelum::app {

namespace {

static_assert(sizeof(sockaddr_un::sun_path) == MaxAbstractNameLength + 1);

// FNV-1a: small, stable across processes and builds, which is all a name digest needs here.
std::uint64_t NameHash(std::string_view name) noexcept {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char byte : name) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string HexDigest(std::uint64_t hash) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string digits;
    for (int shift = 60; shift >= 0; shift -= 4) {
        digits += Hex[(hash >> shift) & 0xf];
    }
    return digits;
}

}  // namespace

TSystemHandle& TSystemHandle::operator=(TSystemHandle&& other) noexcept {
    if (this != &other) {
        Close();
        FDescriptor = other.Release();
    }
    return *this;
}

void TSystemHandle::Close() noexcept {
    if (FDescriptor >= 0) {
        // The descriptor is gone whatever close() answers (even EINTR on Linux), so there is
        // nothing to retry.
        ::close(FDescriptor);
        FDescriptor = -1;
    }
}

int TSystemHandle::Release() noexcept {
    const int descriptor = FDescriptor;
    FDescriptor = -1;
    return descriptor;
}

std::string UserScope() {
    std::string scope = "user_" + std::to_string(::getuid()) + "/";
    const char* own = std::getenv(InstanceScopeVariable);
    if (own != nullptr && *own != '\0') {
        const std::string_view name(own);
        // A long scope is replaced by its digest, so that the names under it still fit.
        scope +=
            name.size() <= MaxInstanceScopeLength ? std::string(name) : HexDigest(NameHash(name));
        scope += '/';
    }
    return scope;
}

std::string SystemObjectAddress(std::string_view name) {
    std::string address = UserScope();
    if (address.size() + name.size() <= MaxAbstractNameLength) {
        return address.append(name);
    }
    static constexpr std::size_t DigestLength = 1 + 16;  // "~" and sixteen hex digits
    address.append(name.substr(0, MaxAbstractNameLength - address.size() - DigestLength));
    address += '~';
    address += HexDigest(NameHash(name));
    return address;
}

TNamedObjectResult CreateNamedSystemObject(std::string_view name) {
    TNamedObjectResult result;
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        result.LastError = static_cast<std::uint32_t>(errno);
        return result;
    }
    result.Handle = TSystemHandle(descriptor);

    const std::string address = SystemObjectAddress(name);
    sockaddr_un socketAddress{};
    socketAddress.sun_family = AF_UNIX;
    // The leading zero byte puts the name in the abstract namespace: no file, no permissions,
    // and the kernel forgets it with the socket.
    std::memcpy(socketAddress.sun_path + 1, address.data(), address.size());
    const auto addressLength =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + address.size());

    if (::bind(result.Handle.Descriptor(), reinterpret_cast<const sockaddr*>(&socketAddress),
               addressLength) == 0) {
        result.LastError = 0;
    } else if (errno == EADDRINUSE) {
        // Like the semaphore it stands in for, the caller gets a handle to close.
        result.LastError = ErrorAlreadyExists;
    } else {
        result.LastError = static_cast<std::uint32_t>(errno);
        result.Handle.Close();
    }
    return result;
}

}  // namespace varelum::app
