#include "tools/controller-sim/controller_service.h"

#include "base/cp1251.h"
#include "base/files.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace nxkit::controller_sim {

namespace {

constexpr std::size_t header_size = 36;
constexpr std::size_t block_size = 1460;
constexpr std::size_t block_data = 1454;
constexpr std::size_t flood_size = 16000;
constexpr int send_limit_ms = 5000;

unsigned get_u16(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) |
           (static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8);
}

std::uint32_t get_u32(const std::string& bytes, std::size_t at) {
    return get_u16(bytes, at) | (static_cast<std::uint32_t>(get_u16(bytes, at + 2)) << 16);
}

std::string hex(const std::string& bytes) {
    std::string out;
    char octet[4];
    for (unsigned char c : bytes) {
        std::snprintf(octet, sizeof octet, out.empty() ? "%02X" : " %02X", c);
        out += octet;
    }
    return out;
}

const char* mode_name(fault_mode mode) {
    switch (mode) {
    case fault_mode::silent:
        return "silent";
    case fault_mode::refuse:
        return "refuse";
    case fault_mode::close:
        return "close";
    case fault_mode::flood:
        return "flood";
    case fault_mode::nok:
        return "nok";
    case fault_mode::none:
        break;
    }
    return "none";
}

bool known_step(const std::string& step) {
    if (step == "del" || step == "load" || step == "header" || step == "final")
        return true;
    for (const char* counted : {"block", "read"}) {
        std::string prefix = counted;
        if (step.rfind(prefix, 0) != 0)
            continue;
        std::string number = step.substr(prefix.size());
        int k = 0;
        auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), k);
        return ec == std::errc() && end == number.data() + number.size() && k > 0;
    }
    return false;
}

// The served file as lines without their line ends; false when it is missing.
bool file_lines(const std::string& path, std::vector<std::string>& lines) {
    std::string bytes;
    if (!read_file(path, bytes))
        return false;
    lines.clear();
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        std::string line = bytes.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return true;
}

} // namespace

bool parse_fault(const std::string& text, std::string& step, fault_mode& mode) {
    auto colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    step = text.substr(0, colon);
    if (step == "block" || step == "read")
        step += "1";
    std::string name = text.substr(colon + 1);
    for (fault_mode m : {fault_mode::silent, fault_mode::refuse, fault_mode::close,
                         fault_mode::flood, fault_mode::nok}) {
        if (name == mode_name(m)) {
            mode = m;
            return known_step(step);
        }
    }
    return false;
}

