#pragma once

// What a trend draws of one signal at a given width: per pixel column the extent of the raw
// samples that fall in it, so a day of values per second costs as much to draw as its width.

#include "archive/archive_series.h"

#include <cstdint>
#include <vector>

namespace nxkit {

// A sample of bad quality (invalid, or without control) breaks the line; a manual value is
// drawn as any other.
bool bad_quality(std::uint32_t quality);

// The samples of one quality class in one column: their count, least and greatest value, and
// the values of the first and the last in time (the connecting line runs through these).
struct trend_extent {
    int count = 0;
    double min = 0;
    double max = 0;
    double first = 0;
    double last = 0;
    bool operator==(const trend_extent&) const = default;
};

struct trend_column {
    trend_extent good;
    trend_extent bad;
    bool starts_bad = false; // the column's first sample is of bad quality
    bool ends_bad = false;   // its last one is
    bool operator==(const trend_column&) const = default;
};

// One signal reduced to `width` columns over [from_ms, to_ms].
struct trend_reduction {
    std::int64_t from_ms = 0;
    std::int64_t to_ms = 0;
    std::vector<trend_column> columns;
    // The last sample before the range and the first after it, so the line reaches the edges.
    bool has_before = false;
    archive_sample before;
    bool has_after = false;
    archive_sample after;
};

// The column of time `t` in [from_ms, to_ms] at `width` columns: column c holds the times with
// c <= (t - from) * width / (to - from) < c + 1; `to_ms` itself falls into the last column.
int trend_column_of(std::int64_t t, std::int64_t from_ms, std::int64_t to_ms, int width);

// `samples` in time order (as a series source returns them). A width below 1 or an empty
// range gives no columns.
trend_reduction reduce_series(const std::vector<archive_sample>& samples, std::int64_t from_ms,
                              std::int64_t to_ms, int width);

// The spans of [from_ms, to_ms] during which the signal's quality was bad: from a sample of
// bad quality (or the range's start, when the sample before it was bad) to the next good
// sample, or to `until` when none follows. Adjacent bad samples make one span.
struct time_span {
    std::int64_t from_ms = 0;
    std::int64_t to_ms = 0;
    bool operator==(const time_span&) const = default;
};
std::vector<time_span> bad_spans(const std::vector<archive_sample>& samples, std::int64_t from_ms,
                                 std::int64_t to_ms, std::int64_t until_ms);

// The value the signal had at `t`: the last sample at or before it (false when none).
bool value_at(const std::vector<archive_sample>& samples, std::int64_t t, archive_sample& out);

} // namespace nxkit
