#pragma once

#include <string>

namespace nxkit {

// The operating-system user the process runs as ("?" when it has no name).
std::string current_user_name();

// Reads one line from standard input, without echo when it is a terminal (the prompt goes to
// standard error). False at end of input.
bool read_secret_line(const std::string& prompt, std::string& line);

} // namespace nxkit
