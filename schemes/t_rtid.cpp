#include "schemes/t_rtid.h"

#include "base/nx_xml_writer.h"
#include "base/text.h"

#include <charconv>

namespace nxkit {

t_rtid::t_rtid(t_ref_buff& store, int type) : t_ref(store, type) {}

void t_rtid::on_start(const nx_xml_element& element) {
    t_ref::on_start(element);
    if (element.name == "ref")
        rtid_ = element.attr_int("rtid");
}

bool t_rtid::set_parameter(int index, const std::string& text) {
    if (index != 1)
        return t_ref::set_parameter(index, text);
    std::string digits = trim(text, ' ');
    int value = 0;
    auto res = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    rtid_ = res.ec == std::errc() ? value : 0;
    return true;
}

bool t_rtid::get_parameter(int index, std::string& value, std::string& name) {
    if (index != 1)
        return t_ref::get_parameter(index, value, name);
    name = "Счетчик (RTID)";
    value = std::to_string(rtid_);
    return true;
}

int t_rtid::parameter_editor(int index, choice_list& choices) {
    if (index == 1)
        return editor_read_only;
    return t_ref::parameter_editor(index, choices);
}

void t_rtid::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    writer.attribute("rtid", std::to_string(rtid_));
}

} // namespace nxkit
