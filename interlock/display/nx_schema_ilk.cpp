#include "interlock/display/nx_schema_ilk.h"

#include "base/format.h"
#include "base/name_hash.h"
#include "base/settings.h"
#include "config/interfaces.h"
#include "config/t_ref_buff.h"
#include "interlock/display/table_painter.h"
#include "interlock/t_ilk_tab.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

#include <algorithm>

namespace nxkit {

namespace {

int measure_text(const std::string& text, int pixel_size, bool bold) {
    QFont font("Arial");
    font.setPixelSize(pixel_size);
    font.setBold(bold);
    return QFontMetrics(font).horizontalAdvance(QString::fromStdString(text));
}

// The fit modes drive the zoom down without end on an empty area; a zoom stays in these bounds.
constexpr double zoom_min = 0.1;
constexpr double zoom_max = 10.0;

} // namespace

nx_schema_ilk::nx_schema_ilk(QWidget* parent_window, t_ref_buff& store,
                             const std::string& table_key, icon_set& icons)
    : QWidget(parent_window), store_(store), table_key_(table_key), icons_(icons) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
    timer_.start(30, this);
}

nx_schema_ilk::~nx_schema_ilk() = default;

t_ilk_tab* nx_schema_ilk::table() {
    return dynamic_cast<t_ilk_tab*>(store_.get(table_key_));
}

void nx_schema_ilk::show(i_viewer* target) {
    selection_target_ = target;
    zoom_key_ = "ilk" + std::to_string(name_hash(table_key_));
    QWidget::show();
    zoom_command(4);
    rebuild_pending_ = true;
    tick();
}

void nx_schema_ilk::notify_changed(const std::string&) {
    rebuild_pending_ = true;
}

bool nx_schema_ilk::command_enabled(int code) {
    if (code == 1)
        return zoom_ != 1.0;
    return code != 7 && code != 50 && code != 51;
}

void nx_schema_ilk::zoom_command(int code) {
    if (code == 4 || code == 6) {
        zoom_ = settings_get_double("SHEMA_ZOOM", zoom_key_, 1.0, true);
        if (code == 6)
            rebuild_pending_ = true;
        return;
    }
    if (code == 5 || code == 7 || code == 50 || code == 51)
        return;
    if (code == 2)
        zoom_ = std::min(zoom_max, zoom_ * 1.1);
    else if (code == 3)
        zoom_ = std::max(zoom_min, zoom_ * 0.9);
    else
        zoom_ = code > 0 ? std::clamp(static_cast<double>(code), zoom_min, zoom_max) : code;
    settings_set_double("SHEMA_ZOOM", zoom_key_, zoom_);
    rebuild_pending_ = true;
    tick();
}

int nx_schema_ilk::scroll_column() const {
    return first_column_;
}

int nx_schema_ilk::scroll_line() const {
    return first_row_;
}

void nx_schema_ilk::rebuild_layout() {
    t_ilk_tab* shown = table();
    if (shown == nullptr) {
        layout_ = ilk_table_layout{};
        return;
    }
    double dpi_x = logicalDpiX();
    double dpi_y = logicalDpiY();
    double zoom = zoom_;
    if (zoom <= 0) {
        // Fit modes: the largest zoom in steps of 0.04 whose table fits the client area.
        // An empty area (a minimised window) keeps the last layout's zoom.
        int w = width() - 2;
        int h = height() - 2;
        zoom = layout_.zoom > 0 ? layout_.zoom : 1.0;
        if (w > 0 && h > 0) {
            auto fits = [&](double z) {
                ilk_rect t = lay_out_table(*shown, dpi_x, dpi_y, z, measure_text).table();
                bool width_ok = t.width <= w;
                bool height_ok = t.height <= h;
                if (zoom_ == -1)
                    return width_ok;
                if (zoom_ == -2)
                    return height_ok;
                return width_ok && height_ok;
            };
            zoom = 1.0;
            while (zoom > zoom_min + 0.04 && !fits(zoom))
                zoom -= 0.04;
            while (zoom + 0.04 <= zoom_max && fits(zoom + 0.04))
                zoom += 0.04;
        }
    }
    layout_ = lay_out_table(*shown, dpi_x, dpi_y, zoom, measure_text);
    ilk_scroll_limits limits = scroll_limits(layout_, width(), height());
    first_column_ = std::clamp(first_column_, 0, limits.max_first_column);
    first_row_ = std::clamp(first_row_, 0, limits.max_first_line);
}

