#include "structure/t_struct_ti.h"

#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/i_signal_source.h"
#include "structure/signal_texts.h"

namespace nxkit {

t_struct_ti::t_struct_ti(t_ref_buff& store) : t_struct_vl(store, tp_struct_ti) {}

std::string t_struct_ti::display_name() {
    refresh();
    return "[" + format_signal_number(value_) + "]" + struct_text();
}

void t_struct_ti::pull_from_device(const std::string& object_key) {
    auto* source = dynamic_cast<i_signal_source*>(store().get(object_key));
    if (source == nullptr) {
        set_flag(false, flag_control | flag_defined);
        return;
    }
    // Measurements carry neither a time stamp nor an invalid bit of their own.
    value_ = source->current_value();
    set_flag(source->control(), flag_control);
    set_flag(source->defined(), flag_defined);
}

int t_struct_ti::value_icon() const {
    if (value_ > 0)
        return 1430;
    return value_ < 0 ? 1431 : 1432;
}

} // namespace nxkit
