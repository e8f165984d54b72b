#include "base/cp1251.h"
#include "platform/station.h"
#include "schemes/control/style_library.h"
#include "shell/command_line.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using namespace nxkit;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Parsing

TEST(CommandLine, EveryOptionIsRead) {
    EXPECT_EQ(parse_command_line({}).action, command_action::run);

    command_line station = parse_command_line({"--station", "/srv/st"});
    EXPECT_EQ(station.action, command_action::run);
    EXPECT_EQ(station.station, "/srv/st");
    EXPECT_EQ(parse_command_line({"--station=/srv/st"}).station, "/srv/st");

    command_line fresh = parse_command_line({"--new-station", "st"});
    EXPECT_EQ(fresh.action, command_action::new_station);
    EXPECT_EQ(fresh.new_folder, "st");

    EXPECT_EQ(parse_command_line({"--demo"}).action, command_action::demo);
    command_line demo_there = parse_command_line({"--demo", "--station", "d"});
    EXPECT_EQ(demo_there.action, command_action::demo);
    EXPECT_EQ(demo_there.station, "d");

    EXPECT_EQ(parse_command_line({"--help"}).action, command_action::help);
    EXPECT_EQ(parse_command_line({"-h"}).action, command_action::help);
    EXPECT_EQ(parse_command_line({"--version"}).action, command_action::version);
    // Help and version answer whatever else is asked.
    EXPECT_EQ(parse_command_line({"--demo", "--help"}).action, command_action::help);
}

TEST(CommandLine, BadUseIsNamed) {
    const std::map<std::vector<std::string>, std::string> cases = {
        {{"--bogus"}, "неизвестный параметр '--bogus'"},
        {{"-x"}, "неизвестный параметр '-x'"},
        {{"station"}, "лишний аргумент 'station'"},
        {{"--station"}, "после --station нужна папка"},
        {{"--new-station"}, "после --new-station нужна папка"},
        {{"--station="}, "после --station нужна папка"},
        {{"--version=2"}, "параметр --version не принимает значения"},
        {{"--demo", "--demo"}, "параметр --demo указан дважды"},
        {{"--station", "a", "--station", "b"}, "параметр --station указан дважды"},
        {{"--new-station", "a", "--demo"}, "--new-station не сочетается с --demo"},
        {{"--new-station", "a", "--station", "b"}, "--new-station не сочетается с --station"},
    };
    for (const auto& [args, error] : cases) {
        command_line line = parse_command_line(args);
        EXPECT_EQ(line.action, command_action::bad_use) << args[0];
        EXPECT_EQ(line.error, error);
    }
}

// ---------------------------------------------------------------------------------------------
// A new station, the demo copy, the first-start offer

TEST(NewStation, HoldsTheRootsTheStyleLibraryAndTheControllerFolder) {
    ilktest::temp_dir dir;
    const std::string station = dir.path() + "new/";
    ASSERT_EQ(create_station(station), "");
    EXPECT_EQ(from_cp1251(ilktest::read_bytes(station + "refs.ini")),
              "<struct>\r\n<REFs version=\"1\">\r\n"
              "  <ref tp=\"50\" cur=\"1\" title=\"Оборудование\"/>\r\n"
              "  <ref tp=\"40\" cur=\"1\" title=\"Структура\"/>\r\n"
              "  <ref tp=\"80\" cur=\"1\" title=\"Схемы\" tmoo=\"15\"/>\r\n"
              "</REFs>\r\n</struct>\r\n");
    EXPECT_EQ(ilktest::read_bytes(station + "SDE/default.XSTL"), to_cp1251(builtin_library_text()));
    EXPECT_TRUE(fs::is_directory(station + "CONF_INI"));

    // An empty folder that exists is taken as well.
    const std::string empty = dir.path() + "empty/";
    fs::create_directories(empty);
    EXPECT_EQ(create_station(empty), "");
    EXPECT_TRUE(fs::exists(empty + "refs.ini"));
}

TEST(NewStation, RefusesAFolderThatIsNotEmptyAndTouchesNothing) {
    ilktest::temp_dir dir;
    ilktest::write_bytes(dir.path() + "notes.txt", "x");
    EXPECT_EQ(create_station(dir.path()),
              "папка '" + dir.path() + "' не пуста: новая станция создается только в пустой папке");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"notes.txt"});

    // A file is no folder.
    EXPECT_EQ(create_station(dir.path() + "notes.txt"), "'" + dir.path() + "notes.txt' не папка");
}

