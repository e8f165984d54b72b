#include "tools/kp-sim/simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace nxkit::kp_sim {

namespace {

constexpr int sequence_modulo = 32768;

short revents_of(const std::vector<pollfd>& fds, int fd) {
    for (const pollfd& p : fds)
        if (p.fd == fd)
            return p.revents;
    return 0;
}

int field(const bytes& frame, std::size_t at) {
    return (static_cast<unsigned char>(frame[at]) |
            (static_cast<unsigned char>(frame[at + 1]) << 8)) >>
           1;
}

const char* u_name(std::uint8_t function) {
    switch (function) {
    case startdt_act:
        return "STARTDT act";
    case startdt_con:
        return "STARTDT con";
    case stopdt_act:
        return "STOPDT act";
    case stopdt_con:
        return "STOPDT con";
    case testfr_act:
        return "TESTFR act";
    case testfr_con:
        return "TESTFR con";
    default:
        return "U ?";
    }
}

std::string cp56_text(const bytes& asdu, std::size_t at) {
    if (asdu.size() < at + 7)
        return "?";
    auto octet = [&](std::size_t k) { return static_cast<unsigned char>(asdu[at + k]); };
    int ms = octet(0) | (octet(1) << 8);
    char text[64];
    std::snprintf(text, sizeof text, "20%02d.%02d.%02d %02d:%02d:%02d.%03d", octet(6) & 0x7F,
                  octet(5) & 0x0F, octet(4) & 0x1F, octet(3) & 0x1F, octet(2) & 0x3F, ms / 1000,
                  ms % 1000);
    return text;
}

} // namespace

endpoint::endpoint(endpoint_config config, printer print, bool verbose,
                   std::shared_ptr<tls_context> tls)
    : config_(std::move(config)), tls_(std::move(tls)), print_(std::move(print)),
      verbose_(verbose) {
    std::sort(config_.objects.begin(), config_.objects.end(),
              [](const info_object& a, const info_object& b) {
                  return a.type != b.type ? a.type < b.type : a.ioa < b.ioa;
              });
}

bool endpoint::open(std::string& error) {
    if (!listener_.create() || !listener_.listen(config_.host, config_.port, 16)) {
        error = config_.host + ":" + std::to_string(config_.port) + ": " +
                std::strerror(listener_.error());
        return false;
    }
    config_.port = listener_.local_port();
    name_ = config_.host + ":" + std::to_string(config_.port);
    if (config_.period_ms > 0)
        next_change_ = steady::now() + std::chrono::milliseconds(config_.period_ms);
    set_fault(config_.initial_fault);
    return true;
}

void endpoint::say(const std::string& text) const {
    if (verbose_)
        print_(name_ + " " + text);
}

void endpoint::say(const connection& c, const std::string& text) const {
    if (verbose_)
        print_(name_ + " #" + std::to_string(c.id) + " " + text);
}

int endpoint::sending_ca() const {
    return fault_.mode == fault_mode::other_ca ? fault_.common_address : config_.common_address;
}

void endpoint::add_poll(std::vector<pollfd>& fds) const {
    if (listener_.is_open())
        fds.push_back({listener_.fd(), POLLIN, 0});
    for (const connection& c : connections_) {
        if (c.closing)
            continue;
        bool handshaking = c.socket.secured() && !c.socket.handshake_done();
        bool want_write = handshaking ? c.handshake_wants_write : !c.outgoing.empty();
        fds.push_back({c.socket.fd(), c.socket.poll_events(want_write), 0});
    }
}

void endpoint::on_ready(const std::vector<pollfd>& fds) {
    if (listener_.is_open() && (revents_of(fds, listener_.fd()) & POLLIN))
        accept_all();
    for (connection& c : connections_) {
        if (c.closing)
            continue;
        short events = revents_of(fds, c.socket.fd());
        if (c.socket.secured() && !c.socket.handshake_done()) {
            if (events != 0)
                continue_handshake(c);
            continue;
        }
        if (events & POLLOUT)
            write_out(c);
        if (!c.closing && (events & (POLLIN | POLLHUP | POLLERR)))
            read_from(c);
    }
    connections_.remove_if([](const connection& c) { return c.closing; });
}

void endpoint::accept_all() {
    for (;;) {
        tcp_socket s = listener_.accept();
        if (!s.is_open())
            return;
        connection& c = connections_.emplace_back();
        c.peer = s.peer_text();
        c.socket = tcp_stream(std::move(s));
        c.id = next_id_++;
        say(c, "accept " + c.peer);
        if (fault_.mode == fault_mode::close) {
            close_connection(c, "fault close");
        } else if (tls_) {
            if (c.socket.start_tls(tls_))
                continue_handshake(c);
            else
                close_connection(c, "tls: " + c.socket.failure());
        }
    }
}

void endpoint::continue_handshake(connection& c) {
    switch (c.socket.handshake_step()) {
    case tcp_stream::step::done:
        say(c, "tls " + c.socket.session_text());
        // Whatever was queued meanwhile goes out now.
        write_out(c);
        break;
    case tcp_stream::step::want_read:
        c.handshake_wants_write = false;
        break;
    case tcp_stream::step::want_write:
        c.handshake_wants_write = true;
        break;
    case tcp_stream::step::failed:
        // Always told: a refused client is what a TLS test looks for.
        print_(name_ + " #" + std::to_string(c.id) + " tls refused: " + c.socket.failure());
        close_connection(c, "tls");
        break;
    }
}

