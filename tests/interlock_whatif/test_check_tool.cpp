// ilkstation-check on a copy of the demo station: the printed result, the exit status, and a
// station folder left exactly as it was.
#ifdef CHECK_BINARY

#include "interlock/whatif/switching_program.h"
#include "interlock/whatif/whatif_engine.h"
#include "tests/interlock_whatif/whatif_fixture.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>

using namespace ilktest;

namespace {

struct run_result {
    int status = -1;
    std::string out;
};

run_result run_check(const std::string& arguments) {
    run_result r;
    std::string command = std::string(CHECK_BINARY) + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return r;
    std::array<char, 4096> buffer{};
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        r.out.append(buffer.data(), n);
    int raw = ::pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

// Every file under `dir` with the size and a hash of its bytes.
std::map<std::string, std::string> tree_of(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        std::string bytes = e.is_regular_file() ? read_bytes(e.path().string()) : "<dir>";
        files[e.path().string()] =
            std::to_string(bytes.size()) + ":" + std::to_string(std::hash<std::string>{}(bytes));
    }
    return files;
}

class check_tool : public testing::Test {
protected:
    check_tool() {
        std::filesystem::copy(demo_folder, station.path(),
                              std::filesystem::copy_options::recursive);
    }
    temp_dir station;
    temp_dir work;
};

} // namespace

using CheckTool = check_tool;

TEST_F(CheckTool, PrintsTheResultAndExitsByIt) {
    const auto before = tree_of(station.path());
    // Without a state every apparatus starts off: the line is dead and may be earthed, but
    // the breaker may not close onto the earthing switch.
    write_bytes(work.path() + "good.csv", "QSG1;включить\r\nQSG1;отключить\r\nQ1;включить\r\n");
    run_result good =
        run_check("--station " + station.path() + " --program " + work.path() + "good.csv");
    EXPECT_EQ(good.status, 0) << good.out;
    EXPECT_EQ(good.out, "1. включить QSG1: разрешено\n"
                        "2. отключить QSG1: разрешено\n"
                        "3. включить Q1: разрешено\n"
                        "шагов: 3, не пройдено: 0\n");

    write_bytes(work.path() + "bad.txt", "включить QSG1\nвключить Q1\n");
    run_result bad =
        run_check("--station " + station.path() + " --program " + work.path() + "bad.txt");
    EXPECT_EQ(bad.status, 1) << bad.out;
    EXPECT_NE(bad.out.find("2. включить Q1: ЗАПРЕЩЕНО\n    строка \"Q1\" таблицы \"Ячейка Л-1\"\n"),
              std::string::npos)
        << bad.out;
    EXPECT_NE(bad.out.find("        [нет] отключен - QSG1\n"), std::string::npos) << bad.out;

    // From a saved state with the line in service, opening a disconnector under load is refused;
    // as CSV.
    write_bytes(work.path() + "service.state", "s1_1_1 = 1\ns1_1_2 = 1\ns1_1_3 = 1\n");
    write_bytes(work.path() + "qs1.csv", "QS1;отключить\r\n");
    run_result csv = run_check("--station " + station.path() + " --program " + work.path() +
                               "qs1.csv --state " + work.path() + "service.state --csv");
    EXPECT_EQ(csv.status, 1) << csv.out;
    EXPECT_EQ(csv.out.substr(0, csv.out.find('"')),
              "шаг;аппарат;операция;результат;пояснение;комментарий\r\n"
              "1;QS1;отключить;ЗАПРЕЩЕНО;");

    EXPECT_EQ(tree_of(station.path()), before);
}

TEST_F(CheckTool, BadInputExitsWithTwo) {
    write_bytes(work.path() + "p.csv", "QS1;отключить\r\n");
    write_bytes(work.path() + "broken.csv", "QS1;перевести\r\n");
    write_bytes(work.path() + "broken.state", "s9_9_9 = 1\n");
    const std::string station_arg = "--station " + station.path();

    run_result r = run_check(station_arg + " --program " + work.path() + "broken.csv");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "ilkstation-check: " + work.path() +
                         "broken.csv: строка 1: операция не \"включить\" и не \"отключить\": "
                         "QS1;перевести\n");
    r = run_check(station_arg + " --program " + work.path() + "p.csv --state " + work.path() +
                  "broken.state");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "ilkstation-check: " + work.path() + "broken.state: нет сигнала s9_9_9\n");
    r = run_check(station_arg + " --program " + work.path() + "missing.csv");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "ilkstation-check: не удалось прочитать " + work.path() + "missing.csv\n");
    r = run_check("--station " + work.path() + " --program " + work.path() + "p.csv");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "ilkstation-check: не удалось прочитать " + work.path() + "refs.ini\n");
    r = run_check(station_arg + " --program " + work.path() + "p.csv --frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind("ilkstation-check: неизвестный параметр --frobnicate\n", 0), 0u);
    r = run_check(station_arg);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind("ilkstation-check: не указан --program или --topology\n", 0), 0u);
    r = run_check(station_arg + " --program " + work.path() + "p.csv --topology");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind("ilkstation-check: укажите --program или --topology, не оба\n", 0), 0u);
}

TEST_F(CheckTool, TopologyOfTheDemoPassesAndAWeakenedTableExitsWithOne) {
    const auto before = tree_of(station.path());
    run_result r = run_check("--station " + station.path() + " --topology");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Таблица «Ячейка Т-1»\n  Q5 — правил нет\n  QS5 — соответствует\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(tree_of(station.path()), before);

    // QS1's row without its permission on Q1 (the first one after tu="2").
    std::string refs = read_bytes(station.path() + "refs.ini");
    const std::string q1_off = "<ref tp=\"73\" uid=\"1\" on=\"0\"/>";
    std::size_t at = refs.find(q1_off, refs.find("tu=\"2\""));
    ASSERT_NE(at, std::string::npos);
    write_bytes(station.path() + "refs.ini", refs.erase(at, q1_off.size()));
    r = run_check("--station " + station.path() + " --topology");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("  QS1 — недостаточная блокировка\n"), std::string::npos) << r.out;
}

#endif
