#pragma once

#include <cstddef>
#include <string>

namespace nxkit {

class stop_event;

// "host[:port]" split at its last ':'; a missing or empty port keeps default_port.
struct endpoint_parts {
    std::string host;
    int port = 0;
};
endpoint_parts split_endpoint(const std::string& text, int default_port);

// How a bounded wait ended.
enum class wait_result { ready, timed_out, stopped, failed };

// A non-blocking IPv4 stream socket. Every wait is a poll() on the socket and, when given, a
// stop event, so a thread blocked here can always be stopped. On failure error() holds the
// errno value that describes it.
class tcp_socket {
public:
    tcp_socket() = default;
    explicit tcp_socket(int fd) : fd_(fd) {}
    ~tcp_socket();
    tcp_socket(tcp_socket&& other) noexcept;
    tcp_socket& operator=(tcp_socket&& other) noexcept;
    tcp_socket(const tcp_socket&) = delete;
    tcp_socket& operator=(const tcp_socket&) = delete;

    // A new socket (an open one is closed first).
    bool create();

    // Connects the created socket to host (dotted IPv4 or a local name) and port, waiting up
    // to timeout_ms (< 0: until stopped). timed_out leaves ETIMEDOUT in error().
    wait_result connect(const std::string& host, int port, int timeout_ms, const stop_event* stop);

    // Server side: binds the created socket to host:port (port 0: any free one) and listens.
    bool listen(const std::string& host, int port, int backlog);
    // The next pending connection, non-blocking; an empty socket when none waits.
    tcp_socket accept();
    // The bound local port; 0 when unknown.
    int local_port() const;
    // "address:port" of the other end; empty when unknown.
    std::string peer_text() const;

    // Sends every octet, waiting for room as needed; returns the number sent, which is less
    // than size only when the wait timed out, was stopped or failed.
    std::size_t send_all(const void* data, std::size_t size, int timeout_ms,
                         const stop_event* stop);

    // Waits until data (or the peer's close) can be read.
    wait_result wait_readable(int timeout_ms, const stop_event* stop);
    // Waits for any of poll()'s `events` on the socket (POLLIN, POLLOUT).
    wait_result wait_for(short events, int timeout_ms, const stop_event* stop);

    // What is there now: > 0 octets, 0 when the peer closed, -1 on failure or when nothing
    // waits (error() is then EAGAIN).
    long receive(void* buffer, std::size_t capacity);

    void close();
    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    int error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

} // namespace nxkit
