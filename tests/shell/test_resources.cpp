#include "tests/shell/shell_fixture.h"

#include "base/settings_keys.h"
#include "platform/station.h"
#include "shell/window_settings.h"

#include <QApplication>
#include <QFontInfo>
#include <QImage>

#include <map>

namespace {

using namespace nxkit;
using shelltest::shell_test;

class Resources : public shell_test {};

TEST(ButtonLayout, ReadsTheFiveFieldsWithTheirLimits) {
    bool complete = false;
    button_layout l = parse_button_layout("<icon=5><align=LT><X=40><Y=40><type=2>", &complete);
    EXPECT_TRUE(complete);
    EXPECT_EQ(l.icon_size, 20);
    EXPECT_EQ(l.width, 40);
    EXPECT_EQ(l.height, 40);
    EXPECT_EQ(l.style, 2);
    EXPECT_EQ(l.align, 0x500);

    l = parse_button_layout("<icon=64><align=CV><X=101><Y=19><type=4>", &complete);
    EXPECT_EQ(l.icon_size, 48);
    EXPECT_EQ(l.width, 30);
    EXPECT_EQ(l.height, 30);
    EXPECT_EQ(l.style, 2);
    EXPECT_EQ(l.align, 0xF00);

    l = parse_button_layout("<icon=32><align=CCCCCCLLLLL><X=20><Y=100><type=3>", &complete);
    EXPECT_EQ(l.align, 0xF00);
    EXPECT_EQ(l.width, 20);
    EXPECT_EQ(l.height, 100);
    EXPECT_EQ(l.style, 3);

    for (const char* bad : {"garbage", "<icon=32><align=C><X=40><Y=40>", ""}) {
        l = parse_button_layout(bad, &complete);
        EXPECT_FALSE(complete) << bad;
        EXPECT_EQ(l.icon_size, 20);
        EXPECT_EQ(l.width, 30);
        EXPECT_EQ(l.height, 30);
        EXPECT_EQ(l.style, 2);
        EXPECT_EQ(l.align, 0xF00);
    }
}

TEST_F(Resources, AnUnreadableBtnIsWrittenBackAndThisRunUsesTheFallbacks) {
    write_settings("[VIEW]\r\nBTN=garbage\r\nBTN_TOP=0\r\n");
    ui_resources r;
    EXPECT_EQ(r.buttons.icon_size, 20);
    EXPECT_EQ(r.buttons.width, 30);
    EXPECT_FALSE(r.buttons.on_top);
    EXPECT_NE(settings().find("\r\nBTN=<icon=32><align=C><X=40><Y=40><type=2>\r\n"),
              std::string::npos);
    ui_resources next;
    EXPECT_EQ(next.buttons.icon_size, 32);
    EXPECT_EQ(next.buttons.width, 40);
    EXPECT_EQ(next.buttons.align, 0x300);
}

TEST_F(Resources, FontMenuChangesThisProgramsMenusAndComesBackAtRelease) {
    int system_height = -QFontInfo(QApplication::font("QMenu")).pixelSize();
    write_settings("[VIEW]\r\nFONT_MENU=14\r\n");
    {
        ui_resources r;
        EXPECT_EQ(QApplication::font("QMenu").pixelSize(), 14);
        EXPECT_EQ(QApplication::font("QMessageBox").pixelSize(), 14);
        EXPECT_EQ(r.dialog_font.pixelSize(), 14);
        std::string s = settings();
        EXPECT_NE(s.find("\r\nFONT_MENU_SYS=" + std::to_string(system_height) + "\r\n"),
                  std::string::npos)
            << s;
        EXPECT_NE(s.find("\r\nFONT_MENU=14\r\n"), std::string::npos);
    }
    EXPECT_EQ(QApplication::font("QMenu").pixelSize(), -system_height);
    EXPECT_NE(settings().find("\r\nFONT_MENU_SYS=0\r\n"), std::string::npos);
    EXPECT_NE(settings().find("\r\nFONT_MES_SYS=0\r\n"), std::string::npos);
}

TEST_F(Resources, TheImageListsMapNumbersAndCarryTheOverlayMarks) {
    ui_resources r;
    EXPECT_EQ(r.small_images->size(), 16);
    EXPECT_EQ(r.large_images->size(), 48);
    EXPECT_EQ(r.small_images->index_of(1400), 0);
    EXPECT_EQ(r.small_images->index_of(1464), 64);
    EXPECT_EQ(r.small_images->index_of(1500), 65);
    EXPECT_EQ(r.small_images->index_of(1465), -1);
    EXPECT_EQ(r.small_images->number_at(r.small_images->index_of(1525)), 1525);
    std::vector<int> marks;
    for (int i = 1; i <= 8; ++i)
        marks.push_back(r.small_images->overlay_number(i));
    EXPECT_EQ(marks, (std::vector<int>{1400, 1403, 1404, 1439, 1444, 1443, 1445, 1462}));
    EXPECT_EQ(r.small_images_plain->overlay_number(1), 0);
    EXPECT_EQ(r.small_images->pixmap(0).size(), QSize(16, 16));
    EXPECT_TRUE(r.small_images->pixmap(500).isNull());

    write_settings("[HAND]\r\nSHOW=0\r\n");
    ui_resources hidden;
    EXPECT_EQ(hidden.small_images->overlay_number(6), 1452);
}

// Pixel samples of the apparatus pictures: on is red, off is green, drawn where the shape is.
TEST_F(Resources, ApparatusPicturesAreRedWhenOnAndGreenWhenOffAtEverySize) {
    icon_set icons;
    auto red = [](QRgb c) { return qRed(c) > 150 && qGreen(c) < 90 && qAlpha(c) > 120; };
    auto green = [](QRgb c) { return qGreen(c) > 90 && qRed(c) < 90 && qAlpha(c) > 120; };
    for (int size : {16, 32, 48}) {
        QImage on = icons.pixmap(1424, size).toImage();
        QImage off = icons.pixmap(1425, size).toImage();
        ASSERT_EQ(on.size(), QSize(size, size));
        // A breaker is a square: filled when on, hollow when off.
        EXPECT_TRUE(red(on.pixel(size / 2, size / 2))) << size;
        EXPECT_EQ(qRed(off.pixel(size / 2, size / 2)), 255) << size;
        EXPECT_TRUE(green(off.pixel(size * 9 / 32, size / 2))) << size;
        // Transparent around the symbol.
        EXPECT_EQ(qAlpha(on.pixel(0, size / 2)), 0) << size;
        QRgb blade = icons.pixmap(1419, size).toImage().pixel(size / 2, size / 2);
        EXPECT_TRUE(red(blade)) << size;
    }
    // Disabled pictures are grey.
    QImage grey = icons.pixmap(1424, 32, QIcon::Disabled).toImage();
    QRgb c = grey.pixel(16, 16);
    EXPECT_EQ(qRed(c), qGreen(c));
    EXPECT_EQ(qGreen(c), qBlue(c));
}

TEST_F(Resources, OverlaysAreComposedOnceAndDrawnOverTheLowerLeft) {
    icon_set icons;
    QPixmap plain = icons.pixmap(1410, 16);
    QPixmap locked = icons.overlaid(1410, 1400, 16);
    EXPECT_EQ(locked.cacheKey(), icons.overlaid(1410, 1400, 16).cacheKey());
    EXPECT_NE(locked.cacheKey(), icons.overlaid(1410, 1400, 16, QIcon::Disabled).cacheKey());
    QImage a = plain.toImage();
    QImage b = locked.toImage();
    // The padlock covers part of the lower left; the upper right stays the signal's green.
    int changed = 0;
    for (int y = 8; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            changed += a.pixel(x, y) != b.pixel(x, y);
    EXPECT_GT(changed, 10);
    EXPECT_EQ(a.pixel(12, 4), b.pixel(12, 4));
    EXPECT_TRUE(icon_set::has(1558));
    EXPECT_FALSE(icon_set::has(1559));
    EXPECT_TRUE(icons.icon(1465).isNull());
}

TEST(WindowSettings, PlacementMustBeSaneAndMeetAScreen) {
    std::vector<placement_rect> screens{{0, 0, 1280, 800}, {1280, 0, 2560, 1024}};
    EXPECT_TRUE(placement_valid({10, 10, 500, 400}, screens));
    EXPECT_TRUE(placement_valid({2000, 900, 2300, 1000}, screens));
    EXPECT_FALSE(placement_valid({3000, 10, 3500, 400}, screens));
    EXPECT_FALSE(placement_valid({10, 900, 500, 1200}, {{0, 0, 1280, 800}}));
    EXPECT_FALSE(placement_valid({0, 0, 0, 0}, screens));
    EXPECT_FALSE(placement_valid({-10, 10, 500, 400}, screens));
    EXPECT_FALSE(placement_valid({500, 10, 400, 400}, screens));
}

TEST_F(Resources, AnOffScreenPlacementIsIgnoredAndTheTitleNamesTheFolder) {
    write_settings("[CTRL]\r\ntitle=  ПС Северная  \r\nwnd_left=5000\r\nwnd_right=5600\r\n"
                   "wnd_top=100\r\nwnd_bottom=500\r\nwnd_zoom=1\r\n");
    open_window();
    window->show();
    QRect before = window->geometry();
    apply_window_settings(*window, false);
    EXPECT_EQ(window->geometry(), before);
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(window->windowTitle().toStdString(), "ПС Северная (версия 28) - " + exe_dir());

    write_settings("[CTRL]\r\nwnd_left=10\r\nwnd_right=910\r\nwnd_top=20\r\nwnd_bottom=620\r\n");
    apply_window_settings(*window, false);
    EXPECT_EQ(window->geometry(), QRect(10, 20, 900, 600));
    EXPECT_EQ(window->title(), "ilkstation");
    store_placement(*window);
    std::string s = settings();
    EXPECT_NE(s.find("\r\nwnd_left=10\r\nwnd_right=910\r\nwnd_top=20\r\nwnd_bottom=620\r\n"),
              std::string::npos)
        << s;
}

// Links and autostart entries kept in memory.
class memory_desktop : public i_desktop_link, public i_terminal_mode {
public:
    std::map<std::string, desktop_entry> files;
    std::string autostart_program;
    std::string folder = "/home/operator/Рабочий стол/";
    std::string desktop_folder() override { return folder; }
    bool create(const std::string& path, const desktop_entry& entry) override {
        files[path] = entry;
        return true;
    }
    bool remove(const std::string& path) override { return files.erase(path) != 0; }
    std::string entry_path() override { return "/home/operator/.config/autostart/x.desktop"; }
    std::string started_program() override { return autostart_program; }
    bool enable(const desktop_entry& entry) override {
        autostart_program = entry.program;
        return true;
    }
    bool disable() override {
        autostart_program.clear();
        return true;
    }
};

TEST_F(Resources, ASecondShortcutReplacesTheFirst) {
    memory_desktop desktop;
    set_desktop_link(&desktop);
    prompt.expect("Ярлык создан:\r\n/home/operator/Рабочий стол/ Подстанция_", answer_ok);
    create_desktop_shortcut("Подстанция?");
    prompt.expect("Ярлык создан:\r\n/home/operator/Рабочий стол/ Подстанция_ 2_", answer_ok);
    create_desktop_shortcut("Подстанция: 2");
    // Nowhere to write it: the operator is told so, nothing goes to "/".
    desktop.folder.clear();
    prompt.expect("Не удалось создать ярлык: не найдены ни рабочий стол, ни домашняя папка "
                  "пользователя.",
                  answer_ok);
    create_desktop_shortcut("Подстанция: 2");
    set_desktop_link(nullptr);
    ASSERT_EQ(prompt.seen().size(), 3u);
    EXPECT_EQ(prompt.seen()[0].type, mb_information);
    EXPECT_EQ(prompt.seen()[2].type, mb_error);
    ASSERT_EQ(desktop.files.size(), 1u);
    std::string name = shortcut_name("Подстанция: 2", exe_path());
    EXPECT_EQ(name.find_first_of(":/?"), std::string::npos) << name;
    EXPECT_EQ(name.rfind("Подстанция_ 2_", 0), 0u) << name;
    EXPECT_EQ(desktop.files.begin()->first, "/home/operator/Рабочий стол/ " + name + ".desktop");
    EXPECT_EQ(desktop.files.begin()->second.program, running_executable());
    EXPECT_EQ(desktop.files.begin()->second.station_home, exe_dir());
    EXPECT_EQ(desktop.files.begin()->second.icon, "ilkstation");
    EXPECT_NE(settings().find("\r\nshortcut=" + name + "\r\n"), std::string::npos);
}

TEST_F(Resources, TerminalModeAsksToTurnTheAutostartEntryOnAndOff) {
    memory_desktop desktop;
    set_terminal_mode(&desktop);
    write_settings("[VIEW]\r\nTERMINAL=1\r\n");
    prompt.expect("Включить загрузку в режиме 'Терминал' ?\r\nЭлемент автозапуска "
                  "/home/operator/.config/autostart/x.desktop\r\n",
                  answer_no);
    apply_terminal_mode(nullptr);
    EXPECT_TRUE(desktop.autostart_program.empty());
    EXPECT_NE(settings().find("\r\nTERMINAL=0\r\n"), std::string::npos);

    write_settings("[VIEW]\r\nTERMINAL=1\r\n");
    prompt.expect("Включить загрузку в режиме 'Терминал' ?", answer_yes);
    apply_terminal_mode(nullptr);
    EXPECT_EQ(desktop.autostart_program, running_executable());
    // Nothing to ask while the setting and the entry agree.
    apply_terminal_mode(nullptr);

    write_settings("[VIEW]\r\nTERMINAL=0\r\n");
    prompt.expect("Отключить загрузку в режиме 'Терминал' ?", answer_no);
    apply_terminal_mode(nullptr);
    EXPECT_EQ(desktop.autostart_program, running_executable());
    EXPECT_NE(settings().find("\r\nTERMINAL=1\r\n"), std::string::npos);
    write_settings("[VIEW]\r\nTERMINAL=0\r\n");
    prompt.expect("Отключить загрузку в режиме 'Терминал' ?", answer_yes);
    apply_terminal_mode(nullptr);
    EXPECT_TRUE(desktop.autostart_program.empty());
    set_terminal_mode(nullptr);
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST(DesktopEntry, StartsThisStationAndReadsBackItsProgram) {
    desktop_entry e{
        "ПС \"Север\"", "/opt/ilk station/ilkstation", "/srv/ps/", "/srv/ps $1/", "", ""};
    std::string text = desktop_entry_text(e);
    EXPECT_NE(text.find("\nExec=env ILKSTATION_HOME=\"/srv/ps \\$1/\" \"/opt/ilk station/"
                        "ilkstation\"\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(desktop_entry_program(text), "/opt/ilk station/ilkstation");
    EXPECT_EQ(desktop_entry_program("[Desktop Entry]\nExec=/usr/bin/x --flag\n"), "/usr/bin/x");
    EXPECT_EQ(desktop_entry_program("[Desktop Entry]\n"), "");
}

TEST(AboutBox, NamesTheModulesAndTheirVersions) {
    std::string text = about_text("ПС");
    EXPECT_EQ(text.rfind("ПС. Версия 28.\r\n", 0), 0u);
    EXPECT_NE(text.find("Qt " + std::string(qVersion())), std::string::npos);
    EXPECT_NE(text.find("expat 2."), std::string::npos);
    EXPECT_NE(text.find("muParser 2."), std::string::npos);
    EXPECT_NE(text.find("g++ 12"), std::string::npos);
    EXPECT_EQ(edit_key_hint("Ctrl+Alt+Shift+F7"),
              "Для включения редактора конфигурации нажмите клавиши.\r\n"
              "Ctrl + Alt + Shift + F7");
    EXPECT_EQ(edit_key_hint("Ctrl++"), "Для включения редактора конфигурации нажмите "
                                       "клавиши.\r\nCtrl + +");
}

} // namespace
