#pragma once

#include <QMainWindow>

class QSocketNotifier;

namespace nxkit {

// The operator's main window. Its construction takes the single-instance guard first; it
// comes forward when a second copy of the program asks, and closes on SIGTERM and SIGINT as
// on the operator's close.
class main_window : public QMainWindow {
    Q_OBJECT
public:
    explicit main_window(int close_signal_fd);
    ~main_window() override;

    // Shows the window in its mode (normal or full screen).
    void show_in_mode(bool full_screen);

private:
    void bring_forward();

    QSocketNotifier* raise_notifier_ = nullptr;
    QSocketNotifier* close_notifier_ = nullptr;
};

} // namespace nxkit
