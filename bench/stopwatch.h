#pragma once

#include <chrono>
#include <ctime>

namespace nxbench {

// Wall time and the thread's processor time: on a busy machine the second shows the work.
struct stopwatch {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    double cpu = cpu_ms();

    static double cpu_ms() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
    }
    double wall_ms() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall)
            .count();
    }
    double cpu_used_ms() const { return cpu_ms() - cpu; }
};

} // namespace nxbench
