#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "telemech/nx_mCANAL101.h"
#include "tests/telemech/link101_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace nxkit;
using namespace ilktest;

namespace {

const frame status_request = {0x10, 0x49, 0x05, 0x4E, 0x16};
const frame reset_link = {0x10, 0x40, 0x05, 0x45, 0x16};
const frame class2_fcb1 = {0x10, 0x7B, 0x05, 0x80, 0x16};
const frame class2_fcb0 = {0x10, 0x5B, 0x05, 0x60, 0x16};
const frame class1_fcb1 = {0x10, 0x7A, 0x05, 0x7F, 0x16};
const frame class1_fcb0 = {0x10, 0x5A, 0x05, 0x5F, 0x16};
// Station interrogation as user data with FCB set: 68 09 09 68 73 05 | 64 01 06 05 00 00 14.
const frame interrogation_fcb1 = {0x68, 0x09, 0x09, 0x68, 0x73, 0x05, 0x64, 0x01,
                                  0x06, 0x05, 0x00, 0x00, 0x14, 0xFC, 0x16};

frame single_point_asdu(std::uint8_t ioa, std::uint8_t siq) {
    return {1, 0x81, 3, 5, ioa, 0, siq};
}

std::string line(const char* level, const std::string& text) {
    return to_cp1251("\r\n03.05 10:20:30.456 | " + std::string(level) + " | " + text);
}

} // namespace

TEST(Link101Start, StatusResetThenClassTwoWithAlternatingFcbAndClassOneOnAcd) {
    link101 l;
    EXPECT_TRUE(l.link->link_down());
    EXPECT_EQ(l.next(0), status_request);
    EXPECT_TRUE(l.next(1).empty()) << "one frame per exchange";
    EXPECT_TRUE(l.feed(fixed(0x0B), 10));
    EXPECT_FALSE(l.link->link_down());
    EXPECT_EQ(l.next(20), reset_link);
    EXPECT_TRUE(l.feed(fixed(0x00), 30));
    EXPECT_EQ(l.next(40), class2_fcb1);
    EXPECT_TRUE(l.feed(fixed(0x09), 50)); // no data
    EXPECT_EQ(l.next(60), class2_fcb0);
    EXPECT_TRUE(l.feed(fixed(0x00), 70)); // ACK, data unchanged
    EXPECT_EQ(l.next(80), class2_fcb1);
    EXPECT_TRUE(l.feed(fixed(0x20), 90)); // ACK with ACD: class 1 waits
    EXPECT_EQ(l.next(100), class1_fcb0);
    EXPECT_TRUE(l.feed(variable(0x28, 5, single_point_asdu(10, 1)), 110));
    EXPECT_EQ(l.sink.calls, (std::vector<std::string>{"up", "single 10 01", "notify"}));
    EXPECT_EQ(l.next(120), class1_fcb1) << "ACD still set";
    EXPECT_TRUE(l.feed(variable(0x08, 5, single_point_asdu(11, 0)), 130));
    EXPECT_EQ(l.next(140), class2_fcb0);

    const std::string log = l.log_text();
    for (const char* text :
         {"<•• запрос статуса канала", "<•• 10 49 05 4E 16", "--> 10 0B 05 10 16",
          "--> FC=11 - канал ОК", "<•• сброс канала", "--> ACK - сброс выполнен",
          "<•• запрос класса 2", "--> FC=9 - нет данных", "--> ACK - данные не изменились",
          "<•• запрос класса 1", "--> <1> COUNT=1,ПР=3,ASDU=5 [0010: 1 q00]"})
        EXPECT_NE(log.find(line("MES", text)), std::string::npos) << text;
}

