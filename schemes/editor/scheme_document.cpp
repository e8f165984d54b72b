#include "schemes/editor/scheme_document.h"

#include "schemes/control/voltage_classes.h"
#include "base/files.h"
#include "base/nx_exception.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <set>

namespace nxkit {

namespace {

struct box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double cx() const { return (x0 + x1) / 2; }
    double cy() const { return (y0 + y1) / 2; }
};

bool has_box(const sde_shape& s) {
    return s.kind == sde_shape::rect || s.kind == sde_shape::ellipse || s.kind == sde_shape::arc ||
           s.kind == sde_shape::text;
}

std::optional<box> item_box(const sde_page& p, const sde_item& item) {
    if (item.kind == sde_item::object) {
        const sde_object& o = p.objects[item.index];
        const bool turned = o.rotation == 90 || o.rotation == 270;
        const double w = turned ? o.h : o.w, h = turned ? o.w : o.h;
        return box{o.x - w / 2, o.y - h / 2, o.x + w / 2, o.y + h / 2};
    }
    if (item.kind == sde_item::unknown) {
        if (const auto j = parse_junction(p.unknown_children[item.index]))
            return box{j->at.x, j->at.y, j->at.x, j->at.y};
        return std::nullopt;
    }
    const sde_shape& s = p.shapes[item.index];
    if (s.coords.size() < 2)
        return std::nullopt;
    if (has_box(s)) {
        const double w = s.coords.size() > 2 ? s.coords[2] : 0;
        const double h = s.coords.size() > 3 ? s.coords[3] : 0;
        return box{s.coords[0], s.coords[1], s.coords[0] + w, s.coords[1] + h};
    }
    box b{s.coords[0], s.coords[1], s.coords[0], s.coords[1]};
    for (std::size_t i = 0; i + 1 < s.coords.size(); i += 2) {
        b.x0 = std::min(b.x0, s.coords[i]);
        b.x1 = std::max(b.x1, s.coords[i]);
        b.y0 = std::min(b.y0, s.coords[i + 1]);
        b.y1 = std::max(b.y1, s.coords[i + 1]);
    }
    return b;
}

std::optional<box> selection_box(const sde_page& p, const std::vector<std::size_t>& items) {
    std::optional<box> all;
    for (std::size_t i : items)
        if (const auto b = item_box(p, p.order[i])) {
            if (!all)
                all = b;
            else
                all = box{std::min(all->x0, b->x0), std::min(all->y0, b->y0),
                          std::max(all->x1, b->x1), std::max(all->y1, b->y1)};
        }
    return all;
}

// Applies `f` to every point of an item (a box shape's top left corner stands for the box).
template <class F> void each_point(sde_page& p, const sde_item& item, F f) {
    if (item.kind == sde_item::object) {
        sde_object& o = p.objects[item.index];
        point c{o.x, o.y};
        f(c);
        o.x = c.x;
        o.y = c.y;
    } else if (item.kind == sde_item::unknown) {
        std::string& raw = p.unknown_children[item.index];
        if (auto j = parse_junction(raw)) {
            f(j->at);
            raw = junction_text(*j);
        }
    } else {
        sde_shape& s = p.shapes[item.index];
        const std::size_t n =
            has_box(s) ? std::min<std::size_t>(2, s.coords.size()) : s.coords.size();
        for (std::size_t i = 0; i + 1 < n; i += 2) {
            point q{s.coords[i], s.coords[i + 1]};
            f(q);
            s.coords[i] = q.x;
            s.coords[i + 1] = q.y;
        }
    }
}

void translate(sde_page& p, const sde_item& item, double dx, double dy) {
    each_point(p, item, [&](point& q) {
        q.x += dx;
        q.y += dy;
    });
}

double normal_angle(double a) {
    while (a < 0)
        a += 360;
    while (a >= 360)
        a -= 360;
    return a;
}

int max_node_id(const sde_page& p) {
    int id = 0;
    for (const auto& [n, j] : junctions_of(p))
        id = std::max(id, n);
    return id;
}

// Why a write failed, in the operator's words.
std::string write_error(int code) {
    switch (code) {
    case EACCES:
    case EPERM:
        return "нет прав на запись в папку";
    case ENOSPC:
    case EDQUOT:
        return "нет места на диске";
    case EROFS:
        return "диск доступен только для чтения";
    case ENOENT:
        return "папка не найдена";
    default:
        return "ошибка " + std::to_string(code);
    }
}

// The page with only the items at the kept places, in their order.
sde_page keep_items(const sde_page& p, const std::vector<bool>& keep) {
    sde_page out = p;
    out.shapes.clear();
    out.objects.clear();
    out.unknown_children.clear();
    out.order.clear();
    for (std::size_t i = 0; i < p.order.size(); ++i) {
        if (!keep[i])
            continue;
        append_item(out, p, p.order[i]);
    }
    return out;
}

} // namespace

