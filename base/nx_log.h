#pragma once

#include "base/nx_time.h"

#include <functional>
#include <mutex>
#include <string>

namespace nxkit {

// Time-stamped lines in a file kept within a size limit: above max_size the file either loses
// its oldest tenth (keep_days <= 0) or moves into BACKUP_<name>/ with a dated name, where
// backups older than keep_days days are purged. Lines are stored in Windows-1251.
class nx_log {
public:
    using clock_fn = std::function<nx_time()>;

    nx_log();
    virtual ~nx_log();

    nx_log(const nx_log&) = delete;
    nx_log& operator=(const nx_log&) = delete;

    // The program log.
    static nx_log& main();

    // An empty name is the program's own log; a bare name lands in the station folder (".log"
    // added when it has no extension); a name with a folder is used as given. A read-only file
    // is made writable. False leaves the log closed.
    bool open(const std::string& file_name, int max_size, int keep_days);
    void close();
    // Empty while no file is open.
    std::string file_name() const;

    void err(const std::string& text);
    void err(const char* text);
    void war(const std::string& text);
    void war(const char* text);
    // True when the line reached the file (the event journal reports a failed write).
    bool mes(const std::string& text);
    bool mes(const char* text);

    // The clock for time stamps, rotation names and backup ages (local wall clock by default).
    void set_clock(clock_fn clock);

private:
    bool write_line(const char* tag, const std::string& text);
    bool open_locked(const std::string& file_name, int max_size, int keep_days);
    void close_locked();
    bool trim();
    void rotate();
    nx_time now() const;

    mutable std::recursive_mutex lock_;
    int fd_ = -1;
    std::string file_name_;
    int max_size_ = 0;
    int keep_days_ = 0;
    clock_fn clock_;
};

// The folder of the protocol and serial logs, created when missing: station folder + "LOGS/".
std::string logs_directory();

} // namespace nxkit
