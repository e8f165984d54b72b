#pragma once

#include "base/prompt.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nxkit {

class t_ref_buff;

// The signal popup of a header or cell: its header line and the keys of the structure
// signal_keys behind the component, in the order they are listed. An empty header means no popup.
struct ilk_signal_popup {
    std::string header;
    std::vector<std::string> signal_keys;
};

// Collects the popup for a condition (the row's permission signal), a column or a permission
// (the column's contacts, normally open first) or a same-name column (every candidate's
// contacts). Any other component, or none, gives no popup.
ilk_signal_popup signal_popup_of(t_ref_buff& store, const std::string& key);

// The menu of a popup: the header (command 0), then, when there are signal_keys, a separator and
// one line per signal with its listing, numbered from 1.
std::vector<menu_item> signal_popup_items(t_ref_buff& store, const ilk_signal_popup& popup);

// What a cell edit did: the component to select ("" for none) and whether the configuration
// changed.
struct ilk_edit_outcome {
    std::string selected;
    bool changed = false;
};

// The cell at (column_key, condition_key), clicked with the right button or not. `edit_mark`
// carries the display's mark: 3 turns the edit into a selection; a created permission leaves
// 2 (left button, permits when off) or 1 (right button, permits when on). Out of edit mode the
// cell is only selected.
ilk_edit_outcome edit_table_cell(t_ref_buff& store, const std::string& column_key,
                                 const std::string& condition_key, bool right_button,
                                 bool edit_mode, int& edit_mark, owner_handle owner,
                                 std::int64_t now_ms);

// The control mode of a condition goes 0 -> 1 -> 2 -> 0 after the confirmation. True when it
// changed.
bool cycle_control_mode(t_ref_buff& store, const std::string& condition_key, owner_handle owner,
                        std::int64_t now_ms);

} // namespace nxkit
