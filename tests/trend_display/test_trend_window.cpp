// The trend window over a store: which signals it takes, what it records live, its CSV file
// and how the mouse's zoom and pan move the view.
#include "tests/structure/structure_fixture.h"

#include "base/nx_time.h"
#include "trends/display/trend_window.h"
#include "trends/memory_series_source.h"

#include <QApplication>
#include <QDateTime>
#include <QPrinter>

#include <cmath>

#include <cstdlib>

using namespace nxkit;

namespace ilktest {
namespace {

QApplication& trend_app() {
    static int argc = 1;
    static char name[] = "test_trend_window";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication app(argc, argv);
    return app;
}

constexpr std::int64_t hour = 3'600'000;

class trend_window_test : public struct_test {
protected:
    trend_window_test() {
        trend_app();
        load(
            equipment_with("<ref tp=\"51\" sk=\"i1_2_9\"/>\r\n<ref tp=\"51\" sk=\"s1_2_7\"/>\r\n") +
            section_with("<ref tp=\"1\" num=\"7\" title=\"Q1\"/>\r\n"
                         "<ref tp=\"2\" num=\"9\" title=\"Ia\"/>\r\n"));
    }

    // A value from the device through an update pass, stamped with a local time.
    void deliver(const std::string& source_key, double value, nx_time at, bool control = true) {
        source(source_key).set(value, control, true, false);
        source(source_key).time = at;
        for (t_ref* r : store->refs().under("K"))
            store->mark_changed(r->key());
        store->update_pass();
    }

    static std::int64_t utc(nx_time local) { return utc_ms_of_local(local); }

