// The what-if mode in the window: the frame and banner over a copy of the schemes and tables,
// the title, exports refused while it is on, leaving by button, Escape and idle time, clicks
// that switch apparatus in the copy only, the switching program panel and its printout.

#include "base/cp1251.h"
#include "config/t_ref_buff.h"
#include "interlock/display/nx_schema_ilk.h"
#include "interlock/export_interlock.h"
#include "interlock/ilk_state.h"
#include "interlock/t_ilk_tab.h"
#include "interlock/whatif_view/program_printout.h"
#include "interlock/whatif_view/switching_program_panel.h"
#include "interlock/whatif/whatif_state.h"
#include "interlock/whatif_view/whatif_area.h"
#include "schemes/control/nx_view_schema.h"
#include "schemes/control/scheme_control.h"
#include "schemes/t_el_disp.h"
#include "schemes/t_element.h"
#include "tests/interlock_whatif/whatif_fixture.h"
#include "ui/icon_set.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QVBoxLayout>

#include <filesystem>

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

bool is_red(QColor c) {
    return c.red() > 150 && c.green() < 60 && c.blue() < 60;
}
bool is_green(QColor c) {
    return c.green() > 110 && c.red() < 60 && c.blue() < 60;
}

class whatif_window : public whatif_test {
protected:
    whatif_window() {
        std::filesystem::remove_all(station_dir() + "SDE");
        std::filesystem::copy(demo_folder + "SDE", station_dir() + "SDE",
                              std::filesystem::copy_options::recursive);
        window.setWindowTitle("ilkstation");
        live_view = new QLabel("live", &window);
        area = new whatif_area(*live, icons, live_view, &window);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(live_view);
        layout->addWidget(area);
        window.show();
        window.resize(1200, 700);
        area->resize(1200, 700);
    }
    ~whatif_window() override {
        delete area;
        set_prompt(nullptr);
    }

    std::string copy_key_of_element(const std::string& name) {
        for (t_ref* r : area->engine()->store().refs().under("S"))
            if (auto* e = dynamic_cast<t_element*>(r); e != nullptr && e->disp_name() == name)
                return e->key();
        return {};
    }

    icon_set icons;
    QWidget window;
    QLabel* live_view = nullptr;
    whatif_area* area = nullptr;
};

} // namespace

using WhatIfWindow = whatif_window;

