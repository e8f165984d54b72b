#include "interlock/topology/topology_check.h"

#include "tests/interlock_topology/topology_fixture.h"

#include <filesystem>
#include <sstream>

using namespace nxkit;
using namespace ilktest;

namespace {

struct run_result {
    int code;
    std::string text;
};

run_result run(const drawn_station& s, const topology_options& options = {}) {
    temp_dir dir;
    s.write(dir.path());
    std::ostringstream out;
    int code = run_topology_check(dir.path(), out, options);
    return {code, out.str()};
}

// The report's lines about one apparatus: from its line up to the next apparatus.
std::string lines_of(const std::string& report, const std::string& apparatus) {
    std::size_t start = report.find("\n  " + apparatus + " — ");
    if (start == std::string::npos)
        return "(нет строки " + apparatus + ")";
    start += 1;
    std::size_t end = start;
    while (true) {
        end = report.find('\n', end);
        if (end == std::string::npos || report.compare(end + 1, 4, "    ") != 0)
            break;
        ++end;
    }
    return report.substr(start, end - start + 1);
}

const drawn_station::permissions off(std::initializer_list<int> columns) {
    drawn_station::permissions p;
    for (int c : columns)
        p.emplace_back(c, false);
    return p;
}

} // namespace

namespace {

// QS2 as it should be: on with Q1 and both earthing switches of its nodes off, off with Q1 off.
void good_qs2_row(drawn_station& s) {
    s.row(4, {{{4, false}, {3, false}, {6, false}, {7, false}}, {{4, true}, {3, false}}});
}

} // namespace

TEST(TopologyCheck, TablesFollowingEveryRulePassWithTheirExcessNamed) {
    drawn_station s;
    draw_bay(s);
    s.row(2, {off({3, 6})}); // QS1: Q1 off; QSG1 is on another node
    good_qs2_row(s);
    s.row(6, {off({4})});    // QSG1: QS2 joins the line node to the busbar
    s.row(7, {off({2, 4})}); // QSG2: QS1 and QS2 bound its section; Q1 is no visible break
    s.row(3, {off({6, 7})}); // Q1: breakers have no rule
    run_result r = run(s);
    EXPECT_EQ(r.code, 0) << r.text;
    EXPECT_EQ(lines_of(r.text, "QS2"), "  QS2 — соответствует\n");
    EXPECT_EQ(lines_of(r.text, "QSG1"), "  QSG1 — соответствует\n");
    EXPECT_EQ(lines_of(r.text, "QSG2"), "  QSG2 — соответствует\n");
    EXPECT_EQ(lines_of(r.text, "Q1"), "  Q1 — правил нет\n");
    EXPECT_EQ(lines_of(r.text, "QS1"), "  QS1 — избыточная блокировка\n"
                                       "    включение: правило разрешает, таблица запрещает\n"
                                       "      положения: QS1 отключен, Q1 отключен, QSG1 включен\n"
                                       "      сигналы: s1_1_2=0 s1_1_3=0 s1_1_6=1\n"
                                       "    отключение: правило разрешает, таблица запрещает\n"
                                       "      положения: QS1 включен, Q1 отключен, QSG1 включен\n"
                                       "      сигналы: s1_1_2=1 s1_1_3=0 s1_1_6=1\n");
    EXPECT_NE(r.text.find("Итого строк: 5; недостаточная блокировка: 0; избыточная блокировка: "
                          "1; не проверяется: 0; правил нет: 1; соответствует: 3\n"),
              std::string::npos)
        << r.text;
}

TEST(TopologyCheck, ARemovedConditionIsReportedWithTheStateThatBreaksTheRule) {
    drawn_station s;
    draw_bay(s);
    // QS2's switching-on condition without Q1.
    s.row(4, {{{4, false}, {6, false}, {7, false}}, {{4, true}, {3, false}}});
    run_result r = run(s);
    EXPECT_EQ(r.code, 1) << r.text;
    EXPECT_EQ(lines_of(r.text, "QS2"),
              "  QS2 — недостаточная блокировка\n"
              "    включение: таблица разрешает (условие 1 «Условие коммутации - Дистанционное»), "
              "правило Р1 запрещает: Q1 включен\n"
              "      положения: QS2 отключен, QSG2 отключен, QSG1 отключен, Q1 включен\n"
              "      сигналы: s1_1_4=0 s1_1_7=0 s1_1_6=0 s1_1_3=1\n");
}

