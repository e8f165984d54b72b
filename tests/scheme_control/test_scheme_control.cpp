#include "base/nx_exception.h"
#include "schemes/control/blink_clock.h"
#include "schemes/control/scheme_control.h"
#include "tests/scheme_control/qt_environment.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QPrinter>
#include <QStyle>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <filesystem>

using namespace nxkit;

namespace {

// What a signal of the control carried.
struct pointer_event {
    sde_object* object;
    int x, y;
};

void send_mouse(QWidget* w, QEvent::Type type, QPoint at) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Two pages of 160 x 100 and 80 x 120 units.
const std::string scheme_text = R"(<sde version="1">
  <page number="1" title="Ячейка" width="160" height="100">
    <object counter="1" type="выключатель" x="40" y="50" w="6" h="12" name="Q1">
      <property name="положение">включен</property>
      <property name="реакция_на_мышь">есть</property>
    </object>
    <object counter="2" type="разъединитель" x="80" y="50" w="6" h="12" name="QS1">
      <property name="положение">отключен</property>
      <property name="реакция_на_мышь">нет</property>
    </object>
    <object counter="3" type="лампа" x="120" y="50" w="6" h="6" name="H1">
      <property name="положение">горит</property>
    </object>
  </page>
  <page number="7" title="Вторая" width="80" height="120">
    <object counter="40" type="выключатель" x="40" y="100" w="6" h="12" name="Q2">
      <property name="положение">включен</property>
    </object>
  </page>
</sde>
)";

class SchemeControl : public testing::Test {
protected:
    void SetUp() override {
        control_.resize(800, 600);
        control_.open_text(scheme_text, "test.sde");
        control_.show();
        QApplication::processEvents();
    }
    QSize view() const { return control_.view()->size(); }
    QSize full() const { return control_.view_size(); }
    scheme_control control_;
};

TEST(FitScale, FitsPageWidthAndHeight) {
    // A page of 160 x 100 units is 1280 x 800 pixels at scale 1.
    EXPECT_DOUBLE_EQ(fit_scale(fit_page, 160, 100, 640, 480), 0.5);
    EXPECT_DOUBLE_EQ(fit_scale(fit_width, 160, 100, 640, 480), 0.5);
    EXPECT_DOUBLE_EQ(fit_scale(fit_height, 160, 100, 640, 480), 0.6);
    EXPECT_DOUBLE_EQ(fit_scale(fit_page, 160, 100, 1280, 400), 0.5);
    EXPECT_DOUBLE_EQ(fit_scale(fit_width, 160, 100, 1280, 400), 1.0);
}

TEST_F(SchemeControl, ScaleCodesFitThePageAndTheFactorIsReadable) {
    const QSize v = full();
    ASSERT_EQ(v, QSize(800, 600)); // no frame, toolbar and status bar hidden
    control_.set_scale(fit_page);
    EXPECT_DOUBLE_EQ(control_.scale(), 0.625); // min(800 / 1280, 600 / 800)
    QApplication::processEvents();
    EXPECT_EQ(control_.view()->size(), v); // the whole page shows: no scroll bars
    const int bar = control_.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    // 600 / 800 would make the page 960 wide: the scroll bar below takes its room.
    control_.set_scale(fit_height);
    EXPECT_DOUBLE_EQ(control_.scale(), (600.0 - bar) / 800);
    control_.set_scale(fit_width); // 800 / 1280 leaves the page lower than the view
    EXPECT_DOUBLE_EQ(control_.scale(), 0.625);
    // The second page (80 x 120 units, 640 x 960 pixels) keeps its own scale.
    control_.set_current_page(1);
    EXPECT_DOUBLE_EQ(control_.scale(), 1.0);
    control_.set_scale(fit_height);
    EXPECT_DOUBLE_EQ(control_.scale(), 0.625); // 600 / 960
    control_.set_scale(fit_width); // 800 / 640 makes it 1200 high: a scroll bar at the side
    EXPECT_DOUBLE_EQ(control_.scale(), (800.0 - bar) / 640);
    EXPECT_DOUBLE_EQ(control_.page_scale(0), 0.625);
    control_.set_page_scale(0, 1.21);
    EXPECT_DOUBLE_EQ(control_.page_scale(0), 1.21);
    EXPECT_DOUBLE_EQ(control_.scale(), (800.0 - bar) / 640);
    control_.set_scale(1.1);
    EXPECT_DOUBLE_EQ(control_.scale(), 1.1);
    control_.set_scale(-5); // not a code: ignored
    EXPECT_DOUBLE_EQ(control_.scale(), 1.1);
    control_.set_current_page(0);
    EXPECT_DOUBLE_EQ(control_.scale(), 1.21);
}