void endpoint::read_from(connection& c) {
    char buffer[4096];
    // TLS may hold decrypted octets the socket no longer shows: take them all now.
    do {
        long n = c.socket.receive(buffer, sizeof buffer);
        if (n == 0) {
            close_connection(c, "peer closed");
            return;
        }
        if (n < 0) {
            if (c.socket.error() != EAGAIN)
                close_connection(c, c.socket.failure().empty() ? std::strerror(c.socket.error())
                                                               : c.socket.failure());
            return;
        }
        c.received.append(buffer, static_cast<std::size_t>(n));
        process(c);
    } while (!c.closing && c.socket.has_buffered());
}

void endpoint::process(connection& c) {
    while (!c.received.empty()) {
        if (static_cast<unsigned char>(c.received[0]) != start_byte) {
            close_connection(c, "wrong start byte in " + hex(c.received));
            return;
        }
        if (c.received.size() < 2)
            break;
        std::size_t length = static_cast<unsigned char>(c.received[1]);
        if (length < 4) {
            close_connection(c, "bad length in " + hex(c.received));
            return;
        }
        if (c.received.size() < length + 2)
            break;
        bytes frame = c.received.substr(0, length + 2);
        c.received.erase(0, length + 2);
        auto control = static_cast<unsigned char>(frame[2]);
        if ((control & 0x01) == 0) {
            int send_number = field(frame, 2);
            c.acknowledged = field(frame, 4);
            say(c, "recv " + hex(frame) + " I N(S)=" + std::to_string(send_number) +
                       " N(R)=" + std::to_string(c.acknowledged));
            if (send_number != c.receive_number) {
                close_connection(c, "sequence error: expected N(S)=" +
                                        std::to_string(c.receive_number));
                return;
            }
            c.receive_number = (c.receive_number + 1) % sequence_modulo;
            if (!silent())
                on_i_frame(c, frame.substr(6));
        } else if ((control & 0x03) == 0x01) {
            c.acknowledged = field(frame, 4);
            say(c, "recv " + hex(frame) + " S N(R)=" + std::to_string(c.acknowledged));
        } else {
            say(c, "recv " + hex(frame) + " " + u_name(control));
            if (!silent())
                on_u_frame(c, control);
        }
        if (c.closing)
            return;
    }
    flush_window(c);
    acknowledge(c);
}

void endpoint::on_u_frame(connection& c, std::uint8_t function) {
    switch (function) {
    case startdt_act:
        c.started = true;
        send_raw(c, u_frame(startdt_con), u_name(startdt_con));
        break;
    case stopdt_act:
        c.started = false;
        send_raw(c, u_frame(stopdt_con), u_name(stopdt_con));
        break;
    case testfr_act:
        send_raw(c, u_frame(testfr_con), u_name(testfr_con));
        break;
    default:
        break;
    }
}

void endpoint::on_i_frame(connection& c, const bytes& asdu) {
    if (asdu.size() < 6) {
        say(c, "ASDU too short, ignored");
        return;
    }
    if (!c.started) {
        say(c, "I-frame before STARTDT, ignored");
        return;
    }
    auto type = static_cast<unsigned char>(asdu[0]);
    auto cause = static_cast<unsigned char>(asdu[2]);
    auto ca = static_cast<unsigned char>(asdu[3]);
    bytes reply = asdu;
    if (ca != config_.common_address && ca != sending_ca() && ca != 255) {
        reply[2] = static_cast<char>(cot_unknown_address | cot_negative);
        queue_asdu(c, reply);
        return;
    }
    if (type != type_interrogation && type != type_clock_sync) {
        reply[2] = static_cast<char>(cot_unknown_type | cot_negative);
        queue_asdu(c, reply);
        return;
    }
    if (cause != cot_activation) {
        reply[2] = static_cast<char>(cot_unknown_cause | cot_negative);
        queue_asdu(c, reply);
        return;
    }
    reply[2] = static_cast<char>(cot_act_con);
    reply[3] = static_cast<char>(sending_ca());
    queue_asdu(c, reply);
    if (type == type_clock_sync) {
        say(c, "clock synchronisation " + cp56_text(asdu, 6));
        return;
    }
    say(c, "station interrogation");
    // Interrogated objects go without time tags, as the standard asks.
    for (const bytes& part : object_asdus(interrogation_objects(config_.objects), cot_interrogated,
                                          sending_ca(), max_asdu_length, config_.form))
        queue_asdu(c, part);
    reply[2] = static_cast<char>(cot_act_term);
    queue_asdu(c, reply);
}

void endpoint::send_raw(connection& c, bytes frame, const std::string& what) {
    if (silent() || c.closing)
        return;
    if (fault_.mode == fault_mode::bad_start)
        frame[0] = static_cast<char>(start_byte - 1);
    say(c, "send " + hex(frame) + " " + what);
    c.outgoing += frame;
    write_out(c);
}

