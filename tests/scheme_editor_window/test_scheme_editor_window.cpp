#include "schemes/editor_window/scheme_editor_window.h"

#include "base/files.h"
#include "schemes/control/sde_document.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace nxkit;

namespace {

class qt_environment : public testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new qt_environment);

// A breaker (3) and a disconnector (5) one above the other, a lamp (4), a busbar (1), one wire
// from the busbar to the disconnector's top; a second page with two objects sharing a name.
const char* const bay = R"(<?xml version="1.0" encoding="UTF-8"?>
<sde version="1" units="mm">
  <page number="1" title="Ячейка" width="120" height="120">
    <object counter="1" type="шина" x="50" y="10" w="80" h="2" name="1СШ"/>
    <object counter="5" type="разъединитель" x="30" y="30" w="6" h="12" name="QS1"/>
    <object counter="3" type="выключатель" x="30" y="60" w="6" h="12" name="Q1"/>
    <object counter="4" type="лампа" x="80" y="80" w="4" h="4"/>
    <polyline points="30,10 30,24" from="1:@20" to="5:1"/>
  </page>
  <page number="2" title="Вторая" width="120" height="120">
    <object counter="7" type="лампа" x="20" y="20" w="4" h="4" name="HL"/>
    <object counter="8" type="лампа" x="40" y="20" w="4" h="4" name="HL"/>
  </page>
</sde>
)";

std::unique_ptr<scheme_editor_window> window_on(const std::string& text,
                                                const std::string& path = "/tmp/none.sde") {
    auto w =
        std::make_unique<scheme_editor_window>(scheme_document(read_sde(text, "bay.sde")), path);
    w->resize(1000, 700);
    w->canvas()->resize(800, 600);
    return w;
}

const sde_object* object_with(const sde_page& p, int counter) {
    for (const sde_object& o : p.objects)
        if (o.counter == counter)
            return &o;
    return nullptr;
}

void click(QWidget* w, QPointF at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, mods);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, mods);
    QApplication::sendEvent(w, &release);
}

void move_to(QWidget* w, QPointF at, Qt::MouseButtons buttons = Qt::NoButton) {
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

bool near(QColor a, QColor e, int tolerance = 40) {
    return std::abs(a.red() - e.red()) <= tolerance &&
           std::abs(a.green() - e.green()) <= tolerance &&
           std::abs(a.blue() - e.blue()) <= tolerance;
}

} // namespace

TEST(SchemeEditorWindow, PaletteListsEveryKnownTypeWithItsSymbol) {
    auto w = window_on(bay);
    std::vector<std::string> listed;
    for (int i = 0; i < w->palette()->count(); ++i)
        listed.push_back(w->palette()->item(i)->data(Qt::UserRole).toByteArray().toStdString());
    for (const std::string& type : known_type_names())
        EXPECT_NE(std::find(listed.begin(), listed.end(), type), listed.end()) << type;
    for (const symbol_states& s : known_symbols())
        EXPECT_NE(std::find(listed.begin(), listed.end(), s.type), listed.end()) << s.type;
    EXPECT_EQ(listed.size(), palette_types().size());

    // The breaker's icon is its symbol: a square outline, empty in its middle (off).
    const QImage icon = palette_icon("выключатель", 32);
    int inked = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            inked += qAlpha(icon.pixel(x, y)) > 128;
    EXPECT_GT(inked, 20);
    EXPECT_LT(inked, 32 * 32 / 2);
}

TEST(SchemeEditorWindow, DropAddsAnObjectWithTheNextCounterOnTheGrid) {
    auto w = window_on(bay);
    const std::string before = w->session().document().text();
    editor_canvas* c = w->canvas();
    // 41.3 mm, 48.8 mm on the page → 42.5, 50 on the 2.5 mm grid.
    const QPointF at = c->view().to_pixel({41.3, 48.8});
    QMimeData data;
    data.setData(element_type_mime, QByteArray("разъединитель"));
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(c, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(c, &drop);

    const sde_page& p = w->session().document().scheme().pages[0];
    // Counters 1 to 8 are taken on the two pages.
    const sde_object* added = object_with(p, 9);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->type_name, "разъединитель");
    EXPECT_EQ(added->x, 42.5);
    EXPECT_EQ(added->y, 50);
    EXPECT_EQ(added->value("положение"), "отключен");
    // It is selected, and the panel shows it.
    ASSERT_NE(w->session().selected_object(), nullptr);
    EXPECT_EQ(w->session().selected_object()->counter, 9);
    EXPECT_EQ(w->properties()->item(0, 1)->text(), QString("9"));
    // A second drop on another page takes the next counter of the file, not of the page.
    w->session().show_page(1);
    EXPECT_EQ(w->session().drop("лампа", {10, 10}), 10);
    w->action("undo")->trigger();
    w->action("undo")->trigger();
    EXPECT_EQ(w->session().document().text(), before);
}

