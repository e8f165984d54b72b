#include "base/nx_exception.h"
#include "base/nx_time.h"
#include "telemech/nx_mASDU.h"
#include "tests/telemech/tm_test_sink.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace nxkit;
using ilktest::recording_sink;
using ilktest::test_local_time;

namespace {

using bytes = std::vector<std::uint8_t>;

// A codec with every protocol log category on and no file: decode() returns the text line.
struct codec {
    recording_sink sink;
    nx_mASDU asdu{5, sink, 0};

    codec() {
        asdu.set_local_clock(test_local_time);
        asdu.log().open("", tm_all, 0);
    }
    std::string decode(const bytes& b) {
        asdu.log().enabled(tm_i_text);
        asdu.log().begin_line(tm_direction::received);
        asdu.decode(b.data(), b.size());
        return asdu.log().line();
    }
    std::string rejection(const bytes& b) {
        try {
            decode(b);
        } catch (const nx_exception& e) {
            return e.what();
        }
        return "accepted";
    }
    std::string time_of(std::size_t i) const {
        return time_format(sink.times.at(i).to_time(), "%Y.%m.%d %H:%M:%S.%V");
    }
};

using calls = std::vector<std::string>;

// 2024-03-05 10:20:30.456 as CP56Time2a with IV, summer time and day of week set.
const bytes cp56_noisy = {0xF8, 0x76, 0x94, 0x8A, 0x45, 0x03, 0x18};
// 12.345 s past minute 15, as CP24Time2a.
const bytes cp24_15 = {0x39, 0x30, 0x0F};

bytes join(bytes a, const bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(AsduSq, SinglePointsOfConsecutiveAddressesWithReceptionTime) {
    codec c;
    EXPECT_EQ(c.decode({1, 0x83, 20, 5, 10, 0, 0x01, 0x00, 0x81}),
              "--> <1> COUNT=3,ПР=20,ASDU=5 [0010: 1 q00] [0011: 0 q00] [0012: 1 q80]");
    EXPECT_EQ(c.sink.calls,
              (calls{"up", "single 10 01", "single 11 00", "single 12 81", "notify"}));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(c.sink.times[i].length, 7);
        EXPECT_EQ(c.time_of(i), "2024.03.05 10:20:30.456");
    }
    EXPECT_EQ(bytes(c.sink.times[0].octets.begin(), c.sink.times[0].octets.end()),
              (bytes{0xF8, 0x76, 0x14, 0x0A, 0x05, 0x03, 0x18}));
}

TEST(AsduSq, DoubleMeasuredAndStepValues) {
    codec c;
    EXPECT_EQ(c.decode({3, 0x82, 3, 5, 0x20, 0x4E, 0x03, 0xC2}),
              "--> <3> COUNT=2,ПР=3,ASDU=5 [20000: 3 q00] [20001: 2 qC0]");
    // SVA FFFFH is -1; 8000H the most negative value.
    EXPECT_EQ(c.decode({11, 0x82, 3, 5, 100, 0, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0x01}),
              "--> <11> COUNT=2,ПР=3,ASDU=5 [0100: -1 q00] [0101: -32768 q01]");
    // VTI: 7 bits of two's complement, bit 7 (transient) is not part of the value.
    EXPECT_EQ(c.decode({5, 0x84, 3, 5, 1, 0, 0x7F, 0x00, 0x3F, 0x00, 0x40, 0x01, 0xFF, 0x80}),
              "--> <5> COUNT=4,ПР=3,ASDU=5 [0001: -1 q00] [0002: 63 q00] [0003: -64 q01] "
              "[0004: -1 q80]");
    EXPECT_EQ(c.sink.calls, (calls{"up", "double 20000 03", "double 20001 C2", "notify", "up",
                                   "measured 100 -1 00", "measured 101 -32768 01", "notify", "up",
                                   "step 1 -1 7F 00", "step 2 63 3F 00", "step 3 -64 40 01",
                                   "step 4 -1 FF 80", "notify"}));
}

TEST(AsduSq, AddressWrapsAndEmptyAsdu) {
    codec c;
    EXPECT_EQ(c.decode({1, 0x82, 3, 5, 0xFF, 0xFF, 0x01, 0x01}),
              "--> <1> COUNT=2,ПР=3,ASDU=5 [65535: 1 q00] [0000: 1 q00]");
    // No objects: still data from the controlled point.
    EXPECT_EQ(c.decode({1, 0x80, 3, 5, 0, 0}), "--> <1> COUNT=0,ПР=3,ASDU=5");
    EXPECT_EQ(c.sink.calls,
              (calls{"up", "single 65535 01", "single 0 01", "notify", "up", "notify"}));
}

TEST(AsduCount, WrongElementCountStoresNothingAndNeverContradictsItself) {
    codec c;
    // A whole number of elements, but not the number the VSQ gives.
    EXPECT_EQ(c.rejection({1, 0x83, 3, 5, 1, 0, 1, 0}),
              "неверное количество элементов 2 (ожидается 3)");
    EXPECT_EQ(c.rejection({1, 0x02, 3, 5, 1, 0, 1, 2, 0, 0, 3, 0, 1}),
              "неверное количество элементов 3 (ожидается 2)");
    EXPECT_EQ(c.rejection({30, 0x02, 3, 5, 1, 0, 1, 0xF8, 0x76, 0x14, 0x0A, 0x05, 0x03, 0x18}),
              "неверное количество элементов 1 (ожидается 2)");
    // No whole number of elements: the lengths, not two counts that could read alike.
    EXPECT_EQ(c.rejection({11, 0x82, 3, 5, 1, 0, 1, 2, 3, 4, 5, 6, 7}),
              "неверная длина ASDU 13 (ожидается 12)");
    EXPECT_EQ(c.rejection({11, 0x81, 3, 5, 1}), "неверная длина ASDU 5 (ожидается 9)");
    EXPECT_EQ(c.rejection({103, 0x01, 3, 5, 0, 0}), "неверная длина ASDU 6 (ожидается 13)");
    EXPECT_EQ(c.rejection({1, 1, 3}), "неверная длина ASDU 3");
    EXPECT_TRUE(c.sink.calls.empty());
}

TEST(AsduForms, ListFormOfEveryUntimedTypeAndSequenceFormOfTimedOnes) {
    codec c;
    // Three single points with addresses of their own, as spontaneous changes usually come.
    EXPECT_EQ(c.decode({1, 0x03, 20, 5, 20, 0, 0x01, 22, 0, 0x80, 25, 0, 0x41}),
              "--> <1> COUNT=3,ПР=20,ASDU=5 [0020: 1 q00] [0022: 0 q80] [0025: 1 q40]");
    EXPECT_EQ(c.decode({3, 0x02, 3, 5, 1, 0, 0x02, 9, 0, 0x01}),
              "--> <3> COUNT=2,ПР=3,ASDU=5 [0001: 2 q00] [0009: 1 q00]");
    EXPECT_EQ(c.decode({5, 0x01, 3, 5, 4, 0, 0x85, 0x00}),
              "--> <5> COUNT=1,ПР=3,ASDU=5 [0004: 5 q00]");
    EXPECT_EQ(c.decode({11, 0x02, 3, 5, 1, 1, 0x10, 0x00, 0x00, 2, 1, 0xF0, 0xFF, 0x01}),
              "--> <11> COUNT=2,ПР=3,ASDU=5 [0257: 16 q00] [0258: -16 q01]");
    // A timed type as a sequence: one address, then value and time per element.
    const bytes t = {0x39, 0x30, 0x0F, 0x0A, 0x05, 0x03, 0x18};
    EXPECT_EQ(c.decode(join(join(join({30, 0x82, 3, 5, 10, 0, 0x01}, t), {0x00}), t)),
              "--> <30> COUNT=2,ПР=3,ASDU=5 [0010: 1 q00 CP56=2024.03.05 10:15:12.345] "
              "[0011: 0 q00 CP56=2024.03.05 10:15:12.345]");
    EXPECT_EQ(c.sink.calls, (calls{"up",
                                   "single 20 01",
                                   "single 22 80",
                                   "single 25 41",
                                   "notify",
                                   "up",
                                   "double 1 02",
                                   "double 9 01",
                                   "notify",
                                   "up",
                                   "step 4 5 85 00",
                                   "notify",
                                   "up",
                                   "measured 257 16 00",
                                   "measured 258 -16 01",
                                   "notify",
                                   "up",
                                   "single 10 01",
                                   "single 11 00",
                                   "notify"}));
    EXPECT_EQ(c.time_of(9), "2024.03.05 10:15:12.345");
}

TEST(AsduTypes, BitstringNormalisedAndFloatWithAndWithoutTime) {
    codec c;
    EXPECT_EQ(c.decode({7, 0x81, 3, 5, 50, 0, 0x78, 0x56, 0x34, 0x12, 0x00}),
              "--> <7> COUNT=1,ПР=3,ASDU=5 [0050: 305419896 q00]");
    EXPECT_EQ(c.decode({7, 0x81, 3, 5, 50, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x10}),
              "--> <7> COUNT=1,ПР=3,ASDU=5 [0050: 4294967295 q10]");
    EXPECT_EQ(c.decode({9, 0x82, 3, 5, 60, 0, 0x00, 0x40, 0x00, 0x00, 0x80, 0x01}),
              "--> <9> COUNT=2,ПР=3,ASDU=5 [0060: 16384 q00] [0061: -32768 q01]");
    EXPECT_EQ(c.decode({13, 0x02, 3, 5, 70, 0, 0x00, 0x00, 0x48, 0x41, 0x00, 71, 0, 0x00, 0x00,
                        0x80, 0xBF, 0x80}),
              "--> <13> COUNT=2,ПР=3,ASDU=5 [0070: 12.5 q00] [0071: -1 q80]");
    const bytes t = {0x39, 0x30, 0x0F, 0x0A, 0x05, 0x03, 0x18};
    EXPECT_EQ(c.decode(join({32, 0x01, 3, 5, 1, 0, 0xC5, 0x00}, t)),
              "--> <32> COUNT=1,ПР=3,ASDU=5 [0001: -59 q00 CP56=2024.03.05 10:15:12.345]");
    EXPECT_EQ(c.decode(join({33, 0x01, 3, 5, 2, 0, 0x01, 0x00, 0x00, 0x00, 0x00}, t)),
              "--> <33> COUNT=1,ПР=3,ASDU=5 [0002: 1 q00 CP56=2024.03.05 10:15:12.345]");
    EXPECT_EQ(c.decode(join({34, 0x01, 3, 5, 3, 0, 0xFF, 0x7F, 0x00}, t)),
              "--> <34> COUNT=1,ПР=3,ASDU=5 [0003: 32767 q00 CP56=2024.03.05 10:15:12.345]");
    EXPECT_EQ(c.decode(join({35, 0x01, 3, 5, 4, 0, 0x88, 0xFF, 0x01}, t)),
              "--> <35> COUNT=1,ПР=3,ASDU=5 [0004: -120 q01 CP56=2024.03.05 10:15:12.345]");
    EXPECT_EQ(c.decode(join({36, 0x01, 3, 5, 5, 0, 0x00, 0x00, 0xC0, 0x3F, 0x00}, t)),
              "--> <36> COUNT=1,ПР=3,ASDU=5 [0005: 1.5 q00 CP56=2024.03.05 10:15:12.345]");
    EXPECT_EQ(c.decode(join({14, 0x01, 3, 5, 6, 0, 0x00, 0x00, 0x20, 0x41, 0x00}, cp24_15)),
              "--> <14> COUNT=1,ПР=3,ASDU=5 [0006: 10 q00 CP24=15:12.345]");
    EXPECT_EQ(c.sink.calls, (calls{"up",
                                   "measured 50 305419896 00",
                                   "notify",
                                   "up",
                                   "measured 50 4294967295 10",
                                   "notify",
                                   "up",
                                   "measured 60 16384 00",
                                   "measured 61 -32768 01",
                                   "notify",
                                   "up",
                                   "measured 70 12.5 00",
                                   "measured 71 -1 80",
                                   "notify",
                                   "up",
                                   "step 1 -59 C5 00",
                                   "notify",
                                   "up",
                                   "measured 2 1 00",
                                   "notify",
                                   "up",
                                   "measured 3 32767 00",
                                   "notify",
                                   "up",
                                   "measured 4 -120 01",
                                   "notify",
                                   "up",
                                   "measured 5 1.5 00",
                                   "notify",
                                   "up",
                                   "measured 6 10 00",
                                   "notify"}));
    EXPECT_EQ(c.time_of(6), "2024.03.05 10:15:12.345");
    EXPECT_EQ(c.time_of(11), "2024.03.05 10:15:12.345");
}

TEST(AsduTest, TestBitIsLoggedWithItsCauseAndChangesNothing) {
    codec c;
    EXPECT_EQ(c.decode({1, 0x81, 0x83, 5, 10, 0, 0x01}),
              "--> <1> COUNT=1,ПР=131,ASDU=5 тест [0010: 1 q00]");
    EXPECT_EQ(c.decode({11, 0x01, 0x94, 5, 1, 1, 0x10, 0x00, 0x00}),
              "--> <11> COUNT=1,ПР=148,ASDU=5 тест [0257: 16 q00]");
    // Not even the link: a test frame does not bring a point under control.
    EXPECT_TRUE(c.sink.calls.empty());
    // A wrong length is still a wrong length.
    EXPECT_EQ(c.rejection({1, 0x82, 0x83, 5, 10, 0, 0x01}),
              "неверное количество элементов 1 (ожидается 2)");
}

TEST(AsduTimed, InvalidTimeTagsGiveTheReceptionTimeAndAreMarked) {
    codec c;
    // IV with an all-zero time, as a point without a clock sends it.
    EXPECT_EQ(c.decode({30, 0x01, 3, 5, 10, 0, 0x01, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00}),
              "--> <30> COUNT=1,ПР=3,ASDU=5 [0010: 1 q00 CP56=2000.00.00 00:00:00.000 "
              "недостоверно]");
    // IV on an otherwise sound time.
    EXPECT_EQ(c.decode(join({31, 0x01, 3, 5, 11, 0, 0x02}, cp56_noisy)),
              "--> <31> COUNT=1,ПР=3,ASDU=5 [0011: 2 q00 CP56=2024.03.05 10:20:30.456 "
              "недостоверно]");
    // Fields out of range: month 0, day 0, minute 60, milliseconds 60000.
    EXPECT_EQ(c.decode({35, 0x01, 3, 5, 12, 0, 0x01, 0x00, 0x00, 0x39, 0x30, 0x0F, 0x0A, 0x05, 0x00,
                        0x18}),
              "--> <35> COUNT=1,ПР=3,ASDU=5 [0012: 1 q00 CP56=2024.00.05 10:15:12.345 "
              "недостоверно]");
    c.decode({30, 0x01, 3, 5, 13, 0, 0x01, 0x39, 0x30, 0x0F, 0x0A, 0x00, 0x03, 0x18});
    c.decode({30, 0x01, 3, 5, 14, 0, 0x01, 0x39, 0x30, 0x3C, 0x0A, 0x05, 0x03, 0x18});
    EXPECT_EQ(c.decode({30, 0x01, 3, 5, 15, 0, 0x01, 0x60, 0xEA, 0x0F, 0x0A, 0x05, 0x03, 0x18}),
              "--> <30> COUNT=1,ПР=3,ASDU=5 [0015: 1 q00 CP56=2024.03.05 10:15:60.000 "
              "недостоверно]");
    // CP24Time2a: IV, and minute 60.
    EXPECT_EQ(c.decode({2, 0x01, 3, 5, 16, 0, 0x01, 0x39, 0x30, 0x8F}),
              "--> <2> COUNT=1,ПР=3,ASDU=5 [0016: 1 q00 CP24=15:12.345 недостоверно]");
    c.decode({2, 0x01, 3, 5, 17, 0, 0x01, 0x39, 0x30, 0x3C});
    ASSERT_EQ(c.sink.times.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(c.time_of(i), "2024.03.05 10:20:30.456") << i;
        EXPECT_EQ(c.sink.times[i].length, 7) << i;
    }
}

TEST(AsduTimed, Cp56TimeIsKeptAsSent) {
    codec c;
    const bytes cp56_summer = {0xF8, 0x76, 0x14, 0x8A, 0x45, 0x03, 0x18};
    EXPECT_EQ(c.decode(join({30, 0x01, 3, 9, 0x02, 0x01, 0x01}, cp56_summer)),
              "--> <30> COUNT=1,ПР=3,ASDU=9 [0258: 1 q00 CP56=2024.03.05 10:20:30.456]");
    EXPECT_EQ(c.decode(join({31, 0x01, 3, 9, 0x03, 0x01, 0x82}, cp56_summer)),
              "--> <31> COUNT=1,ПР=3,ASDU=9 [0259: 2 q80 CP56=2024.03.05 10:20:30.456]");
    EXPECT_EQ(c.sink.calls,
              (calls{"up", "single 258 01", "notify", "up", "double 259 82", "notify"}));
    EXPECT_EQ(c.sink.times[0].length, 7);
    EXPECT_EQ(bytes(c.sink.times[0].octets.begin(), c.sink.times[0].octets.end()), cp56_summer);
    EXPECT_EQ(c.time_of(1), "2024.03.05 10:20:30.456");
}

TEST(AsduTimed, Cp24CompletedWithReceptionHourAndDate) {
    codec c;
    // Every list type with CP24Time2a; the time follows the value and the quality.
    EXPECT_EQ(c.decode(join({2, 0x01, 3, 5, 7, 0, 0x01}, cp24_15)),
              "--> <2> COUNT=1,ПР=3,ASDU=5 [0007: 1 q00 CP24=15:12.345]");
    EXPECT_EQ(c.decode(join({4, 0x01, 3, 5, 8, 0, 0x03}, cp24_15)),
              "--> <4> COUNT=1,ПР=3,ASDU=5 [0008: 3 q00 CP24=15:12.345]");
    EXPECT_EQ(c.decode(join({6, 0x01, 3, 5, 9, 0, 0x85, 0x00}, cp24_15)),
              "--> <6> COUNT=1,ПР=3,ASDU=5 [0009: 5 q00 CP24=15:12.345]");
    EXPECT_EQ(c.decode(join({12, 0x01, 3, 5, 11, 0, 0x00, 0x80, 0x01}, cp24_15)),
              "--> <12> COUNT=1,ПР=3,ASDU=5 [0011: -32768 q01 CP24=15:12.345]");
    EXPECT_EQ(c.sink.calls,
              (calls{"up", "single 7 01", "notify", "up", "double 8 03", "notify", "up",
                     "step 9 5 85 00", "notify", "up", "measured 11 -32768 01", "notify"}));
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(c.sink.times[i].length, 3);
        EXPECT_EQ(c.time_of(i), "2024.03.05 10:15:12.345");
    }

