#pragma once

#include "platform/tcp_socket.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace nxkit::controller_sim {

// How a step of the exchange goes wrong on purpose.
enum class fault_mode {
    none,
    silent, // no answer at all
    refuse, // an answer without "OK" (a read step: "ERROR" and "END" in one answer)
    close,  // the connection is closed instead of answering
    flood,  // an answer of 10000 octets
    nok,    // "NOK" instead of "OK": holds the letters, yet is a refusal
};

struct service_config {
    std::string host = "127.0.0.1";
    int port = 10000;
    std::string dir = "./"; // with a trailing '/'
    std::string read_name = "conf.ini";
    int confirm_delay_ms = 100; // before the final confirmation of a write
    int idle_ms = 60000;        // a silent client is dropped after this
    // Step name ("del", "load", "header", "block<k>", "final", "read<k>") -> fault.
    std::map<std::string, fault_mode> faults;
};

// "STEP:MODE" as given to --fail; false when either part is unknown.
bool parse_fault(const std::string& text, std::string& step, fault_mode& mode);

// CRC-16/XMODEM of the octets up to the first zero octet, as the header carries it.
std::uint16_t file_crc(std::string_view bytes);

// The controller's file service on one listening socket, one client at a time. Events are
// printed as lines through `print`; a byte on `stop_fd` ends every wait.
class controller_service {
public:
    using printer = std::function<void(const std::string&)>;

    controller_service(service_config config, printer print, int stop_fd);

    // Binds and listens; false with the reason in `error`. name() is then "ADDR:PORT".
    bool open(std::string& error);
    const std::string& name() const { return name_; }

    // Serves clients until the stop descriptor becomes readable.
    void run();

private:
    enum class wait { ready, closed, stopped };

    void serve(tcp_socket& client);
    // Appends to the input until it holds `count` octets.
    wait fill(tcp_socket& client, std::size_t count);
    wait read_exact(tcp_socket& client, std::size_t count, std::string& out);
    wait read_command(tcp_socket& client, std::string& out);
    // Sends `text` unless the step is to fail; false when the connection is to end.
    bool answer(tcp_socket& client, const std::string& step, const std::string& text);
    bool serve_read(tcp_socket& client, const std::string& request, int& next_line, int count);
    bool serve_write(tcp_socket& client, const std::string& command);

    service_config config_;
    printer print_;
    int stop_fd_;
    tcp_socket listener_;
    std::string name_;
    std::string input_;
};

} // namespace nxkit::controller_sim
