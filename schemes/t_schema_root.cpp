#include "schemes/t_schema_root.h"

#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/t_schema_modus50.h"

#include <atomic>
#include <charconv>

namespace nxkit {

namespace {

// One switching time for the whole process, as the schemes' root defines it.
std::atomic<std::uint16_t>& switching_time() {
    static std::atomic<std::uint16_t> seconds{15};
    return seconds;
}

} // namespace

std::uint16_t clamp_tmoo(unsigned value, bool default_allowed) {
    if (value == 0)
        return default_allowed ? 15 : 0;
    if (value < 5)
        return 5;
    if (value > 100)
        return 100;
    return static_cast<std::uint16_t>(value);
}

t_schema_root::t_schema_root(t_ref_buff& store) : t_ref_root(store, tp_schema_root) {
    set_title(type_name(tp_schema_root));
    set_flag(true, flag_no_delete);
    set_tmoo(15);
}

std::uint16_t t_schema_root::tmoo() {
    return switching_time().load();
}

void t_schema_root::set_tmoo(std::uint16_t seconds) {
    switching_time().store(seconds);
}

namespace {

t_schema_root* root_of(t_ref_buff& store) {
    return dynamic_cast<t_schema_root*>(store.get("S"));
}

} // namespace

void t_schema_root::mark_page_list(t_ref_buff& store) {
    if (t_schema_root* root = root_of(store))
        root->page_list_mark_ = true;
}

bool t_schema_root::page_list_marked(t_ref_buff& store) {
    t_schema_root* root = root_of(store);
    return root == nullptr || root->page_list_mark_;
}

void t_schema_root::clear_page_list_mark(t_ref_buff& store) {
    if (t_schema_root* root = root_of(store))
        root->page_list_mark_ = false;
}

void t_schema_root::mark_element_gone(t_ref_buff& store) {
    if (t_schema_root* root = root_of(store))
        root->element_gone_mark_ = true;
}

bool t_schema_root::take_element_gone_mark(t_ref_buff& store) {
    t_schema_root* root = root_of(store);
    if (root == nullptr)
        return false;
    bool marked = root->element_gone_mark_;
    root->element_gone_mark_ = false;
    return marked;
}

void t_schema_root::on_start(const nx_xml_element& element) {
    t_ref_root::on_start(element);
    if (element.name != "ref")
        return;
    int value = element.attr_int("tmoo");
    set_tmoo(clamp_tmoo(value < 0 ? 0u : static_cast<unsigned>(value), true));
}

bool t_schema_root::set_parameter(int index, const std::string& text) {
    if (index != 0)
        return false;
    std::string digits = trim(text, ' ');
    unsigned value = 0;
    auto res = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (res.ec != std::errc())
        value = 0;
    set_tmoo(clamp_tmoo(value, true));
    return true;
}

bool t_schema_root::get_parameter(int index, std::string& value, std::string& name) {
    if (index != 0)
        return false;
    name = "t переключения,с";
    value = std::to_string(tmoo());
    return true;
}

void t_schema_root::tree_images(int& icon, int& overlay, int& state) {
    t_ref_root::tree_images(icon, overlay, state);
    icon = 1523;
}

void t_schema_root::write(nx_xml_writer& writer) {
    t_ref_root::write(writer);
    writer.attribute("tmoo", std::to_string(tmoo()));
}

int t_schema_root::command(bool query, int index, std::string& arg) {
    if (index != 0)
        return 0;
    if (query) {
        arg = "Создать схему…";
        return 1;
    }
    return create_scheme(*this).empty() ? 0 : 1;
}

} // namespace nxkit
