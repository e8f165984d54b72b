#include "base/name_hash.h"
#include "config/ref_editing.h"
#include "interlock/export_interlock.h"
#include "interlock/page_list.h"
#include "schemes/t_mod_page.h"
#include "tests/interlock/interlock_fixture.h"

#include <filesystem>

using namespace nxkit;
using namespace ilktest;
using namespace ilktest::ilk_xml;

namespace {

// Signals 1 Q1, 2 and 3 QS1, 4 Т1-ЗН, 5 Т2-ЗН, 6 1ШР-2, 7 ЗН-1, 8 В-110, 9 qf1, 10 Т2;
// none of them fed by a device.
class interlock_model : public interlock_test {
protected:
    void load_table(const std::string& columns, const std::string& rows,
                    const std::string& more = {}, const std::string& schemes_before = {}) {
        load({},
             signal(1, "Q1") + signal(2, "QS1") + signal(3, "QS1") + signal(4, "Т1-ЗН") +
                 signal(5, "Т2-ЗН") + signal(6, "1ШР-2") + signal(7, "ЗН-1") + signal(8, "В-110") +
                 signal(9, "qf1") + signal(10, "Т2"),
             schemes_before + interlock_xml(columns, rows, more));
    }

    static std::vector<int> images(t_ref& component) {
        int icon = 0;
        int overlay = 0;
        int state = 0;
        component.tree_images(icon, overlay, state);
        return {icon, overlay, state};
    }
};

using InterlockModel = interlock_model;
using InterlockNumbers = interlock_model;
using InterlockLinks = interlock_model;
using InterlockPages = interlock_model;

TEST(InterlockKinds, DisplayNamesGiveApparatusKinds) {
    EXPECT_EQ(apparatus_kind_of("1ШР-2"), 2);
    EXPECT_EQ(apparatus_kind_of("ЗН-1"), 1);
    EXPECT_EQ(apparatus_kind_of("В-110"), 3);
    EXPECT_EQ(apparatus_kind_of("QF1"), 0);
    EXPECT_EQ(apparatus_kind_of("qf1"), 0);
    EXPECT_EQ(apparatus_kind_of("  ТР-1 "), 2);
    EXPECT_EQ(apparatus_kind_of("1ТРРП"), 2);
    EXPECT_EQ(apparatus_kind_of("ШСВ-110"), 3);
    EXPECT_EQ(apparatus_kind_of("Т1-ЗН"), 0);
    EXPECT_EQ(apparatus_kind_of(""), 0);
}

TEST(InterlockKinds, NameHashIsTheCrcRegisterOverWindows1251Bytes) {
    EXPECT_EQ(name_hash("123456789"), 0x340BC6D9u);
    EXPECT_EQ(name_hash("Я"), 0x3B91DF37u);
    EXPECT_EQ(name_hash(""), 0xFFFFFFFFu);
}

TEST_F(InterlockModel, TreeTextsAndImages) {
    load_table(column_xml(1, "s1_2_2", "s1_2_3", " title=\"ввод\"") + column_xml(12, "", "s1_2_3") +
                   column_xml(3, "", "") + column_xml(4, "s1_2_6", "") +
                   column_xml(5, "s1_2_7", "") + column_xml(6, "s1_2_8", "") +
                   column_xml(7, "s1_2_9", ""),
               row_xml(" ts=\"s1_2_1\" title=\"т\"",
                       condition_xml(1, permission_xml(1, true) + permission_xml(77, true))));
    EXPECT_EQ(store->find(root_key).display_name(), "Блокировка");
    EXPECT_EQ(images(store->find(root_key)), (std::vector<int>{1418, 0, 0}));
    EXPECT_EQ(store->find(table_key).display_name(), "T1 - Таблица блокировки");
    store->find(table_key).set_title("Главная");
    EXPECT_EQ(store->find(table_key).display_name(), "Главная - Таблица блокировки");
    EXPECT_EQ(images(store->find(table_key))[0], 1448);
    EXPECT_EQ(store->find(columns_key).display_name(), "Столбцы");
    EXPECT_EQ(images(store->find(columns_key)), (std::vector<int>{1420, 1402, 0}));
    EXPECT_EQ(images(store->find(rows_key)), (std::vector<int>{1447, 1402, 0}));

    EXPECT_EQ(column(0).display_name(), " 1 нрнз QS1 - ввод");
    EXPECT_EQ(column(1).display_name(), "12   нз QS1");
    EXPECT_EQ(column(2).display_name(), " 3  Разрешающий КА");
    // Icons by kind: on / off; unfed signals are off and without control.
    EXPECT_EQ(images(column(2)), (std::vector<int>{1454, 0, 2}));
    EXPECT_EQ(images(column(3))[0], 1420);
    EXPECT_EQ(column(4).apparatus_kind(), 1);
    EXPECT_EQ(images(column(4))[0], 1423);
    EXPECT_EQ(images(column(5))[0], 1425);
    EXPECT_EQ(column(6).apparatus_kind(), 0);
    EXPECT_EQ(column(1).state_icon(true), 1453);
    EXPECT_EQ(column(5).state_icon(true), 1424);
    EXPECT_EQ(column(3).state_icon(true), 1419);
    EXPECT_EQ(column(4).state_icon(true), 1422);

    EXPECT_EQ(row(0).display_name(), "Q1 - т");
    EXPECT_EQ(images(row(0)), (std::vector<int>{1447, 1451, 2}));
    EXPECT_EQ(condition(0, 0).display_name(), "Условие коммутации - Дистанционное");
    EXPECT_EQ(permission(0, 0, 0).display_name(), "QS1");
    EXPECT_EQ(images(permission(0, 0, 0)), (std::vector<int>{1454, 1451, 2}));
    EXPECT_EQ(permission(0, 0, 1).display_name(), "Разрешение коммутации");
}

TEST_F(InterlockModel, ParametersAndStoredAttributes) {
    load_table(column_xml(1, "s1_2_2", "s1_2_3", " clr=\"3\""),
               row_xml(" tu=\"3\" ts=\"s1_2_1\" dop=\"s1_2_5\" tm_of=\"20\"",
                       condition_xml(2, permission_xml(1, true))));
    t_ilk_tu& r = row(0);
    std::vector<std::string> names;
    std::vector<std::string> values;
    std::string value;
    std::string name;
    for (int i = 1; r.get_parameter(i, value, name); ++i) {
        names.push_back(name);
        values.push_back(value);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"№ ТУ разрешения", "Разрешающий сигнал",
                                               "Сигнал готовности", "Сигнал ТУ ВКЛ",
                                               "Сигнал ТУ ОТКЛ", "Таймаут t1,с", "Таймаут t2,с"}));
    EXPECT_EQ(values, (std::vector<std::string>{"3", "s1_2_1", "s1_2_5", "", "", "", "20"}));
    r.set_parameter(6, " 7 ");
    r.set_parameter(4, "  s1_2_6 ");
    r.set_parameter(1, "");

    ASSERT_TRUE(column(0).get_parameter(4, value, name));
    EXPECT_EQ(name, "Цвет фона");
    EXPECT_EQ(value, "Жёлтый");
    choice_list choices;
    EXPECT_EQ(column(0).parameter_editor(1, choices), editor_read_only);
    EXPECT_EQ(column(0).parameter_editor(4, choices), editor_choice_only);
    EXPECT_EQ(choices.front().text, " Прозрачный");
    EXPECT_TRUE(column(0).get_parameter(2, value, name));
    EXPECT_EQ(name, "Контакт нр");
    condition(0, 0).set_parameter(1, "Дистанционное");
    permission(0, 0, 0).set_parameter(2, "Отключен");
    EXPECT_EQ(permission(0, 0, 0).parameter_editor(1, choices), editor_read_only);
    ASSERT_EQ(choices.size(), 1u);
    EXPECT_EQ(choices[0].text, "QS1");
    EXPECT_EQ(choices[0].value, 1);

    // "№ ТУ разрешения" 0 is not written.
    EXPECT_EQ(store->subtree_xml(rows_key),
              "<REFs version=\"1\">\r\n  <ref tp=\"78\">\r\n    <ref tp=\"76\" ts=\"s1_2_1\" "
              "dop=\"s1_2_5\" tu_on=\"s1_2_6\" tu_of=\"\" tm_on=\"7\" tm_of=\"20\">\r\n      <ref "
              "tp=\"74\" control=\"1\">\r\n        <ref tp=\"73\" uid=\"1\" on=\"0\"/>\r\n      "
              "</ref>\r\n    </ref>\r\n  </ref>\r\n</REFs>\r\n");
}