    // Local 2026-12-09 14:05:06.789, the moment the window's clock stands at.
    nx_time at = time_encode(2026, 12, 9, 14, 5, 6, 789);
    std::int64_t now = utc_ms_of_local(at);
    memory_series_source memory;
};

using TrendWindow = trend_window_test;

TEST_F(TrendWindow, TakesMeasurementsAndTelesignalsOnly) {
    trend_window window(*store, memory, nullptr, nullptr, [this] { return now; });
    EXPECT_TRUE(window.add_signal("i1_2_9"));
    EXPECT_TRUE(window.add_signal("s1_2_7"));
    EXPECT_FALSE(window.add_signal("i1_2_9")); // shown already
    EXPECT_FALSE(window.add_signal("i1_2_99"));
    EXPECT_FALSE(window.add_signal(""));
    ASSERT_EQ(window.shown_signals().size(), 2u);
    EXPECT_EQ(window.shown_signals()[0].title, "i1_2_9 Ia");
    EXPECT_FALSE(window.shown_signals()[0].step);
    EXPECT_EQ(window.shown_signals()[1].title, "s1_2_7 Q1");
    EXPECT_TRUE(window.shown_signals()[1].step);
    EXPECT_EQ(window.windowTitle().toStdString(), "График");
}

TEST_F(TrendWindow, RecordsEveryChangeWhileOpenWithItsQuality) {
    std::int64_t clock = now;
    trend_window window(*store, memory, nullptr, nullptr, [&clock] { return clock; });
    ASSERT_TRUE(window.add_signal("i1_2_9"));
    // A measurement has no time tag of its own: it is taken when seen. Without control it is
    // of bad quality; a change of nothing drawn (the same value again) records nothing.
    clock += 1000;
    deliver("D.0000", 120.5, at);
    clock += 1000;
    deliver("D.0000", 120.5, at, false);
    clock += 1000;
    deliver("D.0000", 121, at);
    clock += 1000;
    deliver("D.0000", 121, at);
    EXPECT_EQ(memory.series("i1_2_9", now - hour, now + hour),
              (std::vector<archive_sample>{{now, 0, quality_invalid | quality_no_control},
                                           {now + 1000, 120.5, 0},
                                           {now + 2000, 120.5, quality_no_control},
                                           {now + 3000, 121, 0}}));
    // The window shows them (the view reaches now: it is live).
    EXPECT_TRUE(window.live());
    window.tick();
    EXPECT_EQ(window.shown_signals()[0].samples.back().value, 121);
}

TEST_F(TrendWindow, CsvFileHoldsTheShownSamples) {
    std::int64_t clock = now;
    trend_window window(*store, memory, nullptr, nullptr, [&clock] { return clock; });
    ASSERT_TRUE(window.add_signal("i1_2_9"));
    ASSERT_TRUE(window.add_signal("s1_2_7"));
    clock += 10'000;
    deliver("D.0000", 99.25, at);
    deliver("D.0001", 1, at + time_seconds(2));
    window.tick();
    temp_dir dir;
    ASSERT_TRUE(window.export_csv(dir.path() + "trend.csv"));
    // What each showed when added (never received), the telesignal at its time tag, the
    // measurement when seen.
    EXPECT_EQ(read_bytes(dir.path() + "trend.csv"),
              "время,сигнал,название,значение,качество\r\n"
              "2026-12-09T14:05:06.789,i1_2_9,i1_2_9 Ia,0,недостоверно+нет контроля\r\n"
              "2026-12-09T14:05:06.789,s1_2_7,s1_2_7 Q1,0,недостоверно+нет контроля\r\n"
              "2026-12-09T14:05:08.789,s1_2_7,s1_2_7 Q1,1,норма\r\n"
              "2026-12-09T14:05:16.789,i1_2_9,i1_2_9 Ia,99.25,норма\r\n");
    EXPECT_FALSE(window.export_csv(dir.path() + "no/such/folder/trend.csv"));
}

TEST_F(TrendWindow, ZoomPanAndResetMoveTheView) {
    std::int64_t clock = now;
    trend_window window(*store, memory, nullptr, nullptr, [&clock] { return clock; });
    window.resize(900, 520);
    window.show();
    ASSERT_TRUE(window.add_signal("i1_2_9"));
    EXPECT_EQ(window.frame().from_ms, now - hour);
    EXPECT_EQ(window.frame().to_ms, now);
    EXPECT_TRUE(window.live());

    // The wheel at the right edge halves the span and stays live.
    window.zoom_at(window.plot()->width() - trend_right_margin, 0.5);
    EXPECT_EQ(window.frame().to_ms, now);
    EXPECT_EQ(window.frame().to_ms - window.frame().from_ms, hour / 2);
    EXPECT_TRUE(window.live());

    // Dragged right: earlier times, no longer live; the clock moves on without it.
    window.pan_pixels(100);
    EXPECT_LT(window.frame().to_ms, now);
    EXPECT_FALSE(window.live());
    std::int64_t to = window.frame().to_ms;
    clock += 5000;
    window.tick();
    EXPECT_EQ(window.frame().to_ms, to);

    // Dragged back past now: live again, ending now.
    window.pan_pixels(-10000);
    EXPECT_TRUE(window.live());
    EXPECT_EQ(window.frame().to_ms, clock);

    // A double-click brings back the chosen range; a day, then a custom range in the past.
    window.reset_view();
    EXPECT_EQ(window.frame().to_ms - window.frame().from_ms, hour);
    window.set_range(trend_range::day);
    EXPECT_EQ(window.frame().from_ms, clock - 24 * hour);
    window.set_range(trend_range::custom, now - 48 * hour, now - 24 * hour);
    EXPECT_FALSE(window.live());
    EXPECT_EQ(window.frame().from_ms, now - 48 * hour);
    window.zoom_at(window.plot()->width() / 2, 2.0);
    window.reset_view();
    EXPECT_EQ(window.frame().to_ms, now - 24 * hour);
    window.close();
}

// An archive that counts its readings and holds one stored value per signal.
class counting_archive : public archive_series_source {
public:
    std::vector<archive_sample> series(const std::string& key, std::int64_t from_ms,
                                       std::int64_t to_ms) override {
        ++reads;
        last_from = from_ms;
        (void)to_ms;
        if (key != "i1_2_9")
            return {};
        return {{stored_at, 42, 0}};
    }
    int reads = 0;
    std::int64_t last_from = 0;
    std::int64_t stored_at = 0;
};

TEST_F(TrendWindow, ArchiveIsReadAgainOnlyWhenTheViewLeavesItOrItIsOld) {
    std::int64_t clock = now;
    counting_archive archive;
    archive.stored_at = now - hour / 2;
    trend_window window(*store, memory, &archive, nullptr, [&clock] { return clock; });
    window.resize(900, 520);
    ASSERT_TRUE(window.add_signal("i1_2_9"));
    EXPECT_EQ(archive.reads, 1);
    // The archive's value, then what the window saw itself after it (the value at opening).
    ASSERT_EQ(window.shown_signals()[0].samples.size(), 2u);
    EXPECT_EQ(window.shown_signals()[0].samples[0], (archive_sample{now - hour / 2, 42, 0}));
    EXPECT_EQ(window.shown_signals()[0].samples[1].time_ms, now);

    // Live seconds and a zoom into what was read: no new reading.
    for (int i = 0; i < 5; ++i) {
        clock += 1000;
        window.tick();
    }
    window.zoom_at(window.plot()->width() - trend_right_margin, 0.5);
    EXPECT_EQ(archive.reads, 1);
    // Ten seconds on, it is read again; so is a view reaching before what was read.
    clock += 6000;
    window.tick();
    EXPECT_EQ(archive.reads, 2);
    window.set_range(trend_range::day);
    EXPECT_EQ(archive.reads, 3);
    EXPECT_EQ(archive.last_from, clock - 24 * hour);
}

// Answers the print dialog by printing into a PDF file.
class pdf_prompt : public scripted_prompt {
public:
    explicit pdf_prompt(std::string path) : path_(std::move(path)) {}
    bool print_setup(owner_handle, void* printer) override {
        auto* p = static_cast<QPrinter*>(printer);
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(QString::fromStdString(path_));
        ++asked;
        return true;
    }
    int asked = 0;

private:
    std::string path_;
};

TEST_F(TrendWindow, PngShowsTheTrendAndPrintingWritesAPage) {
    std::int64_t clock = now;
    trend_window window(*store, memory, nullptr, nullptr, [&clock] { return clock; });
    memory.add("i1_2_9", {now - hour / 2, 50, 0});
    ASSERT_TRUE(window.add_signal("i1_2_9"));
    temp_dir dir;
    ASSERT_TRUE(window.export_png(dir.path() + "trend.png", QSize(640, 300)));
    QImage image(QString::fromStdString(dir.path() + "trend.png"));
    ASSERT_EQ(image.size(), QSize(640, 300));
    // From half an hour ago the value 50 holds (then the never-received 0, bad, at now): the
    // line in the first colour at 3/4 of the plot's width, at 50 of the range.
    trend_layout l = lay_out_trend(QSize(640, 300), 0);
    std::vector<trend_signal> shown = window.shown_signals();
    double lo = 0, hi = 0;
    trend_value_range(shown, window.frame(), lo, hi);
    int y = static_cast<int>(
        std::lround(l.plot.bottom() - (50 - lo) / (hi - lo) * (l.plot.height() - 1)));
    int x = l.plot.left() + l.plot.width() * 3 / 4 + 3;
    bool drawn = false;
    for (int dy = -1; dy <= 1; ++dy)
        drawn = drawn || image.pixelColor(x, y + dy) == trend_color(0);
    EXPECT_TRUE(drawn);
    // Before the first sample, nothing.
    EXPECT_NE(image.pixelColor(l.plot.left() + l.plot.width() / 4 + 3, y), trend_color(0));

    std::string pdf = dir.path() + "trend.pdf";
    pdf_prompt prompt(pdf);
    window.print_asked();
    EXPECT_EQ(prompt.asked, 1);
    std::string bytes = read_bytes(pdf);
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
}

} // namespace
} // namespace ilktest
