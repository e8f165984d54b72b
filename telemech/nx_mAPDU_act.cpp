#include "telemech/nx_mAPDU_act.h"

#include "base/format.h"
#include "base/nx_exception.h"

#include <algorithm>
#include <cstring>

namespace nxkit {

namespace {

constexpr std::uint8_t start_byte = 0x68;
constexpr std::size_t header_size = 6; // start, length, four control octets

std::uint16_t word(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void put_word(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value & 0xFF);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

} // namespace

nx_mAPDU_act::nx_mAPDU_act(std::uint16_t common_address, nx_tm_info& sink, tm_ms t1, tm_ms t2,
                           tm_ms t3, tm_ms now, int w)
    : nx_mASDU(common_address, sink, now), t1_(t1), last_i_frame_(now), t2_(t2), last_frame_(now),
      t3_(t3), w_(std::max(1, w)) {}

std::span<std::uint8_t> nx_mAPDU_act::receive_space() {
    return {rx_.data() + kept_, buffer_size - kept_};
}

bool nx_mAPDU_act::feed(std::span<const std::uint8_t> bytes, tm_ms now) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::span<std::uint8_t> space = receive_space();
        const std::size_t count = std::min(space.size(), bytes.size() - done);
        std::memcpy(space.data(), bytes.data() + done, count);
        done += count;
        if (!parse(count, now))
            return false;
    }
    return true;
}

bool nx_mAPDU_act::parse(std::size_t count, tm_ms now) {
    nx_tm_log& log = this->log();
    const std::size_t n = kept_ + std::min(count, buffer_size - kept_);
    std::size_t p = 0;
    while (p < n) {
        if (rx_[p] != start_byte) {
            log.err("Ожидается 68H");
            if (log.enabled(tm_all))
                log.dump(tm_direction::received, rx_.data(), n);
            return false;
        }
        if (n - p < 2)
            break;
        const std::size_t length = rx_[p + 1];
        // No control field, or more than the buffer can ever hold: the stream is lost.
        if (length < 4 || length > max_length) {
            log.err("ошибка буфера");
            if (log.enabled(tm_all))
                log.dump(tm_direction::received, rx_.data(), n);
            return false;
        }
        if (n - p - 2 < length)
            break;

        frame_ = rx_.data() + p;
        const std::size_t frame_size = length + 2;
        const std::uint8_t* control = frame_ + 2;
        last_frame_ = now;

        if ((control[0] & 0x01) == 0) {
            last_nr_ = word(control + 2);
            confirm_sent(last_nr_);
            const std::uint16_t ns = word(control);
            if (ns != receive_counter_) {
                log.err(format_short("нарушение последовательности, ожидается %X, принято "
                                     "_CON[%d]=%X",
                                     receive_counter_, static_cast<int>(p + 2), ns));
                if (log.enabled(tm_all))
                    log.dump(tm_direction::received, rx_.data(), n);
                sequence_error_ = true;
                p = n;
                continue;
            }
            if (log.enabled(tm_i_dump))
                log.dump(tm_direction::received, frame_, frame_size);
            const bool text = log.enabled(tm_i_text);
            if (text)
                log.begin_line(tm_direction::received);
            receive_counter_ += 2;
            try {
                decode(p + header_size, p + frame_size - 1);
            } catch (const nx_exception& e) {
                // The frame itself arrived in order: it is counted and acknowledged, only its
                // content is dropped.
                rejected_.emplace_back(e.what());
            }
            if (text)
                log.end_line();
            acknowledge_due_ = true;
            ++unacknowledged_;
            last_i_frame_ = now;
        } else if ((control[0] & 0x03) == 0x01) {
            last_nr_ = word(control + 2);
            confirm_sent(last_nr_);
            if (log.enabled(tm_s_dump))
                log.dump(tm_direction::received, frame_, frame_size);
            if (log.enabled(tm_s_text)) {
                log.begin_line(tm_direction::received);
                log.append(format_short("квитанция %d", last_nr_ / 2));
                log.end_line();
            }
        } else {
            if (log.enabled(tm_u_dump))
                log.dump(tm_direction::received, frame_, frame_size);
            const std::uint8_t function = control[0];
            if ((function & 0x40) != 0) {
                test_answer_due_ = true;
                log_received_u("контроль канала");
            } else if ((function & 0x80) != 0) {
                test_sent_ = -1;
                log_received_u("канал есть");
            } else if ((function & 0x08) != 0) {
                started_ = true;
                log_received_u("связь установлена");
            } else if ((function & 0x20) != 0) {
                log_received_u("связь разорвана");
                return false;
            }
        }
        p += frame_size;
    }

    // An incomplete frame waits at the start of the buffer for the rest of it.
    if (p > 0 && p < n)
        std::memmove(rx_.data(), rx_.data() + p, n - p);
    kept_ = static_cast<std::uint16_t>(n - std::min(p, n));
    return true;
}

void nx_mAPDU_act::log_received_u(const char* text) {
    nx_tm_log& log = this->log();
    if (log.enabled(tm_u_text)) {
        log.begin_line(tm_direction::received);
        log.append(text);
        log.end_line();
    }
}

