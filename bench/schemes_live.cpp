// A live scheme, offscreen: the scheme view showing a generated drawing of 2,000 objects on 4
// pages, its elements bound to 5,000 telesignals and an interlock table projected onto the
// first page. Prints the time for 1,000 signal changes to reach the drawing (the update pass
// computing the changed elements and writing them into the drawn objects, then the control
// repainted into an image) and the time to build the element menu of an element with three
// interlocks and 40 signals.

#include "bench/interlock_xml.h"
#include "bench/generated_scheme.h"
#include "bench/stopwatch.h"
#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "config/config_classes.h"
#include "config/interfaces.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/control/element_menu.h"
#include "schemes/control/nx_ctrl_ax_modus50.h"
#include "schemes/control/nx_view_schema.h"
#include "schemes/control/scheme_control.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "config/ref_flags.h"
#include "schemes/t_el_onof.h"
#include "schemes/t_element.h"
#include "structure/structure_classes.h"

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
using nxbench::stopwatch;

namespace {

using nxbench::column_xml;
using nxbench::element_name;
using nxbench::permission_xml;
using nxbench::section_signal_key;

constexpr int elements = nxbench::scheme_pages * nxbench::objects_per_page;
constexpr int sections = 50;
constexpr int signals_per_section = 100;
constexpr int signal_count = sections * signals_per_section;
constexpr int changes_per_round = 1000;

// Signals by number (0-based): two contacts per element (on, off), then the rows' permission
// and readiness signals, the contacts of apparatus that are not on the page, the menu
// element's own signals and, for the rest, label colours of elements from page 3 on.
constexpr int rows = 300;
constexpr int row_permissions = 2 * elements;
constexpr int row_ready = row_permissions + rows;
constexpr int off_page = row_ready + rows;
constexpr int off_page_columns = 50;
constexpr int menu_signals = off_page + 2 * off_page_columns;
// With the two contacts of its position rule the menu element lists 40 signals.
constexpr int menu_rule_signals = 38;
constexpr int label_signals = menu_signals + menu_rule_signals;
constexpr int first_label_element = 2 * nxbench::objects_per_page;
// Columns on the page stand for elements from this one on, two per row.
constexpr int first_column_element = rows;
// Row 0 (element E0, the menu element) has three conditions.
constexpr int menu_conditions = 3;

// Signal number i (0-based) of the structure.
std::string signal_key(int i) {
    return section_signal_key(i, signals_per_section);
}

std::string signal_title(int i) {
    if (i < row_permissions && i % 2 == 0)
        return element_name(i / 2);
    if (i >= row_permissions && i < row_ready)
        return element_name(i - row_permissions);
    if (i >= off_page && i < menu_signals && i % 2 == 0)
        return "X" + std::to_string((i - off_page) / 2);
    if (i >= menu_signals && i < label_signals)
        return "M" + std::to_string(i - menu_signals);
    return {};
}

struct position_values {
    const char* property;
    const char* on;
    const char* off;
};

position_values position_of(int e) {
    std::string type = nxbench::scheme_type(e + 1);
    if (type == "лампа")
        return {"положение", "горит", "не_горит"};
    if (type == "прибор_реальный")
        return {"значение", "1", "0"};
    return {"положение", "включен", "отключен"};
}

std::string onof_xml(const std::string& property, const std::string& on_value,
                     const std::string& off_value, const std::string& on, const std::string& off) {
    return "<ref tp=\"87\" par=\"" + property + "\" on=\"" + on_value + "\" of=\"" + off_value +
           "\"><on>" + on + "</on><of>" + off + "</of></ref>\r\n";
}

// The menu element's rules over its own signals: ten, ten, ten and eight.
std::string menu_rules() {
    std::string text;
    for (int first = 0; first < menu_rule_signals; first += 10) {
        const int count = std::min(10, menu_rule_signals - first);
        std::string on, off;
        for (int k = 0; k < count; ++k) {
            const std::string s = signal_key(menu_signals + first + k);
            if (k < count / 2)
                on += (on.empty() ? "" : " or ") + s;
            else
                off += (off.empty() ? "!" : " and !") + s;
        }
        text += onof_xml("подпись.цвет", "зеленый", "красный", on, off);
    }
    return text;
}

std::string element_xml_text(int e) {
    const position_values p = position_of(e);
    std::string text = "<ref tp=\"82\" rtid=\"" + std::to_string(e + 1) + "\" disp=\"" +
                       element_name(e) + "\">\r\n" +
                       onof_xml(p.property, p.on, p.off, signal_key(2 * e), signal_key(2 * e + 1));
    const int label = label_signals + (e - first_label_element);
    if (e >= first_label_element && label < signal_count)
        text += onof_xml("подпись.цвет", "зеленый", "красный", signal_key(label),
                         "!" + signal_key(label));
    if (e == 0)
        text += menu_rules();
    return text + "</ref>\r\n";
}

std::string page_label() {
    return "bench/Страница 1" + std::string(73, ' ') + "p1";
}

std::string generate() {
    std::string text = nxbench::structure_xml(sections, signals_per_section, signal_title);
    text += "<ref tp=\"80\">\r\n<ref tp=\"81\" name=\"bench\">\r\n";
    // Pages as the drawing has them, one group per type holding its elements in counter order.
    for (int page = 1; page <= nxbench::scheme_pages; ++page) {
        text += "<ref tp=\"85\" rtid=\"" + std::to_string(page) + "\" disp=\"Страница " +
                std::to_string(page) + "\" key=\"p" + std::to_string(page) + "\">\r\n";
        for (const char* type : nxbench::scheme_types) {
            text += std::string("<ref tp=\"86\" title=\"") + type + "\">\r\n";
            for (int i = 0; i < nxbench::objects_per_page; ++i) {
                const int e = (page - 1) * nxbench::objects_per_page + i;
                if (std::strcmp(nxbench::scheme_type(e + 1), type) == 0)
                    text += element_xml_text(e);
            }
            text += "</ref>\r\n";
        }
        text += "</ref>\r\n";
    }
    text += "</ref>\r\n";

    text += "<ref tp=\"72\" page=\"" + page_label() +
            "\">\r\n<ref tp=\"79\" name=\"bench\">\r\n<ref tp=\"77\">\r\n";
    for (int c = 0; c < 2 * rows; ++c) {
        int e = first_column_element + c;
        text += column_xml(c + 1, signal_key(2 * e), signal_key(2 * e + 1));
    }
    for (int x = 0; x < off_page_columns; ++x)
        text += column_xml(2 * rows + 1 + x, signal_key(off_page + 2 * x),
                           signal_key(off_page + 2 * x + 1));
    text += "</ref>\r\n<ref tp=\"78\">\r\n";
    for (int r = 0; r < rows; ++r) {
        text += "<ref tp=\"76\" ts=\"" + signal_key(row_permissions + r) + "\" dop=\"" +
                signal_key(row_ready + r) + "\">\r\n";
        for (int n = 0; n < (r == 0 ? menu_conditions : 1); ++n) {
            const int c = (2 * r + 2 * n) % (2 * rows);
            text += "<ref tp=\"74\">\r\n" + permission_xml(c + 1, true) +
                    permission_xml(c + 2, false) +
                    permission_xml(2 * rows + 1 + (r + n) % off_page_columns, false) + "</ref>\r\n";
        }
        text += "</ref>\r\n";
    }
    text += "</ref>\r\n</ref>\r\n</ref>\r\n</ref>\r\n</REFs>\r\n</struct>\r\n";
    return text;
}

// Counts the elements an update pass reports to the scheme view.
class element_counter : public i_observer {
public:
    explicit element_counter(t_ref_buff& store) : store_(store) {
        store_.subscribe_subtree("S", this);
    }
    ~element_counter() override { store_.unsubscribe_subtree("", this); }
    void on_changed(const std::string& key) override {
        count += dynamic_cast<t_element*>(store_.get(key)) != nullptr ? 1 : 0;
    }
    int count = 0;

private:
    t_ref_buff& store_;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Drawn objects whose position property disagrees with the on contact of their element.
int disagreements(scheme_control& control, const std::vector<i_struct_element*>& sources) {
    int wrong = 0;
    for (int e = 0; e < elements; ++e) {
        sde_object* o = control.first_object("счетчик", std::to_string(e + 1));
        const position_values p = position_of(e);
        const bool on = *sources[static_cast<std::size_t>(2 * e)]->value_slot() != 0;
        if (o == nullptr || control.property_value(*o, p.property) != (on ? p.on : p.off))
            ++wrong;
    }
    return wrong;
}

// The signals the menu lists: those of the element's rules other than the read-only ones.
int listed_signals(t_ref_buff& store, t_element& element) {
    int n = 0;
    for (t_ref* r : store.refs().children(element.key()))
        if (auto* rule = dynamic_cast<t_el_onof*>(r);
            rule != nullptr && !r->has_flag(flag_read_only)) {
            key_set on, off;
            store.used_components(rule->on_condition(), on);
            store.used_components(rule->off_condition(), off);
            n += static_cast<int>(on.size() + off.size());
        }
    return n;
}

int count_items(const std::vector<menu_item>& items) {
    int n = 0;
    for (const menu_item& item : items)
        n += 1 + count_items(item.items);
    return n;
}

int run(QApplication& app, bool quick, const char* image_file) {
    const int rounds = quick ? 5 : 21;
    const int menus = quick ? 11 : 101;

    t_ref_buff store;
    register_config_classes(store);
    register_structure_classes(store);
    register_all_scheme_classes(store);
    store.load();
    store.update_pass();

    nx_view_schema view(store);
    view.resize(1600, 1000);
    view.show();
    view.on_load();
    app.processEvents();
    std::string scheme_key;
    for (t_ref* r : store.refs().children("S"))
        if (r->type() == tp_schema_modus50)
            scheme_key = r->key();
    auto* host = dynamic_cast<nx_ctrl_ax_modus50*>(view.display(scheme_key));
    if (host == nullptr) {
        std::fprintf(stderr, "schemes_live: the scheme was not shown\n");
        return 1;
    }
    scheme_control& control = host->control();
    // The whole first page in view: every object of it is drawn.
    control.set_scale(fit_page);

    std::vector<i_struct_element*> sources;
    for (t_ref* r : store.refs().under("K")) {
        auto* s = dynamic_cast<i_struct_element*>(r);
        if (s != nullptr && s->value_slot() != nullptr)
            sources.push_back(s);
    }
    int interlocks = 0;
    for (t_ref* r : store.refs().under("S"))
        interlocks += r->type() == tp_ilk ? 1 : 0;

    // Showing the scheme and projecting the table leave every element to be drawn once.
    store.update_pass();
    app.processEvents();

    // A different thousand each round, the two contacts of an element always opposite, so
    // every change flips a position.
    QImage image(control.view()->size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> total_ms, total_cpu, pass_ms, pass_cpu, paint_ms;
    std::vector<int> redrawn;
    element_counter counter(store);
    for (int round = 0; round < rounds; ++round) {
        const int flip = (round / 5) % 2;
        for (int i = 0; i < changes_per_round; ++i) {
            const int n = (round * changes_per_round + i) % static_cast<int>(sources.size());
            sources[static_cast<std::size_t>(n)]->set_manual(static_cast<double>(flip ^ (n % 2)),
                                                             true);
        }
        counter.count = 0;
        stopwatch watch;
        store.update_pass();
        redrawn.push_back(counter.count);
        const double pass = watch.wall_ms();
        pass_cpu.push_back(watch.cpu_used_ms());
        control.view()->render(&image);
        total_ms.push_back(watch.wall_ms());
        total_cpu.push_back(watch.cpu_used_ms());
        pass_ms.push_back(pass);
        paint_ms.push_back(total_ms.back() - pass);
        // What the batches asked to repaint goes now, outside the measure.
        app.processEvents();
    }
    const int wrong = disagreements(control, sources);
    if (image_file != nullptr)
        image.save(QString::fromLocal8Bit(image_file));

    auto& menu_element = dynamic_cast<t_element&>(*store.get(scheme_key + ".0000.0000.0000"));
    std::vector<double> menu_ms;
    int items = 0;
    for (int i = 0; i < menus; ++i) {
        stopwatch watch;
        std::vector<menu_item> built = element_menu_walk(store, menu_element).build(nullptr);
        menu_ms.push_back(watch.wall_ms());
        items = count_items(built);
    }
    int menu_interlocks = 0;
    for (t_ref* r : store.refs().children(menu_element.key()))
        menu_interlocks += r->type() == tp_ilk ? 1 : 0;

    std::printf("scheme: %d elements on %d pages, %zu signals, %d interlocks projected\n", elements,
                nxbench::scheme_pages, sources.size(), interlocks);
    std::printf("%d signal changes to the drawing (update pass, compute, writes, repaint into "
                "an image), median of %d: %.1f ms (processor %.1f ms)\n",
                changes_per_round, rounds, median(total_ms), median(total_cpu));
    std::printf("  of which the update pass with the writes: %.1f ms (processor %.1f ms)\n",
                median(pass_ms), median(pass_cpu));
    std::printf("  of which the repaint: %.1f ms\n", median(paint_ms));
    std::printf("elements written per pass: %d to %d\n",
                *std::min_element(redrawn.begin(), redrawn.end()),
                *std::max_element(redrawn.begin(), redrawn.end()));
    std::printf("drawn positions disagreeing with their signals: %d\n", wrong);
    std::printf("element menu of %s (%d interlocks, %d signals, %d lines), median of %d: %.2f "
                "ms\n",
                menu_element.disp_name().c_str(), menu_interlocks,
                listed_signals(store, menu_element), items, menus, median(menu_ms));
    return wrong == 0 && menu_interlocks == menu_conditions ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    const char* image_file = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--image") == 0 && i + 1 < argc) {
            image_file = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--quick] [--image file.png]\n", argv[0]);
            return 2;
        }
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string home =
        (std::filesystem::temp_directory_path() / ("schemes_live." + std::to_string(getpid())))
            .string() +
        "/";
    std::filesystem::create_directories(home + "SDE");
    setenv("ILKSTATION_HOME", home.c_str(), 1);
    std::ofstream(home + "refs.ini", std::ios::binary) << to_cp1251(generate());
    std::ofstream(home + "SDE/bench.sde", std::ios::binary) << nxbench::generated_scheme("E", -1);

    QApplication app(argc, argv);
    int status = 0;
    try {
        status = run(app, quick, image_file);
    } catch (const nx_exception& e) {
        std::fprintf(stderr, "schemes_live: %s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return status;
}