TEST(Link101Start, InterrogationAtStartIsTheFirstUserDataAfterTheReset) {
    link101 l(-1);
    EXPECT_EQ(l.next(0), status_request);
    l.feed(fixed(0x0B), 1);
    EXPECT_EQ(l.next(2), reset_link);
    l.feed(e5, 3); // a single character ACK does as well
    EXPECT_EQ(l.next(4), interrogation_fcb1);
    EXPECT_NE(l.log_text().find(line("MES", "<•• <100> Опрос станции (общий) ПР=6,ASDU=5")),
              std::string::npos);
    EXPECT_TRUE(l.feed(e5, 5));
    // Once at start only; the confirmed SEND toggled the bit.
    EXPECT_EQ(l.next(6), class2_fcb0);
    l.feed(fixed(0x09), 7);
    EXPECT_EQ(l.next(100000), class2_fcb1);
}

TEST(Link101Start, ClockSyncAtStartGoesFirstAndCarriesTheLocalTime) {
    link101 l(-1, -1);
    l.start_up();
    const frame sync = l.next(10);
    // 68 0F 0F 68 73 05 | 67 01 06 05 00 00 | CP56 of 2024-03-05 10:20:30.456 (Tuesday 0).
    const frame expected_head = {0x68, 0x0F, 0x0F, 0x68, 0x73, 0x05, 0x67, 0x01, 0x06, 0x05,
                                 0x00, 0x00, 0xF8, 0x76, 0x14, 0x0A, 0x05, 0x03, 0x18};
    ASSERT_EQ(sync.size(), expected_head.size() + 2);
    EXPECT_EQ(frame(sync.begin(), sync.end() - 2), expected_head);
    EXPECT_EQ(sync.back(), 0x16);
    l.feed(fixed(0x00), 11);
    EXPECT_EQ(l.next(12), (frame{0x68, 0x09, 0x09, 0x68, 0x53, 0x05, 0x64, 0x01, 0x06, 0x05, 0x00,
                                 0x00, 0x14, 0xDC, 0x16}));
}

TEST(Link101Mends, FunctionNineWithAcdAsksForClassOneAndTogglesFcb) {
    // A standard point answers "no data" (FC 9) with ACD set while class 1 data wait: the next
    // request must be class 1, and a new exchange (FCB toggled), or the data are never read.
    link101 l;
    l.start_up();
    EXPECT_EQ(l.next(10), class2_fcb1);
    l.feed(fixed(0x29), 11);
    EXPECT_EQ(l.next(12), class1_fcb0);
    l.feed(variable(0x08, 5, single_point_asdu(3, 1)), 13);
    EXPECT_EQ(l.sink.calls, (std::vector<std::string>{"up", "single 3 01", "notify"}));
    EXPECT_EQ(l.next(14), class2_fcb1);
    // The Part's text stays.
    EXPECT_NE(l.log_text().find(line("MES", "--> FC=9 - нет данных")), std::string::npos);
}

TEST(Link101Mends, FcbTogglesAfterEveryCompletedExchangeWithFcv) {
    link101 l(-1);
    l.start_up();
    EXPECT_EQ(l.next(10), interrogation_fcb1);
    l.feed(fixed(0x00), 11); // confirmed by a fixed ACK
    EXPECT_EQ(l.next(12), class2_fcb0);
    l.feed(e5, 13); // E5 to a class request: nothing to send
    EXPECT_EQ(l.next(14), class2_fcb1);
    l.feed(e5, 15);
    EXPECT_EQ(l.next(16), class2_fcb0);
    // A NACK to user data repeats the command as a new exchange.
    link101 m(-1);
    m.start_up();
    EXPECT_EQ(m.next(10), interrogation_fcb1);
    m.feed(fixed(0x01), 11);
    const frame repeated = m.next(12);
    ASSERT_EQ(repeated.size(), interrogation_fcb1.size());
    EXPECT_EQ(repeated[4], 0x53);
    EXPECT_NE(m.log_text().find(line("MES", "--> NACK - пакет НЕ принят")), std::string::npos);
}

