#pragma once

#include <memory>
#include <string>
#include <vector>

namespace nxkit {

// Enumerates the files of a folder whose names match a wildcard pattern, and with `recursive`
// those of all its subfolders ("." and ".." excluded, subfolders themselves not reported):
//
//     nx_dir_cursor c(dir, "*.log", false);
//     while (c.next())
//         use(c.name(), c.full_path());
class nx_dir_cursor {
public:
    // `folder` must not be empty and must end with '/' (or '\\'); otherwise throws
    // nx_exception. A folder that cannot be read simply yields no files.
    nx_dir_cursor(const std::string& folder, const std::string& pattern, bool recursive);
    virtual ~nx_dir_cursor();

    nx_dir_cursor(const nx_dir_cursor&) = delete;
    nx_dir_cursor& operator=(const nx_dir_cursor&) = delete;

    // Moves to the next matching file; false when there is none.
    bool next();

    // The current file's name, its folder (with trailing separator) and its full path.
    const std::string& name() const { return name_; }
    const std::string& folder() const { return current_folder_; }
    const std::string& full_path() const { return full_path_; }

private:
    struct level;

    std::string pattern_;
    bool recursive_ = false;
    std::vector<std::unique_ptr<level>> stack_;
    std::string name_;
    std::string current_folder_;
    std::string full_path_;
};

} // namespace nxkit
