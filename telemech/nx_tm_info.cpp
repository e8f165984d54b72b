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

void nx_tm_info::get_log_settings(std::string&, int&, int&) {}
void nx_tm_info::get_schedule(int&, int&) {}
void nx_tm_info::put_step(std::uint16_t, const nx_tm_time&, std::uint8_t, std::uint8_t) {}
void nx_tm_info::put_measured(std::uint16_t, const nx_tm_time&, std::int16_t, std::uint8_t) {}
void nx_tm_info::put_double(std::uint16_t, const nx_tm_time&, std::uint8_t) {}
void nx_tm_info::put_single(std::uint16_t, const nx_tm_time&, std::uint8_t) {}

} // namespace nxkit
