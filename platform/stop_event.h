#pragma once

namespace nxkit {

// An auto-reset event a thread can wait on together with its sockets or ports: signalling
// makes the read end of a pipe readable, taking the signal drains it again.
class stop_event {
public:
    // Throws std::system_error when the pipe cannot be made.
    stop_event();
    ~stop_event();
    stop_event(const stop_event&) = delete;
    stop_event& operator=(const stop_event&) = delete;

    // Safe from any thread; signalling twice before a take counts once.
    void signal();

    // Consumes a pending signal without waiting; true when there was one.
    bool take();

    // Waits up to timeout_ms (< 0: without limit) for the signal and consumes it.
    bool wait(int timeout_ms);

    // Readable while signalled; for poll() next to other descriptors.
    int fd() const { return read_fd_; }

private:
    int read_fd_ = -1;
    int write_fd_ = -1;
};

} // namespace nxkit
