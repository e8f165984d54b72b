#include "platform/user.h"

#include <cstdio>
#include <iostream>
#include <pwd.h>
#include <termios.h>
#include <unistd.h>

namespace nxkit {

std::string current_user_name() {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_name != nullptr && *found->pw_name != 0)
        return found->pw_name;
    return "?";
}

bool read_secret_line(const std::string& prompt, std::string& line) {
    bool terminal = isatty(STDIN_FILENO) != 0;
    termios saved{};
    if (terminal) {
        std::cerr << prompt << std::flush;
        if (tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        } else {
            terminal = false;
        }
    }
    bool got = static_cast<bool>(std::getline(std::cin, line));
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return got;
}

} // namespace nxkit
