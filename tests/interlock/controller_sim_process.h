#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ilktest {

// The controller-sim binary run from a test: started with its arguments, read through its
// standard output, ended with SIGTERM.
class controller_sim_process {
public:
    // Waits until the simulator prints "ready"; the test fails when it does not.
    explicit controller_sim_process(const std::vector<std::string>& arguments) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "no pipe";
            return;
        }
        std::vector<std::string> copies = arguments;
        std::string binary = CONTROLLER_SIM_BINARY;
        std::vector<char*> argv{binary.data()};
        for (std::string& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        out_fd_ = out[0];
        std::string line;
        while (read_line(line, 5000)) {
            if (line.rfind("listen ", 0) == 0)
                port_ = std::atoi(line.substr(line.rfind(':') + 1).c_str());
            if (line == "ready")
                return;
        }
        ADD_FAILURE() << "controller-sim did not become ready";
    }

    ~controller_sim_process() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            if (wait_exit(5000) < 0) {
                ::kill(pid_, SIGKILL);
                wait_exit(5000);
            }
        }
        if (out_fd_ >= 0)
            ::close(out_fd_);
    }

    controller_sim_process(const controller_sim_process&) = delete;
    controller_sim_process& operator=(const controller_sim_process&) = delete;

    int port() const { return port_; }

    // Every line printed until one starting with `prefix` (which ends the list), or until
    // timeout_ms passed; `found` tells which.
    std::vector<std::string> lines_until(const std::string& prefix, int timeout_ms,
                                         bool* found = nullptr) {
        std::vector<std::string> lines;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        std::string line;
        bool seen = false;
        while (!seen && read_line(line, remaining(deadline))) {
            lines.push_back(line);
            seen = line.rfind(prefix, 0) == 0;
        }
        if (found)
            *found = seen;
        return lines;
    }

    bool wait_line(const std::string& prefix, int timeout_ms) {
        bool found = false;
        lines_until(prefix, timeout_ms, &found);
        return found;
    }

private:
    static int remaining(std::chrono::steady_clock::time_point deadline) {
        auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline -
                                                                 std::chrono::steady_clock::now());
        return rest.count() < 0 ? 0 : static_cast<int>(rest.count());
    }

    bool read_line(std::string& line, int timeout_ms) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
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

    int wait_exit(int timeout_ms) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (remaining(deadline) == 0)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    pid_t pid_ = -1;
    int out_fd_ = -1;
    int port_ = 0;
    std::string buffered_;
};

} // namespace ilktest
