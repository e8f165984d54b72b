#include "config/config_classes.h"

#include "config/ref_types.h"
#include "config/t_ref_buff.h"

namespace nxkit {

void register_config_classes(t_ref_buff& store) {
    store.register_class(tp_group, [](t_ref_buff& s) { return std::make_unique<t_group>(s); });
}

} // namespace nxkit
