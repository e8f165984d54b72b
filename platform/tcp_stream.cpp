#include "platform/tcp_stream.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <utility>

namespace nxkit {

namespace {

using steady = std::chrono::steady_clock;

// IEC 62351-3: TLS 1.2 with ECDHE and AES-GCM, TLS 1.3 with its AES-GCM suites.
constexpr const char* tls12_suites = "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                                     "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384";
constexpr const char* tls13_suites = "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384";

// Clearing the error queue costs more than a small record's decryption; it is only needed
// when an earlier call left something in it.
void clear_errors() {
    if (ERR_peek_error() != 0)
        ERR_clear_error();
}

int remaining_ms(steady::time_point deadline) {
    auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady::now());
    return rest.count() < 0 ? 0 : static_cast<int>(rest.count());
}

// OpenSSL's socket BIO writes with write(), which raises SIGPIPE on a closed connection; this
// one sends with MSG_NOSIGNAL so a peer that goes away cannot end the process.
int bio_write(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    for (;;) {
        ssize_t n = ::send(static_cast<int>(BIO_get_fd(bio, nullptr)), data,
                           static_cast<std::size_t>(size), MSG_NOSIGNAL);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_write(bio);
        return -1;
    }
}

int bio_read(BIO* bio, char* data, int size) {
    BIO_clear_retry_flags(bio);
    for (;;) {
        ssize_t n = ::recv(static_cast<int>(BIO_get_fd(bio, nullptr)), data,
                           static_cast<std::size_t>(size), 0);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_read(bio);
        return -1;
    }
}

int bio_puts(BIO* bio, const char* text) {
    return bio_write(bio, text, static_cast<int>(std::char_traits<char>::length(text)));
}

// The socket BIO's control and life cycle serve as they are; only the data paths differ.
const BIO_METHOD* nosignal_socket_method() {
    static const BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_TYPE_SOCKET, "socket without SIGPIPE");
        const BIO_METHOD* base = BIO_s_socket();
        BIO_meth_set_write(m, bio_write);
        BIO_meth_set_read(m, bio_read);
        BIO_meth_set_puts(m, bio_puts);
        BIO_meth_set_ctrl(m, BIO_meth_get_ctrl(base));
        BIO_meth_set_create(m, BIO_meth_get_create(base));
        BIO_meth_set_destroy(m, BIO_meth_get_destroy(base));
        return m;
    }();
    return method;
}

std::string verify_text(long result, const std::string& peer_name) {
    switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "сертификат просрочен";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "сертификат ещё не действителен";
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return "сертификат выдан неизвестным удостоверяющим центром";
    case X509_V_ERR_CERT_REVOKED:
        return "сертификат отозван";
    case X509_V_ERR_UNABLE_TO_GET_CRL:
        return "нет списка отзыва от удостоверяющего центра сертификата";
    case X509_V_ERR_CRL_HAS_EXPIRED:
        return "список отзыва устарел";
    case X509_V_ERR_CRL_NOT_YET_VALID:
        return "список отзыва ещё не действителен";
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
        return "список отзыва не подписан удостоверяющим центром";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "имя в сертификате не совпадает с " + peer_name;
    default:
        return std::string("сертификат не принят: ") + X509_verify_cert_error_string(result);
    }
}

// The other end's alert, in the operator's words where one is known.
std::string alert_text(int reason) {
    switch (reason) {
    case SSL_R_SSLV3_ALERT_CERTIFICATE_EXPIRED:
        return "сертификат просрочен";
    case SSL_R_TLSV1_ALERT_UNKNOWN_CA:
        return "сертификат выдан неизвестным удостоверяющим центром";
    case SSL_R_SSLV3_ALERT_CERTIFICATE_REVOKED:
        return "сертификат отозван";
    case SSL_R_SSLV3_ALERT_BAD_CERTIFICATE:
    case SSL_R_SSLV3_ALERT_CERTIFICATE_UNKNOWN:
        return "сертификат не принят";
    case SSL_R_TLSV13_ALERT_CERTIFICATE_REQUIRED:
        return "нужен сертификат";
    case SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE:
    case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
        return "нет общей версии TLS или набора шифров";
    default: {
        const char* text = ERR_reason_error_string(ERR_PACK(ERR_LIB_SSL, 0, reason));
        return text != nullptr ? text : "отказ " + std::to_string(reason);
    }
    }
}