TEST_F(WhatIfWindow, ShowsTheModeBeyondDoubtAndRefusesExportsWhileOn) {
    EXPECT_EQ(area->shown(), live_view);
    EXPECT_TRUE(area->isHidden());
    area->enter();
    ASSERT_TRUE(area->active());
    EXPECT_EQ(area->shown(), area->frame());
    EXPECT_TRUE(live_view->isHidden());
    EXPECT_FALSE(area->isHidden());
    EXPECT_EQ(window.windowTitle().toStdString(),
              "РЕЖИМ ПРОВЕРКИ — значения не настоящие — ilkstation");
    auto* banner = area->findChild<QLabel*>("whatif_banner");
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(banner->text().toStdString(), "РЕЖИМ ПРОВЕРКИ — значения не настоящие");
    // The frame around the scheme and table area is red, at its edge.
    area->frame()->resize(800, 500);
    QImage frame = area->frame()->grab().toImage();
    EXPECT_TRUE(is_red(frame.pixelColor(2, 250))) << frame.pixelColor(2, 250).name().toStdString();
    EXPECT_TRUE(is_red(frame.pixelColor(400, frame.height() - 3)));
    // The copy's scheme view shows the table and the scheme of the copy.
    ASSERT_NE(area->copy_view(), nullptr);
    EXPECT_GE(area->copy_view()->tab_bar()->count(), 2);
    // The copy's scheme prints under the banner; a band of it is red across the page top.
    area->copy_view()->show_tab(1);
    QList<scheme_control*> controls = area->copy_view()->findChildren<scheme_control*>();
    ASSERT_FALSE(controls.isEmpty());
    for (scheme_control* c : controls)
        EXPECT_EQ(c->print_banner().toStdString(), "РЕЖИМ ПРОВЕРКИ — значения не настоящие");
    QImage band(600, 100, QImage::Format_RGB32);
    band.fill(Qt::white);
    {
        QPainter painter(&band);
        EXPECT_NEAR(paint_print_banner(painter, 600, controls[0]->print_banner()), 30, 0.01);
    }
    EXPECT_TRUE(is_red(band.pixelColor(3, 3)));
    EXPECT_TRUE(is_red(band.pixelColor(596, 20)));
    EXPECT_EQ(band.pixelColor(300, 27), QColor(Qt::white));

    // No export while the mode is on, with a box that says why.
    scripted_prompt prompt;
    set_prompt(&prompt);
    prompt.expect("экспорт и загрузка в контроллер невозможны", answer_ok);
    EXPECT_FALSE(
        export_interlock(*live, "S.0000", "Экспорт в conf.ini", false, transfer_options{}));
    EXPECT_FALSE(std::filesystem::exists(station_dir() + "CONF_INI/conf.ini"));

    // Escape leaves: the live view, the title and exports are back.
    QTest::keyClick(area->frame(), Qt::Key_Escape);
    EXPECT_FALSE(area->active());
    EXPECT_EQ(area->shown(), live_view);
    EXPECT_FALSE(live_view->isHidden());
    EXPECT_TRUE(area->isHidden());
    EXPECT_EQ(window.windowTitle().toStdString(), "ilkstation");
    EXPECT_TRUE(ilk_state::of(*live).export_refusal.empty());

    // The button leaves too, and so does the idle time (10 minutes unless set).
    area->enter();
    area->findChild<QPushButton*>("whatif_leave")->click();
    EXPECT_FALSE(area->active());
    EXPECT_EQ(area->idle_minutes(), 10);
    area->enter();
    EXPECT_EQ(area->idle_timer().interval(), 10 * 60 * 1000);
    area->idle_timer().start(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !area->active(); }, 5000));
}

TEST_F(WhatIfWindow, ClicksSwitchTheCopyOnlyAndTheEntryHoldsGivenValues) {
    area->enter();
    const whatif_values live_before = whatif_engine::read_values(*live);
    std::string q1 = copy_key_of_element("Q1");
    ASSERT_FALSE(q1.empty());
    ASSERT_TRUE(area->switch_over(q1));
    EXPECT_EQ(area->engine()->values().at("s1_1_1").value, 0);
    ASSERT_TRUE(area->switch_over(q1));
    EXPECT_EQ(area->engine()->values().at("s1_1_1").value, 1);
    // A table column switches its apparatus as well.
    std::string column = "S.0000.0000.0000.0003"; // QSG1
    ASSERT_TRUE(area->switch_over(column));
    EXPECT_EQ(area->engine()->values().at("s1_1_4").value, 1);
    EXPECT_EQ(whatif_engine::read_values(*live), live_before);

    area->leave();
    area->enter_whatif_with({{"s1_1_2", 0}, {"s1_1_3", 0}});
    EXPECT_TRUE(area->active());
    // Entered afresh from live, then the two values held.
    EXPECT_EQ(area->engine()->values().at("s1_1_4").value, 0);
    EXPECT_EQ(area->engine()->values().at("s1_1_2").value, 0);
    EXPECT_EQ(area->engine()->values().at("s1_1_3").value, 0);
    EXPECT_EQ(whatif_engine::read_values(*live), live_before);
}

