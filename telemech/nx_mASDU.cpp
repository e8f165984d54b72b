#include "telemech/nx_mASDU.h"

#include "base/format.h"
#include "base/nx_exception.h"

#include <algorithm>
#include <cstdarg>
#include <iterator>

namespace nxkit {

namespace {

enum class element_kind { single, double_point, step, measured };

// One supported monitoring type. SQ forms carry one address and then the elements of
// consecutive addresses; list forms give every element its own address.
struct type_profile {
    std::uint8_t type;
    bool sq;
    std::size_t size; // octets per element, own address included
    element_kind kind;
    std::size_t time_octets; // 0, 3 (CP24Time2a) or 7 (CP56Time2a)
};

constexpr type_profile profiles[] = {
    {1, true, 1, element_kind::single, 0},       {2, false, 6, element_kind::single, 3},
    {3, true, 1, element_kind::double_point, 0}, {4, false, 6, element_kind::double_point, 3},
    {5, true, 2, element_kind::step, 0},         {6, false, 7, element_kind::step, 3},
    {11, true, 3, element_kind::measured, 0},    {12, false, 8, element_kind::measured, 3},
    {30, false, 10, element_kind::single, 7},    {31, false, 10, element_kind::double_point, 7},
};

constexpr std::uint8_t type_clock_sync = 103;
constexpr std::uint8_t type_interrogation = 100;
constexpr std::uint8_t cause_activation = 6;
constexpr std::uint8_t qoi_station = 20;
constexpr std::size_t clock_sync_element = 9;

const type_profile* find_profile(std::uint8_t type) {
    for (const auto& p : profiles)
        if (p.type == type)
            return &p;
    return nullptr;
}

std::uint16_t word(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

nx_tm_time cp56(const std::uint8_t* p) {
    nx_tm_time t;
    for (std::size_t i = 0; i < t.octets.size(); ++i)
        t.octets[i] = p[i];
    t.length = 7;
    return t;
}

// A CP24Time2a names only the minute and the milliseconds; the hour and date are those of the
// reception, or of the hour before when the minute lies ahead of the reception minute.
nx_tm_time cp24(const std::uint8_t* p, nx_time reception) {
    nx_time_fields now = time_decode(reception);
    if ((p[2] & 0x3F) > now.minute)
        now = time_decode(reception - time_hours(1));
    nx_tm_time t =
        nx_tm_time::from_time(time_encode(now.year, now.month, now.day, now.hour, 0, 0, 0));
    t.octets[0] = p[0];
    t.octets[1] = p[1];
    t.octets[2] = p[2];
    t.length = 3;
    return t;
}

std::string time_text(const nx_tm_time& t) {
    return time_format(t.to_time(), "CP56=%Y.%m.%d %H:%M:%S.%V");
}

} // namespace

void nx_mASDU::timer::restart(tm_ms now) {
    start = now;
    if (period == period_at_start)
        period = period_never;
}

nx_mASDU::nx_mASDU(std::uint16_t common_address, nx_tm_info& sink, tm_ms now)
    : sink_(sink), configured_address_(common_address) {
    int interrogation = -1;
    int sync = -2;
    sink_.get_schedule(interrogation, sync);
    interrogation_.start = now;
    interrogation_.period = interrogation > 0 ? interrogation * tm_ms{1000} : interrogation;
    sync_.start = now;
    sync_.period = sync > 0 ? sync * tm_ms{1000} : sync;
}

nx_mASDU::~nx_mASDU() = default;

void nx_mASDU::append(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    log_.append(vformat_into(message_.data(), message_.size(), format, args));
    va_end(args);
}

void nx_mASDU::decode(std::size_t first, std::size_t last) {
    if (last >= rx_.size())
        last = rx_.size() - 1;
    decode(rx_.data() + first, last >= first ? last - first + 1 : 0);
}

void nx_mASDU::decode(const std::uint8_t* asdu, std::size_t size) {
    if (size < 4)
        throw nx_exception(format_short("неверная длина ASDU %d", static_cast<int>(size)));
    const std::uint8_t type = asdu[0];
    const int count = asdu[1] & 0x7F;
    const std::uint8_t cause = asdu[2];
    received_address_ = asdu[3];
    const bool text = log_.line_open();
    if (text) {
        append("<%d>", type);
        append(" COUNT=%d,ПР=%d,ASDU=%d", count, cause, received_address_);
    }
    const std::uint8_t* data = asdu + 4;
    const std::size_t rest = size - 4;

    const type_profile* profile = find_profile(type);
    const std::size_t element = profile != nullptr ? profile->size : clock_sync_element;
    const std::size_t header = profile != nullptr && profile->sq ? 2 : 0;
    if (profile == nullptr && type != type_clock_sync) {
        if (text)
            log_.append(" не поддерживается");
        return;
    }
    if (rest != header + count * element) {
        const int given = rest >= header ? static_cast<int>((rest - header) / element) : 0;
        throw nx_exception(
            format_short("неверное количество элементов %d (ожидается %d)", given, count));
    }

    if (profile == nullptr) {
        // The controlled point confirms a clock synchronisation: only logged.
        if (text && count > 0)
            append("время [%s]", time_text(cp56(data + 2)).c_str());
        return;
    }

    sink_.link_up();
    const nx_time reception = local_now();
    const nx_tm_time reception_record = nx_tm_time::from_time(reception);
    std::uint16_t ioa = profile->sq ? word(data) : 0;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* e = data + header + static_cast<std::size_t>(i) * element;
        if (!profile->sq) {
            ioa = word(e);
            e += 2;
        }
        int value = 0;
        std::uint8_t quality = 0;
        std::size_t value_octets = 1;
        switch (profile->kind) {
        case element_kind::single:
            value = e[0] & 0x01;
            quality = e[0] & 0xF0;
            break;
        case element_kind::double_point:
            value = e[0] & 0x03;
            quality = e[0] & 0xF0;
            break;
        case element_kind::step:
            value = vti_value(e[0]);
            quality = e[1];
            value_octets = 2;
            break;
        case element_kind::measured:
            value = static_cast<std::int16_t>(word(e));
            quality = e[2];
            value_octets = 3;
            break;
        }
        nx_tm_time time = reception_record;
        if (profile->time_octets == 3)
            time = cp24(e + value_octets, reception);
        else if (profile->time_octets == 7)
            time = cp56(e + value_octets);

        if (log_.line_open()) {
            append(" [%04d: %d q%02X", ioa, value, quality);
            if (profile->time_octets == 0)
                log_.append("]");
            else if (profile->time_octets == 3)
                log_.append(time_format(time.to_time(), " CP24=%M:%S.%V]"));
            else
                log_.append(" " + time_text(time) + "]");
        }

        switch (profile->kind) {
        case element_kind::single:
            sink_.put_single(ioa, time, e[0]);
            break;
        case element_kind::double_point:
            sink_.put_double(ioa, time, e[0]);
            break;
        case element_kind::step:
            sink_.put_step(ioa, time, e[0], e[1]);
            break;
        case element_kind::measured:
            sink_.put_measured(ioa, time, static_cast<std::int16_t>(word(e)), e[2]);
            break;
        }
        if (profile->sq)
            ++ioa;
    }
    sink_.notify();
}

std::uint8_t nx_mASDU::command_address() const {
    return static_cast<std::uint8_t>(received_address_ != 0 ? received_address_
                                                            : configured_address_);
}

std::size_t nx_mASDU::build_interrogation(std::size_t pos) {
    const std::uint8_t address = command_address();
    const std::uint8_t asdu[] = {type_interrogation, 1, cause_activation, address, 0, 0,
                                 qoi_station};
    std::copy(std::begin(asdu), std::end(asdu), tx_.begin() + static_cast<std::ptrdiff_t>(pos));
    if (log_.line_open())
        append("<100> Опрос станции (общий) ПР=%d,ASDU=%d", cause_activation, address);
    return sizeof asdu;
}

std::size_t nx_mASDU::build_clock_sync(std::size_t pos) {
    const std::uint8_t address = command_address();
    const nx_tm_time now = nx_tm_time::from_time(local_now());
    std::uint8_t* p = tx_.data() + pos;
    const std::uint8_t head[] = {type_clock_sync, 1, cause_activation, address, 0, 0};
    std::copy(std::begin(head), std::end(head), p);
    std::copy(now.octets.begin(), now.octets.end(), p + sizeof head);
    if (log_.line_open())
        append("<103> Синхронизация часов ПР=%d,ASDU=%d [%s]", cause_activation, address,
               time_text(now).c_str());
    return sizeof head + now.octets.size();
}

} // namespace nxkit
