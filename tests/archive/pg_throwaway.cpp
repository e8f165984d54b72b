#include "tests/archive/pg_throwaway.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace ilktest {

namespace {

int free_port() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t n = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

} // namespace

pg_throwaway::pg_throwaway(std::string folder) : folder_(std::move(folder)) {
    if (!folder_.empty() && folder_.back() != '/')
        folder_ += '/';
    passfile_ = folder_ + "pgpass";
}

pg_throwaway::~pg_throwaway() {
    stop();
}

std::string pg_throwaway::binaries() {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string best;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        std::string bin = entry.path().string() + "/bin/";
        if (fs::exists(bin + "initdb") && fs::exists(bin + "pg_ctl") && bin > best)
            best = bin;
    }
    return best;
}

int pg_throwaway::run(const std::string& command) {
    pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0) {
            // The server refuses to run as root.
            const passwd* pw = ::getpwnam("postgres");
            if (pw == nullptr)
                pw = ::getpwnam("nobody");
            if (pw == nullptr || ::setgid(pw->pw_gid) != 0 || ::setuid(pw->pw_uid) != 0)
                ::_exit(126);
        }
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool pg_throwaway::start(std::string& error) {
    const std::string bin = binaries();
    if (bin.empty()) {
        error = "initdb/pg_ctl not installed (package postgresql)";
        return false;
    }
    if (!made_) {
        if (::geteuid() == 0) {
            const passwd* pw = ::getpwnam("postgres");
            if (pw == nullptr)
                pw = ::getpwnam("nobody");
            if (pw != nullptr) {
                // The server's user owns the folder it works in.
                if (::chown(folder_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
                    error = "chown " + folder_;
                    return false;
                }
            }
        }
        {
            std::ofstream pw(folder_ + "pw");
            pw << "secret\n";
        }
        ::chmod((folder_ + "pw").c_str(), 0644);
        if (run(bin + "initdb -D " + folder_ + "data -U " + user + " --pwfile=" + folder_ +
                "pw -A scram-sha-256 -E UTF8 --locale=C --no-sync > " + folder_ +
                "initdb.log 2>&1") != 0) {
            error = "initdb failed, see " + folder_ + "initdb.log";
            return false;
        }
        port_ = free_port();
        {
            std::ofstream pass(passfile_);
            pass << "127.0.0.1:" << port_ << ":*:" << user << ":secret\n";
        }
        ::chmod(passfile_.c_str(), 0600);
        made_ = true;
    }
    std::string options =
        "-p " + std::to_string(port_) + " -k " + folder_ + " -c listen_addresses=127.0.0.1 -F";
    if (run(bin + "pg_ctl -D " + folder_ + "data -o '" + options + "' -l " + folder_ +
            "server.log -w -t 60 start > /dev/null 2>&1") != 0) {
        error = "pg_ctl start failed, see " + folder_ + "server.log";
        return false;
    }
    running_ = true;
    return true;
}

bool pg_throwaway::stop() {
    if (!running_)
        return true;
    running_ = false;
    return run(binaries() + "pg_ctl -D " + folder_ +
               "data -m fast -w -t 60 stop > /dev/null 2>&1") == 0;
}

} // namespace ilktest
