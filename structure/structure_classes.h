#pragma once

namespace nxkit {

class t_ref_buff;
class i_manual_input;

// Registers the structure's classes (40, 41, 42, 1, 2) with the store. Every telesignal the
// store creates afterwards opens manual input through `manual_input` (none: the command does
// nothing); the main window registers again once its manual-input view exists.
void register_structure_classes(t_ref_buff& store, i_manual_input* manual_input = nullptr);

} // namespace nxkit
