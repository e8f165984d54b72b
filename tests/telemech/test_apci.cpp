#include "telemech/nx_mAPDU_act.h"
#include "tests/support/test_support.h"
#include "tests/telemech/apci_link.h"

#include "base/cp1251.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace nxkit;
using namespace ilktest;

namespace {

using calls = std::vector<std::string>;

const bytes s_frame_1 = {0x68, 0x04, 0x01, 0x00, 0x02, 0x00};
const bytes startdt_act = {0x68, 0x04, 0x07, 0x00, 0x00, 0x00};
const bytes stopdt_act = {0x68, 0x04, 0x13, 0x00, 0x00, 0x00};

bytes s_frame(std::uint16_t nr) {
    return {0x68,
            0x04,
            0x01,
            0x00,
            static_cast<std::uint8_t>(nr & 0xFF),
            static_cast<std::uint8_t>(nr >> 8)};
}

} // namespace

TEST(ApciStart, StartdtFirstThenOneTestFramePerSilence) {
    apci_link l;
    EXPECT_EQ(l.next(0), startdt_act);
    EXPECT_TRUE(l.next(1).empty());
    EXPECT_EQ(l.apdu->wait_ms(1), 3000);
    EXPECT_TRUE(l.next(3000).empty());
    EXPECT_EQ(l.next(3001), testfr_act);
    // Sending the test frame restarts the silence: no flood on the following passes.
    EXPECT_TRUE(l.next(3002).empty());
    EXPECT_EQ(l.apdu->wait_ms(3002), 3000);
    EXPECT_TRUE(l.next(6001).empty());
    EXPECT_EQ(l.next(6002), testfr_act);
    // Any frame from the peer restarts it too.
    ASSERT_TRUE(l.feed(testfr_con, 6500));
    EXPECT_TRUE(l.next(9500).empty());
    EXPECT_EQ(l.next(9501), testfr_act);
    EXPECT_FALSE(l.apdu->started());
}

TEST(ApciStart, TestFrameBeforeStartdtWhenFirstPassIsLate) {
    apci_link l;
    EXPECT_EQ(l.next(3001), testfr_act);
    EXPECT_EQ(l.next(3002), startdt_act);
}

TEST(ApciStart, InterrogationOnlyAfterStartdtCon) {
    apci_link l(-1);
    EXPECT_EQ(l.next(0), startdt_act);
    EXPECT_TRUE(l.next(10).empty());
    EXPECT_EQ(l.apdu->wait_ms(10), 2991);
    ASSERT_TRUE(l.feed(startdt_con, 20));
    EXPECT_TRUE(l.apdu->started());
    EXPECT_EQ(l.apdu->wait_ms(20), 0);
    EXPECT_EQ(l.next(20), (bytes{0x68, 0x0B, 0x00, 0x00, 0x00, 0x00, 100, 1, 6, 5, 0, 0, 20}));
    // "At start" is once only.
    EXPECT_TRUE(l.next(21).empty());
    EXPECT_EQ(l.apdu->send_counter(), 2);
}

TEST(ApciSend, ClockSyncBeforeInterrogationAndCountersInFrames) {
    apci_link l(-1, -1);
    l.start();
    ASSERT_TRUE(l.feed(i_frame(0, 0, single_point(1)) + i_frame(2, 0, single_point(2)), 1));
    bytes sync = l.next(2);
    ASSERT_EQ(sync.size(), 19u);
    EXPECT_EQ(bytes(sync.begin(), sync.begin() + 12),
              (bytes{0x68, 0x11, 0x00, 0x00, 0x04, 0x00, 103, 1, 6, 5, 0, 0}));
    EXPECT_EQ(bytes(sync.begin() + 12, sync.end()),
              (bytes{0xF8, 0x76, 0x14, 0x0A, 0x05, 0x03, 0x18}));
    EXPECT_EQ(l.next(3), (bytes{0x68, 0x0B, 0x02, 0x00, 0x04, 0x00, 100, 1, 6, 5, 0, 0, 20}));
    // Sending I-frames does not acknowledge: the S-frame still follows.
    EXPECT_EQ(l.next(4), s_frame(4));
    EXPECT_TRUE(l.next(5).empty());
}

