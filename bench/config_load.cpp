// Loads, saves and updates a generated station of 100,000 components and prints the figures:
// load time (parse, init, table rebuild and first update pass), save time, peak memory and one
// update pass after 1,000 source signals changed.

#include "bench/generated_station.h"
#include "bench/stopwatch.h"
#include "base/nx_exception.h"
#include "config/interfaces.h"
#include "config/t_ref_buff.h"
#include "structure/structure_classes.h"

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace nxkit;

namespace {

using nxbench::generate_station;
using nxbench::stopwatch;

} // namespace

int main() {
    std::string home =
        (std::filesystem::temp_directory_path() / ("config_load." + std::to_string(getpid())))
            .string() +
        "/";
    std::filesystem::create_directories(home);
    setenv("ILKSTATION_HOME", home.c_str(), 1);

    int components = 0;
    {
        // Written as Windows-1251: the generated text is ASCII apart from three titles.
        std::string text = generate_station(components);
        std::ofstream(home + "refs.ini", std::ios::binary) << text;
    }

    try {
        t_ref_buff store;
        register_structure_classes(store);

        stopwatch load_watch;
        store.load();
        double load_ms = load_watch.wall_ms();
        double load_cpu = load_watch.cpu_used_ms();

        stopwatch save_watch;
        store.save();
        double save_ms = save_watch.wall_ms();
        double save_cpu = save_watch.cpu_used_ms();

        // 1,000 sources change, a different thousand each time; the median of 21 passes.
        std::vector<i_struct_element*> sources;
        for (t_ref* r : store.refs().under("K")) {
            auto* s = dynamic_cast<i_struct_element*>(r);
            if (s != nullptr && s->value_slot() != nullptr && s->expression().empty() &&
                r->number() >= 7 && r->number() <= 20)
                sources.push_back(s);
        }
        store.update_pass();
        std::vector<double> passes;
        std::vector<double> pass_cpu;
        std::size_t marked = 0;
        for (std::size_t round = 0; round < 21; ++round) {
            for (std::size_t i = 0; i < 1000; ++i)
                sources[(round * 1000 + i) % sources.size()]->set_manual(
                    static_cast<double>(round % 2), true);
            marked = store.change_set().size();
            stopwatch pass_watch;
            store.update_pass();
            passes.push_back(pass_watch.wall_ms());
            pass_cpu.push_back(pass_watch.cpu_used_ms());
        }
        std::sort(passes.begin(), passes.end());
        std::sort(pass_cpu.begin(), pass_cpu.end());
        double pass_ms = passes[passes.size() / 2];

        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);

        std::printf("components: %zu (generated %d)\n", store.refs().size(), components);
        std::printf("load: %.1f ms (processor %.1f ms)\n", load_ms, load_cpu);
        std::printf("save: %.1f ms (processor %.1f ms)\n", save_ms, save_cpu);
        std::printf("update pass after %zu changed sources, median of 21: %.2f ms (processor "
                    "%.2f ms)\n",
                    marked, pass_ms, pass_cpu[pass_cpu.size() / 2]);
        std::printf("peak memory: %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    } catch (const nx_exception& e) {
        std::fprintf(stderr, "config_load: %s\n", e.what());
        return 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
