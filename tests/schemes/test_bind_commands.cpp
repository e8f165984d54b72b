#include "schemes_fixture.h"

#include "schemes/element_types.h"
#include "schemes/control/sde_document.h"
#include "schemes/i_bind_dialog.h"
#include "schemes/i_scheme_editor.h"
#include "schemes/scheme_commands.h"
#include "schemes/t_mod_group.h"

using namespace nxkit;

namespace ilktest {
namespace {

// The bind dialog as the operator would answer it.
class scripted_bind_dialog : public i_bind_dialog {
public:
    scripted_bind_dialog() { set_bind_dialog(this); }
    ~scripted_bind_dialog() override { set_bind_dialog(nullptr); }

    int run(t_ref& target, const std::string& shown_text, const std::string& shown_caption,
            std::string& name_template) override {
        ++calls;
        text = shown_text;
        caption = shown_caption;
        target_key = target.key();
        name_template = answer_template;
        return answer;
    }

    int answer = answer_ok;
    std::string answer_template = "#";
    int calls = 0;
    std::string text;
    std::string caption;
    std::string target_key;
};

class BindCommands : public scheme_test {
protected:
    // Signals: 7 "Q1" normally open, 8 "Q1" normally closed, 9 "Q2", 10 "Q2_x".
    void load_station(const std::string& extra_signals = {}) {
        temp_dir dir;
        table.load(dir.path() + "elements.ini");
        load(section("<ref tp=\"1\" num=\"7\" title=\"Q1\"/>\r\n"
                     "<ref tp=\"1\" num=\"8\" title=\"Q1\" ct=\"1\"/>\r\n"
                     "<ref tp=\"1\" num=\"9\" title=\"Q2\"/>\r\n"
                     "<ref tp=\"1\" num=\"10\" title=\"Q2_x\"/>\r\n" +
                     extra_signals) +
             scheme("<ref tp=\"82\" rtid=\"10\" disp=\"Q1\"/>\r\n"
                    "<ref tp=\"82\" rtid=\"11\" disp=\"Q2\"/>\r\n"
                    "<ref tp=\"82\" rtid=\"12\" disp=\"Q3\"/>\r\n"
                    "<ref tp=\"82\" rtid=\"13\"/>\r\n"));
        for (t_ref* r : store->refs().under(group_key))
            if (auto* e = dynamic_cast<t_element*>(r))
                e->set_kind(table.type_record("выключатель"));
        store->set_current("K.0000.0000");
    }

    int run_command(t_ref& target, int index) {
        std::string arg;
        return target.command(false, index, arg);
    }

    std::vector<t_el_onof*> rules_of(const std::string& element_key) {
        std::vector<t_el_onof*> found;
        for (t_ref* r : store->refs().children(element_key))
            if (auto* onof = dynamic_cast<t_el_onof*>(r))
                found.push_back(onof);
        return found;
    }

    std::string rule_text(const std::string& element_key) {
        std::string text;
        for (t_el_onof* r : rules_of(element_key))
            text += r->property() + " " + r->on_value() + "/" + r->off_value() + " on[" +
                    r->on_condition() + "] off[" + r->off_condition() + "] tl[" +
                    r->name_template() + "];";
        return text;
    }

