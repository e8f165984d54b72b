#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;
class QTimer;

namespace nxkit {

class audit_view;
class engineer_access;
class nx_dlg_mod;

// Engineer access and the audit trail in the main window: installs the station's access for
// the process, counts the operator's input as activity, leaves edit mode when the access ends
// for idleness, reports audit write failures, and adds "Пароль инженера…" and
// "Журнал действий" to the window menu in edit mode. Made after the window and before its
// contents, so a station with a password never starts in edit mode.
class access_session : public QObject {
public:
    access_session(nx_dlg_mod& window, std::unique_ptr<engineer_access> access);
    ~access_session() override;

    engineer_access& access() { return *access_; }
    void change_password();
    // Opens (or raises) the action journal.
    audit_view* show_audit_journal();
    // The once-a-second check (the timer's; tests call it).
    void tick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A menu command: an exception becomes an ERR line and an error box.
    void run(const std::function<void()>& command);

    nx_dlg_mod& window_;
    std::unique_ptr<engineer_access> access_;
    QTimer* timer_ = nullptr;
    QAction* password_item_ = nullptr;
    QAction* journal_item_ = nullptr;
    QPointer<audit_view> journal_;
};

} // namespace nxkit