void append_item(sde_page& to, const sde_page& from, const sde_item& item) {
    switch (item.kind) {
    case sde_item::shape:
        to.order.push_back({item.kind, to.shapes.size()});
        to.shapes.push_back(from.shapes[item.index]);
        break;
    case sde_item::object:
        to.order.push_back({item.kind, to.objects.size()});
        to.objects.push_back(from.objects[item.index]);
        break;
    case sde_item::unknown:
        to.order.push_back({item.kind, to.unknown_children.size()});
        to.unknown_children.push_back(from.unknown_children[item.index]);
        break;
    }
}

scheme_document::scheme_document(sde_scheme scheme) : scheme_(std::move(scheme)) {}

scheme_document scheme_document::open(const std::string& path) {
    std::string bytes;
    if (!read_file(path, bytes))
        throw nx_exception(path + ": файл не читается: " + std::strerror(errno));
    scheme_document d(read_sde(bytes, path));
    d.disk_text_ = std::move(bytes);
    return d;
}

scheme_document::save_result scheme_document::save(const std::string& path, std::string& message,
                                                   bool overwrite) {
    std::string on_disk;
    const bool exists = read_file(path, on_disk);
    if (exists && !overwrite && on_disk != disk_text_) {
        message = "файл схемы '" + path + "' изменен на диске после открытия";
        return save_result::changed_on_disk;
    }
    const std::string bytes = text();
    if (exists) {
        int n = 1;
        while (file_exists(path + "." + std::to_string(n) + ".bak"))
            ++n;
        const std::string backup = path + "." + std::to_string(n) + ".bak";
        if (!copy_file(path, backup)) {
            message = "не удалось сохранить копию '" + backup + "' файла схемы '" + path +
                      "'; файл не изменен";
            return save_result::failed;
        }
    }
    if (!write_file_atomic(path, bytes, true)) {
        message = "не удалось записать файл схемы '" + path + "': " + write_error(errno) +
                  "; прежний файл сохранен";
        return save_result::failed;
    }
    disk_text_ = bytes;
    saved_at_ = done_;
    message.clear();
    return save_result::saved;
}

int scheme_document::next_counter() const {
    int top = 0;
    for (const sde_page& p : scheme_.pages)
        for (const sde_object& o : p.objects)
            top = std::max(top, o.counter);
    return top + 1;
}

// ---- the undo stack

void scheme_document::push(step s) {
    history_.resize(done_);
    if (saved_at_ > done_)
        saved_at_ = std::numeric_limits<std::size_t>::max(); // that state cannot come back
    history_.push_back(std::move(s));
    ++done_;
}

sde_page& scheme_document::begin_page(std::size_t page) {
    if (page >= scheme_.pages.size())
        throw nx_exception("нет страницы " + std::to_string(page + 1));
    step s;
    s.page = page;
    s.stored = scheme_.pages[page];
    push(std::move(s));
    return scheme_.pages[page];
}

std::vector<sde_page>& scheme_document::begin_whole() {
    step s;
    s.whole = true;
    s.stored_pages = scheme_.pages;
    push(std::move(s));
    return scheme_.pages;
}

