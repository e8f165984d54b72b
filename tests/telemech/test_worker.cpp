#include "base/cp1251.h"
#include "base/last_error.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "telemech/nx_m104_act.h"
#include "telemech/nx_socket_sync.h"
#include "tests/support/test_support.h"
#include "tests/telemech/kp_sim_process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

using namespace nxkit;
using ilktest::kp_sim_process;
using steady = std::chrono::steady_clock;

namespace {

const std::string equals_line = " ================================================";
const std::string dashes_line = " ------------------------------------------------";

long elapsed_ms(steady::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(steady::now() - since).count());
}

// A device stand-in: keeps the objects under its lock, as a device does for its worker.
class locked_sink : public nx_tm_info {
public:
    std::string log_file;
    int log_mode = 0;

    void get_log_settings(std::string& file, int& mode, int& size) override {
        file = log_file;
        mode = log_mode;
        size = 1 << 20;
    }
    void get_schedule(int& interrogation, int& sync) override {
        interrogation = -1;
        sync = -2;
    }
    void link_down() override {
        std::lock_guard guard(lock_);
        objects_.clear();
        ++downs_;
    }
    void put_single(std::uint16_t ioa, const nx_tm_time&, std::uint8_t siq) override {
        store("single " + std::to_string(ioa) + " " + std::to_string(siq));
    }
    void put_measured(std::uint16_t ioa, const nx_tm_time&, double value,
                      std::uint8_t qds) override {
        store("measured " + std::to_string(ioa) + " " + std::to_string(static_cast<int>(value)) +
              " " + std::to_string(qds));
    }

    // Waits until `count` objects are stored; returns them.
    std::vector<std::string> wait_objects(std::size_t count, int timeout_ms = 5000) {
        std::unique_lock guard(lock_);
        changed_.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                          [&] { return objects_.size() >= count; });
        return objects_;
    }
    int downs() {
        std::lock_guard guard(lock_);
        return downs_;
    }

private:
    void store(const std::string& text) {
        std::lock_guard guard(lock_);
        objects_.push_back(text);
        changed_.notify_all();
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> objects_;
    int downs_ = 0;
};

// A program log in a file of its own, read back as lines without their time stamps.
struct test_log {
    ilktest::temp_dir dir;
    nx_log log;
    test_log() { log.open(dir.path() + "program.log", 1 << 20, 0); }

    std::vector<std::string> lines() const {
        std::istringstream in(from_cp1251(ilktest::read_bytes(dir.path() + "program.log")));
        std::vector<std::string> result;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            // The log opens with a blank separator line.
            if (line.empty())
                continue;
            auto bar = line.find(" | ");
            result.push_back(bar == std::string::npos ? line : line.substr(bar + 3));
        }
        return result;
    }
    int count(const std::string& text) const {
        int n = 0;
        for (const std::string& line : lines())
            n += line == text ? 1 : 0;
        return n;
    }
    bool wait_for(const std::string& text, int timeout_ms = 5000) const {
        auto start = steady::now();
        while (elapsed_ms(start) < timeout_ms) {
            if (count(text) > 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

std::string closed_port_endpoint() {
    tcp_socket listener;
    EXPECT_TRUE(listener.create());
    EXPECT_TRUE(listener.listen("127.0.0.1", 0, 1));
    return "127.0.0.1:" + std::to_string(listener.local_port());
}

} // namespace

TEST(WorkerConnection, InterrogatesStoresAndStopsWithinMilliseconds) {
    kp_sim_process sim({"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "1:10-12=1",
                        "--object", "11:300=-2/01"});
    locked_sink sink;
    sink.log_file = logs_directory() + "104 5 - test.log";
    sink.log_mode = 0x32;
    test_log log;
    nx_m104_act worker;
    EXPECT_FALSE(worker.stop());
    std::string endpoint = "127.0.0.1:" + std::to_string(sim.port());
    ASSERT_TRUE(worker.start(5, endpoint, sink, log.log));
    EXPECT_TRUE(worker.is_running());
    EXPECT_FALSE(worker.start(6, "127.0.0.1:1", sink, log.log));
    EXPECT_EQ(worker.port(), sim.port());
    EXPECT_EQ(worker.log_prefix(), "5: ");

    EXPECT_EQ(sink.wait_objects(4), (std::vector<std::string>{"single 10 1", "single 11 1",
                                                              "single 12 1", "measured 300 -2 1"}));
    auto start = steady::now();
    EXPECT_TRUE(worker.stop());
    EXPECT_LT(elapsed_ms(start), 500);
    EXPECT_FALSE(worker.is_running());
    EXPECT_FALSE(worker.stop());

    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"MES | 5: старт 104 127.0.0.1" + equals_line,
                                        "MES | 5: принудительное завершение соединения",
                                        "MES | 5: стоп 104 127.0.0.1" + dashes_line}));
    EXPECT_EQ(sink.downs(), 2);

    // The protocol log got the same lines and the I-frames as text and dump.
    std::string protocol = from_cp1251(ilktest::read_bytes(sink.log_file));
    EXPECT_NE(protocol.find("5: старт 104 127.0.0.1" + equals_line), std::string::npos);
    EXPECT_NE(protocol.find("<100> Опрос станции (общий) ПР=6,ASDU=5,S=0,V=0"), std::string::npos);
    EXPECT_NE(protocol.find("--> 68 0D 02 00 02 00 01 83 14 05 0A 00 01 01 01"), std::string::npos);
    EXPECT_NE(protocol.find("5: стоп 104"), std::string::npos);
}

