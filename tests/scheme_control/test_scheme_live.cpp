// The fixture names a parameter "signals": it comes before any Qt header.
#include "tests/schemes/schemes_fixture.h"

#include "base/files.h"
#include "base/nx_exception.h"
#include "base/settings.h"
#include "config/ref_editing.h"
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
#include <QKeyEvent>
#include <QMouseEvent>
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
    std::string interlock_name(std::size_t i) {
        return get<t_ilk>(interlock_key(i)).display_name();
    }
    std::string blocker_text(std::size_t i) {
        for (t_ref* r : store->refs().children(interlock_key(i)))
            if (auto* b = dynamic_cast<t_ilk_onof*>(r))
                return b->explanation();
        return {};
    }

    // "+" when the blocking element of interlock i permits (its own check decides).
    std::string blocker_mark(std::size_t i) {
        for (t_ref* r : store->refs().children(interlock_key(i)))
            if (auto* b = dynamic_cast<t_ilk_onof*>(r)) {
                style_map styles;
                return b->check(styles) ? "+" : "";
            }
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
    // A second page whose only element (counter 7) has left the drawing.
    store->insert_xml(scheme_key,
                      "<ref tp=\"85\" rtid=\"2\" disp=\"Стр2\">\r\n"
                      "<ref tp=\"86\" title=\"лампа\">\r\n"
                      "<ref tp=\"82\" rtid=\"7\" disp=\"H7\"/>\r\n</ref>\r\n</ref>\r\n");
    const std::string gone_group = "S.0000.0001.0000";
    ASSERT_TRUE(store->find(gone_group).has_flag(flag_no_delete));
    nx_ctrl_ax_modus50 host(*store, types, scheme_key, &parent);
    host.show(nullptr);

    t_element& q1 = element(first_element);
    ASSERT_TRUE(q1.kind());
    EXPECT_EQ(q1.kind()->name, "выключатель");
    EXPECT_TRUE(q1.drawn_on());
    EXPECT_EQ(q1.disp_name(), "Q1");
    EXPECT_EQ(q1.x(), 40);
    EXPECT_EQ(q1.y(), 50);
    // `fixed` (cannot be deleted) stays while the object is drawn, goes with it.
    EXPECT_TRUE(q1.has_flag(flag_no_delete));
    EXPECT_FALSE(element(second_element).has_flag(flag_no_delete));
    // A group whose first element is drawn shows that element's type; one whose first
    // element is gone shows 1438 and may be deleted.
    auto& drawn_group = get<t_mod_group>(group_key);
    EXPECT_EQ(drawn_group.image(), q1.kind()->image_off);
    EXPECT_NE(drawn_group.image(), 1438);
    EXPECT_TRUE(drawn_group.has_flag(flag_no_delete));
    auto& gone = get<t_mod_group>(gone_group);
    EXPECT_EQ(gone.image(), 1438);
    EXPECT_FALSE(gone.has_flag(flag_no_delete));

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
                    "page 2 'Стр2';group лампа;element 7 H7;"
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

// The guard measures an interval: a clock behind the last toggle (a wall clock set back used
// to block the overview for as long as it had gone back) lets the toggle through.
TEST_F(SchemeLive, OverviewToggleIsTakenWhenTheClockIsBehindTheLastOne) {
    load_with(q1_rule);
    nx_ctrl_ax_modus50 host(*store, types, scheme_key, &parent);
    host.show(nullptr);
    host.control().resize(400, 300);
    host.control().set_scale(4);
    host.overview_toggle(-1, -1, 1000000);
    ASSERT_TRUE(host.zoomed_out());
    host.overview_toggle(100, 100, 5000);
    EXPECT_FALSE(host.zoomed_out());
}

void send_mouse(QWidget* w, QEvent::Type type, QPoint at) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// The control reports pointer events over empty space, so a press there clears the element
// menu's red mark and leaves the overview, moving away from the last object leaves it, and so
// does Escape.
TEST_F(SchemeLive, EmptySpaceAndEscapeLeaveTheOverviewAndClearTheMark) {
    load_with(q1_rule);
    settings_set_int("VIEW", "SCROLL_STEP_COUNT", 1); // no animation to wait for
    parent.resize(1000, 800);
    parent.show();
    nx_ctrl_ax_modus50 host(*store, types, scheme_key, &parent);
    host.show(nullptr);
    host.window_handle()->show();
    host.control().resize(400, 300);
    QApplication::processEvents();
    host.control().set_scale(4);
    QWidget* view = host.control().view();

    // Q1 is marked from the element menu; a press on empty space clears the mark.
    host.show_component(first_element);
    host.mark(first_element);
    ASSERT_NE(host.control().marked(), nullptr);
    host.overview_toggle(-1, -1, 0); // in the overview, long enough ago
    ASSERT_TRUE(host.zoomed_out());
    send_mouse(view, QEvent::MouseButtonPress, QPoint(395, 295));
    QApplication::processEvents();
    EXPECT_FALSE(host.marked());
    EXPECT_EQ(host.control().marked(), nullptr);
    EXPECT_FALSE(host.zoomed_out());
    EXPECT_NEAR(host.control().scale(), 4, 1e-9);

    // A press on empty space outside the overview does not enter it. (Explicit times lie
    // behind the steady clock the events use.)
    host.overview_toggle(-1, -1, 1000);
    host.overview_toggle(200, 150, 2000); // out again
    ASSERT_FALSE(host.zoomed_out());
    send_mouse(view, QEvent::MouseButtonPress, QPoint(395, 295));
    QApplication::processEvents();
    EXPECT_FALSE(host.zoomed_out());

    // Over Q1 in the overview, then far from it: back at the saved scale.
    host.overview_toggle(-1, -1, 3000);
    ASSERT_TRUE(host.zoomed_out());
    const double overview = host.control().scale();
    const sde_object* q1 = host.control().first_object("счетчик", "1");
    ASSERT_NE(q1, nullptr);
    const QPoint on_q1(static_cast<int>(q1->x * 8 * overview) - host.control().scroll_x(),
                       static_cast<int>(q1->y * 8 * overview) - host.control().scroll_y());
    ASSERT_EQ(host.control().object_at(on_q1), q1);
    send_mouse(view, QEvent::MouseMove, on_q1);
    QApplication::processEvents();
    EXPECT_TRUE(host.zoomed_out());
    send_mouse(view, QEvent::MouseMove, on_q1 + QPoint(4, 0)); // still near it
    QApplication::processEvents();
    EXPECT_TRUE(host.zoomed_out());
    send_mouse(view, QEvent::MouseMove, QPoint(395, 295));
    QApplication::processEvents();
    EXPECT_FALSE(host.zoomed_out());

    // Escape in the view.
    host.overview_toggle(-1, -1, 4000);
    ASSERT_TRUE(host.zoomed_out());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(view->parentWidget(), &escape);
    EXPECT_FALSE(host.zoomed_out());
}

// "По ширине" stores -1, not the factor it gave: the page is fitted again when the view changes
// size and when the scheme is shown again.
TEST_F(SchemeLive, FitModesAreStoredAsCodesAndFollowTheViewSize) {
    load_with(q1_rule);
    parent.resize(1000, 800);
    parent.show();
    nx_ctrl_ax_modus50 host(*store, types, scheme_key, &parent);
    host.show(nullptr);
    host.window_handle()->show();
    host.control().resize(400, 300);
    QApplication::processEvents();
    const std::string key = host.doc_prefix() + "1";
    host.zoom_command(-1);
    EXPECT_EQ(settings_get_double("SHEMA_ZOOM", key, 1, false), -1);
    const double narrow = host.control().scale();
    host.control().resize(800, 300);
    QApplication::processEvents();
    EXPECT_GT(host.control().scale(), narrow * 1.5);
    host.zoom_command(-2);
    EXPECT_EQ(settings_get_double("SHEMA_ZOOM", key, 1, false), -2);
    host.zoom_command(0);
    EXPECT_EQ(settings_get_double("SHEMA_ZOOM", key, 1, false), 0);
    // A factor is stored as the factor.
    host.zoom_command(2);
    EXPECT_EQ(settings_get_double("SHEMA_ZOOM", key, 0, false), host.control().scale());
    EXPECT_GT(host.control().scale(), 0);

    // A restart: the stored width fit is resolved for the view the new host has.
    host.zoom_command(-1);
    nx_ctrl_ax_modus50 again(*store, types, scheme_key, &parent);
    again.window_handle()->resize(400, 300);
    again.show(nullptr);
    again.window_handle()->show();
    QApplication::processEvents();
    EXPECT_EQ(again.control().page_fit(0), fit_width);
    EXPECT_NEAR(again.control().scale(), narrow, 1e-9);
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
const char* const q1_and_qs1 = "<ref tp=\"82\" rtid=\"1\" disp=\"Q1\">\r\n"
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
    feed("D.0001", 1); // QS1 on: the blocking elements permit
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
        shown += i.separator
                     ? "---"
                     : std::to_string(i.command) + (i.checked ? "+" : "") + "[" + i.text + "]";
        shown += "\n";
        for (const menu_item& s : i.items)
            shown += "  " +
                     (s.separator ? "---"
                                  : std::to_string(s.command) + (s.checked ? "+" : "") + "[" +
                                        s.text + "]") +
                     "\n";
    }
    EXPECT_EQ(shown, "1[[ ОТКЛЮЧЕН ]\tQ1 - выключатель]\n"
                     "---\n"
                     "2[" +
                         source_listing("s1_2_1") +
                         "]\n"
                         "---\n"
                         "3[" +
                         source_listing("s1_2_1") +
                         "]\n"
                         "---\n"
                         "0" +
                         blocker_mark(0) + "[\t" + interlock_name(0) +
                         "]\n"
                         "  4[\tQ1 можно включать/отключать если:]\n"
                         "  ---\n"
                         "  0+[\tотключен - сигнал A]\n"
                         "  0+[ И\t включен - сигнал B]\n"
                         "  ---\n"
                         "  5" +
                         blocker_mark(0) + "[И\t" + blocker_text(0) +
                         "]\n"
                         "0" +
                         blocker_mark(1) + "[ИЛИ\t" + interlock_name(1) +
                         "]\n"
                         "  6[\tQ1 можно включать/отключать если:]\n"
                         "  ---\n"
                         "  7" +
                         blocker_mark(1) + "[\t" + blocker_text(1) + "]\n");

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
    recording_access audit;
    host->clicked(1);
    EXPECT_EQ(view.chosen(), first_element);
    EXPECT_FALSE(q1_signal.unacknowledged());
    EXPECT_TRUE(q1_signal.has_flag(flag_change_pending));
    // Acknowledged on the scheme as in the journal: the action journal records it.
    EXPECT_EQ(audit.lines, (std::vector<std::string>{"квитирование на схеме|" + q1_signal.key()}));

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
    recording_access audit;
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
    // Each command forces the signal like a manual input; a cancelled one records nothing.
    EXPECT_EQ(audit.lines, (std::vector<std::string>{"команда диспетчера на схеме|s1_2_1 = 1",
                                                     "команда диспетчера на схеме|s1_2_1 = 0"}));
}

