// The table display on the demo station: painted once into its image, and a pass that changes
// an apparatus repaints only the cells and headers that changed; the signal popup, the edits
// made with the pointer, scrolling and hover.
#ifdef DEMO_FOLDER

#include "base/nx_time.h"
#include "base/settings.h"
#include "config/interfaces.h"
#include "config/t_ref_buff.h"
#include "interlock/display/ilk_table_actions.h"
#include "interlock/display/nx_schema_ilk.h"
#include "interlock/display/table_legend.h"
#include "interlock/display/table_painter.h"
#include "interlock/ilk_table_edits.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_tab.h"
#include "interlock/t_ilk_vts.h"
#include "structure/t_struct_vl.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "structure/structure_classes.h"
#include "telemech/t_dev_104.h"
#include "telemech/telemech_classes.h"
#include "tests/support/desktop_doubles.h"
#include "tests/support/test_support.h"
#include "ui/icon_set.h"

#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

using namespace nxkit;
using namespace ilktest;

namespace {

class qt_environment : public testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new qt_environment);

class schema_ilk : public testing::Test {
protected:
    schema_ilk() {
        write_bytes(station_dir() + "refs.ini", read_bytes(DEMO_FOLDER "/refs.ini"));
        store = std::make_unique<t_ref_buff>();
        register_structure_classes(*store);
        register_telemech_classes(*store);
        register_all_scheme_classes(*store);
        store->load();
        deliver({{1, false}, {2, false}, {3, false}, {4, false}});
        display = std::make_unique<nx_schema_ilk>(nullptr, *store, "S.0000.0000", icons);
        display->resize(900, 600);
        display->show(&viewer);
    }

    void deliver(std::initializer_list<std::pair<int, bool>> points) {
        auto* dev = dynamic_cast<t_dev_104*>(store->get("D.0000"));
        ASSERT_NE(dev, nullptr);
        for (auto [addr, on] : points)
            dev->put_single(static_cast<std::uint16_t>(addr), nx_tm_time::from_time(time_now()),
                            static_cast<std::uint8_t>(on ? 1 : 0));
        store->hand_over(*dev, store->generation());
        store->update_pass();
    }

    QColor at(int x, int y) { return display->back_buffer().pixelColor(x, y); }

    icon_set icons;
    std::unique_ptr<t_ref_buff> store;
    std::unique_ptr<nx_schema_ilk> display;
    struct recording_viewer : i_viewer {
        void choose(const std::string& key) override { chosen.push_back(key); }
        std::vector<std::string> chosen;
    } viewer;
};

TEST_F(schema_ilk, PaintsBandsAndColumnBackgroundsIntoItsImage) {
    const ilk_table_layout& layout = display->layout();
    ASSERT_EQ(layout.lines.size(), 6u);
    EXPECT_EQ(display->back_buffer().size(), QSize(900, 600));
    // Row 1 (lines 0, 1) is banded light yellow, row 2 (line 2) is not, row 3 (line 3) is.
    ilk_rect data = layout.data_area();
    EXPECT_EQ(at(data.left + 3, data.top + 3), QColor(255, 255, 153));
    EXPECT_EQ(at(data.left + 3, data.top + layout.pitch + 3), QColor(255, 255, 153));
    EXPECT_NE(at(data.left + 3, data.top + 2 * layout.pitch + 3), QColor(255, 255, 153));
    EXPECT_EQ(at(data.left + 3, data.top + 3 * layout.pitch + 3), QColor(255, 255, 153));
    // Grid line between the first two columns, black.
    EXPECT_EQ(at(data.left + layout.pitch, data.top + 2 * layout.pitch + 5), QColor(0, 0, 0));
    // Outside the table: the button face.
    EXPECT_EQ(at(895, 595), QApplication::palette().color(QPalette::Button));
    int red = 0;
    int green = 0;
    int blue = 0;
    EXPECT_FALSE(background_colour(0, red, green, blue));
    ASSERT_TRUE(background_colour(7, red, green, blue));
    EXPECT_EQ(QColor(red, green, blue), QColor(255, 170, 70));
}

TEST_F(schema_ilk, TheTableNameStandsBelowAWrappedFirstTitleLine) {
    // The demo's short names make the corner narrow: "Блокировка разъединителей" wraps.
    const ilk_table_layout& layout = display->layout();
    int last_black = -1;
    int first_red = -1;
    for (int y = 0; y < layout.header_height; ++y)
        for (int x = 0; x < layout.line_header_width; ++x) {
            QColor c = at(x, y);
            if (c.red() < 60 && c.green() < 60 && c.blue() < 60)
                last_black = y;
            if (first_red < 0 && c.red() > 200 && c.green() < 60 && c.blue() < 60)
                first_red = y;
        }
    ASSERT_GT(last_black, 0);
    ASSERT_GT(first_red, 0);
    EXPECT_GT(first_red, last_black);
}

