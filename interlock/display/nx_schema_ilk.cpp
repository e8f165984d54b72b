#include "interlock/display/nx_schema_ilk.h"

#include "base/format.h"
#include "base/name_hash.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "base/settings.h"
#include "config/interfaces.h"
#include "config/t_ref_buff.h"
#include "interlock/display/ilk_table_actions.h"
#include "interlock/display/table_painter.h"
#include "interlock/ilk_table_edits.h"
#include "interlock/t_ilk_tab.h"

#include <QFont>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

#include <algorithm>
#include <exception>

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
    setMouseTracking(true);
    timer_.start(30, this);
}

// A permission created here is linked by the rebuild that waits: it must not wait for a
// display that is gone.
nx_schema_ilk::~nx_schema_ilk() {
    if (edits_pending_ || last_edit_tick_ != 0)
        flush_table_edits(store_);
}

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
    arrows_ = scroll_arrows(layout_, limits, first_column_, first_row_);
}

void nx_schema_ilk::repaint_all() {
    QSize size = this->size().expandedTo(QSize(1, 1));
    if (buffer_.size() != size)
        buffer_ = QImage(size, QImage::Format_RGB32);
    QPainter painter(&buffer_);
    paint_table(painter, layout_, icons_, first_column_, first_row_, size.width(), size.height());
    arrows_ = scroll_arrows(layout_, scroll_limits(layout_, width(), height()), first_column_,
                            first_row_);
    paint_scroll_arrows(painter, layout_, icons_, arrows_);
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
        if (a.caption != b.caption || a.first_of_row != b.first_of_row ||
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
    // A row's state shows only in the image of its first line.
    for (std::size_t i = 0; i < layout_.lines.size(); ++i) {
        const ilk_line_item& a = previous.lines[i];
        const ilk_line_item& b = layout_.lines[i];
        if (b.first_of_row && static_cast<int>(i) >= first_row_ &&
            (a.image != b.image || a.state != b.state))
            paint_row_image(painter, layout_, icons_, static_cast<int>(i), first_row_, true);
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
    tick(table_edit_tick());
}

void nx_schema_ilk::tick(std::int64_t now_ms) {
    if (edits_pending_) {
        edits_pending_ = false;
        last_edit_tick_ = now_ms;
    } else if (last_edit_tick_ != 0 && now_ms - last_edit_tick_ > 5000) {
        last_edit_tick_ = 0;
        flush_table_edits(store_);
    }
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
    if (buffer_.isNull()) {
        painter.fillRect(rect(), palette().color(QPalette::Button));
        return;
    }
    painter.drawImage(0, 0, buffer_);
    paint_overlay(painter);
}

QImage nx_schema_ilk::shown_image() {
    QImage image = buffer_.copy();
    if (!image.isNull()) {
        QPainter painter(&image);
        paint_overlay(painter);
    }
    return image;
}

void nx_schema_ilk::paint_overlay(QPainter& painter) {
    if (!hovering_)
        return;
    int mark_image = 0;
    int a = hover_cell_.column + first_column_;
    if ((edit_mark_ == 1 || edit_mark_ == 2) && hover_cell_.column >= 0 && column_exists(a)) {
        const ilk_column_item& column = layout_.columns[static_cast<std::size_t>(a)];
        mark_image = edit_mark_ == 1 ? column.on_image : column.off_image;
    }
    paint_hover(painter, layout_, hover_cell_, first_column_, first_row_, width(), height(), icons_,
                mark_image);
}

bool nx_schema_ilk::line_exists(int line) const {
    return line >= 0 && line < static_cast<int>(layout_.lines.size());
}

bool nx_schema_ilk::column_exists(int column) const {
    return column >= 0 && column < static_cast<int>(layout_.columns.size());
}

void nx_schema_ilk::mouseMoveEvent(QMouseEvent* event) {
    QPoint pos = event->position().toPoint();
    ilk_cell_position cell = cell_at(layout_, pos.x(), pos.y());
    // Within the same cell the picture stays as it is.
    if (hovering_ && cell == hover_cell_)
        return;
    if (!(cell == hover_cell_))
        edit_mark_ = 0;
    hovering_ = true;
    hover_cell_ = cell;
    update();
}

void nx_schema_ilk::leaveEvent(QEvent*) {
    hovering_ = false;
    update();
}

bool nx_schema_ilk::scroll_by_arrow(int x, int y) {
    int column = first_column_;
    int row = first_row_;
    if (contains(arrows_.right, x, y))
        ++column;
    else if (contains(arrows_.left, x, y))
        --column;
    else if (contains(arrows_.down, x, y))
        ++row;
    else if (contains(arrows_.up, x, y))
        --row;
    else
        return false;
    ilk_scroll_limits limits = scroll_limits(layout_, width(), height());
    first_column_ = std::clamp(column, 0, limits.max_first_column);
    first_row_ = std::clamp(row, 0, limits.max_first_line);
    repaint_all();
    return true;
}

void nx_schema_ilk::mouseReleaseEvent(QMouseEvent* event) {
    operator_action([&] { release(event); });
}

void nx_schema_ilk::mouseDoubleClickEvent(QMouseEvent* event) {
    operator_action([&] { double_click(event); });
}

// An exception cannot cross the event loop: the action ends with a log line and a box, the
// program goes on.
void nx_schema_ilk::operator_action(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        nx_log::main().err(e.what());
        show_message(this, e.what(), mb_error);
    }
}

void nx_schema_ilk::release(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    QPoint pos = event->position().toPoint();
    if (scroll_by_arrow(pos.x(), pos.y()))
        return;
    hover_cell_ = cell_at(layout_, pos.x(), pos.y());
    hovering_ = true;
    click();
}

void nx_schema_ilk::select(const std::string& key) {
    selected_key_ = key;
    if (!key.empty() && selection_target_ != nullptr)
        selection_target_->choose(key);
}

void nx_schema_ilk::click() {
    int c = hover_cell_.column;
    int l = hover_cell_.line;
    int a = c + first_column_;
    int b = l + first_row_;
    selected_key_.clear();
    if (c < 0) {
        if (l < 0 || !line_exists(b))
            return;
        select(layout_.line_keys[static_cast<std::size_t>(b)]);
    } else if (l < 0) {
        if (!column_exists(a))
            return;
        select(layout_.column_keys[static_cast<std::size_t>(a)]);
    } else {
        if (edit_mark_ != 0 || !column_exists(a) || !line_exists(b))
            return;
        edit_mark_ = 3;
        if (!store_.edit_mode()) {
            ilk_edit_outcome outcome =
                edit_table_cell(store_, layout_.column_keys[static_cast<std::size_t>(a)],
                                layout_.line_keys[static_cast<std::size_t>(b)], false, false,
                                edit_mark_, this, table_edit_tick());
            select(outcome.selected);
        }
    }
    if (selected_key_ != last_clicked_key_) {
        last_clicked_key_ = selected_key_;
        return;
    }
    if (store_.edit_mode() && c == -2)
        return;
    open_popup(selected_key_);
}

void nx_schema_ilk::open_popup(const std::string& key) {
    if (key.empty() || current_prompt() == nullptr)
        return;
    std::vector<menu_item> items = signal_popup_items(store_, signal_popup_of(store_, key));
    if (items.empty())
        return;
    int chosen = current_prompt()->popup_menu(this, items);
    if (chosen <= 0)
        return;
    // The menu was modal: collect again, the configuration may have changed meanwhile.
    ilk_signal_popup popup = signal_popup_of(store_, key);
    if (chosen <= static_cast<int>(popup.signal_keys.size()) && manual_input_)
        manual_input_(popup.signal_keys[static_cast<std::size_t>(chosen - 1)]);
}

void nx_schema_ilk::double_click(QMouseEvent* event) {
    if (!store_.edit_mode())
        return;
    Qt::MouseButton button = event->button();
    if (button != Qt::LeftButton && button != Qt::RightButton)
        return;
    QPoint pos = event->position().toPoint();
    hover_cell_ = cell_at(layout_, pos.x(), pos.y());
    hovering_ = true;
    int a = hover_cell_.column + first_column_;
    int b = hover_cell_.line + first_row_;
    if (hover_cell_.column == -2 && hover_cell_.line >= 0 && line_exists(b)) {
        if (cycle_control_mode(store_, layout_.line_keys[static_cast<std::size_t>(b)], this,
                               table_edit_tick()))
            after_edit();
        return;
    }
    if (!(event->modifiers() & Qt::ControlModifier))
        return;
    edit_mark_ = 0;
    if (hover_cell_.column < 0 || hover_cell_.line < 0 || !column_exists(a) || !line_exists(b))
        return;
    ilk_edit_outcome outcome =
        edit_table_cell(store_, layout_.column_keys[static_cast<std::size_t>(a)],
                        layout_.line_keys[static_cast<std::size_t>(b)], button == Qt::RightButton,
                        true, edit_mark_, this, table_edit_tick());
    select(outcome.selected);
    if (outcome.changed) {
        edits_pending_ = true;
        after_edit();
    }
}

// The store's update pass tells the scheme view, which tells this display; the layout is
// rebuilt at the next tick in any case.
void nx_schema_ilk::after_edit() {
    store_.update_pass();
    rebuild_pending_ = true;
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