void scheme_document::swap_step(step& s) {
    if (s.whole)
        std::swap(scheme_.pages, s.stored_pages);
    else
        std::swap(scheme_.pages[s.page], s.stored);
}

void scheme_document::undo() {
    if (!can_undo())
        return;
    --done_;
    swap_step(history_[done_]);
}

void scheme_document::redo() {
    if (!can_redo())
        return;
    swap_step(history_[done_]);
    ++done_;
}

void scheme_document::join_last_steps() {
    if (done_ < 2 || done_ != history_.size())
        throw nx_exception("нечего объединять");
    step& first = history_[done_ - 2];
    step& second = history_[done_ - 1];
    if (first.whole != second.whole || (!first.whole && first.page != second.page))
        throw nx_exception("шаги на разных страницах");
    // The first step holds the state before both; the second's is in between and goes.
    if (saved_at_ == done_ - 1)
        saved_at_ = std::numeric_limits<std::size_t>::max();
    history_.pop_back();
    --done_;
    if (saved_at_ != std::numeric_limits<std::size_t>::max() && saved_at_ > done_)
        saved_at_ = std::numeric_limits<std::size_t>::max();
}

// ---- pages

int scheme_document::add_page(const std::string& title, double width, double height) {
    int number = 0;
    for (const sde_page& p : scheme_.pages)
        number = std::max(number, p.number);
    sde_page p;
    p.number = number + 1;
    p.title = title;
    p.width = width;
    p.height = height;
    begin_whole().push_back(std::move(p));
    return number + 1;
}

void scheme_document::delete_page(std::size_t page) {
    if (page >= scheme_.pages.size())
        throw nx_exception("нет страницы " + std::to_string(page + 1));
    auto& pages = begin_whole();
    pages.erase(pages.begin() + static_cast<std::ptrdiff_t>(page));
}

void scheme_document::rename_page(std::size_t page, const std::string& title) {
    begin_page(page).title = title;
}

void scheme_document::resize_page(std::size_t page, double width, double height) {
    if (!(width > 0 && height > 0 && width <= 100000 && height <= 100000))
        throw nx_exception("размер страницы вне допустимого");
    sde_page& p = begin_page(page);
    p.width = width;
    p.height = height;
}

void scheme_document::move_page(std::size_t from, std::size_t to) {
    if (from >= scheme_.pages.size() || to >= scheme_.pages.size())
        throw nx_exception("нет такой страницы");
    auto& pages = begin_whole();
    sde_page p = std::move(pages[from]);
    pages.erase(pages.begin() + static_cast<std::ptrdiff_t>(from));
    pages.insert(pages.begin() + static_cast<std::ptrdiff_t>(to), std::move(p));
}

// ---- items

int scheme_document::add_object(std::size_t page, sde_object object) {
    if (object.counter == 0)
        object.counter = next_counter();
    else
        for (const sde_page& p : scheme_.pages)
            for (const sde_object& o : p.objects)
                if (o.counter == object.counter)
                    throw nx_exception("счетчик " + std::to_string(object.counter) +
                                       " уже есть у другого объекта");
    const int counter = object.counter;
    sde_page& p = begin_page(page);
    object.page = p.number;
    p.order.push_back({sde_item::object, p.objects.size()});
    p.objects.push_back(std::move(object));
    return counter;
}

void scheme_document::add_shape(std::size_t page, sde_shape shape) {
    sde_page& p = begin_page(page);
    p.order.push_back({sde_item::shape, p.shapes.size()});
    p.shapes.push_back(std::move(shape));
}

void scheme_document::add_wire(std::size_t page, const wire_end& from, const wire_end& to,
                               const std::vector<point>& bends) {
    sde_shape s;
    s.kind = sde_shape::polyline;
    s.color = "#0050b4";
    s.width = 0.5;
    s.coords = {0, 0};
    for (const point& b : bends) {
        s.coords.push_back(b.x);
        s.coords.push_back(b.y);
    }
    s.coords.push_back(0);
    s.coords.push_back(0);
    set_wire_from(s, from);
    set_wire_to(s, to);
    sde_page& p = begin_page(page);
    p.order.push_back({sde_item::shape, p.shapes.size()});
    p.shapes.push_back(std::move(s));
    attach_wire_ends(p);
}

