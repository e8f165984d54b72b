#include "base/cp1251.h"
#include "base/nx_log.h"
#include "telemech/nx_m104_act.h"
#include "tests/pki/test_pki.h"
#include "tests/support/test_support.h"
#include "tests/telemech/kp_sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

using namespace nxkit;
using ilktest::kp_sim_process;
using ilktest::test_pki;
using steady = std::chrono::steady_clock;

namespace {

const std::string equals_line = " ================================================";
const std::string dashes_line = " ------------------------------------------------";

long elapsed_ms(steady::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(steady::now() - since).count());
}

// Counts what the worker stores, under a lock: the worker writes from its own thread.
class counting_sink : public nx_tm_info {
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
    void put_single(std::uint16_t ioa, const nx_tm_time&, std::uint8_t siq) override {
        std::lock_guard guard(lock_);
        objects_.push_back("single " + std::to_string(ioa) + " " + std::to_string(siq));
        changed_.notify_all();
    }
    std::vector<std::string> wait_objects(std::size_t count, int timeout_ms = 5000) {
        std::unique_lock guard(lock_);
        changed_.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                          [&] { return objects_.size() >= count; });
        return objects_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> objects_;
};

// A program log of its own, read back without time stamps.
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
            if (line.empty())
                continue;
            auto bar = line.find(" | ");
            result.push_back(bar == std::string::npos ? line : line.substr(bar + 3));
        }
        return result;
    }
    bool wait_lines(std::size_t count, int timeout_ms = 10000) const {
        auto start = steady::now();
        while (elapsed_ms(start) < timeout_ms) {
            if (lines().size() >= count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

// A station CA, the controlled point's certificates for each case, and a second CA nobody
// trusts; everything made afresh for each test.
struct tls_fixture : testing::Test {
    ilktest::temp_dir dir;
    test_pki station{dir.path(), "station"};
    test_pki stranger{dir.path(), "stranger"};
    test_pki::issued client = station.issue("client", "ilkstation");

    // kp-sim serving one point (common address 5, single point 10) with `server` over TLS;
    // it asks the client for a certificate of the station CA.
    std::vector<std::string> sim_arguments(const test_pki::issued& server) const {
        return {"-v",
                "--endpoint",
                "127.0.0.1:0",
                "--ca",
                "5",
                "--object",
                "1:10=1",
                "--tls-cert",
                server.certificate,
                "--tls-key",
                server.key,
                "--tls-ca",
                station.ca_file()};
    }
    nx_m104_settings settings(bool check_name = true) const {
        nx_m104_settings s;
        s.tls = tls_settings{station.ca_file(), client.certificate, client.key, check_name, {}};
        return s;
    }
};

using WorkerTls = tls_fixture;

// The first attempt's line, then stop in the pause.
std::vector<std::string> first_attempt(const kp_sim_process& sim, const nx_m104_settings& settings,
                                       std::string& failure) {
    counting_sink sink;
    test_log log;
    nx_m104_act worker;
    EXPECT_TRUE(
        worker.start(5, "127.0.0.1:" + std::to_string(sim.port()), sink, log.log, settings));
    EXPECT_TRUE(log.wait_lines(1));
    failure = worker.last_failure();
    EXPECT_TRUE(worker.stop());
    std::vector<std::string> lines = log.lines();
    if (lines.size() > 1)
        lines.resize(1);
    return lines;
}

} // namespace

TEST_F(WorkerTls, GoodCertificateCarriesTheSameFramesAndLinesAsPlainTcp) {
    test_pki::issued server = station.issue("server", "127.0.0.1");
    kp_sim_process tls_sim(sim_arguments(server));
    kp_sim_process plain_sim({"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "1:10=1"});
    ASSERT_TRUE(tls_sim.running());

    // One run each way, with the protocol log on for everything.
    auto run = [&](int port, const nx_m104_settings& settings, const std::string& log_name) {
        counting_sink sink;
        sink.log_file = dir.path() + log_name;
        sink.log_mode = 0x3F;
        test_log log;
        nx_m104_act worker;
        EXPECT_TRUE(worker.start(5, "127.0.0.1:" + std::to_string(port), sink, log.log, settings));
        EXPECT_EQ(sink.wait_objects(1), std::vector<std::string>{"single 10 1"});
        EXPECT_EQ(worker.last_failure(), "");
        EXPECT_TRUE(worker.stop());
        return log.lines();
    };
    std::vector<std::string> over_tls = run(tls_sim.port(), settings(), "tls.log");
    std::vector<std::string> plain = run(plain_sim.port(), nx_m104_settings{}, "plain.log");

    std::vector<std::string> expected{"MES | 5: старт 104 127.0.0.1" + equals_line,
                                      "MES | 5: принудительное завершение соединения",
                                      "MES | 5: стоп 104 127.0.0.1" + dashes_line};
    EXPECT_EQ(over_tls, expected);
    EXPECT_EQ(plain, expected);
    std::string session;
    EXPECT_TRUE(tls_sim.wait_line("127.0.0.1:" + std::to_string(tls_sim.port()) + " #1 tls ", 5000,
                                  &session));
    EXPECT_NE(session.find(" tls TLSv1.3 TLS_AES_"), std::string::npos) << session;

    // The protocol logs hold the same frames, octet for octet, whatever the transport.
    auto frames = [&](const std::string& name) {
        std::istringstream in(from_cp1251(ilktest::read_bytes(dir.path() + name)));
        std::vector<std::string> dumps;
        std::string line;
        while (std::getline(in, line)) {
            for (const char* mark : {"--> ", "<•• "}) {
                auto at = line.find(mark);
                if (at != std::string::npos)
                    dumps.push_back(line.substr(at));
            }
        }
        return dumps;
    };
    std::vector<std::string> tls_frames = frames("tls.log");
    std::vector<std::string> plain_frames = frames("plain.log");
    ASSERT_GE(tls_frames.size(), 4u);
    // Up to the interrogation's answer: later frames depend on when the stop came.
    std::size_t compared = std::min<std::size_t>({tls_frames.size(), plain_frames.size(), 6});
    EXPECT_EQ(std::vector<std::string>(tls_frames.begin(), tls_frames.begin() + compared),
              std::vector<std::string>(plain_frames.begin(), plain_frames.begin() + compared));
}

TEST_F(WorkerTls, EachRefusedCertificateIsNamedInTheLogLine) {
    const std::string refused = "ERR | 5: не удалось создать соединение 127.0.0.1. TLS: ";
    std::string failure;

    test_pki::issued expired = station.issue("expired", "127.0.0.1", -7200, -3600);
    kp_sim_process expired_sim(sim_arguments(expired));
    EXPECT_EQ(first_attempt(expired_sim, settings(), failure),
              std::vector<std::string>{refused + "сертификат просрочен"});
    EXPECT_EQ(failure, "TLS: сертификат просрочен");

    test_pki::issued unknown = stranger.issue("unknown", "127.0.0.1");
    kp_sim_process unknown_sim(sim_arguments(unknown));
    EXPECT_EQ(
        first_attempt(unknown_sim, settings(), failure),
        std::vector<std::string>{refused + "сертификат выдан неизвестным удостоверяющим центром"});
    EXPECT_EQ(failure, "TLS: сертификат выдан неизвестным удостоверяющим центром");

    test_pki::issued other_name = station.issue("other-name", "10.20.30.40");
    kp_sim_process name_sim(sim_arguments(other_name));
    EXPECT_EQ(first_attempt(name_sim, settings(), failure),
              std::vector<std::string>{refused + "имя в сертификате не совпадает с 127.0.0.1"});
    EXPECT_EQ(failure, "TLS: имя в сертификате не совпадает с 127.0.0.1");
    // Without the name check the same certificate is good.
    EXPECT_EQ(first_attempt(name_sim, settings(false), failure),
              std::vector<std::string>{"MES | 5: старт 104 127.0.0.1" + equals_line});
    EXPECT_EQ(failure, "");

    // A station key that does not belong to its certificate never reaches the network.
    nx_m104_settings mismatched = settings();
    mismatched.tls->key = station.issue("other", "ilkstation").key;
    EXPECT_EQ(first_attempt(expired_sim, mismatched, failure),
              std::vector<std::string>{refused + "ключ '" + mismatched.tls->key +
                                       "' не подходит к сертификату '" + client.certificate + "'"});
}

TEST_F(WorkerTls, PointThatRefusesTheStationCertificateIsNamed) {
    test_pki::issued server = station.issue("server", "127.0.0.1");
    kp_sim_process sim(sim_arguments(server));
    nx_m104_settings s = settings();
    test_pki::issued foreign = stranger.issue("foreign-client", "ilkstation");
    s.tls->certificate = foreign.certificate;
    s.tls->key = foreign.key;
    counting_sink sink;
    test_log log;
    nx_m104_act worker;
    ASSERT_TRUE(worker.start(5, "127.0.0.1:" + std::to_string(sim.port()), sink, log.log, s));
    std::string refusal;
    EXPECT_TRUE(sim.wait_line("127.0.0.1:" + std::to_string(sim.port()) + " #1 tls refused: ", 5000,
                              &refusal));
    EXPECT_NE(refusal.find("сертификат выдан неизвестным удостоверяющим центром"),
              std::string::npos)
        << refusal;
    // TLS 1.3 ends the client's handshake before the point has judged its certificate: the
    // refusal arrives as the first record read on the connection.
    ASSERT_TRUE(log.wait_lines(3));
    EXPECT_EQ(worker.last_failure(), "TLS: другая сторона отвергла соединение: сертификат выдан "
                                     "неизвестным удостоверяющим центром");
    EXPECT_TRUE(worker.stop());
    std::vector<std::string> lines = log.lines();
    lines.resize(3);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "MES | 5: старт 104 127.0.0.1" + equals_line,
                         "ERR | 5: ошибка соединения 127.0.0.1. TLS: другая сторона отвергла "
                         "соединение: сертификат выдан неизвестным удостоверяющим центром",
                         "MES | 5: стоп 104 127.0.0.1" + dashes_line}));
}

TEST_F(WorkerTls, SilentPointTimesTheHandshakeOutAndStopEndsItAtOnce) {
    // Accepted by the kernel, never answered: the client hello waits for a server hello.
    tcp_socket listener;
    ASSERT_TRUE(listener.create());
    ASSERT_TRUE(listener.listen("127.0.0.1", 0, 4));
    std::string endpoint = "127.0.0.1:" + std::to_string(listener.local_port());
    counting_sink sink;
    {
        test_log log;
        nx_m104_act worker;
        nx_m104_settings s = settings();
        s.connect_timeout_ms = 300;
        ASSERT_TRUE(worker.start(5, endpoint, sink, log.log, s));
        ASSERT_TRUE(log.wait_lines(1));
        EXPECT_TRUE(worker.stop());
        EXPECT_EQ(log.lines().front(), "ERR | 5: не удалось создать соединение 127.0.0.1. TLS: "
                                       "истёк таймаут установления TLS");
    }
    test_log log;
    nx_m104_act worker;
    ASSERT_TRUE(worker.start(5, endpoint, sink, log.log, settings()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto start = steady::now();
    EXPECT_TRUE(worker.stop());
    EXPECT_LT(elapsed_ms(start), 200);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(WorkerTls, RevocationListsRefuseRevokedCertificatesWithTheReasonNamed) {
    const std::string refused = "ERR | 5: не удалось создать соединение 127.0.0.1. TLS: ";
    const std::string started = "MES | 5: старт 104 127.0.0.1" + equals_line;
    std::string failure;
    test_pki::issued revoked = station.issue("revoked", "127.0.0.1");
    test_pki::issued good = station.issue("server", "127.0.0.1");
    std::string crl = dir.path() + "station.crl";
    station.write_crl(crl, {revoked.certificate});
    nx_m104_settings s = settings();
    s.tls->crl_file = crl;

    kp_sim_process revoked_sim(sim_arguments(revoked));
    EXPECT_EQ(first_attempt(revoked_sim, s, failure),
              std::vector<std::string>{refused + "сертификат отозван"});
    EXPECT_EQ(failure, "TLS: сертификат отозван");
    // The same list lets a certificate it does not name through, the authority's own included.
    kp_sim_process good_sim(sim_arguments(good));
    EXPECT_EQ(first_attempt(good_sim, s, failure), std::vector<std::string>{started});
    EXPECT_EQ(failure, "");

    // A list past its next update, or one from another authority, proves nothing.
    station.write_crl(crl, {}, -60);
    EXPECT_EQ(first_attempt(good_sim, s, failure),
              std::vector<std::string>{refused + "список отзыва устарел"});
    stranger.write_crl(crl, {});
    EXPECT_EQ(first_attempt(good_sim, s, failure),
              std::vector<std::string>{refused +
                                       "нет списка отзыва от удостоверяющего центра сертификата"});
    s.tls->crl_file = dir.path() + "missing.crl";
    EXPECT_EQ(first_attempt(good_sim, s, failure),
              std::vector<std::string>{refused + "не удалось прочитать список отзыва '" +
                                       s.tls->crl_file + "'"});

    // The point's own list names the station's certificate.
    std::string point_crl = dir.path() + "point.crl";
    station.write_crl(point_crl, {client.certificate});
    std::vector<std::string> arguments = sim_arguments(good);
    arguments.insert(arguments.end(), {"--tls-crl", point_crl});
    kp_sim_process strict_sim(arguments);
    counting_sink sink;
    test_log log;
    nx_m104_act worker;
    ASSERT_TRUE(worker.start(5, "127.0.0.1:" + std::to_string(strict_sim.port()), sink, log.log,
                             settings()));
    std::string refusal;
    EXPECT_TRUE(strict_sim.wait_line(
        "127.0.0.1:" + std::to_string(strict_sim.port()) + " #1 tls refused: ", 5000, &refusal));
    EXPECT_NE(refusal.find("сертификат отозван"), std::string::npos) << refusal;
    ASSERT_TRUE(log.wait_lines(2));
    EXPECT_TRUE(worker.stop());
    EXPECT_EQ(log.lines()[1], "ERR | 5: ошибка соединения 127.0.0.1. TLS: другая сторона "
                              "отвергла соединение: сертификат отозван");
}

TEST_F(WorkerTls, SessionKeysAreRenewedAndTheDataGoesOn) {
    test_pki::issued server = station.issue("server", "127.0.0.1");
    std::vector<std::string> arguments = sim_arguments(server);
    // Twenty points changing every 10 ms: frames both ways all the time. No -v: nobody reads
    // the frames it would print.
    ASSERT_EQ(arguments[0], "-v");
    arguments.erase(arguments.begin());
    arguments[5] = "1:1-20=0";
    arguments.insert(arguments.end(), {"--period", "10"});
    kp_sim_process sim(arguments);
    ASSERT_TRUE(sim.running());
    auto run = [&](nx_m104_settings s) {
        counting_sink sink;
        test_log log;
        nx_m104_act worker;
        EXPECT_TRUE(worker.start(5, "127.0.0.1:" + std::to_string(sim.port()), sink, log.log, s));
        EXPECT_GE(sink.wait_objects(150, 15000).size(), 150u);
        EXPECT_EQ(worker.last_failure(), "");
        EXPECT_TRUE(worker.stop());
        return log.lines();
    };
    auto count = [](const std::vector<std::string>& lines, const std::string& text) {
        return std::count(lines.begin(), lines.end(), text);
    };
    const std::string renewed = "MES | 5: TLS: ключи сеанса обновлены";

    // By the amount of data: about every tenth frame.
    nx_m104_settings by_data = settings();
    by_data.tls->key_update_bytes = 200;
    by_data.tls->key_update_ms = 0;
    std::vector<std::string> lines = run(by_data);
    EXPECT_GE(count(lines, renewed), 10) << lines.size();
    // One connection all along: no error, no second start.
    EXPECT_EQ(count(lines, "MES | 5: старт 104 127.0.0.1" + equals_line), 1);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("ERR", 0) == 0; }),
              0);

    // By time.
    nx_m104_settings by_time = settings();
    by_time.tls->key_update_bytes = 0;
    by_time.tls->key_update_ms = 200;
    lines = run(by_time);
    EXPECT_GE(count(lines, renewed), 3);
    EXPECT_EQ(count(lines, "MES | 5: старт 104 127.0.0.1" + equals_line), 1);

    // Neither: the keys of the handshake serve the whole connection.
    nx_m104_settings never = settings();
    never.tls->key_update_bytes = 0;
    never.tls->key_update_ms = 0;
    EXPECT_EQ(count(run(never), renewed), 0);
}

TEST_F(WorkerTls, PointWithTls12ConnectsAnewWhenItsKeysAreDue) {
    test_pki::issued server = station.issue("server", "127.0.0.1");
    std::vector<std::string> arguments = sim_arguments(server);
    arguments.insert(arguments.end(), {"--tls-max", "1.2"});
    kp_sim_process sim(arguments);
    ASSERT_TRUE(sim.running());
    nx_m104_settings s = settings();
    s.tls->key_update_ms = 300;
    s.reconnect_ms = 50;
    counting_sink sink;
    test_log log;
    nx_m104_act worker;
    ASSERT_TRUE(worker.start(5, "127.0.0.1:" + std::to_string(sim.port()), sink, log.log, s));
    ASSERT_TRUE(log.wait_lines(4, 5000));
    EXPECT_TRUE(worker.stop());
    std::vector<std::string> lines = log.lines();
    lines.resize(4);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "MES | 5: старт 104 127.0.0.1" + equals_line,
                         "MES | 5: TLS 1.2: срок ключей сеанса истек, соединение заново",
                         "MES | 5: стоп 104 127.0.0.1" + dashes_line,
                         "MES | 5: старт 104 127.0.0.1" + equals_line}));
    // Each connection's interrogation brought the point in.
    EXPECT_GE(sink.wait_objects(2).size(), 2u);
    std::string session;
    EXPECT_TRUE(
        sim.wait_line("127.0.0.1:" + std::to_string(sim.port()) + " #1 tls ", 5000, &session));
    EXPECT_NE(session.find(" tls TLSv1.2 ECDHE-"), std::string::npos) << session;
}
