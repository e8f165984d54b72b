// The signal binding assistant: columns and rows bound in bulk to the telesignals after the
// one selected in the structure tree, with its menu and questions answered by a script.
#include "interlock/ilk_binding_assistant.h"
#include "interlock/ilk_state.h"
#include "tests/interlock/interlock_fixture.h"

#ifdef DEMO_FOLDER
#include "schemes/ilk/ilk_scheme_classes.h"
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace nxkit;
using namespace ilktest;

namespace {

const char* const column_caption = "Привязать к сигналам";
const char* const on_caption = "Привязать к сигналам ТУ \"включить\"";

std::string ts(int num, const std::string& title, const std::string& more = {}) {
    return "<ref tp=\"1\" num=\"" + std::to_string(num) + "\" title=\"" + title + "\"" + more +
           "/>\r\n";
}

std::string empty_columns(int n) {
    std::string text;
    for (int i = 1; i <= n; ++i)
        text += ilk_xml::column_xml(i, "", "");
    return text;
}

std::string empty_rows(int n) {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += ilk_xml::row_xml("", "");
    return text;
}

std::vector<std::string> texts(const std::vector<menu_item>& items) {
    std::vector<std::string> out;
    for (const menu_item& item : items)
        out.push_back(item.separator ? "-" : item.text);
    return out;
}

class binding_assistant : public interlock_test {
protected:
    void load_table(const std::string& signals, int columns, int rows,
                    const std::string& column_text = {}) {
        load("", signals,
             ilk_xml::interlock_xml(column_text.empty() ? empty_columns(columns) : column_text,
                                    empty_rows(rows)));
    }

