#pragma once

#include "base/nx_time.h"

#include <string>
#include <string_view>
#include <vector>

namespace nxkit {

// One line of audit.log: time, operating-system user, role, action and its object. In the
// file the fields are separated by tabs and followed by the chain value; the line ends in
// CR LF and is Windows-1251.
struct audit_entry {
    std::string time;
    std::string user;
    std::string role;
    std::string action;
    std::string object;
    std::string chain;
};

// The action of the first line of a file that continues an older one; its object is the
// older file's name and its last chain value, separated by a space.
inline constexpr const char* audit_continuation = "продолжение журнала";

// The station's audit.log.
std::string audit_log_path();
// The time field's form.
std::string audit_time_text(nx_time t);

// SHA-256 of `bytes` in lower-case hex.
std::string sha256_hex(std::string_view bytes);
// The chain value before the first line of a trail.
std::string audit_chain_start();
// The chain value of a line: SHA-256 over the previous value (its hex text) and the line's
// bytes as stored, without the tab before the value and without CR LF.
std::string audit_chain_next(const std::string& previous, std::string_view stored_body);

// The stored body (Windows-1251) of an entry: the five fields, tabs and line breaks in them
// turned into spaces.
std::string audit_stored_body(const audit_entry& entry);
// The whole stored line: body, tab, chain value, CR LF.
std::string audit_stored_line(const audit_entry& entry, const std::string& chain);

// The lines of an audit file's bytes, as UTF-8 entries; a line that is not six fields keeps
// its text in `action`.
std::vector<audit_entry> parse_audit_text(const std::string& bytes);
// The chain value of the file's last line, "" when it has none.
std::string last_chain_value(const std::string& bytes);

struct audit_verdict {
    bool ok = true;
    // The file and the 1-based line where the chain breaks first.
    std::string file;
    int line = 0;
    int lines = 0;
    std::string reason;
    // The message --verify-audit prints.
    std::string message() const;
};

// Verifies a file and, when its first line continues an older file found beside it, that
// file first (and so on back). A file that cannot be read fails at line 0.
audit_verdict verify_audit_file(const std::string& path);

// Entries of every audit file of the folder: the older files of the chain, oldest first, then
// audit.log.
std::vector<audit_entry> read_audit_trail(const std::string& path);

// The entries that match: times from/to ("" open), user and action ("" any).
struct audit_filter {
    nx_time from = 0;
    nx_time to = 0;
    std::string user;
    std::string action;
    bool matches(const audit_entry& entry) const;
};
// The time of an entry's time field, 0 when it is none.
nx_time audit_entry_time(const audit_entry& entry);

// CSV of the entries (UTF-8, CR LF, fields quoted where needed), with a header line.
std::string audit_csv(const std::vector<audit_entry>& entries);

} // namespace nxkit
