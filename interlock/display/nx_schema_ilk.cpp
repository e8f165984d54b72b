#include "interlock/display/nx_schema_ilk.h"
#include "schemes/control/scheme_control.h"

#include "base/format.h"
#include "base/name_hash.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "base/settings.h"
#include "base/settings_keys.h"
#include "config/interfaces.h"
#include "config/t_ref_buff.h"
#include "interlock/display/ilk_table_actions.h"
#include "interlock/display/table_legend.h"
#include "interlock/display/table_painter.h"
#include "interlock/ilk_table_edits.h"
#include "interlock/t_ilk_tab.h"
#include "platform/station.h"

#include <QFont>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QTimerEvent>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <exception>
#include <functional>
#include <map>
#include <utility>

namespace nxkit {

namespace {

// A font and its metrics are made once per size, not once per caption.
class text_measure {
public:
    int operator()(const std::string& text, int pixel_size, bool bold) {
        auto key = std::make_pair(pixel_size, bold);
        auto it = metrics_.find(key);
        if (it == metrics_.end()) {
            QFont font("Arial");
            font.setPixelSize(pixel_size);
            font.setBold(bold);
            it = metrics_.emplace(key, QFontMetrics(font)).first;
        }
        return it->second.horizontalAdvance(QString::fromStdString(text));
    }

private:
    std::map<std::pair<int, bool>, QFontMetrics> metrics_;
};

// The fit modes drive the zoom down without end on an empty area; a zoom stays in these bounds.
constexpr double zoom_min = 0.1;
constexpr double zoom_max = 10.0;

} // namespace

nx_schema_ilk::nx_schema_ilk(QWidget* parent_window, t_ref_buff& store,
                             const std::string& table_key, icon_set& icons)
    : QWidget(parent_window), store_(store), table_key_(table_key), icons_(icons),
      show_manual_(read_setting(setting::hand_show) != 0) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
    setMouseTracking(true);
    setFocusPolicy(Qt::WheelFocus);
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
    return code != 7 && code != 51;
}

