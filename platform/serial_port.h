#pragma once

#include "platform/tcp_socket.h"

#include <cstddef>
#include <string>

namespace nxkit {

class stop_event;

// Line settings as the configuration stores them.
struct serial_line {
    int baud = 9600;
    int data_bits = 8;
    // 0 none, 1 odd, 2 even, 3 mark, 4 space.
    int parity = 2;
    // 0 one, 1 one and a half, 2 two.
    int stop_bits = 0;
};

// The five time-outs in milliseconds. A read ends when `ri` passes between two octets or when
// rm * octets asked + rc has passed in all (rm and rc both 0: no total limit); a write when
// wm * octets + wc has passed (both 0: no limit).
struct serial_timeouts {
    int ri = 1;
    int rm = 1;
    int rc = 1;
    int wm = 1;
    int wc = 1;
};

// A termios serial line in raw mode without flow control, opened exclusively. Every wait is a
// poll() on the line and, when given, a stop event. On failure error() holds the errno value.
class serial_port {
public:
    serial_port() = default;
    ~serial_port();
    serial_port(const serial_port&) = delete;
    serial_port& operator=(const serial_port&) = delete;

    // Opens the device for reading and writing; a second open of the same line fails (EBUSY).
    bool open(const std::string& device);
    void close();
    bool is_open() const { return fd_ >= 0; }

    // What the line is set to now (parity reads as none, odd, even, mark or space).
    bool get_line(serial_line& line);
    // Baud rate, data bits, parity (checked on input), stop bits, raw, no flow control.
    // One and a half stop bits and rates the system lacks fail with EINVAL.
    bool set_line(const serial_line& line);

    const serial_timeouts& timeouts() const { return timeouts_; }
    void set_timeouts(const serial_timeouts& timeouts) { timeouts_ = timeouts; }

    // Writes everything or until the write time-out (capped by limit_ms, < 0: no cap) or the
    // stop; `done` says how much went out. ready only when all of it did.
    wait_result write(const void* data, std::size_t size, std::size_t& done, int limit_ms,
                      const stop_event* stop);
    // Reads up to `capacity` octets by the read time-outs, the whole read capped by limit_ms
    // (< 0: no cap). ready with done > 0, timed_out with done == 0 when nothing came.
    wait_result read(void* buffer, std::size_t capacity, std::size_t& done, int limit_ms,
                     const stop_event* stop);

    // Drops whatever waits in the input queue.
    void discard_input();

    int fd() const { return fd_; }
    int error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
    serial_timeouts timeouts_;
};

} // namespace nxkit
