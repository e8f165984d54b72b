#pragma once

#include "interlock/ilk_state.h"

#include <string>

namespace nxkit {

class t_ref_buff;

// The signal binding assistant: pairs a column or row and the ones after it with the
// telesignal selected in the structure tree and the telesignals after it, lets the operator
// choose how many pairs to apply, asks for confirmation and writes the signal keys. Keeps no
// state between runs; every question goes through the prompt seam.
class ilk_binding_assistant : public i_ilk_binder {
public:
    // Command 0 of a column binds both contacts; commands 0-3 of a row bind its permission,
    // readiness, "on" and "off" signals.
    bool bind(t_ref& target, int command, const std::string& caption) override;

    // The process's assistant (it has no state, so one serves every store).
    static ilk_binding_assistant& instance();
};

// Makes the assistant the binder of `store`'s interlock commands.
void install_binding_assistant(t_ref_buff& store);

} // namespace nxkit
