#include "schemes/editor_window/editor_canvas.h"

#include "base/nx_exception.h"
#include "base/prompt.h"

#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <set>

namespace nxkit {

namespace {

const QColor around_page(160, 160, 160);
const QColor selection_colour(0, 90, 220);
const QColor terminal_colour(0, 150, 60);
const QColor target_colour(230, 120, 0);
const QColor unconnected_colour(220, 0, 0);

bool box_shape(const sde_shape& s) {
    return s.kind == sde_shape::rect || s.kind == sde_shape::ellipse || s.kind == sde_shape::arc ||
           s.kind == sde_shape::text;
}

void translate_item(sde_page& p, const sde_item& item, double dx, double dy) {
    if (item.kind == sde_item::object) {
        p.objects[item.index].x += dx;
        p.objects[item.index].y += dy;
    } else if (item.kind == sde_item::unknown) {
        std::string& raw = p.unknown_children[item.index];
        if (auto j = parse_junction(raw)) {
            j->at.x += dx;
            j->at.y += dy;
            raw = junction_text(*j);
        }
    } else {
        sde_shape& s = p.shapes[item.index];
        const std::size_t n =
            box_shape(s) ? std::min<std::size_t>(2, s.coords.size()) : s.coords.size();
        for (std::size_t i = 0; i + 1 < n; i += 2) {
            s.coords[i] += dx;
            s.coords[i + 1] += dy;
        }
    }
}

sde_page empty_like(const sde_page& p) {
    sde_page out;
    out.number = p.number;
    out.title = p.title;
    out.width = p.width;
    out.height = p.height;
    out.background = p.background;
    return out;
}

QPen cosmetic(const QColor& c, double width, Qt::PenStyle style = Qt::SolidLine) {
    QPen pen(c, width, style);
    pen.setCosmetic(true);
    return pen;
}

// Grey around, the page and its grid.
void paint_background(QPainter& p, QSize size, const sde_page& page, const canvas_view& view,
                      bool grid, double step, const paint_context& context) {
    p.fillRect(QRect(QPoint(0, 0), size), around_page);
    p.save();
    p.setTransform(view.transform());
    p.setClipRect(QRectF(0, 0, page.width, page.height));
    paint_page(p, page, context);
    p.restore();
    const double u = view.unit();
    if (!grid || step <= 0)
        return;
    // Thin out the grid until its dots are at least 6 pixels apart.
    double s = step;
    while (s * u < 6)
        s *= 2;
    p.save();
    p.setPen(cosmetic(QColor(150, 150, 170), 1));
    const QRectF visible = view.transform().inverted().mapRect(QRectF(QPoint(0, 0), size));
    const double x0 = std::max(0.0, std::ceil(visible.left() / s) * s);
    const double y0 = std::max(0.0, std::ceil(visible.top() / s) * s);
    const double x1 = std::min(page.width, visible.right());
    const double y1 = std::min(page.height, visible.bottom());
    std::vector<QPointF> dots;
    for (double y = y0; y <= y1 + 1e-9; y += s)
        for (double x = x0; x <= x1 + 1e-9; x += s)
            dots.push_back(view.to_pixel({x, y}));
    p.drawPoints(dots.data(), static_cast<int>(dots.size()));
    p.restore();
}

void paint_terminal(QPainter& p, const canvas_view& view, point at, const QColor& c, double radius,
                    bool filled) {
    p.setPen(cosmetic(c, 1.5));
    p.setBrush(filled ? QBrush(c) : QBrush(Qt::NoBrush));
    p.drawEllipse(view.to_pixel(at), radius, radius);
}

} // namespace

QTransform canvas_view::transform() const {
    QTransform t;
    t.translate(origin.x(), origin.y());
    t.scale(unit(), unit());
    return t;
}

point canvas_view::to_page(QPointF pixel) const {
    return {(pixel.x() - origin.x()) / unit(), (pixel.y() - origin.y()) / unit()};
}

QPointF canvas_view::to_pixel(point p) const {
    return {origin.x() + p.x * unit(), origin.y() + p.y * unit()};
}

// ---- drag preview

void drag_preview::begin(const editor_session& session, const canvas_view& view, QSize size,
                         const paint_context& context, bool grid) {
    const sde_page* page = session.page();
    active_ = false;
    if (!page)
        return;
    std::vector<bool> moving(page->order.size(), false);
    std::set<int> counters, nodes;
    for (std::size_t i : session.selection()) {
        moving[i] = true;
        const sde_item& item = page->order[i];
        if (item.kind == sde_item::object)
            counters.insert(page->objects[item.index].counter);
        else if (item.kind == sde_item::unknown)
            if (const auto j = parse_junction(page->unknown_children[item.index]))
                nodes.insert(j->id);
    }
    auto hangs = [&](const wire_end& e) {
        return (e.kind == wire_end::at_terminal && counters.count(e.counter)) ||
               (e.kind == wire_end::at_node && nodes.count(e.node));
    };
    for (std::size_t i = 0; i < page->order.size(); ++i) {
        const sde_item& item = page->order[i];
        if (item.kind == sde_item::shape && is_wire(page->shapes[item.index])) {
            const sde_shape& w = page->shapes[item.index];
            if (hangs(wire_from(w)) || hangs(wire_to(w)))
                moving[i] = true;
        }
    }
    sde_page rest = empty_like(*page);
    moving_ = empty_like(*page);
    selected_.clear();
    const auto& sel = session.selection();
    for (std::size_t i = 0; i < page->order.size(); ++i) {
        if (!moving[i]) {
            append_item(rest, *page, page->order[i]);
            continue;
        }
        if (std::binary_search(sel.begin(), sel.end(), i))
            selected_.push_back(moving_.order.size());
        append_item(moving_, *page, page->order[i]);
    }
    {
        background_ = QImage(size, QImage::Format_RGB32);
        QPainter p(&background_);
        paint_background(p, size, rest, view, grid, session.grid_step(), context);
    }
    // A selected wire is rigid when every attached end of it is on the moving selection.
    std::set<int> moving_counters, moving_nodes;
    for (std::size_t i : selected_) {
        const sde_item& item = moving_.order[i];
        if (item.kind == sde_item::object)
            moving_counters.insert(moving_.objects[item.index].counter);
        else if (item.kind == sde_item::unknown)
            if (const auto j = parse_junction(moving_.unknown_children[item.index]))
                moving_nodes.insert(j->id);
    }
    auto moves = [&](const wire_end& e) {
        return e.kind == wire_end::free_end ||
               (e.kind == wire_end::at_terminal && moving_counters.count(e.counter)) ||
               (e.kind == wire_end::at_node && moving_nodes.count(e.node));
    };
    per_frame_.assign(moving_.order.size(), true);
    sde_page rigid = empty_like(*page);
    QRectF extent;
    for (std::size_t i : selected_) {
        const sde_item& item = moving_.order[i];
        if (item.kind == sde_item::shape && is_wire(moving_.shapes[item.index])) {
            const sde_shape& w = moving_.shapes[item.index];
            if (!moves(wire_from(w)) || !moves(wire_to(w)))
                continue;
        }
        per_frame_[i] = false;
        append_item(rigid, moving_, item);
        if (item.kind == sde_item::object) {
            extent = extent.united(object_extent(moving_.objects[item.index]));
        } else if (const auto b = item_box(moving_, item)) {
            const double margin =
                item.kind == sde_item::shape ? moving_.shapes[item.index].width + 1 : 1.0;
            extent = extent.united(QRectF(QPointF(b->x0, b->y0), QPointF(b->x1, b->y1))
                                       .adjusted(-margin, -margin, margin, margin));
        }
    }
    rigid_ = QImage();
    const QRectF pixels = view.transform().mapRect(extent).adjusted(-2, -2, 2, 2);
    // A selection far larger than the view is painted for each frame instead.
    if (!rigid.order.empty() &&
        pixels.width() * pixels.height() <= 4.0 * size.width() * size.height()) {
        rigid_at_ = pixels.topLeft();
        rigid_ = QImage(pixels.size().toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
        rigid_.fill(Qt::transparent);
        QPainter p(&rigid_);
        p.translate(-rigid_at_);
        p.setTransform(view.transform(), true);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        for (const sde_item& item : rigid.order) {
            if (item.kind == sde_item::shape)
                paint_shape(p, rigid.shapes[item.index]);
            else if (item.kind == sde_item::object)
                paint_object(p, rigid.objects[item.index], context);
        }
    } else {
        std::fill(per_frame_.begin(), per_frame_.end(), true);
    }
    active_ = true;
}

void drag_preview::paint(QPainter& p, const canvas_view& view, double dx, double dy,
                         const paint_context& context) const {
    p.drawImage(0, 0, background_);
    p.save();
    const QRectF page_pixels =
        view.transform().mapRect(QRectF(0, 0, moving_.width, moving_.height));
    p.setClipRect(page_pixels);
    if (!rigid_.isNull())
        p.drawImage(rigid_at_ + QPointF(dx * view.unit(), dy * view.unit()), rigid_);
    sde_page moved = moving_;
    for (std::size_t i : selected_)
        translate_item(moved, moved.order[i], dx, dy);
    attach_wire_ends(moved);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setTransform(view.transform());
    for (std::size_t i = 0; i < moved.order.size(); ++i) {
        if (!per_frame_[i])
            continue;
        const sde_item& item = moved.order[i];
        if (item.kind == sde_item::shape)
            paint_shape(p, moved.shapes[item.index]);
        else if (item.kind == sde_item::object)
            paint_object(p, moved.objects[item.index], context);
    }
    p.restore();
}

// ---- painting

void paint_canvas(QPainter& p, QSize size, const editor_session& session, const canvas_view& view,
                  const canvas_overlay& overlay, const paint_context& context,
                  const drag_preview* drag, double dx, double dy) {
    const sde_page* page = session.page();
    if (!page) {
        p.fillRect(QRect(QPoint(0, 0), size), around_page);
        return;
    }
    const bool dragging = drag && drag->active();
    if (dragging)
        drag->paint(p, view, dx, dy, context);
    else
        paint_background(p, size, *page, view, overlay.show_grid, session.grid_step(), context);
    p.setRenderHint(QPainter::Antialiasing, true);

    // Junctions: a dot where wires meet.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 80, 180));
    if (!dragging)
        for (const auto& [id, j] : junctions_of(*page))
            p.drawEllipse(view.to_pixel(j.at), 0.6 * view.unit(), 0.6 * view.unit());

    // The selection.
    p.setBrush(Qt::NoBrush);
    p.setPen(cosmetic(selection_colour, 1.5, Qt::DashLine));
    for (std::size_t i : session.selection())
        if (const auto b = item_box(*page, page->order[i])) {
            const QPointF a = view.to_pixel({b->x0 + dx, b->y0 + dy});
            const QPointF c = view.to_pixel({b->x1 + dx, b->y1 + dy});
            p.drawRect(QRectF(a, c).adjusted(-3, -3, 3, 3));
        }
    if (session.selection().size() == 1 && !dragging)
        if (const auto b = item_box(*page, page->order[session.selection()[0]])) {
            const QPointF c = view.to_pixel({b->x1, b->y1});
            p.fillRect(QRectF(c.x() - 1, c.y() - 1, 7, 7), selection_colour);
        }

    if (overlay.show_unconnected)
        for (const terminal_hit& t : session.unconnected_terminals())
            paint_terminal(p, view, t.at, unconnected_colour, 5, false);

    if (overlay.drawing_wire || overlay.target) {
        for (const terminal_hit& t : session.all_terminals())
            paint_terminal(p, view, t.at, terminal_colour, 3.5, false);
        if (overlay.target)
            paint_terminal(p, view, overlay.target->at, target_colour, 5, true);
    }
    if (overlay.drawing_wire && !overlay.wire_points.empty()) {
        QPen pen = cosmetic(QColor(0, 80, 180), 2, Qt::DashLine);
        p.setPen(pen);
        std::vector<QPointF> line;
        for (const point& q : overlay.wire_points)
            line.push_back(view.to_pixel(q));
        line.push_back(view.to_pixel(overlay.target ? overlay.target->at : overlay.pointer));
        p.drawPolyline(line.data(), static_cast<int>(line.size()));
    }
    if (overlay.figure) {
        p.save();
        p.setTransform(view.transform(), true);
        paint_shape(p, *overlay.figure);
        p.restore();
    }
    if (overlay.band) {
        p.setPen(cosmetic(selection_colour, 1, Qt::DotLine));
        p.setBrush(QColor(0, 90, 220, 30));
        p.drawRect(QRectF(view.to_pixel({overlay.band->x0, overlay.band->y0}),
                          view.to_pixel({overlay.band->x1, overlay.band->y1})));
    }
}

// ---- the widget

editor_canvas::editor_canvas(editor_session& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    setAcceptDrops(true);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 150);
    name_edit_ = new QLineEdit(this);
    name_edit_->hide();
    connect(name_edit_, &QLineEdit::editingFinished, this, [this] {
        if (!name_edit_->isVisible())
            return;
        name_edit_->hide();
        const std::string text = name_edit_->text().toStdString();
        if (const sde_object* o = session_.selected_object(); o && o->value("дисп_имя") != text)
            run([&] {
                const std::string refused = session_.apply_property(panel::name, text);
                if (!refused.empty())
                    throw nx_exception(refused);
            });
        setFocus();
    });
}

void editor_canvas::set_tool(editor_tool tool) {
    cancel();
    tool_ = tool;
    setCursor(tool == editor_tool::select ? Qt::ArrowCursor : Qt::CrossCursor);
}

void editor_canvas::set_show_unconnected(bool on) {
    overlay_.show_unconnected = on;
    update();
}

void editor_canvas::set_scale(double scale) {
    view_.scale = std::clamp(scale, 0.1, 20.0);
    update();
    emit scale_changed(view_.scale);
}

void editor_canvas::zoom(double factor, QPointF around) {
    const point fixed = view_.to_page(around);
    view_.scale = std::clamp(view_.scale * factor, 0.1, 20.0);
    // The point under the pointer stays where it is.
    view_.origin = around - QPointF(fixed.x * view_.unit(), fixed.y * view_.unit());
    update();
    emit scale_changed(view_.scale);
}

void editor_canvas::fit_page() {
    const sde_page* page = session_.page();
    if (!page || width() < 60 || height() < 60)
        return;
    const double room_w = width() - 40, room_h = height() - 40;
    view_.scale = std::clamp(std::min(room_w / (page->width * sde_pixels_per_unit),
                                      room_h / (page->height * sde_pixels_per_unit)),
                             0.1, 20.0);
    view_.origin = QPointF((width() - page->width * view_.unit()) / 2, 20);
    update();
    emit scale_changed(view_.scale);
}

QImage editor_canvas::grab_image() {
    QImage image(size(), QImage::Format_RGB32);
    QPainter p(&image);
    paint_canvas(p, size(), session_, view_, overlay_, context_,
                 gesture_ == gesture::moving ? &drag_ : nullptr, dx_, dy_);
    return image;
}

void editor_canvas::edit_name_in_place() {
    const sde_object* o = session_.selected_object();
    if (!o)
        return;
    const auto b = item_box(*session_.page(), session_.page()->order[session_.selection()[0]]);
    const QPointF at = view_.to_pixel({b->x1, b->y0});
    name_edit_->setText(QString::fromStdString(o->value("дисп_имя")));
    name_edit_->setGeometry(
        QRect(at.toPoint() + QPoint(6, 0), QSize(140, name_edit_->sizeHint().height())));
    name_edit_->show();
    name_edit_->selectAll();
    name_edit_->setFocus();
}

void editor_canvas::run(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const nx_exception& e) {
        show_message(this, e.what(), mb_error);
    }
    emit document_changed();
    update();
}