TEST(ApciSend, PeriodicInterrogationFromConnectionStart) {
    apci_link l(60);
    l.start();
    EXPECT_EQ(l.apdu->wait_ms(2), 3000);
    ASSERT_TRUE(l.feed(testfr_con, 59000));
    EXPECT_EQ(l.apdu->wait_ms(59000), 1001);
    EXPECT_TRUE(l.next(60000).empty());
    EXPECT_EQ(l.next(60001)[6], 100);
    ASSERT_TRUE(l.feed(testfr_con, 62000));
    EXPECT_TRUE(l.next(62500).empty());
    EXPECT_EQ(l.next(120002)[6], 100);
}

TEST(ApciSequence, InOrderFramesThenGapGivesErrorLineAndStopdt) {
    temp_dir dir;
    apci_link l;
    l.apdu->log().open(dir.path() + "p.log", 0, 100000);
    l.start();
    ASSERT_TRUE(l.feed(i_frame(0, 0, single_point(1)) + i_frame(2, 0, single_point(2)) +
                           i_frame(4, 6, single_point(3)),
                       2));
    EXPECT_EQ(l.apdu->receive_counter(), 6);
    EXPECT_EQ(l.apdu->last_received_nr(), 6);
    // 8 where 6 is expected: the rest of the read is dropped, even a frame that would fit.
    ASSERT_TRUE(l.feed(i_frame(8, 8, single_point(4)) + i_frame(6, 0, single_point(5)), 3));
    EXPECT_EQ(l.apdu->receive_counter(), 6);
    EXPECT_EQ(l.apdu->last_received_nr(), 8);
    EXPECT_EQ(l.sink.calls, (calls{"up", "single 1 01", "notify", "up", "single 2 01", "notify",
                                   "up", "single 3 01", "notify"}));
    EXPECT_EQ(read_bytes(dir.path() + "p.log"),
              to_cp1251("\r\n03.05 10:20:30.456 | ERR | нарушение последовательности, "
                        "ожидается 6, принято _CON[2]=8"));
    EXPECT_EQ(l.next(4), s_frame(6));
    EXPECT_EQ(l.next(5), stopdt_act);
    EXPECT_TRUE(l.next(6).empty());
    // The peer's confirmation ends the connection.
    EXPECT_FALSE(l.feed(stopdt_con, 7));
}

TEST(ApciSequence, SequenceFieldsWrapAt32768Frames) {
    apci_link l;
    l.start();
    for (std::uint32_t i = 0; i < 32769; ++i)
        ASSERT_TRUE(l.feed(i_frame(static_cast<std::uint16_t>(i * 2), 0, {13, 0, 3, 5}), 2));
    EXPECT_EQ(l.apdu->receive_counter(), 2);
    EXPECT_EQ(l.next(3), s_frame(2));
}

TEST(ApciAck, SFrameAfterT2WithReceiveCounter) {
    apci_link l;
    l.start();
    ASSERT_TRUE(l.feed(i_frame(0, 0, single_point(1)), 100));
    EXPECT_EQ(l.apdu->wait_ms(100), 1);
    EXPECT_TRUE(l.next(100).empty());
    EXPECT_EQ(l.next(101), s_frame_1);
    EXPECT_TRUE(l.next(102).empty());

    apci_link slow(-2, -2, 50);
    slow.start();
    ASSERT_TRUE(slow.feed(i_frame(0, 0, single_point(1)), 100));
    ASSERT_TRUE(slow.feed(i_frame(2, 0, single_point(2)), 120));
    EXPECT_EQ(slow.apdu->wait_ms(120), 51);
    EXPECT_TRUE(slow.next(170).empty());
    EXPECT_EQ(slow.next(171), s_frame(4));
}

