#pragma once

#include "platform/tcp_socket.h"

#include <cstddef>
#include <string>

namespace nxkit {

// A small blocking TCP client (the controller file transfer). Every wait is bounded by the
// time-out; failures throw nx_exception_sock_sync with the operator's text.
class nx_socket_sync {
public:
    nx_socket_sync() = default;
    ~nx_socket_sync() { close(); }
    nx_socket_sync(const nx_socket_sync&) = delete;
    nx_socket_sync& operator=(const nx_socket_sync&) = delete;

    // endpoint: host, optionally ":port" (used when `port` is 0). timeout_ms becomes the default
    // receive time-out and also bounds the connect.
    void connect(const std::string& endpoint, int port, int timeout_ms);
    void close();
    bool is_open() const { return socket_.is_open(); }

    void send(const void* data, std::size_t size);
    void send(const std::string& text);

    // Waits up to timeout_ms (the default when 0 or less), receives up to `capacity` octets,
    // puts a zero octet behind them and returns their count.
    int receive(char* buffer, int capacity, int timeout_ms = 0);

    const std::string& host() const { return host_; }
    int port() const { return port_; }

private:
    tcp_socket socket_;
    int port_ = 0;
    std::string host_;
    int timeout_ms_ = 0;
};

} // namespace nxkit
