// The topology check of the generated interlock station (20 tables, 800 rows, 16,000
// permissions; bench/interlock_station.h) on a generated connectivity of 2,000 apparatus:
// 400 bays of busbar disconnector, breaker, line disconnector and two earthing switches, 20 bays
// to a busbar page, named after the station's signal titles so the tables' rows and columns
// find them. Prints the time of the whole check, the rows by result, the positions looked at,
// and every row whose search reached the bound.
//
// Options: --bound N (apparatus enumerated per row, default 14).

#include "bench/interlock_station.h"
#include "bench/stopwatch.h"
#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "config/t_ref_buff.h"
#include "interlock/topology/topology_check.h"

#include <unistd.h>

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

constexpr int bays = 400;
constexpr int bays_per_page = 20;

std::string object(int counter, const std::string& type, const std::string& name) {
    return "<object counter=\"" + std::to_string(counter) + "\" type=\"" + type + "\" x=\"" +
           std::to_string(10 + counter % 400) + "\" y=\"50\" w=\"" +
           (type == "шина" ? "400" : "6") + "\" h=\"" + (type == "шина" ? "1.4" : "12") +
           "\" name=\"" + name + "\"/>\n";
}

std::string wire(const std::string& from, const std::string& to) {
    return "<polyline points=\"0,0 1,1\" wire=\"1\" from=\"" + from + "\" to=\"" + to + "\"/>\n";
}

// Names of one kind (address % 4) in address order, the points interleaved.
std::vector<std::string> names_of_kind(int kind) {
    std::vector<std::string> names;
    for (int a = 1; a <= objects_per_point; ++a)
        for (int p = 1; p <= points; ++p)
            if (a % 4 == kind)
                names.push_back(apparatus_title(p, a));
    return names;
}

std::string generated_scheme() {
    const std::vector<std::string> breakers = names_of_kind(0);
    const std::vector<std::string> earthing = names_of_kind(1);
    const std::vector<std::string> disconnectors = names_of_kind(2);
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sde version=\"1\" units=\"mm\">\n";
    int counter = 0;
    for (int page = 0; page < bays / bays_per_page; ++page) {
        text += "<page number=\"" + std::to_string(page + 1) + "\" title=\"Секция " +
                std::to_string(page + 1) + "\" width=\"420\" height=\"100\">\n";
        const int bus = ++counter;
        text += object(bus, "шина", "СШ" + std::to_string(page + 1));
        for (int i = 0; i < bays_per_page; ++i) {
            const int b = page * bays_per_page + i;
            const int qs_bus = ++counter, q = ++counter, qs_line = ++counter, line = ++counter,
                      qsg_line = ++counter, qsg_mid = ++counter;
            const std::string junction = std::to_string(i + 1);
            text += object(qs_bus, "разъединитель", disconnectors[2 * b]);
            text += object(q, "выключатель", breakers[b]);
            text += object(qs_line, "разъединитель", disconnectors[2 * b + 1]);
            text += object(line, "присоединение", "Л-" + std::to_string(b + 1));
            text += object(qsg_line, "заземляющий_нож", earthing[2 * b]);
            text += object(qsg_mid, "заземляющий_нож", earthing[2 * b + 1]);
            text += "<node id=\"" + junction + "\" x=\"0\" y=\"0\"/>\n";
            auto t = [](int c, const char* terminal) { return std::to_string(c) + ":" + terminal; };
            text += wire(std::to_string(bus) + ":@" + std::to_string(10 + 19 * i), t(qs_bus, "1"));
            text += wire(t(qs_bus, "2"), t(q, "1"));
            text += wire(t(q, "2"), t(qs_line, "1"));
            text += wire(t(qsg_mid, "1"), t(q, "2"));
            text += wire(t(qs_line, "2"), "узел:" + junction);
            text += wire(t(line, "1"), "узел:" + junction);
            text += wire(t(qsg_line, "1"), "узел:" + junction);
        }
        text += "</page>\n";
    }
    return text + "</sde>\n";
}

int run(const std::string& home, std::size_t bound) {
    std::string refs = generate(20);
    const std::string end = "</ref>\r\n</REFs>";
    std::size_t at = refs.rfind(end);
    if (at == std::string::npos) {
        std::fprintf(stderr, "interlock_topology: unexpected station text\n");
        return 1;
    }
    refs.insert(at, to_cp1251("<ref tp=\"81\" name=\"Генерированная\"/>\r\n"));
    std::filesystem::create_directories(home + "SDE");
    std::ofstream(home + "refs.ini", std::ios::binary) << refs;
    std::ofstream(home + "SDE/Генерированная.sde", std::ios::binary) << generated_scheme();

    topology_options options;
    options.max_variables = bound;
    t_ref_buff store;
    register_station_classes(store);
    store.load(home + "refs.ini");

    stopwatch watch;
    station_pages pages = read_station_pages(store, home + "SDE/");
    switching_topology topology(pages.pages);
    const double graph_ms = watch.wall_ms();
    topology_report report = check_topology(store, topology, pages.position_signals, options);
    const double wall = watch.wall_ms();
    const double cpu = watch.cpu_used_ms();

    std::size_t states = 0;
    for (const row_check& r : report.rows)
        states += r.states;
    std::printf("apparatus on the schemes: %zu, pages: %zu\n", topology.size(), pages.pages.size());
    std::printf("rows checked: %zu\n", report.rows.size());
    for (row_status s : {row_status::insufficient, row_status::excessive, row_status::passed,
                         row_status::no_rule, row_status::not_checkable})
        std::printf("  %s: %zu\n", status_text(s), report.count(s));
    std::printf("positions looked at: %zu\n", states);
    std::printf("scheme pages and graph: %.1f ms\n", graph_ms);
    std::printf("whole check: %.0f ms wall, %.0f ms processor\n", wall, cpu);
    std::printf("rows at the bound (%zu apparatus): %zu\n", bound, report.bound_hits());
    for (const row_check& r : report.rows)
        if (r.left_out > 0)
            std::printf("  bound: %s %s: %zu of %zu apparatus\n", r.table_name.c_str(),
                        r.apparatus.c_str(), r.variables, r.variables + r.left_out);
    return wall < 5000 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t bound = 14;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bound") == 0 && i + 1 < argc)
            bound = static_cast<std::size_t>(std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: interlock_topology [--bound N]\n");
            return 2;
        }
    }
    std::string home = (std::filesystem::temp_directory_path() /
                        ("interlock_topology." + std::to_string(getpid())))
                           .string() +
                       "/";
    std::filesystem::create_directories(home);
    setenv("ILKSTATION_HOME", home.c_str(), 1);
    nx_log::main().open(home + "interlock_topology.log", 10000000, 0);
    int status = 1;
    try {
        status = run(home, bound);
    } catch (const nx_exception& e) {
        std::fprintf(stderr, "interlock_topology: %s\n", e.what());
    }
    nx_log::main().close();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return status;
}
