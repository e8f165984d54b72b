#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "base/nx_inixml.h"
#include "base/nx_log.h"
#include "base/nx_xml_writer.h"
#include "config/interfaces.h"
#include "config/nx_past_xml_client.h"
#include "config/ref_editing.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref.h"
#include "config/t_ref_buff.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace nxkit;

namespace {

// Type codes no real class uses.
constexpr int tp_test_signal = 901;
constexpr int tp_test_watcher = 902;
constexpr int tp_test_box = 903;

// A signal with an address and an optional expression over other addresses. An address
// beginning with X fails initialisation while the signal is active, as a clashing address
// would; the address "отказ" is rejected outright.
class test_signal : public t_ref, public i_struct_element {
public:
    explicit test_signal(t_ref_buff& store) : t_ref(store, tp_test_signal) {}

    void on_start(const nx_xml_element& element) override {
        t_ref::on_start(element);
        if (element.name == "ref") {
            address_ = element.attr("sk");
            expression_ = element.attr("expr");
        }
    }
    bool set_parameter(int index, const std::string& text) override {
        if (index != 1)
            return t_ref::set_parameter(index, text);
        if (text == "отказ")
            throw nx_exception("Адрес '" + text + "' недопустим");
        address_ = text;
        return true;
    }
    bool get_parameter(int index, std::string& value, std::string& name) override {
        if (index != 1)
            return t_ref::get_parameter(index, value, name);
        value = address_;
        name = "Адрес";
        return true;
    }
    void init() override {
        t_ref::init();
        if (!has_flag(flag_locked) && address_.starts_with("X"))
            throw nx_exception_ref_init("Неверный адрес '" + address_ + "'");
    }
    void write(nx_xml_writer& writer) override {
        t_ref::write(writer);
        if (!address_.empty())
            writer.attribute("sk", xml_escape(address_));
        if (!expression_.empty())
            writer.attribute("expr", xml_escape(expression_));
    }

    const std::string& signal_key() const override { return address_; }
    double* value_slot() override { return &value_; }
    const std::string& expression() const override { return expression_; }

    const std::string& address() const { return address_; }

private:
    std::string address_;
    std::string expression_;
    double value_ = 0;
};

// A scheme rule watching the signals of its expression.
class test_watcher : public t_ref, public i_struct_linker {
public:
    explicit test_watcher(t_ref_buff& store) : t_ref(store, tp_test_watcher) {}

    void on_start(const nx_xml_element& element) override {
        t_ref::on_start(element);
        if (element.name == "ref")
            expression_ = element.attr("expr");
    }
    void link(t_ref_buff& store) override { store.register_watch(expression_, key()); }

private:
    std::string expression_;
};

// A container that lists folders, signals and watchers as children but refuses watchers.
class test_box : public t_ref {
public:
    explicit test_box(t_ref_buff& store) : t_ref(store, tp_test_box) {}
    std::vector<int> child_types() override { return {tp_group, tp_test_signal, tp_test_watcher}; }
    bool can_add_child(int type) override { return type != tp_test_watcher; }
};

// Records what reaches a subtree; optionally keeps re-marking a key from on_changes_done,
// which never lets the change set run dry.
class test_observer : public i_observer {
public:
    void on_changed(const std::string& key) override { seen.push_back(key); }
    void on_changes_done() override {
        if (store != nullptr)
            store->mark_changed(remark);
    }
    std::vector<std::string> seen;
    t_ref_buff* store = nullptr;
    std::string remark;
};

std::string signal_xml(const std::string& title, const std::string& address,
                       const std::string& expression = {}) {
    std::string xml = "<ref tp=\"901\" title=\"" + title + "\" sk=\"" + address + "\"";
    if (!expression.empty())
        xml += " expr=\"" + expression + "\"";
    return xml + "/>";
}

class Editing : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(nx_log::main().open(dir.path() + "main.log", 10000000, 0));
        store.register_class(tp_test_signal,
                             [](t_ref_buff& s) { return std::make_unique<test_signal>(s); });
        store.register_class(tp_test_watcher,
                             [](t_ref_buff& s) { return std::make_unique<test_watcher>(s); });
        store.register_class(tp_test_box,
                             [](t_ref_buff& s) { return std::make_unique<test_box>(s); });
        if (store.create(tp_group) == nullptr)
            store.register_class(tp_group,
                                 [](t_ref_buff& s) { return std::make_unique<t_group>(s); });
        store.load(dir.path() + "refs.ini");
        store.update_pass();
    }

    void TearDown() override { nx_log::main().close(); }

    // A box titled "Щит" under the structure root holding `children`; returns its key.
    std::string box(const std::string& children) {
        std::vector<std::string> created;
        store.insert_xml("K", "<ref tp=\"903\" title=\"Щит\">" + children + "</ref>", &created);
        settle();
        return created.at(0);
    }

    // As after a save: nothing pending, nothing marked modified.
    void settle() {
        store.update_pass();
        for (t_ref* ref : store.refs().under(""))
            ref->set_flag(false, flag_modified);
    }

    std::string log_text() { return from_cp1251(ilktest::read_bytes(dir.path() + "main.log")); }

    // Titles of the direct children of `key`, in key order.
    std::vector<std::string> titles(const std::string& key) {
        std::vector<std::string> out;
        for (t_ref* child : store.refs().children(key))
            out.push_back(child->title());
        return out;
    }

    test_signal& signal(const std::string& key) {
        return dynamic_cast<test_signal&>(store.find(key));
    }

    ilktest::temp_dir dir;
    t_ref_buff store;
};

