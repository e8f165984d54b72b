#include "test_ilk_fixture.h"

#include "schemes/t_mod_page.h"

using namespace nxkit;
using namespace ilktest::ilk_scheme_xml;

namespace ilktest {
namespace {

using Projection = ilk_scheme_test;

TEST_F(Projection, PartOfTheTableOnThePageBecomesBlockingElementsTheRestTheExtraCondition) {
    load_station(example_elements(), interlock(page_label(), example_columns(), example_row()));
    project_tables(*store);

    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 1u);
    t_ilk& ilk = *interlocks[0];
    EXPECT_EQ(ilk.extra_condition(), "(s1_2_1 or s1_2_2) and !s1_2_7 and s1_2_8");
    EXPECT_EQ(ilk.element_rtid(), 10);
    EXPECT_EQ(ilk.flags() & 0x3000018u, 0x3000010u);
    std::string value, name;
    ASSERT_TRUE(ilk.get_parameter(1, value, name));
    EXPECT_EQ(name, "Доп. условие");
    choice_list choices;
    EXPECT_EQ(ilk.parameter_editor(1, choices), editor_read_only);
    // The blocking element is QS1, not Q1 itself: no direction.
    EXPECT_EQ(ilk.display_name(), "Блокировка");
    int icon = 0, overlay = 0, state = -1;
    ilk.tree_images(icon, overlay, state);
    EXPECT_EQ(icon, 1418);
    EXPECT_EQ(overlay, 1414);

    std::vector<t_ilk_onof*> blockers = children_of<t_ilk_onof>(ilk.key());
    ASSERT_EQ(blockers.size(), 1u);
    t_ilk_onof& blocker = *blockers[0];
    EXPECT_EQ(blocker.rtid(), 11);
    EXPECT_TRUE(blocker.blocks_when_on());
    EXPECT_EQ(blocker.permission_id(), first_row + ".0000.0000");
    EXPECT_FALSE(blocker.has_flag(flag_locked));
    EXPECT_EQ(blocker.flags() & 0x3000010u, 0x3000010u);
    EXPECT_EQ(blocker.display_name(), "вкл (11)QS1 - Блокирующий элемент");
    blocker.set_title("ввод");
    EXPECT_EQ(blocker.display_name(), "вкл (11)QS1 - ввод");
    blocker.set_title({});
    EXPECT_EQ(blocker.explanation(), "включен  - QS1");
    ASSERT_TRUE(blocker.get_parameter(2, value, name));
    EXPECT_EQ(name + "=" + value, "Блокирует, когда=Включен");

    std::vector<t_el_onof*> labels = label_rules(q1);
    ASSERT_EQ(labels.size(), 1u);
    t_el_onof& label = *labels[0];
    EXPECT_EQ(label.on_condition(), "((s1_2_1 or s1_2_2) and !s1_2_7 and s1_2_8)");
    EXPECT_EQ(label.off_condition(), "");
    EXPECT_EQ(label.property(), "подпись.цвет");
    EXPECT_EQ(label.on_value(), "зеленый");
    EXPECT_EQ(label.off_value(), "красный");
    EXPECT_EQ(label.flags() & 0x3000018u, 0x3000018u);

    // Nothing lands on the other elements; the mark is spent.
    EXPECT_EQ(count_of_type(tp_ilk), 1);
    EXPECT_EQ(count_of_type(tp_ilk_onof), 1);
    EXPECT_EQ(label_rules(qs1).size(), 0u);
    EXPECT_FALSE(ilk_state::of(*store).interlock_changed);
}

TEST_F(Projection, RunsOnlyWhenTheInterlocksChangedAndReplacesThePreviousResult) {
    load_station(example_elements(), interlock(page_label(), example_columns(), example_row()));
    project_tables(*store);
    std::string first_key = children_of<t_ilk>(q1).at(0)->key();
    store->update_pass();

    project_tables(*store);
    ASSERT_EQ(children_of<t_ilk>(q1).size(), 1u);
    EXPECT_EQ(children_of<t_ilk>(q1)[0]->key(), first_key);

    // A changed permission shows at the next projection, in place of the old result.
    get<t_ilk_and>(first_row + ".0000.0001").set_parameter(2, "Включен");
    project_again();
    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 1u);
    EXPECT_EQ(interlocks[0]->extra_condition(), "(s1_2_1 or s1_2_2) and s1_2_7 and !s1_2_8");
    EXPECT_EQ(label_rules(q1).size(), 1u);
    EXPECT_EQ(count_of_type(tp_ilk_onof), 1);
}

