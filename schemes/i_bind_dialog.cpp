#include "schemes/i_bind_dialog.h"

namespace nxkit {

namespace {

i_bind_dialog*& installed_dialog() {
    static i_bind_dialog* dialog = nullptr;
    return dialog;
}

} // namespace

i_bind_dialog* current_bind_dialog() {
    return installed_dialog();
}

void set_bind_dialog(i_bind_dialog* dialog) {
    installed_dialog() = dialog;
}

} // namespace nxkit
