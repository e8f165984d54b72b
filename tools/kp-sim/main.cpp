// kp-sim: a controlled point on loopback for tests, benchmarks and the demo.
// Usage and the scenario format: docs/kp-sim.md.

#include "platform/close_signals.h"
#include "tools/kp-sim/serial_station.h"
#include "tools/kp-sim/simulator.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sstream>
#include <unistd.h>

using namespace nxkit::kp_sim;

namespace {

const char* usage_text =
    "usage: kp-sim [-v] [--scenario FILE] [--endpoint ADDR:PORT] [--ca N] [--object SPEC]...\n"
    "              [--period MS] [--burst N] [--fault MODE]\n"
    "              [--tls-cert FILE --tls-key FILE [--tls-ca FILE] [--tls-crl FILE]\n"
    "               [--tls-max 1.2|1.3]]\n"
    "              [--serial DEVICE|pty [--baud N] [--mode strict|lenient] [--link ADDR]...]\n"
    "Every --keyword VALUE is a scenario directive; see docs/kp-sim.md.\n"
    "Commands on standard input: set IOA VALUE[/QQ], change [N], fault MODE [LINK],\n"
    "form sq|list, test on|off, timetag valid|iv|bad, asdu HEX..., drop, quit.\n";

void print_line(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool to_int(const std::string& text, int& out, int base = 10) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out, base);
    return !text.empty() && ec == std::errc() && ptr == end;
}