void editor_canvas::cancel() {
    overlay_.drawing_wire = false;
    overlay_.wire_points.clear();
    overlay_.target.reset();
    overlay_.figure.reset();
    overlay_.band.reset();
    figure_points_.clear();
    drag_.end();
    gesture_ = gesture::none;
    dx_ = dy_ = 0;
    update();
}

std::optional<QRectF> editor_canvas::resize_handle() const {
    if (session_.selection().size() != 1 || !session_.page())
        return std::nullopt;
    const auto b = item_box(*session_.page(), session_.page()->order[session_.selection()[0]]);
    if (!b)
        return std::nullopt;
    const QPointF c = view_.to_pixel({b->x1, b->y1});
    return QRectF(c.x() - 2, c.y() - 2, 9, 9);
}

void editor_canvas::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint_canvas(p, size(), session_, view_, overlay_, context_,
                 gesture_ == gesture::moving ? &drag_ : nullptr, dx_, dy_);
}

void editor_canvas::finish_wire(point at) {
    const double tolerance = std::max(0.8, 8 / view_.unit());
    std::vector<point> bends(overlay_.wire_points.begin() + 1, overlay_.wire_points.end());
    const wire_end from = wire_from_;
    if (const auto hit = session_.terminal_at(at, tolerance)) {
        if (hit->end == from)
            return;
        cancel();
        run([&] { session_.draw_wire(from, hit->end, bends); });
        return;
    }
    if (const auto item = session_.item_at(at, tolerance); item && session_.is_wire_item(*item)) {
        cancel();
        run([&] { session_.draw_wire_onto(from, *item, at, bends); });
        return;
    }
    overlay_.wire_points.push_back(session_.snap(at));
    update();
}

