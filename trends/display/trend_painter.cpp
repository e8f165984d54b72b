#include "trends/display/trend_painter.h"

#include "trends/trend_axis.h"
#include "trends/trend_csv.h"
#include "trends/trend_reduce.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace nxkit {

namespace {

const QColor background{255, 255, 255};
const QColor grid_color{225, 225, 225};
const QColor axis_color{90, 90, 90};
const QColor cursor_color{40, 40, 40};

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// The value of a readout: up to three decimals, trailing zeros dropped.
std::string short_value(double v) {
    std::string text = trend_value_text(v, 3);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    return text;
}

struct point {
    double x;
    double y;
};

// Draws one signal's reduction. `y_of` maps a value to its y; a step signal holds its value
// until the next sample, a measurement is joined point to point.
template <typename YOf>
void draw_series(QPainter& p, const QRect& area, const trend_frame& frame, const trend_signal& s,
                 YOf y_of) {
    const int width = area.width();
    trend_reduction r = reduce_series(s.samples, frame.from_ms, frame.to_ms, width);
    if (r.columns.empty())
        return;
    QPen line(s.color, 2);
    QPen bad(trend_bad_color, 2);
    std::optional<point> prev; // the end of the good line so far
    auto join = [&](point to) {
        if (!prev)
            return;
        p.setPen(line);
        if (s.step) {
            p.drawLine(QPointF(prev->x, prev->y), QPointF(to.x, prev->y));
            p.drawLine(QPointF(to.x, prev->y), QPointF(to.x, to.y));
        } else {
            p.drawLine(QPointF(prev->x, prev->y), QPointF(to.x, to.y));
        }
    };
    if (r.has_before && !bad_quality(r.before.quality))
        prev = point{trend_x(area, frame, r.before.time_ms), y_of(r.before.value)};
    for (int c = 0; c < width; ++c) {
        const trend_column& col = r.columns[static_cast<std::size_t>(c)];
        double x = area.left() + c + 0.5;
        if (col.starts_bad && prev) {
            // A good value holds until the bad one replaces it.
            p.setPen(line);
            p.drawLine(QPointF(prev->x, prev->y), QPointF(x, prev->y));
            prev.reset();
        }
        if (col.good.count > 0) {
            join({x, y_of(col.good.first)});
            p.setPen(line);
            p.drawLine(QPointF(x, y_of(col.good.min)), QPointF(x, y_of(col.good.max)));
            prev = point{x, y_of(col.good.last)};
        }
        if (col.bad.count > 0) {
            p.setPen(bad);
            p.drawLine(QPointF(x, y_of(col.bad.min) - 1), QPointF(x, y_of(col.bad.max) + 1));
        }
        if (col.ends_bad)
            prev.reset();
    }
    if (!prev)
        return;
    if (r.has_after) {
        if (!bad_quality(r.after.quality))
            join({trend_x(area, frame, r.after.time_ms), y_of(r.after.value)});
        return;
    }
    // No newer sample: the value holds up to now.
    std::int64_t until = std::min(frame.now_ms, frame.to_ms);
    double x = trend_x(area, frame, until);
    if (x > prev->x) {
        p.setPen(line);
        p.drawLine(QPointF(prev->x, prev->y), QPointF(x, prev->y));
    }
}

} // namespace

trend_layout lay_out_trend(QSize size, int step_signals) {
    trend_layout l;
    const int w = std::max(1, size.width() - trend_left_margin - trend_right_margin);
    l.legend = QRect(trend_left_margin, 0, w, trend_legend_height);
    int bottom = size.height() - trend_axis_height;
    l.time_axis = QRect(trend_left_margin, bottom, w, trend_axis_height);
    for (int i = step_signals - 1; i >= 0; --i) {
        bottom -= trend_lane_height;
        l.lanes.insert(l.lanes.begin(),
                       QRect(trend_left_margin, bottom + 2, w, trend_lane_height - 4));
    }
    int top = trend_legend_height + 4;
    l.plot = QRect(trend_left_margin, top, w, std::max(1, bottom - top - 2));
    return l;
}

QColor trend_color(int n) {
    static const QColor colors[] = {{0, 90, 200},  {200, 60, 0},  {0, 140, 60},
                                    {150, 0, 160}, {190, 150, 0}, {0, 150, 170}};
    return colors[n % 6];
}

