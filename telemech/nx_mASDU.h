#pragma once

#include "base/nx_time.h"
#include "telemech/nx_tm_info.h"
#include "telemech/nx_tm_log.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace nxkit {

// A reading of a monotonic millisecond clock. Every protocol layer takes it as an argument, so
// tests drive time and nothing here reads a clock on its own.
using tm_ms = std::int64_t;

// The application layer shared by the IEC 104 and IEC 101 stacks. One profile for both: cause
// of transmission one octet, common address one octet, object address two octets (low first).
// Decodes the monitoring ASDUs into the sink, builds station interrogation and clock
// synchronisation and keeps their schedule. The framing layers derive from it.
class nx_mASDU {
public:
    static constexpr std::size_t buffer_size = 255;
    // The receive buffer also holds the longest IEC 101 frame: 68 L L 68, L octets, CS 16.
    static constexpr std::size_t receive_size = 255 + 6;
    // Where the framing layers place the ASDU in the transmit buffer.
    static constexpr std::size_t asdu_offset = 6;
    // Schedule periods besides a positive number of milliseconds.
    static constexpr tm_ms period_at_start = -1;
    static constexpr tm_ms period_never = -2;

    using local_clock = std::function<nx_time()>;

    // Reads the schedule from the sink; both timers start at `now`.
    nx_mASDU(std::uint16_t common_address, nx_tm_info& sink, tm_ms now);
    virtual ~nx_mASDU();
    nx_mASDU(const nx_mASDU&) = delete;
    nx_mASDU& operator=(const nx_mASDU&) = delete;

    nx_tm_log& log() { return log_; }
    nx_tm_info& sink() { return sink_; }
    std::uint16_t configured_address() const { return configured_address_; }
    // The common address of the last ASDU received; 0 until one arrives.
    std::uint16_t received_address() const { return received_address_; }

    // The local wall clock: reception time of untimed objects, completion of CP24Time2a and the
    // content of clock synchronisation. time_now unless replaced.
    void set_local_clock(local_clock clock) { local_clock_ = std::move(clock); }

    // Decodes the ASDU in receive-buffer octets first..last inclusive (last < first: empty).
    // Throws nx_exception when its length does not fit its element count; then nothing of it
    // reaches the sink.
    void decode(std::size_t first, std::size_t last);
    void decode(const std::uint8_t* asdu, std::size_t size);

    // Write the command ASDU into the transmit buffer at `pos` and return its length. The text
    // goes into the protocol log line when it is open.
    std::size_t build_interrogation(std::size_t pos);
    std::size_t build_clock_sync(std::size_t pos);

    // Due when the period is not "never" and start + period < now.
    bool interrogation_due(tm_ms now) const { return interrogation_.due(now); }
    bool sync_due(tm_ms now) const { return sync_.due(now); }
    // Called when the command is sent: the timer restarts, "at start" becomes "never".
    void restart_interrogation(tm_ms now) { interrogation_.restart(now); }
    void restart_sync(tm_ms now) { sync_.restart(now); }
    tm_ms interrogation_period() const { return interrogation_.period; }
    tm_ms sync_period() const { return sync_.period; }

    const std::uint8_t* transmit_buffer() const { return tx_.data(); }

protected:
    struct timer {
        tm_ms start = 0;
        tm_ms period = period_never;
        bool due(tm_ms now) const { return period >= period_at_start && start + period < now; }
        // The first reading at which due() holds; -1 for never.
        tm_ms deadline() const { return period >= period_at_start ? start + period + 1 : -1; }
        void restart(tm_ms now);
    };

    nx_time local_now() const { return local_clock_ ? local_clock_() : time_now(); }

    // Octets kept in the receive buffer from the previous read.
    std::uint16_t kept_ = 0;
    // Start of the frame being processed, for dumps.
    const std::uint8_t* frame_ = nullptr;
    std::array<std::uint8_t, buffer_size> tx_{};
    std::array<std::uint8_t, receive_size> rx_{};
    timer interrogation_;
    timer sync_;

private:
    std::uint8_t command_address() const;
    void append(const char* format, ...) __attribute__((format(printf, 2, 3)));

    nx_tm_info& sink_;
    std::uint16_t configured_address_ = 0;
    std::uint16_t received_address_ = 0;
    nx_tm_log log_;
    local_clock local_clock_;
    std::array<char, 1024> message_{};
    // The objects of the ASDU being decoded: at most 127.
    std::array<nx_tm_object, 127> batch_{};
};

} // namespace nxkit
