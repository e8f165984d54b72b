// The scheme editor's model on a large scheme: 4 pages of 500 objects in 50 bays, 3,000 wires
// with junctions. Prints the time to open the file, to move 100 objects and to undo and redo
// that, to save, and to compute the electrical nodes of every page.

#include "bench/stopwatch.h"
#include "schemes/editor/scheme_document.h"

#include "base/files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#ifdef ILK_EDITOR_WINDOW
#include "schemes/editor_window/editor_canvas.h"

#include <QGuiApplication>
#include <QPainter>
#endif

using namespace nxkit;

namespace {

constexpr int pages = 4;
constexpr int bays = 50;

sde_object make(int counter, const char* type, double x, double y, double w, double h,
                const std::string& name) {
    sde_object o;
    o.counter = counter;
    o.type_name = type;
    o.x = x;
    o.y = y;
    o.w = w;
    o.h = h;
    if (!name.empty())
        o.set("дисп_имя", name);
    o.set("положение", "включен");
    return o;
}

void add(sde_page& p, sde_object o) {
    p.order.push_back({sde_item::object, p.objects.size()});
    p.objects.push_back(std::move(o));
}

void wire(sde_page& p, const std::string& from, const std::string& to, double bend_x,
          double bend_y) {
    sde_shape s;
    s.kind = sde_shape::polyline;
    s.coords = {0, 0, bend_x, bend_y, 0, 0};
    set_wire_from(s, wire_end::parse(from));
    set_wire_to(s, wire_end::parse(to));
    p.order.push_back({sde_item::shape, p.shapes.size()});
    p.shapes.push_back(std::move(s));
}

int junction_at(sde_page& p, int& id, double x, double y) {
    p.order.push_back({sde_item::unknown, p.unknown_children.size()});
    p.unknown_children.push_back(junction_text({++id, {x, y}}));
    return id;
}

// Each bay: busbar → QS1 → Q → TA → junction A → QS2 → junction B → line, voltage transformer
// and arrester; A → earthing switch; plus a lamp and an instrument (the first bay's instrument
// slot holds the page's busbar). 15 wires a bay, some through junctions on the way.
sde_scheme generated() {
    sde_scheme s;
    int counter = 0;
    for (int page = 1; page <= pages; ++page) {
        sde_page p;
        p.number = page;
        p.title = "Страница " + std::to_string(page);
        p.width = 1100;
        p.height = 300;
        int node = 0;
        const int bus = ++counter;
        add(p, make(bus, "шина", 550, 10, 1080, 2, "СШ" + std::to_string(page)));
        for (int bay = 0; bay < bays; ++bay) {
            const double x = 20 + bay * 21.5;
            const std::string n = std::to_string(page) + "-" + std::to_string(bay);
            const int qs1 = ++counter, q = ++counter, ta = ++counter, qs2 = ++counter,
                      qsg = ++counter, w = ++counter, tv = ++counter, ra = ++counter,
                      lamp = ++counter;
            add(p, make(qs1, "разъединитель", x, 30, 6, 12, "QS1-" + n));
            add(p, make(q, "выключатель", x, 55, 6, 12, "Q-" + n));
            add(p, make(ta, "трансформатор_тока", x, 80, 4, 8, "TA-" + n));
            add(p, make(qs2, "разъединитель", x, 110, 6, 12, "QS2-" + n));
            add(p, make(qsg, "заземляющий_нож", x + 8, 100, 6, 10, "QSG-" + n));
            add(p, make(w, "присоединение", x, 150, 6, 10, "W-" + n));
            add(p, make(tv, "трансформатор_напряжения", x + 8, 150, 6, 10, "TV-" + n));
            add(p, make(ra, "разрядник", x - 8, 150, 4, 10, "FV-" + n));
            add(p, make(lamp, "лампа", x, 200, 4, 4, ""));
            if (bay > 0)
                add(p, make(++counter, "прибор_реальный", x, 210, 10, 4, ""));
            auto t = [](int c, const char* terminal) { return std::to_string(c) + ":" + terminal; };
            auto at = [](int id) { return "узел:" + std::to_string(id); };
            const int n1 = junction_at(p, node, x, 18), n2 = junction_at(p, node, x, 42),
                      n3 = junction_at(p, node, x, 70), a = junction_at(p, node, x, 92),
                      n4 = junction_at(p, node, x, 98), b = junction_at(p, node, x, 130),
                      n5 = junction_at(p, node, x, 120);
            wire(p, t(bus, ("@" + sde_number(x - 10)).c_str()), at(n1), x, 14);
            wire(p, at(n1), t(qs1, "1"), x, 20);
            wire(p, t(qs1, "2"), at(n2), x, 40);
            wire(p, at(n2), t(q, "1"), x, 45);
            wire(p, t(q, "2"), at(n3), x, 65);
            wire(p, at(n3), t(ta, "1"), x, 72);
            wire(p, t(ta, "2"), at(a), x, 90);
            wire(p, at(a), at(n4), x, 95);
            wire(p, at(n4), t(qs2, "1"), x, 100);
            wire(p, t(qs2, "2"), at(n5), x, 118);
            wire(p, at(n5), at(b), x, 125);
            wire(p, at(b), t(w, "1"), x, 140);
            wire(p, at(b), t(tv, "1"), x + 8, 135);
            wire(p, at(b), t(ra, "1"), x - 8, 135);
            wire(p, at(a), t(qsg, "1"), x + 8, 92);
        }
        attach_wire_ends(p);
        s.pages.push_back(std::move(p));
    }
    return s;
}

#ifdef ILK_EDITOR_WINDOW
// Dragging 100 selected objects over the first page: each frame paints the canvas as the
// editor does (the rest of the page from the image made when the drag began, the moving items
// on top) into an offscreen image of a full-HD window's drawing area.
void drag_repaint(const scheme_document& d) {
    editor_session session{scheme_document(d.scheme())};
    std::vector<std::size_t> selection;
    const sde_page& first = session.document().scheme().pages[0];
    for (std::size_t i = 0; i < first.order.size() && selection.size() < 100; ++i)
        if (first.order[i].kind == sde_item::object)
            selection.push_back(i);
    session.select(selection);
    canvas_view view;
    view.scale = 0.2;
    const QSize size(1600, 900);
    paint_context context;
    canvas_overlay overlay;
    QImage frame(size, QImage::Format_RGB32);
    nxbench::stopwatch start_time;
    drag_preview drag;
    drag.begin(session, view, size, context);
    const double start = start_time.wall_ms();
    double worst = 0, total = 0, worst_cpu = 0;
    constexpr int frames = 60;
    for (int i = 1; i <= frames; ++i) {
        nxbench::stopwatch frame_time;
        QPainter p(&frame);
        paint_canvas(p, size, session, view, overlay, context, &drag, i * 0.5, i * 0.25);
        p.end();
        const double ms = frame_time.wall_ms();
        worst = std::max(worst, ms);
        worst_cpu = std::max(worst_cpu, frame_time.cpu_used_ms());
        total += ms;
    }
    std::printf("drag of 100 selected objects: start %.1f ms, repaint per frame mean %.2f ms, "
                "worst of %d %.2f ms (cpu %.2f ms; limit 16)\n",
                start, total / frames, frames, worst, worst_cpu);
    // Without the image of the rest: the whole page painted for each frame.
    nxbench::stopwatch full_time;
    QPainter p(&frame);
    paint_canvas(p, size, session, view, overlay, context);
    p.end();
    std::printf("whole-page repaint (for comparison): %.2f ms\n", full_time.wall_ms());
}
#endif

} // namespace

