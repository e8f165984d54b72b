#pragma once

#include "base/prompt.h"

#include <functional>
#include <string>
#include <vector>

namespace nxkit {

class t_element;
class t_ref_buff;
class t_struct_vl;

// One unnumbered line of an interlock's extra condition, with its check.
struct condition_line {
    std::string text;
    bool checked = false;
};

// The condition lines of an interlock's extra condition: the part after its first "and",
// "and" as "И\t", " !" as "НЕ ", every signal as "включен - сигнал <description>" on a line of
// its own, "НЕ включен" as "отключен". Only whole signal identifiers are replaced, so s1_2_1
// never eats the front of s1_2_10. Empty when the condition uses fewer than two signals.
std::vector<condition_line> condition_lines(t_ref_buff& store, const std::string& condition);

// What a chosen menu line asks of the scheme: the interlock to highlight and what to mark.
struct menu_choice {
    std::string interlock;
    std::string mark;
};

// The element menu of an element: one walk over its descendants. With `chosen` 0 it builds
// the items (and asks the dispatcher question of a t_el_disp rule at once, never on a detached
// copy, whose menu offers no dispatcher command); with `chosen` > 0
// it finds that item, opens manual input for a signal item through `manual_input` and returns
// what to highlight and mark.
class element_menu_walk {
public:
    element_menu_walk(t_ref_buff& store, t_element& element) : store_(store), element_(element) {}

    std::vector<menu_item> build(owner_handle owner);
    menu_choice run(int chosen, const std::function<void(t_struct_vl&)>& manual_input);

private:
    t_ref_buff& store_;
    t_element& element_;
};

// The command of the element menu's last line "График", beyond any numbered line.
inline constexpr int element_trend_command = 1000000;

// The signal keys of the telemeasurements and telesignals the element's rules use (switching
// conditions, expressions, the dispatcher's signal), each once, in the order of the rules:
// what "График" of the element menu shows.
std::vector<std::string> element_trend_signals(t_ref_buff& store, t_element& element);

} // namespace nxkit
