#pragma once

namespace nxkit {

class single_instance;

// The first call per process takes the station's single-instance guard. When another copy
// already holds it, asks that copy to raise its window and ends this process with exit code 0,
// silently. `previous_window` is the window the previous run stored; the request goes through
// the guard's local socket instead.
void ensure_single_instance(long long previous_window);

// The guard taken by ensure_single_instance (null before it or after release).
single_instance* instance_guard();

// Closes the guard (when the main window object is destroyed).
void release_single_instance();

} // namespace nxkit
