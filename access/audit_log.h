#pragma once

#include "access/audit_chain.h"
#include "base/nx_time.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace nxkit {

// The append-only audit.log, written by a worker thread: the interface thread only copies a
// line's fields (time, user, role, action, object) into a buffer reserved ahead, under a lock
// held for that copy. The worker takes the buffer whole, computes the chain values, appends
// the lines and, above `rotate_size` bytes, renames the file to audit_<yyyymmddhhmmss>.log
// and starts the new one with a continuation line.
// A line that cannot be written stays queued and is tried again with the next one; the
// failure is kept until taken for reporting. While lines wait they are also kept in
// audit.pending beside the log (replaced whole), so that the program's end or a crash does not
// lose them: the next start appends them to the chain first, in their order.
class audit_log {
public:
    explicit audit_log(std::string path, long long rotate_size = 1000000);
    ~audit_log();
    audit_log(const audit_log&) = delete;
    audit_log& operator=(const audit_log&) = delete;

    // Queues a line stamped now. Allocation-free while the reserved buffer holds the queue.
    void record(std::string_view user, std::string_view role, std::string_view action,
                std::string_view object);
    // Whether a line can be appended now (the file opens for appending and nothing is stuck).
    bool writable();
    // Waits until every queued line is written or has failed.
    void flush();
    // The text of a write failure not yet reported, "" when there is none.
    std::string take_failure();
    // Lines queued and not written yet (stuck ones included).
    std::size_t waiting();

    const std::string& path() const { return path_; }
    // audit.pending beside the log.
    const std::string& pending_path() const { return pending_path_; }
    // On the thread that records (tests).
    void set_clock(std::function<nx_time()> clock);
    void set_rotate_size(long long size);

private:
    struct line {
        nx_time time = 0;
        audit_entry entry;
    };
    void run();
    // Moves the lines encoded in `taken` into the backlog.
    void decode(const std::string& taken);
    // Writes the backlog from its front; false when a write failed (text in failure_).
    bool write_backlog();
    bool write_line(const line& l);
    bool append(const std::string& bytes);
    void rotate(nx_time now);
    // Keeps the backlog in audit.pending, or removes the file when nothing waits.
    void keep_pending();
    void load_pending();

    std::string path_;
    std::string pending_path_;
    std::atomic<long long> rotate_size_;
    std::function<nx_time()> clock_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    // Lines queued by record(), encoded back to back; swapped with `taken_` by the worker.
    std::string incoming_;
    std::size_t incoming_lines_ = 0;
    bool stop_ = false;
    bool busy_ = false;
    bool stuck_ = false;
    std::size_t backlog_size_ = 0;
    std::string failure_;
    // Worker only.
    std::string write_failure_;
    std::string taken_;
    std::deque<line> backlog_;
    // Lines at the front of the backlog that came from audit.pending.
    std::size_t from_pending_ = 0;
    bool pending_stored_ = false;
    std::string previous_;
    bool previous_known_ = false;
    std::thread worker_;
};

} // namespace nxkit
