// The editor keeps every edit it was given: refused values stay on screen with their message,
// entries the files cannot hold are refused when typed, keys move rows only as asked, and the
// trees' keys reach the same commands and questions as the menus.
#include "tests/views/config_tree_fixture.h"

#include "config/ref_editing.h"
#include "tests/support/desktop_doubles.h"
#include "ui/wait_cursor.h"
#include "views/editor_menus.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>

namespace treetest {

using ilktest::menu_recorder;

namespace {

void press(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(widget, Qt::Key(key), modifiers);
}

// Types `text` into the open text box and leaves it as focus loss would (no check).
void type_row(nx_ref_editor& editor, int row, const std::string& text) {
    editor.set_current_row(row);
    editor.begin_row_edit();
    editor.text_editor()->setText(QString::fromStdString(text));
    editor.end_row_edit(true);
}

} // namespace

TEST_F(tree_test, a_refused_value_keeps_the_component_when_another_node_is_selected) {
    load_station();
    view->choose("D.0000.0000");
    type_row(*editor, 0, "Новое имя");
    type_row(*editor, 1, "abc");
    prompt.expect("Значение 'abc' не число", answer_ok);
    view->choose("D.0000.0001");
    // Exactly as on "Применить": the component, everything typed, the refused row open.
    EXPECT_TRUE(editor->shows("D.0000.0000"));
    EXPECT_EQ(view->selected_key(), "D.0000.0000");
    EXPECT_EQ(store.current('D'), "D.0000.0000");
    EXPECT_EQ(editor->row_text(0), "Новое имя");
    EXPECT_TRUE(editor->editing());
    EXPECT_EQ(editor->current_row(), 1);
    EXPECT_EQ(editor->text_editor()->text().toStdString(), "abc");
    EXPECT_TRUE(editor->apply_button()->isEnabled());
    probe& p = probe_at("D.0000.0000");
    EXPECT_EQ(p.title(), "П0");
    EXPECT_EQ(p.amount, "10");
    EXPECT_FALSE(p.has_flag(flag_modified));
    EXPECT_EQ(saves, 0);

    // Put right, the next selection applies both rows and moves on.
    editor->text_editor()->setText("5");
    view->choose("D.0000.0001");
    EXPECT_TRUE(editor->shows("D.0000.0001"));
    EXPECT_EQ(p.title(), "Новое имя");
    EXPECT_EQ(p.amount, "5");
    EXPECT_GT(saves, 0);
}

TEST_F(tree_test, a_right_click_on_another_node_leaves_pending_edits_alone) {
    load_station();
    editor->resize(300, 700);
    editor->QWidget::show();
    view->choose("D.0000.0000");
    type_row(*editor, 0, "Не применять");
    QTreeView* tree = editor->tree();
    QPoint other = tree->visualRect(view->model().reveal("D.0000.0001")).center();
    ASSERT_FALSE(other.isNull());
    {
        menu_recorder menus;
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, other);
        EXPECT_TRUE(menus.menus.empty());
        EXPECT_TRUE(menus.boxes.empty());
    }
    EXPECT_EQ(view->selected_key(), "D.0000.0000");
    EXPECT_EQ(store.find("D.0000.0000").title(), "П0");
    EXPECT_EQ(editor->row_text(0), "Не применять");
    EXPECT_TRUE(editor->apply_button()->isEnabled());

    // Without pending edits the click selects the node and opens its menu.
    editor->cancel();
    {
        menu_recorder menus;
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, other);
        EXPECT_EQ(menus.menus.size(), 1u);
    }
    EXPECT_EQ(view->selected_key(), "D.0000.0001");
    EXPECT_EQ(saves, 0);
}

TEST_F(tree_test, a_row_editor_left_without_a_change_marks_nothing_modified) {
    load_station();
    view->choose("D.0000.0000");
    for (int row : {0, 2, 3}) {
        editor->set_current_row(row);
        editor->begin_row_edit();
        ASSERT_TRUE(editor->apply_button()->isEnabled()) << row;
        press(editor->open_editor(), Qt::Key_Escape);
        EXPECT_FALSE(editor->editing()) << row;
        EXPECT_FALSE(editor->apply_button()->isEnabled()) << row;
        EXPECT_FALSE(editor->cancel_button()->isEnabled()) << row;
        EXPECT_EQ(editor->current_row(), row);
    }
    // Enter on an unchanged text is no change either.
    editor->set_current_row(0);
    editor->begin_row_edit();
    press(editor->text_editor(), Qt::Key_Return);
    EXPECT_FALSE(editor->apply_button()->isEnabled());
    view->choose("D.0000.0001");
    EXPECT_FALSE(store.find("D.0000.0000").has_flag(flag_modified));
    EXPECT_EQ(saves, 0);

    // An edit before the row editor keeps "Применить" enabled through its Escape.
    type_row(*editor, 0, "Другое");
    editor->set_current_row(1);
    editor->begin_row_edit();
    press(editor->text_editor(), Qt::Key_Escape);
    EXPECT_TRUE(editor->apply_button()->isEnabled());
}

