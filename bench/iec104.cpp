// IEC 60870-5-104 acquisition figures, one per line:
// (a) ASDU decode rate into a device (information objects per second);
// (b) end to end against kp-sim: N connections of 1,000 timed single points, a total change
//     rate spread over them; latency from the simulator's send to the structure signal's
//     refresh (median, 99th percentile) and the processor time of this process per second;
//     with --tls run (b) twice in one sitting, plain TCP and then TLS (IEC 62351-3, mutual
//     certificates made at start), and the difference in processor time;
// (c) 100 connected, idle controlled points: processor time and wake-ups per second.
//
// Options: --quick (5 connections, 5 s runs), --connections N, --rate CHANGES_PER_S,
// --seconds S (run b), --idle-seconds S (run c), --skip-a, --skip-b, --skip-c, --tls,
// --tls-only (one TLS run of (b) alone, for a profiler).

#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "config/config_classes.h"
#include "config/interfaces.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "platform/station.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_ts.h"
#include "telemech/nx_mASDU.h"
#include "telemech/t_dev_104.h"
#include "telemech/telemech_classes.h"
#include "tests/pki/test_pki.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace nxkit;

namespace {

using steady = std::chrono::steady_clock;

constexpr int objects_per_point = 1000;
// Signals per section in the generated structure: 1,000 objects make 10 sections.
constexpr int signals_per_section = 100;
constexpr int idle_points = 100;

struct options {
    int connections = 50;
    int rate = 5000;
    int seconds = 20;
    int idle_seconds = 30;
    bool run_a = true;
    bool run_b = true;
    bool run_c = true;
    bool tls = false;
    // One TLS run alone, for a profiler.
    bool tls_only = false;
};

// The files of a TLS run: the CA both ends trust, the point's and the station's own.
struct tls_files {
    std::string ca;
    ilktest::test_pki::issued point;
    ilktest::test_pki::issued station;
};

double elapsed_s(steady::time_point since) {
    return std::chrono::duration<double>(steady::now() - since).count();
}

// Processor time of the whole process: every thread, no child.
double process_cpu_s() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double thread_cpu_s() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Context switches of every thread now alive: each one is a wake-up of a sleeping thread or
// a preemption. Threads that end during the run take their count with them, so the runs keep
// their threads for the whole measurement.
long long context_switches() {
    long long total = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr)
        return 0;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                total += std::atoll(line.substr(line.find(':') + 1).c_str());
        }
    }
    closedir(tasks);
    return total;
}

// The user-interface side of the device notifications: a queue with a wake-up.
class queue_poster : public i_update_poster {
public:
    void post_update(i_updater* updater, int generation) override {
        std::lock_guard guard(lock_);
        queued_.emplace_back(updater, generation);
    }
    std::vector<std::pair<i_updater*, int>> take() {
        std::lock_guard guard(lock_);
        return std::exchange(queued_, {});
    }

private:
    std::mutex lock_;
    std::vector<std::pair<i_updater*, int>> queued_;
};

