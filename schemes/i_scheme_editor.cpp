#include "schemes/i_scheme_editor.h"

namespace nxkit {

namespace {

i_scheme_editor*& installed_editor() {
    static i_scheme_editor* editor = nullptr;
    return editor;
}

} // namespace

i_scheme_editor* current_scheme_editor() {
    return installed_editor();
}

void set_scheme_editor(i_scheme_editor* editor) {
    installed_editor() = editor;
}

} // namespace nxkit