TEST(Link101Faults, EveryErrorTextWithItsDump) {
    frame good = variable(0x08, 5, single_point_asdu(1, 1));
    auto changed = [&](std::size_t at, std::uint8_t value) {
        frame f = good;
        f[at] = value;
        return f;
    };
    const std::vector<std::pair<frame, std::string>> cases = {
        {fixed(0x89), "балансный режим"},
        {fixed(0x49), "пакет не от КП"},
        {{0x10, 0x09, 0x05, 0x0E, 0x17}, "последний символ не 16h"},
        {{0x10, 0x09, 0x05, 0x0F, 0x16}, "ОШИБКА crc8 (0E <> 0F)"},
        {{0x68, 0x09, 0x0A, 0x68, 0x08, 0x05}, "ОШИБКА размера пакета (09 <> 0A)"},
        {{0x68, 0x01, 0x01, 0x68, 0x08, 0x05}, "неверная длина пакета 01"},
        {changed(3, 0x67), "нет повтора 68h"},
        {variable(0x88, 5, single_point_asdu(1, 1)), "балансный режим"},
        {variable(0x48, 5, single_point_asdu(1, 1)), "пакет не от КП"},
        {variable(0x09, 5, single_point_asdu(1, 1)), "ожидается FC=2"},
        {changed(good.size() - 1, 0x17), "последний символ не 16h"},
        {changed(good.size() - 2, 0x00), "ОШИБКА crc8 (99 <> 00)"},
        {{0x55, 0x10}, "НЕОЖИДАННЫЙ БАЙТ"},
    };
    for (const auto& [bad, text] : cases) {
        link101 l;
        l.start_up();
        l.next(10);
        EXPECT_TRUE(l.feed(bad, 11)) << text;
        std::string dump = "-->";
        for (std::uint8_t b : bad)
            dump += " " + recording_sink::hex(b);
        const std::string log = l.log_text();
        const std::size_t at = log.find(line("ERR", text));
        ASSERT_NE(at, std::string::npos) << text;
        EXPECT_EQ(log.find(line("MES", dump), at), at + line("ERR", text).size()) << text;
        EXPECT_TRUE(l.sink.calls.empty()) << text;
    }
}

TEST(Link101Faults, UnexpectedVariableFrameAndForeignAddress) {
    link101 l;
    l.start_up();
    l.next(10);
    EXPECT_TRUE(l.feed(fixed(0x09), 11));
    EXPECT_TRUE(l.feed(variable(0x08, 5, single_point_asdu(1, 1)), 12));
    EXPECT_NE(l.log_text().find(line("ERR", "неожиданный пакет")), std::string::npos);
    // Another point's answer: failed without a word, the request goes again (a retry).
    EXPECT_EQ(l.next(13), class2_fcb0);
    EXPECT_TRUE(l.feed(fixed(0x09, 6), 14));
    EXPECT_EQ(l.next(15), class2_fcb0);
    EXPECT_TRUE(l.sink.calls.empty());
}

TEST(Link101Faults, TwoRepetitionsThenTheResetState) {
    link101 l;
    l.start_up();
    const frame bad = {0x10, 0x09, 0x05, 0x00, 0x16};
    EXPECT_EQ(l.next(10), class2_fcb1);
    l.feed(bad, 11);
    EXPECT_EQ(l.next(12), class2_fcb1) << "the same frame again";
    l.feed(bad, 13);
    EXPECT_EQ(l.next(14), class2_fcb1);
    EXPECT_FALSE(l.link->link_down());
    l.feed(bad, 15);
    EXPECT_TRUE(l.link->link_down());
    EXPECT_EQ(l.next(16), status_request);
    // The reset state refilled the counts: the next start-up survives two faults again.
    l.feed(bad, 17);
    EXPECT_EQ(l.next(18), status_request);
}

