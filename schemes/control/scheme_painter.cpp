#include "schemes/control/scheme_painter.h"

#include "schemes/control/voltage_classes.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace nxkit {

QString sde_qstring(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QColor to_qcolor(const std::string& text, const QColor& fallback) {
    const auto c = parse_colour(text);
    if (!c)
        return fallback;
    if (c->transparent)
        return Qt::transparent;
    return QColor(c->r, c->g, c->b);
}

namespace {

const QColor on_colour(220, 0, 0);
const QColor off_colour(0, 150, 0);
const QColor unknown_colour(150, 150, 150);
const QColor lamp_lit(255, 215, 0);
const QColor lamp_dark(70, 70, 70);
const QColor text_colour(20, 20, 20);
const QColor value_colour(0, 40, 140);
// Primary equipment that names no voltage class.
const QColor equipment_colour(0, 80, 180);

constexpr double label_size = 3.0;
constexpr double style_margin = 0.6;
constexpr double line_width = 0.45;

const char* const position = "положение";
const char* const busbar_voltage = "напряжение";
const char* const fuse_condition = "состояние";

struct text_options {
    double size = 3;
    QColor colour = text_colour;
    bool bold = false;
    int flags = Qt::AlignCenter;
};

QFont text_font(bool bold, int pixels = 100) {
    QFont f("DejaVu Sans");
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// Text of height `size` page units in `rect`. Under a plain scale the text is drawn at its
// device size, so the glyph cache serves it; a rotated painter lays it out at 100 pixels and
// scales, which keeps its shape but costs more.
void draw_text(QPainter& p, const QRectF& rect, const QString& text, const text_options& o) {
    if (text.isEmpty() || o.size <= 0)
        return;
    const QTransform t = p.transform();
    p.save();
    p.setPen(o.colour);
    if (t.type() <= QTransform::TxScale && t.m11() > 0 && t.m22() > 0) {
        const double pixels = o.size * t.m22();
        if (pixels < 1) {
            p.restore();
            return;
        }
        const QRectF device = t.mapRect(rect);
        p.resetTransform();
        p.setFont(text_font(o.bold, std::max(1, static_cast<int>(std::lround(pixels)))));
        p.drawText(device, o.flags | Qt::TextDontClip, text);
    } else {
        const double k = o.size / 100.0;
        p.translate(rect.topLeft());
        p.scale(k, k);
        p.setFont(text_font(o.bold));
        p.drawText(QRectF(0, 0, rect.width() / k, rect.height() / k), o.flags | Qt::TextDontClip,
                   text);
    }
    p.restore();
}

double text_width(const QString& text, double size, bool bold = false) {
    // Measured once per weight at 100 pixels; only read afterwards.
    static const QFontMetricsF regular(text_font(false));
    static const QFontMetricsF heavy(text_font(true));
    return (bold ? heavy : regular).horizontalAdvance(text) * size / 100.0;
}

QPen pen(const QColor& c, double width = line_width) {
    QPen pn(c, width);
    pn.setCapStyle(Qt::FlatCap);
    pn.setJoinStyle(Qt::MiterJoin);
    return pn;
}

// On, off or unknown for the types whose look follows "положение".
enum class state { on, off, unknown };

state switch_state(const sde_object& o, const char* property, const char* on, const char* off) {
    const std::string* v = o.find(property);
    if (!v)
        return state::unknown;
    if (*v == on)
        return state::on;
    if (*v == off)
        return state::off;
    return state::unknown;
}

state switch_state(const sde_object& o, const char* on, const char* off) {
    return switch_state(o, position, on, off);
}

// Mirror (attribute `mirror="1"`) flips the picture left to right before the rotation, as the
// terminals are placed; symbols with letters in them are symmetric and stay readable unflipped.
bool is_mirrored_object(const sde_object& o) {
    static const std::vector<std::string> lettered = {
        "текст",     "ячейка_таблицы", "метка", "табло", "прибор_реальный", "прибор_настраиваемый",
        "генератор", "двигатель",      "шина",  "лампа"};
    if (std::find(lettered.begin(), lettered.end(), o.type_name) != lettered.end())
        return false;
    const auto& known = known_symbols();
    if (std::none_of(known.begin(), known.end(),
                     [&](const symbol_states& s) { return s.type == o.type_name; }))
        return false; // a frame with the type's name

    for (const auto& [name, value] : o.unknown)
        if (name == "mirror")
            return value == "1";
    return false;
}

QColor colour_of(state s) {
    return s == state::on ? on_colour : s == state::off ? off_colour : unknown_colour;
}

void question_mark(QPainter& p, double w, double h) {
    const double size = std::min(w, h) * 0.8;
    draw_text(p, QRectF(-w / 2, -h / 2, w, h), "?",
              {size, QColor(60, 60, 60), true, Qt::AlignCenter});
}

// Switching apparatus are drawn upright in a box w x h around the origin, connected at the
// middle of the top and bottom edges.

void draw_breaker(QPainter& p, double w, double h, state s, bool withdrawable) {
    const QColor c = colour_of(s);
    const double side = std::min(w, h * (withdrawable ? 0.42 : 0.6));
    const QRectF square(-side / 2, -side / 2, side, side);
    p.setPen(pen(c));
    p.drawLine(QPointF(0, -h / 2), QPointF(0, -side / 2));
    p.drawLine(QPointF(0, side / 2), QPointF(0, h / 2));
    p.setBrush(s == state::on    ? QBrush(c)
               : s == state::off ? QBrush(Qt::white)
                                 : QBrush(QColor(225, 225, 225)));
    p.drawRect(square);
    p.setBrush(Qt::NoBrush);
    if (withdrawable) {
        // The plug-in contacts: a pair of chevrons on each lead, pointing at the breaker.
        const double lead = h / 2 - side / 2;
        const double cw = side * 0.32, ch = lead * 0.2;
        for (const double dir : {-1.0, 1.0})
            for (const double at : {0.3, 0.62}) {
                const double y = dir * (side / 2 + lead * at);
                p.drawPolyline(QPolygonF(
                    {QPointF(-cw, y + dir * ch), QPointF(0, y), QPointF(cw, y + dir * ch)}));
            }
    }
}

// A disconnector: a blade from the pivot below to the fixed contact above, the contact marked
// by a short bar across the line; open, the blade stands at an angle.
void draw_blade(QPainter& p, double w, double h, state s, double contact, double pivot,
                double bottom) {
    const QColor c = colour_of(s);
    p.setPen(pen(c));
    p.drawLine(QPointF(0, -h / 2), QPointF(0, contact));
    p.drawLine(QPointF(-w * 0.3, contact), QPointF(w * 0.3, contact));
    p.drawLine(QPointF(0, pivot), QPointF(0, bottom));
    const double length = pivot - contact;
    if (s == state::on) {
        p.drawLine(QPointF(0, pivot), QPointF(0, contact));
    } else {
        const double angle = (s == state::off ? 30.0 : 15.0) * M_PI / 180.0;
        p.drawLine(QPointF(0, pivot),
                   QPointF(length * std::sin(angle), pivot - length * std::cos(angle)));
    }
    // The pivot's dot, where it is large enough to see.
    const double r = std::min(w, h) * 0.06;
    if (r * std::hypot(p.transform().m11(), p.transform().m12()) >= 1.2) {
        p.setBrush(c);
        p.drawEllipse(QPointF(0, pivot), r, r);
        p.setBrush(Qt::NoBrush);
    }
}

// An earthing switch: the blade, and below its pivot the earth mark.
void draw_earthing(QPainter& p, double w, double h, state s) {
    const double earth = h * 0.34;
    draw_blade(p, w, h, s, -h * 0.26, h * 0.16, earth);
    p.setPen(pen(colour_of(s)));
    for (int i = 0; i < 3; ++i) {
        const double half = w * (0.4 - i * 0.13);
        const double y = earth + i * h * 0.06;
        p.drawLine(QPointF(-half, y), QPointF(half, y));
    }
}

void draw_connection(QPainter& p, double w, double h, state s) {
    const QColor c = colour_of(s);
    p.setPen(pen(c));
    const double tip = h / 2, base = h / 2 - std::min(w, h) * 0.55;
    p.drawLine(QPointF(0, -h / 2), QPointF(0, base));
    const QPolygonF arrow({QPointF(-w * 0.35, base), QPointF(w * 0.35, base), QPointF(0, tip)});
    p.setBrush(s == state::on ? QBrush(c) : QBrush(Qt::white));
    p.drawPolygon(arrow);
    p.setBrush(Qt::NoBrush);
}

// Primary equipment is drawn upright in its box like the switching devices: terminal 1 at the
// middle of the top edge, terminal 2 at the bottom, a third winding's at the right.

void earth_mark(QPainter& p, double w, double y, double step) {
    for (int i = 0; i < 3; ++i) {
        const double half = w * (0.4 - i * 0.13);
        p.drawLine(QPointF(-half, y + i * step), QPointF(half, y + i * step));
    }
}

// A busbar lies along its width. Energised it is solid in its colour; de-energised only its
// outline is left, so the two never pass for each other at any scale.
void draw_busbar(QPainter& p, double w, double h, state s, const QColor& colour) {
    const QRectF bar(-w / 2, -h / 2, w, h);
    if (s == state::on) {
        p.fillRect(bar, colour);
        return;
    }
    const QColor c = s == state::off ? colour : unknown_colour;
    const double edge = std::min(h * 0.3, line_width);
    p.setPen(pen(c, edge));
    p.setBrush(s == state::off ? QBrush(Qt::white) : QBrush(QColor(225, 225, 225)));
    p.drawRect(bar.adjusted(edge / 2, edge / 2, -edge / 2, -edge / 2));
    p.setBrush(Qt::NoBrush);
}

// Two overlapping windings on the axis; the autotransformer's upper winding is an arc over the
// lower one, as the common winding is drawn.
void draw_transformer(QPainter& p, double w, double h, const QColor& c, bool auto_winding) {
    const double r = std::min(w * 0.47, h / 3.4);
    const double d = r * 0.6;
    p.setPen(pen(c));
    p.drawLine(QPointF(0, -h / 2), QPointF(0, -d - r));
    p.drawLine(QPointF(0, d + r), QPointF(0, h / 2));
    p.drawEllipse(QPointF(0, d), r, r);
    if (auto_winding)
        p.drawArc(QRectF(-r, -d - r, 2 * r, 2 * r), 0, 180 * 16);
    else
        p.drawEllipse(QPointF(0, -d), r, r);
}

void draw_three_winding(QPainter& p, double w, double h, const QColor& c) {
    // Small enough that terminal 3 keeps a lead of its own.
    const double r = std::min(w / 4.6, h / 3.4);
    const double d = r * 0.6, side = r * 1.04;
    p.setPen(pen(c));
    p.drawLine(QPointF(0, -h / 2), QPointF(0, -d - r));
    p.drawLine(QPointF(0, d + r), QPointF(0, h / 2));
    p.drawLine(QPointF(side + r, 0), QPointF(w / 2, 0));
    p.drawEllipse(QPointF(0, -d), r, r);
    p.drawEllipse(QPointF(0, d), r, r);
    p.drawEllipse(QPointF(side, 0), r, r);
}

void draw_voltage_transformer(QPainter& p, double w, double h, const QColor& c) {
    const double r = std::min(w * 0.45, h * 0.22);
    const double first = -h / 2 + h * 0.25 + r;
    p.setPen(pen(c));
    p.drawLine(QPointF(0, -h / 2), QPointF(0, first - r));
    p.drawEllipse(QPointF(0, first), r, r);
    p.drawEllipse(QPointF(0, first + 1.2 * r), r, r);
}

void draw_current_transformer(QPainter& p, double w, double h, const QColor& c) {
    const double r = std::min(w * 0.4, h * 0.3);
    p.setPen(pen(c));
    p.drawLine(QPointF(0, -h / 2), QPointF(0, h / 2));
    p.drawEllipse(QPointF(0, 0), r, r);
}

// A reactor: the lead turns into three quarters of a loop and leaves downwards.
void draw_reactor(QPainter& p, double w, double h, const QColor& c) {
    const double r = std::min(w * 0.4, h * 0.28);
    p.setPen(pen(c));
    p.drawLine(QPointF(0, -h / 2), QPointF(0, 0));
    p.drawLine(QPointF(0, 0), QPointF(-r, 0));
    p.drawArc(QRectF(-r, -r, 2 * r, 2 * r), 180 * 16, -270 * 16);
    p.drawLine(QPointF(0, r), QPointF(0, h / 2));
}

void draw_capacitor(QPainter& p, double w, double h, const QColor& c) {
    const double gap = h * 0.07, plate = w * 0.38;
    p.setPen(pen(c));
    p.drawLine(QPointF(0, -h / 2), QPointF(0, -gap));
    p.setPen(pen(c, line_width * 1.6));
    p.drawLine(QPointF(-plate, -gap), QPointF(plate, -gap));
    p.drawLine(QPointF(-plate, gap), QPointF(plate, gap));
    p.setPen(pen(c));
    p.drawLine(QPointF(0, gap), QPointF(0, h * 0.28));
    earth_mark(p, w, h * 0.28, h * 0.07);
}

// A fuse: the body with the link through it; a blown link is broken in the middle.
void draw_fuse(QPainter& p, double w, double h, state s) {
    const QColor c = colour_of(s);
    const QRectF body(-w * 0.3, -h * 0.28, w * 0.6, h * 0.56);
    p.setPen(pen(c));
    p.setBrush(Qt::white);
    p.drawRect(body);
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(0, -h / 2), QPointF(0, body.top()));
    p.drawLine(QPointF(0, body.bottom()), QPointF(0, h / 2));
    if (s == state::off) {
        const double gap = h * 0.1;
        p.drawLine(QPointF(0, body.top()), QPointF(0, -gap));
        p.drawLine(QPointF(0, gap), QPointF(0, body.bottom()));
    } else {
        p.drawLine(QPointF(0, body.top()), QPointF(0, body.bottom()));
    }
}

void draw_arrester(QPainter& p, double w, double h, const QColor& c) {
    const QRectF body(-w * 0.25, -h * 0.3, w * 0.5, h * 0.42);
    p.setPen(pen(c));
    p.drawLine(QPointF(0, -h / 2), QPointF(0, body.top()));
    p.drawRect(body);
    // The arrow of the discharge, pointing to earth.
    const double tip = body.bottom() - h * 0.05;
    p.drawLine(QPointF(0, body.top() + h * 0.05), QPointF(0, tip));
    p.setBrush(c);
    p.drawPolygon(QPolygonF(
        {QPointF(-w * 0.1, tip - h * 0.08), QPointF(w * 0.1, tip - h * 0.08), QPointF(0, tip)}));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(0, body.bottom()), QPointF(0, h * 0.28));
    earth_mark(p, w, h * 0.28, h * 0.07);
}

void draw_machine(QPainter& p, double w, double h, const QColor& c, const QString& letter) {
    const double lead = h * 0.15;
    const double r = std::min(w / 2, (h - lead) / 2) * 0.95;
    const QPointF centre(0, -h / 2 + lead + r);
    p.setPen(pen(c));
    p.drawLine(QPointF(0, -h / 2), QPointF(0, centre.y() - r));
    p.drawEllipse(centre, r, r);
    draw_text(p, QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), letter,
              {r * 1.1, c, true, Qt::AlignCenter});
}

