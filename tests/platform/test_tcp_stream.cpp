#include "platform/stop_event.h"
#include "platform/tcp_stream.h"
#include "tests/pki/test_pki.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <future>
#include <vector>
#include <sys/socket.h>
#include <poll.h>
#include <string>
#include <thread>

using namespace nxkit;
using ilktest::test_pki;

namespace {

struct tls_pair : testing::Test {
    ilktest::temp_dir dir;
    test_pki pki{dir.path(), "unit"};
    test_pki::issued server_files = pki.issue("server", "localhost");
    tcp_socket listener;

    tls_pair() {
        EXPECT_TRUE(listener.create());
        EXPECT_TRUE(listener.listen("127.0.0.1", 0, 4));
    }

    std::shared_ptr<tls_context> context(tls_role role, const tls_settings& settings) {
        std::string error;
        auto made = tls_context::create(role, settings, error);
        EXPECT_TRUE(made) << error;
        return made;
    }

    // The server's end, accepted and through its handshake, on a thread of its own.
    std::future<tcp_stream> serve() {
        auto server =
            context(tls_role::server, {{}, server_files.certificate, server_files.key, true, {}});
        return std::async(std::launch::async, [this, server] {
            tcp_socket accepted;
            for (int i = 0; i < 500 && !accepted.is_open(); ++i) {
                listener.wait_readable(10, nullptr);
                accepted = listener.accept();
            }
            tcp_stream stream(std::move(accepted));
            stream.start_tls(server);
            EXPECT_EQ(stream.handshake(5000, nullptr), wait_result::ready) << stream.failure();
            return stream;
        });
    }

    tcp_stream connect(const tls_settings& settings) {
        tcp_socket socket;
        EXPECT_TRUE(socket.create());
        EXPECT_EQ(socket.connect("127.0.0.1", listener.local_port(), 2000, nullptr),
                  wait_result::ready);
        tcp_stream stream(std::move(socket));
        EXPECT_TRUE(stream.start_tls(context(tls_role::client, settings)));
        return stream;
    }
};

using TcpStreamTls = tls_pair;

} // namespace

TEST_F(TcpStreamTls, RecordReadInSmallPiecesStaysReadableAndCloseReadsAsZero) {
    auto server = serve();
    tcp_stream client = connect({pki.ca_file(), {}, {}, true, "localhost"});
    ASSERT_EQ(client.handshake(5000, nullptr), wait_result::ready) << client.failure();
    tcp_stream peer = server.get();
    EXPECT_EQ(client.session_text().rfind("TLSv1.3 TLS_AES_", 0), 0u) << client.session_text();

    std::string sent(3000, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<char>(i * 7);
    ASSERT_EQ(peer.send_all(sent.data(), sent.size(), 2000, nullptr), sent.size());

    // The whole record comes off the socket with the first read; the rest waits decrypted,
    // where poll() cannot see it, and must still count as readable at once.
    std::string received;
    char piece[255];
    ASSERT_EQ(client.wait_readable(2000, nullptr), wait_result::ready);
    while (received.size() < sent.size()) {
        long n = client.receive(piece, sizeof piece);
        ASSERT_GT(n, 0) << client.failure();
        received.append(piece, static_cast<std::size_t>(n));
        if (received.size() < sent.size()) {
            ASSERT_EQ(client.wait_readable(0, nullptr), wait_result::ready) << received.size();
        }
    }
    EXPECT_EQ(received, sent);
    EXPECT_EQ(client.wait_readable(0, nullptr), wait_result::timed_out);

    // The closure alert reads like a plain socket's close.
    peer.close();
    ASSERT_EQ(client.wait_readable(2000, nullptr), wait_result::ready);
    EXPECT_EQ(client.receive(piece, sizeof piece), 0);
    EXPECT_EQ(client.failure(), "");
}

TEST_F(TcpStreamTls, HandshakeWaitsOnTheStopEvent) {
    // Nobody answers the client hello: only the stop ends the wait.
    tcp_stream client = connect({pki.ca_file(), {}, {}, true, "localhost"});
    stop_event stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop.signal();
    });
    EXPECT_EQ(client.handshake(-1, &stop), wait_result::stopped);
    stopper.join();
}

TEST_F(TcpStreamTls, FilesThatCannotBeUsedAreNamed) {
    std::string error;
    std::string missing = dir.path() + "missing.pem";
    EXPECT_FALSE(tls_context::create(tls_role::client, {missing, {}, {}, true, {}}, error));
    EXPECT_EQ(error, "не удалось прочитать файл УЦ '" + missing + "'");
    EXPECT_FALSE(
        tls_context::create(tls_role::client, {pki.ca_file(), missing, {}, true, {}}, error));
    EXPECT_EQ(error, "не удалось прочитать сертификат '" + missing + "'");
    // A certificate is no key.
    EXPECT_FALSE(tls_context::create(
        tls_role::client,
        {pki.ca_file(), server_files.certificate, server_files.certificate, true, {}}, error));
    EXPECT_EQ(error, "не удалось прочитать ключ '" + server_files.certificate + "'");
    EXPECT_FALSE(tls_context::create(tls_role::server, {pki.ca_file(), {}, {}, true, {}}, error));
    EXPECT_EQ(error, "для TLS-сервера нужны сертификат и ключ");
}