TEST(SchemeEditorWindow, AWireDrawnBetweenTerminalsAttachesBothEnds) {
    auto w = window_on(bay);
    editor_canvas* c = w->canvas();
    w->action("tool_wire")->trigger();
    ASSERT_EQ(c->tool(), editor_tool::wire);
    const canvas_view& v = c->view();
    // Near the disconnector's lower terminal (30, 36), then a bend, then the breaker's top (30,
    // 54).
    click(c, v.to_pixel({30.4, 36.3}));
    ASSERT_TRUE(c->overlay().drawing_wire);
    move_to(c, v.to_pixel({30.2, 53.6}));
    ASSERT_TRUE(c->overlay().target.has_value());
    EXPECT_EQ(c->overlay().target->end.text(), "3:1");

    // While drawing, every terminal is ringed and the one under the pointer filled orange.
    const QImage image = c->grab_image();
    const QPoint target = v.to_pixel({30, 54}).toPoint();
    EXPECT_TRUE(near(image.pixelColor(target), QColor(230, 120, 0)))
        << image.pixelColor(target).name().toStdString();
    const QPoint empty = v.to_pixel({51.2, 41.2}).toPoint();
    EXPECT_TRUE(near(image.pixelColor(empty), QColor(255, 255, 255), 10));
    // The breaker's lower terminal (30, 66) is ringed green: a pixel on the ring, 3.5 px out.
    const QPointF lower = v.to_pixel({30, 66});
    bool ringed = false;
    for (int dx = -5; dx <= 5; ++dx)
        ringed = ringed || near(image.pixelColor(QPoint(int(lower.x()) + dx, int(lower.y()) - 4)),
                                QColor(0, 150, 60), 60);
    EXPECT_TRUE(ringed);

    click(c, v.to_pixel({30.2, 53.6}));
    EXPECT_FALSE(c->overlay().drawing_wire);
    const sde_page& p = w->session().document().scheme().pages[0];
    const sde_shape& wire = p.shapes.back();
    EXPECT_EQ(wire_from(wire).text(), "5:2");
    EXPECT_EQ(wire_to(wire).text(), "3:1");
    EXPECT_EQ(wire.coords, (std::vector<double>{30, 36, 30, 54}));

    // Moving the breaker drags the wire's end along.
    w->session().select_counter(3);
    w->session().move_selection(5, 0);
    const sde_shape& after = w->session().document().scheme().pages[0].shapes.back();
    EXPECT_EQ(after.coords, (std::vector<double>{30, 36, 35, 54}));
}

TEST(SchemeEditorWindow, AWireEndingOnAWireMakesAJunctionInOneStep) {
    auto w = window_on(bay);
    editor_canvas* c = w->canvas();
    w->action("tool_wire")->trigger();
    const canvas_view& v = c->view();
    const std::string before = w->session().document().text();
    // From the breaker's top (30, 54), bends on the grid near (45, 54) and (45, 17.4), then
    // onto the busbar's wire at 17.5.
    click(c, v.to_pixel({30, 54}));
    click(c, v.to_pixel({45.2, 54.1}));
    click(c, v.to_pixel({45, 17.4}));
    ASSERT_TRUE(c->overlay().drawing_wire); // empty places: bends
    click(c, v.to_pixel({30.3, 17.5}));
    EXPECT_FALSE(c->overlay().drawing_wire);
    const sde_page& p = w->session().document().scheme().pages[0];
    const auto nodes = junctions_of(p);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes.begin()->second.at, (point{30, 17.5}));
    const sde_shape& added = p.shapes.back();
    EXPECT_EQ(wire_from(added).text(), "3:1");
    EXPECT_EQ(wire_to(added).text(), "узел:1");
    EXPECT_EQ(added.coords, (std::vector<double>{30, 54, 45, 55, 45, 17.5, 30, 17.5}));
    // The busbar, the disconnector and the breaker's top are one electrical node now.
    bool joined = false;
    for (const electrical_node& n : electrical_nodes(p))
        joined = joined || (std::find(n.begin(), n.end(), terminal_ref{3, "1"}) != n.end() &&
                            std::find(n.begin(), n.end(), terminal_ref{5, "1"}) != n.end());
    EXPECT_TRUE(joined);
    w->action("undo")->trigger();
    EXPECT_EQ(w->session().document().text(), before);
}

