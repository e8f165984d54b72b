#pragma once

#include "schemes/control/i_schema.h"
#include "interlock/display/ilk_table_layout.h"
#include "interlock/display/topology_view.h"
#include "interlock/ilk_table_edits.h"

#include <QBasicTimer>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <memory>

class QLabel;
class QPagedPaintDevice;
class QPainter;
class QRect;

#include <cstdint>
#include <functional>
#include <string>

namespace nxkit {

class icon_set;
class i_viewer;
class t_ref_buff;
class t_ilk_tab;

// An interlock table shown live as a grid: laid out again at the timer tick after a change,
// painted once per layout into a cached image; a pass that changed only cell states repaints
// only those cells.
class nx_schema_ilk : public QWidget, public i_schema {
public:
    nx_schema_ilk(QWidget* parent_window, t_ref_buff& store, const std::string& table_key,
                  icon_set& icons);
    ~nx_schema_ilk() override;

    std::string schema_key() override { return table_key_; }
    QWidget* window_handle() override { return this; }
    void show(i_viewer* target) override;
    void show_component(const std::string&) override {}
    void notify_changed(const std::string& key) override;
    void zoom_command(int code) override;
    void mark(const std::string&) override {}
    void highlight_interlock(const std::string&) override {}
    bool command_enabled(int code) override;

    double zoom() const { return zoom_; }
    const ilk_table_layout& layout() const { return layout_; }
    const QImage& back_buffer() const { return buffer_; }
    // The cells repainted by the last tick, -1 after a full repaint.
    int cells_repainted() const { return cells_repainted_; }
    // The timer's work, callable by tests: the deferred rebuild of the store's tables 5 s
    // after the last edit, then a new layout and repaint when a change is pending.
    void tick(std::int64_t now_ms);
    void tick();

    // Opens manual input for the signal with this key (the popup's entries).
    void set_manual_input(std::function<void(const std::string& key)> open) {
        manual_input_ = std::move(open);
    }
    int first_column() const { return first_column_; }
    int first_row() const { return first_row_; }
    const ilk_scroll_arrows& arrows() const { return arrows_; }
    const std::string& selected_key() const { return selected_key_; }
    int edit_mark() const { return edit_mark_; }
    // The window's picture: the back buffer with the hover marking.
    QImage shown_image();
    // The tick count the edit confirmation compares (the system's by default).
    void set_tick_source(std::function<std::int64_t()> source) { tick_source_ = std::move(source); }
    // The table as it is now, with its title and the legend, fitted to the pages of `device`
    // (command 50 asks for the printer first). False when painting could not start.
    bool print_to(QPagedPaintDevice& device);
    // The same into `page` of a painter at this resolution; the layout that was painted.
    ilk_table_layout paint_printed(QPainter& painter, const QRect& page, double dpi_x,
                                   double dpi_y);
    // How many times a fit mode searched its zoom.
    int fit_searches() const { return fit_searches_; }
    // Scrolls to this first column and line (clamped) and repaints.
    void scroll_to(int column, int line);
    // The legend box at the pointer, or null while it is not shown.
    QLabel* legend_popup() const { return legend_popup_.get(); }

    // The topology check (docs/interlock-rules.md) of the station's saved configuration and
    // schemes (Ctrl+T): marks this table's rows and opens the report window.
    void check_topology();
    // Marks the rows of `report` and opens its window; `note` is shown above the findings.
    topology_report_window* show_topology(const topology_report& report, const std::string& note);
    const std::map<std::string, topology_mark>& topology_marks() const { return topology_marks_; }
    topology_report_window* topology_window() const { return topology_window_; }
    // Where "Загрузить в режим проверки" sends a counter-example; the action is hidden
    // without one.
    void set_counter_example_loader(topology_report_window::loader load) {
        counter_example_loader_ = std::move(load);
        if (topology_window_)
            topology_window_->set_loader(counter_example_loader_);
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    t_ilk_tab* table();
    void rebuild_layout();
    double fitted_zoom(t_ilk_tab& shown, ilk_table_layout& fitted);
    void print();
    void show_tip(const QPoint& at, const QPoint& global);
    void hide_legend();
    std::int64_t now_tick() const { return tick_source_ ? tick_source_() : table_edit_tick(); }
    void repaint_all();
    bool repaint_changed_cells(const ilk_table_layout& previous);
    void paint_overlay(QPainter& painter);
    void operator_action(const std::function<void()>& action);
    void release(QMouseEvent* event);
    void double_click(QMouseEvent* event);
    void click();
    bool scroll_by_arrow(int x, int y);
    void open_popup(const std::string& key);
    void select(const std::string& key);
    void after_edit();
    bool line_exists(int line) const;
    bool column_exists(int column) const;

    t_ref_buff& store_;
    std::string table_key_;
    icon_set& icons_;
    // The manual-input picture, read once as the trees' image list reads it.
    bool show_manual_;
    i_viewer* selection_target_ = nullptr;
    double zoom_ = 1.0;
    std::string zoom_key_;
    bool rebuild_pending_ = true;
    int first_column_ = 0;
    int first_row_ = 0;
    ilk_table_layout layout_;
    QImage buffer_;
    int cells_repainted_ = -1;
    QBasicTimer timer_;
    ilk_scroll_arrows arrows_;
    std::function<void(const std::string&)> manual_input_;
    std::function<std::int64_t()> tick_source_;
    std::unique_ptr<QLabel> legend_popup_;
    // An operator action (a question or a popup may be open in it) is running: pointer events
    // that arrive meanwhile are not actions of their own.
    bool in_action_ = false;
    int wheel_rest_ = 0;
    int fit_searches_ = 0;

    // The fit of a fit mode, searched once per client size and mode: kept while a new layout
    // at the fitted zoom has the extent it had.
    struct fit_memo {
        double mode = 1;
        int width = -1;
        int height = -1;
        double zoom = 0;
        ilk_rect table;
    } fit_;

    // Pointer state.
    bool hovering_ = false;
    ilk_cell_position hover_cell_{-1, -1};
    // 0 none; 1 or 2 a permission that permits when on or off was just created; 3 the click
    // only selects.
    int edit_mark_ = 0;
    std::string last_clicked_key_;
    std::string selected_key_;

    // The last topology check.
    std::map<std::string, topology_mark> topology_marks_;
    QPointer<topology_report_window> topology_window_;
    topology_report_window::loader counter_example_loader_;

    // The deferred rebuild of the store's tables after edits.
    bool edits_pending_ = false;
    std::int64_t last_edit_tick_ = 0;
};

} // namespace nxkit
