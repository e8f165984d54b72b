#pragma once

// One signal's stored values over a time range: what the trend window draws and what the
// archive's backends return. Plain C++, so the trend's tests can feed it from memory.

#include <cstdint>
#include <string>
#include <vector>

namespace nxkit {

struct archive_sample {
    std::int64_t time_ms = 0; // UTC, milliseconds since 1970
    double value = 0;
    // The signal's quality as it was: bits of archive_quality, 0 = good.
    std::uint32_t quality = 0;
    bool operator==(const archive_sample&) const = default;
};

enum archive_quality : std::uint32_t {
    quality_invalid = 1,     // invalid or not defined
    quality_no_control = 2,  // not under control (no link to the controlled point)
    quality_manual = 4,      // entered or forced by hand
};

class archive_series_source {
public:
    virtual ~archive_series_source() = default;
    // The samples of the signal with that key in [from_ms, to_ms] in time order, preceded by
    // the last one before from_ms when there is one (so a step line starts at its value).
    virtual std::vector<archive_sample> series(const std::string& signal_key, std::int64_t from_ms,
                                               std::int64_t to_ms) = 0;
};

} // namespace nxkit
