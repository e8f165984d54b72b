// demo-scheme: draws the demo station's scheme through the editor's document model: page 1
// (bay Л-1) gets its connectivity, page 3 the transformer feeder Т-1, page 2 the display
// standard. Run on the file as shipped before either was added (commit 179f5e4); the result is
// what demo/SDE/Северная.sde holds:
//
//   git show 179f5e4:demo/SDE/Северная.sde >/tmp/old.sde
//   build/tools/scheme-tool/demo-scheme /tmp/old.sde demo/SDE/Северная.sde

#include "base/nx_exception.h"
#include "schemes/control/display_standard.h"
#include "schemes/control/voltage_classes.h"
#include "schemes/editor/scheme_document.h"

#include <cstdio>
#include <fstream>
#include <iostream>

using namespace nxkit;

namespace {

// The blue the demo has always drawn its 110 kV lines in.
const std::string demo_110kv = "#0050b4";

sde_object apparatus(const std::string& type, int counter, double x, double y,
                     const std::string& name, const std::string& property = {},
                     const std::string& value = {}) {
    sde_object o;
    o.counter = counter;
    o.type_name = type;
    symbol_size(type, o.w, o.h);
    o.x = x;
    o.y = y;
    if (!name.empty())
        o.set("дисп_имя", name);
    if (!property.empty())
        o.set(property, value);
    return o;
}

sde_shape text(double x, double y, const std::string& content, double size, bool bold = false,
               const std::string& align = "left") {
    sde_shape s;
    s.kind = sde_shape::text;
    s.coords = {x, y, 0, 0};
    s.content = content;
    s.size = size;
    s.bold = bold;
    s.align = align;
    s.color = "черный";
    return s;
}

wire_end at(int counter, const std::string& terminal) {
    return {wire_end::at_terminal, counter, terminal, 0};
}

wire_end at_node(int id) {
    return {wire_end::at_node, 0, {}, id};
}

std::size_t last_item(const scheme_document& d, std::size_t page) {
    return d.scheme().pages[page].order.size() - 1;
}

// Bay Л-1: its busbar line becomes the busbar object, its connecting lines wires.
void connect_bay_l1(scheme_document& d) {
    const sde_page& p = d.scheme().pages[0];
    std::vector<std::size_t> lines;
    for (std::size_t i = 0; i < p.order.size(); ++i) {
        if (p.order[i].kind != sde_item::shape)
            continue;
        const sde_shape& s = p.shapes[p.order[i].index];
        if (s.kind == sde_shape::line && s.color == demo_110kv)
            lines.push_back(i);
    }
    if (lines.size() != 6)
        throw nx_exception("страница 1 уже не та, что была: линий 110 кВ " +
                           std::to_string(lines.size()));
    d.delete_items(0, lines);
    // The names the signals have, so that the check finds a signal for every name.
    d.set_property(0, 20, "дисп_имя", "Готовность ТУ ячейки Л-1");
    d.set_property(0, 10, "дисп_имя", "Ia ток фазы A, А");
    d.set_property(0, 11, "дисп_имя", "Uab напряжение, кВ");
    sde_object bar = apparatus("шина", 40, 80, 18, "1СШ 110 кВ", "напряжение", "есть");
    bar.w = 132;
    bar.label_side = "none";
    bar.unknown.emplace_back("kv", "110");
    d.add_object(0, bar);
    d.add_wire(0, at(40, busbar_terminal(66)), at(2, "1"));
    d.add_wire(0, at(2, "2"), at(1, "1"));
    d.add_wire(0, at(1, "2"), at(3, "1"));
    d.add_wire(0, at(3, "2"), at(30, "1"));
    const int node = d.split_wire(0, last_item(d, 0), {80, 73.5});
    d.add_wire(0, at_node(node), at(4, "1"));
}

// Bay Т-1 on the second busbar: disconnector, breaker, current transformer, disconnector and
// the transformer, an earthing switch on each side of the breaker, the 10 kV incomer below.
void draw_bay_t1(scheme_document& d) {
    d.add_page("ОРУ-110 кВ, ячейка Т-1", 160, 130);
    const std::size_t page = d.scheme().pages.size() - 1;
    sde_shape frame;
    frame.kind = sde_shape::rect;
    frame.coords = {2, 2, 156, 126};
    frame.color = "серый";
    d.add_shape(page, frame);
    d.add_shape(page,
                text(80, 4, "ПС 110/10 кВ Северная. ОРУ-110 кВ, ячейка Т-1", 4, true, "center"));
    sde_shape bar_title = text(14, 12.5, "2СШ 110 кВ", 3.2, true);
    bar_title.color = demo_110kv;
    d.add_shape(page, bar_title);

    sde_object bar = apparatus("шина", 50, 80, 18, "2СШ 110 кВ", "напряжение", "есть");
    bar.w = 132;
    bar.label_side = "none";
    bar.unknown.emplace_back("kv", "110");
    d.add_object(page, bar);
    d.add_object(page, apparatus("разъединитель", 51, 60, 28, "QS5", "положение", "включен"));
    d.add_object(page, apparatus("выключатель", 52, 60, 46, "Q5", "положение", "включен"));
    sde_object ct = apparatus("трансформатор_тока", 53, 60, 58, "");
    ct.label_side = "none";
    ct.unknown.emplace_back("kv", "110");
    d.add_object(page, ct);
    d.add_shape(page, text(51, 56.3, "TA5", 3, true, "right"));
    d.add_object(page, apparatus("разъединитель", 55, 60, 72, "QS6", "положение", "включен"));
    d.add_object(page, apparatus("заземляющий_нож", 54, 74, 43, "QSG5", "положение", "отключен"));
    d.add_object(page, apparatus("заземляющий_нож", 56, 74, 70, "QSG6", "положение", "отключен"));
    sde_object transformer = apparatus("трансформатор", 57, 60, 90, "");
    transformer.label_side = "none";
    transformer.unknown.emplace_back("kv", "110");
    d.add_object(page, transformer);
    d.add_shape(page, text(51, 86, "Т-1", 3.2, true, "right"));
    d.add_shape(page, text(51, 90.5, "16 МВА 110/10 кВ", 2.6, false, "right"));
    sde_object incomer =
        apparatus("присоединение", 58, 60, 108, "Q10 вводной выключатель", "положение", "включен");
    d.add_object(page, incomer);
    d.add_shape(page, text(60, 115, "Ввод 10 кВ Т-1 в КРУ-10 кВ", 2.8, false, "center"));

    d.add_wire(page, at(50, busbar_terminal(46)), at(51, "1"));
    d.add_wire(page, at(51, "2"), at(52, "1"));
    const int upper = d.split_wire(page, last_item(d, page), {60, 37});
    d.add_wire(page, at_node(upper), at(54, "1"));
    d.add_wire(page, at(52, "2"), at(53, "1"));
    d.add_wire(page, at(53, "2"), at(55, "1"));
    const int lower = d.split_wire(page, last_item(d, page), {60, 64});
    d.add_wire(page, at_node(lower), at(56, "1"));
    d.add_wire(page, at(55, "2"), at(57, "1"));
    d.add_wire(page, at(57, "2"), at(58, "1"));

    d.add_shape(page, text(4, 120,
                           "Положение: красный - включен, зеленый - отключен; серый с \"?\" - "
                           "положение неизвестно.",
                           2.2));
    d.add_shape(page, text(4, 123.5,
                           "Шина: сплошная - под напряжением, один контур - без напряжения.", 2.2));
}

// The junction dots the wires meet at, and the voltage classes of the wires: the editor's
// wires are drawn in one colour, the generator names their class.
void finish(sde_scheme& s) {
    for (std::size_t page : {std::size_t(0), s.pages.size() - 1}) {
        sde_page& p = s.pages[page];
        set_page_voltage_colour(p, 110, demo_110kv);
        for (sde_shape& w : p.shapes) {
            if (!is_wire(w))
                continue;
            const wire_end to = wire_to(w);
            w.unknown.emplace_back("kv", to.counter == 58 ? "10" : "110");
        }
        if (page == 0)
            continue;
        for (const auto& [id, j] : junctions_of(p)) {
            sde_shape dot;
            dot.kind = sde_shape::ellipse;
            dot.coords = {j.at.x - 0.6, j.at.y - 0.6, 1.2, 1.2};
            dot.color = demo_110kv;
            dot.fill = demo_110kv;
            p.order.push_back({sde_item::shape, p.shapes.size()});
            p.shapes.push_back(dot);
        }
    }
}

// The legend's sample of a type without a symbol would be a finding of every check of the
// demo: the station's own scheme shows the symbols it uses.
void drop_unknown_type_row(sde_page& p) {
    sde_page kept = p;
    kept.order.clear();
    kept.objects.clear();
    kept.shapes.clear();
    for (const sde_item& item : p.order) {
        if (item.kind == sde_item::object) {
            if (!is_known_type(p.objects[item.index].type_name))
                continue;
            kept.order.push_back({item.kind, kept.objects.size()});
            kept.objects.push_back(p.objects[item.index]);
        } else if (item.kind == sde_item::shape) {
            const std::string& t = p.shapes[item.index].content;
            if (t == "тип без символа" || t == "рамка с названием типа")
                continue;
            kept.order.push_back({item.kind, kept.shapes.size()});
            kept.shapes.push_back(p.shapes[item.index]);
        } else {
            kept.order.push_back(item);
        }
    }
    kept.height -= 17;
    p = std::move(kept);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "demo-scheme IN.sde OUT.sde\n";
        return 2;
    }
    try {
        scheme_document d = scheme_document::open(argv[1]);
        connect_bay_l1(d);
        draw_bay_t1(d);
        sde_scheme s = d.scheme();
        finish(s);
        // The legend page is the display standard as the painter knows it now.
        const int legend_number = s.pages[1].number;
        s.pages[1] = display_standard_page(legend_number, nullptr, 100);
        drop_unknown_type_row(s.pages[1]);
        std::ofstream out(argv[2], std::ios::binary);
        out << write_sde(s);
        if (!out)
            throw nx_exception(std::string("не удалось записать ") + argv[2]);
    } catch (const nx_exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
