// Named system objects: the first creator holds the name until its handle closes, every later
// attempt (from this or another process) is told that it exists, long names stay distinct, and a
// creation that cannot get a descriptor fails without a handle.
#include "app/named_system_object.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

#include "app/child_process.h"

namespace varelum::app {
namespace {

using testing::TChildProcess;
using testing::TPipe;

std::string UniqueName(const std::string& what) {
    static int next = 0;
    return "varelum_test_" + what + "_" + std::to_string(::getpid()) + "_" + std::to_string(++next);
}

TEST(NamedSystemObjectTest, TheFirstCreatorHoldsTheNameUntilItsHandleCloses) {
    const std::string name = UniqueName("hold");
    TNamedObjectResult first = CreateNamedSystemObject(name);
    ASSERT_EQ(first.LastError, 0u);
    ASSERT_TRUE(first.Handle.Valid());

    // Already existing: a handle to close, which does not hold the name.
    TNamedObjectResult again = CreateNamedSystemObject(name);
    EXPECT_EQ(again.LastError, ErrorAlreadyExists);
    EXPECT_TRUE(again.Handle.Valid());
    again.Handle.Close();
    EXPECT_EQ(CreateNamedSystemObject(name).LastError, ErrorAlreadyExists);

    first.Handle.Close();
    TNamedObjectResult afterwards = CreateNamedSystemObject(name);
    EXPECT_EQ(afterwards.LastError, 0u);
    EXPECT_TRUE(afterwards.Handle.Valid());
}

TEST(NamedSystemObjectTest, ANameHeldInAnotherProcessExistsUntilThatProcessEnds) {
    const std::string name = UniqueName("process");
    TPipe held;
    TPipe stop;
    TChildProcess holder([&] {
        held.CloseRead();
        stop.CloseWrite();
        TNamedObjectResult created = CreateNamedSystemObject(name);
        held.Write(created.LastError == 0 ? "held" : "lost");
        stop.Read(1);
        return 0;
    });
    held.CloseWrite();
    ASSERT_EQ(held.Read(4), "held");
    EXPECT_EQ(CreateNamedSystemObject(name).LastError, ErrorAlreadyExists);

    stop.Write("x");
    EXPECT_EQ(holder.Wait(), 0);
    EXPECT_EQ(CreateNamedSystemObject(name).LastError, 0u);
}

// The kernel keeps the abstract names of each socket type apart, so a program's own datagram
// socket of that name neither blocks the guard nor is taken for a first copy.
TEST(NamedSystemObjectTest, ASocketOfAnotherKindUnderTheNameIsAnotherObject) {
    const std::string name = UniqueName("datagram");
    const int datagram = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(datagram, 0);
    TSystemHandle owner(datagram);
    const std::string scoped = SystemObjectAddress(name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, scoped.data(), scoped.size());
    ASSERT_EQ(::bind(datagram, reinterpret_cast<const sockaddr*>(&address),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + scoped.size())),
              0);
    TNamedObjectResult created = CreateNamedSystemObject(name);
    EXPECT_EQ(created.LastError, 0u);
    EXPECT_EQ(CreateNamedSystemObject(name).LastError, ErrorAlreadyExists);
}

// Another user's process may bind any abstract name; the bare name, as it used to be bound, is
// not this user's object and does not keep the name from this user.
TEST(NamedSystemObjectTest, TheBareNameBoundByAnyoneIsNotTheUsersObject) {
    const std::string name = UniqueName("bare");
    const int squatter = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(squatter, 0);
    TSystemHandle owner(squatter);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    ASSERT_EQ(::bind(squatter, reinterpret_cast<const sockaddr*>(&address),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())),
              0);
    EXPECT_EQ(CreateNamedSystemObject(name).LastError, 0u);
}

TEST(NamedSystemObjectTest, AProgramStartedByTheHolderDoesNotKeepTheName) {
    const std::string name = UniqueName("spawn");
    TNamedObjectResult held = CreateNamedSystemObject(name);
    ASSERT_EQ(held.LastError, 0u);

    pid_t sleeper = -1;
    char program[] = "sleep";
    char seconds[] = "60";
    char* arguments[] = {program, seconds, nullptr};
    ASSERT_EQ(::posix_spawnp(&sleeper, program, nullptr, nullptr, arguments, environ), 0);
    held.Handle.Close();
    EXPECT_EQ(CreateNamedSystemObject(name).LastError, 0u);
    ::kill(sleeper, SIGKILL);
    ::waitpid(sleeper, nullptr, 0);
}

TEST(NamedSystemObjectTest, LongNamesAreStoodInForAndStayDistinct) {
    const std::string stem = UniqueName("long") + std::string(MaxAbstractNameLength, 'x');
    const std::string a = stem + "a";
    const std::string b = stem + "b";
    EXPECT_EQ(SystemObjectAddress(a).size(), MaxAbstractNameLength);
    EXPECT_NE(SystemObjectAddress(a), SystemObjectAddress(b));
    EXPECT_EQ(SystemObjectAddress(a), SystemObjectAddress(std::string(a)));
    const std::string fits(MaxAbstractNameLength - UserScope().size(), 'y');
    EXPECT_EQ(SystemObjectAddress(fits), UserScope() + fits);
    EXPECT_EQ(SystemObjectAddress(fits + "z").size(), MaxAbstractNameLength);

    TNamedObjectResult heldA = CreateNamedSystemObject(a);
    EXPECT_EQ(heldA.LastError, 0u);
    EXPECT_EQ(CreateNamedSystemObject(a).LastError, ErrorAlreadyExists);
    TNamedObjectResult heldB = CreateNamedSystemObject(b);
    EXPECT_EQ(heldB.LastError, 0u);
}

TEST(NamedSystemObjectTest, ACreationWithoutADescriptorFailsWithoutAHandle) {
    const std::string name = UniqueName("starved");
    TPipe answer;
    TChildProcess starved([&] {
        answer.CloseRead();
        const rlimit none{0, 0};
        if (::setrlimit(RLIMIT_NOFILE, &none) != 0) {
            return 2;
        }
        TNamedObjectResult result = CreateNamedSystemObject(name);
        answer.Write(result.Handle.Valid() ? "handle " : "none ");
        answer.Write(std::to_string(result.LastError));
        return 0;
    });
    answer.CloseWrite();
    EXPECT_EQ(answer.ReadAll(), "none " + std::to_string(EMFILE));
    EXPECT_EQ(starved.Wait(), 0);
    // The failed attempt left nothing behind.
    EXPECT_EQ(CreateNamedSystemObject(name).LastError, 0u);
}

}  // namespace
}  // namespace varelum::app
