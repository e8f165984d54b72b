#include "interlock/t_ilk_or.h"

#include "base/nx_xml_writer.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_common.h"
#include "interlock/ilk_state.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_tu.h"
#include "structure/choices.h"

namespace nxkit {

t_ilk_or::t_ilk_or(t_ref_buff& store) : t_ref(store, tp_ilk_or), state_(ilk_state::of(store)) {}

t_ilk_or::~t_ilk_or() {
    mark_interlock_changed(store());
}

const choice_list& t_ilk_or::mode_choices() {
    static const choice_list list{{"Местное", mode_local},
                                  {"Дистанционное", mode_remote},
                                  {"Ручное(без таймера)", mode_manual}};
    return list;
}

void t_ilk_or::on_start(const nx_xml_element& element) {
    t_ref::on_start(element);
    if (element.name == "ref")
        control_mode_ = element.attr_int("control");
}

bool t_ilk_or::set_parameter(int index, const std::string& text) {
    if (index != 1)
        return t_ref::set_parameter(index, text);
    control_mode_ = choice_or_fallback(mode_choices(), text, control_mode_);
    return true;
}

bool t_ilk_or::get_parameter(int index, std::string& value, std::string& name) {
    if (index != 1)
        return t_ref::get_parameter(index, value, name);
    name = "Управление";
    value = choice_text(mode_choices(), control_mode_);
    return true;
}

int t_ilk_or::parameter_editor(int index, choice_list& choices) {
    if (index != 1)
        return t_ref::parameter_editor(index, choices);
    choices = mode_choices();
    return editor_choice_only;
}

std::string t_ilk_or::display_name() {
    return t_ref::display_name() + " - " + choice_text(mode_choices(), control_mode_);
}

void t_ilk_or::tree_images(int& icon, int& overlay, int& state) {
    icon = 1449;
    overlay = permits() ? icon_permitted : icon_forbidden;
    state = ilk_state_index(*this);
}

void t_ilk_or::init() {
    // The first condition of a row stays, so every row keeps one.
    std::vector<t_ref*> siblings = store().refs().children(parent_key(key()));
    if (!siblings.empty() && siblings.front() == this && row() != nullptr)
        set_flag(true, flag_no_delete);
    direction_ = direction_none;
    mark_interlock_changed(store());
    t_ref::init();
}

void t_ilk_or::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    writer.attribute("control", std::to_string(control_mode_));
}

void t_ilk_or::link(t_ref_buff&) {
    note_linked_key(*this, linked_key_);
    set_flag(true, flag_linked);
    direction_ = direction_none;
    // Tables are rebuilt after every move and deletion, also of children of other classes.
    permissions_known_ = false;
    // A locked permission is never linked, yet it still makes its condition one for switching
    // its own apparatus, as its init did.
    for (t_ref* child : store().refs().children(key()))
        if (auto* permission = dynamic_cast<t_ilk_and*>(child))
            if (permission->has_flag(flag_locked))
                permission->relink();
}

t_ilk_tu* t_ilk_or::row() const {
    return dynamic_cast<t_ilk_tu*>(parent());
}

bool t_ilk_or::permits() {
    evaluate();
    return permitted_;
}

void t_ilk_or::evaluate() {
    // Only what the last rebuild registered hears of its inputs' changes: one deactivated
    // (or under a deactivated parent) is evaluated on every read.
    if (has_flag(flag_evaluated) && has_flag(flag_linked))
        return;
    set_flag(true, flag_evaluated);
    const std::vector<t_ilk_and*>& list = permissions();
    // Only active permissions count, as in the export: a condition with none never permits,
    // whatever else it holds.
    std::vector<t_ilk_and*> active;
    active.reserve(list.size());
    for (t_ilk_and* permission : list)
        if (permission->active())
            active.push_back(permission);
    permitted_ = !active.empty();
    bool control = permitted_;
    bool defined = true;
    bool manual = false;
    bool invalid = false;
    for (t_ilk_and* permission : active) {
        // Every one is refreshed, also after one failed: their quality counts, and a quality
        // left from an earlier pass (or never computed) would show a state that depends on
        // the history of the screen rather than on the signals.
        bool permits = permission->permits();
        permitted_ = permitted_ && permits;
        control = control && permission->has_flag(flag_control);
        defined = defined && permission->has_flag(flag_defined);
        manual = manual || permission->has_flag(flag_manual);
        invalid = invalid || permission->has_flag(flag_invalid);
    }
    set_flag(control, flag_control);
    set_flag(defined, flag_defined);
    set_flag(manual, flag_manual);
    set_flag(invalid, flag_invalid);
}

const std::vector<t_ilk_and*>& t_ilk_or::permissions() {
    if (permissions_known_ && permissions_edits_ == state_.edits)
        return permissions_;
    std::vector<t_ref*> children = store().refs().children(key());
    permissions_.clear();
    for (t_ref* child : children)
        if (auto* permission = dynamic_cast<t_ilk_and*>(child))
            permissions_.push_back(permission);
    permissions_known_ = true;
    permissions_edits_ = state_.edits;
    return permissions_;
}

} // namespace nxkit
