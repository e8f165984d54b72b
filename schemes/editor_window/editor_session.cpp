#include "schemes/editor_window/editor_session.h"

#include "schemes/control/voltage_classes.h"
#include "base/nx_exception.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>

namespace nxkit {

namespace {

bool has_box(const sde_shape& s) {
    return s.kind == sde_shape::rect || s.kind == sde_shape::ellipse || s.kind == sde_shape::arc ||
           s.kind == sde_shape::text;
}

double segment_distance(point p, point a, point b) {
    const double len = (b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y);
    double t = len > 0 ? ((p.x - a.x) * (b.x - a.x) + (p.y - a.y) * (b.y - a.y)) / len : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double dx = a.x + t * (b.x - a.x) - p.x, dy = a.y + t * (b.y - a.y) - p.y;
    return std::sqrt(dx * dx + dy * dy);
}

// How far a point is from the item: 0 inside a box or a filled figure.
double distance_to(const sde_page& page, const sde_item& item, point at) {
    constexpr double far = std::numeric_limits<double>::max();
    if (item.kind == sde_item::shape) {
        const sde_shape& s = page.shapes[item.index];
        if (!has_box(s)) {
            double best = far;
            const std::size_t n = s.coords.size() / 2;
            for (std::size_t i = 0; i + 1 < n; ++i)
                best = std::min(best, segment_distance(at, {s.coords[2 * i], s.coords[2 * i + 1]},
                                                       {s.coords[2 * i + 2], s.coords[2 * i + 3]}));
            if (s.kind == sde_shape::polygon && n > 2) {
                best = std::min(best, segment_distance(at, {s.coords[0], s.coords[1]},
                                                       {s.coords[2 * n - 2], s.coords[2 * n - 1]}));
                // Inside by the crossing rule.
                bool inside = false;
                for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
                    const double xi = s.coords[2 * i], yi = s.coords[2 * i + 1];
                    const double xj = s.coords[2 * j], yj = s.coords[2 * j + 1];
                    if ((yi > at.y) != (yj > at.y) &&
                        at.x < (xj - xi) * (at.y - yi) / (yj - yi) + xi)
                        inside = !inside;
                }
                if (inside)
                    best = 0;
            }
            return best;
        }
    }
    const auto b = item_box(page, item);
    if (!b)
        return far;
    const double dx = std::max({b->x0 - at.x, 0.0, at.x - b->x1});
    const double dy = std::max({b->y0 - at.y, 0.0, at.y - b->y1});
    return std::sqrt(dx * dx + dy * dy);
}

bool parse_number(std::string text, double& value) {
    std::replace(text.begin(), text.end(), ',', '.');
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}

std::string not_a_number(const std::string& name, const std::string& value) {
    return "Значение \"" + value + "\" поля \"" + name + "\" не является числом.";
}

// The state a new switching device is drawn in, when its symbol has states.
const std::map<std::string, std::pair<double, double>>& default_sizes() {
    static const std::map<std::string, std::pair<double, double>> sizes = {
        {"выключатель", {6, 12}},
        {"выключатель_выдвижной", {6, 12}},
        {"разъединитель", {6, 12}},
        {"заземляющий_нож", {6, 10}},
        {"присоединение", {6, 10}},
        {"лампа", {5, 5}},
        {"табло", {20, 8}},
        {"текст", {20, 5}},
        {"ячейка_таблицы", {20, 5}},
        {"метка", {10, 5}},
        {"прибор_реальный", {14, 6}},
        {"прибор_настраиваемый", {14, 6}},
        {"шина", {60, 2}},
        {"трансформатор", {12, 20}},
        {"трансформатор_трехобмоточный", {16, 20}},
        {"автотрансформатор", {12, 20}},
        {"трансформатор_напряжения", {8, 12}},
        {"трансформатор_тока", {4, 8}},
    };
    return sizes;
}

bool same_shape(const sde_shape& a, const sde_shape& b) {
    return a.coords == b.coords && a.color == b.color && a.width == b.width && a.fill == b.fill &&
           a.dash == b.dash && a.content == b.content;
}

} // namespace