TEST(Link101Faults, ResetIsRepeatedOnNackAndAfterFaults) {
    link101 l;
    l.next(0);
    l.feed(fixed(0x0B), 1);
    EXPECT_EQ(l.next(2), reset_link);
    l.feed(fixed(0x01), 3);
    EXPECT_NE(l.log_text().find(line("MES", "--> NACK - сброс НЕ выполнен")), std::string::npos);
    EXPECT_EQ(l.next(4), reset_link);
    l.feed({0x10, 0x00, 0x05, 0x06, 0x16}, 5);
    EXPECT_EQ(l.next(6), reset_link);
    // FC 1 to a class request: data not available, the link is reset next.
    link101 m;
    m.start_up();
    m.next(10);
    m.feed(fixed(0x01), 11);
    EXPECT_EQ(m.next(12), reset_link);
}

TEST(Link101Timeout, SilentPointGetsTheStatusRequestAfterEachTimeout) {
    link101 l;
    EXPECT_EQ(l.link->response_timeout(), 300);
    EXPECT_EQ(l.next(0), status_request);
    EXPECT_EQ(l.link->wait_ms(100), 200);
    EXPECT_FALSE(l.link->parse(0, 299));
    EXPECT_TRUE(l.link->parse(0, 300));
    EXPECT_TRUE(l.link->link_down());
    EXPECT_EQ(l.next(300), status_request);
    EXPECT_TRUE(l.sink.calls.empty());

    link101 slow(-2, -2, 300);
    EXPECT_EQ(slow.link->response_timeout(), 3000);
    slow.next(0);
    EXPECT_FALSE(slow.link->parse(0, 2999));
    EXPECT_TRUE(slow.link->parse(0, 3000));
    EXPECT_EQ(nx_mCANAL101::response_timeout_for(1200), 750);
    EXPECT_EQ(nx_mCANAL101::response_timeout_for(115200), 300);

    // An answer that stops halfway: the exchange ends a time-out after its last octet, and the
    // class request that got no answer is followed by a fresh start-up.
    link101 cut;
    cut.start_up();
    cut.next(1000);
    EXPECT_FALSE(cut.feed({0x10, 0x09}, 1010));
    EXPECT_FALSE(cut.link->parse(0, 1309));
    EXPECT_TRUE(cut.link->parse(0, 1310));
    EXPECT_EQ(cut.next(1310), status_request);
}

TEST(Link101Timeout, UnansweredUserDataIsRepeatedWithTheSameFcbThenTheLinkStartsAfresh) {
    // Dropped after one silence, a station interrogation "at start" would never go again.
    link101 l(-1);
    l.start_up();
    EXPECT_EQ(l.next(10), interrogation_fcb1);
    EXPECT_FALSE(l.link->parse(0, 309));
    EXPECT_TRUE(l.link->parse(0, 310));
    EXPECT_FALSE(l.link->link_down());
    EXPECT_EQ(l.next(310), interrogation_fcb1) << "a repetition keeps its FCB";
    EXPECT_TRUE(l.link->parse(0, 610));
    EXPECT_EQ(l.next(610), interrogation_fcb1);
    EXPECT_TRUE(l.link->parse(0, 910));
    EXPECT_TRUE(l.link->link_down()) << "the third silence uses the last retry";
    EXPECT_EQ(l.next(910), status_request);

    // Answered at the second go, the exchange is complete: FCB toggles, requests follow.
    link101 m(-1);
    m.start_up();
    m.next(10);
    EXPECT_TRUE(m.link->parse(0, 310));
    EXPECT_EQ(m.next(310), interrogation_fcb1);
    EXPECT_TRUE(m.feed(e5, 320));
    EXPECT_EQ(m.next(330), class2_fcb0);
    EXPECT_TRUE(m.feed(fixed(0x00), 340));
    EXPECT_EQ(m.next(350), class2_fcb1) << "no stale user data takes this answer";
    EXPECT_EQ(m.log_text().find(to_cp1251("ACK - пакет принят")), std::string::npos);
}

