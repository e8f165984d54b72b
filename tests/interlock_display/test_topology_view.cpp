// The topology check in the table display: the demo table's rows marked by result, the tooltip
// of a marked row, the report window with its counter-example loader, and the printed report.
// The suite's QApplication is made by test_nx_schema_ilk.cpp.
#ifdef DEMO_FOLDER

#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/display/nx_schema_ilk.h"
#include "interlock/display/topology_view.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "structure/structure_classes.h"
#include "telemech/telemech_classes.h"
#include "tests/support/test_support.h"
#include "ui/icon_set.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>

using namespace nxkit;
using namespace ilktest;

namespace {

const std::string rows_key = "S.0000.0000.0001";
std::string row_key(int n) {
    return rows_key + "." + key_part(n);
}

topology_finding insufficient_qs1() {
    topology_finding f;
    f.kind = topology_finding::insufficient;
    f.op = switching_operation::close;
    f.rule = &rule_disconnector_path();
    f.condition_key = row_key(1) + "." + key_part(0);
    f.condition_text = "условие 1 «Условие коммутации - Дистанционное»";
    f.reason = "Q1 включен";
    f.positions = {{"QS1", false}, {"Q1", true}};
    f.counter_example = {{"s1_1_2", 0}, {"s1_1_1", 1}, {"s1_1_4", 0}};
    return f;
}

// Q1 without rule, QS1 insufficient, QS2 informative, QSG1 not checkable.
topology_report demo_report() {
    topology_report report;
    auto row = [&](int n, const char* name, row_status status) {
        row_check r;
        r.table_key = "S.0000.0000";
        r.table_name = "Ячейка Л-1";
        r.row_key = row_key(n);
        r.apparatus = name;
        r.status = status;
        report.rows.push_back(r);
        return &report.rows.back();
    };
    row(0, "Q1", row_status::no_rule);
    row(1, "QS1", row_status::insufficient)->findings.push_back(insufficient_qs1());
    topology_finding excess;
    excess.kind = topology_finding::excessive;
    excess.op = switching_operation::open;
    excess.positions = {{"QS2", true}, {"QSG1", true}};
    excess.counter_example = {{"s1_1_3", 1}, {"s1_1_4", 1}};
    row(2, "QS2", row_status::excessive)->findings.push_back(excess);
    row(3, "QSG1", row_status::not_checkable)->note = "аппарат не соединён на схеме";
    return report;
}

class topology_view : public testing::Test {
protected:
    topology_view() {
        write_bytes(station_dir() + "refs.ini", read_bytes(DEMO_FOLDER "/refs.ini"));
        store = std::make_unique<t_ref_buff>();
        register_structure_classes(*store);
        register_telemech_classes(*store);
        register_all_scheme_classes(*store);
        store->load();
        display = std::make_unique<nx_schema_ilk>(nullptr, *store, "S.0000.0000", icons);
        display->resize(900, 600);
        display->show(nullptr);
    }

    // The colour of the left edge of the first line of row `n` (demo rows: Q1 has two lines).
    QColor edge_of_line(int line) {
        const ilk_table_layout& layout = display->layout();
        return display->shown_image().pixelColor(1,
                                                 layout.line_header(line).top + layout.pitch / 2);
    }

    icon_set icons;
    std::unique_ptr<t_ref_buff> store;
    std::unique_ptr<nx_schema_ilk> display;
};

bool has_pixel(const QImage& image, const QColor& colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

} // namespace

TEST_F(topology_view, RowsWithFindingsAreMarkedInTheirLineHeaders) {
    ASSERT_NE(QApplication::instance(), nullptr);
    ASSERT_EQ(display->layout().lines.size(), 6u);
    display->show_topology(demo_report(), "");
    // Lines: Q1 0 and 1, QS1 2, QS2 3, QSG1 4 and 5.
    EXPECT_EQ(edge_of_line(2), QColor(210, 0, 0));
    EXPECT_EQ(edge_of_line(3), QColor(230, 140, 0));
    EXPECT_EQ(edge_of_line(4), QColor(128, 128, 128));
    EXPECT_EQ(edge_of_line(5), QColor(128, 128, 128));
    // Q1 has no rule: its header stays as painted.
    const ilk_table_layout& q1 = display->layout();
    EXPECT_EQ(edge_of_line(0),
              display->back_buffer().pixelColor(1, q1.line_header(0).top + q1.pitch / 2));
    // Beside the band the header is as painted.
    const ilk_table_layout& layout = display->layout();
    const int band = std::max(3, mm_to_px(1.2 * layout.zoom, layout.dpi_x));
    EXPECT_EQ(display->shown_image().pixelColor(band + 1, layout.line_header(2).top + 3),
              display->back_buffer().pixelColor(band + 1, layout.line_header(2).top + 3));

    // The tooltip over QS1's header names the finding.
    const topology_mark* mark =
        topology_mark_at(layout, display->topology_marks(), 0, 5, layout.line_header(2).top + 3);
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(mark->text,
              "QS1 — недостаточная блокировка\n"
              "включение: таблица разрешает (условие 1 «Условие коммутации - Дистанционное»), "
              "правило Р1 запрещает: Q1 включен\n"
              "  положения: QS1 отключен, Q1 включен\n"
              "  сигналы: s1_1_2=0 s1_1_1=1 s1_1_4=0");
    EXPECT_EQ(
        topology_mark_at(layout, display->topology_marks(), 0, 5, layout.line_header(0).top + 3),
        nullptr);
}

TEST_F(topology_view, TheCounterExampleGoesToTheLoaderOnlyWhenOneIsSet) {
    topology_report_window* window = display->show_topology(demo_report(), "");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Проверка блокировок по схеме");
    EXPECT_TRUE(window->load_button()->isHidden());
    QTreeWidget* tree = window->tree();
    ASSERT_EQ(tree->topLevelItemCount(), 4);
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "Ячейка Л-1: QS1 — недостаточная блокировка");
    EXPECT_EQ(tree->topLevelItem(1)->foreground(0).color(), QColor(210, 0, 0));
    EXPECT_EQ(tree->topLevelItem(3)->text(0),
              "Ячейка Л-1: QSG1 — не проверяется: аппарат не соединён на схеме");
    // The insufficient finding is chosen from the start.
    EXPECT_EQ(window->current_finding(), &window->report().rows[1].findings[0]);
    EXPECT_FALSE(window->load_current());

