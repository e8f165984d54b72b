#pragma once

#include "archive/archive_series.h"
#include "config/interfaces.h"
#include "trends/display/trend_painter.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QTimer;

namespace nxkit {

class memory_series_source;
class t_ref_buff;
class trend_plot;

// The ranges the operator picks; custom takes the two date fields.
enum class trend_range { hour = 0, day = 1, week = 2, custom = 3 };

// The milliseconds since 1970 (UTC) of a local nx_time; 0 for a time never set.
std::int64_t utc_ms_of_local(double local_time);
// The local time's offset from UTC at a moment.
std::int64_t local_offset_ms(std::int64_t time_ms);

// The trend window ("График"): signals over a range, live while the range reaches now. It
// reads the archive's series when one is wired, and records every change of its signals it
// sees while open into the memory source, which also serves as the series when there is no
// archive (and as the live end beyond the archive's newest sample when there is).
class trend_window : public QWidget, public i_observer, public i_viewer {
    Q_OBJECT
public:
    using clock = std::function<std::int64_t()>;
    trend_window(t_ref_buff& store, memory_series_source& memory, archive_series_source* archive,
                 QWidget* parent = nullptr, clock now = {});
    ~trend_window() override;

    // Adds a telemeasurement (a line) or a telesignal (a step line) by its signal key;
    // false for any other key or one shown already.
    bool add_signal(const std::string& signal_key);
    const std::vector<trend_signal>& shown_signals() const { return signals_; }

    // The range: a span ending now, or [from, to] for custom.
    void set_range(trend_range range, std::int64_t from_ms = 0, std::int64_t to_ms = 0);
    // Zoom by `factor` (< 1 in) around the time at plot x; pan by pixels (positive: earlier).
    void zoom_at(int x, double factor);
    void pan_pixels(int dx);
    // Back to the chosen range (a double-click).
    void reset_view();
    bool live() const;
    void set_cursor_at(int x, bool shown);

    trend_frame frame() const;
    QImage render(QSize size) const;
    trend_plot* plot() const { return plot_; }

    bool export_png(const std::string& path, QSize size = {});
    bool export_csv(const std::string& path);
    void export_png_asked();
    void export_csv_asked();
    void print_asked();

    // Reads the series of the view again (after a change of the view, and every second live).
    // The archive is asked again only when the view leaves what was read or the reading is
    // 10 s old; what the window saw itself joins its end every time.
    void reload();
    // The once-a-second step: a live view moves on to now.
    void tick();

    // i_observer
    void on_changed(const std::string& key) override;
    void on_changes_done() override;
    // i_viewer: a reload makes the components anew; they are found again by signal key.
    void on_unload() override;
    void on_load() override;

private:
    void record(const std::string& store_key);
    void subscribe();
    void range_chosen();
    void add_typed_signal();
    std::int64_t now() const;

    t_ref_buff& store_;
    memory_series_source& memory_;
    archive_series_source* archive_;
    clock clock_;
    std::vector<trend_signal> signals_;
    std::vector<std::string> subscribed_;
    // What the archive gave for each signal, for which range and when.
    std::vector<std::vector<archive_sample>> archive_read_;
    std::int64_t read_from_ = 0, read_to_ = 0, read_at_ = 0;
    bool read_valid_ = false;
    trend_range range_ = trend_range::hour;
    std::int64_t range_from_ = 0, range_to_ = 0; // custom only
    std::int64_t view_from_ = 0, view_to_ = 0;
    bool follows_now_ = true;
    bool dirty_ = false;
    bool cursor_ = false;
    std::int64_t cursor_ms_ = 0;
    QComboBox* range_box_ = nullptr;
    QDateTimeEdit* from_edit_ = nullptr;
    QDateTimeEdit* to_edit_ = nullptr;
    QLineEdit* signal_edit_ = nullptr;
    QLabel* status_ = nullptr;
    trend_plot* plot_ = nullptr;
    QTimer* timer_ = nullptr;
};

// The drawing area: paints the window's trend, and turns the mouse into zoom (wheel), pan
// (drag), reset (double-click) and the cursor (move).
class trend_plot : public QWidget {
    Q_OBJECT
public:
    explicit trend_plot(trend_window& window, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    trend_window& window_;
    bool dragging_ = false;
    int drag_x_ = 0;
};

} // namespace nxkit
