#pragma once

#include "config/interfaces.h"
#include "shell/toolbar_buttons.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QPlainTextEdit;
class QSocketNotifier;
class QSplitter;
class QTimer;

namespace nxkit {

class i_hot_key;
class nx_log_view;
class t_ref_buff;
class ui_resources;

// The places of the main window that the views fill (see shell/README.md).
enum class view_slot {
    // The three configuration editor panels with their trees, docked on the left.
    devs,
    strs,
    schema,
    // The scheme view: the work area's main part.
    scheme,
    // The event journal, below the scheme view.
    journal,
};
inline constexpr int view_slot_count = 5;

// What the toolbar asks of the views; a view sets the ones it answers. Unset hooks do nothing.
struct view_hooks {
    // The nine scheme buttons, with the command numbers of their table.
    std::function<void(int command)> scheme_command;
    // The four journal buttons: 1 next, 2 last, 3 previous, 4 first line.
    std::function<void(int direction)> journal_navigate;
    std::function<void()> cancel_all_manual;
    std::function<void()> acknowledge_all;
    // After the connections were switched on (the connections view lists what is down).
    std::function<void()> connections_on;
    // After the connections were switched in edit mode (the equipment editor refreshes).
    std::function<void()> connections_switched;
    // The parameter grids of the three editors.
    std::function<void(bool shown)> show_grids;
    // The what-if mode ("Проверка блокировок"): entered, left (also when edit mode ends), and
    // entered with signal values held.
    std::function<void(bool on)> whatif;
    std::function<void(const std::vector<std::pair<std::string, double>>&)> enter_whatif_with;
};

// The operator's main window (nx_dlg_mod): the toolbar, view and edit mode, the editor panels,
// the scheme view, the journal and the log pane. Its construction takes the single-instance
// guard first; it comes forward when a second copy asks and closes on SIGTERM and SIGINT as on
// the operator's close. It drives the store: the 10 ms update pass, the one-second countdown
// and the devices' notifications.
class nx_dlg_mod : public QMainWindow, public i_update_poster {
    Q_OBJECT
public:
    // `hot_key` null: the Qt application shortcut.
    nx_dlg_mod(t_ref_buff& store, ui_resources& resources, int close_signal_fd = -1,
               i_hot_key* hot_key = nullptr);
    ~nx_dlg_mod() override;

    // Creates the views, starts the timers, sets the modes and loads the configuration.
    // Throws what the load throws: a configuration that cannot be read ends the run.
    void create_contents();
    // Shows the window (full screen or restored) and applies title and placement.
    void show_in_mode(bool full_screen);

    // ---- Docking: the views plug in here (install_views) ----
    // Puts `view` into its slot (the window takes it over; a previous one is deleted).
    void set_view(view_slot slot, QWidget* view);
    QWidget* view(view_slot slot) const;
    QAction* button(toolbar_button b) const;
    view_hooks& hooks() { return hooks_; }
    ui_resources& resources() { return resources_; }
    t_ref_buff& store() { return store_; }
    // The log pane's viewer: the equipment tree makes it follow a component's log_file().
    nx_log_view& log_view() { return *log_view_; }

    // ---- State, for the views and the tests ----
    bool edit_mode() const { return edit_mode_; }
    bool hot_key_active() const { return hot_key_active_; }
    bool panel_shown(view_slot slot) const;
    bool log_shown() const;
    // The configured title (CTRL/title trimmed, or the default).
    const std::string& title() const { return title_; }
    void set_title(const std::string& title) { title_ = title; }

    // ---- Commands (the toolbar's and the window menu's) ----
    void toggle_edit_by_hot_key();
    // Enters the what-if mode (when not in it) and holds each signal key at its value: the
    // topology check's counter-examples come in here.
    void enter_whatif_with(const std::vector<std::pair<std::string, double>>& values);
    // The toolbar's "Проверка блокировок" button, shown in edit mode only; checked while the
    // mode is on.
    QAction* whatif_button() const { return whatif_action_; }
    void reload();
    void save();
    void open_log_menu();
    // SIGTERM/SIGINT: ends every open prompt as its cancel or no answer and closes the window
    // without a question; unsaved changes go into a backup, refs.ini is left as it was.
    void close_by_signal();

    // Device workers call this from their threads; the hand-over runs on this window's thread.
    void post_update(i_updater* updater, int generation) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build_toolbar();
    void build_work_area();
    void build_window_menu(QWidget* bar);
    // Runs an operator action: an exception becomes an ERR line and an error box.
    void guarded(const std::function<void()>& action);
    // Runs timer and device work: an exception becomes an ERR line and, after the pass, a box.
    void in_pass(const std::function<void()>& work);

    void on_button(toolbar_button b, bool checked);
    void on_edit_button(bool checked);
    void apply_mode(bool edit);
    void apply_button_visibility();
    void switch_connections(bool on);
    void show_panel(view_slot slot, bool on);
    void show_log(bool on);
    void on_log_button(bool checked);
    void load_checked(const std::string& path);
    bool save_on_close(QCloseEvent* event);
    void keep_changes_in_backup();
    void close_when_shown();
    void bring_forward();
    void relayout();

    t_ref_buff& store_;
    ui_resources& resources_;
    std::unique_ptr<i_hot_key> own_hot_key_;
    i_hot_key* hot_key_;
    view_hooks hooks_;
    std::string title_;

    QWidget* toolbar_ = nullptr;
    std::unique_ptr<hint_popup> hint_;
    // Since the pointer left a button whose hint was up.
    QElapsedTimer hint_left_;
    std::array<QAction*, 26> actions_{};
    QAction* whatif_action_ = nullptr;
    std::array<QWidget*, view_slot_count> slots_{};
    QSplitter* right_ = nullptr;
    QPlainTextEdit* log_pane_ = nullptr;
    nx_log_view* log_view_ = nullptr;
    std::string main_log_;

    QSocketNotifier* raise_notifier_ = nullptr;
    QSocketNotifier* close_notifier_ = nullptr;
    QTimer* fast_timer_ = nullptr;
    QTimer* slow_timer_ = nullptr;
    int state_listener_ = 0;
    bool edit_mode_ = false;
    bool hot_key_active_ = false;
    bool hints_on_ = true;
    bool contents_created_ = false;
    bool pass_error_shown_ = false;
    bool closing_by_signal_ = false;
};

// Creates the operator views and puts them into the window's slots, hooks and viewer list
// (shell/install_views.cpp; see shell/README.md).
void install_views(nx_dlg_mod& window);

} // namespace nxkit