// A cable termination: the cable's funnel on the line.
void draw_cable_end(QPainter& p, double w, double h, const QColor& c) {
    p.setPen(pen(c));
    p.drawLine(QPointF(0, -h / 2), QPointF(0, h / 2));
    const double half = w * 0.35;
    p.drawPolygon(
        QPolygonF({QPointF(0, -h * 0.18), QPointF(half, h * 0.18), QPointF(-half, h * 0.18)}));
}

void draw_earth(QPainter& p, double w, double h, const QColor& c) {
    p.setPen(pen(c));
    p.drawLine(QPointF(0, -h / 2), QPointF(0, 0));
    earth_mark(p, w, 0, h * 0.15);
}

void draw_lamp(QPainter& p, double w, double h, state s) {
    const double r = std::min(w, h) / 2 * 0.9;
    const QColor fill = s == state::on    ? lamp_lit
                        : s == state::off ? lamp_dark
                                          : QColor(200, 200, 200);
    p.setPen(pen(s == state::on ? QColor(150, 100, 0) : QColor(30, 30, 30)));
    p.setBrush(fill);
    p.drawEllipse(QPointF(0, 0), r, r);
    p.setBrush(Qt::NoBrush);
    const double d = r * std::sqrt(0.5);
    p.drawLine(QPointF(-d, -d), QPointF(d, d));
    p.drawLine(QPointF(-d, d), QPointF(d, -d));
}