TEST_F(Projection, TwoConditionsGiveTwoInterlocksAndOneLabelJoinedWithOr) {
    std::string row_text =
        row("s1_2_1", "", condition(permission(1, false)) + condition(permission(2, true)));
    load_station(example_elements(), interlock(page_label(), example_columns(), row_text));
    project_tables(*store);

    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 2u);
    EXPECT_EQ(interlocks[0]->extra_condition(), "s1_2_1");
    ASSERT_EQ(children_of<t_ilk_onof>(interlocks[0]->key()).size(), 1u);
    EXPECT_FALSE(children_of<t_ilk_onof>(interlocks[0]->key())[0]->blocks_when_on());
    EXPECT_EQ(interlocks[1]->extra_condition(), "s1_2_1 and s1_2_7 and !s1_2_8");
    EXPECT_TRUE(children_of<t_ilk_onof>(interlocks[1]->key()).empty());
    ASSERT_EQ(label_rules(q1).size(), 1u);
    EXPECT_EQ(label_rules(q1)[0]->on_condition(), "(s1_2_1) or (s1_2_1 and s1_2_7 and !s1_2_8)");
}

TEST_F(Projection, TwoRootsOnOnePageEachAddTheirOwn) {
    std::string second_row = row("s1_2_6", "", condition(permission(1, true)));
    load_station(example_elements(),
                 interlock(page_label(), example_columns(), example_row()) +
                     interlock(page_label(), example_columns(),
                               row("s1_2_1", "", condition(permission(2, true))) + second_row));
    // Q2 is not on the page: its row is passed over without a word.
    project_tables(*store);

    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 2u);
    EXPECT_EQ(interlocks[0]->extra_condition(), "(s1_2_1 or s1_2_2) and !s1_2_7 and s1_2_8");
    EXPECT_EQ(interlocks[1]->extra_condition(), "s1_2_1 and s1_2_7 and !s1_2_8");
    std::vector<t_el_onof*> labels = label_rules(q1);
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[1]->on_condition(), "(s1_2_1 and s1_2_7 and !s1_2_8)");
    EXPECT_EQ(count_of_type(tp_ilk), 2);
}

TEST_F(Projection, RuleTemplateNamesTheApparatusOfAColumn) {
    // Column "Т1-ЗН" (contact s1_2_9) stands for element Т1 through its rule "#-ЗН".
    std::string columns = column(3, "s1_2_9", "");
    load_station(example_elements(), interlock(page_label(), columns,
                                               row("s1_2_1", "", condition(permission(3, false)))));
    project_tables(*store);

    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 1u);
    EXPECT_EQ(interlocks[0]->extra_condition(), "s1_2_1");
    std::vector<t_ilk_onof*> blockers = children_of<t_ilk_onof>(interlocks[0]->key());
    ASSERT_EQ(blockers.size(), 1u);
    EXPECT_EQ(blockers[0]->rtid(), 12);
    EXPECT_EQ(blockers[0]->explanation(), "отключен - Т1-ЗН");
    EXPECT_EQ(blockers[0]->display_name(), "откл (12)Т1 - Блокирующий элемент");
}

TEST_F(Projection, ARowOnItsOwnApparatusGetsADirection) {
    // Q1's own column, required off: the interlock is one for switching Q1 on.
    std::string columns = column(1, "s1_2_1", "");
    load_station(example_elements(), interlock(page_label(), columns,
                                               row("s1_2_1", "", condition(permission(1, false)))));
    project_tables(*store);
    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 1u);
    ASSERT_NE(interlocks[0]->self_blocker(), nullptr);
    EXPECT_TRUE(interlocks[0]->self_blocker()->refers_to_own_element());
    EXPECT_EQ(interlocks[0]->direction(), 1);
    EXPECT_EQ(interlocks[0]->display_name(), "Блокировка включения");
    int icon = 0, overlay = 0, state = -1;
    interlocks[0]->tree_images(icon, overlay, state);
    EXPECT_EQ(icon, 1416);

    // Deleting the blocking element takes the direction with it.
    std::string blocker_key = interlocks[0]->self_blocker()->key();
    store->refs().take(blocker_key);
    EXPECT_EQ(interlocks[0]->self_blocker(), nullptr);
    EXPECT_EQ(interlocks[0]->display_name(), "Блокировка");
}

TEST_F(Projection, DuplicateDispatcherNamesAreReportedAndThatRootProjectsNothing) {
    // A hand-made interlock on Q1: the deletion before the projection has taken it already.
    std::string elements = element_ref(10, "Q1", onof("s1_2_5") + "<ref tp=\"83\"/>\r\n") +
                           element_ref(11, "QS1", onof("s1_2_3", "s1_2_4")) +
                           element_ref(13, "QS1", onof("s1_2_4"));
    load_station(elements, interlock(page_label(), example_columns(), example_row()));
    ASSERT_EQ(count_of_type(tp_ilk), 1);
    prompt.expect("Диспетчерское имя на схеме должно быть уникально", answer_ok);
    project_tables(*store);

    ASSERT_EQ(prompt.seen().size(), 1u);
    EXPECT_EQ(prompt.seen()[0].text, "Диспетчерское имя на схеме должно быть уникально:\r\n"
                                     "Схемы / ps1 / Стр1 / выключатель / (11)QS1\r\n"
                                     "Схемы / ps1 / Стр1 / выключатель / (13)QS1.\r\n");
    EXPECT_EQ(prompt.seen()[0].type, mb_error);
    EXPECT_EQ(count_of_type(tp_ilk), 0);
    EXPECT_EQ(count_of_type(tp_ilk_onof), 0);
    EXPECT_TRUE(label_rules(q1).empty());
    EXPECT_FALSE(ilk_state::of(*store).interlock_changed);
}

