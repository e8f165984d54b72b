#include "schemes/control/voltage_classes.h"

#include <gtest/gtest.h>

using namespace nxkit;

namespace {

const std::string plain =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<sde version=\"1\" units=\"mm\">\n"
    "  <page number=\"1\" title=\"\" width=\"100\" height=\"50\" background=\"белый\">\n"
    "    <line x1=\"0\" y1=\"0\" x2=\"10\" y2=\"0\" color=\"черный\" "
    "width=\"0.3\"/>\n"
    "  </page>\n"
    "</sde>\n";

TEST(VoltageClasses, ClassesAreReadWithPointOrComma) {
    EXPECT_EQ(parse_kv("110"), 110.0);
    EXPECT_EQ(parse_kv("0,4"), 0.4);
    EXPECT_EQ(parse_kv("0.4"), 0.4);
    EXPECT_EQ(parse_kv("15.75"), 15.75);
    for (const char* bad : {"", "0", "-10", "110 кВ", "1e3", "nan", ","})
        EXPECT_FALSE(parse_kv(bad).has_value()) << bad;
    EXPECT_EQ(voltage_class_of({{"wire", "1"}, {"kv", "0,4"}}), 0.4);
    EXPECT_FALSE(voltage_class_of({{"wire", "1"}}).has_value());
}

TEST(VoltageClasses, UsualTableHasTheCommonClasses) {
    const voltage_table& t = default_voltage_classes();
    EXPECT_EQ(voltage_colour(t, 750), "#0000c8");
    EXPECT_EQ(voltage_colour(t, 500), "#a50021");
    EXPECT_EQ(voltage_colour(t, 330), "#008c00");
    EXPECT_EQ(voltage_colour(t, 220), "#c8c800");
    EXPECT_EQ(voltage_colour(t, 110), "#00b4c8");
    EXPECT_EQ(voltage_colour(t, 35), "#826432");
    EXPECT_EQ(voltage_colour(t, 10), "#640064");
    EXPECT_EQ(voltage_colour(t, 6), "#c89600");
    EXPECT_EQ(voltage_colour(t, *parse_kv("0,4")), "#b4b4b4");
    EXPECT_EQ(voltage_colour(t, 15.75), "");
    for (std::size_t i = 1; i < t.size(); ++i)
        EXPECT_GT(t[i - 1].kv, t[i].kv);
}

TEST(VoltageClasses, PageEntriesChangeTheTableAndRoundTripByteForByte) {
    sde_scheme scheme = read_sde(plain, "a.sde");
    sde_page& page = scheme.pages[0];
    set_page_voltage_colour(page, 110, "#ff8000");
    set_page_voltage_colour(page, 15.75, "зеленый");
    set_page_voltage_colour(page, 110, "#ff0000"); // changes the entry, adds none
    const std::string text = write_sde(scheme);
    EXPECT_EQ(text,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<sde version=\"1\" units=\"mm\">\n"
              "  <page number=\"1\" title=\"\" width=\"100\" height=\"50\" background=\"белый\">\n"
              "    <voltage_class kv=\"110\" color=\"#ff0000\"/>\n"
              "    <voltage_class kv=\"15.75\" color=\"зеленый\"/>\n"
              "    <line x1=\"0\" y1=\"0\" x2=\"10\" y2=\"0\" color=\"черный\" "
              "width=\"0.3\"/>\n"
              "  </page>\n"
              "</sde>\n");
    const sde_scheme again = read_sde(text, "a.sde");
    const voltage_table t = voltage_classes_of(again.pages[0]);
    EXPECT_EQ(voltage_colour(t, 110), "#ff0000");
    EXPECT_EQ(voltage_colour(t, 15.75), "зеленый");
    EXPECT_EQ(voltage_colour(t, 220), "#c8c800");
    ASSERT_EQ(page_voltage_entries(again.pages[0]).size(), 2u);
    EXPECT_EQ(write_sde(again), text);

    // Removing the page's entries brings back the usual colours and the very file.
    set_page_voltage_colour(page, 110, "");
    set_page_voltage_colour(page, 15.75, "");
    EXPECT_EQ(voltage_colour(voltage_classes_of(page), 110), "#00b4c8");
    EXPECT_EQ(write_sde(scheme), plain);
}

TEST(VoltageClasses, EntriesWithoutAClassOrColourAreIgnored) {
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<sde version=\"1\">\n<page number=\"1\">\n"
                             "<voltage_class kv='220' color='#010203'/>\n"
                             "<voltage_class kv=\"abc\" color=\"#ffffff\"/>\n"
                             "<voltage_class kv=\"35\"/>\n"
                             "<voltage_classes kv=\"10\" color=\"#ffffff\"/>\n"
                             "</page>\n</sde>\n";
    const sde_scheme s = read_sde(text, "b.sde");
    const voltage_table t = voltage_classes_of(s.pages[0]);
    EXPECT_EQ(voltage_colour(t, 220), "#010203");
    EXPECT_EQ(voltage_colour(t, 35), "#826432");
    EXPECT_EQ(voltage_colour(t, 10), "#640064");
    EXPECT_EQ(t.size(), default_voltage_classes().size());
}

} // namespace
