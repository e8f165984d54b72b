// The fixture names a parameter "signals": it comes before any Qt header.
#include "tests/schemes/schemes_fixture.h"

#include "base/files.h"
#include "base/nx_exception.h"
#include "base/settings.h"
#include "schemes/control/element_menu.h"
#include "schemes/control/nx_ctrl_ax_modus50.h"
#include "schemes/control/nx_view_schema.h"
#include "schemes/control/scheme_control.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "schemes/ilk/t_ilk.h"
#include "schemes/ilk/t_ilk_onof.h"
#include "structure/t_struct_vl.h"
#include "schemes/t_mod_group.h"
#include "schemes/t_mod_page.h"

#include <QApplication>
#include <QTabBar>

using namespace nxkit;

namespace ilktest {
namespace {

// Page 1 with a breaker (Q1, counter 1) and a disconnector (QS1, 2); page 3 with a lamp (H1, 5).
const std::string drawing = R"(<sde version="1">
  <page number="1" title="Ячейка" width="160" height="100">
    <object counter="1" type="выключатель" x="40.7" y="50.2" w="6" h="12" name="Q1">
      <property name="положение">включен</property>
    </object>
    <object counter="2" type="разъединитель" x="80" y="50" w="6" h="12" name="QS1">
      <property name="положение">отключен</property>
    </object>
  </page>
  <page number="3" title="Сигналы" width="80" height="60">
    <object counter="5" type="лампа" x="20" y="20" w="6" h="6" name="H1">
      <property name="положение">горит</property>
    </object>
  </page>
</sde>
)";

class SchemeLive : public scheme_test {
protected:
    SchemeLive() {
        register_ilk_scheme_classes(*store);
        write_bytes(scheme_folder() + "ps1.sde", drawing);
        settings_clear_section("SHEMA_ZOOM");
        settings_clear_section("VIEW");
        types.load(dir.path() + "elements.ini");
    }

    // Signals s1_2_1 (Q1) and s1_2_2 (QS1) fed by fake objects; the scheme with `elements`
    // under page 1, group "выключатель".
    void load_with(const std::string& elements, const std::string& extra_signals = {}) {
        load(objects({"s1_2_1", "s1_2_2", "s1_2_7", "s1_2_8", "s1_2_10"}) +
             section("<ref tp=\"1\" num=\"1\" title=\"Q1\"/>\r\n"
                     "<ref tp=\"1\" num=\"2\" title=\"QS1\"/>\r\n"
                     "<ref tp=\"1\" num=\"7\" title=\"A\"/>\r\n"
                     "<ref tp=\"1\" num=\"8\" title=\"B\"/>\r\n"
                     "<ref tp=\"1\" num=\"10\" title=\"Десятый\"/>\r\n" +
                     extra_signals) +
             scheme(elements));
    }

    void feed(const std::string& object_key, double value) {
        source(object_key).set(value);
        store->mark_changed(object_key);
    }

    std::string source_listing(const std::string& signal_key) {
        return get<t_struct_vl>(store->signal_owner(signal_key)).listing_text();
    }
    std::string interlock_key(std::size_t i) {
        std::vector<std::string> keys;
        for (t_ref* r : store->refs().children(first_element))
            if (r->type() == tp_ilk)
                keys.push_back(r->key());
        return i < keys.size() ? keys[i] : std::string();
    }
    std::string interlock_name(std::size_t i) { return get<t_ilk>(interlock_key(i)).display_name(); }
    std::string blocker_text(std::size_t i) {
        for (t_ref* r : store->refs().children(interlock_key(i)))
            if (auto* b = dynamic_cast<t_ilk_onof*>(r))
                return b->explanation();
        return {};
    }

