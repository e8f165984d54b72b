#include "trends/trend_axis.h"
#include "trends/trend_csv.h"

#include <gtest/gtest.h>

using namespace nxkit;

namespace {

// 2026-12-11 00:00:00 UTC.
constexpr std::int64_t day_start = 1'796'947'200'000;
constexpr std::int64_t hour = 3'600'000;
constexpr std::int64_t moscow = 3 * hour;

std::vector<std::string> labels(const std::vector<time_tick>& ticks) {
    std::vector<std::string> out;
    for (const time_tick& t : ticks)
        out.push_back(t.label);
    return out;
}

} // namespace

TEST(TrendAxis, LocalPartsOfAKnownMoment) {
    local_parts p = local_time_parts(day_start + 12 * hour + 34 * 60000 + 56789, moscow);
    EXPECT_EQ(p.year, 2026);
    EXPECT_EQ(p.month, 12);
    EXPECT_EQ(p.day, 11);
    EXPECT_EQ(p.hour, 15);
    EXPECT_EQ(p.minute, 34);
    EXPECT_EQ(p.second, 56);
    EXPECT_EQ(p.millisecond, 789);
    // Before 1970 and across a year's end.
    p = local_time_parts(-1, 0);
    EXPECT_EQ(p.year, 1969);
    EXPECT_EQ(p.month, 12);
    EXPECT_EQ(p.day, 31);
    EXPECT_EQ(p.second, 59);
    EXPECT_EQ(trend_time_text(day_start + 21 * 24 * hour + 22 * hour, moscow),
              "02.01.2027 01:00:00");
}

TEST(TrendAxis, TimeTicksOfAnHourADayAndAMinute) {
    // An hour from 12:07:30 local over 800 pixels: ticks of 10 minutes on round local times.
    std::int64_t from = day_start + 9 * hour + 7 * 60000 + 30000;
    std::vector<time_tick> ticks = time_ticks(from, from + hour, 800, moscow);
    EXPECT_EQ(labels(ticks),
              (std::vector<std::string>{"12:10", "12:20", "12:30", "12:40", "12:50", "13:00"}));
    // 12:10 is 150 s after the start: 150 / 3600 of 800 pixels.
    EXPECT_EQ(ticks.front().x, 33);
    EXPECT_EQ(ticks.front().time_ms, from + 150000);

    // A day ending at 15:00 local over 1000 pixels: every 2 hours, midnight shows its date.
    std::int64_t end = day_start + 12 * hour;
    EXPECT_EQ(labels(time_ticks(end - 24 * hour, end, 1000, moscow)),
              (std::vector<std::string>{"16:00", "18:00", "20:00", "22:00", "11.12", "02:00",
                                        "04:00", "06:00", "08:00", "10:00", "12:00", "14:00"}));
    // A week over 700 pixels: one tick a day, each at local midnight.
    EXPECT_EQ(
        labels(time_ticks(end - 7 * 24 * hour, end, 700, moscow)),
        (std::vector<std::string>{"05.12", "06.12", "07.12", "08.12", "09.12", "10.12", "11.12"}));
    // A minute over 600 pixels: seconds show.
    EXPECT_EQ(labels(time_ticks(end, end + 60000, 600, moscow)),
              (std::vector<std::string>{"15:00:00", "15:00:10", "15:00:20", "15:00:30", "15:00:40",
                                        "15:00:50", "15:01:00"}));
    EXPECT_TRUE(time_ticks(end, end, 600, moscow).empty());
}

TEST(TrendAxis, ValueTicksOnRoundStepsWithTheirDecimals) {
    auto values = [](const std::vector<value_tick>& ticks) {
        std::vector<std::string> out;
        for (const value_tick& t : ticks)
            out.push_back(t.label);
        return out;
    };
    EXPECT_EQ(values(value_ticks(103.2, 131.7, 300)),
              (std::vector<std::string>{"105", "110", "115", "120", "125", "130"}));
    EXPECT_EQ(values(value_ticks(-0.27, 0.31, 200)),
              (std::vector<std::string>{"-0.2", "-0.1", "0.0", "0.1", "0.2", "0.3"}));
    EXPECT_EQ(values(value_ticks(0, 1e6, 100)),
              (std::vector<std::string>{"0", "500000", "1000000"}));
    EXPECT_TRUE(value_ticks(5, 5, 300).empty());
    EXPECT_EQ(trend_value_text(-0.0004, 3), "0.000");
    EXPECT_EQ(trend_value_text(2.5, 1), "2.5");

    double lo = 7, hi = 7;
    padded_range(lo, hi);
    EXPECT_EQ(lo, 6);
    EXPECT_EQ(hi, 8);
    lo = 100, hi = 300;
    padded_range(lo, hi);
    EXPECT_EQ(lo, 90);
    EXPECT_EQ(hi, 310);
}

TEST(TrendCsv, ExactTextAndReadBack) {
    std::int64_t t = day_start + 9 * hour; // 12:00 Moscow
    std::vector<trend_csv_series> series{
        {"i1_1_1",
         "Ia ток фазы A, А",
         {{t - 1000, 99, 0},
          {t, 120.5, 0},
          {t + 1500, 0, quality_invalid | quality_no_control},
          {t + 3000, 121, quality_manual}}},
        {"s1_1_1", "Q1 \"выключатель\"", {{t, 1, 0}, {t + 2000, 0, 0}}}};
    std::string text = trend_csv(series, t, t + 2000, moscow);
    EXPECT_EQ(text, "время,сигнал,название,значение,качество\r\n"
                    "2026-12-11T12:00:00.000,i1_1_1,\"Ia ток фазы A, А\",120.5,норма\r\n"
                    "2026-12-11T12:00:00.000,s1_1_1,\"Q1 \"\"выключатель\"\"\",1,норма\r\n"
                    "2026-12-11T12:00:01.500,i1_1_1,\"Ia ток фазы A, А\",0,"
                    "недостоверно+нет контроля\r\n"
                    "2026-12-11T12:00:02.000,s1_1_1,\"Q1 \"\"выключатель\"\"\",0,норма\r\n");
    int skipped = -1;
    std::vector<trend_csv_row> rows = parse_trend_csv(
        text + "garbage,row\r\n2026-13-01T00:00:00.000,i1,1,1,норма\r\n", moscow, &skipped);
    EXPECT_EQ(skipped, 2);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].key, "s1_1_1");
    EXPECT_EQ(rows[2].key, "i1_1_1");
    EXPECT_EQ(rows[2].sample, (archive_sample{t + 1500, 0, quality_invalid | quality_no_control}));
    EXPECT_EQ(quality_text(quality_manual), "ручной ввод");
}
