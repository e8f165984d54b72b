#include "base/cp1251.h"
#include "base/nx_log.h"
#include "base/settings.h"
#include "base/settings_keys.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

using namespace nxkit;
using ilktest::read_bytes;
using ilktest::write_bytes;
using namespace std::string_literals;

class Settings : public testing::Test {
protected:
    void SetUp() override {
        path = ilktest::station_dir() + "ilkstation.ini";
        std::remove(path.c_str());
        settings_reload();
    }

    // Other suites of this process share the station folder.
    void TearDown() override { std::remove(path.c_str()); }

    std::string file() const { return read_bytes(path); }

    // The file as an operator would leave it before a start: read afresh by the next call.
    void put_file(const std::string& bytes) const {
        write_bytes(path, bytes);
        settings_reload();
    }

    std::string path;
};

TEST_F(Settings, LivesBesideTheStationBaseName) {
    EXPECT_EQ(settings_path(), path);
}

TEST_F(Settings, FirstStartLeavesEveryKeyReadWithWriteBack) {
    EXPECT_EQ(read_log_size(), 1000000);
    EXPECT_FALSE(read_full_screen());
    EXPECT_EQ(read_previous_window(), 0);
    EXPECT_EQ(settings_get_string("CTRL", "title", "", true), "");
    // Without write-back nothing is added.
    EXPECT_EQ(settings_get_int("HAND", "Сигнал 1", -1, false), -1);
    EXPECT_EQ(file(), "[LOG]\r\nLOG_SIZE=1000000\r\n"
                      "\r\n[VIEW]\r\nFULLSCREEN=0\r\n"
                      "\r\n[CTRL]\r\nhwnd=0\r\ntitle=\r\n");
}

