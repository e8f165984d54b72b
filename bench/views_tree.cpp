// The configuration trees over a generated station of 100,000 components (offscreen): the three
// tree models ready and the first screen painted, a node of 10,000 children expanded, the trees'
// share of an update pass with 1,000 changed signals of which 50 are shown, finding a name that
// only the last component has, and the memory the three models take beyond the store.

#include "bench/generated_station.h"
#include "bench/stopwatch.h"
#include "base/nx_exception.h"
#include "config/config_classes.h"
#include "config/t_ref_buff.h"
#include "structure/structure_classes.h"
#include "views/nx_ref_editor.h"
#include "views/nx_view_tree.h"
#include "views/tree_find.h"

#include <QApplication>
#include <QPixmap>
#include <QTreeView>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace nxkit;
using nxbench::stopwatch;

namespace {

// The resident set now, in megabytes.
double resident_mb() {
    long pages = 0;
    long resident = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string home =
        (std::filesystem::temp_directory_path() / ("views_tree." + std::to_string(getpid())))
            .string() +
        "/";
    std::filesystem::create_directories(home);
    setenv("ILKSTATION_HOME", home.c_str(), 1);
    QApplication app(argc, argv);

    int components = 0;
    {
        std::string text = nxbench::generate_station(components, 10000);
        std::ofstream(home + "refs.ini", std::ios::binary) << text;
    }
    try {
        t_ref_buff store;
        register_config_classes(store);
        register_structure_classes(store);
        store.load();
        store.update_pass();
        // The last component of the structure gets a name nobody else has.
        std::vector<t_ref*> structure = store.refs().under("K");
        structure.back()->set_title("единственный в конце");
        double store_mb = resident_mb();

        struct panel {
            std::unique_ptr<nx_ref_editor> editor;
            std::unique_ptr<nx_view_tree> view;
        };
        std::vector<panel> panels;
        for (const char* root : {"D", "K", "S"}) {
            panel p;
            p.editor = std::make_unique<nx_ref_editor>(store);
            p.editor->resize(290, 900);
            p.view = std::make_unique<nx_view_tree>(store, p.editor->tree(), 0);
            p.view->set_root_key(root);
            bind_tree(*p.editor, *p.view);
            p.editor->QWidget::show();
            panels.push_back(std::move(p));
        }
        QApplication::processEvents();

        stopwatch ready;
        for (panel& p : panels) {
            p.view->on_load();
            p.editor->tree()->grab();
        }
        double ready_ms = ready.wall_ms();
        double ready_cpu = ready.cpu_used_ms();

        // The node of 10,000 children: the first folder under the scheme root.
        panel& schemes = panels[2];
        QModelIndex wide = schemes.view->model().reveal(store.refs().children("S").front()->key());
        stopwatch expand;
        schemes.editor->tree()->expand(wide);
        schemes.editor->tree()->grab();
        double expand_ms = expand.wall_ms();
        int wide_rows = schemes.view->model().rowCount(wide);

        // 1,000 changed signals: 25 in each of two expanded sections, the rest elsewhere.
        panel& tree_k = panels[1];
        std::vector<std::string> shown;
        std::vector<std::string> hidden;
        for (const char* section : {"K.0000.0000", "K.0000.0001"}) {
            tree_k.editor->tree()->expand(tree_k.view->model().reveal(section));
            for (t_ref* s : store.refs().children(section))
                if (shown.size() < (section[10] == '0' ? 25u : 50u))
                    shown.push_back(s->key());
        }
        for (t_ref* r : structure)
            if (hidden.size() < 950 && r->key().size() > 12 &&
                r->key().compare(0, 7, "K.0000.") != 0 &&
                dynamic_cast<i_struct_element*>(r) != nullptr)
                hidden.push_back(r->key());
        tree_k.editor->tree()->grab();
        // Processor time of the pass (the machine may be shared), with and without the trees
        // subscribed, alternating so both see the same conditions; medians of 21 each.
        auto one_pass = [&] {
            for (const std::string& k : shown)
                store.mark_changed(k);
            for (const std::string& k : hidden)
                store.mark_changed(k);
            stopwatch pass;
            store.update_pass();
            return pass.cpu_used_ms();
        };
        std::vector<double> with_trees;
        std::vector<double> without_trees;
        for (int i = 0; i < 21; ++i) {
            with_trees.push_back(one_pass());
            for (panel& p : panels)
                store.unsubscribe_subtree(p.view->root_key(), p.view.get());
            without_trees.push_back(one_pass());
            for (panel& p : panels)
                store.subscribe_subtree(p.view->root_key(), p.view.get());
        }

        stopwatch find;
        std::string found = find_component(store, "K", "K", "единственный", true);
        double find_ms = find.wall_ms();
        double find_cpu = find.cpu_used_ms();
        stopwatch find_view;
        tree_k.view->find_next("единственный", true);
        tree_k.editor->tree()->grab();
        double find_view_ms = find_view.wall_ms();
        double find_view_cpu = find_view.cpu_used_ms();

        double trees_mb = resident_mb() - store_mb;

        std::printf("components: %zu (generated %d)\n", store.refs().size(), components);
        std::printf("three trees ready and first screen painted: %.1f ms (processor %.1f ms)\n",
                    ready_ms, ready_cpu);
        std::printf("expanding a node of %d children, painted: %.1f ms\n", wide_rows, expand_ms);
        std::printf(
            "update pass with %zu changed signals (%zu shown), median of 21, processor: %.2f ms "
            "with the trees, %.2f ms without; the trees' share %.2f ms\n",
            shown.size() + hidden.size(), shown.size(), median(with_trees), median(without_trees),
            median(with_trees) - median(without_trees));
        std::printf("finding the name of the last component: %.1f ms (processor %.1f ms)%s\n",
                    find_ms, find_cpu, found == structure.back()->key() ? "" : " NOT FOUND");
        std::printf(
            "finding it from the field, revealed and painted: %.1f ms (processor %.1f ms)\n",
            find_view_ms, find_view_cpu);
        std::printf("tree nodes: %zu\n", panels[0].view->model().node_count() +
                                             panels[1].view->model().node_count() +
                                             panels[2].view->model().node_count());
        std::printf("memory of the three trees beyond the store: %.1f MB (store %.1f MB)\n",
                    trees_mb, store_mb);
    } catch (const nx_exception& e) {
        std::fprintf(stderr, "views_tree: %s\n", e.what());
        return 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
