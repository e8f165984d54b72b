#include "base/nx_dir_cursor.h"

#include "base/files.h"
#include "base/nx_exception.h"

#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace nxkit {

// One open folder of the walk.
struct nx_dir_cursor::level {
    std::string folder;
    DIR* dir = nullptr;

    explicit level(std::string path) : folder(std::move(path)), dir(::opendir(folder.c_str())) {}
    ~level() {
        if (dir != nullptr)
            ::closedir(dir);
    }
    level(const level&) = delete;
    level& operator=(const level&) = delete;
};

nx_dir_cursor::nx_dir_cursor(const std::string& folder, const std::string& pattern, bool recursive)
    : pattern_(pattern), recursive_(recursive) {
    if (folder.empty())
        throw nx_exception("не задана папка для поиска файлов");
    if (folder.back() != '/' && folder.back() != '\\')
        throw nx_exception("имя папки для поиска файлов должно оканчиваться символом \"/\": " +
                           folder);
    std::string start = folder;
    if (start.back() == '\\')
        start.back() = '/';
    stack_.push_back(std::make_unique<level>(start));
}

nx_dir_cursor::~nx_dir_cursor() = default;

bool nx_dir_cursor::next() {
    while (!stack_.empty()) {
        level& top = *stack_.back();
        dirent* e = top.dir != nullptr ? ::readdir(top.dir) : nullptr;
        if (e == nullptr) {
            stack_.pop_back();
            continue;
        }
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        std::string path = top.folder + e->d_name;
        struct stat st {};
        bool is_dir = ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        if (is_dir) {
            // Descend into real folders only, so a link loop cannot trap the walk.
            struct stat lst {};
            if (recursive_ && ::lstat(path.c_str(), &lst) == 0 && S_ISDIR(lst.st_mode))
                stack_.push_back(std::make_unique<level>(path + "/"));
            continue;
        }
        if (!wildcard_match(pattern_, e->d_name))
            continue;
        name_ = e->d_name;
        current_folder_ = top.folder;
        full_path_ = std::move(path);
        return true;
    }
    name_.clear();
    current_folder_.clear();
    full_path_.clear();
    return false;
}

} // namespace nxkit