void draw_board(QPainter& p, const sde_object& o, double w, double h, state s) {
    const QRectF box(-w / 2, -h / 2, w, h);
    p.setPen(pen(QColor(30, 30, 30), line_width * 0.8));
    p.setBrush(s == state::on    ? QColor(255, 60, 40)
               : s == state::off ? QColor(60, 60, 60)
                                 : QColor(200, 200, 200));
    p.drawRect(box);
    p.setBrush(Qt::NoBrush);
    const QColor text = s == state::on    ? Qt::white
                        : s == state::off ? QColor(150, 150, 150)
                                          : QColor(90, 90, 90);
    if (s == state::unknown)
        return; // the question mark alone: a text under it would be unreadable
    draw_text(p, box.adjusted(w * 0.05, 0, -w * 0.05, 0), sde_qstring(o.value("текст")),
              {std::min(h * 0.45, 3.5), text, true, Qt::AlignCenter | Qt::TextWordWrap});
}

void draw_text_object(QPainter& p, const sde_object& o, double w, double h, bool cell, bool mark) {
    const QRectF box(-w / 2, -h / 2, w, h);
    if (cell) {
        p.setPen(pen(QColor(90, 90, 90), line_width * 0.5));
        p.setBrush(to_qcolor(o.value("фон"), Qt::white));
        p.drawRect(box);
        p.setBrush(Qt::NoBrush);
    }
    const QColor colour = to_qcolor(o.value("цвет"), text_colour);
    int flags = Qt::AlignVCenter | (mark ? Qt::AlignLeft : Qt::AlignHCenter);
    draw_text(p, box.adjusted(cell ? w * 0.04 : 0, 0, cell ? -w * 0.04 : 0, 0),
              sde_qstring(o.value("текст")), {h * 0.62, colour, false, flags});
}

