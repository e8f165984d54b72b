#pragma once

#include "telemech/nx_mCANAL101.h"
#include "tests/support/test_support.h"
#include "tests/telemech/tm_test_sink.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ilktest {

using frame = std::vector<std::uint8_t>;

// A fixed frame from a controlled point: 10 C A CS 16.
inline frame fixed(std::uint8_t control, std::uint8_t address = 5) {
    return {0x10, control, address, static_cast<std::uint8_t>(control + address), 0x16};
}

// A variable frame: 68 L L 68 C A ASDU CS 16.
inline frame variable(std::uint8_t control, std::uint8_t address, const frame& asdu) {
    const auto length = static_cast<std::uint8_t>(asdu.size() + 2);
    frame f;
    f.reserve(asdu.size() + 8);
    for (std::uint8_t b :
         {std::uint8_t{0x68}, length, length, std::uint8_t{0x68}, control, address})
        f.push_back(b);
    for (std::uint8_t b : asdu)
        f.push_back(b);
    std::uint8_t sum = static_cast<std::uint8_t>(control + address);
    for (std::uint8_t b : asdu)
        sum = static_cast<std::uint8_t>(sum + b);
    f.push_back(sum);
    f.push_back(0x16);
    return f;
}

inline const frame e5 = {0xE5};

// A link to the controlled point with address 5 at 9600 baud, created at clock 0, whose
// protocol log (every category) is the file p.log in a folder of its own.
struct link101 {
    recording_sink sink;
    temp_dir dir;
    std::unique_ptr<nxkit::nx_mCANAL101> link;

    explicit link101(int interrogation = -2, int sync = -2, int baud = 9600,
                     int mode = nxkit::tm_all) {
        sink.give_schedule = true;
        sink.interrogation = interrogation;
        sink.sync = sync;
        link = std::make_unique<nxkit::nx_mCANAL101>(5, sink, baud, 0);
        link->set_local_clock(test_local_time);
        link->log().set_clock(test_local_time);
        link->log().open(dir.path() + "p.log", mode, 1000000);
    }
    frame next(nxkit::tm_ms now) {
        std::span<const std::uint8_t> f = link->next_frame(now);
        return frame(f.begin(), f.end());
    }
    bool feed(const frame& f, nxkit::tm_ms now) { return link->feed(f, now); }
    std::string log_text() const { return read_bytes(dir.path() + "p.log"); }

    // Status request, FC 11, reset, ACK: the link is up and asks for class 2 next.
    void start_up(nxkit::tm_ms now = 0) {
        next(now);
        feed(fixed(0x0B), now + 1);
        next(now + 2);
        feed(e5, now + 3);
    }
};

} // namespace ilktest