TEST_F(InterlockNumbers, NumbersSurviveSaveAndLoadAndNewOnesGoAbove) {
    load_table(column_xml(0, "s1_2_2", "") + column_xml(7, "s1_2_3", "") + column_xml(3, "", ""),
               {});
    // The new column is numbered above every loaded one, even one read after it.
    EXPECT_EQ(column(0).column_number(), 8);
    std::vector<std::string> added = add_components(*store, columns_key, tp_ilk_ts, 1);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(get<t_ilk_vts>(added[0]).column_number(), 9);
    store->save();
    std::string saved = from_cp1251(read_bytes(station_dir() + "refs.ini"));
    EXPECT_NE(saved.find("<ref tp=\"75\" nof=\"s1_2_2\" non=\"\" uid=\"8\"/>"), std::string::npos)
        << saved;

    // A fresh store counts from what it reads.
    store = std::make_unique<t_ref_buff>();
    register_config_classes(*store);
    register_structure_classes(*store);
    register_telemech_classes(*store);
    register_schemes_classes(*store);
    register_interlock_classes(*store);
    store->load();
    EXPECT_EQ(column(0).column_number(), 8);
    EXPECT_EQ(column(1).column_number(), 7);
    EXPECT_EQ(column(3).column_number(), 9);
    added = add_components(*store, columns_key, tp_ilk_ts, 1);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(get<t_ilk_vts>(added[0]).column_number(), 10);
}