TEST(SchemeEditorWindow, PanelEditsGoThroughTheDocumentsUndo) {
    auto w = window_on(bay);
    const std::string before = w->session().document().text();
    ASSERT_TRUE(w->session().select_counter(3));
    w->refresh();
    QTableWidget* t = w->properties();
    int name_row = -1, x_row = -1;
    for (int r = 0; r < t->rowCount(); ++r) {
        if (t->item(r, 0)->text() == QString::fromUtf8(panel::name))
            name_row = r;
        if (t->item(r, 0)->text() == QString::fromUtf8(panel::x))
            x_row = r;
    }
    ASSERT_GE(name_row, 0);
    ASSERT_GE(x_row, 0);
    EXPECT_EQ(t->item(name_row, 1)->text(), QString("Q1"));
    t->item(name_row, 1)->setText("Q2");
    EXPECT_EQ(object_with(w->session().document().scheme().pages[0], 3)->value("дисп_имя"), "Q2");
    t->item(x_row, 1)->setText("37,5"); // a comma as the operator types it
    EXPECT_EQ(object_with(w->session().document().scheme().pages[0], 3)->x, 37.5);

    ilktest::scripted_prompt prompt;
    prompt.expect("не является числом", answer_ok);
    w->refresh();
    t->item(x_row, 1)->setText("тридцать");
    EXPECT_EQ(prompt.seen().back().text,
              "Значение \"тридцать\" поля \"X, мм\" не является числом.");
    EXPECT_EQ(object_with(w->session().document().scheme().pages[0], 3)->x, 37.5);

    w->action("undo")->trigger();
    w->action("undo")->trigger();
    EXPECT_EQ(w->session().document().text(), before);
    EXPECT_FALSE(w->session().document().modified());

    // A shape's style: its fill, through the same panel.
    w->session().select({4});
    EXPECT_EQ(w->session().apply_property(panel::dash, "dot"), "");
    EXPECT_EQ(w->session().document().scheme().pages[0].shapes[0].dash, "dot");
    EXPECT_EQ(w->session().apply_property(panel::dash, "волна"),
              "Штрих: solid, dash, dot или dashdot.");
}

TEST(SchemeEditorWindow, DoubleClickOnAFindingSelectsItsObjectOnItsPage) {
    auto w = window_on(bay);
    scheme_references refs;
    refs.element_counters = {1, 3, 4, 5, 7, 8};
    refs.signal_names = {"1СШ", "QS1", "Q1", "HL"};
    w->set_references([refs] { return refs; });
    EXPECT_GT(w->run_checks(), 0u);
    int row = -1;
    for (int r = 0; r < w->findings()->count(); ++r)
        if (w->findings()->item(r)->text().startsWith("Стр. 2: ") && row < 0)
            row = r;
    ASSERT_GE(row, 0) << w->findings()->item(0)->text().toStdString();
    EXPECT_EQ(w->session().page_index(), 0u);
    emit w->findings()->itemDoubleClicked(w->findings()->item(row));
    EXPECT_EQ(w->session().page_index(), 1u);
    ASSERT_NE(w->session().selected_object(), nullptr);
    EXPECT_EQ(w->session().selected_object()->value("дисп_имя"), "HL");
    EXPECT_EQ(w->pages()->currentRow(), 1);
}

TEST(SchemeEditorWindow, ASaveThatFailsSaysWhyAndKeepsTheChanges) {
    ilktest::temp_dir dir;
    const std::string path = dir.path() + "нет/bay.sde";
    auto w = window_on(bay, path);
    w->session().document().rename_page(0, "Другая");
    ilktest::scripted_prompt prompt;
    prompt.expect("Схема не сохранена", answer_ok);
    EXPECT_FALSE(w->save());
    ASSERT_EQ(prompt.seen().size(), 1u);
    EXPECT_EQ(prompt.seen()[0].text, "Схема не сохранена: не удалось записать файл схемы '" + path +
                                         "': папка не найдена; прежний файл сохранен.");
    EXPECT_EQ(prompt.seen()[0].type, mb_error);
    EXPECT_TRUE(w->session().document().modified());
}