std::optional<page_box> item_box(const sde_page& page, const sde_item& item) {
    if (item.kind == sde_item::object) {
        const sde_object& o = page.objects[item.index];
        const bool turned = o.rotation == 90 || o.rotation == 270;
        const double w = turned ? o.h : o.w, h = turned ? o.w : o.h;
        return page_box{o.x - w / 2, o.y - h / 2, o.x + w / 2, o.y + h / 2};
    }
    if (item.kind == sde_item::unknown) {
        if (const auto j = parse_junction(page.unknown_children[item.index]))
            return page_box{j->at.x - 0.5, j->at.y - 0.5, j->at.x + 0.5, j->at.y + 0.5};
        return std::nullopt;
    }
    const sde_shape& s = page.shapes[item.index];
    if (s.coords.size() < 2)
        return std::nullopt;
    if (has_box(s)) {
        double w = s.coords.size() > 2 ? s.coords[2] : 0;
        double h = s.coords.size() > 3 ? s.coords[3] : 0;
        if (s.kind == sde_shape::text && w <= 0)
            w = std::max<double>(1, static_cast<double>(s.content.size()) * s.size * 0.35);
        if (s.kind == sde_shape::text && h <= 0)
            h = s.size;
        return page_box{s.coords[0], s.coords[1], s.coords[0] + w, s.coords[1] + h};
    }
    page_box b{s.coords[0], s.coords[1], s.coords[0], s.coords[1]};
    for (std::size_t i = 0; i + 1 < s.coords.size(); i += 2) {
        b.x0 = std::min(b.x0, s.coords[i]);
        b.x1 = std::max(b.x1, s.coords[i]);
        b.y0 = std::min(b.y0, s.coords[i + 1]);
        b.y1 = std::max(b.y1, s.coords[i + 1]);
    }
    return b;
}

point snap_to_grid(point p, double step) {
    if (step <= 0)
        return p;
    // + 0.0 keeps -0 out of the file.
    return {std::round(p.x / step) * step + 0.0, std::round(p.y / step) * step + 0.0};
}

sde_object new_object(const std::string& type_name) {
    sde_object o;
    o.type_name = type_name;
    const auto size = default_sizes().find(type_name);
    if (size != default_sizes().end()) {
        o.w = size->second.first;
        o.h = size->second.second;
    } else {
        o.w = 8;
        o.h = 10;
    }
    o.set("дисп_имя", "");
    if (type_name == "выключатель" || type_name == "выключатель_выдвижной" ||
        type_name == "разъединитель" || type_name == "заземляющий_нож" ||
        type_name == "присоединение")
        o.set("положение", "отключен");
    else if (type_name == "лампа" || type_name == "табло")
        o.set("положение", "не_горит");
    else if (type_name == "текст" || type_name == "ячейка_таблицы" || type_name == "метка")
        o.set("текст", "Текст");
    return o;
}

// ---- page and selection

const sde_page* editor_session::page() const {
    const auto& pages = doc_.scheme().pages;
    return page_ < pages.size() ? &pages[page_] : nullptr;
}

void editor_session::show_page(std::size_t page) {
    if (page >= doc_.scheme().pages.size() || page == page_)
        return;
    page_ = page;
    selection_.clear();
}

void editor_session::pages_changed(std::size_t show) {
    const std::size_t count = doc_.scheme().pages.size();
    page_ = count == 0 ? 0 : std::min(show, count - 1);
    selection_.clear();
}

void editor_session::select(std::vector<std::size_t> items) {
    const sde_page* p = page();
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
    if (p)
        std::erase_if(items, [&](std::size_t i) { return i >= p->order.size(); });
    else
        items.clear();
    selection_ = std::move(items);
}

void editor_session::click(point at, bool add) {
    const auto hit = item_at(at, 1.0);
    if (!add) {
        select(hit ? std::vector<std::size_t>{*hit} : std::vector<std::size_t>{});
        return;
    }
    if (!hit)
        return;
    std::vector<std::size_t> items = selection_;
    const auto it = std::find(items.begin(), items.end(), *hit);
    if (it != items.end())
        items.erase(it);
    else
        items.push_back(*hit);
    select(std::move(items));
}

void editor_session::select_in(const page_box& box, bool add) {
    const sde_page* p = page();
    if (!p)
        return;
    std::vector<std::size_t> items = add ? selection_ : std::vector<std::size_t>{};
    for (std::size_t i = 0; i < p->order.size(); ++i)
        if (const auto b = item_box(*p, p->order[i]); b && b->inside(box))
            items.push_back(i);
    select(std::move(items));
}

bool editor_session::select_counter(int counter) {
    const auto& pages = doc_.scheme().pages;
    for (std::size_t pi = 0; pi < pages.size(); ++pi)
        for (std::size_t i = 0; i < pages[pi].order.size(); ++i) {
            const sde_item& item = pages[pi].order[i];
            if (item.kind == sde_item::object && pages[pi].objects[item.index].counter == counter) {
                show_page(pi);
                select({i});
                return true;
            }
        }
    return false;
}

