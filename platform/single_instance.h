#pragma once

#include <string>

namespace nxkit {

// The path with each of `\ . : / " ; ' ? ! * & ^ % $ # @ ~ ` { } [ ] | ( )` turned into '_'.
std::string instance_guard_name(const std::string& path);

// One running copy per station: a lock on a file in the station folder itself, held for the
// life of the object, so whoever starts the station (another login, a service, another
// runtime folder) finds it taken; and a local socket named after the guard name through which
// a second copy asks the first to come forward. When the lock file cannot be created (a
// read-only folder) a lock file in the runtime folder stands in.
class single_instance {
public:
    single_instance(const std::string& lock_file, const std::string& guard_name);
    ~single_instance();
    single_instance(const single_instance&) = delete;
    single_instance& operator=(const single_instance&) = delete;

    // True when this object holds the guard (no other copy runs).
    bool acquired() const { return lock_fd_ >= 0; }

    // Second copy: asks the holder to raise its window; retries briefly while the holder is
    // still starting. True when the request was delivered.
    bool ask_first_to_raise(int timeout_ms = 3000);

    // Holder: the listening socket to watch for readability (-1 when none).
    int listen_fd() const { return listen_fd_; }

    // Holder: accepts the pending requests; true when at least one asked for a raise.
    bool take_raise_request();

    const std::string& lock_path() const { return lock_path_; }

private:
    std::string lock_path_;
    std::string socket_name_;
    int lock_fd_ = -1;
    int listen_fd_ = -1;
};

} // namespace nxkit
