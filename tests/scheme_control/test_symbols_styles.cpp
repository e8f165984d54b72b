#include "schemes/control/scheme_painter.h"
#include "tests/scheme_control/qt_environment.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace nxkit;
using ilktest::describe;
using ilktest::near;

namespace {

const QColor red(220, 0, 0), green(0, 150, 0), grey_bg(128, 128, 128);

sde_object object(const std::string& type, const std::string& property = {},
                  const std::string& value = {}) {
    sde_object o;
    o.counter = 1;
    o.type_name = type;
    o.x = 10;
    o.y = 10;
    o.w = 6;
    o.h = 12;
    o.label_side = "none";
    if (!property.empty())
        o.set(property, value);
    return o;
}

// A 20 x 20 unit page at 8 pixels a unit: the object's centre is pixel (80, 80).
QImage draw(const sde_object& o, unsigned tick = 0, QColor background = Qt::white) {
    QImage image(160, 160, QImage::Format_RGB32);
    image.fill(background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(8, 8);
    paint_context c{&builtin_style_map(), tick, 8};
    paint_object(p, o, c);
    return image;
}

#define EXPECT_PIXEL(image, x, y, colour)                                                          \
    EXPECT_TRUE(near((image).pixelColor(x, y), colour))                                            \
        << "pixel (" << (x) << "," << (y) << ") is " << describe((image).pixelColor(x, y))         \
        << ", expected " << describe(colour)

int count_near(const QImage& image, QRect area, QColor colour, int tolerance = 40) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += near(image.pixelColor(x, y), colour, tolerance) ? 1 : 0;
    return n;
}

TEST(Symbols, BreakerIsFilledWhenOnAndHollowWhenOff) {
    const QImage on = draw(object("выключатель", "положение", "включен"));
    EXPECT_PIXEL(on, 80, 80, red);
    EXPECT_PIXEL(on, 80, 40, red); // the lead
    const QImage off = draw(object("выключатель", "положение", "отключен"));
    EXPECT_PIXEL(off, 80, 80, QColor(Qt::white));
    EXPECT_PIXEL(off, 56, 80, green); // the square's side
    EXPECT_PIXEL(off, 80, 40, green);
    // A value the symbol does not know: grey, with a question mark.
    const QImage unknown = draw(object("выключатель", "положение", "авария"));
    EXPECT_EQ(count_near(unknown, QRect(40, 40, 80, 80), red), 0);
    EXPECT_EQ(count_near(unknown, QRect(40, 40, 80, 80), green), 0);
    EXPECT_GT(count_near(unknown, QRect(60, 60, 40, 40), QColor(60, 60, 60), 30), 20);
    EXPECT_PIXEL(unknown, 80, 40, QColor(150, 150, 150));
    // So does one without the property at all.
    EXPECT_EQ(count_near(draw(object("выключатель")), QRect(40, 40, 80, 80), red), 0);
    // The withdrawable breaker too, with its plug-in contacts on the leads.
    const QImage drawn_out = draw(object("выключатель_выдвижной", "положение", "включен"));
    EXPECT_PIXEL(drawn_out, 80, 80, red);
    EXPECT_GT(count_near(drawn_out, QRect(60, 36, 40, 10), red), 10);
}

TEST(Symbols, DisconnectorBladeClosesInLineAndOpensAtAnAngle) {
    const QImage closed = draw(object("разъединитель", "положение", "включен"));
    EXPECT_PIXEL(closed, 80, 84, red);
    EXPECT_PIXEL(closed, 92, 84, QColor(Qt::white));
    const QImage open = draw(object("разъединитель", "положение", "отключен"));
    EXPECT_PIXEL(open, 80, 84, QColor(Qt::white));
    EXPECT_PIXEL(open, 91, 85, green); // halfway along the blade at 30 degrees
    EXPECT_PIXEL(open, 80, 59, green); // the fixed contact's bar stays
    EXPECT_PIXEL(open, 72, 59, green);
}

TEST(Symbols, EarthingSwitchHasItsEarthMark) {
    const QImage closed = draw(object("заземляющий_нож", "положение", "включен"));
    EXPECT_PIXEL(closed, 68, 113, red); // the widest earth line
    EXPECT_PIXEL(closed, 80, 84, red);
    const QImage open = draw(object("заземляющий_нож", "положение", "отключен"));
    EXPECT_PIXEL(open, 68, 113, green);
    EXPECT_PIXEL(open, 80, 84, QColor(Qt::white));
}

TEST(Symbols, LampsAndBoardsAreLitOrDark) {
    sde_object lamp = object("лампа", "положение", "горит");
    lamp.w = lamp.h = 8;
    EXPECT_PIXEL(draw(lamp), 80, 66, QColor(255, 215, 0));
    lamp.set("положение", "не_горит");
    EXPECT_PIXEL(draw(lamp), 80, 66, QColor(70, 70, 70));
    lamp.set("положение", "мигает");
    EXPECT_PIXEL(draw(lamp), 66, 80, QColor(200, 200, 200));

    sde_object board = object("табло", "положение", "горит");
    board.w = 18;
    board.h = 6;
    board.set("текст", "АВАРИЯ");
    const QImage lit = draw(board);
    EXPECT_PIXEL(lit, 16, 60, QColor(255, 60, 40));
    EXPECT_GT(count_near(lit, QRect(10, 60, 140, 40), QColor(Qt::white), 20), 30); // its text
    board.set("положение", "не_горит");
    EXPECT_PIXEL(draw(board), 16, 60, QColor(60, 60, 60));
}

TEST(Symbols, TextsAndValuesShowTheirText) {
    sde_object value = object("прибор_реальный", "значение", "115,8");
    value.w = 16;
    value.h = 6;
    const QImage shown = draw(value);
    const int digits = count_near(shown, QRect(20, 58, 120, 44), QColor(0, 40, 140), 50);
    EXPECT_GT(digits, 40);
    value.set("значение", "1");
    EXPECT_LT(count_near(draw(value), QRect(20, 58, 120, 44), QColor(0, 40, 140), 50), digits);

    sde_object text = object("текст", "текст", "Ввод");
    text.w = 18;
    text.h = 5;
    text.set("цвет", "красный");
    EXPECT_GT(count_near(draw(text), QRect(0, 50, 160, 60), red), 30);
    text.set("текст", "");
    EXPECT_EQ(count_near(draw(text), QRect(0, 50, 160, 60), red), 0);
}

TEST(Symbols, UnknownTypeIsALabelledBox) {
    sde_object other = object("фильтр_присоединения");
    other.w = 16;
    other.h = 10;
    const QImage image = draw(other);
    EXPECT_PIXEL(image, 22, 45, QColor(235, 235, 235));
    EXPECT_GT(count_near(image, QRect(20, 42, 120, 76), QColor(60, 60, 60), 30), 20);
}

TEST(Symbols, DispatcherNameIsTheLabelInItsColour) {
    sde_object q = object("выключатель", "положение", "отключен");
    q.x = 4;
    q.label_side = "";
    q.set("дисп_имя", "Q1  ");
    const QRect label(70, 60, 90, 40);
    EXPECT_GT(count_near(draw(q), label, QColor(20, 20, 20), 30), 30);
    q.set("подпись.цвет", "зеленый");
    EXPECT_GT(count_near(draw(q), label, QColor(0, 160, 0), 30), 30);
    q.set("подпись.цвет", "красный");
    const QImage red_label = draw(q);
    EXPECT_GT(count_near(red_label, label, red, 30), 30);
    EXPECT_EQ(count_near(red_label, label, QColor(0, 160, 0), 30), 0);
    q.label_side = "none";
    EXPECT_EQ(count_near(draw(q), label, red, 30), 0);
}

// The breaker with one style, at a tick: box (6.4 .. 13.6, 3.4 .. 16.6) units, that is pixels
// 51.2 .. 108.8 across and 27.2 .. 132.8 down.
QImage styled(const std::string& style, unsigned tick = 0) {
    sde_object o = object("выключатель", "положение", "отключен");
    o.styles = {style};
    return draw(o, tick, grey_bg);
}

TEST(Styles, BackgroundsTintTheBoxUnderTheSymbol) {
    EXPECT_PIXEL(styled("я18_not_ref"), 52, 80, QColor(255, 255, 100));
    EXPECT_PIXEL(styled("я09_ILK_TS_NO"), 52, 80, QColor(255, 153, 204));
    EXPECT_PIXEL(styled("я09_ILK_TS_YES"), 52, 80, QColor(204, 255, 204));
    EXPECT_PIXEL(styled("я12_ILK_NO"), 52, 80, QColor(255, 204, 153));
    EXPECT_PIXEL(styled("я12_ILK_YES"), 52, 80, QColor(102, 255, 102));
    // The symbol stays visible over the tint.
    EXPECT_PIXEL(styled("я18_not_ref"), 80, 80, QColor(Qt::white));
    EXPECT_PIXEL(styled("я18_not_ref"), 56, 80, green);
    // Clear backgrounds paint nothing.
    EXPECT_PIXEL(styled("я03_not_norma"), 52, 80, grey_bg);
}

TEST(Styles, BordersLieOutsideTheBox) {
    EXPECT_PIXEL(styled("я03_not_norma"), 48, 80, QColor(0, 204, 255));
    EXPECT_PIXEL(styled("я03_not_norma"), 80, 24, QColor(0, 204, 255));
    EXPECT_PIXEL(styled("я12_ILK_NO"), 50, 80, QColor(255, 0, 0));
    EXPECT_PIXEL(styled("я12_ILK_YES"), 49, 80, QColor(0, 128, 0));
    EXPECT_PIXEL(styled("я18_not_ref"), 50, 80, QColor(206, 206, 206));
    // psClear borders are not drawn.
    EXPECT_PIXEL(styled("я06_not_control"), 50, 80, grey_bg);
}

TEST(Styles, BlinkingBordersFollowTheTick) {
    EXPECT_PIXEL(styled("я15_not_cvit", 0), 50, 80, QColor(255, 230, 0));
    EXPECT_PIXEL(styled("я15_not_cvit", 3), 50, 80, QColor(255, 230, 0));
    EXPECT_PIXEL(styled("я15_not_cvit", 4), 50, 80, grey_bg);
    EXPECT_PIXEL(styled("я15_not_cvit", 8), 50, 80, QColor(255, 230, 0));
    EXPECT_PIXEL(styled("я16_bad_dev", 0), 50, 80, QColor(0, 0, 0));
    EXPECT_PIXEL(styled("я16_bad_dev", 2), 50, 80, QColor(255, 255, 255));
}

TEST(Styles, FiguresSitAtTheirCorners) {
    // A cross through the centre.
    EXPECT_PIXEL(styled("я06_not_control"), 80, 80, QColor(0, 128, 192));
    // Hand input: a blinking circle at the top right.
    EXPECT_PIXEL(styled("я08_hand", 0), 108, 28, QColor(0, 128, 192));
    EXPECT_PIXEL(styled("я08_hand", 4), 108, 28, grey_bg);
    // Blocking element: red or green circle at the top left, blinking into the tint.
    EXPECT_PIXEL(styled("я09_ILK_TS_NO", 0), 52, 28, QColor(255, 0, 0));
    EXPECT_PIXEL(styled("я09_ILK_TS_NO", 4), 52, 28, QColor(255, 153, 204));
    EXPECT_PIXEL(styled("я09_ILK_TS_YES", 0), 52, 28, QColor(0, 255, 0));
    EXPECT_PIXEL(styled("я09_ILK_TS_YES", 4), 52, 28, QColor(204, 255, 204));
    // Switching: corner marks at all four corners, blinking.
    for (const QPoint at : {QPoint(60, 27), QPoint(100, 27), QPoint(60, 133), QPoint(100, 133)}) {
        EXPECT_PIXEL(styled("я16_onof", 0), at.x(), at.y(), QColor(0, 128, 192));
        EXPECT_PIXEL(styled("я16_onof", 4), at.x(), at.y(), grey_bg);
    }
}

// A small thin cross left a breaker that looked switched on; the cross now runs corner to
// corner of the style box and the symbol under it is washed out.
TEST(Styles, NotUnderControlCrossesTheWholeSymbolAndWashesItOut) {
    sde_object o = object("выключатель", "положение", "включен");
    const QImage live = draw(o, 0, grey_bg);
    o.styles = {"я06_not_control"};
    const QImage crossed = draw(o, 0, grey_bg);
    const QColor cross(0, 128, 192);
    // A quarter and three quarters along both diagonals of the box (51..109, 27..133).
    for (const QPoint at : {QPoint(65, 53), QPoint(94, 106), QPoint(65, 106), QPoint(94, 53)}) {
        EXPECT_PIXEL(crossed, at.x(), at.y(), cross);
        EXPECT_FALSE(near(live.pixelColor(at.x(), at.y()), cross));
    }
    const QRect symbol(56, 32, 48, 96);
    EXPECT_GT(count_near(live, symbol, red), 500);
    EXPECT_EQ(count_near(crossed, symbol, red), 0);
    // Outside the box nothing changes.
    EXPECT_PIXEL(crossed, 40, 80, grey_bg);
}

TEST(Styles, SeveralStylesPaintBackgroundsThenBordersThenFigures) {
    sde_object o = object("выключатель", "положение", "включен");
    o.styles = {"я06_not_control", "я18_not_ref", "я15_not_cvit"};
    const QImage image = draw(o, 0, grey_bg);
    // The tint under the white veil of "not under control".
    EXPECT_PIXEL(image, 52, 80, QColor(255, 255, 203));
    EXPECT_PIXEL(image, 50, 80, QColor(255, 230, 0)); // the later border on top
    EXPECT_PIXEL(image, 80, 80, QColor(0, 128, 192));
    // Not under control washes the symbol out.
    EXPECT_FALSE(near(image.pixelColor(76, 66), red));
    EXPECT_TRUE(object_blinks(o, builtin_style_map()));
    o.styles = {"я18_not_ref", "я12_ILK_NO"};
    EXPECT_FALSE(object_blinks(o, builtin_style_map()));
    o.styles = {"нет_такого"};
    EXPECT_FALSE(object_blinks(o, builtin_style_map()));
    EXPECT_PIXEL(draw(o, 0, grey_bg), 52, 80, grey_bg);
}

} // namespace