TEST(DemoStation, IsCopiedOnceWithTheControllersOwnFile) {
    ilktest::temp_dir dir;
    const std::string station = dir.path() + "demo/";
    ASSERT_EQ(prepare_demo_station(DEMO_FOLDER "/", station), "");
    EXPECT_EQ(ilktest::read_bytes(station + "refs.ini"),
              ilktest::read_bytes(DEMO_FOLDER "/refs.ini"));
    EXPECT_EQ(ilktest::read_bytes(station + "kp-sim.scn"),
              ilktest::read_bytes(DEMO_FOLDER "/kp-sim.scn"));
    EXPECT_EQ(ilktest::read_bytes(station + "controller/conf.ini"),
              ilktest::read_bytes(DEMO_FOLDER "/CONF_INI/conf.ini"));

    // The operator's changes survive the next start.
    ilktest::write_bytes(station + "refs.ini", "changed");
    ASSERT_EQ(prepare_demo_station(DEMO_FOLDER "/", station), "");
    EXPECT_EQ(ilktest::read_bytes(station + "refs.ini"), "changed");
}

TEST(DemoStation, SimulatorsAreFoundInstalledOrInTheBuild) {
    ilktest::temp_dir dir;
    fs::create_directories(dir.path() + "tools/kp-sim");
    ilktest::write_bytes(dir.path() + "tools/kp-sim/kp-sim", "");
    fs::permissions(dir.path() + "tools/kp-sim/kp-sim", fs::perms::owner_all);
    EXPECT_EQ(find_tool(dir.path(), "ilkstation-kp-sim", "tools/kp-sim/kp-sim"),
              dir.path() + "tools/kp-sim/kp-sim");
    ilktest::write_bytes(dir.path() + "ilkstation-kp-sim", "");
    fs::permissions(dir.path() + "ilkstation-kp-sim", fs::perms::owner_all);
    EXPECT_EQ(find_tool(dir.path(), "ilkstation-kp-sim", "tools/kp-sim/kp-sim"),
              dir.path() + "ilkstation-kp-sim");
    EXPECT_EQ(find_tool(dir.path(), "ilkstation-controller-sim", "tools/x/controller-sim"), "");
}

TEST(FirstStart, OffersAnEmptyStationOrTheDemo) {
    ilktest::scripted_prompt prompt;
    prompt.expect_form("Станция не найдена: папка станции /home/op/st/ пуста или ее нет.", 1);
    prompt.expect_form("Создать в ней пустую станцию или открыть демонстрационную станцию?", 2);
    prompt.expect_form("Станция не найдена", 3);
    prompt.expect_form("Станция не найдена", 0);
    EXPECT_EQ(offer_first_start("/home/op/st/"), first_start_choice::create_empty);
    EXPECT_EQ(offer_first_start("/home/op/st/"), first_start_choice::open_demo);
    EXPECT_EQ(offer_first_start("/home/op/st/"), first_start_choice::quit);
    EXPECT_EQ(offer_first_start("/home/op/st/"), first_start_choice::quit);
    ASSERT_EQ(prompt.forms().size(), 4u);
    const auto& buttons = prompt.forms()[0].buttons;
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(buttons[0].text, "Создать пустую станцию");
    EXPECT_EQ(buttons[0].answer, 1);
    EXPECT_EQ(buttons[1].text, "Открыть демонстрационную станцию");
    EXPECT_EQ(buttons[1].answer, 2);
    EXPECT_EQ(buttons[2].text, "Выход");
    EXPECT_EQ(buttons[2].answer, 0);
}

TEST(FirstStart, OnlyAMissingOrEmptyFolderCountsAsNoStation) {
    ilktest::temp_dir dir;
    EXPECT_TRUE(folder_missing_or_empty(dir.path() + "none/"));
    EXPECT_TRUE(folder_missing_or_empty(dir.path()));
    ilktest::write_bytes(dir.path() + "ilkstation.ini", "");
    EXPECT_FALSE(folder_missing_or_empty(dir.path()));
}

// ---------------------------------------------------------------------------------------------
// The program itself

