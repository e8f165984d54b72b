// The scheme control on a generated scheme of 2,000 objects on 4 pages, offscreen. Prints:
// the time to open it; a batch of 1,000 property and style changes followed by one repaint of
// the view; the processor time per second while 500 objects of the shown page blink; peak
// memory.

#include "bench/generated_scheme.h"
#include "bench/stopwatch.h"
#include "schemes/control/blink_clock.h"
#include "schemes/control/scheme_control.h"
#include "schemes/control/sde_document.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace nxkit;

namespace {

double process_cpu_s() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double peak_mb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    for (int i = 1; i < argc; ++i)
        quick = quick || std::strcmp(argv[i], "--quick") == 0;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const std::string text = nxbench::generated_scheme();

    scheme_control control;
    control.resize(1600, 1000);
    control.show();
    app.processEvents();
    {
        std::vector<double> wall;
        for (int i = 0; i < (quick ? 3 : 7); ++i) {
            nxbench::stopwatch w;
            control.open_text(text, "bench.sde");
            wall.push_back(w.wall_ms());
        }
        std::printf("open (2,000 objects on 4 pages, %zu KB): %.1f ms\n", text.size() / 1024,
                    median(wall));
    }
    control.set_scale(fit_page);
    control.view()->repaint();

    // 500 objects of the shown page change their position and 500 a style mark.
    std::vector<sde_object*> shown;
    for (sde_object* o : control.objects_by_property("реакция_на_мышь", "есть"))
        if (o->page == 1)
            shown.push_back(o);
    std::vector<double> wall, cpu, writes_cpu;
    for (int round = 0; round < (quick ? 5 : 21); ++round) {
        nxbench::stopwatch w;
        control.begin_batch();
        for (int i = 0; i < 500; ++i) {
            sde_object& o = *shown[static_cast<std::size_t>(i)];
            if (o.type_name == "прибор_реальный")
                control.set_property(o, "значение", std::to_string(round * 10 + i));
            else if (o.type_name == "лампа")
                control.set_property(o, "положение", round % 2 ? "горит" : "не_горит");
            else
                control.set_property(o, "положение", round % 2 ? "включен" : "отключен");
            control.set_property(o, "композитный_стиль",
                                 round % 2 ? "+я18_not_ref" : "-я18_not_ref");
        }
        control.end_batch();
        writes_cpu.push_back(w.cpu_used_ms());
        control.view()->repaint();
        wall.push_back(w.wall_ms());
        cpu.push_back(w.cpu_used_ms());
    }
    std::printf("batch of 1,000 changes and one repaint: %.1f ms (processor %.1f ms)\n",
                median(wall), median(cpu));
    std::printf("  of which the 1,000 writes: processor %.1f ms\n", median(writes_cpu));

    // Blinking: every object of the shown page gets the unacknowledged style.
    control.begin_batch();
    for (sde_object* o : shown)
        control.set_property(*o, "композитный_стиль", "+я15_not_cvit");
    control.end_batch();
    app.processEvents();
    const double seconds = quick ? 3 : 10;
    const double cpu0 = process_cpu_s();
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double used = process_cpu_s() - cpu0;
    std::printf("blinking, %zu objects on the shown page: %.3f processor s/s (%u ticks)\n",
                shown.size(), used / (static_cast<double>(timer.elapsed()) / 1000),
                blink_clock::instance().tick());
    std::printf("peak memory: %.0f MB\n", peak_mb());
    return 0;
}
