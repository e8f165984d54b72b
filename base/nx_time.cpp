#include "base/nx_time.h"

#include "base/cp1251.h"

#include <array>
#include <cmath>
#include <ctime>
#include <limits>

namespace nxkit {

namespace {

constexpr int epoch_offset = 693959;     // day number of 0000-01-01 in the encoding below
constexpr int first_day_offset = 693593; // days from 0001-01-01 to 1899-12-30
constexpr double ms_per_day = 86400000.0;

// Days before each month in a common year; the year's own leap day is already in year / 4.
constexpr std::array<int, 12> days_before = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr std::array<int, 12> month_days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool is_leap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

} // namespace

nx_time time_now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    localtime_r(&ts.tv_sec, &tm);
    return time_encode(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                       tm.tm_sec > 59 ? 59 : tm.tm_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

nx_time time_encode(int year, int month, int day, int hour, int minute, int second,
                    int millisecond) {
    if (month < 1 || month > 12)
        return 0;
    long long days = static_cast<long long>(year) * 365 + year / 4 - year / 100 + year / 400 +
                     days_before[static_cast<size_t>(month - 1)] + day - epoch_offset;
    if (is_leap(year) && month <= 2)
        --days;
    double fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0 + millisecond / ms_per_day;
    double whole = static_cast<double>(days);
    return days < 0 ? whole - fraction : whole + fraction;
}

nx_time_fields time_decode(nx_time t) {
    nx_time_fields f;
    if (!std::isfinite(t))
        return f;
    double whole = std::trunc(t);
    double fraction = std::fabs(t - whole);

    // The stored value is the nearest double to the encoded time, which may lie a hair below
    // it; allow a couple of units in the last place before truncating, but never carry.
    double ulp =
        std::nextafter(std::fabs(t), std::numeric_limits<double>::infinity()) - std::fabs(t);
    double ms_total = std::floor(fraction * ms_per_day + 2 * ulp * ms_per_day + 1e-6);
    if (ms_total > ms_per_day - 1)
        ms_total = ms_per_day - 1;
    long long ms = static_cast<long long>(ms_total);
    f.hour = static_cast<std::uint16_t>(ms / 3600000);
    f.minute = static_cast<std::uint16_t>(ms / 60000 % 60);
    f.second = static_cast<std::uint16_t>(ms / 1000 % 60);
    f.millisecond = static_cast<std::uint16_t>(ms % 1000);

    long long day_number = static_cast<long long>(whole);
    long long d = day_number + first_day_offset; // 0 is 0001-01-01
    if (d < 0 || d > 146097LL * 160)
        return nx_time_fields{};
    f.day_of_week = static_cast<std::uint16_t>(((day_number + 693958) % 7 + 7) % 7 + 1);

    long long year = 1;
    year += d / 146097 * 400;
    d %= 146097;
    long long centuries = d / 36524;
    if (centuries == 4) // the last day of a 400-year cycle
        centuries = 3;
    year += centuries * 100;
    d -= centuries * 36524;
    year += d / 1461 * 4;
    d %= 1461;
    long long years = d / 365;
    if (years == 4) // the leap day closing a 4-year cycle
        years = 3;
    year += years;
    d -= years * 365;

    int y = static_cast<int>(year);
    int month = 0;
    for (; month < 12; ++month) {
        int len = month_days[static_cast<size_t>(month)] + (month == 1 && is_leap(y) ? 1 : 0);
        if (d < len)
            break;
        d -= len;
    }
    f.year = static_cast<std::uint16_t>(y);
    f.month = static_cast<std::uint16_t>(month + 1);
    f.day = static_cast<std::uint16_t>(d + 1);
    return f;
}

std::string time_format(nx_time t, const std::string& format) {
    nx_time_fields f = time_decode(t);
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_wday = f.day_of_week - 1;
    int yday = f.day - 1;
    for (int m = 0; m + 1 < f.month; ++m)
        yday += month_days[static_cast<size_t>(m)] + (m == 1 && is_leap(f.year) ? 1 : 0);
    tm.tm_yday = yday;
    tm.tm_isdst = 0;

    char ms[4] = {static_cast<char>('0' + f.millisecond / 100),
                  static_cast<char>('0' + f.millisecond / 10 % 10),
                  static_cast<char>('0' + f.millisecond % 10), 0};
    // %V becomes the millisecond; a literal "%%" is left for strftime to handle.
    std::string pattern;
    pattern.reserve(format.size());
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == 'V') {
                pattern += ms;
                ++i;
                continue;
            }
            if (format[i + 1] == '%') {
                pattern += "%%";
                ++i;
                continue;
            }
        }
        pattern += format[i];
    }
    if (pattern.empty())
        return {};

    // 127 characters; a UTF-8 character takes up to four bytes.
    constexpr size_t max_chars = 127;
    char buf[max_chars * 4 + 1];
    size_t n = std::strftime(buf, sizeof buf, pattern.c_str(), &tm);
    std::string result(buf, n);
    if (utf8_length(result) > max_chars)
        return {};
    return result;
}

} // namespace nxkit