TEST(TopologyCheck, EveryEarthingSwitchOfANodeCounts) {
    drawn_station s;
    draw_bay(s);
    s.object(8, "заземляющий_нож", "QSG3"); // a second one on the line node
    s.wire("8:1", "узел:1");
    good_qs2_row(s); // QSG3 forgotten
    s.row(8, {off({4})});
    run_result r = run(s);
    EXPECT_EQ(r.code, 1) << r.text;
    EXPECT_EQ(lines_of(r.text, "QS2"),
              "  QS2 — недостаточная блокировка\n"
              "    включение: таблица разрешает (условие 1 «Условие коммутации - Дистанционное»), "
              "правило Р3 запрещает: QSG3 включен\n"
              "      положения: QS2 отключен, QSG2 отключен, QSG1 отключен, QSG3 включен, Q1 "
              "отключен\n"
              "      сигналы: s1_1_4=0 s1_1_7=0 s1_1_6=0 s1_1_8=1 s1_1_3=0\n");
    EXPECT_EQ(lines_of(r.text, "QSG3"), "  QSG3 — соответствует\n");
}

TEST(TopologyCheck, AnEarthingSwitchNeedsEveryNeighbourThatCanBringVoltage) {
    // QS3 leads from the line node to a voltage transformer and nothing else.
    auto station = [](const std::vector<drawn_station::permissions>& qsg1,
                      const std::vector<drawn_station::permissions>& qsg2) {
        drawn_station s;
        draw_bay(s);
        s.object(9, "разъединитель", "QS3");
        s.object(10, "трансформатор_напряжения", "TV");
        s.wire("9:1", "узел:1");
        s.wire("9:2", "10:1");
        s.row(6, qsg1);
        s.row(7, qsg2);
        return s;
    };
    run_result r = run(station({off({4})}, {off({3, 4})}));
    EXPECT_EQ(r.code, 1) << r.text;
    EXPECT_EQ(lines_of(r.text, "QSG1"), "  QSG1 — соответствует\n");
    // Between Q1 and QS2 the section reaches through the breaker to QS1: an open breaker is
    // not enough.
    EXPECT_EQ(lines_of(r.text, "QSG2"),
              "  QSG2 — недостаточная блокировка\n"
              "    включение: таблица разрешает (условие 1 «Условие коммутации - Дистанционное»), "
              "правило Р2 запрещает: QS1 включен\n"
              "      положения: QSG2 отключен, QS2 отключен, QS1 включен\n"
              "      сигналы: s1_1_7=0 s1_1_4=0 s1_1_2=1 s1_1_3=0\n"
              "    включение: правило разрешает, таблица запрещает\n"
              "      положения: QSG2 отключен, QS2 отключен, QS1 отключен, Q1 включен\n"
              "      сигналы: s1_1_7=0 s1_1_4=0 s1_1_2=0 s1_1_3=1\n");

    // Asking for QS3 as well is more than the rule needs.
    r = run(station({off({4, 9})}, {off({2, 4})}));
    EXPECT_EQ(r.code, 0) << r.text;
    EXPECT_EQ(lines_of(r.text, "QSG1"),
              "  QSG1 — избыточная блокировка\n"
              "    включение: правило разрешает, таблица запрещает\n"
              "      положения: QSG1 отключен, QS2 отключен, QS3 включен\n"
              "      сигналы: s1_1_6=0 s1_1_4=0 s1_1_9=1\n");
}

