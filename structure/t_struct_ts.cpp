#include "structure/t_struct_ts.h"

#include "base/nx_xml_writer.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/choices.h"
#include "structure/i_manual_input.h"
#include "structure/i_signal_source.h"

namespace nxkit {

t_struct_ts::t_struct_ts(t_ref_buff& store, i_manual_input* manual_input)
    : t_struct_vl(store, tp_struct_ts), manual_input_(manual_input) {}

const char* t_struct_ts::contact_caption() {
    return "Контакт";
}

const choice_list& t_struct_ts::contact_choices() {
    static const choice_list choices{{"НормальноРазомкнутый(нр)", 0},
                                     {"НормальноЗамкнутый(нз)", 1}};
    return choices;
}

const char* t_struct_ts::manual_input_command() {
    return "Ручной ввод значения";
}

void t_struct_ts::on_start(const nx_xml_element& element) {
    t_struct_vl::on_start(element);
    if (element.name == "ref")
        set_flag(element.attr_int("ct") != 0, flag_normally_closed);
}

bool t_struct_ts::set_parameter(int index, const std::string& text) {
    if (index == 3) {
        // A text outside the list yields -1, which is not 0: normally closed.
        set_flag(choice_value(contact_choices(), text) != 0, flag_normally_closed);
        return true;
    }
    return t_struct_vl::set_parameter(index, text);
}

bool t_struct_ts::get_parameter(int index, std::string& value, std::string& name) {
    if (index == 3) {
        name = contact_caption();
        value = choice_text(contact_choices(), normally_closed() ? 1 : 0);
        return true;
    }
    return t_struct_vl::get_parameter(index, value, name);
}

int t_struct_ts::parameter_editor(int index, choice_list& choices) {
    if (index == 3) {
        choices = contact_choices();
        return editor_choice_only;
    }
    return t_struct_vl::parameter_editor(index, choices);
}

std::string t_struct_ts::display_name() {
    refresh();
    std::string contact = normally_closed() ? " нз" : "нр ";
    std::string state =
        std::string("[") + (control() && defined() ? "" : "?") + (value_ != 0 ? "1" : "0") + "]";
    return contact + state + " " + struct_text();
}

void t_struct_ts::write(nx_xml_writer& writer) {
    t_struct::write(writer);
    if (normally_closed())
        writer.attribute("ct", "1");
    write_expression(writer);
}

int t_struct_ts::command(bool query, int index, std::string& arg) {
    if (index != 0)
        return 0;
    if (query) {
        // Offered whether or not the signal is locked.
        arg = manual_input_command();
        return 1;
    }
    if (manual_input_ != nullptr)
        manual_input_->open_manual_input(*this);
    // A manual value is not part of the configuration: nothing to show again or to save.
    return 0;
}

void t_struct_ts::pull_from_device(const std::string& object_key) {
    auto* source = dynamic_cast<i_signal_source*>(store().get(object_key));
    if (source == nullptr) {
        set_flag(false, flag_control | flag_defined);
        return;
    }
    value_ = source->current_value();
    time_ = source->time_stamp();
    set_flag(source->control(), flag_control);
    set_flag(source->defined(), flag_defined);
    set_flag(source->invalid(), flag_invalid);
}

bool t_struct_ts::is_on() {
    refresh();
    return value_ != 0;
}

int t_struct_ts::value_icon() const {
    return value_ != 0 ? 1409 : 1410;
}

} // namespace nxkit