    // Minute 20 is the reception minute; 21 lies ahead of it and so in the hour before.
    c.decode(join({2, 0x02, 3, 5, 1, 0, 0, 0x00, 0x00, 0x14, 2, 0, 0}, {0x00, 0x00, 0x15}));
    EXPECT_EQ(c.time_of(4), "2024.03.05 10:20:00.000");
    EXPECT_EQ(c.time_of(5), "2024.03.05 09:21:00.000");

    // Just after midnight, the hour before lies in the previous day (a leap day here).
    c.asdu.set_local_clock([] { return time_encode(2024, 3, 1, 0, 5, 0, 0); });
    c.decode({2, 0x01, 3, 5, 1, 0, 0, 0x39, 0x30, 0x3A});
    EXPECT_EQ(c.time_of(6), "2024.02.29 23:58:12.345");
}

TEST(AsduOther, UnsupportedTypeAndClockConfirmationOnlyLogged) {
    codec c;
    EXPECT_EQ(c.decode({15, 0x01, 3, 7, 1, 0, 0x00, 0x00, 0x80, 0x3F, 0x00}),
              "--> <15> COUNT=1,ПР=3,ASDU=7 не поддерживается");
    EXPECT_EQ(c.asdu.received_address(), 7);
    EXPECT_EQ(c.decode(join({103, 0x01, 7, 5, 0, 0}, cp56_noisy)),
              "--> <103> COUNT=1,ПР=7,ASDU=5время [CP56=2024.03.05 10:20:30.456]");
    EXPECT_TRUE(c.sink.calls.empty());

    // With the log line closed nothing is appended, and the objects are stored all the same.
    c.asdu.log().open("", 0, 0);
    c.asdu.log().enabled(tm_i_text);
    c.asdu.log().begin_line(tm_direction::received);
    EXPECT_FALSE(c.asdu.log().line_open());
    const bytes sp = {1, 0x81, 3, 5, 1, 0, 1};
    c.asdu.decode(sp.data(), sp.size());
    EXPECT_EQ(c.asdu.log().line(), "--> ");
    EXPECT_EQ(c.sink.calls, (calls{"up", "single 1 01", "notify"}));
}