void draw_instrument(QPainter& p, const sde_object& o, double w, double h, bool configurable) {
    const QRectF box(-w / 2, -h / 2, w, h);
    p.setPen(pen(value_colour, line_width * 0.6));
    p.setBrush(QColor(245, 248, 255));
    if (configurable)
        p.drawRoundedRect(box, h * 0.4, h * 0.4);
    else
        p.drawRect(box);
    p.setBrush(Qt::NoBrush);
    const std::string value = o.value("значение");
    const QString text = value.empty() ? QString("—") : sde_qstring(value);
    draw_text(p, box, text,
              {h * 0.62, value.empty() ? unknown_colour : value_colour, true, Qt::AlignCenter});
}

void draw_unknown_type(QPainter& p, const sde_object& o, double w, double h) {
    const QRectF box(-w / 2, -h / 2, w, h);
    QPen pn = pen(QColor(110, 110, 110), line_width * 0.6);
    pn.setStyle(Qt::DashLine);
    p.setPen(pn);
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(box);
    p.setBrush(Qt::NoBrush);
    draw_text(p, box.adjusted(0.3, 0.3, -0.3, -0.3), sde_qstring(o.type_name),
              {std::min(h * 0.3, 2.5), QColor(60, 60, 60), false,
               Qt::AlignCenter | Qt::TextWrapAnywhere});
}

