#include "schemes/t_schema.h"

#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"

namespace nxkit {

t_schema::t_schema(t_ref_buff& store, int type) : t_ref(store, type) {}

void t_schema::on_start(const nx_xml_element& element) {
    t_ref::on_start(element);
    if (element.name == "ref")
        name_ = element.attr("name");
}

bool t_schema::set_parameter(int index, const std::string& text) {
    if (index != 1)
        return t_ref::set_parameter(index, text);
    name_ = trim(text, ' ');
    return true;
}

bool t_schema::get_parameter(int index, std::string& value, std::string& name) {
    if (index != 1)
        return t_ref::get_parameter(index, value, name);
    name = name_caption();
    value = name_;
    return true;
}

std::string t_schema::display_name() {
    if (name_.empty() && title().empty())
        return type_name(type());
    std::string separator = !name_.empty() && !title().empty() ? " - " : "";
    return name_ + separator + title();
}

void t_schema::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    writer.attribute("name", xml_escape(name_));
}

} // namespace nxkit
