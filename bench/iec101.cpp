// IEC 60870-5-101 acquisition on one serial line against kp-sim: polling cycles per second,
// the octets one cycle puts on the line, the cycle limit the baud rate allows, and the latency
// from a change in kp-sim to the structure signal. docs/benchmarks.md says how to run it.

#include "base/cp1251.h"
#include "base/settings.h"
#include "config/config_classes.h"
#include "config/interfaces.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "platform/station.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_ts.h"
#include "telemech/t_com_port.h"
#include "telemech/telemech_classes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace nxkit;
using steady = std::chrono::steady_clock;

namespace {

constexpr int points = 8;

class queue_poster : public i_update_poster {
public:
    void post_update(i_updater* updater, int generation) override {
        std::lock_guard guard(lock);
        queued.emplace_back(updater, generation);
    }
    std::vector<std::pair<i_updater*, int>> take() {
        std::lock_guard guard(lock);
        return std::exchange(queued, {});
    }
    std::mutex lock;
    std::vector<std::pair<i_updater*, int>> queued;
};

// kp-sim with one pseudo-terminal line of eight stations, commanded through its input.
struct simulator {
    pid_t pid = -1;
    int in = -1;
    int out = -1;
    std::string line;

    bool start() {
        int to[2];
        int from[2];
        if (::pipe2(to, O_CLOEXEC) != 0 || ::pipe2(from, O_CLOEXEC) != 0)
            return false;
        std::vector<std::string> args = {KP_SIM_BINARY, "--serial", "pty"};
        for (int k = 1; k <= points; ++k) {
            args.insert(args.end(),
                        {"--link", std::to_string(k), "--object", "1:" + std::to_string(k) + "=0"});
        }
        pid = ::fork();
        if (pid == 0) {
            ::dup2(to[0], 0);
            ::dup2(from[1], 1);
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(to[0]);
        ::close(from[1]);
        in = to[1];
        out = from[0];
        for (std::string text; read_line(text, 5000);) {
            if (text.rfind("serial ", 0) == 0)
                line = text.substr(7);
            if (text == "ready")
                return !line.empty();
        }
        return false;
    }
    bool read_line(std::string& text, int timeout_ms) {
        text.clear();
        for (;;) {
            pollfd p{out, POLLIN, 0};
            char c = 0;
            if (::poll(&p, 1, timeout_ms) <= 0 || ::read(out, &c, 1) != 1)
                return false;
            if (c == '\n')
                return true;
            text += c;
        }
    }
    void command(const std::string& text) {
        std::string l = text + "\n";
        [[maybe_unused]] ssize_t n = ::write(in, l.data(), l.size());
        std::string answer;
        read_line(answer, 2000);
    }
    ~simulator() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        if (in >= 0)
            ::close(in);
        if (out >= 0)
            ::close(out);
    }
};

struct line_counts {
    long frames_sent = 0;
    long octets = 0;
};

// Sent frames and octets on the line, from the port log's raw traffic.
line_counts count_traffic(const std::string& file) {
    line_counts c;
    std::ifstream in(file, std::ios::binary);
    const std::string sent = to_cp1251("| MES | <\u2022");
    const std::string received = "| MES | ->";
    for (std::string l; std::getline(in, l);) {
        bool is_sent = l.find(sent) != std::string::npos;
        if (!is_sent && l.find(received) == std::string::npos)
            continue;
        if (is_sent)
            ++c.frames_sent;
        std::size_t mark = l.find(is_sent ? sent : received) + (is_sent ? sent : received).size();
        c.octets +=
            static_cast<long>(std::count(l.begin() + static_cast<long>(mark), l.end(), ' '));
    }
    return c;
}

std::string refs(int port_number, int baud) {
    std::string text =
        "<struct>\r\n<REFs version=\"1\">\r\n<ref tp=\"50\">\r\n<ref tp=\"100\" num=\"" +
        std::to_string(port_number) + "\" baud=\"" + std::to_string(baud) +
        "\" log=\"1\" lsz=\"100000\">\r\n";
    for (int k = 1; k <= points; ++k)
        text += "<ref tp=\"101\" addr=\"" + std::to_string(k) + "\" p100=\"-1\" lcn=\"0\">\r\n" +
                "<ref tp=\"51\" addr=\"" + std::to_string(k) + "\" canal=\"1\" kp=\"1\" num=\"" +
                std::to_string(k) + "\"/>\r\n</ref>\r\n";
    text += "</ref>\r\n</ref>\r\n<ref tp=\"40\">\r\n<ref tp=\"41\" num=\"1\">\r\n"
            "<ref tp=\"42\" num=\"1\">\r\n";
    for (int k = 1; k <= points; ++k)
        text += "<ref tp=\"1\" num=\"" + std::to_string(k) + "\"/>\r\n";
    text += "</ref>\r\n</ref>\r\n</ref>\r\n</REFs>\r\n</struct>\r\n";
    return text;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

bool run(int baud, int seconds, int changes) {
    simulator sim;
    if (!sim.start()) {
        std::fprintf(stderr, "iec101: kp-sim did not start\n");
        return false;
    }
    const int port_number = baud == 9600 ? 1 : 2;
    settings_set_string("COM", std::to_string(port_number), sim.line);
    {
        std::ofstream f(exe_dir() + "refs.ini", std::ios::binary);
        f << to_cp1251(refs(port_number, baud));
    }
    queue_poster poster;
    auto store = std::make_unique<t_ref_buff>();
    register_config_classes(*store);
    register_structure_classes(*store);
    register_telemech_classes(*store);
    store->register_class(tp_schema_root, [](t_ref_buff& s) {
        return std::make_unique<t_ref_root>(s, tp_schema_root);
    });
    store->init(nullptr, &poster);
    store->start_devices(true);
    store->load();
    auto pass = [&] {
        for (auto [updater, generation] : poster.take())
            store->hand_over(*updater, generation);
        store->update_pass();
    };
    std::vector<t_struct_ts*> signals;
    for (int k = 0; k < points; ++k)
        signals.push_back(dynamic_cast<t_struct_ts*>(store->get("K.0000.0000." + key_part(k))));
    auto until = steady::now() + std::chrono::seconds(20);
    auto all_up = [&] {
        return std::all_of(signals.begin(), signals.end(),
                           [](t_struct_ts* s) { return s != nullptr && s->control(); });
    };
    while (!all_up() && steady::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        pass();
    }
    if (!all_up()) {
        std::fprintf(stderr, "iec101: the points did not come up at %d baud\n", baud);
        return false;
    }
    const std::string port_log = dynamic_cast<t_com_port&>(store->find("D.0000")).log_file();

    // (a) polling cycles: every point asked once per cycle.
    line_counts before = count_traffic(port_log);
    auto started = steady::now();
    while (steady::now() - started < std::chrono::seconds(seconds)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        pass();
    }
    double elapsed = std::chrono::duration<double>(steady::now() - started).count();
    line_counts after = count_traffic(port_log);
    double cycles = static_cast<double>(after.frames_sent - before.frames_sent) / points;
    double octets_per_cycle = static_cast<double>(after.octets - before.octets) / cycles;
    // 8 data bits, even parity, start and stop: 11 bit times per octet.
    double limit = baud / 11.0 / octets_per_cycle;
    std::printf("iec101 %d baud: polling cycles per second: %.1f\n", baud, cycles / elapsed);
    std::printf("iec101 %d baud: octets on the line per idle cycle: %.1f\n", baud,
                octets_per_cycle);
    std::printf("iec101 %d baud: physical cycle limit per second: %.1f\n", baud, limit);

    // (b) latency of a change: the command to kp-sim until the update pass shows it.
    std::vector<double> latencies;
    for (int i = 0; i < changes; ++i) {
        const int k = i % points;
        const int value = (i / points) % 2 == 0 ? 1 : 0;
        auto sent = steady::now();
        sim.command("set " + std::to_string(k + 1) + " " + std::to_string(value));
        auto limit_time = sent + std::chrono::seconds(5);
        while (signals[static_cast<std::size_t>(k)]->value() != value &&
               steady::now() < limit_time) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            pass();
        }
        latencies.push_back(
            std::chrono::duration<double, std::milli>(steady::now() - sent).count());
    }
    std::printf("iec101 %d baud: change to signal latency median: %.1f ms\n", baud,
                percentile(latencies, 0.5));
    std::printf("iec101 %d baud: change to signal latency 99th percentile: %.1f ms\n", baud,
                percentile(latencies, 0.99));
    store->start_devices(false);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--quick") {
            quick = true;
        } else {
            std::fprintf(stderr, "usage: iec101 [--quick]\n");
            return 2;
        }
    }
    char folder[] = "/tmp/iec101-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr)
        return 1;
    ::setenv("ILKSTATION_HOME", folder, 1);
    bool ok = true;
    for (int baud : {115200, 9600})
        ok = run(baud, quick ? 3 : 10, quick ? 16 : 80) && ok;
    std::filesystem::remove_all(folder);
    return ok ? 0 : 1;
}
