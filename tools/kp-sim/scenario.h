#pragma once

#include "tools/kp-sim/frames.h"

#include <string>
#include <vector>

namespace nxkit::kp_sim {

// What a controlled point does wrong, for fault tests.
enum class fault_mode {
    none,
    refuse,
    silent,
    close,
    bad_start,
    skip_seq,
    other_ca,
    // Serial stations only.
    bad_crc,
    noise,
    nack
};

struct fault {
    fault_mode mode = fault_mode::none;
    int common_address = 0; // for other_ca
};

// One IEC 101 secondary station (link address) on a serial line.
struct link_config {
    int address = 1;
    int common_address = 1;
    std::vector<info_object> objects;
};

// A serial line with its secondary stations.
struct serial_config {
    // A device path, or "pty": a pseudo-terminal pair is made and its other end named.
    std::string device;
    int baud = 9600;
    // Follow IEC 60870-5-2 to the letter: "no data" as FC 9 with ACD, repetitions answered
    // with the previous answer.
    bool strict = false;
    std::vector<link_config> links;
    int period_ms = 0;
    int burst = 1;
    fault initial_fault;
    send_form form;
    // The largest ASDU of a variable frame (L = ASDU + 2, at most 255).
    int asdu_max = 247;
};

struct endpoint_config {
    std::string host;
    int port = 0;
    int common_address = 1;
    std::vector<info_object> objects;
    int period_ms = 0; // 0: no periodic change
    int burst = 1;     // objects changed per period
    fault initial_fault;
    send_form form;
    int k = 12; // I-frames sent before an acknowledgement is awaited
};

// 127.0.0.1:2404 unless told otherwise, common address 1, no objects.
endpoint_config make_endpoint(const std::string& host = "127.0.0.1", int port = 2404);

struct scenario {
    std::vector<endpoint_config> endpoints;
    std::vector<serial_config> serials;
    // Whether ca, object, period, burst and fault apply to the last serial line.
    bool serial_current = false;
    bool verbose = false;
    // TLS for every endpoint when a certificate is given; with a CA file, clients must show a
    // certificate that it vouches for.
    std::string tls_certificate;
    std::string tls_key;
    std::string tls_ca;
    // Revocation lists for the clients' certificates; TLS 1.2 as the highest version.
    std::string tls_crl;
    bool tls_only_12 = false;
};

// "none", "refuse", "silent", "close", "bad-start", "skip-seq", "ca=N", "bad-crc", "noise",
// "nack"; false when unknown.
bool parse_fault(const std::string& text, fault& out);

// A decimal number (a fraction only for short floats); false when malformed.
bool parse_value(const std::string& text, double& out);

// "TYPE:IOA=VALUE", "TYPE:IOA-IOA=VALUE" (a range), each optionally followed by "/QQ" (the
// quality octet in hexadecimal). False when malformed or out of range.
bool parse_objects(const std::string& text, std::vector<info_object>& out);

// "form sq|list", "test on|off", "timetag valid|iv|bad"; false when `keyword` is none of them
// or the argument is wrong (then `error` says so).
bool apply_form(send_form& form, const std::string& keyword, const std::string& argument,
                std::string& error);
bool is_form_keyword(const std::string& keyword);

// One directive ("endpoint", "ca", "object", "period", "burst", "fault", "verbose",
// "scenario", and for serial lines "serial", "link", "baud", "mode"); directives before the
// first endpoint or serial line open 127.0.0.1:2404. On failure `error`
// says why.
bool apply_directive(scenario& s, const std::string& keyword, const std::string& argument,
                     std::string& error);

// A scenario file: one directive per line, '#' starts a comment.
bool load_scenario_file(scenario& s, const std::string& path, std::string& error);

} // namespace nxkit::kp_sim
