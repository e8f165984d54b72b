#pragma once

#include "base/prompt.h"

#include <string>
#include <vector>

namespace nxkit {

class t_ref;

// Command numbers of the editor's menus.
namespace editor_cmd {
inline constexpr int remove = 3;
inline constexpr int remove_following = 4;
inline constexpr int active = 5;
inline constexpr int active_all = 6;
inline constexpr int copy = 7;
inline constexpr int paste = 8;
inline constexpr int trend = 9;              // "График" of a telemeasurement or telesignal
inline constexpr int component_command = 10; // + the component's command number
// The node menu's submenus: one component of a type, and a count of components of a type.
inline constexpr int add_type = 10000;   // + the type code
inline constexpr int add_count = 100000; // + count * 1000 + the type code

// The multi-selection menu.
inline constexpr int selection_delete = 1;
inline constexpr int copy_names = 4;
inline constexpr int copy_values = 5;

// The grid row menu.
inline constexpr int repeat = 1;
inline constexpr int repeat_step_1 = 2;     // text rows; choice rows: every second sibling
inline constexpr int repeat_step = 100;     // + the step, 2 to 30
inline constexpr int paste_line = 200;      // + the line's index
inline constexpr int paste_line_skip = 300; // + the step of parameters, 2 to 30
inline constexpr int insert_signal_key = 400;
inline constexpr int insert_signal_title = 401;
inline constexpr int select_signal = 500; // + the index of the used signal
} // namespace editor_cmd

// The command of adding `count` components of `type` (one: the type submenu's item).
int add_command(int type, int count);
// What an add command asks for: the type and the count (0, 0 for other commands).
void add_command_parts(int command, int& type, int& count);

// The node menu of a component; `can_paste` says whether the clipboard holds components it
// accepts. With `trend`, a telemeasurement or a telesignal also offers "График".
std::vector<menu_item> node_menu(t_ref& component, bool can_paste, bool trend = false);

// Whether a component can be drawn in the trend window: a telemeasurement (a line) or a
// telesignal (a step line).
bool offers_trend(const t_ref* component);

// The node menu's "Добавить..." and "Добавить несколько..." are submenus: the type submenu
// (several child types) and the count submenu, whose counts lead to the type submenu.

// The type submenu: the child types by long name, the ones that may not be added greyed;
// each adds `count` components of its type.
std::vector<menu_item> type_menu(t_ref& component, int count = 1);

// The count submenu: the disabled title "Количество:" and the counts 2 to 256; with several
// child types each count opens the type submenu.
std::vector<menu_item> count_menu(t_ref& component);

// The multi-selection menu for the selected siblings.
std::vector<menu_item> selection_menu_items(const std::vector<t_ref*>& selected);

// The clipboard text cut into lines: at every CR, LF and TAB, pieces trimmed, empty ones
// dropped.
std::vector<std::string> clipboard_lines(const std::string& text);

// The items of the "Вставить из буфера обмена строки" submenu: the first 31 lines (longer
// than 50 characters cut to 50 and "..."), then "и т.д." when there are more.
std::vector<menu_item> line_items(const std::vector<std::string>& lines);

// What the grid row menu may offer besides the repeat items.
struct row_menu_context {
    std::vector<std::string> clipboard_lines;
    std::string signal_key;                // of the structure tree's current element ("" none)
    std::string signal_title;              // of the same
    std::vector<std::string> used_signals; // one-line listings of the signals the text uses
};

// The grid row menu for a row of `kind` (only kinds 1 and 2 have one; empty otherwise).
std::vector<menu_item> row_menu(int kind, const row_menu_context& context);

} // namespace nxkit