int main(int argc, char** argv) {
#ifdef ILK_EDITOR_WINDOW
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
#else
    (void)argc;
    (void)argv;
#endif
    char folder[] = "/tmp/scheme_editor_bench.XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const std::string path = std::string(folder) + "/big.sde";
    const sde_scheme s = generated();
    std::size_t objects = 0, wires = 0;
    for (const sde_page& p : s.pages) {
        objects += p.objects.size();
        wires += static_cast<std::size_t>(std::count_if(p.shapes.begin(), p.shapes.end(),
                                                        [](const auto& x) { return is_wire(x); }));
    }
    if (!write_file_atomic(path, write_sde(s), false))
        return 1;
    std::printf("scheme: %d pages, %zu objects, %zu wires, %lld bytes\n", pages, objects, wires,
                file_size(path));

    nxbench::stopwatch open_time;
    scheme_document d = scheme_document::open(path);
    std::printf("open: %.1f ms (cpu %.1f ms; limit 300)\n", open_time.wall_ms(),
                open_time.cpu_used_ms());

    std::vector<std::size_t> selection;
    const sde_page& first = d.scheme().pages[0];
    for (std::size_t i = 0; i < first.order.size() && selection.size() < 100; ++i)
        if (first.order[i].kind == sde_item::object)
            selection.push_back(i);
    nxbench::stopwatch move_time;
    d.move_items(0, selection, 2.5, 2.5);
    std::printf("move of 100 objects: %.2f ms\n", move_time.wall_ms());
    double worst = 0;
    for (int round = 0; round < 20; ++round) {
        nxbench::stopwatch undo_time;
        d.undo();
        worst = std::max(worst, undo_time.wall_ms());
        nxbench::stopwatch redo_time;
        d.redo();
        worst = std::max(worst, redo_time.wall_ms());
    }
    std::printf("undo/redo of the 100-object move: worst of 20 %.3f ms (limit 5)\n", worst);

    nxbench::stopwatch nodes_time;
    std::size_t nodes = 0;
    for (const sde_page& p : d.scheme().pages)
        nodes += electrical_nodes(p).size();
    std::printf("electrical nodes of all pages: %zu in %.2f ms (cpu %.2f ms; limit 10)\n", nodes,
                nodes_time.wall_ms(), nodes_time.cpu_used_ms());

#ifdef ILK_EDITOR_WINDOW
    drag_repaint(d);
#endif

    std::string message;
    nxbench::stopwatch save_time;
    const auto result = d.save(path, message);
    std::printf("save (backup, durable atomic write): %.1f ms (cpu %.1f ms; limit 100)%s\n",
                save_time.wall_ms(), save_time.cpu_used_ms(),
                result == scheme_document::save_result::saved ? "" : " FAILED");

    std::remove(path.c_str());
    std::remove((path + ".1.bak").c_str());
    ::rmdir(folder);
    return result == scheme_document::save_result::saved ? 0 : 1;
}