namespace {

// Two busbars, the bay joins either through QS1 or QS2 to its node (junction 2), Q1 to the
// line; the bus coupler QS3 — ШСВ — QS4 joins the busbars.
void draw_double_busbar(drawn_station& s) {
    s.object(1, "шина", "1СШ");
    s.object(11, "шина", "2СШ");
    s.object(2, "разъединитель", "QS1");
    s.object(4, "разъединитель", "QS2");
    s.object(3, "выключатель", "Q1");
    s.object(5, "присоединение", "Л-1");
    s.object(12, "разъединитель", "QS3");
    s.object(13, "выключатель", "ШСВ");
    s.object(14, "разъединитель", "QS4");
    s.junction(2);
    s.wire("1:@10", "2:1");
    s.wire("11:@10", "4:1");
    s.wire("2:2", "узел:2");
    s.wire("4:2", "узел:2");
    s.wire("3:1", "узел:2");
    s.wire("3:2", "5:1");
    s.wire("1:@50", "12:1");
    s.wire("12:2", "13:1");
    s.wire("13:2", "14:2");
    s.wire("14:1", "11:@50");
}

} // namespace

TEST(TopologyCheck, AClosedParallelPathLetsADisconnectorOperateUnderLoad) {
    drawn_station s;
    draw_double_busbar(s);
    // The bus transfer: QS2 may operate with Q1 on when QS1 and the whole coupler are on.
    s.row(4, {off({3}), {{2, true}, {12, true}, {13, true}, {14, true}}});
    run_result r = run(s);
    EXPECT_EQ(r.code, 0) << r.text;
    EXPECT_EQ(lines_of(r.text, "QS2"), "  QS2 — соответствует\n");

    // Without the alternative the transfer is refused, which is only informative.
    drawn_station strict;
    draw_double_busbar(strict);
    strict.row(4, {off({3})});
    r = run(strict);
    EXPECT_EQ(r.code, 0) << r.text;
    EXPECT_EQ(lines_of(r.text, "QS2"),
              "  QS2 — избыточная блокировка\n"
              "    включение: правило разрешает, таблица запрещает\n"
              "      положения: QS2 отключен, QS1 включен, Q1 включен, QS4 включен, ШСВ "
              "включен, QS3 включен\n"
              "      сигналы: s1_1_4=0 s1_1_2=1 s1_1_3=1 s1_1_14=1 s1_1_13=1 s1_1_12=1\n"
              "    отключение: правило разрешает, таблица запрещает\n"
              "      положения: QS2 включен, QS1 включен, Q1 включен, QS4 включен, ШСВ "
              "включен, QS3 включен\n"
              "      сигналы: s1_1_4=1 s1_1_2=1 s1_1_3=1 s1_1_14=1 s1_1_13=1 s1_1_12=1\n");
}

TEST(TopologyCheck, APartialParallelPathIsNoBypass) {
    drawn_station s;
    draw_double_busbar(s);
    // The coupler's disconnectors are forgotten: with QS4 off there is no parallel path.
    s.row(4, {off({3}), {{2, true}, {13, true}}});
    run_result r = run(s);
    EXPECT_EQ(r.code, 1) << r.text;
    EXPECT_EQ(lines_of(r.text, "QS2"),
              "  QS2 — недостаточная блокировка\n"
              "    включение: таблица разрешает (условие 2 «Условие коммутации - Дистанционное»), "
              "правило Р1 запрещает: Q1 включен\n"
              "      положения: QS2 отключен, QS1 включен, Q1 включен, QS4 отключен, ШСВ "
              "включен, QS3 отключен\n"
              "      сигналы: s1_1_4=0 s1_1_2=1 s1_1_3=1 s1_1_14=0 s1_1_13=1 s1_1_12=0\n"
              "    отключение: таблица разрешает (условие 2 «Условие коммутации - Дистанционное»), "
              "правило Р1 запрещает: Q1 включен\n"
              "      положения: QS2 включен, QS1 включен, Q1 включен, QS4 отключен, ШСВ "
              "включен, QS3 отключен\n"
              "      сигналы: s1_1_4=1 s1_1_2=1 s1_1_3=1 s1_1_14=0 s1_1_13=1 s1_1_12=0\n");
}

