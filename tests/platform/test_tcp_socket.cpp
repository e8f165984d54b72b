#include "platform/stop_event.h"
#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace nxkit;
using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

namespace {

long elapsed_ms(steady::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(steady::now() - since).count());
}

tcp_socket make_listener(int backlog) {
    tcp_socket listener;
    EXPECT_TRUE(listener.create());
    EXPECT_TRUE(listener.listen("127.0.0.1", 0, backlog)) << listener.error();
    EXPECT_GT(listener.local_port(), 0);
    return listener;
}

// A loopback port whose accept queue is full: further connects hang in the handshake,
// which is what an address that never answers looks like, without leaving this machine.
struct unanswering_port {
    tcp_socket listener = make_listener(0);
    std::vector<tcp_socket> fillers;

    unanswering_port() {
        for (int i = 0; i < 16; ++i) {
            tcp_socket s;
            EXPECT_TRUE(s.create());
            if (s.connect("127.0.0.1", listener.local_port(), 200, nullptr) != wait_result::ready)
                return;
            fillers.push_back(std::move(s));
        }
        ADD_FAILURE() << "the accept queue never filled";
    }
};

} // namespace

TEST(TcpSocketEndpoint, SplitsAtTheLastColon) {
    auto plain = split_endpoint("192.168.0.10", 2404);
    EXPECT_EQ(plain.host, "192.168.0.10");
    EXPECT_EQ(plain.port, 2404);
    auto with_port = split_endpoint("192.168.0.10:2405", 2404);
    EXPECT_EQ(with_port.host, "192.168.0.10");
    EXPECT_EQ(with_port.port, 2405);
    auto empty_port = split_endpoint("10.0.0.5:", 2404);
    EXPECT_EQ(empty_port.host, "10.0.0.5");
    EXPECT_EQ(empty_port.port, 2404);
    auto two = split_endpoint("a:1:2", 10000);
    EXPECT_EQ(two.host, "a:1");
    EXPECT_EQ(two.port, 2);
}

TEST(TcpSocketStopEvent, AutoResetsAndWakesAWaiter) {
    stop_event stop;
    EXPECT_FALSE(stop.take());
    stop.signal();
    stop.signal();
    EXPECT_TRUE(stop.take());
    EXPECT_FALSE(stop.take());

    auto start = steady::now();
    EXPECT_FALSE(stop.wait(50));
    EXPECT_GE(elapsed_ms(start), 50);

    std::thread signaller([&] {
        std::this_thread::sleep_for(50ms);
        stop.signal();
    });
    start = steady::now();
    EXPECT_TRUE(stop.wait(5000));
    EXPECT_LT(elapsed_ms(start), 2000);
    signaller.join();
    EXPECT_FALSE(stop.wait(0));
}

TEST(TcpSocketConnect, ExchangesBytesWithALoopbackListener) {
    tcp_socket listener = make_listener(4);
    tcp_socket client;
    ASSERT_TRUE(client.create());
    ASSERT_EQ(client.connect("127.0.0.1", listener.local_port(), 2000, nullptr),
              wait_result::ready);
    ASSERT_EQ(listener.wait_readable(2000, nullptr), wait_result::ready);
    tcp_socket server = listener.accept();
    ASSERT_TRUE(server.is_open());
    EXPECT_EQ(server.peer_text().rfind("127.0.0.1:", 0), 0u);

    // Nothing there yet: a bounded wait, and a receive that says so.
    char buf[16];
    EXPECT_EQ(server.wait_readable(30, nullptr), wait_result::timed_out);
    EXPECT_EQ(server.error(), ETIMEDOUT);
    EXPECT_EQ(server.receive(buf, sizeof buf), -1);
    EXPECT_EQ(server.error(), EAGAIN);

    const std::string frame("\x68\x04\x07\x00\x00\x00", 6);
    EXPECT_EQ(client.send_all(frame.data(), frame.size(), 1000, nullptr), frame.size());
    ASSERT_EQ(server.wait_readable(2000, nullptr), wait_result::ready);
    long n = server.receive(buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0), frame);

    // A large block goes out whole although the peer reads it only later.
    std::string big(4 << 20, '\x55');
    std::thread reader([&] {
        std::string got;
        char chunk[65536];
        while (got.size() < big.size() &&
               server.wait_readable(5000, nullptr) == wait_result::ready) {
            long r = server.receive(chunk, sizeof chunk);
            if (r <= 0)
                break;
            got.append(chunk, static_cast<std::size_t>(r));
        }
        EXPECT_EQ(got.size(), big.size());
    });
    EXPECT_EQ(client.send_all(big.data(), big.size(), 10000, nullptr), big.size());
    reader.join();

    client.close();
    ASSERT_EQ(server.wait_readable(2000, nullptr), wait_result::ready);
    EXPECT_EQ(server.receive(buf, sizeof buf), 0);
}

TEST(TcpSocketConnect, RefusedPortFailsAtOnce) {
    int port = 0;
    {
        tcp_socket listener = make_listener(1);
        port = listener.local_port();
    }
    tcp_socket client;
    ASSERT_TRUE(client.create());
    auto start = steady::now();
    EXPECT_EQ(client.connect("127.0.0.1", port, 5000, nullptr), wait_result::failed);
    EXPECT_EQ(client.error(), ECONNREFUSED);
    EXPECT_LT(elapsed_ms(start), 2000);

    tcp_socket bad;
    ASSERT_TRUE(bad.create());
    EXPECT_EQ(bad.connect("127.0.0.1", 70000, 100, nullptr), wait_result::failed);
    EXPECT_EQ(bad.error(), EINVAL);
}

TEST(TcpSocketConnect, UnansweredConnectEndsByStopOrTimeOut) {
    unanswering_port port;
    ASSERT_FALSE(port.fillers.empty());

    tcp_socket timed;
    ASSERT_TRUE(timed.create());
    auto start = steady::now();
    EXPECT_EQ(timed.connect("127.0.0.1", port.listener.local_port(), 300, nullptr),
              wait_result::timed_out);
    EXPECT_EQ(timed.error(), ETIMEDOUT);
    EXPECT_GE(elapsed_ms(start), 300);
    EXPECT_LT(elapsed_ms(start), 2000);

    stop_event stop;
    tcp_socket stopped;
    ASSERT_TRUE(stopped.create());
    std::thread stopper([&] {
        std::this_thread::sleep_for(200ms);
        stop.signal();
    });
    start = steady::now();
    EXPECT_EQ(stopped.connect("127.0.0.1", port.listener.local_port(), -1, &stop),
              wait_result::stopped);
    EXPECT_GE(elapsed_ms(start), 150);
    EXPECT_LT(elapsed_ms(start), 2000);
    stopper.join();
    EXPECT_TRUE(stop.take());
}

TEST(TcpSocketConnect, ReadWaitEndsWhenStopped) {
    tcp_socket listener = make_listener(4);
    tcp_socket client;
    ASSERT_TRUE(client.create());
    ASSERT_EQ(client.connect("127.0.0.1", listener.local_port(), 2000, nullptr),
              wait_result::ready);
    stop_event stop;
    stop.signal();
    EXPECT_EQ(client.wait_readable(-1, &stop), wait_result::stopped);
    EXPECT_TRUE(stop.take());
    EXPECT_EQ(client.wait_readable(20, &stop), wait_result::timed_out);
}