    int run(const std::string& key, int index) {
        std::string arg = key;
        return store->find(key).command(false, index, arg);
    }
};

using BindingAssistant = binding_assistant;

TEST_F(BindingAssistant, IsInstalledWithTheInterlockClasses) {
    EXPECT_EQ(ilk_state::of(*store).binder, &ilk_binding_assistant::instance());
}

TEST_F(BindingAssistant, WrongSelectionWarnsAndChangesNothing) {
    load_table(ts(1, "Q1") + "<ref tp=\"2\" num=\"1\" title=\"Ia\"/>\r\n", 1, 0);
    const std::string warning =
        "Сначала необходимо выбрать в дереве 'Структура' компонент 'Телесигнал'.";
    for (const std::string current : {"K.0000.0000.0001", "K.0000.0000"}) {
        store->set_current(current);
        scripted_prompt prompt;
        prompt.expect(warning, answer_ok);
        EXPECT_EQ(run(column_key(0), 0), 0);
        ASSERT_EQ(prompt.seen().size(), 1U);
        EXPECT_EQ(prompt.seen()[0].text, warning);
        EXPECT_EQ(prompt.seen()[0].caption, column_caption);
        EXPECT_EQ(prompt.seen()[0].type, mb_warning);
        EXPECT_EQ(column(0).contact_no(), "");
    }
    // A current key naming no component: no message at all.
    store->set_current("K.0000.0000.0009");
    scripted_prompt prompt;
    EXPECT_EQ(run(column_key(0), 0), 0);
    EXPECT_TRUE(prompt.seen().empty());
    EXPECT_TRUE(prompt.menus().empty());
}

TEST_F(BindingAssistant, ColumnsTakeBothContactsOfSameNameSignals) {
    load_table(ts(1, "Q1") + ts(2, "Q1", " ct=\"1\"") + ts(3, "QS1") + ts(4, "QS2", " ct=\"1\""), 4,
               0);
    store->set_current("K.0000.0000.0000");
    scripted_prompt prompt;
    prompt.expect_menu(3);
    prompt.expect("всего 3 шт.", answer_yes);
    EXPECT_EQ(run(column_key(0), 0), 1);

    ASSERT_EQ(prompt.menus().size(), 1U);
    // The partner of Q1 is never offered as a signal of its own.
    EXPECT_EQ(texts(prompt.menus()[0]),
              (std::vector<std::string>{"c\ts1_2_1 Q1 (нр) + s1_2_2 Q1 (нз) по:", "-",
                                        "\ts1_2_3 QS1 (нр)", "\ts1_2_4 QS2 (нз)"}));
    EXPECT_EQ(prompt.menus()[0][2].command, 2);
    EXPECT_EQ(prompt.menus()[0][3].command, 3);
    ASSERT_EQ(prompt.seen().size(), 1U);
    EXPECT_EQ(
        prompt.seen()[0].text,
        "Привязать к сигналам\r\n'Схемы / Блокировка / T1 - Таблица блокировки / Столбцы'\r\n\r\n"
        "из 'Структура / (1) Канал / (1_2) Раздел':\r\n\r\n"
        "s1_2_1 Q1 (нр) + s1_2_2 Q1 (нз)\r\ns1_2_3 QS1 (нр)\r\ns1_2_4 QS2 (нз)\r\n\r\n"
        "всего 3 шт.");
    EXPECT_EQ(prompt.seen()[0].caption, column_caption);
    EXPECT_EQ(prompt.seen()[0].type, mb_question);

    EXPECT_EQ(column(0).contact_no(), "s1_2_1");
    EXPECT_EQ(column(0).contact_nc(), "s1_2_2");
    EXPECT_EQ(column(1).contact_no(), "s1_2_3");
    EXPECT_EQ(column(1).contact_nc(), "");
    // A normally closed signal without partner fills the closed contact only.
    EXPECT_EQ(column(2).contact_no(), "");
    EXPECT_EQ(column(2).contact_nc(), "s1_2_4");
    EXPECT_TRUE(column(0).has_flag(flag_modified));
    EXPECT_TRUE(column(2).has_flag(flag_modified));
    EXPECT_FALSE(column(3).has_flag(flag_modified));
    EXPECT_EQ(column(3).contact_no(), "");
    EXPECT_TRUE(ilk_state::of(*store).interlock_changed);
    // The whole table is shown again.
    EXPECT_EQ(store->change_set().count(table_key), 1U);
    EXPECT_EQ(store->change_set().count(column_key(3)), 1U);
    EXPECT_EQ(store->change_set().count(rows_key), 1U);
}

TEST_F(BindingAssistant, StartingOnTheClosedContactPutsItsPartnerOnTheOpenOne) {
    load_table(ts(1, "Q1", " ct=\"1\"") + ts(2, "Q1"), 2, 0);
    store->set_current("K.0000.0000.0000");
    scripted_prompt prompt;
    prompt.expect_menu(1);
    prompt.expect("всего 1 шт.", answer_yes);
    EXPECT_EQ(run(column_key(0), 0), 1);
    // One signal only: no "c" prefix, no separator.
    // The open contact is named first, whichever signal the run started on.
    EXPECT_EQ(texts(prompt.menus()[0]),
              (std::vector<std::string>{"s1_2_2 Q1 (нр) + s1_2_1 Q1 (нз)"}));
    EXPECT_EQ(column(0).contact_no(), "s1_2_2");
    EXPECT_EQ(column(0).contact_nc(), "s1_2_1");
}

TEST_F(BindingAssistant, OnlyAnEqualTitleIsAPartner) {
    // A title that begins with the other one and a blank is another apparatus: never wired as
    // its second contact, also when no equal title exists. An empty title pairs with nothing.
    load_table(ts(1, "QS1") + ts(2, "Q1 нз", " ct=\"1\"") + ts(3, "QS1", " ct=\"1\"") +
                   ts(4, "Q1", " ct=\"1\"") + ts(5, "") + ts(6, "", " ct=\"1\""),
               6, 0);
    // As typed in the editor, before any save.
    store->find("K.0000.0000.0000").set_title("QS1 Ω✓ 日本 €");
    store->set_current("K.0000.0000.0000");
    scripted_prompt prompt;
    prompt.expect_menu(5);
    prompt.expect("всего 5 шт.", answer_yes);
    EXPECT_EQ(run(column_key(0), 0), 1);
    EXPECT_EQ(texts(prompt.menus()[0]),
              (std::vector<std::string>{"c\ts1_2_1 QS1 Ω✓ 日本 € (нр) по:", "-",
                                        "\ts1_2_2 Q1 нз (нз)", "\ts1_2_3 QS1 (нз)",
                                        "\ts1_2_4 Q1 (нз)", "\ts1_2_5 (нр)", "\ts1_2_6 (нз)"}));
    EXPECT_EQ(prompt.seen()[0].text.substr(prompt.seen()[0].text.find("Раздел':")),
              "Раздел':\r\n\r\ns1_2_1 QS1 Ω✓ 日本 € (нр)\r\ns1_2_2 Q1 нз (нз)\r\n"
              "s1_2_3 QS1 (нз)\r\ns1_2_4 Q1 (нз)\r\ns1_2_5 (нр)\r\n\r\nвсего 5 шт.");
    EXPECT_EQ(column(0).contact_no(), "s1_2_1");
    EXPECT_EQ(column(0).contact_nc(), "");
    EXPECT_EQ(column(2).contact_no(), "");
    EXPECT_EQ(column(2).contact_nc(), "s1_2_3");
    EXPECT_EQ(column(4).contact_no(), "s1_2_5");
    EXPECT_EQ(column(4).contact_nc(), "");
    EXPECT_EQ(column(5).contact_nc(), "");
}

TEST_F(BindingAssistant, EqualTitleFurtherOnIsThePartner) {
    load_table(ts(1, "Q1") + ts(2, "Q1 нз", " ct=\"1\"") + ts(3, "Q1", " ct=\"1\""), 1, 0);
    store->set_current("K.0000.0000.0000");
    scripted_prompt prompt;
    prompt.expect_menu(1);
    prompt.expect("s1_2_1 Q1 (нр) + s1_2_3 Q1 (нз)\r\n\r\nвсего 1 шт.", answer_yes);
    EXPECT_EQ(run(column_key(0), 0), 1);
    EXPECT_EQ(column(0).contact_no(), "s1_2_1");
    EXPECT_EQ(column(0).contact_nc(), "s1_2_3");
}

TEST_F(BindingAssistant, DismissedMenuOrRefusedConfirmationChangesNothing) {
    load_table(ts(1, "Q1") + ts(2, "QS1"), 2, 0);
    store->set_current("K.0000.0000.0000");
    {
        scripted_prompt prompt;
        prompt.expect_menu(0);
        EXPECT_EQ(run(column_key(0), 0), 0);
        EXPECT_TRUE(prompt.seen().empty());
    }
    {
        scripted_prompt prompt;
        prompt.expect_menu(2);
        prompt.expect("всего 2 шт.", answer_no);
        EXPECT_EQ(run(column_key(0), 0), 0);
    }
    EXPECT_EQ(column(0).contact_no(), "");
    EXPECT_EQ(column(1).contact_no(), "");
    EXPECT_FALSE(column(0).has_flag(flag_modified));
    EXPECT_TRUE(store->change_set().empty());
}

TEST_F(BindingAssistant, ChosenItemLimitsThePairsAndLockedEntriesAreSkipped) {
    // A locked signal and a telemeasurement between the signals are passed over; a locked
    // column is bound like any other.
    load_table(ts(1, "A") + ts(2, "B", " lock=\"1\"") +
                   "<ref tp=\"2\" num=\"1\" title=\"I\"/>\r\n" + ts(3, "C") + ts(4, "D") +
                   ts(5, "E"),
               0, 0,
               ilk_xml::column_xml(1, "", "") + ilk_xml::column_xml(2, "", "", " lock=\"1\"") +
                   ilk_xml::column_xml(3, "", "") + ilk_xml::column_xml(4, "", "") +
                   ilk_xml::column_xml(5, "", ""));
    store->set_current("K.0000.0000.0000");
    scripted_prompt prompt;
    prompt.expect_menu(3);
    prompt.expect("всего 3 шт.", answer_yes);
    EXPECT_EQ(run(column_key(1), 0), 1);
    // Targets start at the clicked column: four of them, four signals offered.
    EXPECT_EQ(texts(prompt.menus()[0]),
              (std::vector<std::string>{"c\ts1_2_1 A (нр) по:", "-", "\ts1_2_3 C (нр)",
                                        "\ts1_2_4 D (нр)", "\ts1_2_5 E (нр)"}));
    EXPECT_EQ(column(0).contact_no(), "");
    EXPECT_EQ(column(1).contact_no(), "s1_2_1");
    EXPECT_EQ(column(2).contact_no(), "s1_2_3");
    EXPECT_EQ(column(3).contact_no(), "s1_2_4");
    EXPECT_EQ(column(4).contact_no(), "");
}

TEST_F(BindingAssistant, RowsInEverySecondModeTakeEveryOtherSignal) {
    load_table(ts(1, "ON1") + ts(2, "OFF1") + ts(3, "ON2") + ts(4, "OFF2"), 0, 2);
    store->set_current("K.0000.0000.0000");
    {
        scripted_prompt prompt;
        prompt.expect("Выбрать сигналы через 1 ?", answer_yes);
        prompt.expect_menu(2);
        prompt.expect("всего 2 шт.", answer_yes);
        EXPECT_EQ(run(row_key(0), 2), 1);
        EXPECT_EQ(texts(prompt.menus()[0]), (std::vector<std::string>{"c\tON1 по:", "-", "\tON2"}));
        EXPECT_EQ(prompt.seen()[0].caption, on_caption);
        EXPECT_EQ(prompt.seen()[0].type, mb_question);
        EXPECT_EQ(
            prompt.seen()[1].text,
            std::string(on_caption) +
                "\r\n'Схемы / Блокировка / T1 - Таблица блокировки / Строки'\r\n\r\n"
                "из 'Структура / (1) Канал / (1_2) Раздел':\r\n\r\nON1\r\nON2\r\n\r\nвсего 2 шт.");
    }
    EXPECT_EQ(row(0).tu_on_signal(), "s1_2_1");
    EXPECT_EQ(row(1).tu_on_signal(), "s1_2_3");
    EXPECT_TRUE(row(1).has_flag(flag_modified));
    EXPECT_EQ(store->change_set().count(row_key(1)), 1U);
    {
        // Answered No: consecutive signals, here into the "off" signals.
        scripted_prompt prompt;
        prompt.expect("Выбрать сигналы через 1 ?", answer_no);
        prompt.expect_menu(2);
        prompt.expect("всего 2 шт.", answer_yes);
        EXPECT_EQ(run(row_key(0), 3), 1);
    }
    EXPECT_EQ(row(0).tu_off_signal(), "s1_2_1");
    EXPECT_EQ(row(1).tu_off_signal(), "s1_2_2");
    {
        // The permission and readiness commands never ask about every second signal.
        scripted_prompt prompt;
        prompt.expect_menu(1);
        prompt.expect("всего 1 шт.", answer_yes);
        EXPECT_EQ(run(row_key(1), 1), 1);
        EXPECT_EQ(prompt.seen().size(), 1U);
    }
    EXPECT_EQ(row(1).ready_signal(), "s1_2_1");
    EXPECT_EQ(row(0).ready_signal(), "");
}

TEST_F(BindingAssistant, LongConfirmationListsTheFirstAndLastPairs) {
    std::string signals;
    for (int i = 1; i <= 20; ++i)
        signals += ts(i, "S" + std::to_string(i));
    load_table(signals, 0, 20);
    store->set_current("K.0000.0000.0000");
    scripted_prompt prompt;
    prompt.expect_menu(20);
    prompt.expect("всего 20 шт.", answer_yes);
    EXPECT_EQ(run(row_key(0), 0), 1);
    std::string listing = "S1\r\nS2\r\nS3\r\nS4\r\nS5\r\n...\r\nS15\r\nS16\r\nS17\r\nS18\r\nS19\r\n"
                          "S20\r\n\r\nвсего 20 шт.";
    const std::string& text = prompt.seen().at(0).text;
    EXPECT_EQ(text.substr(text.size() - listing.size()), listing);
    EXPECT_EQ(row(19).permission_signal(), "s1_2_20");
}

#ifdef DEMO_FOLDER

// The demo station's table, bound again from its own structure.
class demo_binding : public testing::Test {
protected:
    demo_binding() {
        write_bytes(station_dir() + "refs.ini", read_bytes(std::string(DEMO_FOLDER) + "/refs.ini"));
        store = std::make_unique<t_ref_buff>();
        register_structure_classes(*store);
        register_telemech_classes(*store);
        register_all_scheme_classes(*store);
        store->load();
    }