// A new title of a shown scheme reaches its tab in the same update pass (it waited for the
// next load).
TEST_F(SchemeLive, ChangingASchemesOwnKeyRetitlesItsTabAtOnce) {
    write_bytes(scheme_folder() + "ps2.sde", drawing);
    load(scheme(q1_rule).substr(0, scheme(q1_rule).size() - 8) +
         "<ref tp=\"81\" name=\"ps2\"/>\r\n</ref>\r\n");
    nx_view_schema view(*store);
    view.on_load();
    ASSERT_EQ(view.tab_bar()->count(), 2);
    EXPECT_EQ(view.tab_bar()->tabText(1).toStdString(), "ps2");
    store->find("S.0001").set_title("Вторая");
    store->mark_changed("S.0001");
    store->update_pass();
    EXPECT_EQ(view.tab_bar()->tabText(1).toStdString(), "Вторая");
    EXPECT_EQ(view.tab_bar()->count(), 2);
}

// Every page, group and element the drawings add goes in as one batch of the store: the
// version line of a load is written once, not once per insertion (33 lines on the demo).
TEST_F(SchemeLive, ShowingSchemesInsertsInOneBatchAndLogsTheVersionOnce) {
    write_bytes(scheme_folder() + "ps2.sde", drawing);
    load(scheme(q1_rule).substr(0, scheme(q1_rule).size() - 8) +
         "<ref tp=\"81\" name=\"ps2\"/>\r\n</ref>\r\n");
    const std::string log = open_scheme_log();
    store->load();
    nx_view_schema view(*store);
    view.on_load();
    EXPECT_FALSE(store->batch());
    int elements = 0;
    for (t_ref* r : store->refs().under("S"))
        elements += r->type() == tp_element ? 1 : 0;
    EXPECT_EQ(elements, 6); // three drawn objects in each of the two schemes
    const std::string text = nxkit::from_cp1251(read_bytes(log));
    const std::string line = "Версия формата конфигурации 1";
    const std::size_t first = text.find(line);
    EXPECT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find(line, first + 1), std::string::npos) << text;

    // Nested batch scopes: the inner one leaves the batch to the outer one.
    {
        batch_scope outer(*store);
        { batch_scope inner(*store); }
        EXPECT_TRUE(store->batch());
    }
    EXPECT_FALSE(store->batch());
}

