#include "trends/memory_series_source.h"
#include "trends/trend_reduce.h"

#include <gtest/gtest.h>

#include <random>

using namespace nxkit;

namespace {

// What a column must hold, found the slow way: for every column, every sample whose time
// lies within the column's own time bounds, c * span <= (t - from) * width < (c + 1) * span.
std::vector<trend_column> brute_force(const std::vector<archive_sample>& samples, std::int64_t from,
                                      std::int64_t to, int width) {
    std::vector<trend_column> columns(static_cast<std::size_t>(width));
    const std::int64_t span = to - from;
    for (int c = 0; c < width; ++c) {
        trend_column& col = columns[static_cast<std::size_t>(c)];
        bool any = false;
        for (const archive_sample& s : samples) {
            if (s.time_ms < from || s.time_ms > to)
                continue;
            std::int64_t scaled = (s.time_ms - from) * width;
            bool inside = scaled >= c * span && scaled < (c + 1) * span;
            // The range's end belongs to the last column.
            if (s.time_ms == to)
                inside = c == width - 1;
            if (!inside)
                continue;
            bool bad = (s.quality & 3) != 0;
            trend_extent& e = bad ? col.bad : col.good;
            if (!any)
                col.starts_bad = bad;
            any = true;
            col.ends_bad = bad;
            if (e.count == 0) {
                e.min = e.max = e.first = s.value;
            }
            e.min = std::min(e.min, s.value);
            e.max = std::max(e.max, s.value);
            e.last = s.value;
            ++e.count;
        }
    }
    return columns;
}

std::vector<archive_sample> random_series(std::mt19937& rng, std::int64_t from, std::int64_t to,
                                          int count) {
    std::uniform_int_distribution<std::int64_t> time(from - 5000, to + 5000);
    std::uniform_real_distribution<double> value(-50, 250);
    std::uniform_int_distribution<int> quality(0, 9);
    std::vector<archive_sample> samples;
    for (int i = 0; i < count; ++i) {
        int q = quality(rng);
        // One in ten invalid, one in ten without control, one in ten manual (still good).
        std::uint32_t bits = q == 0   ? quality_invalid
                             : q == 1 ? quality_no_control
                             : q == 2 ? quality_manual
                                      : 0u;
        samples.push_back({time(rng), value(rng), bits});
    }
    samples.push_back({from, 1.5, 0});
    samples.push_back({to, -7.25, 0});
    std::stable_sort(
        samples.begin(), samples.end(),
        [](const archive_sample& a, const archive_sample& b) { return a.time_ms < b.time_ms; });
    return samples;
}

} // namespace