    int run(const std::string& key, int index) {
        std::string arg = key;
        return store->find(key).command(false, index, arg);
    }
    t_ilk_tu& row(int n) { return dynamic_cast<t_ilk_tu&>(store->find(demo_rows + key_part(n))); }
    t_ilk_vts& column(int n) {
        return dynamic_cast<t_ilk_vts&>(store->find(demo_columns + key_part(n)));
    }

    const std::string demo_columns = "S.0000.0000.0000.";
    const std::string demo_rows = "S.0000.0000.0001.";
    std::unique_ptr<t_ref_buff> store;
};

using DemoBinding = demo_binding;

TEST_F(DemoBinding, ColumnsAndRowsBindFromTheBaysSignals) {
    store->set_current("K.0000.0000.0000"); // Q1
    {
        scripted_prompt prompt;
        prompt.expect_menu(4);
        prompt.expect("всего 4 шт.", answer_yes);
        EXPECT_EQ(run(demo_columns + key_part(0), 0), 1);
        EXPECT_EQ(texts(prompt.menus()[0]).at(0), "c\ts1_1_1 Q1 (нр) по:");
        EXPECT_NE(prompt.seen()[0].text.find("'Схемы / Блокировка ОРУ-110 / Ячейка Л-1 - Таблица "
                                             "блокировки / Столбцы'\r\n\r\nиз 'Структура / (1) ПС "
                                             "110/10 кВ Северная / (1_1) ОРУ-110 кВ, ячейка Л-1':"),
                  std::string::npos)
            << prompt.seen()[0].text;
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(column(i).contact_no(), "s1_1_" + std::to_string(i + 1));

    // "On" signals of the four rows: every second of the 21-28 run, then refused.
    store->set_current("K.0000.0000.0009"); // ТУ ВКЛ Q1, s1_1_21
    for (int i = 0; i < 4; ++i)
        row(i).set_parameter(4, "");
    {
        scripted_prompt prompt;
        prompt.expect("Выбрать сигналы через 1 ?", answer_yes);
        prompt.expect_menu(4);
        prompt.expect("ТУ ВКЛ QSG1", answer_yes);
        EXPECT_EQ(run(demo_rows + key_part(0), 2), 1);
    }
    EXPECT_EQ(row(0).tu_on_signal(), "s1_1_21");
    EXPECT_EQ(row(1).tu_on_signal(), "s1_1_23");
    EXPECT_EQ(row(2).tu_on_signal(), "s1_1_25");
    EXPECT_EQ(row(3).tu_on_signal(), "s1_1_27");
    {
        scripted_prompt prompt;
        prompt.expect("Выбрать сигналы через 1 ?", answer_no);
        prompt.expect_menu(4);
        prompt.expect("ТУ ОТКЛ QS1", answer_no);
        EXPECT_EQ(run(demo_rows + key_part(0), 2), 0);
    }
    EXPECT_EQ(row(1).tu_on_signal(), "s1_1_23");
}

#endif

} // namespace