using keys = std::vector<std::string>;

} // namespace

TEST_F(Editing, DeletingAReferencedSignalIsRefusedAndNamesEveryUser) {
    std::string b = box(signal_xml("сигнал A", "A") + signal_xml("сигнал B", "B", "A+1"));
    std::vector<std::string> watcher;
    store.insert_xml("S", "<ref tp=\"902\" title=\"правило\" expr=\"A*2\"/>", &watcher);
    settle();
    std::string a = b + ".0000";

    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Удалить компонент\r\n'сигнал A' ?", answer_yes);
        prompt.expect("нарушатся ссылки", answer_ok);
        EXPECT_FALSE(del_ref(store, a));
        ASSERT_EQ(prompt.seen().size(), 2u);
        EXPECT_EQ(prompt.seen()[0].type, mb_question);
        EXPECT_EQ(prompt.seen()[1].type, mb_error);
        EXPECT_EQ(prompt.seen()[1].text,
                  "После удаления компонента \"сигнал A\" нарушатся ссылки из компонентов:\r\n"
                  "• Структура / Щит / сигнал B;\r\n"
                  "• Схемы / правило;\r\n"
                  "\r\nВсего 2");
    }
    EXPECT_NE(store.get(a), nullptr);
    EXPECT_TRUE(store.change_set().empty());
    EXPECT_EQ(store.signal_owner("A"), a);
    EXPECT_FALSE(store.find(b).has_flag(flag_modified));

    // Nothing uses B: it goes after its question alone.
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Удалить компонент\r\n'сигнал B' ?", answer_yes);
        EXPECT_TRUE(del_ref(store, b + ".0001"));
    }
    EXPECT_EQ(store.get(b + ".0001"), nullptr);
    EXPECT_TRUE(store.find(b).has_flag(flag_modified));

    // One user left: no total line.
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("сигнал A", answer_yes);
        prompt.expect("нарушатся ссылки", answer_ok);
        EXPECT_FALSE(del_ref(store, a));
        ASSERT_EQ(prompt.seen().size(), 2u);
        EXPECT_EQ(prompt.seen()[1].text,
                  "После удаления компонента \"сигнал A\" нарушатся ссылки из компонентов:\r\n"
                  "• Схемы / правило;\r\n");
    }

    // Declining the question changes nothing and asks nothing more.
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("'правило'", answer_no);
        EXPECT_FALSE(del_ref(store, watcher.at(0)));
    }
    EXPECT_NE(store.get(watcher.at(0)), nullptr);

    {
        ilktest::scripted_prompt prompt;
        prompt.expect("'правило'", answer_yes);
        prompt.expect("'сигнал A'", answer_yes);
        EXPECT_TRUE(del_ref(store, watcher.at(0)));
        EXPECT_TRUE(del_ref(store, a));
    }
    EXPECT_TRUE(store.refs().children(b).empty());
    EXPECT_EQ(store.signal_owner("A"), "");
}

TEST_F(Editing, DeletingAFolderWhoseChildrenUseEachOtherAsksOnceAndTellsObservers) {
    std::string b = box("<ref tp=\"99\" title=\"Связанные\">" + signal_xml("сигнал A", "A") +
                        signal_xml("сигнал B", "B", "A+1") + signal_xml("сигнал C", "C", "B*2") +
                        "</ref>" + signal_xml("сигнал D", "D"));
    std::string folder = b + ".0000";
    test_observer observer;
    store.subscribe_subtree(folder, &observer);

    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Удалить составной компонент\r\n'Связанные' ?", answer_yes);
        EXPECT_TRUE(del_ref(store, folder));
        EXPECT_EQ(prompt.seen().size(), 1u);
    }
    EXPECT_EQ(store.get(folder), nullptr);
    EXPECT_TRUE(store.refs().under(folder).empty());
    EXPECT_EQ(titles(b), (keys{"сигнал D"}));
    EXPECT_EQ(store.signal_owner("B"), "");
    EXPECT_EQ(store.signal_owner("D"), b + ".0001");
    EXPECT_EQ(observer.seen, (keys{folder, folder + ".0000", folder + ".0001", folder + ".0002"}));

    // The subscription went with the folder: a newcomer at the same key is not reported.
    observer.seen.clear();
    store.insert_xml(b, "<ref tp=\"99\"/>");
    store.update_pass();
    ASSERT_NE(store.get(folder), nullptr);
    EXPECT_TRUE(observer.seen.empty());
}