TEST(WorkerConnection, RefusedPointIsRetriedOncePerSecondAndStopsInThePause) {
    locked_sink sink;
    test_log log;
    nx_m104_act worker;
    std::string endpoint = closed_port_endpoint();
    auto started = steady::now();
    ASSERT_TRUE(worker.start(3, endpoint, sink, log.log));
    // Three attempts, awaited however busy the machine is; then the stop lands in a pause.
    while (log.lines().size() < 3 && elapsed_ms(started) < 30000)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(elapsed_ms(started), 1900);
    auto start = steady::now();
    EXPECT_TRUE(worker.stop());
    EXPECT_LT(elapsed_ms(start), 200);
    std::string refused =
        "ERR | 3: не удалось создать соединение 127.0.0.1" + last_error_text(ECONNREFUSED);
    EXPECT_EQ(log.lines(), std::vector<std::string>(3, refused));
    EXPECT_EQ(sink.downs(), 0);
}

TEST(WorkerConnection, StopEndsAConnectThatIsNeverAnswered) {
    // A loopback listener with a full accept queue never completes another handshake.
    tcp_socket listener;
    ASSERT_TRUE(listener.create());
    ASSERT_TRUE(listener.listen("127.0.0.1", 0, 0));
    std::vector<tcp_socket> fillers;
    for (int i = 0; i < 16; ++i) {
        tcp_socket s;
        ASSERT_TRUE(s.create());
        if (s.connect("127.0.0.1", listener.local_port(), 200, nullptr) != wait_result::ready)
            break;
        fillers.push_back(std::move(s));
    }
    locked_sink sink;
    test_log log;
    nx_m104_act worker;
    ASSERT_TRUE(
        worker.start(1, "127.0.0.1:" + std::to_string(listener.local_port()), sink, log.log));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto start = steady::now();
    EXPECT_TRUE(worker.stop());
    EXPECT_LT(elapsed_ms(start), 200);
    EXPECT_TRUE(log.lines().empty());
}

TEST(WorkerConnection, EndpointWithoutPortKeepsTheDefault) {
    locked_sink sink;
    test_log log;
    nx_m104_act worker;
    ASSERT_TRUE(worker.start(7, "127.0.0.1:", sink, log.log));
    EXPECT_EQ(worker.host(), "127.0.0.1");
    EXPECT_EQ(worker.port(), 2404);
    EXPECT_TRUE(worker.stop());
    ASSERT_TRUE(worker.start(8, "127.0.0.1", sink, log.log));
    EXPECT_EQ(worker.port(), 2404);
    EXPECT_EQ(worker.log_prefix(), "8: ");
    EXPECT_TRUE(worker.stop());
}

