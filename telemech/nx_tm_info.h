#pragma once

#include "base/nx_time.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace nxkit {

// The time of a received object, in CP56Time2a layout: octets 0-1 milliseconds within the
// minute (low first), 2 minutes (bit 7 IV), 3 hours, 4 day of month (day of week in bits 5-7),
// 5 month, 6 year within the century. `length` says what the controlled point sent: 7 for a
// CP56Time2a (or the reception time of an untimed object), 3 for a CP24Time2a, whose hour and
// date the codec has completed from the reception time.
struct nx_tm_time {
    std::array<std::uint8_t, 7> octets{};
    std::uint8_t length = 7;

    // The time stamp; IV, summer time and day of week are ignored.
    nx_time to_time() const;
    // IV clear and every field in range (a CP24Time2a: milliseconds and minute only).
    bool valid() const;
    // A record of a local time: IV, summer time and day of week 0, year less 2000.
    static nx_tm_time from_time(nx_time t);

    bool operator==(const nx_tm_time&) const = default;
};

// Step position: bits 0-6 as a 7-bit two's-complement number (-64..63).
inline int vti_value(std::uint8_t vti) {
    return (vti & 0x40) != 0 ? static_cast<int>(vti & 0x7F) - 128 : vti & 0x3F;
}
// Bit 7: the apparatus is moving.
inline bool vti_transient(std::uint8_t vti) {
    return (vti & 0x80) != 0;
}

// One decoded information object, as the codec hands a whole ASDU to the sink at once.
struct nx_tm_object {
    enum class kind : std::uint8_t { single, double_point, step, measured };
    kind what = kind::single;
    // SIQ, DIQ or VTI as received; 0 for a measured value.
    std::uint8_t octet = 0;
    // QDS of a step position or a measured value.
    std::uint8_t qds = 0;
    std::uint16_t ioa = 0;
    // A measured value: scaled or normalised (16-bit), bitstring (32-bit) or short float.
    double value = 0;
    nx_tm_time time;
    // The time is the controlled point's own tag (a valid CP24/CP56Time2a), not the reception
    // time: such changes are kept one by one (sequence of events).
    bool tagged = false;
};

// The information sink: the device that receives what a protocol stack decodes. Its operations
// are called from the worker thread; a device implements them under its own lock. This plain
// sink does nothing.
class nx_tm_info {
public:
    virtual ~nx_tm_info() = default;

    // The protocol log to open: file name (empty = none), category mode, size limit in octets.
    virtual void get_log_settings(std::string& file_name, int& mode, int& size);
    // Periods in seconds; -1 = once at start, -2 = never. Left untouched = -1 and -2.
    virtual void get_schedule(int& interrogation, int& sync);
    // The connection is lost or starts afresh: every received object is forgotten.
    virtual void link_down() {}
    // Data has arrived: the device is under control.
    virtual void link_up() {}
    // Objects have changed; the user-interface thread is to be told.
    virtual void notify() {}
    // `vti` is the octet as received (see vti_value and vti_transient).
    virtual void put_step(std::uint16_t ioa, const nx_tm_time& time, std::uint8_t vti,
                          std::uint8_t qds);
    // A measured value of any form: scaled, normalised, bitstring or short float.
    virtual void put_measured(std::uint16_t ioa, const nx_tm_time& time, double value,
                              std::uint8_t qds);
    virtual void put_double(std::uint16_t ioa, const nx_tm_time& time, std::uint8_t diq);
    virtual void put_single(std::uint16_t ioa, const nx_tm_time& time, std::uint8_t siq);
    // The objects of one ASDU in their order; hands each to its put_ operation unless a sink
    // stores them in one go (the device takes its lock once per ASDU).
    virtual void put_objects(const nx_tm_object* objects, std::size_t count);
};

} // namespace nxkit