TEST_F(Editing, BatchModeDeletesWithoutQuestionsOrReferenceCheck) {
    std::string b = box(signal_xml("сигнал A", "A") + signal_xml("сигнал B", "B", "A+1") +
                        "<ref tp=\"99\" title=\"Папка\">" + signal_xml("сигнал C", "C") + "</ref>");
    {
        ilktest::scripted_prompt prompt; // any question fails the test
        batch_scope batch(store);
        EXPECT_TRUE(store.batch());
        EXPECT_TRUE(del_ref(store, b + ".0000"));
        EXPECT_TRUE(del_ref(store, b + ".0002"));
        EXPECT_TRUE(del_ref(store, b + ".0009")); // never existed
    }
    EXPECT_FALSE(store.batch());
    EXPECT_EQ(titles(b), (keys{"сигнал B"}));
    EXPECT_TRUE(store.refs().under(b + ".0002").empty());
    EXPECT_EQ(store.signal_owner("A"), "");
    EXPECT_EQ(store.signal_owner("B"), b + ".0001");

    // The batch is closed on an exceptional way out too.
    try {
        batch_scope batch(store);
        throw nx_exception("прервано");
    } catch (const nx_exception&) {
    }
    EXPECT_FALSE(store.batch());
}

TEST_F(Editing, DeletionWaitsWhileChangesArePending) {
    std::string b = box(signal_xml("сигнал A", "A"));
    test_observer restless;
    restless.store = &store;
    restless.remark = b;
    store.subscribe_subtree(b, &restless);
    store.mark_changed(b);

    {
        ilktest::scripted_prompt prompt;
        prompt.expect("'сигнал A'", answer_yes);
        EXPECT_FALSE(del_ref(store, b + ".0000"));
    }
    EXPECT_NE(store.get(b + ".0000"), nullptr);
    EXPECT_NE(log_text().find(" | WAR | del_ref() - нельзя удалять если _upd_ids.size()=1"),
              std::string::npos);
    store.unsubscribe_subtree(b, &restless);
}

TEST_F(Editing, DeletingRunsAndMarkedComponentsAsksOnceAndSparesProtectedOnes) {
    std::string b = box(signal_xml("с0", "A0") + signal_xml("с1", "A1") + signal_xml("с2", "A2") +
                        signal_xml("с3", "A3") + signal_xml("с4", "A4") + signal_xml("с5", "A5"));
    store.find(b + ".0002").set_flag(true, flag_read_only);
    store.find(b + ".0004").set_flag(true, flag_no_delete);

    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Удалить компонент\r\n'с3'\r\nи все следующие ниже ?", answer_no);
        EXPECT_FALSE(delete_following(store, b + ".0003"));
    }
    EXPECT_EQ(titles(b).size(), 6u);

    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Удалить компонент\r\n'с1'\r\nи все следующие ниже ?", answer_yes);
        EXPECT_TRUE(delete_following(store, b + ".0001"));
        EXPECT_EQ(prompt.seen().size(), 1u);
    }
    EXPECT_EQ(titles(b), (keys{"с0", "с2", "с4"}));
    EXPECT_FALSE(store.batch());

    // Marked: read-only components go too, undeletable ones stay.
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Удалить компонент\r\n'с0'\r\nи другие отмеченные ?", answer_yes);
        EXPECT_TRUE(delete_marked(store, {b + ".0004", b + ".0002", b + ".0000"}, b + ".0000"));
        EXPECT_EQ(prompt.seen().size(), 1u);
    }
    EXPECT_EQ(titles(b), (keys{"с4"}));
}