TEST_F(SchemeControl, DocumentOperationsFindObjectsAndPages) {
    EXPECT_EQ(control_.page_count(), 2);
    EXPECT_EQ(control_.page_number(1), 7);
    EXPECT_EQ(control_.page_title(1), "Вторая");
    sde_object* q2 = control_.first_object("счетчик", "40");
    ASSERT_NE(q2, nullptr);
    EXPECT_EQ(scheme_control::type_name(*q2), "выключатель");
    EXPECT_EQ(scheme_control::page_of(*q2), 7);
    EXPECT_EQ(scheme_control::centre_y(*q2), 100);
    EXPECT_EQ(scheme_control::bounding_box(*q2), (std::array<double, 4>{37, 94, 43, 106}));
    EXPECT_EQ(scheme_control::dispatcher_name_text(*q2), "Q2");
    EXPECT_EQ(control_.first_object("счетчик", "41"), nullptr);
    EXPECT_EQ(control_.first_object("счетчик", "4x"), nullptr);
    EXPECT_EQ(control_.first_object("счетчик", ""), nullptr);
    EXPECT_EQ(control_.first_object("дисп_имя", "QS1"), control_.first_object("счетчик", "2"));
    EXPECT_EQ(control_.objects_by_property("имя_типа", "выключатель").size(), 2u);
    EXPECT_EQ(control_.objects_by_property("положение", "включен").size(), 2u);

    int page_changed = 0;
    QObject::connect(&control_, &scheme_control::event12, [&] { ++page_changed; });
    control_.set_scale(1);
    control_.bring_into_view(q2);
    EXPECT_EQ(control_.current_page(), 1);
    EXPECT_EQ(page_changed, 1);
    // Its centre in the middle of the view, as far as the page allows.
    // (the second page is 960 pixels high, the view 600: min(800 - 300, 960 - 600)).
    EXPECT_EQ(control_.scroll_y(), 360);
    EXPECT_EQ(control_.view_anchor(), q2);
    control_.set_current_page(0);
    EXPECT_EQ(page_changed, 2);
    EXPECT_EQ(scheme_control::counter(*control_.view_anchor()), 1); // nearest the top left
}

TEST_F(SchemeControl, PropertyWritesRedrawAtOnceOrOnceAfterABatch) {
    sde_object* q1 = control_.first_object("счетчик", "1");
    ASSERT_NE(q1, nullptr);
    const int before = control_.repaint_requests();
    control_.set_property(*q1, "положение", "отключен");
    EXPECT_EQ(control_.repaint_requests(), before + 1);
    control_.set_property(*q1, "положение", "отключен"); // same value: nothing to draw
    EXPECT_EQ(control_.repaint_requests(), before + 1);
    EXPECT_EQ(control_.property_value(*q1, "положение"), "отключен");

    control_.begin_batch();
    for (int i = 0; i < 500; ++i) {
        control_.set_property(*q1, "положение", i % 2 ? "включен" : "отключен");
        control_.set_property(*q1, "композитный_стиль", i % 2 ? "+я15_not_cvit" : "-я15_not_cvit");
    }
    EXPECT_EQ(control_.repaint_requests(), before + 1);
    control_.end_batch();
    EXPECT_EQ(control_.repaint_requests(), before + 2);
    // An object on another page needs no redraw of this one.
    control_.set_property(*control_.first_object("счетчик", "40"), "положение", "отключен");
    EXPECT_EQ(control_.repaint_requests(), before + 2);
    // The drawing follows: the breaker is on again, with the style.
    const QImage page = control_.render_page(0, 1);
    EXPECT_TRUE(ilktest::near(page.pixelColor(320, 400), QColor(220, 0, 0)));
}

