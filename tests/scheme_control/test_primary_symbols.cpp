#include "schemes/control/display_standard.h"
#include "schemes/control/scheme_painter.h"
#include "schemes/editor/connectivity.h"
#include "tests/scheme_control/qt_environment.h"

#include <QPainter>

#include <cmath>

#include <gtest/gtest.h>

using namespace nxkit;
using ilktest::describe;
using ilktest::near;

namespace {

const QColor red(220, 0, 0), green(0, 150, 0), grey(150, 150, 150), white(Qt::white);
const QColor equipment(0, 80, 180);

// An object of its usual size at the centre of a 20 x 20 unit page: pixel (80, 80) at 8 pixels
// a unit.
sde_object object(const std::string& type, const std::string& property = {},
                  const std::string& value = {}) {
    sde_object o;
    o.counter = 1;
    o.type_name = type;
    o.x = 10;
    o.y = 10;
    symbol_size(type, o.w, o.h);
    o.label_side = "none";
    if (!property.empty())
        o.set(property, value);
    return o;
}

QImage draw(const sde_object& o) {
    QImage image(160, 160, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(8, 8);
    paint_context c{&builtin_style_map(), 0, 8};
    paint_object(p, o, c);
    return image;
}

QImage draw_page(const sde_page& page) {
    QImage image(static_cast<int>(page.width * 8), static_cast<int>(page.height * 8),
                 QImage::Format_RGB32);
    QPainter p(&image);
    p.scale(8, 8);
    paint_context c{&builtin_style_map(), 0, 8};
    paint_page(p, page, c);
    return image;
}

void expect_pixel(const QImage& image, int x, int y, QColor colour, int line) {
    EXPECT_TRUE(near(image.pixelColor(x, y), colour))
        << "line " << line << ": pixel (" << x << "," << y << ") is "
        << describe(image.pixelColor(x, y)) << ", expected " << describe(colour);
}
#define EXPECT_PIXEL(image, x, y, colour) expect_pixel(image, x, y, colour, __LINE__)

int count_near(const QImage& image, QRect area, QColor colour, int tolerance = 40) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += near(image.pixelColor(x, y), colour, tolerance) ? 1 : 0;
    return n;
}

TEST(PrimarySymbols, BusbarIsSolidEnergisedHollowDeEnergisedGreyUnknown) {
    // 30 x 1.4 units: pixels 0 … 160 across (wider than the page), 74.4 … 85.6 down.
    const QImage live = draw(object("шина", "напряжение", "есть"));
    EXPECT_PIXEL(live, 80, 80, equipment);
    EXPECT_PIXEL(live, 20, 76, equipment);
    EXPECT_PIXEL(live, 80, 70, white);
    const QImage dead = draw(object("шина", "напряжение", "нет"));
    EXPECT_PIXEL(dead, 80, 80, white); // only the outline is left
    EXPECT_PIXEL(dead, 80, 75, equipment);
    EXPECT_PIXEL(dead, 80, 84, equipment);
    for (const sde_object& o : {object("шина", "напряжение", "авария"), object("шина")}) {
        const QImage unknown = draw(o);
        EXPECT_EQ(count_near(unknown, QRect(0, 60, 160, 40), equipment), 0);
        EXPECT_PIXEL(unknown, 20, 75, grey);
        EXPECT_GT(count_near(unknown, QRect(60, 60, 40, 40), QColor(60, 60, 60), 30), 20);
    }
    // Turned upright, it lies along the other axis.
    sde_object upright = object("шина", "напряжение", "есть");
    upright.rotation = 90;
    const QImage turned = draw(upright);
    EXPECT_PIXEL(turned, 80, 20, equipment);
    EXPECT_PIXEL(turned, 20, 80, white);
}

TEST(PrimarySymbols, FuseLinkIsWholeWhenIntactAndBrokenWhenBlown) {
    // 5 x 12 units: the body is 24 px wide and 54 px high around the centre.
    const QImage intact = draw(object("предохранитель", "состояние", "исправен"));
    EXPECT_PIXEL(intact, 80, 80, red);
    EXPECT_PIXEL(intact, 80, 62, red);
    EXPECT_PIXEL(intact, 80, 40, red);   // the lead
    EXPECT_PIXEL(intact, 68, 80, red);   // the body's side
    EXPECT_PIXEL(intact, 74, 80, white); // inside the body
    const QImage blown = draw(object("предохранитель", "состояние", "перегорел"));
    EXPECT_PIXEL(blown, 80, 80, white);
    EXPECT_PIXEL(blown, 80, 62, green);
    EXPECT_PIXEL(blown, 80, 98, green);
    EXPECT_PIXEL(blown, 68, 80, green);
    const QImage unknown = draw(object("предохранитель", "состояние", "1"));
    EXPECT_EQ(count_near(unknown, QRect(50, 20, 60, 120), red), 0);
    EXPECT_EQ(count_near(unknown, QRect(50, 20, 60, 120), green), 0);
    EXPECT_PIXEL(unknown, 80, 40, grey);
    EXPECT_GT(count_near(unknown, QRect(60, 60, 40, 40), QColor(60, 60, 60), 30), 10);
}

TEST(PrimarySymbols, TransformersShowTheirWindings) {
    // 10 x 16 units: windings of radius 37.6 px centred 22.6 px above and below the centre.
    const QImage two = draw(object("трансформатор"));
    EXPECT_PIXEL(two, 80, 17, equipment);  // the lead to terminal 1
    EXPECT_PIXEL(two, 80, 143, equipment); // terminal 2
    EXPECT_PIXEL(two, 42, 57, equipment);  // the upper winding's left side
    EXPECT_PIXEL(two, 42, 103, equipment); // the lower one's
    EXPECT_PIXEL(two, 53, 84, equipment);  // the upper winding below its middle
    EXPECT_PIXEL(two, 80, 45, white);
    // The autotransformer's upper winding is an arc over the lower one.
    const QImage autot = draw(object("автотрансформатор"));
    EXPECT_PIXEL(autot, 42, 103, equipment);
    EXPECT_PIXEL(autot, 80, 20, equipment);
    EXPECT_PIXEL(autot, 53, 84, white);
    // The third winding is at the right, its terminal at the middle of the right edge.
    const QImage three = draw(object("трансформатор_трехобмоточный"));
    EXPECT_PIXEL(three, 105, 56, equipment);
    EXPECT_PIXEL(three, 133, 80, equipment);
    EXPECT_PIXEL(two, 105, 56, white);
    // A voltage transformer hangs from its one terminal: nothing below its windings.
    const QImage vt = draw(object("трансформатор_напряжения"));
    EXPECT_PIXEL(vt, 80, 40, equipment);
    EXPECT_PIXEL(vt, 59, 77, equipment);
    EXPECT_PIXEL(vt, 80, 127, white);
    // A current transformer: the conductor through a ring.
    const QImage ct = draw(object("трансформатор_тока"));
    EXPECT_PIXEL(ct, 80, 50, equipment);
    EXPECT_PIXEL(ct, 80, 110, equipment);
    EXPECT_PIXEL(ct, 61, 80, equipment);
    EXPECT_PIXEL(ct, 99, 80, equipment);
    EXPECT_PIXEL(ct, 70, 80, white);
}

TEST(PrimarySymbols, ReactorCapacitorArresterAndEarth) {
    // The reactor's loop leaves out its lower left quarter, where the lead comes in.
    const QImage reactor = draw(object("реактор"));
    EXPECT_PIXEL(reactor, 106, 80, equipment);
    EXPECT_PIXEL(reactor, 80, 120, equipment);
    EXPECT_PIXEL(reactor, 62, 98, white);
    EXPECT_PIXEL(reactor, 98, 98, equipment);
    // Mirrored, the open quarter is at the lower right.
    sde_object mirrored = object("реактор");
    mirrored.unknown.emplace_back("mirror", "1");
    const QImage flipped = draw(mirrored);
    EXPECT_PIXEL(flipped, 62, 98, equipment);
    EXPECT_PIXEL(flipped, 98, 98, white);

    // Two plates with a gap between them, then earth.
    const QImage capacitor = draw(object("конденсаторная_батарея"));
    EXPECT_PIXEL(capacitor, 60, 73, equipment);
    EXPECT_PIXEL(capacitor, 60, 87, equipment);
    EXPECT_PIXEL(capacitor, 80, 80, white);
    EXPECT_PIXEL(capacitor, 60, 107, equipment);

    const QImage arrester = draw(object("разрядник"));
    EXPECT_PIXEL(arrester, 68, 70, equipment); // the body's side
    EXPECT_PIXEL(arrester, 80, 84, equipment); // the arrow's head
    EXPECT_PIXEL(arrester, 74, 70, white);
    EXPECT_PIXEL(arrester, 65, 107, equipment); // earth

    // Earth: three bars, each shorter than the one above.
    const QImage earth = draw(object("заземление"));
    EXPECT_PIXEL(earth, 80, 60, equipment);
    EXPECT_PIXEL(earth, 62, 80, equipment);
    EXPECT_PIXEL(earth, 80, 94, equipment);
    EXPECT_PIXEL(earth, 70, 94, white);
}

TEST(PrimarySymbols, MachinesAndCableEnd) {
    const QImage generator = draw(object("генератор"));
    const QImage motor = draw(object("двигатель"));
    for (const QImage* image : {&generator, &motor}) {
        EXPECT_PIXEL(*image, 80, 44, equipment);                             // the ring's top
        EXPECT_PIXEL(*image, 42, 84, equipment);                             // its left side
        EXPECT_GT(count_near(*image, QRect(62, 66, 36, 36), equipment), 80); // the letter
    }
    int different = 0;
    for (int y = 66; y < 102; ++y)
        for (int x = 62; x < 98; ++x)
            different += generator.pixel(x, y) != motor.pixel(x, y) ? 1 : 0;
    EXPECT_GT(different, 60) << "G and M look the same";

    const QImage cable = draw(object("кабельная_муфта"));
    EXPECT_PIXEL(cable, 80, 50, equipment);
    EXPECT_PIXEL(cable, 70, 91, equipment); // the funnel's base
    EXPECT_PIXEL(cable, 76, 86, white);
}

TEST(PrimarySymbols, EveryStatelessSymbolDrawsWithoutAQuestionMark) {
    for (const symbol_states& s : known_symbols()) {
        if (!s.property.empty())
            continue;
        const QImage image = draw(object(s.type));
        EXPECT_GT(count_near(image, QRect(0, 0, 160, 160), equipment, 30), 40) << s.type;
        EXPECT_EQ(count_near(image, QRect(0, 0, 160, 160), QColor(60, 60, 60), 20), 0) << s.type;
    }
}

// A wire drawn to a terminal must meet the picture there, however the object is turned or
// mirrored: the painter and the editor's terminals agree for every symbol with terminals.
TEST(PrimarySymbols, EveryTerminalIsWhereItsPictureEnds) {
    for (const symbol_states& s : known_symbols()) {
        const terminal_layout* layout = terminals_of(s.type);
        if (!layout || layout->along_length)
            continue;
        for (const int rotation : {0, 90, 180, 270})
            for (const bool mirrored : {false, true}) {
                sde_object o =
                    s.values.empty() ? object(s.type) : object(s.type, s.property, s.values[0]);
                o.rotation = rotation;
                if (mirrored)
                    o.unknown.emplace_back("mirror", "1");
                const QImage image = draw(o);
                for (const terminal_def& t : layout->terminals) {
                    const auto at = terminal_position(o, t.name);
                    ASSERT_TRUE(at.has_value());
                    // One pixel in from the terminal, towards the object's centre.
                    const double dx = o.x - at->x, dy = o.y - at->y;
                    const double length = std::hypot(dx, dy);
                    const int x = static_cast<int>(std::lround(at->x * 8 + dx / length * 1.5));
                    const int y = static_cast<int>(std::lround(at->y * 8 + dy / length * 1.5));
                    EXPECT_FALSE(near(image.pixelColor(x, y), white, 60))
                        << s.type << " terminal " << t.name << " rotation " << rotation
                        << (mirrored ? " mirrored" : "") << ": nothing drawn at (" << x << "," << y
                        << ")";
                }
            }
    }
}

TEST(VoltageColours, BusbarWireAndEquipmentTakeTheirClassColour) {
    sde_page page;
    page.width = 40;
    page.height = 30;
    sde_object bar = object("шина", "напряжение", "есть");
    bar.x = 20;
    bar.y = 5;
    bar.unknown.emplace_back("kv", "10");
    page.objects.push_back(bar);
    page.order.push_back({sde_item::object, 0});
    sde_object dead = bar;
    dead.counter = 2;
    dead.y = 10;
    dead.set("напряжение", "нет");
    page.objects.push_back(dead);
    page.order.push_back({sde_item::object, 1});
    sde_object transformer = object("трансформатор");
    transformer.counter = 3;
    transformer.x = 35;
    transformer.y = 20;
    transformer.unknown.emplace_back("kv", "0,4");
    page.objects.push_back(transformer);
    page.order.push_back({sde_item::object, 2});
    auto add_wire = [&](double y, const std::string& kv) {
        sde_shape wire;
        wire.kind = sde_shape::polyline;
        wire.coords = {2, y, 25, y};
        wire.color = "черный";
        wire.width = 1;
        wire.unknown.emplace_back("wire", "1");
        if (!kv.empty())
            wire.unknown.emplace_back("kv", kv);
        page.shapes.push_back(wire);
        page.order.push_back({sde_item::shape, page.shapes.size() - 1});
    };
    add_wire(15, "110");
    add_wire(20, "");
    add_wire(25, "15.75"); // a class the table does not know: its own colour

    QImage image = draw_page(page);
    EXPECT_PIXEL(image, 160, 40, QColor(0x64, 0x00, 0x64)); // 10 kV, energised
    EXPECT_PIXEL(image, 160, 80, white);                    // 10 kV, de-energised: outline
    EXPECT_PIXEL(image, 160, 75, QColor(0x64, 0x00, 0x64));
    EXPECT_PIXEL(image, 100, 120, QColor(0x00, 0xb4, 0xc8)); // 110 kV wire
    EXPECT_PIXEL(image, 100, 160, QColor(Qt::black));
    EXPECT_PIXEL(image, 100, 200, QColor(Qt::black));
    EXPECT_PIXEL(image, 280, 97, QColor(0xb4, 0xb4, 0xb4)); // 0.4 kV transformer's lead

    // The page's own table changes a class and adds one.
    set_page_voltage_colour(page, 110, "#ff8000");
    set_page_voltage_colour(page, 15.75, "зеленый");
    image = draw_page(page);
    EXPECT_PIXEL(image, 100, 120, QColor(0xff, 0x80, 0x00));
    EXPECT_PIXEL(image, 100, 200, QColor(0, 160, 0));
    EXPECT_PIXEL(image, 160, 40, QColor(0x64, 0x00, 0x64)); // the rest keep the usual colours
}

TEST(DisplayStandard, ListsEveryPrimarySymbolInEachState) {
    const sde_page page = display_standard_page(1, nullptr);
    auto count = [&](const std::string& type, const std::string& property,
                     const std::string& value) {
        int n = 0;
        for (const sde_object& o : page.objects)
            if (o.type_name == type &&
                (property.empty() ? o.properties.empty() : o.value(property) == value))
                ++n;
        return n;
    };
    EXPECT_EQ(count("шина", "напряжение", "есть"), 1);
    EXPECT_EQ(count("шина", "напряжение", "нет"), 1);
    EXPECT_EQ(count("шина", "напряжение", "авария"), 1);
    EXPECT_EQ(count("предохранитель", "состояние", "исправен"), 1);
    EXPECT_EQ(count("предохранитель", "состояние", "перегорел"), 1);
    for (const char* type :
         {"трансформатор", "трансформатор_трехобмоточный", "автотрансформатор",
          "трансформатор_напряжения", "трансформатор_тока", "реактор", "конденсаторная_батарея",
          "разрядник", "генератор", "двигатель", "кабельная_муфта", "заземление"})
        EXPECT_EQ(count(type, "", ""), 1) << type;
    bool stateless_row = false;
    for (const sde_shape& s : page.shapes)
        stateless_row = stateless_row || s.content == "без состояний";
    EXPECT_TRUE(stateless_row);
    // No two symbols of the legend overlap.
    for (std::size_t i = 0; i < page.objects.size(); ++i)
        for (std::size_t j = i + 1; j < page.objects.size(); ++j)
            EXPECT_FALSE(object_box(page.objects[i]).intersects(object_box(page.objects[j])))
                << page.objects[i].type_name << " and " << page.objects[j].type_name;
}

} // namespace
