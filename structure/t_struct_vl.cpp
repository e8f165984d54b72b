#include "structure/t_struct_vl.h"

#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/i_signal_source.h"

namespace nxkit {

t_struct_vl::t_struct_vl(t_ref_buff& store, int type) : t_struct(store, type) {
    set_flag(true, flag_initial);
}

const char* t_struct_vl::title_caption() {
    return "Дисп. имя";
}

const char* t_struct_vl::expression_caption() {
    return "Выражение";
}

void t_struct_vl::set_expression(const std::string& expression) {
    expression_ = expression;
    // Kept current here too, so the link rule sees them even before the next init.
    set_flag(!expression_.empty(), flag_has_expression);
    set_flag(expression_.find("self") != std::string::npos, flag_uses_self);
}

void t_struct_vl::on_text(const nx_xml_element& element) {
    if (element.name == "expr")
        set_expression(element.text);
}

bool t_struct_vl::set_parameter(int index, const std::string& text) {
    if (index == 2) {
        set_expression(trim(text, ' '));
        return true;
    }
    return t_struct::set_parameter(index, text);
}

bool t_struct_vl::get_parameter(int index, std::string& value, std::string& name) {
    if (index == 0) {
        name = title_caption();
        value = title();
        return true;
    }
    if (index == 2) {
        name = expression_caption();
        value = expression_;
        return true;
    }
    return t_struct::get_parameter(index, value, name);
}

std::string t_struct_vl::compute_signal_key() {
    std::uint16_t kp = ancestor_number(tp_struct_kp);
    std::uint16_t canal = ancestor_number(tp_struct_canal);
    if (canal == 0 || kp == 0 || element_number() == 0)
        return {};
    return key_prefix() + std::to_string(canal) + "_" + std::to_string(kp) + "_" +
           std::to_string(element_number());
}

void t_struct_vl::derive_state() {
    set_expression(expression_);
    bool out_of_service = has_flag_in_chain(flag_locked);
    set_flag(out_of_service, flag_locked_in_tree);
    if (out_of_service) {
        set_flag(false, flag_control | flag_defined);
        value_ = 0;
    }
}

void t_struct_vl::write_expression(nx_xml_writer& writer) {
    if (expression_.empty())
        return;
    // One element per line: the text stays on the line of its tag.
    writer.begin("expr");
    {
        nx_xml_pretty_guard inline_text(writer, false);
        writer.text(xml_escape(expression_));
    }
    writer.end("expr");
}

void t_struct_vl::write(nx_xml_writer& writer) {
    t_struct::write(writer);
    write_expression(writer);
}

void t_struct_vl::link(bool fed) {
    // An expression that ignores "self" alone gives the value, whatever feeds the key.
    bool expression_only = has_flag(flag_has_expression) && !has_flag(flag_uses_self);
    set_flag(fed && !expression_only, flag_linked);
}

void t_struct_vl::refresh() {
    if (has_flag(flag_locked_in_tree) || held_)
        return;
    // Cancelling all manual input clears the bit directly.
    if (!has_flag(flag_manual))
        entered_by_hand_ = false;
    if (entered_by_hand_ || has_flag(flag_forced))
        return;
    double old = value_;

    if (has_flag(flag_linked)) {
        std::string object_key = store().feeder(signal_key());
        t_ref* object = object_key.empty() ? nullptr : store().get(object_key);
        if (dynamic_cast<i_signal_source*>(object) == nullptr) {
            set_flag(false, flag_control | flag_defined | flag_linked | flag_invalid);
            value_ = 0;
        } else {
            pull_from_device(object_key);
        }
    } else {
        time_ = time_now();
        set_flag(has_flag(flag_has_expression), flag_control | flag_defined);
        // Without a link there is no invalid mark of its own; the expression's sources bring
        // theirs again.
        set_flag(false, flag_invalid);
    }

    if (!expression_.empty())
        store().calc(expression_, *this, value_);

    if (has_flag(flag_initial)) {
        // The first value under control is never reported as a change.
        if (has_flag(flag_control))
            set_flag(false, flag_initial);
    } else if (value_ != old) {
        set_flag(true, flag_unacknowledged | flag_change_pending);
    }
}

void t_struct_vl::set_manual(double value, bool manual) {
    set_flag(manual, flag_manual);
    set_flag(true, flag_manual_pending);
    entered_by_hand_ = false;
    if (manual) {
        value_ = value;
        // A value forced from a scheme element is not shown as manual.
        if (has_flag(flag_forced))
            set_flag(false, flag_manual);
        entered_by_hand_ = has_flag(flag_manual);
        set_flag(true, flag_defined | flag_control);
        set_flag(false, flag_invalid);
        time_ = time_now();
    }
    store().mark_changed(key());
}

void t_struct_vl::hold(double value, const held_quality& quality) {
    held_ = true;
    value_ = value;
    set_flag(quality.control, flag_control);
    set_flag(quality.defined, flag_defined);
    set_flag(quality.invalid, flag_invalid);
    set_flag(quality.manual, flag_manual);
    // A held value is no news to acknowledge.
    set_flag(false, flag_initial | flag_unacknowledged | flag_change_pending);
    time_ = time_now();
    store().mark_changed(key());
}

void t_struct_vl::release_hold() {
    held_ = false;
    store().mark_changed(key());
}

std::string t_struct_vl::value_text(int form) {
    refresh();
    std::string sep = state_text(signal_text::separator, form);
    std::string s;
    if (!control()) {
        s = state_text(signal_text::no_control, form);
    } else if (!defined()) {
        s = state_text(signal_text::undefined, form);
    } else {
        if (value_ == 1)
            s = state_text(signal_text::on, form);
        else if (value_ == 0)
            s = state_text(signal_text::off, form);
        else
            s = format_signal_number(value_);
        if (invalid())
            s += sep + state_text(signal_text::invalid, form);
    }
    s += sep + state_text(manual() ? signal_text::manual : signal_text::automatic, form);
    return state_text(normally_closed() ? signal_text::normally_closed : signal_text::normally_open,
                      form) +
           sep + s;
}

std::string t_struct_vl::listing_text() {
    std::string state = value_text(form_short);
    return "[ " + state + " ]\t" + title() + (title().empty() ? "" : " - ") + "(" + signal_key() +
           ") " + type_name(type());
}

void t_struct_vl::tree_images(int& icon, int& overlay, int& state) {
    refresh();
    t_ref::tree_images(icon, overlay, state);
    icon = value_icon();
    bool self = has_flag(flag_uses_self);
    if (linked())
        overlay = self ? 1415 : 1413;
    else if (has_flag(flag_has_expression))
        overlay = self ? 1401 : 1414;
    else
        overlay = forced() ? 1446 : 1401;
    if (state != 0)
        return;
    if (!control())
        state = 2;
    else if (!defined())
        state = 3;
    else if (invalid())
        state = 7;
    else if (unacknowledged())
        state = 5;
    else if (manual())
        state = 6;
}

} // namespace nxkit