QString label_text(const sde_object& o) {
    return sde_qstring(o.value("дисп_имя")).trimmed();
}

// With `measured` false the width is a cheap upper bound (repaint areas), else the text's.
QRectF label_rect(const sde_object& o, bool measured = true) {
    const QString text = label_text(o);
    if (text.isEmpty() || o.label_side == "none")
        return {};
    const QRectF box = object_box(o);
    const double w = measured ? text_width(text, label_size, true) + 0.2
                              : static_cast<double>(text.size()) * label_size * 0.85 + 0.2;
    const double h = label_size * 1.25;
    const std::string& side = o.label_side;
    if (side == "left")
        return QRectF(box.left() - 1.5 - w, o.y - h / 2, w, h);
    if (side == "top")
        return QRectF(o.x - w / 2, box.top() - 0.5 - h, w, h);
    if (side == "bottom")
        return QRectF(o.x - w / 2, box.bottom() + 0.5, w, h);
    return QRectF(box.right() + 1.5, o.y - h / 2, w, h);
}

const style_phase* phase_of(const style_part& part, unsigned tick) {
    if (!part.present || part.phases.empty())
        return nullptr;
    if (!part.blinking || part.phases.size() == 1)
        return &part.phases[0];
    const unsigned delay = static_cast<unsigned>(std::max(1, part.delay));
    return &part.phases[(tick / delay) % part.phases.size()];
}

QPointF corner_point(const QRectF& box, const std::string& corner) {
    if (corner == "cvLeftTop")
        return box.topLeft();
    if (corner == "cvRightTop")
        return box.topRight();
    if (corner == "cvLeftBottom")
        return box.bottomLeft();
    if (corner == "cvRightBottom")
        return box.bottomRight();
    return box.center();
}

void paint_figure(QPainter& p, const style_figure& f, const QRectF& box, const paint_context& c) {
    const style_phase* border = phase_of(f.border, c.tick);
    const style_phase* background = phase_of(f.background, c.tick);
    const QColor line = border ? to_qcolor(border->color, Qt::black) : QColor(Qt::transparent);
    const QColor fill =
        background ? to_qcolor(background->color, Qt::transparent) : QColor(Qt::transparent);
    const double small = std::min(box.width(), box.height());
    double size = f.size_absolute ? f.size_width / c.pixels_per_unit : small * 0.3;
    size = std::max(size, 6.0 / c.pixels_per_unit);
    QPen pn(line, border ? border->width : 1);
    pn.setCosmetic(true);
    p.setPen(line.alpha() == 0 ? QPen(Qt::NoPen) : pn);
    p.setBrush(fill.alpha() == 0 ? QBrush(Qt::NoBrush) : QBrush(fill));
    for (const std::string& corner : f.corners) {
        const QPointF at = corner_point(box, corner);
        if (f.code == "fcDKrest" && at == box.center()) {
            // Not under control: a small cross left a normal-looking symbol. The symbol is
            // washed out and crossed from corner to corner, so it never passes for a live
            // position at any zoom.
            p.save();
            p.setPen(Qt::NoPen);
            p.fillRect(box, QColor(255, 255, 255, 170));
            QPen heavy(line.alpha() == 0 ? QColor(Qt::black) : line,
                       std::max(3.0, (border ? border->width : 1) * 1.5));
            heavy.setCosmetic(true);
            heavy.setCapStyle(Qt::FlatCap);
            p.setPen(heavy);
            p.drawLine(box.topLeft(), box.bottomRight());
            p.drawLine(box.bottomLeft(), box.topRight());
            p.restore();
        } else if (f.code == "fcDKrest") {
            const double d = size / 2;
            p.drawLine(at + QPointF(-d, -d), at + QPointF(d, d));
            p.drawLine(at + QPointF(-d, d), at + QPointF(d, -d));
        } else if (f.code == "fcCircle") {
            p.drawEllipse(at, size / 2, size / 2);
        } else if (f.code == "fcCorner") {
            const double len = small * 0.3;
            const double dx = at.x() < box.center().x() ? len : -len;
            const double dy = at.y() < box.center().y() ? len : -len;
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(QPolygonF({at + QPointF(dx, 0), at, at + QPointF(0, dy)}));
        }
    }
    p.setBrush(Qt::NoBrush);
}

