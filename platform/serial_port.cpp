#include "platform/serial_port.h"

#include "platform/stop_event.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace nxkit {

namespace {

using steady = std::chrono::steady_clock;

struct rate {
    int baud;
    speed_t code;
};

constexpr rate rates[] = {{50, B50},         {75, B75},        {110, B110},     {134, B134},
                          {150, B150},       {200, B200},      {300, B300},     {600, B600},
                          {1200, B1200},     {1800, B1800},    {2400, B2400},   {4800, B4800},
                          {9600, B9600},     {19200, B19200},  {38400, B38400}, {57600, B57600},
                          {115200, B115200}, {230400, B230400}};

int remaining_ms(steady::time_point deadline) {
    auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady::now());
    return rest.count() < 0 ? 0 : static_cast<int>(rest.count());
}

// Milliseconds until `deadline` or -1 for none, whichever of the limits is nearer.
int nearer(int a, int b) {
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

// per * octets + constant, the parts below 0 taken as 0; the configuration takes any number,
// so the product is capped instead of overflowing.
int total_ms(int per, std::size_t octets, int constant) {
    const long long sum = static_cast<long long>(std::max(per, 0)) *
                              static_cast<long long>(std::min<std::size_t>(octets, 1 << 20)) +
                          std::max(constant, 0);
    return static_cast<int>(std::min<long long>(sum, std::numeric_limits<int>::max()));
}

// The slave end of a Unix 98 pseudo-terminal (majors 136 to 143).
bool is_pseudo_terminal(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

} // namespace

serial_port::~serial_port() {
    close();
}

bool serial_port::open(const std::string& device) {
    close();
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error_ = errno;
        return false;
    }
    // Exclusive: nobody else opens the line while we poll it.
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY) {
        error_ = errno;
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void serial_port::close() {
    if (fd_ >= 0) {
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    fd_ = -1;
}

bool serial_port::get_line(serial_line& line) {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) {
        error_ = errno;
        return false;
    }
    speed_t speed = ::cfgetospeed(&t);
    line.baud = 0;
    for (const rate& r : rates)
        if (r.code == speed)
            line.baud = r.baud;
    line.data_bits = (t.c_cflag & CSIZE) == CS7 ? 7 : (t.c_cflag & CSIZE) == CS8 ? 8 : 0;
    if ((t.c_cflag & PARENB) == 0)
        line.parity = 0;
    else if ((t.c_cflag & CMSPAR) != 0)
        line.parity = (t.c_cflag & PARODD) != 0 ? 3 : 4;
    else
        line.parity = (t.c_cflag & PARODD) != 0 ? 1 : 2;
    line.stop_bits = (t.c_cflag & CSTOPB) != 0 ? 2 : 0;
    return true;
}

bool serial_port::set_line(const serial_line& line) {
    const rate* chosen = nullptr;
    for (const rate& r : rates)
        if (r.baud == line.baud)
            chosen = &r;
    // termios has no one and a half stop bits.
    if (chosen == nullptr || (line.data_bits != 7 && line.data_bits != 8) || line.parity < 0 ||
        line.parity > 4 || (line.stop_bits != 0 && line.stop_bits != 2)) {
        error_ = EINVAL;
        return false;
    }
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) {
        error_ = errno;
        return false;
    }
    ::cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | IGNPAR | PARMRK);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | (line.data_bits == 7 ? CS7 : CS8);
    switch (line.parity) {
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (line.parity != 0)
        t.c_iflag |= INPCK;
    else
        t.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    if (line.stop_bits == 2)
        t.c_cflag |= CSTOPB;
    // Reads never block in the kernel: poll() does the waiting.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, chosen->code) != 0 || ::cfsetospeed(&t, chosen->code) != 0) {
        error_ = errno;
        return false;
    }
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        // A pseudo-terminal has no parity to put on a wire and may keep its old parity bit,
        // which the C library reports as EINVAL: everything else was set.
        if (errno == EINVAL && is_pseudo_terminal(fd_))
            return true;
        error_ = errno;
        return false;
    }
    return true;
}