bool key_mismatch() {
    unsigned long e;
    while ((e = ERR_get_error()) != 0)
        if (ERR_GET_LIB(e) == ERR_LIB_X509 && ERR_GET_REASON(e) == X509_R_KEY_VALUES_MISMATCH)
            return true;
    return false;
}

bool is_alert(int reason) {
    return reason >= SSL_AD_REASON_OFFSET && reason < SSL_AD_REASON_OFFSET + 256;
}

} // namespace

std::shared_ptr<tls_context> tls_context::create(tls_role role, const tls_settings& settings,
                                                 std::string& error) {
    ERR_clear_error();
    SSL_CTX* ctx =
        SSL_CTX_new(role == tls_role::client ? TLS_client_method() : TLS_server_method());
    if (ctx == nullptr) {
        error = "библиотека TLS не создала контекст";
        return nullptr;
    }
    std::shared_ptr<tls_context> context(new tls_context(role, settings, ctx));
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(ctx, settings.only_tls12 ? TLS1_2_VERSION : TLS1_3_VERSION);
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION | SSL_OP_NO_TICKET |
                                 SSL_OP_CIPHER_SERVER_PREFERENCE);
    SSL_CTX_set_num_tickets(ctx, 0);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // A record's header and body in one read instead of two.
    SSL_CTX_set_read_ahead(ctx, 1);
    if (SSL_CTX_set_cipher_list(ctx, tls12_suites) != 1 ||
        SSL_CTX_set_ciphersuites(ctx, tls13_suites) != 1) {
        error = "библиотека TLS не знает наборов шифров IEC 62351-3";
        return nullptr;
    }
    if (!settings.ca_file.empty()) {
        if (SSL_CTX_load_verify_locations(ctx, settings.ca_file.c_str(), nullptr) != 1) {
            error = "не удалось прочитать файл УЦ '" + settings.ca_file + "'";
            return nullptr;
        }
    } else if (role == tls_role::client) {
        SSL_CTX_set_default_verify_paths(ctx);
    }
    if (!settings.crl_file.empty()) {
        // The whole chain is checked: a revoked intermediate authority refuses as well.
        X509_STORE* store = SSL_CTX_get_cert_store(ctx);
        X509_LOOKUP* lookup = X509_STORE_add_lookup(store, X509_LOOKUP_file());
        if (lookup == nullptr ||
            X509_load_crl_file(lookup, settings.crl_file.c_str(), X509_FILETYPE_PEM) <= 0) {
            error = "не удалось прочитать список отзыва '" + settings.crl_file + "'";
            return nullptr;
        }
        X509_STORE_set_flags(store, X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL);
    }
    if (!settings.certificate.empty() &&
        SSL_CTX_use_certificate_chain_file(ctx, settings.certificate.c_str()) != 1) {
        error = "не удалось прочитать сертификат '" + settings.certificate + "'";
        return nullptr;
    }
    if (!settings.key.empty()) {
        // The library compares the key with the certificate as it loads it.
        if (SSL_CTX_use_PrivateKey_file(ctx, settings.key.c_str(), SSL_FILETYPE_PEM) != 1 &&
            !key_mismatch()) {
            error = "не удалось прочитать ключ '" + settings.key + "'";
            return nullptr;
        }
        if (SSL_CTX_check_private_key(ctx) != 1) {
            error = "ключ '" + settings.key + "' не подходит к сертификату '" +
                    settings.certificate + "'";
            return nullptr;
        }
    }
    if (role == tls_role::server) {
        if (settings.certificate.empty() || settings.key.empty()) {
            error = "для TLS-сервера нужны сертификат и ключ";
            return nullptr;
        }
        // With a CA file the server authenticates its clients too, as IEC 62351-3 asks.
        if (!settings.ca_file.empty()) {
            SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
            if (STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(settings.ca_file.c_str()))
                SSL_CTX_set_client_CA_list(ctx, names);
        }
    } else {
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    }
    ERR_clear_error();
    return context;
}

