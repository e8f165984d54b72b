#pragma once

#include "base/nx_log.h"
#include "platform/serial_port.h"
#include "platform/stop_event.h"
#include "telemech/nx_mASDU.h"
#include "telemech/nx_tm_info.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace nxkit {

// What a serial worker is started with. The line and its time-outs are the port component's;
// the timing below the workstation's, shortened by tests.
struct nx_m101_settings {
    int port_number = 0;
    // The device the port number stands for (settings COM/N).
    std::string device;
    serial_line line;
    serial_timeouts timeouts;
    // Pause between attempts to open the line.
    int reopen_ms = 1000;
    // Bound of one write and of one read.
    int io_limit_ms = 10000;
    // How long stop waits for the worker.
    int stop_limit_ms = 15000;
    // Monotonic milliseconds for the link layer; a steady clock when empty.
    std::function<tm_ms()> clock;
};

// The worker of one serial line: opens and sets the line, makes one IEC 101 link per
// controlled point and lets them take turns, one exchange each, until stopped; a line that
// cannot be opened or fails is tried again after a pause. Every wait is a poll() that also
// watches the stop event.
class nx_m101_act {
public:
    nx_m101_act() = default;
    ~nx_m101_act();
    nx_m101_act(const nx_m101_act&) = delete;
    nx_m101_act& operator=(const nx_m101_act&) = delete;

    // points: link address → sink. log_file: the port log with the raw traffic (empty: none).
    // False when a worker is already running.
    bool start(const nx_m101_settings& settings, std::map<std::uint16_t, nx_tm_info*> points,
               const std::string& log_file, int log_size, nx_log& log = nx_log::main());
    // False when no worker runs. Otherwise signals the stop and waits for the worker.
    bool stop();
    bool is_running() const { return thread_.joinable(); }
    // The line is open and being polled.
    bool line_open() const { return state_ != nullptr && state_->line_open.load(); }
    // The running worker was given this sink: it must not go away while the worker runs.
    bool polls(const nx_tm_info* sink) const { return sinks_.count(sink) != 0; }

    // "%d: ": the key of a link and the prefix of its lines; keys sort 1, 10, 2, ...
    static std::string link_key(std::uint16_t address);
    // "COM%d, %d бод, %d бит, стоп бит %s, паритет %s".
    static std::string line_description(int port_number, const serial_line& line);

private:
    struct shared {
        stop_event stop;
        std::mutex lock;
        std::condition_variable ended_signal;
        bool ended = false;
        std::atomic<bool> line_open{false};
    };

    static void run(std::shared_ptr<shared> state, nx_m101_settings settings,
                    std::map<std::uint16_t, nx_tm_info*> points, std::string log_file, int log_size,
                    nx_log* log);

    std::shared_ptr<shared> state_;
    std::thread thread_;
    nx_log* log_ = nullptr;
    std::string log_file_;
    int stop_limit_ms_ = 15000;
    std::set<const nx_tm_info*> sinks_;
};

} // namespace nxkit