TEST(WorkerFaults, OtherCommonAddressPeerCloseAndWrongStartByte) {
    kp_sim_process sim(
        {"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "1:10=1", "--fault", "ca=7"});
    locked_sink sink;
    test_log log;
    nx_m104_act worker;
    ASSERT_TRUE(worker.start(5, "127.0.0.1:" + std::to_string(sim.port()), sink, log.log));
    ASSERT_EQ(sink.wait_objects(1).size(), 1u);

    ASSERT_TRUE(sim.command("drop"));
    ASSERT_TRUE(log.wait_for("MES | 5: стоп 104 127.0.0.1" + dashes_line));
    // After the pause the worker connects again and the answer to STARTDT has a wrong start byte.
    ASSERT_TRUE(sim.command("fault bad-start"));
    ASSERT_TRUE(log.wait_for("MES | 5: завершение соединения", 4000));
    ASSERT_TRUE(sim.command("fault none"));
    EXPECT_TRUE(worker.stop());

    std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(
        std::vector<std::string>(lines.begin(), lines.begin() + 7),
        (std::vector<std::string>{
            "MES | 5: старт 104 127.0.0.1" + equals_line, "ERR | 5: контроллер разорвал соединение",
            "WAR | 5: реальный адрес КП 7", "MES | 5: стоп 104 127.0.0.1" + dashes_line,
            "MES | 5: старт 104 127.0.0.1" + equals_line, "MES | 5: завершение соединения",
            "MES | 5: стоп 104 127.0.0.1" + dashes_line}));
}

TEST(WorkerFaults, PeerThatGoesMuteIsDroppedAfterT1) {
    kp_sim_process sim({"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "1:10=1"});
    locked_sink sink;
    test_log log;
    nx_m104_act worker;
    nx_m104_settings settings;
    settings.t1 = 600;
    settings.t3 = 300;
    ASSERT_TRUE(
        worker.start(5, "127.0.0.1:" + std::to_string(sim.port()), sink, log.log, settings));
    ASSERT_EQ(sink.wait_objects(1), std::vector<std::string>{"single 10 1"});
    // STARTDT and the interrogation were confirmed; from now on the point answers nothing,
    // yet keeps its socket open.
    ASSERT_TRUE(sim.command("fault silent"));
    auto muted = steady::now();
    ASSERT_TRUE(log.wait_for("MES | 5: стоп 104 127.0.0.1" + dashes_line));
    // One t3 of silence before the test frame, then t1 without its answer.
    EXPECT_GE(elapsed_ms(muted), 850);
    EXPECT_EQ(sink.wait_objects(1, 0), std::vector<std::string>{});
    EXPECT_EQ(sink.downs(), 2);
    ASSERT_TRUE(sim.command("fault none"));
    EXPECT_TRUE(worker.stop());
    std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
              (std::vector<std::string>{"MES | 5: старт 104 127.0.0.1" + equals_line,
                                        "ERR | 5: истек таймаут t1: нет подтверждения от "
                                        "контроллера",
                                        "MES | 5: стоп 104 127.0.0.1" + dashes_line}));
}

TEST(WorkerSocketSync, ConnectSendReceiveAndEveryFailureText) {
    tcp_socket listener;
    ASSERT_TRUE(listener.create());
    ASSERT_TRUE(listener.listen("127.0.0.1", 0, 4));
    std::string endpoint = "127.0.0.1:" + std::to_string(listener.local_port());
    auto failure = [](auto&& action) {
        try {
            action();
        } catch (const nx_exception_sock_sync& e) {
            return std::string(e.what());
        }
        return std::string("no failure");
    };

    nx_socket_sync client;
    client.connect(endpoint, 0, 200);
    EXPECT_EQ(client.host(), "127.0.0.1");
    EXPECT_EQ(failure([&] { client.connect(endpoint, 0, 200); }), "сокет уже открыт");
    ASSERT_EQ(listener.wait_readable(2000, nullptr), wait_result::ready);
    tcp_socket server = listener.accept();

    client.send("GET conf1.ini\r\n");
    char buf[64] = {};
    ASSERT_EQ(server.wait_readable(2000, nullptr), wait_result::ready);
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(server.receive(buf, sizeof buf))),
              "GET conf1.ini\r\n");

    EXPECT_EQ(failure([&] { client.receive(buf, 10, 50); }), "истек таймаут приема 127.0.0.1");
    EXPECT_EQ(failure([&] { client.receive(buf, 10); }), "истек таймаут приема 127.0.0.1");
    server.send_all("abc", 3, 1000, nullptr);
    std::fill(std::begin(buf), std::end(buf), 'x');
    EXPECT_EQ(client.receive(buf, 10, 1000), 3);
    EXPECT_EQ(std::string(buf), "abc");
    server.send_all("0123456789", 10, 1000, nullptr);
    EXPECT_EQ(failure([&] { client.receive(buf, 10, 1000); }), "принят пакет 10 байт");
    server.close();
    EXPECT_EQ(failure([&] { client.receive(buf, 10, 1000); }),
              "сервер разорвал соединение 127.0.0.1");
    client.close();
    EXPECT_FALSE(client.is_open());

    int port = listener.local_port();
    listener.close();
    EXPECT_EQ(failure([&] { client.connect("127.0.0.1", port, 200); }),
              "не удалось создать соединение 127.0.0.1");
    EXPECT_EQ(failure([&] { client.connect(endpoint, 0, 200); }),
              "не удалось создать соединение " + endpoint);
    EXPECT_EQ(failure([&] { client.send("x"); }), "не удалось передать пакет 127.0.0.1");
}
