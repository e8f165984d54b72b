#pragma once

#include "base/nx_log.h"
#include "platform/stop_event.h"
#include "platform/tcp_stream.h"
#include "telemech/nx_mASDU.h"
#include "telemech/nx_tm_info.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace nxkit {

// Timing of a connection worker. The defaults are the workstation's; tests shorten them.
struct nx_m104_settings {
    // An I-frame or TESTFR act unconfirmed for t1 ends the connection.
    tm_ms t1 = 15000;
    tm_ms t2 = 0;
    tm_ms t3 = 3000;
    // Pause between connection attempts.
    int reconnect_ms = 1000;
    // A connect that is neither accepted nor refused fails after this time.
    int connect_timeout_ms = 20000;
    // A frame that cannot be handed to the socket within this time ends the connection.
    int send_timeout_ms = 10000;
    // How long stop waits for the worker.
    int stop_limit_ms = 10000;
    // Monotonic milliseconds for the protocol layer; a steady clock when empty.
    std::function<tm_ms()> clock;
    // TLS over the connection (IEC 62351-3) when set, plain TCP otherwise. An empty peer name
    // checks the endpoint's host. The handshake is bounded by connect_timeout_ms.
    std::optional<tls_settings> tls;
};

// One IEC 60870-5-104 connection to one controlled point, run by a worker thread of its own:
// connect, drive the APCI layer, reconnect after every loss, stop on request. Every wait of
// the worker is a poll() that also watches the stop event, so stop ends it promptly.
class nx_m104_act {
public:
    static constexpr int default_port = 2404;

    nx_m104_act() = default;
    // Stops a running worker first.
    ~nx_m104_act();
    nx_m104_act(const nx_m104_act&) = delete;
    nx_m104_act& operator=(const nx_m104_act&) = delete;

    // endpoint: "host" or "host:port" (the last ':' counts, an empty port keeps 2404). Lines go
    // to `log` (the program log) and to the connection's protocol log. False when a worker is
    // already running; nothing changes then.
    bool start(std::uint16_t address, const std::string& endpoint, nx_tm_info& sink,
               nx_log& log = nx_log::main(), nx_m104_settings settings = {});
    // False when no worker runs. Otherwise signals the stop and waits for the worker.
    bool stop();
    bool is_running() const { return thread_.joinable(); }

    const std::string& host() const { return host_; }
    int port() const { return port_; }
    const std::string& log_prefix() const { return prefix_; }
    // Why the last connection attempt of a TLS connection failed; empty once it connects, and
    // always for plain TCP.
    std::string last_failure() const;

private:
    // What the worker thread shares with this object; it outlives a worker left behind.
    struct shared {
        stop_event stop;
        std::mutex lock;
        std::condition_variable ended_signal;
        bool ended = false;
        std::string failure;
    };

    void run(std::shared_ptr<shared> state);

    int port_ = default_port;
    std::string host_;
    std::uint16_t address_ = 0;
    std::string prefix_;
    nx_tm_info* sink_ = nullptr;
    nx_log* log_ = nullptr;
    nx_m104_settings settings_;
    std::shared_ptr<shared> state_;
    std::thread thread_;
};

} // namespace nxkit
