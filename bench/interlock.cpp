// Interlock evaluation and export figures, one per line, for a generated station of 20
// interlock tables of 40 rows and 60 columns bound to 5,000 telesignals of 5 IEC 104
// controlled points:
// (a) one update pass after 1,000 telesignal changes, and then the evaluation of every row,
//     condition and permission (which pulls the columns), median over the rounds;
// (b) one export of one table into its CONF_INI file, median over the runs;
// (c) load time of refs.ini and peak memory, for context.
//
// Options: --quick (4 tables, 5 rounds, 3 exports).

#include "bench/interlock_station.h"
#include "bench/stopwatch.h"
#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/nx_time.h"
#include "base/prompt.h"
#include "config/config_classes.h"
#include "config/interfaces.h"
#include "config/t_ref_buff.h"
#include "interlock/export_interlock.h"
#include "interlock/interlock_classes.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_tu.h"
#include "schemes/scheme_classes.h"
#include "structure/structure_classes.h"
#include "telemech/t_dev_104.h"
#include "telemech/telemech_classes.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace nxkit;
using namespace nxbench;

namespace {

struct options {
    int tables = 20;
    int rounds = 20;
    int exports = 10;
};

using nxbench::stopwatch;

struct samples {
    std::vector<double> wall;
    std::vector<double> cpu;

    void add(const stopwatch& w) {
        wall.push_back(w.wall_ms());
        cpu.push_back(w.cpu_used_ms());
    }
    static double median(std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    }
    double wall_median() const { return median(wall); }
    double cpu_median() const { return median(cpu); }
};

// Says yes to every question; error boxes are kept, so a failed export ends the run.
class yes_prompt : public i_prompt {
public:
    int message_box(owner_handle, const std::string& text, const std::string&, int type) override {
        if (type == mb_error) {
            errors.push_back(text);
            return answer_ok;
        }
        return answer_yes;
    }
    int popup_menu(owner_handle, const std::vector<menu_item>&) override { return 0; }

    std::vector<std::string> errors;
};

bool parse_args(int argc, char** argv, options& opt) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            opt.tables = 4;
            opt.rounds = 5;
            opt.exports = 3;
        } else {
            std::fprintf(stderr, "usage: interlock [--quick]\n");
            return false;
        }
    }
    return true;
}

