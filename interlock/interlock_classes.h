#pragma once

namespace nxkit {

class t_ref_buff;

// Registers the interlock model's classes (72, 79, 77, 78, 75, 71, 70, 76, 74, 73).
void register_interlock_classes(t_ref_buff& store);

} // namespace nxkit