int scheme_document::split_wire(std::size_t page, std::size_t item, point at) {
    if (page >= scheme_.pages.size() || item >= scheme_.pages[page].order.size() ||
        scheme_.pages[page].order[item].kind != sde_item::shape ||
        !is_wire(scheme_.pages[page].shapes[scheme_.pages[page].order[item].index]))
        throw nx_exception("это не провод");
    sde_page& p = begin_page(page);
    const int id = max_node_id(p) + 1;
    sde_shape& first = p.shapes[p.order[item].index];
    // The bend after which the junction goes: the nearest segment to the point.
    std::size_t best = 0;
    double best_d = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i + 3 < first.coords.size(); i += 2) {
        const double ax = first.coords[i], ay = first.coords[i + 1];
        const double bx = first.coords[i + 2], by = first.coords[i + 3];
        const double len = (bx - ax) * (bx - ax) + (by - ay) * (by - ay);
        double t = len > 0 ? ((at.x - ax) * (bx - ax) + (at.y - ay) * (by - ay)) / len : 0;
        t = std::clamp(t, 0.0, 1.0);
        const double dx = ax + t * (bx - ax) - at.x, dy = ay + t * (by - ay) - at.y;
        if (dx * dx + dy * dy < best_d) {
            best_d = dx * dx + dy * dy;
            best = i;
        }
    }
    sde_shape second = first;
    second.coords.assign(first.coords.begin() + static_cast<std::ptrdiff_t>(best + 2),
                         first.coords.end());
    second.coords.insert(second.coords.begin(), {at.x, at.y});
    first.coords.resize(best + 2);
    first.coords.push_back(at.x);
    first.coords.push_back(at.y);
    const wire_end node{wire_end::at_node, 0, {}, id};
    set_wire_to(first, node);
    set_wire_from(second, node);
    p.order.insert(p.order.begin() + static_cast<std::ptrdiff_t>(item + 1),
                   {sde_item::shape, p.shapes.size()});
    p.shapes.push_back(std::move(second));
    p.order.push_back({sde_item::unknown, p.unknown_children.size()});
    p.unknown_children.push_back(junction_text({id, at}));
    attach_wire_ends(p);
    return id;
}

void scheme_document::attach(std::size_t page, std::size_t item, int end, const wire_end& to) {
    if (page >= scheme_.pages.size() || item >= scheme_.pages[page].order.size() ||
        scheme_.pages[page].order[item].kind != sde_item::shape)
        throw nx_exception("это не провод");
    sde_page& p = begin_page(page);
    sde_shape& s = p.shapes[p.order[item].index];
    if (end == 0)
        set_wire_from(s, to);
    else
        set_wire_to(s, to);
    attach_wire_ends(p);
}

void scheme_document::set_property(std::size_t page, int counter, const std::string& name,
                                   const std::string& value) {
    if (page >= scheme_.pages.size())
        throw nx_exception("нет страницы " + std::to_string(page + 1));
    const auto& objects = scheme_.pages[page].objects;
    const auto it = std::find_if(objects.begin(), objects.end(),
                                 [&](const sde_object& o) { return o.counter == counter; });
    if (it == objects.end())
        throw nx_exception("нет объекта со счетчиком " + std::to_string(counter));
    const auto index = static_cast<std::size_t>(it - objects.begin());
    begin_page(page).objects[index].set(name, value);
}

void scheme_document::set_type(std::size_t page, int counter, const std::string& type_name) {
    if (page >= scheme_.pages.size())
        throw nx_exception("нет страницы " + std::to_string(page + 1));
    if (type_name.empty())
        throw nx_exception("тип объекта не задан");
    const auto& objects = scheme_.pages[page].objects;
    const auto it = std::find_if(objects.begin(), objects.end(),
                                 [&](const sde_object& o) { return o.counter == counter; });
    if (it == objects.end())
        throw nx_exception("нет объекта со счетчиком " + std::to_string(counter));
    const auto index = static_cast<std::size_t>(it - objects.begin());
    sde_page& p = begin_page(page);
    p.objects[index].type_name = type_name;
    attach_wire_ends(p);
}

