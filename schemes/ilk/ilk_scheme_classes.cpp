#include "schemes/ilk/ilk_scheme_classes.h"

#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/interlock_classes.h"
#include "schemes/ilk/t_ilk.h"
#include "schemes/ilk/t_ilk_onof.h"
#include "schemes/scheme_classes.h"

#include <memory>

namespace nxkit {

void register_ilk_scheme_classes(t_ref_buff& store) {
    store.register_class(tp_ilk, [](t_ref_buff& s) { return std::make_unique<t_ilk>(s); });
    store.register_class(tp_ilk_onof,
                         [](t_ref_buff& s) { return std::make_unique<t_ilk_onof>(s); });
}

void register_all_scheme_classes(t_ref_buff& store) {
    register_schemes_classes(store);
    register_interlock_classes(store);
    register_ilk_scheme_classes(store);
}

} // namespace nxkit