void endpoint::queue_asdu(connection& c, const bytes& asdu) {
    c.waiting.push_back(asdu);
    flush_window(c);
}

void endpoint::flush_window(connection& c) {
    bool was_waiting = !c.waiting.empty();
    while (!c.closing && c.started && !silent() && !c.waiting.empty()) {
        int unacknowledged = (c.send_number - c.acknowledged + sequence_modulo) % sequence_modulo;
        if (unacknowledged >= config_.k)
            break;
        if (fault_.mode == fault_mode::skip_seq && !c.skipped) {
            c.skipped = true;
            c.send_number = (c.send_number + 1) % sequence_modulo;
        }
        bytes frame = i_frame(c.send_number, c.receive_number, c.waiting.front());
        c.waiting.pop_front();
        std::string what =
            "I N(S)=" + std::to_string(c.send_number) + " N(R)=" + std::to_string(c.receive_number);
        c.send_number = (c.send_number + 1) % sequence_modulo;
        c.reported = c.receive_number;
        send_raw(c, frame, what);
    }
    if (was_waiting && !c.waiting.empty() && c.started && !silent())
        say(c, "window full, " + std::to_string(c.waiting.size()) + " waiting");
}

void endpoint::acknowledge(connection& c) {
    if (c.closing || silent() || c.receive_number == c.reported)
        return;
    c.reported = c.receive_number;
    send_raw(c, s_frame(c.receive_number), "S N(R)=" + std::to_string(c.receive_number));
}

void endpoint::write_out(connection& c) {
    if (c.outgoing.empty() || c.closing || (c.socket.secured() && !c.socket.handshake_done()))
        return;
    std::size_t sent = c.socket.send_all(c.outgoing.data(), c.outgoing.size(), 0, nullptr);
    c.outgoing.erase(0, sent);
    if (!c.outgoing.empty() && c.socket.error() != ETIMEDOUT)
        close_connection(c, c.socket.failure().empty() ? std::strerror(c.socket.error())
                                                       : c.socket.failure());
}

void endpoint::close_connection(connection& c, const std::string& why) {
    say(c, "close: " + why);
    c.socket.close();
    c.closing = true;
}

void endpoint::drop_connections() {
    for (connection& c : connections_)
        if (!c.closing)
            close_connection(c, "dropped");
    connections_.remove_if([](const connection& c) { return c.closing; });
}

void endpoint::send_objects(const std::vector<info_object>& objects, std::uint8_t cause) {
    if (silent())
        return;
    std::vector<bytes> parts =
        object_asdus(objects, cause, sending_ca(), max_asdu_length, config_.form);
    for (connection& c : connections_) {
        if (c.closing || !c.started)
            continue;
        for (const bytes& part : parts)
            queue_asdu(c, part);
    }
    connections_.remove_if([](const connection& c) { return c.closing; });
}

void endpoint::change(int count) {
    if (config_.objects.empty())
        return;
    std::vector<info_object> changed;
    for (int k = 0; k < count; ++k) {
        info_object& object = config_.objects[next_to_change_ % config_.objects.size()];
        ++next_to_change_;
        object.value = changed_value(object.type, object.value);
        object.time = cp56_now();
        say("change " + std::to_string(object.ioa) + "=" + value_text(object.value));
        changed.push_back(object);
    }
    send_objects(changed, cot_spontaneous);
}

void endpoint::send_asdu(const bytes& asdu) {
    if (silent())
        return;
    for (connection& c : connections_)
        if (!c.closing && c.started)
            queue_asdu(c, asdu);
    connections_.remove_if([](const connection& c) { return c.closing; });
}

bool endpoint::set(int ioa, double value, int quality) {
    std::vector<info_object> changed;
    for (info_object& object : config_.objects) {
        if (object.ioa != ioa || !value_fits(object.type, value))
            continue;
        object.value = value;
        if (quality >= 0)
            object.quality = quality;
        object.time = cp56_now();
        changed.push_back(object);
    }
    if (changed.empty())
        return false;
    send_objects(changed, cot_spontaneous);
    return true;
}

void endpoint::on_time(steady::time_point now) {
    if (config_.period_ms <= 0 || now < next_change_)
        return;
    change(config_.burst);
    auto period = std::chrono::milliseconds(config_.period_ms);
    next_change_ += period;
    if (next_change_ <= now)
        next_change_ = now + period;
}

void endpoint::set_fault(const fault& f) {
    fault_ = f;
    if (f.mode == fault_mode::refuse) {
        listener_.close();
        say("fault refuse: listener closed");
        return;
    }
    if (!listener_.is_open()) {
        if (!listener_.create() || !listener_.listen(config_.host, config_.port, 16))
            print_(name_ + " cannot listen again: " + std::strerror(listener_.error()));
        else
            say("listening again");
    }
    if (f.mode == fault_mode::close)
        drop_connections();
    for (connection& c : connections_) {
        flush_window(c);
        acknowledge(c);
    }
    connections_.remove_if([](const connection& c) { return c.closing; });
}

} // namespace nxkit::kp_sim
