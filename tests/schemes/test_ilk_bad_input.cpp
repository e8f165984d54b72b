#include "test_ilk_fixture.h"

#include "config/ref_editing.h"
#include "interlock/t_ilk_or.h"

using namespace nxkit;
using namespace ilktest::ilk_scheme_xml;

namespace ilktest {
namespace {

using IlkBadInput = ilk_scheme_test;

TEST_F(IlkBadInput, RowsWithoutPermissionSignalHaveNoNameAndArePassedOver) {
    std::string rows = row("", "", condition(permission(1, true))) +
                       row("", "s1_2_2", condition(permission(1, true))) + example_row();
    load_station(example_elements(), interlock(page_label(), example_columns(), rows));
    project_tables(*store);

    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 1u);
    EXPECT_EQ(interlocks[0]->extra_condition(), "(s1_2_1 or s1_2_2) and !s1_2_7 and s1_2_8");
    EXPECT_EQ(label_rules(q1).size(), 1u);
}

TEST_F(IlkBadInput, APermissionWithoutColumnNeverPermits) {
    std::string rows = row("s1_2_1", "", condition(permission(99, true) + permission(1, true)));
    load_station(example_elements(), interlock(page_label(), example_columns(), rows));
    ilk_host host(*store);
    for (auto [n, v] : {std::pair{1, 1}, {3, 1}, {4, 0}, {5, 1}})
        set_signal(n, v);
    project_tables(*store);
    store->update_pass();

    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 1u);
    EXPECT_EQ(interlocks[0]->extra_condition(), "s1_2_1 and 0");
    EXPECT_EQ(children_of<t_ilk_onof>(interlocks[0]->key()).size(), 1u);
    EXPECT_EQ(label_rules(q1).at(0)->on_condition(), "(s1_2_1 and 0)");
    EXPECT_FALSE(host.interlock_styles[q1][10][style::ilk_yes]);
    EXPECT_TRUE(host.interlock_styles[q1][10][style::ilk_no]);
    EXPECT_TRUE(host.interlock_styles[q1][11][style::ilk_ts_yes]);
    EXPECT_EQ(host.properties[q1]["подпись.цвет"], "красный");
}

TEST_F(IlkBadInput, ABlockingElementWhoseCounterIsNotOnTheSchemeIsLockedAndSaysSo) {
    std::string elements =
        element_ref(10, "Q1",
                    onof("s1_2_5") + "<ref tp=\"83\">\r\n<ref tp=\"84\" rtid=\"999\" "
                                     "on=\"1\"/>\r\n</ref>\r\n") +
        example_elements().substr(example_elements().find("<ref tp=\"82\" "
                                                          "rtid=\"11\""));
    load_station(elements, {});
    t_ilk& ilk = get<t_ilk>(q1 + ".0001");
    t_ilk_onof& blocker = get<t_ilk_onof>(q1 + ".0001.0000");
    EXPECT_TRUE(blocker.has_flag(flag_locked));
    EXPECT_EQ(blocker.display_name(), "элемент rtid = 999 на схеме отсутствует");
    EXPECT_EQ(blocker.explanation(), "элемент rtid = 999 на схеме отсутствует");
    int icon = 0, overlay = 0, state = -1;
    blocker.tree_images(icon, overlay, state);
    EXPECT_EQ(state, 1);

    // An apparatus that cannot be checked blocks; its counter gets no marks.
    style_map own;
    EXPECT_FALSE(blocker.check(own));
    EXPECT_TRUE(own.empty());
    styles_by_counter marks;
    EXPECT_FALSE(ilk.evaluate(marks));
    EXPECT_EQ(marks.count(999), 0u);
    EXPECT_TRUE(marks[10][style::ilk_no]);

    // Given a counter that is on the scheme, its next init finds the element.
    blocker.set_rtid(11);
    blocker.init();
    EXPECT_FALSE(blocker.has_flag(flag_locked));
    EXPECT_EQ(blocker.explanation(), "включен  - QS1");
}

TEST_F(IlkBadInput, AnInterlockWithNothingToCheckNeverPermits) {
    std::string elements =
        element_ref(10, "Q1",
                    onof("s1_2_5") + "<ref tp=\"83\"/>\r\n<ref tp=\"83\"><expr>nosuch + </expr>"
                                     "</ref>\r\n<ref tp=\"83\" lock=\"1\"/>\r\n");
    std::string log_path = open_scheme_log();
    load_station(elements, {});
    styles_by_counter marks;
    EXPECT_FALSE(get<t_ilk>(q1 + ".0001").evaluate(marks));
    EXPECT_TRUE(marks[10][style::ilk_no]);
    // An extra condition that cannot be evaluated forbids; the parser's complaint is logged.
    marks.clear();
    EXPECT_FALSE(get<t_ilk>(q1 + ".0002").evaluate(marks));
    EXPECT_TRUE(marks[10][style::ilk_no]);
    EXPECT_NE(nxkit::from_cp1251(read_bytes(log_path)).find(" | ERR | "), std::string::npos);
    // A locked interlock permits and marks nothing.
    marks.clear();
    EXPECT_TRUE(get<t_ilk>(q1 + ".0003").evaluate(marks));
    EXPECT_TRUE(marks.empty());
}

