#include "trends/display/trend_painter.h"
#include "trends/trend_axis.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using namespace nxkit;

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "test_trend_display";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication instance(argc, argv);
    return instance;
}

constexpr std::int64_t t0 = 1'796'979'600'000; // 2026-12-11 09:00 UTC, 12:00 Moscow
constexpr std::int64_t minute = 60'000;
const QSize size(700, 360);

QImage draw(const trend_frame& frame, const std::vector<trend_signal>& shown) {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    paint_trend(p, size, frame, shown, app().font());
    p.end();
    if (const char* dump = std::getenv("TREND_TEST_DUMP"))
        image.save(QString::fromUtf8(dump) + QString::number(image.cacheKey()) + ".png");
    return image;
}

bool near(QColor a, QColor b, int tolerance = 40) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// A line of two pixels lies on the value's pixel row or the one beside it.
bool line_at(const QImage& image, int x, int y, QColor color) {
    return near(image.pixelColor(x, y - 1), color) || near(image.pixelColor(x, y), color) ||
           near(image.pixelColor(x, y + 1), color);
}

// Whether the column x of the rectangle holds a pixel near `color`.
bool column_has(const QImage& image, const QRect& r, int x, QColor color) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        if (near(image.pixelColor(x, y), color))
            return true;
    return false;
}

// The y of a value in the plot for the range the painter picks.
int y_of(const QRect& plot, const trend_frame& f, const std::vector<trend_signal>& s, double v) {
    double lo = 0, hi = 0;
    trend_value_range(s, f, lo, hi);
    return static_cast<int>(
        std::lround(plot.bottom() - (v - lo) / (hi - lo) * (plot.height() - 1)));
}

trend_frame hour_frame() {
    trend_frame f;
    f.from_ms = t0;
    f.to_ms = t0 + 60 * minute;
    f.now_ms = f.to_ms;
    f.utc_offset_ms = 3 * 60 * minute;
    return f;
}

} // namespace

TEST(TrendPainter, BadQualityBreaksTheLineAndIsMarked) {
    // 100 A for the first 20 minutes, invalid (read as 0) for the next 20, then 140 A.
    trend_signal ia{"i1_1_1", "Ia", false, trend_color(0), {}};
    for (int m = 0; m < 60; ++m) {
        bool bad = m >= 20 && m < 40;
        ia.samples.push_back({t0 + m * minute, bad ? 0.0 : (m < 20 ? 100.0 : 140.0),
                              bad ? std::uint32_t(quality_invalid) : 0u});
    }
    trend_frame f = hour_frame();
    std::vector<trend_signal> shown{ia};
    QImage image = draw(f, shown);
    trend_layout l = lay_out_trend(size, 0);
    const int x_good = l.plot.left() + l.plot.width() / 6;      // minute 10
    const int x_gap = l.plot.left() + l.plot.width() / 2;       // minute 30
    const int x_after = l.plot.left() + l.plot.width() * 5 / 6; // minute 50

    // The good parts at their values in the signal's colour.
    EXPECT_TRUE(line_at(image, x_good, y_of(l.plot, f, shown, 100), trend_color(0)));
    EXPECT_TRUE(line_at(image, x_after, y_of(l.plot, f, shown, 140), trend_color(0)));
    // The last good value holds up to the first bad sample (minute 19 to 20).
    EXPECT_TRUE(line_at(image, static_cast<int>(trend_x(l.plot, f, t0 + 19 * minute + 45000)),
                        y_of(l.plot, f, shown, 100), trend_color(0)));
    // The range is of the good values only: the invalid zeros do not squeeze it.
    double lo = 0, hi = 0;
    trend_value_range(shown, f, lo, hi);
    EXPECT_DOUBLE_EQ(lo, 98);
    EXPECT_DOUBLE_EQ(hi, 142);
    // In the gap (off the grid lines): no line at all (nothing joins 100 to 140 across it), the
    // band behind, and the invalid values in grey at the plot's bottom edge (0 lies below the
    // range).
    EXPECT_FALSE(column_has(image, l.plot, x_gap, trend_color(0)));
    EXPECT_TRUE(near(image.pixelColor(x_gap + 3, l.plot.top() + 10), trend_gap_band, 4));
    EXPECT_TRUE(near(image.pixelColor(x_gap, l.plot.bottom() - 1), trend_bad_color, 20));
    // No band where the quality is good.
    EXPECT_TRUE(near(image.pixelColor(x_good + 3, l.plot.top() + 10), QColor(255, 255, 255), 4));
}

