#include "base/cp1251.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// A workstation process started on a station folder of its own.
class workstation {
public:
    explicit workstation(const std::string& station,
                         std::map<std::string, std::string> overrides = {
                             {"QT_QPA_PLATFORM", "offscreen"}}) {
        overrides["ILKSTATION_HOME"] = station;
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            std::string entry = *e;
            std::string name = entry.substr(0, entry.find('='));
            if (overrides.count(name) == 0)
                env.push_back(entry);
        }
        for (auto& [name, value] : overrides)
            if (value != "<unset>")
                env.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            char* argv[] = {const_cast<char*>(ILKSTATION_BINARY), nullptr};
            execve(ILKSTATION_BINARY, argv, envp.data());
            _exit(127);
        }
    }

    ~workstation() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // The exit code, or -1 when the process did not end in time or ended by a signal.
    int wait_exit(std::chrono::milliseconds limit = 15s) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

    bool running() {
        int status = 0;
        return !exited_ && waitpid(pid_, &status, WNOHANG) == 0;
    }

    void signal(int sig) { kill(pid_, sig); }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

bool wait_for(const std::function<bool()>& condition, std::chrono::milliseconds limit = 15s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

std::string settings_of(const std::string& station) {
    return nxkit::from_cp1251(ilktest::read_bytes(station + "ilkstation.ini"));
}

// The main window writes its handle into the settings once it exists.
bool window_up(const std::string& station) {
    static const std::regex hwnd("\r\nhwnd=[1-9][0-9]*\r\n", std::regex::icase);
    return std::regex_search(settings_of(station), hwnd);
}

// The log's lines without their time stamps: "MES | СТАРТ". The file starts with CR LF, so
// the first piece is empty.
std::vector<std::string> log_lines(const std::string& station) {
    std::string text = nxkit::from_cp1251(ilktest::read_bytes(station + "ilkstation.log"));
    std::vector<std::string> lines;
    if (text.rfind("\r\n", 0) != 0)
        return lines;
    static const std::regex stamp(R"(^\d\d\.\d\d \d\d:\d\d:\d\d\.\d\d\d \| (ERR|WAR|MES) \| )");
    size_t pos = 2;
    while (pos <= text.size()) {
        size_t next = text.find("\r\n", pos);
        std::string line =
            text.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
        std::smatch m;
        if (std::regex_search(line, m, stamp))
            line = m[1].str() + " | " + m.suffix().str();
        lines.push_back(line);
        if (next == std::string::npos)
            break;
        pos = next + 2;
    }
    return lines;
}

const std::string hyphens = "MES | " + std::string(45, '-');

TEST(Startup, FirstStartWritesSettingsAndLogAndSigtermEndsWithStop) {
    ilktest::temp_dir station;
    workstation run(station.path());
    ASSERT_TRUE(wait_for([&] { return window_up(station.path()); })) << settings_of(station.path());
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait_exit(), 0);

    std::vector<std::string> lines = log_lines(station.path());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], hyphens);
    EXPECT_EQ(lines[1], "MES | СТАРТ");
    // Start-up step 8: the style library is made from the built-in styles; then the load.
    EXPECT_EQ(lines[2], "MES | обновлен файл стилей '" + station.path() + "SDE/default.XSTL'");
    EXPECT_EQ(lines[3], "WAR | Файл конфигурации " + station.path() +
                            "refs.ini не найден: запущена пустая станция");
    EXPECT_EQ(lines[4], "MES | СТОП");

    std::string settings = settings_of(station.path());
    EXPECT_NE(settings.find("[LOG]\r\nLOG_SIZE=1000000\r\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("FULLSCREEN=0\r\n"), std::string::npos) << settings;

    // Edit mode is on by default, so the close saved the configuration: the three roots.
    EXPECT_EQ(nxkit::from_cp1251(ilktest::read_bytes(station.path() + "refs.ini")),
              "<struct>\r\n<REFs version=\"1\">\r\n"
              "  <ref tp=\"50\" cur=\"1\" title=\"Оборудование\"/>\r\n"
              "  <ref tp=\"40\" cur=\"1\" title=\"Структура\"/>\r\n"
              "  <ref tp=\"80\" cur=\"1\" title=\"Схемы\" tmoo=\"15\"/>\r\n"
              "</REFs>\r\n</struct>\r\n");
}

TEST(Startup, DemoStationLoadsAndIsSavedUnchangedOnClose) {
    ilktest::temp_dir station;
    std::string demo = ilktest::read_bytes(DEMO_FOLDER "/refs.ini");
    ASSERT_FALSE(demo.empty());
    ilktest::write_bytes(station.path() + "refs.ini", demo);
    workstation run(station.path());
    ASSERT_TRUE(wait_for([&] { return window_up(station.path()); }));
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait_exit(), 0);
    std::vector<std::string> lines = log_lines(station.path());
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[2], "MES | обновлен файл стилей '" + station.path() + "SDE/default.XSTL'");
    EXPECT_EQ(lines[3], "MES | Версия формата конфигурации 1");
    // Its controlled point was started with the load: connected, or refused when no
    // simulator serves its address.
    EXPECT_TRUE(lines[4].rfind("MES | 1: старт 104 127.0.0.1 ", 0) == 0 ||
                lines[4].rfind("ERR | 1: не удалось создать соединение 127.0.0.1", 0) == 0)
        << lines[4];
    EXPECT_EQ(lines.back(), "MES | СТОП");
    EXPECT_EQ(ilktest::read_bytes(station.path() + "refs.ini"), demo);
}