TEST_F(IlkBadInput, AnElementWithADispatcherCommandTakesNoInterlock) {
    std::string elements = element_ref(10, "Q1", "<ref tp=\"89\" ts=\"s1_2_6\"/>\r\n") +
                           element_ref(11, "QS1", onof("s1_2_3", "s1_2_4"));
    load_station(elements, interlock(page_label(), example_columns(), example_row()));
    std::string log_path = open_scheme_log();
    project_tables(*store);
    EXPECT_EQ(count_of_type(tp_ilk), 0);
    EXPECT_TRUE(label_rules(q1).empty());
    EXPECT_NE(nxkit::from_cp1251(read_bytes(log_path))
                  .find(" | WAR | Схемы / ps1 / Стр1 / выключатель / (10)Q1: блокировка строки "
                        "'Q1' не отражена, элемент содержит команду диспетчера"),
              std::string::npos);
}

} // namespace
} // namespace ilktest

namespace ilktest {
namespace {

using IlkLocked = ilk_scheme_test;

TEST_F(IlkLocked, DeactivatedConditionsAndPermissionsAreLeftOutAsInTheExport) {
    // Condition 1: QS1 (on the page) deactivated, QS7 active. Condition 2 deactivated.
    // Condition 3: its only permission deactivated, so it holds none.
    std::string rows =
        row("s1_2_1", "s1_2_2",
            condition("<ref tp=\"73\" uid=\"1\" on=\"1\" lock=\"1\"/>\r\n" + permission(2, false)) +
                "<ref tp=\"74\" lock=\"1\">\r\n" + permission(1, true) + "</ref>\r\n" +
                condition("<ref tp=\"73\" uid=\"2\" on=\"0\" lock=\"1\"/>\r\n"));
    load_station(example_elements(), interlock(page_label(), example_columns(), rows));
    project_tables(*store);

    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 2u);
    EXPECT_TRUE(interlocks[0]->blockers().empty());
    EXPECT_EQ(interlocks[0]->extra_condition(), "(s1_2_1 or s1_2_2) and !s1_2_7 and s1_2_8");
    EXPECT_EQ(interlocks[1]->extra_condition(), "(s1_2_1 or s1_2_2) and 0");
    ASSERT_EQ(label_rules(q1).size(), 1u);
    EXPECT_EQ(label_rules(q1)[0]->on_condition(),
              "((s1_2_1 or s1_2_2) and !s1_2_7 and s1_2_8) or ((s1_2_1 or s1_2_2) and 0)");
}

TEST_F(IlkLocked, AnElementLeavingTheSchemeBringsTheProjectionBack) {
    load_station(example_elements(), interlock(page_label(), example_columns(), example_row()));
    project_tables(*store);
    ASSERT_EQ(children_of<t_ilk>(q1).size(), 1u);
    ASSERT_EQ(children_of<t_ilk>(q1)[0]->blockers().size(), 1u);

    // QS1 goes: the next projection writes its contacts into the extra condition instead.
    {
        batch_scope batch(*store);
        ASSERT_TRUE(del_ref(*store, qs1));
    }
    store->update_pass();
    project_tables(*store);
    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 1u);
    EXPECT_TRUE(interlocks[0]->blockers().empty());
    EXPECT_EQ(interlocks[0]->extra_condition(),
              "(s1_2_1 or s1_2_2) and s1_2_3 and !s1_2_4 and !s1_2_7 and s1_2_8");
}

TEST_F(IlkLocked, AConditionWithoutPermissionsNeverPermits) {
    // Only a nested condition; only a column with an unknown signal; no children at all.
    std::string rows = row("s1_2_1", "s1_2_2",
                           condition("<ref tp=\"74\">\r\n" + permission(2, false) + "</ref>\r\n") +
                               condition("<ref tp=\"75\" nof=\"nosuch\" non=\"\" uid=\"9\"/>\r\n") +
                               "<ref tp=\"74\"/>\r\n");
    load_station(example_elements(), interlock(page_label(), example_columns(), rows));
    for (auto [n, v] : {std::pair{1, 1}, {7, 0}, {8, 1}})
        set_signal(n, v);
    store->update_pass();
    for (int n = 0; n < 3; ++n) {
        SCOPED_TRACE(n);
        auto& condition = get<t_ilk_or>(first_row + "." + key_part(n));
        EXPECT_FALSE(condition.permits());
        EXPECT_FALSE(condition.has_flag(flag_control));
    }
}

} // namespace
} // namespace ilktest
