// The cost of an audit line on the interface thread (the caller queues it; a worker hashes and
// writes), and the worker's throughput. Prints one figure per line.
#include "access/audit_log.h"
#include "access/engineer_access.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

struct figures {
    double mean_us = 0;
    double p99_us = 0;
    double p999_us = 0;
    double max_us = 0;
    // Calls above the 50 µs the interface thread may spend on a line.
    std::size_t over_50_us = 0;
};

figures summarise(std::vector<double>& us) {
    std::sort(us.begin(), us.end());
    figures f;
    double sum = 0;
    for (double v : us)
        sum += v;
    f.mean_us = sum / static_cast<double>(us.size());
    f.p99_us = us[us.size() * 99 / 100];
    f.p999_us = us[us.size() * 999 / 1000];
    f.max_us = us.back();
    f.over_50_us =
        static_cast<std::size_t>(us.end() - std::upper_bound(us.begin(), us.end(), 50.0));
    return f;
}

} // namespace

int main(int argc, char** argv) {
    int lines = argc > 1 ? std::atoi(argv[1]) : 20000;
    std::string folder = std::filesystem::temp_directory_path().string() + "/ilk-bench-audit-" +
                         std::to_string(::getpid()) + "/";
    std::filesystem::create_directories(folder);
    std::vector<double> us(static_cast<std::size_t>(lines));
    // The caller's own texts are made before the clock starts: the figure is the line's cost.
    std::vector<std::string> objects;
    std::vector<std::string> manual;
    for (int i = 0; i < 1000; ++i) {
        objects.push_back("s1_2_" + std::to_string(i));
        manual.push_back(objects.back() + " = 1");
    }

    // The machine's own noise: the same loop timing a quarter-microsecond spin. On a shared machine
    // its worst figure is a preemption, which no audit code can avoid.
    for (int i = 0; i < lines; ++i) {
        auto start = clock_type::now();
        // About as long as a line's call, so that the loop lasts as long as the one below.
        while (clock_type::now() - start < std::chrono::nanoseconds(250)) {
        }
        us[static_cast<std::size_t>(i)] =
            std::chrono::duration<double, std::micro>(clock_type::now() - start).count();
    }
    figures idle = summarise(us);
    std::printf("spin_loop_us_p999 %.2f\n", idle.p999_us);
    std::printf("spin_loop_us_max %.2f\n", idle.max_us);
    std::printf("spin_loop_over_50us %zu\n", idle.over_50_us);

    // The worker's queue alone.
    double write_s = 0;
    {
        nxkit::audit_log log(folder + "audit.log", 0);
        for (int i = 0; i < lines; ++i) {
            auto start = clock_type::now();
            log.record("ivanov", "оператор", "квитирование",
                       objects[static_cast<std::size_t>(i % 1000)]);
            us[static_cast<std::size_t>(i)] =
                std::chrono::duration<double, std::micro>(clock_type::now() - start).count();
        }
        auto start = clock_type::now();
        log.flush();
        write_s = std::chrono::duration<double>(clock_type::now() - start).count();
    }
    figures queued = summarise(us);
    std::printf("audit_record_us_mean %.2f\n", queued.mean_us);
    std::printf("audit_record_us_p99 %.2f\n", queued.p99_us);
    std::printf("audit_record_us_p999 %.2f\n", queued.p999_us);
    std::printf("audit_record_us_max %.2f\n", queued.max_us);
    std::printf("audit_record_over_50us %zu\n", queued.over_50_us);
    std::printf("audit_worker_drain_after_queue_s %.3f\n", write_s);

    // The interface thread's call as the views make it: through the station's access (which
    // also looks whether a password file exists).
    std::filesystem::remove(folder + "audit.log");
    {
        nxkit::engineer_access::options o;
        o.password_path = folder + "engineer.pwd";
        o.audit_path = folder + "audit.log";
        o.audit = true;
        o.audit_size = 1000000;
        o.user = "ivanov";
        nxkit::engineer_access access(o);
        for (int i = 0; i < lines; ++i) {
            auto start = clock_type::now();
            access.record("ручной ввод", manual[static_cast<std::size_t>(i % 1000)]);
            us[static_cast<std::size_t>(i)] =
                std::chrono::duration<double, std::micro>(clock_type::now() - start).count();
        }
        access.log().flush();
    }
    figures through = summarise(us);
    std::printf("audit_access_record_us_mean %.2f\n", through.mean_us);
    std::printf("audit_access_record_us_p99 %.2f\n", through.p99_us);
    std::printf("audit_access_record_us_p999 %.2f\n", through.p999_us);
    std::printf("audit_access_record_us_max %.2f\n", through.max_us);
    std::printf("audit_access_record_over_50us %zu\n", through.over_50_us);
    std::printf("audit_lines %d\n", lines);
    std::filesystem::remove_all(folder);
    return 0;
}