TEST(Startup, ViewModeLeavesTheConfigurationFileAlone) {
    ilktest::temp_dir station;
    ilktest::write_bytes(station.path() + "ilkstation.ini", "[CTRL]\r\nedit=0\r\n");
    // Readable but not in the written form: a save would change it.
    std::string text = "<struct><REFs version=\"1\"><ref tp=\"40\"/></REFs></struct>";
    ilktest::write_bytes(station.path() + "refs.ini", text);
    workstation run(station.path());
    ASSERT_TRUE(wait_for([&] { return window_up(station.path()); }));
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait_exit(), 0);
    EXPECT_EQ(ilktest::read_bytes(station.path() + "refs.ini"), text);
    EXPECT_EQ(log_lines(station.path()).back(), "MES | СТОП");
}

TEST(Startup, SigintClosesLikeTheOperator) {
    ilktest::temp_dir station;
    ilktest::write_bytes(station.path() + "ilkstation.ini", "[LOG]\r\nLOG_SIZE=500000\r\n");
    workstation run(station.path());
    ASSERT_TRUE(wait_for([&] { return window_up(station.path()); }));
    run.signal(SIGINT);
    EXPECT_EQ(run.wait_exit(), 0);
    EXPECT_EQ(log_lines(station.path()).back(), "MES | СТОП");
    // A limit below the minimum is raised in the file too.
    EXPECT_NE(settings_of(station.path()).find("LOG_SIZE=1000000\r\n"), std::string::npos);
}

TEST(Startup, SecondCopyOnTheSameStationExitsAndTheFirstRunsOn) {
    ilktest::temp_dir station;
    workstation first(station.path());
    ASSERT_TRUE(wait_for([&] { return window_up(station.path()); }));

    workstation second(station.path());
    EXPECT_EQ(second.wait_exit(), 0);
    EXPECT_TRUE(first.running());

    first.signal(SIGTERM);
    EXPECT_EQ(first.wait_exit(), 0);
    std::vector<std::string> lines = log_lines(station.path());
    // The second copy got as far as its start lines (the style library, made by the first,
    // needs nothing), then left without a word.
    // The first copy's load report may come before or after the second copy's lines.
    ASSERT_EQ(lines.size(), 7u);
    std::vector<std::string> later(lines.begin() + 3, lines.end() - 1);
    auto report = std::find_if(later.begin(), later.end(), [](const std::string& line) {
        return line.rfind("WAR | Файл конфигурации ", 0) == 0;
    });
    ASSERT_NE(report, later.end());
    later.erase(report);
    EXPECT_EQ(later, (std::vector<std::string>{hyphens, "MES | СТАРТ"}));
    EXPECT_EQ(lines[6], "MES | СТОП");
}

