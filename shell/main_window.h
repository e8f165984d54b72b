#pragma once

#include "config/interfaces.h"

#include <QMainWindow>

class QSocketNotifier;
class QTimer;

namespace nxkit {

class t_ref_buff;

// The operator's main window. Its construction takes the single-instance guard first; it
// comes forward when a second copy of the program asks, and closes on SIGTERM and SIGINT as
// on the operator's close. It drives the store: the 10 ms update pass, the one-second
// countdown, the devices' notifications, and the save on close.
class main_window : public QMainWindow, public i_update_poster {
    Q_OBJECT
public:
    main_window(t_ref_buff& store, int close_signal_fd);
    ~main_window() override;

    // Starts the timers, sets the modes and loads the configuration. Throws what the load
    // throws: a configuration that cannot be read ends the run.
    void create_contents();

    // Shows the window in its mode (normal or full screen).
    void show_in_mode(bool full_screen);

    // Device workers call this from their threads; the hand-over runs on this window's thread.
    void post_update(i_updater* updater, int generation) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void bring_forward();

    t_ref_buff& store_;
    QSocketNotifier* raise_notifier_ = nullptr;
    QSocketNotifier* close_notifier_ = nullptr;
    QTimer* fast_timer_ = nullptr;
    QTimer* slow_timer_ = nullptr;
    bool edit_mode_ = false;
};

} // namespace nxkit
