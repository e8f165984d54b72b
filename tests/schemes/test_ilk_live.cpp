#include "test_ilk_fixture.h"

#include "config/ref_editing.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_vts.h"

using namespace nxkit;
using namespace ilktest::ilk_scheme_xml;

namespace ilktest {
namespace {

// The example table on the page, the host watching, every signal under control.
class IlkLive : public ilk_scheme_test {
protected:
    void SetUp() override {
        load_station(example_elements(), interlock(page_label(), example_columns(), example_row()));
        host = std::make_unique<ilk_host>(*store);
        // Q1 permitted by its permission signal and on; QS1 on; QS7 off.
        for (auto [n, v] : {std::pair{1, 1}, {2, 0}, {3, 1}, {4, 0}, {5, 1}, {7, 0}, {8, 1}})
            set_signal(n, v);
        store->update_pass();
        project_tables(*store);
        store->update_pass();
    }

    // The interlock marks written while Q1 was last computed, "YES"/"NO" for Q1 (counter 10)
    // and for QS1 (11), then the label colour.
    std::string marks() {
        styles_by_counter& by_counter = host->interlock_styles[q1];
        auto pick = [&](int rtid, const char* yes, const char* no) -> std::string {
            style_map& s = by_counter[rtid];
            if (s.count(yes) == 0 || s.count(no) == 0 || s[yes] == s[no])
                return "?";
            return s[yes] ? "YES" : "NO";
        };
        return pick(10, style::ilk_yes, style::ilk_no) + " " +
               pick(11, style::ilk_ts_yes, style::ilk_ts_no) + " " +
               host->properties[q1]["подпись.цвет"];
    }

    std::unique_ptr<ilk_host> host;
};

TEST_F(IlkLive, MarksOfElementAndBlockingElementFollowTheSignals) {
    EXPECT_EQ(marks(), "YES YES зеленый");
    // The interlock leaves the element's own state alone.
    EXPECT_FALSE(host->styles[q1][nxkit::style::not_control]);
    EXPECT_FALSE(host->styles[q1][nxkit::style::not_norma]);
    EXPECT_FALSE(host->styles[q1][nxkit::style::not_ref]);
    EXPECT_EQ(host->properties[q1]["положение"], "включен");

    // QS1 goes off: its blocking element blocks; the label knows only the extra condition.
    set_signal(3, 0);
    set_signal(4, 1);
    store->update_pass();
    EXPECT_EQ(marks(), "NO NO зеленый");

    // QS7 goes on, QS1 back on: now the extra condition forbids.
    set_signal(7, 1);
    set_signal(8, 0);
    set_signal(3, 1);
    set_signal(4, 0);
    store->update_pass();
    EXPECT_EQ(marks(), "NO YES красный");

    // QS7 off again and the readiness signal instead of the permission signal.
    set_signal(7, 0);
    set_signal(8, 1);
    set_signal(1, 0);
    set_signal(2, 1);
    store->update_pass();
    EXPECT_EQ(marks(), "YES YES зеленый");
}

TEST_F(IlkLive, AnInvalidContactBlocks) {
    source("D.0002").set(1, true, true, true);
    store->mark_changed("D.0002");
    store->update_pass();
    EXPECT_EQ(marks(), "NO NO зеленый");
    source("D.0002").set(1, true, true, false);
    store->mark_changed("D.0002");
    store->update_pass();
    EXPECT_EQ(marks(), "YES YES зеленый");
}

TEST_F(IlkLive, AReprojectionKeepsTheElementsLive) {
    project_again();
    store->update_pass();
    EXPECT_EQ(marks(), "YES YES зеленый");
    set_signal(3, 0);
    set_signal(4, 1);
    store->update_pass();
    EXPECT_EQ(marks(), "NO NO зеленый");
}

} // namespace
} // namespace ilktest

namespace ilktest {
namespace {

// The table: column QS1 (uid 1, s1_2_3 only) and a row Q1 whose condition permits while
// QS1 is off. QS1 is off, QS7 (s1_2_7) on.
class IlkRepointed : public ilk_scheme_test {
protected:
    void SetUp() override {
        load_station(example_elements(),
                     interlock(page_label(), column(1, "s1_2_3", ""),
                               row("s1_2_1", "", condition(permission(1, false)))));
        for (auto [n, v] : {std::pair{1, 1}, {3, 0}, {7, 1}})
            set_signal(n, v);
        store->update_pass();
    }

    t_ilk_vts& column_1() { return get<t_ilk_vts>(first_root + ".0000.0000.0000"); }
    t_ilk_and& permission_1() { return get<t_ilk_and>(first_row + ".0000.0000"); }
    t_ilk_or& condition_1() { return get<t_ilk_or>(first_row + ".0000"); }

