#pragma once

// The scheme file (.sde): pages of static graphics and typed drawn objects. Plain data and its
// reader and writer, without Qt, so that the fuzz target and the tool share them.

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace nxkit {

// Page units per file unit, and pixels per page unit at scale 1.
inline constexpr double sde_pixels_per_unit = 8.0;

using sde_attributes = std::vector<std::pair<std::string, std::string>>;

// One piece of static graphics.
struct sde_shape {
    enum kind_t { line, polyline, polygon, rect, ellipse, arc, text };
    kind_t kind = line;
    // line: x1 y1 x2 y2; rect, ellipse, arc, text: x y w h (text: w h may be 0);
    // polyline and polygon: the points.
    std::vector<double> coords;
    std::string color = "черный";
    double width = 0.3;
    std::string fill; // empty: none
    std::string dash; // "", "solid", "dash", "dot", "dashdot"
    double start = 0; // arc: start angle and span in degrees
    double span = 360;
    double size = 3.5; // text: height of the letters
    std::string align; // text: "left", "center", "right"
    bool bold = false;
    std::string content;    // text
    sde_attributes unknown; // attributes this version does not know, kept as read
};

// A drawn object with a type ("имя_типа") whose look follows its named properties.
struct sde_object {
    int counter = 0;
    std::string type_name;
    double x = 0, y = 0; // centre
    double w = 10, h = 10;
    int rotation = 0;       // 0, 90, 180, 270
    std::string label_side; // "right" (default), "left", "top", "bottom", "none"
    // Named properties in file order; "дисп_имя" is the dispatcher name.
    std::vector<std::pair<std::string, std::string>> properties;
    sde_attributes unknown;
    std::vector<std::string> unknown_children; // raw text of elements this version does not know
    int page = 0;                              // page number, set by the reader
    // Active styles of the style library ("композитный_стиль"), in the order they were added;
    // state of the running control, not stored in the file.
    std::vector<std::string> styles;

    // Empty when the object has no such property.
    const std::string* find(const std::string& name) const;
    std::string value(const std::string& name) const;
    void set(const std::string& name, const std::string& value);
};

// An item of a page in file order.
struct sde_item {
    enum kind_t { shape, object, unknown };
    kind_t kind;
    std::size_t index;
};

struct sde_page {
    int number = 1;
    std::string title;
    double width = 297, height = 210;
    std::string background = "белый";
    std::vector<sde_shape> shapes;
    std::vector<sde_object> objects;
    std::vector<std::string> unknown_children;
    std::vector<sde_item> order;
    sde_attributes unknown;
};

struct sde_scheme {
    static constexpr int version = 1;
    std::string units = "mm"; // as read; lengths are held in millimetres
    std::vector<sde_page> pages;
    std::vector<std::string> unknown_children;
    sde_attributes unknown;
};

// Reads a scheme file's text. A broken file raises nx_exception with the message
// "<name>: строка L, столбец C: <what>". Counters must be unique in the file.
sde_scheme read_sde(const std::string& text, const std::string& name);
// Reads a file by path (name in messages: the path as given).
sde_scheme read_sde_file(const std::string& path);
// The file text, UTF-8, lengths in millimetres.
std::string write_sde(const sde_scheme& scheme);

// Numbers as the writer stores them: shortest text, point as separator.
std::string sde_number(double value);

} // namespace nxkit
