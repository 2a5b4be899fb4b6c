// The process id answered from memory: right in the process that asked first and in every
// process forked from it, however deep.
#include "engine/env/process_id.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varelum::engine {
namespace {

// Forks, runs `check` in the child and answers whether it held there; the child's exit code
// carries the answer, since a failed expectation in a child reaches no test report.
template <typename Check>
bool holds_in_child(Check check) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(CurrentProcessId, AnswersEachProcessItsOwnIdAcrossForks) {
    const pid_t parent = ::getpid();
    ASSERT_EQ(current_process_id(), parent);

    EXPECT_TRUE(holds_in_child([parent] {
        const pid_t own = current_process_id();
        // A grandchild forked from the child answers its own id, not the child's.
        const bool grandchild_right = holds_in_child(
            [own] { return current_process_id() == ::getpid() && current_process_id() != own; });
        return own == ::getpid() && own != parent && grandchild_right &&
               current_process_id() == own;
    }));
    EXPECT_EQ(current_process_id(), parent) << "the parent's answer is kept through the fork";
}

}  // namespace
}  // namespace varelum::engine
