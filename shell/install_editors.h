#pragma once

namespace nxkit {

class nx_dlg_mod;
class nx_view_tree;

// The three configuration editor panels ("devs", "strs", "schema") with their trees on "D",
// "K" and "S", docked into the window and registered with the store in that order. Returns the
// scheme tree ("S"), which the scheme view and it link as each other's selection listeners.
nx_view_tree* install_config_editors(nx_dlg_mod& window);

} // namespace nxkit
