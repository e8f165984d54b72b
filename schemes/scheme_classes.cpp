#include "schemes/scheme_classes.h"

#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/t_el_disp.h"
#include "schemes/t_el_expr.h"
#include "schemes/t_el_onof.h"
#include "schemes/t_element.h"
#include "schemes/t_mod_group.h"
#include "schemes/t_mod_page.h"
#include "schemes/t_schema_modus50.h"
#include "schemes/t_schema_root.h"

#include <memory>

namespace nxkit {

namespace {

template <class T> void add(t_ref_buff& store, int type) {
    store.register_class(type, [](t_ref_buff& s) { return std::make_unique<T>(s); });
}

} // namespace

void register_schemes_classes(t_ref_buff& store) {
    add<t_schema_root>(store, tp_schema_root);
    add<t_schema_modus50>(store, tp_schema_modus50);
    add<t_mod_page>(store, tp_mod_page);
    add<t_mod_group>(store, tp_mod_group);
    add<t_element>(store, tp_element);
    add<t_el_onof>(store, tp_el_onof);
    add<t_el_expr>(store, tp_el_expr);
    add<t_el_disp>(store, tp_el_disp);
}

} // namespace nxkit
