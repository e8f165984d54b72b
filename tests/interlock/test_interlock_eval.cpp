#include "config/ref_editing.h"
#include "tests/interlock/interlock_fixture.h"

using namespace nxkit;
using namespace ilktest;
using namespace ilktest::ilk_xml;

namespace {

// Seven telesignals fed by single-point objects at addresses equal to their numbers:
// 1 Q1, 2 QS1 (нр), 3 QS1 (нз), 4 QS2, 5 ready, 6 and 7 QS3.
class interlock_eval : public interlock_test {
protected:
    void load_table(const std::string& columns, const std::string& rows) {
        std::string objects;
        for (int n = 1; n <= 7; ++n)
            objects += object(51, n, n);
        load(device("КП", objects),
             signal(1, "Q1") + signal(2, "QS1") + signal(3, "QS1") + signal(4, "QS2") +
                 signal(5, "Готов") + signal(6, "QS3") + signal(7, "QS3"),
             interlock_xml(columns, rows));
    }

    // Sets the record of every address (1 = on) and delivers them.
    void deliver(const std::string& states, int invalid_address = 0) {
        for (std::size_t i = 0; i < states.size(); ++i) {
            int addr = static_cast<int>(i) + 1;
            put(addr, states[i] == '1', addr == invalid_address);
        }
        pass();
    }