void nx_schema_ilk::zoom_command(int code) {
    if (code == 4 || code == 6) {
        zoom_ = settings_get_double("SHEMA_ZOOM", zoom_key_, 1.0, true);
        if (code == 6)
            rebuild_pending_ = true;
        return;
    }
    if (code == 50) {
        operator_action([this] { print(); });
        return;
    }
    if (code == 5 || code == 7 || code == 51)
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

// Fit modes: the largest zoom in steps of 0.04 whose table fits the client area (mode -1 its
// width, -2 its height, 0 both). A change of the table's states leaves its extent as it was,
// so the search runs again only for another size or mode, or when the extent changed.
double nx_schema_ilk::fitted_zoom(t_ilk_tab& shown, ilk_table_layout& fitted) {
    double dpi_x = logicalDpiX();
    double dpi_y = logicalDpiY();
    int w = width() - 2;
    int h = height() - 2;
    // An empty area (a minimised window) keeps the last zoom.
    if (w <= 0 || h <= 0)
        return fit_.zoom > 0 ? fit_.zoom : 1.0;
    text_measure measure;
    auto lay_out = [&](double z) {
        return lay_out_table(shown, dpi_x, dpi_y, z, std::ref(measure));
    };
    if (fit_.mode == zoom_ && fit_.width == w && fit_.height == h && fit_.zoom > 0) {
        fitted = lay_out(fit_.zoom);
        if (fitted.table() == fit_.table)
            return fit_.zoom;
    }
    auto fits = [&](double z) {
        fitted = lay_out(z);
        ilk_rect t = fitted.table();
        bool width_ok = t.width <= w;
        bool height_ok = t.height <= h;
        if (zoom_ == -1)
            return width_ok;
        if (zoom_ == -2)
            return height_ok;
        return width_ok && height_ok;
    };
    ++fit_searches_;
    double zoom = 1.0;
    while (zoom > zoom_min + 0.04 && !fits(zoom))
        zoom -= 0.04;
    while (zoom + 0.04 <= zoom_max && fits(zoom + 0.04))
        zoom += 0.04;
    fitted = lay_out(zoom);
    fit_ = {zoom_, w, h, zoom, fitted.table()};
    return zoom;
}

void nx_schema_ilk::rebuild_layout() {
    t_ilk_tab* shown = table();
    if (shown == nullptr) {
        layout_ = ilk_table_layout{};
        return;
    }
    if (zoom_ <= 0) {
        ilk_table_layout fitted;
        double zoom = fitted_zoom(*shown, fitted);
        layout_ = fitted.pitch > 0 && fitted.zoom == zoom
                      ? std::move(fitted)
                      : lay_out_table(*shown, logicalDpiX(), logicalDpiY(), zoom, text_measure());
    } else {
        layout_ = lay_out_table(*shown, logicalDpiX(), logicalDpiY(), zoom_, text_measure());
    }
    layout_.show_manual = show_manual_;
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
        previous.title1 != layout_.title1 || previous.title2 != layout_.title2 ||
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
    ilk_rect data = layout_.data_area();
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
    painter.setClipRect(data.left, data.top, data.width, data.height);
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
    tick(now_tick());
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
    paint_topology_marks(painter, layout_, topology_marks_, first_row_, height());
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
    if (legend_popup_ && legend_popup_->isVisible() &&
        !contains(layout_.corner(), pos.x(), pos.y()))
        hide_legend();
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
    hide_legend();
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
    scroll_to(column, row);
    return true;
}

void nx_schema_ilk::scroll_to(int column, int line) {
    ilk_scroll_limits limits = scroll_limits(layout_, width(), height());
    column = std::clamp(column, 0, limits.max_first_column);
    line = std::clamp(line, 0, limits.max_first_line);
    if (column == first_column_ && line == first_row_ && !buffer_.isNull())
        return;
    first_column_ = column;
    first_row_ = line;
    repaint_all();
}

// The wheel scrolls lines, with Shift columns, with Ctrl it zooms; a notch is 120.
void nx_schema_ilk::wheelEvent(QWheelEvent* event) {
    QPoint delta = event->angleDelta();
    int amount = delta.y() != 0 ? delta.y() : delta.x();
    wheel_rest_ += amount;
    int notches = wheel_rest_ / 120;
    wheel_rest_ %= 120;
    event->accept();
    if (notches == 0)
        return;
    if (event->modifiers() & Qt::ControlModifier) {
        zoom_command(notches > 0 ? 2 : 3);
        return;
    }
    bool sideways = (event->modifiers() & Qt::ShiftModifier) || delta.y() == 0;
    if (sideways)
        scroll_to(first_column_ - notches, first_row_);
    else
        scroll_to(first_column_, first_row_ - 3 * notches);
}

void nx_schema_ilk::keyPressEvent(QKeyEvent* event) {
    int page =
        layout_.pitch > 0 ? std::max(1, (height() - layout_.header_height) / layout_.pitch - 1) : 1;
    switch (event->key()) {
    case Qt::Key_Up:
        scroll_to(first_column_, first_row_ - 1);
        break;
    case Qt::Key_Down:
        scroll_to(first_column_, first_row_ + 1);
        break;
    case Qt::Key_Left:
        scroll_to(first_column_ - 1, first_row_);
        break;
    case Qt::Key_Right:
        scroll_to(first_column_ + 1, first_row_);
        break;
    case Qt::Key_PageUp:
        scroll_to(first_column_, first_row_ - page);
        break;
    case Qt::Key_PageDown:
        scroll_to(first_column_, first_row_ + page);
        break;
    case Qt::Key_Home:
        scroll_to(0, 0);
        break;
    case Qt::Key_T:
        if (event->modifiers() != Qt::ControlModifier) {
            QWidget::keyPressEvent(event);
            return;
        }
        operator_action([this] { check_topology(); });
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

bool nx_schema_ilk::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        show_tip(help->pos(), help->globalPos());
        return true;
    }
    return QWidget::event(event);
}

// Over the title the whole legend; over a picture, what it means.
void nx_schema_ilk::show_tip(const QPoint& at, const QPoint& global) {
    ilk_rect corner = layout_.corner();
    if (contains(corner, at.x(), at.y()) &&
        legend_text_at(layout_, arrows_, first_column_, first_row_, at.x(), at.y()).empty()) {
        QToolTip::hideText();
        if (!legend_popup_) {
            legend_popup_ = std::make_unique<QLabel>(nullptr, Qt::ToolTip);
            legend_popup_->setObjectName("ilk_table_legend");
        }
        QSize size = legend_size(layout_);
        QPixmap picture(size);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        paint_legend(painter, layout_, icons_, 0, 0);
        painter.end();
        legend_popup_->setPixmap(picture);
        legend_popup_->resize(size);
        legend_popup_->move(global + QPoint(12, 16));
        legend_popup_->show();
        return;
    }
    hide_legend();
    std::string text = legend_text_at(layout_, arrows_, first_column_, first_row_, at.x(), at.y());
    if (const topology_mark* mark =
            topology_mark_at(layout_, topology_marks_, first_row_, at.x(), at.y()))
        text = mark->text + (text.empty() ? "" : "\n" + text);
    if (text.empty())
        QToolTip::hideText();
    else
        QToolTip::showText(global, QString::fromStdString(text), this);
}

void nx_schema_ilk::hide_legend() {
    if (legend_popup_)
        legend_popup_->hide();
}

void nx_schema_ilk::check_topology() {
    topology_report report;
    std::string error;
    if (!check_station(exe_dir(), report, error)) {
        show_message(this, error, mb_error, "Проверка блокировок по схеме");
        return;
    }
    show_topology(report, store_.state().changed()
                              ? "Проверена сохранённая конфигурация: несохранённые изменения не "
                                "учтены."
                              : "");
}

topology_report_window* nx_schema_ilk::show_topology(const topology_report& report,
                                                     const std::string& note) {
    topology_marks_.clear();
    for (auto& [key, mark] : nxkit::topology_marks(report))
        if (key.compare(0, table_key_.size() + 1, table_key_ + ".") == 0)
            topology_marks_.emplace(key, std::move(mark));
    if (topology_window_)
        topology_window_->close();
    topology_window_ = new topology_report_window(this, report, note);
    topology_window_->setAttribute(Qt::WA_DeleteOnClose);
    topology_window_->set_loader(counter_example_loader_);
    // Beside the table's left part, so the marked line headers stay in sight.
    topology_window_->move(
        mapToGlobal(QPoint(std::max(0, width() - topology_window_->width() - 20), 40)));
    topology_window_->show();
    update();
    return topology_window_;
}

void nx_schema_ilk::print() {
    i_prompt* prompt = current_prompt();
    if (prompt == nullptr)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromStdString(layout_.title2));
    ilk_rect whole = layout_.table();
    printer.setPageOrientation(whole.width > whole.height ? QPageLayout::Landscape
                                                          : QPageLayout::Portrait);
    if (!prompt->print_setup(this, &printer))
        return;
    if (!print_to(printer))
        throw nx_exception("не удалось начать печать таблицы блокировки");
}

