#include "interlock/t_ilk_nodes.h"

#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_common.h"
#include "interlock/ilk_state.h"
#include "interlock/t_ilk_vts.h"
#include "structure/choices.h"

namespace nxkit {

namespace {

// The format always names the row: a text without "#" gets one in front.
std::string with_mark(const std::string& text) {
    return text.find('#') == std::string::npos ? "#" + text : text;
}

std::string replace_marks(const std::string& format, const std::string& name) {
    std::string text;
    for (char ch : format) {
        if (ch == '#')
            text += name;
        else
            text += ch;
    }
    return text;
}

} // namespace

// ---------------------------------------------------------------- nodes

t_ilk_tss::t_ilk_tss(t_ref_buff& store) : t_ref(store, tp_ilk_tss) {
    set_flag(true, flag_no_delete | flag_active_fixed);
}

t_ilk_tss::~t_ilk_tss() {
    mark_interlock_changed(store());
}

void t_ilk_tss::tree_images(int& icon, int& overlay, int& state) {
    t_ref::tree_images(icon, overlay, state);
    icon = 1420;
    overlay = icon_node_overlay;
}

void t_ilk_tss::init() {
    mark_interlock_changed(store());
    t_ref::init();
}

t_ilk_tus::t_ilk_tus(t_ref_buff& store) : t_ref(store, tp_ilk_tus) {
    set_flag(true, flag_no_delete | flag_active_fixed);
}

t_ilk_tus::~t_ilk_tus() {
    mark_interlock_changed(store());
}

void t_ilk_tus::tree_images(int& icon, int& overlay, int& state) {
    t_ref::tree_images(icon, overlay, state);
    icon = 1447;
    overlay = icon_node_overlay;
}

void t_ilk_tus::init() {
    mark_interlock_changed(store());
    t_ref::init();
}

// ---------------------------------------------------------------- t_ilk_nmtss

t_ilk_nmtss::t_ilk_nmtss(t_ref_buff& store) : t_ref(store, tp_ilk_nmtss) {}

t_ilk_nmtss::~t_ilk_nmtss() {
    mark_interlock_changed(store());
}

void t_ilk_nmtss::on_start(const nx_xml_element& element) {
    t_ref::on_start(element);
    if (element.name != "ref")
        return;
    name_format_ = with_mark(element.attr("frm"));
    background_ = element.attr_int("clr");
}

bool t_ilk_nmtss::set_parameter(int index, const std::string& text) {
    switch (index) {
    case 1:
        name_format_ = with_mark(trim(text, ' '));
        return true;
    case 2:
        background_ = choice_or_fallback(background_choices(), text, background_);
        return true;
    default:
        return t_ref::set_parameter(index, text);
    }
}

bool t_ilk_nmtss::get_parameter(int index, std::string& value, std::string& name) {
    switch (index) {
    case 1:
        name = "Формат";
        value = name_format_;
        return true;
    case 2:
        name = "Цвет фона";
        value = choice_text(background_choices(), background_);
        return true;
    default:
        return t_ref::get_parameter(index, value, name);
    }
}

int t_ilk_nmtss::parameter_editor(int index, choice_list& choices) {
    if (index == 1 && has_flag(flag_no_delete))
        return editor_read_only;
    if (index == 2) {
        choices = background_choices();
        return editor_choice_only;
    }
    return t_ref::parameter_editor(index, choices);
}

void t_ilk_nmtss::tree_images(int& icon, int& overlay, int& state) {
    t_ref::tree_images(icon, overlay, state);
    icon = 1454;
    overlay = icon_node_overlay;
}

void t_ilk_nmtss::init() {
    mark_interlock_changed(store());
    t_ref::init();
}

void t_ilk_nmtss::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    writer.attribute("frm", xml_escape(name_format_));
    if (background_ != 0)
        writer.attribute("clr", std::to_string(background_));
}

t_ilk_nmts* t_ilk_nmtss::candidate_for(const std::string& row_name) {
    std::string wanted = replace_marks(name_format_, row_name);
    for (t_ref* child : store().refs().children(key())) {
        auto* candidate = dynamic_cast<t_ilk_nmts*>(child);
        if (candidate == nullptr)
            continue;
        if (candidate->disp_name() == wanted)
            return candidate;
        const std::string& part = candidate->name_part();
        if (!part.empty() && wanted.find(part) != std::string::npos)
            return candidate;
    }
    return nullptr;
}

} // namespace nxkit
