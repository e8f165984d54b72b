#include "interlock/display/table_painter.h"

#include "interlock/display/table_legend.h"
#include "ui/icon_set.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <utility>

namespace nxkit {

namespace {

const QColor band_colour(255, 255, 153);
const QColor tu_colour(250, 0, 0);
// The size of the apparatus state mark in a cell, a share of the permission's picture.
constexpr double permission_mark_share = 0.42;

QFont arial(int pixel_size, bool bold) {
    QFont font("Arial");
    font.setPixelSize(pixel_size);
    font.setBold(bold);
    return font;
}

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

// A picture with its state image composed as the tree composes it, so a mark means the same
// in the tree and in the table.
void draw_icon(QPainter& painter, icon_set& icons, const ilk_table_layout& layout, int number,
               int state, int x, int y, int w, int h) {
    if (number == 0)
        return;
    int size = std::max(1, std::min(w, h));
    painter.drawPixmap(QRect(x, y, w, h),
                       icons.overlaid(number, state_image(state, layout.show_manual), size));
}

// The permission's state is what the operator reads in a cell: its circle (B) keeps the whole
// picture, and the mark of the apparatus state it asks for (A) stands small in the lower right
// corner on a white ground, so neither colour hides the other at any zoom.
void draw_permission(QPainter& painter, icon_set& icons, const ilk_cell_item& cell, int x, int y,
                     int size) {
    if (cell.image_b == 0)
        return;
    painter.drawPixmap(x, y,
                       icons.with_corner_mark(cell.image_b, cell.image_a, std::max(1, size),
                                              permission_mark_share));
}

void draw_cell_images(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                      const ilk_cell_item& cell, QRect r) {
    int s = layout.icon_size;
    int cx = r.left() + r.width() / 2 + 2;
    int cy = r.top() + r.height() / 2 + 2;
    if (!cell.same_name) {
        draw_permission(painter, icons, cell, cx - s / 2, cy - s / 2, s);
        return;
    }
    int half = s / 2;
    draw_icon(painter, icons, layout, cell.icon, cell.state, cx - half / 2, cy - half, half, half);
    draw_permission(painter, icons, cell, cx - half / 2, cy, half);
}

// "ИЛИ" stands where the row image would, between the mode icon and the data area: the caption
// font is made smaller until the word fits that place whole.
void draw_or(QPainter& painter, const ilk_table_layout& layout, int y) {
    const QString word = QStringLiteral("ИЛИ");
    QRect box(layout.or_left(), y, layout.line_header_width - layout.or_left(), layout.pitch);
    int room = box.width() - 2;
    int size = layout.caption_font;
    QFont font = arial(size, false);
    while (size > 1 && QFontMetrics(font).horizontalAdvance(word) > room)
        font = arial(--size, false);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(box, Qt::AlignHCenter | Qt::AlignVCenter, word);
}

// Wraps at blanks into lines of fewer than `n` characters; a longer word stands alone.
std::vector<QString> wrap(const QString& text, int n) {
    std::vector<QString> lines;
    if (n <= 0)
        return lines;
    QString current;
    for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
        QString joined = current.isEmpty() ? word : current + ' ' + word;
        if (joined.size() < n || current.isEmpty()) {
            current = joined;
        } else {
            lines.push_back(current);
            current = word;
        }
    }
    if (!current.isEmpty())
        lines.push_back(current);
    return lines;
}

// Returns where the next line would start.
int draw_title(QPainter& painter, const ilk_table_layout& layout, const std::string& text,
               int font_size, int top, QColor colour) {
    QFont font = arial(font_size, true);
    QFontMetrics metrics(font);
    int band = layout.line_header_width;
    int room = band - mm_to_px(6 * layout.zoom, layout.dpi_x);
    int average = std::max(1, metrics.averageCharWidth());
    painter.setFont(font);
    painter.setPen(colour);
    int y = top;
    for (const QString& line : wrap(q(text), room / average)) {
        painter.drawText(QRect(0, y, band, metrics.height()), Qt::AlignHCenter | Qt::AlignTop,
                         line);
        y += metrics.height() + metrics.leading();
    }
    return y;
}

} // namespace

bool background_colour(int index, int& red, int& green, int& blue) {
    static const int fills[9][3] = {{0, 0, 0},       {255, 150, 150}, {150, 255, 150},
                                    {255, 255, 0},   {0, 150, 255},   {255, 255, 255},
                                    {150, 150, 255}, {255, 170, 70},  {255, 100, 255}};
    if (index < 1 || index > 8)
        return false;
    red = fills[index][0];
    green = fills[index][1];
    blue = fills[index][2];
    return true;
}

void paint_cell(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                const ilk_cell_item* cell, int column, int line, int first_column, int first_line) {
    int p = layout.pitch;
    ilk_rect data = layout.data_area();
    QRect r(data.left + (column - first_column) * p, data.top + (line - first_line) * p, p, p);
    QColor fill =
        layout.lines[line].band ? band_colour : QApplication::palette().color(QPalette::Button);
    painter.fillRect(r, fill);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r);
    if (cell != nullptr)
        draw_cell_images(painter, layout, icons, *cell, r);
}