TEST(TopologyCheck, ApparatusTheSchemeDoesNotConnectIsNeverPassed) {
    drawn_station s;
    draw_bay(s);
    s.object(20, "разъединитель", "QS9"); // drawn, no wire
    s.object(21, "лампа", "HL");
    s.row(20, {off({3})});
    s.row(21, {off({3})}); // a row whose apparatus is not switching equipment on the scheme
    s.row(2, {off({3, 7})});
    run_result r = run(s);
    EXPECT_EQ(r.code, 0) << r.text;
    EXPECT_EQ(lines_of(r.text, "QS9"), "  QS9 — не проверяется: аппарат не соединён на схеме\n");
    EXPECT_EQ(lines_of(r.text, "HL"), "  HL — не проверяется: аппарата нет на схемах\n");
}

TEST(TopologyCheck, TheSearchBoundIsReported) {
    drawn_station s;
    draw_bay(s);
    good_qs2_row(s);
    topology_options options;
    options.max_variables = 2;
    run_result r = run(s, options);
    // QSG2 and QSG1 are enumerated, Q1 is held open and not looked at.
    EXPECT_EQ(lines_of(r.text, "QS2"), "  QS2 — соответствует\n"
                                       "    граница перебора: учтено 2 из 3 аппаратов\n");
}

TEST(TopologyCheck, BadInputExitsWithTwo) {
    temp_dir dir;
    std::ostringstream out;
    EXPECT_EQ(run_topology_check(dir.path() + "нет", out), 2);
    EXPECT_EQ(out.str(), "Нет файла конфигурации " + dir.path() + "нет/refs.ini\n");
}

TEST(TopologyCheck, AMissingSchemeFileIsNamedAndItsApparatusNotChecked) {
    drawn_station s;
    draw_bay(s);
    s.row(2, {off({3, 7})});
    temp_dir dir;
    s.write(dir.path());
    std::filesystem::remove(dir.path() + "SDE/Т.sde");
    std::ostringstream out;
    EXPECT_EQ(run_topology_check(dir.path(), out), 0);
    EXPECT_EQ(out.str().substr(0, out.str().find("Итого")),
              "Проверка блокировок по схеме\n! Нет файла схемы " + dir.path() +
                  "SDE/Т.sde\nТаблица «Ячейка»\n  QS1 — не проверяется: аппарата нет на схемах\n");
}

TEST(TopologyCheck, ABrokenSchemeFileExitsWithTwo) {
    drawn_station s;
    draw_bay(s);
    s.row(2, {off({3})});
    temp_dir dir;
    s.write(dir.path());
    write_bytes(dir.path() + "SDE/Т.sde", "<sde version=\"1\">\n<page number=\"1\">\n");
    std::ostringstream out;
    EXPECT_EQ(run_topology_check(dir.path(), out), 2);
    EXPECT_EQ(out.str().rfind(dir.path() + "SDE/Т.sde: строка ", 0), 0u) << out.str();
}

TEST(TopologyCheck, TheTableIsReadAsTheWorkstationEvaluatesIt) {
    // A deactivated permission is left out of its condition, as in the export and the live
    // state: the condition asks only for QS2.
    drawn_station s;
    draw_bay(s);
    s.locked = {3};
    s.row(2, {{{3, false}, {4, false}}});
    run_result r = run(s);
    EXPECT_EQ(r.code, 1) << r.text;
    // Switching on; asking for QS2 at all is more than the rule needs.
    EXPECT_EQ(lines_of(r.text, "QS1").substr(0, lines_of(r.text, "QS1").find("    отключение")),
              "  QS1 — недостаточная блокировка\n"
              "    включение: таблица разрешает (условие 1 «Условие коммутации - Дистанционное»), "
              "правило Р1 запрещает: Q1 включен\n"
              "      положения: QS1 отключен, Q1 включен\n"
              "      сигналы: s1_1_2=0 s1_1_3=1 s1_1_4=0\n"
              "    включение: правило разрешает, таблица запрещает\n"
              "      положения: QS1 отключен, Q1 отключен, QS2 включен\n"
              "      сигналы: s1_1_2=0 s1_1_3=0 s1_1_4=1\n");
}