const sde_object* editor_session::selected_object() const {
    const sde_page* p = page();
    if (!p || selection_.size() != 1 || p->order[selection_[0]].kind != sde_item::object)
        return nullptr;
    return &p->objects[p->order[selection_[0]].index];
}

const sde_shape* editor_session::selected_shape() const {
    const sde_page* p = page();
    if (!p || selection_.size() != 1 || p->order[selection_[0]].kind != sde_item::shape)
        return nullptr;
    return &p->shapes[p->order[selection_[0]].index];
}

std::optional<std::size_t> editor_session::item_at(point at, double tolerance) const {
    const sde_page* p = page();
    if (!p)
        return std::nullopt;
    for (std::size_t i = p->order.size(); i-- > 0;)
        if (distance_to(*p, p->order[i], at) <= tolerance)
            return i;
    return std::nullopt;
}

// ---- terminals

std::vector<terminal_hit> editor_session::all_terminals() const {
    std::vector<terminal_hit> out;
    const sde_page* p = page();
    if (!p)
        return out;
    for (const sde_object& o : p->objects) {
        const terminal_layout* layout = terminals_of(o.type_name);
        if (!layout)
            continue;
        if (layout->along_length) {
            for (const std::string& t : {busbar_terminal(0), busbar_terminal(o.w)})
                if (const auto at = terminal_position(o, t))
                    out.push_back({{wire_end::at_terminal, o.counter, t, 0}, *at});
            continue;
        }
        for (const terminal_def& t : layout->terminals)
            if (const auto at = terminal_position(o, t.name))
                out.push_back({{wire_end::at_terminal, o.counter, t.name, 0}, *at});
    }
    for (const auto& [id, j] : junctions_of(*p))
        out.push_back({{wire_end::at_node, 0, {}, id}, j.at});
    return out;
}

std::optional<terminal_hit> editor_session::terminal_at(point at, double tolerance) const {
    const sde_page* p = page();
    if (!p)
        return std::nullopt;
    std::optional<terminal_hit> best;
    double best_d = tolerance;
    auto consider = [&](const terminal_hit& hit) {
        const double d = std::hypot(hit.at.x - at.x, hit.at.y - at.y);
        if (d <= best_d) {
            best_d = d;
            best = hit;
        }
    };
    for (const terminal_hit& hit : all_terminals())
        consider(hit);
    if (best)
        return best;
    // A busbar takes a wire anywhere along its axis: the point's projection, on the grid.
    for (const sde_object& o : p->objects) {
        const terminal_layout* layout = terminals_of(o.type_name);
        if (!layout || !layout->along_length || o.w <= 0)
            continue;
        const auto a = terminal_position(o, busbar_terminal(0));
        const auto b = terminal_position(o, busbar_terminal(o.w));
        if (!a || !b)
            continue;
        const double len2 = (b->x - a->x) * (b->x - a->x) + (b->y - a->y) * (b->y - a->y);
        double t = ((at.x - a->x) * (b->x - a->x) + (at.y - a->y) * (b->y - a->y)) / len2;
        t = std::clamp(t, 0.0, 1.0);
        double offset = t * o.w;
        if (snap_)
            offset = std::clamp(std::round(offset / grid_) * grid_, 0.0, o.w);
        // Near means near the bar; the grid may then move the point along it.
        const point on_axis{a->x + t * (b->x - a->x), a->y + t * (b->y - a->y)};
        const double d = std::hypot(on_axis.x - at.x, on_axis.y - at.y);
        const std::string name = busbar_terminal(offset);
        const auto on = terminal_position(o, name);
        if (on && d <= best_d) {
            best_d = d;
            best = terminal_hit{{wire_end::at_terminal, o.counter, name, 0}, *on};
        }
    }
    return best;
}

std::vector<terminal_hit> editor_session::unconnected_terminals() const {
    std::vector<terminal_hit> out;
    const sde_page* p = page();
    if (!p)
        return out;
    std::set<std::pair<int, std::string>> used;
    std::set<int> used_nodes;
    for (const sde_shape& s : p->shapes)
        if (is_wire(s))
            for (const wire_end& e : {wire_from(s), wire_to(s)}) {
                if (e.kind == wire_end::at_terminal)
                    used.insert({e.counter, e.terminal});
                else if (e.kind == wire_end::at_node)
                    used_nodes.insert(e.node);
            }
    for (const terminal_hit& t : all_terminals()) {
        if (t.end.kind == wire_end::at_node) {
            if (!used_nodes.count(t.end.node))
                out.push_back(t);
            continue;
        }
        if (!t.end.terminal.empty() && t.end.terminal[0] == '@')
            continue;
        if (!used.count({t.end.counter, t.end.terminal}))
            out.push_back(t);
    }
    return out;
}