// kp-sim run as a child: arguments in, "listen" ports and "ready" out, SIGTERM at the end.
class simulator {
public:
    explicit simulator(const std::vector<std::string>& arguments) {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0)
            return;
        if (::pipe2(out, O_CLOEXEC) != 0) {
            ::close(in[0]);
            ::close(in[1]);
            return;
        }
        std::vector<std::string> copies = arguments;
        std::string binary = KP_SIM_BINARY;
        std::vector<char*> argv{binary.data()};
        for (std::string& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        in_fd_ = in[1];
        out_fd_ = out[0];
        if (pid_ < 0)
            return;
        std::string line;
        while (read_line(line, 10000)) {
            if (line.rfind("listen ", 0) == 0)
                ports_.push_back(std::atoi(line.substr(line.rfind(':') + 1).c_str()));
            if (line == "ready") {
                ready_ = true;
                return;
            }
        }
    }
    ~simulator() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            auto until = steady::now() + std::chrono::seconds(5);
            int status = 0;
            while (::waitpid(pid_, &status, WNOHANG) == 0) {
                if (steady::now() > until) {
                    ::kill(pid_, SIGKILL);
                    ::waitpid(pid_, &status, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        if (in_fd_ >= 0)
            ::close(in_fd_);
        if (out_fd_ >= 0)
            ::close(out_fd_);
    }
    simulator(const simulator&) = delete;
    simulator& operator=(const simulator&) = delete;

    bool ready() const { return ready_; }
    const std::vector<int>& ports() const { return ports_; }

private:
    bool read_line(std::string& line, int timeout_ms) {
        auto until = steady::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            auto end = buffered_.find('\n');
            if (end != std::string::npos) {
                line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                return true;
            }
            auto rest =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - steady::now());
            if (rest.count() <= 0)
                return false;
            pollfd p{out_fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(rest.count())) <= 0)
                return false;
            char chunk[4096];
            ssize_t n = ::read(out_fd_, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            buffered_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    pid_t pid_ = -1;
    int in_fd_ = -1;
    int out_fd_ = -1;
    bool ready_ = false;
    std::string buffered_;
    std::vector<int> ports_;
};

std::unique_ptr<t_ref_buff> make_store() {
    auto store = std::make_unique<t_ref_buff>();
    register_config_classes(*store);
    register_structure_classes(*store);
    register_telemech_classes(*store);
    store->register_class(tp_schema_root, [](t_ref_buff& s) {
        return std::make_unique<t_ref_root>(s, tp_schema_root);
    });
    return store;
}

// Protocol logs stay off (lcn present, no log attribute): the figures are the acquisition's.
std::string device_ref(int address, int port, const std::string& objects,
                       const tls_files* tls = nullptr) {
    std::string con = port > 0 ? " con=\"127.0.0.1:" + std::to_string(port) + "\"" : "";
    if (tls != nullptr)
        con += " tls=\"1\" tca=\"" + tls->ca + "\" tcrt=\"" + tls->station.certificate +
               "\" tkey=\"" + tls->station.key + "\"";
    return "<ref tp=\"104\" addr=\"" + std::to_string(address) + "\" lcn=\"0\"" + con + ">\r\n" +
           objects + "</ref>\r\n";
}

void write_station(const std::string& equipment, const std::string& structure) {
    std::string text =
        "<struct>\r\n<REFs version=\"1\">\r\n<ref tp=\"50\" title=\"Оборудование\">\r\n" +
        equipment + "</ref>\r\n<ref tp=\"40\" title=\"Структура\">\r\n" + structure +
        "</ref>\r\n</REFs>\r\n</struct>\r\n";
    std::ofstream(exe_dir() + "refs.ini", std::ios::binary) << to_cp1251(text);
}

// --- (a) decode rate -------------------------------------------------------------------------

struct asdu_buffer {
    std::vector<std::vector<std::uint8_t>> asdus;
    std::size_t objects = 0;
};

// Single points at 1..1000 and measured values at 1001..2000. Both types come as sequences
// (one address, then the elements of consecutive addresses), each ASDU as long as the
// 253-octet frame allows.
asdu_buffer prepare_asdus(std::uint8_t ca) {
    asdu_buffer buffer;
    auto header = [&](std::uint8_t type, int count) {
        return std::vector<std::uint8_t>{type, static_cast<std::uint8_t>(count | 0x80), 3, ca};
    };
    auto ioa = [](std::vector<std::uint8_t>& a, int address) {
        a.push_back(static_cast<std::uint8_t>(address & 0xFF));
        a.push_back(static_cast<std::uint8_t>(address >> 8));
    };
    auto add = [&](std::vector<std::uint8_t> a, int count) {
        buffer.asdus.push_back(std::move(a));
        buffer.objects += static_cast<std::size_t>(count);
    };
    for (int first = 1; first <= objects_per_point; first += 127) {
        int count = std::min(127, objects_per_point - first + 1);
        auto a = header(1, count);
        ioa(a, first);
        for (int i = 0; i < count; ++i)
            a.push_back(static_cast<std::uint8_t>(i & 1));
        add(std::move(a), count);
    }
    for (int first = 1; first <= objects_per_point; first += 81) {
        int count = std::min(81, objects_per_point - first + 1);
        auto a = header(11, count);
        ioa(a, 1000 + first);
        for (int i = 0; i < count; ++i) {
            a.push_back(static_cast<std::uint8_t>(i));
            a.push_back(static_cast<std::uint8_t>(i >> 8));
            a.push_back(0);
        }
        add(std::move(a), count);
    }
    return buffer;
}

bool run_decode() {
    auto store = make_store();
    std::string objects;
    for (int i = 1; i <= objects_per_point; ++i)
        objects += "<ref tp=\"51\" addr=\"" + std::to_string(i) + "\"/>\r\n";
    for (int i = 1; i <= objects_per_point; ++i)
        objects += "<ref tp=\"55\" addr=\"" + std::to_string(1000 + i) + "\"/>\r\n";
    write_station(device_ref(7, 0, objects), "");
    store->load();
    auto* device = dynamic_cast<t_dev_104*>(store->get("D.0000"));
    if (device == nullptr) {
        std::fprintf(stderr, "iec104: the generated device did not load\n");
        return false;
    }
    asdu_buffer buffer = prepare_asdus(7);
    nx_mASDU codec(7, *device, 0);

    // About a second of decoding, bounded in rounds as well.
    std::size_t decoded = 0;
    double cpu_start = thread_cpu_s();
    auto start = steady::now();
    for (int round = 0; round < 1000000 && elapsed_s(start) < 1.0; ++round) {
        for (const auto& a : buffer.asdus)
            codec.decode(a.data(), a.size());
        decoded += buffer.objects;
    }
    double wall = elapsed_s(start);
    double cpu = thread_cpu_s() - cpu_start;
    single_record single;
    measured_record measured;
    if (!device->get_single(objects_per_point, single) ||
        !device->get_measured(2 * objects_per_point, measured)) {
        std::fprintf(stderr, "iec104: decoded objects did not reach the device\n");
        return false;
    }
    std::printf("ASDU decode (types 1 and 11, %zu objects in %zu ASDUs): %.2f million objects/s "
                "(processor %.2f million objects/s)\n",
                buffer.objects, buffer.asdus.size(), static_cast<double>(decoded) / wall / 1e6,
                static_cast<double>(decoded) / cpu / 1e6);
    return true;
}

// --- stations against kp-sim -----------------------------------------------------------------

// A store running devices against a kp-sim with `points` endpoints. The shell's cadence is
// kept: notifications are handed over as they arrive, the update pass runs every 10 ms.
struct live_station {
    queue_poster poster;
    std::unique_ptr<t_ref_buff> store = make_store();
    std::vector<t_dev_104*> devices;

    bool load(const std::vector<int>& ports, int objects, bool with_signals,
              const tls_files* tls = nullptr) {
        std::string equipment;
        std::string structure;
        for (std::size_t k = 1; k <= ports.size(); ++k) {
            std::string list;
            for (int i = 1; i <= objects; ++i) {
                list += "<ref tp=\"51\" addr=\"" + std::to_string(i) + "\"";
                if (with_signals)
                    list += " canal=\"" + std::to_string(k) + "\" kp=\"" +
                            std::to_string((i - 1) / signals_per_section + 1) + "\" num=\"" +
                            std::to_string((i - 1) % signals_per_section + 1) + "\"";
                list += "/>\r\n";
            }
            equipment += device_ref(static_cast<int>(k), ports[k - 1], list, tls);
            if (with_signals) {
                structure += "<ref tp=\"41\" num=\"" + std::to_string(k) + "\">\r\n";
                for (int s = 1; s <= (objects - 1) / signals_per_section + 1; ++s) {
                    structure += "<ref tp=\"42\" num=\"" + std::to_string(s) + "\">\r\n";
                    for (int n = 1; n <= signals_per_section; ++n)
                        structure += "<ref tp=\"1\" num=\"" + std::to_string(n) + "\"/>\r\n";
                    structure += "</ref>\r\n";
                }
                structure += "</ref>\r\n";
            }
        }
        write_station(equipment, structure);
        store->init(nullptr, &poster);
        store->start_devices(true);
        store->load();
        for (t_ref* r : store->refs().children("D"))
            if (auto* d = dynamic_cast<t_dev_104*>(r))
                devices.push_back(d);
        return devices.size() == ports.size();
    }

    // Hands the notifications over and runs one pass; `handed` receives the marked keys.
    void pass(key_set* handed) {
        for (auto [updater, generation] : poster.take())
            store->hand_over(updater, generation);
        if (handed != nullptr)
            handed->insert(store->change_set().begin(), store->change_set().end());
        store->update_pass();
    }

    // Runs passes until `done` holds or the limit passes.
    template <class F> bool wait_for(F done, double limit_s) {
        auto start = steady::now();
        while (!done() && elapsed_s(start) < limit_s) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            pass(nullptr);
        }
        return done();
    }

    ~live_station() { store->start_devices(false); }
};

double percentile(std::vector<double>& values, double p) {
    if (values.empty())
        return 0;
    auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                     values.end());
    return values[index];
}

