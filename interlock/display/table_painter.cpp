#include "interlock/display/table_painter.h"

#include "ui/icon_set.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QPen>

#include <algorithm>
#include <utility>

namespace nxkit {

namespace {

const QColor band_colour(255, 255, 153);
const QColor tu_colour(250, 0, 0);

QFont arial(int pixel_size, bool bold) {
    QFont font("Arial");
    font.setPixelSize(pixel_size);
    font.setBold(bold);
    return font;
}

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

void draw_icon(QPainter& painter, icon_set& icons, int number, int overlay, int state, int x, int y,
               int w, int h) {
    if (number == 0)
        return;
    int size = std::max(1, std::min(w, h));
    painter.drawPixmap(QRect(x, y, w, h), icons.overlaid(number, overlay, size));
    // State images follow the tree: a small mark at the upper right for anything but normal.
    if (state != 0) {
        static const int state_icons[] = {0, 1402, 1451, 1452, 0, 1450, 1457, 1451};
        if (state > 0 && state < 8 && state_icons[state] != 0)
            painter.drawPixmap(QRect(x + w / 2, y, w / 2, h / 2),
                               icons.pixmap(state_icons[state], std::max(1, size / 2)));
    }
}

void draw_cell_images(QPainter& painter, const ilk_table_layout& layout, icon_set& icons,
                      const ilk_cell_item& cell, QRect r) {
    int s = layout.icon_size;
    int cx = r.left() + r.width() / 2 + 2;
    int cy = r.top() + r.height() / 2 + 2;
    if (!cell.same_name) {
        draw_icon(painter, icons, cell.image_b, 0, 0, cx - s / 2, cy - s / 2, s, s);
        draw_icon(painter, icons, cell.image_a, 0, 0, cx - s / 2, cy - s / 2, s, s);
        return;
    }
    int half = s / 2;
    draw_icon(painter, icons, cell.icon, 0, cell.state, cx - half / 2, cy - half, half, half);
    draw_icon(painter, icons, cell.image_b, 0, 0, cx - half / 2, cy, half, half);
    draw_icon(painter, icons, cell.image_a, 0, 0, cx - half / 2, cy, half, half);
}

QRect to_q(const ilk_rect& r) {
    return {r.left, r.top, r.width, r.height};
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
    painter.save();
    painter.setClipRect(to_q(data));
    QColor fill =
        layout.lines[line].band ? band_colour : QApplication::palette().color(QPalette::Button);
    painter.fillRect(r, fill);
    painter.setPen(Qt::black);
    painter.drawRect(r.adjusted(0, 0, 0, 0));
    if (cell != nullptr)
        draw_cell_images(painter, layout, icons, *cell, r);
    painter.restore();
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
    draw_icon(painter, icons, item.image, 0, item.state, layout.row_image_left(), top, s, s);
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
    draw_icon(painter, icons, item.icon, 0, item.state, r.left() + (p - s) / 2, icon_top, s, s);
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
    painter.fillRect(0, 0, width, height, QApplication::palette().color(QPalette::Button));
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
            painter.setPen(Qt::black);
            painter.drawText(
                QRect(layout.or_left(), y, layout.line_header_width - layout.or_left(), p),
                Qt::AlignLeft | Qt::AlignVCenter, "ИЛИ");
        }
        draw_icon(painter, icons, item.mode_icon, 0, 0, layout.mode_icon_left(), icon_top, s, s);
        draw_icon(painter, icons, item.direction_icon, 0, 0, layout.direction_icon_left(), icon_top,
                  s, s);
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
    (void)layout;
    const std::pair<const ilk_rect*, int> shown[] = {
        {&arrows.down, 1459}, {&arrows.up, 1458}, {&arrows.left, 1460}, {&arrows.right, 1461}};
    for (auto [r, icon] : shown)
        if (r->width > 0)
            draw_icon(painter, icons, icon, 0, 0, r->left, r->top, r->width, r->height);
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
        draw_icon(painter, icons, mark_image, 0, 0, box.center().x() - s / 2,
                  box.center().y() - s / 2, s, s);
    }
    painter.restore();
}

} // namespace nxkit