TEST_F(schema_ilk, APassRepaintsOnlyTheCellsThatChanged) {
    QImage before = display->back_buffer().copy();
    // Q1 switched on: the four permissions on Q1 change, the six on QS1, QS2, QSG1 do not.
    deliver({{1, true}});
    display->notify_changed("S.0000.0000.0000.0000");
    display->tick();
    EXPECT_EQ(display->cells_repainted(), 4);
    const ilk_table_layout& layout = display->layout();
    ilk_rect unchanged = layout.cell(3, 0);
    ilk_rect changed = layout.cell(0, 0);
    bool same = true;
    for (int y = unchanged.top; y < unchanged.bottom(); ++y)
        for (int x = unchanged.left; x < unchanged.right(); ++x)
            same = same && before.pixel(x, y) == display->back_buffer().pixel(x, y);
    EXPECT_TRUE(same);
    bool differs = false;
    for (int y = changed.top; y < changed.bottom(); ++y)
        for (int x = changed.left; x < changed.right(); ++x)
            differs = differs || before.pixel(x, y) != display->back_buffer().pixel(x, y);
    EXPECT_TRUE(differs);
    // Without a change nothing is laid out or painted again.
    display->tick();
    EXPECT_EQ(display->cells_repainted(), 4);
}

TEST_F(schema_ilk, ARowThatBecomesEnabledRepaintsOnlyItsRowImage) {
    QImage before = display->back_buffer().copy();
    const ilk_table_layout& layout = display->layout();
    ASSERT_EQ(layout.lines[0].image, 1451);
    // The permission signal of Q1's row (address 16) comes on, its ready signal (7) stays off.
    deliver({{16, true}, {7, false}});
    display->notify_changed("S.0000.0000.0001.0000");
    display->tick();
    EXPECT_EQ(layout.lines[0].image, 1450);
    EXPECT_EQ(display->cells_repainted(), 0);
    int s = layout.icon_size;
    int top = layout.header_height + (layout.pitch - s) / 2;
    auto differs = [&](int left, int top_edge) {
        for (int y = top_edge; y < top_edge + s; ++y)
            for (int x = left; x < left + s; ++x)
                if (before.pixel(x, y) != display->back_buffer().pixel(x, y))
                    return true;
        return false;
    };
    EXPECT_TRUE(differs(layout.row_image_left(), top));
    EXPECT_FALSE(differs(layout.row_image_left(), top + 2 * layout.pitch));
}

TEST_F(schema_ilk, ZoomStepsAreRelativeAndStoredUnderTheTableKey) {
    EXPECT_FALSE(display->command_enabled(1));
    EXPECT_TRUE(display->command_enabled(50)); // print
    EXPECT_TRUE(display->command_enabled(2));
    display->zoom_command(2);
    EXPECT_DOUBLE_EQ(display->zoom(), 1.1);
    display->zoom_command(3);
    EXPECT_DOUBLE_EQ(display->zoom(), 0.99);
    EXPECT_TRUE(display->command_enabled(1));
    EXPECT_EQ(display->cells_repainted(), -1);
    EXPECT_EQ(display->layout().pitch, mm_to_px(7.5 * 0.99, 96));
    display->zoom_command(1);
    EXPECT_DOUBLE_EQ(display->zoom(), 1.0);
}

TEST_F(schema_ilk, FitModesStayWithinBoundsAndSkipAnEmptyArea) {
    display->zoom_command(-1);
    EXPECT_DOUBLE_EQ(display->zoom(), -1.0);
    double fitted = display->layout().zoom;
    EXPECT_GT(fitted, 1.0);
    EXPECT_LE(display->layout().table().width, 900 - 2);
    EXPECT_GT(display->layout().table().width, 900 - 2 - 4 * mm_to_px(7.5 * 0.04, 96) - 40);
    // A minimised window: the zoom found last stays, never driven to 0 or below.
    display->resize(0, 0);
    display->tick();
    EXPECT_DOUBLE_EQ(display->layout().zoom, fitted);
    display->resize(1, 1);
    display->tick();
    EXPECT_GT(display->layout().zoom, 0.0);
}

