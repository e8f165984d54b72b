// The what-if mode on the station of the interlock benchmark (20 tables of 40 rows and 60
// columns, 800 rows, 16,000 permissions, 5,000 telesignals). Prints, one figure per line,
// medians over the rounds:
// (1) making the detached copy of structure and schemes (done ahead, after a load or an edit),
//     and entering the mode on it: every signal held again at its live value, one pass;
// (2) a position change in the mode to the repainted table and scheme: the change, the copy's
//     update pass, the table display's layout and repaint of the changed cells, and the copy's
//     scheme view painting the areas the change asked for (the whole page drawn anew is
//     printed beside it, outside the measure). The station has a scheme of one page of the
//     generated drawing (500 objects) whose elements show the apparatus of the first table's
//     columns, the drawing shown whole, as the what-if area shows it;
// (3) a switching program of 100 steps checked step by step.
//
// Options: --quick (5 rounds), --image FILE (the copy's scheme as last rendered, PNG).

#include "bench/generated_scheme.h"
#include "bench/interlock_station.h"
#include "bench/stopwatch.h"
#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/display/nx_schema_ilk.h"
#include "interlock/t_ilk_tab.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "interlock/whatif/switching_program.h"
#include "interlock/whatif/whatif_engine.h"
#include "schemes/control/nx_ctrl_ax_modus50.h"
#include "schemes/control/nx_view_schema.h"
#include "schemes/control/scheme_control.h"
#include "ui/icon_set.h"

#include <QApplication>
#include <QImage>

#include <unistd.h>

#include <algorithm>
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

// The scheme: one page of the generated drawing, element e (object counter e + 1) showing the
// apparatus of column e % 60 of the first table by its two contacts.
constexpr int scheme_elements = nxbench::objects_per_page;
const char* const scheme_name = "whatif";

int element_column(int e) {
    return e % columns_per_table;
}

// The signal of the first table's window at `n`: column c's contacts are 2c (off) and 2c + 1
// (on), as the table has them.
std::string first_table_signal(int n) {
    return signal_key(table_point(0), window_address(0, n));
}

struct position_values {
    const char* property;
    const char* on;
    const char* off;
};

position_values position_of(int e) {
    const std::string type = nxbench::scheme_type(e + 1);
    if (type == "лампа")
        return {"положение", "горит", "не_горит"};
    if (type == "прибор_реальный")
        return {"значение", "1", "0"};
    return {"положение", "включен", "отключен"};
}

std::string scheme_refs() {
    std::string t = std::string("<ref tp=\"81\" name=\"") + scheme_name +
                    "\">\r\n<ref tp=\"85\" rtid=\"1\" disp=\"Страница 1\" key=\"p1\">\r\n";
    // One group per type holding its elements in counter order, as the drawing has them.
    for (const char* type : nxbench::scheme_types) {
        t += std::string("<ref tp=\"86\" title=\"") + type + "\">\r\n";
        for (int e = 0; e < scheme_elements; ++e) {
            if (std::strcmp(nxbench::scheme_type(e + 1), type) != 0)
                continue;
            const position_values p = position_of(e);
            const int c = element_column(e);
            t += "<ref tp=\"82\" rtid=\"" + std::to_string(e + 1) + "\" disp=\"W" +
                 std::to_string(e) + "\">\r\n<ref tp=\"87\" par=\"" + p.property + "\" on=\"" +
                 p.on + "\" of=\"" + p.off + "\"><on>" + first_table_signal(2 * c + 1) +
                 "</on><of>" + first_table_signal(2 * c) + "</of></ref>\r\n</ref>\r\n";
        }
        t += "</ref>\r\n";
    }
    return t + "</ref>\r\n</ref>\r\n";
}

// refs.ini with the tables and the scheme, and the scheme's drawing in SDE.
bool write_station_with_scheme(const std::string& home) {
    std::string refs = generate(station_tables);
    // The scheme goes last into the schemes group, which closes the configuration.
    const std::size_t end = refs.rfind("</ref>\r\n</REFs>");
    if (end == std::string::npos) {
        std::fprintf(stderr, "interlock_check: the generated station has no schemes group\n");
        return false;
    }
    refs.insert(end, to_cp1251(scheme_refs()));
    std::filesystem::create_directories(home + "SDE");
    std::ofstream station(home + "refs.ini", std::ios::binary);
    station << refs;
    std::ofstream drawing(home + "SDE/" + scheme_name + ".sde", std::ios::binary);
    drawing << nxbench::generated_scheme("W", -1, 1);
    if (!station || !drawing) {
        std::fprintf(stderr, "interlock_check: cannot write the station into %s\n", home.c_str());
        return false;
    }
    return true;
}

// Drawn objects whose position disagrees with the copy's contacts of their apparatus (an
// apparatus between positions is not counted); `shown` counts the objects checked.
int disagreements(scheme_control& control, const whatif_values& values, int& shown) {
    int wrong = 0;
    shown = 0;
    for (int e = 0; e < scheme_elements; ++e) {
        const int c = element_column(e);
        const double on = values.at(first_table_signal(2 * c + 1)).value;
        const double off = values.at(first_table_signal(2 * c)).value;
        if ((on != 0) == (off != 0))
            continue;
        ++shown;
        const position_values p = position_of(e);
        sde_object* o = control.first_object("счетчик", std::to_string(e + 1));
        if (o == nullptr || control.property_value(*o, p.property) != (on != 0 ? p.on : p.off))
            ++wrong;
    }
    return wrong;
}

