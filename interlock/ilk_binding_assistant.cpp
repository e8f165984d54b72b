#include "interlock/ilk_binding_assistant.h"

#include "base/nx_exception.h"
#include "base/prompt.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/t_ilk_tab.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "structure/t_struct_ts.h"

#include <set>
#include <vector>

namespace nxkit {

namespace {

constexpr int first_row_parameter = 2; // permission signal; then readiness, "on", "off"

struct taken_signal {
    t_struct_ts* signal = nullptr;
    t_struct_ts* partner = nullptr;
};

// One contact as the operator checks it before wiring: key, title and contact kind.
std::string contact_text(const t_struct_ts& signal, const char* mark) {
    std::string text = signal.signal_key();
    if (!signal.title().empty())
        text += (text.empty() ? "" : " ") + signal.title();
    return text + " (" + mark + ")";
}

// Both signals of a pair are named, the normally open one first, so the menu and the
// confirmation show exactly what goes into the two contacts.
std::string column_text(const taken_signal& s) {
    const t_struct_ts& own = *s.signal;
    if (s.partner == nullptr)
        return contact_text(own, own.normally_closed() ? "нз" : "нр");
    const t_struct_ts& open = own.normally_closed() ? *s.partner : own;
    const t_struct_ts& closed = own.normally_closed() ? own : *s.partner;
    return contact_text(open, "нр") + " + " + contact_text(closed, "нз");
}

std::string row_text(const taken_signal& s) {
    return s.signal->title().empty() ? s.signal->signal_key() : s.signal->title();
}

// The partner of a column signal: the first unused telesignal of the section with the other
// contact kind and exactly the same title. A title that merely begins the same names another
// apparatus ("QS1" and "QS1 ШР2"), so it is never taken; nor is an empty title, which names
// none.
t_struct_ts* find_partner(t_ref_buff& store, const std::string& section, t_struct_ts& signal,
                          const std::set<t_ref*>& used) {
    if (signal.title().empty())
        return nullptr;
    for (t_ref* r : store.refs().children(section)) {
        auto* other = dynamic_cast<t_struct_ts*>(r);
        if (other == nullptr || used.count(other) != 0 ||
            other->normally_closed() == signal.normally_closed())
            continue;
        if (other->title() == signal.title())
            return other;
    }
    return nullptr;
}

std::string confirmation_text(const std::string& caption, t_ref& targets_parent,
                              t_ref* signals_parent, const std::vector<taken_signal>& signals,
                              int k, bool columns) {
    std::string listing;
    for (int i = 1; i <= k; ++i) {
        if (i >= 6 && i <= k - 6) {
            if (i == 6)
                listing += "...\r\n";
            continue;
        }
        const taken_signal& s = signals[static_cast<std::size_t>(i - 1)];
        listing += (columns ? column_text(s) : s.signal->title()) + "\r\n";
    }
    std::string from = signals_parent != nullptr ? signals_parent->full_path_text() : std::string();
    return caption + "\r\n'" + targets_parent.full_path_text() + "'\r\n\r\nиз '" + from +
           "':\r\n\r\n" + listing + "\r\nвсего " + std::to_string(k) + " шт.";
}

t_ref* enclosing_table(t_ref& component) {
    for (t_ref* r = component.parent(); r != nullptr; r = r->parent())
        if (dynamic_cast<t_ilk_tab*>(r) != nullptr)
            return r;
    return nullptr;
}

// The changed targets take their new signals into their expressions and the store's tables.
void reinit(t_ref_buff& store, const std::vector<t_ref*>& changed) {
    for (t_ref* r : changed) {
        try {
            r->init();
        } catch (const nx_exception&) {
            // The written keys stand; the component shows its fault as after any edit.
        }
    }
    store.rebuild(false, true);
}

} // namespace

ilk_binding_assistant& ilk_binding_assistant::instance() {
    static ilk_binding_assistant assistant;
    return assistant;
}

void install_binding_assistant(t_ref_buff& store) {
    ilk_state::of(store).binder = &ilk_binding_assistant::instance();
}

bool ilk_binding_assistant::bind(t_ref& target, int command, const std::string& caption) {
    t_ref_buff& store = target.store();
    const bool columns = dynamic_cast<t_ilk_vts*>(&target) != nullptr;
    if (!columns && (dynamic_cast<t_ilk_tu*>(&target) == nullptr || command < 0 || command > 3))
        return false;
    owner_handle owner = store.owner_window();

    // 1. Targets: the clicked component and its later siblings of the same kind.
    t_ref* targets_parent = target.parent();
    if (targets_parent == nullptr)
        return false;
    std::vector<t_ref*> targets;
    for (t_ref* r : store.refs().children(targets_parent->key())) {
        if (r->key() < target.key())
            continue;
        bool same_kind = columns ? dynamic_cast<t_ilk_vts*>(r) != nullptr
                                 : dynamic_cast<t_ilk_tu*>(r) != nullptr;
        if (same_kind)
            targets.push_back(r);
    }
    const std::size_t n = targets.size();

    // 2. The start signal: the structure tree's current component.
    t_ref* start_ref = store.get(store.current('K'));
    if (start_ref == nullptr)
        return false;
    auto* start = dynamic_cast<t_struct_ts*>(start_ref);
    if (start == nullptr) {
        show_message(owner,
                     "Сначала необходимо выбрать в дереве '" + type_name(40) + "' компонент '" +
                         type_name(1) + "'.",
                     mb_warning, caption.c_str());
        return false;
    }

    // 3. Every-second mode for the telecontrol signals of rows.
    bool every_second = false;
    if (!columns && (command == 2 || command == 3))
        every_second = show_message(owner, "Выбрать сигналы через 1 ?", mb_question,
                                    caption.c_str()) == answer_yes;

    // 4-5. Signals from the start on under the same section, with partners for columns.
    t_ref* section = start->parent();
    const std::string section_key = parent_key(start->key());
    std::vector<taken_signal> signals;
    std::set<t_ref*> used;
    std::vector<t_ref*> entries = store.refs().under(section_key);
    std::size_t i = 0;
    while (i < entries.size() && entries[i] != start)
        ++i;
    for (; i < entries.size() && signals.size() < n; i += every_second ? 2 : 1) {
        auto* s = dynamic_cast<t_struct_ts*>(entries[i]);
        if (s == nullptr || s->has_flag(flag_locked) || parent_key(s->key()) != section_key)
            continue;
        if (columns && used.count(s) != 0)
            continue;
        taken_signal taken{s, nullptr};
        if (columns) {
            used.insert(s);
            taken.partner = find_partner(store, section_key, *s, used);
            if (taken.partner != nullptr)
                used.insert(taken.partner);
        }
        signals.push_back(taken);
    }
    if (signals.empty())
        return false;

    // 6. How many pairs: a menu at the pointer.
    std::vector<menu_item> menu;
    for (std::size_t j = 0; j < signals.size(); ++j) {
        std::string text = columns ? column_text(signals[j]) : row_text(signals[j]);
        menu_item item;
        item.command = static_cast<int>(j + 1);
        if (j == 0)
            item.text = signals.size() > 1 ? "c\t" + text + " по:" : text;
        else
            item.text = "\t" + text;
        menu.push_back(item);
        if (j == 0 && signals.size() > 1) {
            menu_item separator;
            separator.separator = true;
            menu.push_back(separator);
        }
    }
    int k = current_prompt() != nullptr ? current_prompt()->popup_menu(owner, menu) : 0;
    if (k <= 0 || k > static_cast<int>(signals.size()))
        return false;

    // 7. Confirmation.
    std::string question =
        confirmation_text(caption, *targets_parent, section, signals, k, columns);
    if (show_message(owner, question, mb_question, caption.c_str()) != answer_yes)
        return false;

    std::vector<t_ref*> changed(targets.begin(), targets.begin() + k);
    if (columns) {
        // 8. The whole table is shown again, the table first.
        if (t_ref* table = enclosing_table(target)) {
            store.mark_changed(table->key());
            for (t_ref* r : store.refs().under(table->key()))
                store.mark_changed(r->key());
        }
        for (int j = 0; j < k; ++j) {
            auto& column = dynamic_cast<t_ilk_vts&>(*targets[static_cast<std::size_t>(j)]);
            const taken_signal& s = signals[static_cast<std::size_t>(j)];
            column.set_flag(true, flag_modified);
            std::string own = s.signal->signal_key();
            std::string other = s.partner != nullptr ? s.partner->signal_key() : std::string();
            if (s.signal->normally_closed())
                column.set_contacts(other, own);
            else
                column.set_contacts(own, other);
        }
        reinit(store, changed);
        mark_interlock_changed(store);
        return true;
    }
    // 9. Rows.
    for (int j = 0; j < k; ++j) {
        t_ref& row = *targets[static_cast<std::size_t>(j)];
        store.mark_changed(row.key());
        row.set_parameter(first_row_parameter + command,
                          signals[static_cast<std::size_t>(j)].signal->signal_key());
        row.set_flag(true, flag_modified);
    }
    reinit(store, changed);
    return true;
}

} // namespace nxkit
