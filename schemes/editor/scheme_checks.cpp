#include "schemes/editor/scheme_checks.h"

#include "schemes/editor/connectivity.h"

#include <algorithm>
#include <map>

namespace nxkit {

namespace {

std::string object_name(const sde_object& o) {
    const std::string name = o.value("дисп_имя");
    return "счетчик " + std::to_string(o.counter) + (name.empty() ? "" : " (" + name + ")");
}

// The terminals of the page that a wire reaches; a busbar counts as reached by any wire.
std::set<std::pair<int, std::string>> reached_terminals(const sde_page& p) {
    std::set<std::pair<int, std::string>> reached;
    for (const sde_shape& s : p.shapes) {
        if (!is_wire(s))
            continue;
        for (const wire_end& e : {wire_from(s), wire_to(s)})
            if (e.kind == wire_end::at_terminal)
                reached.emplace(e.counter, e.terminal.compare(0, 1, "@") == 0 ? "@" : e.terminal);
    }
    return reached;
}

std::string end_label(const wire_end& e) {
    return e.kind == wire_end::free_end ? "свободный конец" : e.text();
}

// A wire end that names a terminal or node the page does not have would silently drop out of
// the electrical nodes, and the topology would be wrong without anyone seeing it.
void check_wire_ends(const sde_page& p, std::vector<scheme_finding>& out) {
    std::map<int, const sde_object*> objects;
    for (const sde_object& o : p.objects)
        objects.emplace(o.counter, &o);
    const auto nodes = junctions_of(p);
    for (const sde_item& item : p.order) {
        if (item.kind != sde_item::shape || !is_wire(p.shapes[item.index]))
            continue;
        const sde_shape& s = p.shapes[item.index];
        const wire_end from = wire_from(s), to = wire_to(s);
        for (const wire_end& e : {from, to}) {
            bool found = true;
            int counter = 0;
            if (e.kind == wire_end::at_terminal) {
                const auto it = objects.find(e.counter);
                found = it != objects.end() && terminal_position(*it->second, e.terminal);
                counter = e.counter;
            } else if (e.kind == wire_end::at_node)
                found = nodes.count(e.node) > 0;
            if (!found)
                out.push_back({p.number, counter,
                               "провод " + end_label(from) + " — " + end_label(to) + ": нет " +
                                   (e.kind == wire_end::at_node ? "узла " : "вывода ") + e.text()});
        }
    }
}

} // namespace

std::vector<scheme_finding> check_scheme(const sde_scheme& scheme) {
    std::vector<scheme_finding> out;
    std::map<int, int> counter_pages;
    std::map<std::string, const sde_object*> names;
    for (const sde_page& p : scheme.pages) {
        const auto reached = reached_terminals(p);
        // A page without a single wire was drawn before connectivity was recorded (or is a
        // legend of symbols): its terminals are not checked.
        const bool wired = std::any_of(p.shapes.begin(), p.shapes.end(),
                                       [](const sde_shape& s) { return is_wire(s); });
        for (const sde_item& item : p.order) {
            if (item.kind != sde_item::object)
                continue;
            const sde_object& o = p.objects[item.index];
            const auto [seen, fresh] = counter_pages.emplace(o.counter, p.number);
            if (!fresh)
                out.push_back({p.number, o.counter,
                               "счетчик " + std::to_string(o.counter) +
                                   " уже есть у другого объекта (страница " +
                                   std::to_string(seen->second) + ")"});
            if (!is_known_type(o.type_name))
                out.push_back({p.number, o.counter,
                               object_name(o) + ": неизвестный тип \"" + o.type_name + "\""});
            if (const terminal_layout* layout = terminals_of(o.type_name); layout && wired) {
                if (layout->along_length && !reached.count({o.counter, "@"}))
                    out.push_back({p.number, o.counter, object_name(o) + ": шина не подключена"});
                for (const terminal_def& t : layout->terminals)
                    if (!reached.count({o.counter, t.name}))
                        out.push_back({p.number, o.counter,
                                       object_name(o) + ": вывод " + t.name + " не подключен"});
            }
            const std::string name = o.value("дисп_имя");
            if (name.empty())
                continue;
            const auto [first, unique] = names.emplace(name, &o);
            if (!unique)
                out.push_back({p.number, o.counter,
                               object_name(o) + ": диспетчерское имя \"" + name +
                                   "\" уже есть у объекта со счетчиком " +
                                   std::to_string(first->second->counter)});
        }
        check_wire_ends(p, out);
    }
    return out;
}

std::vector<int> pages_without_wires(const sde_scheme& scheme) {
    std::vector<int> out;
    for (const sde_page& p : scheme.pages) {
        const bool wired = std::any_of(p.shapes.begin(), p.shapes.end(),
                                       [](const sde_shape& s) { return is_wire(s); });
        const bool equipment = std::any_of(p.objects.begin(), p.objects.end(), [](const auto& o) {
            return terminals_of(o.type_name) != nullptr;
        });
        if (equipment && !wired)
            out.push_back(p.number);
    }
    return out;
}

std::vector<scheme_finding> check_references(const sde_scheme& scheme,
                                             const scheme_references& refs) {
    std::vector<scheme_finding> out;
    std::set<int> drawn;
    for (const sde_page& p : scheme.pages)
        for (const sde_item& item : p.order) {
            if (item.kind != sde_item::object)
                continue;
            const sde_object& o = p.objects[item.index];
            drawn.insert(o.counter);
            if (!refs.element_counters.count(o.counter))
                out.push_back({p.number, o.counter, object_name(o) + ": нет элемента"});
            const std::string name = o.value("дисп_имя");
            if (!name.empty() && !refs.signal_names.count(name))
                out.push_back({p.number, o.counter,
                               object_name(o) + ": нет сигнала с именем \"" + name + "\""});
        }
    for (int counter : refs.element_counters)
        if (!drawn.count(counter))
            out.push_back(
                {0, counter,
                 "элемент со счетчиком " + std::to_string(counter) + ": нет объекта на схеме"});
    return out;
}

} // namespace nxkit
