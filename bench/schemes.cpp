// Projects interlock tables onto a generated scheme and animates it, then prints the figures:
// the time of one projection and the time to compute every changed element (rules, styles,
// interlocks) after 1,000 signal changes. A scheme of 2,000 elements with two on/off rules
// each, 300 table rows (one condition of three permissions: two apparatus on the page, one
// off it) over 5,000 telesignals.

#include "bench/interlock_xml.h"
#include "bench/stopwatch.h"
#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "config/config_classes.h"
#include "config/interfaces.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_state.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "schemes/ilk/projection.h"
#include "schemes/ilk/t_ilk.h"
#include "schemes/t_element.h"
#include "structure/structure_classes.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace nxkit;

namespace {

using nxbench::column_xml;
using nxbench::element_name;
using nxbench::permission_xml;
using nxbench::section_signal_key;

constexpr int sections = 50;
constexpr int signals_per_section = 100;
constexpr int elements = 2000;
constexpr int elements_per_group = 100;
constexpr int rows = 300;
// Columns on the page stand for elements from this one on, two per row.
constexpr int first_column_element = 300;
// Signals after the element contacts: row permission and readiness signals, then the
// contacts of the apparatus that are not on the page.
constexpr int permission_signals = 2 * elements;
constexpr int ready_signals = permission_signals + rows;
constexpr int off_page_columns = 100;
constexpr int off_page_signals = ready_signals + rows;
constexpr int changes_per_round = 1000;

// Signal number i (0-based) of the structure.
std::string signal_key(int i) {
    return section_signal_key(i, signals_per_section);
}

std::string page_label() {
    return "bench/Стр1" + std::string(73, ' ') + "p1";
}

std::string signal_title(int i) {
    if (i < permission_signals && i % 2 == 0)
        return element_name(i / 2);
    if (i >= permission_signals && i < ready_signals)
        return element_name(i - permission_signals);
    if (i >= off_page_signals && i < off_page_signals + off_page_columns)
        return "X" + std::to_string(i - off_page_signals);
    return {};
}

std::string generate() {
    std::string text = nxbench::structure_xml(sections, signals_per_section, signal_title);
    text += "<ref tp=\"80\">\r\n<ref tp=\"81\" name=\"bench\">\r\n"
            "<ref tp=\"85\" rtid=\"1\" disp=\"Стр1\" key=\"p1\">\r\n";
    for (int e = 0; e < elements; ++e) {
        if (e % elements_per_group == 0)
            text += std::string(e == 0 ? "" : "</ref>\r\n") +
                    "<ref tp=\"86\" title=\"выключатель\">\r\n";
        // A position rule and a second rule on the same contacts, seen the other way.
        std::string on = signal_key(2 * e);
        std::string off = signal_key(2 * e + 1);
        text += "<ref tp=\"82\" rtid=\"" + std::to_string(100 + e) + "\" disp=\"" +
                element_name(e) + "\">\r\n" +
                "<ref tp=\"87\" par=\"положение\" on=\"включен\" of=\"отключен\"><on>" + on +
                "</on><of>" + off + "</of></ref>\r\n" +
                "<ref tp=\"87\" par=\"лампа\" on=\"горит\" of=\"не_горит\"><on>" + off +
                "</on></ref>\r\n</ref>\r\n";
    }
    text += "</ref>\r\n</ref>\r\n</ref>\r\n";

    text += "<ref tp=\"72\" page=\"" + page_label() +
            "\">\r\n<ref tp=\"79\" name=\"bench\">\r\n<ref tp=\"77\">\r\n";
    for (int c = 0; c < 2 * rows; ++c) {
        int e = first_column_element + c;
        text += column_xml(c + 1, signal_key(2 * e), signal_key(2 * e + 1));
    }
    for (int x = 0; x < off_page_columns; x += 2)
        text += column_xml(2 * rows + 1 + x, signal_key(off_page_signals + x),
                           signal_key(off_page_signals + x + 1));
    text += "</ref>\r\n<ref tp=\"78\">\r\n";
    for (int r = 0; r < rows; ++r) {
        text += "<ref tp=\"76\" ts=\"" + signal_key(permission_signals + r) + "\" dop=\"" +
                signal_key(ready_signals + r) + "\">\r\n<ref tp=\"74\">\r\n" +
                permission_xml(2 * r + 1, true) + permission_xml(2 * r + 2, false) +
                permission_xml(2 * rows + 1 + (2 * r) % off_page_columns, false) +
                "</ref>\r\n</ref>\r\n";
    }
    text += "</ref>\r\n</ref>\r\n</ref>\r\n</ref>\r\n</REFs>\r\n</struct>\r\n";
    return text;
}

using nxbench::stopwatch;

// What the scheme host does for every element the update pass reports.
class bench_host : public i_observer {
public:
    explicit bench_host(t_ref_buff& store) : store_(store) { store_.subscribe_subtree("S", this); }
    ~bench_host() override { store_.unsubscribe_subtree("", this); }