TEST_F(Settings, ReadWithoutWriteBackCreatesNoFile) {
    EXPECT_EQ(settings_get_string("A", "b", "c", false), "c");
    EXPECT_EQ(settings_get_double("SHEMA_ZOOM", "k", 1.0, false), 1.0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(Settings, LogSizeIsRaisedToItsFloor) {
    put_file("[LOG]\r\nLOG_SIZE=2000000\r\n");
    EXPECT_EQ(read_log_size(), 2000000);
    EXPECT_EQ(file(), "[LOG]\r\nLOG_SIZE=2000000\r\n");

    put_file("[LOG]\r\nLOG_SIZE=abc\r\n");
    EXPECT_EQ(settings_get_int("LOG", "LOG_SIZE", 1000000, true), 0);
    EXPECT_EQ(file(), "[LOG]\r\nLOG_SIZE=abc\r\n");
    EXPECT_EQ(read_log_size(), 1000000);
    EXPECT_EQ(file(), "[LOG]\r\nLOG_SIZE=1000000\r\n");

    put_file("[LOG]\r\nLOG_SIZE=500000\r\n");
    EXPECT_EQ(read_log_size(), 1000000);
    EXPECT_EQ(file(), "[LOG]\r\nLOG_SIZE=1000000\r\n");
}

TEST_F(Settings, WriteBackComparesTextsNotNumbers) {
    const std::string original = "[VIEW]\r\nFONT_TAB=0010\r\nEDITLINE=9\r\n";
    put_file(original);
    EXPECT_EQ(settings_get_int("VIEW", "FONT_TAB", 10, true), 10);
    EXPECT_EQ(settings_get_int("VIEW", "EDITLINE", 9, true), 9);
    EXPECT_EQ(file(), original);
    EXPECT_EQ(read_setting(setting::scroll_time), 200);
    EXPECT_EQ(file(), original + "SCROLL_TIME=200\r\n");
}

TEST_F(Settings, IntegersAreTheLeadingDecimalNumber) {
    put_file("[N]\r\na=-12xyz\r\nb=  +7  \r\nc=abc\r\nd=\r\ne=99999999999\r\n");
    EXPECT_EQ(settings_get_int("N", "a", 5, false), -12);
    EXPECT_EQ(settings_get_int("N", "b", 5, false), 7);
    EXPECT_EQ(settings_get_int("N", "c", 5, false), 0);
    EXPECT_EQ(settings_get_int("N", "d", 5, false), 0);
    EXPECT_EQ(settings_get_int("N", "e", 5, false), 2147483647);
    EXPECT_EQ(settings_get_int("N", "missing", -1, false), -1);

    settings_set_int("N", "a", -2147483647 - 1);
    EXPECT_EQ(settings_get_int("N", "a", 0, false), -2147483647 - 1);
    EXPECT_NE(file().find("\r\na=-2147483648\r\n"), std::string::npos);
}

TEST_F(Settings, DoublesKeepOneDigitAfterThePoint) {
    settings_set_double("SHEMA_ZOOM", "k1", 1.25);
    settings_set_double("SHEMA_ZOOM", "k2", 3);
    settings_set_double("SHEMA_ZOOM", "k3", 0.001);
    settings_set_double("SHEMA_ZOOM", "k4", 100);
    settings_set_double("SHEMA_ZOOM", "k5", -2.5);
    EXPECT_EQ(file(), "[SHEMA_ZOOM]\r\nk1=1.25\r\nk2=3.0\r\nk3=0.001\r\nk4=100.0\r\nk5=-2.5\r\n");
    EXPECT_EQ(settings_get_double("SHEMA_ZOOM", "k1", 1.0, true), 1.25);
    EXPECT_EQ(settings_get_double("SHEMA_ZOOM", "k3", 1.0, true), 0.001);
    EXPECT_EQ(read_setting(setting::shema_zoom, "k5"), -2.5);

    put_file("[SHEMA_ZOOM]\r\na=2.5abc\r\nb=abc\r\nc=+1.5\r\nd=1,5\r\n");
    EXPECT_EQ(settings_get_double("SHEMA_ZOOM", "a", 1.0, false), 2.5);
    EXPECT_EQ(settings_get_double("SHEMA_ZOOM", "b", 1.0, false), 0.0);
    EXPECT_EQ(settings_get_double("SHEMA_ZOOM", "c", 1.0, false), 1.5);
    EXPECT_EQ(settings_get_double("SHEMA_ZOOM", "d", 1.0, false), 1.0);

    // The default goes through the same text, so 1.0 is written as "1.0".
    EXPECT_EQ(read_setting(setting::shema_zoom, "new"), 1.0);
    EXPECT_NE(file().find("\r\nnew=1.0\r\n"), std::string::npos);
}

TEST_F(Settings, StringsAreCutTo4999Characters) {
    settings_set_string("S", "latin", std::string(5000, 'x'));
    EXPECT_EQ(settings_get_string("S", "latin", "", false), std::string(4999, 'x'));

    std::string cyrillic;
    for (int i = 0; i < 5000; ++i)
        cyrillic += "ж";
    settings_set_string("S", "cyr", cyrillic);
    std::string read = settings_get_string("S", "cyr", "", false);
    EXPECT_EQ(utf8_length(read), 4999u);
    EXPECT_EQ(read, utf8_left(cyrillic, 4999));
    // On disk the whole value stays, one byte a character.
    EXPECT_NE(file().find("cyr=" + std::string(5000, '\xE6') + "\r\n"), std::string::npos);
}

TEST_F(Settings, NamesMatchWithoutRegardToCase) {
    settings_set_string("Section", "Key", "1");
    settings_set_string("SECTION", "KEY", "2");
    settings_set_string("Раздел", "Ключ Ёж", "3");
    settings_set_string("РАЗДЕЛ", "ключ ёЖ", "4");
    EXPECT_EQ(settings_get_string("section", "key", "", false), "2");
    EXPECT_EQ(settings_get_string("раздел", "КЛЮЧ ЁЖ", "", false), "4");
    // The names keep the spelling of their first write.
    EXPECT_EQ(file(), "[Section]\r\nKey=2\r\n\r\n[\xD0\xE0\xE7\xE4\xE5\xEB]\r\n"
                      "\xCA\xEB\xFE\xF7 \xA8\xE6=4\r\n");
}

TEST_F(Settings, TextOnDiskIsWindows1251) {
    settings_set_string("CTRL", "title", "Пс №5 — Ёлка €");
    settings_set_string("CTRL", "shortcut", "中文");
    EXPECT_EQ(file(), "[CTRL]\r\ntitle=\xCF\xF1 \xB9\x35 \x97 \xA8\xEB\xEA\xE0 \x88\r\n"
                      "shortcut=??\r\n");
    EXPECT_EQ(read_setting(setting::title), "Пс №5 — Ёлка €");
}

TEST_F(Settings, WritesTouchOnlyTheirOwnLine) {
    const std::string head = "; station settings\r\n"
                             "[LOG]\r\n"
                             "LOG_SIZE=2000000\r\n"
                             "; beeps\r\n"
                             "BEEP_DUR=50\r\n"
                             "\r\n"
                             "[VIEW]\r\n"
                             "  FONT_TAB = 12  \r\n"
                             "; end of view\r\n"
                             "\r\n";
    const std::string tail = "[CTRL]\n"
                             "hwnd=7\n";
    put_file(head + tail);

    settings_set_int("VIEW", "FONT_TAB", 15);
    settings_set_int("LOG", "BEEP_FREC", 2000);
    settings_set_int("VIEW", "NUM", 1);
    EXPECT_EQ(file(), "; station settings\r\n"
                      "[LOG]\r\n"
                      "LOG_SIZE=2000000\r\n"
                      "; beeps\r\n"
                      "BEEP_DUR=50\r\n"
                      "BEEP_FREC=2000\r\n"
                      "\r\n"
                      "[VIEW]\r\n"
                      "  FONT_TAB =15\r\n"
                      "NUM=1\r\n"
                      "; end of view\r\n"
                      "\r\n" +
                          tail);
    EXPECT_EQ(settings_get_int("VIEW", "font_tab", 0, false), 15);
    EXPECT_EQ(settings_get_int("CTRL", "hwnd", 0, false), 7);
}

TEST_F(Settings, BlanksAroundNamesAndValuesAreTrimmed) {
    put_file("  [ VIEW ]  \r\n\t FULLSCREEN \t= 1 \t\r\n");
    EXPECT_TRUE(read_full_screen());
    EXPECT_EQ(settings_get_string("VIEW", "FULLSCREEN", "", false), "1");
    EXPECT_EQ(file(), "  [ VIEW ]  \r\n\t FULLSCREEN \t= 1 \t\r\n");
}

TEST_F(Settings, UnreadableLinesNeverHideReadableKeys) {
    const std::string original = "garbage before any section\r\n"
                                 "[A]\r\n"
                                 "x=1\r\n"
                                 "this line has no equals sign\r\n"
                                 "junk\0\0junk\r\n"
                                 "v=a\0b\r\n"
                                 "y=2\n"
                                 "[broken header\r\n"
                                 "z=3\r\n"
                                 "=no name\r\n"
                                 ";w=4\r\n"
                                 "[B]\r\n"
                                 "q=last"s;
    put_file(original);
    ASSERT_EQ(file(), original);
    EXPECT_EQ(settings_get_int("A", "x", 0, false), 1);
    EXPECT_EQ(settings_get_int("A", "y", 0, false), 2);
    EXPECT_EQ(settings_get_int("A", "z", 0, false), 3);
    EXPECT_EQ(settings_get_int("A", "w", 0, false), 0);
    EXPECT_EQ(settings_get_string("B", "q", "", false), "last");
    EXPECT_EQ(settings_get_string("A", "v", "-", false), "a\0b"s);

    // A key added at the end gives the last line its break; everything else stays.
    settings_set_int("B", "r", 5);
    EXPECT_EQ(file(), original + "\r\nr=5\r\n");
    settings_set_int("A", "y", 20);
    EXPECT_EQ(settings_get_int("A", "y", 0, false), 20);
    EXPECT_EQ(settings_get_int("A", "x", 0, false), 1);
    EXPECT_EQ(settings_get_int("A", "z", 0, false), 3);
}

TEST_F(Settings, NewSectionAfterMissingFinalBreak) {
    put_file("[A]\r\nx=1");
    settings_set_int("B", "y", 2);
    EXPECT_EQ(file(), "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
}

TEST_F(Settings, ClearSectionRemovesItsKeysOnly) {
    write_bytes(path,
                "[HAND]\r\nSHOW=1\r\n; entered by hand\r\nСигнал=5\r\n\r\n[CTRL]\r\nedit=1\r\n");
    settings_clear_section("hand");
    EXPECT_EQ(file(), "[HAND]\r\n; entered by hand\r\n\r\n[CTRL]\r\nedit=1\r\n");
    EXPECT_EQ(settings_get_int("HAND", "SHOW", -1, false), -1);
    settings_set_int("HAND", "Сигнал", 3);
    EXPECT_EQ(settings_get_int("HAND", "сигнал", -1, false), 3);
    EXPECT_EQ(file(), "[HAND]\r\n\xD1\xE8\xE3\xED\xE0\xEB=3\r\n; entered by hand\r\n\r\n"
                      "[CTRL]\r\nedit=1\r\n");
    settings_clear_section("MISSING");
    EXPECT_NE(file().find("edit=1"), std::string::npos);
}

TEST_F(Settings, ReadOnceAndWrittenThrough) {
    put_file("[A]\r\nx=1\r\n; note\r\n");
    EXPECT_EQ(settings_get_int("A", "x", 0, false), 1);
    // A change by hand while the program runs is not seen: the copy in memory holds.
    write_bytes(path, "[A]\r\nx=2\r\n");
    EXPECT_EQ(settings_get_int("A", "x", 0, false), 1);
    std::remove(path.c_str());
    EXPECT_EQ(settings_get_int("A", "x", 0, false), 1);
    // Every change writes the whole copy, comments included.
    settings_set_int("A", "y", 5);
    EXPECT_EQ(file(), "[A]\r\nx=1\r\ny=5\r\n; note\r\n");
    EXPECT_EQ(settings_get_int("B", "z", 7, true), 7);
    EXPECT_EQ(file(), "[A]\r\nx=1\r\ny=5\r\n; note\r\n\r\n[B]\r\nz=7\r\n");
    settings_clear_section("A");
    EXPECT_EQ(file(), "[A]\r\n; note\r\n\r\n[B]\r\nz=7\r\n");
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ilktest::station_dir()))
        files += entry.path().filename().string().rfind("ilkstation.ini", 0) == 0;
    EXPECT_EQ(files, 1);
    // Read afresh only when asked.
    write_bytes(path, "[A]\r\nx=3\r\n");
    settings_reload();
    EXPECT_EQ(settings_get_int("A", "x", 0, false), 3);
}

// A settings file that cannot be written (here a folder stands in its place, as a full disk
// would refuse the write) is logged once per run of failures and offered once to the screen;
// the values live on in memory and reach the file with the next write that succeeds.
TEST_F(Settings, AFailedWriteIsLoggedAndShownOnce) {
    std::string log = ilktest::station_dir() + "settings_test.log";
    nx_log::main().close();
    std::remove(log.c_str());
    ASSERT_TRUE(nx_log::main().open(log, 10000000, 0));
    std::filesystem::create_directory(path);

    settings_set_int("A", "x", 1);
    settings_set_int("A", "y", 2);
    std::string logged = from_cp1251(read_bytes(log));
    const std::string line = " | ERR | Не удалось сохранить файл настроек " + path;
    ASSERT_NE(logged.find(line), std::string::npos) << logged;
    EXPECT_EQ(logged.find(line, logged.find(line) + 1), std::string::npos) << logged;
    EXPECT_EQ(settings_get_int("A", "y", 0, false), 2);
    std::string notice = settings_take_write_failure();
    EXPECT_EQ(notice.rfind("Не удалось сохранить файл настроек " + path, 0), 0u) << notice;
    EXPECT_EQ(settings_take_write_failure(), "");

    std::filesystem::remove(path);
    settings_set_int("A", "z", 3);
    EXPECT_EQ(file(), "[A]\r\nx=1\r\ny=2\r\nz=3\r\n");
    // Failing again after a success: logged again, but the screen has been told already.
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    settings_set_int("A", "x", 4);
    logged = from_cp1251(read_bytes(log));
    EXPECT_NE(logged.find(line, logged.find(line) + 1), std::string::npos) << logged;
    EXPECT_EQ(settings_take_write_failure(), "");
    std::filesystem::remove(path);
    nx_log::main().close();
}

TEST_F(Settings, KeyNamesOfASection) {
    put_file(to_cp1251("[HAND]\r\ns1_2_7=1\r\n; s9=1\r\n  S1_2_8 = 0\r\n[Другое]\r\nq=1\r\n"));
    EXPECT_EQ(settings_key_names("hand"), (std::vector<std::string>{"s1_2_7", "S1_2_8"}));
    EXPECT_TRUE(settings_key_names("нет").empty());
    settings_set_string("другое", "ключ", "1");
    EXPECT_EQ(settings_key_names("ДРУГОЕ"), (std::vector<std::string>{"q", "ключ"}));
}

TEST_F(Settings, ConcurrentWritersLoseNoKey) {
    constexpr int count = 1000;
    auto writer = [](const char* prefix) {
        for (int i = 0; i < count; ++i)
            settings_set_int("MT", prefix + std::to_string(i), i);
    };
    std::thread first(writer, "a");
    std::thread second(writer, "b");
    first.join();
    second.join();
    // Every key of both writers, each once, with its last value.
    const std::string bytes = file();
    int missing = 0;
    for (int i = 0; i < count; ++i)
        for (const char* prefix : {"\na", "\nb"})
            missing += bytes.find(prefix + std::to_string(i) + "=" + std::to_string(i) + "\r\n") ==
                       std::string::npos;
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 2 * count + 1);
    EXPECT_EQ(settings_get_int("MT", "a999", -1, false), 999);
    EXPECT_EQ(settings_get_int("MT", "b0", -1, false), 0);
    EXPECT_EQ(missing, 0);
}

// The read-only check happens at the process's first use, so it runs in a fresh process.
TEST(SettingsFirstUse, ReadOnlyFileIsMadeWritable) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto check = [] {
        namespace fs = std::filesystem;
        std::string file = ilktest::station_dir() + "ilkstation.ini";
        write_bytes(file, "[A]\r\nx=1\r\n");
        fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
        bool read = settings_get_int("A", "x", 0, false) == 1;
        bool writable =
            (fs::status(file).permissions() & fs::perms::owner_write) != fs::perms::none;
        std::error_code ec;
        fs::remove_all(ilktest::station_dir(), ec);
        std::_Exit(read && writable ? 0 : 1);
    };
    EXPECT_EXIT(check(), testing::ExitedWithCode(0), "");
}

} // namespace