QRectF style_box(const sde_object& o) {
    return object_box(o).adjusted(-style_margin, -style_margin, style_margin, style_margin);
}

} // namespace

QRectF object_box(const sde_object& o) {
    const bool turned = o.rotation == 90 || o.rotation == 270;
    const double w = turned ? o.h : o.w, h = turned ? o.w : o.h;
    return QRectF(o.x - w / 2, o.y - h / 2, w, h);
}

QRectF object_extent(const sde_object& o) {
    QRectF r = style_box(o).adjusted(-1.5, -1.5, 1.5, 1.5);
    const QRectF label = label_rect(o, false);
    return label.isNull() ? r : r.united(label.adjusted(-0.5, -0.5, 0.5, 0.5));
}

const std::vector<symbol_states>& known_symbols() {
    static const std::vector<symbol_states> symbols = {
        {"выключатель", position, {"включен", "отключен"}},
        {"выключатель_выдвижной", position, {"включен", "отключен"}},
        {"разъединитель", position, {"включен", "отключен"}},
        {"заземляющий_нож", position, {"включен", "отключен"}},
        {"присоединение", position, {"включен", "отключен"}},
        {"лампа", position, {"горит", "не_горит"}},
        {"табло", position, {"горит", "не_горит"}},
        {"текст", "текст", {}},
        {"ячейка_таблицы", "текст", {}},
        {"метка", "текст", {}},
        {"прибор_реальный", "значение", {}},
        {"прибор_настраиваемый", "значение", {}},
        {"шина", busbar_voltage, {"есть", "нет"}},
        {"предохранитель", fuse_condition, {"исправен", "перегорел"}},
        {"трансформатор", "", {}},
        {"трансформатор_трехобмоточный", "", {}},
        {"автотрансформатор", "", {}},
        {"трансформатор_напряжения", "", {}},
        {"трансформатор_тока", "", {}},
        {"реактор", "", {}},
        {"конденсаторная_батарея", "", {}},
        {"разрядник", "", {}},
        {"генератор", "", {}},
        {"двигатель", "", {}},
        {"кабельная_муфта", "", {}},
        {"заземление", "", {}},
    };
    return symbols;
}

bool symbol_state_known(const sde_object& o) {
    for (const symbol_states& s : known_symbols())
        if (s.type == o.type_name) {
            if (s.values.empty())
                return true;
            const std::string* v = o.find(s.property);
            return v && std::find(s.values.begin(), s.values.end(), *v) != s.values.end();
        }
    return false;
}

void paint_symbol(QPainter& p, const sde_object& o) {
    paint_symbol(p, o, default_voltage_classes());
}

namespace {

QColor class_colour(const sde_attributes& attributes, const voltage_table& voltage,
                    const QColor& fallback) {
    const auto kv = voltage_class_of(attributes);
    if (!kv)
        return fallback;
    return to_qcolor(voltage_colour(voltage, *kv), fallback);
}

} // namespace

