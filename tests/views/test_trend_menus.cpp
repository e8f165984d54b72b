// "График" in the operator's menus: offered for telemeasurements and telesignals only, and
// only where a trend can be opened; choosing it opens the signal's trend and changes nothing.
#include "tests/views/operator_views_fixture.h"

#include "config/ref_flags.h"
#include "structure/structure_classes.h"
#include "views/editor_menus.h"
#include "views/nx_view_hand.h"
#include "views/nx_view_mes.h"

#include <QAction>
#include <QWidget>

using namespace nxkit;

namespace ilktest {
namespace {

class trend_menus_test : public operator_views_test {
protected:
    trend_menus_test() {
        load(
            equipment_with("<ref tp=\"51\" sk=\"s1_2_7\"/>\r\n<ref tp=\"51\" sk=\"i1_2_9\"/>\r\n") +
            section_with("<ref tp=\"1\" num=\"7\" title=\"Q1\"/>\r\n"
                         "<ref tp=\"2\" num=\"9\" title=\"Ia\"/>\r\n"));
    }
    static std::vector<std::string> texts(const std::vector<menu_item>& items) {
        std::vector<std::string> out;
        for (const menu_item& i : items)
            out.push_back(i.separator ? "-" : i.text);
        return out;
    }
};

using TrendMenus = trend_menus_test;

TEST_F(TrendMenus, NodeMenuOffersTheTrendForSignalsOnly) {
    // The telesignal and the measurement end with "График" (command 9) after a separator.
    for (const std::string& key : {first_signal, second_signal}) {
        std::vector<menu_item> menu = node_menu(store->find(key), false, true);
        ASSERT_GE(menu.size(), 2u);
        EXPECT_TRUE(menu[menu.size() - 2].separator);
        EXPECT_EQ(menu.back().text, "График");
        EXPECT_EQ(menu.back().command, editor_cmd::trend);
        EXPECT_TRUE(menu.back().enabled);
        // Without a trend to open, the menu is as before.
        std::vector<menu_item> plain = node_menu(store->find(key), false, false);
        EXPECT_EQ(plain.size(), menu.size() - 2);
    }
    // A section, a channel and a device object offer none.
    for (const std::string& key : {section_key, std::string("K.0000"), std::string("D.0000")}) {
        std::vector<std::string> t = texts(node_menu(store->find(key), false, true));
        EXPECT_EQ(std::count(t.begin(), t.end(), "График"), 0) << key;
    }
    EXPECT_FALSE(offers_trend(nullptr));
}

TEST_F(TrendMenus, JournalLineMenuEndsWithTheTrend) {
    EXPECT_EQ(texts(journal_row_menu(false, true)),
              (std::vector<std::string>{"Квитировать", "Квитировать все", "-",
                                        "Удалить квитированные", "Удалить все", "-", "График"}));
    EXPECT_EQ(journal_row_menu(true, true).back().command, 5);
    EXPECT_EQ(texts(journal_row_menu(true)),
              (std::vector<std::string>{"Квитировать", "Квитировать все показанные", "-",
                                        "Удалить квитированные", "Удалить все показанные"}));
}

TEST_F(TrendMenus, ManualInputFormOpensTheTrendAndLeavesTheSignal) {
    QWidget owner;
    auto* cancel = new QAction(&owner);
    auto* acknowledge = new QAction(&owner);
    nx_view_hand hand(*store, cancel, acknowledge);
    std::vector<std::string> opened;

    auto& q1 = dynamic_cast<t_struct_vl&>(store->find(first_signal));
    std::vector<std::string> buttons;
    for (const form_button& b : manual_input_form(q1, true).buttons)
        buttons.push_back(b.text + "=" + std::to_string(b.answer));
    EXPECT_EQ(buttons, (std::vector<std::string>{"Включить=2", "Отключить=3", "Авто=1", "График=4",
                                                 "Отмена=0"}));
    EXPECT_EQ(manual_input_form(q1, false).buttons.size(), 4u);

    hand.set_trend_opener([&](const std::string& key) { opened.push_back(key); });
    {
        scripted_prompt prompt;
        prompt.expect_form("s1_2_7", 4);
        hand.show_manual_input(first_signal);
    }
    EXPECT_EQ(opened, (std::vector<std::string>{"s1_2_7"}));
    // Not a manual input: no flag, no HAND entry.
    EXPECT_FALSE(q1.manual());
    EXPECT_EQ(settings_get_int("HAND", "s1_2_7", 99, false), 99);
}

} // namespace
} // namespace ilktest
