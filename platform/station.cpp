#include "platform/station.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace nxkit {

namespace {

std::string with_slash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path.front() == '/')
        return path;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr)
        return path;
    return with_slash(cwd) + path;
}

std::string compute_exe_dir() {
    if (const char* home = std::getenv("ILKSTATION_HOME"); home != nullptr && *home != 0)
        return with_slash(absolute(home));
    std::string exe = running_executable();
    auto slash = exe.rfind('/');
    return slash == std::string::npos ? with_slash(absolute(".")) : exe.substr(0, slash + 1);
}

} // namespace

std::string running_executable() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    return std::string(buf, static_cast<size_t>(n));
}

std::string exe_dir() {
    static const std::string dir = compute_exe_dir();
    return dir;
}

std::string exe_path() {
    static const std::string path = exe_dir() + "ilkstation";
    return path;
}

} // namespace nxkit