class schema_ilk_pointer : public schema_ilk {
protected:
    schema_ilk_pointer() {
        display->set_manual_input([this](const std::string& key) { opened.push_back(key); });
    }
    QPoint column_header(int column) const {
        const ilk_table_layout& l = display->layout();
        return {l.line_header_width + column * l.pitch + l.pitch / 2, 10};
    }
    QPoint line_header(int line) const {
        const ilk_table_layout& l = display->layout();
        return {40, l.header_height + line * l.pitch + l.pitch / 2};
    }
    QPoint cell(int column, int line) const {
        const ilk_table_layout& l = display->layout();
        return {l.line_header_width + column * l.pitch + l.pitch / 2,
                l.header_height + line * l.pitch + l.pitch / 2};
    }
    void click(QPoint at) { QTest::mouseClick(display.get(), Qt::LeftButton, {}, at); }
    void ctrl_double_click(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseDClick(display.get(), button, Qt::ControlModifier, at);
    }
    // QTest moves the cursor, which the offscreen platform does not report: the event itself.
    void move_to(QPoint at) {
        QMouseEvent move(QEvent::MouseMove, QPointF(at), display->mapToGlobal(QPointF(at)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(display.get(), &move);
    }
    std::string signal_of(const std::string& component) {
        auto* signal = dynamic_cast<t_struct_vl*>(store->get(component));
        return signal == nullptr ? "" : signal->signal_key();
    }
    std::vector<std::string> permissions_of(const std::string& condition) {
        std::vector<std::string> keys;
        for (t_ref* child : store->refs().children(condition))
            if (auto* permission = dynamic_cast<t_ilk_and*>(child))
                keys.push_back(permission->key() + " -> " +
                               (permission->column_ref() ? permission->column_ref()->key() : ""));
        return keys;
    }

    std::vector<std::string> opened;
};

const std::string q1_column = "S.0000.0000.0000.0000";
const std::string qs1_column = "S.0000.0000.0000.0001";
const std::string q1_on = "S.0000.0000.0001.0000.0000";

TEST_F(schema_ilk_pointer, ASecondClickOnAHeaderOrCellListsItsSignals) {
    menu_recorder prompt({1, 0, 0});
    // A click on another header in between: no popup.
    click(column_header(0));
    click(line_header(0));
    click(column_header(0));
    EXPECT_TRUE(prompt.menus.empty());
    EXPECT_EQ(viewer.chosen, (std::vector<std::string>{q1_column, q1_on, q1_column}));
    click(column_header(0));
    ASSERT_EQ(prompt.menus.size(), 1u);
    EXPECT_EQ(prompt.menu_lines(0),
              (std::vector<std::string>{"0 [ ОТКЛЮЧЕН ]\tQ1 - Разрешающий КА", "-",
                                        "1 [ нр,ОТКЛ,авто ]\tQ1 - (s1_1_1) Телесигнал"}));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(signal_of(opened[0]), "s1_1_1");

    // A line header: the row's permission signal, the row's state word.
    click(line_header(1));
    click(line_header(1));
    ASSERT_EQ(prompt.menus.size(), 2u);
    EXPECT_EQ(prompt.menu_lines(1),
              (std::vector<std::string>{"0 [ нет контроля ]\tQ1 - Управляемый КА", "-",
                                        "1 [ нр,Н/К,авто ]\tQ1 - (s1_1_31) Телесигнал"}));

    // View mode: a click on a cell selects its permission, a second one lists its column.
    click(cell(3, 0));
    EXPECT_EQ(display->selected_key(), "S.0000.0000.0001.0000.0000.0001");
    EXPECT_EQ(viewer.chosen.back(), "S.0000.0000.0001.0000.0000.0001");
    EXPECT_EQ(prompt.menus.size(), 2u);
    click(cell(3, 0));
    ASSERT_EQ(prompt.menus.size(), 3u);
    EXPECT_EQ(prompt.menu_lines(2)[0], "0 [ ОТКЛЮЧЕН ]\tQSG1 - Разрешающий КА");
    EXPECT_EQ(opened.size(), 1u);
    // An empty cell selects nothing and opens nothing.
    click(cell(1, 0));
    click(cell(1, 0));
    EXPECT_EQ(prompt.menus.size(), 3u);
    EXPECT_EQ(display->selected_key(), "");
}

TEST_F(schema_ilk_pointer, CtrlDoubleClickCreatesAndDeletesPermissionsInEditMode) {
    menu_recorder prompt;
    std::vector<std::string> before = permissions_of(q1_on);
    ASSERT_EQ(before.size(), 2u);
    // View mode: a double-click never edits.
    ctrl_double_click(cell(1, 0));
    EXPECT_EQ(permissions_of(q1_on), before);
    EXPECT_FALSE(store->state().changed());

    store->set_edit_mode(true);
    ctrl_double_click(cell(1, 0));
    std::vector<std::string> after = permissions_of(q1_on);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[2], q1_on + ".0002 -> " + qs1_column);
    auto* created = dynamic_cast<t_ilk_and*>(store->get(q1_on + ".0002"));
    ASSERT_NE(created, nullptr);
    EXPECT_FALSE(created->permits_when_on());
    EXPECT_EQ(display->edit_mark(), 2);
    EXPECT_EQ(display->selected_key(), q1_on + ".0002");
    EXPECT_TRUE(store->state().changed());
    EXPECT_TRUE(table_edits_pending(*store));
    display->tick();
    display->tick();
    bool shown = false;
    for (const ilk_cell_item& c : display->layout().cells)
        shown = shown ||
                (c.column == 1 && c.line == 0 && c.key == q1_on + ".0002" && c.image_a == 1454);
    EXPECT_TRUE(shown);
    // The mark box stands over the hovered cell: tooltip colour 10 pixels beside the cell.
    move_to(cell(1, 0));
    EXPECT_EQ(display->edit_mark(), 2);
    QPoint box = cell(1, 0) - QPoint(display->layout().pitch / 2 + 5, 0);
    EXPECT_EQ(display->shown_image().pixelColor(box),
              QApplication::palette().color(QPalette::ToolTipBase));
    // A move to another cell takes the mark and its box away.
    move_to(cell(2, 0));
    EXPECT_EQ(display->edit_mark(), 0);
    EXPECT_NE(display->shown_image().pixelColor(box),
              QApplication::palette().color(QPalette::ToolTipBase));

    // The same on the occupied cell deletes it; the right button makes one that permits when on.
    ctrl_double_click(cell(1, 0));
    EXPECT_EQ(permissions_of(q1_on), before);
    EXPECT_EQ(display->edit_mark(), 0);
    ctrl_double_click(cell(2, 0), Qt::RightButton);
    auto* right = dynamic_cast<t_ilk_and*>(store->get(q1_on + ".0002"));
    ASSERT_NE(right, nullptr);
    EXPECT_TRUE(right->permits_when_on());
    EXPECT_EQ(display->edit_mark(), 1);
    // One question for the series (the first edit after start-up asks unless the machine has
    // been up less than five minutes).
    EXPECT_LE(prompt.boxes.size(), 1u);
}

TEST_F(schema_ilk_pointer, ARefusedConfirmationTurnsTheEditIntoASelection) {
    menu_recorder prompt;
    prompt.box_answer = answer_no;
    store->set_edit_mode(true);
    std::int64_t now = 10'000'000;
    int mark = 0;
    ilk_edit_outcome outcome =
        edit_table_cell(*store, q1_column, q1_on, false, true, mark, nullptr, now);
    EXPECT_EQ(prompt.boxes, std::vector<std::string>{"Редактировать таблицу блокировки ?\r\n"});
    EXPECT_FALSE(outcome.changed);
    EXPECT_EQ(outcome.selected, q1_on + ".0000");
    EXPECT_EQ(mark, 0);
    EXPECT_EQ(permissions_of(q1_on).size(), 2u);
    // Yes is asked once and holds for five minutes after the last confirmed edit.
    prompt.box_answer = answer_yes;
    EXPECT_TRUE(confirm_table_edit(*store, nullptr, now + 1000));
    EXPECT_TRUE(confirm_table_edit(*store, nullptr, now + 1000 + 300000));
    EXPECT_EQ(prompt.boxes.size(), 2u);
    prompt.box_answer = answer_no;
    EXPECT_FALSE(confirm_table_edit(*store, nullptr, now + 1000 + 600001));
    EXPECT_EQ(prompt.boxes.size(), 3u);
}

TEST_F(schema_ilk_pointer, DoubleClickOnAModeIconCyclesTheControlMode) {
    menu_recorder prompt;
    auto* condition = dynamic_cast<t_ilk_or*>(store->get(q1_on));
    ASSERT_NE(condition, nullptr);
    ASSERT_EQ(condition->control_mode(), 1);
    const ilk_table_layout& l = display->layout();
    QPoint mode_icon(l.line_header_width - 2 * l.pitch + l.pitch / 2, cell(0, 0).y());
    QTest::mouseDClick(display.get(), Qt::LeftButton, {}, mode_icon);
    EXPECT_EQ(condition->control_mode(), 1); // view mode
    store->set_edit_mode(true);
    std::vector<int> modes;
    for (int i = 0; i < 3; ++i) {
        QTest::mouseDClick(display.get(), Qt::LeftButton, {}, mode_icon);
        modes.push_back(condition->control_mode());
    }
    EXPECT_EQ(modes, (std::vector<int>{2, 0, 1}));
    EXPECT_TRUE(store->state().changed());
    QTest::mouseDClick(display.get(), Qt::LeftButton, {}, mode_icon);
    display->tick();
    EXPECT_EQ(display->layout().lines[0].mode_icon, 1457);
    // Not an edit of a permission: nothing waits for the rebuild.
    EXPECT_FALSE(table_edits_pending(*store));
}

TEST_F(schema_ilk_pointer, PendingEditsAreRebuiltFiveSecondsLaterOrWhenTheDisplayGoes) {
    menu_recorder prompt;
    store->set_edit_mode(true);
    ctrl_double_click(cell(1, 0));
    ASSERT_TRUE(table_edits_pending(*store));
    display->tick(1000);
    display->tick(6000);
    display->tick(6000);
    EXPECT_TRUE(table_edits_pending(*store));
    display->tick(6001);
    EXPECT_FALSE(table_edits_pending(*store));

    ctrl_double_click(cell(2, 0));
    ASSERT_TRUE(table_edits_pending(*store));
    display.reset();
    EXPECT_FALSE(table_edits_pending(*store));
    auto* created = dynamic_cast<t_ilk_and*>(store->get(q1_on + ".0003"));
    ASSERT_NE(created, nullptr);
    ASSERT_NE(created->column_ref(), nullptr);
    EXPECT_EQ(created->column_ref()->key(), "S.0000.0000.0000.0002");
}

TEST_F(schema_ilk_pointer, ArrowsScrollByOneAndHoverOutlinesLineAndColumn) {
    display->zoom_command(1); // the zoom stored by an earlier test may be a fit mode
    display->resize(200, 200);
    display->tick();
    const ilk_table_layout& l = display->layout();
    ilk_scroll_arrows arrows = display->arrows();
    int a = static_cast<int>(std::lround(1.5 * l.icon_size));
    EXPECT_EQ(arrows.right, (ilk_rect{l.line_header_width - a, l.header_height - a, a, a}));
    EXPECT_EQ(arrows.down, (ilk_rect{0, l.header_height - a, a, a}));
    EXPECT_EQ(arrows.left.width, 0);
    EXPECT_EQ(arrows.up.width, 0);
    std::size_t chosen = viewer.chosen.size();
    click({arrows.right.left + a / 2, arrows.right.top + a / 2});
    EXPECT_EQ(display->first_column(), 1);
    EXPECT_EQ(display->arrows().left,
              (ilk_rect{l.line_header_width - 2 * a, l.header_height - a, a, a}));
    click({arrows.down.left + a / 2, arrows.down.top + a / 2});
    EXPECT_EQ(display->first_row(), 1);
    EXPECT_EQ(viewer.chosen.size(), chosen); // not a click on the table
    // The first shown column header is now QS1.
    click(column_header(0));
    EXPECT_EQ(viewer.chosen.back(), qs1_column);
    click({display->arrows().left.left + 2, display->arrows().left.top + 2});
    EXPECT_EQ(display->first_column(), 0);

    // Hover over cell (1, 1): the line and the column outlined in red, 2 pixels inside.
    display->resize(900, 600);
    display->tick();
    move_to(cell(1, 1));
    QImage shown = display->shown_image();
    QColor red(255, 0, 0);
    int top = l.header_height + l.pitch + 2;
    EXPECT_EQ(shown.pixelColor(100, top), red);
    EXPECT_EQ(shown.pixelColor(l.line_header_width + l.pitch + 2, 100), red);
    EXPECT_NE(display->back_buffer().pixelColor(100, top), red);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(display.get(), &leave);
    EXPECT_EQ(display->shown_image().pixelColor(100, top),
              display->back_buffer().pixelColor(100, top));
}

TEST_F(schema_ilk_pointer, ASameNameColumnTakesTheCandidateOfTheRowOrBeeps) {
    menu_recorder prompt({0});
    counting_beep beeps;
    store->insert_xml("S.0000.0000", "<ref tp=\"71\" frm=\"#\">"
                                     "<ref tp=\"70\" nof=\"s1_1_2\" part=\"QS1\"/></ref>");
    display->zoom_command(1);
    display->notify_changed("S.0000.0000");
    display->tick();
    ASSERT_EQ(display->layout().columns.size(), 5u);
    const std::string same = display->layout().column_keys[4];
    auto* candidate = dynamic_cast<t_ilk_vts*>(store->get(same + ".0000"));
    ASSERT_NE(candidate, nullptr);
    click(column_header(4));
    click(column_header(4));
    ASSERT_EQ(prompt.menus.size(), 1u);
    EXPECT_EQ(prompt.menu_lines(0),
              (std::vector<std::string>{"0 Одноименный столбец\t", "-",
                                        "1 [ нр,ОТКЛ,авто ]\tQS1 - (s1_1_2) Телесигнал"}));

    store->set_edit_mode(true);
    // Row Q1 has no candidate: a beep, nothing created.
    ctrl_double_click(cell(4, 0));
    EXPECT_EQ(beeps.beeps, (std::vector<std::pair<int, int>>{{1500, 100}}));
    EXPECT_EQ(permissions_of(q1_on).size(), 2u);
    // Row QS1 takes the candidate named by its part.
    const std::string qs1_row = "S.0000.0000.0001.0001.0000";
    ctrl_double_click(cell(4, 2));
    std::vector<std::string> after = permissions_of(qs1_row);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[2], qs1_row + ".0002 -> " + candidate->key());
    EXPECT_EQ(beeps.beeps.size(), 1u);
}