// A batch deletion checks every component it removes, as a single deletion does; users that
// the batch removes as well do not count.
TEST_F(Editing, BatchDeletionRefusesWhenReferencesWouldBreak) {
    std::string b = box(signal_xml("сигнал A", "A") + signal_xml("сигнал B", "B", "A+1") +
                        signal_xml("сигнал C", "C"));
    std::vector<std::string> watcher;
    store.insert_xml("S", "<ref tp=\"902\" title=\"правило\" expr=\"A*2\"/>", &watcher);
    settle();
    const std::string refused =
        "После удаления компонента \"сигнал A\" нарушатся ссылки из компонентов:\r\n"
        "• Схемы / правило;\r\n";

    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Удалить компонент\r\n'сигнал A'\r\nи все следующие ниже ?", answer_yes);
        prompt.expect("нарушатся ссылки", answer_ok);
        EXPECT_FALSE(delete_following(store, b + ".0000"));
        ASSERT_EQ(prompt.seen().size(), 2u);
        EXPECT_EQ(prompt.seen()[1].type, mb_error);
        // B goes with the batch: only the rule outside is named.
        EXPECT_EQ(prompt.seen()[1].text, refused);
    }
    EXPECT_EQ(titles(b), (keys{"сигнал A", "сигнал B", "сигнал C"}));
    EXPECT_FALSE(store.batch());
    EXPECT_EQ(store.signal_owner("A"), b + ".0000");

    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Удалить компонент\r\n'сигнал C'\r\nи другие отмеченные ?", answer_yes);
        prompt.expect("нарушатся ссылки", answer_ok);
        EXPECT_FALSE(delete_marked(store, {b + ".0000", b + ".0002"}, b + ".0002"));
        ASSERT_EQ(prompt.seen().size(), 2u);
        // B stays here: it is named with the rule.
        EXPECT_EQ(prompt.seen()[1].text,
                  "После удаления компонента \"сигнал A\" нарушатся ссылки из компонентов:\r\n"
                  "• Структура / Щит / сигнал B;\r\n"
                  "• Схемы / правило;\r\n"
                  "\r\nВсего 2");
    }
    EXPECT_EQ(titles(b).size(), 3u);

    // A marked folder: its whole subtree is checked.
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("'Щит'", answer_yes);
        prompt.expect("нарушатся ссылки", answer_ok);
        EXPECT_FALSE(delete_marked(store, {b}));
    }
    EXPECT_NE(store.get(b), nullptr);

    // With the rule marked too nothing is left to break.
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("'сигнал A'", answer_yes);
        EXPECT_TRUE(delete_marked(store, {b + ".0000", b + ".0001", watcher.at(0)}, b + ".0000"));
        EXPECT_EQ(prompt.seen().size(), 1u);
    }
    EXPECT_EQ(titles(b), (keys{"сигнал C"}));
    EXPECT_EQ(store.get(watcher.at(0)), nullptr);
}

// The roots are never deleted, read from the file or created; a view watching a subtree that
// a batch deletes hears of every deleted key before its registration goes.
TEST_F(Editing, BatchDeletionSparesRootsAndTellsTheWatchingViews) {
    t_ref_buff loaded;
    loaded.register_class(
        tp_dev_root, [](t_ref_buff& s) { return std::make_unique<t_ref_root>(s, tp_dev_root); });
    ilktest::write_bytes(dir.path() + "roots.ini",
                         "<struct><REFs version=\"1\"><ref tp=\"50\"/></REFs></struct>");
    loaded.load(dir.path() + "roots.ini");
    EXPECT_TRUE(loaded.find("D").has_flag(flag_no_delete));

    std::string b = box("<ref tp=\"99\" title=\"Папка\">" + signal_xml("сигнал A", "A") + "</ref>" +
                        signal_xml("сигнал B", "B"));
    std::string folder = b + ".0000";
    test_observer on_folder;
    test_observer on_root;
    store.subscribe_subtree(folder, &on_folder);
    store.subscribe_subtree("K", &on_root);
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("'Структура'\r\nи другие отмеченные ?", answer_yes);
        EXPECT_TRUE(delete_marked(store, {"K", folder}, "K"));
    }
    EXPECT_NE(store.get("K"), nullptr);
    EXPECT_EQ(titles(b), (keys{"сигнал B"}));
    EXPECT_EQ(on_folder.seen, (keys{folder, folder + ".0000"}));
    EXPECT_EQ(on_root.seen, (keys{b, folder, folder + ".0000"}));

    // Gone with the batch: a newcomer at the folder's key is not reported to it.
    on_folder.seen.clear();
    store.insert_xml(b, "<ref tp=\"99\"/>");
    store.update_pass();
    ASSERT_NE(store.get(folder), nullptr);
    EXPECT_TRUE(on_folder.seen.empty());
    store.unsubscribe_subtree("K", &on_root);
}

