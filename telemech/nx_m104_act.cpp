#include "telemech/nx_m104_act.h"

#include "base/last_error.h"
#include "platform/system_error.h"
#include "platform/tcp_socket.h"
#include "telemech/nx_mAPDU_act.h"

#include <cerrno>
#include <chrono>

namespace nxkit {

namespace {

tm_ms steady_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

enum class kind { err, war, mes };

} // namespace

nx_m104_act::~nx_m104_act() {
    stop();
}

bool nx_m104_act::start(std::uint16_t address, const std::string& endpoint, nx_tm_info& sink,
                        nx_log& log, nx_m104_settings settings) {
    if (is_running())
        return false;
    endpoint_parts parts = split_endpoint(endpoint, default_port);
    host_ = parts.host;
    port_ = parts.port;
    prefix_ = std::to_string(address) + ": ";
    sink_ = &sink;
    address_ = address;
    log_ = &log;
    settings_ = std::move(settings);
    if (!settings_.clock)
        settings_.clock = steady_ms;
    // A fresh event: a stop meant for an earlier worker cannot end this one, and a stop that
    // comes before the thread runs is not lost.
    state_ = std::make_shared<shared>();
    thread_ = std::thread(&nx_m104_act::run, this, state_);
    return true;
}

bool nx_m104_act::stop() {
    if (!is_running())
        return false;
    state_->stop.signal();
    std::unique_lock guard(state_->lock);
    bool ended = state_->ended_signal.wait_for(
        guard, std::chrono::milliseconds(settings_.stop_limit_ms), [&] { return state_->ended; });
    guard.unlock();
    if (ended) {
        thread_.join();
    } else {
        // No thread can be ended from outside here: report it and let it go.
        log_->war(prefix_ + "НЕуспешная попытка принудительного завершения потока");
        thread_.detach();
    }
    state_.reset();
    return true;
}

std::string nx_m104_act::last_failure() const {
    if (!state_)
        return {};
    std::lock_guard guard(state_->lock);
    return state_->failure;
}

void nx_m104_act::run(std::shared_ptr<shared> state) {
    // Copies: a worker left behind by a failed stop must not read a restarted object.
    const std::string host = host_;
    const int port = port_;
    const std::string prefix = prefix_;
    const std::uint16_t address = address_;
    nx_tm_info& sink = *sink_;
    nx_log& main_log = *log_;
    const nx_m104_settings settings = settings_;
    stop_event& stop = state->stop;
    std::optional<tls_settings> tls = settings.tls;
    if (tls && tls->peer_name.empty())
        tls->peer_name = host;
    auto note_failure = [&](const std::string& text) {
        if (!tls)
            return;
        std::lock_guard guard(state->lock);
        state->failure = text;
    };

    std::string log_file;
    int log_mode = 0;
    int log_size = 0;
    sink.get_log_settings(log_file, log_mode, log_size);

    bool stopped = false;
    bool first = true;
    while (!stopped) {
        if (!first && stop.wait(settings.reconnect_ms))
            break;
        first = false;

        nx_mAPDU_act apdu(address, sink, settings.t1, settings.t2, settings.t3, settings.clock());
        apdu.log().open(log_file, log_mode, log_size);
        auto line = [&](kind k, const std::string& text) {
            std::string full = prefix + text;
            nx_log* logs[2] = {&main_log, log_mode != 0 ? &apdu.log() : nullptr};
            for (nx_log* target : logs) {
                if (target == nullptr)
                    continue;
                if (k == kind::err)
                    target->err(full);
                else if (k == kind::war)
                    target->war(full);
                else
                    target->mes(full);
            }
        };

        tcp_socket raw;
        if (!raw.create()) {
            line(kind::err, "не удалось создать сокет " + host + last_error_text(raw.error()));
            note_failure(system_error_message(raw.error()));
            continue;
        }
        wait_result connected = raw.connect(host, port, settings.connect_timeout_ms, &stop);
        if (connected == wait_result::stopped)
            break;
        if (connected != wait_result::ready) {
            int error = raw.error();
            raw.close();
            line(kind::err, "не удалось создать соединение " + host + last_error_text(error));
            note_failure(system_error_message(error));
            continue;
        }
        tcp_stream socket(std::move(raw));
        if (tls) {
            // Files are read anew for every attempt: a renewed certificate needs no restart.
            std::string problem;
            auto context = tls_context::create(tls_role::client, *tls, problem);
            if (context && !socket.start_tls(context))
                problem = socket.failure();
            if (problem.empty()) {
                wait_result shaken = socket.handshake(settings.connect_timeout_ms, &stop);
                if (shaken == wait_result::stopped)
                    break;
                if (shaken != wait_result::ready)
                    problem = socket.failure();
            }
            if (!problem.empty()) {
                socket.close();
                line(kind::err, "не удалось создать соединение " + host + ". TLS: " + problem);
                note_failure("TLS: " + problem);
                continue;
            }
        }
        note_failure({});
        line(kind::mes, "старт 104 " + host + " ================================================");
        sink.link_down();

        for (;;) {
            // IEC 62351-3: the session keys are renewed after a time and an amount of data.
            if (tls && socket.keys_due(std::chrono::steady_clock::now())) {
                auto renewed = socket.renew_keys(std::chrono::steady_clock::now());
                if (renewed == tcp_stream::renewal::reconnect) {
                    line(kind::mes, "TLS 1.2: срок ключей сеанса истек, соединение заново");
                    break;
                }
                if (renewed == tcp_stream::renewal::failed) {
                    line(kind::err, "ошибка соединения " + host + ". TLS: " + socket.failure());
                    note_failure("TLS: " + socket.failure());
                    break;
                }
                line(kind::mes, "TLS: ключи сеанса обновлены");
            }
            // A peer that stopped confirming is gone even though the socket stays open.
            if (apdu.t1_expired(settings.clock())) {
                line(kind::err, "истек таймаут t1: нет подтверждения от контроллера");
                break;
            }
            std::span<const std::uint8_t> frame = apdu.next_frame(settings.clock());
            if (!frame.empty() && socket.send_all(frame.data(), frame.size(),
                                                  settings.send_timeout_ms, &stop) < frame.size()) {
                if (stop.take()) {
                    stopped = true;
                    line(kind::mes, "принудительное завершение соединения");
                } else if (!socket.failure().empty()) {
                    line(kind::err, "ошибка соединения " + host + ". TLS: " + socket.failure());
                    note_failure("TLS: " + socket.failure());
                } else {
                    line(kind::err, "ошибка передачи данных контроллеру");
                }
                break;
            }
            // Sleep until the next protocol deadline unless data or the stop come first.
            tm_ms wait = apdu.wait_ms(settings.clock());
            int timeout = wait > 60000 ? 60000 : static_cast<int>(wait);
            wait_result r = socket.wait_readable(timeout, &stop);
            if (r == wait_result::failed) {
                line(kind::err, "ошибка соединения " + host + last_error_text(socket.error()));
                break;
            }
            if (r == wait_result::stopped) {
                stop.take();
                stopped = true;
                line(kind::mes, "принудительное завершение соединения");
                break;
            }
            if (r == wait_result::timed_out)
                continue;
            std::span<std::uint8_t> space = apdu.receive_space();
            long n = socket.receive(space.data(), space.size());
            if (n < 0 && socket.error() == EAGAIN)
                continue;
            if (n < 0 && !socket.failure().empty()) {
                line(kind::err, "ошибка соединения " + host + ". TLS: " + socket.failure());
                note_failure("TLS: " + socket.failure());
                break;
            }
            if (n <= 0) {
                line(kind::err, "контроллер разорвал соединение");
                break;
            }
            bool keep = apdu.parse(static_cast<std::size_t>(n), settings.clock());
            for (const std::string& text : apdu.take_rejected())
                line(kind::err, text);
            if (!keep) {
                line(kind::mes, "завершение соединения");
                break;
            }
        }

        std::uint16_t real = apdu.received_address();
        if (real != 0 && real != address)
            line(kind::war, "реальный адрес КП " + std::to_string(real));
        socket.close();
        line(kind::mes, "стоп 104 " + host + " ------------------------------------------------");
        sink.link_down();
    }

    std::lock_guard guard(state->lock);
    state->ended = true;
    state->ended_signal.notify_all();
}

} // namespace nxkit
