// The event journal: lines and their texts, mes.log bytes, acknowledgement, the bound, the
// beep, the filter and the CSV file.
#include "tests/views/operator_views_fixture.h"

#include "base/cp1251.h"
#include "base/nx_log.h"
#include "base/settings.h"
#include "config/ref_flags.h"
#include "views/nx_view_mes.h"

#include <QAction>
#include <QTableView>

#include <filesystem>
#include <regex>

using namespace nxkit;

namespace ilktest {
namespace {

class journal_test : public operator_views_test {
protected:
    journal_test() {
        for (auto& a : actions)
            a = new QAction(&owner);
    }

    // Two telesignals fed by sources D.0000 and D.0001 in a titled section, a third without
    // source; the journal attached as the shell attaches it.
    void start(std::size_t bound = journal_model::default_bound) {
        view = std::make_unique<nx_view_mes>(
            *store, &owner, nx_view_mes::buttons{actions[0], actions[1], actions[2], actions[3]},
            bound);
        store->add_viewer(view.get());
        load(
            equipment_with("<ref tp=\"51\" sk=\"s1_2_7\"/>\r\n<ref tp=\"51\" sk=\"s1_2_8\"/>\r\n") +
            "<ref tp=\"40\">\r\n<ref tp=\"41\" num=\"1\">\r\n<ref tp=\"42\" num=\"2\" "
            "title=\"Ячейка Л-1\">\r\n<ref tp=\"1\" num=\"7\" title=\"Q1\"/>\r\n"
            "<ref tp=\"1\" num=\"8\" title=\"QS1\" ct=\"1\"/>\r\n"
            "<ref tp=\"2\" num=\"9\" title=\"Ia\"/>\r\n</ref>\r\n</ref>\r\n</ref>\r\n");
    }

    // Both fed signals off and recorded, so every later delivery of a new value is a line.
    void prime() {
        source("D.0001").set(0);
        deliver("D.0000", 0);
        ASSERT_EQ(rows(), 0);
    }

    ~journal_test() override {
        if (view)
            store->remove_viewer(view.get());
    }

    QString text(int row, int column) {
        return journal_column_text(view->model().line(row), column);
    }
    journal_image image(int row) { return view->model().line(row).image; }
    int rows() { return view->model().rowCount(); }

    std::string mes_log() { return read_bytes(station_dir() + "mes.log"); }

