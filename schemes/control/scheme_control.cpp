#include "schemes/control/scheme_control.h"

#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "schemes/control/blink_clock.h"
#include "schemes/control/display_standard.h"
#include "schemes/control/scheme_painter.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cmath>
#include <limits>

namespace nxkit {

namespace {

constexpr double min_scale = 0.02;
constexpr double max_scale = 50;

} // namespace

double fit_scale(int mode, double page_width, double page_height, double view_width,
                 double view_height) {
    const double sx = view_width / (page_width * sde_pixels_per_unit);
    const double sy = view_height / (page_height * sde_pixels_per_unit);
    if (mode == fit_width)
        return sx;
    if (mode == fit_height)
        return sy;
    return std::min(sx, sy);
}

// The drawing surface: the shown page at the control's scale, scrolled by its scroll bars.
class scheme_canvas : public QAbstractScrollArea {
public:
    explicit scheme_canvas(scheme_control* owner) : QAbstractScrollArea(owner), c_(owner) {
        viewport()->setMouseTracking(true);
        viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
        setFrameShape(QFrame::NoFrame);
    }

    void update_ranges() {
        const sde_page* p = c_->page_ptr(c_->current_);
        const QSize content = p ? QSize(static_cast<int>(std::ceil(p->width * unit())),
                                        static_cast<int>(std::ceil(p->height * unit())))
                                : QSize(0, 0);
        // Which scroll bars the content needs, from the room there is without them.
        const QSize room = maximumViewportSize();
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        bool across = content.width() > room.width(), down = content.height() > room.height();
        if (across && !down)
            down = content.height() > room.height() - bar;
        if (down && !across)
            across = content.width() > room.width() - bar;
        const QSize view(room.width() - (down ? bar : 0), room.height() - (across ? bar : 0));
        horizontalScrollBar()->setRange(0, std::max(0, content.width() - view.width()));
        verticalScrollBar()->setRange(0, std::max(0, content.height() - view.height()));
        horizontalScrollBar()->setPageStep(view.width());
        verticalScrollBar()->setPageStep(view.height());
        horizontalScrollBar()->setSingleStep(20);
        verticalScrollBar()->setSingleStep(20);
    }

    double unit() const { return c_->scale() * sde_pixels_per_unit; }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(viewport());
        p.fillRect(event->rect(), QColor(160, 160, 160));
        const sde_page* page = c_->page_ptr(c_->current_);
        if (!page)
            return;
        const double u = unit();
        p.translate(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
        p.scale(u, u);
        const QRectF area = p.transform().inverted().mapRect(QRectF(event->rect()));
        p.setClipRect(area.intersected(QRectF(0, 0, page->width, page->height)));
        paint_context context{&c_->styles_, blink_clock::instance().tick(), u};
        paint_page(p, *page, context, area);
        if (c_->marked_ && c_->marked_->page == page->number) {
            QPen pen(c_->mark_colour_, 2, Qt::DashLine);
            pen.setCosmetic(true);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawRect(object_box(*c_->marked_).adjusted(-1.2, -1.2, 1.2, 1.2));
        }
    }
    void resizeEvent(QResizeEvent* event) override {
        QAbstractScrollArea::resizeEvent(event);
        update_ranges();
        // A fitted page follows the view's size.
        const int fit = c_->page_fit(c_->current_);
        if (fit != no_fit)
            c_->set_page_scale(c_->current_, fit);
    }
    void scrollContentsBy(int, int) override {
        viewport()->update();
        c_->update_status();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        emit c_->event18(c_->object_at(at), at.x(), at.y());
    }
    void mousePressEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        emit c_->event26(c_->object_at(at), at.x(), at.y());
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            emit c_->escape_pressed();
            return;
        }
        QAbstractScrollArea::keyPressEvent(event);
    }

private:
    scheme_control* c_;
};

scheme_control::scheme_control(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    toolbar_ = new QToolBar(this);
    pages_box_ = new QComboBox(toolbar_);
    pages_box_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    toolbar_->addWidget(pages_box_);
    connect(pages_box_, &QComboBox::activated, this,
            [this](int index) { set_current_page(index); });
    toolbar_->addAction("Увеличить", this, [this] { set_scale(scale() + scale() / 10); });
    toolbar_->addAction("Уменьшить", this, [this] { set_scale(scale() - scale() / 10); });
    toolbar_->addAction("Страница целиком", this, [this] { set_scale(fit_page); });
    toolbar_->addAction("По ширине", this, [this] { set_scale(fit_width); });
    toolbar_->addAction("По высоте", this, [this] { set_scale(fit_height); });
    toolbar_->addSeparator();
    toolbar_->addAction("Печать...", this, [this] { print(); });
    toolbar_->addAction("Условные обозначения", this, [this] { show_display_standard(); });
    canvas_ = new scheme_canvas(this);
    status_ = new QStatusBar(this);
    status_label_ = new QLabel(status_);
    status_->addWidget(status_label_, 1);
    layout->addWidget(toolbar_);
    layout->addWidget(canvas_, 1);
    layout->addWidget(status_);
    toolbar_->hide();
    status_->hide();
    connect(&blink_clock::instance(), &blink_clock::ticked, this, &scheme_control::on_tick);
}

