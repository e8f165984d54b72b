#include "tests/config/config_fixture.h"

#include "base/nx_exception.h"

using namespace cfgtest;

namespace {

value_signal& signal_at(t_ref_buff& store, const std::string& key) {
    return dynamic_cast<value_signal&>(store.find(key));
}

// Marks one more key changed each time it is told, for `left` rounds.
class cascading_observer : public i_observer {
public:
    explicit cascading_observer(t_ref_buff& s) : store(s) {}
    void on_changed(const std::string& key) override {
        seen.push_back(key);
        if (left > 0) {
            --left;
            store.mark_changed("K.0000");
        }
    }
    t_ref_buff& store;
    int left = 0;
    std::vector<std::string> seen;
};

class counting_countdown : public t_ref, public i_countdown {
public:
    explicit counting_countdown(t_ref_buff& store) : t_ref(store, tp_element) {}
    int& countdown_counter() override { return counter; }
    int counter = 0;
};

class test_updater : public i_updater {
public:
    void update(key_set& set) override { set.insert("K.0001"); }
};

const char* const chain_config = "<struct><REFs version=\"1\">"
                                 "<ref tp=\"50\"><ref tp=\"51\" sk=\"a\"/></ref>"
                                 "<ref tp=\"40\">"
                                 "<ref tp=\"1\" sk=\"c\" ex=\"b + 1\"/>"
                                 "<ref tp=\"1\" sk=\"b\" ex=\"a * 2\"/>"
                                 "<ref tp=\"1\" sk=\"a\" src=\"1\"/>"
                                 "<ref tp=\"1\" sk=\"d\" src=\"1\"/>"
                                 "</ref></REFs></struct>";

} // namespace

TEST(UpdatePass, ChainOfComputedSignalsInOnePass) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    load_text(store, chain_config);
    EXPECT_EQ(store.signal_owner("a"), "K.0002");
    EXPECT_EQ(store.feeder("a"), "D.0000");
    EXPECT_EQ(store.feeder("b"), "");
    EXPECT_TRUE(signal_at(store, "K.0002").fed());
    EXPECT_FALSE(signal_at(store, "K.0003").fed());

    signal_at(store, "K.0002").set_value(5);
    store.update_pass();
    // c comes first in key order and still sees b computed from the new a.
    EXPECT_EQ(signal_at(store, "K.0001").value(), 10);
    EXPECT_EQ(signal_at(store, "K.0000").value(), 11);
    EXPECT_TRUE(store.change_set().empty());
    EXPECT_FALSE(store.is_pending("a"));

    // A change of the feeding object reaches the signal and its users too.
    int before = signal_at(store, "K.0000").refreshes;
    store.mark_changed("D.0000");
    store.update_pass();
    EXPECT_GT(signal_at(store, "K.0000").refreshes, before);

    // Quality: a source without control takes it from the result; a manual one marks it.
    signal_at(store, "K.0002").set_flag(false, flag_control);
    signal_at(store, "K.0002").set_value(1);
    store.update_pass();
    EXPECT_FALSE(signal_at(store, "K.0000").has_flag(flag_control));
    EXPECT_EQ(signal_at(store, "K.0000").value(), 3);
    signal_at(store, "K.0002").set_flag(true, flag_control | flag_manual);
    signal_at(store, "K.0002").set_value(2);
    store.update_pass();
    EXPECT_TRUE(signal_at(store, "K.0000").has_flag(flag_control));
    EXPECT_TRUE(signal_at(store, "K.0000").has_flag(flag_manual));
    EXPECT_TRUE(signal_at(store, "K.0001").has_flag(flag_manual));
    EXPECT_FALSE(signal_at(store, "K.0003").has_flag(flag_manual));

    key_set used;
    store.used_components("a + b * unknown + d", used);
    EXPECT_EQ(used, (key_set{"K.0001", "K.0002", "K.0003"}));
    used.clear();
    store.used_components("a +* b", used);
    EXPECT_TRUE(used.empty());
}

