#pragma once

#include <string>
#include <vector>

namespace nxkit {

// The toolbar's buttons in creation order.
enum class toolbar_button {
    reload,
    save,
    devs,
    strs,
    schema,
    hint,
    con,
    edit,
    editor_grid,
    mes,
    cancel_hand,
    cvit_all,
    log,
    print,
    zoom_in,
    zoom_out,
    zoom_x,
    zoom_y,
    zoom_full,
    zoom_100,
    mod_std,
    scroll_hand,
    journal_next,
    journal_last,
    journal_previous,
    journal_first,
};

struct button_spec {
    toolbar_button button;
    // The key under BTNS_VIEW and BTNS_EDIT; empty for the journal's buttons.
    const char* identifier;
    const char* caption;
    const char* tooltip;
    // A two-state button shows `on` while pressed and `off` while released; a push button has
    // off 0. disabled 0: the picture is greyed while disabled.
    int on;
    int off;
    int disabled;
    bool two_state;
    // Scheme command of the nine scheme buttons, journal direction of the four journal
    // buttons; 0 otherwise (scheme command 0 is "Полностью": see has_command).
    int command;
    bool has_command;
};

const std::vector<button_spec>& toolbar_table();
const button_spec& spec_of(toolbar_button button);

} // namespace nxkit
