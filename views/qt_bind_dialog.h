#pragma once

#include "schemes/i_bind_dialog.h"
#include "views/nx_dlg_add_disp.h"

#include <QObject>

#include <functional>

namespace nxkit {

// The bind dialog of the running program. It installs itself as the process-wide bind dialog
// for as long as it lives, so the main window that owns it takes it away on shutdown.
class qt_bind_dialog : public QObject, public i_bind_dialog {
    Q_OBJECT
public:
    // How the dialog is shown and answered; the program runs it modally, tests answer it.
    using show_function = std::function<int(nx_dlg_add_disp&)>;

    explicit qt_bind_dialog(QObject* parent = nullptr);
    ~qt_bind_dialog() override;

    void set_icon_source(nx_dlg_add_disp::icon_source icons) { icons_ = std::move(icons); }
    void set_show(show_function show) { show_ = std::move(show); }
    void set_fonts(bind_dialog_fonts fonts) { fonts_ = std::move(fonts); }

    int run(t_ref& target, const std::string& text, const std::string& caption,
            std::string& name_template) override;

private:
    nx_dlg_add_disp::icon_source icons_;
    show_function show_;
    bind_dialog_fonts fonts_;
};

} // namespace nxkit
