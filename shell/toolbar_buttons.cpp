#include "shell/toolbar_buttons.h"

#include <QAction>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyleOptionToolButton>
#include <QStylePainter>

#include <algorithm>

namespace nxkit {

const std::vector<button_spec>& toolbar_table() {
    using b = toolbar_button;
    static const std::vector<button_spec> table = {
        {b::reload, "_bRELOAD", "Загрузить", "Загрузить конфигурацию с потерей всех изменений",
         1503, 0, 0, false, 0, false},
        {b::save, "_bSAVE", "Сохранить", "Сохранить конфигурацию", 1502, 0, 1532, false, 0, false},
        {b::devs, "_bDEVS", "Оборудование", "Включить/отключить настройку оборудования", 1519, 1504,
         0, true, 0, false},
        {b::strs, "_bSTRS", "Структура", "Включить/отключить настройку структуры", 1520, 1521, 0,
         true, 0, false},
        {b::schema, "_bSCHEMA", "Схемы", "Включить/отключить настройку схем", 1522, 1523, 0, true,
         0, false},
        {b::hint, "_bHINT", "Подсказка", "Включить/отключить всплывающую подсказку", 1501, 1500, 0,
         true, 0, false},
        {b::con, "_bCON", "Подключение", "Включить/отключить соединения с КП", 1505, 1506, 0, true,
         0, false},
        {b::edit, "_bEDIT", "Редактор", "Включить/отключить редактор конфигурации", 1526, 1527, 0,
         true, 0, false},
        {b::editor_grid, "_bEDITOR_GRID", "Параметры",
         "Включить/отключить таблицы параметров в редакторе конфигурации", 1556, 1557, 0, true, 0,
         false},
        {b::mes, "_bMES", "Журнал событий", "Включить/отключить отображение журнала событий", 1528,
         1529, 0, true, 0, false},
        {b::cancel_hand, "_bCANCEL_HAND", "Отменить ручные",
         "Отменить ручной ввод для всех сигналов", 1530, 0, 1531, false, 0, false},
        {b::cvit_all, "_bCVIT_ALL", "Квитировать все", "Квитировать все сигналы", 1533, 0, 1534,
         false, 0, false},
        {b::log, "_bLOG", "Лог-файл", "Включить/отключить отображение лог-файла", 1507, 1508, 0,
         true, 0, false},
        {b::print, "_bPRINT", "Печать", "Печать схемы", 1509, 0, 1549, false, 50, true},
        {b::zoom_in, "_bZOOM_IN", "Увеличить", "Увеличить схему", 1510, 0, 0, false, 2, true},
        {b::zoom_out, "_bZOOM_OUT", "Уменьшить", "Уменьшиить схему", 1511, 0, 0, false, 3, true},
        {b::zoom_x, "_bZOOM_X", "По ширине", "Схема по ширине", 1512, 0, 1550, false, -1, true},
        {b::zoom_y, "_bZOOM_Y", "По высоте", "Схема по высоте", 1513, 0, 1551, false, -2, true},
        {b::zoom_full, "_bZOOM_FULL", "Полностью", "Показать схему полностью", 1514, 0, 1552, false,
         0, true},
        {b::zoom_100, "_bZOOM_100", "Масштаб 100%", "Показать схему в масштабе 100%", 1515, 0, 1553,
         false, 1, true},
        {b::mod_std, "_bMOD_STD", "Стандарт", "Показать стандарт отображения схемы", 1516, 0, 1554,
         false, 51, true},
        {b::scroll_hand, "_bSCROLL_HAND", "Переместить",
         "Укажите точку схемы, которую необходимо показать", 1524, 0, 1555, false, 7, true},
        {b::journal_next, "", "Ниже", "На следующюю строку", 1539, 0, 1541, false, 1, true},
        {b::journal_last, "", "Вниз", "На последнюю строку", 1540, 0, 1542, false, 2, true},
        {b::journal_previous, "", "Выше", "На предыдущую строку", 1543, 0, 1545, false, 3, true},
        {b::journal_first, "", "Вверх", "На первую строку", 1544, 0, 1546, false, 4, true},
    };
    return table;
}

const button_spec& spec_of(toolbar_button button) {
    return toolbar_table()[static_cast<std::size_t>(button)];
}

// ---------------------------------------------------------------------------------------------
// Drawing a button

namespace {

constexpr int button_padding = 2;
constexpr int caption_gap = 2;

} // namespace

button_parts toolbar_button_parts(const button_layout& layout, QSize size, int line_height) {
    const QRect area =
        QRect(QPoint(0, 0), size)
            .adjusted(button_padding, button_padding, -button_padding, -button_padding);
    const int icon = layout.icon_size;
    const int across = layout.align & 0x300;
    const int down = layout.align & 0xC00;
    const bool left = across == 0x100, right = across == 0x200;
    const bool top = down == 0x400, bottom = down == 0x800;
    auto x_of = [&] {
        return left    ? area.left()
               : right ? area.right() + 1 - icon
                       : area.left() + (area.width() - icon) / 2;
    };
    auto y_of = [&] {
        return top      ? area.top()
               : bottom ? area.bottom() + 1 - icon
                        : area.top() + (area.height() - icon) / 2;
    };
    button_parts parts;
    // Beside the picture: left or right alignment and room for a few letters.
    if ((left || right) && area.width() - icon - caption_gap >= 2 * line_height) {
        parts.icon = QRect(x_of(), y_of(), icon, icon);
        parts.text = left ? QRect(parts.icon.right() + 1 + caption_gap, area.top(),
                                  area.right() - parts.icon.right() - caption_gap, area.height())
                          : QRect(area.left(), area.top(),
                                  parts.icon.left() - caption_gap - area.left(), area.height());
        return parts;
    }
    // Above or below it: room for one line at least.
    if (area.height() - icon - caption_gap >= line_height) {
        const int x = x_of();
        if (bottom) {
            parts.icon = QRect(x, area.bottom() + 1 - icon, icon, icon);
            parts.text = QRect(area.left(), area.top(), area.width(),
                               parts.icon.top() - caption_gap - area.top());
        } else {
            parts.icon = QRect(x, area.top(), icon, icon);
            parts.text = QRect(area.left(), parts.icon.bottom() + 1 + caption_gap, area.width(),
                               area.bottom() - parts.icon.bottom() - caption_gap);
        }
        return parts;
    }
    parts.icon = QRect(x_of(), y_of(), icon, icon);
    return parts;
}

QStringList wrapped_caption(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
            lines << line;
            line = word;
        } else {
            line = longer;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

toolbar_tool_button::toolbar_tool_button(const button_layout& layout, QWidget* parent)
    : QToolButton(parent), layout_(layout) {
    setFixedSize(layout.width, layout.height);
    setIconSize(QSize(layout.icon_size, layout.icon_size));
    setAutoRaise(layout.style != 0);
    setFocusPolicy(Qt::NoFocus);
}

void toolbar_tool_button::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    // The frame and its states from the style; picture and caption are ours.
    option.text.clear();
    option.icon = QIcon();
    option.toolButtonStyle = Qt::ToolButtonIconOnly;
    p.drawComplexControl(QStyle::CC_ToolButton, option);

    const QFontMetrics metrics = fontMetrics();
    const button_parts parts = toolbar_button_parts(layout_, size(), metrics.height());
    const QIcon::Mode mode = !isEnabled() ? QIcon::Disabled : QIcon::Normal;
    const QIcon::State state = isChecked() ? QIcon::On : QIcon::Off;
    icon().paint(&p, parts.icon, Qt::AlignCenter, mode, state);
    if (parts.text.isEmpty())
        return;
    const QString caption = defaultAction() != nullptr ? defaultAction()->text() : text();
    const QStringList lines = wrapped_caption(caption, metrics, parts.text.width());
    const int height = static_cast<int>(lines.size()) * metrics.height();
    // Centred in the space left; lines that do not fit are left out from the bottom.
    int y = parts.text.top() + std::max(0, (parts.text.height() - height) / 2);
    p.setClipRect(parts.text);
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    for (const QString& line : lines) {
        if (y + metrics.height() > parts.text.bottom() + 1 + metrics.descent())
            break;
        p.drawText(QRect(parts.text.left(), y, parts.text.width(), metrics.height()),
                   Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, line);
        y += metrics.height();
    }
}

// ---------------------------------------------------------------------------------------------
// The flowing toolbar

flow_layout::flow_layout(QWidget* parent, int spacing) : QLayout(parent), spacing_(spacing) {}

flow_layout::~flow_layout() {
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void flow_layout::addItem(QLayoutItem* item) {
    items_.append(item);
}

QLayoutItem* flow_layout::itemAt(int index) const {
    return index >= 0 && index < items_.size() ? items_[index] : nullptr;
}

QLayoutItem* flow_layout::takeAt(int index) {
    return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

int flow_layout::heightForWidth(int width) const {
    return arrange(QRect(0, 0, width, 0), false);
}

int flow_layout::rows_at(int width) const {
    int rows = 0;
    arrange(QRect(0, 0, width, 0), false, &rows);
    return rows;
}

void flow_layout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

QSize flow_layout::sizeHint() const {
    // Everything in one row.
    QSize size;
    int shown = 0;
    for (QLayoutItem* item : items_) {
        if (item->isEmpty())
            continue;
        const QSize s = item->sizeHint();
        size.rwidth() += s.width();
        size.setHeight(std::max(size.height(), s.height()));
        ++shown;
    }
    size.rwidth() += std::max(0, shown - 1) * spacing_;
    const QMargins m = contentsMargins();
    return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize flow_layout::minimumSize() const {
    QSize size;
    for (QLayoutItem* item : items_)
        if (!item->isEmpty())
            size = size.expandedTo(item->minimumSize());
    const QMargins m = contentsMargins();
    return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

int flow_layout::arrange(const QRect& rect, bool apply, int* rows) const {
    const QMargins m = contentsMargins();
    const QRect area = rect.adjusted(m.left(), m.top(), -m.right(), -m.bottom());
    int x = area.x();
    int y = area.y();
    int row_height = 0;
    int count = 0;
    for (QLayoutItem* item : items_) {
        if (item->isEmpty())
            continue;
        const QSize s = item->sizeHint();
        if (x > area.x() && x + s.width() > area.right() + 1) {
            x = area.x();
            y += row_height + spacing_;
            row_height = 0;
            ++count;
        }
        if (apply)
            item->setGeometry(QRect(QPoint(x, y), s));
        x += s.width() + spacing_;
        row_height = std::max(row_height, s.height());
    }
    if (row_height > 0)
        ++count;
    if (rows != nullptr)
        *rows = count;
    return y + row_height - rect.y() + m.bottom();
}

// ---------------------------------------------------------------------------------------------
// The tooltip

namespace {

constexpr int balloon_radius = 8;
constexpr int balloon_tail = 8;

} // namespace

hint_popup::hint_popup() : QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint) {
    setObjectName("toolbar_hint");
    setTextFormat(Qt::PlainText);
    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
    setAutoFillBackground(false);
    hide_timer_.setSingleShot(true);
    hide_timer_.setInterval(hide_ms);
    QObject::connect(&hide_timer_, &QTimer::timeout, this, [this] { hide_hint(); });
}

void hint_popup::show_hint(const QString& text, QWidget* button, bool balloon) {
    balloon_ = balloon;
    const int top_margin = balloon ? balloon_tail + 4 : 4;
    setContentsMargins(6, top_margin, 6, 4);
    setText(text);
    const QFontMetrics metrics = fontMetrics();
    const int inner = max_width - 12;
    // Short texts keep their own width; longer ones wrap at the maximum width.
    if (metrics.horizontalAdvance(text) > inner) {
        setWordWrap(true);
        setFixedWidth(max_width);
        setFixedHeight(heightForWidth(max_width));
    } else {
        setWordWrap(false);
        setFixedSize(metrics.horizontalAdvance(text) + 12 + 2,
                     metrics.height() + top_margin + 4 + 2);
    }
    // Below the button, its tail (when a balloon) pointing at the button's middle.
    QPoint at = button->mapToGlobal(
        QPoint(button->width() / 2 - balloon_radius - balloon_tail, button->height()));
    if (QScreen* screen = button->screen()) {
        const QRect room = screen->availableGeometry();
        at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - width())));
        if (at.y() + height() > room.bottom())
            at.setY(button->mapToGlobal(QPoint(0, 0)).y() - height());
    }
    move(at);
    show();
    raise();
    hide_timer_.start();
}

void hint_popup::hide_hint() {
    hide_timer_.stop();
    hide();
}

void hint_popup::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    if (!balloon_) {
        clearMask();
        return;
    }
    // The balloon's shape without a compositor: a mask of the rounded body and the tail.
    QPainterPath body;
    body.addRoundedRect(QRectF(0, balloon_tail, width(), height() - balloon_tail), balloon_radius,
                        balloon_radius);
    QPainterPath tail;
    const qreal x = balloon_radius + balloon_tail;
    tail.moveTo(x - balloon_tail / 2.0, balloon_tail + 1);
    tail.lineTo(x, 0);
    tail.lineTo(x + balloon_tail / 2.0, balloon_tail + 1);
    tail.closeSubpath();
    setMask(QRegion(body.united(tail).toFillPolygon().toPolygon()));
}

void hint_popup::paintEvent(QPaintEvent* event) {
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().color(QPalette::ToolTipText), 1));
        p.setBrush(palette().color(QPalette::ToolTipBase));
        if (balloon_) {
            QPainterPath shape;
            shape.addRoundedRect(
                QRectF(0.5, balloon_tail + 0.5, width() - 1, height() - balloon_tail - 1),
                balloon_radius, balloon_radius);
            const qreal x = balloon_radius + balloon_tail;
            QPainterPath tail;
            tail.moveTo(x - balloon_tail / 2.0, balloon_tail + 1);
            tail.lineTo(x, 0.5);
            tail.lineTo(x + balloon_tail / 2.0, balloon_tail + 1);
            tail.closeSubpath();
            p.drawPath(shape.united(tail));
        } else {
            p.drawRect(QRectF(0.5, 0.5, width() - 1, height() - 1));
        }
    }
    QLabel::paintEvent(event);
}

} // namespace nxkit