TEST(TrendReduce, EveryColumnEqualsBruteForceOnRandomData) {
    std::mt19937 rng(20261211);
    const std::int64_t from = 1'765'000'000'000;
    // Spans that do not divide by the widths, a width of one, and more columns than samples.
    for (auto [span, width, count] :
         {std::tuple{3'600'000LL, 640, 5000}, std::tuple{86'400'000LL, 997, 20000},
          std::tuple{1'234'567LL, 1, 300}, std::tuple{59'999LL, 1500, 400}}) {
        std::vector<archive_sample> samples = random_series(rng, from, from + span, count);
        trend_reduction r = reduce_series(samples, from, from + span, width);
        std::vector<trend_column> expected = brute_force(samples, from, from + span, width);
        ASSERT_EQ(r.columns.size(), expected.size());
        for (std::size_t c = 0; c < expected.size(); ++c)
            ASSERT_EQ(r.columns[c], expected[c])
                << "span " << span << " width " << width << " column " << c;
        // The neighbours outside the range, so the line reaches the edges.
        auto before = std::find_if(samples.rbegin(), samples.rend(),
                                   [&](const archive_sample& s) { return s.time_ms < from; });
        auto after = std::find_if(samples.begin(), samples.end(),
                                  [&](const archive_sample& s) { return s.time_ms > from + span; });
        ASSERT_EQ(r.has_before, before != samples.rend());
        if (r.has_before) {
            EXPECT_EQ(r.before, *before);
        }
        ASSERT_EQ(r.has_after, after != samples.end());
        if (r.has_after) {
            EXPECT_EQ(r.after, *after);
        }
    }
}

TEST(TrendReduce, OrderWithinAColumnDecidesFirstLastAndTheBreaks) {
    // Ten columns of 100 ms: column 2 holds good 5, bad 9, good 3; column 4 ends bad.
    std::vector<archive_sample> samples{{210, 5, 0},
                                        {230, 9, quality_invalid},
                                        {260, 3, 0},
                                        {410, 7, 0},
                                        {490, 0, quality_no_control}};
    trend_reduction r = reduce_series(samples, 0, 1000, 10);
    ASSERT_EQ(r.columns.size(), 10u);
    const trend_column& c2 = r.columns[2];
    EXPECT_EQ(c2.good, (trend_extent{2, 3, 5, 5, 3}));
    EXPECT_EQ(c2.bad, (trend_extent{1, 9, 9, 9, 9}));
    EXPECT_FALSE(c2.starts_bad);
    EXPECT_FALSE(c2.ends_bad);
    EXPECT_EQ(r.columns[4].good, (trend_extent{1, 7, 7, 7, 7}));
    EXPECT_TRUE(r.columns[4].ends_bad);
    EXPECT_EQ(r.columns[3], trend_column{});
    EXPECT_FALSE(r.has_before);
    EXPECT_FALSE(r.has_after);
    // Nothing to draw into no columns or an empty range.
    EXPECT_TRUE(reduce_series(samples, 0, 1000, 0).columns.empty());
    EXPECT_TRUE(reduce_series(samples, 1000, 1000, 10).columns.empty());
}

TEST(TrendReduce, BadSpansRunToTheNextGoodSample) {
    std::vector<archive_sample> samples{{50, 1, quality_invalid},     {150, 2, 0},
                                        {300, 3, quality_no_control}, {320, 4, quality_invalid},
                                        {400, 5, quality_manual},     {700, 6, quality_invalid}};
    // Bad before the range: from the range's start; the open end runs to `until`.
    EXPECT_EQ(bad_spans(samples, 100, 1000, 900),
              (std::vector<time_span>{{100, 150}, {300, 400}, {700, 900}}));
    // ... and never past the range's end.
    EXPECT_EQ(bad_spans(samples, 100, 750, 5000),
              (std::vector<time_span>{{100, 150}, {300, 400}, {700, 750}}));
    EXPECT_TRUE(bad_spans({{10, 1, 0}, {20, 2, quality_manual}}, 0, 100, 100).empty());
}

TEST(TrendReduce, ValueAtTakesTheLastSampleAtOrBefore) {
    std::vector<archive_sample> samples{{100, 1, 0}, {200, 2, quality_invalid}, {300, 3, 0}};
    archive_sample a;
    EXPECT_FALSE(value_at(samples, 99, a));
    ASSERT_TRUE(value_at(samples, 200, a));
    EXPECT_EQ(a, (archive_sample{200, 2, quality_invalid}));
    ASSERT_TRUE(value_at(samples, 299, a));
    EXPECT_EQ(a.value, 2);
    ASSERT_TRUE(value_at(samples, 5000, a));
    EXPECT_EQ(a.value, 3);
}

TEST(MemorySeriesSource, RangeStartsWithThePrecedingSampleAndKeepsItsBound) {
    memory_series_source memory(4);
    memory.add("i1_1_1", {1000, 1, 0});
    memory.add("i1_1_1", {3000, 3, 0});
    memory.add("i1_1_1", {2000, 2, quality_invalid}); // late: goes into its place
    memory.add("i1_1_1", {3000, 3, 0});               // the same again: not repeated
    memory.add("i1_1_2", {2500, 9, 0});
    EXPECT_EQ(memory.size("i1_1_1"), 3u);
    EXPECT_EQ(memory.series("i1_1_1", 2500, 9000),
              (std::vector<archive_sample>{{2000, 2, quality_invalid}, {3000, 3, 0}}));
    EXPECT_EQ(memory.series("i1_1_1", 0, 1500), (std::vector<archive_sample>{{1000, 1, 0}}));
    EXPECT_TRUE(memory.series("s9", 0, 9000).empty());
    memory.add("i1_1_1", {4000, 4, 0});
    memory.add("i1_1_1", {5000, 5, 0});
    // Bound 4: the oldest went.
    EXPECT_EQ(memory.series("i1_1_1", 0, 9000),
              (std::vector<archive_sample>{
                  {2000, 2, quality_invalid}, {3000, 3, 0}, {4000, 4, 0}, {5000, 5, 0}}));
}
