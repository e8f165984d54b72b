#pragma once

#include "interlock/display/ilk_table_layout.h"

#include <QSize>

class QColor;
class QPainter;

namespace nxkit {

class icon_set;

// The fill of a background index of "Цвет фона"; false for " Прозрачный" and unknown indices.
bool background_colour(int index, int& red, int& green, int& blue);

// Paints a laid-out table scrolled to (first_column, first_line) into a client area of
// `width` x `height`.
void paint_table(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                 int first_column, int first_line, int width, int height);
// The same on another ground than the button face (white on paper).
void paint_table(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                 int first_column, int first_line, int width, int height, const QColor& face);

// The legend of the table's pictures (table_legend) in a white framed box, its pictures and
// texts sized after the layout's icons; its size, and the box painted at (x, y).
QSize legend_size(const ilk_table_layout& layout);
void paint_legend(QPainter& painter, const ilk_table_layout& layout, icon_set& icons, int x, int y);

// Paints one cell over what is there (its band, grid lines and images), for a pass that
// changed only cells. The caller clips to the data area.
void paint_cell(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                const ilk_cell_item* cell, int column, int line, int first_column, int first_line);

// Paints the row image of a line (the first of its row) over what is there, cleared first
// when `clear` is set, for a pass that changed only states.
void paint_row_image(QPainter& painter, const ilk_table_layout& layout, icon_set& icons, int line,
                     int first_line, bool clear);

// Paints one column header (background, icon, rotated caption, frame).
void paint_column_header(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                         int column, int first_column);

// Paints the scroll arrows that are shown.
void paint_scroll_arrows(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                         const ilk_scroll_arrows& arrows);

// The hover marking over the painted table: the line and the column of the cell `hover`
// (counted from the first shown column and line) outlined in red, and after an edit that
// created a permission, a box over the cell with the apparatus image `mark_image`
// (0 for none).
void paint_hover(QPainter& painter, const ilk_table_layout& layout, ilk_cell_position hover,
                 int first_column, int first_line, int width, int height, icon_set& icons,
                 int mark_image);

} // namespace nxkit