TEST(AsduCommands, InterrogationUsesReceivedAddressOnceKnown) {
    codec c;
    c.asdu.log().enabled(tm_i_text);
    c.asdu.log().begin_line(tm_direction::sent);
    ASSERT_EQ(c.asdu.build_interrogation(6), 7u);
    const std::uint8_t* tx = c.asdu.transmit_buffer();
    EXPECT_EQ(bytes(tx + 6, tx + 13), (bytes{100, 1, 6, 5, 0, 0, 20}));
    EXPECT_EQ(c.asdu.log().line(), "<•• <100> Опрос станции (общий) ПР=6,ASDU=5");

    c.decode({1, 0x80, 20, 7, 0, 0});
    c.asdu.build_interrogation(6);
    EXPECT_EQ(bytes(tx + 6, tx + 13), (bytes{100, 1, 6, 7, 0, 0, 20}));

    // Only the low octet of a configured address goes out.
    recording_sink sink;
    nx_mASDU wide(300, sink, 0);
    wide.build_interrogation(6);
    EXPECT_EQ(wide.transmit_buffer()[9], 44);
}

TEST(AsduCommands, ClockSyncCarriesLocalTime) {
    codec c;
    c.asdu.log().enabled(tm_i_text);
    c.asdu.log().begin_line(tm_direction::sent);
    ASSERT_EQ(c.asdu.build_clock_sync(6), 13u);
    const std::uint8_t* tx = c.asdu.transmit_buffer();
    EXPECT_EQ(bytes(tx + 6, tx + 19),
              (bytes{103, 1, 6, 5, 0, 0, 0xF8, 0x76, 0x14, 0x0A, 0x05, 0x03, 0x18}));
    EXPECT_EQ(c.asdu.log().line(),
              "<•• <103> Синхронизация часов ПР=6,ASDU=5 [CP56=2024.03.05 10:20:30.456]");
}