void serial_port::discard_input() {
    if (fd_ >= 0)
        ::tcflush(fd_, TCIFLUSH);
}

// Waits for `events` on the line; the stop event is only looked at, never consumed.
static wait_result wait_line(int fd, short events, int timeout_ms, const stop_event* stop,
                             int& error) {
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {stop != nullptr ? stop->fd() : -1, POLLIN, 0}};
        auto started = steady::now();
        int r = ::poll(fds, stop != nullptr ? 2 : 1, timeout_ms);
        if (r < 0) {
            if (errno == EINTR) {
                if (timeout_ms > 0) {
                    int spent =
                        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             steady::now() - started)
                                             .count());
                    timeout_ms = std::max(0, timeout_ms - spent);
                }
                continue;
            }
            error = errno;
            return wait_result::failed;
        }
        if (r == 0)
            return wait_result::timed_out;
        if (stop != nullptr && (fds[1].revents & POLLIN) != 0)
            return wait_result::stopped;
        if ((fds[0].revents & POLLNVAL) != 0) {
            error = EBADF;
            return wait_result::failed;
        }
        // Hung up with nothing left to read: the line is gone.
        if ((fds[0].revents & (POLLHUP | POLLERR)) != 0 && (fds[0].revents & POLLIN) == 0) {
            error = EIO;
            return wait_result::failed;
        }
        return wait_result::ready;
    }
}

wait_result serial_port::write(const void* data, std::size_t size, std::size_t& done, int limit_ms,
                               const stop_event* stop) {
    done = 0;
    const auto* p = static_cast<const unsigned char*>(data);
    int total = -1;
    if (timeouts_.wm > 0 || timeouts_.wc > 0)
        total = total_ms(timeouts_.wm, size, timeouts_.wc);
    total = nearer(total, limit_ms);
    const auto deadline = steady::now() + std::chrono::milliseconds(total < 0 ? 0 : total);
    while (done < size) {
        ssize_t n = ::write(fd_, p + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            error_ = errno;
            return wait_result::failed;
        }
        int wait = total < 0 ? -1 : remaining_ms(deadline);
        if (wait == 0) {
            error_ = ETIMEDOUT;
            return wait_result::timed_out;
        }
        wait_result r = wait_line(fd_, POLLOUT, wait, stop, error_);
        if (r == wait_result::timed_out)
            error_ = ETIMEDOUT;
        if (r != wait_result::ready)
            return r;
    }
    return wait_result::ready;
}

wait_result serial_port::read(void* buffer, std::size_t capacity, std::size_t& done, int limit_ms,
                              const stop_event* stop) {
    done = 0;
    auto* p = static_cast<unsigned char*>(buffer);
    int total = -1;
    if (timeouts_.rm > 0 || timeouts_.rc > 0)
        total = total_ms(timeouts_.rm, capacity, timeouts_.rc);
    total = nearer(total, limit_ms);
    const auto deadline = steady::now() + std::chrono::milliseconds(total < 0 ? 0 : total);
    while (done < capacity) {
        ssize_t n = ::read(fd_, p + done, capacity - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // Raw mode without VMIN reads 0 when nothing waits; a pseudo-terminal whose other end
        // is closed reads EIO.
        if (n < 0 && errno != EAGAIN) {
            error_ = errno;
            return done > 0 ? wait_result::ready : wait_result::failed;
        }
        int wait = total < 0 ? -1 : remaining_ms(deadline);
        // Once octets came, a pause of ri between two of them ends the read.
        if (done > 0 && timeouts_.ri > 0)
            wait = nearer(wait, timeouts_.ri);
        if (wait == 0)
            break;
        wait_result r = wait_line(fd_, POLLIN, wait, stop, error_);
        if (r == wait_result::timed_out)
            break;
        if (r != wait_result::ready)
            return done > 0 && r == wait_result::stopped ? wait_result::ready : r;
    }
    return done > 0 ? wait_result::ready : wait_result::timed_out;
}

} // namespace nxkit
