#include "platform/station.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace nxkit;

namespace fs = std::filesystem;

TEST(StationRule, HomeVariableWinsOverEverything) {
    station_rule rule{"/srv/st1", "/home/op/.data", "/home/op", "/usr/bin/", true};
    EXPECT_EQ(choose_station_dir(rule), "/srv/st1/");
    rule.installed = false;
    EXPECT_EQ(choose_station_dir(rule), "/srv/st1/");
    // A relative name is taken from the working folder.
    rule.home_variable = "st2";
    EXPECT_EQ(choose_station_dir(rule), fs::current_path().string() + "/st2/");
}

TEST(StationRule, InstalledProgramUsesTheUsersDataFolder) {
    station_rule rule{"", "/home/op/.data", "/home/op", "/usr/bin/", true};
    EXPECT_EQ(choose_station_dir(rule), "/home/op/.data/ilkstation/station/");
    // Unset, empty or relative XDG_DATA_HOME: the XDG default under HOME.
    rule.xdg_data_home = "";
    EXPECT_EQ(choose_station_dir(rule), "/home/op/.local/share/ilkstation/station/");
    rule.xdg_data_home = "data";
    EXPECT_EQ(choose_station_dir(rule), "/home/op/.local/share/ilkstation/station/");
    EXPECT_EQ(user_data_dir("/x/", "/home/op"), "/x/ilkstation/");
}

TEST(StationRule, CheckoutBuildKeepsItsOwnFolder) {
    station_rule rule{"", "/home/op/.data", "/home/op", "/work/ilk/build/", false};
    EXPECT_EQ(choose_station_dir(rule), "/work/ilk/build/");
}

TEST(StationRule, InstalledLayoutIsFoundBesideTheExecutable) {
    ilktest::temp_dir root;
    const std::string bin = root.path() + "usr/bin/";
    fs::create_directories(bin);
    // A bin folder without the shared data: a build that happens to sit in "bin".
    EXPECT_EQ(installed_data_dir(bin), "");
    EXPECT_FALSE(installed_program(bin));

    fs::create_directories(root.path() + "usr/share/ilkstation");
    EXPECT_EQ(installed_data_dir(bin), root.path() + "usr/share/ilkstation/");
    EXPECT_EQ(installed_data_dir(root.path() + "usr/bin"), root.path() + "usr/share/ilkstation/");
    EXPECT_TRUE(installed_program(bin));

    // Only a folder named bin has a share beside it.
    fs::create_directories(root.path() + "usr/build");
    EXPECT_EQ(installed_data_dir(root.path() + "usr/build/"), "");
    EXPECT_FALSE(installed_program(root.path() + "usr/build/"));
}

TEST(StationRule, UnwritableExecutableFolderIsNeverTheStation) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes everywhere";
    ilktest::temp_dir root;
    const std::string folder = root.path() + "opt/";
    fs::create_directories(folder);
    ::chmod(folder.c_str(), 0555);
    EXPECT_TRUE(installed_program(folder));
    ::chmod(folder.c_str(), 0755);
}

TEST(StationRule, ThisProcessFollowsTheRule) {
    // The test main sets ILKSTATION_HOME, so the process's station is that folder.
    station_rule rule = current_station_rule();
    EXPECT_EQ(choose_station_dir(rule), ilktest::station_dir());
    EXPECT_EQ(rule.executable_folder, folder_of(running_executable()));
    EXPECT_EQ(choose_station_dir(rule), exe_dir());
}
