#include "platform/single_instance.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace nxkit {

namespace {

constexpr const char* replaced_characters = "\\.:/\";'?!*&^%$#@~`{}[]|()";
constexpr const char* raise_request = "raise\n";

// FNV-1a, so an over-long guard name still maps to the same short name in every process.
std::string short_hash(const std::string& text) {
    unsigned long long h = 1469598103934665603ULL;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", h);
    return buf;
}

// Fits a name into `limit` bytes, keeping its tail (the most specific part) and a hash.
std::string fitted(const std::string& name, std::size_t limit) {
    if (name.size() <= limit)
        return name;
    std::string hash = short_hash(name);
    return hash + "_" + name.substr(name.size() - (limit - hash.size() - 1));
}

std::string runtime_folder() {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (dir != nullptr && *dir != 0 && access(dir, W_OK) == 0)
        return std::string(dir) + "/";
    return "/tmp/";
}

sockaddr_un abstract_address(const std::string& name, socklen_t& length) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // Abstract namespace: leading NUL, no file to clean up after a crash.
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return address;
}

} // namespace

std::string instance_guard_name(const std::string& path) {
    std::string name = path;
    for (char& c : name)
        if (std::strchr(replaced_characters, c) != nullptr && c != 0)
            c = '_';
    return name;
}

single_instance::single_instance(const std::string& lock_file, const std::string& guard_name)
    : lock_path_(lock_file), socket_name_(fitted("ilkstation" + guard_name, 100)) {
    // Readable by everyone who may start the station; the lock, not the mode, keeps it once.
    int fd = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        lock_path_ = runtime_folder() + fitted("ilkstation" + guard_name, 200) + ".lock";
        fd = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    }
    if (fd < 0)
        return;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    lock_fd_ = fd;
    // Who holds it, for the operator who finds the file.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] ssize_t n = ::pwrite(fd, pid.data(), pid.size(), 0);
    }

    int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0)
        return;
    socklen_t length = 0;
    sockaddr_un address = abstract_address(socket_name_, length);
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(s, 4) != 0) {
        ::close(s);
        return;
    }
    listen_fd_ = s;
}

single_instance::~single_instance() {
    if (listen_fd_ >= 0)
        ::close(listen_fd_);
    if (lock_fd_ >= 0)
        ::close(lock_fd_); // releases the lock
}

bool single_instance::ask_first_to_raise(int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0)
            return false;
        socklen_t length = 0;
        sockaddr_un address = abstract_address(socket_name_, length);
        if (::connect(s, reinterpret_cast<sockaddr*>(&address), length) == 0) {
            ssize_t n = ::send(s, raise_request, std::strlen(raise_request), MSG_NOSIGNAL);
            ::close(s);
            return n == static_cast<ssize_t>(std::strlen(raise_request));
        }
        ::close(s);
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        // The holder may still be between taking the lock and listening.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool single_instance::take_raise_request() {
    if (listen_fd_ < 0)
        return false;
    bool raised = false;
    for (;;) {
        int c = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            break;
        // The asking copy writes its request before closing; wait for it only briefly.
        pollfd p{c, POLLIN, 0};
        char buf[16] = {};
        if (::poll(&p, 1, 500) > 0 && ::recv(c, buf, sizeof buf - 1, 0) > 0 &&
            std::strncmp(buf, raise_request, std::strlen(raise_request)) == 0)
            raised = true;
        ::close(c);
    }
    return raised;
}

} // namespace nxkit
