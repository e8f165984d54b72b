#include "interlock/t_ilk_and.h"

#include "base/nx_xml_writer.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_common.h"
#include "interlock/ilk_state.h"
#include "interlock/t_ilk_nodes.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_tab.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "structure/choices.h"

namespace nxkit {

namespace {

const choice_list& state_choices() {
    static const choice_list list{{"Включен", 1}, {"Отключен", 0}};
    return list;
}

// Every column of a table: the columns node first, then each same-name column.
std::vector<t_ilk_vts*> columns_of(t_ilk_tab& table) {
    std::vector<t_ilk_vts*> list;
    std::vector<t_ref*> nodes;
    if (t_ref* node = table.columns_node())
        nodes.push_back(node);
    for (t_ilk_nmtss* node : table.same_name_columns())
        nodes.push_back(node);
    for (t_ref* node : nodes)
        for (t_ref* child : table.store().refs().children(node->key()))
            if (auto* column = dynamic_cast<t_ilk_vts*>(child))
                list.push_back(column);
    return list;
}

} // namespace

t_ilk_and::t_ilk_and(t_ref_buff& store) : t_ref(store, tp_ilk_and), state_(ilk_state::of(store)) {}

t_ilk_and::~t_ilk_and() {
    state_.forget(key());
    // A permission that made its condition one for switching its own apparatus takes that
    // away with it.
    if (t_ilk_or* c = condition(); c != nullptr && own_direction() != t_ilk_or::direction_none)
        c->set_direction(t_ilk_or::direction_none);
    mark_interlock_changed(store());
}

void t_ilk_and::on_start(const nx_xml_element& element) {
    t_ref::on_start(element);
    if (element.name != "ref")
        return;
    column_number_ = element.attr_int("uid");
    permits_when_on_ = element.attr_int("on") != 0;
}

bool t_ilk_and::set_parameter(int index, const std::string& text) {
    switch (index) {
    case 1:
        return true; // read-only
    case 2:
        permits_when_on_ = choice_or_fallback(state_choices(), text, permits_when_on_ ? 1 : 0) != 0;
        return true;
    default:
        return t_ref::set_parameter(index, text);
    }
}

bool t_ilk_and::get_parameter(int index, std::string& value, std::string& name) {
    switch (index) {
    case 1:
        name = "Дисп. имя";
        value = disp_name();
        return true;
    case 2:
        name = "Разрешает, когда";
        value = choice_text(state_choices(), permits_when_on_ ? 1 : 0);
        return true;
    default:
        return t_ref::get_parameter(index, value, name);
    }
}

int t_ilk_and::parameter_editor(int index, choice_list& choices) {
    if (index == 1) {
        choices.clear();
        if (t_ilk_tab* tab = table())
            for (t_ilk_vts* column : columns_of(*tab))
                choices.push_back({column->disp_name(), column->column_number()});
        return editor_read_only;
    }
    if (index == 2) {
        choices = state_choices();
        return editor_choice_only;
    }
    return t_ref::parameter_editor(index, choices);
}

std::string t_ilk_and::display_name() {
    std::string name = disp_name();
    // Without a known signal the tree line still says what the component is.
    if (name.empty())
        name = type_name(type());
    return title().empty() ? name : name + " - " + title();
}

void t_ilk_and::tree_images(int& icon, int& overlay, int& state) {
    bool permitted = permits();
    t_ilk_vts* column = column_ref();
    icon = column != nullptr ? column->state_icon(column->is_on()) : icon_no_column;
    overlay = permitted ? icon_permitted : icon_forbidden;
    state = ilk_state_index(*this);
}

void t_ilk_and::init() {
    relink();
    mark_interlock_changed(store());
    t_ref::init();
    // An edit outside a load registers its dependencies at once.
    if (!store().bulk())
        link(store());
}

void t_ilk_and::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    writer.attribute("uid", std::to_string(column_number_));
    writer.attribute("on", permits_when_on_ ? "1" : "0");
}

void t_ilk_and::link(t_ref_buff& store) {
    relink();
    note_linked_key(*this, linked_key_);
    set_flag(true, flag_linked);
    std::string condition_key = parent_key(key());
    // Beside the contacts' signals: the column itself (re-pointed, deactivated) and this
    // permission for its condition.
    state_.forget(key());
    state_.depend(key(), condition_key, key());
    t_ilk_vts* column = column_ref();
    if (column == nullptr)
        return;
    // The condition follows through the permission in the next round.
    state_.depend(column->key(), key(), key());
    for (const std::string* contact : {&column->contact_no(), &column->contact_nc()}) {
        if (contact->empty())
            continue;
        store.register_watch(*contact, key());
        store.register_watch(*contact, condition_key);
    }
}