TEST(Startup, OneStationRunsOnceWhateverRuntimeFolderTheSecondCopyHas) {
    ilktest::temp_dir station;
    ilktest::temp_dir runtime_a;
    ilktest::temp_dir runtime_b;
    workstation first(station.path(),
                      {{"QT_QPA_PLATFORM", "offscreen"}, {"XDG_RUNTIME_DIR", runtime_a.path()}});
    ASSERT_TRUE(wait_for([&] { return window_up(station.path()); }));
    // Another login or a service: a runtime folder of its own, the same station folder.
    workstation second(station.path(),
                       {{"QT_QPA_PLATFORM", "offscreen"}, {"XDG_RUNTIME_DIR", runtime_b.path()}});
    EXPECT_EQ(second.wait_exit(), 0);
    EXPECT_TRUE(first.running());
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait_exit(), 0);
}

TEST(Startup, SigtermWhileAQuestionIsOpenEndsWithinTwoSecondsAndLeavesRefsIni) {
    ilktest::temp_dir station;
    // A newer format: the load asks whether to go on, and nobody answers.
    const std::string newer = "<struct>\r\n<REFs version=\"2\">\r\n"
                              "  <ref tp=\"40\" cur=\"1\" title=\"Структура\"/>\r\n"
                              "</REFs>\r\n</struct>\r\n";
    ilktest::write_bytes(station.path() + "refs.ini", nxkit::to_cp1251(newer));
    workstation run(station.path());
    ASSERT_TRUE(wait_for([&] {
        std::vector<std::string> lines = log_lines(station.path());
        return !lines.empty() && lines.back() == "WAR | Версия формата конфигурации 2";
    }));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(run.running());
    auto sent = std::chrono::steady_clock::now();
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait_exit(5s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 2s);
    EXPECT_EQ(nxkit::from_cp1251(ilktest::read_bytes(station.path() + "refs.ini")), newer);
    EXPECT_EQ(log_lines(station.path()).back(), "MES | СТОП");
}

TEST(Startup, AStyleLibraryThatCannotBePreparedIsReportedAndStartUpGoesOn) {
    ilktest::temp_dir station;
    std::filesystem::create_directories(station.path() + "SDE");
    ilktest::write_bytes(station.path() + "SDE/default.XSTL", "");
    workstation run(station.path());
    // The error box waits for its OK; the line is written before it and the run goes on.
    const std::string line = "ERR | Ошибка инициализации: не найден файл стилей '" +
                             station.path() + "SDE/default.XSTL'";
    ASSERT_TRUE(wait_for([&] {
        std::vector<std::string> lines = log_lines(station.path());
        return lines.size() >= 3 && lines[2].rfind(line, 0) == 0;
    })) << log_lines(station.path()).back();
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(run.running());
}

TEST(Startup, TwoStationsRunSideBySide) {
    ilktest::temp_dir a;
    ilktest::temp_dir b;
    workstation first(a.path());
    workstation second(b.path());
    ASSERT_TRUE(wait_for([&] { return window_up(a.path()) && window_up(b.path()); }));
    EXPECT_TRUE(first.running());
    EXPECT_TRUE(second.running());
    first.signal(SIGTERM);
    second.signal(SIGTERM);
    EXPECT_EQ(first.wait_exit(), 0);
    EXPECT_EQ(second.wait_exit(), 0);
}

TEST(Startup, NoDisplayEndsInTheFirstPhaseWithAnErrorLine) {
    ilktest::temp_dir station;
    workstation run(
        station.path(),
        {{"QT_QPA_PLATFORM", "<unset>"}, {"DISPLAY", "<unset>"}, {"WAYLAND_DISPLAY", "<unset>"}});
    EXPECT_EQ(run.wait_exit(), 0);
    std::vector<std::string> lines = log_lines(station.path());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "MES | СТАРТ");
    EXPECT_EQ(lines[2].rfind("ERR | Ошибка инициализации: ошибка InitCommonControlsEx", 0), 0u)
        << lines[2];
}

} // namespace