    QWidget owner;
    QAction* actions[4] = {};
    std::unique_ptr<nx_view_mes> view;
};

using Journal = journal_test;

TEST_F(Journal, ChangesOfPositionAndQualityMakeLinesAndFileLines) {
    start();
    deliver("D.0000", 1);
    EXPECT_EQ(rows(), 0) << "the first value after start only records the signal";
    deliver("D.0000", 0);
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(text(0, 0), "1");
    EXPECT_EQ(text(0, 1), "s1_2_7");
    EXPECT_EQ(text(0, 2), "ОТКЛЮЧЕН");
    EXPECT_EQ(text(0, 3), "авто");
    EXPECT_EQ(text(0, 4), "14:05:06.789 09.12.26");
    std::string name = ts(first_signal).display_name() + " (Ячейка Л-1)";
    EXPECT_EQ(text(0, 5).toStdString(), name);
    EXPECT_EQ(image(0), journal_image::off);

    // Only control lost: no line. Invalid: a line without picture.
    deliver("D.0000", 0, false, true);
    EXPECT_EQ(rows(), 1);
    deliver("D.0000", 0, true, true, true);
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(text(1, 2), "недостоверный");
    EXPECT_EQ(image(1), journal_image::none);
    deliver("D.0000", 1);
    ASSERT_EQ(rows(), 3);
    EXPECT_EQ(text(2, 2), "ВКЛЮЧЕН");
    EXPECT_EQ(image(2), journal_image::on);
    deliver("D.0000", 1, true, false);
    ASSERT_EQ(rows(), 4);
    EXPECT_EQ(text(3, 2), "неопределенный");
    // By hand: the input column says so.
    ts(first_signal).set_manual(0, true);
    store->update_pass();
    ASSERT_EQ(rows(), 5);
    EXPECT_EQ(text(4, 2), "ОТКЛЮЧЕН");
    EXPECT_EQ(text(4, 3), "РУЧНОЙ");

    // mes.log: one MES line per journal line, tab-separated key, state, time, input, name.
    std::string file = from_cp1251(mes_log());
    std::regex line_re("\r\n\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d \\| MES \\| ([^\r]*)");
    std::vector<std::string> texts;
    for (std::sregex_iterator it(file.begin(), file.end(), line_re), end; it != end; ++it)
        texts.push_back((*it)[1]);
    const std::string tail = "\t14:05:06.789 09.12.26\tавто\t";
    ASSERT_EQ(texts.size(), 5U) << file;
    EXPECT_EQ(texts[0], "\ts1_2_7\tОТКЛЮЧЕН" + tail + name);
    EXPECT_EQ(texts[1],
              "\ts1_2_7\tнедостоверный" + tail + ts(first_signal).display_name() + " (Ячейка Л-1)");
    EXPECT_EQ(texts[2].rfind("\ts1_2_7\tВКЛЮЧЕН\t", 0), 0U) << texts[2];
    EXPECT_EQ(texts[4].find("\tРУЧНОЙ\t") != std::string::npos, true) << texts[4];
    // Nothing but those lines, in Windows-1251.
    EXPECT_EQ(std::regex_replace(file, line_re, ""), "");
    EXPECT_NE(mes_log().find(to_cp1251("ОТКЛЮЧЕН")), std::string::npos);
}

TEST_F(Journal, AcknowledgementMarksLinesAndClearsTheSignal) {
    start();
    prime();
    deliver("D.0000", 1);
    deliver("D.0001", 1);
    ASSERT_EQ(rows(), 2);
    ASSERT_TRUE(ts(first_signal).unacknowledged());
    view->run(1, 0);
    EXPECT_EQ(text(0, 0), "<1");
    EXPECT_EQ(image(0), journal_image::on_ack);
    EXPECT_EQ(image(1), journal_image::on);
    EXPECT_FALSE(ts(first_signal).unacknowledged());
    EXPECT_EQ(store->change_set().count(first_signal), 1U);
    store->update_pass();
    // Again: nothing changes; the other signal keeps its mark.
    ts(first_signal).set_flag(true, flag_unacknowledged);
    view->run(1, 0);
    EXPECT_EQ(text(0, 0), "<1");
    EXPECT_TRUE(ts(first_signal).unacknowledged());
    EXPECT_TRUE(ts(second_signal).unacknowledged());

    // Through the row's popup menu: "Квитировать все".
    scripted_prompt prompt;
    prompt.expect_menu(2);
    view->row_menu(0);
    ASSERT_EQ(prompt.menus().size(), 1U);
    const auto& items = prompt.menus()[0];
    ASSERT_EQ(items.size(), 5U);
    EXPECT_EQ(items[0].text, "Квитировать");
    EXPECT_EQ(items[1].text, "Квитировать все");
    EXPECT_TRUE(items[2].separator);
    EXPECT_EQ(items[3].text, "Удалить квитированные");
    EXPECT_EQ(items[4].command, 4);
    EXPECT_EQ(text(1, 0), "<2");
    EXPECT_FALSE(ts(second_signal).unacknowledged());

    // Delete acknowledged, then the numbers go on.
    deliver("D.0000", 0);
    view->run(3, 0);
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(text(0, 0), "3");
    view->run(4, 0);
    EXPECT_EQ(rows(), 0);
    deliver("D.0000", 1);
    EXPECT_EQ(text(0, 0), "4");
}

TEST_F(Journal, TheListIsBoundedAndNumberingGoesOn) {
    start(3);
    deliver("D.0000", 1);
    for (int i = 0; i < 5; ++i)
        deliver("D.0000", i % 2 == 0 ? 0 : 1);
    ASSERT_EQ(rows(), 3);
    EXPECT_EQ(text(0, 0), "3");
    EXPECT_EQ(text(2, 0), "5");
    EXPECT_EQ(view->line_number(), 5);
}

TEST_F(Journal, SelectionFollowsTheNewestLineAndTheButtonsFollowTheSelection) {
    start();
    deliver("D.0000", 1);
    for (int i = 0; i < 4; ++i)
        deliver("D.0000", i % 2 == 0 ? 0 : 1);
    QTableView& list = *view->list();
    EXPECT_EQ(list.currentIndex().row(), 3);
    EXPECT_FALSE(actions[0]->isEnabled());
    EXPECT_TRUE(actions[3]->isEnabled());
    view->navigate(4);
    EXPECT_EQ(list.currentIndex().row(), 0);
    EXPECT_TRUE(actions[0]->isEnabled());
    EXPECT_TRUE(actions[1]->isEnabled());
    EXPECT_FALSE(actions[2]->isEnabled());
    EXPECT_FALSE(actions[3]->isEnabled());
    view->navigate(1); // next
    EXPECT_EQ(list.currentIndex().row(), 1);
    // Away from the last line, a new line does not take the selection.
    deliver("D.0000", 0);
    EXPECT_EQ(list.currentIndex().row(), 1);
    view->navigate(2); // last
    EXPECT_EQ(list.currentIndex().row(), 4);
    deliver("D.0000", 1);
    EXPECT_EQ(list.currentIndex().row(), 5);
    view->navigate(3); // previous
    EXPECT_EQ(list.currentIndex().row(), 4);
}

TEST_F(Journal, EveryNewLineBeepsOnceWithoutPauseAndOnceWithinAPause) {
    start();
    deliver("D.0000", 1);
    for (int i = 0; i < 3; ++i) {
        deliver("D.0000", i % 2 == 0 ? 0 : 1);
        view->wait_beep_idle();
    }
    EXPECT_EQ(beeps.count, 3);
    EXPECT_EQ(beeps.last_frequency, 1000);
    EXPECT_EQ(beeps.last_duration, 20);
    // Acknowledging makes no sound.
    view->run(2, 0);
    view->wait_beep_idle();
    EXPECT_EQ(beeps.count, 3);
}

TEST_F(Journal, ThreeLinesWithinTheBeepPauseBeepOnce) {
    settings_set_int("LOG", "BEEP_SLEEP", 500);
    start();
    deliver("D.0000", 1);
    for (int i = 0; i < 3; ++i)
        deliver("D.0000", i % 2 == 0 ? 0 : 1);
    view->wait_beep_idle();
    EXPECT_EQ(beeps.count, 1);
}

TEST_F(Journal, FrequencyZeroIsSilent) {
    settings_set_int("LOG", "BEEP_FREC", 0);
    start();
    deliver("D.0000", 1);
    deliver("D.0000", 0);
    view->wait_beep_idle();
    EXPECT_EQ(rows(), 1);
    EXPECT_EQ(beeps.count, 0);
}

TEST_F(Journal, SmallMesSizeIsRaisedAndWrittenBack) {
    settings_set_int("LOG", "MES_SIZE", 5000);
    start();
    EXPECT_EQ(settings_get_int("LOG", "MES_SIZE", 0, false), 1000000);
}

TEST_F(Journal, AFileThatCannotBeWrittenIsOneErrorLineAndTheListGoesOn) {
    std::string log_path = station_dir() + "journal_test.log";
    nx_log::main().close();
    std::remove(log_path.c_str());
    nx_log::main().open(log_path, 10000000, 0);
    std::filesystem::create_directory(station_dir() + "mes.log");
    start();
    deliver("D.0000", 1);
    deliver("D.0000", 0);
    deliver("D.0000", 1);
    EXPECT_EQ(rows(), 2);
    nx_log::main().close();
    std::string log = from_cp1251(read_bytes(log_path));
    std::filesystem::remove(station_dir() + "mes.log");
    auto first = log.find(" | ERR | журнал событий: не удалось записать строку в файл 'mes.log'");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(" | ERR | ", first + 1), std::string::npos) << "one line per failure run";
}

TEST_F(Journal, FilterNarrowsTheListAndCsvHoldsWhatIsShown) {
    start();
    prime();
    deliver("D.0000", 1);
    deliver("D.0001", 1);
    deliver("D.0000", 0);
    ASSERT_EQ(rows(), 3);
    view->run(1, 0);

    journal_filter filter;
    filter.signal = "s1_2_7";
    view->set_filter(filter);
    EXPECT_EQ(view->shown().rowCount(), 2);
    filter.only_unacknowledged = true;
    view->set_filter(filter);
    ASSERT_EQ(view->shown().rowCount(), 1);
    EXPECT_EQ(view->shown().index(0, 2).data().toString(), "ОТКЛЮЧЕН");
    filter = {};
    filter.text = "qs1"; // the name, without regard to case
    view->set_filter(filter);
    ASSERT_EQ(view->shown().rowCount(), 1);
    EXPECT_EQ(view->shown().index(0, 1).data().toString(), "s1_2_8");
    filter = {};
    filter.from = time_encode(2026, 12, 9, 14, 5, 7, 0);
    view->set_filter(filter);
    EXPECT_EQ(view->shown().rowCount(), 0);
    filter.from = time_encode(2026, 12, 9, 14, 5, 6, 0);
    filter.to = time_encode(2026, 12, 9, 14, 5, 6, 789);
    view->set_filter(filter);
    EXPECT_EQ(view->shown().rowCount(), 3);

    filter = {};
    filter.signal = "s1_2_7";
    view->set_filter(filter);
    std::string path = station_dir() + "journal.csv";
    scripted_prompt prompt;
    prompt.expect_save_file(path);
    view->export_csv_asked();
    // The name is the signal's tree text at the time of the line, state mark included.
    std::string name_off = ts(first_signal).display_name() + " (Ячейка Л-1)";
    std::string name_on = name_off;
    ASSERT_NE(name_on.find("[0]"), std::string::npos) << name_on;
    name_on.replace(name_on.find("[0]"), 3, "[1]");
    std::string expected = "номер,квитировано,сигнал,значение,ввод,время,событие\r\n";
    expected += "1,да,s1_2_7,ВКЛЮЧЕН,авто,2026-12-09T14:05:06.789," + name_on + "\r\n";
    expected += "3,нет,s1_2_7,ОТКЛЮЧЕН,авто,2026-12-09T14:05:06.789," + name_off + "\r\n";
    EXPECT_EQ(read_bytes(path), expected);
}

TEST_F(Journal, TheRowMenuActsOnTheClickedLineWhileLinesArriveAtTheBound) {
    start();
    prime();
    for (int i = 0; i < 10005; ++i)
        deliver("D.0000", i % 2 == 0 ? 1 : 0);
    ASSERT_EQ(rows(), 10000);
    const int clicked = view->model().line(100).number;
    ASSERT_EQ(clicked, 106);
    {
        scripted_prompt prompt;
        // Seven lines arrive while the operator looks at the menu: every row shifts by seven.
        prompt.while_menu_open([this] {
            for (int i = 0; i < 7; ++i)
                deliver("D.0000", i % 2 == 0 ? 0 : 1);
        });
        prompt.expect_menu(1);
        view->row_menu(100);
    }
    ASSERT_EQ(rows(), 10000);
    EXPECT_EQ(text(93, 0), "<106");
    EXPECT_EQ(text(100, 0), "113");
    int acknowledged = 0;
    for (int r = 0; r < rows(); ++r)
        acknowledged += view->model().line(r).acknowledged ? 1 : 0;
    EXPECT_EQ(acknowledged, 1);

    // The clicked line is pushed out while the menu is open: nothing is acknowledged.
    {
        scripted_prompt prompt;
        prompt.while_menu_open([this] { deliver("D.0000", 1); });
        prompt.expect_menu(1);
        view->row_menu(0);
    }
    EXPECT_EQ(view->model().row_of(13), -1);
    EXPECT_EQ(view->model().line(0).number, 14);
    for (int r = 0; r < rows(); ++r)
        EXPECT_EQ(view->model().line(r).acknowledged, r == 92) << r;
}

TEST_F(Journal, WithAFilterAllMeansTheLinesShownAndDeletingAllAsks) {
    start();
    prime();
    deliver("D.0000", 1);
    deliver("D.0001", 1);
    deliver("D.0000", 0);
    deliver("D.0001", 0);
    ASSERT_EQ(rows(), 4);
    journal_filter filter;
    filter.signal = "s1_2_7";
    view->set_filter(filter);
    ASSERT_EQ(view->shown().rowCount(), 2);
    {
        scripted_prompt prompt;
        prompt.expect_menu(2);
        view->row_menu(1);
        const auto& items = prompt.menus().at(0);
        EXPECT_EQ(items[1].text, "Квитировать все показанные");
        EXPECT_EQ(items[4].text, "Удалить все показанные");
    }
    EXPECT_EQ(text(0, 0), "<1");
    EXPECT_EQ(text(1, 0), "2");
    EXPECT_EQ(text(2, 0), "<3");
    EXPECT_EQ(text(3, 0), "4");
    EXPECT_FALSE(ts(first_signal).unacknowledged());
    EXPECT_TRUE(ts(second_signal).unacknowledged());
    {
        scripted_prompt prompt;
        prompt.expect_menu(4);
        prompt.expect("Удалить все показанные строки журнала (2 шт.) ?", answer_no);
        view->row_menu(0);
        EXPECT_EQ(prompt.seen().at(0).type, mb_question);
    }
    EXPECT_EQ(rows(), 4);
    {
        scripted_prompt prompt;
        prompt.expect_menu(4);
        prompt.expect("Удалить все показанные строки журнала (2 шт.) ?", answer_yes);
        view->row_menu(0);
    }
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(text(0, 0), "2");
    EXPECT_EQ(text(1, 0), "4");
    EXPECT_EQ(view->shown().rowCount(), 0);

    // Without a filter the menu says "all" and means it; deleting still asks.
    view->set_filter({});
    {
        scripted_prompt prompt;
        prompt.expect_menu(4);
        prompt.expect("Удалить все строки журнала ?", answer_yes);
        view->row_menu(0);
        EXPECT_EQ(prompt.menus().at(0)[1].text, "Квитировать все");
        EXPECT_EQ(prompt.menus().at(0)[4].text, "Удалить все");
    }
    EXPECT_EQ(rows(), 0);
}

TEST(JournalModel, LinesOfOnePassArriveInOneInsertionAndKeepTheBound) {
    journal_model model(4);
    int insertions = 0;
    int removals = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++insertions; });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [&] { ++removals; });
    auto lines = [](int from, int count) {
        std::vector<journal_line> list(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            list[static_cast<std::size_t>(i)].number = from + i;
        return list;
    };
    model.append(lines(1, 3));
    EXPECT_EQ(insertions, 1);
    EXPECT_EQ(removals, 0);
    // Two more: the oldest goes, in one removal.
    model.append(lines(4, 2));
    EXPECT_EQ(insertions, 2);
    EXPECT_EQ(removals, 1);
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.line(0).number, 2);
    EXPECT_EQ(model.line(3).number, 5);
    // More than the bound at once: only the newest four stay.
    model.append(lines(6, 6));
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.line(0).number, 8);
    EXPECT_EQ(model.line(3).number, 11);
    model.append(std::vector<journal_line>{});
    EXPECT_EQ(insertions, 3);
}