// A run of a program with its own environment; standard output and error go into files.
class program_run {
public:
    program_run(const std::string& binary, const std::vector<std::string>& args,
                std::map<std::string, std::string> overrides) {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            std::string entry = *e;
            if (overrides.count(entry.substr(0, entry.find('='))) == 0)
                env.push_back(entry);
        }
        for (auto& [name, value] : overrides)
            if (value != "<unset>")
                env.push_back(name + "=" + value);
        std::vector<std::string> words{binary};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (auto& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const std::string out = files_.path() + "out", err = files_.path() + "err";
        pid_ = fork();
        if (pid_ == 0) {
            int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(o, 1);
            ::dup2(e, 2);
            execve(binary.c_str(), argv.data(), envp.data());
            _exit(127);
        }
    }
    ~program_run() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    // The exit status, -1 when it did not end in time or ended by a signal.
    int wait_exit(std::chrono::milliseconds limit = 20s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }
    void signal(int sig) { kill(pid_, sig); }
    std::string out() const { return ilktest::read_bytes(files_.path() + "out"); }
    std::string err() const { return ilktest::read_bytes(files_.path() + "err"); }

private:
    ilktest::temp_dir files_;
    pid_t pid_ = -1;
    bool exited_ = false;
};

const std::map<std::string, std::string> offscreen = {{"QT_QPA_PLATFORM", "offscreen"}};

