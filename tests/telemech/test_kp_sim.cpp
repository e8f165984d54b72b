#include "tests/support/test_support.h"
#include "tests/telemech/kp_sim_process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

using ilktest::kp_sim_process;
using ilktest::raw_client;

namespace {

const std::string startdt_act = "68 04 07 00 00 00";
const std::string startdt_con = "68 04 0B 00 00 00";
const std::string testfr_act = "68 04 43 00 00 00";
const std::string testfr_con = "68 04 83 00 00 00";
// Station interrogation to common address 5 with N(S)=0, N(R)=0.
const std::string interrogation_5 = "68 0B 00 00 00 00 64 01 06 05 00 00 14";

// Connects and starts data transfer.
void start_link(raw_client& client) {
    ASSERT_TRUE(client.connected());
    client.send_hex(startdt_act);
    ASSERT_EQ(client.next_frame(), startdt_con);
}

std::string year_octet() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[4];
    std::snprintf(text, sizeof text, "%02X", local.tm_year % 100);
    return text;
}

} // namespace

TEST(KpSimLink, AnswersStartTestInterrogationAndClockSync) {
    kp_sim_process sim({"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "1:10=1", "--object",
                        "1:11=0", "--object", "1:12=1/80", "--object", "5:50=-1", "--object",
                        "11:300=-2/01", "--object", "30:40=1"});
    raw_client client(sim.port());
    start_link(client);
    client.send_hex(testfr_act);
    EXPECT_EQ(client.next_frame(), testfr_con);

    client.send_hex(interrogation_5);
    EXPECT_EQ(client.next_frame(), "68 0B 00 00 02 00 64 01 07 05 00 00 14");
    // Consecutive single points as one sequence, then each type in turn, sorted by type.
    EXPECT_EQ(client.next_frame(), "68 0D 02 00 02 00 01 83 14 05 0A 00 01 00 81");
    // The timed single point is reported untimed, as type 1, the way the standard asks.
    EXPECT_EQ(client.next_frame(), "68 0B 04 00 02 00 01 01 14 05 28 00 01");
    EXPECT_EQ(client.next_frame(), "68 0C 06 00 02 00 05 01 14 05 32 00 7F 00");
    EXPECT_EQ(client.next_frame(), "68 0D 08 00 02 00 0B 01 14 05 2C 01 FE FF 01");
    EXPECT_EQ(client.next_frame(), "68 0B 0A 00 02 00 64 01 0A 05 00 00 14");
    // Its own I-frames acknowledged the command: no S-frame follows.
    EXPECT_EQ(client.next_frame(200), "");

    // Clock synchronisation is confirmed with the time it carried.
    client.send_hex("68 11 02 00 0C 00 67 01 06 05 00 00 10 27 1E 0B 0F 06 18");
    EXPECT_EQ(client.next_frame(), "68 11 0C 00 04 00 67 01 07 05 00 00 10 27 1E 0B 0F 06 18");
    // A command type it does not know, another common address, a wrong cause: negative.
    client.send_hex("68 0B 04 00 0E 00 2D 01 06 05 01 00 01");
    EXPECT_EQ(client.next_frame(), "68 0B 0E 00 06 00 2D 01 6C 05 01 00 01");
    client.send_hex("68 0B 06 00 10 00 64 01 06 09 00 00 14");
    EXPECT_EQ(client.next_frame(), "68 0B 10 00 08 00 64 01 6E 09 00 00 14");
    client.send_hex("68 0B 08 00 12 00 64 01 08 05 00 00 14");
    EXPECT_EQ(client.next_frame(), "68 0B 12 00 0A 00 64 01 6D 05 00 00 14");

    // A sequence error ends the connection, as a controlled point does.
    client.send_hex("68 0B 0E 00 14 00 64 01 06 05 00 00 14");
    EXPECT_EQ(client.next_frame(), "closed");
    EXPECT_EQ(sim.terminate(), 0);
}

