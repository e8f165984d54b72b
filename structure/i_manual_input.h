#pragma once

namespace nxkit {

class t_struct_vl;

// Opens the manual input dialog for a signal; the manual-input view implements it and hands
// it to register_structure_classes, which passes it to every telesignal it creates.
class i_manual_input {
public:
    virtual ~i_manual_input() = default;
    virtual void open_manual_input(t_struct_vl& signal) = 0;
};

} // namespace nxkit
