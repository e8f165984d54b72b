#pragma once

#include <cstddef>

namespace nxkit {

// Process-wide registry of counted worker threads, so shut-down can wait for them.

// Counts the thread, then starts `function(argument)` on a new detached thread.
// Returns false (and uncounts it) when the thread could not be started.
bool begin_counted_thread(void (*function)(void*), std::size_t stack_size, void* argument);

// Kept by a counted thread for its whole life; its destruction uncounts the thread.
class nx_auto_endthread {
public:
    nx_auto_endthread() = default;
    nx_auto_endthread(const nx_auto_endthread&) = delete;
    nx_auto_endthread& operator=(const nx_auto_endthread&) = delete;
    virtual ~nx_auto_endthread();
};

// Set once at shut-down, never cleared; counted threads end when they see it.
bool thread_stop_requested();

// Requests the stop, then waits in passes of 100 ms until no counted thread runs or the
// time-out (a multiple of 100) is used up. The first pass always sleeps. Returns the count
// still running.
int wait_for_threads(int timeout_ms);

// The number of counted threads running now.
int counted_threads();

} // namespace nxkit
