#include "telemech/nx_socket_sync.h"

#include "base/format.h"
#include "base/nx_exception.h"

namespace nxkit {

namespace {

// A connect with no time-out given still ends, as the system's own connect would.
constexpr int fallback_connect_ms = 20000;

} // namespace

void nx_socket_sync::connect(const std::string& endpoint, int port, int timeout_ms) {
    if (socket_.is_open())
        throw nx_exception_sock_sync("сокет уже открыт");
    endpoint_parts parts = split_endpoint(endpoint, 0);
    host_ = parts.host;
    port_ = port != 0 ? port : parts.port;
    timeout_ms_ = timeout_ms;
    if (!socket_.create())
        throw nx_exception_sock_sync("не удалось создать сокет " + host_);
    int limit = timeout_ms > 0 ? timeout_ms : fallback_connect_ms;
    if (socket_.connect(host_, port_, limit, nullptr) != wait_result::ready) {
        socket_.close();
        throw nx_exception_sock_sync("не удалось создать соединение " + endpoint);
    }
}

void nx_socket_sync::close() {
    socket_.close();
}

void nx_socket_sync::send(const void* data, std::size_t size) {
    int limit = timeout_ms_ > 0 ? timeout_ms_ : fallback_connect_ms;
    if (!socket_.is_open() || socket_.send_all(data, size, limit, nullptr) != size)
        throw nx_exception_sock_sync("не удалось передать пакет " + host_);
}

void nx_socket_sync::send(const std::string& text) {
    send(text.data(), text.size());
}

int nx_socket_sync::receive(char* buffer, int capacity, int timeout_ms) {
    int limit = timeout_ms > 0 ? timeout_ms : timeout_ms_;
    if (!socket_.is_open())
        throw nx_exception_sock_sync("ошибка соединения " + host_);
    wait_result r = socket_.wait_readable(limit > 0 ? limit : 0, nullptr);
    if (r == wait_result::timed_out)
        throw nx_exception_sock_sync("истек таймаут приема " + host_);
    if (r != wait_result::ready)
        throw nx_exception_sock_sync("ошибка соединения " + host_);
    long n = socket_.receive(buffer, static_cast<std::size_t>(capacity > 0 ? capacity : 0));
    if (n < 0)
        throw nx_exception_sock_sync("ошибка соединения " + host_);
    if (n == 0)
        throw nx_exception_sock_sync("сервер разорвал соединение " + host_);
    if (n >= capacity)
        throw nx_exception_sock_sync(format_short("принят пакет %ld байт", n));
    buffer[n] = 0;
    return static_cast<int>(n);
}

} // namespace nxkit