TEST_F(Editing, AddingAsksForMoreThanOneAndStopsAtTheLimit) {
    std::string b = box("");

    {
        ilktest::scripted_prompt prompt;
        prompt.expect("ограничено 1000", answer_ok);
        prompt.expect("в количестве", answer_no);
        EXPECT_TRUE(add_components(store, b, tp_group, 1500).empty());
        ASSERT_EQ(prompt.seen().size(), 2u);
        EXPECT_EQ(prompt.seen()[0].text, "Максимальное количество компонентов, которое можно "
                                         "добавить за один раз, ограничено 1000 шт.");
        EXPECT_EQ(prompt.seen()[0].type, mb_error);
        EXPECT_EQ(prompt.seen()[1].text,
                  "Добавить компонент 'Папка' в количестве 1000 шт.\r\nв 'Щит' ?");
        EXPECT_EQ(prompt.seen()[1].type, mb_question);
    }
    EXPECT_TRUE(store.refs().children(b).empty());

    {
        ilktest::scripted_prompt prompt;
        prompt.expect("ограничено 1000", answer_ok);
        prompt.expect("в количестве 1000 шт.", answer_yes);
        keys created = add_components(store, b, tp_group, 1500);
        ASSERT_EQ(created.size(), 1000u);
        EXPECT_EQ(created.front(), b + ".0000");
        EXPECT_EQ(created.back(), b + ".0999");
    }
    EXPECT_EQ(store.refs().children(b).size(), 1000u);
    EXPECT_TRUE(store.find(b + ".0999").has_flag(flag_modified));

    // One component: no question.
    {
        ilktest::scripted_prompt prompt;
        EXPECT_EQ(add_components(store, b, tp_test_signal, 1), (keys{b + ".1000"}));
    }
    EXPECT_EQ(store.find(b + ".1000").type(), tp_test_signal);
}

TEST_F(Editing, TheTenThousandAndFirstChildIsRefused) {
    std::string many;
    for (int i = 0; i < 9999; ++i)
        many += "<ref tp=\"99\"/>";
    std::string b = box(many);
    ASSERT_EQ(store.refs().children(b).size(), 9999u);
    const std::string refusal = "Компонент 'Структура / Щит' не может содержать более 10000 "
                                "дочерних компонентов.\r\nНе добавлено компонентов: 2.";
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("в количестве 3 шт.", answer_yes);
        prompt.expect("не может содержать более 10000", answer_ok);
        EXPECT_EQ(add_components(store, b, tp_group, 3), (keys{b + ".9999"}));
        ASSERT_EQ(prompt.seen().size(), 2u);
        EXPECT_EQ(prompt.seen()[1].text, refusal);
        EXPECT_EQ(prompt.seen()[1].type, mb_error);
    }
    EXPECT_NE(log_text().find(" | ERR | " + refusal), std::string::npos);
    // A refused element brings nothing of its subtree along.
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Не добавлено компонентов: 1.", answer_ok);
        std::vector<std::string> created;
        store.insert_xml(b, "<ref tp=\"99\"><ref tp=\"901\" sk=\"A\"/></ref>", &created);
        EXPECT_TRUE(created.empty());
    }
    EXPECT_EQ(store.refs().children(b).size(), 10000u);
    for (t_ref* r : store.refs().under(b))
        EXPECT_EQ(last_key_part(r->key()).size(), 4u) << r->key();
    EXPECT_EQ(store.refs().under(b).size(), 10000u);
}

TEST_F(Editing, RepeatValueCountsOnFromTheTrailingNumber) {
    std::string b =
        box(signal_xml("с0", "") + signal_xml("с1", "") + "<ref tp=\"902\" title=\"чужой\"/>" +
            signal_xml("с2", "") + signal_xml("с3", "") + signal_xml("с4", ""));
    auto addresses = [&] {
        std::vector<std::string> out;
        for (t_ref* child : store.refs().children(b))
            if (auto* s = dynamic_cast<test_signal*>(child))
                out.push_back(s->address());
        return out;
    };

    EXPECT_EQ(repeat_value(store, b + ".0000", 1, "Q7", 2, 1), 3);
    EXPECT_EQ(addresses(), (keys{"Q7", "", "Q9", "", "Q11"}));
    EXPECT_TRUE(store.find(b + ".0003").has_flag(flag_modified));
    EXPECT_FALSE(store.find(b + ".0001").has_flag(flag_modified));
    EXPECT_FALSE(store.find(b + ".0005").has_flag(flag_locked));

    EXPECT_EQ(repeat_value(store, b + ".0001", 1, "12abc", 1, 0), 4);
    EXPECT_EQ(addresses(), (keys{"Q7", "12abc0", "12abc1", "12abc2", "12abc3"}));

    EXPECT_EQ(repeat_value(store, b + ".0003", 1, "007", 1, -3), 3);
    EXPECT_EQ(addresses(), (keys{"Q7", "12abc0", "7", "8", "9"}));

    EXPECT_EQ(repeat_value(store, b + ".0004", 1, "ТС 5", 0, 0), 2);
    EXPECT_EQ(addresses(), (keys{"Q7", "12abc0", "7", "ТС 5", "ТС 5"}));
    EXPECT_EQ(log_text().find(" | ERR | "), std::string::npos);
}

