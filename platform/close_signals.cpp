#include "platform/close_signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace nxkit {

namespace {

int write_end = -1;

void on_close_signal(int) {
    int saved = errno;
    char byte = 1;
    // Only async-signal-safe calls here.
    [[maybe_unused]] ssize_t n = ::write(write_end, &byte, 1);
    errno = saved;
}

} // namespace

int install_close_signals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    write_end = fds[1];
    struct sigaction action {};
    action.sa_handler = on_close_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return fds[0];
}

bool take_close_request(int read_fd) {
    bool any = false;
    char buf[64];
    while (::read(read_fd, buf, sizeof buf) > 0)
        any = true;
    return any;
}

} // namespace nxkit