tls_context::~tls_context() {
    SSL_CTX_free(ctx_);
}

tcp_stream::~tcp_stream() {
    close();
}

tcp_stream::tcp_stream(tcp_stream&& other) noexcept
    : socket_(std::move(other.socket_)), context_(std::move(other.context_)),
      ssl_(std::exchange(other.ssl_, nullptr)), handshake_done_(other.handshake_done_),
      want_write_(other.want_write_), closed_(other.closed_), starved_(other.starved_),
      failure_(std::move(other.failure_)), error_(other.error_), keys_since_(other.keys_since_),
      key_bytes_(other.key_bytes_), key_updates_(other.key_updates_) {}

tcp_stream& tcp_stream::operator=(tcp_stream&& other) noexcept {
    if (this != &other) {
        close();
        socket_ = std::move(other.socket_);
        context_ = std::move(other.context_);
        ssl_ = std::exchange(other.ssl_, nullptr);
        handshake_done_ = other.handshake_done_;
        want_write_ = other.want_write_;
        closed_ = other.closed_;
        starved_ = other.starved_;
        failure_ = std::move(other.failure_);
        error_ = other.error_;
        keys_since_ = other.keys_since_;
        key_bytes_ = other.key_bytes_;
        key_updates_ = other.key_updates_;
    }
    return *this;
}

void tcp_stream::free_ssl() {
    if (ssl_ != nullptr)
        SSL_free(ssl_);
    ssl_ = nullptr;
    handshake_done_ = false;
    want_write_ = false;
    starved_ = false;
}

void tcp_stream::close() {
    if (ssl_ != nullptr && handshake_done_ && socket_.is_open()) {
        // The closure alert, when the socket takes it now; nothing is waited for.
        ERR_clear_error();
        SSL_shutdown(ssl_);
        ERR_clear_error();
    }
    free_ssl();
    socket_.close();
}

bool tcp_stream::start_tls(std::shared_ptr<tls_context> context) {
    free_ssl();
    failure_.clear();
    ERR_clear_error();
    context_ = std::move(context);
    ssl_ = SSL_new(context_->handle());
    BIO* bio = ssl_ != nullptr ? BIO_new(nosignal_socket_method()) : nullptr;
    if (bio == nullptr) {
        free_ssl();
        failure_ = "библиотека TLS не создала соединение";
        return false;
    }
    BIO_set_fd(bio, socket_.fd(), BIO_NOCLOSE);
    SSL_set_bio(ssl_, bio, bio);
    const tls_settings& settings = context_->settings();
    if (context_->role() == tls_role::server) {
        SSL_set_accept_state(ssl_);
        return true;
    }
    SSL_set_connect_state(ssl_);
    if (settings.check_name && !settings.peer_name.empty()) {
        X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        in_addr address{};
        bool is_address = ::inet_pton(AF_INET, settings.peer_name.c_str(), &address) == 1;
        int set = is_address ? X509_VERIFY_PARAM_set1_ip_asc(param, settings.peer_name.c_str())
                             : SSL_set1_host(ssl_, settings.peer_name.c_str());
        // The server name indication carries names only, never addresses.
        if (!is_address)
            SSL_set_tlsext_host_name(ssl_, settings.peer_name.c_str());
        if (set != 1) {
            free_ssl();
            failure_ = "недопустимое имя для проверки: " + settings.peer_name;
            return false;
        }
    }
    return true;
}

