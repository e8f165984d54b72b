#include "shell/main_window.h"

#include "config/t_ref_buff.h"
#include "interlock/display/nx_schema_ilk.h"
#include "schemes/control/nx_view_schema.h"
#include "shell/toolbar_buttons.h"
#include "ui/ui_resources.h"

namespace nxkit {

// Each view is created here, put into its slot and hooked to its buttons; the viewers are
// registered with the store in this order: trees "D", "K", "S", scheme view, connections view,
// journal, manual input.
void install_views(nx_dlg_mod& window) {
    auto* schemes = new nx_view_schema(window.store(), &window);
    window.set_view(view_slot::scheme, schemes);
    using b = toolbar_button;
    for (b button : {b::print, b::zoom_in, b::zoom_out, b::zoom_x, b::zoom_y, b::zoom_full,
                     b::zoom_100, b::mod_std, b::scroll_hand})
        schemes->add_button(spec_of(button).command, window.button(button));
    ui_resources& resources = window.resources();
    schemes->set_icons([&resources](int number) { return resources.icons.icon(number); });
    schemes->set_table_display_factory(
        [&window, &resources](const std::string& key,
                              QWidget* parent) -> std::unique_ptr<i_schema> {
            return std::make_unique<nx_schema_ilk>(parent, window.store(), key, resources.icons);
        });
    window.hooks().scheme_command = [schemes](int command) { schemes->scheme_command(command); };
    window.store().add_viewer(schemes);
}

} // namespace nxkit
