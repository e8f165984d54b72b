#pragma once

#include "telemech/nx_mASDU.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

namespace nxkit {

// The IEC 60870-5-104 transport layer of the controlling station, one object per connection
// attempt. It owns no socket and reads no clock: the connection worker passes its millisecond
// reading to every call. A worker pass looks like this:
//
//     std::span<const std::uint8_t> out = apdu.next_frame(now); // at most one frame
//     if (!out.empty()) send all of out, or end the connection;
//     poll(socket and stop pipe, timeout = apdu.wait_ms(now));  // sleeps until a deadline
//     if readable:
//         std::span<std::uint8_t> space = apdu.receive_space();
//         n = recv(socket, space.data(), space.size());         // 0 or less: peer closed
//         bool keep = apdu.parse(n, now);
//         for (auto& text : apdu.take_rejected()) ERR line with text;
//         if (!keep) end the connection ("завершение соединения");
//
// feed(bytes, now) does the receive_space/parse steps for bytes held elsewhere.
// Rejected ASDUs do not escape parse: the frame is counted and acknowledged, its content is
// dropped, the following frames of the same read are processed, and the rejection texts wait
// in take_rejected().
class nx_mAPDU_act : public nx_mASDU {
public:
    // U-format functions.
    static constexpr std::uint8_t startdt_act = 0x07;
    static constexpr std::uint8_t startdt_con = 0x0B;
    static constexpr std::uint8_t stopdt_act = 0x13;
    static constexpr std::uint8_t stopdt_con = 0x23;
    static constexpr std::uint8_t testfr_act = 0x43;
    static constexpr std::uint8_t testfr_con = 0x83;
    // The largest length octet: the buffer holds 255 octets with start and length.
    static constexpr std::size_t max_length = 253;

    // The standard's default w: I-frames received before an acknowledgement goes out at once.
    static constexpr int default_w = 8;

    // t1 is how long a sent I-frame or TESTFR act may stay unconfirmed (t1_expired); t2 delays
    // the acknowledgement after the last I-frame; t3 is the silence after which a test frame
    // goes out; w I-frames unacknowledged are acknowledged without waiting for t2. Every clock
    // starts at `now`.
    nx_mAPDU_act(std::uint16_t common_address, nx_tm_info& sink, tm_ms t1, tm_ms t2, tm_ms t3,
                 tm_ms now, int w = default_w);

    // Where the next received octets go, behind those kept from the previous read.
    std::span<std::uint8_t> receive_space();
    // Processes the kept octets plus `count` new ones placed in receive_space(). False: the
    // connection has to be closed (wrong start byte, impossible length, STOPDT con).
    bool parse(std::size_t count, tm_ms now);
    // Places `bytes` into the receive buffer piece by piece and parses each piece.
    bool feed(std::span<const std::uint8_t> bytes, tm_ms now);

    // Builds at most one frame; empty when nothing is due.
    std::span<const std::uint8_t> next_frame(tm_ms now);
    // Milliseconds until next_frame has something to send (0: now). Received frames change
    // it, so ask again after every parse.
    tm_ms wait_ms(tm_ms now) const;

    // True when an I-frame sent has not been confirmed by the peer's N(R), or a TESTFR act by
    // its TESTFR con, for longer than t1: the peer is gone and the connection has to end.
    bool t1_expired(tm_ms now) const;

    // Texts of the ASDUs rejected since the last call, oldest first.
    std::vector<std::string> take_rejected();

    bool started() const { return started_; }
    std::uint16_t send_counter() const { return send_counter_; }
    std::uint16_t receive_counter() const { return receive_counter_; }
    std::uint16_t last_received_nr() const { return last_nr_; }
    tm_ms t1() const { return t1_; }
    int w() const { return w_; }
    // I-frames received since the last acknowledgement sent.
    int unacknowledged() const { return unacknowledged_; }

private:
    std::span<const std::uint8_t> build_i_frame(bool clock_sync, tm_ms now);
    std::span<const std::uint8_t> build_s_frame();
    std::span<const std::uint8_t> build_u_frame(std::uint8_t function, const char* text);
    std::span<const std::uint8_t> sent(std::size_t length, int dump_category);
    void log_received_u(const char* text);
    void confirm_sent(std::uint16_t nr);
    // When the oldest unconfirmed frame was sent (-1: nothing waits for confirmation).
    tm_ms oldest_unconfirmed() const;

    std::uint16_t last_nr_ = 0;
    std::uint16_t send_counter_ = 0;
    std::uint16_t receive_counter_ = 0;
    bool startdt_due_ = true;
    bool sequence_error_ = false;
    bool started_ = false;
    bool acknowledge_due_ = false;
    bool test_answer_due_ = false;
    tm_ms t1_ = 3000;
    tm_ms last_i_frame_ = 0;
    tm_ms t2_ = 0;
    // Last frame received, or last test frame sent: the start of the t3 silence.
    tm_ms last_frame_ = 0;
    tm_ms t3_ = 3000;
    int w_ = default_w;
    int unacknowledged_ = 0;
    std::vector<std::string> rejected_;
    // I-frames sent and not yet confirmed: their N(S) as transmitted and when they went out.
    struct sent_i_frame {
        std::uint16_t ns;
        tm_ms at;
    };
    std::deque<sent_i_frame> unconfirmed_;
    tm_ms test_sent_ = -1; // TESTFR act awaiting its con (-1: none)
};

} // namespace nxkit