    void on_changed(const std::string& key) override {
        auto* element = dynamic_cast<t_element*>(store_.get(key));
        if (element == nullptr)
            return;
        auto start = std::chrono::steady_clock::now();
        properties_.clear();
        styles_.clear();
        element->compute(properties_, styles_);
        marks_.clear();
        for (t_el* rule : element->rules())
            if (auto* ilk = dynamic_cast<t_ilk*>(rule)) {
                ilk->evaluate(marks_);
                ++interlocks;
            }
        ++computed;
        busy_ms +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }

    int computed = 0;
    double busy_ms = 0;
    int interlocks = 0;

private:
    t_ref_buff& store_;
    property_map properties_;
    style_map styles_;
    styles_by_counter marks_;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    if (argc > 1 && !quick) {
        std::fprintf(stderr, "usage: %s [--quick]\n", argv[0]);
        return 2;
    }
    const int projections = quick ? 3 : 11;
    const int rounds = quick ? 5 : 21;

    std::string home =
        (std::filesystem::temp_directory_path() / ("schemes." + std::to_string(getpid())))
            .string() +
        "/";
    std::filesystem::create_directories(home);
    setenv("ILKSTATION_HOME", home.c_str(), 1);
    std::ofstream(home + "refs.ini", std::ios::binary) << to_cp1251(generate());

    int status = 0;
    try {
        t_ref_buff store;
        register_config_classes(store);
        register_structure_classes(store);
        register_all_scheme_classes(store);
        store.load();
        store.update_pass();

        // The first projection finds nothing to delete; the later ones replace their
        // predecessor, as after every edit of a table.
        stopwatch first_watch;
        project_tables(store);
        double first_ms = first_watch.wall_ms();
        std::vector<double> replace_ms;
        std::vector<double> replace_cpu;
        for (int i = 0; i < projections; ++i) {
            mark_interlock_changed(store);
            stopwatch watch;
            project_tables(store);
            replace_ms.push_back(watch.wall_ms());
            replace_cpu.push_back(watch.cpu_used_ms());
        }
        // The store's table rebuild closes every projection's batch; timed on its own here.
        std::vector<double> rebuild_ms;
        for (int i = 0; i < projections; ++i) {
            stopwatch watch;
            store.rebuild(false, true);
            rebuild_ms.push_back(watch.wall_ms());
        }
        store.update_pass();
        int interlocks = 0;
        for (t_ref* r : store.refs().under("S"))
            interlocks += r->type() == 83 ? 1 : 0;

        bench_host host(store);
        store.update_pass();

        // 1,000 element contacts change, a different thousand each round, the column and row
        // signals among them.
        std::vector<i_struct_element*> sources;
        for (t_ref* r : store.refs().under("K")) {
            auto* s = dynamic_cast<i_struct_element*>(r);
            if (s != nullptr && s->value_slot() != nullptr)
                sources.push_back(s);
        }
        std::vector<double> pass_ms;
        std::vector<double> pass_cpu;
        std::vector<double> compute_ms;
        std::vector<int> computed;
        std::vector<int> evaluated;
        for (int round = 0; round < rounds; ++round) {
            for (int i = 0; i < changes_per_round; ++i)
                sources[static_cast<std::size_t>(round * changes_per_round + i) % sources.size()]
                    ->set_manual(static_cast<double>((round / 5) % 2), true);
            host.computed = 0;
            host.interlocks = 0;
            host.busy_ms = 0;
            stopwatch watch;
            store.update_pass();
            pass_ms.push_back(watch.wall_ms());
            pass_cpu.push_back(watch.cpu_used_ms());
            compute_ms.push_back(host.busy_ms);
            computed.push_back(host.computed);
            evaluated.push_back(host.interlocks);
        }

        std::printf("scheme: %d elements, %d rules, %d table rows, %zu signals\n", elements,
                    2 * elements, rows, sources.size());
        std::printf("interlocks projected: %d\n", interlocks);
        std::printf("first projection: %.1f ms\n", first_ms);
        std::printf("projection replacing the previous, median of %d: %.1f ms (processor %.1f "
                    "ms)\n",
                    projections, median(replace_ms), median(replace_cpu));
        std::printf("of which the store's table rebuild, median of %d: %.1f ms\n", projections,
                    median(rebuild_ms));
        std::printf("update pass computing the changed elements after %d signal changes, median "
                    "of %d: %.2f ms (processor %.2f ms)\n",
                    changes_per_round, rounds, median(pass_ms), median(pass_cpu));
        std::printf("of which computing the elements and their interlocks, median: %.2f ms\n",
                    median(compute_ms));
        std::printf("elements computed per pass: %d to %d, interlocks evaluated: %d to %d\n",
                    *std::min_element(computed.begin(), computed.end()),
                    *std::max_element(computed.begin(), computed.end()),
                    *std::min_element(evaluated.begin(), evaluated.end()),
                    *std::max_element(evaluated.begin(), evaluated.end()));
    } catch (const nx_exception& e) {
        std::fprintf(stderr, "schemes: %s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return status;
}
