#include "interlock/interlock_classes.h"

#include "interlock/ilk_binding_assistant.h"

#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_nodes.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_root.h"
#include "interlock/t_ilk_tab.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"

#include <memory>

namespace nxkit {

namespace {

template <class T> void add(t_ref_buff& store, int type) {
    store.register_class(type, [](t_ref_buff& s) { return std::make_unique<T>(s); });
}

} // namespace

void register_interlock_classes(t_ref_buff& store) {
    install_binding_assistant(store);
    add<t_ilk_root>(store, tp_ilk_root);
    add<t_ilk_tab>(store, tp_ilk_tab);
    add<t_ilk_tss>(store, tp_ilk_tss);
    add<t_ilk_tus>(store, tp_ilk_tus);
    add<t_ilk_ts>(store, tp_ilk_ts);
    add<t_ilk_nmtss>(store, tp_ilk_nmtss);
    add<t_ilk_nmts>(store, tp_ilk_nmts);
    add<t_ilk_tu>(store, tp_ilk_tu);
    add<t_ilk_or>(store, tp_ilk_or);
    add<t_ilk_and>(store, tp_ilk_and);
}

} // namespace nxkit