TEST(SchemeEditorWindow, AFileChangedOnDiskIsOverwrittenOnlyAfterAYes) {
    ilktest::temp_dir dir;
    const std::string path = dir.path() + "bay.sde";
    ilktest::write_bytes(path, bay);
    scheme_editor_window w(path);
    std::vector<std::string> reopened;
    w.set_on_saved([&](const std::string& p) { reopened.push_back(p); });
    w.session().document().rename_page(0, "Ячейка 2");
    ilktest::write_bytes(path, "changed elsewhere");

    ilktest::scripted_prompt prompt;
    prompt.expect("изменен на диске", answer_no);
    EXPECT_FALSE(w.save());
    EXPECT_EQ(prompt.seen().back().text, "Файл схемы '" + path +
                                             "' изменен на диске после открытия.\r\nЗаписать "
                                             "схему поверх этих изменений?");
    EXPECT_EQ(ilktest::read_bytes(path), "changed elsewhere");
    EXPECT_TRUE(reopened.empty());

    prompt.expect("изменен на диске", answer_yes);
    EXPECT_TRUE(w.save());
    EXPECT_EQ(ilktest::read_bytes(path), w.session().document().text());
    EXPECT_EQ(ilktest::read_bytes(path + ".1.bak"), "changed elsewhere");
    EXPECT_EQ(reopened, std::vector<std::string>{path});
    EXPECT_FALSE(w.session().document().modified());
}

TEST(SchemeEditorWindow, ClosingWithUnsavedChangesAsks) {
    auto w = window_on(bay);
    w->show();
    w->session().document().rename_page(0, "Ещё");
    ilktest::scripted_prompt prompt;
    prompt.expect("Сохранить изменения?", answer_cancel);
    EXPECT_FALSE(w->close());
    EXPECT_EQ(prompt.seen().back().text, "Схема '/tmp/none.sde' изменена.\r\nСохранить изменения?");
    prompt.expect("Сохранить изменения?", answer_no);
    EXPECT_TRUE(w->close());
}

TEST(SchemeEditorWindow, CopyAndPasteBetweenTwoWindowsGivesNewCounters) {
    auto a = window_on(bay);
    auto b = window_on(bay);
    b->session().show_page(1);
    // The disconnector, the breaker and a wire between them.
    a->session().draw_wire(wire_end::parse("5:2"), wire_end::parse("3:1"), {});
    a->session().select({1, 2, 5});
    a->copy();
    ASSERT_TRUE(QApplication::clipboard()->mimeData()->hasFormat(scheme_items_mime));
    b->paste();
    const sde_page& p = b->session().document().scheme().pages[1];
    ASSERT_EQ(p.objects.size(), 4u);
    EXPECT_EQ(p.objects[2].counter, 9);
    EXPECT_EQ(p.objects[2].type_name, "разъединитель");
    EXPECT_EQ(p.objects[3].counter, 10);
    // Moved by two grid steps, and the wire joins the copies.
    EXPECT_EQ(p.objects[2].x, 35);
    ASSERT_EQ(p.shapes.size(), 1u);
    EXPECT_EQ(wire_from(p.shapes[0]).text(), "9:2");
    EXPECT_EQ(wire_to(p.shapes[0]).text(), "10:1");
    EXPECT_EQ(b->session().selection().size(), 3u);
    // Text that is no scheme is not pasted.
    EXPECT_FALSE(b->session().paste_text("<html/>"));
}

