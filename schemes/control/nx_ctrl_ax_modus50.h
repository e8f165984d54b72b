#pragma once

#include "schemes/control/i_schema.h"
#include "schemes/ilk/t_ilk.h"

#include <QObject>

#include <deque>
#include <map>
#include <memory>
#include <string>

class QTimer;

namespace nxkit {

class element_type_table;
class scheme_control;
class t_element;
class t_ref_buff;
class t_rtid_sel;
class t_schema_modus50;
struct sde_object;

// VIEW settings of the overview animation, clamped as read.
struct scroll_settings {
    bool to_point = false;
    int time_ms = 200;
    int steps = 5;
};
scroll_settings read_scroll_settings();

// The host of one scheme control: opens the scheme of a t_schema_modus50, keeps its pages,
// groups and elements in step with the drawing, animates the elements and the interlock
// highlight, zooms, and turns the control's events into calls queued after the event.
class nx_ctrl_ax_modus50 : public QObject, public i_schema {
    Q_OBJECT
public:
    nx_ctrl_ax_modus50(t_ref_buff& store, const element_type_table& types, const std::string& key,
                       QWidget* parent);
    ~nx_ctrl_ax_modus50() override;

    std::string schema_key() override;
    QWidget* window_handle() override;
    void show(i_viewer* target) override;
    void show_component(const std::string& key) override;
    void notify_changed(const std::string& key) override;
    void zoom_command(int code) override;
    void mark(const std::string& key) override;
    void highlight_interlock(const std::string& key) override;
    bool command_enabled(int code) override;

    scheme_control& control() { return *control_; }
    const std::string& doc_prefix() const { return doc_prefix_; }
    bool zoomed_out() const { return zoomed_out_; }
    const std::string& highlighted() const { return highlighted_; }
    bool marked() const { return marked_; }
    // Overview toggle at a view point (-1, -1: none), at `now_ms` (tests give the time).
    void overview_toggle(int x, int y, long long now_ms);
    // What a press on `counter` (0: none) does after the control's event.
    void clicked(int counter);
    // Back from the overview to the saved scale at the middle of the view (Escape).
    void leave_overview();

private:
    t_schema_modus50* scheme();
    void synchronise();
    void add_missing(const std::string& type_name);
    void refresh_interlocks(const std::string& key);
    void write_highlight(bool on);
    sde_object* object_of(int rtid);
    void acknowledge(t_element& element);
    void on_event12();
    void on_event18(sde_object* object, int x, int y);
    void on_event26(sde_object* object, int x, int y);
    bool pointer_test(const sde_object* object, int x, int y);
    void step_animation();

    t_ref_buff& store_;
    const element_type_table& types_;
    std::string key_;
    scheme_control* control_ = nullptr;
    i_viewer* target_ = nullptr;
    int opening_ = 0;
    std::string doc_prefix_;
    std::string requested_interlock_;
    std::map<std::string, styles_by_counter> cache_;
    std::string highlighted_;
    std::string last_go_to_;
    int last_counter_ = 0;
    double saved_scale_ = 1;
    int saved_fit_ = 1; // no_fit
    bool zoomed_out_ = false;
    long long last_toggle_ms_ = -1000000;
    bool marked_ = false;
    scroll_settings scroll_;
    double last_scale_ = -1;
    struct step {
        double x, y, scale;
    };
    std::deque<step> animation_;
    QTimer* animation_timer_ = nullptr;
};

} // namespace nxkit