    temp_dir dir;
    element_type_table types;
    QWidget parent;
};

const char* const q1_rule = "<ref tp=\"82\" rtid=\"1\" disp=\"Q1\">\r\n"
                            "<ref tp=\"87\" par=\"положение\" on=\"включен\" of=\"отключен\">"
                            "<on>s1_2_1</on><of>!s1_2_1</of></ref>\r\n</ref>\r\n";

TEST_F(SchemeLive, SynchronisationAddsPagesGroupsAndElementsWithTheirNumbersAndNames) {
    // Q1 is configured; counter 9 is not drawn.
    load_with(std::string(q1_rule) + "<ref tp=\"82\" rtid=\"9\" disp=\"X\"/>\r\n");
    element(second_element).set_flag(true, flag_active_fixed);
    nx_ctrl_ax_modus50 host(*store, types, scheme_key, &parent);
    host.show(nullptr);

    t_element& q1 = element(first_element);
    ASSERT_TRUE(q1.kind());
    EXPECT_EQ(q1.kind()->name, "выключатель");
    EXPECT_TRUE(q1.drawn_on());
    EXPECT_EQ(q1.disp_name(), "Q1");
    EXPECT_EQ(q1.x(), 40);
    EXPECT_EQ(q1.y(), 50);
    EXPECT_FALSE(element(second_element).has_flag(flag_active_fixed));

    // Page 1 got a group "разъединитель" with QS1; page 3 was made with group "лампа" and H1.
    std::string made;
    for (t_ref* r : store->refs().under(scheme_key)) {
        if (auto* page = dynamic_cast<t_mod_page*>(r))
            made += "page " + std::to_string(page->rtid()) + " '" + page->page_title() + "';";
        else if (r->type() == tp_mod_group)
            made += "group " + r->title() + ";";
        else if (auto* e = dynamic_cast<t_element*>(r))
            made += "element " + std::to_string(e->rtid()) + " " + e->disp_name() + ";";
    }
    EXPECT_EQ(made, "page 1 'Ячейка';group выключатель;element 1 Q1;element 9 X;"
                    "group разъединитель;element 2 QS1;"
                    "page 3 'Сигналы';group лампа;element 5 H1;");
    // The drawn objects react to the mouse and carry the dispatcher name with two blanks.
    sde_object* o = host.control().first_object("счетчик", "2");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(host.control().property_value(*o, "реакция_на_мышь"), "есть");
    EXPECT_EQ(host.control().property_value(*o, "дисп_имя"), "QS1  ");
}

TEST_F(SchemeLive, NotifyChangedWritesPropertiesAndStylesInOneBatch) {
    load_with(q1_rule);
    nx_ctrl_ax_modus50 host(*store, types, scheme_key, &parent);
    host.show(nullptr);
    host.control().resize(800, 600);
    feed("D.0000", 0);
    store->update_pass();
    int before = host.control().repaint_requests();
    host.notify_changed(first_element);
    sde_object* o = host.control().first_object("счетчик", "1");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(host.control().property_value(*o, "положение"), "отключен");
    EXPECT_LE(host.control().repaint_requests() - before, 1);
    feed("D.0000", 1);
    store->update_pass();
    host.notify_changed(first_element);
    EXPECT_EQ(host.control().property_value(*o, "положение"), "включен");
    // Not under control any more: the style mark goes into the drawing.
    source("D.0000").set(1, false, false);
    store->mark_changed("D.0000");
    store->update_pass();
    host.notify_changed(first_element);
    EXPECT_NE(host.control().property_value(*o, "композитный_стиль").find("я06_not_control"),
              std::string::npos);
}

TEST_F(SchemeLive, MissingFileIsReportedWithItsPath) {
    load_with(q1_rule);
    std::remove((scheme_folder() + "ps1.sde").c_str());
    nx_ctrl_ax_modus50 host(*store, types, scheme_key, &parent);
    try {
        host.show(nullptr);
        FAIL() << "no exception";
    } catch (const nx_exception& e) {
        std::string text = e.what();
        EXPECT_NE(text.find(" файл схемы не найден:\r\n" + scheme_folder() + "ps1.sde"),
                  std::string::npos)
            << text;
    }
}

TEST_F(SchemeLive, ZoomStepsAndTheirStoredScale) {
    load_with(q1_rule);
    nx_ctrl_ax_modus50 host(*store, types, scheme_key, &parent);
    host.show(nullptr);
    EXPECT_DOUBLE_EQ(host.control().scale(), 1.0);
    EXPECT_FALSE(host.command_enabled(1));
    host.zoom_command(2);
    EXPECT_NEAR(host.control().scale(), 1.1, 1e-9);
    host.zoom_command(2);
    EXPECT_NEAR(host.control().scale(), 1.21, 1e-9);
    EXPECT_TRUE(host.command_enabled(1));
    EXPECT_NEAR(settings_get_double("SHEMA_ZOOM", host.doc_prefix() + "1", 0, false), 1.21, 1e-6);
    host.zoom_command(1);
    host.zoom_command(3);
    EXPECT_NEAR(host.control().scale(), 0.9, 1e-9);
    // A new host of the same scheme starts with the stored scale.
    nx_ctrl_ax_modus50 again(*store, types, scheme_key, &parent);
    again.show(nullptr);
    EXPECT_NEAR(again.control().scale(), 0.9, 1e-6);
}

TEST_F(SchemeLive, ScrollSettingsAreClamped) {
    settings_set_int("VIEW", "SCROLL_TIME", 5000);
    settings_set_int("VIEW", "SCROLL_STEP_COUNT", 0);
    scroll_settings s = read_scroll_settings();
    EXPECT_EQ(s.time_ms, 200);
    EXPECT_EQ(s.steps, 5);
    settings_set_int("VIEW", "SCROLL_TIME", 49);
    settings_set_int("VIEW", "SCROLL_STEP_COUNT", 21);
    s = read_scroll_settings();
    EXPECT_EQ(s.time_ms, 200);
    EXPECT_EQ(s.steps, 5);
    settings_set_int("VIEW", "SCROLL_TIME", 2000);
    settings_set_int("VIEW", "SCROLL_STEP_COUNT", 20);
    s = read_scroll_settings();
    EXPECT_EQ(s.time_ms, 2000);
    EXPECT_EQ(s.steps, 20);
}

TEST_F(SchemeLive, TwoTogglesWithin300msGiveOneOverview) {
    load_with(q1_rule);
    nx_ctrl_ax_modus50 host(*store, types, scheme_key, &parent);
    host.show(nullptr);
    host.control().resize(400, 300);
    host.zoom_command(3); // a scale the whole page is smaller than
    host.control().set_scale(4);
    host.overview_toggle(-1, -1, 10000);
    EXPECT_TRUE(host.zoomed_out());
    double overview = host.control().scale();
    EXPECT_LT(overview, 4);
    host.overview_toggle(100, 100, 10200); // too soon: ignored
    EXPECT_TRUE(host.zoomed_out());
    host.overview_toggle(100, 100, 10400);
    EXPECT_FALSE(host.zoomed_out());
    EXPECT_GT(host.control().scale(), overview);
}

// The interlock of the example: extra condition (P1 or R1) and !s1_2_7 and s1_2_8.
TEST_F(SchemeLive, ConditionLinesOfTheExample) {
    load_with(q1_rule);
    feed("D.0002", 0); // s1_2_7
    feed("D.0003", 1); // s1_2_8
    store->update_pass();
    auto lines = condition_lines(*store, "(P1 or R1) and !s1_2_7 and s1_2_8");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "\tотключен - сигнал A");
    EXPECT_TRUE(lines[0].checked);
    EXPECT_EQ(lines[1].text, " И\t включен - сигнал B");
    EXPECT_TRUE(lines[1].checked);
    feed("D.0002", 1);
    feed("D.0003", 0);
    store->update_pass();
    lines = condition_lines(*store, "(P1 or R1) and !s1_2_7 and s1_2_8");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FALSE(lines[0].checked);
    EXPECT_FALSE(lines[1].checked);
}

