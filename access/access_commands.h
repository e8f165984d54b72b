#pragma once

#include <iosfwd>
#include <string>

namespace nxkit {

// The command-line actions of engineer access and the audit trail, run before anything else
// starts. True when `argv` asked for one; `status` is then the process's exit status.
//   --set-password         sets or changes the engineer's password (read without echo)
//   --verify-audit [FILE]  verifies audit.log (or FILE) and the older files it continues
bool run_access_command(int argc, char** argv, int& status);

// 0 when the chain holds, 1 when it breaks (the first broken line named), 2 when the file
// cannot be read. The verdict goes to `out`.
int verify_audit_command(const std::string& file, std::ostream& out);
// 0 when the password was set; messages go to `err`.
int set_password_command(std::ostream& err);

} // namespace nxkit
