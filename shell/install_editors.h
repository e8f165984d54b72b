#pragma once

namespace nxkit {

class nx_dlg_mod;

// The three configuration editor panels ("devs", "strs", "schema") with their trees on "D",
// "K" and "S", docked into the window and registered with the store in that order.
void install_config_editors(nx_dlg_mod& window);

} // namespace nxkit
