#include "shell/install_editors.h"
#include "shell/main_window.h"

namespace nxkit {

// Each view is created here, put into its slot and hooked to its buttons; the viewers are
// registered with the store in this order: trees "D", "K", "S", scheme view, connections view,
// journal, manual input.
void install_views(nx_dlg_mod& window) {
    install_config_editors(window);
}

} // namespace nxkit