// ---- operations

void editor_session::keep_valid() {
    const auto& pages = doc_.scheme().pages;
    if (page_ >= pages.size()) {
        page_ = pages.empty() ? 0 : pages.size() - 1;
        selection_.clear();
    }
    select(selection_);
}

int editor_session::drop(const std::string& type_name, point at) {
    if (!page())
        throw nx_exception("в схеме нет страниц");
    sde_object o = new_object(type_name);
    const point c = snap(at);
    o.x = c.x;
    o.y = c.y;
    const int counter = doc_.add_object(page_, std::move(o));
    select({page()->order.size() - 1});
    return counter;
}

void editor_session::draw_shape(sde_shape shape) {
    if (!page())
        throw nx_exception("в схеме нет страниц");
    doc_.add_shape(page_, std::move(shape));
    select({page()->order.size() - 1});
}

void editor_session::draw_wire(const wire_end& from, const wire_end& to,
                               const std::vector<point>& bends) {
    doc_.add_wire(page_, from, to, bends);
    select({page()->order.size() - 1});
}

void editor_session::draw_wire_onto(const wire_end& from, std::size_t wire_item, point at,
                                    const std::vector<point>& bends) {
    if (!is_wire_item(wire_item))
        throw nx_exception("это не провод");
    // The nearest point of the wire: the junction lies on it.
    const sde_shape& w = page()->shapes[page()->order[wire_item].index];
    point on = at;
    double best = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i + 3 < w.coords.size(); i += 2) {
        const point a{w.coords[i], w.coords[i + 1]}, b{w.coords[i + 2], w.coords[i + 3]};
        const double len = (b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y);
        double t = len > 0 ? ((at.x - a.x) * (b.x - a.x) + (at.y - a.y) * (b.y - a.y)) / len : 0;
        t = std::clamp(t, 0.0, 1.0);
        const point q{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
        const double d = std::hypot(q.x - at.x, q.y - at.y);
        if (d < best) {
            best = d;
            on = q;
        }
    }
    const int node = doc_.split_wire(page_, wire_item, on);
    doc_.add_wire(page_, from, {wire_end::at_node, 0, {}, node}, bends);
    doc_.join_last_steps();
    // The new wire is the last shape; the junction may follow it in the drawing order.
    const sde_page* p = page();
    for (std::size_t i = p->order.size(); i-- > 0;)
        if (p->order[i].kind == sde_item::shape) {
            select({i});
            break;
        }
}

bool editor_session::is_wire_item(std::size_t item) const {
    const sde_page* p = page();
    return p && item < p->order.size() && p->order[item].kind == sde_item::shape &&
           is_wire(p->shapes[p->order[item].index]);
}

void editor_session::move_selection(double dx, double dy) {
    if (!selection_.empty() && (dx != 0 || dy != 0))
        doc_.move_items(page_, selection_, dx, dy);
}

void editor_session::delete_selection() {
    if (selection_.empty())
        return;
    doc_.delete_items(page_, selection_);
    selection_.clear();
}

void editor_session::rotate_selection() {
    if (!selection_.empty())
        doc_.rotate_items(page_, selection_);
}

void editor_session::mirror_selection() {
    if (!selection_.empty())
        doc_.mirror_items(page_, selection_);
}

void editor_session::duplicate_selection() {
    if (!selection_.empty())
        select(doc_.duplicate(page_, selection_, 2 * grid_, 2 * grid_));
}

void editor_session::bring_forward() {
    if (selection_.empty())
        return;
    doc_.bring_to_front(page_, selection_);
    const std::size_t n = page()->order.size(), k = selection_.size();
    std::vector<std::size_t> items;
    for (std::size_t i = n - k; i < n; ++i)
        items.push_back(i);
    select(std::move(items));
}

void editor_session::send_back() {
    if (selection_.empty())
        return;
    doc_.send_to_back(page_, selection_);
    std::vector<std::size_t> items;
    for (std::size_t i = 0; i < selection_.size(); ++i)
        items.push_back(i);
    select(std::move(items));
}

