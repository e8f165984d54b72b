// The demo station's interlock table projected onto its scheme page, and what the element menu
// of the breaker then offers: the interlock submenus with their blocking apparatus.
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/control/element_menu.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "schemes/ilk/projection.h"
#include "schemes/ilk/t_ilk.h"
#include "schemes/ilk/t_ilk_onof.h"
#include "schemes/t_el_onof.h"
#include "schemes/t_element.h"
#include "structure/structure_classes.h"
#include "telemech/telemech_classes.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace nxkit;
using namespace ilktest;

namespace {

const std::string page_key = "S.0001.0000";
const std::string q1_key = "S.0001.0000.0000.0000";
const std::string qsg1_key = "S.0001.0000.0001.0000";

class DemoInterlocks : public testing::Test {
protected:
    DemoInterlocks() {
        write_bytes(station_dir() + "refs.ini", read_bytes(SOURCE_ROOT "/demo/refs.ini"));
        register_structure_classes(*store);
        register_telemech_classes(*store);
        register_all_scheme_classes(*store);
        store->load();
        project_tables(*store);
    }

    template <class T> std::vector<T*> under(const std::string& key) {
        std::vector<T*> found;
        for (t_ref* r : store->refs().children(key))
            if (auto* t = dynamic_cast<T*>(r))
                found.push_back(t);
        return found;
    }

    std::unique_ptr<t_ref_buff> store = std::make_unique<t_ref_buff>();
};

TEST_F(DemoInterlocks, RowsAndColumnsMeetTheirElementsOnThePage) {
    auto* q1 = dynamic_cast<t_element*>(store->get(q1_key));
    ASSERT_NE(q1, nullptr);
    ASSERT_EQ(q1->disp_name(), "Q1");
    // Q1: "Включение" (Q1 off and QSG1 off) and "Отключение" (Q1 on), both apparatus drawn.
    std::vector<t_ilk*> ilks = under<t_ilk>(q1_key);
    ASSERT_EQ(ilks.size(), 2u);
    EXPECT_EQ(ilks[0]->extra_condition(), "(s1_1_31 or s1_1_5)");
    EXPECT_EQ(ilks[1]->extra_condition(), "(s1_1_31 or s1_1_5)");
    std::vector<t_ilk_onof*> on = under<t_ilk_onof>(ilks[0]->key());
    ASSERT_EQ(on.size(), 2u);
    EXPECT_EQ(on[0]->rtid(), 1);
    EXPECT_EQ(on[1]->rtid(), 4);
    EXPECT_FALSE(on[0]->blocks_when_on());
    std::vector<t_ilk_onof*> off = under<t_ilk_onof>(ilks[1]->key());
    ASSERT_EQ(off.size(), 1u);
    EXPECT_EQ(off[0]->rtid(), 1);
    EXPECT_TRUE(off[0]->blocks_when_on());

    // The label rule joins both conditions; the element's own position rule stays first.
    std::vector<t_el_onof*> rules = under<t_el_onof>(q1_key);
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_FALSE(rules[0]->has_flag(flag_read_only));
    EXPECT_TRUE(rules[1]->has_flag(flag_read_only));
    EXPECT_EQ(rules[1]->on_condition(), "((s1_1_31 or s1_1_5)) or ((s1_1_31 or s1_1_5))");

    // QSG1: remote and from the drive, each blocked by QS1 and QS2.
    std::vector<t_ilk*> earthing = under<t_ilk>(qsg1_key);
    ASSERT_EQ(earthing.size(), 2u);
    for (t_ilk* ilk : earthing) {
        std::vector<t_ilk_onof*> b = under<t_ilk_onof>(ilk->key());
        ASSERT_EQ(b.size(), 2u);
        EXPECT_EQ(b[0]->rtid(), 2);
        EXPECT_EQ(b[1]->rtid(), 3);
    }
}

TEST_F(DemoInterlocks, TheBreakersTrendShowsTheTelesignalsItsRulesUse) {
    // The position rule's signal, then those of the label rule, each once.
    auto& q1 = dynamic_cast<t_element&>(*store->get(q1_key));
    EXPECT_EQ(element_trend_signals(*store, q1),
              (std::vector<std::string>{"s1_1_1", "s1_1_5", "s1_1_31"}));
}

TEST_F(DemoInterlocks, TheBreakersMenuHasItsInterlockSubmenus) {
    auto& q1 = dynamic_cast<t_element&>(*store->get(q1_key));
    std::vector<menu_item> items = element_menu_walk(*store, q1).build(nullptr);
    std::vector<const menu_item*> submenus;
    for (const menu_item& item : items)
        if (!item.items.empty())
            submenus.push_back(&item);
    ASSERT_EQ(submenus.size(), 2u);
    EXPECT_EQ(submenus[0]->text, "\tБлокировка включения");
    EXPECT_EQ(submenus[1]->text, "ИЛИ\tБлокировка отключения");
    // Without values nothing is checked; the blocking apparatus are named by their columns.
    const std::vector<std::string> on = {"\tQ1 можно включать если:",
                                         "",
                                         "\t(включен - сигнал Q1",
                                         " or включен - сигнал Готовность ТУ ячейки Л-1",
                                         ")",
                                         "",
                                         "И\tотключен - Q1",
                                         "И\tотключен - QSG1"};
    ASSERT_EQ(submenus[0]->items.size(), on.size());
    for (std::size_t i = 0; i < on.size(); ++i) {
        EXPECT_EQ(submenus[0]->items[i].text, on[i]) << i;
        EXPECT_EQ(submenus[0]->items[i].separator, on[i].empty()) << i;
        EXPECT_FALSE(submenus[0]->items[i].checked) << i;
    }
    // The line that asks for the highlight is the bold default one, in both submenus.
    EXPECT_TRUE(submenus[0]->items[0].is_default);
    EXPECT_FALSE(submenus[0]->items[6].is_default);
    ASSERT_EQ(submenus[1]->items.size(), 7u);
    EXPECT_TRUE(submenus[1]->items[0].is_default);
    EXPECT_EQ(submenus[1]->items[0].text, "\tQ1 можно отключать если:");
    EXPECT_EQ(submenus[1]->items[6].text, "И\tвключен  - Q1");
}

} // namespace
