#include "interlock/t_ilk_vts.h"

#include "base/cp1251.h"
#include "base/format.h"
#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_common.h"
#include "interlock/ilk_state.h"
#include "interlock/t_ilk_and.h"
#include "structure/choices.h"

#include <algorithm>

namespace nxkit {

namespace {

const char* const bind_caption = "Привязать к сигналам";

// The position of `needle` in `text` (both Windows-1251, so positions count characters).
std::size_t position(const std::string& text, const char* needle) {
    return text.find(to_cp1251(needle));
}

} // namespace

int apparatus_kind_of(const std::string& display_name) {
    std::string name = to_cp1251(display_name);
    for (char& ch : name)
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
    name = trim(name, ' ');
    if (position(name, "ЗН") == 0)
        return 1;
    std::size_t rrp = position(name, "РРП");
    if (position(name, "ШР") == 1 || position(name, "ОР") == 0 || position(name, "ЛР") == 0 ||
        position(name, "ТР") == 0 || position(name, "РЛС") == 0 || rrp == 1 || rrp == 2 ||
        position(name, "СР") == 0)
        return 2;
    if (position(name, "В") == 0 || position(name, "ШСВ") == 0 || position(name, "ОВ") == 0 ||
        position(name, "СВ") == 0)
        return 3;
    return 0;
}

// ---------------------------------------------------------------- t_ilk_vts

t_ilk_vts::t_ilk_vts(t_ref_buff& store, int type) : t_ref(store, type) {}

t_ilk_vts::~t_ilk_vts() {
    mark_interlock_changed(store());
}

void t_ilk_vts::on_start(const nx_xml_element& element) {
    t_ref::on_start(element);
    if (element.name != "ref")
        return;
    contact_no_ = element.attr("nof");
    contact_nc_ = element.attr("non");
    column_number_ = element.attr_int("uid");
}

bool t_ilk_vts::set_parameter(int index, const std::string& text) {
    switch (index) {
    case 1:
        return true; // read-only
    case 2:
        contact_no_ = trim(text, ' ');
        return true;
    case 3:
        contact_nc_ = trim(text, ' ');
        return true;
    default:
        return t_ref::set_parameter(index, text);
    }
}

bool t_ilk_vts::get_parameter(int index, std::string& value, std::string& name) {
    switch (index) {
    case 1:
        name = "Дисп. имя";
        value = disp_name();
        return true;
    case 2:
        name = "Контакт нр";
        value = contact_no_;
        return true;
    case 3:
        name = "Контакт нз";
        value = contact_nc_;
        return true;
    default:
        return t_ref::get_parameter(index, value, name);
    }
}

int t_ilk_vts::parameter_editor(int index, choice_list& choices) {
    if (index == 1)
        return editor_read_only;
    return t_ref::parameter_editor(index, choices);
}

std::string t_ilk_vts::display_name() {
    std::string name = disp_name();
    std::string marks;
    if (!name.empty())
        marks =
            std::string(contact_no_.empty() ? "  " : "нр") + (contact_nc_.empty() ? "  " : "нз");
    std::string text = format_short("%2d", column_number_) + " " + marks + " " +
                       (name.empty() ? type_name(type()) : name);
    if (!title().empty())
        text += " - " + title();
    return text;
}

void t_ilk_vts::tree_images(int& icon, int& overlay, int& state) {
    icon = state_icon(is_on());
    overlay = 0;
    state = ilk_state_index(*this);
}

int t_ilk_vts::state_icon(bool on) {
    switch (apparatus_kind()) {
    case 1:
        return on ? 1422 : 1423;
    case 2:
        return on ? 1419 : 1420;
    case 3:
        return on ? 1424 : 1425;
    default:
        return on ? 1453 : 1454;
    }
}

void t_ilk_vts::init() {
    disp_name_.clear();
    ilk_state& state = ilk_state::of(store());
    if (column_number_ == 0) {
        // The next free number: above every number handed out or present, so a new column
        // read before older ones never takes one of theirs.
        for (t_ref* r : store().refs().under("S"))
            if (auto* column = dynamic_cast<t_ilk_vts*>(r))
                state.column_counter = std::max(state.column_counter, column->column_number_);
        column_number_ = ++state.column_counter;
    } else {
        state.column_counter = std::max(state.column_counter, column_number_);
    }
    state.interlock_changed = true;
    ++state.edits;
    t_ref::init();
    // An edit outside a load: its signals and those of the permissions that use it are
    // registered now, not at the next table rebuild, and the permissions take its new name.
    if (!store().bulk()) {
        link(store());
        for (const std::string& key : state.dependents_of(key()))
            if (auto* permission = dynamic_cast<t_ilk_and*>(store().get(key)))
                permission->link(store());
    }
}

void t_ilk_vts::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    writer.attribute("nof", xml_escape(contact_no_));
    writer.attribute("non", xml_escape(contact_nc_));
    writer.attribute("uid", std::to_string(column_number_));
}

