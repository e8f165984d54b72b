#include "base/cp1251.h"
#include "base/files.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/settings.h"
#include "schemes/control/style_library.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace nxkit;

namespace {

TEST(StyleLibrary, BuiltInStylesParseAsTheTableSays) {
    const style_library_map& m = builtin_style_map();
    ASSERT_EQ(m.size(), 11u);
    const style_def& notnorma = m.at("я03_not_norma");
    EXPECT_EQ(notnorma.border.style, "psSolid");
    EXPECT_FALSE(notnorma.border.blinking);
    ASSERT_EQ(notnorma.border.phases.size(), 1u);
    EXPECT_EQ(notnorma.border.phases[0].color, "16763904");
    EXPECT_EQ(notnorma.border.phases[0].width, 5);
    EXPECT_EQ(notnorma.background.phases[0].style, "bsClear");

    const style_def& control = m.at("я06_not_control");
    EXPECT_EQ(control.figure.code, "fcDKrest");
    EXPECT_TRUE(control.figure.size_absolute);
    EXPECT_EQ(control.figure.size_width, 15);
    EXPECT_EQ(control.figure.corners, std::vector<std::string>{"cvCenter"});
    EXPECT_EQ(control.figure.border.phases[0].color, "темно_голубой");
    EXPECT_EQ(control.figure.background.phases[0].color, "65280");

    const style_def& cvit = m.at("я15_not_cvit");
    EXPECT_TRUE(cvit.border.blinking);
    EXPECT_EQ(cvit.border.delay, 4);
    ASSERT_EQ(cvit.border.phases.size(), 2u);
    EXPECT_EQ(cvit.border.phases[1].color, "прозрачный");
    EXPECT_EQ(cvit.current_states,
              (std::vector<std::string>{"csBorder", "csBackGround", "csFigure"}));

    const style_def& onof = m.at("я16_onof");
    EXPECT_EQ(onof.figure.code, "fcCorner");
    EXPECT_TRUE(onof.figure.blinking);
    EXPECT_EQ(onof.figure.corners.size(), 4u);
    EXPECT_EQ(m.at("я16_bad_dev").border.delay, 2);
    EXPECT_EQ(m.at("я12_ILK_YES").background.phases[0].color, "6750054");
    EXPECT_FALSE(style_meaning("я18_not_ref").empty());
}

TEST(StyleLibrary, ColoursReadRedFromTheLowByte) {
    auto rgb = [](const std::string& t) {
        const auto c = parse_colour(t);
        if (!c)
            return std::string("none");
        if (c->transparent)
            return std::string("transparent");
        return std::to_string(c->r) + "," + std::to_string(c->g) + "," + std::to_string(c->b);
    };
    EXPECT_EQ(rgb("255"), "255,0,0");
    EXPECT_EQ(rgb("65280"), "0,255,0");
    EXPECT_EQ(rgb("16763904"), "0,204,255");
    EXPECT_EQ(rgb("4294902015"), "transparent"); // a system colour, not RGB
    EXPECT_EQ(rgb("#102030"), "16,32,48");
    EXPECT_EQ(rgb("$000001"), "255,255,255");
    EXPECT_EQ(rgb("прозрачный"), "transparent");
    EXPECT_EQ(rgb("желтый"), "255,230,0");
    EXPECT_EQ(rgb("зеленый"), "0,160,0");
    EXPECT_EQ(rgb("красный"), "220,0,0");
    EXPECT_EQ(rgb("#12"), "none");
    EXPECT_EQ(rgb("$0000FF"), "none");
    EXPECT_EQ(rgb("99999999999"), "none");
    EXPECT_EQ(rgb("фуксия"), "none");
}

class StyleLibraryUpdate : public testing::Test {
protected:
    void SetUp() override { settings_set_int("MODUS", "XSTL_UPD", 0); }
    std::string path() const { return dir_.path() + "SDE/default.XSTL"; }
    std::vector<std::string> backups() const {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(dir_.path() + "SDE"))
            if (e.path().extension() == ".bak")
                found.push_back(e.path().filename().string());
        return found;
    }
    // 2026-03-04 05:06:07 local time.
    static std::time_t when() {
        std::tm t{};
        t.tm_year = 126;
        t.tm_mon = 2;
        t.tm_mday = 4;
        t.tm_hour = 5;
        t.tm_min = 6;
        t.tm_sec = 7;
        t.tm_isdst = -1;
        return std::mktime(&t);
    }
    ilktest::temp_dir dir_;
};

TEST_F(StyleLibraryUpdate, AbsentLibraryIsMadeFromTheBuiltInStyles) {
    settings_set_int("MODUS", "XSTL_UPD", 1);
    EXPECT_TRUE(update_style_library(path(), when()));
    EXPECT_EQ(settings_get_int("MODUS", "XSTL_UPD", 5, false), 0);
    const std::string text = from_cp1251(ilktest::read_bytes(path()));
    EXPECT_EQ(text, builtin_library_text());
    EXPECT_EQ(parse_style_library(text).size(), 11u);
    EXPECT_TRUE(backups().empty());
    // Windows-1251 on disk.
    EXPECT_NE(ilktest::read_bytes(path()).find(to_cp1251("я03_not_norma")), std::string::npos);
}

