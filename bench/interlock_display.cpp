// The interlock table display on one generated table of 40 rows (80 lines) and 60 columns,
// offscreen, in a station of 20 such tables (the station of the interlock benchmark). Prints,
// one figure per line, medians over the rounds:
// (1) the layout of the table at zoom 1;
// (2) a full repaint of the table at zoom 1 into an image of its size;
// (3) the display's work after an update pass with 1,000 telesignal changes: the new layout
//     and the repaint of the cells whose state changed, with how many cells that was;
// (4) the same on the table fitted to a window of 1280 x 800 (zoom mode 0, fit to the window).
//
// Options: --quick (5 rounds).

#include "bench/interlock_station.h"
#include "bench/stopwatch.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/nx_time.h"
#include "config/config_classes.h"
#include "config/t_ref_buff.h"
#include "interlock/display/ilk_table_layout.h"
#include "interlock/display/nx_schema_ilk.h"
#include "interlock/display/table_painter.h"
#include "interlock/interlock_classes.h"
#include "interlock/t_ilk_tab.h"
#include "schemes/scheme_classes.h"
#include "structure/structure_classes.h"
#include "telemech/t_dev_104.h"
#include "telemech/telemech_classes.h"
#include "ui/icon_set.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace nxkit;
using namespace nxbench;

namespace {

constexpr int station_tables = 20;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

int measure_text(const std::string& text, int pixel_size, bool bold) {
    QFont font("Arial");
    font.setPixelSize(pixel_size);
    font.setBold(bold);
    return QFontMetrics(font).horizontalAdvance(QString::fromStdString(text));
}

int run(int rounds, const std::string& home) {
    if (!write_station(home, station_tables, "interlock_display"))
        return 1;
    t_ref_buff store;
    register_station_classes(store);
    store.load();

    station_feed feed(store);
    t_ilk_tab* table = nullptr;
    for (t_ref* r : store.refs().under("S"))
        if ((table = dynamic_cast<t_ilk_tab*>(r)) != nullptr)
            break;
    if (feed.device_count() != points || table == nullptr) {
        std::fprintf(stderr, "interlock_display: the station did not load as generated\n");
        return 1;
    }

    // Every object delivered once, as after a station interrogation.
    feed.deliver_all();

    // (1) The layout.
    std::vector<double> layout_ms;
    ilk_table_layout layout;
    for (int round = 0; round < rounds; ++round) {
        nxbench::stopwatch watch;
        layout = lay_out_table(*table, 96, 96, 1.0, measure_text);
        layout_ms.push_back(watch.wall_ms());
    }
    const ilk_rect whole = layout.table();

    // (2) A full repaint into an image of the table's size.
    icon_set icons;
    QImage image(whole.width + 1, whole.height + 1, QImage::Format_RGB32);
    {
        QPainter warm(&image); // the icons are rendered once and cached
        paint_table(warm, layout, icons, 0, 0, image.width(), image.height());
    }
    std::vector<double> paint_ms;
    for (int round = 0; round < rounds; ++round) {
        nxbench::stopwatch watch;
        QPainter painter(&image);
        paint_table(painter, layout, icons, 0, 0, image.width(), image.height());
        painter.end();
        paint_ms.push_back(watch.wall_ms());
    }

    // (3) The display after passes of 1,000 changes.
    nx_schema_ilk display(nullptr, store, table->key(), icons);
    display.resize(whole.width + 1, whole.height + 1);
    display.show(nullptr);
    display.zoom_command(1);
    std::vector<double> tick_ms;
    std::vector<double> tick_cpu_ms;
    std::vector<double> cells;
    for (int round = 0; round < rounds; ++round) {
        feed.change_round(round);
        store.update_pass();
        display.notify_changed(table->key());
        nxbench::stopwatch watch;
        display.tick();
        tick_ms.push_back(watch.wall_ms());
        tick_cpu_ms.push_back(watch.cpu_used_ms());
        cells.push_back(display.cells_repainted());
    }

    // (4) The same display fitted to a window: the fit is searched once for the size, not at
    // every pass.
    display.resize(1280, 800);
    display.zoom_command(0);
    std::vector<double> fitted_ms;
    std::vector<double> fitted_cpu_ms;
    std::vector<double> fitted_cells;
    for (int round = 0; round < rounds; ++round) {
        feed.change_round(rounds + round);
        store.update_pass();
        display.notify_changed(table->key());
        nxbench::stopwatch watch;
        display.tick();
        fitted_ms.push_back(watch.wall_ms());
        fitted_cpu_ms.push_back(watch.cpu_used_ms());
        fitted_cells.push_back(display.cells_repainted());
    }
    double fitted_zoom = display.layout().zoom;

    std::printf("table: %zu lines x %zu columns, %zu cells, image %d x %d\n", layout.lines.size(),
                layout.columns.size(), layout.cells.size(), image.width(), image.height());
    std::printf("(1) layout at zoom 1, median of %d: %.2f ms\n", rounds, median(layout_ms));
    std::printf("(2) full repaint at zoom 1, median of %d: %.2f ms\n", rounds, median(paint_ms));
    std::printf("(3) layout and repaint of the changed cells after %d telesignal changes, median "
                "of %d: %.2f ms (processor %.2f ms)\n",
                changes_per_round, rounds, median(tick_ms), median(tick_cpu_ms));
    std::printf("(3) cells repainted per pass, median of %d: %.0f (-1: a full repaint)\n", rounds,
                median(cells));
    std::printf("(4) the same on the table fitted to 1280 x 800 (zoom %.2f), median of %d: %.2f "
                "ms (processor %.2f ms)\n",
                fitted_zoom, rounds, median(fitted_ms), median(fitted_cpu_ms));
    std::printf("(4) cells repainted per pass, median of %d: %.0f (-1: a full repaint)\n", rounds,
                median(fitted_cells));
    return median(cells) < 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            rounds = 5;
        } else {
            std::fprintf(stderr, "usage: interlock_display [--quick]\n");
            return 2;
        }
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string home =
        (std::filesystem::temp_directory_path() / ("interlock_display." + std::to_string(getpid())))
            .string() +
        "/";
    std::filesystem::create_directories(home);
    setenv("ILKSTATION_HOME", home.c_str(), 1);
    nx_log::main().open(home + "interlock_display.log", 10000000, 0);
    int qt_argc = 1;
    char name[] = "interlock_display";
    char* qt_argv[] = {name, nullptr};
    int status = 1;
    {
        QApplication app(qt_argc, qt_argv);
        try {
            status = run(rounds, home);
        } catch (const nx_exception& e) {
            std::fprintf(stderr, "interlock_display: %s\n", e.what());
        }
    }
    nx_log::main().close();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return status;
}
