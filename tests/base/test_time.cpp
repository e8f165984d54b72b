#include "base/nx_time.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace nxkit;

namespace {

void expect_fields(nx_time t, int y, int mo, int d, int h, int mi, int s, int ms, int dow) {
    nx_time_fields f = time_decode(t);
    EXPECT_EQ(f.year, y) << t;
    EXPECT_EQ(f.month, mo) << t;
    EXPECT_EQ(f.day, d) << t;
    EXPECT_EQ(f.hour, h) << t;
    EXPECT_EQ(f.minute, mi) << t;
    EXPECT_EQ(f.second, s) << t;
    EXPECT_EQ(f.millisecond, ms) << t;
    EXPECT_EQ(f.day_of_week, dow) << t;
}

} // namespace

TEST(TimeEncode, KnownDayNumbers) {
    EXPECT_EQ(time_encode(1899, 12, 30, 0, 0, 0, 0), 0.0);
    EXPECT_EQ(time_encode(1900, 1, 1, 12, 0, 0, 0), 2.5);
    EXPECT_EQ(time_encode(2000, 3, 1, 0, 0, 0, 0), 36586.0);
    EXPECT_EQ(time_encode(2000, 1, 1, 0, 0, 0, 0), 36526.0);
    EXPECT_EQ(time_encode(2000, 2, 29, 0, 0, 0, 0), 36585.0);
    EXPECT_EQ(time_encode(1900, 3, 1, 0, 0, 0, 0), 61.0); // 1900 is no leap year
    EXPECT_EQ(time_encode(2024, 1, 1, 0, 0, 0, 0), 45292.0);
    EXPECT_EQ(time_encode(1, 1, 1, 0, 0, 0, 0), -693593.0);
}

TEST(TimeEncode, BeforeEpochSubtractsTimeOfDay) {
    EXPECT_EQ(time_encode(1899, 12, 29, 6, 0, 0, 0), -1.25);
    EXPECT_EQ(time_encode(1899, 12, 28, 18, 0, 0, 0), -2.75);
}

TEST(TimeEncode, TimeOfDayFraction) {
    EXPECT_DOUBLE_EQ(time_encode(1899, 12, 30, 1, 0, 0, 0), 1.0 / 24);
    EXPECT_DOUBLE_EQ(time_encode(1899, 12, 30, 0, 0, 0, 1), 1.0 / 86400000);
    EXPECT_DOUBLE_EQ(time_encode(1899, 12, 30, 0, 1, 1, 0), 61.0 / 86400);
}

TEST(TimeDecode, CalendarAndWeekday) {
    expect_fields(0.0, 1899, 12, 30, 0, 0, 0, 0, 7); // a Saturday
    expect_fields(2.5, 1900, 1, 1, 12, 0, 0, 0, 2);
    expect_fields(36586.0, 2000, 3, 1, 0, 0, 0, 0, 4);
    expect_fields(36585.0, 2000, 2, 29, 0, 0, 0, 0, 3);
    expect_fields(time_encode(2024, 12, 31, 23, 59, 59, 42), 2024, 12, 31, 23, 59, 59, 42, 3);
    expect_fields(time_encode(1, 1, 1, 0, 0, 0, 0), 1, 1, 1, 0, 0, 0, 0, 2);
    expect_fields(time_encode(2400, 12, 31, 0, 0, 0, 0), 2400, 12, 31, 0, 0, 0, 0, 1);
}

TEST(TimeDecode, BeforeEpoch) {
    expect_fields(-1.25, 1899, 12, 29, 6, 0, 0, 0, 6);
    expect_fields(-2.75, 1899, 12, 28, 18, 0, 0, 0, 5);
    expect_fields(time_encode(1812, 6, 24, 13, 45, 10, 500), 1812, 6, 24, 13, 45, 10, 500, 4);
}