TEST_F(InterlockNumbers, EachStoreNumbersAfresh) {
    load_table(column_xml(0, "", ""), {});
    EXPECT_EQ(column(0).column_number(), 1);
}

TEST_F(InterlockLinks, PermissionsFindColumnsProtectThemAndSetDirections) {
    load_table(
        column_xml(1, "s1_2_2", "s1_2_3") + column_xml(2, "s1_2_1", "") +
            column_xml(3, "s1_2_6", ""),
        row_xml(" ts=\"s1_2_1\"", condition_xml(1, permission_xml(2, true)) +
                                      condition_xml(1, permission_xml(2, false)) +
                                      condition_xml(1, permission_xml(1, true))),
        "<ref tp=\"71\" frm=\"-ЗН\">\r\n<ref tp=\"70\" nof=\"s1_2_4\" uid=\"20\"/>\r\n"
        "<ref tp=\"70\" nof=\"s1_2_5\" uid=\"21\"/>\r\n"
        "<ref tp=\"70\" nof=\"s9_9_9\" part=\"Т3\" uid=\"22\"/>\r\n</ref>\r\n"
        "<ref tp=\"71\" frm=\"#\">\r\n<ref tp=\"70\" nof=\"s1_2_7\" uid=\"23\"/>\r\n</ref>\r\n");
    EXPECT_EQ(permission(0, 2, 0).column_ref(), &column(0));
    EXPECT_TRUE(column(0).has_flag(flag_no_delete));
    EXPECT_FALSE(column(2).has_flag(flag_no_delete));

    // The row's own apparatus: on required = switching off, off required = switching on.
    EXPECT_EQ(condition(0, 0).direction(), t_ilk_or::direction_off);
    EXPECT_EQ(condition(0, 1).direction(), t_ilk_or::direction_on);
    EXPECT_EQ(condition(0, 2).direction(), t_ilk_or::direction_none);
    // Only the first condition of a row is kept.
    EXPECT_TRUE(condition(0, 0).has_flag(flag_no_delete));
    EXPECT_FALSE(condition(0, 1).has_flag(flag_no_delete));
    scripted_prompt prompt;
    prompt.expect("Удалить компонент", answer_yes);
    ASSERT_TRUE(del_ref(*store, permission_key(0, 0, 0)));
    EXPECT_EQ(condition(0, 0).direction(), t_ilk_or::direction_none);

    // Same-name columns: the format always holds "#"; candidates by name, then by part.
    auto& same = get<t_ilk_nmtss>(table_key + ".0002");
    EXPECT_EQ(same.name_format(), "#-ЗН");
    EXPECT_EQ(get<t_ilk_tab>(table_key).same_name_columns().size(), 2u);
    EXPECT_EQ(same.candidate_for("Т2"), store->get(table_key + ".0002.0001"));
    EXPECT_EQ(same.candidate_for("Т1"), store->get(table_key + ".0002.0000"));
    EXPECT_EQ(same.candidate_for("Т3"), store->get(table_key + ".0002.0002"));
    EXPECT_EQ(same.candidate_for("Т4"), nullptr);
    same.set_parameter(1, "ЗН ");
    EXPECT_EQ(same.name_format(), "#ЗН");
    choice_list choices;
    EXPECT_EQ(same.parameter_editor(1, choices), editor_free_text);

    // A permission on a candidate finds it and protects the same-name column too.
    std::vector<std::string> added;
    store->insert_xml(condition_key(0, 2), permission_xml(21, false), &added);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(get<t_ilk_and>(added[0]).column_ref(), store->get(table_key + ".0002.0001"));
    EXPECT_TRUE(same.has_flag(flag_no_delete));
    EXPECT_EQ(same.parameter_editor(1, choices), editor_read_only);
}

