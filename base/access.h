#pragma once

#include "base/prompt.h"

#include <string>

namespace nxkit {

// The actions a station can reserve for its engineer.
enum class protected_action {
    edit_mode,
    reload,
    save,
    export_transfer,
    cancel_all_manual,
    password_change,
};

// What the operator is told the password is asked for.
std::string protected_action_text(protected_action action);

// Engineer access and the audit trail, as model code sees them. The shell installs the
// station's own; without one every action is allowed and nothing is recorded, as on a station
// that asks for neither.
class i_access {
public:
    virtual ~i_access() = default;
    // True when `action` may go ahead now: the audit trail can take its line and, on a station
    // with an engineer's password, the engineer has given it (asked through the prompt seam).
    virtual bool allow(owner_handle owner, protected_action action) = 0;
    // Records one action of the operator or engineer; false when the trail cannot take it
    // (the failure is reported, the caller need not).
    virtual bool record(const std::string& action, const std::string& object) = 0;
    // Edit mode was entered or left: recorded, and leaving ends the engineer's access.
    virtual void edit_mode_changed(bool on) = 0;
    // Whether actions are recorded at all: callers skip costly descriptions otherwise.
    virtual bool recording() const = 0;
    // Whether the station asks for an engineer's password.
    virtual bool password_required() const { return false; }
};

i_access* current_access();
void set_access(i_access* access);

// The installed access's answers; without one, allowed and not recorded.
bool access_allowed(owner_handle owner, protected_action action);
bool audit_action(const std::string& action, const std::string& object = {});
bool audit_recording();
void audit_edit_mode(bool on);
bool access_requires_password();

} // namespace nxkit