TEST_F(TcpStreamTls, KeysFallDueByDataOrTimeAndTls13RenewsThemInTheConnection) {
    auto server = serve();
    tls_settings settings{pki.ca_file(), {}, {}, true, "localhost"};
    settings.key_update_bytes = 100;
    settings.key_update_ms = 60000;
    tcp_stream client = connect(settings);
    ASSERT_EQ(client.handshake(5000, nullptr), wait_result::ready) << client.failure();
    tcp_stream peer = server.get();
    auto now = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.keys_due(now));
    // Octets either way count: 60 sent and 39 received are one short of the limit.
    char piece[64];
    // Reads until `size` octets came, over the records and key updates on the way.
    auto read_exact = [&](tcp_stream& stream, std::size_t size) {
        std::string got;
        while (got.size() < size) {
            if (stream.wait_readable(2000, nullptr) != wait_result::ready)
                break;
            long n = stream.receive(piece, std::min(sizeof piece, size - got.size()));
            if (n < 0 && stream.error() == EAGAIN)
                continue;
            if (n <= 0)
                break;
            got.append(piece, static_cast<std::size_t>(n));
        }
        return got;
    };
    std::string sixty(60, 'a');
    ASSERT_EQ(client.send_all(sixty.data(), sixty.size(), 2000, nullptr), 60u);
    EXPECT_EQ(read_exact(peer, 60), sixty);
    std::string back(40, 'b');
    ASSERT_EQ(peer.send_all(back.data(), back.size(), 2000, nullptr), 40u);
    ASSERT_EQ(client.wait_readable(2000, nullptr), wait_result::ready);
    ASSERT_EQ(client.receive(piece, 39), 39);
    EXPECT_FALSE(client.keys_due(now));
    ASSERT_EQ(client.receive(piece, 1), 1);
    EXPECT_TRUE(client.keys_due(now));
    // An hour later the time is due as well, whatever the data.
    EXPECT_TRUE(client.keys_due(now + std::chrono::minutes(61)));

    // What waits on a socket, not taken off it: the record headers tell what went out.
    auto peek = [](int fd) {
        unsigned char bytes[256];
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 2000);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ssize_t n = ::recv(fd, bytes, sizeof bytes, MSG_PEEK);
        return std::vector<unsigned char>(bytes, bytes + (n > 0 ? n : 0));
    };
    // A KeyUpdate is a 1-octet handshake message: 4 + 1 octets, the content type and the
    // 16-octet tag make 22 octets behind the record header 17 03 03 00 16.
    const std::vector<unsigned char> key_update_header{0x17, 0x03, 0x03, 0x00, 0x16};
    ASSERT_EQ(client.renew_keys(now), tcp_stream::renewal::renewed) << client.failure();
    std::vector<unsigned char> sent = peek(peer.fd());
    ASSERT_EQ(sent.size(), 27u);
    EXPECT_EQ(std::vector<unsigned char>(sent.begin(), sent.begin() + 5), key_update_header);
    EXPECT_EQ(client.key_updates(), 1);
    EXPECT_FALSE(client.keys_due(now));
    EXPECT_FALSE(client.keys_due(now + std::chrono::seconds(59)));
    EXPECT_TRUE(client.keys_due(now + std::chrono::seconds(60)));

    // Data goes on both ways under the new keys: the peer reads the KeyUpdate, renews its own
    // keys as asked and answers with its own KeyUpdate ahead of its data.
    for (int round = 0; round < 3; ++round) {
        std::string ping = "ping " + std::to_string(round);
        ASSERT_EQ(client.send_all(ping.data(), ping.size(), 2000, nullptr), ping.size());
        EXPECT_EQ(read_exact(peer, ping.size()), ping) << peer.failure();
        std::string pong = "pong " + std::to_string(round);
        ASSERT_EQ(peer.send_all(pong.data(), pong.size(), 2000, nullptr), pong.size());
        if (round == 0) {
            // The peer was asked to renew its keys too: its KeyUpdate comes before its data,
            // whose record (6 octets, type, tag) follows.
            std::vector<unsigned char> answer = peek(client.fd());
            ASSERT_EQ(answer.size(), 27u + 28u);
            EXPECT_EQ(std::vector<unsigned char>(answer.begin(), answer.begin() + 5),
                      key_update_header);
            EXPECT_EQ(std::vector<unsigned char>(answer.begin() + 27, answer.begin() + 32),
                      (std::vector<unsigned char>{0x17, 0x03, 0x03, 0x00, 0x17}));
        }
        EXPECT_EQ(read_exact(client, pong.size()), pong) << client.failure();
    }
    EXPECT_EQ(client.failure(), "");
    EXPECT_EQ(peer.failure(), "");
}

TEST_F(TcpStreamTls, Tls12HasNoKeyUpdateAndAsksForANewConnection) {
    std::string error;
    tls_settings server_settings{{}, server_files.certificate, server_files.key, true, {}};
    server_settings.only_tls12 = true;
    auto server_context = tls_context::create(tls_role::server, server_settings, error);
    ASSERT_TRUE(server_context) << error;
    auto server = std::async(std::launch::async, [&] {
        tcp_socket accepted;
        for (int i = 0; i < 500 && !accepted.is_open(); ++i) {
            listener.wait_readable(10, nullptr);
            accepted = listener.accept();
        }
        tcp_stream stream(std::move(accepted));
        stream.start_tls(server_context);
        EXPECT_EQ(stream.handshake(5000, nullptr), wait_result::ready) << stream.failure();
        return stream;
    });
    tcp_stream client = connect({pki.ca_file(), {}, {}, true, "localhost"});
    ASSERT_EQ(client.handshake(5000, nullptr), wait_result::ready) << client.failure();
    tcp_stream peer = server.get();
    EXPECT_EQ(client.session_text().rfind("TLSv1.2 ECDHE-ECDSA-AES", 0), 0u)
        << client.session_text();
    EXPECT_EQ(client.renew_keys(std::chrono::steady_clock::now()), tcp_stream::renewal::reconnect);
    EXPECT_EQ(client.key_updates(), 0);
}
