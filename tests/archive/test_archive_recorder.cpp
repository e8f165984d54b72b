#include "archive/archive_recorder.h"
#include "archive/archive_texts.h"
#include "tests/structure/structure_fixture.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

using namespace nxkit;

namespace ilktest {
namespace {

struct row_list : i_archive_sink {
    void add(archive_row row) override { rows.push_back(std::move(row)); }
    void end_pass() override { ++passes; }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const archive_row& r : rows) {
            char value[32];
            std::snprintf(value, sizeof value, "%g", r.value);
            out.push_back(r.key + " " + std::to_string(static_cast<int>(r.kind)) + " " + value +
                          " q" + std::to_string(r.quality) + (r.text.empty() ? "" : " " + r.text));
        }
        return out;
    }
    std::vector<archive_row> rows;
    int passes = 0;
};

std::int64_t utc_ms(int s) {
    return QDateTime(QDate(2026, 12, 9), QTime(10, 0, s), Qt::LocalTime).toMSecsSinceEpoch();
}

class archive_recorder_test : public struct_test {
protected:
    void start() {
        load(equipment_with("<ref tp=\"51\" sk=\"i1_2_9\"/>\r\n") +
             section_with("<ref tp=\"2\" num=\"9\" title=\"Ia\"/>\r\n<ref tp=\"1\" num=\"7\" "
                          "title=\"Q1\"/>\r\n"));
        archive_recorder_settings settings;
        settings.clock = [this] { return now; };
        recorder = std::make_unique<archive_recorder>(*store, rows, settings);
        recorder->attach();
    }
    void deliver(double value, int second, bool defined = true) {
        now = utc_ms(second);
        source("D.0000").set(value, true, defined);
        store->mark_changed(first_signal);
        store->update_pass();
    }
    row_list rows;
    std::int64_t now = 0;
    std::unique_ptr<archive_recorder> recorder;
};

using ArchiveRecorder = archive_recorder_test;

TEST_F(ArchiveRecorder, DeadbandQualityAndManualInput) {
    start();
    deliver(100, 1);           // first value: stored
    deliver(100.3, 2);         // 0.3 % of 100: inside the deadband
    deliver(100.5, 3);         // 0.5 % of 100: still inside (the band is inclusive)
    deliver(100.61, 4);        // outside
    deliver(100.61, 5, false); // same value, not defined: bad quality
    deliver(100.61, 6);        // good again
    EXPECT_EQ(rows.texts(), (std::vector<std::string>{"i1_2_9 6 100 q0", "i1_2_9 6 100.61 q0",
                                                      "i1_2_9 6 100.61 q1", "i1_2_9 6 100.61 q0"}));
    EXPECT_EQ(rows.rows[0].time_ms, utc_ms(1));
    EXPECT_EQ(rows.rows[1].time_ms, utc_ms(4));
    EXPECT_EQ(rows.rows[0].name, "Ia");

    // A range set for the signal: 0.5 % of 0..1000 is 5.
    rows.rows.clear();
    recorder->set_range("i1_2_9", parse_archive_range("0;1000"));
    deliver(104, 7);
    deliver(106, 8);
    EXPECT_EQ(rows.texts(), (std::vector<std::string>{"i1_2_9 6 106 q0"}));

    // Manual input: a row when it is set, a row when it is removed.
    rows.rows.clear();
    ti(first_signal).set_manual(1, true);
    store->mark_changed(first_signal);
    store->update_pass();
    ti(first_signal).set_manual(0, false);
    store->mark_changed(first_signal);
    store->update_pass();
    EXPECT_EQ(rows.texts(), (std::vector<std::string>{"i1_2_9 3 1 q4 ручной ввод", "i1_2_9 6 1 q4",
                                                      "i1_2_9 4 106 q0 авто", "i1_2_9 6 106 q0"}));
}

TEST_F(ArchiveRecorder, AtLeastOneValuePerPeriod) {
    start();
    deliver(50, 1);
    rows.rows.clear();
    const std::int64_t t0 = utc_ms(1);
    // Period 900 s, a sweep every 90 s: nothing before 810 s have passed since the value.
    recorder->tick(t0 + 1000);
    recorder->tick(t0 + 700000);
    EXPECT_TRUE(rows.rows.empty());
    recorder->tick(t0 + 810000);
    ASSERT_EQ(rows.texts(), (std::vector<std::string>{"i1_2_9 6 50 q0"}));
    EXPECT_EQ(rows.rows[0].time_ms, t0 + 810000);
    // The sweeps go on every 90 s: no gap is longer than the period.
    recorder->tick(t0 + 810000 + 80000);
    EXPECT_EQ(rows.rows.size(), 1u);
    recorder->tick(t0 + 810000 + 810000);
    EXPECT_EQ(rows.rows.size(), 2u);
    EXPECT_EQ(rows.rows[1].time_ms - rows.rows[0].time_ms, 810000);
}

TEST(ArchiveRange, Parsing) {
    archive_range r = parse_archive_range("-10;10;2");
    EXPECT_TRUE(r.set);
    EXPECT_EQ(r.low, -10);
    EXPECT_EQ(r.high, 10);
    EXPECT_EQ(r.percent, 2);
    EXPECT_FALSE(parse_archive_range("10;0").set);
    EXPECT_FALSE(parse_archive_range("abc").set);
    EXPECT_EQ(parse_archive_range("0; 500").percent, -1);
    EXPECT_EQ(parse_archive_range("0; 500").high, 500);
}

} // namespace
} // namespace ilktest
