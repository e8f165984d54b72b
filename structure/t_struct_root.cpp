#include "structure/t_struct_root.h"

#include "config/ref_types.h"

namespace nxkit {

t_struct_root::t_struct_root(t_ref_buff& store) : t_ref_root(store, tp_struct_root) {
    set_title(type_name(tp_struct_root));
    set_flag(true, flag_no_delete);
}

bool t_struct_root::set_parameter(int, const std::string&) {
    return false;
}

bool t_struct_root::get_parameter(int, std::string&, std::string&) {
    return false;
}

void t_struct_root::tree_images(int& icon, int& overlay, int& state) {
    t_ref::tree_images(icon, overlay, state);
    icon = 1521;
}

} // namespace nxkit
