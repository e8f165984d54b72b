#include "telemech/t_dev_ts.h"

#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "telemech/t_dev_asdu.h"

#include <algorithm>

namespace nxkit {

t_dev_ts::t_dev_ts(t_ref_buff& store, int type) : t_dev_change(store, type) {
    set_flag(true, flag_defined);
}

std::string t_dev_ts::state_text() const {
    if (!control())
        return {};
    return defined() ? "[" + std::to_string(state_) + "]" : std::string("[?]");
}

std::string t_dev_ts::display_name() {
    current_value();
    return state_text() + type_name(type(), true) + " " + std::to_string(addr()) + key_text() +
           struct_title_text() + " " + title();
}

void t_dev_ts::tree_images(int& icon, int& overlay, int& state) {
    t_dev_change::tree_images(icon, overlay, state);
    icon = state_ == 1 ? 1409 : 1410;
}

void t_dev_ts::read_from(t_dev_asdu* device) {
    if (device == nullptr)
        return;
    single_record record;
    bool found = device->get_single(addr(), record);
    set_flag(found, flag_control);
    set_flag(found && (record.siq & 0x80) != 0, flag_invalid);
    if (found) {
        state_ = record.siq & 1;
        time_ = record.time.to_time();
    } else {
        time_ = time_now();
    }
}

std::vector<reported_state> t_dev_ts::take_reported_states() {
    t_dev_asdu* d = device();
    if (d == nullptr || addr() == 0)
        return {};
    std::vector<tagged_change> changes = d->take_tagged(addr());
    std::vector<reported_state> states;
    states.reserve(changes.size());
    for (const tagged_change& c : changes) {
        reported_state s;
        s.invalid = (c.octet & 0x80) != 0;
        if (c.double_point) {
            const int dpi = c.octet & 3;
            s.defined = dpi == 1 || dpi == 2;
            s.value = dpi >= 2 ? 1 : 0;
        } else {
            s.value = c.octet & 1;
        }
        s.time = c.time.to_time();
        states.push_back(s);
    }
    std::stable_sort(
        states.begin(), states.end(),
        [](const reported_state& a, const reported_state& b) { return a.time < b.time; });
    return states;
}

t_dev_ts2::t_dev_ts2(t_ref_buff& store) : t_dev_ts(store, tp_dev_ts2) {}

void t_dev_ts2::read_from(t_dev_asdu* device) {
    if (device == nullptr)
        return;
    double_record record;
    bool found = device->get_double(addr(), record);
    set_flag(found, flag_control);
    set_flag(found && (record.diq & 0x80) != 0, flag_invalid);
    if (found) {
        int dpi = record.diq & 3;
        set_flag(dpi == 1 || dpi == 2, flag_defined);
        state_ = dpi >= 2 ? 1 : 0;
        time_ = record.time.to_time();
    } else {
        time_ = time_now();
    }
}

t_dev_ts_ok::t_dev_ts_ok(t_ref_buff& store) : t_dev_ts(store, tp_dev_ts_ok) {}

t_dev_ts_ok::~t_dev_ts_ok() {
    if (t_dev_asdu* d = device(); d != nullptr && d->health_key() == key())
        d->set_health_key({});
}

bool t_dev_ts_ok::set_parameter(int index, const std::string& text) {
    // Only the three numbers: no title, no address.
    if (index < 0 || index > 2)
        return false;
    return t_dev_ts::set_parameter(index, text);
}

bool t_dev_ts_ok::get_parameter(int index, std::string& value, std::string& name) {
    if (index < 0 || index > 2)
        return false;
    return t_dev_ts::get_parameter(index, value, name);
}

void t_dev_ts_ok::init() {
    t_dev::init();
    check_signal_key();
    if (auto* d = dynamic_cast<t_dev_asdu*>(parent())) {
        d->set_health_key(key());
        set_device_key(d->key());
    }
}

std::string t_dev_ts_ok::display_name() {
    current_value();
    return "[" + std::to_string(state_) + "]" + key_text() + struct_title_text() + " " +
           type_name(type());
}

void t_dev_ts_ok::read_from(t_dev_asdu* device) {
    if (device == nullptr)
        return;
    state_ = device->is_connected() ? 1 : 0;
    time_ = time_now();
    set_flag(true, flag_control);
}

} // namespace nxkit
