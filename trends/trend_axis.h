#pragma once

// Ticks and labels of a trend's axes. Plain functions: the window, the printout and the
// tests compute the same ones.

#include <cstdint>
#include <string>
#include <vector>

namespace nxkit {

struct time_tick {
    std::int64_t time_ms = 0; // UTC
    int x = 0;                // from the plot's left edge
    std::string label;
};

// The local calendar parts of a time (UTC milliseconds plus the local offset).
struct local_parts {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
local_parts local_time_parts(std::int64_t time_ms, std::int64_t utc_offset_ms);

// The labelled ticks of the time axis over [from_ms, to_ms] drawn `width` pixels wide, at
// least `min_spacing` pixels apart, on round local times (1 s up to 30 days). Labels:
// "HH:MM:SS" below a minute's step, "HH:MM" below a day's, "DD.MM" for a day and more and
// at local midnight.
std::vector<time_tick> time_ticks(std::int64_t from_ms, std::int64_t to_ms, int width,
                                  std::int64_t utc_offset_ms, int min_spacing = 80);

// "DD.MM.YYYY HH:MM:SS" local, for the cursor and the range line.
std::string trend_time_text(std::int64_t time_ms, std::int64_t utc_offset_ms);

struct value_tick {
    double value = 0;
    std::string label;
};

// Ticks of the value axis on steps of 1, 2 or 5 times a power of ten, at least `min_spacing`
// pixels apart over `height`; labels with the decimals the step needs.
std::vector<value_tick> value_ticks(double lo, double hi, int height, int min_spacing = 30);

// A value as the axis and the cursor show it: up to `decimals` decimals, no "-0".
std::string trend_value_text(double value, int decimals);

// The value range drawn for data between `lo` and `hi`: 5 % spare on both sides; a flat
// line gets one unit (or a tenth of its size) on either side.
void padded_range(double& lo, double& hi);

} // namespace nxkit