int t_ilk_vts::command(bool query, int index, std::string& arg) {
    if (index != 0)
        return 0;
    if (query) {
        arg = bind_caption;
        return 1;
    }
    ilk_state& state = ilk_state::of(store());
    return state.binder != nullptr && state.binder->bind(*this, index, bind_caption) ? 1 : 0;
}

void t_ilk_vts::link(t_ref_buff& store) {
    disp_name_.clear();
    for (const std::string* contact : {&contact_no_, &contact_nc_})
        if (!contact->empty())
            store.register_watch(*contact, key());
}

void t_ilk_vts::set_contacts(const std::string& no, const std::string& nc) {
    contact_no_ = no;
    contact_nc_ = nc;
    disp_name_.clear();
}

std::string t_ilk_vts::cached_disp_name() {
    if (disp_name_.empty())
        disp_name_ = signal_title(store(), contact_no_.empty() ? contact_nc_ : contact_no_);
    return disp_name_;
}

bool t_ilk_vts::is_on() {
    evaluate();
    return on_state_;
}

void t_ilk_vts::evaluate() {
    if (has_flag(flag_evaluated))
        return;
    set_flag(true, flag_evaluated);
    set_flag(!contact_no_.empty() || !contact_nc_.empty(), flag_control);
    set_flag(true, flag_defined);
    set_flag(false, flag_invalid | flag_manual | flag_unacknowledged);
    // Each evaluation recombines manual and unacknowledged from its own signals only: what
    // the first contact brought is kept across the second.
    std::uint32_t carried = 0;
    double no = 0;
    double nc = 0;
    if (!contact_no_.empty()) {
        store().calc(contact_no_, *this, no);
        carried |= flags() & (flag_manual | flag_unacknowledged);
    }
    if (!contact_nc_.empty()) {
        store().calc(contact_nc_, *this, nc);
        carried |= flags() & (flag_manual | flag_unacknowledged);
    }
    if (carried != 0)
        set_flag(true, carried);
    if (contact_nc_.empty())
        nc = no == 0 ? 1 : 0;
    if (contact_no_.empty())
        no = nc == 0 ? 1 : 0;
    if (no != 0 && nc == 0) {
        on_state_ = true;
    } else if (no == 0 && nc != 0) {
        on_state_ = false;
    } else {
        on_state_ = no != 0;
        set_flag(false, flag_defined);
    }
}

// ---------------------------------------------------------------- t_ilk_ts

t_ilk_ts::t_ilk_ts(t_ref_buff& store) : t_ilk_vts(store, tp_ilk_ts) {}

void t_ilk_ts::on_start(const nx_xml_element& element) {
    t_ilk_vts::on_start(element);
    if (element.name == "ref")
        background_ = element.attr_int("clr");
}

bool t_ilk_ts::set_parameter(int index, const std::string& text) {
    if (index != 4)
        return t_ilk_vts::set_parameter(index, text);
    background_ = choice_or_fallback(background_choices(), text, background_);
    return true;
}

bool t_ilk_ts::get_parameter(int index, std::string& value, std::string& name) {
    if (index != 4)
        return t_ilk_vts::get_parameter(index, value, name);
    name = "Цвет фона";
    value = choice_text(background_choices(), background_);
    return true;
}

int t_ilk_ts::parameter_editor(int index, choice_list& choices) {
    if (index != 4)
        return t_ilk_vts::parameter_editor(index, choices);
    choices = background_choices();
    return editor_choice_only;
}

void t_ilk_ts::write(nx_xml_writer& writer) {
    t_ilk_vts::write(writer);
    if (background_ != 0)
        writer.attribute("clr", std::to_string(background_));
}

std::string t_ilk_ts::disp_name() {
    return cached_disp_name();
}

int t_ilk_ts::apparatus_kind() {
    return apparatus_kind_of(disp_name());
}

// ---------------------------------------------------------------- t_ilk_nmts

t_ilk_nmts::t_ilk_nmts(t_ref_buff& store) : t_ilk_vts(store, tp_ilk_nmts) {}

void t_ilk_nmts::on_start(const nx_xml_element& element) {
    t_ilk_vts::on_start(element);
    if (element.name == "ref")
        name_part_ = element.attr("part");
}

bool t_ilk_nmts::set_parameter(int index, const std::string& text) {
    if (index != 4)
        return t_ilk_vts::set_parameter(index, text);
    name_part_ = trim(text, ' ');
    return true;
}

bool t_ilk_nmts::get_parameter(int index, std::string& value, std::string& name) {
    if (index != 4)
        return t_ilk_vts::get_parameter(index, value, name);
    name = "Общая часть имени";
    value = name_part_;
    return true;
}

int t_ilk_nmts::parameter_editor(int index, choice_list& choices) {
    if (index == 4 && has_flag(flag_no_delete))
        return editor_read_only;
    return t_ilk_vts::parameter_editor(index, choices);
}

void t_ilk_nmts::write(nx_xml_writer& writer) {
    t_ilk_vts::write(writer);
    writer.attribute("part", xml_escape(name_part_));
}

std::string t_ilk_nmts::disp_name() {
    return cached_disp_name();
}

} // namespace nxkit