scheme_control::~scheme_control() {
    if (holds_clock_)
        blink_clock::instance().release();
}

QWidget* scheme_control::view() const {
    return canvas_->viewport();
}

void scheme_control::open(const std::string& path) {
    if (!own_styles_)
        styles_ = station_styles();
    load(read_sde_file(path), path);
}

void scheme_control::open_text(const std::string& text, const std::string& name) {
    if (!own_styles_ && styles_.empty())
        styles_ = builtin_style_map();
    load(read_sde(text, name), name);
}

void scheme_control::load(sde_scheme scheme, const std::string& name) {
    scheme_ = std::move(scheme);
    file_ = name;
    marked_ = nullptr;
    last_shown_ = nullptr;
    pending_ = QRect();
    pending_any_ = false;
    batch_ = 0;
    current_ = -1;
    scales_.assign(scheme_.pages.size(), 1.0);
    fits_.assign(scheme_.pages.size(), no_fit);
    by_counter_.clear();
    for (sde_page& p : scheme_.pages)
        for (sde_object& o : p.objects)
            by_counter_[o.counter] = &o;
    // Nothing may point into the scheme that was shown before.
    blinking_.clear();
    blink_dirty_ = true;
    refresh_blinking();
    fill_pages();
    set_current_page(scheme_.pages.empty() ? -1 : 0);
    canvas_->update_ranges();
    canvas_->viewport()->update();
    update_status();
}

void scheme_control::fill_pages() {
    pages_box_->clear();
    for (const sde_page& p : scheme_.pages)
        pages_box_->addItem(sde_qstring(std::to_string(p.number) + ". " + p.title));
}

void scheme_control::set_styles(style_library_map styles) {
    styles_ = std::move(styles);
    own_styles_ = true;
    blink_dirty_ = true;
    refresh_blinking();
    canvas_->viewport()->update();
}

void scheme_control::set_toolbar_visible(bool shown) {
    toolbar_->setVisible(shown);
}
void scheme_control::set_statusbar_visible(bool shown) {
    status_->setVisible(shown);
}
bool scheme_control::toolbar_visible() const {
    return !toolbar_->isHidden();
}
bool scheme_control::statusbar_visible() const {
    return !status_->isHidden();
}

void scheme_control::print() {
    if (scheme_.pages.empty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(sde_qstring(file_));
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle("Печать схемы");
    if (dialog.exec() != QDialog::Accepted)
        return;
    print_to(printer);
}

double paint_print_banner(QPainter& painter, double width, const QString& text) {
    const double height = std::max(24.0, width / 30);
    painter.save();
    painter.fillRect(QRectF(0, 0, width, height), QColor(200, 0, 0));
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(static_cast<int>(height * 0.6));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 0, width, height), Qt::AlignCenter, text);
    painter.restore();
    return height * 1.25;
}

void scheme_control::print_to(QPrinter& printer) const {
    QPainter p;
    bool first = true;
    for (const sde_page& page : scheme_.pages) {
        printer.setPageOrientation(page.width > page.height ? QPageLayout::Landscape
                                                            : QPageLayout::Portrait);
        if (first) {
            if (!p.begin(&printer))
                throw nx_exception("не удалось начать печать схемы");
            first = false;
        } else {
            printer.newPage();
        }
        // The page fitted to the paper, its proportions kept.
        QRectF paper = printer.pageLayout().paintRectPixels(printer.resolution());
        double top = 0;
        if (!print_banner_.isEmpty())
            top = paint_print_banner(p, paper.width(), print_banner_);
        paper.setHeight(paper.height() - top);
        const double k = std::min(paper.width() / page.width, paper.height() / page.height);
        p.save();
        p.translate((paper.width() - page.width * k) / 2,
                    top + (paper.height() - page.height * k) / 2);
        p.scale(k, k);
        p.setClipRect(QRectF(0, 0, page.width, page.height));
        paint_context context{&styles_, blink_clock::instance().tick(), k};
        paint_page(p, page, context);
        p.restore();
    }
    if (!first)
        p.end();
}

