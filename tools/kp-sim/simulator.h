#pragma once

#include "platform/tcp_stream.h"
#include "tools/kp-sim/scenario.h"

#include <chrono>
#include <poll.h>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace nxkit::kp_sim {

using steady = std::chrono::steady_clock;

// One TCP connection of a controlled point: the server side of the APCI.
struct connection {
    tcp_stream socket;
    int id = 0;
    // TLS: the handshake's next step needs the socket writable.
    bool handshake_wants_write = false;
    std::string peer;
    bytes received;
    bytes outgoing;
    bool started = false;
    int send_number = 0;       // V(S), counted
    int receive_number = 0;    // V(R), counted
    int acknowledged = 0;      // the last N(R) received
    int reported = 0;          // the V(R) the last sent frame carried
    bool skipped = false;      // skip-seq has struck on this connection
    std::deque<bytes> waiting; // ASDUs held back while the window is full
    bool closing = false;
};

// One served address:port with its objects, fault mode and connections.
class endpoint {
public:
    using printer = std::function<void(const std::string&)>;

    // With `tls`, every accepted connection is served over TLS.
    endpoint(endpoint_config config, printer print, bool verbose,
             std::shared_ptr<tls_context> tls = nullptr);

    // Binds (port 0: any) and listens; false with the reason in `error`.
    bool open(std::string& error);
    const std::string& name() const { return name_; }

    // Descriptors to poll, and what to do when they are ready.
    void add_poll(std::vector<pollfd>& fds) const;
    void on_ready(const std::vector<pollfd>& fds);

    // Next periodic change; steady::time_point::max() when none.
    steady::time_point next_change() const { return next_change_; }
    void on_time(steady::time_point now);

    void set_fault(const fault& f);
    // Changes up to `count` objects in turn and sends them spontaneously.
    void change(int count);
    // Sets one object's value (and quality when >= 0); false when the address is unknown.
    bool set(int ioa, double value, int quality);
    // Closes every connection now.
    void drop_connections();
    // Sends an ASDU as given to every started connection.
    void send_asdu(const bytes& asdu);
    send_form& form() { return config_.form; }

private:
    void accept_all();
    void read_from(connection& c);
    void continue_handshake(connection& c);
    void process(connection& c);
    void on_u_frame(connection& c, std::uint8_t function);
    void on_i_frame(connection& c, const bytes& asdu);
    void send_raw(connection& c, bytes frame, const std::string& what);
    void queue_asdu(connection& c, const bytes& asdu);
    void flush_window(connection& c);
    void acknowledge(connection& c);
    void write_out(connection& c);
    void close_connection(connection& c, const std::string& why);
    void send_objects(const std::vector<info_object>& objects, std::uint8_t cause);
    int sending_ca() const;
    bool silent() const { return fault_.mode == fault_mode::silent; }
    void say(const std::string& text) const;
    void say(const connection& c, const std::string& text) const;

    endpoint_config config_;
    std::shared_ptr<tls_context> tls_;
    printer print_;
    bool verbose_;
    std::string name_;
    tcp_socket listener_;
    std::list<connection> connections_;
    int next_id_ = 1;
    fault fault_;
    std::size_t next_to_change_ = 0;
    steady::time_point next_change_ = steady::time_point::max();
};

} // namespace nxkit::kp_sim
