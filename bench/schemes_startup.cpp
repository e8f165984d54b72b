// The workstation's start-up path on a large station with schemes: the main window built as
// start-up builds it (trees, scheme view, journal, manual input) over a generated station of
// 100,000 components with two schemes of 500 drawn elements each that the configuration does
// not hold yet, so that showing them inserts their pages, groups and elements. Prints the time
// until the configuration is loaded and both schemes are shown and synchronised, the time until
// the window has been painted once, the elements made and the load's log lines.

#include "bench/generated_scheme.h"
#include "bench/generated_station.h"
#include "bench/stopwatch.h"
#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "platform/desktop_services.h"
#include "schemes/control/nx_view_schema.h"
#include "schemes/t_element.h"
#include "shell/main_window.h"
#include "ui/ui_resources.h"

#include <QApplication>
#include <QTabBar>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

using namespace nxkit;
using nxbench::stopwatch;

namespace {

class no_hot_key : public i_hot_key {
public:
    bool register_key(const std::string&, std::function<void()>) override { return false; }
    void unregister_key() override {}
};

int count_lines(const std::string& file, const std::string& part) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string log = from_cp1251(text.str());
    int n = 0;
    for (std::size_t at = log.find(part); at != std::string::npos; at = log.find(part, at + 1))
        ++n;
    return n;
}

int run(QApplication& app) {
    t_ref_buff store;
    std::unique_ptr<ui_resources> resources = init_ui_resources();
    no_hot_key hot_key;
    int elements = 0, schemes_shown = 0;
    double ready_ms = 0, ready_cpu = 0, painted_ms = 0;
    {
        stopwatch watch;
        nx_dlg_mod window(store, *resources, -1, &hot_key);
        window.resize(1600, 1000);
        window.create_contents();
        ready_ms = watch.wall_ms();
        ready_cpu = watch.cpu_used_ms();
        window.show();
        app.processEvents();
        painted_ms = watch.wall_ms();

        // Counted by scheme and counter: an element made twice for one drawn object is a fault.
        std::set<std::pair<std::string, int>> drawn;
        for (t_ref* r : store.refs().under("S"))
            if (auto* e = dynamic_cast<t_element*>(r)) {
                ++elements;
                drawn.insert({e->key().substr(0, 6), e->rtid()});
            }
        if (drawn.size() != static_cast<std::size_t>(elements))
            std::printf("elements made twice for one drawn object: %d\n",
                        elements - static_cast<int>(drawn.size()));
        if (auto* view = dynamic_cast<nx_view_schema*>(window.view(view_slot::scheme)))
            schemes_shown = view->tab_bar()->count();
        std::printf("station: %zu components after start-up, %d scheme elements made, %d "
                    "schemes shown\n",
                    store.refs().size(), elements, schemes_shown);
        std::printf("configuration and schemes ready: %.0f ms (processor %.0f ms)\n", ready_ms,
                    ready_cpu);
        std::printf("window painted once: %.0f ms\n", painted_ms);
        store.start_devices(false);
    }
    release_ui_resources(resources);
    const std::string log = nx_log::main().file_name();
    nx_log::main().close();
    std::printf("log lines \"Версия формата конфигурации\": %d\n",
                count_lines(log, "Версия формата конфигурации"));
    return elements == 1000 && schemes_shown == 2 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string home =
        (std::filesystem::temp_directory_path() / ("schemes_startup." + std::to_string(getpid())))
            .string() +
        "/";
    std::filesystem::create_directories(home + "SDE");
    setenv("ILKSTATION_HOME", home.c_str(), 1);
    {
        int components = 0;
        std::string text = nxbench::generate_station(components);
        // Two schemes the configuration knows only by their files.
        const std::string root = "<ref tp=\"80\" title=\"Схемы\">\r\n";
        text.replace(text.find(root), root.size(),
                     root +
                         "<ref tp=\"81\" name=\"north\"/>\r\n<ref tp=\"81\" name=\"south\"/>\r\n");
        std::ofstream(home + "refs.ini", std::ios::binary) << to_cp1251(text);
        std::ofstream(home + "SDE/north.sde", std::ios::binary)
            << nxbench::generated_scheme("N", 0, 1);
        std::ofstream(home + "SDE/south.sde", std::ios::binary)
            << nxbench::generated_scheme("S", 0, 1);
        // View mode, no connections, no log pane: the figures are the load's own.
        std::ofstream(home + "ilkstation.ini", std::ios::binary)
            << "[CTRL]\r\nedit=0\r\ncon=0\r\n[VIEW]\r\nEDIT_KEY=0\r\n";
    }
    nx_log::main().open("", 100000000, 0);

    QApplication app(argc, argv);
    int status = 0;
    try {
        status = run(app);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "schemes_startup: %s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return status;
}
