#pragma once

// The generated drawing the scheme benchmarks share: 2,000 objects on 4 pages of 500, in 50
// bays of ten a page (breakers, disconnectors, earthing switches, lamps and measured values,
// each with its connecting line), every object answering the mouse.

#include "schemes/control/sde_document.h"

#include <string>

namespace nxbench {

inline constexpr int scheme_pages = 4;
inline constexpr int objects_per_page = 500;

inline const char* const scheme_types[] = {"выключатель", "разъединитель", "заземляющий_нож",
                                           "лампа", "прибор_реальный"};

// The type of the object with `counter` (from 1).
inline const char* scheme_type(int counter) {
    return scheme_types[((counter - 1) % objects_per_page % 10) % 5];
}

// Objects are named `name_prefix` followed by their counter plus `name_offset`; `pages` pages
// of 500 objects.
inline std::string generated_scheme(const std::string& name_prefix = "Q", int name_offset = 0,
                                    int pages = scheme_pages) {
    using nxkit::sde_number;
    std::string t =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sde version=\"1\" units=\"mm\">\n";
    int counter = 1;
    for (int page = 1; page <= pages; ++page) {
        t += "  <page number=\"" + std::to_string(page) + "\" title=\"Страница " +
             std::to_string(page) + "\" width=\"520\" height=\"300\">\n";
        t +=
            "    <line x1=\"5\" y1=\"10\" x2=\"515\" y2=\"10\" color=\"#0050b4\" width=\"1.2\"/>\n";
        for (int i = 0; i < objects_per_page; ++i) {
            const int bay = i / 10, slot = i % 10;
            const double x = 10 + (bay % 25) * 20.5;
            const double y = 20 + (bay / 25) * 140 + slot * 13;
            const char* type = scheme_type(counter);
            t += "    <line x1=\"" + sde_number(x) + "\" y1=\"" + sde_number(y - 6.5) + "\" x2=\"" +
                 sde_number(x) + "\" y2=\"" + sde_number(y + 6.5) +
                 "\" color=\"#0050b4\" width=\"0.4\"/>\n";
            t += "    <object counter=\"" + std::to_string(counter) + "\" type=\"" + type +
                 "\" x=\"" + sde_number(x) + "\" y=\"" + sde_number(y) + "\" w=\"" +
                 (slot % 5 == 4 ? "12" : "5") + "\" h=\"" + (slot % 5 >= 3 ? "5" : "10") +
                 "\" name=\"" + name_prefix + std::to_string(counter + name_offset) + "\">\n";
            if (slot % 5 == 4)
                t += "      <property name=\"значение\">12,5</property>\n";
            else if (slot % 5 == 3)
                t += "      <property name=\"положение\">горит</property>\n";
            else
                t += "      <property name=\"положение\">включен</property>\n";
            t += "      <property name=\"реакция_на_мышь\">есть</property>\n";
            t += "    </object>\n";
            ++counter;
        }
        t += "  </page>\n";
    }
    return t + "</sde>\n";
}

} // namespace nxbench
