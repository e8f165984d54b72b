#pragma once

#include "config/t_ref.h"

#include <cstdint>
#include <string>

namespace nxkit {

// Overlay icons of rows, conditions and permissions: permitted or not.
inline constexpr int icon_permitted = 1450;
inline constexpr int icon_forbidden = 1451;
// A permission without column.
inline constexpr int icon_no_column = 1452;
// Nodes of the table.
inline constexpr int icon_node_overlay = 1402;

// The state image of a column, permission, condition or row: 1 locked, 2 without control,
// 3 undefined, 5 unacknowledged, 6 manual, 7 invalid, else 0. Invalid is tested last here.
int ilk_state_index(const t_ref& component);

// The colour list of "Цвет фона" (the leading blank puts "Прозрачный" first).
const choice_list& background_choices();

// The largest number a "$ILK=" line carries in a 16-bit field.
inline constexpr long ilk_u16_max = 65535;
// A decimal text as a number, as stored; empty or no number is 0. Nothing wraps here: a
// number too large for the controller is refused where it would be written.
long parse_number_text(const std::string& text);
// Empty for 0.
std::string number_text(long value);
// A value typed for a 16-bit parameter: empty is 0, otherwise digits up to 65535. Anything
// else throws nx_exception_ref_init naming the parameter and the component.
long checked_u16_parameter(const std::string& text, const std::string& caption, t_ref& component);
// The item value of a choice text, or a number typed instead; `fallback` when neither.
int choice_or_fallback(const choice_list& choices, const std::string& text, int fallback);

// The title of the structure signal whose key is `signal_key`; empty when there is none.
std::string signal_title(t_ref_buff& store, const std::string& signal_key);

// Creates a child of `type` and `title` under `parent` at the first free key, as an editor
// addition would (modified bit set), and marks it changed. Returns it.
t_ref* add_child(t_ref& parent, int type, const std::string& title);

} // namespace nxkit
