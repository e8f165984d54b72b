#include "test_ilk_fixture.h"

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