void editor_canvas::mousePressEvent(QMouseEvent* event) {
    setFocus();
    const QPointF pixel = event->position();
    const point at = view_.to_page(pixel);
    press_pixel_ = pixel;
    press_at_ = at;
    if (event->button() == Qt::MiddleButton) {
        gesture_ = gesture::panning;
        return;
    }
    if (event->button() == Qt::RightButton) {
        cancel();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const bool add = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    switch (tool_) {
    case editor_tool::select: {
        if (const auto handle = resize_handle(); handle && handle->contains(pixel)) {
            gesture_ = gesture::resizing;
            return;
        }
        const auto hit = session_.item_at(at, std::max(0.5, 5 / view_.unit()));
        if (hit && !add) {
            const auto& sel = session_.selection();
            if (!std::binary_search(sel.begin(), sel.end(), *hit))
                session_.select({*hit});
            gesture_ = gesture::moving;
            drag_.begin(session_, view_, size(), context_, overlay_.show_grid);
            emit selection_changed();
        } else if (hit) {
            session_.click(at, true);
            emit selection_changed();
        } else {
            if (!add)
                session_.select({});
            gesture_ = gesture::band;
            overlay_.band = page_box{at.x, at.y, at.x, at.y};
            emit selection_changed();
        }
        update();
        return;
    }
    case editor_tool::wire: {
        if (overlay_.drawing_wire) {
            finish_wire(at);
            return;
        }
        const double tolerance = std::max(0.8, 8 / view_.unit());
        if (const auto hit = session_.terminal_at(at, tolerance)) {
            overlay_.drawing_wire = true;
            overlay_.wire_points = {hit->at};
            wire_from_ = hit->end;
            update();
        } else {
            emit status(QStringLiteral("Провод начинается на выводе или в узле"));
        }
        return;
    }
    case editor_tool::text: {
        sde_shape s;
        s.kind = sde_shape::text;
        const point c = session_.snap(at);
        s.coords = {c.x, c.y, 0, 0};
        s.content = "Текст";
        s.color = session_.style.color;
        run([&] { session_.draw_shape(s); });
        return;
    }
    case editor_tool::polyline:
    case editor_tool::polygon: {
        figure_points_.push_back(session_.snap(at));
        sde_shape s;
        s.kind = tool_ == editor_tool::polygon ? sde_shape::polygon : sde_shape::polyline;
        s.color = session_.style.color;
        s.width = session_.style.width;
        s.dash = session_.style.dash;
        s.fill = tool_ == editor_tool::polygon ? session_.style.fill : std::string();
        for (const point& q : figure_points_) {
            s.coords.push_back(q.x);
            s.coords.push_back(q.y);
        }
        s.coords.push_back(figure_points_.back().x);
        s.coords.push_back(figure_points_.back().y);
        overlay_.figure = s;
        update();
        return;
    }
    default:
        gesture_ = gesture::figure;
        press_at_ = session_.snap(at);
        return;
    }
}

void editor_canvas::mouseMoveEvent(QMouseEvent* event) {
    const QPointF pixel = event->position();
    const point at = view_.to_page(pixel);
    emit status(QString("X %1  Y %2 мм").arg(at.x, 0, 'f', 1).arg(at.y, 0, 'f', 1));
    if (gesture_ == gesture::panning) {
        view_.origin += pixel - press_pixel_;
        press_pixel_ = pixel;
        update();
        return;
    }
    if (tool_ == editor_tool::wire) {
        overlay_.pointer = session_.snap(at);
        overlay_.target = session_.terminal_at(at, std::max(0.8, 8 / view_.unit()));
        update();
        return;
    }
    switch (gesture_) {
    case gesture::moving: {
        // The move goes by whole grid steps, so snapped objects stay on the grid.
        const point d = session_.snap({at.x - press_at_.x, at.y - press_at_.y});
        if (d.x != dx_ || d.y != dy_) {
            dx_ = d.x;
            dy_ = d.y;
            update();
        }
        return;
    }
    case gesture::band:
        overlay_.band = page_box{std::min(press_at_.x, at.x), std::min(press_at_.y, at.y),
                                 std::max(press_at_.x, at.x), std::max(press_at_.y, at.y)};
        update();
        return;
    case gesture::figure: {
        const point c = session_.snap(at);
        sde_shape s;
        s.color = session_.style.color;
        s.width = session_.style.width;
        s.dash = session_.style.dash;
        if (tool_ == editor_tool::line) {
            s.kind = sde_shape::line;
            s.coords = {press_at_.x, press_at_.y, c.x, c.y};
        } else {
            s.kind = tool_ == editor_tool::ellipse ? sde_shape::ellipse
                     : tool_ == editor_tool::arc   ? sde_shape::arc
                                                   : sde_shape::rect;
            s.fill = tool_ == editor_tool::arc ? std::string() : session_.style.fill;
            s.coords = {std::min(press_at_.x, c.x), std::min(press_at_.y, c.y),
                        std::abs(c.x - press_at_.x), std::abs(c.y - press_at_.y)};
            if (s.kind == sde_shape::arc) {
                s.start = 0;
                s.span = 180;
            }
        }
        overlay_.figure = s;
        update();
        return;
    }
    case gesture::resizing:
        update();
        return;
    default:
        if (!figure_points_.empty() && overlay_.figure) {
            const point c = session_.snap(at);
            auto& coords = overlay_.figure->coords;
            coords[coords.size() - 2] = c.x;
            coords[coords.size() - 1] = c.y;
            update();
        }
        return;
    }
}

void editor_canvas::mouseReleaseEvent(QMouseEvent* event) {
    const point at = view_.to_page(event->position());
    const gesture g = gesture_;
    gesture_ = gesture::none;
    switch (g) {
    case gesture::moving: {
        const double dx = dx_, dy = dy_;
        drag_.end();
        dx_ = dy_ = 0;
        if (dx != 0 || dy != 0)
            run([&] { session_.move_selection(dx, dy); });
        else
            update();
        return;
    }
    case gesture::band: {
        const page_box band = *overlay_.band;
        overlay_.band.reset();
        const bool add = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
        if (band.x1 - band.x0 > 0.1 || band.y1 - band.y0 > 0.1)
            session_.select_in(band, add);
        emit selection_changed();
        update();
        return;
    }
    case gesture::resizing: {
        const sde_page* p = session_.page();
        const auto b = item_box(*p, p->order[session_.selection()[0]]);
        const point c = session_.snap(at);
        const double w = std::max(session_.grid_step(), c.x - b->x0);
        const double h = std::max(session_.grid_step(), c.y - b->y0);
        if (const sde_object* o = session_.selected_object(); o && (o->rotation % 180) != 0)
            run([&] { session_.resize_selected(h, w); });
        else
            run([&] { session_.resize_selected(w, h); });
        return;
    }
    case gesture::figure: {
        std::optional<sde_shape> s = overlay_.figure;
        overlay_.figure.reset();
        if (s && (s->kind == sde_shape::line
                      ? (s->coords[0] != s->coords[2] || s->coords[1] != s->coords[3])
                      : (s->coords[2] > 0 && s->coords[3] > 0)))
            run([&] { session_.draw_shape(*s); });
        else
            update();
        return;
    }
    default:
        return;
    }
}

void editor_canvas::mouseDoubleClickEvent(QMouseEvent* event) {
    if ((tool_ == editor_tool::polyline || tool_ == editor_tool::polygon) &&
        figure_points_.size() >= 2) {
        // The double click's second press added the last point again.
        if (figure_points_.size() >= 2 &&
            figure_points_[figure_points_.size() - 1] == figure_points_[figure_points_.size() - 2])
            figure_points_.pop_back();
        sde_shape s = *overlay_.figure;
        s.coords.clear();
        for (const point& q : figure_points_) {
            s.coords.push_back(q.x);
            s.coords.push_back(q.y);
        }
        figure_points_.clear();
        overlay_.figure.reset();
        if (s.coords.size() >= 4)
            run([&] { session_.draw_shape(s); });
        return;
    }
    if (tool_ == editor_tool::select && event->button() == Qt::LeftButton &&
        session_.selected_object()) {
        gesture_ = gesture::none;
        drag_.end();
        edit_name_in_place();
    }
}

void editor_canvas::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (event->modifiers() & Qt::ControlModifier) {
        zoom(delta > 0 ? 1.25 : 0.8, event->position());
        return;
    }
    if (event->modifiers() & Qt::ShiftModifier)
        view_.origin += QPointF(delta / 2.0, 0);
    else
        view_.origin += QPointF(event->angleDelta().x() / 2.0, delta / 2.0);
    update();
}

void editor_canvas::keyPressEvent(QKeyEvent* event) {
    const double step = session_.grid_step();
    double dx = 0, dy = 0;
    switch (event->key()) {
    case Qt::Key_Left:
        dx = -step;
        break;
    case Qt::Key_Right:
        dx = step;
        break;
    case Qt::Key_Up:
        dy = -step;
        break;
    case Qt::Key_Down:
        dy = step;
        break;
    case Qt::Key_Escape:
        cancel();
        return;
    case Qt::Key_F2:
        edit_name_in_place();
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (session_.selection().empty())
        return;
    run([&] { session_.move_selection(dx, dy); });
}

void editor_canvas::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(element_type_mime))
        event->acceptProposedAction();
}

void editor_canvas::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasFormat(element_type_mime))
        event->acceptProposedAction();
}

void editor_canvas::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasFormat(element_type_mime))
        return;
    const std::string type = event->mimeData()->data(element_type_mime).toStdString();
    const point at = view_.to_page(event->position());
    run([&] { session_.drop(type, at); });
    event->acceptProposedAction();
    emit selection_changed();
}

} // namespace nxkit