TEST(KpSimForms, ListFormNewTypesTestBitTimeTagsAndRawAsdus) {
    kp_sim_process sim({"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "1:20=0", "--object",
                        "1:22=0", "--object", "35:300=-120", "--object", "36:400=1.5", "--object",
                        "7:500=305419896", "--form", "list"});
    raw_client client(sim.port());
    start_link(client);
    client.send_hex(interrogation_5);
    EXPECT_EQ(client.next_frame(), "68 0B 00 00 02 00 64 01 07 05 00 00 14");
    // Untimed twins in the list form, sorted by type: 1, 7, 11 (from 35), 13 (from 36).
    EXPECT_EQ(client.next_frame(), "68 0E 02 00 02 00 01 02 14 05 14 00 00 16 00 00");
    EXPECT_EQ(client.next_frame(), "68 0F 04 00 02 00 07 01 14 05 F4 01 78 56 34 12 00");
    EXPECT_EQ(client.next_frame(), "68 0D 06 00 02 00 0B 01 14 05 2C 01 88 FF 00");
    EXPECT_EQ(client.next_frame(), "68 0F 08 00 02 00 0D 01 14 05 90 01 00 00 C0 3F 00");
    EXPECT_EQ(client.next_frame(), "68 0B 0A 00 02 00 64 01 0A 05 00 00 14");

    ASSERT_TRUE(sim.command("test on"));
    ASSERT_TRUE(sim.command("set 20 1"));
    EXPECT_EQ(client.next_frame(), "68 0B 0C 00 02 00 01 01 83 05 14 00 01");
    ASSERT_TRUE(sim.command("test off"));
    // A changed timed object goes with its own type and time tag; IV set on request.
    ASSERT_TRUE(sim.command("timetag iv"));
    ASSERT_TRUE(sim.command("set 300 -7"));
    std::string timed = client.next_frame();
    ASSERT_EQ(timed.size(), 3u * 22 - 1);
    EXPECT_EQ(timed.substr(0, 44), "68 14 0E 00 02 00 23 01 03 05 2C 01 F9 FF 00");
    EXPECT_NE(std::stoi(timed.substr(51, 2), nullptr, 16) & 0x80, 0);
    EXPECT_EQ(timed.substr(timed.size() - 2), year_octet());
    // Fields out of range: minute 60, day 0, month 0.
    ASSERT_TRUE(sim.command("timetag bad"));
    ASSERT_TRUE(sim.command("set 300 -8"));
    timed = client.next_frame();
    EXPECT_EQ(timed.substr(0, 44), "68 14 10 00 02 00 23 01 03 05 2C 01 F8 FF 00");
    EXPECT_EQ(timed.substr(51, 2), "3C");
    EXPECT_EQ(timed.substr(57, 5), "00 00");
    // Any ASDU as given.
    ASSERT_TRUE(sim.command("asdu 01 03 14 05 14 00 01 16 00 80 19 00 41"));
    EXPECT_EQ(client.next_frame(), "68 11 12 00 02 00 01 03 14 05 14 00 01 16 00 80 19 00 41");
    EXPECT_FALSE(sim.command("asdu 01 0"));
    EXPECT_FALSE(sim.command("form diagonal"));
    EXPECT_EQ(sim.terminate(), 0);
}

TEST(KpSimLink, WindowKFromTheScenario) {
    kp_sim_process sim({"--endpoint", "127.0.0.1:0", "--ca", "5", "--k", "3", "--object", "1:1=0",
                        "--object", "1:3=0", "--object", "1:5=0"});
    raw_client client(sim.port());
    start_link(client);
    client.send_hex(interrogation_5);
    EXPECT_EQ(client.next_frame(), "68 0B 00 00 02 00 64 01 07 05 00 00 14");
    EXPECT_EQ(client.next_frame(), "68 0B 02 00 02 00 01 01 14 05 01 00 00");
    EXPECT_EQ(client.next_frame(), "68 0B 04 00 02 00 01 01 14 05 03 00 00");
    EXPECT_EQ(client.next_frame(300), "");
    client.send_hex("68 04 01 00 06 00");
    EXPECT_EQ(client.next_frame(), "68 0B 06 00 02 00 01 01 14 05 05 00 00");
    EXPECT_EQ(client.next_frame(), "68 0B 08 00 02 00 64 01 0A 05 00 00 14");
    std::string error;
    EXPECT_EQ(kp_sim_process::run_to_end({"--k", "0"}, &error), 2);
    EXPECT_NE(error.find("bad k 0"), std::string::npos) << error;
}