t_ilk_or* t_ilk_and::condition() const {
    return dynamic_cast<t_ilk_or*>(parent());
}

t_ilk_tab* t_ilk_and::table() const {
    for (t_ref* r = parent(); r != nullptr; r = r->parent())
        if (auto* tab = dynamic_cast<t_ilk_tab*>(r))
            return tab;
    return nullptr;
}

t_ilk_vts* t_ilk_and::column_ref() {
    // Every init and destruction of a column counts as an edit, so the pointer kept from the
    // last look-up cannot outlive its column.
    if (column_known_ && column_edits_ == state_.edits)
        return column_;
    column_ = find_column();
    column_known_ = true;
    column_edits_ = state_.edits;
    return column_;
}

t_ilk_vts* t_ilk_and::find_column() {
    // Kept by key: a column deleted or moved is never reached through a stale pointer.
    t_ilk_tab* tab = table();
    if (!column_key_.empty()) {
        auto* column = dynamic_cast<t_ilk_vts*>(store().get(column_key_));
        if (column != nullptr && column->column_number() == column_number_ && tab != nullptr &&
            key_is_under(column_key_, tab->key()))
            return column;
    }
    column_key_.clear();
    if (tab == nullptr)
        return nullptr;
    for (t_ilk_vts* column : columns_of(*tab)) {
        if (column->column_number() == column_number_) {
            column_key_ = column->key();
            return column;
        }
    }
    return nullptr;
}

std::string t_ilk_and::disp_name() {
    if (disp_name_.empty())
        if (t_ilk_vts* column = column_ref())
            disp_name_ = column->disp_name();
    return disp_name_;
}

void t_ilk_and::relink() {
    // The column's key is kept: it is checked again before use, and the walk over every
    // column of the table on each rebuild is what made rebuilds of big tables slow.
    disp_name_.clear();
    column_known_ = false;
    t_ilk_vts* column = column_ref();
    if (column != nullptr) {
        // A column referred to cannot be deleted, nor a same-name column with such a
        // candidate (nor its format changed).
        column->set_flag(true, flag_no_delete);
        if (t_ref* node = column->parent())
            node->set_flag(true, flag_no_delete);
    }
    int direction = own_direction();
    if (t_ilk_or* c = condition(); c != nullptr && direction != t_ilk_or::direction_none)
        c->set_direction(direction);
}

int t_ilk_and::own_direction() {
    t_ilk_or* c = condition();
    t_ilk_tu* row = c != nullptr ? c->row() : nullptr;
    t_ilk_vts* column = column_ref();
    if (row == nullptr || column == nullptr || column->type() != tp_ilk_ts)
        return t_ilk_or::direction_none;
    // Names that are not known signals say nothing about the apparatus.
    std::string name = disp_name();
    if (name.empty() || row->disp_name() != name)
        return t_ilk_or::direction_none;
    // Requiring its own apparatus on makes it a condition for switching off.
    return permits_when_on_ ? t_ilk_or::direction_off : t_ilk_or::direction_on;
}

bool t_ilk_and::active() {
    if (has_flag(flag_locked))
        return false;
    t_ilk_vts* column = column_ref();
    if (column == nullptr)
        return true;
    if (column->has_flag(flag_locked))
        return false;
    t_ref* node = column->parent();
    return node == nullptr || !node->has_flag(flag_locked);
}

bool t_ilk_and::permits() {
    evaluate();
    return permitted_;
}

void t_ilk_and::evaluate() {
    // Only what the last rebuild registered hears of its inputs' changes: one deactivated
    // (or under a deactivated parent) is evaluated on every read.
    if (has_flag(flag_evaluated) && has_flag(flag_linked))
        return;
    set_flag(true, flag_evaluated);
    set_flag(false, flag_unacknowledged);
    t_ilk_vts* column = column_ref();
    if (column == nullptr) {
        set_flag(false, flag_control | flag_invalid | flag_manual);
        set_flag(true, flag_defined);
        permitted_ = false;
        return;
    }
    bool s = column->is_on();
    if (!permits_when_on_)
        s = !s;
    const std::uint32_t copied = flag_control | flag_defined | flag_invalid | flag_manual;
    set_flag(false, copied);
    set_flag(true, column->flags() & copied);
    permitted_ = s && has_flag(flag_control) && has_flag(flag_defined) && !has_flag(flag_invalid);
}

} // namespace nxkit
