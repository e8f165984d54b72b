#include "telemech/nx_tm_info.h"

namespace nxkit {

nx_time nx_tm_time::to_time() const {
    const int ms = octets[0] | (octets[1] << 8);
    return time_encode((octets[6] & 0x7F) + 2000, octets[5] & 0x0F, octets[4] & 0x1F,
                       octets[3] & 0x1F, octets[2] & 0x3F, ms / 1000, ms % 1000);
}

nx_tm_time nx_tm_time::from_time(nx_time t) {
    const nx_time_fields f = time_decode(t);
    const int ms = f.second * 1000 + f.millisecond;
    nx_tm_time r;
    r.octets = {static_cast<std::uint8_t>(ms & 0xFF),
                static_cast<std::uint8_t>(ms >> 8),
                static_cast<std::uint8_t>(f.minute & 0x3F),
                static_cast<std::uint8_t>(f.hour & 0x1F),
                static_cast<std::uint8_t>(f.day & 0x1F),
                static_cast<std::uint8_t>(f.month & 0x0F),
                static_cast<std::uint8_t>((f.year - 2000) & 0x7F)};
    r.length = 7;
    return r;
}

bool nx_tm_time::valid() const {
    const int ms = octets[0] | (octets[1] << 8);
    if ((octets[2] & 0x80) != 0 || ms > 59999 || (octets[2] & 0x3F) > 59)
        return false;
    if (length < 7)
        return true;
    const int month = octets[5] & 0x0F;
    const int day = octets[4] & 0x1F;
    return (octets[3] & 0x1F) <= 23 && day >= 1 && month >= 1 && month <= 12;
}

void nx_tm_info::get_log_settings(std::string&, int&, int&) {}
void nx_tm_info::get_schedule(int&, int&) {}
void nx_tm_info::put_step(std::uint16_t, const nx_tm_time&, std::uint8_t, std::uint8_t) {}
void nx_tm_info::put_measured(std::uint16_t, const nx_tm_time&, double, std::uint8_t) {}
void nx_tm_info::put_double(std::uint16_t, const nx_tm_time&, std::uint8_t) {}
void nx_tm_info::put_single(std::uint16_t, const nx_tm_time&, std::uint8_t) {}

void nx_tm_info::put_objects(const nx_tm_object* objects, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const nx_tm_object& o = objects[i];
        switch (o.what) {
        case nx_tm_object::kind::single:
            put_single(o.ioa, o.time, o.octet);
            break;
        case nx_tm_object::kind::double_point:
            put_double(o.ioa, o.time, o.octet);
            break;
        case nx_tm_object::kind::step:
            put_step(o.ioa, o.time, o.octet, o.qds);
            break;
        case nx_tm_object::kind::measured:
            put_measured(o.ioa, o.time, o.value, o.qds);
            break;
        }
    }
}

} // namespace nxkit
