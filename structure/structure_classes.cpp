#include "structure/structure_classes.h"

#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/t_struct_canal.h"
#include "structure/t_struct_kp.h"
#include "structure/t_struct_root.h"
#include "structure/t_struct_ti.h"
#include "structure/t_struct_ts.h"

namespace nxkit {

void register_structure_classes(t_ref_buff& store, i_manual_input* manual_input) {
    store.register_class(tp_struct_root,
                         [](t_ref_buff& s) { return std::make_unique<t_struct_root>(s); });
    store.register_class(tp_struct_canal,
                         [](t_ref_buff& s) { return std::make_unique<t_struct_canal>(s); });
    store.register_class(tp_struct_kp,
                         [](t_ref_buff& s) { return std::make_unique<t_struct_kp>(s); });
    store.register_class(tp_struct_ts, [manual_input](t_ref_buff& s) {
        return std::make_unique<t_struct_ts>(s, manual_input);
    });
    store.register_class(tp_struct_ti,
                         [](t_ref_buff& s) { return std::make_unique<t_struct_ti>(s); });
}

} // namespace nxkit