void scheme_document::set_shape(std::size_t page, std::size_t item, sde_shape shape) {
    if (page >= scheme_.pages.size() || item >= scheme_.pages[page].order.size() ||
        scheme_.pages[page].order[item].kind != sde_item::shape)
        throw nx_exception("это не графика");
    sde_page& p = begin_page(page);
    p.shapes[p.order[item].index] = std::move(shape);
    attach_wire_ends(p);
}

void scheme_document::set_attribute(std::size_t page, std::size_t item, const std::string& name,
                                    const std::string& value) {
    if (page >= scheme_.pages.size() || item >= scheme_.pages[page].order.size() ||
        scheme_.pages[page].order[item].kind == sde_item::unknown)
        throw nx_exception("нет такого объекта");
    sde_page& p = begin_page(page);
    const sde_item& at = p.order[item];
    sde_attributes& attributes =
        at.kind == sde_item::object ? p.objects[at.index].unknown : p.shapes[at.index].unknown;
    auto it = std::find_if(attributes.begin(), attributes.end(),
                           [&](const auto& a) { return a.first == name; });
    if (value.empty()) {
        if (it != attributes.end())
            attributes.erase(it);
    } else if (it != attributes.end()) {
        it->second = value;
    } else {
        attributes.emplace_back(name, value);
    }
}

void scheme_document::set_voltage_colour(std::size_t page, double kv, const std::string& colour) {
    if (page >= scheme_.pages.size())
        throw nx_exception("нет страницы " + std::to_string(page + 1));
    set_page_voltage_colour(begin_page(page), kv, colour);
}

void scheme_document::delete_items(std::size_t page, std::vector<std::size_t> items) {
    sde_page& p = begin_page(page);
    std::vector<bool> keep(p.order.size(), true);
    std::set<int> counters, nodes;
    for (std::size_t i : items) {
        if (i >= keep.size())
            continue;
        keep[i] = false;
        const sde_item& item = p.order[i];
        if (item.kind == sde_item::object)
            counters.insert(p.objects[item.index].counter);
        else if (item.kind == sde_item::unknown)
            if (const auto j = parse_junction(p.unknown_children[item.index]))
                nodes.insert(j->id);
    }
    for (sde_shape& s : p.shapes) {
        if (!is_wire(s))
            continue;
        auto gone = [&](const wire_end& e) {
            return (e.kind == wire_end::at_terminal && counters.count(e.counter)) ||
                   (e.kind == wire_end::at_node && nodes.count(e.node));
        };
        if (gone(wire_from(s)))
            set_wire_from(s, {});
        if (gone(wire_to(s)))
            set_wire_to(s, {});
    }
    p = keep_items(p, keep);
}

void scheme_document::move_items(std::size_t page, const std::vector<std::size_t>& items, double dx,
                                 double dy) {
    sde_page& p = begin_page(page);
    for (std::size_t i : items)
        if (i < p.order.size())
            translate(p, p.order[i], dx, dy);
    attach_wire_ends(p);
}

void scheme_document::resize_item(std::size_t page, std::size_t item, double w, double h) {
    if (!(w >= 0 && h >= 0))
        throw nx_exception("размер не может быть отрицательным");
    sde_page& p = begin_page(page);
    if (item >= p.order.size())
        return;
    const sde_item& it = p.order[item];
    if (it.kind == sde_item::object) {
        p.objects[it.index].w = w;
        p.objects[it.index].h = h;
    } else if (it.kind == sde_item::shape && has_box(p.shapes[it.index])) {
        auto& c = p.shapes[it.index].coords;
        c.resize(std::max<std::size_t>(c.size(), 4));
        c[2] = w;
        c[3] = h;
    }
    attach_wire_ends(p);
}