// Replacing keys as substrings turned s1_2_10 into the text of s1_2_1 followed by "0".
TEST_F(SchemeLive, ConditionLinesReplaceWholeSignalKeysOnly) {
    load_with(q1_rule);
    feed("D.0000", 1); // s1_2_1
    feed("D.0004", 0); // s1_2_10
    store->update_pass();
    auto lines = condition_lines(*store, "x and s1_2_10 and s1_2_1");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "\t включен - сигнал Десятый");
    EXPECT_FALSE(lines[0].checked); // s1_2_10 is 0
    EXPECT_EQ(lines[1].text, " И\t включен - сигнал Q1");
    EXPECT_TRUE(lines[1].checked);
    // Without "and" the text is kept whole.
    lines = condition_lines(*store, "s1_2_10 or s1_2_1");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "\tвключен - сигнал Десятый");
    EXPECT_EQ(lines[1].text, " or включен - сигнал Q1");
}

// Q1 with two interlocks: the first with the example's condition and a blocking element on
// QS1, the second with only the blocking element.
const char* const q1_and_qs1 =
    "<ref tp=\"82\" rtid=\"1\" disp=\"Q1\">\r\n"
    "<ref tp=\"87\" par=\"положение\" on=\"включен\" of=\"отключен\">"
    "<on>s1_2_1</on><of>!s1_2_1</of></ref>\r\n</ref>\r\n"
    "<ref tp=\"82\" rtid=\"2\" disp=\"QS1\">\r\n"
    "<ref tp=\"87\" par=\"положение\" on=\"включен\" of=\"отключен\">"
    "<on>s1_2_2</on><of>!s1_2_2</of></ref>\r\n</ref>\r\n";