    t_struct_ts& structure_signal(int num) {
        return get<t_struct_ts>("K.0000.0000." + key_part(num - 1));
    }
};

using InterlockColumns = interlock_eval;
using InterlockPermissions = interlock_eval;
using InterlockConditions = interlock_eval;
using InterlockRows = interlock_eval;

const std::string five_columns = column_xml(1, "", "") + column_xml(2, "s1_2_2", "") +
                                 column_xml(3, "s1_2_2", "s1_2_3") +
                                 column_xml(4, "s1_2_6", "s1_2_7") + column_xml(5, "s1_2_4", "");

TEST_F(InterlockColumns, ContactsGiveStateAndQuality) {
    load_table(five_columns, {});
    deliver("1100011");

    // No contacts: off, defined, without control.
    EXPECT_FALSE(column(0).is_on());
    EXPECT_TRUE(column(0).has_flag(flag_defined));
    EXPECT_FALSE(column(0).has_flag(flag_control));
    EXPECT_EQ(state_index(column(0)), 2);
    // Only the normally open contact, which is on.
    EXPECT_TRUE(column(1).is_on());
    EXPECT_EQ(state_index(column(1)), 0);
    // Both contacts as they should be.
    EXPECT_TRUE(column(2).is_on());
    EXPECT_EQ(state_index(column(2)), 0);
    // Both contacts on: the normally open one decides, the state is undefined.
    EXPECT_TRUE(column(3).is_on());
    EXPECT_FALSE(column(3).has_flag(flag_defined));
    EXPECT_EQ(state_index(column(3)), 3);

    // Both off: off and still undefined.
    deliver("1100000");
    EXPECT_FALSE(column(3).is_on());
    EXPECT_FALSE(column(3).has_flag(flag_defined));
    EXPECT_EQ(state_index(column(3)), 3);

    // The other way round: off, and the change is unacknowledged.
    deliver("1010000");
    EXPECT_FALSE(column(2).is_on());
    EXPECT_TRUE(column(2).has_flag(flag_defined));
    EXPECT_EQ(state_index(column(2)), 5);
}

TEST_F(InterlockColumns, StateIsComputedOncePerUpdatePass) {
    load_table(five_columns, {});
    deliver("1100011");
    ASSERT_TRUE(column(1).is_on());

    // Manual input changes the signal at once, the column only with the next pass.
    structure_signal(2).set_manual(0, true);
    EXPECT_TRUE(column(1).is_on());
    store->update_pass();
    EXPECT_FALSE(column(1).is_on());
    EXPECT_EQ(state_index(column(1)), 6);
}

TEST_F(InterlockColumns, UnknownSignalLeavesTheColumnWithoutControl) {
    load_table(column_xml(1, "s9_9_9", ""), {});
    deliver("1111111");
    EXPECT_FALSE(column(0).is_on());
    EXPECT_FALSE(column(0).has_flag(flag_control));
    EXPECT_EQ(column(0).disp_name(), "");
}

TEST_F(InterlockPermissions, OffStatePermitsEvenInManualInputButNotWhenInvalid) {
    load_table(five_columns,
               row_xml(" ts=\"s1_2_1\"", condition_xml(0, permission_xml(5, false)) +
                                             condition_xml(0, permission_xml(5, true)) +
                                             condition_xml(0, permission_xml(99, true))));
    deliver("1100011");

    t_ilk_and& when_off = permission(0, 0, 0);
    t_ilk_and& when_on = permission(0, 1, 0);
    EXPECT_EQ(when_off.column_ref(), &column(4));
    EXPECT_TRUE(when_off.permits());
    EXPECT_EQ(state_index(when_off), 0);
    EXPECT_FALSE(when_on.permits());
    EXPECT_EQ(state_index(when_on), 0);

    // Manual input does not block, it only shows.
    structure_signal(4).set_manual(0, true);
    store->update_pass();
    EXPECT_TRUE(when_off.permits());
    EXPECT_TRUE(when_off.has_flag(flag_manual));
    EXPECT_EQ(state_index(when_off), 6);
    structure_signal(4).set_manual(0, false);
    store->update_pass();

    // An invalid signal blocks.
    deliver("1100011", 4);
    EXPECT_FALSE(when_off.permits());
    EXPECT_EQ(state_index(when_off), 7);

    // A number no column has: never permitted, no control, the icon of a missing column.
    t_ilk_and& orphan = permission(0, 2, 0);
    EXPECT_EQ(orphan.column_ref(), nullptr);
    EXPECT_FALSE(orphan.permits());
    EXPECT_FALSE(orphan.has_flag(flag_control));
    int icon = 0;
    int overlay = 0;
    int state = 0;
    orphan.tree_images(icon, overlay, state);
    EXPECT_EQ(icon, 1452);
    EXPECT_EQ(overlay, 1451);
    EXPECT_EQ(state, 2);
}

TEST_F(InterlockConditions, EveryPermissionIsRefreshedSoTheConditionShowsTheirQualityNow) {
    load_table(five_columns,
               row_xml(" ts=\"s1_2_1\"",
                       condition_xml(0, permission_xml(2, false) + permission_xml(5, false)) +
                           condition_xml(0, {}) +
                           condition_xml(0, permission_xml(3, true) + permission_xml(5, false))));
    deliver("1100011", 4);
    t_ilk_and& first = permission(0, 0, 0);
    t_ilk_and& second = permission(0, 0, 1);
    ASSERT_FALSE(second.permits());
    ASSERT_TRUE(second.has_flag(flag_invalid));

    // QS2 becomes valid: the second permission and the condition are due again.
    deliver("1100011");
    t_ilk_or& c = condition(0, 0);
    EXPECT_FALSE(c.permits());
    EXPECT_FALSE(first.permits());
    // The second one is refreshed too, after the first failed: its quality now counts, not
    // the one left from an earlier pass.
    EXPECT_TRUE(second.has_flag(flag_evaluated));
    EXPECT_FALSE(c.has_flag(flag_invalid));
    EXPECT_TRUE(c.has_flag(flag_control));
    EXPECT_EQ(state_index(c), 0);
    EXPECT_TRUE(second.permits());
    EXPECT_FALSE(second.has_flag(flag_invalid));

    // Without permissions: never permitted, no control.
    EXPECT_FALSE(condition(0, 1).permits());
    EXPECT_FALSE(condition(0, 1).has_flag(flag_control));
    // All permitted.
    EXPECT_TRUE(condition(0, 2).permits());
    EXPECT_EQ(state_index(condition(0, 2)), 0);
    int icon = 0;
    int overlay = 0;
    int state = 0;
    condition(0, 2).tree_images(icon, overlay, state);
    EXPECT_EQ(icon, 1449);
    EXPECT_EQ(overlay, 1450);
}

TEST_F(InterlockConditions, PermissionsAndColumnsAddedOrDeletedCountAtOnce) {
    load_table(five_columns,
               row_xml(" ts=\"s1_2_1\"", condition_xml(0, permission_xml(5, false)) +
                                             condition_xml(0, permission_xml(9, true))));
    deliver("1100011");
    ASSERT_TRUE(condition(0, 0).permits());
    ASSERT_EQ(permission(0, 1, 0).column_ref(), nullptr);

    // QS1 is on, so a permission that wants it off forbids the condition.
    std::vector<std::string> added;
    store->insert_xml(condition_key(0, 0), permission_xml(2, false), &added);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_FALSE(condition(0, 0).permits());

    scripted_prompt prompt;
    prompt.expect("Удалить компонент", answer_yes);
    ASSERT_TRUE(del_ref(*store, added[0]));
    EXPECT_TRUE(condition(0, 0).permits());

    // A column that comes with the number of a permission that had none is found.
    added.clear();
    store->insert_xml(columns_key, column_xml(9, "s1_2_6", ""), &added);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(permission(0, 1, 0).column_ref(), store->get(added[0]));
}

TEST_F(InterlockRows, ExpressionJoinsPermissionAndReadySignals) {
    load_table({}, row_xml(" ts=\"s1_2_1\"", condition_xml(0, {})) +
                       row_xml(" dop=\"s1_2_5\"", condition_xml(0, {})) +
                       row_xml(" ts=\"s1_2_1\" dop=\"s1_2_5\"", condition_xml(0, {})));
    deliver("1000000");
    EXPECT_EQ(row(0).row_expression(), "s1_2_1");
    EXPECT_TRUE(row(0).enabled());
    EXPECT_TRUE(row(0).has_flag(flag_control));

    // Only the ready signal: that alone, without control; it still follows its signal.
    EXPECT_EQ(row(1).row_expression(), "s1_2_5");
    EXPECT_FALSE(row(1).has_flag(flag_control));
    EXPECT_FALSE(row(1).enabled());
    EXPECT_EQ(row(2).row_expression(), "(s1_2_1 or s1_2_5)");
    EXPECT_TRUE(row(2).enabled());

    deliver("0000100");
    EXPECT_TRUE(row(1).enabled());
    EXPECT_FALSE(row(0).enabled());
    EXPECT_TRUE(row(2).enabled());
    int icon = 0;
    int overlay = 0;
    int state = 0;
    row(0).tree_images(icon, overlay, state);
    EXPECT_EQ(icon, 1447);
    EXPECT_EQ(overlay, 1451);
    EXPECT_EQ(state, 5);
}

} // namespace
