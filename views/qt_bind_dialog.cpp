#include "views/qt_bind_dialog.h"

#include "base/prompt.h"
#include "config/t_ref_buff.h"
#include "views/bind_choices.h"
#include "views/view_icons.h"

namespace nxkit {

qt_bind_dialog::qt_bind_dialog(QObject* parent)
    : QObject(parent), icons_(&view_icon),
      show_([](nx_dlg_add_disp& dialog) { return dialog.exec(); }) {
    set_bind_dialog(this);
}

qt_bind_dialog::~qt_bind_dialog() {
    if (current_bind_dialog() == this)
        set_bind_dialog(nullptr);
}

int qt_bind_dialog::run(t_ref& target, const std::string& text, const std::string& caption,
                        std::string& name_template) {
    bind_choices choices;
    if (!choices.begin(target))
        return 0;
    int result = answer_cancel;
    {
        nx_dlg_add_disp dialog(choices, text, caption, icons_,
                               static_cast<QWidget*>(target.store().owner_window()), fonts_);
        result = show_(dialog);
    }
    // The choices count even when the dialog was cancelled; a dialog closed by other means
    // (the program shutting down) answers as "Отмена".
    if (result != answer_ok)
        result = answer_cancel;
    name_template = choices.finish();
    return result;
}

} // namespace nxkit
