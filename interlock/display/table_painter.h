#pragma once

#include "interlock/display/ilk_table_layout.h"

class QPainter;

namespace nxkit {

class icon_set;

// The fill of a background index of "Цвет фона"; false for " Прозрачный" and unknown indices.
bool background_colour(int index, int& red, int& green, int& blue);

// Paints a laid-out table scrolled to (first_column, first_line) into a client area of
// `width` x `height`.
void paint_table(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                 int first_column, int first_line, int width, int height);

// Paints one cell over what is there (its band, grid lines and images), for a pass that
// changed only cells.
void paint_cell(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                const ilk_cell_item* cell, int column, int line, int first_column, int first_line);

// Paints one column header (background, icon, rotated caption, frame).
void paint_column_header(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                         int column, int first_column);

} // namespace nxkit
