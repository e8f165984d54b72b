// A day of one measurement at one value per second (86,400 samples, one minute of bad quality
// every hour) drawn into an offscreen QImage of a typical trend window (1200 × 560), with a
// telesignal's step line beside it. Prints the draw time (median of 21, wall and processor),
// the reduction alone, and the same draw with the memory source's read included.

#include "bench/stopwatch.h"
#include "trends/display/trend_painter.h"
#include "trends/memory_series_source.h"
#include "trends/trend_reduce.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace nxkit;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const std::int64_t to = 1'796'990'400'000;
    const std::int64_t from = to - 86'400'000;
    memory_series_source memory(200000);
    for (std::int64_t i = 0; i < 86400; ++i) {
        double v = 120 + 30 * std::sin(static_cast<double>(i) / 2000.0) +
                   5 * std::sin(static_cast<double>(i) / 7.0);
        std::uint32_t q = i % 3600 < 60 ? quality_invalid : 0u;
        memory.add("i1_1_1", {from + i * 1000, v, q});
    }
    for (std::int64_t i = 0; i < 48; ++i)
        memory.add("s1_1_1", {from + i * 1'800'000, static_cast<double>(i % 2), 0});

    const QSize size(1200, 560);
    QImage image(size, QImage::Format_RGB32);
    QFont font = app.font();
    trend_frame frame;
    frame.from_ms = from;
    frame.to_ms = to;
    frame.now_ms = to;
    frame.utc_offset_ms = 3 * 3'600'000;
    std::vector<trend_signal> shown{{"i1_1_1", "Ia", false, trend_color(0), {}},
                                    {"s1_1_1", "Q1", true, trend_color(1), {}}};
    for (trend_signal& s : shown)
        s.samples = memory.series(s.key, from, to);

    std::vector<double> wall, cpu, reduce_ms, with_read;
    for (int run = 0; run < 21; ++run) {
        nxbench::stopwatch w;
        QPainter p(&image);
        paint_trend(p, size, frame, shown, font);
        p.end();
        wall.push_back(w.wall_ms());
        cpu.push_back(w.cpu_used_ms());

        nxbench::stopwatch r;
        trend_reduction red = reduce_series(shown[0].samples, from, to, size.width() - 84);
        reduce_ms.push_back(r.wall_ms());
        if (red.columns.empty())
            return 1;

        nxbench::stopwatch all;
        for (trend_signal& s : shown)
            s.samples = memory.series(s.key, from, to);
        QPainter p2(&image);
        paint_trend(p2, size, frame, shown, font);
        p2.end();
        with_read.push_back(all.wall_ms());
    }
    std::printf("samples: %zu\n", shown[0].samples.size());
    std::printf("draw day 86400 points 1200x560: %.1f ms wall, %.1f ms processor (median of 21)\n",
                median(wall), median(cpu));
    std::printf("reduction alone: %.2f ms\n", median(reduce_ms));
    std::printf("read from memory source and draw: %.1f ms wall\n", median(with_read));
    if (argc > 1)
        image.save(argv[1]);
    return 0;
}