TEST(UpdatePass, CycleIsRefusedAndTheConfigurationStillLoads) {
    remove_refs();
    std::string log = open_test_log();
    t_ref_buff store;
    register_test_classes(store);
    load_text(store,
              "<struct><REFs version=\"1\"><ref tp=\"40\">"
              "<ref tp=\"1\" sk=\"x\" ex=\"y + 1\"/><ref tp=\"1\" sk=\"y\" ex=\"z\"/>"
              "<ref tp=\"1\" sk=\"z\" ex=\"x * 2\" title=\"Z\"/><ref tp=\"1\" sk=\"w\" src=\"1\"/>"
              "</ref></REFs></struct>");
    EXPECT_EQ(store.refs().under("K").size(), 4u);
    const std::string message = "Циклическая зависимость недопустима (некорректный расчет "
                                "выражений)\r\nz ••> y ••> x ••> z";
    EXPECT_EQ(count_of(log_text(log), " | ERR | Структура / Z\r\n" + message), 1);

    // Outside a rebuild the refusal reaches the caller and registers nothing.
    try {
        store.register_uses("w + x", "y");
        ADD_FAILURE() << "the cycle must be refused";
    } catch (const nx_exception_ref_init& e) {
        EXPECT_STREQ(e.what(), "Циклическая зависимость недопустима (некорректный расчет "
                               "выражений)\r\ny ••> x ••> y");
    }
    signal_at(store, "K.0003").set_value(1);
    store.update_pass();
    EXPECT_EQ(signal_at(store, "K.0001").refreshes, 1);

    // A rebuild that is not lenient throws what it met first.
    EXPECT_THROW(store.rebuild(false, false), nx_exception_ref_init);
    EXPECT_TRUE(store.lenient());
}

TEST(UpdatePass, DuplicatesAndLockedElementsInTheTables) {
    remove_refs();
    std::string log = open_test_log();
    t_ref_buff store;
    register_test_classes(store);
    load_text(store,
              "<struct><REFs version=\"1\">"
              "<ref tp=\"50\"><ref tp=\"51\" sk=\"a\"/><ref tp=\"51\" sk=\"a\"/></ref>"
              "<ref tp=\"40\"><ref tp=\"1\" sk=\"a\"/><ref tp=\"1\" sk=\"a\"/>"
              "<ref tp=\"99\" lock=\"1\"><ref tp=\"1\" sk=\"q\"/></ref></ref></REFs></struct>");
    EXPECT_EQ(store.feeder("a"), "D.0000");
    EXPECT_EQ(store.signal_owner("a"), "K.0000");
    EXPECT_EQ(store.signal_owner("q"), "");
    std::string text = log_text(log);
    EXPECT_EQ(count_of(text, " | ERR | Инициализация компонента\r\n'Оборудование / Телесигнал "
                             "однопозиционный'.\r\nЗначение '"),
              1);
    EXPECT_EQ(count_of(text, "' уже назначено компоненту\r\n'Структура / Телесигнал'"), 1);
    EXPECT_THROW(store.rebuild(false, false), nx_exception_ref_init);
    EXPECT_EQ(store.signal_owner("a"), "K.0000");
}

TEST(UpdatePass, ElevenRoundsWarnOnceAndTheRestComesNextPass) {
    remove_refs();
    std::string log = open_test_log();
    t_ref_buff store;
    register_test_classes(store);
    load_text(store,
              "<struct><REFs version=\"1\"><ref tp=\"40\"><ref tp=\"99\"/></ref></REFs></struct>");
    store.update_pass();
    cascading_observer observer(store);
    store.subscribe_subtree("K", &observer);
    observer.left = 11;
    store.mark_changed("K.0000");
    store.update_pass();
    EXPECT_EQ(observer.seen.size(), 10u);
    EXPECT_EQ(count_of(log_text(log), " | WAR | UPDATE_REFS i>=10"), 1);
    EXPECT_EQ(store.change_set(), (key_set{"K.0000"}));
    store.update_pass();
    EXPECT_EQ(observer.seen.size(), 12u);
    EXPECT_TRUE(store.change_set().empty());
    EXPECT_EQ(count_of(log_text(log), "UPDATE_REFS"), 1);
}