void scheme_control::show_display_standard() {
    open_display_standard(this, styles_);
}

std::vector<sde_object*> scheme_control::objects_by_property(const std::string& name,
                                                             const std::string& value) {
    std::vector<sde_object*> found;
    for (sde_page& p : scheme_.pages)
        for (sde_object& o : p.objects)
            if (property_value(o, name) == value)
                found.push_back(&o);
    return found;
}

sde_object* scheme_control::first_object(const std::string& name, const std::string& value) {
    // The host looks objects up by counter for every element it draws.
    if (name == "счетчик") {
        char* end = nullptr;
        const long counter = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end || counter < INT_MIN || counter > INT_MAX)
            return nullptr;
        const auto it = by_counter_.find(static_cast<int>(counter));
        return it == by_counter_.end() ? nullptr : it->second;
    }
    for (sde_page& p : scheme_.pages)
        for (sde_object& o : p.objects)
            if (property_value(o, name) == value)
                return &o;
    return nullptr;
}

int scheme_control::page_count() const {
    return static_cast<int>(scheme_.pages.size());
}

sde_page* scheme_control::page_ptr(int index) {
    if (index < 0 || index >= page_count())
        return nullptr;
    return &scheme_.pages[static_cast<std::size_t>(index)];
}

void scheme_control::set_current_page(int index) {
    if (index < -1 || index >= page_count() || index == current_)
        return;
    current_ = index;
    pages_box_->setCurrentIndex(index);
    blink_dirty_ = true;
    refresh_blinking();
    canvas_->update_ranges();
    canvas_->viewport()->update();
    update_status();
    emit event12();
}

void scheme_control::bring_into_view(const sde_object* object) {
    if (!object)
        return;
    for (int i = 0; i < page_count(); ++i)
        if (scheme_.pages[static_cast<std::size_t>(i)].number == object->page)
            set_current_page(i);
    last_shown_ = object;
    const double u = canvas_->unit();
    const QSize view = canvas_->viewport()->size();
    set_scroll_x(static_cast<int>(std::lround(object->x * u - view.width() / 2.0)));
    set_scroll_y(static_cast<int>(std::lround(object->y * u - view.height() / 2.0)));
}

sde_object* scheme_control::view_anchor() {
    sde_page* p = page_ptr(current_);
    if (!p)
        return nullptr;
    for (sde_object& o : p->objects)
        if (&o == last_shown_)
            return &o;
    const double u = canvas_->unit();
    const QSize view = canvas_->viewport()->size();
    const double cx = (scroll_x() + view.width() / 2.0) / u;
    const double cy = (scroll_y() + view.height() / 2.0) / u;
    sde_object* best = nullptr;
    double best_d = std::numeric_limits<double>::max();
    for (sde_object& o : p->objects) {
        const double d = (o.x - cx) * (o.x - cx) + (o.y - cy) * (o.y - cy);
        if (d < best_d) {
            best_d = d;
            best = &o;
        }
    }
    return best;
}

void scheme_control::mark(const sde_object* object, int colour, int) {
    if (marked_)
        request(to_view(object_box(*marked_).adjusted(-3, -3, 3, 3)));
    marked_ = object;
    const auto c = parse_colour(std::to_string(static_cast<unsigned>(colour) & 0xFFFFFF));
    mark_colour_ = c ? QColor(c->r, c->g, c->b) : QColor(Qt::red);
    if (marked_)
        request(to_view(object_box(*marked_).adjusted(-3, -3, 3, 3)));
}

void scheme_control::begin_batch() {
    ++batch_;
}

void scheme_control::end_batch() {
    if (batch_ == 0 || --batch_ > 0)
        return;
    if (pending_any_) {
        pending_any_ = false;
        const QRect area = pending_;
        pending_ = QRect();
        request(area);
    }
    refresh_blinking();
}

std::array<double, 4> scheme_control::bounding_box(const sde_object& o) {
    const QRectF r = object_box(o);
    return {r.left(), r.top(), r.right(), r.bottom()};
}

std::string scheme_control::dispatcher_name_text(const sde_object& o) {
    return o.value("дисп_имя");
}

std::string scheme_control::property_text(const sde_object& o, const std::string& name) {
    if (name == "композитный_стиль") {
        std::string text = "[";
        for (const std::string& s : o.styles)
            text += (text.size() > 1 ? "," : "") + s;
        return text + "]";
    }
    if (name == "счетчик")
        return std::to_string(o.counter);
    if (name == "имя_типа")
        return o.type_name;
    return o.value(name);
}

