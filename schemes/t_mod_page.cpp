#include "schemes/t_mod_page.h"

#include "base/nx_xml_writer.h"
#include "config/ref_types.h"
#include "schemes/t_schema_root.h"

namespace nxkit {

t_mod_page::t_mod_page(t_ref_buff& store) : t_rtid(store, tp_mod_page) {
    set_flag(true, flag_no_delete);
}

t_mod_page::~t_mod_page() {
    t_schema_root::mark_page_list(store());
}

void t_mod_page::on_start(const nx_xml_element& element) {
    t_rtid::on_start(element);
    if (element.name != "ref")
        return;
    page_title_ = element.attr("disp");
    page_id_ = element.attr("key");
}

bool t_mod_page::set_parameter(int index, const std::string& text) {
    if (index != 2)
        return t_rtid::set_parameter(index, text);
    page_title_ = text;
    return true;
}

bool t_mod_page::get_parameter(int index, std::string& value, std::string& name) {
    if (index != 2)
        return t_rtid::get_parameter(index, value, name);
    name = "Заголовок";
    value = page_title_;
    return true;
}

int t_mod_page::parameter_editor(int index, choice_list& choices) {
    if (index == 2)
        return editor_read_only;
    return t_rtid::parameter_editor(index, choices);
}

std::string t_mod_page::display_name() {
    return title().empty() ? page_title_ : page_title_ + " - " + title();
}

void t_mod_page::tree_images(int& icon, int& overlay, int& state) {
    t_rtid::tree_images(icon, overlay, state);
    icon = 1421;
}

void t_mod_page::init() {
    t_schema_root::mark_page_list(store());
    t_rtid::init();
}

void t_mod_page::write(nx_xml_writer& writer) {
    t_rtid::write(writer);
    writer.attribute("disp", xml_escape(page_title_));
    writer.attribute("key", xml_escape(page_id_));
}

} // namespace nxkit
