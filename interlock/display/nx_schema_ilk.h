#pragma once

#include "schemes/control/i_schema.h"
#include "interlock/display/ilk_table_layout.h"

#include <QBasicTimer>
#include <QImage>
#include <QWidget>

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
    // The timer's work, callable by tests: lays out again and repaints when a change is pending.
    void tick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    t_ilk_tab* table();
    void rebuild_layout();
    void repaint_all();
    bool repaint_changed_cells(const ilk_table_layout& previous);
    int scroll_column() const;
    int scroll_line() const;

    t_ref_buff& store_;
    std::string table_key_;
    icon_set& icons_;
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
};

} // namespace nxkit