TEST_F(Editing, RepeatValueLeavesFailingReceiversLockedAndLogsThemOnce) {
    std::string b = box(signal_xml("с0", "") + signal_xml("с1", "") + signal_xml("с2", ""));
    store.find(b + ".0001").set_flag(true, flag_locked);

    EXPECT_EQ(repeat_value(store, b + ".0000", 1, "X1", 1, 0), 3);
    EXPECT_EQ(signal(b + ".0002").address(), "X3");
    EXPECT_TRUE(store.find(b + ".0000").has_flag(flag_locked));
    EXPECT_TRUE(store.find(b + ".0001").has_flag(flag_locked));
    EXPECT_TRUE(store.find(b + ".0002").has_flag(flag_locked));
    std::string log = log_text();
    EXPECT_NE(log.find(" | ERR | Неверный адрес 'X1'\r\nНеверный адрес 'X3'\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("'X2'"), std::string::npos); // was inactive before: never checked
    EXPECT_EQ(log.find("и т.д."), std::string::npos);

    // A value the class rejects is reported; the receivers after it still get theirs.
    store.find(b + ".0000").set_flag(false, flag_locked);
    EXPECT_EQ(repeat_value(store, b + ".0000", 1, "отказ", 0, 1), 2);
    EXPECT_EQ(signal(b + ".0000").address(), "X1");
    EXPECT_FALSE(store.find(b + ".0000").has_flag(flag_locked));
    EXPECT_NE(log_text().find(" | ERR | Адрес 'отказ' недопустим\r\nАдрес 'отказ' недопустим\r\n"),
              std::string::npos);
}

TEST_F(Editing, RepeatValueCutsALongErrorReport) {
    std::string many;
    for (int i = 0; i < 120; ++i)
        many += signal_xml("с", "");
    std::string b = box(many);

    repeat_value(store, b + ".0000", 1, "X1", 1, 0);
    std::string log = log_text();
    std::size_t line = log.find(" | ERR | ");
    ASSERT_NE(line, std::string::npos);
    std::string report = log.substr(line + 9);
    EXPECT_TRUE(report.starts_with("Неверный адрес 'X1'\r\nНеверный адрес 'X2'\r\n"));
    EXPECT_TRUE(report.ends_with("'\r\nи т.д.")) << report;
    EXPECT_EQ(report.find("'X120'"), std::string::npos);
    std::size_t length = utf8_length(report);
    EXPECT_GE(length, 2000u + 6);
    EXPECT_LT(length, 2000u + 6 + 30);
    EXPECT_TRUE(store.find(b + ".0119").has_flag(flag_locked));
}

TEST_F(Editing, RepeatValuesAsksOnceAboutRepeatedLines) {
    std::string b = box(signal_xml("с0", "") + signal_xml("с1", "") + signal_xml("с2", "") +
                        signal_xml("с3", "") + signal_xml("с4", ""));
    auto addresses = [&] {
        std::vector<std::string> out;
        for (t_ref* child : store.refs().children(b))
            out.push_back(dynamic_cast<test_signal&>(*child).address());
        return out;
    };

    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Пропускать повторы ?", answer_yes);
        EXPECT_EQ(repeat_values(store, b + ".0000", 1, {"a", "a", "b"}, 0, true, 0), 2);
        ASSERT_EQ(prompt.seen().size(), 1u);
        EXPECT_EQ(prompt.seen()[0].text, "Пропускать повторы ?");
        EXPECT_EQ(prompt.seen()[0].type, mb_question);
    }
    EXPECT_EQ(addresses(), (keys{"a", "b", "", "", ""}));

    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Пропускать повторы ?", answer_no);
        EXPECT_EQ(repeat_values(store, b + ".0000", 1, {"x", "a", "a", "b", "b", "b"}, 1, true, 0),
                  5);
        EXPECT_EQ(prompt.seen().size(), 1u);
    }
    EXPECT_EQ(addresses(), (keys{"a", "a", "b", "b", "b"}));

    // Appending to the current value, every second receiver.
    {
        ilktest::scripted_prompt prompt;
        EXPECT_EQ(repeat_values(store, b + ".0000", 1, {"1", "2", "3", "4"}, 0, false, 1), 3);
    }
    EXPECT_EQ(addresses(), (keys{"a 1", "a", "b 2", "b", "b 3"}));
    EXPECT_TRUE(store.find(b + ".0004").has_flag(flag_modified));
    EXPECT_FALSE(store.find(b + ".0004").has_flag(flag_locked));
}

