#pragma once

// The archive's writer: the interface thread hands it the rows of each update pass and never
// waits; a worker thread of its own writes them, one transaction per batch, and keeps the
// retention. With a PostgreSQL archive, rows the server cannot take wait in a local SQLite
// queue and are sent when it is back.

#include "archive/archive_db.h"
#include "archive/archive_record.h"
#include "archive/archive_sink.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace nxkit {

struct archive_options {
    archive_location location;
    // PostgreSQL: the local queue while the server is unreachable.
    std::string queue_file;
    int keep_days = 0;       // 0: no age limit
    long long max_bytes = 0; // 0: no size limit (SQLite only; a server keeps its own)
    int retention_every_ms = 60000;
    int retry_ms = 5000; // how often an unreachable server is tried again
    // Rows handed over but not yet written, above which new passes are dropped (and said).
    std::size_t max_pending_rows = 4000000;
    // UTC milliseconds; tests give their own.
    std::function<std::int64_t()> clock;
};

struct archive_counters {
    long long written = 0;   // rows stored in the archive (sent to the server)
    long long queued = 0;    // rows put into the local queue
    long long dropped = 0;   // rows lost (named in the program log)
    long long batches = 0;   // batches written
    long long set_aside = 0; // damaged files renamed
    long long in_queue = 0;  // rows waiting in the local queue now
    bool reachable = false;  // the archive is open
};

class archive_writer : public i_archive_sink {
public:
    // `report` gets the failures the operator must learn of; called from the worker.
    using report_fn = std::function<void(const std::string&)>;

    archive_writer(archive_options options, report_fn report);
    ~archive_writer() override;
    archive_writer(const archive_writer&) = delete;
    archive_writer& operator=(const archive_writer&) = delete;

    // Interface thread: a row of the running pass.
    void add(archive_row row) override;
    // Interface thread: the pass is over; its rows go to the worker as one batch.
    void end_pass() override;
    // Waits until every batch handed over is written or queued; false after `timeout_ms`.
    bool flush(int timeout_ms = 30000);
    // The next round of the worker runs the retention (and tries the server) now.
    void wake_for_retention();

    archive_counters counters() const;
    const archive_options& options() const { return options_; }

private:
    void run();
    void deliver(std::vector<archive_row>& rows);
    bool open_main();
    bool open_queue();
    void set_aside_damaged(const std::string& why);
    void drain_queue();
    void retention();
    void assign_seq(std::vector<archive_row>& rows);
    std::int64_t now_ms() const;

    archive_options options_;
    report_fn report_;

    // Interface thread only.
    std::vector<archive_row> pass_;

    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::vector<archive_row>> batches_;
    std::size_t pending_rows_ = 0;
    bool busy_ = false;
    bool stop_ = false;
    bool retention_now_ = false;
    bool drop_said_ = false;
    archive_counters counters_;

    // Worker only.
    std::unique_ptr<archive_db> main_;
    std::unique_ptr<archive_db> queue_;
    struct last_key {
        std::int64_t t;
        archive_kind kind;
        int seq;
    };
    std::unordered_map<std::string, last_key> last_;
    std::int64_t next_try_ms_ = 0;
    std::int64_t next_retention_ms_ = 0;
    bool unreachable_said_ = false;
    bool write_failure_said_ = false;
    bool queue_nonempty_ = false;
    std::thread worker_;
};

} // namespace nxkit