// Two interlocks as the projection puts them under Q1 (the projection itself is run when a
// tab is shown, so they are inserted afterwards): the example's condition with a blocking
// element on QS1, and the blocking element alone.
const char* const q1_interlocks =
    "<ref tp=\"83\" title=\"Первое\"><expr>(P1 or R1) and !s1_2_7 and s1_2_8</expr>\r\n"
    "<ref tp=\"84\" rtid=\"2\" on=\"1\"/>\r\n</ref>\r\n"
    "<ref tp=\"83\" title=\"Второе\">\r\n<ref tp=\"84\" rtid=\"2\" on=\"1\"/>\r\n</ref>\r\n";

TEST_F(SchemeLive, ElementMenuWithTwoInterlocksHighlightsAndMarks) {
    load_with(q1_and_qs1);
    for (const char* k : {"D.0000", "D.0001", "D.0002", "D.0003"})
        feed(k, 0);
    feed("D.0003", 1);
    store->update_pass();
    nx_view_schema view(*store);
    view.on_load();
    nx_ctrl_ax_modus50* host = dynamic_cast<nx_ctrl_ax_modus50*>(view.display(scheme_key));
    ASSERT_NE(host, nullptr);
    store->insert_xml(first_element, q1_interlocks);
    store->update_pass();
    view.choose(first_element);

    scripted_prompt prompt;
    prompt.expect_menu(0);
    view.element_menu(0);
    ASSERT_EQ(prompt.menus().size(), 1u);
    const std::vector<menu_item>& items = prompt.menus()[0];
    std::string shown;
    for (const menu_item& i : items) {
        shown += i.separator ? "---" : std::to_string(i.command) + (i.checked ? "+" : "") + "[" +
                                          i.text + "]";
        shown += "\n";
        for (const menu_item& s : i.items)
            shown += "  " +
                     (s.separator ? "---" : std::to_string(s.command) + (s.checked ? "+" : "") +
                                                "[" + s.text + "]") +
                     "\n";
    }
    EXPECT_EQ(shown, "1[[ ОТКЛЮЧЕН ]\tQ1 - выключатель]\n"
                     "---\n"
                     "2[" + source_listing("s1_2_1") + "]\n"
                     "---\n"
                     "3[" + source_listing("s1_2_1") + "]\n"
                     "---\n"
                     "0+[\t" + interlock_name(0) + "]\n"
                     "  4[\tQ1 можно включать/отключать если:]\n"
                     "  ---\n"
                     "  0+[\tотключен - сигнал A]\n"
                     "  0+[ И\t включен - сигнал B]\n"
                     "  ---\n"
                     "  5+[И\t" + blocker_text(0) + "]\n"
                     "0+[ИЛИ\t" + interlock_name(1) + "]\n"
                     "  6[\tQ1 можно включать/отключать если:]\n"
                     "  ---\n"
                     "  7+[\t" + blocker_text(1) + "]\n");

    // The blocking element line of the second interlock: highlight it, mark QS1.
    view.element_menu(7);
    EXPECT_EQ(host->highlighted(), interlock_key(1));
    EXPECT_TRUE(host->marked());
    ASSERT_NE(host->control().marked(), nullptr);
    EXPECT_EQ(host->control().marked()->counter, 2);
    // The default line of the first one marks the element itself.
    view.element_menu(4);
    EXPECT_EQ(host->highlighted(), interlock_key(0));
    EXPECT_EQ(host->control().marked()->counter, 1);
}