    std::vector<signal_value> loaded;
    display->set_counter_example_loader([&](const std::vector<signal_value>& v) { loaded = v; });
    EXPECT_FALSE(window->load_button()->isHidden());
    // A row without findings offers nothing to load.
    tree->setCurrentItem(tree->topLevelItem(0));
    EXPECT_FALSE(window->load_button()->isEnabled());
    QTreeWidgetItem* finding = tree->topLevelItem(1)->child(0);
    ASSERT_NE(finding, nullptr);
    EXPECT_EQ(finding->text(0), "включение: таблица разрешает (условие 1 «Условие коммутации - "
                                "Дистанционное»), правило Р1 запрещает: Q1 включен");
    tree->setCurrentItem(finding->child(1));
    EXPECT_TRUE(window->load_button()->isEnabled());
    window->load_button()->click();
    EXPECT_EQ(loaded, (std::vector<signal_value>{{"s1_1_2", 0}, {"s1_1_1", 1}, {"s1_1_4", 0}}));
}

TEST_F(topology_view, TheCheckOfTheStationFolderMarksRowsItCannotCheck) {
    // The demo scheme with its wires' ends taken away: nothing can be checked, and nothing is
    // passed.
    std::filesystem::create_directories(station_dir() + "SDE");
    const std::string unwired = std::regex_replace(read_bytes(DEMO_FOLDER "/SDE/Северная.sde"),
                                                   std::regex(" (from|to)=\"[^\"]*\""), "");
    write_bytes(station_dir() + "SDE/Северная.sde", unwired);
    display->check_topology();
    ASSERT_NE(display->topology_window(), nullptr);
    EXPECT_EQ(display->topology_marks().size(), 4u);
    EXPECT_EQ(edge_of_line(2), QColor(128, 128, 128));
    EXPECT_EQ(display->topology_window()->tree()->topLevelItem(1)->text(0),
              "Ячейка Л-1: QS1 — не проверяется: аппарат не соединён на схеме");
    std::filesystem::remove_all(station_dir() + "SDE");
}

TEST(TopologyReportPrint, FindingsArePrintedInTheirColoursOverAsManyPagesAsNeeded) {
    topology_report report = demo_report();
    std::vector<report_line> lines = report_lines(report);
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0].text, "Проверка блокировок по схеме");
    EXPECT_EQ(lines[1].text, "Таблица «Ячейка Л-1»");
    EXPECT_EQ(lines[3].text, "  QS1 — недостаточная блокировка");
    EXPECT_TRUE(lines[3].coloured);
    EXPECT_EQ(lines[5].text, "      положения: QS1 отключен, Q1 включен");

    QImage page(800, 1100, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    std::size_t next = paint_report_page(painter, QRect(20, 20, 760, 1060), 96, lines, 0);
    painter.end();
    EXPECT_EQ(next, lines.size());
    EXPECT_TRUE(has_pixel(page, QColor(210, 0, 0)));
    EXPECT_TRUE(has_pixel(page, QColor(230, 140, 0)));

    // Only informative findings: no red anywhere.
    topology_report informative = report;
    informative.rows.erase(informative.rows.begin() + 1);
    std::vector<report_line> fewer = report_lines(informative);
    page.fill(Qt::white);
    painter.begin(&page);
    paint_report_page(painter, QRect(20, 20, 760, 1060), 96, fewer, 0);
    painter.end();
    EXPECT_FALSE(has_pixel(page, QColor(210, 0, 0)));

    // 120 rows do not fit one page: the PDF has more than one.
    topology_report many;
    for (int i = 0; i < 40; ++i)
        for (const row_check& r : report.rows)
            many.rows.push_back(r);
    temp_dir dir;
    const QString path = QString::fromStdString(dir.path() + "report.pdf");
    {
        QPdfWriter writer(path);
        ASSERT_TRUE(print_report(writer, many));
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_GT(pdf.count("/Type /Page\n"), 1) << pdf.count("/Type /Page");
}

#endif