TEST(AsduSchedule, DefaultsAndPeriods) {
    recording_sink plain;
    nx_mASDU a(5, plain, 1000);
    EXPECT_EQ(a.interrogation_period(), -1);
    EXPECT_EQ(a.sync_period(), -2);
    EXPECT_FALSE(a.interrogation_due(999));
    EXPECT_TRUE(a.interrogation_due(1000));
    EXPECT_FALSE(a.sync_due(1000000));
    a.restart_interrogation(1500);
    EXPECT_EQ(a.interrogation_period(), -2);
    EXPECT_FALSE(a.interrogation_due(1000000));

    recording_sink timed;
    timed.give_schedule = true;
    timed.interrogation = 60;
    timed.sync = -1;
    nx_mASDU b(5, timed, 0);
    EXPECT_EQ(b.interrogation_period(), 60000);
    EXPECT_FALSE(b.interrogation_due(60000));
    EXPECT_TRUE(b.interrogation_due(60001));
    b.restart_interrogation(60001);
    EXPECT_EQ(b.interrogation_period(), 60000);
    EXPECT_FALSE(b.interrogation_due(120001));
    EXPECT_TRUE(b.interrogation_due(120002));
    EXPECT_TRUE(b.sync_due(0));
    b.restart_sync(5);
    EXPECT_FALSE(b.sync_due(1000000));
}
