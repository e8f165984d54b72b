#include "schemes/ilk/t_ilk_onof.h"

#include "base/nx_exception.h"
#include "base/nx_xml_writer.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_common.h"
#include "interlock/t_ilk_and.h"
#include "schemes/ilk/t_ilk.h"
#include "schemes/t_element.h"
#include "schemes/t_schema_modus50.h"
#include "structure/choices.h"

namespace nxkit {

namespace {

const choice_list& state_choices() {
    static const choice_list list{{"Включен", 1}, {"Отключен", 0}};
    return list;
}

} // namespace

t_ilk_onof::t_ilk_onof(t_ref_buff& store) : t_rtid_sel(store, tp_ilk_onof) {
    set_flag(true, flag_no_delete | flag_active_fixed | flag_transient);
}

t_ilk_onof::~t_ilk_onof() {
    if (t_ilk* ilk = interlock())
        ilk->remove_blocker(this);
}

void t_ilk_onof::on_start(const nx_xml_element& element) {
    t_rtid_sel::on_start(element);
    if (element.name == "ref")
        blocks_when_on_ = element.attr_int("on") != 0;
}

bool t_ilk_onof::set_parameter(int index, const std::string& text) {
    if (index == 2) {
        blocks_when_on_ = choice_or_fallback(state_choices(), text, blocks_when_on_ ? 1 : 0) != 0;
        return true;
    }
    return t_rtid_sel::set_parameter(index, text);
}

bool t_ilk_onof::get_parameter(int index, std::string& value, std::string& name) {
    if (index == 2) {
        name = "Блокирует, когда";
        value = choice_text(state_choices(), blocks_when_on_ ? 1 : 0);
        return true;
    }
    return t_rtid_sel::get_parameter(index, value, name);
}

int t_ilk_onof::parameter_editor(int index, choice_list& choices) {
    if (index == 2) {
        // Shown with its list, but the projection alone sets it.
        choices = state_choices();
        return editor_read_only;
    }
    return t_rtid_sel::parameter_editor(index, choices);
}

std::string t_ilk_onof::missing_text() const {
    return "элемент rtid = " + std::to_string(rtid()) + " на схеме отсутствует";
}

std::string t_ilk_onof::display_name() {
    t_element* element = blocking_element();
    if (element == nullptr)
        return missing_text();
    std::string text =
        std::string(blocks_when_on_ ? "вкл" : "откл") + " " + element->display_name();
    // Its own name is the base one: the description, or the type's long name without one.
    std::string own = t_rtid_sel::display_name();
    if (!own.empty())
        text += " - " + own;
    return text;
}

std::string t_ilk_onof::explanation() {
    t_element* element = blocking_element();
    if (element == nullptr)
        return missing_text();
    std::string name;
    if (auto* permission = dynamic_cast<t_ilk_and*>(store().get(permission_id_)))
        name = permission->disp_name();
    if (name.empty())
        name = element->disp_name();
    return blocker_line(blocks_when_on_, name);
}

std::string blocker_line(bool permits_when_on, const std::string& name) {
    return std::string(permits_when_on ? "включен " : "отключен") + " - " + name;
}

void t_ilk_onof::tree_images(int& icon, int& overlay, int& state) {
    t_rtid_sel::tree_images(icon, overlay, state);
    icon = image_;
}

t_ilk* t_ilk_onof::interlock() const {
    return dynamic_cast<t_ilk*>(parent());
}

t_element* t_ilk_onof::owning_element() const {
    t_ilk* ilk = interlock();
    return ilk != nullptr ? dynamic_cast<t_element*>(ilk->parent()) : nullptr;
}

t_schema_modus50* t_ilk_onof::scheme() const {
    for (t_ref* r = parent(); r != nullptr; r = r->parent())
        if (auto* s = dynamic_cast<t_schema_modus50*>(r))
            return s;
    return nullptr;
}

t_element* t_ilk_onof::blocking_element() const {
    t_schema_modus50* s = scheme();
    if (s == nullptr)
        return nullptr;
    if (t_element* element = s->find_element(rtid()))
        return element;
    // While the scheme initialises, its counter map holds only the elements before this one.
    for (t_ref* r : store().refs().under(s->key()))
        if (auto* element = dynamic_cast<t_element*>(r);
            element != nullptr && element->rtid() == rtid())
            return element;
    return nullptr;
}

void t_ilk_onof::init() {
    t_ilk* ilk = interlock();
    t_element* owner = owning_element();
    if (ilk == nullptr || owner == nullptr)
        throw nx_exception_ref_init("Компонент '" + type_name(type()) + "' (" + key() +
                                    ") должен находиться в компоненте '" + type_name(tp_ilk) + "'");
    ilk->add_blocker(this);
    refers_to_own_element_ = rtid() == owner->rtid();
    if (refers_to_own_element_)
        ilk->set_self_blocker(this);
    t_element* element = blocking_element();
    // Nobody else deactivates it: the lock says only that the apparatus is not on the scheme.
    set_flag(element == nullptr, flag_locked);
    if (element != nullptr && element->kind())
        image_ = element->kind()->image_off;
    t_rtid_sel::init();
}

void t_ilk_onof::write(nx_xml_writer& writer) {
    t_rtid_sel::write(writer);
    writer.attribute("on", blocks_when_on_ ? "1" : "0");
}

t_ilk_and* t_ilk_onof::permission() const {
    return dynamic_cast<t_ilk_and*>(store().get(permission_id_));
}

bool t_ilk_onof::permits() {
    // An apparatus that has left the scheme cannot be checked, so it blocks.
    if (has_flag(flag_locked))
        return false;
    t_ilk_and* p = permission();
    return p != nullptr && p->permits() && p->has_flag(flag_defined) && p->has_flag(flag_control) &&
           !p->has_flag(flag_invalid);
}

bool t_ilk_onof::check(style_map& styles) {
    if (has_flag(flag_locked))
        return false;
    bool result = permits();
    styles[style::ilk_ts_yes] = result;
    styles[style::ilk_ts_no] = !result;
    return result;
}

} // namespace nxkit
