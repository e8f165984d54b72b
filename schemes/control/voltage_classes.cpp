#include "schemes/control/voltage_classes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace nxkit {

namespace {

const std::string entry_start = "<voltage_class ";

// Classes are compared to a tenth of a volt: 0.4 read from "0,4" and from "0.4" is one class.
bool same_kv(double a, double b) {
    return std::fabs(a - b) < 1e-4;
}

// The value of name="…" or name='…' in a raw start tag.
std::optional<std::string> raw_attribute(const std::string& raw, const std::string& name) {
    for (std::size_t at = raw.find(name); at != std::string::npos; at = raw.find(name, at + 1)) {
        if (at == 0 || std::string(" \t\r\n").find(raw[at - 1]) == std::string::npos)
            continue;
        std::size_t i = raw.find_first_not_of(" \t\r\n", at + name.size());
        if (i == std::string::npos || raw[i] != '=')
            continue;
        i = raw.find_first_not_of(" \t\r\n", i + 1);
        if (i == std::string::npos || (raw[i] != '"' && raw[i] != '\''))
            continue;
        const std::size_t end = raw.find(raw[i], i + 1);
        if (end == std::string::npos)
            return std::nullopt;
        return raw.substr(i + 1, end - i - 1);
    }
    return std::nullopt;
}

std::optional<voltage_class> parse_entry(const std::string& raw) {
    if (raw.compare(0, entry_start.size(), entry_start) != 0)
        return std::nullopt;
    const auto kv = raw_attribute(raw, "kv");
    const auto colour = raw_attribute(raw, "color");
    if (!kv || !colour || colour->empty())
        return std::nullopt;
    const auto value = parse_kv(*kv);
    if (!value)
        return std::nullopt;
    return voltage_class{*value, *colour};
}

} // namespace

const voltage_table& default_voltage_classes() {
    // The colours usual on mimic diagrams of this domain.
    static const voltage_table table = {
        {1150, "#cd8aff"}, {750, "#0000c8"}, {500, "#a50021"}, {400, "#f05a28"}, {330, "#008c00"},
        {220, "#c8c800"},  {150, "#aa9600"}, {110, "#00b4c8"}, {35, "#826432"},  {20, "#a0522d"},
        {10, "#640064"},   {6, "#c89600"},   {3, "#787878"},   {0.4, "#b4b4b4"},
    };
    return table;
}

std::optional<double> parse_kv(const std::string& text) {
    std::string t = text;
    std::replace(t.begin(), t.end(), ',', '.');
    if (t.empty() || t.find_first_not_of("0123456789.") != std::string::npos)
        return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (*end != '\0' || !(v > 0) || !std::isfinite(v))
        return std::nullopt;
    return v;
}

voltage_table page_voltage_entries(const sde_page& page) {
    voltage_table out;
    for (const std::string& raw : page.unknown_children)
        if (const auto e = parse_entry(raw))
            out.push_back(*e);
    return out;
}

voltage_table voltage_classes_of(const sde_page& page) {
    voltage_table table = default_voltage_classes();
    for (const voltage_class& e : page_voltage_entries(page)) {
        const auto it = std::find_if(table.begin(), table.end(),
                                     [&](const voltage_class& c) { return same_kv(c.kv, e.kv); });
        if (it != table.end())
            it->colour = e.colour;
        else
            table.push_back(e);
    }
    std::stable_sort(table.begin(), table.end(),
                     [](const voltage_class& a, const voltage_class& b) { return a.kv > b.kv; });
    return table;
}

void set_page_voltage_colour(sde_page& page, double kv, const std::string& colour) {
    const std::string text =
        entry_start + "kv=\"" + sde_number(kv) + "\" color=\"" + colour + "\"/>";
    for (std::size_t i = 0; i < page.unknown_children.size(); ++i) {
        const auto e = parse_entry(page.unknown_children[i]);
        if (!e || !same_kv(e->kv, kv))
            continue;
        if (!colour.empty()) {
            page.unknown_children[i] = text;
            return;
        }
        page.unknown_children.erase(page.unknown_children.begin() + static_cast<long>(i));
        std::erase_if(page.order, [&](const sde_item& item) {
            return item.kind == sde_item::unknown && item.index == i;
        });
        for (sde_item& item : page.order)
            if (item.kind == sde_item::unknown && item.index > i)
                --item.index;
        return;
    }
    if (colour.empty())
        return;
    // A new entry goes before the drawing, after the page's other entries.
    std::size_t place = 0;
    while (place < page.order.size() && page.order[place].kind == sde_item::unknown &&
           parse_entry(page.unknown_children[page.order[place].index]))
        ++place;
    page.unknown_children.push_back(text);
    page.order.insert(page.order.begin() + static_cast<long>(place),
                      {sde_item::unknown, page.unknown_children.size() - 1});
}

std::string voltage_colour(const voltage_table& table, double kv) {
    for (const voltage_class& c : table)
        if (same_kv(c.kv, kv))
            return c.colour;
    return {};
}

std::optional<double> voltage_class_of(const sde_attributes& attributes) {
    for (const auto& [name, value] : attributes)
        if (name == "kv")
            return parse_kv(value);
    return std::nullopt;
}

} // namespace nxkit
