#include "platform/stop_event.h"
#include "platform/tcp_stream.h"
#include "tests/pki/test_pki.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <future>
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
