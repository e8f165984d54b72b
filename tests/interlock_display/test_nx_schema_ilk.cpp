// The table display on the demo station: painted once into its image, and a pass that changes
// an apparatus repaints only the cells and headers that changed.
#ifdef DEMO_FOLDER

#include "base/nx_time.h"
#include "base/settings.h"
#include "config/interfaces.h"
#include "config/t_ref_buff.h"
#include "interlock/display/nx_schema_ilk.h"
#include "interlock/display/table_painter.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "structure/structure_classes.h"
#include "telemech/t_dev_104.h"
#include "telemech/telemech_classes.h"
#include "tests/support/test_support.h"
#include "ui/icon_set.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

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

TEST_F(schema_ilk, ZoomStepsAreRelativeAndStoredUnderTheTableKey) {
    EXPECT_FALSE(display->command_enabled(1));
    EXPECT_FALSE(display->command_enabled(50));
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

} // namespace

#endif