int run(int rounds, const std::string& home, const char* image_file) {
    if (!write_station_with_scheme(home))
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

    // (2) A column's apparatus of the first table switched to and fro, the table and the
    // copy's scheme shown.
    icon_set icons;
    nx_schema_ilk display(nullptr, copy, table->key(), icons);
    display.resize(1280, 800);
    display.show(nullptr);
    display.zoom_command(1);
    display.tick();
    nx_view_schema schemes(copy);
    schemes.resize(1280, 800);
    schemes.show();
    schemes.on_load();
    QApplication::processEvents();
    std::string scheme_key;
    for (t_ref* r : copy.refs().children("S"))
        if (r->type() == tp_schema_modus50)
            scheme_key = r->key();
    auto* host = dynamic_cast<nx_ctrl_ax_modus50*>(schemes.display(scheme_key));
    if (host == nullptr) {
        std::fprintf(stderr, "interlock_check: the copy's scheme was not shown\n");
        return 1;
    }
    scheme_control& control = host->control();
    // The first pass over the shown scheme brings its tab forward at the page's stored zoom;
    // after it the whole page goes in view, so every object of it is drawn.
    copy.update_pass();
    QApplication::processEvents();
    control.set_scale(fit_page);
    QImage scheme_image(control.view()->size(), QImage::Format_ARGB32_Premultiplied);
    control.view()->render(&scheme_image);
    int shown = 0;
    int wrong = disagreements(control, engine->values(), shown);

    std::vector<double> change_ms;
    std::vector<double> change_cpu;
    std::vector<double> pass_ms;
    std::vector<double> table_ms;
    std::vector<double> scheme_ms;
    std::vector<double> cells;
    std::vector<double> requests;
    std::vector<double> page_ms;
    for (int round = 0; round < rounds; ++round) {
        whatif_apparatus a;
        if (!engine->find_apparatus(columns[static_cast<std::size_t>(round) % columns.size()], a))
            return 1;
        int now = engine->position(a);
        const int requests_before = control.repaint_requests();
        stopwatch watch;
        engine->set_position(a, now != 1);
        engine->apply();
        const double pass_done = watch.wall_ms();
        display.notify_changed(table->key());
        display.tick();
        const double table_done = watch.wall_ms();
        // The view paints the areas the change asked for, as it does on screen.
        QApplication::processEvents();
        change_ms.push_back(watch.wall_ms());
        change_cpu.push_back(watch.cpu_used_ms());
        pass_ms.push_back(pass_done);
        table_ms.push_back(table_done - pass_done);
        scheme_ms.push_back(change_ms.back() - table_done);
        cells.push_back(display.cells_repainted());
        requests.push_back(control.repaint_requests() - requests_before);
        // For comparison, outside the measure: the whole page drawn anew.
        stopwatch page;
        control.view()->render(&scheme_image);
        page_ms.push_back(page.wall_ms());
        int checked = 0;
        wrong += disagreements(control, engine->values(), checked);
    }
    if (control.scale() >= 1) {
        std::fprintf(stderr, "interlock_check: the scheme was not shown whole\n");
        return 1;
    }
    if (image_file != nullptr)
        scheme_image.save(QString::fromLocal8Bit(image_file));
    if (wrong != 0 || shown == 0) {
        std::fprintf(stderr,
                     "interlock_check: %d drawn positions disagree with the copy's contacts (%d "
                     "checked at the start)\n",
                     wrong, shown);
        return 1;
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
    std::printf("(2) position change to the repainted table and scheme, median of %d: %.2f ms "
                "(processor %.2f ms)\n",
                rounds, median(change_ms), median(change_cpu));
    std::printf("    of which the change and the copy's update pass: %.2f ms\n", median(pass_ms));
    std::printf("    of which the table (layout, repaint): %.2f ms, cells repainted %.0f (-1: a "
                "full repaint)\n",
                median(table_ms), median(cells));
    std::printf("    of which the scheme (%d elements on a page in view): %.2f ms painting the "
                "%.0f areas the change asked for; %d drawn positions checked against the copy's "
                "contacts before the rounds, all agreeing after each\n",
                scheme_elements, median(scheme_ms), median(requests), shown);
    std::printf("    for comparison, the whole page drawn anew: %.2f ms\n", median(page_ms));
    std::printf("(3) 100-step switching program, median of %d: %.2f ms (processor %.2f ms); "
                "%zu steps checked against rows, %zu refused\n",
                rounds, median(program_ms), median(program_cpu), checked_rows, refused);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 20;
    const char* image_file = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            rounds = 5;
        } else if (std::strcmp(argv[i], "--image") == 0 && i + 1 < argc) {
            image_file = argv[++i];
        } else {
            std::fprintf(stderr, "usage: interlock_check [--quick] [--image file.png]\n");
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
            status = run(rounds, home, image_file);
        } catch (const nx_exception& e) {
            std::fprintf(stderr, "interlock_check: %s\n", e.what());
        }
    }
    nx_log::main().close();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return status;
}