// Laid out again at the paper's resolution, so pictures and texts stay sharp, with the
// largest zoom in steps of 0.04 at which the table and the legend below it fit the page.
bool nx_schema_ilk::print_to(QPagedPaintDevice& device) {
    if (table() == nullptr)
        return false;
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    paint_printed(painter, device.pageLayout().paintRectPixels(device.logicalDpiX()),
                  device.logicalDpiX(), device.logicalDpiY());
    painter.end();
    return true;
}

ilk_table_layout nx_schema_ilk::paint_printed(QPainter& painter, const QRect& page, double dpi_x,
                                              double dpi_y) {
    t_ilk_tab* shown = table();
    if (shown == nullptr)
        return {};
    const int gap = mm_to_px(5, dpi_y);
    // A table of the what-if mode is printed under its banner.
    QRect room = page;
    if (store_.detached()) {
        int top = static_cast<int>(
            paint_print_banner(painter, page.width(), QString::fromUtf8(whatif_banner_text)));
        painter.translate(0, top);
        room.setHeight(page.height() - top);
    }
    text_measure measure;
    auto lay_out = [&](double z) {
        ilk_table_layout l = lay_out_table(*shown, dpi_x, dpi_y, z, std::ref(measure));
        l.show_manual = show_manual_;
        return l;
    };
    auto fits = [&](double z) {
        ilk_table_layout l = lay_out(z);
        QSize legend = legend_size(l);
        return std::max(l.table().width, legend.width()) <= room.width() &&
               l.table().height + gap + legend.height() <= room.height();
    };
    double zoom = 1.0;
    while (zoom > zoom_min + 0.04 && !fits(zoom))
        zoom -= 0.04;
    while (zoom + 0.04 <= zoom_max && fits(zoom + 0.04))
        zoom += 0.04;
    ilk_table_layout printed = lay_out(zoom);
    ilk_rect whole = printed.table();
    paint_table(painter, printed, icons_, 0, 0, whole.width + 1, whole.height + 1, Qt::white);
    paint_legend(painter, printed, icons_, 0, whole.height + gap);
    return printed;
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
    // The release of a double-click can arrive while the edit's question is open; taken as a
    // click it would turn the confirmed edit into a selection.
    if (in_action_)
        return;
    in_action_ = true;
    try {
        action();
    } catch (const std::exception& e) {
        nx_log::main().err(e.what());
        show_message(this, e.what(), mb_error);
    }
    in_action_ = false;
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
                                edit_mark_, this, now_tick());
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
                               now_tick()))
            after_edit();
        return;
    }
    if (!(event->modifiers() & Qt::ControlModifier))
        return;
    edit_mark_ = 0;
    if (hover_cell_.column < 0 || hover_cell_.line < 0 || !column_exists(a) || !line_exists(b))
        return;
    // The edit works on its own mark: nothing that runs while its question is open changes it.
    int mark = 0;
    ilk_edit_outcome outcome =
        edit_table_cell(store_, layout_.column_keys[static_cast<std::size_t>(a)],
                        layout_.line_keys[static_cast<std::size_t>(b)], button == Qt::RightButton,
                        true, mark, this, now_tick());
    edit_mark_ = mark;
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