TEST_F(SchemeControl, CompositeStyleAddsRemovesAndClears) {
    sde_object* q1 = control_.first_object("счетчик", "1");
    control_.set_property(*q1, "композитный_стиль", "+я18_not_ref");
    control_.set_property(*q1, "композитный_стиль", "+я03_not_norma");
    control_.set_property(*q1, "композитный_стиль", "+я18_not_ref");
    EXPECT_EQ(control_.property_value(*q1, "композитный_стиль"), "[я18_not_ref,я03_not_norma]");
    control_.set_property(*q1, "композитный_стиль", "-я18_not_ref");
    EXPECT_EQ(control_.property_value(*q1, "композитный_стиль"), "[я03_not_norma]");
    control_.set_property(*q1, "композитный_стиль", "[]");
    EXPECT_EQ(control_.property_value(*q1, "композитный_стиль"), "[]");
}

TEST_F(SchemeControl, OnlyObjectsThatReactToTheMouseAreHit) {
    control_.set_scale(1);
    control_.set_scroll_x(0);
    control_.set_scroll_y(0);
    // Q1 at (40, 50) units = (320, 400) pixels; QS1 at (640, 400) does not react; H1 has no
    // such property.
    sde_object* q1 = control_.first_object("счетчик", "1");
    EXPECT_EQ(control_.object_at(QPoint(320, 400)), q1);
    EXPECT_EQ(control_.object_at(QPoint(320 + 30, 400)), nullptr);
    control_.set_scroll_y(100);
    EXPECT_EQ(control_.object_at(QPoint(320, 300)), q1);
    EXPECT_EQ(control_.object_at(QPoint(640, 300)), nullptr);
    control_.set_property(*control_.first_object("счетчик", "2"), "реакция_на_мышь", "есть");
    EXPECT_EQ(control_.object_at(QPoint(640, 300)), control_.first_object("счетчик", "2"));

    std::vector<pointer_event> clicks, moves;
    QObject::connect(&control_, &scheme_control::event26, [&](sde_object* o, int x, int y) {
        clicks.push_back({o, x, y});
    });
    QObject::connect(&control_, &scheme_control::event18, [&](sde_object* o, int x, int y) {
        moves.push_back({o, x, y});
    });
    send_mouse(control_.view(), QEvent::MouseButtonPress, QPoint(320, 300));
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].object, q1);
    EXPECT_EQ(clicks[0].x, 320);
    EXPECT_EQ(clicks[0].y, 300);
    send_mouse(control_.view(), QEvent::MouseMove, QPoint(320, 300));
    send_mouse(control_.view(), QEvent::MouseMove, QPoint(100, 100));
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].object, q1);
    EXPECT_EQ(moves[1].object, nullptr);
    EXPECT_EQ(moves[1].x, 100);
}

TEST_F(SchemeControl, BlinkingHoldsTheSharedClockOnlyWhileNeeded) {
    blink_clock& clock = blink_clock::instance();
    EXPECT_FALSE(clock.running());
    sde_object* q1 = control_.first_object("счетчик", "1");
    control_.set_property(*q1, "композитный_стиль", "+я18_not_ref");
    EXPECT_FALSE(clock.running()); // a steady style
    control_.set_property(*q1, "композитный_стиль", "+я15_not_cvit");
    EXPECT_TRUE(clock.running());
    // The look of the shown page follows the shared tick: the border on, off, on.
    const QColor yellow(255, 230, 0);
    while (clock.tick() % 8 != 0)
        clock.advance();
    EXPECT_TRUE(ilktest::near(control_.render_page(0, 1).pixelColor(290, 400), yellow));
    for (int i = 0; i < 4; ++i)
        clock.advance();
    EXPECT_FALSE(ilktest::near(control_.render_page(0, 1).pixelColor(290, 400), yellow));
    // Another page shown: nothing blinks there.
    control_.set_current_page(1);
    EXPECT_FALSE(clock.running());
    control_.set_current_page(0);
    EXPECT_TRUE(clock.running());
    control_.set_property(*q1, "композитный_стиль", "[]");
    EXPECT_FALSE(clock.running());
    // A scheme opened over a blinking one (even one without pages) lets the clock go.
    control_.set_property(*q1, "композитный_стиль", "+я15_not_cvit");
    EXPECT_TRUE(clock.running());
    control_.open_text("<sde version=\"1\"/>", "empty.sde");
    EXPECT_FALSE(clock.running());
    EXPECT_EQ(control_.current_page(), -1);
    clock.advance();
    EXPECT_TRUE(control_.render_page(0, 1).isNull());
}