void scheme_document::rotate_items(std::size_t page, const std::vector<std::size_t>& items) {
    sde_page& p = begin_page(page);
    const auto all = selection_box(p, items);
    if (!all)
        return;
    const double cx = all->cx(), cy = all->cy();
    auto turn = [&](point& q) {
        const point r{cx - (q.y - cy), cy + (q.x - cx)};
        q = r;
    };
    for (std::size_t i : items) {
        if (i >= p.order.size())
            continue;
        const sde_item& item = p.order[i];
        if (item.kind == sde_item::shape && has_box(p.shapes[item.index])) {
            // A box turns about its centre, then its centre about the selection's.
            sde_shape& s = p.shapes[item.index];
            const auto b = item_box(p, item);
            point c{b->cx(), b->cy()};
            turn(c);
            const bool text = s.kind == sde_shape::text;
            const double w = text ? b->x1 - b->x0 : b->y1 - b->y0;
            const double h = text ? b->y1 - b->y0 : b->x1 - b->x0;
            s.coords[0] = c.x - w / 2;
            s.coords[1] = c.y - h / 2;
            if (s.coords.size() >= 4) {
                s.coords[2] = w;
                s.coords[3] = h;
            }
            if (s.kind == sde_shape::arc)
                s.start = normal_angle(s.start - 90);
            continue;
        }
        each_point(p, item, turn);
        if (item.kind == sde_item::object)
            p.objects[item.index].rotation = (p.objects[item.index].rotation + 90) % 360;
    }
    attach_wire_ends(p);
}

void scheme_document::mirror_items(std::size_t page, const std::vector<std::size_t>& items) {
    sde_page& p = begin_page(page);
    const auto all = selection_box(p, items);
    if (!all)
        return;
    const double cx = all->cx();
    for (std::size_t i : items) {
        if (i >= p.order.size())
            continue;
        const sde_item& item = p.order[i];
        if (item.kind == sde_item::shape && has_box(p.shapes[item.index])) {
            sde_shape& s = p.shapes[item.index];
            const auto b = item_box(p, item);
            s.coords[0] = 2 * cx - b->x1;
            if (s.kind == sde_shape::arc)
                s.start = normal_angle(180 - s.start - s.span);
            continue;
        }
        each_point(p, item, [&](point& q) { q.x = 2 * cx - q.x; });
        if (item.kind == sde_item::object) {
            sde_object& o = p.objects[item.index];
            // Left to right on the page is across the symbol's own axis when it lies turned.
            if (o.rotation == 90 || o.rotation == 270)
                o.rotation = (o.rotation + 180) % 360;
            auto it = std::find_if(o.unknown.begin(), o.unknown.end(),
                                   [](const auto& a) { return a.first == "mirror"; });
            if (it != o.unknown.end())
                o.unknown.erase(it);
            else
                o.unknown.emplace_back("mirror", "1");
        }
    }
    attach_wire_ends(p);
}

scheme_clipboard scheme_document::copy(std::size_t page,
                                       const std::vector<std::size_t>& items) const {
    if (page >= scheme_.pages.size())
        throw nx_exception("нет страницы " + std::to_string(page + 1));
    const sde_page& p = scheme_.pages[page];
    std::vector<bool> keep(p.order.size(), false);
    for (std::size_t i : items)
        if (i < keep.size())
            keep[i] = true;
    return {keep_items(p, keep)};
}

