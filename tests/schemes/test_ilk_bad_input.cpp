#include "test_ilk_fixture.h"

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

    style_map own;
    EXPECT_TRUE(blocker.check(own));
    EXPECT_TRUE(own.empty());
    styles_by_counter marks;
    EXPECT_TRUE(ilk.evaluate(marks));
    EXPECT_EQ(marks.count(999), 0u);
    EXPECT_TRUE(marks[10][style::ilk_yes]);

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