// A scheme that comes into the view outside an update pass: the pass that ends its host's
// synchronisation reports the scheme's own key before the display is entered. Run between the
// insertions, that opened the scheme a second time inside the first and made elements twice.
TEST_F(SchemeLive, ASchemeIsOpenedOnceWhileItsDisplayIsMade) {
    write_bytes(scheme_folder() + "ps2.sde", drawing);
    load(scheme(q1_rule).substr(0, scheme(q1_rule).size() - 8) +
         "<ref tp=\"81\" name=\"ps2\" lock=\"1\"/>\r\n</ref>\r\n");
    nx_view_schema view(*store);
    view.on_load();
    ASSERT_EQ(view.tab_bar()->count(), 1);
    store->find("S.0001").set_flag(false, flag_locked);
    view.on_changed("S.0001");
    view.on_changes_done();
    EXPECT_EQ(view.tab_bar()->count(), 2);
    std::set<int> counters;
    int elements = 0;
    for (t_ref* r : store->refs().under("S.0001"))
        if (auto* e = dynamic_cast<t_element*>(r)) {
            ++elements;
            counters.insert(e->rtid());
        }
    EXPECT_EQ(elements, 3);
    EXPECT_EQ(counters, (std::set<int>{1, 2, 5}));
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

namespace ilktest {
namespace {

// After the scheme editor saved the file: an object new to the file becomes an element, one
// removed from it loses its fixed mark, as when the display opens the file anew.
TEST_F(SchemeLive, ReopeningAfterASaveTakesNewAndRemovedObjects) {
    load_with(q1_rule);
    nx_view_schema view(*store);
    view.on_load();
    auto counters = [&] {
        std::map<int, bool> fixed;
        for (t_ref* r : store->refs().under("S.0000"))
            if (auto* e = dynamic_cast<t_element*>(r))
                fixed[e->rtid()] = e->has_flag(flag_no_delete);
        return fixed;
    };
    EXPECT_EQ(counters(), (std::map<int, bool>{{1, true}, {2, true}, {5, true}}));
    std::string changed = drawing;
    // QS1 (2) goes, a lamp H2 (9) comes on page 3.
    const std::size_t qs1 = changed.find("    <object counter=\"2\"");
    changed.erase(qs1, changed.find("</object>", qs1) + 10 - qs1);
    changed.replace(changed.find("  </page>\n</sde>"), 0,
                    "    <object counter=\"9\" type=\"лампа\" x=\"40\" y=\"20\" w=\"6\" h=\"6\" "
                    "name=\"H2\"/>\n");
    write_bytes(scheme_folder() + "ps1.sde", changed);
    view.reopen("S.0000");
    EXPECT_EQ(counters(), (std::map<int, bool>{{1, true}, {2, false}, {5, true}, {9, true}}));
    EXPECT_FALSE(store->batch());
}

TEST_F(SchemeLive, TheSchemeTabOffersTheEditorInEditModeOnly) {
    write_bytes(scheme_folder() + "ps2.sde", drawing);
    load(scheme(q1_rule).substr(0, scheme(q1_rule).size() - 8) +
         "<ref tp=\"81\" name=\"ps2\"/>\r\n</ref>\r\n");
    nx_view_schema view(*store);
    view.on_load();
    ASSERT_EQ(view.tab_bar()->count(), 2);
    EXPECT_TRUE(view.tab_menu_items(1).empty());
    store->set_edit_mode(true);
    const std::vector<menu_item> items = view.tab_menu_items(1);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, "Редактировать схему");
    EXPECT_EQ(items[0].command, 1);
    EXPECT_TRUE(items[0].enabled);
    EXPECT_TRUE(view.tab_menu_items(2).empty());
    store->set_edit_mode(false);
}

} // namespace
} // namespace ilktest
