#pragma once

// A PostgreSQL server of the distribution's packages in a temporary folder, for the archive's
// tests and benchmark: initdb, pg_ctl start/stop, a password in a PGPASSFILE of its own.
// Run as root it runs the server as the "postgres" (or "nobody") user, as the server insists.

#include <string>

namespace ilktest {

class pg_throwaway {
public:
    // `folder` must exist and be empty; nothing starts until start().
    explicit pg_throwaway(std::string folder);
    ~pg_throwaway();
    pg_throwaway(const pg_throwaway&) = delete;
    pg_throwaway& operator=(const pg_throwaway&) = delete;

    // The folder of initdb and pg_ctl, empty when the packages are absent.
    static std::string binaries();

    // initdb (first time) and start; false with `error` set when it did not come up.
    bool start(std::string& error);
    bool stop();

    int port() const { return port_; }
    static constexpr const char* user = "ilk";
    static constexpr const char* database = "postgres";
    // The PGPASSFILE written for the server's password (the test sets the variable).
    const std::string& passfile() const { return passfile_; }

private:
    int run(const std::string& command);

    std::string folder_;
    std::string passfile_;
    int port_ = 0;
    bool made_ = false;
    bool running_ = false;
};

} // namespace ilktest