double trend_x(const QRect& plot, const trend_frame& frame, std::int64_t t) {
    double span = static_cast<double>(frame.to_ms - frame.from_ms);
    if (span <= 0)
        return plot.left();
    return plot.left() + static_cast<double>(t - frame.from_ms) * plot.width() / span;
}

std::int64_t trend_time_at(const QRect& plot, const trend_frame& frame, int x) {
    double span = static_cast<double>(frame.to_ms - frame.from_ms);
    double part = plot.width() > 0 ? static_cast<double>(x - plot.left()) / plot.width() : 0;
    return frame.from_ms + static_cast<std::int64_t>(std::llround(part * span));
}

void trend_value_range(const std::vector<trend_signal>& shown, const trend_frame& frame, double& lo,
                       double& hi) {
    double good_lo = std::numeric_limits<double>::infinity(), good_hi = -good_lo;
    double bad_lo = good_lo, bad_hi = good_hi;
    for (const trend_signal& s : shown) {
        if (s.step)
            continue;
        for (std::size_t i = 0; i < s.samples.size(); ++i) {
            const archive_sample& a = s.samples[i];
            // The sample before the range counts: its line enters the plot.
            bool before = a.time_ms < frame.from_ms &&
                          (i + 1 == s.samples.size() || s.samples[i + 1].time_ms >= frame.from_ms);
            if ((a.time_ms < frame.from_ms && !before) || a.time_ms > frame.to_ms)
                continue;
            double& l = bad_quality(a.quality) ? bad_lo : good_lo;
            double& h = bad_quality(a.quality) ? bad_hi : good_hi;
            l = std::min(l, a.value);
            h = std::max(h, a.value);
        }
    }
    if (good_lo <= good_hi) {
        lo = good_lo;
        hi = good_hi;
    } else if (bad_lo <= bad_hi) {
        lo = bad_lo;
        hi = bad_hi;
    } else {
        lo = 0;
        hi = 1;
    }
    padded_range(lo, hi);
}

std::vector<std::string> cursor_lines(const std::vector<trend_signal>& shown, std::int64_t t,
                                      std::int64_t utc_offset_ms) {
    std::vector<std::string> lines{trend_time_text(t, utc_offset_ms)};
    for (const trend_signal& s : shown) {
        archive_sample a;
        std::string text = s.title + ": ";
        if (!value_at(s.samples, t, a)) {
            text += "нет данных";
        } else {
            text += short_value(a.value);
            if (a.quality != 0)
                text += " (" + quality_text(a.quality) + ")";
        }
        lines.push_back(text);
    }
    return lines;
}

