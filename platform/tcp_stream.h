#pragma once

#include "platform/tcp_socket.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

// OpenSSL's own types, so that this header does not pull OpenSSL into every user.
struct ssl_ctx_st;
struct ssl_st;

namespace nxkit {

// What one end of a TLS link uses. File names are PEM files; relative names are the caller's
// business (the device resolves them against the station folder).
struct tls_settings {
    // The authorities whose certificates are trusted for the other end.
    std::string ca_file;
    // This end's certificate (a chain may follow it in the file) and its private key.
    std::string certificate;
    std::string key;
    // Client: the peer's certificate must name peer_name (a DNS name or an IPv4 address).
    // Server: a client certificate is asked for and must be valid when a CA file is given.
    bool check_name = true;
    std::string peer_name;
    // Certificate revocation lists (PEM, one or more) of the CA file's authorities; when
    // given, every certificate of the peer's chain must be on a list's issuer's watch and not
    // revoked.
    std::string crl_file{};
    // New session keys after this long or this many octets either way, whichever comes first
    // (0: not by that measure). TLS 1.3 updates the keys in the running connection; TLS 1.2,
    // where renegotiation is off, has to connect anew.
    long long key_update_ms = 60LL * 60 * 1000;
    long long key_update_bytes = 100LL * 1024 * 1024;
    // The highest version offered or accepted is TLS 1.2 (a peer that has no TLS 1.3).
    bool only_tls12 = false;
};

enum class tls_role { client, server };

// The TLS library state of one end: TLS 1.2 and 1.3 only, AES-GCM cipher suites with forward
// secrecy (the IEC 62351-3 defaults), no renegotiation, no compression, no session tickets.
class tls_context {
public:
    // Null with the reason in `error` when a file cannot be read or the key does not belong to
    // the certificate.
    static std::shared_ptr<tls_context> create(tls_role role, const tls_settings& settings,
                                               std::string& error);
    ~tls_context();
    tls_context(const tls_context&) = delete;
    tls_context& operator=(const tls_context&) = delete;

    tls_role role() const { return role_; }
    const tls_settings& settings() const { return settings_; }
    ssl_ctx_st* handle() const { return ctx_; }

private:
    tls_context(tls_role role, tls_settings settings, ssl_ctx_st* ctx)
        : role_(role), settings_(std::move(settings)), ctx_(ctx) {}

    tls_role role_;
    tls_settings settings_;
    ssl_ctx_st* ctx_;
};

// A connected stream: the socket as it is, or TLS over it once start_tls and the handshake
// are through. Its operations keep the meanings of tcp_socket's, so a worker written for one
// serves both. On a TLS failure failure() says why in the operator's words.
class tcp_stream {
public:
    tcp_stream() = default;
    explicit tcp_stream(tcp_socket socket) : socket_(std::move(socket)) {}
    ~tcp_stream();
    tcp_stream(tcp_stream&& other) noexcept;
    tcp_stream& operator=(tcp_stream&& other) noexcept;
    tcp_stream(const tcp_stream&) = delete;
    tcp_stream& operator=(const tcp_stream&) = delete;

    // Puts TLS on the connected socket; the handshake follows. False (with failure()) when the
    // library refuses.
    bool start_tls(std::shared_ptr<tls_context> context);

    // Drives the handshake to its end, waiting on the socket and the stop event, bounded by
    // timeout_ms. failed and timed_out leave the reason in failure().
    wait_result handshake(int timeout_ms, const stop_event* stop);

    // One step of the handshake for a poll() loop that serves many streams.
    enum class step { done, want_read, want_write, failed };
    step handshake_step();

    bool secured() const { return ssl_ != nullptr; }
    bool handshake_done() const { return handshake_done_; }
    // "TLSv1.3 TLS_AES_128_GCM_SHA256" once the handshake is through; empty otherwise.
    std::string session_text() const;
    const std::string& failure() const { return failure_; }

    // As tcp_socket's.
    std::size_t send_all(const void* data, std::size_t size, int timeout_ms,
                         const stop_event* stop);
    wait_result wait_readable(int timeout_ms, const stop_event* stop);
    long receive(void* buffer, std::size_t capacity);

    // Octets waiting in the stream (decrypted, or whole records read ahead), which poll() on
    // the socket cannot see.
    bool has_buffered() const;
    // Events to poll for on fd(): the handshake or a blocked TLS record may need the other
    // direction.
    short poll_events(bool want_write) const;

    // The session keys have served their time or their amount of data.
    bool keys_due(std::chrono::steady_clock::time_point now) const;
    enum class renewal { renewed, reconnect, failed };
    // TLS 1.3: sends a KeyUpdate that asks the peer to renew its keys too. TLS 1.2: reconnect,
    // the caller ends the connection. failed leaves the reason in failure().
    renewal renew_keys(std::chrono::steady_clock::time_point now);
    int key_updates() const { return key_updates_; }

    // Sends the TLS closure alert when it fits without waiting, then closes the socket.
    void close();
    bool is_open() const { return socket_.is_open(); }
    int fd() const { return socket_.fd(); }
    int error() const { return error_ != 0 ? error_ : socket_.error(); }
    tcp_socket& socket() { return socket_; }

private:
    void free_ssl();
    // What an SSL call's result means (SSL_get_error's code); fills failure_, error_ and
    // closed_ on a failure.
    int classify(int result);
    void explain_refusal();

    tcp_socket socket_;
    std::shared_ptr<tls_context> context_;
    ssl_st* ssl_ = nullptr;
    bool handshake_done_ = false;
    bool want_write_ = false;
    // The last failure was the peer's close (with or without the closure alert).
    bool closed_ = false;
    // The last read found only part of a record: the rest must come from the socket.
    bool starved_ = false;
    std::string failure_;
    int error_ = 0;
    // Since the handshake or the last key update.
    std::chrono::steady_clock::time_point keys_since_{};
    long long key_bytes_ = 0;
    int key_updates_ = 0;
};

} // namespace nxkit
