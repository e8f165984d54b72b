#pragma once

#include "platform/tcp_socket.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace ilktest {

// The kp-sim binary run from a test: started with its arguments, commanded through its
// standard input, read through its standard output, ended with SIGTERM.
class kp_sim_process {
public:
    // Waits until kp-sim prints "ready"; the test fails when it does not.
    explicit kp_sim_process(const std::vector<std::string>& arguments);
    ~kp_sim_process();
    kp_sim_process(const kp_sim_process&) = delete;
    kp_sim_process& operator=(const kp_sim_process&) = delete;

    bool running() const { return pid_ > 0; }
    // The port of the n-th endpoint as printed in its "listen" line.
    int port(std::size_t n = 0) const;
    // The device of the n-th serial line as printed in its "serial" line.
    std::string serial_line(std::size_t n = 0) const {
        return n < serial_lines_.size() ? serial_lines_[n] : std::string();
    }

    // Sends a command line; true when kp-sim answered "ok <line>".
    bool command(const std::string& line);
    // Reads output until a line starting with `prefix`; false after timeout_ms.
    bool wait_line(const std::string& prefix, int timeout_ms, std::string* line = nullptr);

    // SIGTERM, then the exit status (-1 when it did not end by itself within 5 s).
    int terminate();

    // Runs kp-sim to its end; its exit status and its standard error.
    static int run_to_end(const std::vector<std::string>& arguments, std::string* error_output);

private:
    bool read_line(std::string& line, int timeout_ms);

    pid_t pid_ = -1;
    int in_fd_ = -1;
    int out_fd_ = -1;
    std::string buffered_;
    std::vector<int> ports_;
    std::vector<std::string> serial_lines_;
};

// Octets from "68 04 07 00 00 00".
std::string hex_bytes(const std::string& text);
// "68 04 07 00 00 00" from octets.
std::string bytes_hex(const std::string& bytes);

// A client talking to kp-sim in raw APDUs.
class raw_client {
public:
    explicit raw_client(int port);
    bool connected() const { return connected_; }
    void send_hex(const std::string& text);
    // The next APDU as hexadecimal text; "" when none arrives within timeout_ms, "closed" when
    // the peer closed.
    std::string next_frame(int timeout_ms = 2000);
    nxkit::tcp_socket& socket() { return socket_; }

private:
    nxkit::tcp_socket socket_;
    bool connected_ = false;
    std::string received_;
};

} // namespace ilktest