TEST(KpSimLink, StopsAfterTwelveUnacknowledgedFramesAndResumes) {
    std::vector<std::string> args{"--endpoint", "127.0.0.1:0", "--ca", "5"};
    // Twenty objects that cannot share an ASDU: 22 I-frames with confirmation and termination.
    for (int i = 0; i < 20; ++i) {
        args.push_back("--object");
        args.push_back("1:" + std::to_string(1 + 2 * i) + "=0");
    }
    kp_sim_process sim(args);
    raw_client client(sim.port());
    start_link(client);
    client.send_hex(interrogation_5);
    std::vector<std::string> frames;
    for (int i = 0; i < 12; ++i)
        frames.push_back(client.next_frame());
    EXPECT_EQ(frames[0], "68 0B 00 00 02 00 64 01 07 05 00 00 14");
    EXPECT_EQ(frames[1], "68 0B 02 00 02 00 01 01 14 05 01 00 00");
    EXPECT_EQ(frames[11], "68 0B 16 00 02 00 01 01 14 05 15 00 00");
    EXPECT_EQ(client.next_frame(300), "");

    // An I-frame while the window is full is acknowledged by an S-frame.
    client.send_hex("68 0B 02 00 00 00 64 01 06 05 00 00 14");
    EXPECT_EQ(client.next_frame(), "68 04 01 00 04 00");
    EXPECT_EQ(client.next_frame(300), "");

    // Acknowledging five frames lets five more go.
    client.send_hex("68 04 01 00 0A 00");
    for (int i = 12; i < 17; ++i) {
        char head[16];
        std::snprintf(head, sizeof head, "68 0B %02X 00", 2 * i);
        EXPECT_EQ(client.next_frame().substr(0, 11), head);
    }
    EXPECT_EQ(client.next_frame(300), "");
    client.send_hex("68 04 01 00 22 00");
    for (int i = 17; i < 21; ++i)
        EXPECT_NE(client.next_frame(), "");
    EXPECT_EQ(client.next_frame(), "68 0B 2A 00 04 00 64 01 0A 05 00 00 14");
    // The second interrogation's confirmation follows at once: the window is open again.
    EXPECT_EQ(client.next_frame(), "68 0B 2C 00 04 00 64 01 07 05 00 00 14");
}

TEST(KpSimChanges, PeriodicAndCommandedChangesGoOutSpontaneously) {
    kp_sim_process sim({"--endpoint", "127.0.0.1:0", "--ca", "3", "--object", "1:10=0", "--object",
                        "11:20=100", "--period", "100"});
    raw_client client(sim.port());
    start_link(client);
    EXPECT_EQ(client.next_frame(), "68 0B 00 00 00 00 01 01 03 03 0A 00 01");
    EXPECT_EQ(client.next_frame(), "68 0D 02 00 00 00 0B 01 03 03 14 00 65 00 00");
    EXPECT_EQ(client.next_frame(), "68 0B 04 00 00 00 01 01 03 03 0A 00 00");

    EXPECT_TRUE(sim.command("set 20 -300/10"));
    std::string frame;
    do {
        frame = client.next_frame();
    } while (frame.find(" 01 01 03 03 0A 00 ") != std::string::npos);
    EXPECT_EQ(frame.substr(0, 6), "68 0D ");
    EXPECT_EQ(frame.substr(18), "0B 01 03 03 14 00 D4 FE 10");
    EXPECT_FALSE(sim.command("set 99 1"));
    EXPECT_FALSE(sim.command("set 10 5"));
    EXPECT_FALSE(sim.command("wave"));
}

