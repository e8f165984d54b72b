#pragma once

#include "tools/kp-sim/frames.h"

#include <string>
#include <vector>

namespace nxkit::kp_sim {

// What a controlled point does wrong, for fault tests.
enum class fault_mode { none, refuse, silent, close, bad_start, skip_seq, other_ca };

struct fault {
    fault_mode mode = fault_mode::none;
    int common_address = 0; // for other_ca
};

struct endpoint_config {
    std::string host;
    int port = 0;
    int common_address = 1;
    std::vector<info_object> objects;
    int period_ms = 0; // 0: no periodic change
    int burst = 1;     // objects changed per period
    fault initial_fault;
};

// 127.0.0.1:2404 unless told otherwise, common address 1, no objects.
endpoint_config make_endpoint(const std::string& host = "127.0.0.1", int port = 2404);

struct scenario {
    std::vector<endpoint_config> endpoints;
    bool verbose = false;
};

// "none", "refuse", "silent", "close", "bad-start", "skip-seq", "ca=N"; false when unknown.
bool parse_fault(const std::string& text, fault& out);

// "TYPE:IOA=VALUE", "TYPE:IOA-IOA=VALUE" (a range), each optionally followed by "/QQ" (the
// quality octet in hexadecimal). False when malformed or out of range.
bool parse_objects(const std::string& text, std::vector<info_object>& out);

// One directive ("endpoint", "ca", "object", "period", "burst", "fault", "verbose",
// "scenario"); directives before the first endpoint open 127.0.0.1:2404. On failure `error`
// says why.
bool apply_directive(scenario& s, const std::string& keyword, const std::string& argument,
                     std::string& error);

// A scenario file: one directive per line, '#' starts a comment.
bool load_scenario_file(scenario& s, const std::string& path, std::string& error);

} // namespace nxkit::kp_sim