TEST_F(SchemeLive, FirstClickAcknowledgesSecondOpensTheMenu) {
    load_with(q1_rule);
    feed("D.0000", 1);
    store->update_pass();
    auto& q1_signal = get<t_struct_vl>(store->signal_owner("s1_2_1"));
    q1_signal.set_flag(true, flag_unacknowledged);
    nx_view_schema view(*store);
    view.on_load();
    auto* host = dynamic_cast<nx_ctrl_ax_modus50*>(view.display(scheme_key));
    ASSERT_NE(host, nullptr);
    host->clicked(1);
    EXPECT_EQ(view.chosen(), first_element);
    EXPECT_FALSE(q1_signal.unacknowledged());
    EXPECT_TRUE(q1_signal.has_flag(flag_change_pending));

    scripted_prompt prompt;
    prompt.expect_menu(0);
    host->clicked(1);
    EXPECT_EQ(prompt.menus().size(), 1u);
}

TEST_F(SchemeLive, DispatcherQuestionOfADispatcherRule) {
    load_with("<ref tp=\"82\" rtid=\"1\" disp=\"Q1\">\r\n"
              "<ref tp=\"89\" ts=\"s1_2_1\" par=\"положение\" on=\"включен\" "
              "of=\"отключен\"/>\r\n</ref>\r\n");
    nx_view_schema view(*store);
    view.on_load();
    view.choose(first_element);
    auto* rule = dynamic_cast<t_el_disp*>(store->get(first_rule));
    ASSERT_NE(rule, nullptr);
    scripted_prompt prompt;
    prompt.expect("Диспетчер дал команду\r\n(s1_2_1)\r\n\"Q1\" ?", answer_yes);
    view.element_menu(0);
    EXPECT_TRUE(rule->commanded_on());
    prompt.expect("Диспетчер дал команду", answer_no);
    view.element_menu(0);
    EXPECT_FALSE(rule->commanded_on());
    prompt.expect("Диспетчер дал команду", answer_cancel);
    view.element_menu(0);
    EXPECT_FALSE(rule->commanded_on());
    EXPECT_TRUE(prompt.menus().empty());
}

TEST_F(SchemeLive, TabStripWithOneAndTwoSchemesLockAndMissingFile) {
    write_bytes(scheme_folder() + "ps2.sde", drawing);
    load(scheme(q1_rule).substr(0, scheme(q1_rule).size() - 8) +
         "<ref tp=\"81\" name=\"ps2\"/>\r\n</ref>\r\n");
    nx_view_schema view(*store);
    view.on_load();
    EXPECT_EQ(view.tab_bar()->count(), 2);
    EXPECT_FALSE(view.tab_bar()->isHidden());
    // Locking the second scheme in the editor removes its tab; unlocking brings it back.
    const std::string second = "S.0001";
    store->find(second).set_flag(true, flag_locked);
    store->mark_changed(second);
    store->update_pass();
    EXPECT_EQ(view.tab_bar()->count(), 1);
    EXPECT_TRUE(view.tab_bar()->isHidden());
    store->find(second).set_flag(false, flag_locked);
    store->mark_changed(second);
    store->update_pass();
    EXPECT_EQ(view.tab_bar()->count(), 2);

    // A missing file: no tab, an error box after the pass, no lock saved into refs.ini.
    std::remove((scheme_folder() + "ps2.sde").c_str());
    scripted_prompt prompt;
    prompt.expect(" файл схемы не найден:\r\n", answer_ok);
    view.on_load();
    EXPECT_EQ(view.tab_bar()->count(), 1);
    QApplication::processEvents();
    EXPECT_EQ(prompt.pending(), 0u);
    EXPECT_FALSE(store->find(second).has_flag(flag_locked));
}

} // namespace
} // namespace ilktest