TEST(SchemeEditorWindow, ADragPaintsWhatTheMoveWillLeave) {
    auto w = window_on(bay);
    editor_session& s = w->session();
    ASSERT_TRUE(s.select_counter(5));
    canvas_view v;
    v.scale = 1;
    const QSize size(1000, 1000);
    paint_context context;
    canvas_overlay overlay;
    overlay.show_grid = false;
    drag_preview drag;
    drag.begin(s, v, size, context, false);
    QImage dragged(size, QImage::Format_RGB32);
    {
        QPainter p(&dragged);
        paint_canvas(p, size, s, v, overlay, context, &drag, 20, 10);
    }
    drag.end();
    s.move_selection(20, 10);
    QImage moved(size, QImage::Format_RGB32);
    {
        QPainter p(&moved);
        paint_canvas(p, size, s, v, overlay, context);
    }
    // The disconnector is gone from its old place and drawn at the new one, and the wire from
    // the busbar now ends at its moved terminal, in both pictures alike (the resize handle,
    // hidden while dragging, is the difference).
    int differing = 0;
    for (int y = 0; y < 1000; y += 2)
        for (int x = 0; x < 1000; x += 2)
            differing += !near(dragged.pixelColor(x, y), moved.pixelColor(x, y), 60);
    EXPECT_LT(differing, 40);
    const QPoint old_centre = v.to_pixel({30, 30}).toPoint();
    EXPECT_TRUE(near(moved.pixelColor(old_centre), QColor(255, 255, 255)))
        << moved.pixelColor(old_centre).name().toStdString();
    // The wire's moved end: a pixel of the wire's blue on the segment towards (50, 34).
    const QPoint on_wire = v.to_pixel({50, 34 - 0.3}).toPoint();
    bool blue = false;
    for (int dy = -3; dy <= 3; ++dy)
        blue = blue || (dragged.pixelColor(on_wire + QPoint(0, dy)).blue() > 150 &&
                        dragged.pixelColor(on_wire + QPoint(0, dy)).red() < 100);
    EXPECT_TRUE(blue);
}

TEST(SchemeEditorWindow, KeysAndActionsActOnTheSelection) {
    auto w = window_on(bay);
    editor_canvas* c = w->canvas();
    ASSERT_TRUE(w->session().select_counter(4));
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(c, &right);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(c, &up);
    const sde_object* lamp = object_with(w->session().document().scheme().pages[0], 4);
    EXPECT_EQ(lamp->x, 82.5);
    EXPECT_EQ(lamp->y, 77.5);
    // A click selects, Shift+click adds, a band selects what lies wholly inside it.
    w->action("tool_select")->trigger();
    click(c, c->view().to_pixel({30, 60}));
    EXPECT_EQ(w->session().selection(), std::vector<std::size_t>{2});
    click(c, c->view().to_pixel({30, 30}), Qt::ShiftModifier);
    EXPECT_EQ(w->session().selection(), (std::vector<std::size_t>{1, 2}));
    w->session().select_in({20, 20, 40, 70}, false);
    EXPECT_EQ(w->session().selection(), (std::vector<std::size_t>{1, 2}));
    w->action("align_left")->trigger();
    w->action("rotate")->trigger();
    EXPECT_EQ(object_with(w->session().document().scheme().pages[0], 3)->rotation, 90);
    w->action("duplicate")->trigger();
    EXPECT_EQ(w->session().document().scheme().pages[0].objects.size(), 6u);
    w->action("delete")->trigger();
    EXPECT_EQ(w->session().document().scheme().pages[0].objects.size(), 4u);
    EXPECT_FALSE(w->action("bind")->isEnabled());
    std::vector<int> bound;
    w->set_bind([&](const std::vector<int>& counters) { bound = counters; });
    w->session().select({1, 2, 4});
    w->refresh();
    ASSERT_TRUE(w->action("bind")->isEnabled());
    w->action("bind")->trigger();
    EXPECT_EQ(bound, (std::vector<int>{5, 3})); // the wire is no object
}

