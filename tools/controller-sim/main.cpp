// controller-sim: the controller's file service on loopback for tests and the demo.
// Usage: docs/controller-sim.md.

#include "platform/close_signals.h"
#include "tools/controller-sim/controller_service.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <string>

using namespace nxkit::controller_sim;

namespace {

const char* usage_text =
    "usage: controller-sim [--host ADDR] [--port N] [--dir FOLDER] [--file NAME]\n"
    "                      [--fail STEP:MODE]... [--confirm-delay MS] [--idle MS]\n"
    "STEP: del, load, header, block[K], final, read[K]; MODE: silent, refuse, close, flood, nok.\n";

void print_line(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool to_int(const std::string& text, int& out) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && ec == std::errc() && ptr == end && out >= 0;
}

int bad_argument(const std::string& text) {
    std::fprintf(stderr, "controller-sim: %s\n%s", text.c_str(), usage_text);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    service_config config;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(usage_text, stdout);
            return 0;
        }
        if (i + 1 >= argc)
            return bad_argument("missing value for " + arg);
        std::string value = argv[++i];
        bool ok = true;
        if (arg == "--host") {
            config.host = value;
        } else if (arg == "--port") {
            ok = to_int(value, config.port) && config.port <= 65535;
        } else if (arg == "--dir") {
            config.dir = value;
        } else if (arg == "--file") {
            config.read_name = value;
        } else if (arg == "--confirm-delay") {
            ok = to_int(value, config.confirm_delay_ms);
        } else if (arg == "--idle") {
            ok = to_int(value, config.idle_ms) && config.idle_ms > 0;
        } else if (arg == "--fail") {
            std::string step;
            fault_mode mode = fault_mode::none;
            ok = parse_fault(value, step, mode);
            if (ok)
                config.faults[step] = mode;
        } else {
            return bad_argument("unexpected argument " + arg);
        }
        if (!ok)
            return bad_argument("invalid value for " + arg + ": " + value);
    }

    std::signal(SIGPIPE, SIG_IGN);
    int close_fd = nxkit::install_close_signals();
    if (close_fd < 0) {
        std::fprintf(stderr, "controller-sim: cannot watch signals\n");
        return 2;
    }
    controller_service service(config, print_line, close_fd);
    std::string error;
    if (!service.open(error)) {
        std::fprintf(stderr, "controller-sim: %s\n", error.c_str());
        return 2;
    }
    print_line("listen " + service.name());
    print_line("ready");
    service.run();
    return 0;
}