std::vector<std::size_t> scheme_document::paste(std::size_t page, const scheme_clipboard& clip,
                                                double dx, double dy) {
    int counter = next_counter();
    sde_page& p = begin_page(page);
    std::map<int, int> counters, nodes;
    int node = max_node_id(p);
    sde_page in = clip.items;
    for (sde_object& o : in.objects) {
        counters[o.counter] = counter;
        o.counter = counter++;
        o.page = p.number;
    }
    for (std::string& raw : in.unknown_children)
        if (auto j = parse_junction(raw)) {
            nodes[j->id] = ++node;
            j->id = node;
            raw = junction_text(*j);
        }
    auto remap = [&](wire_end e) {
        if (e.kind == wire_end::at_terminal) {
            const auto it = counters.find(e.counter);
            if (it == counters.end())
                return wire_end{};
            e.counter = it->second;
        } else if (e.kind == wire_end::at_node) {
            const auto it = nodes.find(e.node);
            if (it == nodes.end())
                return wire_end{};
            e.node = it->second;
        }
        return e;
    };
    for (sde_shape& s : in.shapes)
        if (is_wire(s)) {
            set_wire_from(s, remap(wire_from(s)));
            set_wire_to(s, remap(wire_to(s)));
        }
    std::vector<std::size_t> placed;
    for (const sde_item& item : in.order) {
        translate(in, item, dx, dy);
        placed.push_back(p.order.size());
        append_item(p, in, item);
    }
    attach_wire_ends(p);
    return placed;
}

std::vector<std::size_t> scheme_document::duplicate(std::size_t page,
                                                    const std::vector<std::size_t>& items,
                                                    double dx, double dy) {
    return paste(page, copy(page, items), dx, dy);
}

void scheme_document::bring_to_front(std::size_t page, const std::vector<std::size_t>& items) {
    sde_page& p = begin_page(page);
    const std::set<std::size_t> chosen(items.begin(), items.end());
    std::vector<sde_item> rest, front;
    for (std::size_t i = 0; i < p.order.size(); ++i)
        (chosen.count(i) ? front : rest).push_back(p.order[i]);
    rest.insert(rest.end(), front.begin(), front.end());
    p.order = std::move(rest);
}

void scheme_document::send_to_back(std::size_t page, const std::vector<std::size_t>& items) {
    sde_page& p = begin_page(page);
    const std::set<std::size_t> chosen(items.begin(), items.end());
    std::vector<sde_item> rest, back;
    for (std::size_t i = 0; i < p.order.size(); ++i)
        (chosen.count(i) ? back : rest).push_back(p.order[i]);
    back.insert(back.end(), rest.begin(), rest.end());
    p.order = std::move(back);
}

void scheme_document::align(std::size_t page, const std::vector<std::size_t>& items,
                            align_edge edge) {
    sde_page& p = begin_page(page);
    const auto all = selection_box(p, items);
    if (!all)
        return;
    for (std::size_t i : items) {
        if (i >= p.order.size())
            continue;
        const auto b = item_box(p, p.order[i]);
        if (!b)
            continue;
        double dx = 0, dy = 0;
        switch (edge) {
        case align_edge::left:
            dx = all->x0 - b->x0;
            break;
        case align_edge::right:
            dx = all->x1 - b->x1;
            break;
        case align_edge::top:
            dy = all->y0 - b->y0;
            break;
        case align_edge::bottom:
            dy = all->y1 - b->y1;
            break;
        case align_edge::centre_x:
            dx = all->cx() - b->cx();
            break;
        case align_edge::centre_y:
            dy = all->cy() - b->cy();
            break;
        }
        translate(p, p.order[i], dx, dy);
    }
    attach_wire_ends(p);
}

void scheme_document::distribute(std::size_t page, const std::vector<std::size_t>& items,
                                 axis along) {
    sde_page& p = begin_page(page);
    std::vector<std::pair<double, std::size_t>> centres;
    for (std::size_t i : items)
        if (i < p.order.size())
            if (const auto b = item_box(p, p.order[i]))
                centres.emplace_back(along == axis::horizontal ? b->cx() : b->cy(), i);
    if (centres.size() < 3)
        return;
    std::stable_sort(centres.begin(), centres.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const double first = centres.front().first, last = centres.back().first;
    const double gap = (last - first) / static_cast<double>(centres.size() - 1);
    for (std::size_t k = 1; k + 1 < centres.size(); ++k) {
        const double d = first + gap * static_cast<double>(k) - centres[k].first;
        translate(p, p.order[centres[k].second], along == axis::horizontal ? d : 0,
                  along == axis::vertical ? d : 0);
    }
    attach_wire_ends(p);
}

} // namespace nxkit
