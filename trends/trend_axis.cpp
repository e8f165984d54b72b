#include "trends/trend_axis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace nxkit {

namespace {

constexpr std::int64_t second = 1000;
constexpr std::int64_t minute = 60 * second;
constexpr std::int64_t hour = 60 * minute;
constexpr std::int64_t day = 24 * hour;

constexpr std::array<std::int64_t, 22> time_steps{
    second,  2 * second, 5 * second, 10 * second, 15 * second, 30 * second,
    minute,  2 * minute, 5 * minute, 10 * minute, 15 * minute, 30 * minute,
    hour,    2 * hour,   3 * hour,   6 * hour,    12 * hour,   day,
    2 * day, 5 * day,    10 * day,   30 * day};

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::string two(int n) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d", n);
    return buffer;
}

} // namespace

local_parts local_time_parts(std::int64_t time_ms, std::int64_t utc_offset_ms) {
    std::int64_t local = time_ms + utc_offset_ms;
    std::int64_t days = floor_div(local, day);
    std::int64_t in_day = local - days * day;
    // Civil date from a day count since 1970-01-01 (proleptic Gregorian).
    std::int64_t z = days + 719468;
    std::int64_t era = floor_div(z, 146097);
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    local_parts p;
    p.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    p.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    p.year = static_cast<int>(yoe + era * 400 + (p.month <= 2 ? 1 : 0));
    p.hour = static_cast<int>(in_day / hour);
    p.minute = static_cast<int>(in_day % hour / minute);
    p.second = static_cast<int>(in_day % minute / second);
    p.millisecond = static_cast<int>(in_day % second);
    return p;
}

std::vector<time_tick> time_ticks(std::int64_t from_ms, std::int64_t to_ms, int width,
                                  std::int64_t utc_offset_ms, int min_spacing) {
    std::vector<time_tick> ticks;
    std::int64_t span = to_ms - from_ms;
    if (span <= 0 || width < 1 || min_spacing < 1)
        return ticks;
    std::int64_t fit = std::max<std::int64_t>(1, width / min_spacing);
    std::int64_t step = time_steps.back();
    for (std::int64_t s : time_steps) {
        if (span <= fit * s) {
            step = s;
            break;
        }
    }
    // Round local times: the first multiple of the step at or after the start.
    std::int64_t first_local = floor_div(from_ms + utc_offset_ms + step - 1, step) * step;
    for (std::int64_t local = first_local; local - utc_offset_ms <= to_ms; local += step) {
        std::int64_t t = local - utc_offset_ms;
        local_parts p = local_time_parts(t, utc_offset_ms);
        bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0;
        std::string label;
        if (step >= day || midnight)
            label = two(p.day) + "." + two(p.month);
        else if (step < minute)
            label = two(p.hour) + ":" + two(p.minute) + ":" + two(p.second);
        else
            label = two(p.hour) + ":" + two(p.minute);
        int x = static_cast<int>((t - from_ms) * width / span);
        ticks.push_back({t, x, label});
    }
    return ticks;
}

std::string trend_time_text(std::int64_t time_ms, std::int64_t utc_offset_ms) {
    local_parts p = local_time_parts(time_ms, utc_offset_ms);
    return two(p.day) + "." + two(p.month) + "." + std::to_string(p.year) + " " + two(p.hour) +
           ":" + two(p.minute) + ":" + two(p.second);
}

std::string trend_value_text(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals < 0 ? 0 : decimals, value);
    std::string text = buffer;
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

std::vector<value_tick> value_ticks(double lo, double hi, int height, int min_spacing) {
    std::vector<value_tick> ticks;
    if (!(hi > lo) || height < 1 || min_spacing < 1 || !std::isfinite(hi - lo))
        return ticks;
    int fit = std::max(1, height / min_spacing);
    double raw = (hi - lo) / fit;
    double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * magnitude;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * magnitude >= raw * (1 - 1e-9)) {
            step = m * magnitude;
            break;
        }
    }
    int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    double first = std::ceil(lo / step - 1e-9);
    double last = std::floor(hi / step + 1e-9);
    for (double k = first; k <= last; k += 1) {
        double v = k * step;
        ticks.push_back({v, trend_value_text(v, decimals)});
    }
    return ticks;
}

void padded_range(double& lo, double& hi) {
    if (hi < lo)
        std::swap(lo, hi);
    if (hi == lo) {
        double spare = lo == 0 ? 1 : std::max(1.0, std::fabs(lo) / 10);
        lo -= spare;
        hi += spare;
        return;
    }
    double spare = (hi - lo) * 0.05;
    lo -= spare;
    hi += spare;
}

} // namespace nxkit
