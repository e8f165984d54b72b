#pragma once

#include "access/audit_log.h"
#include "base/access.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace nxkit {

// The station's engineer access and audit trail (the access seam's implementation).
// A station asks for them with a password file (engineer.pwd) or with ACCESS/AUDIT = 1:
// without a password every action is allowed as before; without either nothing is recorded.
// The password is asked through the prompt seam, three tries, then the access stays closed
// for ACCESS/LOCKOUT_SECONDS. Access granted lasts until edit mode is left or the operator
// has been idle for ACCESS/IDLE_MINUTES.
class engineer_access : public i_access {
public:
    struct options {
        std::string password_path;
        std::string audit_path;
        // Monotonic milliseconds, for the idle time and the lock-out.
        std::function<long long()> now_ms;
        int idle_minutes = 15;
        int lockout_seconds = 60;
        bool audit = false;
        long long audit_size = 1000000;
        // The operating-system user named in the audit lines.
        std::string user;
    };
    // The station's files and settings.
    static options station_options();

    explicit engineer_access(options o = station_options());
    ~engineer_access() override;

    bool allow(owner_handle owner, protected_action action) override;
    bool record(const std::string& action, const std::string& object) override;
    void edit_mode_changed(bool on) override;
    bool recording() const override;
    bool password_required() const override { return password_set(); }

    // A password file exists (a damaged one too: it refuses access).
    bool password_set() const;
    bool granted() const { return granted_; }
    // "инженер" with access granted, or in edit mode where no password is asked; otherwise
    // "оператор".
    std::string_view role() const;
    // The operator's input: the idle time starts again.
    void touch();
    // Called every second: true when the access has just ended for idleness.
    bool tick();
    // "Пароль инженера…": the current password (when one is set), the new one twice; an empty
    // new password removes it after a question. False when nothing changed.
    bool change_password(owner_handle owner);
    // A write failure of the audit worker not reported yet: an ERR line and an error box.
    void report_audit_failure(owner_handle owner);

    audit_log& log() { return *log_; }
    // Rounds of the passwords set from here (tests make them cheap).
    void set_password_iterations(int n) { iterations_ = n; }

private:
    bool audit_ready(owner_handle owner);
    bool ask(owner_handle owner, protected_action action);
    // The new password, typed twice; false when cancelled or refused (told to the operator).
    bool ask_new_password(owner_handle owner, std::string& password);

    options options_;
    std::unique_ptr<audit_log> log_;
    int iterations_;
    bool granted_ = false;
    bool edit_mode_ = false;
    long long last_activity_ = 0;
    long long locked_until_ = 0;
};

} // namespace nxkit
