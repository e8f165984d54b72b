#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace nxkit {

class t_ilk_tab;

// A rectangle in device pixels; right and bottom are exclusive.
struct ilk_rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
    bool operator==(const ilk_rect&) const = default;
};

struct ilk_column_item {
    std::string key;
    std::string caption;
    int icon = 0; // 0: none (a same-name column)
    int state = 0;
    int background = 0;
    bool same_name = false;
    int on_image = 0; // the column's apparatus pictures, 0 when unknown
    int off_image = 0;
};

struct ilk_line_item {
    std::string key; // the condition
    std::string row_key;
    std::string caption;
    bool first_of_row = false;
    int image = 0; // 1450 enabled, 1451 not
    int state = 0;
    int mode_icon = 0;
    int direction_icon = 0;
    long tu_number = 0;
    bool band = false; // light-yellow row group
};

struct ilk_cell_item {
    int column = 0;
    int line = 0;
    std::string key; // the permission
    bool same_name = false;
    int image_a = 0; // 1453 permits when on, 1454 when off
    int image_b = 0; // 1455 permitted, 1456 not
    int icon = 0;
    int state = 0;
    bool operator==(const ilk_cell_item&) const = default;
};

// Measures a text in pixels along its base line for a font of `pixel_size` (bold or not).
using ilk_text_measure = std::function<int(const std::string& text, int pixel_size, bool bold)>;

// What the display draws for one table at one resolution and zoom, before scrolling: the
// corner block at (0, 0), column headers to its right, line headers below it, the data area
// below and right of both.
struct ilk_table_layout {
    std::string title1;
    std::string title2;
    std::vector<ilk_column_item> columns;
    std::vector<ilk_line_item> lines;
    std::vector<ilk_cell_item> cells;
    std::vector<std::string> column_keys;
    std::vector<std::string> line_keys;
    std::map<std::string, int> column_index;

    // Which picture marks manual input (HAND/SHOW), as in the trees.
    bool show_manual = true;
    double dpi_x = 96;
    double dpi_y = 96;
    double zoom = 1;
    int icon_size = 0; // s
    int pitch = 0;     // p
    int caption_font = 0;
    int title1_font = 0;
    int title2_font = 0;
    int column_font = 0;
    int header_height = 0; // the column header band
    int line_header_width = 0;

    ilk_rect corner() const { return {0, 0, line_header_width, header_height}; }
    ilk_rect data_area() const;
    ilk_rect table() const;
    ilk_rect column_header(int column) const;
    ilk_rect line_header(int line) const;
    ilk_rect cell(int column, int line) const;
    // The left edges of the parts of a line header.
    int row_image_left() const;
    int mode_icon_left() const;
    int direction_icon_left() const;
    int tu_number_left() const;
    int or_left() const;
    int caption_left() const;
};

// Device pixels of `mm` millimetres at `dpi` pixels per inch, rounded.
int mm_to_px(double mm, double dpi);

// Lays out `table` at the horizontal and vertical resolution and `zoom` given. Locked columns,
// rows, conditions and permissions, and permissions without a shown column, are left out.
ilk_table_layout lay_out_table(t_ilk_tab& table, double dpi_x, double dpi_y, double zoom,
                               const ilk_text_measure& measure);

// The scroll limits of a layout in a client area of `width` x `height`: the largest first
// column and first line.
struct ilk_scroll_limits {
    int max_first_column = 0;
    int max_first_line = 0;
};
ilk_scroll_limits scroll_limits(const ilk_table_layout& layout, int width, int height);

// The four scroll arrows: squares of 1.5 s in one row at the bottom of the corner block, "down"
// and "up" at its left end, "left" and "right" at its right end. An arrow that cannot move is
// not shown and its rectangle is empty.
struct ilk_scroll_arrows {
    ilk_rect down;
    ilk_rect up;
    ilk_rect left;
    ilk_rect right;
};
ilk_scroll_arrows scroll_arrows(const ilk_table_layout& layout, const ilk_scroll_limits& limits,
                                int first_column, int first_line);

// The cell under a client position scrolled to (first_column, first_line), counted from the
// first shown column and line: negative columns lie in the line header band (-2 is where the
// mode icons stand), negative lines in the column header band.
struct ilk_cell_position {
    int column = 0;
    int line = 0;
    bool operator==(const ilk_cell_position&) const = default;
};
ilk_cell_position cell_at(const ilk_table_layout& layout, int x, int y);

bool contains(const ilk_rect& r, int x, int y);

} // namespace nxkit
