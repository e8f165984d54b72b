#include "schemes/t_el_onof.h"

#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/t_element.h"
#include "schemes/t_schema_root.h"

namespace nxkit {

namespace {

// A template of "#" alone changes nothing: it is kept empty.
std::string template_text(const std::string& text) {
    std::string t = trim(text, ' ');
    return t == "#" ? std::string() : t;
}

} // namespace

t_el_onof::t_el_onof(t_ref_buff& store) : t_el(store, tp_el_onof) {}

t_el_onof::~t_el_onof() {
    // The projection finds apparatus by their on/off rules: one gone, it must run again.
    // (Its own label rules come and go with every projection.)
    if (!has_flag(flag_transient))
        t_schema_root::mark_element_gone(store());
}

void t_el_onof::on_start(const nx_xml_element& element) {
    t_el::on_start(element);
    if (element.name != "ref")
        return;
    property_ = trim(element.attr("par"), ' ');
    on_value_ = trim(element.attr("on"), ' ');
    off_value_ = trim(element.attr("of"), ' ');
    template_ = template_text(element.attr("tl"));
}

void t_el_onof::on_text(const nx_xml_element& element) {
    if (element.name == "on")
        on_condition_ = trim(element.text, ' ');
    else if (element.name == "of")
        off_condition_ = trim(element.text, ' ');
}

bool t_el_onof::set_parameter(int index, const std::string& text) {
    std::string value = trim(text, ' ');
    switch (index) {
    case 1:
        on_condition_ = value;
        return true;
    case 2:
        off_condition_ = value;
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
    case 6:
        template_ = template_text(value);
        return true;
    default:
        return t_el::set_parameter(index, text);
    }
}

bool t_el_onof::get_parameter(int index, std::string& value, std::string& name) {
    switch (index) {
    case 1:
        name = "Условие ВКЛ. (НормальноРазомкнутый)";
        value = on_condition_;
        return true;
    case 2:
        name = "Условие ОТКЛ.(НормальноЗамкнутый)";
        value = off_condition_;
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
    case 6:
        name = "Шаблон";
        value = template_;
        return true;
    default:
        return t_el::get_parameter(index, value, name);
    }
}

int t_el_onof::parameter_editor(int index, choice_list& choices) {
    switch (index) {
    case 3:
        return property_editor(choices);
    case 4:
    case 5:
        return value_editor(property_, choices);
    case 6:
        return editor_read_only;
    default:
        return t_el::parameter_editor(index, choices);
    }
}

std::string t_el_onof::display_name() {
    return property_ + " (" + on_value_ + "/" + off_value_ + ") - " + t_el::display_name();
}

void t_el_onof::tree_images(int& icon, int& overlay, int& state) {
    t_el::tree_images(icon, overlay, state);
    icon = 1433;
}

void t_el_onof::init() {
    t_el::init();
    if (!has_flag(flag_locked) && owner()->switching_rule() == nullptr)
        owner()->set_switching_rule(this);
    reconcile_with_type(property_, &on_value_, &off_value_);
}

void t_el_onof::write(nx_xml_writer& writer) {
    t_el::write(writer);
    writer.attribute("par", xml_escape(property_));
    writer.attribute("on", xml_escape(on_value_));
    writer.attribute("of", xml_escape(off_value_));
    if (!template_.empty())
        writer.attribute("tl", xml_escape(template_));
    write_text_element(writer, "on", on_condition_);
    write_text_element(writer, "of", off_condition_);
}

void t_el_onof::evaluate() {
    bool has_on = !on_condition_.empty();
    bool has_off = !off_condition_.empty();
    set_flag(has_on || has_off, flag_control);
    set_flag(true, flag_defined);
    set_flag(false, flag_invalid | flag_manual | flag_unacknowledged);
    // A condition that cannot be evaluated counts as 0.
    double on_result = 0;
    double off_result = 0;
    if (has_on)
        store().calc(on_condition_, *this, on_result);
    if (has_off)
        store().calc(off_condition_, *this, off_result);
    bool on = on_result != 0;
    bool off = off_result != 0;
    if (!has_off)
        off = !on;
    if (!has_on)
        on = !off;
    on_ = on;
    // Both contacts closed or both open: the position is not known.
    if (on == off)
        set_flag(false, flag_defined);
    // A projected interlock label says "permitted" only from signals that are under control,
    // defined and valid (manual input counts as valid).
    if (has_flag(flag_read_only) && has_flag(flag_transient) &&
        !(has_flag(flag_control) && has_flag(flag_defined) && !has_flag(flag_invalid)))
        on_ = false;
}

void t_el_onof::link() {
    watch(on_condition_);
    watch(off_condition_);
}

void t_el_onof::apply(property_map& properties, style_map&) {
    const std::string& value = on_ ? on_value_ : off_value_;
    if (!value.empty() && !property_.empty())
        properties[property_] = value;
}

} // namespace nxkit
