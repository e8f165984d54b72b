#pragma once

namespace nxkit {

class t_ref_buff;

// Registers the scheme classes (80, 81, 85, 86, 82, 87, 88, 89) with the store.
void register_schemes_classes(t_ref_buff& store);

} // namespace nxkit