TEST_F(SchemeControl, MarkFramesTheObjectInItsColour) {
    sde_object* q1 = control_.first_object("счетчик", "1");
    control_.set_scale(1);
    control_.set_scroll_x(0);
    control_.set_scroll_y(0);
    control_.mark(q1, 255, 0);
    EXPECT_EQ(control_.marked(), q1);
    const QImage shown = control_.view()->grab().toImage();
    int red = 0;
    for (int y = 330; y < 470; ++y)
        for (int x = 260; x < 380; ++x)
            red += ilktest::near(shown.pixelColor(x, y), QColor(255, 0, 0), 30) ? 1 : 0;
    EXPECT_GT(red, 20);
    control_.mark(nullptr, 0, 0);
    EXPECT_EQ(control_.marked(), nullptr);
}

TEST_F(SchemeControl, ToolbarAndStatusBarAreShownOnRequest) {
    EXPECT_FALSE(control_.toolbar_visible());
    EXPECT_FALSE(control_.statusbar_visible());
    control_.set_toolbar_visible(true);
    control_.set_statusbar_visible(true);
    EXPECT_TRUE(control_.toolbar_visible());
    EXPECT_TRUE(control_.statusbar_visible());
}

TEST_F(SchemeControl, PrintsEveryPageToPdf) {
    ilktest::temp_dir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(dir.path() + "scheme.pdf"));
    control_.print_to(printer);
    const std::string pdf = ilktest::read_bytes(dir.path() + "scheme.pdf");
    EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
    std::size_t pages = 0;
    for (std::size_t at = 0; (at = pdf.find("/Type /Page\n", at)) != std::string::npos; ++at)
        ++pages;
    EXPECT_EQ(pages, 2u);
}

TEST(SchemeControlOpen, AnEmptyStationLibraryLeavesTheBuiltInStylesAndSchemesStillOpen) {
    const std::string sde = ilktest::station_dir() + "SDE/";
    std::filesystem::create_directories(sde);
    ilktest::write_bytes(sde + "a.sde", scheme_text);
    ilktest::write_bytes(style_library_path(), "");
    try {
        prepare_station_styles();
        ADD_FAILURE() << "an empty library was taken";
    } catch (const nx_exception& e) {
        EXPECT_EQ(std::string(e.what()), "не найден файл стилей '" + style_library_path() + "'");
    }
    EXPECT_EQ(station_styles().size(), 11u);
    scheme_control control;
    control.open(sde + "a.sde");
    EXPECT_EQ(control.page_count(), 2);
    EXPECT_EQ(control.styles().size(), 11u);
    // The next run with the file gone makes it again.
    std::filesystem::remove(style_library_path());
    prepare_station_styles();
    EXPECT_TRUE(std::filesystem::exists(style_library_path()));
}

TEST(SchemeControlOpen, BrokenFileKeepsTheShownSchemeAndStationLibraryIsMade) {
    const std::string sde = ilktest::station_dir() + "SDE/";
    std::filesystem::create_directories(sde);
    ilktest::write_bytes(sde + "a.sde", scheme_text);
    ilktest::write_bytes(sde + "b.sde", "<sde version=\"1\"><page number=\"1\">");
    scheme_control control;
    control.open(sde + "a.sde");
    EXPECT_EQ(control.page_count(), 2);
    EXPECT_TRUE(std::filesystem::exists(sde + "default.XSTL"));
    EXPECT_EQ(control.styles().size(), 11u);
    try {
        control.open(sde + "b.sde");
        FAIL();
    } catch (const nx_exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  sde + "b.sde: строка 1, столбец 35: файл обрывается: не все элементы закрыты");
    }
    EXPECT_EQ(control.page_count(), 2);
    EXPECT_EQ(control.file_name(), sde + "a.sde");
}

TEST(SchemeControlOpen, TheDemoSchemeOpens) {
    scheme_control control;
    const auto demo = std::filesystem::path(SOURCE_ROOT) / "demo" / "SDE" / "Северная.sde";
    control.open_text(ilktest::read_bytes(demo.string()), "Северная.sde");
    ASSERT_EQ(control.page_count(), 3);
    // The bay's apparatus carry the dispatcher names of the demo's signals.
    for (const auto& [counter, name] : std::vector<std::pair<const char*, const char*>>{
             {"1", "Q1"}, {"2", "QS1"}, {"3", "QS2"}, {"4", "QSG1"}}) {
        sde_object* o = control.first_object("счетчик", counter);
        ASSERT_NE(o, nullptr) << counter;
        EXPECT_EQ(scheme_control::dispatcher_name_text(*o), name);
        EXPECT_EQ(o->page, 1);
    }
}

} // namespace
