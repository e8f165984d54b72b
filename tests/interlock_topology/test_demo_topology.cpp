// The demo station under the topology check: as shipped, and as a copy whose table lost a
// condition.
#ifdef DEMO_FOLDER

#include "interlock/topology/topology_check.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace nxkit;
using namespace ilktest;

namespace {

const std::string demo_folder = DEMO_FOLDER "/";
const std::string scheme_file = "SDE/Северная.sde";

void copy_demo(const std::string& to, const std::string& refs) {
    std::filesystem::create_directories(to + "SDE");
    write_bytes(to + "refs.ini", refs);
    write_bytes(to + scheme_file, read_bytes(demo_folder + scheme_file));
}

} // namespace

TEST(DemoTopology, TheShippedStationHasNoInsufficientRow) {
    std::ostringstream out;
    int code = run_topology_check(demo_folder, out);
    EXPECT_EQ(code, 0) << out.str();
    EXPECT_NE(out.str().find("Таблица «Ячейка Л-1»\n"), std::string::npos) << out.str();
}

TEST(DemoTopology, AWeakenedCopyIsReportedWithTheStateThatBreaksTheRule) {
    const std::string refs = read_bytes(demo_folder + "refs.ini");
    {
        temp_dir dir;
        copy_demo(dir.path(), refs);
        std::ostringstream out;
        EXPECT_EQ(run_topology_check(dir.path(), out), 0) << out.str();
        EXPECT_NE(out.str().find("  QS2 — избыточная блокировка\n"), std::string::npos)
            << out.str();
        EXPECT_NE(out.str().find("  Q1 — правил нет\n"), std::string::npos) << out.str();
    }
    // QS1's row without its permission on Q1 (the first one after tu="2").
    std::string weakened = refs;
    std::size_t row = weakened.find("tu=\"2\"");
    ASSERT_NE(row, std::string::npos);
    const std::string q1_off = "<ref tp=\"73\" uid=\"1\" on=\"0\"/>";
    std::size_t permission = weakened.find(q1_off, row);
    ASSERT_NE(permission, std::string::npos);
    weakened.erase(permission, q1_off.size());

    temp_dir dir;
    copy_demo(dir.path(), weakened);
    std::ostringstream out;
    EXPECT_EQ(run_topology_check(dir.path(), out), 1) << out.str();
    EXPECT_NE(out.str().find("  QS1 — недостаточная блокировка\n"
                             "    включение: таблица разрешает (условие 1 «Условие коммутации - "
                             "Дистанционное»), правило Р1 запрещает: Q1 включен\n"
                             "      положения: QS1 отключен, Q1 включен\n"
                             "      сигналы: s1_1_2=0 s1_1_1=1 s1_1_4=0\n"),
              std::string::npos)
        << out.str();
}

#endif
