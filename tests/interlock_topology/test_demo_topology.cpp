// The demo station under the topology check: as shipped, and as a copy whose bay is wired here
// and whose table lost a condition.
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

// The bay of page 1 with a busbar and wires: 1СШ — QS1 — Q1 — QS2 — line, QSG1 on the line.
std::string wired_demo_scheme() {
    std::string text = read_bytes(demo_folder + scheme_file);
    const std::string anchor = "<object counter=\"2\" type=\"разъединитель\"";
    std::size_t at = text.find(anchor);
    if (at == std::string::npos)
        return text;
    text.insert(at, "<object counter=\"50\" type=\"шина\" x=\"80\" y=\"18\" w=\"132\" h=\"1.4\" "
                    "name=\"1СШ 110 кВ\"/>\n"
                    "<polyline points=\"80,18 80,22\" wire=\"1\" from=\"50:@66\" to=\"2:1\"/>\n"
                    "<polyline points=\"80,34 80,40\" wire=\"1\" from=\"2:2\" to=\"1:1\"/>\n"
                    "<polyline points=\"80,52 80,58\" wire=\"1\" from=\"1:2\" to=\"3:1\"/>\n"
                    "<polyline points=\"80,70 80,73.5\" wire=\"1\" from=\"3:2\" to=\"узел:1\"/>\n"
                    "<polyline points=\"80,73.5 80,77\" wire=\"1\" from=\"узел:1\" to=\"30:1\"/>\n"
                    "<polyline points=\"80,73.5 94,73.5\" wire=\"1\" from=\"узел:1\" to=\"4:1\"/>\n"
                    "<node id=\"1\" x=\"80\" y=\"73.5\"/>\n");
    return text;
}

void copy_demo(const std::string& to, const std::string& refs) {
    std::filesystem::create_directories(to + "SDE");
    write_bytes(to + "refs.ini", refs);
    write_bytes(to + scheme_file, wired_demo_scheme());
}

} // namespace

TEST(DemoTopology, TheShippedStationHasNoInsufficientRow) {
    std::ostringstream out;
    int code = run_topology_check(demo_folder, out);
    EXPECT_EQ(code, 0) << out.str();
    EXPECT_NE(out.str().find("Таблица «Ячейка Л-1»\n"), std::string::npos) << out.str();
}

TEST(DemoTopology, AWeakenedCopyIsReportedWithTheStateThatBreaksTheRule) {
    ASSERT_NE(wired_demo_scheme().find("from=\"50:@66\""), std::string::npos);
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
