#pragma once

// Series kept in memory: what the trend windows saw of their signals while open, so a trend
// is useful live without an archive. Bounded per signal; the oldest samples go first.

#include "archive/archive_series.h"

#include <cstddef>
#include <deque>
#include <map>
#include <string>

namespace nxkit {

class memory_series_source : public archive_series_source {
public:
    explicit memory_series_source(std::size_t bound_per_signal = 200000)
        : bound_(bound_per_signal == 0 ? 1 : bound_per_signal) {}

    // Adds a sample; one older than the newest of its signal goes into its place in time.
    // A sample equal in time, value and quality to the newest is not repeated.
    void add(const std::string& signal_key, const archive_sample& sample);
    std::size_t size(const std::string& signal_key) const;
    // The newest sample of a signal; false when there is none.
    bool newest(const std::string& signal_key, archive_sample& out) const;

    std::vector<archive_sample> series(const std::string& signal_key, std::int64_t from_ms,
                                       std::int64_t to_ms) override;

private:
    std::size_t bound_;
    std::map<std::string, std::deque<archive_sample>> series_;
};

} // namespace nxkit
