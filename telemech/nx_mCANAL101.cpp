#include "telemech/nx_mCANAL101.h"

#include "base/format.h"
#include "base/nx_exception.h"

#include <algorithm>
#include <cstring>

namespace nxkit {

namespace {

constexpr std::uint8_t fixed_start = 0x10;
constexpr std::uint8_t variable_start = 0x68;
constexpr std::uint8_t single_ack = 0xE5;
constexpr std::uint8_t end_octet = 0x16;
constexpr std::uint8_t prm = 0x40;
constexpr std::uint8_t fcv = 0x10;
constexpr std::uint8_t dir = 0x80;
constexpr std::uint8_t acd = 0x20;
constexpr std::size_t fixed_size = 5;
// The variable frame around its ASDU: 68 L L 68 C A ... CS 16.
constexpr std::size_t variable_overhead = 6;
// L is one octet: every length up to 255 is legal, and the receive buffer holds L + 6 octets.
constexpr std::size_t largest_length = 255;
static_assert(nx_mASDU::receive_size >= largest_length + variable_overhead);

// Category pairs of an IEC 101 device's protocol log; the text bit is the dump bit shifted up.
constexpr int data_category = tm_s_dump;    // user data and data answers
constexpr int link_category = tm_u_dump;    // status, reset and their answers
constexpr int request_category = tm_i_dump; // class requests and their answers

std::uint8_t checksum(const std::uint8_t* first, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += first[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

} // namespace

tm_ms nx_mCANAL101::response_timeout_for(int baud) {
    tm_ms t = baud > 0 ? 900000 / baud : 0;
    return std::max<tm_ms>(t, 300);
}

nx_mCANAL101::nx_mCANAL101(std::uint16_t address, nx_tm_info& sink, int baud, tm_ms now)
    : nx_mASDU(address, sink, now), link_address_(static_cast<std::uint8_t>(address & 0xFF)),
      response_timeout_(response_timeout_for(baud)), sent_at_(now) {}

void nx_mCANAL101::enter_reset_state() {
    data_ = none;
    pending_data_ = none;
    request_ = fn_status;
    pending_request_ = none;
    data_retries_ = retries;
    request_retries_ = retries;
    kept_ = 0;
    link_down_ = true;
}

std::span<std::uint8_t> nx_mCANAL101::receive_space() {
    return {rx_.data() + kept_, receive_size - kept_};
}

tm_ms nx_mCANAL101::response_deadline() const {
    // A frame that has begun is awaited for as long as its octets keep coming: a request sent
    // into it would collide with it on a half-duplex line.
    return (kept_ > 0 ? std::max(sent_at_, received_at_) : sent_at_) + response_timeout_;
}

tm_ms nx_mCANAL101::wait_ms(tm_ms now) const {
    return std::max<tm_ms>(0, response_deadline() - now);
}

// ---------------------------------------------------------------- sending

void nx_mCANAL101::sent_text(int category, const char* text) {
    nx_tm_log& log = this->log();
    if (log.enabled(category << 1)) {
        log.begin_line(tm_direction::sent);
        log.append(text);
        log.end_line();
    }
}

std::span<const std::uint8_t> nx_mCANAL101::fixed_frame(std::uint8_t control, int category,
                                                        const char* text) {
    sent_text(category, text);
    tx_[0] = fixed_start;
    tx_[1] = control;
    tx_[2] = link_address_;
    tx_[3] = checksum(tx_.data() + 1, 2);
    tx_[4] = end_octet;
    if (log().enabled(category))
        log().dump(tm_direction::sent, tx_.data(), fixed_size);
    return {tx_.data(), fixed_size};
}

std::span<const std::uint8_t> nx_mCANAL101::user_data_frame() {
    nx_tm_log& log = this->log();
    const bool text = log.enabled(data_category << 1);
    if (text)
        log.begin_line(tm_direction::sent);
    const std::size_t asdu =
        sync_data_ ? build_clock_sync(asdu_offset) : build_interrogation(asdu_offset);
    if (text)
        log.end_line();
    const std::size_t length = asdu + 2;
    tx_[0] = variable_start;
    tx_[1] = tx_[2] = static_cast<std::uint8_t>(length);
    tx_[3] = variable_start;
    tx_[4] = static_cast<std::uint8_t>(prm | fcb_ | fcv | fn_user_data);
    tx_[5] = link_address_;
    tx_[4 + length] = checksum(tx_.data() + 4, length);
    tx_[5 + length] = end_octet;
    if (log.enabled(data_category))
        log.dump(tm_direction::sent, tx_.data(), length + variable_overhead);
    return {tx_.data(), length + variable_overhead};
}

std::span<const std::uint8_t> nx_mCANAL101::next_frame(tm_ms now) {
    // The last frame was never answered: start the link afresh.
    if (request_ == none && data_ == none && now - sent_at_ >= response_timeout_)
        enter_reset_state();
    kept_ = 0;
    std::span<const std::uint8_t> frame;
    if (request_ == fn_status) {
        frame = fixed_frame(prm | fn_status, link_category, "запрос статуса канала");
        pending_request_ = fn_status;
        request_ = none;
    } else if (request_ == fn_class1 || request_ == fn_class2) {
        if (data_ == none) {
            if (sync_due(now)) {
                data_ = fn_user_data;
                sync_data_ = true;
                restart_sync(now);
            } else if (interrogation_due(now)) {
                data_ = fn_user_data;
                sync_data_ = false;
                restart_interrogation(now);
            }
        }
        // A SEND frame waiting (a new command or a repetition) goes before the next request,
        // or it would wait behind the requests for ever.
        if (data_ == none) {
            frame = fixed_frame(static_cast<std::uint8_t>(prm | fcb_ | fcv | request_),
                                request_category,
                                request_ == fn_class1 ? "запрос класса 1" : "запрос класса 2");
            pending_request_ = request_;
            request_ = none;
        }
    }
    if (frame.empty() && data_ == fn_reset) {
        frame = fixed_frame(prm | fn_reset, link_category, "сброс канала");
        pending_data_ = fn_reset;
        data_ = none;
    } else if (frame.empty() && data_ == fn_user_data) {
        frame = user_data_frame();
        pending_data_ = fn_user_data;
        data_ = none;
    }
    if (!frame.empty())
        sent_at_ = now;
    return frame;
}

// ---------------------------------------------------------------- receiving

void nx_mCANAL101::fault(const char* text, std::size_t n) {
    nx_tm_log& log = this->log();
    log.err(text);
    if (log.enabled(tm_all))
        log.dump(tm_direction::received, rx_.data(), n);
}

void nx_mCANAL101::received_text(int category, const char* text) {
    nx_tm_log& log = this->log();
    const std::size_t size = rx_[0] == fixed_start ? fixed_size : 1;
    if (log.enabled(category))
        log.dump(tm_direction::received, rx_.data(), size);
    if (text != nullptr && log.enabled(category << 1)) {
        log.begin_line(tm_direction::received);
        log.append(text);
        log.end_line();
    }
}

nx_mCANAL101::outcome nx_mCANAL101::handle_single(std::size_t) {
    if (pending_request_ == fn_class1 || pending_request_ == fn_class2) {
        received_text(request_category, "NACK - данные недоступны");
        request_ = fn_class2;
        pending_request_ = none;
        // The request was answered: the next one is a new exchange.
        toggle_fcb();
    } else if (pending_data_ == fn_reset || pending_data_ == 1) {
        received_text(link_category, "ACK - сброс выполнен");
        request_ = fn_class2;
        fcb_ = fcb_bit;
        pending_data_ = none;
    } else if (pending_data_ == fn_user_data) {
        received_text(data_category, "ACK - данные приняты");
        request_ = fn_class2;
        pending_data_ = none;
        toggle_fcb();
    } else {
        received_text(link_category, nullptr);
    }
    return outcome::handled;
}

nx_mCANAL101::outcome nx_mCANAL101::handle_fixed(std::size_t n) {
    const std::uint8_t control = rx_[1];
    if (rx_[2] != link_address_)
        return outcome::fixed_fault;
    if ((control & dir) != 0) {
        fault("балансный режим", n);
        return outcome::fixed_fault;
    }
    if ((control & prm) != 0) {
        fault("пакет не от КП", n);
        return outcome::fixed_fault;
    }
    if (rx_[4] != end_octet) {
        fault("последний символ не 16h", n);
        return outcome::fixed_fault;
    }
    const std::uint8_t sum = checksum(rx_.data() + 1, 2);
    if (sum != rx_[3]) {
        fault(format_short("ОШИБКА crc8 (%02X <> %02X)", sum, rx_[3]).c_str(), n);
        return outcome::fixed_fault;
    }
    const int function = control & 0x0F;
    const bool class_pending = pending_request_ == fn_class1 || pending_request_ == fn_class2;
    if (function == 0 && (pending_data_ == fn_reset || pending_data_ == 1)) {
        received_text(link_category, "ACK - сброс выполнен");
        request_ = fn_class2;
        fcb_ = fcb_bit;
        pending_data_ = none;
    } else if (function == 0 && pending_data_ == fn_user_data) {
        received_text(data_category, "ACK - пакет принят");
        next_class(control);
        pending_data_ = none;
        toggle_fcb();
    } else if (function == 1 && pending_data_ != none && pending_data_ <= fn_user_data) {
        const bool user_data = pending_data_ == fn_user_data;
        received_text(user_data ? data_category : link_category,
                      user_data ? "NACK - пакет НЕ принят" : "NACK - сброс НЕ выполнен");
        // Repeated without using a retry; a user-data frame that was answered is a new one.
        data_ = pending_data_;
        pending_data_ = none;
        if (user_data)
            toggle_fcb();
    } else if (class_pending && function == 0) {
        received_text(request_category, "ACK - данные не изменились");
        next_class(control);
        toggle_fcb();
        pending_request_ = none;
    } else if (class_pending && function == 1) {
        received_text(data_category, "NACK - данные недоступны");
        data_ = fn_reset;
        pending_request_ = none;
    } else if (class_pending && function == 9) {
        // "Requested data not available": no data now, but ACD still tells whether class 1
        // data wait, and the request was answered, so the next one is a new exchange.
        received_text(request_category, "FC=9 - нет данных");
        next_class(control);
        toggle_fcb();
        pending_request_ = none;
    } else if (function == 11) {
        received_text(link_category, "FC=11 - канал ОК");
        data_ = fn_reset;
        pending_request_ = none;
    } else {
        received_text(link_category, nullptr);
    }
    return outcome::handled;
}

nx_mCANAL101::outcome nx_mCANAL101::handle_variable(std::size_t n) {
    const std::size_t length = rx_[1];
    if (pending_request_ == none) {
        fault("неожиданный пакет", n);
        return outcome::variable_fault;
    }
    const std::uint8_t control = rx_[4];
    if (rx_[5] != link_address_)
        return outcome::variable_fault;
    if (rx_[3] != variable_start) {
        fault("нет повтора 68h", n);
        return outcome::variable_fault;
    }
    if ((control & dir) != 0) {
        fault("балансный режим", n);
        return outcome::variable_fault;
    }
    if ((control & prm) != 0) {
        fault("пакет не от КП", n);
        return outcome::variable_fault;
    }
    if ((control & 0x0F) != 8) {
        fault("ожидается FC=2", n);
        return outcome::variable_fault;
    }
    if (rx_[length + 5] != end_octet) {
        fault("последний символ не 16h", n);
        return outcome::variable_fault;
    }
    const std::uint8_t sum = checksum(rx_.data() + 4, length);
    if (sum != rx_[length + 4]) {
        fault(format_short("ОШИБКА crc8 (%02X <> %02X)", sum, rx_[length + 4]).c_str(), n);
        return outcome::variable_fault;
    }
    next_class(control);
    pending_request_ = none;
    toggle_fcb();

    nx_tm_log& log = this->log();
    if (log.enabled(data_category))
        log.dump(tm_direction::received, rx_.data(), length + variable_overhead);
    const bool text = log.enabled(data_category << 1);
    if (text)
        log.begin_line(tm_direction::received);
    try {
        decode(6, length + 3);
    } catch (const nx_exception&) {
        if (text)
            log.end_line();
        throw;
    }
    if (text)
        log.end_line();
    return outcome::handled;
}

nx_mCANAL101::outcome nx_mCANAL101::handle(std::size_t n) {
    switch (rx_[0]) {
    case single_ack:
        return handle_single(n);
    case fixed_start:
        return n < fixed_size ? outcome::incomplete : handle_fixed(n);
    case variable_start: {
        if (n < variable_overhead)
            return outcome::incomplete;
        const std::size_t length = rx_[1];
        if (rx_[1] != rx_[2]) {
            fault(format_short("ОШИБКА размера пакета (%02X <> %02X)", rx_[1], rx_[2]).c_str(), n);
            return outcome::variable_fault;
        }
        // Without room for the control field and the address it is no frame.
        if (length < 2) {
            fault(format_short("неверная длина пакета %02X", rx_[1]).c_str(), n);
            return outcome::variable_fault;
        }
        if (n < length + variable_overhead)
            return outcome::incomplete;
        return handle_variable(n);
    }
    default:
        fault("НЕОЖИДАННЫЙ БАЙТ", n);
        return outcome::reset;
    }
}

bool nx_mCANAL101::parse(std::size_t count, tm_ms now) {
    auto use_retry = [this](std::uint8_t& pending, std::uint8_t& function, int& left) {
        if (pending == none)
            return;
        if (--left <= 0) {
            enter_reset_state();
            return;
        }
        function = pending;
        pending = none;
    };
    if (count == 0) {
        if (now < response_deadline())
            return false;
        // Unanswered user data goes again with the same FCB, as for a fault: the class requests
        // would otherwise go on, and a station interrogation once at start would be lost for
        // good.
        if (pending_data_ == fn_user_data)
            use_retry(pending_data_, data_, data_retries_);
        return true;
    }
    link_down_ = false;
    received_at_ = now;
    const std::size_t n = kept_ + std::min(count, receive_size - kept_);
    outcome result = outcome::handled;
    try {
        result = handle(n);
    } catch (const nx_exception&) {
        kept_ = 0;
        throw;
    }
    if (result == outcome::incomplete) {
        kept_ = static_cast<std::uint16_t>(n);
        return false;
    }
    if (result == outcome::reset)
        enter_reset_state();
    if (result == outcome::fixed_fault)
        use_retry(pending_data_, data_, data_retries_);
    if (result == outcome::fixed_fault || result == outcome::variable_fault)
        use_retry(pending_request_, request_, request_retries_);
    kept_ = 0;
    return true;
}

bool nx_mCANAL101::feed(std::span<const std::uint8_t> bytes, tm_ms now) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::span<std::uint8_t> space = receive_space();
        const std::size_t count = std::min(space.size(), bytes.size() - done);
        std::memcpy(space.data(), bytes.data() + done, count);
        done += count;
        if (parse(count, now))
            return true;
    }
    return false;
}

} // namespace nxkit
