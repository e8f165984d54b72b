#include "views/nx_view_hand.h"

#include "base/access.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/manual_values.h"
#include "structure/signal_texts.h"
#include "structure/t_struct_vl.h"

#include <QAction>

#include <vector>

namespace nxkit {

namespace {

constexpr int result_auto = 1;
constexpr int result_on = 2;
constexpr int result_off = 3;
constexpr int result_trend = 4;

} // namespace

form_request manual_input_form(t_struct_vl& signal, bool trend) {
    form_request form;
    form.title = type_name(signal.type());
    form.text = signal.signal_key();
    if (!signal.expression().empty())
        form.text += " = " + signal.expression();
    form.text += "\r\n" + signal.title() + "\r\n" + signal.value_text(form_long);
    if (signal.manual())
        form.icon = signal.value() != 0 ? 1535 : 1536;
    else
        form.icon = 1537;
    form.buttons = {{"Включить", 1535, result_on},
                    {"Отключить", 1536, result_off},
                    {"Авто", 1537, result_auto},
                    {"Отмена", 1538, 0}};
    if (trend)
        form.buttons.insert(form.buttons.end() - 1, {"График", 0, result_trend});
    return form;
}

nx_view_hand::nx_view_hand(t_ref_buff& store, QAction* cancel_manual, QAction* acknowledge_all,
                           QObject* parent)
    : QObject(parent), store_(store) {
    trackers_[0].button = cancel_manual;
    trackers_[0].flag = flag_manual;
    trackers_[1].button = acknowledge_all;
    trackers_[1].flag = flag_unacknowledged;
    for (tracker& t : trackers_)
        if (t.button != nullptr)
            t.button->setEnabled(false);
}

nx_view_hand::~nx_view_hand() {
    store_.remove_viewer(this);
    store_.unsubscribe_subtree("", this);
}

void nx_view_hand::set_enabled(tracker& t, bool on) {
    if (t.enabled == on)
        return;
    t.enabled = on;
    if (t.button != nullptr)
        t.button->setEnabled(on);
}

void nx_view_hand::on_changed(const std::string& key) {
    auto* signal = dynamic_cast<t_struct_vl*>(store_.get(key));
    if (signal == nullptr) {
        // A deleted signal no longer holds its button enabled.
        for (tracker& t : trackers_) {
            if (t.keys.erase(key) != 0)
                set_enabled(t, !t.keys.empty());
        }
        return;
    }
    for (tracker& t : trackers_) {
        if (signal->has_flag(t.flag))
            t.keys.insert(key);
        else
            t.keys.erase(key);
        set_enabled(t, !t.keys.empty());
    }
}

void nx_view_hand::on_unload() {
    for (tracker& t : trackers_) {
        t.keys.clear();
        set_enabled(t, false);
    }
}

void nx_view_hand::on_load() {
    store_.subscribe_subtree(root_, this);
}

void nx_view_hand::open_manual_input(t_struct_vl& signal) {
    show_manual_input(signal.key());
}

void nx_view_hand::show_manual_input(const std::string& key) {
    auto* signal = dynamic_cast<t_struct_vl*>(store_.get(key));
    if (signal == nullptr)
        return;
    i_prompt* prompt = current_prompt();
    if (prompt == nullptr)
        return;
    const bool trend = static_cast<bool>(trend_opener_);
    int result = prompt->modal_form(store_.owner_window(), manual_input_form(*signal, trend));
    // The form is modal: the signal may have gone with a reload meanwhile.
    signal = dynamic_cast<t_struct_vl*>(store_.get(key));
    if (result == 0 || signal == nullptr)
        return;
    // The trend leaves the signal as it is.
    if (result == result_trend) {
        if (trend)
            trend_opener_(signal->signal_key());
        return;
    }
    bool manual = result == result_on || result == result_off;
    int value = result == result_on ? 1 : 0;
    signal->set_flag(false, flag_forced);
    signal->set_manual(value, manual);
    save_manual_value(signal->signal_key(), manual ? value : -1);
    audit_action(manual ? "ручной ввод" : "снятие ручного ввода",
                 signal->signal_key() + (manual ? " = " + std::to_string(value) : ""));
}

void nx_view_hand::cancel_all_manual() {
    int count = 0;
    for (t_ref* r : store_.refs().under(root_)) {
        if (!r->has_flag(flag_manual))
            continue;
        r->set_flag(false, flag_manual);
        store_.mark_changed(r->key());
        ++count;
    }
    cancel_all_manual_settings();
    audit_action("отмена ручного ввода для всех сигналов", "сигналов: " + std::to_string(count));
}

void nx_view_hand::acknowledge_all() {
    int count = 0;
    for (t_ref* r : store_.refs().under(root_)) {
        if (!r->has_flag(flag_unacknowledged))
            continue;
        r->set_flag(false, flag_unacknowledged);
        store_.mark_changed(r->key());
        ++count;
    }
    audit_action("квитирование всех сигналов", "сигналов: " + std::to_string(count));
}

} // namespace nxkit
