// The event journal under load, offscreen: 5,000 telesignal changes a second for 60 s (the
// duration is the first argument), driven the way the shell drives the store (a 10 ms update
// pass), the journal pane shown and painted. Prints the user-interface thread's busy share,
// memory when the list first reaches its bound and at the end, whether mes.log holds every
// event in order, and the time to filter 100,000 lines.

#include "bench/stopwatch.h"
#include "base/cp1251.h"
#include "base/settings.h"
#include "config/config_classes.h"
#include "config/t_ref_buff.h"
#include "platform/desktop_services.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_ts.h"
#include "views/nx_view_mes.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <utility>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace nxkit;

namespace {

constexpr int signal_count = 5000;
constexpr int changes_per_pass = 50; // every 10 ms: 5,000 a second

long rss_kb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct silent_beep : i_beep {
    void beep(int, int) override {}
};

std::string station_refs() {
    std::string text =
        "<struct>\r\n<REFs version=\"1\">\r\n<ref tp=\"50\"/>\r\n<ref tp=\"40\">\r\n"
        "<ref tp=\"41\" num=\"1\">\r\n<ref tp=\"42\" num=\"1\" title=\"Секция\">\r\n";
    for (int i = 1; i <= signal_count; ++i)
        text += "<ref tp=\"1\" num=\"" + std::to_string(i) + "\" title=\"Сигнал " +
                std::to_string(i) + "\"/>\r\n";
    return text + "</ref>\r\n</ref>\r\n</ref>\r\n<ref tp=\"80\"/>\r\n</REFs>\r\n</struct>\r\n";
}

std::pair<double, double> filter_100k_ms() {
    journal_model model(100000);
    for (int i = 0; i < 100000; ++i) {
        journal_line line;
        line.number = i + 1;
        line.key = QStringLiteral("s1_1_%1").arg(i % signal_count + 1);
        line.state = i % 2 == 0 ? QStringLiteral("ВКЛЮЧЕН") : QStringLiteral("ОТКЛЮЧЕН");
        line.input = QStringLiteral("авто");
        line.time_text = QStringLiteral("12:00:00.000 09.12.26");
        line.name = QStringLiteral("нр [1] (s1_1_%1) Телесигнал Сигнал %1 (Секция)").arg(i % 997);
        model.append(std::move(line));
    }
    journal_filter_model shown(model);
    journal_filter filter;
    filter.text = QStringLiteral("сигнал 99");
    nxbench::stopwatch watch;
    shown.set_filter(filter);
    int kept = shown.rowCount();
    std::fprintf(stderr, "filter kept %d lines\n", kept);
    return {watch.wall_ms(), watch.cpu_used_ms()};
}

} // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    std::string home = std::filesystem::temp_directory_path().string() + "/views_journal_" +
                       std::to_string(getpid()) + "/";
    std::filesystem::create_directories(home);
    setenv("ILKSTATION_HOME", home.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    silent_beep beep;
    set_beep(&beep);
    settings_set_int("LOG", "MES_SIZE", 2000000000); // keep every line for the check below
    {
        std::ofstream refs(home + "refs.ini", std::ios::binary);
        refs << to_cp1251(station_refs());
    }
    t_ref_buff store;
    register_config_classes(store);
    register_structure_classes(store);
    QWidget window;
    auto* view = new nx_view_mes(store, &window, {nullptr, nullptr, nullptr, nullptr});
    store.add_viewer(view);
    store.load();
    view->pane()->resize(1200, 600);
    window.resize(1200, 600);
    view->pane()->show();
    window.show();

    std::vector<t_struct_ts*> telesignals;
    for (t_ref* r : store.refs().under("K"))
        if (auto* s = dynamic_cast<t_struct_ts*>(r))
            telesignals.push_back(s);
    // Every signal's first value only records it.
    for (t_struct_ts* s : telesignals)
        s->set_manual(0, true);
    store.update_pass();

    // The events are made at 5,000 a second of wall time: a late timer makes up for the
    // time lost, so a busy machine slows nothing down but the list's own work. The n-th event
    // toggles signal n modulo their number, so the check below recomputes the sequence.
    long events = 0;
    long rss_bound = 0;
    long rss_half = 0;
    std::vector<bool> on(telesignals.size(), false);
    nxbench::stopwatch clock;
    QTimer pass;
    pass.setInterval(10);
    QObject::connect(&pass, &QTimer::timeout, [&] {
        // A pass never runs past the last signal: the journal writes one pass's lines in key
        // order, so a pass that wrapped round would write them out of the order they came.
        long due = std::min(static_cast<long>(clock.wall_ms() * changes_per_pass / 10.0),
                            events - events % signal_count + signal_count);
        for (; events < due; ++events) {
            std::size_t n = static_cast<std::size_t>(events) % telesignals.size();
            on[n] = !on[n];
            telesignals[n]->set_manual(on[n] ? 1 : 0, true);
        }
        store.update_pass();
        if (rss_bound == 0 &&
            static_cast<std::size_t>(view->model().rowCount()) == journal_model::default_bound)
            rss_bound = rss_kb();
        if (rss_half == 0 && clock.wall_ms() > seconds * 500.0)
            rss_half = rss_kb();
    });
    nxbench::stopwatch watch;
    pass.start();
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    app.exec();
    pass.stop();
    double wall = watch.wall_ms();
    double cpu = watch.cpu_used_ms();
    long rss_end = rss_kb();

    // mes.log: every event's key and state, in the order they were made.
    std::string file = from_cp1251([&] {
        std::ifstream in(home + "mes.log", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }());
    long matched = 0;
    std::size_t at = 0;
    const std::string tag = " | MES | \t";
    std::vector<bool> state(telesignals.size(), false);
    while ((at = file.find(tag, at)) != std::string::npos && matched < events) {
        at += tag.size();
        std::size_t n = static_cast<std::size_t>(matched) % telesignals.size();
        state[n] = !state[n];
        std::string expected =
            telesignals[n]->signal_key() + (state[n] ? "\tВКЛЮЧЕН" : "\tОТКЛЮЧЕН");
        if (file.compare(at, expected.size(), expected) != 0)
            break;
        ++matched;
    }
    bool complete = matched == events && file.find(tag, at) == std::string::npos;

    std::printf("events: %ld in %.1f s (%.0f per second)\n", events, wall / 1000,
                events * 1000.0 / wall);
    std::printf("ui thread busy: %.1f %%\n", 100.0 * cpu / wall);
    std::printf("rss at bound: %ld kB\n", rss_bound);
    std::printf("rss at half time: %ld kB\n", rss_half);
    std::printf("rss at end: %ld kB\n", rss_end);
    std::printf("list rows at end: %d\n", view->model().rowCount());
    std::printf("mes.log lines in order: %ld of %ld (%s)\n", matched, events,
                complete ? "complete" : "INCOMPLETE");
    auto [filter_wall, filter_cpu] = filter_100k_ms();
    std::printf("filter 100000 lines: %.1f ms (processor %.1f ms)\n", filter_wall, filter_cpu);

    store.remove_viewer(view);
    delete view;
    set_beep(nullptr);
    std::filesystem::remove_all(home);
    return complete ? 0 : 1;
}
