#pragma once

#include "interlock/whatif/switching_program.h"
#include "interlock/whatif/whatif_engine.h"

#include <QFrame>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QPushButton;
class QSplitter;

namespace nxkit {

class icon_set;
class nx_view_schema;
class switching_program_panel;
class t_ref_buff;

// The what-if mode ("Проверка блокировок") in the window: placed beside the live scheme and
// table area, it hides that area while the mode is on and shows a copy of them (whatif_engine)
// inside a red frame under the banner "РЕЖИМ ПРОВЕРКИ — значения не настоящие", with its own
// buttons and the switching program panel. The live view stays underneath, untouched; acquisition,
// journal and logs go on with the live store. Left by its button, Escape, or after the idle time
// (CTRL/whatif_idle_min minutes, default 10).
class whatif_area : public QWidget {
    Q_OBJECT
public:
    whatif_area(t_ref_buff& live, icon_set& icons, QWidget* live_view, QWidget* parent = nullptr);
    ~whatif_area() override;

    bool active() const { return active_; }
    // Enters the mode from the live values (nothing when on already).
    void enter();
    // Shows the live state again.
    void leave();
    // Enters the mode (if not on) and holds each signal at its value, good quality, then
    // evaluates: the entry of the topology check's counter-examples.
    void enter_whatif_with(const std::vector<std::pair<std::string, double>>& values);
    // Makes the copy ahead when the live configuration changed since (idle time after a load
    // or an edit), so that entering holds only what differs.
    void prepare();

    // Sets the position of the apparatus behind a component of the copy (a scheme element, a
    // table column, a row) or of a signal key: switched over. False when none is found.
    bool switch_over(const std::string& key_or_name);
    // The what-if manual input of a signal: a menu of values and qualities.
    void manual_input(const std::string& signal_key);
    void save_state();
    void load_state();
    // A toolbar scheme command: on the copy while the mode is on, else on the live view.
    void scheme_command(int command, const std::function<void(int)>& live_command);

    whatif_engine* engine() { return engine_.get(); }
    nx_view_schema* copy_view() const { return copy_view_; }
    switching_program_panel* program_panel() const { return program_; }
    QWidget* frame() const { return frame_; }
    int idle_minutes() const { return idle_minutes_; }
    QTimer& idle_timer() { return idle_; }
    // What is shown in the area's place: the live view or the what-if frame.
    QWidget* shown() const;

signals:
    void mode_changed(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void make_copy();
    void rebuild_copy_view();
    void set_window_title(bool on);
    void report(const std::string& text);

    t_ref_buff& live_;
    icon_set& icons_;
    std::unique_ptr<whatif_engine> engine_;
    bool active_ = false;
    int idle_minutes_ = 10;
    QString live_title_;
    QWidget* live_view_ = nullptr;
    QFrame* frame_ = nullptr;
    QLabel* banner_ = nullptr;
    QSplitter* split_ = nullptr;
    nx_view_schema* copy_view_ = nullptr;
    switching_program_panel* program_ = nullptr;
    QTimer idle_;
    // Makes the copy ahead once the live configuration stood still for a while.
    QTimer prepare_timer_;
    unsigned long seen_edits_ = ~0UL;
    int seen_generation_ = -1;
    int still_ticks_ = 0;
};

} // namespace nxkit