TEST(ApciAck, EighthUnacknowledgedFrameIsAcknowledgedAtOnce) {
    // A long t2: only the count of w = 8 frames can bring the S-frame before it.
    apci_link l(-2, -2, 10000);
    l.start();
    EXPECT_EQ(l.apdu->w(), 8);
    bytes burst;
    for (std::uint16_t n = 0; n < 7; ++n)
        burst = burst + i_frame(static_cast<std::uint16_t>(2 * n), 0, single_point(1));
    ASSERT_TRUE(l.feed(burst, 100));
    EXPECT_EQ(l.apdu->unacknowledged(), 7);
    EXPECT_TRUE(l.next(100).empty());
    ASSERT_TRUE(l.feed(i_frame(14, 0, single_point(1)), 100));
    EXPECT_EQ(l.apdu->wait_ms(100), 0);
    EXPECT_EQ(l.next(100), s_frame(16));
    EXPECT_EQ(l.apdu->unacknowledged(), 0);
    // A peer with k = 12 sends four more: they wait for t2 or the next four.
    bytes more;
    for (std::uint16_t n = 8; n < 12; ++n)
        more = more + i_frame(static_cast<std::uint16_t>(2 * n), 0, single_point(1));
    ASSERT_TRUE(l.feed(more, 101));
    EXPECT_TRUE(l.next(102).empty());
    EXPECT_EQ(l.next(10102), s_frame(24));

    // An I-frame sent carries the receive counter and so acknowledges too.
    apci_link i(-1, -2, 10000);
    i.next(0);
    bytes seven = startdt_con;
    for (std::uint16_t n = 0; n < 7; ++n)
        seven = seven + i_frame(static_cast<std::uint16_t>(2 * n), 0, single_point(1));
    ASSERT_TRUE(i.feed(seven, 10));
    EXPECT_EQ(i.next(11)[6], 100);
    ASSERT_TRUE(i.feed(i_frame(14, 0, single_point(1)), 12));
    EXPECT_EQ(i.apdu->unacknowledged(), 1);
    EXPECT_TRUE(i.next(13).empty());
}

TEST(ApciAck, PeerSFrameStoresItsField) {
    apci_link l;
    l.start();
    ASSERT_TRUE(l.feed(s_frame(10), 5));
    EXPECT_EQ(l.apdu->last_received_nr(), 10);
    EXPECT_TRUE(l.next(6).empty());
}

TEST(ApciTest, PeerTestAnsweredAfterHigherRules) {
    apci_link l(-1);
    l.next(0);
    ASSERT_TRUE(l.feed(startdt_con + i_frame(0, 0, single_point(1)) + testfr_act, 10));
    EXPECT_EQ(l.next(11)[6], 100);
    EXPECT_EQ(l.next(12), s_frame_1);
    EXPECT_EQ(l.next(13), testfr_con);
    EXPECT_TRUE(l.next(14).empty());
}

TEST(ApciStream, SplitReadsAndJoinedFrames) {
    const bytes stream = i_frame(0, 0, single_point(1)) + i_frame(2, 0, single_point(2)) +
                         i_frame(4, 0, single_point(3));
    const calls three = {"up",     "single 1 01", "notify",      "up",    "single 2 01",
                         "notify", "up",          "single 3 01", "notify"};
    for (std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{13}, stream.size()}) {
        apci_link l;
        l.start();
        for (std::size_t i = 0; i < stream.size(); i += piece) {
            bytes part(stream.begin() + static_cast<std::ptrdiff_t>(i),
                       stream.begin() +
                           static_cast<std::ptrdiff_t>(std::min(stream.size(), i + piece)));
            ASSERT_TRUE(l.feed(part, 2));
        }
        EXPECT_EQ(l.sink.calls, three) << "pieces of " << piece;
        EXPECT_EQ(l.apdu->receive_space().size(), 255u);
    }

    // A partial frame waits in front of the receive space.
    apci_link l;
    l.start();
    ASSERT_TRUE(l.feed(bytes(stream.begin(), stream.begin() + 20), 2));
    EXPECT_EQ(l.apdu->receive_space().size(), 255u - 7u);
    EXPECT_EQ(l.sink.calls.size(), 3u);
}

TEST(ApciStream, LargestFramesAndLongReads) {
    apci_link l;
    l.start();
    // 81 measured values in SQ form make the largest APDU: 253 octets behind the length.
    bytes asdu = {11, 0x80 | 81, 3, 5, 1, 0};
    asdu.resize(asdu.size() + 81 * 3, 1);
    bytes stream;
    for (std::uint16_t i = 0; i < 4; ++i)
        stream = stream + i_frame(static_cast<std::uint16_t>(i * 2), 0, asdu);
    ASSERT_EQ(stream.size(), 4u * 255u);
    ASSERT_TRUE(l.feed(stream, 2));
    EXPECT_EQ(l.sink.calls.size(), 4u * 83u);
    EXPECT_EQ(l.apdu->receive_counter(), 8);
    EXPECT_TRUE(l.apdu->take_rejected().empty());
}