    element_type_table table;
    scripted_bind_dialog dialog;
};

TEST_F(BindCommands, CaptionsAreOfferedOnlyForStoredComponents) {
    load_station();
    std::string arg;
    EXPECT_EQ(store->find(group_key).command(true, 0, arg), 1);
    EXPECT_EQ(arg, "Привязать к сигналам по дисперчерскому имени (для всех в папке)");
    EXPECT_EQ(store->find(group_key).command(true, 1, arg), 1);
    EXPECT_EQ(arg, "Удалить все привязки (для всех в папке)");
    EXPECT_EQ(element().command(true, 1, arg), 1);
    EXPECT_EQ(arg, "Удалить все привязки");
    EXPECT_EQ(element().command(true, 2, arg), 0);
    // Offered on locked elements too, but not on one outside the store.
    element().set_flag(true, flag_locked);
    EXPECT_EQ(element().command(true, 0, arg), 1);
    t_element loose(*store);
    EXPECT_EQ(loose.command(true, 0, arg), 0);
}

TEST_F(BindCommands, BindByDispatcherName) {
    load_station();
    scripted_prompt prompt;
    prompt.expect("Привязано 2 элементов.", answer_ok);
    EXPECT_EQ(run_command(store->find(group_key), 0), 1);
    EXPECT_EQ(prompt.pending(), 0u);
    EXPECT_EQ(dialog.caption, "Привязать к сигналам по дисперчерскому имени (для всех в папке)");
    EXPECT_EQ(dialog.text, "В элементы:\r\n'Схемы / ps1 / Стр1 / выключатель'\r\n\r\n"
                           "добавить компонент 'Включен/Отключен'\r\n\r\nс сигналами из:\r\n'" +
                               store->find("K.0000.0000").full_path_text() +
                               "'\r\n\r\n(поиск сигналов выполняется по диспетчеркому имени - "
                               "требуется точное совпадение диспетчерского имени элемента и "
                               "сигнала).");
    // The normally-closed signal of the same name feeds the off condition.
    EXPECT_EQ(rule_text(first_element), "положение включен/отключен on[s1_2_7] off[s1_2_8] tl[];");
    EXPECT_EQ(rule_text(second_element), "положение включен/отключен on[s1_2_9] off[] tl[];");
    EXPECT_EQ(rule_text("S.0000.0000.0000.0002"), "");
    EXPECT_EQ(rule_text("S.0000.0000.0000.0003"), "");
    EXPECT_TRUE(store->find(first_rule).has_flag(flag_modified));
    EXPECT_EQ(element().switching_rule(), rules_of(first_element)[0]);

    // Bound again with a template: one question for all bound elements; No keeps them while
    // a new element is still bound.
    store->insert_xml(group_key, element_xml(tp_element, 14, "Q2"));
    element("S.0000.0000.0000.0004").set_kind(table.type_record("выключатель"));
    dialog.answer_template = "#_x";
    prompt.expect("уже привязан:\r\nОбновить для всех привязанных ?", answer_no);
    prompt.expect("Привязано 1 элементов.", answer_ok);
    EXPECT_EQ(run_command(store->find(group_key), 0), 1);
    EXPECT_EQ(prompt.pending(), 0u);
    EXPECT_EQ(rule_text(second_element), "положение включен/отключен on[s1_2_9] off[] tl[];");
    EXPECT_EQ(rule_text("S.0000.0000.0000.0004"),
              "положение включен/отключен on[s1_2_10] off[] tl[#_x];");

    // Yes updates them; other values chosen in the dialog make new rules instead.
    dialog.answer_template = "#";
    prompt.expect("Элемент '(10)Q1' уже привязан", answer_yes);
    prompt.expect("Привязано 3 элементов.", answer_ok);
    EXPECT_EQ(run_command(store->find(group_key), 0), 1);
    EXPECT_EQ(rule_text("S.0000.0000.0000.0004"),
              "положение включен/отключен on[s1_2_9] off[] tl[];");
    table.type_record("выключатель")->current_on = "вкл";
    prompt.expect("Привязано 1 элементов.", answer_ok);
    EXPECT_EQ(run_command(element(), 0), 1);
    EXPECT_EQ(rule_text(first_element), "положение включен/отключен on[s1_2_7] off[s1_2_8] tl[];"
                                        "положение вкл/отключен on[s1_2_7] off[s1_2_8] tl[];");
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST_F(BindCommands, LockedAndLabelRulesAreNotTakenForBindings) {
    load_station();
    const std::string same = "<ref tp=\"87\" par=\"положение\" on=\"включен\" of=\"отключен\"";
    store->insert_xml(first_element, same + " lock=\"1\"/>");
    store->insert_xml(second_element, same + "/>");
    store->find(second_element + ".0000").set_flag(true, flag_read_only);

    // Neither counts as a binding already made: no question, new rules beside them.
    scripted_prompt prompt;
    prompt.expect("Привязано 2 элементов.", answer_ok);
    EXPECT_EQ(run_command(store->find(group_key), 0), 1);
    EXPECT_EQ(prompt.pending(), 0u);
    EXPECT_EQ(rule_text(first_element), "положение включен/отключен on[] off[] tl[];"
                                        "положение включен/отключен on[s1_2_7] off[s1_2_8] tl[];");
    EXPECT_EQ(rule_text(second_element), "положение включен/отключен on[] off[] tl[];"
                                         "положение включен/отключен on[s1_2_9] off[] tl[];");
    EXPECT_TRUE(store->find(first_element + ".0000").has_flag(flag_locked));
}

TEST_F(BindCommands, NamesThatAreNotUnique) {
    load_station("<ref tp=\"1\" num=\"11\" title=\"Q2\"/>\r\n");
    scripted_prompt prompt;
    prompt.expect("Диспетчерское имя должно быть уникально:\r\n", answer_no);
    EXPECT_EQ(run_command(store->find(group_key), 0), 0);
    EXPECT_EQ(rule_text(first_element), "");
    EXPECT_NE(prompt.seen().at(0).text.find(".\r\nПродолжить ?"), std::string::npos);

    // Going on binds nothing under that name.
    prompt.expect("Диспетчерское имя должно быть уникально:\r\n", answer_yes);
    prompt.expect("Привязано 1 элементов.", answer_ok);
    EXPECT_EQ(run_command(store->find(group_key), 0), 1);
    EXPECT_EQ(rule_text(second_element), "");
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST_F(BindCommands, NothingIsBoundWithoutSourceDialogOrType) {
    load_station();
    scripted_prompt prompt;
    store->set_current("K");
    prompt.expect("Сначала необходимо выбрать в дереве 'Структура'", answer_ok);
    EXPECT_EQ(run_command(store->find(group_key), 0), 0);
    EXPECT_EQ(prompt.seen().at(0).text, "Сначала необходимо выбрать в дереве '" +
                                            type_name(tp_struct_root) + "' компонент '" +
                                            type_name(tp_group) + "', '" + type_name(tp_struct_kp) +
                                            "' или сигнал.");
    EXPECT_EQ(dialog.calls, 0);

    // A signal is current: its section is taken.
    store->set_current("K.0000.0000.0000");
    dialog.answer = answer_cancel;
    EXPECT_EQ(run_command(store->find(group_key), 0), 0);
    EXPECT_EQ(dialog.calls, 1);

    // An element without type is left alone.
    dialog.answer = answer_ok;
    element().set_kind(nullptr);
    prompt.expect("Привязано 1 элементов.", answer_ok);
    EXPECT_EQ(run_command(store->find(group_key), 0), 1);
    EXPECT_EQ(rule_text(first_element), "");
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST_F(BindCommands, DeleteAllBindingsKeepsElementsAndFixedComponents) {
    load_station();
    scripted_prompt prompt;
    prompt.expect("Привязано 2 элементов.", answer_ok);
    run_command(store->find(group_key), 0);
    store->insert_xml(first_element, "<ref tp=\"88\"/>");
    store->find(first_element + ".0001").set_flag(true, flag_no_delete);

    prompt.expect("Удалить все привязки элементов ?", answer_no);
    EXPECT_EQ(run_command(store->find(group_key), 1), 0);
    EXPECT_EQ(
        prompt.seen().back().text,
        "Схемы / ps1 / Стр1 / выключатель\r\nвыключатель\r\nУдалить все привязки элементов ?");
    EXPECT_EQ(prompt.seen().back().caption, "Удалить все привязки (для всех в папке)");
    EXPECT_EQ(store->refs().under(group_key).size(), 7u);

    prompt.expect("Удалить все привязки элементов ?", answer_yes);
    prompt.expect("Удалено 2 элементов.", answer_ok);
    EXPECT_EQ(run_command(store->find(group_key), 1), 1);
    EXPECT_EQ(prompt.pending(), 0u);
    std::vector<std::string> left;
    for (t_ref* r : store->refs().under(group_key))
        left.push_back(r->key());
    EXPECT_EQ(left,
              (std::vector<std::string>{first_element, first_element + ".0001", second_element,
                                        "S.0000.0000.0000.0002", "S.0000.0000.0000.0003"}));
    EXPECT_EQ(element().rules().size(), 1u);
    EXPECT_EQ(element().switching_rule(), nullptr);
}

} // namespace
} // namespace ilktest

namespace ilktest {
namespace {

TEST_F(BindCommands, TheEditorsSelectionBindsOnlyTheSelectedElements) {
    load_station();
    scripted_prompt prompt;
    prompt.expect("Привязано 1 элементов.", answer_ok);
    const std::vector<std::string> selected = {second_element};
    EXPECT_TRUE(bind_by_dispatcher_name(store->find(second_element), "Привязать", &selected));
    EXPECT_EQ(dialog.target_key, second_element);
    EXPECT_EQ(rule_text(first_element), "");
    EXPECT_EQ(rule_text(second_element), "положение включен/отключен on[s1_2_9] off[] tl[];");
}

// The scheme editor as the commands see it: records what it was asked to open.
class recording_editor : public i_scheme_editor {
public:
    recording_editor() { set_scheme_editor(this); }
    ~recording_editor() override { set_scheme_editor(nullptr); }
    void edit(const std::string& key, const std::string& path) override {
        opened.emplace_back(key, path);
    }
    std::vector<std::pair<std::string, std::string>> opened;
};

TEST_F(BindCommands, SchemesAreEditedAndCreatedFromTheirNodeMenus) {
    load_station();
    recording_editor editor;
    t_ref& scheme = store->find("S.0000");
    std::string caption;
    EXPECT_EQ(scheme.command(true, 0, caption), 1);
    EXPECT_EQ(caption, "Редактировать схему");
    EXPECT_EQ(scheme.command(true, 1, caption), 0);
    EXPECT_EQ(run_command(scheme, 0), 0); // nothing in the configuration changes
    ASSERT_EQ(editor.opened.size(), 1u);
    EXPECT_EQ(editor.opened[0].first, "S.0000");
    EXPECT_EQ(editor.opened[0].second, scheme_folder() + "ps1.sde");

    t_ref& root = store->find("S");
    EXPECT_EQ(root.command(true, 0, caption), 1);
    EXPECT_EQ(caption, "Создать схему…");
    const std::string folder = scheme_folder();
    std::remove((folder + "Схема 1.sde").c_str());
    std::remove((folder + "Схема 2.sde").c_str());
    write_bytes(folder + "Схема 1.sde", "taken");
    EXPECT_EQ(run_command(root, 0), 1);
    const std::string made = folder + "Схема 2.sde";
    const sde_scheme empty = read_sde(read_bytes(made), made);
    ASSERT_EQ(empty.pages.size(), 1u);
    EXPECT_EQ(empty.pages[0].title, "Страница 1");
    EXPECT_TRUE(empty.pages[0].order.empty());
    EXPECT_EQ(read_bytes(folder + "Схема 1.sde"), "taken");
    ASSERT_EQ(editor.opened.size(), 2u);
    EXPECT_EQ(editor.opened[1].second, made);
    auto* created = dynamic_cast<t_schema_modus50*>(store->get(editor.opened[1].first));
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->parent(), &root);
    EXPECT_EQ(created->scheme_file(), "Схема 2.sde");
    EXPECT_FALSE(created->has_flag(flag_locked));
    EXPECT_TRUE(created->has_flag(flag_modified));
    std::remove((folder + "Схема 1.sde").c_str());
    std::remove(made.c_str());
}

} // namespace
} // namespace ilktest
