#include "schemes/editor/connectivity.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace nxkit {

namespace {

const std::string node_prefix = "узел:";

// Two ends on the symbol's axis: a switching device, a winding pair, anything passed through.
const terminal_layout two_ends{{{"1", 0, -0.5}, {"2", 0, 0.5}}, false};
// One end at the top: earthing, a load, a connection.
const terminal_layout top_end{{{"1", 0, -0.5}}, false};
const terminal_layout three_windings{{{"1", 0, -0.5}, {"2", 0, 0.5}, {"3", 0.5, 0}}, false};
const terminal_layout busbar{{}, true};

const std::map<std::string, const terminal_layout*>& layouts() {
    static const std::map<std::string, const terminal_layout*> table = {
        {"выключатель", &two_ends},
        {"выключатель_выдвижной", &two_ends},
        {"разъединитель", &two_ends},
        {"заземляющий_нож", &top_end},
        {"присоединение", &top_end},
        {"шина", &busbar},
        {"трансформатор", &two_ends},
        {"трансформатор_трехобмоточный", &three_windings},
        {"автотрансформатор", &two_ends},
        {"трансформатор_напряжения", &top_end},
        {"трансформатор_тока", &two_ends},
        {"реактор", &two_ends},
        {"конденсаторная_батарея", &top_end},
        {"предохранитель", &two_ends},
        {"разрядник", &top_end},
        {"генератор", &top_end},
        {"двигатель", &top_end},
        {"кабельная_муфта", &two_ends},
        {"заземление", &top_end},
    };
    return table;
}

std::string attribute(const sde_attributes& attrs, const std::string& name) {
    for (const auto& [n, v] : attrs)
        if (n == name)
            return v;
    return {};
}

void set_attribute(sde_attributes& attrs, const std::string& name, const std::string& value) {
    for (auto it = attrs.begin(); it != attrs.end(); ++it)
        if (it->first == name) {
            if (value.empty())
                attrs.erase(it);
            else
                it->second = value;
            return;
        }
    if (!value.empty())
        attrs.emplace_back(name, value);
}

// The value of name="…" (or '…') in a raw start tag.
std::optional<std::string> raw_attribute(const std::string& raw, const std::string& name) {
    std::size_t at = 0;
    while ((at = raw.find(name, at)) != std::string::npos) {
        const bool starts = at > 0 && (raw[at - 1] == ' ' || raw[at - 1] == '\t' ||
                                       raw[at - 1] == '\n' || raw[at - 1] == '\r');
        std::size_t i = at + name.size();
        while (i < raw.size() && raw[i] == ' ')
            ++i;
        if (starts && i < raw.size() && raw[i] == '=') {
            ++i;
            while (i < raw.size() && raw[i] == ' ')
                ++i;
            if (i < raw.size() && (raw[i] == '"' || raw[i] == '\'')) {
                const std::size_t end = raw.find(raw[i], i + 1);
                if (end == std::string::npos)
                    return std::nullopt;
                return raw.substr(i + 1, end - i - 1);
            }
        }
        at += name.size();
    }
    return std::nullopt;
}

bool parse_double(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0';
}

// A small union-find over dense indices.
struct disjoint_sets {
    std::vector<std::size_t> parent;
    std::size_t add() {
        parent.push_back(parent.size());
        return parent.size() - 1;
    }
    std::size_t root(std::size_t i) {
        while (parent[i] != i) {
            parent[i] = parent[parent[i]];
            i = parent[i];
        }
        return i;
    }
    void join(std::size_t a, std::size_t b) { parent[root(a)] = root(b); }
};

} // namespace

const terminal_layout* terminals_of(const std::string& type_name) {
    const auto it = layouts().find(type_name);
    return it == layouts().end() ? nullptr : it->second;
}

const std::vector<std::string>& known_type_names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n = {"выключатель",     "выключатель_выдвижной",
                                      "разъединитель",   "заземляющий_нож",
                                      "присоединение",   "лампа",
                                      "табло",           "текст",
                                      "ячейка_таблицы",  "метка",
                                      "прибор_реальный", "прибор_настраиваемый"};
        for (const auto& [name, layout] : layouts())
            if (std::find(n.begin(), n.end(), name) == n.end())
                n.push_back(name);
        return n;
    }();
    return names;
}

