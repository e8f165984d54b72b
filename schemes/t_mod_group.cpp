#include "schemes/t_mod_group.h"

#include "config/ref_types.h"
#include "schemes/scheme_commands.h"

namespace nxkit {

t_mod_group::t_mod_group(t_ref_buff& store) : t_ref(store, tp_mod_group) {
    set_flag(true, flag_no_delete);
}

int t_mod_group::parameter_editor(int index, choice_list& choices) {
    // The description names the element type the group collects.
    if (index == 0)
        return editor_read_only;
    return t_ref::parameter_editor(index, choices);
}

void t_mod_group::tree_images(int& icon, int& overlay, int& state) {
    t_ref::tree_images(icon, overlay, state);
    icon = image_;
    overlay = 1402;
}

int t_mod_group::command(bool query, int index, std::string& arg) {
    return scheme_command(*this, true, query, index, arg);
}

} // namespace nxkit
