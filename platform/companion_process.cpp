#include "platform/companion_process.h"

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace nxkit {

int start_companion(const std::string& program, const std::vector<std::string>& args,
                    const std::string& output_file) {
    if (::access(program.c_str(), X_OK) != 0)
        return -1;
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid < 0 ? -1 : static_cast<int>(pid);
    // The child: only async-signal-safe calls until exec.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent)
        ::_exit(0); // the parent ended before the death signal was armed
    const int out = ::open(output_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out >= 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
    }
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (in >= 0)
        ::dup2(in, STDIN_FILENO);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

} // namespace nxkit