bool is_known_type(const std::string& type_name) {
    const auto& n = known_type_names();
    return std::find(n.begin(), n.end(), type_name) != n.end();
}

std::string busbar_terminal(double offset) {
    return "@" + sde_number(offset);
}

bool is_mirrored(const sde_object& object) {
    return attribute(object.unknown, "mirror") == "1";
}

std::optional<point> terminal_position(const sde_object& object, const std::string& terminal) {
    const terminal_layout* layout = terminals_of(object.type_name);
    if (!layout)
        return std::nullopt;
    double lx = 0, ly = 0;
    if (layout->along_length) {
        double offset = 0;
        if (terminal.size() < 2 || terminal[0] != '@' ||
            !parse_double(terminal.substr(1), offset) || offset < 0 || offset > object.w)
            return std::nullopt;
        lx = -object.w / 2 + offset;
    } else {
        const auto it = std::find_if(layout->terminals.begin(), layout->terminals.end(),
                                     [&](const terminal_def& t) { return t.name == terminal; });
        if (it == layout->terminals.end())
            return std::nullopt;
        lx = it->fx * object.w;
        ly = it->fy * object.h;
    }
    if (is_mirrored(object))
        lx = -lx;
    // Clockwise on the page, whose y axis points down.
    double rx = lx, ry = ly;
    switch (object.rotation) {
    case 90:
        rx = -ly, ry = lx;
        break;
    case 180:
        rx = -lx, ry = -ly;
        break;
    case 270:
        rx = ly, ry = -lx;
        break;
    default:
        break;
    }
    return point{object.x + rx + 0.0, object.y + ry + 0.0};
}

std::string wire_end::text() const {
    switch (kind) {
    case at_terminal:
        return std::to_string(counter) + ":" + this->terminal;
    case at_node:
        return node_prefix + std::to_string(this->node);
    case free_end:
        break;
    }
    return {};
}

wire_end wire_end::parse(const std::string& text) {
    wire_end e;
    if (text.compare(0, node_prefix.size(), node_prefix) == 0) {
        char* end = nullptr;
        const long id = std::strtol(text.c_str() + node_prefix.size(), &end, 10);
        if (*end == '\0' && id > 0) {
            e.kind = at_node;
            e.node = static_cast<int>(id);
        }
        return e;
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon + 1 == text.size())
        return e;
    char* end = nullptr;
    const long counter = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + colon || counter <= 0)
        return e;
    e.kind = at_terminal;
    e.counter = static_cast<int>(counter);
    e.terminal = text.substr(colon + 1);
    return e;
}

bool is_wire(const sde_shape& shape) {
    return shape.kind == sde_shape::polyline && shape.coords.size() >= 4 &&
           (!attribute(shape.unknown, "from").empty() || !attribute(shape.unknown, "to").empty() ||
            attribute(shape.unknown, "wire") == "1");
}

wire_end wire_from(const sde_shape& shape) {
    return wire_end::parse(attribute(shape.unknown, "from"));
}
wire_end wire_to(const sde_shape& shape) {
    return wire_end::parse(attribute(shape.unknown, "to"));
}

// A wire keeps the mark `wire="1"` so that it stays a wire with both ends free.
void set_wire_from(sde_shape& shape, const wire_end& end) {
    set_attribute(shape.unknown, "wire", "1");
    set_attribute(shape.unknown, "from", end.text());
}
void set_wire_to(sde_shape& shape, const wire_end& end) {
    set_attribute(shape.unknown, "wire", "1");
    set_attribute(shape.unknown, "to", end.text());
}

