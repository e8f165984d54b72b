#pragma once

namespace nxkit {

class t_ref_buff;

// Registers the classes of the configuration model itself (the folder, type 99).
void register_config_classes(t_ref_buff& store);

} // namespace nxkit
