#include "tests/shell/shell_fixture.h"

#include "shell/toolbar_buttons.h"
#include "shell/window_settings.h"

#include <QAction>
#include <QCursor>
#include <QHelpEvent>
#include <QImage>
#include <QScreen>
#include <QTest>

namespace {

using namespace nxkit;
using b = toolbar_button;
using shelltest::shell_test;

class Toolbar : public shell_test {
protected:
    toolbar_tool_button* widget_of(toolbar_button id) {
        for (QObject* o : button(id)->associatedObjects())
            if (auto* w = dynamic_cast<toolbar_tool_button*>(o))
                return w;
        return nullptr;
    }
    static hint_popup* hint() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* h = dynamic_cast<hint_popup*>(w))
                return h;
        return nullptr;
    }
    static void send(QWidget* w, QEvent::Type type) {
        if (type == QEvent::ToolTip) {
            QHelpEvent e(type, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(w, &e);
        } else {
            QEvent e(type);
            QApplication::sendEvent(w, &e);
        }
    }
    // Rows of the image that hold a dark pixel inside `area`.
    static std::vector<int> dark_rows(const QImage& image, const QRect& area) {
        std::vector<int> rows;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (qGray(image.pixel(x, y)) < 100) {
                    rows.push_back(y);
                    break;
                }
        return rows;
    }
};

TEST(ToolbarButtonParts, CaptionGoesWhereThePictureLeavesRoom) {
    button_layout centred{true, 32, 40, 40, 2, 0x300};
    // The default 40 x 40 with a 32-pixel picture leaves no line for a caption.
    button_parts p = toolbar_button_parts(centred, {40, 40}, 13);
    EXPECT_EQ(p.icon, QRect(4, 4, 32, 32));
    EXPECT_TRUE(p.text.isEmpty());
    centred.width = 90;
    centred.height = 70;
    p = toolbar_button_parts(centred, {90, 70}, 13);
    EXPECT_EQ(p.icon, QRect(29, 2, 32, 32));
    EXPECT_EQ(p.text, QRect(2, 36, 86, 32));
    // Left and top: the caption beside the picture, the whole height.
    button_layout left{true, 32, 100, 40, 2, 0x500};
    p = toolbar_button_parts(left, {100, 40}, 13);
    EXPECT_EQ(p.icon, QRect(2, 2, 32, 32));
    EXPECT_EQ(p.text, QRect(36, 2, 62, 36));
    // Bottom: the caption above it.
    button_layout bottom{true, 20, 60, 60, 2, 0xB00};
    p = toolbar_button_parts(bottom, {60, 60}, 13);
    EXPECT_EQ(p.icon, QRect(20, 38, 20, 20));
    EXPECT_EQ(p.text, QRect(2, 2, 56, 34));
}

TEST_F(Toolbar, CaptionsAreWordWrappedNotElided) {
    write_settings("[VIEW]\r\nBTN=<icon=32><align=C><X=90><Y=70><type=2>\r\n");
    open_window();
    toolbar_tool_button* mes = widget_of(b::mes);
    ASSERT_NE(mes, nullptr);
    ASSERT_EQ(mes->size(), QSize(90, 70));
    const QFontMetrics metrics = mes->fontMetrics();
    const button_parts parts =
        toolbar_button_parts(window->resources().buttons, mes->size(), metrics.height());
    const QStringList lines = wrapped_caption("Журнал событий", metrics, parts.text.width());
    ASSERT_EQ(lines, (QStringList{"Журнал", "событий"}));
    // Two lines of text under the picture: dark rows in two separate bands, nothing cut short.
    const QImage image = mes->grab().toImage();
    const std::vector<int> rows = dark_rows(image, parts.text);
    ASSERT_FALSE(rows.empty());
    int bands = 1;
    for (std::size_t i = 1; i < rows.size(); ++i)
        bands += rows[i] > rows[i - 1] + 1 ? 1 : 0;
    EXPECT_EQ(bands, 2);
    EXPECT_GE(rows.back() - rows.front(), metrics.height());
    // A word wider than the room stays whole on its line rather than ending in "…".
    EXPECT_EQ(wrapped_caption("Оборудование", metrics, 10), QStringList{"Оборудование"});
}