// Processor seconds per second of run; negative when the run failed.
double run_end_to_end(const options& opt, const tls_files* tls) {
    // Each connection changes rate / connections objects a second: every 10 ms a burst, or one
    // object at a longer period when the share is below 100 a second. The periods alternate a
    // millisecond below and above, so the sends slide across the 10 ms pass instead of
    // meeting it at one fixed phase; the rate asked stays within a few percent.
    int per_point = std::max(1, opt.rate / opt.connections);
    int period = per_point >= 100 ? 10 : 1000 / per_point;
    int burst = per_point >= 100 ? per_point / 100 : 1;
    std::vector<std::string> arguments;
    for (int k = 1; k <= opt.connections; ++k) {
        for (std::string a : {"--endpoint", "127.0.0.1:0", "--ca"})
            arguments.push_back(a);
        arguments.push_back(std::to_string(k));
        arguments.push_back("--object");
        // Type 30: each change carries the simulator's clock at the moment it was sent.
        arguments.push_back("30:1-" + std::to_string(objects_per_point) + "=0");
        arguments.push_back("--period");
        arguments.push_back(std::to_string(period + (period >= 5 ? (k % 2 == 0 ? 1 : -1) : 0)));
        arguments.push_back("--burst");
        arguments.push_back(std::to_string(burst));
    }
    if (tls != nullptr)
        for (const std::string& a :
             {std::string("--tls-cert"), tls->point.certificate, std::string("--tls-key"),
              tls->point.key, std::string("--tls-ca"), tls->ca})
            arguments.push_back(a);
    simulator sim(arguments);
    if (!sim.ready() || sim.ports().size() != static_cast<std::size_t>(opt.connections)) {
        std::fprintf(stderr, "iec104: kp-sim did not start (%s)\n", KP_SIM_BINARY);
        return -1;
    }

    live_station station;
    if (!station.load(sim.ports(), objects_per_point, true, tls)) {
        std::fprintf(stderr, "iec104: the generated station did not load\n");
        return -1;
    }
    // Device object key -> the signal it feeds.
    std::map<std::string, t_struct_ts*> fed;
    std::vector<t_struct_ts*> signals;
    for (t_ref* r : station.store->refs().under("K"))
        if (auto* s = dynamic_cast<t_struct_ts*>(r)) {
            signals.push_back(s);
            std::string feeder = station.store->feeder(s->signal_key());
            if (!feeder.empty())
                fed[feeder] = s;
        }
    if (fed.size() != static_cast<std::size_t>(opt.connections * objects_per_point)) {
        std::fprintf(stderr, "iec104: %zu of %d signals are fed by a device object\n", fed.size(),
                     opt.connections * objects_per_point);
        return -1;
    }
    auto all_controlled = [&] {
        return std::all_of(signals.begin(), signals.end(),
                           [](t_struct_ts* s) { return s->control(); });
    };
    if (!station.wait_for(all_controlled, 60.0)) {
        std::fprintf(stderr, "iec104: not every signal came under control within 60 s\n");
        return -1;
    }

    // The latency of a change is the refresh time less the time tag it carried: both clocks
    // are this machine's wall clock, read to the millisecond. Changes before the start of the
    // run (the interrogation's old tags) are not counted.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    station.pass(nullptr);
    nx_time run_start = time_now();
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(opt.rate) * static_cast<std::size_t>(opt.seconds) *
                      2);
    double cpu_start = process_cpu_s();
    auto start = steady::now();
    auto tick = start;
    key_set handed;
    while (elapsed_s(start) < opt.seconds) {
        tick += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(tick);
        handed.clear();
        station.pass(&handed);
        nx_time refreshed = time_now();
        for (const std::string& key : handed) {
            auto it = fed.find(key);
            if (it == fed.end())
                continue;
            nx_time tag = it->second->time();
            if (tag >= run_start)
                latencies.push_back((refreshed - tag) * 86400000.0);
        }
    }
    double wall = elapsed_s(start);
    double cpu = process_cpu_s() - cpu_start;
    if (latencies.empty()) {
        std::fprintf(stderr, "iec104: no change reached a signal during the run\n");
        return -1;
    }
    std::size_t refreshed = latencies.size();
    double median = percentile(latencies, 0.5);
    double p99 = percentile(latencies, 0.99);
    std::printf("end to end%s: %d connections x %d objects, %d changes/s asked, %.0f changes/s "
                "refreshed over %.1f s\n",
                tls != nullptr ? " over TLS" : "", opt.connections, objects_per_point, opt.rate,
                static_cast<double>(refreshed) / wall, wall);
    std::printf("latency send to signal refresh: median %.1f ms, 99th percentile %.1f ms\n", median,
                p99);
    std::printf("workstation processor time%s: %.3f s per second of run\n",
                tls != nullptr ? " over TLS" : "", cpu / wall);
    return cpu / wall;
}

