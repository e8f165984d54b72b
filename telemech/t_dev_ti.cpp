#include "telemech/t_dev_ti.h"

#include "config/ref_types.h"
#include "structure/signal_texts.h"
#include "telemech/t_dev_asdu.h"

namespace nxkit {

t_dev_ti::t_dev_ti(t_ref_buff& store, int type) : t_dev_change(store, type) {}

std::string t_dev_ti::display_name() {
    current_value();
    return "[" + format_signal_number(value_) + "]" + type_name(type(), true) + " " +
           std::to_string(addr()) + key_text() + struct_title_text() + " " + title();
}

void t_dev_ti::tree_images(int& icon, int& overlay, int& state) {
    t_dev_change::tree_images(icon, overlay, state);
    icon = value_ > 0 ? 1430 : value_ < 0 ? 1431 : 1432;
}

bool t_dev_ti::read_record(t_dev_asdu& device, double& value, bool& defined) {
    measured_record record;
    if (!device.get_measured(addr(), record))
        return false;
    value = record.value;
    defined = record.qds == 0;
    return true;
}

void t_dev_ti::read_from(t_dev_asdu* device) {
    if (device == nullptr)
        return;
    double value = 0;
    bool defined = true;
    bool found = read_record(*device, value, defined);
    set_flag(found, flag_control);
    set_flag(defined, flag_defined);
    value_ = value;
}

t_dev_to::t_dev_to(t_ref_buff& store) : t_dev_ti(store, tp_dev_to) {}

bool t_dev_to::read_record(t_dev_asdu& device, double& value, bool& defined) {
    step_record record;
    if (!device.get_step(addr(), record))
        return false;
    value = vti_value(record.vti);
    defined = record.qds == 0 && !vti_transient(record.vti);
    return true;
}

} // namespace nxkit