// Where the painter puts a cell's permission picture: centred 2 pixels right of and below the
// cell's centre, at s, or at s / 2 in the lower half of a same-name cell.
QRect permission_box(const ilk_table_layout& l, const ilk_cell_item& cell) {
    ilk_rect r = l.cell(cell.column, cell.line);
    int cx = r.left + r.width / 2 + 2;
    int cy = r.top + r.height / 2 + 2;
    int s = l.icon_size;
    if (!cell.same_name)
        return {cx - s / 2, cy - s / 2, s, s};
    return {cx - s / 4, cy, s / 2, s / 2};
}

// The colour the operator sees in the upper part of the permission's circle.
std::string permission_colour(const QImage& image, const ilk_table_layout& l,
                              const ilk_cell_item& cell) {
    QRect box = permission_box(l, cell);
    QColor c = image.pixelColor(box.left() + box.width() / 2, box.top() + box.height() / 5);
    if (c.green() > c.red() + 50)
        return "green";
    if (c.red() > c.green() + 50)
        return "red";
    return "neither";
}

const ilk_cell_item& cell_at_position(const ilk_table_layout& l, int column, int line) {
    for (const ilk_cell_item& cell : l.cells)
        if (cell.column == column && cell.line == line)
            return cell;
    throw std::runtime_error("no cell there");
}