TEST_F(StyleLibraryUpdate, CompleteLibraryWithoutRequestIsLeftAlone) {
    std::filesystem::create_directories(dir_.path() + "SDE");
    const std::string text = to_cp1251(
        "<Styles>\r\n<Style Name=\"свой\">\r\n  <Border Style=\"psSolid\"/>\r\n</Style>\r\n" +
        builtin_library_text().substr(builtin_library_text().find("<Style ")));
    ilktest::write_bytes(path(), text);
    EXPECT_FALSE(update_style_library(path(), when()));
    EXPECT_EQ(ilktest::read_bytes(path()), text);
    EXPECT_TRUE(backups().empty());
}

TEST_F(StyleLibraryUpdate, MissingStyleIsAppendedAfterABackup) {
    std::filesystem::create_directories(dir_.path() + "SDE");
    std::string text = builtin_library_text();
    const auto begin = text.find("<Style Name=\"я08_hand\">");
    const auto end = text.find("</Style>", begin) + 10;
    const std::string hand = text.substr(begin, end - begin);
    text.erase(begin, end - begin);
    ilktest::write_bytes(path(), to_cp1251(text));

    const std::string log = dir_.path() + "program.log";
    ASSERT_TRUE(nx_log::main().open(log, 1000000, 0));
    EXPECT_TRUE(update_style_library(path(), when()));
    nx_log::main().close();
    EXPECT_NE(from_cp1251(ilktest::read_bytes(log))
                  .find(" | MES | обновлен файл стилей '" + path() + "'"),
              std::string::npos)
        << from_cp1251(ilktest::read_bytes(log));
    const std::string updated = from_cp1251(ilktest::read_bytes(path()));
    // Appended right before "</Styles>", the rest untouched.
    EXPECT_EQ(updated, text.substr(0, text.rfind("</Styles>")) + hand +
                           text.substr(text.rfind("</Styles>")));
    ASSERT_EQ(backups(), std::vector<std::string>{"default.XSTL.260304050607.bak"});
    EXPECT_EQ(from_cp1251(ilktest::read_bytes(dir_.path() + "SDE/default.XSTL.260304050607.bak")),
              text);
}

TEST_F(StyleLibraryUpdate, RequestReplacesOurBodiesAndResetsTheKey) {
    std::filesystem::create_directories(dir_.path() + "SDE");
    std::string text = builtin_library_text();
    const std::string ours = "<Phase Color=\"16763904\" Width=\"5\"/>";
    text.replace(text.find(ours), ours.size(), "<Phase Color=\"255\" Width=\"9\"/>");
    text.insert(text.find("</Styles>"),
                "<Style Name=\"свой\">\r\n  <Border Style=\"psSolid\"/>\r\n</Style>\r\n");
    ilktest::write_bytes(path(), to_cp1251(text));
    settings_set_int("MODUS", "XSTL_UPD", 1);

    EXPECT_TRUE(update_style_library(path(), when()));
    const std::string updated = from_cp1251(ilktest::read_bytes(path()));
    EXPECT_NE(updated.find(ours), std::string::npos);
    EXPECT_EQ(updated.find("Width=\"9\""), std::string::npos);
    EXPECT_NE(updated.find("<Style Name=\"свой\">"), std::string::npos); // a foreign style stays
    EXPECT_EQ(parse_style_library(updated).size(), 12u);
    EXPECT_EQ(settings_get_int("MODUS", "XSTL_UPD", 5, false), 0);
    EXPECT_EQ(backups().size(), 1u);
    // Used once: the next run leaves the file alone.
    EXPECT_FALSE(update_style_library(path(), when() + 1));
}

TEST_F(StyleLibraryUpdate, BrokenLibrariesGiveTheMessages) {
    std::filesystem::create_directories(dir_.path() + "SDE");
    ilktest::write_bytes(path(), "");
    try {
        update_style_library(path(), when());
        FAIL();
    } catch (const nx_exception& e) {
        EXPECT_EQ(std::string(e.what()), "не найден файл стилей '" + path() + "'");
    }
    ilktest::write_bytes(path(), "<Styles>\r\n");
    try {
        update_style_library(path(), when());
        FAIL();
    } catch (const nx_exception& e) {
        EXPECT_EQ(std::string(e.what()), "в файле стилей '" + path() + "' нет строки </Styles>");
    }
    EXPECT_EQ(ilktest::read_bytes(path()), "<Styles>\r\n");
    EXPECT_TRUE(backups().empty());
}

TEST(StyleLibrary, ABrokenStyleLeavesTheOthers) {
    std::vector<std::string> errors;
    const style_library_map m =
        parse_style_library("<Styles><Style Name=\"a\"><Border Style=\"psSolid\"></Style>"
                            "<Style Name=\"b\"><Border Style=\"psSolid\"/></Style></Styles>",
                            &errors);
    EXPECT_EQ(m.size(), 1u);
    EXPECT_EQ(m.count("b"), 1u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("стиль 'a': ", 0), 0u);
}

} // namespace