TEST(TimeDecode, RoundTripsEveryMillisecondPattern) {
    // Representation error must never turn .700 into .699 or carry into the next second.
    for (int year : {1600, 1899, 1900, 2000, 2024, 2099, 9999}) {
        for (int ms : {0, 1, 7, 42, 123, 500, 699, 700, 998, 999}) {
            nx_time t = time_encode(year, 2, 28, 23, 59, 59, ms);
            nx_time_fields f = time_decode(t);
            EXPECT_EQ(f.year, year);
            EXPECT_EQ(f.day, 28);
            EXPECT_EQ(f.second, 59);
            EXPECT_EQ(f.millisecond, ms) << year;
        }
    }
}

TEST(TimeDecode, TruncatesBelowOneMillisecond) {
    nx_time t = time_encode(2024, 5, 5, 10, 0, 0, 0) + time_ms(0.6);
    EXPECT_EQ(time_decode(t).millisecond, 0);
    t = time_encode(2024, 5, 5, 23, 59, 59, 999) + time_ms(0.9);
    nx_time_fields f = time_decode(t);
    EXPECT_EQ(f.day, 5);
    EXPECT_EQ(f.hour, 23);
    EXPECT_EQ(f.millisecond, 999);
}

TEST(TimeFormat, LogStampAndNoCarry) {
    const char* stamp = "%m.%d %H:%M:%S.%V";
    EXPECT_EQ(time_format(time_encode(2024, 12, 31, 23, 59, 59, 42), stamp), "12.31 23:59:59.042");
    EXPECT_EQ(time_format(time_encode(2024, 12, 31, 23, 59, 59, 700), stamp), "12.31 23:59:59.700");
    EXPECT_EQ(time_format(time_encode(2024, 1, 2, 3, 4, 5, 6), "_%y%m%d%H%M%S"), "_240102030405");
}

TEST(TimeFormat, SuppliedDayOfYearAndWeekday) {
    nx_time t = time_encode(2024, 12, 31, 8, 0, 0, 0);
    EXPECT_EQ(time_format(t, "%j %a %A %Y"), "366 Tue Tuesday 2024");
    EXPECT_EQ(time_format(time_encode(2023, 3, 1, 0, 0, 0, 0), "%j %w"), "060 3");
}

TEST(TimeFormat, MillisecondMarkerAndLiterals) {
    nx_time t = time_encode(2024, 7, 1, 0, 0, 0, 5);
    EXPECT_EQ(time_format(t, "%V-%V"), "005-005");
    EXPECT_EQ(time_format(t, "100%% %%V"), "100% %V");
    EXPECT_EQ(time_format(t, "Дата %d.%m"), "Дата 01.07");
}

TEST(TimeFormat, ResultLimitedTo127Characters) {
    nx_time t = time_encode(2024, 7, 1, 0, 0, 0, 0);
    EXPECT_EQ(time_format(t, std::string(127, 'x')), std::string(127, 'x'));
    EXPECT_EQ(time_format(t, std::string(128, 'x')), "");
    // Characters, not bytes: 127 Cyrillic letters take 254 bytes.
    std::string cyr;
    for (int i = 0; i < 127; ++i)
        cyr += "ж";
    EXPECT_EQ(time_format(t, cyr), cyr);
    EXPECT_EQ(time_format(t, cyr + "ж"), "");
    EXPECT_EQ(time_format(t, std::string(126, 'x') + "%Y"), "");
}

TEST(TimeSpan, OffsetsCrossDaysAndLeapDays) {
    nx_time t = time_encode(2024, 2, 28, 23, 0, 0, 0) + time_hours(2);
    EXPECT_EQ(time_format(t, "%Y-%m-%d %H:%M:%S.%V"), "2024-02-29 01:00:00.000");
    t += time_minutes(1439) + time_seconds(59) + time_ms(999);
    EXPECT_EQ(time_format(t, "%Y-%m-%d %H:%M:%S.%V"), "2024-03-01 00:59:59.999");
}

TEST(TimeNow, MatchesSystemClock) {
    std::time_t before = std::time(nullptr);
    nx_time now = time_now();
    std::tm tm{};
    localtime_r(&before, &tm);
    nx_time expected = time_encode(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                                   tm.tm_min, tm.tm_sec, 0);
    EXPECT_GE(now, expected);
    EXPECT_LT(now - expected, time_seconds(5));
}