TEST_F(schema_ilk, PermittedAndRefusedCellsReadApartAtEveryZoom) {
    // Q1 on: its cell on line 0 is refused and asks for "off" (a green mark), the one on line 1
    // is permitted and asks for "on" (a red mark); QSG1's cell on line 0 is permitted.
    deliver({{1, true}});
    display->notify_changed(q1_column);
    display->tick();
    auto check = [&](const std::string& where) {
        const ilk_table_layout& l = display->layout();
        const ilk_cell_item& refused = cell_at_position(l, 0, 0);
        const ilk_cell_item& permitted = cell_at_position(l, 0, 1);
        const ilk_cell_item& beside = cell_at_position(l, 3, 0);
        ASSERT_EQ(refused.image_b, 1456) << where;
        ASSERT_EQ(refused.image_a, 1454) << where;
        ASSERT_EQ(permitted.image_b, 1455) << where;
        ASSERT_EQ(permitted.image_a, 1453) << where;
        ASSERT_EQ(beside.image_b, 1455) << where;
        const QImage& image = display->back_buffer();
        EXPECT_EQ(permission_colour(image, l, refused), "red") << where;
        EXPECT_EQ(permission_colour(image, l, permitted), "green") << where;
        EXPECT_EQ(permission_colour(image, l, beside), "green") << where;
    };
    display->zoom_command(1);
    check("zoom 1");
    for (int i = 0; i < 7; ++i)
        display->zoom_command(2);
    check("zoom 1.95");
    // The smallest fit: the whole table in a small window.
    display->resize(260, 180);
    display->zoom_command(0);
    ASSERT_LT(display->layout().zoom, 0.6);
    check("fitted small");
}

