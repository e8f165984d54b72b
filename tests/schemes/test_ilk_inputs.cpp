// An interlock walked through every state of the signals it rests on: a value from a bad
// input never permits, neither in the table nor on the scheme.

#include "test_ilk_fixture.h"

#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_tu.h"
#include "structure/t_struct_vl.h"

using namespace nxkit;
using namespace ilktest::ilk_scheme_xml;

namespace ilktest {
namespace {

// The example table on the page: row Q1, one condition with a permission on QS1 (on the page,
// contacts s1_2_3/s1_2_4, "Включен") and one on QS7 (off the page, s1_2_7/s1_2_8,
// "Отключен"). Every signal starts under control, valid, and permitting.
class IlkInputs : public ilk_scheme_test {
protected:
    void SetUp() override {
        load_station(example_elements(), interlock(page_label(), example_columns(), example_row()));
        host = std::make_unique<ilk_host>(*store);
        for (auto [n, v] : {std::pair{1, 1}, {2, 0}, {3, 1}, {4, 0}, {5, 1}, {7, 0}, {8, 1}})
            set_signal(n, v);
        store->update_pass();
        project_tables(*store);
        store->update_pass();
    }

    void put(int n, double value, bool control, bool defined, bool invalid) {
        std::string key = "D." + key_part(n - 1);
        source(key).set(value, control, defined, invalid);
        store->mark_changed(key);
    }

    t_struct_vl& signal_of(int n) {
        return get<t_struct_vl>(store->signal_owner("s1_2_" + std::to_string(n)));
    }

    // The table's condition: "permits state-index".
    std::string table() {
        auto& condition = get<t_ilk_or>(first_row + ".0000");
        bool permits = condition.permits();
        int icon = 0, overlay = 0, state = 0;
        condition.tree_images(icon, overlay, state);
        return std::string(permits ? "1 " : "0 ") + std::to_string(state);
    }

    // The scheme: the interlock's mark, the blocking element's, then Q1's quality marks.
    std::string scheme() {
        styles_by_counter& by_counter = host->interlock_styles[q1];
        auto pick = [&](int rtid, const char* yes, const char* no) -> std::string {
            style_map& s = by_counter[rtid];
            if (s.count(yes) == 0 || s.count(no) == 0 || s[yes] == s[no])
                return "?";
            return s[yes] ? "YES" : "NO";
        };
        std::string text = pick(10, style::ilk_yes, style::ilk_no) + " " +
                           pick(11, style::ilk_ts_yes, style::ilk_ts_no);
        style_map& own = host->styles[q1];
        for (const char* mark : {nxkit::style::not_control, nxkit::style::not_norma,
                                 nxkit::style::hand, nxkit::style::bad_dev})
            if (own[mark])
                text += std::string(" ") + mark;
        return text;
    }

    std::string label() { return host->properties[q1]["подпись.цвет"]; }

    std::string state() { return table() + " | " + scheme() + " | " + label(); }

    std::unique_ptr<ilk_host> host;
};

struct input_case {
    const char* name;
    double value;
    bool control;
    bool defined;
    bool invalid;
    bool manual; // then entered by hand with `value`, over a source that is invalid
    const char* expected;
};

TEST_F(IlkInputs, EveryStateOfAnInputOffThePage) {
    ASSERT_EQ(state(), "1 0 | YES YES | зеленый");
    // s1_2_7 is QS7's нр contact: 0 permits ("Отключен"), 1 does not.
    const input_case cases[] = {
        {"off", 0, true, true, false, false, "1 0 | YES YES | зеленый"},
        {"on", 1, true, true, false, false, "0 0 | NO YES | красный"},
        {"invalid", 0, true, true, true, false, "0 7 | NO YES я16_bad_dev | красный"},
        {"not controlled", 0, false, true, false, false, "0 2 | NO YES я06_not_control | красный"},
        {"undefined", 0, true, false, false, false, "0 3 | NO YES я03_not_norma | красный"},
        {"manual", 0, true, true, false, true, "1 6 | YES YES я08_hand | зеленый"},
        {"back off", 0, true, true, false, false, "1 0 | YES YES | зеленый"},
    };
    for (const input_case& c : cases) {
        SCOPED_TRACE(c.name);
        // The нз contact always agrees, so only the input under test changes state.
        put(8, c.value != 0 ? 0 : 1, true, true, false);
        if (c.manual) {
            put(7, 1, true, true, true);
            signal_of(7).set_manual(c.value, true);
        } else {
            if (signal_of(7).manual())
                signal_of(7).set_manual(0, false);
            put(7, c.value, c.control, c.defined, c.invalid);
        }
        store->update_pass();
        EXPECT_EQ(state(), c.expected);
    }
}

TEST_F(IlkInputs, EveryStateOfAnInputOnThePage) {
    // s1_2_3 is QS1's нр contact: 1 permits ("Включен"). The label rule holds only the extra
    // condition, so it stays green while the blocking element decides.
    const input_case cases[] = {
        {"on", 1, true, true, false, false, "1 0 | YES YES | зеленый"},
        {"off", 0, true, true, false, false, "0 0 | NO NO | зеленый"},
        {"invalid", 1, true, true, true, false, "0 7 | NO NO я16_bad_dev | зеленый"},
        {"not controlled", 1, false, true, false, false, "0 2 | NO NO я06_not_control | зеленый"},
        {"undefined", 1, true, false, false, false, "0 3 | NO NO я03_not_norma | зеленый"},
        {"manual", 1, true, true, false, true, "1 6 | YES YES я08_hand | зеленый"},
        {"back on", 1, true, true, false, false, "1 0 | YES YES | зеленый"},
    };
    for (const input_case& c : cases) {
        SCOPED_TRACE(c.name);
        // The нз contact always agrees, so only the input under test changes state.
        put(4, c.value != 0 ? 0 : 1, true, true, false);
        if (c.manual) {
            put(3, 0, true, true, true);
            signal_of(3).set_manual(c.value, true);
        } else {
            if (signal_of(3).manual())
                signal_of(3).set_manual(0, false);
            put(3, c.value, c.control, c.defined, c.invalid);
        }
        store->update_pass();
        EXPECT_EQ(state(), c.expected);
    }
}

TEST_F(IlkInputs, TheRowsSignalsCountToo) {
    // The row's permission signal invalid and its readiness off: the row is not enabled, the
    // interlock and the label do not permit.
    put(1, 1, true, true, true);
    store->update_pass();
    EXPECT_FALSE(get<t_ilk_tu>(first_row).enabled());
    EXPECT_EQ(scheme(), "NO YES я16_bad_dev");
    EXPECT_EQ(label(), "красный");
    put(1, 1, true, true, false);
    store->update_pass();
    EXPECT_TRUE(get<t_ilk_tu>(first_row).enabled());
    EXPECT_EQ(state(), "1 0 | YES YES | зеленый");
}

} // namespace
} // namespace ilktest
