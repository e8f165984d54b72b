#include "telemech/nx_mASDU.h"

#include "base/format.h"
#include "base/nx_exception.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <iterator>

namespace nxkit {

namespace {

enum class element_kind { single, double_point, step, scaled, normalised, bitstring, real };

// One supported monitoring type: what its element holds after the object address. Whether the
// ASDU is a sequence (one address, then consecutive ones) or a list (an address per element)
// is the SQ bit's, for every type.
struct type_profile {
    std::uint8_t type;
    element_kind kind;
    std::size_t value_octets; // value and quality
    std::size_t time_octets;  // 0, 3 (CP24Time2a) or 7 (CP56Time2a)
};

constexpr type_profile profiles[] = {
    {1, element_kind::single, 1, 0},       {2, element_kind::single, 1, 3},
    {3, element_kind::double_point, 1, 0}, {4, element_kind::double_point, 1, 3},
    {5, element_kind::step, 2, 0},         {6, element_kind::step, 2, 3},
    {7, element_kind::bitstring, 5, 0},    {8, element_kind::bitstring, 5, 3},
    {9, element_kind::normalised, 3, 0},   {10, element_kind::normalised, 3, 3},
    {11, element_kind::scaled, 3, 0},      {12, element_kind::scaled, 3, 3},
    {13, element_kind::real, 5, 0},        {14, element_kind::real, 5, 3},
    {30, element_kind::single, 1, 7},      {31, element_kind::double_point, 1, 7},
    {32, element_kind::step, 2, 7},        {33, element_kind::bitstring, 5, 7},
    {34, element_kind::normalised, 3, 7},  {35, element_kind::scaled, 3, 7},
    {36, element_kind::real, 5, 7},
};

constexpr std::uint8_t type_clock_sync = 103;
constexpr std::uint8_t type_interrogation = 100;
constexpr std::uint8_t cause_activation = 6;
constexpr std::uint8_t cause_test = 0x80;
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

// The fields as they came, also when they make no time.
std::string received_time_text(const std::uint8_t* p, std::size_t octets) {
    const int ms = p[0] | (p[1] << 8);
    if (octets == 3)
        return format_short("CP24=%02d:%02d.%03d", p[2] & 0x3F, ms / 1000, ms % 1000);
    return format_short("CP56=%04d.%02d.%02d %02d:%02d:%02d.%03d", (p[6] & 0x7F) + 2000,
                        p[5] & 0x0F, p[4] & 0x1F, p[3] & 0x1F, p[2] & 0x3F, ms / 1000, ms % 1000);
}

std::uint32_t dword(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

float short_float(const std::uint8_t* p) {
    const std::uint32_t bits = dword(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
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
    const std::size_t count = asdu[1] & 0x7F;
    const bool sq = (asdu[1] & 0x80) != 0;
    const std::uint8_t cause = asdu[2];
    // A test frame of commissioning: shown in the log, never stored.
    const bool test = (cause & cause_test) != 0;
    received_address_ = asdu[3];
    const bool text = log_.line_open();
    if (text) {
        append("<%d>", type);
        append(" COUNT=%d,ПР=%d,ASDU=%d", static_cast<int>(count), cause, received_address_);
        if (test)
            log_.append(" тест");
    }
    const std::uint8_t* data = asdu + 4;
    const std::size_t rest = size - 4;

    const type_profile* profile = find_profile(type);
    if (profile == nullptr && type != type_clock_sync) {
        if (text)
            log_.append(" не поддерживается");
        return;
    }
    const std::size_t element =
        profile != nullptr ? profile->value_octets + profile->time_octets : clock_sync_element - 2;
    const bool sequence = profile != nullptr && sq;
    // A sequence spends one address on all its elements, a list one on each.
    const std::size_t header = sequence ? 2 : 0;
    const std::size_t step = sequence ? element : element + 2;
    const std::size_t expected = header + count * step;
    if (rest != expected) {
        if (rest >= header && (rest - header) % step == 0)
            throw nx_exception(format_short("неверное количество элементов %d (ожидается %d)",
                                            static_cast<int>((rest - header) / step),
                                            static_cast<int>(count)));
        throw nx_exception(format_short("неверная длина ASDU %d (ожидается %d)",
                                        static_cast<int>(size), static_cast<int>(expected + 4)));
    }

    if (profile == nullptr) {
        // The controlled point confirms a clock synchronisation: only logged.
        if (text && count > 0)
            append("время [%s]", received_time_text(data + 2, 7).c_str());
        return;
    }

    if (!test)
        sink_.link_up();
    const nx_time reception = local_now();
    const nx_tm_time reception_record = nx_tm_time::from_time(reception);
    std::uint16_t ioa = sequence ? word(data) : 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = data + header + i * step;
        if (!sequence) {
            ioa = word(e);
            e += 2;
        }
        nx_tm_object& o = batch_[i];
        o.ioa = ioa;
        o.octet = 0;
        o.qds = 0;
        o.value = 0;
        int shown = 0;
        switch (profile->kind) {
        case element_kind::single:
            o.what = nx_tm_object::kind::single;
            o.octet = e[0];
            shown = e[0] & 0x01;
            o.qds = e[0] & 0xF0;
            break;
        case element_kind::double_point:
            o.what = nx_tm_object::kind::double_point;
            o.octet = e[0];
            shown = e[0] & 0x03;
            o.qds = e[0] & 0xF0;
            break;
        case element_kind::step:
            o.what = nx_tm_object::kind::step;
            o.octet = e[0];
            o.qds = e[1];
            shown = vti_value(e[0]);
            break;
        case element_kind::scaled:
        case element_kind::normalised:
            // A normalised value is kept as its 16-bit integer, like a scaled one, so the
            // object's scaling treats both alike.
            o.what = nx_tm_object::kind::measured;
            o.value = static_cast<std::int16_t>(word(e));
            o.qds = e[2];
            break;
        case element_kind::bitstring:
            o.what = nx_tm_object::kind::measured;
            o.value = dword(e);
            o.qds = e[4];
            break;
        case element_kind::real:
            o.what = nx_tm_object::kind::measured;
            o.value = short_float(e);
            o.qds = e[4];
            break;
        }
        const std::uint8_t* tag = e + profile->value_octets;
        bool time_valid = true;
        if (profile->time_octets == 0) {
            o.time = reception_record;
        } else {
            o.time = profile->time_octets == 3 ? cp24(tag, reception) : cp56(tag);
            // A time with IV set or a field out of range is no time: the reception time holds.
            time_valid = o.time.valid();
            if (!time_valid)
                o.time = reception_record;
        }
        o.tagged = profile->time_octets != 0 && time_valid;

        if (log_.line_open()) {
            if (profile->kind == element_kind::real)
                append(" [%04d: %g q%02X", ioa, o.value, o.qds);
            else if (profile->kind == element_kind::bitstring)
                append(" [%04d: %u q%02X", ioa, static_cast<unsigned>(dword(e)), o.qds);
            else if (o.what == nx_tm_object::kind::measured)
                append(" [%04d: %d q%02X", ioa, static_cast<int>(o.value), o.qds);
            else
                append(" [%04d: %d q%02X", ioa, shown, o.qds);
            if (profile->time_octets != 0) {
                log_.append(" " + received_time_text(tag, profile->time_octets));
                if (!time_valid)
                    log_.append(" недостоверно");
            }
            log_.append("]");
        }
        // The quality octet of a single or double point is the element itself.
        if (o.what == nx_tm_object::kind::single || o.what == nx_tm_object::kind::double_point)
            o.qds = 0;
        if (sequence)
            ++ioa;
    }
    if (test)
        return;
    sink_.put_objects(batch_.data(), count);
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
