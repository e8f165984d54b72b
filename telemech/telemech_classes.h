#pragma once

namespace nxkit {

class t_ref_buff;

// Registers the equipment tree's classes: the root (50), the IEC 104 device (104), the serial
// port (100) with its IEC 101 devices (101) and the information objects (51, 52, 55, 56, 57).
void register_telemech_classes(t_ref_buff& store);

} // namespace nxkit