TEST_F(Projection, HandMadeInterlocksGoWithTheNextProjection) {
    std::string elements =
        element_ref(10, "Q1",
                    onof("s1_2_5") + "<ref tp=\"83\"><expr>s1_2_6</expr>\r\n"
                                     "<ref tp=\"84\" rtid=\"11\" on=\"1\"/>\r\n</ref>\r\n") +
        element_ref(11, "QS1", onof("s1_2_3", "s1_2_4"));
    load_station(elements, interlock(page_label(), example_columns(), example_row()));
    ASSERT_EQ(count_of_type(tp_ilk), 1);
    t_ilk& hand_made = get<t_ilk>(q1 + ".0001");
    EXPECT_EQ(hand_made.extra_condition(), "s1_2_6");

    project_tables(*store);
    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 1u);
    EXPECT_EQ(interlocks[0]->extra_condition(), "(s1_2_1 or s1_2_2) and !s1_2_7 and s1_2_8");
    EXPECT_EQ(count_of_type(tp_ilk_onof), 1);
    // The element keeps exactly its own rule, the new interlock and the label rule.
    EXPECT_EQ(element(q1).rules().size(), 3u);
}

TEST_F(Projection, NothingProjectedIsWrittenToTheConfiguration) {
    load_station(example_elements(), interlock(page_label(), example_columns(), example_row()));
    store->save();
    std::string before = read_bytes(station_dir() + "refs.ini");
    project_tables(*store);
    store->update_pass();
    ASSERT_EQ(count_of_type(tp_ilk), 1);

    store->save();
    EXPECT_EQ(read_bytes(station_dir() + "refs.ini"), before);
    // Nor to the clipboard form of the element.
    std::string copied = store->subtree_xml(q1);
    EXPECT_EQ(copied.find("tp=\"83\""), std::string::npos);
    EXPECT_EQ(copied.find("tp=\"84\""), std::string::npos);
    EXPECT_EQ(copied.find("подпись.цвет"), std::string::npos);
}

TEST_F(Projection, ALabelNoLongerInThePageListIsClearedSilently) {
    load_station(example_elements(), interlock("ps1/Старая" + std::string(73, ' ') + "p0",
                                               example_columns(), example_row()) +
                                         interlock("", example_columns(), example_row()));
    project_tables(*store);
    EXPECT_EQ(get<t_ilk_root>(first_root).page_label(), "");
    // The second root asks for no page at all.
    EXPECT_EQ(count_of_type(tp_ilk), 0);
    EXPECT_TRUE(label_rules(q1).empty());

    // A renamed page is found again once the list is rebuilt.
    get<t_ilk_root>(first_root).set_page_label(page_label());
    project_again();
    EXPECT_EQ(count_of_type(tp_ilk), 1);
    get<t_mod_page>("S.0000.0000").set_page_title("Стр2");
    get<t_mod_page>("S.0000.0000").init();
    project_again();
    EXPECT_EQ(get<t_ilk_root>(first_root).page_label(), "");
    EXPECT_EQ(count_of_type(tp_ilk), 0);
}

TEST_F(Projection, LockedRowsAreNotProjected) {
    std::string rows = row("s1_2_1", "", condition(permission(1, true)), " lock=\"1\"");
    load_station(example_elements(), interlock(page_label(), example_columns(), rows));
    project_tables(*store);
    EXPECT_EQ(count_of_type(tp_ilk), 0);
    EXPECT_TRUE(label_rules(q1).empty());
}

} // namespace
} // namespace ilktest

namespace ilktest {
namespace {

using Projection = ilk_scheme_test;

TEST_F(Projection, TheLabelColourNeverStandsForTheApparatusPosition) {
    // Q1 without a rule of its own: after the projection it holds only the label rule.
    load_station(element_ref(10, "Q1", "") + element_ref(11, "QS1", onof("s1_2_3", "s1_2_4")),
                 interlock(page_label(), example_columns(), example_row()));
    project_tables(*store);
    ASSERT_EQ(label_rules(q1).size(), 1u);
    EXPECT_EQ(element(q1).switching_rule(), nullptr);

    // With a rule of its own, that rule is the switching rule whatever the label shows.
    load_station(example_elements(), interlock(page_label(), example_columns(), example_row()));
    project_tables(*store);
    std::vector<t_el_onof*> labels = label_rules(q1);
    ASSERT_EQ(labels.size(), 1u);
    t_el_onof* own = element(q1).switching_rule();
    ASSERT_NE(own, nullptr);
    EXPECT_NE(own, labels[0]);
    EXPECT_EQ(own->on_condition(), "s1_2_5");
}

} // namespace
} // namespace ilktest
