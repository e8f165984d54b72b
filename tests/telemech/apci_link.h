#pragma once

#include "telemech/nx_mAPDU_act.h"
#include "tests/telemech/tm_test_sink.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ilktest {

using bytes = std::vector<std::uint8_t>;

inline const bytes startdt_con = {0x68, 0x04, 0x0B, 0x00, 0x00, 0x00};
inline const bytes stopdt_con = {0x68, 0x04, 0x23, 0x00, 0x00, 0x00};
inline const bytes testfr_act = {0x68, 0x04, 0x43, 0x00, 0x00, 0x00};
inline const bytes testfr_con = {0x68, 0x04, 0x83, 0x00, 0x00, 0x00};

// An I-frame with the given sequence fields (as transmitted) around an ASDU.
inline bytes i_frame(std::uint16_t ns, std::uint16_t nr, const bytes& asdu) {
    bytes f = {0x68,
               static_cast<std::uint8_t>(asdu.size() + 4),
               static_cast<std::uint8_t>(ns & 0xFF),
               static_cast<std::uint8_t>(ns >> 8),
               static_cast<std::uint8_t>(nr & 0xFF),
               static_cast<std::uint8_t>(nr >> 8)};
    f.insert(f.end(), asdu.begin(), asdu.end());
    return f;
}

// One single point at `ioa`, common address 5.
inline bytes single_point(std::uint8_t ioa, std::uint8_t siq = 1) {
    return {1, 0x81, 3, 5, ioa, 0, siq};
}

inline bytes operator+(bytes a, const bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// An APCI layer created at clock 0 with the configured address 5 and a recording sink. By
// default the sink asks for neither interrogation nor clock synchronisation.
struct apci_link {
    recording_sink sink;
    std::unique_ptr<nxkit::nx_mAPDU_act> apdu;

    explicit apci_link(int interrogation = -2, int sync = -2, nxkit::tm_ms t2 = 0) {
        sink.give_schedule = true;
        sink.interrogation = interrogation;
        sink.sync = sync;
        apdu = std::make_unique<nxkit::nx_mAPDU_act>(5, sink, 3000, t2, 3000, 0);
        apdu->set_local_clock(test_local_time);
        apdu->log().set_clock(test_local_time);
    }
    bytes next(nxkit::tm_ms now) {
        std::span<const std::uint8_t> f = apdu->next_frame(now);
        return bytes(f.begin(), f.end());
    }
    bool feed(const bytes& b, nxkit::tm_ms now) { return apdu->feed(b, now); }
    // STARTDT act sent at 0, STARTDT con received at `now`.
    void start(nxkit::tm_ms now = 1) {
        next(0);
        feed(startdt_con, now);
    }
};

} // namespace ilktest