TEST_F(tree_test, characters_windows_1251_lacks_are_refused_when_typed_and_when_applied) {
    load_station();
    view->choose("D.0000.0000");
    const std::string refusal = "Символы, которых нет в кодировке Windows-1251, не могут быть "
                                "сохранены в файле: Ω ✓ 日 本";
    editor->set_current_row(0);
    editor->begin_row_edit();
    editor->text_editor()->setText("QS1 Ω✓ 日本 € Ω");
    prompt.expect(refusal, answer_ok);
    press(editor->text_editor(), Qt::Key_Return);
    ASSERT_EQ(prompt.seen().size(), 1u);
    EXPECT_EQ(prompt.seen()[0].text, refusal);
    EXPECT_EQ(prompt.seen()[0].type, mb_error);
    // Still open on the row with what was typed; the row is not written.
    EXPECT_TRUE(editor->editing());
    EXPECT_EQ(editor->current_row(), 0);
    EXPECT_EQ(editor->text_editor()->text().toStdString(), "QS1 Ω✓ 日本 € Ω");
    EXPECT_EQ(editor->row_text(0), "П0");
    // What Windows-1251 holds ("€", "№", Cyrillic) passes.
    editor->text_editor()->setText("QS1 € №");
    press(editor->text_editor(), Qt::Key_Return);
    EXPECT_FALSE(editor->editing());
    EXPECT_EQ(editor->row_text(0), "QS1 € №");

    // Left by focus loss, the row holds the text, and "Применить" refuses it.
    type_row(*editor, 0, "Q 日");
    prompt.expect("сохранены в файле: 日", answer_ok);
    QTest::mouseClick(editor->apply_button(), Qt::LeftButton);
    EXPECT_TRUE(editor->editing());
    EXPECT_EQ(editor->text_editor()->text().toStdString(), "Q 日");
    EXPECT_EQ(store.find("D.0000.0000").title(), "П0");
    EXPECT_EQ(saves, 0);
}

TEST_F(tree_test, a_value_the_component_refuses_is_refused_when_typed) {
    load_station();
    view->choose("D.0000.0000");
    type_row(*editor, 0, "Новое имя");
    editor->set_current_row(1);
    editor->begin_row_edit();
    editor->text_editor()->setText("7x");
    prompt.expect("Значение '7x' не число", answer_ok);
    press(editor->text_editor(), Qt::Key_Return);
    EXPECT_TRUE(editor->editing());
    EXPECT_EQ(editor->row_text(1), "10");
    // Asking the component changed nothing in it.
    probe& p = probe_at("D.0000.0000");
    EXPECT_EQ(p.amount, "10");
    EXPECT_EQ(p.title(), "П0");
    editor->text_editor()->setText("70");
    press(editor->text_editor(), Qt::Key_Return);
    EXPECT_EQ(editor->row_text(1), "70");
    EXPECT_EQ(p.amount, "10");
}