TEST(ApciStream, RejectedAsduDropsOnlyItsFrame) {
    apci_link l;
    l.start();
    ASSERT_TRUE(l.feed(i_frame(0, 0, single_point(1)) +
                           i_frame(2, 0, {1, 0x03, 3, 5, 1, 0, 1, 2, 0, 0}) +
                           i_frame(4, 0, single_point(3)) + i_frame(6, 0, {}),
                       2));
    EXPECT_EQ(l.sink.calls, (calls{"up", "single 1 01", "notify", "up", "single 3 01", "notify"}));
    EXPECT_EQ(l.apdu->take_rejected(),
              (calls{"неверное количество элементов 2 (ожидается 3)", "неверная длина ASDU 0"}));
    EXPECT_TRUE(l.apdu->take_rejected().empty());
    EXPECT_EQ(l.next(3), s_frame(8));
}

TEST(ApciFaults, FramingFaultsCloseTheConnection) {
    temp_dir dir;
    struct fault {
        bytes stream;
        std::string line;
    };
    const fault faults[] = {
        {s_frame_1 + bytes{0x69, 0x04}, "ERR | Ожидается 68H"},
        {bytes{0x68, 0xFE, 0x01}, "ERR | ошибка буфера"},
        {bytes{0x68, 0x02, 0x01, 0x00}, "ERR | ошибка буфера"},
        {stopdt_con + s_frame_1, ""},
    };
    for (const fault& f : faults) {
        apci_link l;
        l.apdu->log().open(dir.path() + "f.log", 0, 100000);
        EXPECT_FALSE(l.feed(f.stream, 1));
        l.apdu->log().close();
        std::string log = read_bytes(dir.path() + "f.log");
        EXPECT_EQ(log, f.line.empty() ? "" : to_cp1251("\r\n03.05 10:20:30.456 | " + f.line));
        std::remove((dir.path() + "f.log").c_str());
    }
}

TEST(ApciT1, SentFramesMustBeConfirmedWithinT1) {
    // Clock sync at 2 and interrogation at 3; the peer confirms only the first.
    apci_link l(-1, -1);
    l.start();
    ASSERT_EQ(l.next(2).size(), 19u);
    ASSERT_EQ(l.next(3)[6], 100);
    EXPECT_FALSE(l.apdu->t1_expired(3002));
    ASSERT_TRUE(l.feed(s_frame(2), 100));
    EXPECT_FALSE(l.apdu->t1_expired(3003));
    EXPECT_TRUE(l.apdu->t1_expired(3004));
    // An I-frame's N(R) confirms as an S-frame does.
    ASSERT_TRUE(l.feed(i_frame(0, 4, single_point(1)), 200));
    EXPECT_FALSE(l.apdu->t1_expired(100000));

    // A test frame nobody answers: t1 from the moment it went out.
    EXPECT_EQ(l.next(203), s_frame(2));
    EXPECT_EQ(l.next(3201), testfr_act);
    EXPECT_EQ(l.apdu->wait_ms(3201), 3001);
    // Other frames do not answer it.
    ASSERT_TRUE(l.feed(s_frame(4), 4000));
    EXPECT_FALSE(l.apdu->t1_expired(6201));
    EXPECT_TRUE(l.apdu->t1_expired(6202));
    ASSERT_TRUE(l.feed(testfr_con, 6100));
    EXPECT_FALSE(l.apdu->t1_expired(50000));
}

TEST(ApciT1, OnlyAConfirmationOfTheFramesSentCounts) {
    apci_link l(-1);
    l.start();
    ASSERT_EQ(l.next(2)[6], 100);
    // N(R) 0 confirms nothing, and an N(R) beyond what was sent is no confirmation either.
    ASSERT_TRUE(l.feed(s_frame(0), 10));
    ASSERT_TRUE(l.feed(s_frame(40), 20));
    EXPECT_TRUE(l.apdu->t1_expired(3003));
    ASSERT_TRUE(l.feed(s_frame(2), 3003));
    EXPECT_FALSE(l.apdu->t1_expired(3004));
}
