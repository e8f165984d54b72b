#include "tools/kp-sim/scenario.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace nxkit::kp_sim {

namespace {

bool to_int(const std::string& text, int& out, int base = 10) {
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out, base);
    return ec == std::errc() && ptr == end;
}

bool is_loopback(const std::string& host) {
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) != 1)
        return false;
    return (ntohl(address.s_addr) >> 24) == 127;
}

endpoint_config& current(scenario& s) {
    if (s.endpoints.empty())
        s.endpoints.push_back(make_endpoint());
    return s.endpoints.back();
}

// The station that "ca" and "object" describe on the current serial line; a line without a
// "link" yet gets link address 1.
link_config& current_link(serial_config& line) {
    if (line.links.empty())
        line.links.emplace_back();
    return line.links.back();
}

// "ca", "object", "period", "burst" and "fault" of a serial line.
bool apply_serial(serial_config& line, const std::string& keyword, const std::string& argument,
                  std::string& error) {
    int number = 0;
    if (keyword == "link") {
        if (!to_int(argument, number) || number < 0 || number > 255) {
            error = "bad link address " + argument;
            return false;
        }
        link_config link;
        link.address = number;
        link.common_address = number;
        line.links.push_back(link);
    } else if (keyword == "ca") {
        if (!to_int(argument, number) || number < 0 || number > 255) {
            error = "bad common address " + argument;
            return false;
        }
        current_link(line).common_address = number;
    } else if (keyword == "object") {
        if (!parse_objects(argument, current_link(line).objects)) {
            error = "bad object " + argument;
            return false;
        }
    } else if (keyword == "baud") {
        if (!to_int(argument, number) || number <= 0) {
            error = "bad baud rate " + argument;
            return false;
        }
        line.baud = number;
    } else if (keyword == "mode") {
        if (argument != "strict" && argument != "lenient") {
            error = "bad mode " + argument + " (strict or lenient)";
            return false;
        }
        line.strict = argument == "strict";
    } else if (keyword == "period") {
        if (!to_int(argument, number) || number < 0) {
            error = "bad period " + argument;
            return false;
        }
        line.period_ms = number;
    } else if (keyword == "burst") {
        if (!to_int(argument, number) || number < 1) {
            error = "bad burst " + argument;
            return false;
        }
        line.burst = number;
    } else if (keyword == "fault") {
        if (!parse_fault(argument, line.initial_fault)) {
            error = "bad fault " + argument;
            return false;
        }
    } else if (is_form_keyword(keyword)) {
        return apply_form(line.form, keyword, argument, error);
    } else if (keyword == "asdu-max") {
        if (!to_int(argument, number) || number < 8 || number > 253) {
            error = "bad asdu-max " + argument + " (8..253)";
            return false;
        }
        line.asdu_max = number;
    } else {
        error = keyword + " does not apply to a serial line";
        return false;
    }
    return true;
}

} // namespace

endpoint_config make_endpoint(const std::string& host, int port) {
    endpoint_config e;
    e.host = host;
    e.port = port;
    return e;
}

bool parse_fault(const std::string& text, fault& out) {
    static const std::pair<const char*, fault_mode> names[] = {{"none", fault_mode::none},
                                                               {"refuse", fault_mode::refuse},
                                                               {"silent", fault_mode::silent},
                                                               {"close", fault_mode::close},
                                                               {"bad-start", fault_mode::bad_start},
                                                               {"skip-seq", fault_mode::skip_seq},
                                                               {"bad-crc", fault_mode::bad_crc},
                                                               {"noise", fault_mode::noise},
                                                               {"nack", fault_mode::nack}};
    for (const auto& [name, mode] : names) {
        if (text == name) {
            out = fault{mode, 0};
            return true;
        }
    }
    int ca = 0;
    if (text.rfind("ca=", 0) == 0 && to_int(text.substr(3), ca) && ca >= 0 && ca <= 255) {
        out = fault{fault_mode::other_ca, ca};
        return true;
    }
    return false;
}

bool is_form_keyword(const std::string& keyword) {
    return keyword == "form" || keyword == "test" || keyword == "timetag";
}

bool apply_form(send_form& form, const std::string& keyword, const std::string& argument,
                std::string& error) {
    if (keyword == "form" && (argument == "sq" || argument == "list")) {
        form.list = argument == "list";
    } else if (keyword == "test" && (argument == "on" || argument == "off")) {
        form.test = argument == "on";
    } else if (keyword == "timetag" && argument == "valid") {
        form.tag = time_tag::valid;
    } else if (keyword == "timetag" && argument == "iv") {
        form.tag = time_tag::invalid_bit;
    } else if (keyword == "timetag" && argument == "bad") {
        form.tag = time_tag::bad_fields;
    } else {
        error = "bad " + keyword + " " + argument;
        return false;
    }
    return true;
}

