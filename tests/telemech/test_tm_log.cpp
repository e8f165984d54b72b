#include "base/cp1251.h"
#include "telemech/nx_tm_log.h"
#include "tests/support/test_support.h"
#include "tests/telemech/apci_link.h"

#include <gtest/gtest.h>

#include <string>

using namespace nxkit;
using namespace ilktest;

namespace {

const std::string stamp = "\r\n03.05 10:20:30.456 | ";

std::string mes(const std::string& text) {
    return to_cp1251(stamp + "MES | " + text);
}

// A link whose protocol log is the file p.log in a folder of its own.
struct logged_link : apci_link {
    temp_dir dir;
    explicit logged_link(int mode, int interrogation = -2) : apci_link(interrogation) {
        EXPECT_TRUE(apdu->log().open(file(), mode, 100000));
    }
    std::string file() const { return dir.path() + "p.log"; }
    std::string text() const { return read_bytes(file()); }
};

} // namespace

TEST(TmLogCategories, EnabledAndLineOpen) {
    nx_tm_log log;
    EXPECT_FALSE(log.open("", 0x32, 0));
    EXPECT_EQ(log.file_name(), "");
    EXPECT_TRUE(log.enabled(tm_all));
    EXPECT_FALSE(log.enabled(tm_s_dump));
    EXPECT_FALSE(log.enabled(tm_u_dump | tm_u_text));
    EXPECT_TRUE(log.enabled(tm_s_text));
    EXPECT_FALSE(log.line_open());
    log.begin_line(tm_direction::received);
    EXPECT_TRUE(log.line_open());
    log.append("x");
    EXPECT_EQ(log.line(), "--> x");
    log.enabled(tm_u_text);
    EXPECT_FALSE(log.line_open());
    log.end_line();
    EXPECT_EQ(log.line(), "");

    log.open("", 0, 0);
    EXPECT_FALSE(log.enabled(tm_all));
}

TEST(TmLogFile, DirectionMarksAndDumpAsWindows1251) {
    logged_link l(tm_all);
    l.start();
    ASSERT_TRUE(l.feed(i_frame(0, 0, single_point(1)), 2));
    ASSERT_EQ(l.next(3), (bytes{0x68, 0x04, 0x01, 0x00, 0x02, 0x00}));
    const std::string text = l.text();
    // The sent mark is '<' and two bullets, 95H in Windows-1251; "квитанция 1" follows.
    const std::string tail = "\r\n03.05 10:20:30.456 | MES | <\x95\x95 "
                             "\xEA\xE2\xE8\xF2\xE0\xED\xF6\xE8\xFF 1"
                             "\r\n03.05 10:20:30.456 | MES | <\x95\x95 68 04 01 00 02 00";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // "<•• установление связи" opens the file.
    const std::string head = stamp +
                             "MES | <\x95\x95 \xF3\xF1\xF2\xE0\xED\xEE\xE2\xEB\xE5\xED\xE8\xE5 "
                             "\xF1\xE2\xFF\xE7\xE8\r\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
}

TEST(TmLogFile, ModeZeroKeepsOnlyFaultLines) {
    logged_link l(0, -1);
    l.start();
    ASSERT_TRUE(l.feed(i_frame(0, 0, single_point(1)) + testfr_act, 2));
    l.next(3);
    l.next(4);
    l.next(5);
    EXPECT_EQ(l.text(), "");
    EXPECT_FALSE(l.feed(bytes{0x69, 0x04, 0x01, 0x00}, 6));
    EXPECT_EQ(l.text(), to_cp1251(stamp + "ERR | Ожидается 68H"));
}

TEST(TmLogFile, Mode50IFramesInFullSFramesAsTextUFramesNot) {
    logged_link l(50, -1);
    l.start();
    ASSERT_EQ(l.next(2)[6], 100);
    ASSERT_TRUE(l.feed(i_frame(0, 2, {1, 0x81, 20, 5, 10, 0, 1}), 3));
    ASSERT_FALSE(l.next(4).empty());
    ASSERT_TRUE(l.feed(bytes{0x68, 0x04, 0x01, 0x00, 0x02, 0x00} + testfr_act, 5));
    ASSERT_EQ(l.next(6), testfr_con);
    EXPECT_EQ(l.text(), mes("<•• <100> Опрос станции (общий) ПР=6,ASDU=5,S=0,V=0") +
                            mes("<•• 68 0B 00 00 00 00 64 01 06 05 00 00 14") +
                            mes("--> 68 0B 00 00 02 00 01 81 14 05 0A 00 01") +
                            mes("--> <1> COUNT=1,ПР=20,ASDU=5 [0010: 1 q00]") +
                            mes("<•• квитанция 1") + mes("--> квитанция 1"));
}

TEST(TmLogFile, FaultsDumpTheWholeBufferWhenTheLogIsOn) {
    logged_link l(tm_u_dump);
    ASSERT_TRUE(l.feed(i_frame(0, 0, {13, 0x80, 3, 5}) + i_frame(4, 0, {13, 0x80, 3, 5}), 1));
    EXPECT_FALSE(l.feed(bytes{0x68, 0x04, 0x83, 0x00, 0x00, 0x00, 0x00}, 2));
    EXPECT_EQ(l.text(),
              to_cp1251(stamp + "ERR | нарушение последовательности, ожидается 2, принято "
                                "_CON[12]=4") +
                  mes("--> 68 08 00 00 00 00 0D 80 03 05 68 08 04 00 00 00 0D 80 03 05") +
                  mes("--> 68 04 83 00 00 00") + to_cp1251(stamp + "ERR | Ожидается 68H") +
                  mes("--> 68 04 83 00 00 00 00"));
}
