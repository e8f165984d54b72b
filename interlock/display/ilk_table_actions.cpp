#include "interlock/display/ilk_table_actions.h"

#include "base/nx_xml_writer.h"
#include "config/ref_editing.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_table_edits.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_nodes.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "platform/desktop_services.h"
#include "structure/t_struct_vl.h"

namespace nxkit {

namespace {

std::string state_word(const t_ref& component, bool on) {
    if (!component.has_flag(flag_control))
        return "нет контроля";
    if (!component.has_flag(flag_defined))
        return "неопределенный";
    return on ? "ВКЛЮЧЕН" : "ОТКЛЮЧЕН";
}

std::string header_text(const std::string& state, const std::string& name, int type) {
    return "[ " + state + " ]\t" + name + (name.empty() ? "" : " - ") + type_name(type);
}

void add_signals(t_ref_buff& store, const std::string& expression,
                 std::vector<std::string>& signal_keys) {
    key_set used;
    store.used_components(expression, used);
    for (const std::string& key : used)
        if (dynamic_cast<t_struct_vl*>(store.get(key)) != nullptr)
            signal_keys.push_back(key);
}

void add_contacts(t_ref_buff& store, t_ilk_vts& column, std::vector<std::string>& signal_keys) {
    add_signals(store, column.contact_no(), signal_keys);
    add_signals(store, column.contact_nc(), signal_keys);
}

// Sets the store's insertion hold for a scope, so an edit neither asks nor rebuilds.
class insertion_hold_scope {
public:
    explicit insertion_hold_scope(t_ref_buff& store) : store_(store) {
        store_.set_insertion_hold(true);
    }
    ~insertion_hold_scope() { store_.set_insertion_hold(false); }
    insertion_hold_scope(const insertion_hold_scope&) = delete;
    insertion_hold_scope& operator=(const insertion_hold_scope&) = delete;

private:
    t_ref_buff& store_;
};

// The column a cell of `column_key` stands for on the line of `condition`: the column itself,
// or the candidate of a same-name column that matches the row's name.
t_ilk_vts* resolve_column(t_ref_buff& store, const std::string& column_key, t_ilk_or& condition) {
    t_ref* column = store.get(column_key);
    if (auto* plain = dynamic_cast<t_ilk_ts*>(column))
        return plain;
    auto* same = dynamic_cast<t_ilk_nmtss*>(column);
    t_ilk_tu* row = condition.row();
    if (same == nullptr || row == nullptr)
        return nullptr;
    return same->candidate_for(row->disp_name());
}

void beep_refusal() {
    if (i_beep* beep = current_beep())
        beep->beep(1500, 100);
}

} // namespace

ilk_signal_popup signal_popup_of(t_ref_buff& store, const std::string& key) {
    ilk_signal_popup popup;
    t_ref* component = store.get(key);
    if (component == nullptr)
        return popup;
    if (auto* condition = dynamic_cast<t_ilk_or*>(component)) {
        t_ilk_tu* row = condition->row();
        if (row == nullptr)
            return popup;
        popup.header = header_text(state_word(*row, row->enabled()), row->disp_name(), row->type());
        add_signals(store, row->permission_signal(), popup.signal_keys);
        return popup;
    }
    t_ilk_vts* column = dynamic_cast<t_ilk_vts*>(component);
    if (auto* permission = dynamic_cast<t_ilk_and*>(component)) {
        column = permission->column_ref();
        if (column == nullptr)
            return popup;
    }
    if (column != nullptr) {
        bool on = column->is_on();
        popup.header = header_text(state_word(*column, on), column->disp_name(), column->type());
        add_contacts(store, *column, popup.signal_keys);
        return popup;
    }
    if (auto* same = dynamic_cast<t_ilk_nmtss*>(component)) {
        popup.header = same->display_name() + "\t";
        for (t_ref* child : store.refs().children(same->key()))
            if (auto* candidate = dynamic_cast<t_ilk_nmts*>(child))
                add_contacts(store, *candidate, popup.signal_keys);
    }
    return popup;
}

std::vector<menu_item> signal_popup_items(t_ref_buff& store, const ilk_signal_popup& popup) {
    std::vector<menu_item> items;
    if (popup.header.empty())
        return items;
    menu_item header;
    header.text = popup.header;
    items.push_back(header);
    if (popup.signal_keys.empty())
        return items;
    menu_item separator;
    separator.separator = true;
    items.push_back(separator);
    int number = 0;
    for (const std::string& key : popup.signal_keys) {
        menu_item item;
        item.command = ++number;
        if (auto* signal = dynamic_cast<t_struct_vl*>(store.get(key)))
            item.text = signal->listing_text();
        items.push_back(item);
    }
    return items;
}

ilk_edit_outcome edit_table_cell(t_ref_buff& store, const std::string& column_key,
                                 const std::string& condition_key, bool right_button,
                                 bool edit_mode, int& edit_mark, owner_handle owner,
                                 std::int64_t now_ms) {
    ilk_edit_outcome outcome;
    auto* condition = dynamic_cast<t_ilk_or*>(store.get(condition_key));
    if (condition == nullptr || store.get(column_key) == nullptr)
        return outcome;
    if (!edit_mode)
        edit_mark = 3;
    else if (edit_mark == 0 && !confirm_table_edit(store, owner, now_ms))
        edit_mark = 3;
    t_ilk_vts* column = resolve_column(store, column_key, *condition);
    if (column == nullptr) {
        beep_refusal();
        return outcome;
    }
    for (t_ref* child : store.refs().children(condition_key)) {
        auto* permission = dynamic_cast<t_ilk_and*>(child);
        if (permission == nullptr || permission->column_ref() != column)
            continue;
        std::string key = permission->key();
        store.mark_changed(key);
        if (edit_mark == 3) {
            edit_mark = 0;
            outcome.selected = key;
            return outcome;
        }
        // A deleted permission cannot stay selected: its condition takes the selection.
        {
            insertion_hold_scope hold(store);
            if (!del_ref(store, key))
                return outcome;
        }
        note_table_edit(store);
        edit_mark = 0;
        outcome.selected = condition_key;
        outcome.changed = true;
        store.state().mark_changed();
        return outcome;
    }
    if (edit_mark == 3) {
        edit_mark = 0;
        return outcome;
    }
    nx_xml_writer writer;
    writer.begin("ref");
    writer.attribute("tp", std::to_string(tp_ilk_and));
    writer.attribute("uid", std::to_string(column->column_number()));
    writer.end("ref");
    std::vector<std::string> created;
    {
        insertion_hold_scope hold(store);
        store.insert_xml(condition_key, writer.result(), &created);
    }
    note_table_edit(store);
    outcome.changed = true;
    store.state().mark_changed();
    auto* permission = created.empty() ? nullptr : dynamic_cast<t_ilk_and*>(store.get(created[0]));
    if (permission == nullptr)
        return outcome;
    outcome.selected = permission->key();
    edit_mark = right_button ? 1 : 2;
    permission->set_parameter(2, right_button ? "Включен" : "Отключен");
    permission->init();
    store.mark_changed(permission->key());
    return outcome;
}

bool cycle_control_mode(t_ref_buff& store, const std::string& condition_key, owner_handle owner,
                        std::int64_t now_ms) {
    auto* condition = dynamic_cast<t_ilk_or*>(store.get(condition_key));
    if (condition == nullptr || !confirm_table_edit(store, owner, now_ms))
        return false;
    condition->set_parameter(1, std::to_string((condition->control_mode() + 1) % 3));
    condition->set_flag(true, flag_modified);
    store.mark_changed(condition_key);
    store.state().mark_changed();
    return true;
}

} // namespace nxkit
