#include "platform/station.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
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

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

bool is_folder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string running_executable() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    return std::string(buf, static_cast<size_t>(n));
}

std::string folder_of(const std::string& executable) {
    auto slash = executable.rfind('/');
    return slash == std::string::npos ? with_slash(absolute(".")) : executable.substr(0, slash + 1);
}

std::string installed_data_dir(const std::string& executable_folder) {
    std::string folder = with_slash(executable_folder);
    // <prefix>/bin/ -> <prefix>/share/ilkstation/
    folder.pop_back();
    auto slash = folder.rfind('/');
    if (slash == std::string::npos || folder.substr(slash + 1) != "bin")
        return {};
    std::string data = folder.substr(0, slash + 1) + "share/ilkstation/";
    return is_folder(data) ? data : std::string();
}

bool installed_program(const std::string& executable_folder) {
    // root may write into /usr/bin, so writability alone does not tell.
    return !installed_data_dir(executable_folder).empty() ||
           ::access(executable_folder.c_str(), W_OK) != 0;
}

std::string user_data_dir(const std::string& xdg_data_home, const std::string& home) {
    // A relative XDG_DATA_HOME is invalid and must be ignored.
    if (!xdg_data_home.empty() && xdg_data_home.front() == '/')
        return with_slash(xdg_data_home) + "ilkstation/";
    return with_slash(home.empty() ? std::string("/") : home) + ".local/share/ilkstation/";
}

std::string user_station_dir(const station_rule& rule) {
    return user_data_dir(rule.xdg_data_home, rule.home) + "station/";
}

std::string choose_station_dir(const station_rule& rule) {
    if (!rule.home_variable.empty())
        return with_slash(absolute(rule.home_variable));
    if (rule.installed)
        return user_station_dir(rule);
    return with_slash(rule.executable_folder);
}

station_rule current_station_rule() {
    station_rule rule;
    rule.home_variable = env("ILKSTATION_HOME");
    rule.xdg_data_home = env("XDG_DATA_HOME");
    rule.home = env("HOME");
    rule.executable_folder = folder_of(running_executable());
    rule.installed = installed_program(rule.executable_folder);
    return rule;
}

std::string exe_dir() {
    static const std::string dir = choose_station_dir(current_station_rule());
    return dir;
}

std::string exe_path() {
    static const std::string path = exe_dir() + "ilkstation";
    return path;
}

} // namespace nxkit