void editor_session::align_selection(align_edge edge) {
    if (selection_.size() > 1)
        doc_.align(page_, selection_, edge);
}

void editor_session::distribute_selection(axis along) {
    if (selection_.size() > 2)
        doc_.distribute(page_, selection_, along);
}

void editor_session::resize_selected(double w, double h) {
    if (selection_.size() == 1 && w > 0 && h > 0)
        doc_.resize_item(page_, selection_[0], w, h);
}

void editor_session::undo() {
    doc_.undo();
    keep_valid();
}

void editor_session::redo() {
    doc_.redo();
    keep_valid();
}

std::string editor_session::copy_text() const {
    if (selection_.empty())
        return {};
    sde_scheme s;
    s.pages.push_back(doc_.copy(page_, selection_).items);
    return write_sde(s);
}

bool editor_session::paste_text(const std::string& text) {
    if (!page() || text.empty())
        return false;
    scheme_clipboard clip;
    try {
        sde_scheme s = read_sde(text, "буфер обмена");
        if (s.pages.size() != 1)
            return false;
        clip.items = std::move(s.pages[0]);
    } catch (const nx_exception&) {
        return false;
    }
    select(doc_.paste(page_, clip, 2 * grid_, 2 * grid_));
    return true;
}

// ---- the properties panel

namespace {

std::string attribute_of(const sde_attributes& attributes, const std::string& name) {
    for (const auto& [n, v] : attributes)
        if (n == name)
            return v;
    return {};
}

} // namespace

std::string voltage_colour_row(double kv) {
    std::string text = sde_number(kv);
    std::replace(text.begin(), text.end(), '.', ',');
    return "Цвет класса " + text + " кВ";
}

std::optional<double> voltage_class_of_row(const std::string& row) {
    const std::string head = "Цвет класса ", tail = " кВ";
    if (row.size() <= head.size() + tail.size() || row.compare(0, head.size(), head) != 0 ||
        row.compare(row.size() - tail.size(), tail.size(), tail) != 0)
        return std::nullopt;
    return parse_kv(row.substr(head.size(), row.size() - head.size() - tail.size()));
}

std::vector<property_row> editor_session::property_rows() const {
    std::vector<property_row> rows;
    const sde_page* p = page();
    if (!p)
        return rows;
    if (selection_.empty()) {
        rows.push_back({"Название страницы", p->title});
        rows.push_back({"Ширина страницы, мм", sde_number(p->width)});
        rows.push_back({"Высота страницы, мм", sde_number(p->height)});
        for (const voltage_class& c : voltage_classes_of(*p))
            rows.push_back({voltage_colour_row(c.kv), c.colour});
        return rows;
    }
    if (const sde_object* o = selected_object()) {
        rows.push_back({panel::counter, std::to_string(o->counter), false});
        rows.push_back({panel::type, o->type_name});
        rows.push_back({panel::name, o->value("дисп_имя")});
        for (const auto& [name, value] : o->properties)
            if (name != "дисп_имя")
                rows.push_back({name, value});
        rows.push_back({panel::x, sde_number(o->x)});
        rows.push_back({panel::y, sde_number(o->y)});
        rows.push_back({panel::width, sde_number(o->w)});
        rows.push_back({panel::height, sde_number(o->h)});
        rows.push_back({panel::rotation, std::to_string(o->rotation), false});
        rows.push_back({panel::voltage_class, attribute_of(o->unknown, "kv")});
        return rows;
    }
    if (const sde_shape* s = selected_shape()) {
        rows.push_back({panel::color, s->color});
        rows.push_back({panel::line_width, sde_number(s->width)});
        rows.push_back({panel::dash, s->dash});
        rows.push_back({panel::fill, s->fill});
        if (s->kind == sde_shape::text)
            rows.push_back({panel::text, s->content});
        if (is_wire(*s))
            rows.push_back({panel::voltage_class, attribute_of(s->unknown, "kv")});
        if (has_box(*s) && s->coords.size() >= 4) {
            rows.push_back({panel::x, sde_number(s->coords[0])});
            rows.push_back({panel::y, sde_number(s->coords[1])});
            rows.push_back({panel::width, sde_number(s->coords[2])});
            rows.push_back({panel::height, sde_number(s->coords[3])});
        }
        return rows;
    }
    rows.push_back({"Выбрано", std::to_string(selection_.size()), false});
    return rows;
}

