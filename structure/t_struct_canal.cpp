#include "structure/t_struct_canal.h"

#include "config/ref_types.h"

namespace nxkit {

t_struct_canal::t_struct_canal(t_ref_buff& store) : t_struct(store, tp_struct_canal) {}

std::string t_struct_canal::compute_signal_key() {
    return element_number() == 0 ? std::string() : std::to_string(element_number());
}

void t_struct_canal::tree_images(int& icon, int& overlay, int& state) {
    t_ref::tree_images(icon, overlay, state);
    icon = 1411;
}

} // namespace nxkit
