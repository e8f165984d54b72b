#pragma once

#include <string>

namespace nxkit {

// ". GetLastError: %x (%u) " with the code, then the system's text for it; empty for 0.
std::string last_error_text(int code);

// The same for the calling thread's last error (errno), read at the moment of the call.
std::string last_error_text();

} // namespace nxkit