// One command line from standard input; false when the simulator is to end.
bool run_command(const std::string& line, std::vector<std::unique_ptr<endpoint>>& endpoints,
                 std::vector<std::unique_ptr<serial_station>>& serials) {
    std::istringstream words(line);
    std::string command;
    std::string first;
    std::string second;
    if (!(words >> command))
        return true;
    words >> first >> second;
    bool ok = true;
    if (command == "quit") {
        print_line("ok quit");
        return false;
    } else if (command == "drop") {
        for (auto& e : endpoints)
            e->drop_connections();
    } else if (command == "change") {
        int count = 1;
        ok = first.empty() || (to_int(first, count) && count > 0);
        if (ok) {
            for (auto& e : endpoints)
                e->change(count);
            for (auto& l : serials)
                l->change(count);
        }
    } else if (command == "fault") {
        fault f;
        int link = -1;
        ok = parse_fault(first, f) && (second.empty() || (to_int(second, link) && link >= 0));
        // A link address narrows the fault to that station of the serial lines.
        if (ok && link < 0)
            for (auto& e : endpoints)
                e->set_fault(f);
        if (ok)
            for (auto& l : serials)
                l->set_fault(f, link);
    } else if (is_form_keyword(command)) {
        std::string error;
        for (auto& e : endpoints)
            ok = ok && apply_form(e->form(), command, first, error);
        for (auto& l : serials)
            ok = ok && apply_form(l->form(), command, first, error);
    } else if (command == "asdu") {
        // The rest of the line, octet by octet.
        std::string rest;
        std::getline(words, rest);
        bytes asdu;
        ok = parse_hex(first + " " + second + rest, asdu) && asdu.size() >= 4;
        if (ok) {
            for (auto& e : endpoints)
                e->send_asdu(asdu);
            for (auto& l : serials)
                l->send_asdu(asdu);
        }
    } else if (command == "set") {
        int ioa = 0;
        double value = 0;
        int quality = -1;
        std::string value_text = second;
        if (auto slash = value_text.find('/'); slash != std::string::npos) {
            ok = to_int(value_text.substr(slash + 1), quality, 16);
            value_text.resize(slash);
        }
        ok = ok && to_int(first, ioa) && parse_value(value_text, value);
        bool any = false;
        if (ok) {
            for (auto& e : endpoints)
                any = e->set(ioa, value, quality) || any;
            for (auto& l : serials)
                any = l->set(ioa, value, quality) || any;
        }
        ok = ok && any;
    } else {
        ok = false;
    }
    print_line((ok ? "ok " : "error ") + line);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    scenario s;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(usage_text, stdout);
            return 0;
        }
        if (arg == "-v" || arg == "--verbose") {
            s.verbose = true;
            continue;
        }
        std::string error;
        if (arg.rfind("--", 0) != 0 || i + 1 >= argc) {
            std::fprintf(stderr, "kp-sim: unexpected argument %s\n%s", arg.c_str(), usage_text);
            return 2;
        }
        if (!apply_directive(s, arg.substr(2), argv[++i], error)) {
            std::fprintf(stderr, "kp-sim: %s\n", error.c_str());
            return 2;
        }
    }
    if (s.endpoints.empty() && s.serials.empty())
        s.endpoints.push_back(make_endpoint());

    std::signal(SIGPIPE, SIG_IGN);
    int close_fd = nxkit::install_close_signals();
    if (close_fd < 0) {
        std::fprintf(stderr, "kp-sim: cannot watch signals\n");
        return 2;
    }

    std::shared_ptr<nxkit::tls_context> tls;
    if (!s.tls_certificate.empty() || !s.tls_key.empty() || !s.tls_ca.empty()) {
        nxkit::tls_settings settings{s.tls_ca, s.tls_certificate, s.tls_key, true, {}};
        settings.crl_file = s.tls_crl;
        settings.only_tls12 = s.tls_only_12;
        std::string error;
        tls = nxkit::tls_context::create(nxkit::tls_role::server, settings, error);
        if (!tls) {
            std::fprintf(stderr, "kp-sim: %s\n", error.c_str());
            return 2;
        }
    }
    std::vector<std::unique_ptr<endpoint>> endpoints;
    for (const endpoint_config& config : s.endpoints) {
        auto e = std::make_unique<endpoint>(config, print_line, s.verbose, tls);
        std::string error;
        if (!e->open(error)) {
            std::fprintf(stderr, "kp-sim: %s\n", error.c_str());
            return 2;
        }
        print_line("listen " + e->name() + (tls ? " tls" : ""));
        endpoints.push_back(std::move(e));
    }
    std::vector<std::unique_ptr<serial_station>> serials;
    for (const serial_config& config : s.serials) {
        auto l = std::make_unique<serial_station>(config, print_line, s.verbose);
        std::string error;
        if (!l->open(error)) {
            std::fprintf(stderr, "kp-sim: %s\n", error.c_str());
            return 2;
        }
        print_line("serial " + l->name());
        serials.push_back(std::move(l));
    }
    print_line("ready");

    bool stdin_open = ::fcntl(0, F_SETFL, ::fcntl(0, F_GETFL) | O_NONBLOCK) == 0;
    std::string pending_input;
    for (;;) {
        std::vector<pollfd> fds{{close_fd, POLLIN, 0}};
        if (stdin_open)
            fds.push_back({0, POLLIN, 0});
        auto next = steady::time_point::max();
        for (auto& e : endpoints) {
            e->add_poll(fds);
            next = std::min(next, e->next_change());
        }
        for (auto& l : serials) {
            l->add_poll(fds);
            next = std::min(next, l->next_change());
        }
        int timeout = -1;
        if (next != steady::time_point::max()) {
            auto rest = std::chrono::ceil<std::chrono::milliseconds>(next - steady::now());
            timeout = rest.count() < 0 ? 0 : static_cast<int>(rest.count());
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            std::perror("kp-sim: poll");
            return 1;
        }
        if ((fds[0].revents & POLLIN) && nxkit::take_close_request(close_fd)) {
            if (s.verbose)
                print_line("stop");
            return 0;
        }
        if (stdin_open && fds[1].revents != 0) {
            char buffer[1024];
            ssize_t n = ::read(0, buffer, sizeof buffer);
            if (n <= 0 && !(n < 0 && (errno == EAGAIN || errno == EINTR))) {
                stdin_open = false;
            } else if (n > 0) {
                pending_input.append(buffer, static_cast<std::size_t>(n));
                std::size_t end;
                while ((end = pending_input.find('\n')) != std::string::npos) {
                    std::string line = pending_input.substr(0, end);
                    pending_input.erase(0, end + 1);
                    if (!line.empty() && line.back() == '\r')
                        line.pop_back();
                    if (!run_command(line, endpoints, serials))
                        return 0;
                }
            }
        }
        for (auto& e : endpoints)
            e->on_ready(fds);
        for (auto& l : serials)
            l->on_ready(fds);
        auto now = steady::now();
        for (auto& e : endpoints)
            e->on_time(now);
        for (auto& l : serials)
            l->on_time(now);
    }
}