TEST_F(Editing, RepeatValuesShowsErrorsInABox) {
    std::string b = box(signal_xml("с0", "") + signal_xml("с1", ""));
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Повтор значений выполнен с ошибками", answer_ok);
        EXPECT_EQ(repeat_values(store, b + ".0000", 1, {"X5", "Y"}, 0, true, 0), 2);
        ASSERT_EQ(prompt.seen().size(), 1u);
        EXPECT_EQ(prompt.seen()[0].text,
                  "Повтор значений выполнен с ошибками:\r\nНеверный адрес 'X5'\r\n");
        EXPECT_EQ(prompt.seen()[0].type, mb_error);
    }
    EXPECT_TRUE(store.find(b + ".0000").has_flag(flag_locked));
    EXPECT_FALSE(store.find(b + ".0001").has_flag(flag_locked));
}

TEST_F(Editing, MovingRenumbersAndReKeysTheWholeSubtree) {
    std::string children;
    for (int i = 0; i < 5; ++i) {
        std::string n = std::to_string(i);
        children += "<ref tp=\"99\" title=\"п" + n + "\">" + signal_xml("с" + n, "A" + n) +
                    "<ref tp=\"99\" title=\"вложенная" + n + "\">" + signal_xml("в" + n, "B" + n) +
                    "</ref></ref>";
    }
    std::string b = box(children);
    std::string p = b + ".";
    store.set_current(p + "0003.0001.0000");

    EXPECT_FALSE(move(store, p + "0001", p + "0001"));
    EXPECT_FALSE(move(store, p + "0001", p + "0001.0000"));
    EXPECT_FALSE(move(store, p + "0001", p + "0007"));
    EXPECT_FALSE(store.find(p + "0001").has_flag(flag_modified));

    EXPECT_TRUE(move(store, p + "0003", p + "0001"));
    EXPECT_EQ(titles(b), (keys{"п0", "п3", "п1", "п2", "п4"}));
    for (int i = 0; i < 5; ++i) {
        std::string k = p + key_part(i);
        EXPECT_EQ(store.find(k).key(), k);
        EXPECT_EQ(store.find(k + ".0001.0000").key(), k + ".0001.0000");
        EXPECT_TRUE(store.find(k + ".0001.0000").has_flag(flag_modified));
    }
    EXPECT_EQ(store.find(p + "0001.0000").title(), "с3");
    EXPECT_EQ(store.find(p + "0001.0001.0000").title(), "в3");
    EXPECT_EQ(store.find(p + "0003.0001.0000").title(), "в2");
    EXPECT_EQ(store.refs().under(b).size(), 20u);
    EXPECT_EQ(store.signal_owner("B3"), p + "0001.0001.0000");
    EXPECT_EQ(store.signal_owner("A1"), p + "0002.0000");
    EXPECT_EQ(store.current('K'), p + "0001.0001.0000");
    EXPECT_TRUE(store.change_set().empty());

    // Downwards: the ones in between move up a place.
    EXPECT_TRUE(move(store, p + "0000", p + "0003"));
    EXPECT_EQ(titles(b), (keys{"п3", "п1", "п2", "п0", "п4"}));
    EXPECT_EQ(store.find(p + "0003.0000").title(), "с0");

    // Gaps close.
    store.refs().take(p + "0002.0001.0000");
    store.refs().take(p + "0002.0001");
    store.refs().take(p + "0002.0000");
    store.refs().take(p + "0002");
    EXPECT_TRUE(move(store, p + "0004", p + "0003"));
    EXPECT_EQ(titles(b), (keys{"п3", "п1", "п4", "п0"}));
    EXPECT_EQ(store.find(p + "0003.0001.0000").title(), "в0");
    EXPECT_EQ(store.get(p + "0004"), nullptr);
}

TEST_F(Editing, ActiveStateOfDirectChildren) {
    std::string b =
        box("<ref tp=\"99\" title=\"а\"><ref tp=\"99\" title=\"внутри\" lock=\"1\"/></ref>"
            "<ref tp=\"99\" title=\"б\" lock=\"1\"/><ref tp=\"99\" title=\"в\"/>");
    store.find(b + ".0002").set_flag(true, flag_active_fixed);
    auto locks = [&] {
        std::string out;
        for (const char* k : {".0000", ".0001", ".0002", ".0000.0000"})
            out += store.find(b + k).has_flag(flag_locked) ? '1' : '0';
        return out;
    };
    const char* question = "Для всех дочерних компонентов флаг 'Активный':\r\n[Да]\t- установить;"
                           "\r\n[Нет]\t- снять;\r\n[Отмена]\t- не изменять.";
    ASSERT_EQ(locks(), "0101");

    {
        ilktest::scripted_prompt prompt;
        prompt.expect(question, answer_cancel);
        EXPECT_FALSE(set_active_children(store, b));
        ASSERT_EQ(prompt.seen().size(), 1u);
        EXPECT_EQ(prompt.seen()[0].text, question);
        EXPECT_EQ(prompt.seen()[0].type, mb_question_cancel);
    }
    EXPECT_EQ(locks(), "0101");

    {
        ilktest::scripted_prompt prompt;
        prompt.expect(question, answer_no);
        EXPECT_TRUE(set_active_children(store, b));
    }
    EXPECT_EQ(locks(), "1101");
    EXPECT_FALSE(store.find(b + ".0002").has_flag(flag_modified));

    {
        ilktest::scripted_prompt prompt;
        prompt.expect(question, answer_yes);
        EXPECT_TRUE(set_active_children(store, b));
    }
    EXPECT_EQ(locks(), "0001");
    EXPECT_TRUE(store.find(b + ".0001").has_flag(flag_modified));
}