bool run_idle(const options& opt) {
    std::vector<std::string> arguments;
    for (int k = 1; k <= idle_points; ++k) {
        for (std::string a : {"--endpoint", "127.0.0.1:0", "--ca"})
            arguments.push_back(a);
        arguments.push_back(std::to_string(k));
        arguments.push_back("--object");
        arguments.push_back("1:1-10=0");
    }
    simulator sim(arguments);
    if (!sim.ready() || sim.ports().size() != static_cast<std::size_t>(idle_points)) {
        std::fprintf(stderr, "iec104: kp-sim did not start (%s)\n", KP_SIM_BINARY);
        return false;
    }
    live_station station;
    if (!station.load(sim.ports(), 10, false)) {
        std::fprintf(stderr, "iec104: the generated station did not load\n");
        return false;
    }
    auto all_connected = [&] {
        return std::all_of(station.devices.begin(), station.devices.end(),
                           [](t_dev_104* d) { return d->is_connected(); });
    };
    if (!station.wait_for(all_connected, 60.0)) {
        std::fprintf(stderr, "iec104: not every controlled point connected within 60 s\n");
        return false;
    }
    // Let the interrogations finish, then only the workers run: this thread sleeps through
    // the measurement, as an idle user interface would between its timer ticks (whose cost
    // is the shell's, not the acquisition's).
    station.wait_for([] { return false; }, 1.0);
    long long switches_start = context_switches();
    double cpu_start = process_cpu_s();
    auto start = steady::now();
    std::this_thread::sleep_for(std::chrono::seconds(opt.idle_seconds));
    double wall = elapsed_s(start);
    double cpu = process_cpu_s() - cpu_start;
    long long switches = context_switches() - switches_start;
    bool still = all_connected();
    station.pass(nullptr);
    std::printf("idle: %d connected controlled points for %.1f s%s\n", idle_points, wall,
                still ? "" : " (some connection was lost)");
    std::printf("idle processor time: %.4f s per second\n", cpu / wall);
    std::printf("idle wake-ups: %.1f per second\n", static_cast<double>(switches) / wall);
    return still;
}

