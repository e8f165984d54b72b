#include "interlock/t_ilk_tab.h"

#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_common.h"
#include "interlock/ilk_state.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_nodes.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"

namespace nxkit {

t_ilk_tab::t_ilk_tab(t_ref_buff& store) : t_schema(store, tp_ilk_tab) {}

t_ilk_tab::~t_ilk_tab() {
    mark_interlock_changed(store());
}

std::string t_ilk_tab::display_name() {
    std::string first = title().empty() ? name() : title();
    return first + (first.empty() ? "" : " - ") + type_name(type());
}

void t_ilk_tab::tree_images(int& icon, int& overlay, int& state) {
    t_schema::tree_images(icon, overlay, state);
    icon = 1448;
}

void t_ilk_tab::init() {
    // A table always has its two nodes; a loaded file is taken as it is.
    if (!store().bulk()) {
        if (columns_node() == nullptr)
            add_child(*this, tp_ilk_tss, {});
        if (rows_node() == nullptr)
            add_child(*this, tp_ilk_tus, {});
    }
    mark_interlock_changed(store());
    t_schema::init();
}

void t_ilk_tab::link(t_ref_buff& store) {
    // The protection bits and directions follow from the links as they are now: the permissions set
    // them on their columns again as they link after the table, and a row's first condition is the
    // one that stays. Without this a deleted permission or a moved condition left bits that
    // a load of the saved file does not have.
    for (t_ref* r : store.refs().under(key())) {
        // Whatever links after this sets it again; the deactivated stay unregistered.
        if (dynamic_cast<t_ilk_and*>(r) != nullptr || dynamic_cast<t_ilk_or*>(r) != nullptr ||
            dynamic_cast<t_ilk_tu*>(r) != nullptr)
            r->set_flag(false, flag_linked);
        // Also the deactivated, which do not link: their column may be gone or renamed.
        if (auto* permission = dynamic_cast<t_ilk_and*>(r))
            permission->forget_name();
        if (dynamic_cast<t_ilk_vts*>(r) != nullptr || dynamic_cast<t_ilk_nmtss*>(r) != nullptr) {
            r->set_flag(false, flag_no_delete);
        } else if (auto* condition = dynamic_cast<t_ilk_or*>(r);
                   condition != nullptr && condition->row() != nullptr) {
            std::vector<t_ref*> siblings = store.refs().children(parent_key(r->key()));
            r->set_flag(!siblings.empty() && siblings.front() == r, flag_no_delete);
            // A locked condition is not linked, so nothing else clears what its permissions
            // said of it while it was active.
            if (r->has_flag_in_chain(flag_locked))
                condition->set_direction(t_ilk_or::direction_none);
        }
    }
}

t_ilk_tss* t_ilk_tab::columns_node() {
    for (t_ref* child : store().refs().children(key()))
        if (auto* node = dynamic_cast<t_ilk_tss*>(child))
            return node;
    return nullptr;
}

t_ilk_tus* t_ilk_tab::rows_node() {
    for (t_ref* child : store().refs().children(key()))
        if (auto* node = dynamic_cast<t_ilk_tus*>(child))
            return node;
    return nullptr;
}

std::vector<t_ilk_nmtss*> t_ilk_tab::same_name_columns() {
    std::vector<t_ilk_nmtss*> list;
    for (t_ref* child : store().refs().children(key()))
        if (auto* column = dynamic_cast<t_ilk_nmtss*>(child))
            list.push_back(column);
    return list;
}

} // namespace nxkit

namespace nxkit {

int t_ilk_tab::command(bool query, int index, std::string& arg) {
    ilk_state* state = ilk_state::find(store());
    if (index != 0 || state == nullptr || !state->enter_whatif)
        return 0;
    if (query) {
        arg = "Проверка блокировок";
        return 1;
    }
    // The window's hook: it may replace the state's hooks, so it runs from a copy.
    std::function<void()> enter = state->enter_whatif;
    enter();
    return 0;
}

} // namespace nxkit
