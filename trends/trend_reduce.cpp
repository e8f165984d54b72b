#include "trends/trend_reduce.h"

#include <algorithm>

namespace nxkit {

bool bad_quality(std::uint32_t quality) {
    return (quality & (quality_invalid | quality_no_control)) != 0;
}

int trend_column_of(std::int64_t t, std::int64_t from_ms, std::int64_t to_ms, int width) {
    std::int64_t span = to_ms - from_ms;
    if (span <= 0 || width < 1)
        return 0;
    std::int64_t c = (t - from_ms) * width / span;
    return static_cast<int>(std::clamp<std::int64_t>(c, 0, width - 1));
}

namespace {

void add(trend_extent& e, double v) {
    if (e.count == 0) {
        e.min = e.max = e.first = v;
    } else {
        e.min = std::min(e.min, v);
        e.max = std::max(e.max, v);
    }
    e.last = v;
    ++e.count;
}

bool before_time(const archive_sample& s, std::int64_t t) {
    return s.time_ms < t;
}

} // namespace

trend_reduction reduce_series(const std::vector<archive_sample>& samples, std::int64_t from_ms,
                              std::int64_t to_ms, int width) {
    trend_reduction r;
    r.from_ms = from_ms;
    r.to_ms = to_ms;
    if (width < 1 || to_ms <= from_ms)
        return r;
    r.columns.resize(static_cast<std::size_t>(width));
    auto begin = std::lower_bound(samples.begin(), samples.end(), from_ms, before_time);
    if (begin != samples.begin()) {
        r.has_before = true;
        r.before = *(begin - 1);
    }
    const std::int64_t span = to_ms - from_ms;
    auto it = begin;
    for (; it != samples.end() && it->time_ms <= to_ms; ++it) {
        std::int64_t c = (it->time_ms - from_ms) * width / span;
        trend_column& column = r.columns[static_cast<std::size_t>(c < width ? c : width - 1)];
        bool bad = bad_quality(it->quality);
        if (column.good.count == 0 && column.bad.count == 0)
            column.starts_bad = bad;
        column.ends_bad = bad;
        add(bad ? column.bad : column.good, it->value);
    }
    if (it != samples.end()) {
        r.has_after = true;
        r.after = *it;
    }
    return r;
}

std::vector<time_span> bad_spans(const std::vector<archive_sample>& samples, std::int64_t from_ms,
                                 std::int64_t to_ms, std::int64_t until_ms) {
    std::vector<time_span> spans;
    bool open = false;
    std::int64_t start = 0;
    for (const archive_sample& s : samples) {
        if (s.time_ms > to_ms)
            break;
        std::int64_t t = std::max(s.time_ms, from_ms);
        bool bad = bad_quality(s.quality);
        if (bad && !open) {
            open = true;
            start = t;
        } else if (!bad && open) {
            open = false;
            if (t > start)
                spans.push_back({start, t});
        }
    }
    std::int64_t end = std::min(until_ms, to_ms);
    if (open && end > start)
        spans.push_back({start, end});
    return spans;
}

bool value_at(const std::vector<archive_sample>& samples, std::int64_t t, archive_sample& out) {
    auto it = std::upper_bound(
        samples.begin(), samples.end(), t,
        [](std::int64_t time, const archive_sample& s) { return time < s.time_ms; });
    if (it == samples.begin())
        return false;
    out = *(it - 1);
    return true;
}

} // namespace nxkit
