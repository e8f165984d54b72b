#include "platform/close_signals.h"
#include "platform/single_instance.h"
#include "platform/station.h"
#include "platform/thread_registry.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

using namespace nxkit;

TEST(Station, FolderComesFromTheEnvironment) {
    std::string home = ilktest::station_dir();
    ASSERT_FALSE(home.empty());
    EXPECT_EQ(exe_dir(), home);
    EXPECT_EQ(exe_path(), home + "ilkstation");
    EXPECT_EQ(exe_dir().back(), '/');
}

TEST(SingleInstance, GuardNameReplacesEveryListedCharacter) {
    EXPECT_EQ(instance_guard_name("\\.:/\";'?!*&^%$#@~`{}[]|()"), std::string(25, '_'));
    EXPECT_EQ(instance_guard_name("/opt/st-1/ilkstation"), "_opt_st-1_ilkstation");
    EXPECT_EQ(instance_guard_name("/станция/a b"), "_станция_a b");
}

TEST(SingleInstance, SecondCopyAsksTheFirstToRaise) {
    ilktest::temp_dir dir;
    std::string name = instance_guard_name(dir.path() + "ilkstation");
    std::string lock = dir.path() + "ilkstation.lock";
    single_instance first(lock, name);
    ASSERT_TRUE(first.acquired());
    EXPECT_EQ(first.lock_path(), lock);
    EXPECT_EQ(ilktest::read_bytes(lock), std::to_string(getpid()) + "\n");
    EXPECT_FALSE(first.take_raise_request());

    {
        single_instance second(lock, name);
        EXPECT_FALSE(second.acquired());
        EXPECT_TRUE(second.ask_first_to_raise(1000));
    }
    EXPECT_TRUE(first.take_raise_request());
    EXPECT_FALSE(first.take_raise_request());

    // Another station's guard is independent.
    single_instance other(dir.path() + "other.lock",
                          instance_guard_name(dir.path() + "other/ilkstation"));
    EXPECT_TRUE(other.acquired());
}

TEST(SingleInstance, GuardIsFreeAgainAfterTheHolderEnds) {
    ilktest::temp_dir dir;
    std::string name = instance_guard_name(dir.path() + "ilkstation");
    std::string lock = dir.path() + "ilkstation.lock";
    {
        single_instance first(lock, name);
        ASSERT_TRUE(first.acquired());
    }
    single_instance again(lock, name);
    EXPECT_TRUE(again.acquired());
}

TEST(SingleInstance, VeryLongPathStillWorks) {
    // A folder that cannot hold the lock file: the runtime folder's stands in.
    std::string path = "/" + std::string(400, 'x') + "/ilkstation";
    single_instance first(path + ".lock", instance_guard_name(path));
    ASSERT_TRUE(first.acquired());
    EXPECT_NE(first.lock_path(), path + ".lock");
    single_instance second(path + ".lock", instance_guard_name(path));
    EXPECT_FALSE(second.acquired());
    EXPECT_TRUE(second.ask_first_to_raise(1000));
    EXPECT_TRUE(first.take_raise_request());
}

TEST(SingleInstance, TheLockInTheStationFolderHoldsAcrossProcessesAndRuntimeFolders) {
    ilktest::temp_dir dir;
    std::string name = instance_guard_name(dir.path() + "ilkstation");
    std::string lock = dir.path() + "ilkstation.lock";
    auto first = std::make_unique<single_instance>(lock, name);
    ASSERT_TRUE(first->acquired());
    // Another process, as another login would start it: its own runtime folder.
    auto child_acquires = [&] {
        pid_t pid = fork();
        if (pid == 0) {
            ::setenv("XDG_RUNTIME_DIR", (dir.path() + "other-runtime").c_str(), 1);
            single_instance second(lock, name);
            _exit(second.acquired() ? 1 : 0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 1;
    };
    EXPECT_FALSE(child_acquires());
    first.reset();
    EXPECT_TRUE(child_acquires());
}

TEST(CloseSignals, TermAndIntBecomeCloseRequests) {
    int fd = install_close_signals();
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(take_close_request(fd));
    ::raise(SIGTERM);
    EXPECT_TRUE(take_close_request(fd));
    ::raise(SIGINT);
    EXPECT_TRUE(take_close_request(fd));
    EXPECT_FALSE(take_close_request(fd));
}

namespace {

std::atomic<int> finished{0};

void counted_worker(void* arg) {
    nx_auto_endthread guard;
    auto* release = static_cast<std::atomic<bool>*>(arg);
    while (!release->load() && !thread_stop_requested())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ++finished;
}

} // namespace

// The registry is process-wide and its stop flag is never cleared, so its whole life is one test.
TEST(ThreadRegistry, CountsThreadsAndWaitsForThemAtShutDown) {
    EXPECT_FALSE(thread_stop_requested());
    std::atomic<bool> release{false};
    ASSERT_TRUE(begin_counted_thread(counted_worker, 0, &release));
    ASSERT_TRUE(begin_counted_thread(counted_worker, 256 * 1024, &release));
    EXPECT_EQ(counted_threads(), 2);

    auto started = std::chrono::steady_clock::now();
    int left = wait_for_threads(5000);
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(left, 0);
    EXPECT_TRUE(thread_stop_requested());
    EXPECT_EQ(finished.load(), 2);
    EXPECT_GE(took, std::chrono::milliseconds(100)); // the first pass always sleeps

    // A thread that ignores the stop flag is waited for only up to the time-out.
    std::atomic<bool> never{false};
    ASSERT_TRUE(begin_counted_thread(
        [](void* arg) {
            nx_auto_endthread guard;
            auto* flag = static_cast<std::atomic<bool>*>(arg);
            while (!flag->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        },
        0, &never));
    EXPECT_EQ(wait_for_threads(300), 1);
    never = true;
    EXPECT_EQ(wait_for_threads(2000), 0);
}