TEST_F(Toolbar, HintsShowAtMost200PixelsWideForHalfAMinuteAsABalloon) {
    open_window();
    window->show();
    toolbar_tool_button* reload = widget_of(b::reload);
    toolbar_tool_button* grid = widget_of(b::editor_grid);
    ASSERT_NE(reload, nullptr);
    ASSERT_NE(grid, nullptr);
    // The pointer of the test screen away from the toolbar: Qt's own enter events then name no
    // button.
    QCursor::setPos(window->screen(), window->screen()->geometry().bottomRight());

    send(reload, QEvent::Enter);
    send(reload, QEvent::ToolTip);
    hint_popup* h = hint();
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(h->isVisible());
    EXPECT_EQ(h->text().toStdString(), "Загрузить конфигурацию с потерей всех изменений");
    EXPECT_EQ(h->width(), hint_popup::max_width);
    EXPECT_GT(h->height(), 2 * h->fontMetrics().height());
    EXPECT_EQ(h->hide_interval(), 32767);
    // CTRL/hint_balloon is 1 by default: the rounded shape with its tail.
    EXPECT_TRUE(h->balloon());
    EXPECT_FALSE(h->mask().isEmpty());
    EXPECT_FALSE(h->mask().contains(QPoint(0, 0)));

    // The pointer moves on: the hint goes with it, and the next button's follows at once.
    send(reload, QEvent::Leave);
    EXPECT_FALSE(h->isVisible());
    send(grid, QEvent::Enter);
    EXPECT_TRUE(h->isVisible());
    EXPECT_EQ(h->text().toStdString(),
              "Включить/отключить таблицы параметров в редакторе конфигурации");

    // A short text keeps its own width; without the balloon setting a plain frame.
    settings_set_int("CTRL", "hint_balloon", 0);
    toolbar_tool_button* print = widget_of(b::print);
    send(print, QEvent::Enter);
    send(print, QEvent::ToolTip);
    EXPECT_EQ(h->text().toStdString(), "Печать схемы");
    EXPECT_LT(h->width(), hint_popup::max_width);
    EXPECT_FALSE(h->balloon());
    EXPECT_TRUE(h->mask().isEmpty());

    // "Подсказка" off: no hint at all.
    send(print, QEvent::Leave);
    button(b::hint)->trigger();
    ASSERT_FALSE(button(b::hint)->isChecked());
    send(reload, QEvent::Enter);
    send(reload, QEvent::ToolTip);
    EXPECT_FALSE(h->isVisible());
}

TEST_F(Toolbar, FirstStartFitsTheScreenAndANarrowWindowWrapsTheToolbar) {
    open_window();
    window->show();
    apply_window_settings(*window, false);
    const QRect area = window->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(window->geometry())) << area.width() << " " << window->width();
    EXPECT_GE(window->width(), area.width() - 20);

    QWidget* strip = window->findChild<QWidget*>("toolbar");
    ASSERT_NE(strip, nullptr);
    auto* flow = dynamic_cast<flow_layout*>(strip->layout());
    ASSERT_NE(flow, nullptr);
    // Every button of the first start in one row at 1280, in two at 1024; none hidden.
    window->resize(1280, 760);
    QTest::qWait(10);
    EXPECT_EQ(flow->rows_at(strip->width()), 1);
    EXPECT_EQ(strip->height(), 46);
    window->resize(1024, 700);
    QTest::qWait(10);
    EXPECT_EQ(flow->rows_at(strip->width()), 2);
    EXPECT_EQ(strip->height(), 46 + 41);
    for (const button_spec& spec : toolbar_table()) {
        toolbar_tool_button* w = widget_of(spec.button);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->isVisible()) << spec.caption;
        EXPECT_TRUE(strip->rect().contains(w->geometry())) << spec.caption;
    }
    // The work area starts below the two rows.
    EXPECT_GE(window->view(view_slot::scheme)->mapTo(window.get(), QPoint(0, 0)).y(),
              strip->geometry().bottom());
}

} // namespace
