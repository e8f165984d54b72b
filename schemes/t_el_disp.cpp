#include "schemes/t_el_disp.h"

#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/t_struct_ts.h"

namespace nxkit {

t_el_disp::t_el_disp(t_ref_buff& store) : t_el(store, tp_el_disp) {}

void t_el_disp::on_start(const nx_xml_element& element) {
    t_el::on_start(element);
    if (element.name != "ref")
        return;
    signal_key_ = trim(element.attr("ts"), ' ');
    property_ = trim(element.attr("par"), ' ');
    on_value_ = trim(element.attr("on"), ' ');
    off_value_ = trim(element.attr("of"), ' ');
}

void t_el_disp::on_text(const nx_xml_element& element) {
    if (element.name == "of")
        reset_condition_ = trim(element.text, ' ');
}

bool t_el_disp::set_parameter(int index, const std::string& text) {
    std::string value = trim(text, ' ');
    switch (index) {
    case 1:
        signal_key_ = value;
        return true;
    case 2:
        reset_condition_ = value;
        return true;
    case 3:
        property_ = value;
        return true;
    case 4:
        on_value_ = value;
        return true;
    case 5:
        off_value_ = value;
        return true;
    default:
        return t_el::set_parameter(index, text);
    }
}

bool t_el_disp::get_parameter(int index, std::string& value, std::string& name) {
    switch (index) {
    case 1:
        name = "Сигнал";
        value = signal_key_;
        return true;
    case 2:
        name = "Отключить если";
        value = reset_condition_;
        return true;
    case 3:
        name = "Свойство";
        value = property_;
        return true;
    case 4:
        name = "Значение ВКЛ.";
        value = on_value_;
        return true;
    case 5:
        name = "Значение ОТКЛ.";
        value = off_value_;
        return true;
    default:
        return t_el::get_parameter(index, value, name);
    }
}

int t_el_disp::parameter_editor(int index, choice_list& choices) {
    switch (index) {
    case 3:
        return property_editor(choices);
    case 4:
    case 5:
        return value_editor(property_, choices);
    default:
        return t_el::parameter_editor(index, choices);
    }
}

std::string t_el_disp::display_name() {
    return property_ + " (" + on_value_ + "/" + off_value_ + ") - " + t_el::display_name();
}

void t_el_disp::tree_images(int& icon, int& overlay, int& state) {
    t_el::tree_images(icon, overlay, state);
    icon = 1446;
}

void t_el_disp::init() {
    t_el::init();
    reconcile_with_type(property_, &on_value_, &off_value_);
}

void t_el_disp::write(nx_xml_writer& writer) {
    t_el::write(writer);
    writer.attribute("ts", xml_escape(signal_key_));
    writer.attribute("par", xml_escape(property_));
    writer.attribute("on", xml_escape(on_value_));
    writer.attribute("of", xml_escape(off_value_));
    write_text_element(writer, "of", reset_condition_);
}

void t_el_disp::set_commanded(bool on) {
    commanded_on_ = on;
    evaluate();
}

void t_el_disp::evaluate() {
    set_flag(!signal_key_.empty(), flag_control);
    set_flag(true, flag_defined);
    set_flag(false, flag_invalid | flag_manual | flag_unacknowledged);
    if (!reset_condition_.empty()) {
        double reset = 0;
        store().calc(reset_condition_, *this, reset);
        if (reset != 0)
            commanded_on_ = false;
    }
    std::string owner_key = store().signal_owner(signal_key_);
    auto* signal = owner_key.empty() ? nullptr : dynamic_cast<t_struct_ts*>(store().get(owner_key));
    if (signal == nullptr)
        return;
    double value = commanded_on_ ? 1 : 0;
    // Forced again only on a change: forcing marks the signal changed, which brings this rule
    // back, and an unconditional force would keep the update pass busy for ever.
    if (signal->forced() && signal->value() == value && signal->defined())
        return;
    signal->set_flag(true, flag_forced);
    signal->set_manual(value, true);
    store().mark_changed(owner_key);
}

void t_el_disp::link() {
    watch(signal_key_);
    watch(reset_condition_);
}

void t_el_disp::apply(property_map& properties, style_map&) {
    if (!property_.empty())
        properties[property_] = commanded_on_ ? on_value_ : off_value_;
}

} // namespace nxkit