TEST_F(schema_ilk, SameNameCellsShowTheirPermissionStateInTheLowerHalf) {
    menu_recorder prompt;
    store->insert_xml("S.0000.0000", "<ref tp=\"71\" frm=\"#\">"
                                     "<ref tp=\"70\" nof=\"s1_1_2\" part=\"QS1\"/>"
                                     "<ref tp=\"70\" nof=\"s1_1_3\" part=\"QS2\"/></ref>");
    display->zoom_command(1);
    display->notify_changed("S.0000.0000");
    display->tick();
    ASSERT_EQ(display->layout().columns.size(), 5u);
    const std::string same = display->layout().column_keys[4];
    store->set_edit_mode(true);
    // QS1 and QS2 on. Row QS1 (line 2) permits when its apparatus is off: refused, with the
    // green "off" mark; row QS2 (line 3) permits when on: permitted, with the red "on" mark.
    deliver({{2, true}, {3, true}});
    int mark = 0;
    edit_table_cell(*store, same, display->layout().line_keys[2], false, true, mark, nullptr,
                    10'000'000);
    mark = 0;
    edit_table_cell(*store, same, display->layout().line_keys[3], true, true, mark, nullptr,
                    10'000'000);
    flush_table_edits(*store);
    store->update_pass();
    display->notify_changed(same);
    display->tick();
    const ilk_table_layout& l = display->layout();
    const ilk_cell_item& refused = cell_at_position(l, 4, 2);
    const ilk_cell_item& permitted = cell_at_position(l, 4, 3);
    ASSERT_TRUE(refused.same_name);
    ASSERT_EQ(refused.image_b, 1456);
    ASSERT_EQ(refused.image_a, 1454);
    ASSERT_EQ(permitted.image_b, 1455);
    ASSERT_EQ(permitted.image_a, 1453);
    EXPECT_EQ(permission_colour(display->back_buffer(), l, refused), "red");
    EXPECT_EQ(permission_colour(display->back_buffer(), l, permitted), "green");
}

// The picture `number` with the state image `mark` as the trees compose it, on `ground`.
QImage composed(icon_set& icons, int number, int mark, int size, QColor ground) {
    QImage expected(size, size, QImage::Format_RGB32);
    expected.fill(ground);
    QPainter painter(&expected);
    painter.drawPixmap(0, 0, icons.overlaid(number, mark, size));
    return expected;
}

bool region_is(const QImage& image, int left, int top, const QImage& expected) {
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (image.pixel(left + x, top + y) != expected.pixel(x, y))
                return false;
    return true;
}

TEST_F(schema_ilk, StateImagesAreTheTreesOverlays) {
    deliver({{1, true}});
    display->notify_changed(q1_column);
    display->tick();
    const ilk_table_layout& l = display->layout();
    int s = l.icon_size;
    // Q1 just switched on and not acknowledged: the tree's red "!" (1444) over its ON picture.
    ASSERT_EQ(l.columns[0].state, 5);
    ASSERT_EQ(l.columns[0].icon, 1453);
    int column_left = l.line_header_width + (l.pitch - s) / 2;
    int column_top = l.header_height - mm_to_px(0.5, 96) - s;
    QColor face = QApplication::palette().color(QPalette::Button);
    EXPECT_TRUE(region_is(display->back_buffer(), column_left, column_top,
                          composed(icons, 1453, 1444, s, face)));
    EXPECT_EQ(state_image(5, true), 1444);
    // The rows have no control: the tree's 1403 over "not enabled", on the row's band.
    ASSERT_EQ(l.lines[0].state, 2);
    int row_top = l.header_height + (l.pitch - s) / 2;
    EXPECT_TRUE(region_is(display->back_buffer(), l.row_image_left(), row_top,
                          composed(icons, 1451, 1403, s, QColor(255, 255, 153))));
    // Every state its own image, none of them the "not enabled" cross or the tick.
    std::vector<int> images;
    for (int state : {1, 2, 3, 5, 6, 7})
        images.push_back(state_image(state, true));
    EXPECT_EQ(images, (std::vector<int>{1400, 1403, 1404, 1444, 1443, 1445}));
    EXPECT_EQ(state_image(6, false), 1452);
}