TEST_F(WhatIfWindow, ProgramPanelColoursTheStepsAndExplainsTheRefusal) {
    area->enter();
    switching_program_panel* panel = area->program_panel();
    panel->set_steps(read_switching_program("QS1;отключить\nQ1;отключить\nQS1;отключить\n"));
    panel->check();
    QTableWidget* table = panel->table();
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 3)->text().toStdString(), "ЗАПРЕЩЕНО");
    EXPECT_EQ(table->item(1, 3)->text().toStdString(), "разрешено");
    EXPECT_EQ(table->item(0, 0)->background().color(), QColor(255, 200, 200));
    EXPECT_EQ(table->item(1, 0)->background().color(), QColor(200, 240, 200));
    EXPECT_EQ(panel->explanation()->toPlainText().toStdString(),
              program_result_text(panel->results()));
    EXPECT_NE(
        panel->explanation()->toPlainText().toStdString().find("        [нет] отключен - Q1\n"),
        std::string::npos);

    // The PDF is written, and the printed page carries the banner and the colours.
    temp_dir dir;
    ASSERT_TRUE(panel->write_pdf(dir.path() + "p.pdf"));
    EXPECT_EQ(read_bytes(dir.path() + "p.pdf").substr(0, 5), "%PDF-");

    QImage page(800, 600, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        EXPECT_EQ(paint_program_result(painter, page.rect(), "Бланк", panel->results()), 3);
    }
    EXPECT_TRUE(is_red(page.pixelColor(5, 5)));
    EXPECT_TRUE(is_red(page.pixelColor(795, 20)));
    // The marks down the left edge: red for the refused first step, then green twice.
    std::vector<std::string> marks;
    bool in_mark = false;
    for (int y = 40; y < page.height(); ++y) {
        QColor c = page.pixelColor(6, y);
        bool mark = is_red(c) || is_green(c);
        if (mark && !in_mark)
            marks.push_back(is_red(c) ? "red" : "green");
        in_mark = mark;
    }
    EXPECT_EQ(marks, (std::vector<std::string>{"red", "green", "green"}));
}

TEST_F(WhatIfWindow, PrintedTableOfTheCopyCarriesTheBanner) {
    area->enter();
    auto table_key = [](t_ref_buff& store) {
        for (t_ref* r : store.refs().under("S"))
            if (dynamic_cast<t_ilk_tab*>(r) != nullptr)
                return r->key();
        return std::string();
    };
    nx_schema_ilk copy_table(nullptr, area->engine()->store(), table_key(area->engine()->store()),
                             icons);
    nx_schema_ilk live_table(nullptr, *live, table_key(*live), icons);
    for (auto* t : {&copy_table, &live_table}) {
        QImage page(1000, 700, QImage::Format_RGB32);
        page.fill(Qt::white);
        {
            QPainter painter(&page);
            t->paint_printed(painter, page.rect(), 96, 96);
        }
        bool banner = is_red(page.pixelColor(500, 4)) && is_red(page.pixelColor(10, 20));
        EXPECT_EQ(banner, t == &copy_table);
    }
}

TEST_F(WhatIfWindow, ColumnHeaderClicksAndManualInputWorkOnTheCopy) {
    area->enter();
    const whatif_values live_before = whatif_engine::read_values(*live);
    // A column header chosen in the copy's table display: its apparatus switches over, and
    // once more on the next click.
    const std::string qsg1_column = "S.0000.0000.0000.0003";
    area->copy_view()->choose(qsg1_column);
    QCoreApplication::processEvents();
    EXPECT_EQ(area->engine()->values().at("s1_1_4").value, 1);
    area->copy_view()->choose(qsg1_column);
    QCoreApplication::processEvents();
    EXPECT_EQ(area->engine()->values().at("s1_1_4").value, 0);

    // The what-if manual input: a menu of values and qualities, through the prompt.
    scripted_prompt prompt;
    set_prompt(&prompt);
    prompt.expect_menu(3);
    area->manual_input("s1_1_4");
    ASSERT_EQ(prompt.menus().size(), 1u);
    std::vector<std::string> texts;
    for (const menu_item& m : prompt.menus()[0])
        texts.push_back(std::to_string(m.command) + " " + m.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"1 Включен (1)", "2 Отключен (0)",
                                               "5 Ручной ввод (текущее значение)", "3 Недостоверно",
                                               "4 Нет контроля", "6 Не определено"}));
    EXPECT_EQ(area->engine()->values().at("s1_1_4"), (whatif_signal{0, true, true, true, false}));
    prompt.expect_menu(1);
    area->manual_input("s1_1_4");
    EXPECT_EQ(area->engine()->values().at("s1_1_4"), (whatif_signal{1, true, true, false, false}));
    EXPECT_EQ(whatif_engine::read_values(*live), live_before);
}

