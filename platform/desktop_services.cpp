#include "platform/desktop_services.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <linux/kd.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nxkit {

namespace {

std::atomic<i_beep*> the_beep{nullptr};
std::atomic<i_clipboard*> the_clipboard{nullptr};
std::atomic<i_desktop_link*> the_link{nullptr};
std::atomic<i_terminal_mode*> the_terminal{nullptr};

// Without a trailing '/'.
std::string home_folder() {
    const char* home = std::getenv("HOME");
    std::string h = home != nullptr ? home : "";
    while (h.size() > 1 && h.back() == '/')
        h.pop_back();
    return h;
}

bool is_dir(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool make_dir_path(const std::string& folder) {
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos == folder.size() || folder[pos] == '/') {
            std::string part = folder.substr(0, pos);
            if (!is_dir(part) && ::mkdir(part.c_str(), 0755) != 0 && !is_dir(part))
                return false;
        }
    }
    return true;
}

// Written beside and renamed over, so a link is never half written.
bool write_whole(const std::string& path, const std::string& text, mode_t mode) {
    std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && !make_dir_path(path.substr(0, slash)))
        return false;
    std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out << text;
        if (!out.flush())
            return false;
    }
    if (::chmod(temp.c_str(), mode) != 0 || std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

// A value quoted for an Exec line: every argument in double quotes, with `"`, `` ` ``, `$`
// and `\` escaped.
std::string exec_quoted(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// Newlines would end the key in a desktop entry.
std::string one_line(const std::string& value) {
    std::string out;
    for (char c : value)
        out += (c == '\n' || c == '\r') ? ' ' : c;
    return out;
}

} // namespace

i_beep* current_beep() {
    return the_beep.load();
}
void set_beep(i_beep* beep) {
    the_beep.store(beep);
}
i_clipboard* current_clipboard() {
    return the_clipboard.load();
}
void set_clipboard(i_clipboard* clipboard) {
    the_clipboard.store(clipboard);
}
i_desktop_link* current_desktop_link() {
    return the_link.load();
}
void set_desktop_link(i_desktop_link* link) {
    the_link.store(link);
}
i_terminal_mode* current_terminal_mode() {
    return the_terminal.load();
}
void set_terminal_mode(i_terminal_mode* mode) {
    the_terminal.store(mode);
}

std::string desktop_entry_text(const desktop_entry& entry) {
    std::string exec;
    if (!entry.station_home.empty())
        exec = "env ILKSTATION_HOME=" + exec_quoted(entry.station_home) + " ";
    exec += exec_quoted(entry.program);
    std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
    text += "Name=" + one_line(entry.name) + "\n";
    if (!entry.comment.empty())
        text += "Comment=" + one_line(entry.comment) + "\n";
    text += "Exec=" + one_line(exec) + "\n";
    if (!entry.working_dir.empty())
        text += "Path=" + one_line(entry.working_dir) + "\n";
    if (!entry.icon.empty())
        text += "Icon=" + one_line(entry.icon) + "\n";
    text += "Terminal=false\n";
    return text;
}

std::string desktop_entry_program(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Exec=", 0) != 0)
            continue;
        std::string exec = line.substr(5);
        // Skip "env NAME=value " and take the first quoted argument after it.
        std::size_t pos = 0;
        if (exec.rfind("env ", 0) == 0) {
            pos = 4;
            bool quoted = false;
            for (; pos < exec.size(); ++pos) {
                if (exec[pos] == '\\' && quoted) {
                    ++pos;
                    continue;
                }
                if (exec[pos] == '"')
                    quoted = !quoted;
                else if (exec[pos] == ' ' && !quoted)
                    break;
            }
            ++pos;
        }
        std::string program;
        if (pos < exec.size() && exec[pos] == '"') {
            for (++pos; pos < exec.size() && exec[pos] != '"'; ++pos) {
                if (exec[pos] == '\\' && pos + 1 < exec.size())
                    ++pos;
                program += exec[pos];
            }
        } else if (pos < exec.size()) {
            program = exec.substr(pos, exec.find(' ', pos) - pos);
        }
        return program;
    }
    return {};
}

std::string xdg_desktop_link::desktop_folder() {
    std::string home = home_folder();
    if (home.empty())
        return {};
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string dirs = (config != nullptr && *config ? std::string(config) : home + "/.config") +
                       "/user-dirs.dirs";
    std::ifstream in(dirs);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("XDG_DESKTOP_DIR=", 0) != 0)
            continue;
        std::string value = line.substr(16);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        if (is_dir(value))
            return value + "/";
    }
    if (is_dir(home + "/Desktop"))
        return home + "/Desktop/";
    // A session without a desktop folder: the home folder, never the file system's root.
    return home == "/" ? std::string() : home + "/";
}

bool xdg_desktop_link::create(const std::string& path, const desktop_entry& entry) {
    return write_whole(path, desktop_entry_text(entry), 0755);
}

bool xdg_desktop_link::remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

std::string xdg_terminal_mode::entry_path() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base = config != nullptr && *config ? config : home_folder() + "/.config";
    return base + "/autostart/ilkstation-" + station_id_ + ".desktop";
}

std::string xdg_terminal_mode::started_program() {
    std::ifstream in(entry_path(), std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return desktop_entry_program(text.str());
}

bool xdg_terminal_mode::enable(const desktop_entry& entry) {
    return write_whole(entry_path(), desktop_entry_text(entry), 0644);
}

bool xdg_terminal_mode::disable() {
    return ::unlink(entry_path().c_str()) == 0;
}

bool console_tone(int frequency_hz, int duration_ms) {
    if (frequency_hz <= 0 || duration_ms <= 0)
        return true;
    int fd = ::open("/dev/console", O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // KDMKTONE: low word the period in clock ticks (1193180 Hz), high word the milliseconds.
    unsigned long arg = (static_cast<unsigned long>(duration_ms & 0xFFFF) << 16) |
                        ((1193180 / frequency_hz) & 0xFFFF);
    bool ok = ::ioctl(fd, KDMKTONE, arg) == 0;
    ::close(fd);
    return ok;
}

} // namespace nxkit
