// What the process does to keep secrets out of the disk.

#include "base/CoreDumps.h"

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorvane;

TEST(CoreDumps, TurnedOffForTheProcess) {
    // In a child, so the test program itself keeps its settings.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (!DisableCoreDumps()) ::_exit(1);
        if (::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0) ::_exit(2);
        struct rlimit limit {};
        if (::getrlimit(RLIMIT_CORE, &limit) != 0 || limit.rlim_cur != 0 || limit.rlim_max != 0)
            ::_exit(3);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
