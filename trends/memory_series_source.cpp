#include "trends/memory_series_source.h"

#include <algorithm>

namespace nxkit {

void memory_series_source::add(const std::string& signal_key, const archive_sample& sample) {
    std::deque<archive_sample>& samples = series_[signal_key];
    if (samples.empty() || samples.back().time_ms <= sample.time_ms) {
        if (!samples.empty() && samples.back() == sample)
            return;
        samples.push_back(sample);
    } else {
        auto at =
            std::upper_bound(samples.begin(), samples.end(), sample.time_ms,
                             [](std::int64_t t, const archive_sample& s) { return t < s.time_ms; });
        samples.insert(at, sample);
    }
    while (samples.size() > bound_)
        samples.pop_front();
}

std::size_t memory_series_source::size(const std::string& signal_key) const {
    auto it = series_.find(signal_key);
    return it == series_.end() ? 0 : it->second.size();
}

bool memory_series_source::newest(const std::string& signal_key, archive_sample& out) const {
    auto it = series_.find(signal_key);
    if (it == series_.end() || it->second.empty())
        return false;
    out = it->second.back();
    return true;
}

std::vector<archive_sample> memory_series_source::series(const std::string& signal_key,
                                                         std::int64_t from_ms, std::int64_t to_ms) {
    std::vector<archive_sample> out;
    auto it = series_.find(signal_key);
    if (it == series_.end() || to_ms < from_ms)
        return out;
    const std::deque<archive_sample>& samples = it->second;
    auto begin =
        std::lower_bound(samples.begin(), samples.end(), from_ms,
                         [](const archive_sample& s, std::int64_t t) { return s.time_ms < t; });
    auto end =
        std::upper_bound(begin, samples.end(), to_ms,
                         [](std::int64_t t, const archive_sample& s) { return t < s.time_ms; });
    if (begin != samples.begin())
        --begin;
    out.assign(begin, end);
    return out;
}

} // namespace nxkit