void paint_symbol(QPainter& p, const sde_object& o, const voltage_table& voltage) {
    p.save();
    p.translate(o.x, o.y);
    p.rotate(o.rotation);
    const double w = o.w, h = o.h;
    const std::string& t = o.type_name;
    if (is_mirrored_object(o))
        p.scale(-1, 1);
    state s = state::unknown;
    bool known_type = true;
    // Primary equipment without a state of its own: in its class's colour.
    const QColor equipment = class_colour(o.unknown, voltage, equipment_colour);
    if (t == "выключатель" || t == "выключатель_выдвижной") {
        s = switch_state(o, "включен", "отключен");
        draw_breaker(p, w, h, s, t == "выключатель_выдвижной");
    } else if (t == "разъединитель") {
        s = switch_state(o, "включен", "отключен");
        draw_blade(p, w, h, s, -h * 0.22, h * 0.25, h / 2);
    } else if (t == "заземляющий_нож") {
        s = switch_state(o, "включен", "отключен");
        draw_earthing(p, w, h, s);
    } else if (t == "присоединение") {
        s = switch_state(o, "включен", "отключен");
        draw_connection(p, w, h, s);
    } else if (t == "лампа") {
        s = switch_state(o, "горит", "не_горит");
        draw_lamp(p, w, h, s);
    } else if (t == "табло") {
        s = switch_state(o, "горит", "не_горит");
        draw_board(p, o, w, h, s);
    } else if (t == "шина") {
        s = switch_state(o, busbar_voltage, "есть", "нет");
        draw_busbar(p, w, h, s, equipment);
        if (s == state::unknown) {
            // The bar is too thin for a mark inside it.
            const double size = std::max(h * 2.5, 3.0);
            draw_text(p, QRectF(-size, -size / 2, 2 * size, size), "?",
                      {size, QColor(60, 60, 60), true, Qt::AlignCenter});
        }
        p.restore();
        return;
    } else if (t == "предохранитель") {
        s = switch_state(o, fuse_condition, "исправен", "перегорел");
        draw_fuse(p, w, h, s);
    } else {
        s = state::on; // the look of the rest follows a text, or has no state at all
        if (t == "текст" || t == "ячейка_таблицы" || t == "метка")
            draw_text_object(p, o, w, h, t == "ячейка_таблицы", t == "метка");
        else if (t == "прибор_реальный" || t == "прибор_настраиваемый")
            draw_instrument(p, o, w, h, t == "прибор_настраиваемый");
        else if (t == "трансформатор" || t == "автотрансформатор")
            draw_transformer(p, w, h, equipment, t == "автотрансформатор");
        else if (t == "трансформатор_трехобмоточный")
            draw_three_winding(p, w, h, equipment);
        else if (t == "трансформатор_напряжения")
            draw_voltage_transformer(p, w, h, equipment);
        else if (t == "трансформатор_тока")
            draw_current_transformer(p, w, h, equipment);
        else if (t == "реактор")
            draw_reactor(p, w, h, equipment);
        else if (t == "конденсаторная_батарея")
            draw_capacitor(p, w, h, equipment);
        else if (t == "разрядник")
            draw_arrester(p, w, h, equipment);
        else if (t == "генератор")
            draw_machine(p, w, h, equipment, "G");
        else if (t == "двигатель")
            draw_machine(p, w, h, equipment, "M");
        else if (t == "кабельная_муфта")
            draw_cable_end(p, w, h, equipment);
        else if (t == "заземление")
            draw_earth(p, w, h, equipment);
        else {
            known_type = false;
            draw_unknown_type(p, o, w, h);
        }
    }
    if (known_type && s == state::unknown)
        question_mark(p, w, h);
    p.restore();
}

void paint_label(QPainter& p, const sde_object& o) {
    const QRectF r = label_rect(o);
    if (r.isNull())
        return;
    const QColor colour = to_qcolor(o.value("подпись.цвет"), text_colour);
    int flags = Qt::AlignVCenter | Qt::AlignLeft;
    if (o.label_side == "left")
        flags = Qt::AlignVCenter | Qt::AlignRight;
    else if (o.label_side == "top" || o.label_side == "bottom")
        flags = Qt::AlignCenter;
    draw_text(p, r, label_text(o), {label_size, colour, true, flags});
}

void paint_object(QPainter& p, const sde_object& o, const paint_context& c) {
    const QRectF box = style_box(o);
    std::vector<const style_def*> active;
    if (c.styles)
        for (const std::string& name : o.styles) {
            const auto it = c.styles->find(name);
            if (it != c.styles->end())
                active.push_back(&it->second);
        }
    // Backgrounds go under the symbol: a solid tint over it would hide the position.
    for (const style_def* s : active) {
        const style_phase* ph = phase_of(s->background, c.tick);
        if (!ph || ph->style != "bsSolid")
            continue;
        const QColor fill = to_qcolor(ph->color, Qt::transparent);
        if (fill.alpha() != 0)
            p.fillRect(box, fill);
    }
    paint_symbol(p, o, c.voltage ? *c.voltage : default_voltage_classes());
    paint_label(p, o);
    for (const style_def* s : active) {
        const style_phase* ph = phase_of(s->border, c.tick);
        if (!ph || s->border.style == "psClear")
            continue;
        const QColor line = to_qcolor(ph->color, Qt::transparent);
        if (line.alpha() == 0)
            continue;
        QPen pn(line, ph->width);
        pn.setCosmetic(true);
        pn.setJoinStyle(Qt::MiterJoin);
        p.setPen(pn);
        p.setBrush(Qt::NoBrush);
        // The border lies outside the box, so that it never covers the symbol.
        const double half = ph->width / 2 / c.pixels_per_unit;
        p.drawRect(box.adjusted(-half, -half, half, half));
    }
    for (const style_def* s : active)
        if (s->figure.present)
            paint_figure(p, s->figure, box, c);
}

