#include "telemech/telemech_classes.h"

#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "telemech/t_com_port.h"
#include "telemech/t_dev_101.h"
#include "telemech/t_dev_104.h"
#include "telemech/t_dev_root.h"
#include "telemech/t_dev_ti.h"
#include "telemech/t_dev_ts.h"

namespace nxkit {

namespace {

template <class T> void add(t_ref_buff& store, int type) {
    store.register_class(type, [](t_ref_buff& s) { return std::make_unique<T>(s); });
}

} // namespace

void register_telemech_classes(t_ref_buff& store) {
    add<t_dev_root>(store, tp_dev_root);
    add<t_dev_104>(store, tp_dev_104);
    add<t_com_port>(store, tp_com_port);
    add<t_dev_101>(store, tp_dev_101);
    add<t_dev_ts>(store, tp_dev_ts);
    add<t_dev_ts2>(store, tp_dev_ts2);
    add<t_dev_ti>(store, tp_dev_ti);
    add<t_dev_to>(store, tp_dev_to);
    add<t_dev_ts_ok>(store, tp_dev_ts_ok);
}

} // namespace nxkit
