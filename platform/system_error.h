#pragma once

#include <string>

namespace nxkit {

// The operating system's text for an errno value, without a trailing line break;
// empty when the system has none.
std::string system_error_message(int code);

// The calling thread's last error (errno).
int last_error_code();

} // namespace nxkit