std::uint16_t file_crc(std::string_view bytes) {
    unsigned crc = 0;
    for (char c : bytes) {
        if (c == 0)
            break;
        crc ^= static_cast<unsigned>(static_cast<unsigned char>(c)) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = ((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1) & 0xFFFF;
    }
    return static_cast<std::uint16_t>(crc);
}

controller_service::controller_service(service_config config, printer print, int stop_fd)
    : config_(std::move(config)), print_(std::move(print)), stop_fd_(stop_fd) {
    if (!config_.dir.empty() && config_.dir.back() != '/')
        config_.dir += '/';
}

bool controller_service::open(std::string& error) {
    if (!listener_.create() || !listener_.listen(config_.host, config_.port, 4)) {
        error = "cannot listen on " + config_.host + ":" + std::to_string(config_.port);
        return false;
    }
    name_ = config_.host + ":" + std::to_string(listener_.local_port());
    return true;
}

void controller_service::run() {
    for (;;) {
        pollfd fds[2] = {{stop_fd_, POLLIN, 0}, {listener_.fd(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents != 0)
            return;
        if (fds[1].revents == 0)
            continue;
        tcp_socket client = listener_.accept();
        if (!client.is_open())
            continue;
        print_("connect " + client.peer_text());
        input_.clear();
        serve(client);
        client.close();
        print_("disconnect");
    }
}

controller_service::wait controller_service::fill(tcp_socket& client, std::size_t count) {
    while (input_.size() < count) {
        if (!client.is_open())
            return wait::closed;
        pollfd fds[2] = {{stop_fd_, POLLIN, 0}, {client.fd(), POLLIN, 0}};
        int r = ::poll(fds, 2, config_.idle_ms);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || fds[0].revents != 0)
            return wait::stopped;
        if (r == 0)
            return wait::closed;
        char chunk[4096];
        long n = client.receive(chunk, sizeof chunk);
        if (n == 0 || (n < 0 && client.error() != EAGAIN && client.error() != EINTR))
            return wait::closed;
        if (n > 0)
            input_.append(chunk, static_cast<std::size_t>(n));
    }
    return wait::ready;
}

controller_service::wait controller_service::read_exact(tcp_socket& client, std::size_t count,
                                                        std::string& out) {
    wait w = fill(client, count);
    if (w == wait::ready) {
        out = input_.substr(0, count);
        input_.erase(0, count);
    }
    return w;
}

controller_service::wait controller_service::read_command(tcp_socket& client, std::string& out) {
    std::size_t end;
    while ((end = input_.find('\r')) == std::string::npos) {
        wait w = fill(client, input_.size() + 1);
        if (w != wait::ready)
            return w;
    }
    out = input_.substr(0, end);
    input_.erase(0, end + 1);
    return wait::ready;
}

bool controller_service::answer(tcp_socket& client, const std::string& step,
                                const std::string& text) {
    auto found = config_.faults.find(step);
    fault_mode mode = found == config_.faults.end() ? fault_mode::none : found->second;
    std::string bytes = text;
    if (mode != fault_mode::none)
        print_("fault " + step + " " + mode_name(mode));
    switch (mode) {
    case fault_mode::silent:
        return true;
    case fault_mode::close:
        client.close();
        return false;
    case fault_mode::refuse:
        bytes = step.rfind("read", 0) == 0 ? "ERROR\r\nEND\r\n" : "ERROR " + step + "\r\n";
        break;
    case fault_mode::flood:
        bytes.assign(flood_size, 'x');
        break;
    case fault_mode::nok:
        bytes = "NOK\r\n";
        break;
    case fault_mode::none:
        break;
    }
    return client.send_all(bytes.data(), bytes.size(), send_limit_ms, nullptr) == bytes.size();
}

void controller_service::serve(tcp_socket& client) {
    int next_line = 0;
    int requests = 0;
    for (;;) {
        if (fill(client, 2) != wait::ready)
            return;
        bool go_on = true;
        if (input_.compare(0, 2, "19") == 0) {
            std::string request;
            if (read_exact(client, 4, request) != wait::ready)
                return;
            go_on = serve_read(client, request, next_line, ++requests);
        } else if (input_.compare(0, 2, "33") == 0) {
            std::string command;
            if (read_command(client, command) != wait::ready)
                return;
            if (command == "33reset") {
                // The controller restarts with what it holds: the connection ends.
                print_("reset");
                return;
            }
            if (command.rfind("33load b ", 0) == 0) {
                go_on = serve_write(client, command);
            } else {
                print_("command " + command);
                go_on = answer(client, command == "33del b" ? "del" : command,
                               command == "33del b" ? "OK\r\n" : "ERROR\r\n");
            }
        } else {
            print_("unknown " + hex(input_));
            input_.clear();
            go_on = answer(client, "", "ERROR\r\n");
        }
        if (!go_on)
            return;
    }
}

bool controller_service::serve_read(tcp_socket& client, const std::string& request, int& next_line,
                                    int count) {
    print_("request " + request);
    std::string step = "read" + std::to_string(count);
    if (request == "1980")
        next_line = 0;
    else if (request != "1981")
        return answer(client, step, "ERROR\r\n");
    std::vector<std::string> lines;
    if (!file_lines(config_.dir + config_.read_name, lines))
        return answer(client, step, "ERROR\r\n");
    if (next_line >= static_cast<int>(lines.size()))
        return answer(client, step, "END\r\n");
    return answer(client, step, lines[static_cast<std::size_t>(next_line++)] + "\r\n");
}

bool controller_service::serve_write(tcp_socket& client, const std::string& command) {
    print_("command " + command);
    std::string size_text = command.substr(9);
    unsigned size = 0;
    auto [end, ec] = std::from_chars(size_text.data(), size_text.data() + size_text.size(), size);
    if (ec != std::errc() || end != size_text.data() + size_text.size() || size > 0xFFFF)
        return answer(client, "load", "ERROR load\r\n");
    if (!answer(client, "load", "OK\r\n"))
        return false;

    std::string header;
    if (read_exact(client, header_size, header) != wait::ready)
        return false;
    print_("header " + hex(header));
    std::string name = header.substr(6, 12);
    name = from_cp1251(name.substr(0, name.find('\0')));
    bool valid = header.compare(0, 4, std::string("33\0\0", 4)) == 0 &&
                 get_u16(header, 4) == 0x7188 && get_u32(header, 24) == size &&
                 get_u32(header, 28) == 0xFFFFFFFF && get_u16(header, 34) == 0xFFFF &&
                 !name.empty() && name.find('/') == std::string::npos && name != "." &&
                 name != "..";
    if (!valid)
        return answer(client, "header", "ERROR header\r\n");
    if (!answer(client, "header", "OK\r\n"))
        return false;

    std::string data;
    for (unsigned k = 1;; ++k) {
        std::string block;
        if (read_exact(client, block_size, block) != wait::ready)
            return false;
        unsigned length = get_u16(block, 4);
        print_("block " + std::to_string(get_u16(block, 2)) + " " + std::to_string(length));
        std::string step = "block" + std::to_string(k);
        if (get_u16(block, 0) != 0x3333 || get_u16(block, 2) != k || length > block_data ||
            data.size() + length > size)
            return answer(client, step, "ERROR block\r\n");
        data.append(block, 6, length);
        if (!answer(client, step, "OK\r\n"))
            return false;
        if (length < block_data)
            break;
    }

    // The controller checks what it got while the client waits for the verdict.
    pollfd stop = {stop_fd_, POLLIN, 0};
    if (::poll(&stop, 1, config_.confirm_delay_ms) > 0)
        return false;
    std::string verdict = "OK\r\n";
    if (data.size() != size)
        verdict = "ERROR size\r\n";
    else if (file_crc(data) != get_u16(header, 32))
        verdict = "ERROR crc\r\n";
    else if (!write_file_atomic(config_.dir + name, data, false))
        verdict = "ERROR store\r\n";
    else
        print_("stored " + name + " " + std::to_string(data.size()));
    if (verdict != "OK\r\n")
        print_("refused " + verdict.substr(6, verdict.size() - 8));
    return answer(client, "final", verdict);
}

} // namespace nxkit::controller_sim