std::string editor_session::apply_property(const std::string& name, const std::string& value) {
    const sde_page* p = page();
    if (!p)
        return "В схеме нет страниц.";
    const bool number_field = name == panel::x || name == panel::y || name == panel::width ||
                              name == panel::height || name == panel::line_width ||
                              name == "Ширина страницы, мм" || name == "Высота страницы, мм";
    double number = 0;
    if (number_field && !parse_number(value, number))
        return not_a_number(name, value);
    try {
        if (!selection_.empty() && name == panel::voltage_class) {
            if (!value.empty() && !parse_kv(value))
                return "Класс напряжения - число киловольт больше нуля, например 110 или 0,4.";
            const sde_item& at = p->order[selection_[0]];
            const sde_attributes& now = at.kind == sde_item::object ? p->objects[at.index].unknown
                                                                    : p->shapes[at.index].unknown;
            if (attribute_of(now, "kv") != value)
                doc_.set_attribute(page_, selection_[0], "kv", value);
            return {};
        }
        if (selection_.empty()) {
            if (const std::optional<double> kv = voltage_class_of_row(name)) {
                if (voltage_colour(voltage_classes_of(*p), *kv) != value)
                    doc_.set_voltage_colour(page_, *kv, value);
                return {};
            }
            if (name == "Название страницы") {
                if (value != p->title)
                    doc_.rename_page(page_, value);
            } else if (name == "Ширина страницы, мм") {
                if (number != p->width)
                    doc_.resize_page(page_, number, p->height);
            } else if (name == "Высота страницы, мм") {
                if (number != p->height)
                    doc_.resize_page(page_, p->width, number);
            }
            return {};
        }
        if (const sde_object* o = selected_object()) {
            if (name == panel::type) {
                if (value.empty())
                    return "Тип объекта не может быть пустым.";
                if (value != o->type_name)
                    doc_.set_type(page_, o->counter, value);
            } else if (name == panel::x) {
                move_selection(number - o->x, 0);
            } else if (name == panel::y) {
                move_selection(0, number - o->y);
            } else if (name == panel::width || name == panel::height) {
                const double w = name == panel::width ? number : o->w;
                const double h = name == panel::height ? number : o->h;
                if (w <= 0 || h <= 0)
                    return "Размер должен быть больше нуля.";
                if (w != o->w || h != o->h)
                    doc_.resize_item(page_, selection_[0], w, h);
            } else if (name != panel::counter && name != panel::rotation) {
                const std::string property = name == panel::name ? "дисп_имя" : name;
                if (o->value(property) != value)
                    doc_.set_property(page_, o->counter, property, value);
            }
            return {};
        }
        if (const sde_shape* s = selected_shape()) {
            sde_shape changed = *s;
            if (name == panel::color)
                changed.color = value;
            else if (name == panel::line_width) {
                if (number < 0)
                    return "Толщина не может быть отрицательной.";
                changed.width = number;
            } else if (name == panel::dash) {
                if (!value.empty() && value != "solid" && value != "dash" && value != "dot" &&
                    value != "dashdot")
                    return "Штрих: solid, dash, dot или dashdot.";
                changed.dash = value;
            } else if (name == panel::fill)
                changed.fill = value;
            else if (name == panel::text)
                changed.content = value;
            else if (changed.coords.size() >= 4 && name == panel::x)
                changed.coords[0] = number;
            else if (changed.coords.size() >= 4 && name == panel::y)
                changed.coords[1] = number;
            else if (changed.coords.size() >= 4 &&
                     (name == panel::width || name == panel::height)) {
                if (number < 0)
                    return "Размер не может быть отрицательным.";
                changed.coords[name == panel::width ? 2 : 3] = number;
            }
            if (same_shape(changed, *s))
                return {};
            doc_.set_shape(page_, selection_[0], std::move(changed));
        }
    } catch (const nx_exception& e) {
        return e.what();
    }
    return {};
}

// ---- checks

std::vector<scheme_finding> editor_session::check(const scheme_references* refs) const {
    std::vector<scheme_finding> out = check_scheme(doc_.scheme());
    if (refs) {
        std::vector<scheme_finding> more = check_references(doc_.scheme(), *refs);
        out.insert(out.end(), more.begin(), more.end());
    }
    return out;
}

bool editor_session::show_finding(const scheme_finding& finding) {
    if (finding.counter != 0 && select_counter(finding.counter))
        return true;
    const auto& pages = doc_.scheme().pages;
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (pages[i].number == finding.page) {
            show_page(i);
            select({});
            return false;
        }
    return false;
}

} // namespace nxkit