TEST(UpdateObservers, PrefixesReceiveEachKeyOnce) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    load_text(store, "<struct><REFs version=\"1\"><ref tp=\"40\"><ref tp=\"41\"><ref tp=\"42\">"
                     "<ref tp=\"1\" sk=\"s1_2_7\" src=\"1\"/></ref></ref><ref tp=\"41\"/></ref>"
                     "<ref tp=\"80\"/></REFs></struct>");
    store.update_pass();
    recording_observer whole, parent, twice, late, other;
    store.subscribe_subtree("K", &whole);
    store.subscribe_subtree("K.0000.0000", &parent);
    store.subscribe_subtree("K", &twice);
    store.subscribe_subtree("K.0000", &twice);
    // Registered for the narrower prefix first, then for the wider one.
    store.subscribe_subtree("K.0000.0000", &late);
    store.subscribe_subtree("K", &late);
    store.subscribe_subtree("K.0001", &other);
    store.subscribe_subtree("S", &other);

    signal_at(store, "K.0000.0000.0000").set_value(1);
    store.mark_changed("K.0001");
    store.update_pass();
    std::vector<std::string> both{"K.0000.0000.0000", "K.0001"};
    EXPECT_EQ(whole.keys, both);
    EXPECT_EQ(parent.keys, (std::vector<std::string>{"K.0000.0000.0000"}));
    EXPECT_EQ(twice.keys, both);
    EXPECT_EQ(late.keys, both);
    EXPECT_EQ(other.keys, (std::vector<std::string>{"K.0001"}));
    EXPECT_EQ(whole.done, 1);
    EXPECT_EQ(other.done, 1);

    store.unsubscribe_subtree("K", &whole);
    store.unsubscribe_subtree("K.0001");
    store.mark_changed("K.0001");
    store.update_pass();
    EXPECT_EQ(whole.keys.size(), 2u);
    EXPECT_EQ(other.keys.size(), 1u);
    EXPECT_EQ(twice.keys.size(), 3u);
    // A load forgets every registration.
    store.load();
    store.mark_changed("K");
    store.update_pass();
    EXPECT_EQ(twice.keys.size(), 3u);
}

TEST(UpdateBatch, BatchHoldsPassesAndRebuilds) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    load_text(store, chain_config);
    store.update_pass();
    store.begin_batch();
    store.insert_xml("K", "<ref tp=\"1\" sk=\"e\" ex=\"d + 1\"/>");
    EXPECT_FALSE(store.change_set().empty());
    EXPECT_EQ(store.signal_owner("e"), "");
    store.end_batch();
    EXPECT_EQ(store.signal_owner("e"), "K.0004");
    store.update_pass();
    EXPECT_TRUE(store.change_set().empty());
    EXPECT_EQ(signal_at(store, "K.0004").value(), 1);

    store.set_insertion_hold(true);
    store.insert_xml("K", "<ref tp=\"1\" sk=\"f\"/>");
    EXPECT_EQ(store.signal_owner("f"), "");
    store.set_insertion_hold(false);
    store.rebuild(false, true);
    EXPECT_EQ(store.signal_owner("f"), "K.0005");
}