bool parse_value(const std::string& text, double& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

bool parse_objects(const std::string& text, std::vector<info_object>& out) {
    auto colon = text.find(':');
    auto equals = text.find('=');
    if (colon == std::string::npos || equals == std::string::npos || equals < colon)
        return false;
    std::string value_text = text.substr(equals + 1);
    int quality = 0;
    if (auto slash = value_text.find('/'); slash != std::string::npos) {
        if (!to_int(value_text.substr(slash + 1), quality, 16) || quality < 0 || quality > 255)
            return false;
        value_text.resize(slash);
    }
    std::string addresses = text.substr(colon + 1, equals - colon - 1);
    int first = 0;
    int last = 0;
    if (auto dash = addresses.find('-'); dash != std::string::npos) {
        if (!to_int(addresses.substr(0, dash), first) || !to_int(addresses.substr(dash + 1), last))
            return false;
    } else if (!to_int(addresses, first)) {
        return false;
    } else {
        last = first;
    }
    int type = 0;
    double value = 0;
    if (!to_int(text.substr(0, colon), type) || !is_supported(type) ||
        !parse_value(value_text, value) || !value_fits(type, value) || first < 0 || last > 65535 ||
        last < first)
        return false;
    cp56 now = cp56_now();
    for (int ioa = first; ioa <= last; ++ioa)
        out.push_back(info_object{type, ioa, value, quality, now});
    return true;
}

bool apply_directive(scenario& s, const std::string& keyword, const std::string& argument,
                     std::string& error) {
    int number = 0;
    if (keyword == "verbose") {
        s.verbose = true;
    } else if (keyword == "scenario") {
        return load_scenario_file(s, argument, error);
    } else if (keyword == "tls-cert" || keyword == "tls-key" || keyword == "tls-ca" ||
               keyword == "tls-crl") {
        if (argument.empty()) {
            error = keyword + " needs a file";
            return false;
        }
        std::string& target = keyword == "tls-cert"  ? s.tls_certificate
                              : keyword == "tls-key" ? s.tls_key
                              : keyword == "tls-crl" ? s.tls_crl
                                                     : s.tls_ca;
        target = argument;
    } else if (keyword == "tls-max") {
        if (argument != "1.2" && argument != "1.3") {
            error = "tls-max is 1.2 or 1.3";
            return false;
        }
        s.tls_only_12 = argument == "1.2";
    } else if (keyword == "serial") {
        if (argument.empty()) {
            error = "serial needs a device or pty";
            return false;
        }
        serial_config line;
        line.device = argument;
        s.serials.push_back(line);
        s.serial_current = true;
    } else if (s.serial_current && keyword != "endpoint") {
        return apply_serial(s.serials.back(), keyword, argument, error);
    } else if (keyword == "link" || keyword == "baud" || keyword == "mode") {
        error = keyword + " needs a serial line first";
        return false;
    } else if (keyword == "endpoint") {
        endpoint_config e = make_endpoint(argument);
        if (auto colon = argument.rfind(':'); colon != std::string::npos) {
            e.host = argument.substr(0, colon);
            if (!to_int(argument.substr(colon + 1), e.port) || e.port < 0 || e.port > 65535) {
                error = "bad port in endpoint " + argument;
                return false;
            }
        }
        if (!is_loopback(e.host)) {
            error = "only loopback addresses (127.x.x.x) are served: " + argument;
            return false;
        }
        s.endpoints.push_back(e);
        s.serial_current = false;
    } else if (keyword == "ca") {
        if (!to_int(argument, number) || number < 0 || number > 255) {
            error = "bad common address " + argument;
            return false;
        }
        current(s).common_address = number;
    } else if (keyword == "object") {
        if (!parse_objects(argument, current(s).objects)) {
            error = "bad object " + argument;
            return false;
        }
    } else if (keyword == "period") {
        if (!to_int(argument, number) || number < 0) {
            error = "bad period " + argument;
            return false;
        }
        current(s).period_ms = number;
    } else if (keyword == "burst") {
        if (!to_int(argument, number) || number < 1) {
            error = "bad burst " + argument;
            return false;
        }
        current(s).burst = number;
    } else if (keyword == "fault") {
        if (!parse_fault(argument, current(s).initial_fault)) {
            error = "bad fault " + argument;
            return false;
        }
    } else if (is_form_keyword(keyword)) {
        return apply_form(current(s).form, keyword, argument, error);
    } else if (keyword == "k") {
        if (!to_int(argument, number) || number < 1 || number > 32767) {
            error = "bad k " + argument;
            return false;
        }
        current(s).k = number;
    } else {
        error = "unknown directive " + keyword;
        return false;
    }
    return true;
}

bool load_scenario_file(scenario& s, const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (auto hash = line.find('#'); hash != std::string::npos)
            line.resize(hash);
        std::istringstream words(line);
        std::string keyword;
        std::string argument;
        std::string extra;
        if (!(words >> keyword))
            continue;
        words >> argument;
        if (words >> extra) {
            error = path + ":" + std::to_string(number) + ": one argument expected";
            return false;
        }
        if (!apply_directive(s, keyword, argument, error)) {
            error = path + ":" + std::to_string(number) + ": " + error;
            return false;
        }
    }
    return true;
}

} // namespace nxkit::kp_sim