TEST(Link101Input, OneOctetAtATimeAndNoise) {
    link101 l;
    l.start_up();
    l.next(10);
    const frame answer = variable(0x08, 5, single_point_asdu(7, 1));
    for (std::size_t i = 0; i + 1 < answer.size(); ++i)
        EXPECT_FALSE(l.feed({answer[i]}, 11)) << i;
    EXPECT_TRUE(l.feed({answer.back()}, 11));
    EXPECT_EQ(l.sink.calls, (std::vector<std::string>{"up", "single 7 01", "notify"}));

    // Noise resets the link; whatever follows in the same read is dropped.
    EXPECT_EQ(l.next(12), class2_fcb0);
    EXPECT_TRUE(l.feed({0x00, 0xE5, 0x10}, 13));
    EXPECT_TRUE(l.link->link_down());
    EXPECT_EQ(l.next(14), status_request);
}

TEST(Link101Input, LongestFramesArriveWholeAndNothingIsSentIntoThem) {
    link101 l; // 9600 baud: a response time-out of 300 ms
    l.start_up();
    l.next(10);
    // 81 scaled values in one sequence: a 249-octet ASDU, L = FBH, 257 octets on the line.
    frame asdu = {11, 0x80 | 81, 3, 5, 1, 0};
    for (int i = 0; i < 81; ++i)
        asdu.insert(asdu.end(), {static_cast<std::uint8_t>(i), 0, 0});
    const frame f = variable(0x08, 5, asdu);
    ASSERT_EQ(f[1], 0xFB);
    ASSERT_EQ(f.size(), 257u);
    // It begins just before the time-out and goes on well after it: the time-out runs from
    // its last octets, so the exchange is not over and no request goes into it.
    EXPECT_FALSE(l.feed(frame(f.begin(), f.begin() + 100), 300));
    EXPECT_FALSE(l.link->parse(0, 500));
    EXPECT_EQ(l.link->wait_ms(500), 100);
    EXPECT_FALSE(l.feed(frame(f.begin() + 100, f.begin() + 256), 590));
    EXPECT_TRUE(l.feed(frame(f.begin() + 256, f.end()), 880));
    ASSERT_EQ(l.sink.calls.size(), 83u);
    EXPECT_EQ(l.sink.calls[1], "measured 1 0 00");
    EXPECT_EQ(l.sink.calls[81], "measured 81 80 00");
    EXPECT_EQ(l.link->request_function(), nx_mCANAL101::fn_class2);

    // L = FFH, the longest there is: 83 double points with addresses of their own.
    l.next(900);
    frame doubles = {3, 83, 3, 5};
    for (int i = 0; i < 83; ++i)
        doubles.insert(doubles.end(), {static_cast<std::uint8_t>(i + 1), 1, 0x02});
    const frame longest = variable(0x08, 5, doubles);
    ASSERT_EQ(longest[1], 0xFF);
    ASSERT_EQ(longest.size(), 261u);
    EXPECT_TRUE(l.feed(longest, 910));
    ASSERT_EQ(l.sink.calls.size(), 83u + 85u);
    EXPECT_EQ(l.sink.calls.back(), "notify");
    EXPECT_EQ(l.sink.calls[83 + 83], "double 339 02");
    EXPECT_EQ(l.log_text().find("ERR"), std::string::npos);

    // A frame cut short ends the exchange once the line has been silent for the time-out.
    l.next(1000);
    EXPECT_FALSE(l.feed(frame(f.begin(), f.begin() + 50), 1010));
    EXPECT_FALSE(l.link->parse(0, 1309));
    EXPECT_TRUE(l.link->parse(0, 1310));
}

TEST(Link101Input, RejectedAsduThrowsAfterTheFrameIsCounted) {
    link101 l;
    l.start_up();
    l.next(10);
    // One element announced, two sent.
    const frame bad = variable(0x08, 5, {1, 0x01, 3, 5, 1, 0, 1, 1});
    EXPECT_THROW(l.feed(bad, 11), nx_exception);
    EXPECT_EQ(l.link->kept(), 0u);
    EXPECT_EQ(l.next(12), class2_fcb0);
}
