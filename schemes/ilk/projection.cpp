#include "schemes/ilk/projection.h"

#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "config/ref_editing.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_state.h"
#include "interlock/page_list.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_root.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "schemes/ilk/t_ilk.h"
#include "schemes/ilk/t_ilk_onof.h"
#include "schemes/t_el_onof.h"
#include "schemes/t_element.h"
#include "schemes/t_schema_root.h"

#include <map>
#include <string>
#include <vector>

namespace nxkit {

namespace {

// Elements of the page by dispatcher name, and by the names their on/off rules stand for.
struct page_maps {
    std::map<std::string, t_element*> elements;
    std::map<std::string, t_element*> rules;
};

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Fills the maps from the page; false (after the error box) when a dispatcher name repeats.
bool collect_page(t_ref_buff& store, const std::string& page_key, page_maps& maps) {
    for (t_ref* r : store.refs().under(page_key)) {
        auto* element = dynamic_cast<t_element*>(r);
        if (element == nullptr || element->disp_name().empty())
            continue;
        const std::string& name = element->disp_name();
        auto [it, added] = maps.elements.try_emplace(name, element);
        if (!added) {
            show_message(store.owner_window(),
                         "Диспетчерское имя на схеме должно быть уникально:\r\n" +
                             it->second->full_path_text() + "\r\n" + element->full_path_text() +
                             ".\r\n",
                         mb_error);
            return false;
        }
        for (t_ref* child : store.refs().under(element->key()))
            if (auto* rule = dynamic_cast<t_el_onof*>(child)) {
                const std::string& pattern = rule->name_template();
                maps.rules[pattern.empty() ? name : replace_all(pattern, "#", name)] = element;
            }
    }
    return true;
}

// A contact that is one signal key is used as it is; anything longer goes in parentheses.
std::string operand(const std::string& contact) {
    for (unsigned char c : contact)
        if (!(c >= 0x80 || c == '_' || c == '.' || (c >= '0' && c <= '9') ||
              (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return "(" + contact + ")";
    return contact;
}

// The components created from `xml` under `parent`, in text order.
std::vector<t_ref*> insert(t_ref_buff& store, const std::string& parent, const std::string& xml) {
    std::vector<std::string> created;
    store.insert_xml(parent, xml, &created);
    std::vector<t_ref*> made;
    for (const std::string& key : created)
        if (t_ref* r = store.get(key);
            r != nullptr && r->parent() != nullptr && r->parent()->key() == parent)
            made.push_back(r);
    return made;
}

// Whether `key` lies under `ancestor`, for a walk that has moved past the ancestor's subtree.
bool within(const std::vector<t_ref*>& walk, std::size_t at, const std::string& ancestor) {
    return at < walk.size() && key_is_under(walk[at]->key(), ancestor);
}

// One condition on its interlock: blocking elements for the permissions on the page, the
// extra condition for the rest. Returns the condition's part of the label rule.
std::string project_condition(t_ref_buff& store, const t_ilk_tu& row, t_ilk& ilk,
                              const page_maps& maps, const std::vector<t_ref*>& walk,
                              std::size_t at) {
    std::string extra = row.row_expression();
    auto add_term = [&extra](const std::string& term) {
        extra += (extra.empty() ? "" : " and ") + term;
    };
    // Made in one insertion, in the order of the permissions.
    std::string blocker_text;
    std::vector<t_ilk_and*> shown;
    const std::string condition_key = walk[at]->key();
    int permissions = 0;
    for (std::size_t i = at + 1; within(walk, i, condition_key); ++i) {
        auto* permission = dynamic_cast<t_ilk_and*>(walk[i]);
        // Deactivated permissions and those on deactivated columns are left out, as the
        // export leaves them out of the controller's file.
        if (permission == nullptr || !permission->active())
            continue;
        ++permissions;
        auto on_page = maps.rules.find(permission->disp_name());
        if (on_page != maps.rules.end()) {
            blocker_text += element_xml(tp_ilk_onof, on_page->second->rtid(), {});
            shown.push_back(permission);
            continue;
        }
        const t_ilk_vts* column = permission->column_ref();
        if (column == nullptr) {
            add_term("0");
            continue;
        }
        bool when_on = permission->permits_when_on();
        if (!column->contact_no().empty())
            add_term((when_on ? "" : "!") + operand(column->contact_no()));
        if (!column->contact_nc().empty())
            add_term((when_on ? "!" : "") + operand(column->contact_nc()));
    }
    // A condition without permissions never permits, as in the table.
    if (permissions == 0)
        add_term("0");
    int blockers = 0;
    if (!shown.empty()) {
        std::vector<t_ref*> made = insert(store, ilk.key(), blocker_text);
        for (std::size_t i = 0; i < made.size() && i < shown.size(); ++i) {
            auto* blocker = dynamic_cast<t_ilk_onof*>(made[i]);
            if (blocker == nullptr)
                continue;
            blocker->set_blocks_when_on(shown[i]->permits_when_on());
            blocker->set_permission_id(shown[i]->key());
            ++blockers;
        }
    }
    ilk.set_parameter(1, extra);
    if (!extra.empty())
        return extra;
    return blockers > 0 ? "1" : "0";
}

void project_row(t_ref_buff& store, t_ilk_tu& row, t_element& element, const page_maps& maps,
                 const std::vector<t_ref*>& walk, std::size_t at) {
    if (!element.can_add_child(tp_ilk)) {
        nx_log::main().war(element.full_path_text() + ": блокировка строки '" + row.disp_name() +
                           "' не отражена, элемент содержит команду диспетчера");
        return;
    }
    // One interlock per condition and then the label rule, made in one insertion.
    std::vector<std::size_t> conditions;
    for (std::size_t i = at + 1; within(walk, i, row.key()); ++i)
        if (auto* condition = dynamic_cast<t_ilk_or*>(walk[i]);
            condition != nullptr && !condition->has_flag(flag_locked))
            conditions.push_back(i);
    std::string text;
    for (std::size_t n = 0; n < conditions.size(); ++n)
        text += ref_xml(tp_ilk);
    text += ref_xml(tp_el_onof);
    std::vector<t_ref*> made = insert(store, element.key(), text);

    std::string label;
    std::size_t next = 0;
    for (std::size_t condition : conditions) {
        auto* ilk = next < made.size() ? dynamic_cast<t_ilk*>(made[next]) : nullptr;
        if (ilk == nullptr)
            continue;
        ++next;
        std::string part = project_condition(store, row, *ilk, maps, walk, condition);
        label += (label.empty() ? "(" : " or (") + part + ")";
    }
    auto* rule = next < made.size() ? dynamic_cast<t_el_onof*>(made[next]) : nullptr;
    if (rule == nullptr)
        return;
    rule->set_flag(true, flag_no_delete | flag_active_fixed | flag_transient | flag_read_only);
    rule->set_parameter(1, label);
    rule->set_parameter(3, "подпись.цвет");
    rule->set_parameter(4, "зеленый");
    rule->set_parameter(5, "красный");
}

} // namespace

void project_table(t_ref_buff& store, t_ilk_root& root) {
    std::string page_key;
    if (!find_page(store, root.page_label(), page_key)) {
        // The page was renamed or deleted.
        root.set_page_label({});
        root.set_flag(true, flag_modified);
        return;
    }
    if (page_key.empty())
        return;
    page_maps maps;
    if (!collect_page(store, page_key, maps))
        return;

    std::vector<t_ref*> walk = store.refs().under(root.key());
    for (std::size_t i = 0; i < walk.size(); ++i) {
        auto* row = dynamic_cast<t_ilk_tu*>(walk[i]);
        if (row == nullptr || row->has_flag_in_chain(flag_locked))
            continue;
        auto found = maps.elements.find(row->disp_name());
        if (found != maps.elements.end())
            project_row(store, *row, *found->second, maps, walk, i);
    }
}

void project_tables(t_ref_buff& store) {
    ilk_state& state = ilk_state::of(store);
    // A deleted element may have been the apparatus of a blocking element elsewhere.
    bool element_gone = t_schema_root::take_element_gone_mark(store);
    if (!state.interlock_changed && !element_gone)
        return;
    page_list(store);

    std::vector<std::string> doomed;
    std::vector<std::string> roots;
    for (t_ref* r : store.refs().under("S")) {
        if (r->type() == tp_ilk || (r->type() == tp_el_onof && r->has_flag(flag_read_only)))
            doomed.push_back(r->key());
        else if (r->type() == tp_ilk_root)
            roots.push_back(r->key());
    }

    batch_scope batch(store);
    for (const std::string& key : doomed)
        if (store.get(key) != nullptr)
            del_ref(store, key);
    for (const std::string& key : roots) {
        auto* root = dynamic_cast<t_ilk_root*>(store.get(key));
        if (root == nullptr)
            continue;
        try {
            project_table(store, *root);
        } catch (const nx_exception& e) {
            // One broken table must not keep the others off the schemes.
            nx_log::main().err(e.what());
        }
    }
    state.interlock_changed = false;
}

} // namespace nxkit