TEST_F(tree_test, only_up_and_down_move_the_row_and_enter_stays_on_it) {
    load_station();
    view->choose("D.0000.0000");
    QTableWidget* grid = editor->grid();
    editor->set_current_row(1);
    for (int key : {Qt::Key_PageDown, Qt::Key_End, Qt::Key_Home, Qt::Key_C, Qt::Key_PageUp}) {
        press(grid, key);
        EXPECT_EQ(editor->current_row(), 1) << key;
        EXPECT_EQ(grid->currentRow(), 1) << key;
    }
    press(grid, Qt::Key_Down);
    EXPECT_EQ(grid->currentRow(), 2);
    press(grid, Qt::Key_Up);
    EXPECT_EQ(grid->currentRow(), 1);

    // Enter in the text box commits into its own row and stays there.
    editor->set_current_row(3);
    editor->begin_row_edit();
    editor->combo_editor()->setEditText("10.1.1.1");
    press(editor->combo_editor()->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(editor->row_text(3), "10.1.1.1");
    EXPECT_EQ(editor->current_row(), 3);
    EXPECT_EQ(grid->currentRow(), 3);
    // Up in the text box commits and moves one row up.
    editor->set_current_row(1);
    editor->begin_row_edit();
    editor->text_editor()->setText("33");
    press(editor->text_editor(), Qt::Key_PageUp);
    EXPECT_TRUE(editor->editing());
    press(editor->text_editor(), Qt::Key_Up);
    EXPECT_FALSE(editor->editing());
    EXPECT_EQ(editor->row_text(1), "33");
    EXPECT_EQ(grid->currentRow(), 0);
    // Escape in the drop-down list keeps the row and its text.
    editor->set_current_row(2);
    editor->begin_row_edit();
    editor->list_editor()->setCurrentIndex(1);
    press(editor->list_editor(), Qt::Key_Escape);
    EXPECT_FALSE(editor->editing());
    EXPECT_EQ(editor->row_text(2), " один");
    EXPECT_EQ(grid->currentRow(), 2);
}

TEST_F(tree_test, apply_keeps_the_focus_in_its_panel) {
    load_station();
    QWidget window;
    auto* other = new QLineEdit(&window);
    editor->setParent(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    view->choose("D.0000.0000");
    type_row(*editor, 0, "Новое");
    editor->apply_button()->setFocus();
    QTest::keyClick(editor->apply_button(), Qt::Key_Space);
    EXPECT_EQ(store.find("D.0000.0000").title(), "Новое");
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_NE(focus, other);
    EXPECT_TRUE(editor->isAncestorOf(focus));
    editor->setParent(nullptr);
}

TEST_F(tree_test, tree_keys_reach_the_node_commands_with_their_questions) {
    load_station();
    QTreeView* tree = editor->tree();
    view->choose("D.0000.0002");
    {
        menu_recorder menus;
        menus.box_answer = answer_no;
        press(tree, Qt::Key_Delete);
        ASSERT_EQ(menus.boxes.size(), 1u);
        EXPECT_EQ(menus.boxes[0], "Удалить компонент\r\n'П2' ?");
    }
    EXPECT_NE(store.get("D.0000.0002"), nullptr);
    EXPECT_TRUE(editor->shows("D.0000.0002"));
    // Shift+F10 and the menu key open the node menu.
    for (auto [key, modifiers] :
         {std::pair{Qt::Key_F10, Qt::ShiftModifier}, std::pair{Qt::Key_Menu, Qt::NoModifier}}) {
        menu_recorder menus;
        press(tree, key, modifiers);
        ASSERT_EQ(menus.menus.size(), 1u);
        EXPECT_EQ(menus.menus[0][8].text, "Копировать");
    }
    // Ctrl+C and Ctrl+V copy and paste as the menu does.
    press(tree, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard.text(), store.subtree_xml("D.0000.0002"));
    view->choose("D.0001");
    press(tree, Qt::Key_V, Qt::ControlModifier);
    pass();
    ASSERT_NE(store.get("D.0001.0001"), nullptr);
    EXPECT_EQ(store.find("D.0001.0001").title(), "П2");
    EXPECT_EQ(view->selected_key(), "D.0001.0001");
    // F2 opens the first row.
    press(tree, Qt::Key_F2);
    EXPECT_TRUE(editor->editing());
    EXPECT_EQ(editor->current_row(), 0);
    press(editor->text_editor(), Qt::Key_Escape);

    // A component that may not be deleted asks nothing.
    store.find("D.0000.0003").set_flag(true, flag_no_delete);
    view->choose("D.0000.0003");
    {
        menu_recorder menus;
        press(tree, Qt::Key_Delete);
        EXPECT_TRUE(menus.boxes.empty());
    }
    // Del on a multi-selection asks the multi-selection's question.
    view->choose("D.0000.0000");
    view->modifier_click("D.0000.0001", Qt::ControlModifier);
    {
        menu_recorder menus;
        menus.box_answer = answer_yes;
        press(tree, Qt::Key_Delete);
        ASSERT_EQ(menus.boxes.size(), 1u);
        EXPECT_EQ(menus.boxes[0], "Удалить компонент\r\n'П0'\r\nи другие отмеченные ?");
    }
    pass();
    EXPECT_EQ(store.get("D.0000.0000"), nullptr);
    EXPECT_EQ(store.get("D.0000.0001"), nullptr);
}

TEST_F(tree_test, adding_repeating_and_pasting_show_the_wait_cursor) {
    load_station();
    // The question of adding is asked under the wait cursor (the Qt prompt shows the normal
    // one over its box); afterwards the cursor is back.
    struct cursor_probe : menu_recorder {
        using menu_recorder::menu_recorder;
        int message_box(owner_handle owner, const std::string& text, const std::string& caption,
                        int type) override {
            const QCursor* cursor = QApplication::overrideCursor();
            shapes.push_back(cursor != nullptr ? cursor->shape() : -1);
            return menu_recorder::message_box(owner, text, caption, type);
        }
        std::vector<int> shapes;
    };
    view->choose("D.0001");
    {
        cursor_probe probe_prompt({add_command(tp_dev_104, 2)});
        editor->context_menu();
        EXPECT_EQ(probe_prompt.shapes, std::vector<int>{Qt::WaitCursor});
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Over a box of the prompt seam's Qt side the cursor is the normal one, then waits again.
    {
        wait_cursor busy;
        {
            prompt_cursor box;
            EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
        }
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace treetest