TEST(JournalCsv, FieldsWithSeparatorsAreQuoted) {
    journal_line line;
    line.number = 7;
    line.key = "s1_1_1";
    line.state = "ВКЛЮЧЕН";
    line.input = "авто";
    line.time = time_encode(2027, 1, 2, 3, 4, 5, 6);
    line.name = "Q1 \"Л-1\", ввод";
    EXPECT_EQ(journal_csv({&line}), "номер,квитировано,сигнал,значение,ввод,время,событие\r\n"
                                    "7,нет,s1_1_1,ВКЛЮЧЕН,авто,2027-01-02T03:04:05.006,"
                                    "\"Q1 \"\"Л-1\"\", ввод\"\r\n");
}

TEST_F(Journal, AcknowledgementsAreRecorded) {
    start();
    prime();
    deliver("D.0000", 1);
    deliver("D.0001", 1);
    ASSERT_EQ(rows(), 2);
    recording_access audit;
    view->run(1, 1);
    // An acknowledged line again: nothing to record.
    view->run(1, 1);
    view->run(2, 0);
    EXPECT_EQ(audit.lines,
              (std::vector<std::string>{"квитирование|s1_2_8", "квитирование|s1_2_7"}));
    EXPECT_TRUE(audit.asked.empty());
}

} // namespace
} // namespace ilktest
