#pragma once

// Reads the archive on a thread of its own with a connection of its own: the journal's search
// pages and the trend's series. Jobs run one after another in the order given.

#include "archive/archive_db.h"
#include "archive/archive_series.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nxkit {

class archive_reader : public archive_series_source {
public:
    explicit archive_reader(archive_location location);
    ~archive_reader() override;
    archive_reader(const archive_reader&) = delete;
    archive_reader& operator=(const archive_reader&) = delete;

    // Runs `job` on the reader's thread with an open connection (null when the archive cannot
    // be opened; the job is then told why through `error`).
    using job = std::function<void(archive_db* db, const std::string& error)>;
    void post(job j);

    // Runs `j` and waits for it.
    void run_and_wait(job j);

    // archive_series_source: waits for the reader (a series is one index range).
    std::vector<archive_sample> series(const std::string& signal_key, std::int64_t from_ms,
                                       std::int64_t to_ms) override;

    // One page of the search, waited for (tests, export).
    std::vector<archive_found> search(const archive_query& query, const archive_cursor& after,
                                      int limit, std::string* error = nullptr);

private:
    void run();

    archive_location location_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<job> jobs_;
    bool stop_ = false;
    std::thread worker_;
};

} // namespace nxkit