void paint_trend(QPainter& p, QSize size, const trend_frame& frame,
                 const std::vector<trend_signal>& shown, const QFont& font) {
    int steps = static_cast<int>(
        std::count_if(shown.begin(), shown.end(), [](const trend_signal& s) { return s.step; }));
    trend_layout l = lay_out_trend(size, steps);
    p.fillRect(QRect(QPoint(0, 0), size), background);
    p.setFont(font);
    QFontMetrics fm(font);

    // Legend: a swatch and the title of every signal.
    int x = l.legend.left();
    for (const trend_signal& s : shown) {
        p.fillRect(QRect(x, l.legend.center().y() - 4, 14, 8), s.color);
        x += 18;
        QString title = qs(s.title);
        p.setPen(axis_color);
        p.drawText(QPoint(x, l.legend.center().y() + fm.ascent() / 2 - 1), title);
        x += fm.horizontalAdvance(title) + 16;
    }

    // Where any measurement is of bad quality, a band behind everything.
    for (const trend_signal& s : shown) {
        if (s.step)
            continue;
        for (const time_span& span :
             bad_spans(s.samples, frame.from_ms, frame.to_ms, frame.now_ms)) {
            auto x0 = static_cast<int>(std::floor(trend_x(l.plot, frame, span.from_ms)));
            auto x1 = static_cast<int>(std::ceil(trend_x(l.plot, frame, span.to_ms)));
            QRect band(x0, l.plot.top(), std::max(1, x1 - x0), l.plot.height());
            p.fillRect(band.intersected(l.plot), trend_gap_band);
        }
    }

    // Value axis and grid.
    double lo = 0, hi = 1;
    trend_value_range(shown, frame, lo, hi);
    auto y_of = [&](double v) {
        double y = l.plot.bottom() - (v - lo) / (hi - lo) * (l.plot.height() - 1);
        return std::clamp(y, double(l.plot.top()), double(l.plot.bottom()));
    };
    bool measurements = steps < static_cast<int>(shown.size());
    if (measurements) {
        for (const value_tick& t : value_ticks(lo, hi, l.plot.height())) {
            int y = static_cast<int>(std::lround(y_of(t.value)));
            p.setPen(grid_color);
            p.drawLine(l.plot.left(), y, l.plot.right(), y);
            p.setPen(axis_color);
            QString label = qs(t.label);
            p.drawText(
                QPoint(l.plot.left() - 6 - fm.horizontalAdvance(label), y + fm.ascent() / 2 - 1),
                label);
        }
    }

    // Time axis, its grid through the plot and the lanes, and the date of the range's start.
    int grid_bottom = l.lanes.empty() ? l.plot.bottom() : l.lanes.back().bottom();
    for (const time_tick& t :
         time_ticks(frame.from_ms, frame.to_ms, l.plot.width(), frame.utc_offset_ms)) {
        int tx = l.plot.left() + t.x;
        p.setPen(grid_color);
        p.drawLine(tx, l.plot.top(), tx, grid_bottom);
        p.setPen(axis_color);
        p.drawLine(tx, l.time_axis.top(), tx, l.time_axis.top() + 4);
        QString label = qs(t.label);
        int lx = tx - fm.horizontalAdvance(label) / 2;
        lx = std::clamp(lx, 0, std::max(0, size.width() - fm.horizontalAdvance(label)));
        p.drawText(QPoint(lx, l.time_axis.top() + 5 + fm.ascent()), label);
    }
    p.setPen(axis_color);
    p.drawText(QPoint(2, l.time_axis.top() + 5 + fm.ascent() + fm.height()),
               qs(trend_time_text(frame.from_ms, frame.utc_offset_ms) + " — " +
                  trend_time_text(frame.to_ms, frame.utc_offset_ms)));
    p.drawRect(l.plot.adjusted(0, 0, -1, -1));

    // The lines, clipped to their areas.
    int lane = 0;
    for (const trend_signal& s : shown) {
        p.save();
        if (s.step) {
            const QRect& area = l.lanes[static_cast<std::size_t>(lane++)];
            p.setPen(axis_color);
            p.drawRect(area.adjusted(0, 0, -1, -1));
            p.drawText(QPoint(area.left() - 6 - fm.horizontalAdvance("1"),
                              area.top() + 4 + fm.ascent() / 2),
                       "1");
            p.drawText(QPoint(area.left() - 6 - fm.horizontalAdvance("0"),
                              area.bottom() - 4 + fm.ascent() / 2 - 2),
                       "0");
            p.setClipRect(area);
            draw_series(p, area, frame, s,
                        [&](double v) { return v != 0 ? area.top() + 4.5 : area.bottom() - 4.5; });
        } else {
            p.setClipRect(l.plot);
            draw_series(p, l.plot, frame, s, y_of);
        }
        p.restore();
    }

    // The cursor: a line and its readout.
    if (frame.cursor && frame.cursor_ms >= frame.from_ms && frame.cursor_ms <= frame.to_ms) {
        int cx = static_cast<int>(std::lround(trend_x(l.plot, frame, frame.cursor_ms)));
        p.setPen(QPen(cursor_color, 1, Qt::DashLine));
        p.drawLine(cx, l.plot.top(), cx, grid_bottom);
        std::vector<std::string> lines = cursor_lines(shown, frame.cursor_ms, frame.utc_offset_ms);
        int w = 0;
        for (const std::string& line : lines)
            w = std::max(w, fm.horizontalAdvance(qs(line)));
        QRect box(0, 0, w + 12, static_cast<int>(lines.size()) * fm.height() + 8);
        int bx = cx + 8 + box.width() <= l.plot.right() ? cx + 8 : cx - 8 - box.width();
        box.moveTopLeft(QPoint(std::max(bx, 0), l.plot.top() + 6));
        p.fillRect(box, QColor(255, 255, 240));
        p.setPen(axis_color);
        p.drawRect(box.adjusted(0, 0, -1, -1));
        int ty = box.top() + 4 + fm.ascent();
        for (const std::string& line : lines) {
            p.drawText(QPoint(box.left() + 6, ty), qs(line));
            ty += fm.height();
        }
    }
}

} // namespace nxkit