TEST_F(WhatIfWindow, StateIsSavedAndLoadedThroughTheFileDialogs) {
    area->enter();
    area->engine()->set_signal("s1_1_2", {0, true, true, true, false});
    area->engine()->apply();
    const whatif_values saved = area->engine()->values();
    temp_dir dir;
    const std::string path = dir.path() + "check.ilkstate";
    scripted_prompt prompt;
    set_prompt(&prompt);
    prompt.expect_save_file(path);
    area->save_state();
    EXPECT_EQ(read_bytes(path), whatif_state_text(saved));

    area->engine()->take_live_values(*live);
    EXPECT_NE(area->engine()->values(), saved);
    prompt.expect_save_file(path);
    area->load_state();
    EXPECT_EQ(area->engine()->values(), saved);

    // A file that names a signal the station lacks changes nothing and says why.
    write_bytes(path, "s1_1_2 = 1\ns9_9_9 = 1\n");
    prompt.expect_save_file(path);
    prompt.expect("нет сигнала s9_9_9", answer_ok);
    area->load_state();
    EXPECT_EQ(area->engine()->values(), saved);
}

// The copy's element menu offers no dispatcher command: a command taken there would be
// recorded in the station's audit trail as done, and would force a signal of the copy as if
// the dispatcher had given it. The same element on the live scheme still asks, and records.
TEST_F(WhatIfWindow, CopysElementMenuTakesNoDispatcherCommand) {
    // The demo station with a dispatcher rule on Q1.
    delete area;
    area = nullptr;
    std::string refs = read_bytes(demo_folder + "refs.ini");
    const std::string q1 = "<ref tp=\"82\" rtid=\"1\" disp=\"Q1\">";
    const std::size_t at = refs.find(q1);
    ASSERT_NE(at, std::string::npos);
    refs.insert(at + q1.size(), to_cp1251("\r\n<ref tp=\"89\" ts=\"s1_1_1\" par=\"положение\" "
                                          "on=\"включен\" of=\"отключен\"/>"));
    write_bytes(station_dir() + "refs.ini", refs);
    live = make_live_store();
    deliver_line_in_service(*live);
    area = new whatif_area(*live, icons, live_view, &window);
    area->enter();
    ASSERT_TRUE(area->active());
    const whatif_values live_before = whatif_engine::read_values(*live);

    const std::string copy_q1 = copy_key_of_element("Q1");
    ASSERT_FALSE(copy_q1.empty());
    t_el_disp* copy_rule = nullptr;
    for (t_ref* r : area->engine()->store().refs().children(copy_q1))
        if (auto* d = dynamic_cast<t_el_disp*>(r))
            copy_rule = d;
    ASSERT_NE(copy_rule, nullptr);

    recording_access audit;
    {
        scripted_prompt prompt;
        // Q1's interlocks make a menu; nothing is chosen from it.
        prompt.expect_menu(0);
        area->copy_view()->choose(copy_q1);
        area->copy_view()->element_menu(0);
        for (const auto& seen : prompt.seen())
            EXPECT_EQ(seen.text.find("Диспетчер дал команду"), std::string::npos) << seen.text;
        EXPECT_FALSE(copy_rule->commanded_on());
    }
    EXPECT_TRUE(audit.lines.empty()) << audit.lines.front();
    EXPECT_EQ(whatif_engine::read_values(*live), live_before);
    area->leave();

    // On the live scheme the question is asked and the answer recorded.
    std::string live_q1;
    for (t_ref* r : live->refs().under("S"))
        if (auto* e = dynamic_cast<t_element*>(r); e != nullptr && e->disp_name() == "Q1")
            live_q1 = e->key();
    nx_view_schema live_schemes(*live);
    live_schemes.on_load();
    live_schemes.choose(live_q1);
    scripted_prompt prompt;
    prompt.expect("Диспетчер дал команду\r\n(s1_1_1)", answer_yes);
    prompt.expect_menu(0);
    live_schemes.element_menu(0);
    EXPECT_EQ(audit.lines, (std::vector<std::string>{"команда диспетчера на схеме|s1_1_1 = 1"}));
}
