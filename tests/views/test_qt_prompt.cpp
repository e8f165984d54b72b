// The Qt side of the prompt seam: where the manual-input form opens, the font it is drawn and
// sized in, and message boxes wide enough for their captions.
#include "tests/views/operator_views_fixture.h"

#include "ui/qt_prompt.h"

#include <QLayout>
#include <QMessageBox>

#include <gtest/gtest.h>

using namespace nxkit;

namespace ilktest {
namespace {

TEST(QtPrompt, TheFormsFrameHasItsRightEdgeAtThePointer) {
    const QRect screen(0, 0, 1280, 800);
    const QMargins frame(4, 24, 4, 4);
    QPoint at = form_frame_position({500, 300}, {200, 100}, frame, screen);
    // The whole frame, border included, ends at the pointer and is centred on it.
    EXPECT_EQ(at.x() + 200 + 4 + 4, 500);
    EXPECT_EQ(at.y(), 300 - (100 + 24 + 4) / 2);
    // Too far left: it opens to the right of the pointer, its frame starting there.
    EXPECT_EQ(form_frame_position({100, 300}, {200, 100}, frame, screen).x(), 100);
    // Without a border known the form itself ends at the pointer.
    EXPECT_EQ(form_frame_position({500, 300}, {200, 100}, {}, screen).x(), 300);
}

TEST(QtPrompt, TheFormsSizeFollowsTheDialogFont) {
    operator_views_app();
    form_request form;
    form.text = "s1_1_1\r\nQ1\r\nнр\r\nвключен";
    form.buttons.resize(4);
    QFont small("DejaVu Sans");
    small.setPixelSize(11);
    QFont large = small;
    large.setPixelSize(22);
    QSize a = form_size_in(form, small);
    QSize b = form_size_in(form, large);
    EXPECT_GT(b.width(), a.width());
    EXPECT_GT(b.height(), a.height());
    // Four units of 11 letters "А" each (when wider than the smallest button), 7 more.
    int unit = 11 * QFontMetrics(large).horizontalAdvance(QStringLiteral("А"));
    EXPECT_EQ(b.width(), 4 * unit + 7);
}

TEST(QtPrompt, AMessageBoxIsAsWideAsItsCaptionNeeds) {
    operator_views_app();
    const QString caption = QStringLiteral("Привязать к сигналам ТУ \"отключить\" - проверка "
                                           "длинного заголовка окна сообщения");
    QMessageBox box(QMessageBox::Question, caption, QStringLiteral("Да?"));
    int needed = caption_width(caption, QApplication::font("QMdiSubWindowTitleBar"));
    ASSERT_LT(box.layout()->minimumSize().width(), needed);
    fit_caption(box);
    EXPECT_GE(box.layout()->minimumSize().width(), needed);
}

} // namespace
} // namespace ilktest