TEST_F(schema_ilk, ARenamedTableRepaintsItsTitle) {
    QImage before = display->back_buffer().copy();
    auto* shown = dynamic_cast<t_ilk_tab*>(store->get("S.0000.0000"));
    ASSERT_NE(shown, nullptr);
    shown->set_name("Ячейка Л-2");
    display->notify_changed("S.0000.0000");
    display->tick();
    EXPECT_EQ(display->layout().title2, "Ячейка Л-2");
    EXPECT_EQ(display->cells_repainted(), -1);
    ilk_rect corner = display->layout().corner();
    bool differs = false;
    for (int y = corner.top; y < corner.bottom(); ++y)
        for (int x = corner.left; x < corner.right(); ++x)
            differs = differs || before.pixel(x, y) != display->back_buffer().pixel(x, y);
    EXPECT_TRUE(differs);
}

TEST_F(schema_ilk, TheFitIsSearchedOncePerSize) {
    display->zoom_command(-1);
    EXPECT_EQ(display->fit_searches(), 1);
    double fitted = display->layout().zoom;
    for (bool on : {true, false, true}) {
        deliver({{1, on}});
        display->notify_changed(q1_column);
        display->tick();
    }
    EXPECT_EQ(display->fit_searches(), 1);
    EXPECT_GE(display->cells_repainted(), 0);
    EXPECT_DOUBLE_EQ(display->layout().zoom, fitted);
    display->resize(600, 600);
    display->tick();
    EXPECT_EQ(display->fit_searches(), 2);
    EXPECT_LT(display->layout().zoom, fitted);
    // A new column widens the table: fitted again for the same size.
    store->insert_xml("S.0000.0000",
                      "<ref tp=\"71\" frm=\"#\"><ref tp=\"70\" part=\"QS1\"/></ref>");
    display->notify_changed("S.0000.0000");
    display->tick();
    EXPECT_EQ(display->fit_searches(), 3);
    EXPECT_LE(display->layout().table().width, 600 - 2);
}

TEST_F(schema_ilk, OrStandsWholeInItsPlaceAtEveryZoom) {
    display->zoom_command(1);
    for (int step = 0; step < 12; ++step) {
        const ilk_table_layout& l = display->layout();
        ASSERT_FALSE(l.lines[1].first_of_row);
        // Line 1 is the second condition of row Q1: "ИЛИ" between the mode icon and the data.
        int top = l.header_height + l.pitch + 2;
        int bottom = l.header_height + 2 * l.pitch - 2;
        int left = l.or_left();
        int right = l.line_header_width; // the grid line
        int ink = 0;
        bool at_edge = false;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                QColor c = display->back_buffer().pixelColor(x, y);
                if (c.red() < 100 && c.green() < 100 && c.blue() < 100) {
                    ++ink;
                    at_edge = at_edge || x == left || x == right - 1;
                }
            }
        EXPECT_GT(ink, 0) << "zoom " << l.zoom;
        // A clipped word has ink up to the clip edge.
        EXPECT_FALSE(at_edge) << "zoom " << l.zoom;
        display->zoom_command(step < 6 ? 2 : 3);
        if (step == 5)
            display->zoom_command(1);
    }
}

TEST_F(schema_ilk, WheelAndKeysScrollAndZoom) {
    display->zoom_command(1);
    display->resize(200, 200);
    display->tick();
    auto wheel = [&](int dy, Qt::KeyboardModifiers modifiers) {
        QPointF at(150, 150);
        QWheelEvent event(at, display->mapToGlobal(at), QPoint(), QPoint(0, dy), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(display.get(), &event);
    };
    ilk_scroll_limits limits = scroll_limits(display->layout(), 200, 200);
    ASSERT_GT(limits.max_first_line, 1);
    // A notch down: three lines (as far as they go).
    wheel(-120, Qt::NoModifier);
    EXPECT_EQ(display->first_row(), std::min(3, limits.max_first_line));
    wheel(120, Qt::NoModifier);
    EXPECT_EQ(display->first_row(), 0);
    wheel(-120, Qt::ShiftModifier);
    EXPECT_EQ(display->first_column(), 1);
    EXPECT_EQ(display->first_row(), 0);
    wheel(120, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(display->zoom(), 1.1);
    QTest::keyClick(display.get(), Qt::Key_Left);
    EXPECT_EQ(display->first_column(), 0);
    QTest::keyClick(display.get(), Qt::Key_Down);
    EXPECT_EQ(display->first_row(), 1);
    QTest::keyClick(display.get(), Qt::Key_PageDown);
    int paged = display->first_row();
    EXPECT_GT(paged, 1);
    QTest::keyClick(display.get(), Qt::Key_PageUp);
    EXPECT_LT(display->first_row(), paged);
}

TEST_F(schema_ilk_pointer, AConfirmedEditIsAppliedOnceWhateverTheQuestionSwallows) {
    // The question's own event loop delivers the double-click's release to the table.
    struct releasing_prompt : menu_recorder {
        int message_box(owner_handle owner, const std::string& text, const std::string& caption,
                        int type) override {
            QPointF at(where);
            QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at),
                                Qt::LeftButton, Qt::NoButton, Qt::ControlModifier);
            QApplication::sendEvent(target, &release);
            return menu_recorder::message_box(owner, text, caption, type);
        }
        QWidget* target = nullptr;
        QPoint where;
    } prompt;
    prompt.target = display.get();
    prompt.where = cell(1, 0);
    // Long after any earlier edit: the first edit of the session asks.
    display->set_tick_source([] { return std::int64_t{10'000'000}; });
    store->set_edit_mode(true);
    std::vector<std::string> before = permissions_of(q1_on);
    ctrl_double_click(cell(1, 0));
    EXPECT_EQ(prompt.boxes, std::vector<std::string>{"Редактировать таблицу блокировки ?\r\n"});
    std::vector<std::string> after = permissions_of(q1_on);
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after.back(), q1_on + ".0002 -> " + qs1_column);
    EXPECT_EQ(display->edit_mark(), 2);
    EXPECT_TRUE(store->state().changed());
    EXPECT_TRUE(table_edits_pending(*store));
}