TEST(TrendPainter, TelesignalIsAStepLineInItsLaneBesideTheMeasurement) {
    trend_signal ia{"i1_1_1", "Ia", false, trend_color(0), {{t0 - minute, 120, 0}}};
    // Q1 off until minute 30, then on.
    trend_signal q1{
        "s1_1_1", "Q1", true, trend_color(1), {{t0 - minute, 0, 0}, {t0 + 30 * minute, 1, 0}}};
    trend_frame f = hour_frame();
    std::vector<trend_signal> shown{ia, q1};
    QImage image = draw(f, shown);
    trend_layout l = lay_out_trend(size, 1);
    ASSERT_EQ(l.lanes.size(), 1u);
    const QRect lane = l.lanes[0];
    EXPECT_GT(lane.top(), l.plot.bottom());
    const int high = lane.top() + 4, low = lane.bottom() - 4;
    const int x_off = lane.left() + lane.width() / 4, x_on = lane.left() + lane.width() * 3 / 4;
    EXPECT_TRUE(line_at(image, x_off, low, trend_color(1)));
    EXPECT_FALSE(line_at(image, x_off, high, trend_color(1)));
    EXPECT_TRUE(line_at(image, x_on, high, trend_color(1)));
    EXPECT_FALSE(line_at(image, x_on, low, trend_color(1)));
    // The rise is vertical at minute 30: every pixel between the levels is drawn there.
    const int x_rise = static_cast<int>(trend_x(lane, f, t0 + 30 * minute));
    for (int y = high + 1; y < low; ++y) {
        bool drawn = near(image.pixelColor(x_rise, y), trend_color(1)) ||
                     near(image.pixelColor(x_rise - 1, y), trend_color(1)) ||
                     near(image.pixelColor(x_rise + 1, y), trend_color(1));
        EXPECT_TRUE(drawn) << "y " << y;
    }
    // The measurement's held value stays in the plot, not in the lane.
    EXPECT_FALSE(column_has(image, lane.adjusted(0, 1, 0, -1), x_off, trend_color(0)));
    EXPECT_TRUE(column_has(image, l.plot, x_off, trend_color(0)));
}

TEST(TrendPainter, LastValueHeldUpToNowAndNotBeyond) {
    trend_signal uab{"i1_1_2", "Uab", false, trend_color(0), {{t0 + 5 * minute, 110, 0}}};
    trend_frame f = hour_frame();
    f.now_ms = t0 + 30 * minute;
    QImage image = draw(f, {uab});
    trend_layout l = lay_out_trend(size, 0);
    int y = y_of(l.plot, f, {uab}, 110);
    EXPECT_TRUE(
        line_at(image, static_cast<int>(trend_x(l.plot, f, t0 + 20 * minute)), y, trend_color(0)));
    EXPECT_FALSE(column_has(image, l.plot, static_cast<int>(trend_x(l.plot, f, t0 + 45 * minute)),
                            trend_color(0)));
    // Before its first sample nothing is drawn either.
    EXPECT_FALSE(column_has(image, l.plot, static_cast<int>(trend_x(l.plot, f, t0 + 2 * minute)),
                            trend_color(0)));
}

TEST(TrendPainter, CursorReadsTimeAndValues) {
    trend_signal ia{"i1_1_1",
                    "Ia",
                    false,
                    trend_color(0),
                    {{t0, 120.25, 0}, {t0 + 10 * minute, 0, quality_invalid | quality_no_control}}};
    trend_signal q1{"s1_1_1", "Q1", true, trend_color(1), {{t0 + 5 * minute, 1, quality_manual}}};
    EXPECT_EQ(
        cursor_lines({ia, q1}, t0 + 7 * minute + 3000, 3 * 60 * minute),
        (std::vector<std::string>{"11.12.2026 12:07:03", "Ia: 120.25", "Q1: 1 (ручной ввод)"}));
    EXPECT_EQ(cursor_lines({ia, q1}, t0 + 60000, 3 * 60 * minute),
              (std::vector<std::string>{"11.12.2026 12:01:00", "Ia: 120.25", "Q1: нет данных"}));
    EXPECT_EQ(cursor_lines({ia}, t0 + 11 * minute, 3 * 60 * minute)[1],
              "Ia: 0 (недостоверно+нет контроля)");

    // Drawn: a dashed line at the cursor's time and the readout's box beside it.
    trend_frame f = hour_frame();
    f.cursor = true;
    f.cursor_ms = t0 + 15 * minute;
    QImage with = draw(f, {ia, q1});
    f.cursor = false;
    QImage without = draw(f, {ia, q1});
    trend_layout l = lay_out_trend(size, 1);
    int cx = static_cast<int>(std::lround(trend_x(l.plot, f, t0 + 15 * minute)));
    EXPECT_TRUE(column_has(with, QRect(0, l.plot.bottom() - 40, 1, 30), cx, QColor(40, 40, 40)));
    EXPECT_FALSE(
        column_has(without, QRect(0, l.plot.bottom() - 40, 1, 30), cx, QColor(40, 40, 40)));
    EXPECT_TRUE(near(with.pixelColor(cx + 12, l.plot.top() + 8), QColor(255, 255, 240), 3));
}
