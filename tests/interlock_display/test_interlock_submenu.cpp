// The element menu's interlock submenus are drawn by the prompt's menus: their bold default
// line ("\t" and the text) must be bold in the column after the tab, where all its text is.
#include "ui/qt_prompt.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QStyle>

#include <gtest/gtest.h>

#include <memory>

using namespace nxkit;

namespace {

struct line_ink {
    int dark = 0;
    int rightmost = -1;
    int width = 0;
};

// The dark pixels of the menu's first line, and how far right they reach.
line_ink first_line_ink(QStyle* style, bool is_default) {
    menu_item head;
    head.command = 1;
    head.text = "\tQ1 можно включать если:";
    head.is_default = is_default;
    menu_item separator;
    separator.separator = true;
    menu_item condition;
    condition.command = 2;
    condition.text = "И\tQS1 отключен";
    QMenu menu;
    fill_menu(menu, {head, separator, condition}, style);
    menu.adjustSize();
    QImage image = menu.grab().toImage();
    QRect line = menu.actionGeometry(menu.actions().at(0));
    line_ink ink;
    ink.width = image.width();
    for (int y = line.top(); y <= line.bottom(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 90) {
                ++ink.dark;
                ink.rightmost = std::max(ink.rightmost, x);
            }
    return ink;
}

TEST(interlock_submenu, TheDefaultLineIsBoldAfterItsTabAndWhole) {
    std::unique_ptr<QStyle> style = make_menu_style();
    line_ink regular = first_line_ink(style.get(), false);
    line_ink bold = first_line_ink(style.get(), true);
    ASSERT_GT(regular.dark, 0);
    // Bold strokes: clearly more ink for the same text.
    EXPECT_GT(bold.dark, regular.dark * 12 / 10);
    // The wider bold text still ends inside the menu.
    EXPECT_LT(bold.rightmost, bold.width - 3);
}

} // namespace