bool wait_for(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

std::string log_of(const std::string& station) {
    return from_cp1251(ilktest::read_bytes(station + "ilkstation.log"));
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Starts the workstation, waits until its main window exists (it writes its handle into the
// settings), closes it with SIGTERM; returns the exit status.
int start_and_stop(const std::string& binary, const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env, const std::string& station) {
    program_run run(binary, args, env);
    const bool up = wait_for([&] {
        return from_cp1251(ilktest::read_bytes(station + "ilkstation.ini")).find("\r\nhwnd=") !=
                   std::string::npos &&
               log_of(station).find("СТАРТ") != std::string::npos;
    });
    EXPECT_TRUE(up) << run.err();
    std::this_thread::sleep_for(300ms);
    run.signal(SIGTERM);
    return run.wait_exit();
}

TEST(Command, VersionAndHelp) {
    // The version is the changelog's.
    std::ifstream changelog(DEMO_FOLDER "/../debian/changelog");
    std::string head;
    std::getline(changelog, head);
    const std::string version =
        head.substr(head.find('(') + 1, head.find(')') - head.find('(') - 1);
    ASSERT_FALSE(version.empty());

    program_run v(ILKSTATION_BINARY, {"--version"}, {});
    EXPECT_EQ(v.wait_exit(), 0);
    EXPECT_EQ(v.out().substr(0, v.out().find('\n')), "ilkstation " + version);
    EXPECT_EQ(v.err(), "");

    program_run h(ILKSTATION_BINARY, {"--help"}, {});
    EXPECT_EQ(h.wait_exit(), 0);
    EXPECT_EQ(h.out(), help_text());
    for (const char* option :
         {"--station ПАПКА", "--new-station ПАПКА", "--demo", "--help", "--version"})
        EXPECT_NE(h.out().find(option), std::string::npos) << option;
}

TEST(Command, BadOptionsEndWithStatusTwoAndSayWhy) {
    ilktest::temp_dir station;
    program_run bad(ILKSTATION_BINARY, {"--bogus"}, {{"ILKSTATION_HOME", station.path()}});
    EXPECT_EQ(bad.wait_exit(), 2);
    EXPECT_EQ(bad.err(),
              "ilkstation: неизвестный параметр '--bogus'\nСправка: ilkstation --help\n");
    EXPECT_EQ(bad.out(), "");
    // Nothing of the station was touched: no log, no settings.
    EXPECT_TRUE(fs::is_empty(station.path()));

    program_run missing(ILKSTATION_BINARY, {"--station"}, {});
    EXPECT_EQ(missing.wait_exit(), 2);
    EXPECT_EQ(missing.err(),
              "ilkstation: после --station нужна папка\nСправка: ilkstation --help\n");

    program_run nowhere(ILKSTATION_BINARY, {"--station", station.path() + "none"}, {});
    EXPECT_EQ(nowhere.wait_exit(), 1);
    EXPECT_EQ(nowhere.err(), "ilkstation: нет папки станции '" + station.path() + "none'\n");
}

TEST(Command, NewStationThenStartOnItOverridingTheEnvironment) {
    ilktest::temp_dir dir;
    const std::string station = dir.path() + "st/";
    const std::string other = dir.path() + "other/";
    fs::create_directories(other);

    program_run made(ILKSTATION_BINARY, {"--new-station", station}, {});
    ASSERT_EQ(made.wait_exit(), 0) << made.err();
    EXPECT_EQ(made.out(), "создана станция в папке " + station + "\nзапуск: ilkstation --station " +
                              station + "\n");
    const std::string settings = from_cp1251(ilktest::read_bytes(station + "ilkstation.ini"));
    EXPECT_NE(settings.find("[LOG]\r\nLOG_SIZE=1000000\r\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("\r\nFULLSCREEN=0\r\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("\r\nEDIT_KEY_SEQ=Ctrl+Alt+Shift+F7\r\n"), std::string::npos);
    EXPECT_NE(settings.find("\r\nMAX_BACK_REFS=10\r\n"), std::string::npos);
    const std::string refs = ilktest::read_bytes(station + "refs.ini");

    // Once made, the folder is a station: a second --new-station refuses it.
    program_run again(ILKSTATION_BINARY, {"--new-station", station}, {});
    EXPECT_EQ(again.wait_exit(), 1);
    EXPECT_EQ(again.err(), "ilkstation: папка '" + station +
                               "' не пуста: новая станция создается только в пустой папке\n");

    auto env = offscreen;
    env["ILKSTATION_HOME"] = other;
    EXPECT_EQ(start_and_stop(ILKSTATION_BINARY, {"--station", station}, env, station), 0);
    const std::string log = log_of(station);
    EXPECT_TRUE(ends_with(log, "СТОП")) << log;
    EXPECT_EQ(log.find("| ERR |"), std::string::npos) << log;
    // The new station's configuration is the one the program itself saves.
    EXPECT_EQ(ilktest::read_bytes(station + "refs.ini"), refs);
    EXPECT_TRUE(fs::is_empty(other));
}

// An installed tree: the executable in <root>/usr/bin beside <root>/usr/share/ilkstation.
class installed_tree : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_.path() + "usr/bin");
        fs::create_directories(root_.path() + "usr/share/ilkstation");
        fs::copy(DEMO_FOLDER, root_.path() + "usr/share/ilkstation/demo",
                 fs::copy_options::recursive);
        fs::copy_file(ILKSTATION_BINARY, binary());
        fs::permissions(binary(), fs::perms::owner_all);
    }
    std::string binary() const { return root_.path() + "usr/bin/ilkstation"; }
    std::string xdg() const { return root_.path() + "xdg/"; }
    std::map<std::string, std::string> env(bool display) const {
        return {{"ILKSTATION_HOME", "<unset>"},
                {"XDG_DATA_HOME", xdg()},
                {"QT_QPA_PLATFORM", display ? "offscreen" : "<unset>"},
                {"DISPLAY", "<unset>"},
                {"WAYLAND_DISPLAY", "<unset>"}};
    }
    ilktest::temp_dir root_;
};

TEST_F(installed_tree, DefaultStationIsTheUsersAndItsAbsenceIsSaid) {
    const std::string station = xdg() + "ilkstation/station/";
    // No display to offer on: the offer goes to standard error with the two commands.
    program_run first(binary(), {}, env(false));
    EXPECT_EQ(first.wait_exit(), 1);
    EXPECT_EQ(first.err(), "ilkstation: Станция не найдена: папка станции " + station +
                               " пуста или ее нет.\r\nСоздать в ней пустую станцию или открыть "
                               "демонстрационную станцию?\nСоздать: ilkstation --new-station " +
                               station + "\nДемонстрация: ilkstation --demo\n");
    EXPECT_FALSE(fs::exists(xdg()));
    // Nothing was written beside the executable either.
    EXPECT_FALSE(fs::exists(root_.path() + "usr/bin/ilkstation.ini"));

    program_run made(binary(), {"--new-station", station}, env(false));
    ASSERT_EQ(made.wait_exit(), 0) << made.err();
    EXPECT_EQ(start_and_stop(binary(), {}, env(true), station), 0);
    EXPECT_TRUE(ends_with(log_of(station), "СТОП")) << log_of(station);
    EXPECT_FALSE(fs::exists(root_.path() + "usr/bin/ilkstation.log"));
}

TEST_F(installed_tree, DemoIsCopiedFromTheSharedDataAndRuns) {
    const std::string station = xdg() + "ilkstation/demo/";
    // The simulators are absent from this tree: the demo says so and runs without values.
    EXPECT_EQ(start_and_stop(binary(), {"--demo"}, env(true), station), 0);
    EXPECT_EQ(ilktest::read_bytes(station + "CONF_INI/conf.ini"),
              ilktest::read_bytes(DEMO_FOLDER "/CONF_INI/conf.ini"));
    EXPECT_EQ(ilktest::read_bytes(station + "controller/conf.ini"),
              ilktest::read_bytes(DEMO_FOLDER "/CONF_INI/conf.ini"));
    EXPECT_TRUE(ends_with(log_of(station), "СТОП"));
}

} // namespace
