#pragma once

#include "telemech/nx_mASDU.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace nxkit {

// The primary station of IEC 60870-5-101 unbalanced transmission for one controlled point on a
// shared line: FT1.2 frames (fixed 10H, variable 68H, single character E5H), one-octet link
// address. Like nx_mAPDU_act it owns no line and reads no clock. The serial worker lets the
// links of a line take turns, one exchange each:
//
//     std::span<const std::uint8_t> out = link.next_frame(now);  // at most one frame
//     if (!out.empty()) write all of out;
//     do {
//         std::span<std::uint8_t> space = link.receive_space();
//         n = read(space, at most link.wait_ms(now));              // 0 when nothing came
//     } while (!link.parse(n, now));
//     if (link.link_down()) sink.link_down();
//
// An ASDU the codec rejects makes parse throw nx_exception after the frame has been counted.
class nx_mCANAL101 : public nx_mASDU {
public:
    static constexpr std::uint8_t none = 255;
    // Functions of the primary station.
    static constexpr std::uint8_t fn_reset = 0;
    static constexpr std::uint8_t fn_user_data = 3;
    static constexpr std::uint8_t fn_status = 9;
    static constexpr std::uint8_t fn_class1 = 10;
    static constexpr std::uint8_t fn_class2 = 11;
    static constexpr std::uint8_t fcb_bit = 0x20;
    static constexpr int retries = 3;

    // 900000 / baud, at least 300 ms: 300 ms at 9600 baud, 3000 ms at 300.
    static tm_ms response_timeout_for(int baud);

    nx_mCANAL101(std::uint16_t address, nx_tm_info& sink, int baud, tm_ms now);

    // Builds at most one frame; empty when nothing is to be sent now.
    std::span<const std::uint8_t> next_frame(tm_ms now);
    // Where the next received octets go, behind those kept.
    std::span<std::uint8_t> receive_space();
    // Processes the kept octets plus `count` new ones placed in receive_space(). True when the
    // exchange is over: a response was handled, a fault was found or the response time-out
    // expired (count 0). Throws nx_exception for an ASDU the codec rejects.
    bool parse(std::size_t count, tm_ms now);
    // Places `bytes` into the receive buffer piece by piece; true when an exchange ended.
    bool feed(std::span<const std::uint8_t> bytes, tm_ms now);
    // Milliseconds left of the response time-out (0 once expired). While a frame is arriving
    // the time-out runs from its last octets.
    tm_ms wait_ms(tm_ms now) const;

    // The link was (re)initialised and nothing has been received since.
    bool link_down() const { return link_down_; }
    tm_ms response_timeout() const { return response_timeout_; }
    std::uint8_t fcb() const { return fcb_; }
    std::uint8_t request_function() const { return request_; }
    std::uint8_t data_function() const { return data_; }
    std::uint8_t pending_request() const { return pending_request_; }
    std::uint8_t pending_data() const { return pending_data_; }
    // Whether the kept octets await the rest of a frame.
    std::size_t kept() const { return kept_; }

private:
    enum class outcome { incomplete, handled, fixed_fault, variable_fault, reset };

    void enter_reset_state();
    tm_ms response_deadline() const;
    outcome handle(std::size_t n);
    outcome handle_single(std::size_t n);
    outcome handle_fixed(std::size_t n);
    outcome handle_variable(std::size_t n);
    // A fault line with a dump of the offending octets.
    void fault(const char* text, std::size_t n);
    void received_text(int category, const char* text);
    void sent_text(int category, const char* text);
    std::span<const std::uint8_t> fixed_frame(std::uint8_t control, int category, const char* text);
    std::span<const std::uint8_t> user_data_frame();
    void toggle_fcb() { fcb_ ^= fcb_bit; }
    // After a class request answered: class 1 when the point has it waiting.
    void next_class(std::uint8_t control) {
        request_ = (control & 0x20) != 0 ? fn_class1 : fn_class2;
    }

    std::uint8_t link_address_;
    tm_ms response_timeout_;
    tm_ms sent_at_ = 0;
    // When the last octets arrived.
    tm_ms received_at_ = 0;
    std::uint8_t data_ = none;
    std::uint8_t pending_data_ = none;
    int data_retries_ = retries;
    std::uint8_t request_ = fn_status;
    std::uint8_t pending_request_ = none;
    int request_retries_ = retries;
    std::uint8_t fcb_ = 0;
    bool link_down_ = true;
    // The user data due is a clock synchronisation (else a station interrogation).
    bool sync_data_ = false;
};

} // namespace nxkit
