#pragma once

#include "platform/serial_port.h"
#include "tools/kp-sim/scenario.h"

#include <chrono>
#include <deque>
#include <functional>
#include <poll.h>
#include <string>
#include <vector>

namespace nxkit::kp_sim {

// IEC 60870-5-101 secondary stations (unbalanced) on one serial line or pseudo-terminal.
// Everything a station has to send waits as class 1 data: the answers to commands and the
// spontaneous changes.
class serial_station {
public:
    using printer = std::function<void(const std::string&)>;
    using clock = std::chrono::steady_clock;

    serial_station(serial_config config, printer print, bool verbose);
    ~serial_station();
    serial_station(const serial_station&) = delete;
    serial_station& operator=(const serial_station&) = delete;

    // Opens the device, or makes the pseudo-terminal pair; false with the reason in `error`.
    bool open(std::string& error);
    // The line the workstation opens: the device, or the pseudo-terminal's other end.
    const std::string& name() const { return name_; }

    void add_poll(std::vector<pollfd>& fds) const;
    void on_ready(const std::vector<pollfd>& fds);
    clock::time_point next_change() const { return next_change_; }
    void on_time(clock::time_point now);

    // address < 0: every station of the line.
    void set_fault(const fault& f, int address = -1);
    void change(int count);
    bool set(int ioa, double value, int quality);
    // Queues an ASDU as given as class 1 data of every station.
    void send_asdu(const bytes& asdu);
    send_form& form() { return config_.form; }

private:
    struct station {
        link_config config;
        fault current_fault;
        bool reset = false;
        // FCB of the last frame with FCV and the answer it got (strict mode).
        int last_fcb = -1;
        bytes last_answer;
        std::deque<bytes> class1;
    };

    void process();
    void on_frame(const bytes& frame);
    void serve(station& s, std::uint8_t control, const bytes& asdu);
    void on_user_data(station& s, const bytes& asdu);
    bytes fixed(const station& s, int function) const;
    bytes variable(const station& s, const bytes& asdu) const;
    void send(station& s, bytes answer, const std::string& what);
    void queue_objects(station& s, const std::vector<info_object>& objects, std::uint8_t cause);
    void say(const std::string& text) const;

    serial_config config_;
    printer print_;
    bool verbose_;
    std::string name_;
    int fd_ = -1;
    // A pseudo-terminal's other end, kept open so the line survives the workstation closing it.
    int slave_fd_ = -1;
    serial_port port_;
    std::vector<station> stations_;
    bytes received_;
    std::size_t next_to_change_ = 0;
    clock::time_point next_change_ = clock::time_point::max();
};

} // namespace nxkit::kp_sim