namespace {

void drag(QWidget* w, QPointF from, QPointF to) {
    QMouseEvent press(QEvent::MouseButtonPress, from, w->mapToGlobal(from), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    move_to(w, (from + to) / 2, Qt::LeftButton);
    move_to(w, to, Qt::LeftButton);
    QMouseEvent release(QEvent::MouseButtonRelease, to, w->mapToGlobal(to), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

} // namespace

TEST(SchemeEditorWindow, FiguresTakeTheChosenStyleAndTheGrid) {
    auto w = window_on(bay);
    editor_canvas* c = w->canvas();
    const canvas_view& v = c->view();
    w->session().style = {"красный", 0.7, "dash", "желтый"};
    w->action("tool_rect")->trigger();
    drag(c, v.to_pixel({60.4, 60.2}), v.to_pixel({74.6, 69.9}));
    const sde_page& p = w->session().document().scheme().pages[0];
    ASSERT_EQ(p.shapes.size(), 2u);
    const sde_shape& r = p.shapes[1];
    EXPECT_EQ(r.kind, sde_shape::rect);
    EXPECT_EQ(r.coords, (std::vector<double>{60, 60, 15, 10}));
    EXPECT_EQ(r.color, "красный");
    EXPECT_EQ(r.width, 0.7);
    EXPECT_EQ(r.dash, "dash");
    EXPECT_EQ(r.fill, "желтый");

    // A polyline: three clicks, the last one doubled, on the grid; no fill.
    w->action("tool_polyline")->trigger();
    click(c, v.to_pixel({10.1, 90}));
    click(c, v.to_pixel({20, 99.9}));
    click(c, v.to_pixel({30, 90.2}));
    QMouseEvent twice(QEvent::MouseButtonDblClick, v.to_pixel({30, 90.2}),
                      c->mapToGlobal(v.to_pixel({30, 90.2})), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(c, &twice);
    ASSERT_EQ(p.shapes.size(), 3u);
    EXPECT_EQ(p.shapes[2].kind, sde_shape::polyline);
    EXPECT_EQ(p.shapes[2].coords, (std::vector<double>{10, 90, 20, 100, 30, 90}));
    EXPECT_EQ(p.shapes[2].fill, "");
    EXPECT_FALSE(is_wire(p.shapes[2]));

    // Moving with the mouse goes by whole grid steps and is one undo step.
    const std::string before = w->session().document().text();
    w->action("tool_select")->trigger();
    drag(c, v.to_pixel({80, 80}), v.to_pixel({86.1, 74.1}));
    const sde_object* lamp = object_with(w->session().document().scheme().pages[0], 4);
    EXPECT_EQ(lamp->x, 85);
    EXPECT_EQ(lamp->y, 75);
    w->action("undo")->trigger();
    EXPECT_EQ(w->session().document().text(), before);
}

TEST(SchemeEditorWindow, TheDispatcherNameIsEditedInPlace) {
    auto w = window_on(bay);
    editor_canvas* c = w->canvas();
    w->show();
    ASSERT_TRUE(w->session().select_counter(3));
    // A double click on the object opens the editor beside it.
    const QPointF at = c->view().to_pixel({30, 60});
    QMouseEvent press(QEvent::MouseButtonPress, at, c->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(c, &press);
    QMouseEvent twice(QEvent::MouseButtonDblClick, at, c->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(c, &twice);
    ASSERT_TRUE(c->name_editor()->isVisible());
    EXPECT_EQ(c->name_editor()->text(), QString("Q1"));
    c->name_editor()->setText("Q10");
    emit c->name_editor()->editingFinished();
    EXPECT_FALSE(c->name_editor()->isVisible());
    EXPECT_EQ(object_with(w->session().document().scheme().pages[0], 3)->value("дисп_имя"), "Q10");
    EXPECT_EQ(w->properties()->item(2, 1)->text(), QString("Q10"));
    w->action("undo")->trigger();
    EXPECT_EQ(object_with(w->session().document().scheme().pages[0], 3)->value("дисп_имя"), "Q1");
}

TEST(SchemeEditorWindow, UnconnectedTerminalsAreRingedOnRequest) {
    auto w = window_on(bay);
    editor_canvas* c = w->canvas();
    const canvas_view& v = c->view();
    // The disconnector's top is wired, its bottom and both of the breaker's are not.
    std::vector<std::string> free;
    for (const terminal_hit& t : w->session().unconnected_terminals())
        free.push_back(t.end.text());
    EXPECT_EQ(free, (std::vector<std::string>{"5:2", "3:1", "3:2"}));
    auto red_near = [&](const QImage& image, point at) {
        const QPointF centre = v.to_pixel(at);
        int red = 0;
        for (int dy = -6; dy <= 6; ++dy)
            for (int dx = -6; dx <= 6; ++dx) {
                const QColor pixel = image.pixelColor(int(centre.x()) + dx, int(centre.y()) + dy);
                red += pixel.red() > 180 && pixel.green() < 80 && pixel.blue() < 80;
            }
        return red;
    };
    // The breaker's own symbol may be red (on): sample the disconnector's free lower end and
    // its wired upper end, both off (green).
    EXPECT_EQ(red_near(c->grab_image(), {30, 36}), 0);
    w->action("unconnected")->trigger();
    ASSERT_TRUE(c->show_unconnected());
    const QImage ringed = c->grab_image();
    EXPECT_GT(red_near(ringed, {30, 36}), 5);
    EXPECT_EQ(red_near(ringed, {30, 24}), 0);
}

TEST(SchemeEditorWindow, ABusbarTakesAWireAnywhereAlongItOnTheGrid) {
    editor_session s(scheme_document(read_sde(bay, "bay.sde")));
    // The busbar runs from x 10 to 90 at y 10; 61.3 mm is 51.3 mm from its left end → 52.5.
    const auto hit = s.terminal_at({61.3, 10.4}, 1.0);
    ASSERT_TRUE(hit.has_value());
    EXPECT_EQ(hit->end.text(), "1:@52.5");
    EXPECT_EQ(hit->at, (point{62.5, 10}));
    // A terminal of a device is preferred to the busbar under it.
    EXPECT_EQ(s.terminal_at({30.2, 23.8}, 1.0)->end.text(), "5:1");
    EXPECT_FALSE(s.terminal_at({50, 40}, 1.0).has_value());
    s.draw_wire(hit->end, wire_end::parse("3:1"), {{62.5, 54}});
    const sde_shape& w = s.document().scheme().pages[0].shapes.back();
    EXPECT_EQ(w.coords, (std::vector<double>{62.5, 10, 62.5, 54, 30, 54}));
    // Rotating the breaker in place drags the wire's end to its turned terminal.
    s.select_counter(3);
    s.rotate_selection();
    const sde_shape& turned = s.document().scheme().pages[0].shapes.back();
    EXPECT_EQ(turned.coords[4], 36); // terminal 1 of the turned breaker: 6 mm right of centre
    EXPECT_EQ(turned.coords[5], 60);
}

TEST(SchemeEditorWindow, VoltageClassesAreSetOnBusbarWireAndPage) {
    editor_session s(scheme_document(read_sde(bay, "bay.sde")));
    const std::string before = s.document().text();
    auto row = [&](const std::string& name) {
        for (const property_row& r : s.property_rows())
            if (r.name == name)
                return r.value;
        return std::string("(нет строки)");
    };
    // The page lists the usual colours; a colour of its own is written into the page.
    EXPECT_EQ(row("Цвет класса 110 кВ"), "#00b4c8");
    EXPECT_NE(row("Цвет класса 0,4 кВ"), "(нет строки)");
    EXPECT_EQ(s.apply_property("Цвет класса 110 кВ", "#ff0000"), "");
    EXPECT_NE(s.document().text().find("<voltage_class kv=\"110\" color=\"#ff0000\"/>"),
              std::string::npos)
        << s.document().text();
    EXPECT_EQ(row("Цвет класса 110 кВ"), "#ff0000");

    // The busbar names its class; a text that is no class is refused with the reason.
    s.select_counter(1);
    EXPECT_EQ(row(panel::voltage_class), "");
    EXPECT_EQ(s.apply_property(panel::voltage_class, "сто"),
              "Класс напряжения - число киловольт больше нуля, например 110 или 0,4.");
    EXPECT_EQ(s.apply_property(panel::voltage_class, "110"), "");
    EXPECT_NE(s.document().text().find("name=\"1СШ\" kv=\"110\"/>"), std::string::npos)
        << s.document().text();

    // So does the wire (the page's entry went first, so the wire is its last item).
    s.select({s.document().scheme().pages[0].order.size() - 1});
    EXPECT_EQ(row(panel::voltage_class), "");
    EXPECT_EQ(s.apply_property(panel::voltage_class, "110"), "");
    EXPECT_NE(s.document().text().find("to=\"5:1\" kv=\"110\"/>"), std::string::npos)
        << s.document().text();
    // An empty class takes the attribute away again.
    EXPECT_EQ(s.apply_property(panel::voltage_class, ""), "");
    EXPECT_EQ(s.document().text().find("to=\"5:1\" kv="), std::string::npos);

    // Each step is undone to the very bytes read.
    for (int i = 0; i < 4; ++i)
        s.document().undo();
    EXPECT_EQ(s.document().text(), before);
}