int tcp_stream::classify(int result) {
    closed_ = false;
    int code = SSL_get_error(ssl_, result);
    if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) {
        clear_errors();
        return code;
    }
    unsigned long e = ERR_peek_error();
    int reason = e != 0 && ERR_GET_LIB(e) == ERR_LIB_SSL ? ERR_GET_REASON(e) : 0;
    long verify = SSL_get_verify_result(ssl_);
    std::string peer_name = context_ ? context_->settings().peer_name : std::string();
    if (reason == SSL_R_CERTIFICATE_VERIFY_FAILED && verify != X509_V_OK) {
        failure_ = verify_text(verify, peer_name);
    } else if (reason == SSL_R_PEER_DID_NOT_RETURN_A_CERTIFICATE) {
        failure_ = "другая сторона не предъявила сертификат";
    } else if (is_alert(reason)) {
        failure_ = "другая сторона отвергла соединение: " + alert_text(reason);
    } else if (reason == SSL_R_NO_SHARED_CIPHER || reason == SSL_R_UNSUPPORTED_PROTOCOL ||
               reason == SSL_R_NO_PROTOCOLS_AVAILABLE) {
        failure_ = "нет общей версии TLS или набора шифров";
    } else if (reason == SSL_R_WRONG_VERSION_NUMBER) {
        failure_ = "другая сторона не отвечает по TLS";
    } else if (code == SSL_ERROR_ZERO_RETURN || reason == SSL_R_UNEXPECTED_EOF_WHILE_READING ||
               (code == SSL_ERROR_SYSCALL && e == 0)) {
        closed_ = true;
        failure_ = "соединение разорвано";
    } else if (e != 0) {
        const char* text = ERR_reason_error_string(e);
        failure_ = std::string("ошибка TLS: ") + (text != nullptr ? text : "?");
    } else {
        failure_ = "ошибка TLS";
    }
    if (code == SSL_ERROR_SYSCALL && errno != 0)
        error_ = errno;
    else
        error_ = EPROTO;
    ERR_clear_error();
    return code;
}

tcp_stream::step tcp_stream::handshake_step() {
    if (ssl_ == nullptr)
        return step::failed;
    if (handshake_done_)
        return step::done;
    ERR_clear_error();
    errno = 0;
    int result = SSL_do_handshake(ssl_);
    if (result == 1) {
        handshake_done_ = true;
        keys_since_ = steady::now();
        key_bytes_ = 0;
        return step::done;
    }
    int code = classify(result);
    if (code == SSL_ERROR_WANT_READ)
        return step::want_read;
    if (code == SSL_ERROR_WANT_WRITE)
        return step::want_write;
    if (closed_)
        failure_ = "соединение разорвано при установлении TLS";
    return step::failed;
}

wait_result tcp_stream::handshake(int timeout_ms, const stop_event* stop) {
    auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        step s = handshake_step();
        if (s == step::done)
            return wait_result::ready;
        if (s == step::failed)
            return wait_result::failed;
        int left = timeout_ms < 0 ? -1 : remaining_ms(deadline);
        wait_result waited =
            left == 0 ? wait_result::timed_out
                      : socket_.wait_for(s == step::want_read ? POLLIN : POLLOUT, left, stop);
        if (waited == wait_result::timed_out) {
            failure_ = "истёк таймаут установления TLS";
            error_ = ETIMEDOUT;
            return waited;
        }
        if (waited == wait_result::failed) {
            failure_ = "ошибка ожидания при установлении TLS";
            error_ = socket_.error();
            return waited;
        }
        if (waited == wait_result::stopped)
            return waited;
    }
}

std::string tcp_stream::session_text() const {
    if (ssl_ == nullptr || !handshake_done_)
        return {};
    return std::string(SSL_get_version(ssl_)) + " " + SSL_get_cipher_name(ssl_);
}

std::size_t tcp_stream::send_all(const void* data, std::size_t size, int timeout_ms,
                                 const stop_event* stop) {
    error_ = 0;
    if (ssl_ == nullptr)
        return socket_.send_all(data, size, timeout_ms, stop);
    auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    const char* bytes = static_cast<const char*>(data);
    std::size_t sent = 0;
    while (sent < size) {
        clear_errors();
        errno = 0;
        int part = static_cast<int>(std::min<std::size_t>(size - sent, INT_MAX));
        int n = SSL_write(ssl_, bytes + sent, part);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            key_bytes_ += n;
            continue;
        }
        int code = classify(n);
        if (code != SSL_ERROR_WANT_READ && code != SSL_ERROR_WANT_WRITE) {
            explain_refusal();
            break;
        }
        int left = timeout_ms < 0 ? -1 : remaining_ms(deadline);
        if (left == 0 && timeout_ms >= 0) {
            error_ = ETIMEDOUT;
            break;
        }
        wait_result waited =
            socket_.wait_for(code == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, left, stop);
        if (waited != wait_result::ready) {
            error_ = socket_.error();
            break;
        }
    }
    return sent;
}

