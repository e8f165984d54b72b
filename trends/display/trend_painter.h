#pragma once

// Drawing a trend with QPainter: the window, its PNG, its printout, the benchmark and the
// tests all go through paint_trend, so what is tested is what the operator sees.

#include "archive/archive_series.h"

#include <QColor>
#include <QRect>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class QFont;
class QPainter;

namespace nxkit {

// One signal of a trend.
struct trend_signal {
    std::string key;   // the signal key ("i1_1_1")
    std::string title; // as the legend shows it
    bool step = false; // a telesignal: a step line in a lane of its own below the plot
    QColor color;
    // In time order, starting with the last sample before the drawn range when there is one.
    std::vector<archive_sample> samples;
};

// What part of time is drawn, and what the operator points at.
struct trend_frame {
    std::int64_t from_ms = 0;
    std::int64_t to_ms = 0;
    std::int64_t now_ms = 0; // the last value is held up to here (or to the range's end)
    std::int64_t utc_offset_ms = 0;
    bool cursor = false;
    std::int64_t cursor_ms = 0;
};

// Where the parts of a trend go in a picture of `size`.
struct trend_layout {
    QRect legend;
    QRect plot;               // the measurements
    std::vector<QRect> lanes; // one per step signal, below the plot
    QRect time_axis;
};
inline constexpr int trend_left_margin = 70;
inline constexpr int trend_right_margin = 14;
inline constexpr int trend_legend_height = 22;
inline constexpr int trend_axis_height = 36;
inline constexpr int trend_lane_height = 30;
trend_layout lay_out_trend(QSize size, int step_signals);

// Colours: the n-th signal's line, samples of bad quality, the band behind them.
QColor trend_color(int n);
inline const QColor trend_bad_color{150, 150, 150};
inline const QColor trend_gap_band{255, 226, 226};

// The value range of the measurements' good samples within the frame (padded); bad samples
// count only when there is no good one.
void trend_value_range(const std::vector<trend_signal>& shown, const trend_frame& frame, double& lo,
                       double& hi);

// The cursor's readout: the time, then "title: value" per signal (with the quality when not
// good, "нет данных" before the first sample).
std::vector<std::string> cursor_lines(const std::vector<trend_signal>& shown, std::int64_t t,
                                      std::int64_t utc_offset_ms);

// The x of a time within the plot (may lie outside it).
double trend_x(const QRect& plot, const trend_frame& frame, std::int64_t t);
// The time at an x within the plot.
std::int64_t trend_time_at(const QRect& plot, const trend_frame& frame, int x);

void paint_trend(QPainter& painter, QSize size, const trend_frame& frame,
                 const std::vector<trend_signal>& shown, const QFont& font);

} // namespace nxkit