TEST_F(InterlockLinks, LockedPermissionStillGivesItsConditionADirection) {
    // The permission on the row's own apparatus is locked: it is passed over by the export,
    // but its condition remains one for switching off, also after the tables are rebuilt.
    load_table(column_xml(1, "s1_2_2", "s1_2_3") + column_xml(2, "s1_2_1", ""),
               row_xml(" ts=\"s1_2_1\"",
                       condition_xml(1, "<ref tp=\"73\" uid=\"2\" on=\"1\" lock=\"1\"/>\r\n" +
                                            permission_xml(1, true)) +
                           condition_xml(1, permission_xml(1, true))));
    EXPECT_EQ(condition(0, 0).direction(), t_ilk_or::direction_off);
    EXPECT_EQ(condition(0, 1).direction(), t_ilk_or::direction_none);
    store->rebuild(false, true);
    EXPECT_EQ(condition(0, 0).direction(), t_ilk_or::direction_off);
    EXPECT_TRUE(column(1).has_flag(flag_no_delete));
}

TEST_F(InterlockLinks, ProtectionAndDirectionFollowEditsAsALoadWouldSetThem) {
    load_table(column_xml(1, "s1_2_1", "") + column_xml(2, "s1_2_3", ""),
               row_xml(" ts=\"s1_2_1\"", condition_xml(1, permission_xml(1, true)) +
                                             condition_xml(1, permission_xml(2, false))));
    EXPECT_TRUE(column(0).has_flag(flag_no_delete));
    EXPECT_TRUE(column(1).has_flag(flag_no_delete));
    ASSERT_EQ(condition(0, 0).direction(), t_ilk_or::direction_off);
    // Registered with their inputs, so their states are kept between changes.
    EXPECT_TRUE(permission(0, 0, 0).has_flag(flag_linked));
    EXPECT_TRUE(condition(0, 0).has_flag(flag_linked));
    EXPECT_TRUE(row(0).has_flag(flag_linked));

    // The last permission on a column is deleted: the column may be deleted again.
    scripted_prompt prompt;
    prompt.expect("Удалить компонент", answer_yes);
    ASSERT_TRUE(del_ref(*store, permission_key(0, 1, 0)));
    EXPECT_FALSE(column(1).has_flag(flag_no_delete));
    EXPECT_TRUE(column(0).has_flag(flag_no_delete));

    // The conditions swap places: the one now first is the one kept.
    ASSERT_TRUE(move(*store, condition_key(0, 1), condition_key(0, 0)));
    EXPECT_TRUE(condition(0, 0).has_flag(flag_no_delete));
    EXPECT_FALSE(condition(0, 1).has_flag(flag_no_delete));
    EXPECT_EQ(condition(0, 1).direction(), t_ilk_or::direction_off);

    // A deactivated condition no longer says which way its row switches, once the tables
    // are rebuilt.
    prompt.expect("", answer_no);
    ASSERT_TRUE(set_active_children(*store, row_key(0)));
    store->rebuild(false, true);
    EXPECT_EQ(condition(0, 1).direction(), t_ilk_or::direction_none);
}