void paint_row_image(QPainter& painter, const ilk_table_layout& layout, icon_set& icons, int line,
                     int first_line, bool clear) {
    const ilk_line_item& item = layout.lines[line];
    const int s = layout.icon_size;
    const int top =
        layout.header_height + (line - first_line) * layout.pitch + (layout.pitch - s) / 2;
    if (clear)
        painter.fillRect(layout.row_image_left(), top, s, s,
                         item.band ? band_colour : QApplication::palette().color(QPalette::Button));
    draw_icon(painter, icons, layout, item.image, item.state, layout.row_image_left(), top, s, s);
}

void paint_column_header(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                         int column, int first_column) {
    const int s = layout.icon_size;
    const int p = layout.pitch;
    const ilk_column_item& item = layout.columns[column];
    QRect r(layout.line_header_width + (column - first_column) * p, 0, p, layout.header_height);
    if (r.left() < layout.line_header_width)
        return;
    painter.save();
    int red = 0;
    int green = 0;
    int blue = 0;
    if (background_colour(item.background, red, green, blue))
        painter.fillRect(r, QColor(red, green, blue));
    else
        painter.fillRect(r, QApplication::palette().color(QPalette::Button));
    int margin = mm_to_px(0.5, layout.dpi_y);
    int icon_top = r.bottom() + 1 - margin - s;
    draw_icon(painter, icons, layout, item.icon, item.state, r.left() + (p - s) / 2, icon_top, s,
              s);
    QFont column_font = arial(layout.column_font, false);
    QFontMetrics metrics(column_font);
    painter.setFont(column_font);
    painter.setPen(Qt::black);
    painter.drawRect(r.adjusted(0, 0, 0, 0));
    painter.translate(r.left() + p / 2, icon_top - mm_to_px(1.5, layout.dpi_y));
    painter.rotate(-90);
    painter.drawText(0, (metrics.ascent() - metrics.descent()) / 2, q(item.caption));
    painter.restore();
}

void paint_table(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                 int first_column, int first_line, int width, int height) {
    paint_table(painter, layout, icons, first_column, first_line, width, height,
                QApplication::palette().color(QPalette::Button));
}

void paint_table(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                 int first_column, int first_line, int width, int height, const QColor& face) {
    painter.fillRect(0, 0, width, height, face);
    const int s = layout.icon_size;
    const int p = layout.pitch;
    const ilk_rect data = layout.data_area();
    const int columns = static_cast<int>(layout.columns.size());
    const int lines = static_cast<int>(layout.lines.size());
    const int right = data.right() - first_column * p;
    const int bottom = data.bottom() - first_line * p;

    // Row bands across line headers and data area.
    for (int l = first_line; l < lines; ++l) {
        if (!layout.lines[l].band)
            continue;
        int y = data.top + (l - first_line) * p;
        painter.fillRect(0, y, right, p, band_colour);
    }

    // Column headers.
    for (int c = first_column; c < columns; ++c)
        paint_column_header(painter, layout, icons, c, first_column);

    // Line headers.
    QFont caption_font = arial(layout.caption_font, false);
    QFontMetrics caption_metrics(caption_font);
    painter.setFont(caption_font);
    for (int l = first_line; l < lines; ++l) {
        const ilk_line_item& item = layout.lines[l];
        int y = data.top + (l - first_line) * p;
        int icon_top = y + (p - s) / 2;
        QRect text_box(0, y, layout.line_header_width, p);
        if (item.first_of_row) {
            painter.setPen(Qt::black);
            painter.drawText(text_box.adjusted(layout.caption_left(), 0, 0, 0),
                             Qt::AlignLeft | Qt::AlignVCenter, q(item.caption));
            painter.setPen(tu_colour);
            painter.drawText(QRect(layout.tu_number_left(), y,
                                   layout.direction_icon_left() - layout.tu_number_left(), p),
                             Qt::AlignLeft | Qt::AlignVCenter, QString::number(item.tu_number));
            paint_row_image(painter, layout, icons, l, first_line, false);
            painter.setPen(Qt::black);
            painter.drawLine(0, y, right, y);
        } else {
            draw_or(painter, layout, y);
            painter.setFont(caption_font);
        }
        draw_icon(painter, icons, layout, item.mode_icon, 0, layout.mode_icon_left(), icon_top, s,
                  s);
        draw_icon(painter, icons, layout, item.direction_icon, 0, layout.direction_icon_left(),
                  icon_top, s, s);
    }

    // Grid lines across headers and data area.
    painter.setPen(Qt::black);
    for (int c = first_column; c <= columns; ++c) {
        int x = data.left + (c - first_column) * p;
        painter.drawLine(x, 0, x, bottom);
    }
    for (int l = first_line; l <= lines; ++l) {
        int y = data.top + (l - first_line) * p;
        painter.drawLine(0, y, right, y);
    }

    // Cells, clipped to the data area.
    painter.save();
    painter.setClipRect(
        QRect(data.left, data.top, std::max(0, width - data.left), std::max(0, height - data.top)));
    for (const ilk_cell_item& cell : layout.cells) {
        if (cell.column < first_column || cell.line < first_line)
            continue;
        QRect r(data.left + (cell.column - first_column) * p,
                data.top + (cell.line - first_line) * p, p, p);
        draw_cell_images(painter, layout, icons, cell, r);
    }
    painter.restore();

    // Title in the corner block.
    // The second line goes below the first however many lines that took: in a narrow band the
    // first wraps, and the fixed place would write the name over it.
    int below = draw_title(painter, layout, layout.title1, layout.title1_font,
                           mm_to_px(3 * layout.zoom, layout.dpi_y), Qt::black);
    draw_title(painter, layout, layout.title2, layout.title2_font,
               std::max(below, mm_to_px(10 * layout.zoom, layout.dpi_y)), QColor(255, 0, 0));
}

