#pragma once

#include <string>

namespace nxkit {

// PBKDF2-HMAC-SHA256 rounds of a new password: OWASP's figure for this hash (2023).
inline constexpr int password_iterations = 600000;

// The engineer's password file: station folder + "engineer.pwd".
std::string password_file_path();

// The text of a password file for `password`: "pbkdf2-sha256$<rounds>$<salt>$<hash>" and CR LF,
// salt (16 random octets) and hash (32 octets) in lower-case hex. Throws when no random salt
// can be had.
std::string make_password_record(const std::string& password, int iterations = password_iterations);

enum class password_check {
    match,
    mismatch,
    // The file is not a password record: access is refused, never granted.
    damaged,
};

// Compares `password` with the record `text` in constant time.
password_check check_password(const std::string& text, const std::string& password);
// Whether `text` is a well-formed record.
bool password_record_valid(const std::string& text);

// The file's answer; a file that cannot be read is damaged.
password_check check_password_file(const std::string& path, const std::string& password);
// Replaces the file at once (0600); throws nx_exception when it cannot be written.
void write_password_file(const std::string& path, const std::string& password,
                         int iterations = password_iterations);

} // namespace nxkit