int run(const options& opt, const std::string& home) {
    if (!write_station(home, opt.tables, "interlock"))
        return 1;
    t_ref_buff store;
    register_station_classes(store);

    stopwatch load_watch;
    store.load();
    const double load_ms = load_watch.wall_ms();
    const double load_cpu = load_watch.cpu_used_ms();

    station_feed feed(store);
    std::vector<t_ilk_tu*> rows;
    std::vector<t_ilk_or*> conditions;
    std::vector<t_ilk_and*> permissions;
    for (t_ref* r : store.refs().under("S")) {
        if (auto* row = dynamic_cast<t_ilk_tu*>(r))
            rows.push_back(row);
        else if (auto* c = dynamic_cast<t_ilk_or*>(r))
            conditions.push_back(c);
        else if (auto* p = dynamic_cast<t_ilk_and*>(r))
            permissions.push_back(p);
    }
    const std::size_t expected_rows = static_cast<std::size_t>(opt.tables) * rows_per_table;
    if (feed.device_count() != points || rows.size() != expected_rows ||
        conditions.size() != expected_rows * conditions_per_row ||
        permissions.size() != conditions.size() * permissions_per_condition) {
        std::fprintf(stderr,
                     "interlock: the station did not load as generated (%zu devices, %zu rows, "
                     "%zu conditions, %zu permissions)\n",
                     feed.device_count(), rows.size(), conditions.size(), permissions.size());
        return 1;
    }

    feed.deliver_all();
    for (t_ilk_tu* r : rows)
        r->enabled();

    // (a) A thousand objects change each round; the pass that takes them, then every state
    // the table display reads.
    samples pass;
    samples evaluation;
    std::size_t marked = 0;
    std::size_t permitted = 0;
    std::size_t enabled = 0;
    for (int round = 0; round < opt.rounds; ++round) {
        feed.change_round(round);
        marked = store.change_set().size();
        stopwatch pass_watch;
        store.update_pass();
        pass.add(pass_watch);

        stopwatch eval_watch;
        enabled = 0;
        permitted = 0;
        for (t_ilk_tu* r : rows)
            enabled += r->enabled() ? 1 : 0;
        for (t_ilk_or* c : conditions)
            c->permits();
        for (t_ilk_and* p : permissions)
            permitted += p->permits() ? 1 : 0;
        evaluation.add(eval_watch);
    }

    // One more round taken apart: how many keys the changes reach, and what share of the pass
    // goes into finding them (the pass then finds the same keys again).
    feed.change_round(opt.rounds);
    key_set reached = store.change_set();
    stopwatch expand_watch;
    store.expand_dependencies(reached);
    const double expand_ms = expand_watch.wall_ms();
    const double expand_cpu = expand_watch.cpu_used_ms();
    stopwatch whole_watch;
    store.update_pass();
    const double whole_ms = whole_watch.wall_ms();
    const double whole_cpu = whole_watch.cpu_used_ms();

    // The states read must be those of the values delivered last: a row or a permission
    // left out of the pass would show an old state.
    std::size_t stale = 0;
    for (t_ilk_and* p : permissions) {
        int uid = p->column_number() - 1;
        int table = uid / columns_per_table;
        int column = uid % columns_per_table;
        auto value = [&](int n) {
            return feed.is_on(table_point(table), window_address(table, n));
        };
        bool no = value(2 * column);
        bool nc = value(2 * column + 1);
        bool expected = no != nc && no == p->permits_when_on();
        if (p->permits() != expected)
            ++stale;
    }
    // Rows come in key order: table by table, row by row.
    for (std::size_t n = 0; n < rows.size(); ++n) {
        int table = static_cast<int>(n) / rows_per_table;
        int row = static_cast<int>(n) % rows_per_table;
        auto value = [&](int k) {
            return feed.is_on(table_point(table), window_address(table, k));
        };
        bool expected = value(2 * columns_per_table + row) ||
                        value(2 * columns_per_table + rows_per_table + row);
        if (rows[n]->enabled() != expected)
            ++stale;
    }

    // (b) The export of the first table into a controller file that names objects by their
    // addresses.
    yes_prompt prompt;
    set_prompt(&prompt);
    const std::string conf = export_folder() + "conf00.ini";
    {
        std::ofstream file(conf, std::ios::binary);
        file << "[CONF]\r\n.MEK=1 1\r\n";
    }
    samples exporting;
    bool exported = true;
    const std::string root_key = store.refs().children("S").front()->key();
    for (int run = 0; run < opt.exports && exported; ++run) {
        stopwatch export_watch;
        exported = export_interlock(store, root_key, "Экспорт в conf.ini", false);
        exporting.add(export_watch);
    }
    set_prompt(nullptr);
    if (!exported) {
        std::fprintf(stderr, "interlock: the export failed: %s\n",
                     prompt.errors.empty() ? "(no message)" : prompt.errors[0].c_str());
        return 1;
    }
    std::size_t lines = 0;
    {
        std::ifstream file(conf, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        for (std::size_t at = 0; (at = text.find("$ILK=", at)) != std::string::npos; ++at)
            ++lines;
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    std::printf("station: %d tables of %d rows x %d columns, %zu conditions, %zu permissions, "
                "%d telesignals of %d controlled points, %zu components\n",
                opt.tables, rows_per_table, columns_per_table, conditions.size(),
                permissions.size(), points * objects_per_point, points, store.refs().size());
    std::printf("(a) update pass after %d telesignal changes (%zu keys handed over), median of "
                "%d: %.2f ms (processor %.2f ms)\n",
                changes_per_round, marked, opt.rounds, pass.wall_median(), pass.cpu_median());
    std::printf("(a) evaluation of %zu rows, %zu conditions, %zu permissions after that pass, "
                "median of %d: %.2f ms (processor %.2f ms)\n",
                rows.size(), conditions.size(), permissions.size(), opt.rounds,
                evaluation.wall_median(), evaluation.cpu_median());
    std::printf("(a) states after the last round: %zu of %zu rows enabled, %zu of %zu "
                "permissions permitted\n",
                enabled, rows.size(), permitted, permissions.size());
    std::printf("(a) rows and permissions whose state differs from the delivered values: %zu\n",
                stale);
    std::printf("(a) one more pass taken apart: %zu keys reached from %zu handed over; finding "
                "them %.2f ms (processor %.2f ms) of a pass of %.2f ms (processor %.2f ms)\n",
                reached.size(), marked, expand_ms, expand_cpu, whole_ms, whole_cpu);
    std::printf("(b) export of one table (%zu $ILK= lines), median of %d: %.2f ms (processor "
                "%.2f ms)\n",
                lines, opt.exports, exporting.wall_median(), exporting.cpu_median());
    std::printf("(c) load: %.1f ms (processor %.1f ms)\n", load_ms, load_cpu);
    std::printf("(c) peak memory: %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return stale == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    options opt;
    if (!parse_args(argc, argv, opt))
        return 2;

    // The station folder is set before anything asks for it.
    std::string home =
        (std::filesystem::temp_directory_path() / ("interlock." + std::to_string(getpid())))
            .string() +
        "/";
    std::filesystem::create_directories(home);
    setenv("ILKSTATION_HOME", home.c_str(), 1);
    nx_log::main().open(home + "interlock.log", 10000000, 0);

    int status = 1;
    try {
        status = run(opt, home);
    } catch (const nx_exception& e) {
        std::fprintf(stderr, "interlock: %s\n", e.what());
    }
    nx_log::main().close();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return status;
}
