#include "platform/tcp_socket.h"

#include "platform/stop_event.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nxkit {

namespace {

using steady = std::chrono::steady_clock;

// Dotted addresses never touch the resolver; other names go through it (AF_INET only).
bool resolve(const std::string& host, int port, sockaddr_in& out, int& error) {
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(static_cast<std::uint16_t>(port));
    if (port < 0 || port > 65535) {
        error = EINVAL;
        return false;
    }
    if (::inet_pton(AF_INET, host.c_str(), &out.sin_addr) == 1)
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 ||
        list == nullptr) {
        error = EADDRNOTAVAIL;
        return false;
    }
    out.sin_addr = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr;
    ::freeaddrinfo(list);
    return true;
}

int remaining_ms(steady::time_point deadline) {
    auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady::now());
    return rest.count() < 0 ? 0 : static_cast<int>(rest.count());
}

} // namespace

endpoint_parts split_endpoint(const std::string& text, int default_port) {
    endpoint_parts parts{text, default_port};
    auto colon = text.rfind(':');
    if (colon == std::string::npos)
        return parts;
    parts.host = text.substr(0, colon);
    std::string port = text.substr(colon + 1);
    if (!port.empty())
        parts.port = std::atoi(port.c_str());
    return parts;
}

tcp_socket::~tcp_socket() {
    close();
}

tcp_socket::tcp_socket(tcp_socket&& other) noexcept : fd_(other.fd_), error_(other.error_) {
    other.fd_ = -1;
}

tcp_socket& tcp_socket::operator=(tcp_socket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        error_ = other.error_;
        other.fd_ = -1;
    }
    return *this;
}

bool tcp_socket::create() {
    close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        error_ = errno;
        return false;
    }
    return true;
}

void tcp_socket::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

wait_result tcp_socket::wait_for(short events, int timeout_ms, const stop_event* stop) {
    auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        pollfd fds[2] = {{fd_, events, 0}, {stop ? stop->fd() : -1, POLLIN, 0}};
        int left = timeout_ms < 0 ? -1 : remaining_ms(deadline);
        int r = ::poll(fds, stop ? 2 : 1, left);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
            return wait_result::failed;
        }
        // The stop wins over data: a stopping thread must not start on more work.
        if (stop && (fds[1].revents & POLLIN))
            return wait_result::stopped;
        if (fds[0].revents & POLLNVAL) {
            error_ = EBADF;
            return wait_result::failed;
        }
        if (fds[0].revents != 0)
            return wait_result::ready;
        if (r == 0 && timeout_ms >= 0 && remaining_ms(deadline) == 0) {
            error_ = ETIMEDOUT;
            return wait_result::timed_out;
        }
    }
}

wait_result tcp_socket::connect(const std::string& host, int port, int timeout_ms,
                                const stop_event* stop) {
    sockaddr_in address;
    if (!resolve(host, port, address, error_))
        return wait_result::failed;
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return wait_result::ready;
    if (errno != EINPROGRESS) {
        error_ = errno;
        return wait_result::failed;
    }
    wait_result waited = wait_for(POLLOUT, timeout_ms, stop);
    if (waited != wait_result::ready)
        return waited;
    int so_error = 0;
    socklen_t length = sizeof so_error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &so_error, &length) != 0)
        so_error = errno;
    if (so_error != 0) {
        error_ = so_error;
        return wait_result::failed;
    }
    return wait_result::ready;
}

bool tcp_socket::listen(const std::string& host, int port, int backlog) {
    sockaddr_in address;
    if (!resolve(host, port, address, error_))
        return false;
    int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, backlog) != 0) {
        error_ = errno;
        return false;
    }
    return true;
}

tcp_socket tcp_socket::accept() {
    int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        error_ = errno;
        return tcp_socket();
    }
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return tcp_socket(fd);
}

int tcp_socket::local_port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

std::string tcp_socket::peer_text() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

std::size_t tcp_socket::send_all(const void* data, std::size_t size, int timeout_ms,
                                 const stop_event* stop) {
    auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    const char* bytes = static_cast<const char*>(data);
    std::size_t sent = 0;
    while (sent < size) {
        ssize_t n = ::send(fd_, bytes + sent, size - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error_ = errno;
            break;
        }
        int left = timeout_ms < 0 ? -1 : remaining_ms(deadline);
        if (left == 0 && timeout_ms >= 0) {
            error_ = ETIMEDOUT;
            break;
        }
        if (wait_for(POLLOUT, left, stop) != wait_result::ready)
            break;
    }
    return sent;
}

wait_result tcp_socket::wait_readable(int timeout_ms, const stop_event* stop) {
    return wait_for(POLLIN, timeout_ms, stop);
}

long tcp_socket::receive(void* buffer, std::size_t capacity) {
    for (;;) {
        ssize_t n = ::recv(fd_, buffer, capacity, 0);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        error_ = errno;
        return -1;
    }
}

} // namespace nxkit
