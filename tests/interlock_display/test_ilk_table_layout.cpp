// The table layout: which columns, lines and cells a table shows, their keys, rectangles and
// texts at 96 dpi, zoom 1 and 2.
#include "interlock/display/ilk_table_layout.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "tests/interlock/interlock_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace nxkit;
using namespace ilktest;
using namespace ilktest::ilk_xml;

namespace {

// Half the font size per character: rectangles follow from the texts alone.
int test_measure(const std::string& text, int size, bool) {
    int chars = 0;
    for (unsigned char c : text)
        chars += (c & 0xC0) != 0x80 ? 1 : 0;
    return chars * size / 2;
}

class table_layout : public interlock_test {
protected:
    ilk_table_layout lay_out(double zoom) {
        return lay_out_table(get<t_ilk_tab>(table_key), 96, 96, zoom, test_measure);
    }
};

TEST(TableLayoutUnits, MillimetresBecomeRoundedPixels) {
    EXPECT_EQ(mm_to_px(6, 96), 23);
    EXPECT_EQ(mm_to_px(7.5, 96), 28);
    EXPECT_EQ(mm_to_px(15, 96), 57);
    EXPECT_EQ(mm_to_px(2.5, 96), 9);
    EXPECT_EQ(mm_to_px(7.5, 192), 57);
}

// Two columns, one locked column, a same-name column with two candidates (one locked), three
// rows: one locked, one with two conditions (the second locked permission, a permission of the
// locked column), one permitting through the same-name column.
TEST_F(table_layout, LeavesLockedPartsOutAndMapsCandidatesToTheirColumn) {
    load(device("КП", object(51, 1, 1) + object(51, 2, 2) + object(51, 3, 3) + object(51, 4, 4) +
                          object(51, 5, 5) + object(51, 6, 6)),
         signal(1, "Q1") + signal(2, "QS1") + signal(3, "QS2") + signal(4, "QSG1") +
             signal(5, "QS3 Л-1") + signal(6, "QS3 Л-2"),
         interlock_xml(
             column_xml(1, "s1_2_1", "") + column_xml(2, "s1_2_2", "") +
                 column_xml(3, "s1_2_3", "", " lock=\"1\""),
             row_xml(" tu=\"7\" ts=\"s1_2_1\"",
                     condition_xml(1, permission_xml(2, false) + permission_xml(3, true)) +
                         condition_xml(0, permission_xml(1, true))) +
                 row_xml(" tu=\"8\" ts=\"s1_2_2\" lock=\"1\"",
                         condition_xml(1, permission_xml(1, false))) +
                 row_xml(" tu=\"9\" ts=\"s1_2_5\"", condition_xml(2, permission_xml(10, true))),
             "<ref tp=\"71\" title=\"QS3\" fmt=\"#\">\r\n"
             "<ref tp=\"70\" nof=\"s1_2_5\" uid=\"10\"/>\r\n"
             "<ref tp=\"70\" nof=\"s1_2_6\" uid=\"11\" lock=\"1\"/>\r\n</ref>\r\n"));
    ilk_table_layout layout = lay_out(1);
    const std::string same = table_key + ".0002";
    EXPECT_EQ(layout.column_keys, (std::vector<std::string>{column_key(0), column_key(1), same}));
    EXPECT_EQ(layout.column_index.at(same + ".0000"), 2);
    EXPECT_EQ(layout.column_index.count(same + ".0001"), 0u);
    EXPECT_EQ(layout.column_index.count(column_key(2)), 0u);
    EXPECT_EQ(layout.line_keys, (std::vector<std::string>{condition_key(0, 0), condition_key(0, 1),
                                                          condition_key(2, 0)}));
    ASSERT_EQ(layout.lines.size(), 3u);
    EXPECT_TRUE(layout.lines[0].first_of_row);
    EXPECT_FALSE(layout.lines[1].first_of_row);
    EXPECT_EQ(layout.lines[0].tu_number, 7);
    EXPECT_EQ(layout.lines[1].tu_number, 0);
    EXPECT_EQ(layout.lines[2].tu_number, 9);
    // Banding follows rows: the first row's two lines, not the next shown row.
    EXPECT_TRUE(layout.lines[0].band);
    EXPECT_TRUE(layout.lines[1].band);
    EXPECT_FALSE(layout.lines[2].band);
    EXPECT_EQ(layout.lines[0].mode_icon, 1464);
    EXPECT_EQ(layout.lines[1].mode_icon, 1463);
    EXPECT_EQ(layout.lines[2].mode_icon, 1457);
    EXPECT_EQ(layout.columns[2].caption, "QS3");
    EXPECT_TRUE(layout.columns[2].same_name);
    EXPECT_EQ(layout.columns[2].icon, 0);
    // The permission of the locked column shows no cell.
    ASSERT_EQ(layout.cells.size(), 3u);
    EXPECT_EQ(layout.cells[0].key, permission_key(0, 0, 0));
    EXPECT_EQ(layout.cells[0].column, 1);
    EXPECT_EQ(layout.cells[0].line, 0);
    EXPECT_EQ(layout.cells[0].image_a, 1454);
    EXPECT_EQ(layout.cells[1].key, permission_key(0, 1, 0));
    EXPECT_EQ(layout.cells[1].column, 0);
    EXPECT_EQ(layout.cells[1].line, 1);
    EXPECT_EQ(layout.cells[1].image_a, 1453);
    EXPECT_EQ(layout.cells[2].column, 2);
    EXPECT_EQ(layout.cells[2].line, 2);
    EXPECT_TRUE(layout.cells[2].same_name);
    EXPECT_FALSE(layout.cells[0].same_name);
    // All switched off: the permission needing QS1 off is met, the one needing Q1 on is not.
    put(1, false);
    put(2, false);
    put(5, true);
    pass();
    layout = lay_out(1);
    EXPECT_EQ(layout.cells[0].image_b, 1455);
    EXPECT_EQ(layout.cells[1].image_b, 1456);
    EXPECT_EQ(layout.cells[2].image_b, 1455);
}

TEST_F(table_layout, AnEmptyTableShowsTitleAndBandsOfTheMinimumSize) {
    load(device("КП", object(51, 1, 1)), signal(1, "Q1"), interlock_xml("", ""));
    ilk_table_layout layout = lay_out(1);
    EXPECT_EQ(layout.title1, "Блокировка разъединителей");
    EXPECT_EQ(layout.title2, "T1");
    EXPECT_TRUE(layout.columns.empty());
    EXPECT_TRUE(layout.lines.empty());
    EXPECT_EQ(layout.header_height, 7 * 23);
    EXPECT_EQ(layout.line_header_width, 7 * 23);
    EXPECT_EQ(layout.data_area(), (ilk_rect{161, 161, 0, 0}));
    EXPECT_EQ(scroll_limits(layout, 100, 100).max_first_column, 0);
}

// The column header grows with its longest caption once that is taller than the minimum.
TEST_F(table_layout, ALongColumnCaptionRaisesTheHeader) {
    load(device("КП", object(51, 1, 1) + object(51, 2, 2)),
         signal(1, "Q1") + signal(2, "QS2 линейный разъединитель"),
         interlock_xml(
             column_xml(1, "s1_2_1", "") + column_xml(2, "s1_2_2", ""),
             row_xml(" tu=\"1\" ts=\"s1_2_1\"", condition_xml(1, permission_xml(2, false)))));
    // 26 characters at 12 px: 156 + 23 + 9; at zoom 2: 312 + 45 + 9.
    ilk_table_layout layout = lay_out(1);
    EXPECT_EQ(layout.header_height, 188);
    EXPECT_EQ(layout.column_header(1), (ilk_rect{layout.line_header_width + 28, 0, 28, 188}));
    EXPECT_EQ(layout.data_area().top, 188);
    EXPECT_EQ(lay_out(2).header_height, 366);
}

#ifdef DEMO_FOLDER

class demo_table_layout : public testing::Test {
protected:
    demo_table_layout() {
        write_bytes(station_dir() + "refs.ini", read_bytes(DEMO_FOLDER "/refs.ini"));
        store = std::make_unique<t_ref_buff>();
        register_structure_classes(*store);
        register_telemech_classes(*store);
        register_all_scheme_classes(*store);
        store->load();
    }
    ilk_table_layout lay_out(double zoom) {
        auto* table = dynamic_cast<t_ilk_tab*>(store->get("S.0000.0000"));
        if (table == nullptr)
            throw std::runtime_error("no demo table");
        return lay_out_table(*table, 96, 96, zoom, test_measure);
    }
    std::unique_ptr<t_ref_buff> store;
};

TEST_F(demo_table_layout, KeysTextsAndRectanglesAtZoomOneAndTwo) {
    ilk_table_layout layout = lay_out(1);
    const std::string rows = "S.0000.0000.0001";
    EXPECT_EQ(layout.title2, "Ячейка Л-1");
    EXPECT_EQ(layout.column_keys,
              (std::vector<std::string>{"S.0000.0000.0000.0000", "S.0000.0000.0000.0001",
                                        "S.0000.0000.0000.0002", "S.0000.0000.0000.0003"}));
    EXPECT_EQ(
        layout.line_keys,
        (std::vector<std::string>{rows + ".0000.0000", rows + ".0000.0001", rows + ".0001.0000",
                                  rows + ".0002.0000", rows + ".0003.0000", rows + ".0003.0001"}));
    std::vector<std::string> captions;
    for (const ilk_column_item& column : layout.columns)
        captions.push_back(column.caption);
    EXPECT_EQ(captions, (std::vector<std::string>{"Q1", "QS1", "QS2", "QSG1"}));
    std::vector<long> numbers;
    std::vector<bool> first;
    for (const ilk_line_item& line : layout.lines) {
        numbers.push_back(line.tu_number);
        first.push_back(line.first_of_row);
    }
    EXPECT_EQ(numbers, (std::vector<long>{1, 0, 2, 3, 4, 0}));
    EXPECT_EQ(first, (std::vector<bool>{true, false, true, true, true, false}));
    EXPECT_EQ(layout.cells.size(), 11u);

    // s 23, p 28; column captions 12 px, longest 4 characters: 24 + 23 + 9 is below 7 s.
    EXPECT_EQ(layout.icon_size, 23);
    EXPECT_EQ(layout.pitch, 28);
    EXPECT_EQ(layout.caption_font, 14);
    EXPECT_EQ(layout.column_font, 12);
    const int h = 7 * 23;
    EXPECT_EQ(layout.header_height, h);
    const int widest = test_measure(layout.lines[0].caption, 14, false);
    int expected_width = 161;
    for (const ilk_line_item& line : layout.lines)
        expected_width = std::max(expected_width, test_measure(line.caption, 14, false) + 85 + 11);
    EXPECT_GE(expected_width, widest);
    EXPECT_EQ(layout.line_header_width, expected_width);
    const int w = layout.line_header_width;
    EXPECT_EQ(layout.data_area(), (ilk_rect{w, h, 4 * 28, 6 * 28}));
    EXPECT_EQ(layout.cell(3, 5), (ilk_rect{w + 84, h + 140, 28, 28}));
    EXPECT_EQ(layout.column_header(1), (ilk_rect{w + 28, 0, 28, h}));
    EXPECT_EQ(layout.line_header(2), (ilk_rect{0, h + 56, w, 28}));
    EXPECT_EQ(layout.row_image_left(), w - 23 - 2);
    EXPECT_EQ(layout.mode_icon_left(), w - 46 - 4);
    EXPECT_EQ(layout.tu_number_left(), w - 85 - 4);

    // Zoom 2: s 45, p 57, fonts doubled; the millimetre margins stay.
    ilk_table_layout twice = lay_out(2);
    EXPECT_EQ(twice.icon_size, 45);
    EXPECT_EQ(twice.pitch, 57);
    EXPECT_EQ(twice.column_font, 24);
    EXPECT_EQ(twice.header_height, 7 * 45);
    EXPECT_EQ(twice.data_area().width, 4 * 57);
    EXPECT_EQ(twice.data_area().height, 6 * 57);
    EXPECT_EQ(twice.cells, layout.cells);

    // A client narrower than the table scrolls: two whole columns fit after the line headers.
    ilk_scroll_limits limits = scroll_limits(layout, w + 2 * 28 + 10, h + 3 * 28);
    EXPECT_EQ(limits.max_first_column, 2);
    EXPECT_EQ(limits.max_first_line, 3);
    EXPECT_EQ(scroll_limits(layout, 2000, 2000).max_first_column, 0);
}

#endif

} // namespace
