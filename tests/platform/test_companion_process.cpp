#include "platform/companion_process.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace nxkit;
using namespace std::chrono_literals;

namespace {

// The signal that ended `pid` (a child of this process), -1 when it exited, 0 when it did not
// end in time.
int ending_signal(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
        std::this_thread::sleep_for(20ms);
    }
    return 0;
}

// Starts a companion from a middle process that ends `linger` later, as a workstation that
// crashed; returns the companion's process id. This process must be a subreaper, so the
// orphaned companion becomes its child and its end can be waited for.
pid_t companion_of_short_life(const std::string& output, std::chrono::milliseconds linger) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0)
        return -1;
    const pid_t middle = ::fork();
    if (middle == 0) {
        const int pid = start_companion("/bin/sleep", {"30"}, output);
        (void)!::write(pipe_fds[1], &pid, sizeof pid);
        std::this_thread::sleep_for(linger);
        ::_exit(0);
    }
    int companion = -1;
    if (::read(pipe_fds[0], &companion, sizeof companion) != static_cast<ssize_t>(sizeof companion))
        companion = -1;
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    ::waitpid(middle, nullptr, 0);
    return companion;
}

void make_sure_ended(pid_t pid) {
    if (pid > 0 && ::kill(pid, 0) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

} // namespace

TEST(CompanionProcess, WritesIntoItsOutputFile) {
    ilktest::temp_dir dir;
    const std::string out = dir.path() + "echo.out";
    ilktest::write_bytes(out, "earlier\n");
    const int pid = start_companion("/bin/echo", {"ready", "2404"}, out);
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Appended: a restarted demo keeps the earlier output.
    EXPECT_EQ(ilktest::read_bytes(out), "earlier\nready 2404\n");

    EXPECT_EQ(start_companion(dir.path() + "no-such-program", {}, out), -1);
}

TEST(CompanionProcess, EndsWithTheProcessThatStartedIt) {
    ilktest::temp_dir dir;
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);

    const pid_t companion = companion_of_short_life(dir.path() + "sleep.out", 300ms);
    ASSERT_GT(companion, 0);
    EXPECT_EQ(ending_signal(companion, 5s), SIGTERM);
    make_sure_ended(companion);

    // A parent that ends before the companion armed its signal: it ends all the same.
    const pid_t early = companion_of_short_life(dir.path() + "sleep.out", 0ms);
    ASSERT_GT(early, 0);
    EXPECT_NE(ending_signal(early, 5s), 0);
    make_sure_ended(early);

    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
}
