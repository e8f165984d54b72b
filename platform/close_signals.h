#pragma once

namespace nxkit {

// Turns SIGTERM and SIGINT into a readable byte on a pipe, so the user-interface thread can
// close the main window as the operator's close does. Returns the pipe's read end, -1 on failure.
int install_close_signals();

// Reads what the signals wrote; true when at least one close was requested.
bool take_close_request(int read_fd);

} // namespace nxkit