std::string scheme_control::property_value(const sde_object& o, const std::string& name) const {
    return property_text(o, name);
}

void scheme_control::set_property(sde_object& o, const std::string& name,
                                  const std::string& value) {
    const QRectF before = object_extent(o);
    if (name == "композитный_стиль") {
        auto& s = o.styles;
        if (value == "[]") {
            s.clear();
        } else if (!value.empty() && (value[0] == '+' || value[0] == '-')) {
            const std::string style = value.substr(1);
            const auto it = std::find(s.begin(), s.end(), style);
            if (value[0] == '+' && it == s.end())
                s.push_back(style);
            else if (value[0] == '-' && it != s.end())
                s.erase(it);
            else
                return;
        } else {
            return;
        }
        blink_dirty_ = true;
    } else if (name == "счетчик" || name == "имя_типа") {
        return; // identity of the object, not a property one may write
    } else {
        if (const std::string* old = o.find(name); old && *old == value)
            return;
        o.set(name, value);
    }
    changed(o, before);
}

void scheme_control::changed(const sde_object& o, const QRectF& before) {
    const sde_page* p = page_ptr(current_);
    if (!p || o.page != p->number)
        return;
    const QRect area = to_view(before.united(object_extent(o)));
    if (batch_ > 0) {
        // One rectangle: uniting a region with every write of a large batch costs more than
        // painting the rectangle around them.
        pending_ = pending_any_ ? pending_.united(area) : area;
        pending_any_ = true;
        return;
    }
    request(area);
    refresh_blinking();
}

namespace {

// Many small areas make a clip that costs more than painting their common rectangle.
void update_area(QWidget* view, const QRegion& region) {
    if (region.rectCount() > 16)
        view->update(region.boundingRect());
    else
        view->update(region);
}

} // namespace

void scheme_control::request(const QRegion& region) {
    ++repaints_;
    update_area(canvas_->viewport(), region);
}

QRect scheme_control::to_view(const QRectF& units) const {
    const double u = canvas_->unit();
    const QRectF r(units.left() * u - scroll_x(), units.top() * u - scroll_y(), units.width() * u,
                   units.height() * u);
    return r.toAlignedRect().adjusted(-2, -2, 2, 2);
}

void scheme_control::refresh_blinking() {
    if (!blink_dirty_)
        return;
    blink_dirty_ = false;
    blinking_.clear();
    blink_delays_.clear();
    if (const sde_page* p = page_ptr(current_))
        for (const sde_object& o : p->objects) {
            if (o.styles.empty() || !object_blinks(o, styles_))
                continue;
            blinking_.push_back(&o);
            for (const std::string& name : o.styles) {
                const auto it = styles_.find(name);
                if (it == styles_.end())
                    continue;
                for (int d : {it->second.background.delay, it->second.border.delay,
                              it->second.figure.delay})
                    if (std::find(blink_delays_.begin(), blink_delays_.end(), d) ==
                        blink_delays_.end())
                        blink_delays_.push_back(std::max(1, d));
            }
        }
    const bool wants = !blinking_.empty();
    if (wants != holds_clock_) {
        holds_clock_ = wants;
        if (wants)
            blink_clock::instance().acquire();
        else
            blink_clock::instance().release();
    }
}

void scheme_control::on_tick(unsigned tick) {
    if (blinking_.empty() || !isVisible())
        return;
    bool changes = false;
    for (int d : blink_delays_)
        if (tick % static_cast<unsigned>(d) == 0)
            changes = true;
    if (!changes)
        return;
    // Few blinking objects repaint each its own area; many, the rectangle around them.
    QRegion region;
    QRect around;
    const QRect view = canvas_->viewport()->rect();
    for (const sde_object* o : blinking_) {
        const QRect r = to_view(object_extent(*o));
        if (!r.intersects(view))
            continue;
        around = around.united(r);
        if (blinking_.size() <= 16)
            region += r;
    }
    if (around.isEmpty())
        return;
    if (blinking_.size() <= 16)
        update_area(canvas_->viewport(), region);
    else
        canvas_->viewport()->update(around);
}

int scheme_control::page_number(int index) const {
    return index >= 0 && index < page_count()
               ? scheme_.pages[static_cast<std::size_t>(index)].number
               : 0;
}

