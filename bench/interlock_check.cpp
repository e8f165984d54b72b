// The what-if mode on the station of the interlock benchmark (20 tables of 40 rows and 60
// columns, 800 rows, 16,000 permissions, 5,000 telesignals). Prints, one figure per line,
// medians over the rounds:
// (1) making the detached copy of structure and schemes (done ahead, after a load or an edit),
//     and entering the mode on it: every signal held again at its live value, one pass;
// (2) a position change in the mode to the repainted table: the change, the copy's update
//     pass, and the table display's layout and repaint of the changed cells;
// (3) a switching program of 100 steps checked step by step.
//
// Options: --quick (5 rounds).

#include "bench/interlock_station.h"
#include "bench/stopwatch.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "config/t_ref_buff.h"
#include "interlock/display/nx_schema_ilk.h"
#include "interlock/t_ilk_tab.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "interlock/whatif/switching_program.h"
#include "interlock/whatif/whatif_engine.h"
#include "ui/icon_set.h"

#include <QApplication>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

int run(int rounds, const std::string& home) {
    if (!write_station(home, station_tables, "interlock_check"))
        return 1;
    t_ref_buff live;
    register_station_classes(live);
    live.load();
    station_feed feed(live);
    feed.deliver_all();

    // (1) Making the copy, then entering the mode on it.
    std::vector<double> copy_ms;
    std::vector<double> copy_cpu;
    std::unique_ptr<whatif_engine> engine;
    for (int round = 0; round < rounds; ++round) {
        engine.reset();
        stopwatch watch;
        engine = whatif_engine::from_live(live);
        copy_ms.push_back(watch.wall_ms());
        copy_cpu.push_back(watch.cpu_used_ms());
    }
    std::vector<double> enter_ms;
    std::vector<double> enter_cpu;
    for (int round = 0; round < rounds; ++round) {
        // Live acquisition goes on between two visits of the mode.
        feed.change_round(round);
        live.update_pass();
        if (!engine->same_configuration(live))
            return 1;
        stopwatch watch;
        engine->take_live_values(live);
        enter_ms.push_back(watch.wall_ms());
        enter_cpu.push_back(watch.cpu_used_ms());
    }
    if (engine->values() != whatif_engine::read_values(live)) {
        std::fprintf(stderr, "interlock_check: the mode did not take the live values\n");
        return 1;
    }
    t_ref_buff& copy = engine->store();
    t_ilk_tab* table = nullptr;
    std::vector<t_ilk_tu*> rows;
    std::vector<std::string> columns;
    for (t_ref* r : copy.refs().under("S")) {
        if (auto* t = dynamic_cast<t_ilk_tab*>(r); t != nullptr && table == nullptr)
            table = t;
        else if (auto* row = dynamic_cast<t_ilk_tu*>(r))
            rows.push_back(row);
        else if (auto* c = dynamic_cast<t_ilk_ts*>(r); c != nullptr && columns.size() < 60)
            columns.push_back(c->disp_name());
    }
    if (table == nullptr || rows.size() != static_cast<std::size_t>(station_tables) * 40 ||
        columns.size() != 60) {
        std::fprintf(stderr, "interlock_check: the copy does not hold the station as generated\n");
        return 1;
    }

    // (2) A column's apparatus of the first table switched to and fro, the table shown.
    icon_set icons;
    nx_schema_ilk display(nullptr, copy, table->key(), icons);
    display.resize(1280, 800);
    display.show(nullptr);
    display.zoom_command(1);
    display.tick();
    std::vector<double> change_ms;
    std::vector<double> change_cpu;
    std::vector<double> cells;
    for (int round = 0; round < rounds; ++round) {
        whatif_apparatus a;
        if (!engine->find_apparatus(columns[static_cast<std::size_t>(round) % columns.size()], a))
            return 1;
        int now = engine->position(a);
        stopwatch watch;
        engine->set_position(a, now != 1);
        engine->apply();
        display.notify_changed(table->key());
        display.tick();
        change_ms.push_back(watch.wall_ms());
        change_cpu.push_back(watch.cpu_used_ms());
        cells.push_back(display.cells_repainted());
    }

    // (3) 100 steps: rows' apparatus by their permission signal (checked against their rows)
    // and columns' apparatus by name, switched on and off in turn.
    std::vector<program_step> steps;
    for (int n = 0; n < 100; ++n) {
        program_step s;
        s.switch_on = (n / 2) % 2 == 0;
        s.apparatus = n % 2 == 0
                          ? rows[static_cast<std::size_t>(n * 7) % rows.size()]->permission_signal()
                          : columns[static_cast<std::size_t>(n) % columns.size()];
        steps.push_back(s);
    }
    std::vector<double> program_ms;
    std::vector<double> program_cpu;
    std::size_t checked_rows = 0;
    std::size_t refused = 0;
    for (int round = 0; round < rounds; ++round) {
        stopwatch watch;
        std::vector<step_result> results = check_switching_program(*engine, steps);
        program_ms.push_back(watch.wall_ms());
        program_cpu.push_back(watch.cpu_used_ms());
        checked_rows = 0;
        refused = 0;
        for (const step_result& r : results) {
            checked_rows +=
                r.verdict == step_result::permitted || r.verdict == step_result::blocked;
            refused += r.verdict == step_result::blocked;
        }
    }

    std::printf("station: %zu rows, %zu signals held in the copy\n", rows.size(),
                engine->values().size());
    std::printf("(1) making the copy (ahead of entering), median of %d: %.2f ms (processor %.2f "
                "ms)\n",
                rounds, median(copy_ms), median(copy_cpu));
    std::printf("(1) entering the what-if mode on the copy, median of %d: %.2f ms (processor "
                "%.2f ms)\n",
                rounds, median(enter_ms), median(enter_cpu));
    std::printf("(2) position change to the repainted table, median of %d: %.2f ms (processor "
                "%.2f ms), cells repainted %.0f (-1: a full repaint)\n",
                rounds, median(change_ms), median(change_cpu), median(cells));
    std::printf("(3) 100-step switching program, median of %d: %.2f ms (processor %.2f ms); "
                "%zu steps checked against rows, %zu refused\n",
                rounds, median(program_ms), median(program_cpu), checked_rows, refused);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            rounds = 5;
        } else {
            std::fprintf(stderr, "usage: interlock_check [--quick]\n");
            return 2;
        }
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string home =
        (std::filesystem::temp_directory_path() / ("interlock_check." + std::to_string(getpid())))
            .string() +
        "/";
    std::filesystem::create_directories(home);
    setenv("ILKSTATION_HOME", home.c_str(), 1);
    nx_log::main().open(home + "interlock_check.log", 10000000, 0);
    int qt_argc = 1;
    char name[] = "interlock_check";
    char* qt_argv[] = {name, nullptr};
    int status = 1;
    {
        QApplication app(qt_argc, qt_argv);
        try {
            status = run(rounds, home);
        } catch (const nx_exception& e) {
            std::fprintf(stderr, "interlock_check: %s\n", e.what());
        }
    }
    nx_log::main().close();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return status;
}
