#pragma once

#include <cstdint>
#include <string>

namespace nxkit {

// Days since 1899-12-30 00:00, local time. The integer part is the day, the fraction the time
// of day. Before the epoch the time of day is subtracted from the negative day number, so
// -1.25 is 1899-12-29 06:00.
using nx_time = double;

struct nx_time_fields {
    std::uint16_t year = 0;
    std::uint16_t month = 0; // 1-12
    std::uint16_t day = 0;   // 1-31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t day_of_week = 0; // 1 = Sunday ... 7 = Saturday
    std::uint16_t millisecond = 0;
};

// Local wall-clock time with its milliseconds.
nx_time time_now();

// A month outside 1-12 gives 0.
nx_time time_encode(int year, int month, int day, int hour, int minute, int second,
                    int millisecond);

// Truncated to whole milliseconds; never carries into the next second.
nx_time_fields time_decode(nx_time t);

// strftime conventions plus %V, the millisecond in three digits. Day of year and day of week
// are supplied, summer time is never flagged. A result longer than 127 characters is empty.
std::string time_format(nx_time t, const std::string& format);

// Spans, for adding offsets to an nx_time.
constexpr nx_time time_hours(double n) {
    return n / 24.0;
}
constexpr nx_time time_minutes(double n) {
    return n / 1440.0;
}
constexpr nx_time time_seconds(double n) {
    return n / 86400.0;
}
constexpr nx_time time_ms(double n) {
    return n / 86400000.0;
}

} // namespace nxkit
