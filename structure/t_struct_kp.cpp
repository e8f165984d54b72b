#include "structure/t_struct_kp.h"

#include "config/ref_types.h"

namespace nxkit {

t_struct_kp::t_struct_kp(t_ref_buff& store) : t_struct(store, tp_struct_kp) {}

std::string t_struct_kp::compute_signal_key() {
    std::uint16_t canal = ancestor_number(tp_struct_canal);
    if (canal == 0 || element_number() == 0)
        return {};
    return std::to_string(canal) + "_" + std::to_string(element_number());
}

void t_struct_kp::tree_images(int& icon, int& overlay, int& state) {
    t_ref::tree_images(icon, overlay, state);
    icon = 1412;
}

} // namespace nxkit
