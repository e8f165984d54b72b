#include "platform/desktop_services.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace {

using namespace nxkit;

// XDG_CONFIG_HOME and HOME pointed at a temporary folder for one test.
class xdg_home {
public:
    xdg_home() {
        for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
            const char* v = std::getenv(name);
            saved_.push_back(v != nullptr ? v : "");
        }
        setenv("XDG_CONFIG_HOME", (dir_.path() + "config").c_str(), 1);
        setenv("HOME", dir_.path().c_str(), 1);
    }
    ~xdg_home() {
        setenv("XDG_CONFIG_HOME", saved_[0].c_str(), 1);
        setenv("HOME", saved_[1].c_str(), 1);
    }
    const std::string& path() const { return dir_.path(); }

private:
    ilktest::temp_dir dir_;
    std::vector<std::string> saved_;
};

TEST(TerminalMode, TheAutostartEntryIsWrittenReadBackAndRemoved) {
    xdg_home home;
    xdg_terminal_mode mode("_srv_ps_ilkstation");
    EXPECT_EQ(mode.entry_path(),
              home.path() + "config/autostart/ilkstation-_srv_ps_ilkstation.desktop");
    EXPECT_EQ(mode.started_program(), "");
    desktop_entry e{"ПС", "/opt/ilk/ilkstation", "/srv/ps/", "/srv/ps/", "", ""};
    ASSERT_TRUE(mode.enable(e));
    EXPECT_EQ(mode.started_program(), "/opt/ilk/ilkstation");
    EXPECT_EQ(ilktest::read_bytes(mode.entry_path()),
              "[Desktop Entry]\nType=Application\nVersion=1.0\nName=ПС\n"
              "Exec=env ILKSTATION_HOME=\"/srv/ps/\" \"/opt/ilk/ilkstation\"\nPath=/srv/ps/\n"
              "Terminal=false\n");
    EXPECT_TRUE(mode.disable());
    EXPECT_FALSE(std::filesystem::exists(mode.entry_path()));
    EXPECT_EQ(mode.started_program(), "");
}

TEST(DesktopLink, TheDesktopFolderComesFromUserDirsAndLinksAreExecutable) {
    xdg_home home;
    xdg_desktop_link link;
    // No desktop folder: the home folder, never "/".
    EXPECT_EQ(link.desktop_folder(), home.path());
    std::filesystem::create_directories(home.path() + "Desktop");
    EXPECT_EQ(link.desktop_folder(), home.path() + "Desktop/");
    std::filesystem::create_directories(home.path() + "Рабочий стол");
    std::filesystem::create_directories(home.path() + "config");
    ilktest::write_bytes(home.path() + "config/user-dirs.dirs",
                         "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Рабочий "
                         "стол\"\n");
    std::string folder = link.desktop_folder();
    ASSERT_EQ(folder, home.path() + "Рабочий стол/");

    desktop_entry e{"ПС", "/opt/ilk/ilkstation", "/srv/ps/", "", "", "ilkstation"};
    ASSERT_TRUE(link.create(folder + " ПС.desktop", e));
    EXPECT_EQ(ilktest::read_bytes(folder + " ПС.desktop"),
              "[Desktop Entry]\nType=Application\nVersion=1.0\nName=ПС\n"
              "Exec=\"/opt/ilk/ilkstation\"\nPath=/srv/ps/\nIcon=ilkstation\nTerminal=false\n");
    struct stat st {};
    ASSERT_EQ(::stat((folder + " ПС.desktop").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IXUSR, 0u);
    EXPECT_NE(ilktest::read_bytes(folder + " ПС.desktop").find("\nExec=\"/opt/ilk/ilkstation\"\n"),
              std::string::npos);
    EXPECT_TRUE(link.remove(folder + " ПС.desktop"));
    EXPECT_FALSE(link.remove(folder + " ПС.desktop"));
}

} // namespace
