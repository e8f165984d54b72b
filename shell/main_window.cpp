#include "shell/main_window.h"

#include "base/settings.h"
#include "base/settings_keys.h"
#include "platform/close_signals.h"
#include "platform/single_instance.h"
#include "shell/instance_guard.h"

#include <QSocketNotifier>

namespace nxkit {

main_window::main_window(int close_signal_fd) {
    ensure_single_instance(read_previous_window());

    if (single_instance* guard = instance_guard(); guard != nullptr && guard->listen_fd() >= 0) {
        raise_notifier_ = new QSocketNotifier(guard->listen_fd(), QSocketNotifier::Read, this);
        connect(raise_notifier_, &QSocketNotifier::activated, this, [this] {
            if (single_instance* g = instance_guard(); g != nullptr && g->take_raise_request())
                bring_forward();
        });
    }
    if (close_signal_fd >= 0) {
        close_notifier_ = new QSocketNotifier(close_signal_fd, QSocketNotifier::Read, this);
        connect(close_notifier_, &QSocketNotifier::activated, this, [this, close_signal_fd] {
            if (take_close_request(close_signal_fd))
                close();
        });
    }
    settings_set_int("CTRL", "hwnd", static_cast<int>(winId()));
}

main_window::~main_window() {
    release_single_instance();
}

void main_window::show_in_mode(bool full_screen) {
    if (full_screen)
        showFullScreen();
    else
        show();
}

void main_window::bring_forward() {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

} // namespace nxkit