bool parse_number(const char* text, int low, int high, int& value) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high)
        return false;
    value = static_cast<int>(v);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    options opt;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        bool ok = true;
        if (a == "--quick") {
            opt.connections = 5;
            opt.seconds = 5;
            opt.idle_seconds = 5;
        } else if (a == "--skip-a") {
            opt.run_a = false;
        } else if (a == "--skip-b") {
            opt.run_b = false;
        } else if (a == "--skip-c") {
            opt.run_c = false;
        } else if (a == "--tls") {
            opt.tls = true;
        } else if (a == "--tls-only") {
            opt.tls = true;
            opt.tls_only = true;
        } else if (a == "--connections" && has_value) {
            ok = parse_number(argv[++i], 1, 200, opt.connections);
        } else if (a == "--rate" && has_value) {
            ok = parse_number(argv[++i], 1, 100000, opt.rate);
        } else if (a == "--seconds" && has_value) {
            ok = parse_number(argv[++i], 1, 3600, opt.seconds);
        } else if (a == "--idle-seconds" && has_value) {
            ok = parse_number(argv[++i], 1, 3600, opt.idle_seconds);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr,
                         "usage: iec104 [--quick] [--connections N] [--rate CHANGES_PER_S] "
                         "[--seconds S] [--idle-seconds S] [--skip-a] [--skip-b] [--skip-c] "
                         "[--tls] [--tls-only]\n");
            return 2;
        }
    }

    std::string home =
        (std::filesystem::temp_directory_path() / ("iec104." + std::to_string(getpid()))).string() +
        "/";
    std::filesystem::create_directories(home);
    setenv("ILKSTATION_HOME", home.c_str(), 1);

    bool ok = true;
    try {
        if (opt.run_a)
            ok = run_decode() && ok;
        if (opt.run_b && !opt.tls)
            ok = run_end_to_end(opt, nullptr) >= 0 && ok;
        if (opt.run_b && opt.tls) {
            // Plain, TLS, TLS, plain: a machine that gets busier or quieter during the
            // sitting weighs on both sides alike.
            ilktest::test_pki pki(home, "bench");
            tls_files files{pki.ca_file(), pki.issue("point", "127.0.0.1"),
                            pki.issue("station", "ilkstation")};
            double plain = 0;
            double secured = 0;
            std::vector<bool> order{false, true, true, false};
            if (opt.tls_only)
                order = {true};
            for (bool over_tls : order) {
                double cpu = run_end_to_end(opt, over_tls ? &files : nullptr);
                ok = cpu >= 0 && ok;
                (over_tls ? secured : plain) += cpu / 2;
            }
            if (ok && plain > 0 && !opt.tls_only)
                std::printf("processor time, mean of two runs each: plain %.3f s/s, TLS %.3f s/s, "
                            "TLS over plain %+.1f %%\n",
                            plain, secured, (secured / plain - 1) * 100);
        }
        if (opt.run_c)
            ok = run_idle(opt) && ok;
    } catch (const nx_exception& e) {
        std::fprintf(stderr, "iec104: %s\n", e.what());
        ok = false;
    }
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return ok ? 0 : 1;
}
