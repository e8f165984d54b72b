#include "schemes/t_el_expr.h"

#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/signal_texts.h"

namespace nxkit {

t_el_expr::t_el_expr(t_ref_buff& store) : t_el(store, tp_el_expr) {}

void t_el_expr::on_start(const nx_xml_element& element) {
    t_el::on_start(element);
    if (element.name != "ref")
        return;
    property_ = trim(element.attr("par"), ' ');
    format_ = element.attr("frm");
    if (format_.empty())
        format_ = "#";
}

void t_el_expr::on_text(const nx_xml_element& element) {
    if (element.name == "expr")
        expression_ = trim(element.text, ' ');
}

bool t_el_expr::set_parameter(int index, const std::string& text) {
    switch (index) {
    case 1:
        expression_ = trim(text, ' ');
        return true;
    case 2:
        property_ = trim(text, ' ');
        return true;
    case 3:
        format_ = text.empty() ? "#" : text;
        return true;
    default:
        return t_el::set_parameter(index, text);
    }
}

bool t_el_expr::get_parameter(int index, std::string& value, std::string& name) {
    switch (index) {
    case 1:
        name = "Выражение";
        value = expression_;
        return true;
    case 2:
        name = "Свойство";
        value = property_;
        return true;
    case 3:
        name = "Формат";
        value = format_;
        return true;
    default:
        return t_el::get_parameter(index, value, name);
    }
}

int t_el_expr::parameter_editor(int index, choice_list& choices) {
    if (index == 2)
        return property_editor(choices);
    return t_el::parameter_editor(index, choices);
}

std::string t_el_expr::display_name() {
    return property_ + " (" + format_ + ") - " + t_el::display_name();
}

void t_el_expr::tree_images(int& icon, int& overlay, int& state) {
    t_el::tree_images(icon, overlay, state);
    icon = expression_.empty() ? 1434 : 1414;
}

void t_el_expr::init() {
    t_el::init();
    // A fixed text goes out again after every init.
    set_flag(false, flag_evaluated);
    reconcile_with_type(property_, nullptr, nullptr);
}

void t_el_expr::write(nx_xml_writer& writer) {
    t_el::write(writer);
    writer.attribute("par", xml_escape(property_));
    writer.attribute("frm", xml_escape(format_));
    write_text_element(writer, "expr", expression_);
}

void t_el_expr::evaluate() {
    set_flag(true, flag_control | flag_defined);
    set_flag(false, flag_invalid);
    // A value that cannot be computed stays as it was.
    store().calc(expression_, *this, value_);
}

void t_el_expr::link() {
    watch(expression_);
}

void t_el_expr::apply(property_map& properties, style_map&) {
    if (has_flag(flag_evaluated))
        return;
    std::string text = format_;
    auto mark = text.find('#');
    if (mark == std::string::npos)
        set_flag(true, flag_evaluated);
    else
        text.replace(mark, 1, format_signal_number(value_));
    if (!property_.empty())
        properties[property_] = text;
}

} // namespace nxkit
