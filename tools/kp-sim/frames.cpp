#include "tools/kp-sim/frames.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace nxkit::kp_sim {

cp56 cp56_now() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    int ms = local.tm_sec * 1000 + static_cast<int>(now.tv_nsec / 1000000);
    return {
        static_cast<std::uint8_t>(ms & 0xFF),          static_cast<std::uint8_t>(ms >> 8),
        static_cast<std::uint8_t>(local.tm_min),       static_cast<std::uint8_t>(local.tm_hour),
        static_cast<std::uint8_t>(local.tm_mday),      static_cast<std::uint8_t>(local.tm_mon + 1),
        static_cast<std::uint8_t>(local.tm_year % 100)};
}

int element_size(int type) {
    switch (type) {
    case 1:
    case 3:
        return 1;
    case 5:
        return 2;
    case 11:
        return 3;
    case 2:
    case 4:
        return 1 + 3;
    case 6:
        return 2 + 3;
    case 12:
        return 3 + 3;
    case 30:
    case 31:
        return 1 + 7;
    default:
        return 0;
    }
}

bool is_timed(int type) {
    return type == 2 || type == 4 || type == 6 || type == 12 || type == 30 || type == 31;
}

bool is_supported(int type) {
    return element_size(type) > 0;
}

bool value_fits(int type, int value) {
    switch (type) {
    case 1:
    case 2:
    case 30:
        return value == 0 || value == 1;
    case 3:
    case 4:
    case 31:
        return value >= 0 && value <= 3;
    case 5:
    case 6:
        return value >= -64 && value <= 63;
    case 11:
    case 12:
        return value >= -32768 && value <= 32767;
    default:
        return false;
    }
}

int changed_value(int type, int value) {
    switch (type) {
    case 1:
    case 2:
    case 30:
        return value ^ 1;
    case 3:
    case 4:
    case 31:
        return value == 1 ? 2 : 1;
    case 5:
    case 6:
        return value >= 63 ? -64 : value + 1;
    default:
        return value >= 32767 ? -32768 : value + 1;
    }
}

bytes u_frame(std::uint8_t function) {
    return bytes{static_cast<char>(start_byte), 4, static_cast<char>(function), 0, 0, 0};
}

namespace {

void put16(bytes& out, int value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void put_element(bytes& out, const info_object& object) {
    int q = object.quality & 0xFF;
    switch (object.type) {
    case 1:
    case 2:
    case 30:
        out.push_back(static_cast<char>((object.value & 0x01) | (q & 0xF0)));
        break;
    case 3:
    case 4:
    case 31:
        out.push_back(static_cast<char>((object.value & 0x03) | (q & 0xF0)));
        break;
    case 5:
    case 6:
        out.push_back(static_cast<char>(object.value & 0x7F));
        out.push_back(static_cast<char>(q));
        break;
    default:
        put16(out, object.value);
        out.push_back(static_cast<char>(q));
        break;
    }
    if (!is_timed(object.type))
        return;
    int time_octets = (object.type == 30 || object.type == 31) ? 7 : 3;
    for (int i = 0; i < time_octets; ++i)
        out.push_back(static_cast<char>(object.time[static_cast<std::size_t>(i)]));
}

bytes asdu_header(int type, int count, bool sequence, std::uint8_t cause, int common_address) {
    bytes out;
    out.push_back(static_cast<char>(type));
    out.push_back(static_cast<char>(count | (sequence ? 0x80 : 0)));
    out.push_back(static_cast<char>(cause));
    out.push_back(static_cast<char>(common_address & 0xFF));
    return out;
}

} // namespace

bytes s_frame(int receive_number) {
    bytes out{static_cast<char>(start_byte), 4, 1, 0};
    put16(out, (receive_number << 1) & 0xFFFF);
    return out;
}

bytes i_frame(int send_number, int receive_number, const bytes& asdu) {
    bytes out{static_cast<char>(start_byte), static_cast<char>(asdu.size() + 4)};
    put16(out, (send_number << 1) & 0xFFFF);
    put16(out, (receive_number << 1) & 0xFFFF);
    return out + asdu;
}

std::vector<bytes> object_asdus(const std::vector<info_object>& objects, std::uint8_t cause,
                                int common_address, int max_length) {
    std::vector<bytes> result;
    std::size_t i = 0;
    while (i < objects.size()) {
        const info_object& first = objects[i];
        int size = element_size(first.type);
        bool timed = is_timed(first.type);
        // Room after the data unit identifier: a sequence spends two octets on its one address.
        int room = max_length - 4 - (timed ? 0 : 2);
        int limit = std::min(127, room / (timed ? size + 2 : size));
        std::size_t n = 1;
        while (i + n < objects.size() && static_cast<int>(n) < limit &&
               objects[i + n].type == first.type &&
               (timed || objects[i + n].ioa == first.ioa + static_cast<int>(n)))
            ++n;
        bytes asdu =
            asdu_header(first.type, static_cast<int>(n), !timed && n > 1, cause, common_address);
        if (!timed)
            put16(asdu, first.ioa);
        for (std::size_t k = 0; k < n; ++k) {
            if (timed)
                put16(asdu, objects[i + k].ioa);
            put_element(asdu, objects[i + k]);
        }
        result.push_back(asdu);
        i += n;
    }
    return result;
}

std::string hex(const bytes& data) {
    std::string out;
    char octet[4];
    for (unsigned char c : data) {
        std::snprintf(octet, sizeof octet, out.empty() ? "%02X" : " %02X", c);
        out += octet;
    }
    return out;
}

} // namespace nxkit::kp_sim