TEST_F(InterlockLinks, NewTablesAndRowsGetTheirChildren) {
    load({}, {}, "<ref tp=\"72\"/>\r\n<ref tp=\"72\">\r\n<ref tp=\"79\"/>\r\n</ref>\r\n");
    // A loaded file is taken as it is.
    EXPECT_TRUE(store->refs().children("S.0001.0000").empty());

    std::vector<std::string> tables = add_components(*store, "S.0000", tp_ilk_tab, 1);
    ASSERT_EQ(tables.size(), 1u);
    auto& tab = get<t_ilk_tab>(tables[0]);
    ASSERT_NE(tab.columns_node(), nullptr);
    ASSERT_NE(tab.rows_node(), nullptr);
    EXPECT_EQ(tab.columns_node()->key(), tables[0] + ".0000");
    EXPECT_EQ(tab.rows_node()->key(), tables[0] + ".0001");
    EXPECT_TRUE(tab.columns_node()->has_flag(flag_no_delete | flag_active_fixed));

    std::vector<std::string> rows = add_components(*store, tab.rows_node()->key(), tp_ilk_tu, 1);
    ASSERT_EQ(rows.size(), 1u);
    std::vector<t_ref*> conditions = store->refs().children(rows[0]);
    ASSERT_EQ(conditions.size(), 1u);
    EXPECT_EQ(conditions[0]->type(), tp_ilk_or);
    EXPECT_TRUE(conditions[0]->has_flag(flag_no_delete));
}

TEST_F(InterlockPages, PageListLabelsEveryPageAndGivesIdentifiers) {
    load_table({}, {}, {},
               "<ref tp=\"81\" name=\"ПС1\">\r\n<ref tp=\"85\" disp=\"Главная\"/>\r\n"
               "<ref tp=\"85\" disp=\"Вторая\" key=\"abc\"/>\r\n</ref>\r\n");
    // The interlock follows the scheme now.
    const std::string scheme = "S.0000";
    const std::string root = "S.0001";
    const std::vector<ilk_page_entry>& pages = page_list(*store);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].label, "");
    EXPECT_EQ(pages[0].page_key, "");
    auto& first = get<t_mod_page>(scheme + ".0000");
    ASSERT_FALSE(first.page_id().empty());
    EXPECT_EQ(first.page_id().find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_TRUE(first.has_flag(flag_modified));
    EXPECT_EQ(pages[1].label, "ПС1/Главная" + std::string(73, ' ') + first.page_id());
    EXPECT_EQ(pages[1].page_key, first.key());
    EXPECT_EQ(pages[2].label, "ПС1/Вторая" + std::string(73, ' ') + "abc");

    std::string key;
    EXPECT_TRUE(find_page(*store, pages[2].label, key));
    EXPECT_EQ(key, scheme + ".0001");
    EXPECT_FALSE(find_page(*store, "ПС1/Третья", key));

    // The parameter offers the labels; a chosen one is kept as it is.
    auto& interlock = get<t_ilk_root>(root);
    choice_list choices;
    EXPECT_EQ(interlock.parameter_editor(1, choices), editor_choice_only);
    ASSERT_EQ(choices.size(), 3u);
    EXPECT_EQ(choices[2].text, pages[2].label);
    interlock.set_parameter(1, pages[2].label);
    EXPECT_EQ(interlock.page_label(), pages[2].label);
}

TEST_F(InterlockPages, ExportFileChoicesAreTheControllerFiles) {
    load_table({}, {});
    std::filesystem::remove_all(export_folder());
    auto& interlock = get<t_ilk_root>(root_key);
    choice_list choices;
    EXPECT_EQ(interlock.parameter_editor(2, choices), editor_choice_only);
    ASSERT_EQ(choices.size(), 1u);
    EXPECT_EQ(choices[0].text, "conf.ini не найдены");
    interlock.set_parameter(2, choices[0].text);
    EXPECT_EQ(interlock.export_file(), "");

    for (const char* name : {"conf2.ini", "conf.ini", "other.ini"})
        write_bytes(export_folder() + name, "x");
    interlock.parameter_editor(2, choices);
    ASSERT_EQ(choices.size(), 2u);
    EXPECT_EQ(choices[0].text, "conf.ini");
    EXPECT_EQ(choices[1].text, "conf2.ini");
}

} // namespace
