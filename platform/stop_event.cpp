#include "platform/stop_event.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <unistd.h>

namespace nxkit {

stop_event::stop_event() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    read_fd_ = fds[0];
    write_fd_ = fds[1];
}

stop_event::~stop_event() {
    ::close(read_fd_);
    ::close(write_fd_);
}

void stop_event::signal() {
    char byte = 1;
    // A full pipe is already signalled, so a failed write loses nothing.
    [[maybe_unused]] ssize_t n = ::write(write_fd_, &byte, 1);
}

bool stop_event::take() {
    bool any = false;
    char buf[64];
    for (;;) {
        ssize_t n = ::read(read_fd_, buf, sizeof buf);
        if (n > 0) {
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return any;
    }
}

bool stop_event::wait(int timeout_ms) {
    using clock = std::chrono::steady_clock;
    auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        if (take())
            return true;
        int left = -1;
        if (timeout_ms >= 0) {
            auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now());
            if (rest.count() <= 0)
                return false;
            left = static_cast<int>(rest.count());
        }
        pollfd p{read_fd_, POLLIN, 0};
        int r = ::poll(&p, 1, left);
        if (r < 0 && errno != EINTR)
            return false;
    }
}

} // namespace nxkit
