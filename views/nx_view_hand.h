#pragma once

#include "base/prompt.h"
#include "config/interfaces.h"
#include "structure/i_manual_input.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <set>
#include <string>

class QAction;

namespace nxkit {

class t_ref_buff;
class t_struct_vl;

// The manual-input form of a signal: title, text, mode icon and the four buttons
// "Включить" (2), "Отключить" (3), "Авто" (1), "Отмена" (0); with `trend`, "График" (4)
// before "Отмена".
form_request manual_input_form(t_struct_vl& signal, bool trend = false);

// Manual input: the form that sets a signal on, off or back to automatic, and the two
// toolbar commands that act on every signal ("Отменить ручные", "Квитировать все"), each
// enabled exactly while some signal carries its flag.
class nx_view_hand : public QObject, public i_observer, public i_viewer, public i_manual_input {
    Q_OBJECT
public:
    nx_view_hand(t_ref_buff& store, QAction* cancel_manual, QAction* acknowledge_all,
                 QObject* parent = nullptr);
    ~nx_view_hand() override;

    void set_root(const std::string& key) { root_ = key; }
    // Opens the trend window of a signal key: the form then offers "График".
    void set_trend_opener(std::function<void(const std::string&)> open) {
        trend_opener_ = std::move(open);
    }

    // i_observer
    void on_changed(const std::string& key) override;
    // i_viewer: unload empties both sets and disables both buttons; load attaches to the root.
    void on_unload() override;
    void on_load() override;
    // i_manual_input
    void open_manual_input(t_struct_vl& signal) override;

    // Runs the form for the signal with this component key; nothing for any other key.
    void show_manual_input(const std::string& key);
    // The two walkers over every signal under the root (the main window asks first).
    void cancel_all_manual();
    void acknowledge_all();

    bool cancel_enabled() const { return trackers_[0].enabled; }
    bool acknowledge_enabled() const { return trackers_[1].enabled; }

private:
    struct tracker {
        QAction* button = nullptr;
        std::uint32_t flag = 0;
        std::set<std::string> keys;
        bool enabled = false;
    };
    void set_enabled(tracker& t, bool on);

    t_ref_buff& store_;
    std::string root_ = "K";
    tracker trackers_[2];
    std::function<void(const std::string&)> trend_opener_;
};

} // namespace nxkit
