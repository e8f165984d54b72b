#include "tests/telemech/kp_sim_process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace ilktest {

namespace {

using steady = std::chrono::steady_clock;

int remaining(steady::time_point deadline) {
    auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady::now());
    return rest.count() < 0 ? 0 : static_cast<int>(rest.count());
}

pid_t spawn(const std::vector<std::string>& arguments, int& in_fd, int& out_fd, int& err_fd) {
    int in[2];
    int out[2];
    int err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return -1;
    std::vector<char*> argv;
    std::string binary = KP_SIM_BINARY;
    argv.push_back(binary.data());
    std::vector<std::string> copies = arguments;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_fd = in[1];
    out_fd = out[0];
    err_fd = err[0];
    return pid;
}

int wait_exit(pid_t pid, int timeout_ms) {
    auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (remaining(deadline) == 0)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

kp_sim_process::kp_sim_process(const std::vector<std::string>& arguments) {
    int err_fd = -1;
    pid_ = spawn(arguments, in_fd_, out_fd_, err_fd);
    if (err_fd >= 0)
        ::close(err_fd);
    std::string line;
    while (read_line(line, 5000)) {
        if (line.rfind("listen ", 0) == 0)
            ports_.push_back(std::atoi(line.substr(line.rfind(':') + 1).c_str()));
        if (line.rfind("serial ", 0) == 0)
            serial_lines_.push_back(line.substr(7));
        if (line == "ready")
            return;
    }
    ADD_FAILURE() << "kp-sim did not become ready";
}

kp_sim_process::~kp_sim_process() {
    if (pid_ > 0 && terminate() < 0) {
        ::kill(pid_, SIGKILL);
        wait_exit(pid_, 5000);
    }
    if (in_fd_ >= 0)
        ::close(in_fd_);
    if (out_fd_ >= 0)
        ::close(out_fd_);
}

int kp_sim_process::port(std::size_t n) const {
    return n < ports_.size() ? ports_[n] : 0;
}

bool kp_sim_process::read_line(std::string& line, int timeout_ms) {
    auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        auto end = buffered_.find('\n');
        if (end != std::string::npos) {
            line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return true;
        }
        pollfd p{out_fd_, POLLIN, 0};
        if (::poll(&p, 1, remaining(deadline)) <= 0)
            return false;
        char chunk[4096];
        ssize_t n = ::read(out_fd_, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        buffered_.append(chunk, static_cast<std::size_t>(n));
    }
}

bool kp_sim_process::wait_line(const std::string& prefix, int timeout_ms, std::string* found) {
    auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    std::string line;
    while (read_line(line, remaining(deadline))) {
        if (line.rfind(prefix, 0) == 0) {
            if (found)
                *found = line;
            return true;
        }
    }
    return false;
}

bool kp_sim_process::command(const std::string& line) {
    std::string text = line + "\n";
    if (::write(in_fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        return false;
    std::string answer;
    auto deadline = steady::now() + std::chrono::milliseconds(5000);
    while (read_line(answer, remaining(deadline))) {
        if (answer == "ok " + line)
            return true;
        if (answer == "error " + line)
            return false;
    }
    return false;
}

int kp_sim_process::terminate() {
    if (pid_ <= 0)
        return -1;
    ::kill(pid_, SIGTERM);
    int status = wait_exit(pid_, 5000);
    if (status >= 0)
        pid_ = -1;
    return status;
}

int kp_sim_process::run_to_end(const std::vector<std::string>& arguments,
                               std::string* error_output) {
    int in_fd = -1;
    int out_fd = -1;
    int err_fd = -1;
    pid_t pid = spawn(arguments, in_fd, out_fd, err_fd);
    ::close(in_fd);
    ::close(out_fd);
    std::string text;
    char chunk[1024];
    ssize_t n;
    while ((n = ::read(err_fd, chunk, sizeof chunk)) > 0)
        text.append(chunk, static_cast<std::size_t>(n));
    ::close(err_fd);
    if (error_output)
        *error_output = text;
    int status = wait_exit(pid, 5000);
    if (status < 0) {
        ::kill(pid, SIGKILL);
        wait_exit(pid, 5000);
    }
    return status;
}

std::string hex_bytes(const std::string& text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

std::string bytes_hex(const std::string& bytes) {
    std::string out;
    char octet[4];
    for (unsigned char c : bytes) {
        std::snprintf(octet, sizeof octet, out.empty() ? "%02X" : " %02X", c);
        out += octet;
    }
    return out;
}

raw_client::raw_client(int port) {
    connected_ = socket_.create() &&
                 socket_.connect("127.0.0.1", port, 2000, nullptr) == nxkit::wait_result::ready;
}

void raw_client::send_hex(const std::string& text) {
    std::string bytes = hex_bytes(text);
    ASSERT_EQ(socket_.send_all(bytes.data(), bytes.size(), 2000, nullptr), bytes.size());
}

std::string raw_client::next_frame(int timeout_ms) {
    auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (received_.size() >= 2) {
            std::size_t length = static_cast<unsigned char>(received_[1]) + 2u;
            if (received_.size() >= length) {
                std::string frame = received_.substr(0, length);
                received_.erase(0, length);
                return bytes_hex(frame);
            }
        }
        if (socket_.wait_readable(remaining(deadline), nullptr) != nxkit::wait_result::ready)
            return {};
        char chunk[4096];
        long n = socket_.receive(chunk, sizeof chunk);
        if (n <= 0)
            return "closed";
        received_.append(chunk, static_cast<std::size_t>(n));
    }
}

} // namespace ilktest
