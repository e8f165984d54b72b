#include "schemes_fixture.h"

#include "base/files.h"
#include "schemes/t_mod_group.h"
#include "schemes/t_mod_page.h"
#include "schemes/t_schema_root.h"

#include <cstdio>

using namespace nxkit;

namespace ilktest {
namespace {

using SchemeModel = scheme_test;

TEST_F(SchemeModel, SwitchingTimesAreNormalisedOnLoad) {
    const std::string elements = "<ref tp=\"82\" rtid=\"10\" tmoo=\"0\"/>\r\n"
                                 "<ref tp=\"82\" rtid=\"11\" tmoo=\"3\"/>\r\n"
                                 "<ref tp=\"82\" rtid=\"12\" tmoo=\"250\"/>\r\n";
    load(scheme(elements));
    EXPECT_EQ(t_schema_root::tmoo(), 15);
    EXPECT_EQ(element(first_element).tmoo(), 0);
    EXPECT_EQ(element(second_element).tmoo(), 5);
    EXPECT_EQ(element("S.0000.0000.0000.0002").tmoo(), 100);

    load(scheme(elements, " tmoo=\"3\""));
    EXPECT_EQ(t_schema_root::tmoo(), 5);
    load(scheme(elements, " tmoo=\"250\""));
    EXPECT_EQ(t_schema_root::tmoo(), 100);
    load(scheme(elements));
    EXPECT_EQ(t_schema_root::tmoo(), 15);

    // Only a non-zero own time is written.
    std::string value, name;
    ASSERT_TRUE(element().get_parameter(3, value, name));
    EXPECT_EQ(name, "t переключения,с");
    EXPECT_EQ(value, "0");
    element().set_parameter(3, "2");
    EXPECT_EQ(element().tmoo(), 5);
    EXPECT_EQ(store->subtree_xml(group_key),
              "<REFs version=\"1\">\r\n  <ref tp=\"86\" title=\"выключатель\">\r\n"
              "    <ref tp=\"82\" rtid=\"10\" tmoo=\"5\"/>\r\n"
              "    <ref tp=\"82\" rtid=\"11\" tmoo=\"5\"/>\r\n"
              "    <ref tp=\"82\" rtid=\"12\" tmoo=\"100\"/>\r\n  </ref>\r\n</REFs>\r\n");
    element().set_parameter(3, "0");
    EXPECT_EQ(store->subtree_xml(first_element),
              "<REFs version=\"1\">\r\n  <ref tp=\"82\" rtid=\"10\"/>\r\n</REFs>\r\n");
}

TEST_F(SchemeModel, SchemeWithoutFileIsLockedAndListsTheFolder) {
    load("<ref tp=\"80\">\r\n<ref tp=\"81\"/>\r\n<ref tp=\"81\" name=\"ps1\"/>\r\n</ref>\r\n");
    auto& empty = get<t_schema_modus50>("S.0000");
    auto& named = get<t_schema_modus50>("S.0001");
    EXPECT_TRUE(empty.has_flag(flag_locked));
    EXPECT_FALSE(named.has_flag(flag_locked));
    EXPECT_EQ(empty.display_name(), "Схема Modus 5.1");
    EXPECT_EQ(named.display_name(), "ps1");

    std::string folder = scheme_folder();
    EXPECT_EQ(folder, station_dir() + "SDE/");
    EXPECT_TRUE(dir_exists(folder));
    choice_list choices;
    EXPECT_EQ(empty.parameter_editor(1, choices), editor_choice_only);
    ASSERT_EQ(choices.size(), 1u);
    EXPECT_EQ(choices[0].text, "Схемы не найдены");

    write_bytes(folder + "b.SDE", "x");
    write_bytes(folder + "a.sde", "x");
    write_bytes(folder + "notes.txt", "x");
    EXPECT_EQ(empty.parameter_editor(1, choices), editor_choice_only);
    ASSERT_EQ(choices.size(), 2u);
    EXPECT_EQ(choices[0].text, "a");
    EXPECT_EQ(choices[1].text, "b");
    for (const char* f : {"b.SDE", "a.sde", "notes.txt"})
        std::remove((folder + f).c_str());

    // A scheme with pages keeps its file.
    store->insert_xml("S.0001", element_xml(tp_mod_page, 1, ""));
    EXPECT_EQ(named.parameter_editor(1, choices), editor_read_only);
}

TEST_F(SchemeModel, SchemeFileGetsTheExtensionUnlessItHasIt) {
    t_schema_modus50 s(*store);
    for (auto [name, file] : {std::pair{"ps1", "ps1.sde"},
                              {"ps1.sde", "ps1.sde"},
                              {"ps1.SdE", "ps1.SdE"},
                              {"ps1.txt", "ps1.txt.sde"},
                              {"Подстанция", "Подстанция.sde"}}) {
        s.set_name(name);
        EXPECT_EQ(s.scheme_file(), file) << name;
    }
}

TEST_F(SchemeModel, ElementsAreFoundByCounterAndNamed) {
    load(scheme("<ref tp=\"82\" rtid=\"10\" disp=\" Q1 \" title=\"ввод\"/>\r\n"
                "<ref tp=\"82\" rtid=\"11\"/>\r\n"
                "<ref tp=\"82\" rtid=\"10\" disp=\"Q3\"/>\r\n"));
    auto& s = get<t_schema_modus50>(scheme_key);
    // The last element registered under a counter wins.
    EXPECT_EQ(s.find_element(10), &element("S.0000.0000.0000.0002"));
    EXPECT_EQ(s.find_element(11), &element(second_element));
    EXPECT_EQ(s.find_element(12), nullptr);
    EXPECT_EQ(element().display_name(), "(10)Q1 - ввод");
    EXPECT_EQ(element(second_element).display_name(), "(11)");
    EXPECT_TRUE(element().has_flag(flag_no_delete | element_expand_on_select));

    std::string names[4];
    for (int i = 0; i < 4; ++i) {
        std::string value;
        ASSERT_TRUE(element().get_parameter(i, value, names[i]));
    }
    EXPECT_EQ(names[1], "Счетчик (RTID)");
    EXPECT_EQ(names[2], "Дисп_имя");
    choice_list choices;
    EXPECT_EQ(element().parameter_editor(1, choices), editor_read_only);
    EXPECT_EQ(element().parameter_editor(2, choices), editor_read_only);

    // A deleted element leaves the map.
    store->refs().take("S.0000.0000.0000.0002");
    EXPECT_EQ(s.find_element(10), nullptr);
    // Initialised again under a new counter, an element leaves its old entry.
    element(second_element).set_parameter(1, "31");
    element(second_element).init();
    EXPECT_EQ(s.find_element(11), nullptr);
    EXPECT_EQ(s.find_element(31), &element(second_element));

    EXPECT_EQ(element_xml(tp_element, 7, "  Q 7 "), "<ref tp=\"82\" rtid=\"7\" disp=\"Q 7\"/>\r\n");
    EXPECT_EQ(element_xml(tp_mod_page, 2, ""), "<ref tp=\"85\" rtid=\"2\"/>\r\n");
}

TEST_F(SchemeModel, PagesAndGroups) {
    load(scheme(""));
    auto& page = get<t_mod_page>("S.0000.0000");
    EXPECT_EQ(page.display_name(), "Стр1");
    page.set_title("главная");
    EXPECT_EQ(page.display_name(), "Стр1 - главная");
    page.set_page_id("P7");
    EXPECT_EQ(
        store->subtree_xml("S.0000.0000"),
        "<REFs version=\"1\">\r\n  <ref tp=\"85\" title=\"главная\" rtid=\"1\" disp=\"Стр1\" "
        "key=\"P7\">\r\n    <ref tp=\"86\" title=\"выключатель\"/>\r\n  </ref>\r\n</REFs>\r\n");

    // Initialising or destroying a page marks the page list.
    t_schema_root::clear_page_list_mark(*store);
    EXPECT_FALSE(t_schema_root::page_list_marked(*store));
    page.init();
    EXPECT_TRUE(t_schema_root::page_list_marked(*store));
    t_schema_root::clear_page_list_mark(*store);
    store->refs().take("S.0000.0000");
    EXPECT_TRUE(t_schema_root::page_list_marked(*store));

    auto& group = get<t_mod_group>(group_key);
    int icon = 0, overlay = 0, state = 0;
    group.set_image(1425);
    group.tree_images(icon, overlay, state);
    EXPECT_EQ(icon, 1425);
    EXPECT_EQ(overlay, 1402);
    choice_list choices;
    EXPECT_EQ(group.parameter_editor(0, choices), editor_read_only);
}

TEST_F(SchemeModel, ElementWithoutSchemeAndForbiddenRulesAreLockedWithTheirTexts) {
    scripted_prompt prompt;
    prompt.expect("не удалось найти t_schema_modus50", answer_ok);
    load("<ref tp=\"80\">\r\n<ref tp=\"99\">\r\n<ref tp=\"82\" "
         "rtid=\"5\"/>\r\n</ref>\r\n</ref>\r\n");
    ASSERT_EQ(prompt.seen().size(), 1u);
    EXPECT_NE(prompt.seen()[0].text.find("Для компонента 'Элемент схемы' (S.0000.0000) не удалось "
                                         "найти t_schema_modus50"),
              std::string::npos)
        << prompt.seen()[0].text;
    EXPECT_TRUE(store->get("S.0000.0000")->has_flag(flag_locked));

    // A command rule stands alone: the second rule is locked either way round.
    prompt.expect("не позволяет добавлять", answer_ok);
    load(scheme(
        "<ref tp=\"82\" rtid=\"10\">\r\n<ref tp=\"89\"/>\r\n<ref tp=\"87\"/>\r\n</ref>\r\n"
        "<ref tp=\"82\" rtid=\"11\">\r\n<ref tp=\"87\"/>\r\n<ref tp=\"89\"/>\r\n</ref>\r\n"));
    ASSERT_EQ(prompt.seen().size(), 2u);
    const std::string& text = prompt.seen()[1].text;
    EXPECT_NE(text.find("Компонент 'Команда диспетчера' не позволяет добавлять другие компоненты."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Компонент 'Команда диспетчера' можно добавить, когда нет других "
                        "компонентов."),
              std::string::npos)
        << text;
    EXPECT_FALSE(store->get(first_rule)->has_flag(flag_locked));
    EXPECT_TRUE(store->get(second_rule)->has_flag(flag_locked));
    EXPECT_TRUE(store->get(second_element + ".0001")->has_flag(flag_locked));
    EXPECT_EQ(element().rules().size(), 1u);
    EXPECT_EQ(element(second_element).rules().size(), 1u);
    EXPECT_FALSE(element().can_add_child(tp_el_expr));
    EXPECT_FALSE(element(second_element).can_add_child(tp_el_disp));
    EXPECT_TRUE(element(second_element).can_add_child(tp_el_expr));
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST_F(SchemeModel, RulesAreWrittenAsTheyWereRead) {
    const std::string onof_text =
        "  <ref tp=\"87\" par=\"положение\" on=\"включен\" of=\"отключен\" tl=\"#_вкл\">\r\n"
        "    <on>s1_2_7</on>\r\n    <of>s1_2_8 &amp; 1</of>\r\n  </ref>\r\n";
    load(scheme("<ref tp=\"82\" rtid=\"10\" disp=\"Q1\">\r\n" + onof_text +
                "<ref tp=\"88\" par=\"значение\" frm=\"\"><expr>1+2</expr></ref>\r\n"
                "<ref tp=\"89\" ts=\"s1_2_9\" lock=\"1\"><of>s1_2_7</of></ref>\r\n</ref>\r\n"));
    auto& onof = get<t_el_onof>(first_rule);
    EXPECT_EQ(onof.on_condition(), "s1_2_7");
    EXPECT_EQ(onof.off_condition(), "s1_2_8 & 1");
    EXPECT_EQ(onof.display_name(), "положение (включен/отключен) - Включен/Отключен");
    auto& expr = get<t_el_expr>(second_rule);
    EXPECT_EQ(expr.format(), "#");
    EXPECT_EQ(expr.display_name(), "значение (#) - Значение");
    const std::string head = "<REFs version=\"1\">\r\n";
    const std::string tail = "</REFs>\r\n";
    EXPECT_EQ(store->subtree_xml(first_rule), head + onof_text + tail);
    EXPECT_EQ(store->subtree_xml(second_rule),
              head +
                  "  <ref tp=\"88\" par=\"значение\" frm=\"#\">\r\n    <expr>1+2</expr>\r\n  "
                  "</ref>\r\n" +
                  tail);
    EXPECT_EQ(store->subtree_xml(first_element + ".0002"),
              head +
                  "  <ref tp=\"89\" lock=\"1\" ts=\"s1_2_9\" par=\"\" on=\"\" of=\"\">\r\n    "
                  "<of>s1_2_7</of>\r\n  </ref>\r\n" +
                  tail);

    // A template of "#" alone is kept empty and not written.
    onof.set_parameter(6, " # ");
    EXPECT_EQ(onof.name_template(), "");
    EXPECT_EQ(store->subtree_xml(first_rule).find("tl="), std::string::npos);
}

} // namespace
} // namespace ilktest