std::span<const std::uint8_t> nx_mAPDU_act::next_frame(tm_ms now) {
    if (started_ && sync_due(now)) {
        restart_sync(now);
        return build_i_frame(true, now);
    }
    if (started_ && interrogation_due(now)) {
        restart_interrogation(now);
        return build_i_frame(false, now);
    }
    // After t2, or at once when w frames wait: a peer whose k is larger than w would stall.
    if (acknowledge_due_ && (last_i_frame_ + t2_ < now || unacknowledged_ >= w_)) {
        acknowledge_due_ = false;
        return build_s_frame();
    }
    if (test_answer_due_) {
        test_answer_due_ = false;
        return build_u_frame(testfr_con, "канал есть");
    }
    if (last_frame_ + t3_ < now) {
        // One test frame per t3 of silence, not one per pass.
        last_frame_ = now;
        if (test_sent_ < 0)
            test_sent_ = now;
        return build_u_frame(testfr_act, "контроль канала");
    }
    if (startdt_due_) {
        startdt_due_ = false;
        return build_u_frame(startdt_act, "установление связи");
    }
    if (sequence_error_) {
        sequence_error_ = false;
        return build_u_frame(stopdt_act, "завершение связи");
    }
    return {};
}

tm_ms nx_mAPDU_act::wait_ms(tm_ms now) const {
    if (test_answer_due_ || startdt_due_ || sequence_error_ ||
        (acknowledge_due_ && unacknowledged_ >= w_))
        return 0;
    tm_ms deadline = last_frame_ + t3_ + 1;
    if (acknowledge_due_)
        deadline = std::min(deadline, last_i_frame_ + t2_ + 1);
    if (tm_ms oldest = oldest_unconfirmed(); oldest >= 0)
        deadline = std::min(deadline, oldest + t1_ + 1);
    if (started_) {
        for (const timer* t : {&interrogation_, &sync_}) {
            if (t->period >= period_at_start)
                deadline = std::min(deadline, t->deadline());
        }
    }
    return std::max<tm_ms>(0, deadline - now);
}

void nx_mAPDU_act::confirm_sent(std::uint16_t nr) {
    // N(R) confirms every frame before it; counters wrap, so compare distances from the oldest.
    while (!unconfirmed_.empty()) {
        const std::uint16_t oldest = unconfirmed_.front().ns;
        const auto confirmed = static_cast<std::uint16_t>(nr - oldest);
        const auto outstanding = static_cast<std::uint16_t>(send_counter_ - oldest);
        if (confirmed == 0 || confirmed > outstanding)
            break;
        unconfirmed_.pop_front();
    }
}

tm_ms nx_mAPDU_act::oldest_unconfirmed() const {
    tm_ms oldest = test_sent_;
    if (!unconfirmed_.empty() && (oldest < 0 || unconfirmed_.front().at < oldest))
        oldest = unconfirmed_.front().at;
    return oldest;
}

bool nx_mAPDU_act::t1_expired(tm_ms now) const {
    const tm_ms oldest = oldest_unconfirmed();
    return oldest >= 0 && oldest + t1_ < now;
}

std::vector<std::string> nx_mAPDU_act::take_rejected() {
    std::vector<std::string> texts;
    texts.swap(rejected_);
    return texts;
}

std::span<const std::uint8_t> nx_mAPDU_act::build_i_frame(bool clock_sync, tm_ms now) {
    nx_tm_log& log = this->log();
    const bool text = log.enabled(tm_i_text);
    if (text)
        log.begin_line(tm_direction::sent);
    const std::size_t asdu =
        clock_sync ? build_clock_sync(asdu_offset) : build_interrogation(asdu_offset);
    tx_[0] = start_byte;
    tx_[1] = static_cast<std::uint8_t>(asdu + 4);
    put_word(tx_.data() + 2, send_counter_);
    put_word(tx_.data() + 4, receive_counter_);
    if (log.line_open())
        log.append(format_short(",S=%d,V=%d", send_counter_, receive_counter_));
    // The I-frame carries the receive counter: it acknowledges as an S-frame would.
    unacknowledged_ = 0;
    unconfirmed_.push_back({send_counter_, now});
    send_counter_ += 2;
    if (text)
        log.end_line();
    return sent(asdu_offset + asdu, tm_i_dump);
}

std::span<const std::uint8_t> nx_mAPDU_act::build_s_frame() {
    unacknowledged_ = 0;
    tx_[0] = start_byte;
    tx_[1] = 4;
    tx_[2] = 0x01;
    tx_[3] = 0x00;
    put_word(tx_.data() + 4, receive_counter_);
    nx_tm_log& log = this->log();
    if (log.enabled(tm_s_text)) {
        log.begin_line(tm_direction::sent);
        log.append(format_short("квитанция %d", receive_counter_ / 2));
        log.end_line();
    }
    return sent(header_size, tm_s_dump);
}

std::span<const std::uint8_t> nx_mAPDU_act::build_u_frame(std::uint8_t function, const char* text) {
    tx_[0] = start_byte;
    tx_[1] = 4;
    tx_[2] = function;
    tx_[3] = tx_[4] = tx_[5] = 0;
    nx_tm_log& log = this->log();
    if (log.enabled(tm_u_text)) {
        log.begin_line(tm_direction::sent);
        log.append(text);
        log.end_line();
    }
    return sent(header_size, tm_u_dump);
}

std::span<const std::uint8_t> nx_mAPDU_act::sent(std::size_t length, int dump_category) {
    nx_tm_log& log = this->log();
    if (log.enabled(dump_category))
        log.dump(tm_direction::sent, tx_.data(), length);
    return {tx_.data(), length};
}

} // namespace nxkit