TEST_F(Editing, PasteIsOfferedOnlyForTypesTheTargetAccepts) {
    std::string b = box("");
    auto offered = [&](const std::string& parent, const std::string& refs) {
        return can_paste(store, parent, "<REFs version=\"1\">\r\n" + refs + "</REFs>\r\n");
    };

    // A structure signal under the equipment root: not among its child types.
    EXPECT_FALSE(offered("D", "<ref tp=\"1\" title=\"ТС\"/>"));
    EXPECT_TRUE(offered("D", "<ref tp=\"104\"><ref tp=\"51\"/></ref><ref tp=\"100\"/>"));
    // A top-level folder's contents count as top level.
    EXPECT_TRUE(offered("D", "<ref tp=\"99\"><ref tp=\"99\"><ref tp=\"104\"/></ref></ref>"));
    EXPECT_FALSE(offered("D", "<ref tp=\"99\"><ref tp=\"1\"/></ref>"));
    // Listed but refused by the target.
    EXPECT_TRUE(offered(b, "<ref tp=\"901\"/>"));
    EXPECT_FALSE(offered(b, "<ref tp=\"901\"/><ref tp=\"902\"/>"));
    // Nothing to paste, not a REFs document, not XML, no target.
    EXPECT_FALSE(offered(b, ""));
    EXPECT_FALSE(
        can_paste(store, b, "<struct><REFs version=\"1\"><ref tp=\"901\"/></REFs></struct>"));
    EXPECT_FALSE(can_paste(store, b, "сигнал A"));
    EXPECT_FALSE(can_paste(store, b, "<REFs version=\"1\"><ref tp=\"901\"></REFs>"));
    EXPECT_FALSE(offered(b + ".0005", "<ref tp=\"901\"/>"));

    // The client alone, as the editor drives it.
    nx_inixml doc("<REFs version=\"1\"><ref tp=\"99\"><ref tp=\"901\"><ref tp=\"1\"/></ref></ref>"
                  "<ref tp=\"902\"/></REFs>");
    nx_past_xml_client client(store.find(b));
    ASSERT_TRUE(doc.parse("REFs", client));
    EXPECT_EQ(client.types(), (std::set<int>{99, 901, 902}));
    EXPECT_FALSE(client.acceptable());

    std::vector<std::string> created;
    EXPECT_FALSE(paste(store, "D", "<REFs version=\"1\"><ref tp=\"901\"/></REFs>", &created));
    EXPECT_TRUE(created.empty());
    EXPECT_TRUE(store.refs().children("D").empty());
}

TEST_F(Editing, CopyAndPasteRoundTrip) {
    std::string b =
        box("<ref tp=\"99\" title=\"Папка &quot;1&quot;\">" + signal_xml("сигнал A", "A") +
            "<ref tp=\"99\" lock=\"1\">" + signal_xml("сигнал B", "B", "A&lt;2") + "</ref></ref>");
    std::string folder = b + ".0000";
    std::string text = store.subtree_xml(folder);
    EXPECT_EQ(text, "<REFs version=\"1\">\r\n"
                    "  <ref tp=\"99\" title=\"Папка &quot;1&quot;\">\r\n"
                    "    <ref tp=\"901\" title=\"сигнал A\" sk=\"A\"/>\r\n"
                    "    <ref tp=\"99\" lock=\"1\">\r\n"
                    "      <ref tp=\"901\" title=\"сигнал B\" sk=\"B\" expr=\"A&lt;2\"/>\r\n"
                    "    </ref>\r\n"
                    "  </ref>\r\n"
                    "</REFs>\r\n");

    std::vector<std::string> created;
    EXPECT_TRUE(paste(store, b, text, &created));
    EXPECT_EQ(created,
              (keys{b + ".0001", b + ".0001.0000", b + ".0001.0001", b + ".0001.0001.0000"}));
    EXPECT_EQ(store.subtree_xml(b + ".0001"), text);
    EXPECT_TRUE(store.find(b + ".0001.0001.0000").has_flag(flag_modified));
    EXPECT_FALSE(store.find(folder).has_flag(flag_modified));
}
