#include "shell/main_window.h"

#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "base/settings.h"
#include "base/settings_keys.h"
#include "config/t_ref_buff.h"
#include "platform/close_signals.h"
#include "platform/single_instance.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "shell/instance_guard.h"
#include "structure/structure_classes.h"
#include "telemech/telemech_classes.h"

#include <QCloseEvent>
#include <QSocketNotifier>
#include <QTimer>

namespace nxkit {

main_window::main_window(t_ref_buff& store, int close_signal_fd) : store_(store) {
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

    // The component classes of every subsystem, before any configuration is read.
    register_structure_classes(store_);
    register_telemech_classes(store_);
    register_all_scheme_classes(store_);
}

main_window::~main_window() {
    release_single_instance();
}

void main_window::create_contents() {
    store_.init(this, this);
    fast_timer_ = new QTimer(this);
    connect(fast_timer_, &QTimer::timeout, this, [this] { store_.update_pass(); });
    fast_timer_->start(10);
    slow_timer_ = new QTimer(this);
    connect(slow_timer_, &QTimer::timeout, this, [this] { store_.countdown_tick(); });
    slow_timer_->start(1000);

    edit_mode_ = settings_get_int("CTRL", "edit", 1, true) != 0;
    store_.set_edit_mode(edit_mode_);
    // In view mode the connections are always on; in edit mode they follow the switch.
    bool connections = settings_get_int("CTRL", "con", 1, true) != 0;
    if (!edit_mode_ || connections)
        store_.start_devices(true);

    store_.load();
}

void main_window::show_in_mode(bool full_screen) {
    if (full_screen)
        showFullScreen();
    else
        show();
}

void main_window::post_update(i_updater* updater, int generation) {
    QMetaObject::invokeMethod(
        this, [this, updater, generation] { store_.hand_over(updater, generation); },
        Qt::QueuedConnection);
}

void main_window::closeEvent(QCloseEvent* event) {
    if (edit_mode_) {
        try {
            store_.save();
        } catch (const nx_exception& e) {
            // The file on disk is still the previous complete one; say why the changes stay
            // unsaved and go on closing, so a stop request is never refused.
            nx_log::main().err(e.what());
            show_message(this, e.what(), mb_error);
        }
    }
    hide();
    store_.start_devices(false);
    if (fast_timer_ != nullptr)
        fast_timer_->stop();
    event->accept();
}

void main_window::bring_forward() {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

} // namespace nxkit