TEST(UpdateHandOver, GenerationAndCountdown) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    store.register_class(tp_element,
                         [](t_ref_buff& s) { return std::make_unique<counting_countdown>(s); });
    load_text(store,
              "<struct><REFs version=\"1\"><ref tp=\"80\"><ref tp=\"82\"/></ref></REFs></struct>");
    store.update_pass();
    test_updater updater;
    store.hand_over(updater, store.generation() - 1);
    EXPECT_TRUE(store.change_set().empty());
    store.hand_over(updater, store.generation());
    EXPECT_EQ(store.change_set(), (key_set{"K.0001"}));
    store.update_pass();

    // A notification still queued from a device deleted meanwhile is dropped, not delivered
    // to freed memory; a device created at the same address is heard again.
    store.retire_updater(&updater);
    store.hand_over(&updater, store.generation());
    EXPECT_TRUE(store.change_set().empty());
    store.revive_updater(&updater);
    store.hand_over(&updater, store.generation());
    EXPECT_EQ(store.change_set(), (key_set{"K.0001"}));
    store.update_pass();

    dynamic_cast<counting_countdown&>(store.find("S.0000")).counter = 3;
    store.start_countdown("S.0000");
    store.start_countdown("S.0099");
    store.countdown_tick();
    EXPECT_EQ(store.change_set(), (key_set{"S.0099"}));
    store.update_pass();
    store.countdown_tick();
    EXPECT_TRUE(store.change_set().empty());
    store.countdown_tick();
    EXPECT_EQ(store.change_set(), (key_set{"S.0000"}));
    store.update_pass();
    store.countdown_tick();
    EXPECT_TRUE(store.change_set().empty());
}

TEST(UpdateTables, DeletedSignalIsNoLongerRead) {
    remove_refs();
    std::string log = open_test_log();
    t_ref_buff store;
    register_test_classes(store);
    load_text(store, chain_config);
    signal_at(store, "K.0003").set_value(4);
    EXPECT_EQ(store.evaluate("d * 2"), 8);
    // Gone without a rebuild: the expression no longer compiles instead of reading freed memory.
    store.refs().take("K.0003").reset();
    EXPECT_EQ(store.evaluate("d * 2"), 0);
    EXPECT_EQ(count_of(log_text(log), "• выражение: d * 2"), 1);
}

TEST(UpdatePass, KeysArriveInKeyOrderAlsoWhenComponentsCameOrWentSinceTheRebuild) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    load_text(store, chain_config);
    recording_observer seen;
    store.subscribe_subtree("K", &seen);
    store.subscribe_subtree("D", &seen);
    const std::vector<std::string> chain{"K.0000", "K.0001", "K.0002"};

    signal_at(store, "K.0002").set_value(3);
    store.update_pass();
    EXPECT_EQ(seen.keys, chain);
    EXPECT_EQ(signal_at(store, "K.0000").value(), 7);

    // d moves to the front without a rebuild: the orders taken at the rebuild are stale.
    std::unique_ptr<t_ref> d = store.refs().take("K.0003");
    d->set_key("K.-001");
    store.put("K.-001", std::move(d));
    seen.keys.clear();
    store.mark_changed("K.-001");
    store.mark_changed("D.0000");
    signal_at(store, "K.0002").set_value(4);
    store.update_pass();
    EXPECT_EQ(seen.keys, (std::vector<std::string>{"D.0000", "K.-001", "K.0000", "K.0001", "K.0002"}));
    EXPECT_EQ(signal_at(store, "K.0000").value(), 9);

    // A key without a component is told too, in its place.
    seen.keys.clear();
    store.mark_changed("K.0002");
    store.mark_changed("K.0001.0005");
    store.update_pass();
    EXPECT_EQ(seen.keys, (std::vector<std::string>{"K.0000", "K.0001", "K.0001.0005", "K.0002"}));

    // After the next rebuild the fast order gives the same sequence.
    store.rebuild(false, true);
    store.update_pass();
    seen.keys.clear();
    signal_at(store, "K.0002").set_value(5);
    store.update_pass();
    EXPECT_EQ(seen.keys, chain);
    EXPECT_EQ(signal_at(store, "K.0000").value(), 11);
}