void paint_scroll_arrows(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                         const ilk_scroll_arrows& arrows) {
    const std::pair<const ilk_rect*, int> shown[] = {
        {&arrows.down, 1459}, {&arrows.up, 1458}, {&arrows.left, 1460}, {&arrows.right, 1461}};
    for (auto [r, icon] : shown)
        if (r->width > 0)
            draw_icon(painter, icons, layout, icon, 0, r->left, r->top, r->width, r->height);
}

void paint_hover(QPainter& painter, const ilk_table_layout& layout, ilk_cell_position hover,
                 int first_column, int first_line, int width, int height, icon_set& icons,
                 int mark_image) {
    const int p = layout.pitch;
    const ilk_rect data = layout.data_area();
    const int right = std::min(width, data.right() - first_column * p);
    const int bottom = std::min(height, data.bottom() - first_line * p);
    const int x = data.left + hover.column * p;
    const int y = data.top + hover.line * p;
    if (hover.column < 0 || hover.line < 0 || x >= right || y >= bottom)
        return;
    int pen = std::max(1, mm_to_px(0.4 * layout.zoom, layout.dpi_x));
    int inset = mm_to_px(0.5 * layout.zoom, layout.dpi_x);
    painter.save();
    painter.setPen(QPen(QColor(255, 0, 0), pen));
    painter.setBrush(Qt::NoBrush);
    QRect line(0, y, right, p);
    QRect column(x, 0, p, bottom);
    painter.drawRect(line.adjusted(inset, inset, -inset, -inset));
    painter.drawRect(column.adjusted(inset, inset, -inset, -inset));
    if (mark_image != 0) {
        QRect box = QRect(x, y, p, p).adjusted(-10, -10, 10, 10);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(QApplication::palette().color(QPalette::ToolTipBase));
        painter.drawRect(box);
        int s = layout.icon_size;
        draw_icon(painter, icons, layout, mark_image, 0, box.center().x() - s / 2,
                  box.center().y() - s / 2, s, s);
    }
    painter.restore();
}

namespace {

struct legend_metrics {
    int icon = 0;
    int gap = 0;
    int line = 0;
    QFont font;
};

legend_metrics legend_metrics_of(const ilk_table_layout& layout) {
    legend_metrics m;
    m.icon = std::max(8, layout.icon_size * 2 / 3);
    m.gap = std::max(2, m.icon / 3);
    m.line = m.icon + m.gap / 2;
    m.font = arial(std::max(6, m.icon * 3 / 4), false);
    return m;
}

} // namespace

QSize legend_size(const ilk_table_layout& layout) {
    legend_metrics m = legend_metrics_of(layout);
    QFontMetrics metrics(m.font);
    int widest = metrics.horizontalAdvance(QStringLiteral("Условные обозначения"));
    std::vector<ilk_legend_entry> entries = table_legend();
    for (const ilk_legend_entry& entry : entries)
        widest = std::max(widest, m.icon + m.gap + metrics.horizontalAdvance(q(entry.text)));
    return {widest + 2 * m.gap, m.line * static_cast<int>(entries.size() + 1) + 2 * m.gap};
}

void paint_legend(QPainter& painter, const ilk_table_layout& layout, icon_set& icons, int x,
                  int y) {
    legend_metrics m = legend_metrics_of(layout);
    QSize size = legend_size(layout);
    painter.save();
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawRect(x, y, size.width() - 1, size.height() - 1);
    QFont bold = m.font;
    bold.setBold(true);
    painter.setFont(bold);
    int top = y + m.gap;
    painter.drawText(QRect(x + m.gap, top, size.width() - 2 * m.gap, m.line),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Условные обозначения"));
    painter.setFont(m.font);
    for (const ilk_legend_entry& entry : table_legend()) {
        top += m.line;
        int icon_top = top + (m.line - m.icon) / 2;
        if (entry.icon != 0)
            draw_icon(painter, icons, layout, entry.icon, entry.state, x + m.gap, icon_top, m.icon,
                      m.icon);
        else
            painter.drawPixmap(QRect(x + m.gap, icon_top, m.icon, m.icon),
                               icons.pixmap(state_image(entry.state, layout.show_manual), m.icon));
        painter.drawText(QRect(x + 2 * m.gap + m.icon, top, size.width(), m.line),
                         Qt::AlignLeft | Qt::AlignVCenter, q(entry.text));
    }
    painter.restore();
}

} // namespace nxkit