std::optional<junction> parse_junction(const std::string& raw) {
    if (raw.compare(0, 6, "<node ") != 0)
        return std::nullopt;
    const auto id = raw_attribute(raw, "id");
    const auto x = raw_attribute(raw, "x");
    const auto y = raw_attribute(raw, "y");
    junction j;
    if (!id || !x || !y || !parse_double(*x, j.at.x) || !parse_double(*y, j.at.y))
        return std::nullopt;
    char* end = nullptr;
    const long v = std::strtol(id->c_str(), &end, 10);
    if (*end || v <= 0)
        return std::nullopt;
    j.id = static_cast<int>(v);
    return j;
}

std::string junction_text(const junction& j) {
    return "<node id=\"" + std::to_string(j.id) + "\" x=\"" + sde_number(j.at.x) + "\" y=\"" +
           sde_number(j.at.y) + "\"/>";
}

std::map<int, junction> junctions_of(const sde_page& page) {
    std::map<int, junction> out;
    for (const std::string& raw : page.unknown_children)
        if (const auto j = parse_junction(raw))
            out.emplace(j->id, *j);
    return out;
}

void attach_wire_ends(sde_page& page) {
    std::map<int, const sde_object*> objects;
    for (const sde_object& o : page.objects)
        objects.emplace(o.counter, &o);
    const std::map<int, junction> nodes = junctions_of(page);
    auto where = [&](const wire_end& e) -> std::optional<point> {
        if (e.kind == wire_end::at_terminal) {
            const auto it = objects.find(e.counter);
            if (it != objects.end())
                return terminal_position(*it->second, e.terminal);
        } else if (e.kind == wire_end::at_node) {
            const auto it = nodes.find(e.node);
            if (it != nodes.end())
                return it->second.at;
        }
        return std::nullopt;
    };
    for (sde_shape& s : page.shapes) {
        if (!is_wire(s))
            continue;
        if (const auto p = where(wire_from(s))) {
            s.coords[0] = p->x;
            s.coords[1] = p->y;
        }
        if (const auto p = where(wire_to(s))) {
            s.coords[s.coords.size() - 2] = p->x;
            s.coords[s.coords.size() - 1] = p->y;
        }
    }
}

std::vector<electrical_node> electrical_nodes(const sde_page& page) {
    disjoint_sets sets;
    std::map<terminal_ref, std::size_t> terminals;
    std::map<int, std::size_t> nodes;
    std::map<int, const sde_object*> objects;
    for (const sde_object& o : page.objects) {
        const terminal_layout* layout = terminals_of(o.type_name);
        if (!layout)
            continue;
        objects.emplace(o.counter, &o);
        if (layout->along_length)
            terminals.emplace(terminal_ref{o.counter, "@"}, sets.add());
        for (const terminal_def& t : layout->terminals)
            terminals.emplace(terminal_ref{o.counter, t.name}, sets.add());
    }
    auto key = [&](const wire_end& e) -> std::optional<std::size_t> {
        if (e.kind == wire_end::at_node) {
            auto it = nodes.find(e.node);
            if (it == nodes.end())
                it = nodes.emplace(e.node, sets.add()).first;
            return it->second;
        }
        if (e.kind != wire_end::at_terminal)
            return std::nullopt;
        const auto obj = objects.find(e.counter);
        if (obj == objects.end() || !terminal_position(*obj->second, e.terminal))
            return std::nullopt;
        const bool bus = terminals_of(obj->second->type_name)->along_length;
        const auto it = terminals.find(terminal_ref{e.counter, bus ? "@" : e.terminal});
        return it == terminals.end() ? std::nullopt : std::optional<std::size_t>(it->second);
    };
    for (const sde_shape& s : page.shapes) {
        if (!is_wire(s))
            continue;
        const auto a = key(wire_from(s));
        const auto b = key(wire_to(s));
        if (a && b)
            sets.join(*a, *b);
    }
    std::map<std::size_t, electrical_node> grouped;
    for (const auto& [ref, index] : terminals)
        grouped[sets.root(index)].push_back(ref);
    std::vector<electrical_node> out;
    out.reserve(grouped.size());
    for (auto& [root, members] : grouped)
        out.push_back(std::move(members)); // members come sorted from the ordered map
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace nxkit
