#pragma once

#include <string>

namespace nxkit {

// The program's whole life: start-up, the message loop, shut-down. Ends the process itself
// with exit code 0 once the message loop has run; returns only when start-up failed.
int run_workstation(int argc, char** argv);

// Logs `text` as an error line when the program log is open, then shows it in an error box
// captioned with the executable's path.
void report_fatal(const std::string& text);

// Whether the top-level window was created in full-screen mode.
bool full_screen();

} // namespace nxkit