TEST_F(schema_ilk_pointer, TooltipsAndTheLegendExplainThePictures) {
    deliver({{1, true}});
    display->notify_changed(q1_column);
    display->tick();
    const ilk_table_layout& l = display->layout();
    auto text_at = [&](QPoint at) {
        return legend_text_at(l, display->arrows(), 0, 0, at.x(), at.y());
    };
    EXPECT_EQ(text_at(cell(0, 0)), "Разрешения нет: разрешает, когда Q1 отключен");
    EXPECT_EQ(text_at(cell(0, 1)), "Разрешение есть: разрешает, когда Q1 включен");
    EXPECT_EQ(text_at(cell(1, 0)), "");
    int s = l.icon_size;
    int middle = cell(0, 0).y();
    EXPECT_EQ(text_at({l.mode_icon_left() + s / 2, middle}), "Д — управление «Дистанционное»");
    EXPECT_EQ(text_at({l.direction_icon_left() + s / 2, middle}), "I — условие включения");
    EXPECT_EQ(text_at({l.row_image_left() + s / 2, middle}),
              "Строка: управление не разрешено (нет контроля)");
    EXPECT_EQ(text_at({l.line_header_width + l.pitch / 2, l.header_height - s / 2}),
              "Q1: включен (не квитировано)");
    // Over the title the legend box: every picture of the table with its meaning.
    std::vector<std::string> icons_listed;
    for (const ilk_legend_entry& entry : table_legend())
        icons_listed.push_back(std::to_string(entry.icon) + "/" + std::to_string(entry.state));
    EXPECT_EQ(icons_listed,
              (std::vector<std::string>{"1455/0", "1456/0", "1453/0", "1454/0", "1463/0", "1464/0",
                                        "1457/0", "1450/0", "1451/0", "0/5", "0/2", "0/3", "0/6",
                                        "0/7", "0/1", "1461/0"}));
    QPoint title(l.line_header_width / 2, 5);
    QHelpEvent help(QEvent::ToolTip, title, display->mapToGlobal(title));
    QApplication::sendEvent(display.get(), &help);
    ASSERT_NE(display->legend_popup(), nullptr);
    EXPECT_TRUE(display->legend_popup()->isVisible());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(display.get(), &leave);
    EXPECT_FALSE(display->legend_popup()->isVisible());
}

TEST_F(schema_ilk_pointer, PrintsTheTableWithTitleStatesAndLegendOnOnePage) {
    deliver({{1, true}});
    display->notify_changed(q1_column);
    display->tick();
    // An A4 page in landscape at 150 dots per inch.
    QImage page(1754, 1240, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    ilk_table_layout printed = display->paint_printed(painter, page.rect(), 150, 150);
    painter.end();
    ilk_rect whole = printed.table();
    QSize legend = legend_size(printed);
    int legend_top = whole.height + mm_to_px(5, 150);
    // Fitted: the table and the legend below it fill the page's height within one zoom step.
    EXPECT_LE(legend_top + legend.height(), page.height());
    EXPECT_GT(legend_top + legend.height(), page.height() * 8 / 10);
    EXPECT_GT(printed.zoom, 1.0);
    // The states as they are now, on paper.
    EXPECT_EQ(permission_colour(page, printed, cell_at_position(printed, 0, 0)), "red");
    EXPECT_EQ(permission_colour(page, printed, cell_at_position(printed, 0, 1)), "green");
    // The title in red in the corner, the legend's black frame below the table.
    bool red_title = false;
    for (int y = 0; y < printed.header_height && !red_title; ++y)
        for (int x = 0; x < printed.line_header_width && !red_title; ++x) {
            QColor c = page.pixelColor(x, y);
            red_title = c.red() > 200 && c.green() < 60 && c.blue() < 60;
        }
    EXPECT_TRUE(red_title);
    EXPECT_EQ(page.pixelColor(legend.width() / 2, legend_top), QColor(0, 0, 0));
    EXPECT_EQ(page.pixelColor(legend.width() / 2, legend_top + 1), QColor(255, 255, 255));
    // Paper is white outside the table.
    EXPECT_EQ(page.pixelColor(page.width() - 2, 2), QColor(255, 255, 255));

    // And through the printer path into a PDF file.
    QString path = QString::fromStdString(station_dir() + "table.pdf");
    {
        QPdfWriter pdf(path);
        pdf.setResolution(300);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        ASSERT_TRUE(display->print_to(pdf));
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_GT(bytes.size(), 10000);
}

} // namespace

#endif
