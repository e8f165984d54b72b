#include "telemech/t_dev_root.h"

#include "config/ref_types.h"

namespace nxkit {

t_dev_root::t_dev_root(t_ref_buff& store) : t_ref_root(store, tp_dev_root) {}

bool t_dev_root::set_parameter(int, const std::string&) {
    return false;
}

bool t_dev_root::get_parameter(int, std::string&, std::string&) {
    return false;
}

void t_dev_root::tree_images(int& icon, int& overlay, int& state) {
    t_ref::tree_images(icon, overlay, state);
    icon = 1504;
}

} // namespace nxkit
