#include "interlock/t_ilk_tab.h"

#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_common.h"
#include "interlock/ilk_state.h"
#include "interlock/t_ilk_nodes.h"

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
