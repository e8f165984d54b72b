#include "shell/access_session.h"

#include "access/engineer_access.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "shell/audit_view.h"
#include "shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QTimer>

namespace nxkit {

access_session::access_session(nx_dlg_mod& window, std::unique_ptr<engineer_access> access)
    : QObject(&window), window_(window), access_(std::move(access)) {
    set_access(access_.get());
    qApp->installEventFilter(this);
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { tick(); });
    timer_->start(1000);

    if (auto* menu = window_.findChild<QMenu*>("window_menu")) {
        QAction* separator = menu->addSeparator();
        password_item_ = menu->addAction(QString::fromUtf8("Пароль инженера…"));
        journal_item_ = menu->addAction(QString::fromUtf8("Журнал действий"));
        password_item_->setObjectName("engineer_password");
        journal_item_->setObjectName("action_journal");
        connect(password_item_, &QAction::triggered, this,
                [this] { run([this] { change_password(); }); });
        connect(journal_item_, &QAction::triggered, this,
                [this] { run([this] { show_audit_journal(); }); });
        // Edit-mode commands: shown only there.
        connect(menu, &QMenu::aboutToShow, this, [this, separator] {
            bool edit = window_.edit_mode();
            separator->setVisible(edit);
            password_item_->setVisible(edit);
            journal_item_->setVisible(edit);
        });
    }
}

access_session::~access_session() {
    qApp->removeEventFilter(this);
    if (current_access() == access_.get())
        set_access(nullptr);
}

void access_session::run(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        nx_log::main().err(e.what());
        show_message(&window_, e.what(), mb_error);
    }
}

void access_session::change_password() {
    access_->change_password(&window_);
}

audit_view* access_session::show_audit_journal() {
    if (journal_ == nullptr) {
        journal_ = new audit_view(&window_, access_->log().path());
        journal_->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        journal_->reload();
    }
    journal_->show();
    journal_->raise();
    journal_->activateWindow();
    return journal_;
}

void access_session::tick() {
    access_->report_audit_failure(&window_);
    if (!access_->tick())
        return;
    nx_log::main().mes("доступ инженера окончен: нет действий");
    // The access ends with edit mode: leave it as the button does.
    if (window_.edit_mode()) {
        if (QAction* edit = window_.button(toolbar_button::edit); edit->isChecked())
            edit->trigger();
    }
}

bool access_session::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        access_->touch();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace nxkit