void tcp_stream::explain_refusal() {
    // A peer that refuses this end's certificate after a TLS 1.3 handshake sends its alert
    // and closes; a write that meets the close fails without saying why, so the alert, when
    // it is still to be read, names the reason.
    if (!closed_ && error_ != EPIPE && error_ != ECONNRESET)
        return;
    std::string plain_failure = failure_;
    int plain_error = error_;
    char scratch[512];
    ERR_clear_error();
    int n = SSL_read(ssl_, scratch, sizeof scratch);
    unsigned long e = ERR_peek_error();
    if (n <= 0 && e != 0 && ERR_GET_LIB(e) == ERR_LIB_SSL && is_alert(ERR_GET_REASON(e))) {
        classify(n);
        error_ = plain_error;
        return;
    }
    ERR_clear_error();
    // A close is a close: the caller's own words for it serve.
    failure_ = closed_ ? std::string() : plain_failure;
    error_ = plain_error;
}

bool tcp_stream::has_buffered() const {
    if (ssl_ == nullptr)
        return false;
    // Decrypted octets, or whole records read ahead; a record still incomplete waits for the
    // socket instead.
    return SSL_pending(ssl_) > 0 || (!starved_ && SSL_has_pending(ssl_) == 1);
}

short tcp_stream::poll_events(bool want_write) const {
    short events = POLLIN;
    if (want_write || want_write_)
        events |= POLLOUT;
    return events;
}

wait_result tcp_stream::wait_readable(int timeout_ms, const stop_event* stop) {
    error_ = 0;
    // Octets already decrypted are not on the socket any more: poll() would sleep on them.
    if (has_buffered())
        return wait_result::ready;
    return socket_.wait_for(poll_events(false), timeout_ms, stop);
}

long tcp_stream::receive(void* buffer, std::size_t capacity) {
    error_ = 0;
    if (ssl_ == nullptr)
        return socket_.receive(buffer, capacity);
    want_write_ = false;
    // The queue is empty here: every failure below and in the handshake clears it.
    errno = 0;
    int n = SSL_read(ssl_, buffer, static_cast<int>(std::min<std::size_t>(capacity, INT_MAX)));
    if (n > 0) {
        starved_ = false;
        key_bytes_ += n;
        return n;
    }
    int code = classify(n);
    if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) {
        // A partial record, or a record to send first: nothing for the caller yet.
        want_write_ = code == SSL_ERROR_WANT_WRITE;
        starved_ = true;
        error_ = EAGAIN;
        return -1;
    }
    // A closure alert or a close without one reads as the peer's close, as on a plain socket.
    if (closed_) {
        failure_.clear();
        error_ = 0;
        return 0;
    }
    return -1;
}

bool tcp_stream::keys_due(steady::time_point now) const {
    if (ssl_ == nullptr || !handshake_done_ || !context_)
        return false;
    const tls_settings& settings = context_->settings();
    return (settings.key_update_bytes > 0 && key_bytes_ >= settings.key_update_bytes) ||
           (settings.key_update_ms > 0 &&
            now - keys_since_ >= std::chrono::milliseconds(settings.key_update_ms));
}

tcp_stream::renewal tcp_stream::renew_keys(steady::time_point now) {
    if (ssl_ == nullptr || !handshake_done_)
        return renewal::failed;
    if (SSL_version(ssl_) != TLS1_3_VERSION)
        return renewal::reconnect;
    ERR_clear_error();
    errno = 0;
    if (SSL_key_update(ssl_, SSL_KEY_UPDATE_REQUESTED) != 1) {
        classify(0);
        return renewal::failed;
    }
    // The KeyUpdate goes out now; a full socket keeps it for the next write, which sends it
    // before any data under the new keys.
    int result = SSL_do_handshake(ssl_);
    if (result != 1) {
        int code = classify(result);
        if (code != SSL_ERROR_WANT_READ && code != SSL_ERROR_WANT_WRITE)
            return renewal::failed;
    }
    keys_since_ = now;
    key_bytes_ = 0;
    ++key_updates_;
    return renewal::renewed;
}

} // namespace nxkit
