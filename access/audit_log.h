#pragma once

#include "base/nx_time.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace nxkit {

// The append-only audit.log, written by a worker thread: the interface thread only queues a
// line (time, user, role, action, object). The worker computes the chain value, appends the
// line and, above `rotate_size` bytes, renames the file to audit_<yyyymmddhhmmss>.log and
// starts the new one with a continuation line. A line that cannot be written stays queued
// and is tried again with the next one; the failure is kept until taken for reporting.
class audit_log {
public:
    explicit audit_log(std::string path, long long rotate_size = 1000000);
    ~audit_log();
    audit_log(const audit_log&) = delete;
    audit_log& operator=(const audit_log&) = delete;

    // Queues a line stamped now.
    void record(const std::string& user, const std::string& role, const std::string& action,
                const std::string& object);
    // Whether a line can be appended now (the file opens for appending and nothing is stuck).
    bool writable();
    // Waits until every queued line is written or has failed.
    void flush();
    // The text of a write failure not yet reported, "" when there is none.
    std::string take_failure();

    const std::string& path() const { return path_; }
    void set_clock(std::function<nx_time()> clock);
    void set_rotate_size(long long size);

private:
    struct pending {
        nx_time time = 0;
        std::string user;
        std::string role;
        std::string action;
        std::string object;
    };
    void run();
    // Writes the front line; false when it failed (errno-based text in failure_).
    bool write_front(const pending& line);
    bool append(const std::string& bytes);
    void rotate(nx_time now);

    std::string path_;
    long long rotate_size_;
    std::function<nx_time()> clock_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<pending> queue_;
    bool stop_ = false;
    bool busy_ = false;
    bool stuck_ = false;
    std::string failure_;
    // Worker only.
    std::string previous_;
    bool previous_known_ = false;
    std::thread worker_;
};

} // namespace nxkit