    // The command "repeat a value" on one component: no table rebuild follows it.
    void repeat(const std::string& key, int index, const std::string& value) {
        repeat_value(*store, key, index, value, 0, 0);
        store->update_pass();
    }
};

TEST_F(IlkRepointed, ARepointedColumnTakesItsPermissionAndConditionAlong) {
    ASSERT_TRUE(permission_1().permits());
    ASSERT_TRUE(condition_1().permits());
    repeat(column_1().key(), 2, "s1_2_7");
    EXPECT_TRUE(column_1().is_on());
    EXPECT_FALSE(permission_1().permits());
    EXPECT_FALSE(condition_1().permits());
    // And it follows its new signal from now on.
    set_signal(7, 0);
    store->update_pass();
    EXPECT_TRUE(condition_1().permits());
}

} // namespace
} // namespace ilktest

namespace ilktest {
namespace {

// The example table projected, every signal permitting.
class IlkEdits : public ilk_scheme_test {
protected:
    void SetUp() override {
        std::string rows =
            row("s1_2_1", "s1_2_2", condition(permission(1, true) + permission(2, false)));
        load_station(example_elements(), interlock(page_label(), example_columns(), rows));
        for (auto [n, v] : {std::pair{1, 1}, {3, 1}, {4, 0}, {5, 1}, {7, 1}, {8, 0}})
            set_signal(n, v);
        store->update_pass();
        project_tables(*store);
        store->update_pass();
    }
    t_ilk_or& condition_1() { return get<t_ilk_or>(first_row + ".0000"); }
    t_ilk_and& permission_n(int n) { return get<t_ilk_and>(first_row + ".0000." + key_part(n)); }
};

TEST_F(IlkEdits, ADeactivatedPermissionLeavesItsConditionAtOnce) {
    // QS7 on: the second permission forbids.
    ASSERT_FALSE(condition_1().permits());
    // Deactivated as the editor's "Активный" does it: the flag, the key into the change set.
    permission_n(1).set_flag(true, flag_locked);
    store->mark_changed(permission_n(1).key());
    store->update_pass();
    EXPECT_TRUE(condition_1().permits());
    // And the projection knows it must run again.
    EXPECT_TRUE(ilk_state::of(*store).interlock_changed);
}

// Inside a batch a component may be in place before the tables are rebuilt: the pass then
// tells its keys by text, not by component order, and the condition still follows.
TEST_F(IlkEdits, ADeactivatedPermissionLeavesItsConditionAlsoWhileTheOrdersAreStale) {
    ASSERT_FALSE(condition_1().permits());
    auto folder = std::make_unique<t_ref_root>(*store, tp_group);
    const std::string folder_key = "S.0000.0000.0009";
    folder->set_key(folder_key);
    store->refs().put(folder_key, std::move(folder));
    ASSERT_FALSE(store->orders_current());
    permission_n(1).set_flag(true, flag_locked);
    store->mark_changed(permission_n(1).key());
    store->update_pass();
    EXPECT_TRUE(condition_1().permits());
}

TEST_F(IlkEdits, AMovedPermissionBringsTheProjectionBack) {
    ASSERT_FALSE(ilk_state::of(*store).interlock_changed);
    ASSERT_TRUE(move(*store, permission_n(1).key(), permission_n(0).key()));
    EXPECT_TRUE(ilk_state::of(*store).interlock_changed);
    project_tables(*store);
    // The blocking element refers to QS1's permission under its new key.
    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 1u);
    ASSERT_EQ(interlocks[0]->blockers().size(), 1u);
    EXPECT_EQ(interlocks[0]->blockers()[0]->permission_id(), first_row + ".0000.0001");
}

TEST_F(IlkEdits, ADeletedOnOffRuleBringsTheProjectionBack) {
    ASSERT_EQ(children_of<t_ilk>(q1)[0]->blockers().size(), 1u);
    {
        batch_scope batch(*store);
        ASSERT_TRUE(del_ref(*store, qs1 + ".0000"));
    }
    store->update_pass();
    project_tables(*store);
    // QS1 has no rule any more, so it is no apparatus of the page: its contacts are written.
    std::vector<t_ilk*> interlocks = children_of<t_ilk>(q1);
    ASSERT_EQ(interlocks.size(), 1u);
    EXPECT_TRUE(interlocks[0]->blockers().empty());
    EXPECT_EQ(interlocks[0]->extra_condition(),
              "(s1_2_1 or s1_2_2) and s1_2_3 and !s1_2_4 and !s1_2_7 and s1_2_8");
}

TEST_F(IlkEdits, RepeatingAValuePassesOverProjectedRules) {
    // Q1's own rule first, then the projected label rule: only the first takes the value.
    std::vector<t_el_onof*> rules = children_of<t_el_onof>(q1);
    ASSERT_EQ(rules.size(), 2u);
    ASSERT_TRUE(rules[1]->has_flag(flag_transient));
    std::string label_condition = rules[1]->on_condition();
    EXPECT_EQ(repeat_value(*store, rules[0]->key(), 1, "s1_2_9", 0, 0), 1);
    EXPECT_EQ(rules[0]->on_condition(), "s1_2_9");
    EXPECT_EQ(rules[1]->on_condition(), label_condition);
}

} // namespace
} // namespace ilktest