std::string scheme_control::page_title(int index) const {
    return index >= 0 && index < page_count() ? scheme_.pages[static_cast<std::size_t>(index)].title
                                              : std::string();
}

int scheme_control::scroll_x() const {
    return canvas_->horizontalScrollBar()->value();
}
int scheme_control::scroll_y() const {
    return canvas_->verticalScrollBar()->value();
}
void scheme_control::set_scroll_x(int x) {
    canvas_->horizontalScrollBar()->setValue(x);
}
void scheme_control::set_scroll_y(int y) {
    canvas_->verticalScrollBar()->setValue(y);
}

double scheme_control::page_scale(int index) const {
    return index >= 0 && index < static_cast<int>(scales_.size())
               ? scales_[static_cast<std::size_t>(index)]
               : 1.0;
}

int scheme_control::page_fit(int index) const {
    return index >= 0 && index < static_cast<int>(fits_.size())
               ? fits_[static_cast<std::size_t>(index)]
               : no_fit;
}

QSize scheme_control::view_size() const {
    return canvas_->maximumViewportSize();
}

void scheme_control::set_scale(double scale) {
    set_page_scale(current_, scale);
}

void scheme_control::set_page_scale(int index, double scale) {
    const sde_page* p = page_ptr(index);
    if (!p)
        return;
    // Fitting uses the whole view, as it is without scroll bars.
    const QSize view = view_size();
    int mode = no_fit;
    if (scale <= 0 && scale >= -2 && scale == std::floor(scale)) {
        mode = static_cast<int>(scale);
        double s = fit_scale(mode, p->width, p->height, view.width(), view.height());
        // Fitted to one side, the other may need a scroll bar, which takes room from the first.
        const int bar = canvas_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        if (mode == fit_width && p->height * s * sde_pixels_per_unit > view.height())
            s = fit_scale(mode, p->width, p->height, view.width() - bar, view.height());
        if (mode == fit_height && p->width * s * sde_pixels_per_unit > view.width())
            s = fit_scale(mode, p->width, p->height, view.width(), view.height() - bar);
        scale = s;
        // Kept even while the view has no size yet: the page is fitted when it gets one.
        fits_[static_cast<std::size_t>(index)] = mode;
    }
    if (!(scale > 0) || !std::isfinite(scale))
        return;
    scale = std::clamp(scale, min_scale, max_scale);
    fits_[static_cast<std::size_t>(index)] = mode;
    const double old = scales_[static_cast<std::size_t>(index)];
    scales_[static_cast<std::size_t>(index)] = scale;
    if (index != current_)
        return;
    // The middle of the view stays where it is.
    const QSize shown = canvas_->viewport()->size();
    const double k = scale / old;
    const double cx = (scroll_x() + shown.width() / 2.0) * k - shown.width() / 2.0;
    const double cy = (scroll_y() + shown.height() / 2.0) * k - shown.height() / 2.0;
    canvas_->update_ranges();
    set_scroll_x(static_cast<int>(std::lround(cx)));
    set_scroll_y(static_cast<int>(std::lround(cy)));
    canvas_->viewport()->update();
    update_status();
}

sde_object* scheme_control::object_at(QPoint view_point) {
    sde_page* p = page_ptr(current_);
    if (!p)
        return nullptr;
    const double u = canvas_->unit();
    const QPointF at((view_point.x() + scroll_x()) / u, (view_point.y() + scroll_y()) / u);
    // The object drawn last lies on top.
    for (auto it = p->objects.rbegin(); it != p->objects.rend(); ++it)
        if (it->value("реакция_на_мышь") == "есть" && object_box(*it).contains(at))
            return &*it;
    return nullptr;
}

QImage scheme_control::render_page(int index, double scale) const {
    if (index < 0 || index >= page_count())
        return {};
    const sde_page& page = scheme_.pages[static_cast<std::size_t>(index)];
    const double u = scale * sde_pixels_per_unit;
    QImage image(static_cast<int>(std::ceil(page.width * u)),
                 static_cast<int>(std::ceil(page.height * u)), QImage::Format_RGB32);
    QPainter p(&image);
    p.scale(u, u);
    paint_context context{&styles_, blink_clock::instance().tick(), u};
    paint_page(p, page, context);
    return image;
}

void scheme_control::update_status() {
    if (current_ < 0) {
        status_label_->clear();
        return;
    }
    status_label_->setText(QString("Страница %1: %2    Масштаб %3 %")
                               .arg(page_number(current_))
                               .arg(sde_qstring(page_title(current_)))
                               .arg(std::lround(scale() * 100)));
}

} // namespace nxkit