void paint_shape(QPainter& p, const sde_shape& s) {
    paint_shape(p, s, default_voltage_classes());
}

void paint_shape(QPainter& p, const sde_shape& s, const voltage_table& voltage) {
    const std::vector<double>& v = s.coords;
    if (s.kind == sde_shape::text) {
        const QColor colour = to_qcolor(s.color, text_colour);
        const QString text = sde_qstring(s.content);
        int flags = Qt::AlignLeft;
        if (s.align == "center")
            flags = Qt::AlignHCenter;
        else if (s.align == "right")
            flags = Qt::AlignRight;
        const double w = v[2] > 0 ? v[2] : text_width(text, s.size, s.bold) + 0.2;
        double x = v[0];
        if (v[2] <= 0 && s.align == "center")
            x -= w / 2;
        else if (v[2] <= 0 && s.align == "right")
            x -= w;
        const double h = v[3] > 0 ? v[3] : s.size * 1.25;
        draw_text(
            p, QRectF(x, v[1], w, h), text,
            {s.size, colour, s.bold, flags | Qt::AlignTop | (v[2] > 0 ? Qt::TextWordWrap : 0)});
        return;
    }
    // A wire or line naming its voltage class takes the class's colour.
    QPen pn(class_colour(s.unknown, voltage, to_qcolor(s.color, Qt::black)), s.width);
    if (s.dash == "dash")
        pn.setStyle(Qt::DashLine);
    else if (s.dash == "dot")
        pn.setStyle(Qt::DotLine);
    else if (s.dash == "dashdot")
        pn.setStyle(Qt::DashDotLine);
    pn.setCapStyle(Qt::SquareCap);
    if (pn.color().alpha() == 0 || s.width <= 0)
        p.setPen(Qt::NoPen);
    else
        p.setPen(pn);
    const QColor fill =
        s.fill.empty() ? QColor(Qt::transparent) : to_qcolor(s.fill, Qt::transparent);
    p.setBrush(fill.alpha() == 0 ? QBrush(Qt::NoBrush) : QBrush(fill));
    switch (s.kind) {
    case sde_shape::line:
        p.drawLine(QPointF(v[0], v[1]), QPointF(v[2], v[3]));
        break;
    case sde_shape::polyline:
    case sde_shape::polygon: {
        QPolygonF poly;
        for (std::size_t i = 0; i + 1 < v.size(); i += 2)
            poly << QPointF(v[i], v[i + 1]);
        if (s.kind == sde_shape::polygon)
            p.drawPolygon(poly);
        else
            p.drawPolyline(poly);
        break;
    }
    case sde_shape::rect:
        p.drawRect(QRectF(v[0], v[1], v[2], v[3]));
        break;
    case sde_shape::ellipse:
        p.drawEllipse(QRectF(v[0], v[1], v[2], v[3]));
        break;
    case sde_shape::arc:
        p.drawArc(QRectF(v[0], v[1], v[2], v[3]), static_cast<int>(std::lround(s.start * 16)),
                  static_cast<int>(std::lround(s.span * 16)));
        break;
    default:
        break;
    }
    p.setBrush(Qt::NoBrush);
}

void paint_page(QPainter& p, const sde_page& page, const paint_context& c, const QRectF& area) {
    const QRectF whole(0, 0, page.width, page.height);
    const QRectF clip = area.isEmpty() ? whole : area.intersected(whole);
    p.fillRect(clip, to_qcolor(page.background, Qt::white));
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    const voltage_table voltage = voltage_classes_of(page);
    paint_context context = c;
    context.voltage = &voltage;
    for (const sde_item& item : page.order) {
        if (item.kind == sde_item::shape) {
            paint_shape(p, page.shapes[item.index], voltage);
        } else if (item.kind == sde_item::object) {
            const sde_object& o = page.objects[item.index];
            if (area.isEmpty() || object_extent(o).intersects(clip))
                paint_object(p, o, context);
        }
    }
}

bool object_blinks(const sde_object& o, const style_library_map& styles) {
    for (const std::string& name : o.styles) {
        const auto it = styles.find(name);
        if (it == styles.end())
            continue;
        const style_def& s = it->second;
        for (const style_part* part :
             {&s.background, &s.border, &s.figure.border, &s.figure.background})
            if (part->present && part->blinking && part->phases.size() > 1 &&
                (part != &s.figure.border || s.figure.present) &&
                (part != &s.figure.background || s.figure.present))
                return true;
    }
    return false;
}

} // namespace nxkit
