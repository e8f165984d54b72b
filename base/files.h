#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace nxkit {

// Path part selector bits.
enum path_parts : int {
    part_drive = 1,
    part_folder = 2,
    part_name = 4,
    part_ext = 8,
};

// The selected parts of `path`, in the order drive, folder, name, extension. Folders keep
// their trailing separator, extensions their leading dot; the drive is always empty here.
std::string path_part(const std::string& path, int selector);

// Makes a folder and its missing parents; true when it exists afterwards.
bool make_dirs(const std::string& folder);
bool dir_exists(const std::string& folder);
// True when at least one file matches the name or wildcard pattern.
bool file_exists(const std::string& pattern);
// Size in bytes, -1 when the file cannot be examined.
long long file_size(const std::string& name);
long long file_size(std::FILE* stream);
bool copy_file(const std::string& from, const std::string& to);
bool files_equal(const std::string& a, const std::string& b);

// Wildcard match of a file name: '*' and '?' as on the command line, no escapes, a leading dot
// matched like any other character; "*.*" matches every name, with or without a dot.
bool wildcard_match(const std::string& pattern, const std::string& name);

// Reads a whole file; false when it cannot be opened or read.
bool read_file(const std::string& name, std::string& bytes);

// Replaces a whole file at once: the bytes go into a temporary file beside it, which is then
// renamed over the old one, so a crash leaves either the old or the new file, never a torn one.
// With `durable` the data reach the disk before the rename (the configuration); without it a
// power loss may cost the last write but never tears the file (settings). errno describes a
// failure.
bool write_file_atomic(const std::string& name, const std::string& bytes, bool durable = true);

// Copies a file the same way: whole, durable, renamed into place; a copy cut short by a crash
// is never found under the new name. errno describes a failure.
bool copy_file_atomic(const std::string& from, const std::string& to);

// The temporary files that write_file_atomic leaves behind when the process dies before the
// rename: the name (wildcards allowed) followed by a dot and six characters, in the name's
// folder. Full paths in name order.
std::vector<std::string> atomic_write_leftovers(const std::string& name);

} // namespace nxkit