void nx_schema_ilk::repaint_all() {
    QSize size = this->size().expandedTo(QSize(1, 1));
    if (buffer_.size() != size)
        buffer_ = QImage(size, QImage::Format_RGB32);
    QPainter painter(&buffer_);
    paint_table(painter, layout_, icons_, first_column_, first_row_, size.width(), size.height());
    cells_repainted_ = -1;
    update();
}

// Same columns, lines and cell positions with nothing but states changed: only those cells.
bool nx_schema_ilk::repaint_changed_cells(const ilk_table_layout& previous) {
    if (buffer_.isNull() || previous.zoom != layout_.zoom || previous.pitch != layout_.pitch ||
        previous.cells.size() != layout_.cells.size() ||
        previous.column_keys != layout_.column_keys || previous.line_keys != layout_.line_keys)
        return false;
    for (std::size_t i = 0; i < layout_.columns.size(); ++i) {
        const ilk_column_item& a = previous.columns[i];
        const ilk_column_item& b = layout_.columns[i];
        if (a.caption != b.caption || a.background != b.background)
            return false;
    }
    for (std::size_t i = 0; i < layout_.lines.size(); ++i) {
        const ilk_line_item& a = previous.lines[i];
        const ilk_line_item& b = layout_.lines[i];
        if (a.image != b.image || a.state != b.state || a.caption != b.caption ||
            a.mode_icon != b.mode_icon || a.direction_icon != b.direction_icon ||
            a.tu_number != b.tu_number)
            return false;
    }
    for (std::size_t i = 0; i < layout_.cells.size(); ++i)
        if (previous.cells[i].key != layout_.cells[i].key ||
            previous.cells[i].column != layout_.cells[i].column ||
            previous.cells[i].line != layout_.cells[i].line)
            return false;
    QPainter painter(&buffer_);
    int changed = 0;
    for (std::size_t i = 0; i < layout_.columns.size(); ++i) {
        const ilk_column_item& a = previous.columns[i];
        const ilk_column_item& b = layout_.columns[i];
        if (a.icon != b.icon || a.state != b.state)
            paint_column_header(painter, layout_, icons_, static_cast<int>(i), first_column_);
    }
    for (std::size_t i = 0; i < layout_.cells.size(); ++i) {
        const ilk_cell_item& cell = layout_.cells[i];
        if (cell == previous.cells[i] || cell.column < first_column_ || cell.line < first_row_)
            continue;
        paint_cell(painter, layout_, icons_, &cell, cell.column, cell.line, first_column_,
                   first_row_);
        ++changed;
    }
    cells_repainted_ = changed;
    if (changed > 0)
        update();
    return true;
}

void nx_schema_ilk::tick() {
    if (!rebuild_pending_)
        return;
    rebuild_pending_ = false;
    ilk_table_layout previous = std::move(layout_);
    rebuild_layout();
    if (!repaint_changed_cells(previous))
        repaint_all();
}

void nx_schema_ilk::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (buffer_.isNull())
        painter.fillRect(rect(), palette().color(QPalette::Button));
    else
        painter.drawImage(0, 0, buffer_);
}

void nx_schema_ilk::resizeEvent(QResizeEvent*) {
    if (!zoom_key_.empty())
        zoom_command(6);
    rebuild_pending_ = true;
    buffer_ = QImage();
}

void nx_schema_ilk::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timer_.timerId())
        tick();
    else
        QWidget::timerEvent(event);
}

} // namespace nxkit
