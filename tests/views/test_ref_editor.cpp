#include "tests/views/config_tree_fixture.h"

#include "config/ref_editing.h"
#include "base/settings.h"
#include "views/editor_menus.h"
#include "tests/support/desktop_doubles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

namespace treetest {

using ilktest::menu_recorder;

namespace {

std::vector<std::string> captions(const std::vector<menu_item>& items) {
    std::vector<std::string> list;
    for (const menu_item& m : items)
        list.push_back(m.separator ? "-" : m.text + (m.enabled ? "" : " (серый)"));
    return list;
}

void press(QWidget* widget, int key) {
    QTest::keyClick(widget, Qt::Key(key));
}

} // namespace

TEST_F(tree_test, a_component_shows_its_rows_and_each_editor_kind_applies) {
    load_station();
    view->choose("D.0000.0000");
    ASSERT_EQ(editor->row_count(), 6);
    EXPECT_EQ(editor->row_name(0), "Описание");
    EXPECT_EQ(editor->row_name(1), "Число");
    EXPECT_EQ(editor->row_text(2), " один");
    EXPECT_EQ(editor->active_box()->text().toStdString(), "Активный.   IEC 870-5-104");
    EXPECT_TRUE(editor->active_box()->isChecked());
    EXPECT_FALSE(editor->apply_button()->isEnabled());
    EXPECT_TRUE(editor->delete_button()->isEnabled());

    // Kind 1: the text box.
    editor->set_current_row(1);
    editor->begin_row_edit();
    ASSERT_EQ(editor->open_kind(), editor_free_text);
    EXPECT_TRUE(editor->apply_button()->isEnabled());
    editor->text_editor()->setText("42");
    press(editor->text_editor(), Qt::Key_Return);
    EXPECT_FALSE(editor->editing());
    EXPECT_EQ(editor->row_text(1), "42");
    // Kind 2: the list, the row's entry selected.
    editor->set_current_row(2);
    editor->begin_row_edit();
    ASSERT_EQ(editor->open_kind(), editor_choice_only);
    EXPECT_EQ(editor->list_editor()->currentText().toStdString(), " один");
    editor->list_editor()->setCurrentIndex(1);
    editor->end_row_edit(true);
    EXPECT_EQ(editor->row_text(2), " два");
    // Kind 3: list or free text.
    editor->set_current_row(3);
    editor->begin_row_edit();
    ASSERT_EQ(editor->open_kind(), editor_choice_or_text);
    EXPECT_EQ(editor->combo_editor()->currentText().toStdString(), "10.0.0.1");
    editor->combo_editor()->setEditText("192.168.0.7");
    press(editor->combo_editor()->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(editor->row_text(3), "192.168.0.7");
    // Kind 0: shown, not editable, writes nothing.
    editor->set_current_row(5);
    editor->begin_row_edit();
    ASSERT_EQ(editor->open_kind(), editor_read_only);
    EXPECT_TRUE(editor->text_editor()->isReadOnly());
    editor->end_row_edit(true);
    EXPECT_EQ(editor->row_text(5), "X0");

    QTest::mouseClick(editor->apply_button(), Qt::LeftButton);
    probe& p = probe_at("D.0000.0000");
    EXPECT_EQ(p.amount, "42");
    EXPECT_EQ(p.mode, " два");
    EXPECT_EQ(p.address, "192.168.0.7");
    EXPECT_TRUE(p.has_flag(flag_modified));
    EXPECT_GE(p.inits, 1);
    EXPECT_GT(saves, 0);
    // Shown again with the applied values.
    EXPECT_EQ(editor->row_text(1), "42");
    EXPECT_FALSE(editor->apply_button()->isEnabled());
}

TEST_F(tree_test, cancel_and_escape_bring_back_the_stored_values) {
    load_station();
    view->choose("D.0000.0000");
    editor->set_current_row(3);
    editor->begin_row_edit();
    editor->combo_editor()->setEditText("1.2.3.4");
    press(editor->combo_editor()->lineEdit(), Qt::Key_Escape);
    EXPECT_FALSE(editor->editing());
    EXPECT_EQ(editor->row_text(3), "10.0.0.1");

    editor->set_current_row(0);
    editor->begin_row_edit();
    editor->text_editor()->setText("Другое");
    editor->end_row_edit(true);
    EXPECT_EQ(editor->row_text(0), "Другое");
    QTest::mouseClick(editor->cancel_button(), Qt::LeftButton);
    EXPECT_EQ(editor->row_text(0), "П0");
    EXPECT_EQ(store.find("D.0000.0000").title(), "П0");
    EXPECT_FALSE(editor->apply_button()->isEnabled());
    EXPECT_EQ(saves, 0);
}

TEST_F(tree_test, a_change_from_the_pass_shows_the_component_again_without_asking_to_save) {
    load_station();
    view->choose("D.0000.0000");
    probe& p = probe_at("D.0000.0000");
    p.amount = "77";
    store.mark_changed(p.key());
    pass();
    EXPECT_EQ(editor->row_text(1), "77");
    EXPECT_EQ(saves, 0);
    EXPECT_FALSE(store.state().changed());

    // A pending edit is kept while the pass runs.
    editor->set_current_row(0);
    editor->begin_row_edit();
    editor->text_editor()->setText("Другое");
    editor->end_row_edit(true);
    p.amount = "78";
    store.mark_changed(p.key());
    pass();
    EXPECT_EQ(editor->row_text(0), "Другое");
    EXPECT_EQ(editor->row_text(1), "77");
    EXPECT_TRUE(editor->apply_button()->isEnabled());
}

TEST_F(tree_test, selecting_another_node_applies_a_pending_edit_first) {
    load_station();
    view->choose("D.0000.0001");
    editor->set_current_row(0);
    editor->begin_row_edit();
    editor->text_editor()->setText("  Переименован  ");
    view->choose("D.0000.0002");
    EXPECT_EQ(store.find("D.0000.0001").title(), "Переименован");
    EXPECT_TRUE(editor->shows("D.0000.0002"));
    EXPECT_GT(saves, 0);
}

TEST_F(tree_test, a_refused_value_applies_nothing_and_stays_in_edit) {
    load_station();
    view->choose("D.0000.0000");
    prompt.expect("Значение 'abc' не число", answer_ok);
    editor->set_current_row(0);
    editor->begin_row_edit();
    editor->text_editor()->setText("Новое имя");
    editor->end_row_edit(true);
    editor->set_current_row(1);
    editor->begin_row_edit();
    editor->text_editor()->setText("abc");
    QTest::mouseClick(editor->apply_button(), Qt::LeftButton);
    probe& p = probe_at("D.0000.0000");
    // Row 0 was set before row 1 refused: it is back as it was.
    EXPECT_EQ(p.title(), "П0");
    EXPECT_EQ(p.amount, "10");
    EXPECT_FALSE(p.has_flag(flag_modified));
    EXPECT_TRUE(editor->editing());
    EXPECT_EQ(editor->current_row(), 1);
    EXPECT_EQ(editor->text_editor()->text().toStdString(), "abc");
    EXPECT_EQ(editor->row_text(0), "Новое имя");
    EXPECT_EQ(saves, 0);
    // Cancel brings the stored values back.
    editor->cancel();
    EXPECT_EQ(editor->row_text(0), "П0");
    EXPECT_EQ(editor->row_text(1), "10");
}

TEST_F(tree_test, a_read_only_component_opens_no_editor_and_never_applies) {
    load_station();
    store.find("D.0000.0001").set_flag(true, flag_read_only);
    view->choose("D.0000.0001");
    EXPECT_EQ(editor->row_count(), 6);
    EXPECT_FALSE(editor->delete_button()->isEnabled());
    editor->set_current_row(0);
    editor->begin_row_edit();
    EXPECT_FALSE(editor->editing());
    EXPECT_FALSE(editor->apply_button()->isEnabled());
    // The active box follows bit 0x1000000 only, but a click changes nothing.
    EXPECT_TRUE(editor->active_box()->isEnabled());
    QTest::mouseClick(editor->active_box(), Qt::LeftButton);
    EXPECT_TRUE(editor->active_box()->isChecked());
    EXPECT_FALSE(editor->apply_button()->isEnabled());
    editor->row_menu(0);
    EXPECT_EQ(saves, 0);

    store.find("D.0000.0002").set_flag(true, flag_active_fixed);
    view->choose("D.0000.0002");
    EXPECT_FALSE(editor->active_box()->isEnabled());
}

TEST_F(tree_test, the_editor_button_calls_the_component_and_shows_it_again) {
    load_station();
    view->choose("D.0000.0000");
    editor->set_current_row(0);
    editor->begin_row_edit();
    editor->text_editor()->setText("До кнопки");
    editor->end_row_edit(true);
    editor->set_current_row(4);
    editor->begin_row_edit();
    ASSERT_EQ(editor->open_kind(), editor_button);
    EXPECT_EQ(editor->button_editor()->text().toStdString(), "Редактор");
    press(editor->button_editor(), Qt::Key_Return);
    probe& p = probe_at("D.0000.0000");
    EXPECT_EQ(p.entered, std::vector<int>{4});
    // The pending title was applied when the component was shown again.
    EXPECT_EQ(p.title(), "До кнопки");
    EXPECT_FALSE(editor->editing());
    EXPECT_EQ(editor->row_text(0), "До кнопки");
}

TEST_F(tree_test, a_refused_deletion_shows_the_component_again) {
    load_station();
    view->choose("D.0000.0002");
    prompt.expect("Удалить компонент\r\n'П2' ?", answer_no);
    QTest::mouseClick(editor->delete_button(), Qt::LeftButton);
    EXPECT_NE(store.get("D.0000.0002"), nullptr);
    EXPECT_TRUE(editor->shows("D.0000.0002"));
    EXPECT_EQ(editor->row_text(0), "П2");
    EXPECT_EQ(saves, 0);

    prompt.expect("Удалить компонент\r\n'П2' ?", answer_yes);
    QTest::mouseClick(editor->delete_button(), Qt::LeftButton);
    pass();
    EXPECT_EQ(store.get("D.0000.0002"), nullptr);
    EXPECT_EQ(view->selected_key(), "D.0000.0003");
    EXPECT_TRUE(editor->shows("D.0000.0003"));
    EXPECT_GT(saves, 0);
}

TEST_F(tree_test, copy_and_paste_give_an_equal_subtree_under_new_keys) {
    load_station();
    view->choose("D.0000");
    menu_recorder menus({editor_cmd::copy});
    editor->context_menu();
    std::string copied = clipboard.text();
    EXPECT_EQ(copied.rfind("<REFs version=\"1\">", 0), 0u);

    view->choose("D.0001");
    menu_recorder paste_menu({editor_cmd::paste});
    editor->context_menu();
    ASSERT_EQ(paste_menu.menus.size(), 1u);
    pass();
    ASSERT_NE(store.get("D.0001.0001"), nullptr);
    EXPECT_EQ(view->selected_key(), "D.0001.0001");
    // The same text under the new key, apart from the modified and current marks.
    std::string again = store.subtree_xml("D.0001.0001");
    EXPECT_EQ(again, copied);
    EXPECT_EQ(child_texts("D.0001.0001"), child_texts("D.0000"));
    EXPECT_GT(saves, 0);
}

TEST_F(tree_test, clipboard_text_that_is_not_a_component_is_never_pasted) {
    load_station();
    view->choose("D.0001");
    for (const char* text : {"Q1", "", "<REFs version=\"1\"><ref tp=\"1\"/></REFs>",
                             "<REFs version=\"1\"><ref tp=\"104\"", "<<>>"}) {
        clipboard.set_text(text);
        menu_recorder menus({editor_cmd::paste});
        editor->context_menu();
        ASSERT_EQ(menus.menus.size(), 1u);
        const menu_item& paste_item = menus.menus[0][9];
        EXPECT_EQ(paste_item.text, "Вставить");
        EXPECT_FALSE(paste_item.enabled) << text;
        EXPECT_TRUE(menus.boxes.empty());
        pass();
        EXPECT_EQ(store.refs().children("D.0001").size(), 1u) << text;
    }
    EXPECT_EQ(saves, 0);
}

TEST_F(tree_test, node_menu_offers_types_commands_and_greys_what_is_not_allowed) {
    load_station();
    probe& p = probe_at("D.0000.0000");
    p.set_flag(true, flag_no_add);
    std::vector<std::string> expected = {"Добавить... (серый)",
                                         "Добавить несколько... (серый)",
                                         "Удалить",
                                         "Удалить и следующие ниже",
                                         "-",
                                         "Активный",
                                         "Активный для всех (серый)",
                                         "-",
                                         "Копировать",
                                         "Вставить (серый)",
                                         "-",
                                         "Проверить",
                                         "Сбросить (серый)"};
    EXPECT_EQ(captions(node_menu(p, false)), expected);
    // A folder under the equipment root: folder, IEC 104 and serial port.
    t_ref& folder = store.find("D.0000");
    EXPECT_EQ(captions(node_menu(folder, true))[0], "Добавить...");
    EXPECT_EQ(captions(type_menu(folder)),
              (std::vector<std::string>{"Папка", "IEC 870-5-104", "Последовательный порт"}));
    p.set_flag(true, flag_no_delete);
    EXPECT_EQ(captions(node_menu(p, false))[2], "Удалить (серый)");
    // One child type: its name in the caption.
    t_ref row(store, tp_ilk_tu);
    EXPECT_EQ(captions(node_menu(row, false))[0], "Добавить 'Условие коммутации'");

    // One child type: the counts are items of their own.
    std::vector<menu_item> counts = count_menu(row);
    ASSERT_EQ(counts.size(), 32u);
    EXPECT_EQ(counts[0].text, "Количество:");
    EXPECT_FALSE(counts[0].enabled);
    EXPECT_EQ(counts[1].text, "2 шт.");
    EXPECT_EQ(counts[31].text, "256 шт.");
    EXPECT_TRUE(counts[31].items.empty());
    int type = 0;
    int count = 0;
    add_command_parts(counts[31].command, type, count);
    EXPECT_EQ(type, row.child_types().front());
    EXPECT_EQ(count, 256);
}

TEST_F(tree_test, adding_several_components_asks_and_selects_the_first_new_one) {
    load_station();
    view->choose("D.0001");
    // The count and the type are submenus of the node menu: one menu, one choice.
    menu_recorder menus({add_command(tp_dev_104, 3)});
    editor->context_menu();
    ASSERT_EQ(menus.menus.size(), 1u);
    const menu_item& several = menus.menus[0][1];
    EXPECT_EQ(several.text, "Добавить несколько...");
    ASSERT_EQ(several.items.size(), 32u);
    EXPECT_EQ(several.items[0].text, "Количество:");
    EXPECT_FALSE(several.items[0].enabled);
    EXPECT_EQ(several.items[2].text, "3 шт.");
    EXPECT_EQ(captions(several.items[2].items),
              (std::vector<std::string>{"Папка", "IEC 870-5-104", "Последовательный порт"}));
    EXPECT_EQ(several.items[2].items[1].command, add_command(tp_dev_104, 3));
    const menu_item& add = menus.menus[0][0];
    EXPECT_EQ(add.text, "Добавить...");
    EXPECT_EQ(add.items.at(1).command, add_command(tp_dev_104, 1));
    ASSERT_EQ(menus.boxes.size(), 1u);
    EXPECT_EQ(menus.boxes[0],
              "Добавить компонент 'IEC 870-5-104' в количестве 3 шт.\r\nв 'Резерв' ?");
    pass();
    EXPECT_EQ(store.refs().children("D.0001").size(), 4u);
    EXPECT_EQ(view->selected_key(), "D.0001.0001");
    EXPECT_GT(saves, 0);
}

TEST_F(tree_test, component_commands_run_and_show_the_component_again) {
    load_station();
    view->choose("D.0000.0001");
    menu_recorder menus({editor_cmd::component_command + 0});
    editor->context_menu();
    EXPECT_EQ(probe_at("D.0000.0001").commands_run, 1);
    EXPECT_GT(saves, 0);
    EXPECT_TRUE(editor->shows("D.0000.0001"));
}

TEST_F(tree_test, multi_selection_menu_copies_names_and_deletes_the_marked) {
    load_station();
    view->choose("D.0000.0001");
    view->modifier_click("D.0000.0003", Qt::ShiftModifier);
    {
        menu_recorder menus({editor_cmd::copy_names});
        editor->selection_menu(view->multi());
        EXPECT_EQ(captions(menus.menus[0]),
                  (std::vector<std::string>{"Копировать имена", "Копировать значения", "Удалить"}));
    }
    EXPECT_EQ(clipboard.text(), "П1\r\nП2\r\nП3\r\n");

    menu_recorder menus({editor_cmd::selection_delete});
    editor->selection_menu(view->multi());
    ASSERT_EQ(menus.boxes.size(), 1u);
    EXPECT_EQ(menus.boxes[0], "Удалить компонент\r\n'П1'\r\nи другие отмеченные ?");
    pass();
    EXPECT_EQ(child_texts("D.0000"), (std::vector<std::string>{"П0", "Последний"}));
    EXPECT_TRUE(view->multi().empty());
    EXPECT_GT(saves, 0);
}

TEST_F(tree_test, row_menu_repeats_a_value_over_siblings) {
    load_station();
    view->choose("D.0000.0001");
    menu_recorder menus({editor_cmd::repeat_step + 2});
    editor->set_current_row(1);
    editor->row_menu(1);
    ASSERT_EQ(menus.menus.size(), 1u);
    EXPECT_EQ(menus.menus[0][0].text, "Повторить значение");
    EXPECT_EQ(menus.menus[0][1].text, "Повторить значение + 1");
    EXPECT_EQ(menus.menus[0][2].text, "Повторить значение + ");
    EXPECT_EQ(probe_at("D.0000.0001").amount, "11");
    EXPECT_EQ(probe_at("D.0000.0002").amount, "13");
    EXPECT_EQ(probe_at("D.0000.0003").amount, "15");
    EXPECT_EQ(probe_at("D.0000.0004").amount, "17");
    EXPECT_EQ(probe_at("D.0000.0000").amount, "10");
    EXPECT_EQ(editor->row_text(1), "11");
    EXPECT_GT(saves, 0);
}

TEST_F(tree_test, row_menu_pastes_clipboard_lines_into_siblings) {
    load_station();
    view->choose("D.0000.0000");
    clipboard.set_text("Альфа\r\n  Бета\t\r\nГамма\r\n");
    menu_recorder menus({editor_cmd::paste_line + 1});
    menus.box_answer = answer_yes;
    editor->row_menu(0);
    ASSERT_EQ(menus.boxes.size(), 1u);
    EXPECT_EQ(menus.boxes[0],
              "Вставить из буфера обмена строки?\r\n[Да] - Заменить\r\n[Нет] - Добавить");
    EXPECT_EQ(store.find("D.0000.0000").title(), "Бета");
    EXPECT_EQ(store.find("D.0000.0001").title(), "Гамма");
    EXPECT_EQ(store.find("D.0000.0002").title(), "П2");
    EXPECT_EQ(editor->row_text(0), "Бета");
}

TEST_F(tree_test, row_menu_selects_a_used_signal_in_the_structure_tree) {
    // Signals are offered by their one-line listing; picking one chooses it in "K".
    load_station();
    nx_view_tree structure(store, new QTreeView(editor.get()), 0);
    structure.set_root_key("K");
    store.set_structure_tree(&structure);
    view->choose("D.0000.0000");
    row_menu_context context;
    context.used_signals = {"(s1_1_1) ТС Q1"};
    context.clipboard_lines = {"Q1"};
    std::vector<menu_item> menu = row_menu(editor_free_text, context);
    EXPECT_EQ(captions(menu).back(), "Сигналы");
    EXPECT_EQ(menu.back().items[0].command, editor_cmd::select_signal);
    // A single clipboard line offers no paste submenu; three lines offer three items.
    for (const menu_item& m : menu)
        EXPECT_NE(m.text, "Вставить из буфера обмена строки");
    context.clipboard_lines = clipboard_lines("a\r\nb\tc");
    ASSERT_EQ(context.clipboard_lines.size(), 3u);
    menu = row_menu(editor_free_text, context);
    auto sub = std::find_if(menu.begin(), menu.end(), [](const menu_item& m) {
        return m.text == "Вставить из буфера обмена строки";
    });
    ASSERT_NE(sub, menu.end());
    EXPECT_EQ(sub->items.size(), 3u);
    EXPECT_TRUE(row_menu(editor_choice_or_text, context).empty());
    EXPECT_EQ(captions(row_menu(editor_choice_only, context)),
              (std::vector<std::string>{"Повторить значение", "Повторить значение через 1"}));
    store.set_structure_tree(nullptr);
}

TEST_F(tree_test, long_clipboard_lines_are_cut_and_the_list_ends_after_31) {
    auto repeated = [](int n) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += "ж";
        return text;
    };
    std::vector<std::string> lines = {repeated(60), repeated(50)};
    for (int i = 2; i < 40; ++i)
        lines.push_back("строка " + std::to_string(i));
    std::vector<menu_item> items = line_items(lines);
    ASSERT_EQ(items.size(), 32u);
    // Characters, not bytes, are counted.
    EXPECT_EQ(items[0].text, repeated(50) + "...");
    EXPECT_EQ(items[1].text, repeated(50));
    EXPECT_EQ(items[31].text, "и т.д.");
    EXPECT_EQ(items[30].command, editor_cmd::paste_line + 30);
}

TEST_F(tree_test, layout_rules_of_the_panel) {
    EXPECT_EQ(parameter_section_height(9), 220);
    EXPECT_EQ(parameter_section_height(30), 340);
    EXPECT_EQ(parameter_section_height(1), 120);
    EXPECT_EQ(panel_width_after_drag(300, -50), 290);
    EXPECT_EQ(panel_width_after_drag(300, 40), 340);
    EXPECT_EQ(value_column_width(300, 139), 159);
    EXPECT_EQ(value_column_width(100, 139), -1);

    editor->place("devs");
    EXPECT_EQ(editor->panel_width(), 290);
    editor->set_panel_width(250);
    EXPECT_EQ(editor->panel_width(), 290);
    editor->set_panel_width(333);
    EXPECT_EQ(settings_get_int("CTRL", "editor_width_devs", 0, false), 333);
}

} // namespace treetest