TEST(KpSimFaults, RefuseSilenceCloseAndWrongStartByte) {
    kp_sim_process sim({"--endpoint", "127.0.0.1:0", "--fault", "refuse"});
    {
        nxkit::tcp_socket s;
        ASSERT_TRUE(s.create());
        EXPECT_EQ(s.connect("127.0.0.1", sim.port(), 2000, nullptr), nxkit::wait_result::failed);
        EXPECT_EQ(s.error(), ECONNREFUSED);
    }
    ASSERT_TRUE(sim.command("fault none"));
    raw_client client(sim.port());
    start_link(client);

    ASSERT_TRUE(sim.command("fault silent"));
    client.send_hex(testfr_act);
    EXPECT_EQ(client.next_frame(300), "");
    ASSERT_TRUE(sim.command("fault none"));
    client.send_hex(testfr_act);
    EXPECT_EQ(client.next_frame(), testfr_con);

    ASSERT_TRUE(sim.command("fault bad-start"));
    client.send_hex(testfr_act);
    EXPECT_EQ(client.next_frame(), "67 04 83 00 00 00");

    ASSERT_TRUE(sim.command("drop"));
    EXPECT_EQ(client.next_frame(), "closed");
    ASSERT_TRUE(sim.command("fault close"));
    raw_client refused(sim.port());
    ASSERT_TRUE(refused.connected());
    EXPECT_EQ(refused.next_frame(), "closed");
    EXPECT_FALSE(sim.command("fault loud"));
}

TEST(KpSimFaults, SkippedSequenceAndOtherCommonAddress) {
    kp_sim_process sim(
        {"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "3:7=2", "--fault", "skip-seq"});
    {
        raw_client client(sim.port());
        start_link(client);
        client.send_hex(interrogation_5);
        EXPECT_EQ(client.next_frame(), "68 0B 02 00 02 00 64 01 07 05 00 00 14");
        EXPECT_EQ(client.next_frame(), "68 0B 04 00 02 00 03 01 14 05 07 00 02");
    }
    ASSERT_TRUE(sim.command("fault ca=7"));
    raw_client client(sim.port());
    start_link(client);
    client.send_hex(interrogation_5);
    EXPECT_EQ(client.next_frame(), "68 0B 00 00 02 00 64 01 07 07 00 00 14");
    EXPECT_EQ(client.next_frame(), "68 0B 02 00 02 00 03 01 14 07 07 00 02");
    EXPECT_EQ(client.next_frame(), "68 0B 04 00 02 00 64 01 0A 07 00 00 14");
    // Commands to the address it now uses are accepted as well.
    client.send_hex("68 0B 02 00 06 00 64 01 06 07 00 00 14");
    EXPECT_EQ(client.next_frame(), "68 0B 06 00 04 00 64 01 07 07 00 00 14");
}

TEST(KpSimSetup, ScenarioFileEndpointsAndRefusedArguments) {
    ilktest::temp_dir dir;
    ilktest::write_bytes(dir.path() + "station.txt", "# two controlled points\n"
                                                     "endpoint 127.0.0.1:0\n"
                                                     "ca 2\n"
                                                     "object 1:1-2=1   # two in a row\n"
                                                     "endpoint 127.0.0.2:0\n"
                                                     "ca 9\n"
                                                     "object 11:4=-1\n");
    kp_sim_process sim({"--scenario", dir.path() + "station.txt"});
    ASSERT_NE(sim.port(1), 0);
    raw_client first(sim.port(0));
    start_link(first);
    first.send_hex("68 0B 00 00 00 00 64 01 06 02 00 00 14");
    EXPECT_EQ(first.next_frame(), "68 0B 00 00 02 00 64 01 07 02 00 00 14");
    EXPECT_EQ(first.next_frame(), "68 0C 02 00 02 00 01 82 14 02 01 00 01 01");

    nxkit::tcp_socket second;
    ASSERT_TRUE(second.create());
    ASSERT_EQ(second.connect("127.0.0.2", sim.port(1), 2000, nullptr), nxkit::wait_result::ready);

    std::string error;
    EXPECT_EQ(kp_sim_process::run_to_end({"--endpoint", "192.0.2.1:2404"}, &error), 2);
    EXPECT_NE(error.find("only loopback"), std::string::npos);
    EXPECT_EQ(kp_sim_process::run_to_end({"--object", "1:1=2"}, &error), 2);
    EXPECT_NE(error.find("bad object 1:1=2"), std::string::npos);
    EXPECT_EQ(kp_sim_process::run_to_end({"--scenario", dir.path() + "none.txt"}, &error), 2);
    EXPECT_EQ(sim.terminate(), 0);
}
